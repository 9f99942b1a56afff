// Driving the CSV parser: the file read block by block, libcsv fed one physical line at a
// time (so that every record knows its line, whatever ends the lines), cells kept under
// kMaxCellBytes.
#include "tools/import_csv.h"

#include <QFileInfo>
#include <QTemporaryFile>
#include <cstring>

namespace importer {

namespace libcsv {

// The slack leaves room for a closing quote and blanks after it.
constexpr size_t kParserBufferLimit = kMaxCellBytes + 16;

void* limitedRealloc(void* block, size_t size) {
    return size > kParserBufferLimit ? nullptr : std::realloc(block, size);
}

bool dropFieldBytes(csv_parser& parser) {
    if (parser.pstate == kAfterQuote) {
        // The buffer ends with that quote and the blanks after it; libcsv takes the quote
        // off when the field ends, so it stays.
        parser.entry_buf[0] = parser.quote_char;
        parser.entry_pos = 1;
    } else if (parser.pstate == kInField) {
        parser.entry_pos = 0;
    } else {
        return false;
    }
    parser.spaces = 0;
    parser.status = 0;
    return true;
}

} // namespace libcsv

namespace {

constexpr unsigned char kParserOptions = CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL;
// The first bytes, where the header line (and a "sep=" line before it) is looked for.
constexpr size_t kHeadBytes = 64 * 1024;

bool blankLine(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

// The first line a spreadsheet writes to name the separator of the others: "sep=;",
// possibly quoted or followed by separators once the file was saved again.
bool separatorLine(std::string_view line, char& separator) {
    const size_t first = line.find_first_not_of(" \t");
    line.remove_prefix(first == std::string_view::npos ? line.size() : first);
    if (!line.empty() && line.front() == '"')
        line.remove_prefix(1);
    if (line.size() < 5 || QByteArray(line.data(), 4).toLower() != "sep=")
        return false;
    const char c = line[4];
    if (c == '"' || c == '\r' || c == '\n' || c == ' ')
        return false;
    std::string_view rest = line.substr(5);
    if (!rest.empty() && rest.front() == '"')
        rest.remove_prefix(1);
    if (rest.find_first_not_of(std::string(1, c) + " \t") != std::string_view::npos)
        return false;
    separator = c;
    return true;
}

// Where the cell holding the byte at `at` starts in line, and whether a quote opened before
// `at` is still open: a small reading of the CSV rules, for messages only. A record goes on
// to another line only inside a quoted field, so a line that continues one starts inside
// quotes.
size_t cellStart(const QByteArray& line, int at, char separator, bool continued, bool* open) {
    bool inQuotes = continued;
    bool begun = continued;
    size_t start = 0;
    for (int i = 0; i < at && i < line.size(); ++i) {
        const char c = line[i];
        if (inQuotes) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"')
                ++i;
            else if (c == '"')
                inQuotes = false;
        } else if (c == separator) {
            start = size_t(i) + 1;
            begun = false;
        } else if (c == '"' && !begun) {
            inQuotes = begun = true;
        } else if (c != ' ' && c != '\t') {
            begun = true;
        }
    }
    if (open)
        *open = inQuotes;
    return start;
}

// A small file is read in one block no larger than itself (the fuzzer reads thousands a
// second).
qint64 blockFor(qint64 size) {
    return std::clamp<qint64>(size + 1, 1, CsvFile::kBlock);
}

QString oneLine(QString text) {
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    return text;
}

} // namespace

CsvFile::CsvFile(const QString& path)
    : m_path(path), m_name(path == QLatin1String("-") ? QStringLiteral("entrée standard") : path),
      m_file(path) {}

CsvFile::CsvFile(QIODevice& input, const QString& name) : m_name(name), m_input(&input) {}

CsvFile::~CsvFile() {
    if (m_parserReady)
        csv_free(&m_parser);
}

bool CsvFile::fail(const QString& error, const QString& detail) {
    if (m_error.isEmpty()) {
        m_error = error;
        m_errorDetail = detail;
    }
    return false;
}

qint64 CsvFile::estimatedRows() const {
    if (m_sampleBytes == 0)
        return 0;
    const double lineLength = static_cast<double>(m_sampleBytes) /
                              static_cast<double>(std::max<qint64>(1, m_sampleBreaks));
    return static_cast<qint64>(static_cast<double>(m_size) / lineLength);
}

bool CsvFile::open() {
    QIODevice* input = m_input;
    if (!input) {
        const bool standardInput = m_path == QLatin1String("-");
        if (!(standardInput ? m_file.open(0, QIODevice::ReadOnly)
                            : m_file.open(QIODevice::ReadOnly))) {
            const QFileInfo info(m_path);
            if (!standardInput && !info.exists())
                return fail(QStringLiteral("fichier introuvable"), QString());
            if (info.isDir())
                return fail(QStringLiteral("c'est un dossier, pas un fichier"), QString());
            return fail(QStringLiteral("lecture impossible (droits d'accès ?)"),
                        m_file.errorString());
        }
        input = &m_file;
    }
    // A pipe can be read only once: its bytes are kept in a temporary file meanwhile.
    if (input->isSequential()) {
        m_spool = std::make_unique<QTemporaryFile>();
        if (!m_spool->open())
            return fail(QStringLiteral("copie temporaire impossible"), m_spool->errorString());
        if (!firstPass(*input, m_spool.get()))
            return false;
        m_source = m_spool.get();
        m_size = m_spool->size();
    } else {
        m_size = input->size();
        if (!firstPass(*input, nullptr))
            return false;
        m_source = input;
    }
    return true;
}

// Reads the whole file: its encoding is decided over all of its bytes.
bool CsvFile::firstPass(QIODevice& input, QIODevice* copy) {
    const qint64 blockSize = input.isSequential() ? kBlock : blockFor(input.size());
    std::vector<char> block(static_cast<size_t>(blockSize));
    for (;;) {
        const qint64 n = input.read(block.data(), blockSize);
        if (n < 0)
            return fail(QStringLiteral("lecture impossible"), input.errorString());
        if (n == 0)
            break;
        if (copy && copy->write(block.data(), n) != n)
            return fail(QStringLiteral("copie temporaire impossible (disque plein ?)"),
                        copy->errorString());
        const std::string_view bytes(block.data(), static_cast<size_t>(n));
        if (m_head.size() < kHeadBytes)
            m_head.append(bytes.substr(0, kHeadBytes - m_head.size()));
        m_scan.feed(bytes);
    }
    const QString wide = wideEncoding(m_head);
    if (!wide.isEmpty())
        return fail(QStringLiteral("le fichier est en %1 ; enregistrez-le en UTF-8 (ou en "
                                   "Windows-1252) puis recommencez")
                        .arg(wide),
                    QString());
    m_bom = std::string_view(m_head).substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    m_encoding = m_forced ? *m_forced : m_scan.encoding();
    m_sampleBytes = static_cast<qint64>(m_head.size());
    const auto lf = std::count(m_head.begin(), m_head.end(), '\n');
    m_sampleBreaks = lf > 0 ? lf : std::count(m_head.begin(), m_head.end(), '\r');
    findHeader();
    return true;
}

// The separator: the one a "sep=" first line names (that line is then skipped), else the
// header's, the first line that is not blank.
void CsvFile::findHeader() {
    const std::string_view head = std::string_view(m_head).substr(static_cast<size_t>(m_bom));
    m_start = m_bom;
    m_firstLine = 1;
    qint64 line = 1;
    for (size_t pos = 0; pos < head.size(); ++line) {
        const size_t end = std::min(head.find_first_of("\r\n", pos), head.size());
        const std::string_view text = head.substr(pos, end - pos);
        size_t next = end;
        if (next < head.size())
            next += head.compare(next, 2, "\r\n") == 0 ? 2 : 1;
        if (!blankLine(text)) {
            char separator = 0;
            if (end < head.size() && separatorLine(text, separator)) {
                m_separator = separator;
                m_start = m_bom + static_cast<qint64>(next);
                m_firstLine = line + 1;
            } else {
                m_separator = detectSeparator(text);
            }
            return;
        }
        pos = next;
    }
}

void CsvFile::initParser() {
    if (m_parserReady)
        csv_free(&m_parser);
    csv_init(&m_parser, kParserOptions);
    csv_set_delim(&m_parser, static_cast<unsigned char>(m_separator));
    csv_set_realloc_func(&m_parser, libcsv::limitedRealloc);
    csv_set_blk_size(&m_parser, 4096);
    m_parserReady = true;
}

bool CsvFile::read(Handler& handler) {
    if (!m_source->seek(m_start))
        return fail(QStringLiteral("lecture impossible"), m_source->errorString());
    m_handler = &handler;
    initParser();
    m_line = m_nextLine = m_recordLine = m_firstLine;
    m_offset = m_nextOffset = m_lineOffset = m_recordOffset = m_start;

    const qint64 blockSize = blockFor(m_size);
    std::vector<char> block(static_cast<size_t>(blockSize));
    qint64 done = m_start;
    while (!m_stop) {
        const qint64 n = m_source->read(block.data(), blockSize);
        if (n < 0)
            return fail(QStringLiteral("lecture impossible"), m_source->errorString());
        if (n == 0)
            break;
        const char* data = block.data();
        const char* const end = data + n;
        while (data < end && !m_stop) {
            // Every line end counts, LF, CR LF or CR alone, mixed as they may be; a CR LF
            // is one, even cut between two blocks.
            const auto* lf =
                static_cast<const char*>(std::memchr(data, '\n', static_cast<size_t>(end - data)));
            const char* lineEnd = lf ? lf : end;
            if (const auto* cr = static_cast<const char*>(
                    std::memchr(data, '\r', static_cast<size_t>(lineEnd - data))))
                lineEnd = cr;
            const bool broken = lineEnd < end;
            const char* next = broken ? lineEnd + 1 : end;
            if (broken && *lineEnd == '\r' && next < end && *next == '\n')
                ++next;
            const bool newLine = broken && !(lineEnd == data && *data == '\n' && m_afterCr);
            m_nextLine = m_line + (newLine ? 1 : 0);
            m_nextOffset = m_offset + (next - data);
            if (!m_skipLine)
                feed(data, static_cast<size_t>(next - data));
            m_afterCr = next[-1] == '\r';
            m_line = m_nextLine;
            m_offset = m_nextOffset;
            m_lineOpen = !broken;
            if (broken)
                m_lineOffset = m_offset;
            if (newLine && m_skipLine) {
                m_skipLine = false;
                m_recordLine = m_line;
                m_recordOffset = m_offset;
            }
            data = next;
        }
        done += n;
        handler.progress(done, m_size);
    }
    if (!m_error.isEmpty())
        return false;
    if (!m_stop && !m_skipLine && csv_fini(&m_parser, onField, onRowEnd, this) != 0) {
        // Every line from the quote to the end went into one cell: each is lost.
        const qint64 lines = m_line - m_recordLine + (m_lineOpen ? 1 : 0);
        unreadable(lines, unclosedQuote(lines));
    }
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
            // csv_parse stopped on the byte it refuses.
            unreadable(1, lineToFix(static_cast<size_t>(m_offset) + fed));
            m_skipLine = true;
            return;
        }
        if (status == CSV_ENOMEM && csv_get_buffer_size(&m_parser) >= kMaxCellBytes &&
            libcsv::dropFieldBytes(m_parser)) {
            m_fieldTooLong = true;
            continue;
        }
        fail(QStringLiteral("mémoire insuffisante pour lire le fichier"), QString());
        m_stop = true;
    }
}

