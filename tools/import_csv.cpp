// Driving the CSV parser: the file read block by block, libcsv fed one line at a time (so
// that every record knows its line), cells kept under kMaxCellBytes.
#include "tools/import_csv.h"

#include <QFileInfo>
#include <QTemporaryFile>
#include <cstring>

namespace importer {
namespace {

// libcsv grows its buffer for the field in progress through this function: refusing to go
// past the limit makes csv_parse stop with CSV_ENOMEM when a field gets too long. The slack
// leaves room for a closing quote and blanks after it.
constexpr size_t kParserBufferLimit = kMaxCellBytes + 16;

void* limitedRealloc(void* block, size_t size) {
    return size > kParserBufferLimit ? nullptr : std::realloc(block, size);
}

// libcsv's state after a quote inside a quoted field (libcsv.c, FIELD_MIGHT_HAVE_ENDED):
// the buffer then ends with that quote and the blanks after it.
constexpr int kParserAfterQuote = 3;

} // namespace

CsvFile::CsvFile(const QString& path) : m_path(path), m_file(path) {}

CsvFile::~CsvFile() {
    if (m_handler)
        csv_free(&m_parser);
}

qint64 CsvFile::estimatedRows() const {
    if (m_sampleBytes == 0)
        return 0;
    const double lineLength = static_cast<double>(m_sampleBytes) /
                              static_cast<double>(std::max<qint64>(1, m_sampleBreaks));
    return static_cast<qint64>(static_cast<double>(m_size) / lineLength);
}

bool CsvFile::open() {
    if (!m_file.open(QIODevice::ReadOnly)) {
        const QFileInfo info(m_path);
        m_error = !info.exists() ? QStringLiteral("fichier introuvable")
                  : info.isDir()
                      ? QStringLiteral("c'est un dossier, pas un fichier")
                      : QStringLiteral("lecture impossible (%1)").arg(m_file.errorString());
        return false;
    }
    // A pipe can be read only once: its bytes are kept in a temporary file meanwhile.
    if (m_file.isSequential()) {
        m_spool = std::make_unique<QTemporaryFile>();
        if (!m_spool->open()) {
            m_error =
                QStringLiteral("copie temporaire impossible (%1)").arg(m_spool->errorString());
            return false;
        }
        if (!firstPass(m_file, m_spool.get()))
            return false;
        m_source = m_spool.get();
        m_size = m_spool->size();
    } else {
        m_size = m_file.size();
        if (!firstPass(m_file, nullptr))
            return false;
        m_source = &m_file;
    }
    return true;
}

// Reads blocks until the encoding is certain and the header line is found (a file without
// valid multi-byte UTF-8 is read to its end), copying them when copy is given.
bool CsvFile::firstPass(QIODevice& input, QIODevice* copy) {
    std::vector<char> block(static_cast<size_t>(kBlock));
    EncodingScan scan;
    bool first = true;
    for (;;) {
        const qint64 n = input.read(block.data(), kBlock);
        if (n < 0) {
            m_error = input.errorString();
            return false;
        }
        if (n == 0)
            break;
        if (copy && copy->write(block.data(), n) != n) {
            m_error = QStringLiteral("copie temporaire impossible (%1)").arg(copy->errorString());
            return false;
        }
        std::string_view bytes(block.data(), static_cast<size_t>(n));
        if (first) {
            const QString wide = wideEncoding(bytes);
            if (!wide.isEmpty()) {
                m_error = QStringLiteral("le fichier est en %1 ; enregistrez-le en UTF-8 (ou en "
                                         "Windows-1252) puis recommencez")
                              .arg(wide);
                return false;
            }
            if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
                m_bom = 3;
                bytes.remove_prefix(3);
            }
        }
        scan.feed(bytes);
        notice(bytes, first);
        first = false;
        if (!copy && scan.decided() && m_breakKnown && m_separatorKnown)
            break;
    }
    m_encoding = scan.encoding();
    if (!m_breakKnown && m_crPending)
        m_lineBreak = '\r';
    return true;
}

// The first pass's look at a block: the kind of line break (the first one's), the
// separator (';' when the header, the first line that is not blank, holds one), and the
// length of the first lines.
void CsvFile::notice(std::string_view block, bool first) {
    if (first) {
        m_sampleBytes = static_cast<qint64>(block.size());
        const auto lf = std::count(block.begin(), block.end(), '\n');
        m_sampleBreaks = lf > 0 ? lf : std::count(block.begin(), block.end(), '\r');
    }
    if (!m_breakKnown && m_crPending) {
        m_lineBreak = !block.empty() && block.front() == '\n' ? '\n' : '\r';
        m_breakKnown = true;
    } else if (!m_breakKnown) {
        const size_t at = block.find_first_of("\r\n");
        // Old Mac files end their lines with a lone CR.
        if (at != std::string_view::npos && block[at] == '\r' && at + 1 == block.size()) {
            m_crPending = true;
        } else if (at != std::string_view::npos) {
            m_lineBreak = block[at] == '\r' && block[at + 1] != '\n' ? '\r' : '\n';
            m_breakKnown = true;
        }
    }
    for (size_t i = 0; i < block.size() && !m_separatorKnown; ++i) {
        const char c = block[i];
        if (c == '\r' || c == '\n')
            m_separatorKnown = m_headerStarted;
        else if (c == ';')
            m_separator = ';', m_headerStarted = true;
        else if (c != ' ' && c != '\t')
            m_headerStarted = true;
    }
}