QByteArray CsvFile::bytesAt(qint64 offset, qint64 length) const {
    const qint64 resume = m_source->pos();
    QByteArray bytes;
    if (m_source->seek(offset))
        bytes = m_source->read(length);
    m_source->seek(resume);
    return bytes;
}

QString CsvFile::shown(const QByteArray& bytes) const {
    std::string utf8;
    if (toUtf8(std::string_view(bytes.constData(), size_t(bytes.size())), m_encoding, utf8))
        return oneLine(QString::fromStdString(utf8));
    return oneLine(QString::fromUtf8(bytes));
}

// The reason a misplaced quote refuses a record: the cell as read up to that quote, and the
// line to fix around it.
QString CsvFile::lineToFix(size_t errorAt) const {
    const qint64 at = static_cast<qint64>(errorAt) - m_lineOffset;
    QByteArray line = bytesAt(m_lineOffset, at + 1 + 60);
    const int end = int(line.indexOf('\n', int(at)));
    const int cr = int(line.indexOf('\r', int(at)));
    line.truncate(std::min(end < 0 ? line.size() : end, cr < 0 ? line.size() : cr));
    const size_t start = cellStart(line, int(at), m_separator, m_recordLine < m_line, nullptr);
    QString before = shown(line.left(int(at) + 1));
    QString after = shown(line.mid(int(at) + 1));
    const QString cell = shown(line.mid(int(start), int(at) + 1 - int(start)));
    if (before.size() > 60)
        before = QStringLiteral("…") + before.right(60);
    if (after.size() > 30)
        after = after.left(30) + QStringLiteral("…");
    return QStringLiteral("guillemet mal placé, lu « %1 » : un champ entre guillemets doit être "
                          "entier, et un guillemet dans un champ se double ; %2 : « %3 »")
        .arg(cell.size() > 40 ? QStringLiteral("…") + cell.right(40) : cell,
             m_recordLine < m_line ? QStringLiteral("ligne %1 à corriger").arg(m_line)
                                   : QStringLiteral("à corriger"),
             before + after);
}

QString CsvFile::unclosedQuote(qint64 lines) const {
    QByteArray line = bytesAt(m_recordOffset, 4096);
    const int end = int(line.indexOf('\n'));
    const int cr = int(line.indexOf('\r'));
    line.truncate(std::min(end < 0 ? line.size() : end, cr < 0 ? line.size() : cr));
    bool open = false;
    const size_t start = cellStart(line, int(line.size()), m_separator, false, &open);
    QString cell = shown(open ? line.mid(int(start)) : line);
    if (cell.size() > 40)
        cell = cell.left(40) + QStringLiteral("…");
    const QString where = lines > 1 ? QStringLiteral(" : les %1 lignes jusqu'à la fin du fichier "
                                                     "sont lues comme un seul champ, et refusées")
                                          .arg(lines)
                                    : QString();
    return QStringLiteral("guillemet ouvert jamais fermé, lu « %1 »%2 ; fermez le guillemet, ou "
                          "doublez-le s'il fait partie du texte")
        .arg(cell, where);
}

// The record in progress cannot be read: it is dropped, and so is the rest of its line.
void CsvFile::unreadable(qint64 lines, const QString& reason) {
    if (!m_handler->unreadable(m_recordLine, lines, reason))
        m_stop = true;
    initParser();
    clearRecord();
}

void CsvFile::onField(void* data, size_t size, void* self) {
    static_cast<CsvFile*>(self)->field(static_cast<const char*>(data), size);
}

void CsvFile::onRowEnd(int, void* self) {
    static_cast<CsvFile*>(self)->rowEnd();
}

void CsvFile::field(const char* data, size_t size) {
    if (m_stop)
        return;
    const size_t index = m_record.fieldCount++;
    const bool tooLong = m_fieldTooLong || size > kMaxCellBytes;
    m_fieldTooLong = false;
    // libcsv takes the blanks off the ends of an unquoted cell only: a quoted one loses them
    // here, so that "BRUME " and BRUME are read alike.
    while (size > 0 && (data[0] == ' ' || data[0] == '\t'))
        ++data, --size;
    while (size > 0 && (data[size - 1] == ' ' || data[size - 1] == '\t'))
        --size;
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

// libcsv ends a record on the last byte of a piece: the next one starts after the piece.
void CsvFile::rowEnd() {
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
    m_recordLine = m_nextLine;
    m_recordOffset = m_nextOffset;
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