bool CsvFile::read(Handler& handler) {
    if (!m_source->seek(m_bom)) {
        m_error = m_source->errorString();
        return false;
    }
    if (csv_init(&m_parser, CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL) != 0) {
        m_error = QStringLiteral("mémoire insuffisante");
        return false;
    }
    m_handler = &handler;
    csv_set_delim(&m_parser, static_cast<unsigned char>(m_separator));
    csv_set_realloc_func(&m_parser, limitedRealloc);
    csv_set_blk_size(&m_parser, 4096);

    std::vector<char> block(static_cast<size_t>(kBlock));
    qint64 done = m_bom;
    while (!m_stop) {
        const qint64 n = m_source->read(block.data(), kBlock);
        if (n < 0) {
            m_error = m_source->errorString();
            return false;
        }
        if (n == 0)
            break;
        const char* data = block.data();
        const char* end = data + n;
        while (data < end && !m_stop) {
            const auto* lineBreak = static_cast<const char*>(
                std::memchr(data, m_lineBreak, static_cast<size_t>(end - data)));
            const char* next = lineBreak ? lineBreak + 1 : end;
            if (!m_skipLine)
                feed(data, static_cast<size_t>(next - data));
            if (lineBreak) {
                ++m_line;
                if (m_skipLine) {
                    m_skipLine = false;
                    m_recordLine = m_line;
                }
            }
            data = next;
        }
        done += n;
        handler.progress(done, m_size);
    }
    if (!m_error.isEmpty())
        return false;
    if (!m_stop && !m_skipLine && csv_fini(&m_parser, onField, onRowEnd, this) != 0)
        unreadable(QStringLiteral("guillemet ouvert jamais fermé ; la fin du fichier est "
                                  "illisible"));
    return m_error.isEmpty();
}

// One line (or the part of it in this block) to libcsv.
void CsvFile::feed(const char* data, size_t size) {
    size_t fed = 0;
    while (fed < size && !m_stop) {
        fed += csv_parse(&m_parser, data + fed, size - fed, onField, onRowEnd, this);
        if (fed == size || m_stop)
            return;
        const int status = csv_error(&m_parser);
        if (status == CSV_EPARSE) {
            unreadable(QStringLiteral("guillemet mal placé (un champ entre guillemets doit être "
                                      "entier, et un guillemet dans un champ se double)"));
            m_skipLine = true;
            return;
        }
        if (status == CSV_ENOMEM && m_parser.entry_size >= kMaxCellBytes) {
            // The field is too long: its bytes so far are dropped (the parser goes on with
            // the same state), the field is marked, and its end is looked for.
            m_fieldTooLong = true;
            if (m_parser.pstate == kParserAfterQuote) {
                m_parser.entry_buf[0] = m_parser.quote_char;
                m_parser.entry_pos = 1;
            } else {
                m_parser.entry_pos = 0;
            }
            m_parser.spaces = 0;
            m_parser.status = 0;
            continue;
        }
        m_error = QStringLiteral("mémoire insuffisante pour lire le fichier");
        m_stop = true;
    }
}

// The record in progress cannot be read: it is dropped, and so is the rest of its line.
void CsvFile::unreadable(const QString& reason) {
    if (!m_handler->unreadable(m_recordLine, reason))
        m_stop = true;
    csv_free(&m_parser);
    csv_init(&m_parser, CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL);
    csv_set_delim(&m_parser, static_cast<unsigned char>(m_separator));
    csv_set_realloc_func(&m_parser, limitedRealloc);
    csv_set_blk_size(&m_parser, 4096);
    clearRecord();
}

void CsvFile::onField(void* data, size_t size, void* self) {
    static_cast<CsvFile*>(self)->field(static_cast<const char*>(data), size);
}

void CsvFile::onRowEnd(int terminator, void* self) {
    static_cast<CsvFile*>(self)->rowEnd(terminator);
}

void CsvFile::field(const char* data, size_t size) {
    if (m_stop)
        return;
    const size_t index = m_record.fieldCount++;
    const bool tooLong = m_fieldTooLong || size > kMaxCellBytes;
    m_fieldTooLong = false;
    if (size > 0 || tooLong)
        m_anyContent = true;
    if (index >= Record::kMaxStoredFields)
        return;
    if (tooLong)
        m_record.tooLong.push_back(index);
    else if (size > 0)
        m_bytes.append(data, size);
    m_ends.push_back(m_bytes.size());
}

void CsvFile::rowEnd(int terminator) {
    if (m_stop)
        return;
    if (m_record.fieldCount > 0) {
        if (m_anyContent) {
            m_record.fields.clear();
            size_t start = 0;
            for (const size_t end : m_ends) {
                m_record.fields.emplace_back(m_bytes.data() + start, end - start);
                start = end;
            }
            m_record.line = m_recordLine;
            if (!m_handler->record(m_record))
                m_stop = true;
        }
        clearRecord();
    }
    // A lone CR in a file of LF lines ends a record within the line.
    m_recordLine = terminator == m_lineBreak ? m_line + 1 : m_line;
}

void CsvFile::clearRecord() {
    m_record.fields.clear();
    m_record.fieldCount = 0;
    m_record.tooLong.clear();
    m_bytes.clear();
    m_ends.clear();
    m_fieldTooLong = false;
    m_anyContent = false;
}

} // namespace importer
