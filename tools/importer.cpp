#include "tools/importer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QStringDecoder>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <csv.h>
#include <deque>
#include <memory>
#include <mutex>
#include <sqlite3.h>
#include <thread>

namespace importer {
namespace {

const std::array<ColumnSpec, kColumnCount> kColumns = {{
    {"date", Kind::Date, true},
    {"hippodrome", Kind::Text, true},
    {"R", Kind::Integer, true},
    {"C", Kind::Integer, true},
    {"course", Kind::Text, false},
    {"nbPartant", Kind::Integer, false},
    {"distance", Kind::Integer, false},
    {"dotation", Kind::Real, false},
    {"dossard", Kind::Integer, false},
    {"chevalMusique", Kind::Text, false},
    {"jockey", Kind::Text, false},
    {"statut", Kind::Text, false},
    {"place", Kind::Text, false},
    {"Terrain", Kind::Text, false},
    {"Etat", Kind::Text, false},
    {"valeur", Kind::Real, false},
    {"type de course", Kind::Text, false},
    {"commentaire", Kind::Text, false},
    {"cheval", Kind::Text, true},
    {"discipline", Kind::Text, false},
}};

// ---- Text -------------------------------------------------------------------------------

// Length of the valid UTF-8 sequence starting at p (at most end), 0 when it is not one.
// Overlong forms, surrogates and code points past U+10FFFF are invalid.
size_t utf8SequenceLength(const unsigned char* p, const unsigned char* end) {
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    const auto cont = [&](ptrdiff_t i) { return p + i < end && (p[i] & 0xC0) == 0x80; };
    if (c >= 0xC2 && c <= 0xDF)
        return cont(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!cont(1) || !cont(2))
            return 0;
        if (c == 0xE0 && p[1] < 0xA0)
            return 0; // overlong
        if (c == 0xED && p[1] >= 0xA0)
            return 0; // surrogate
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3))
            return 0;
        if (c == 0xF0 && p[1] < 0x90)
            return 0; // overlong
        if (c == 0xF4 && p[1] >= 0x90)
            return 0; // past U+10FFFF
        return 4;
    }
    return 0;
}

bool validUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        // Plain ASCII eight bytes at a time: results files are mostly ASCII.
        if (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                p += 8;
                continue;
            }
        }
        const size_t n = utf8SequenceLength(p, end);
        if (n == 0)
            return false;
        p += n;
    }
    return true;
}

// UTF-8 of each Windows-1252 byte, from the system's own codec (0x80 is the euro sign,
// which Latin-1 does not have).
struct Cp1252Table {
    std::array<std::string, 256> utf8;
    Cp1252Table() {
        QStringDecoder decoder("windows-1252");
        for (int b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            QString decoded =
                decoder.isValid() ? decoder.decode(QByteArrayView(&byte, 1)) : QString(QChar(b));
            if (decoded.isEmpty())
                decoded = QString(QChar(0xFFFD));
            utf8[static_cast<size_t>(b)] = decoded.toUtf8().toStdString();
        }
    }
};

const Cp1252Table& cp1252() {
    static const Cp1252Table table;
    return table;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// What a refusal quotes of the cell: readable, short, one line.
QString quoted(std::string_view utf8) {
    QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    if (text.size() > 40)
        text = text.left(40) + QStringLiteral("…");
    return QStringLiteral("« %1 »").arg(text);
}

// ---- Dates --------------------------------------------------------------------------------

bool digits(std::string_view s, size_t from, size_t count, int& value) {
    if (from + count > s.size())
        return false;
    value = 0;
    for (size_t i = from; i < from + count; ++i) {
        const char c = s[i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// Reads 1 or 2 digits at pos; advances pos.
bool oneOrTwoDigits(std::string_view s, size_t& pos, int& value) {
    int n = 0;
    value = 0;
    while (pos < s.size() && n < 2 && s[pos] >= '0' && s[pos] <= '9') {
        value = value * 10 + (s[pos] - '0');
        ++pos;
        ++n;
    }
    return n > 0;
}

bool validDay(int year, int month, int day) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1000 || month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int last = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= last;
}

// " HH:MM" or " HH:MM:SS" (or "THH:MM..." after an ISO date); the seconds are dropped.
bool readTime(std::string_view rest, bool isoDate, int& hour, int& minute) {
    size_t pos = 0;
    if (isoDate && !rest.empty() && rest[0] == 'T')
        pos = 1;
    else {
        if (rest.empty() || !isBlank(rest[0]))
            return false;
        while (pos < rest.size() && isBlank(rest[pos]))
            ++pos;
    }
    if (!oneOrTwoDigits(rest, pos, hour) || pos >= rest.size() || rest[pos] != ':')
        return false;
    ++pos;
    if (!digits(rest, pos, 2, minute))
        return false;
    pos += 2;
    if (pos < rest.size()) {
        int seconds = 0;
        if (rest[pos] != ':' || !digits(rest, pos + 1, 2, seconds) || pos + 3 != rest.size() ||
            seconds > 59)
            return false;
    }
    return hour <= 23 && minute <= 59;
}

// dd/mm/yyyy (or d/m/yyyy) or yyyy-mm-dd, with an optional time; writes ISO text.
bool readDate(std::string_view s, std::string& iso) {
    int year = 0, month = 0, day = 0;
    size_t end = 0;
    bool isoDate = false;
    if (s.size() >= 10 && s[4] == '-') {
        if (!digits(s, 0, 4, year) || !digits(s, 5, 2, month) || s[7] != '-' ||
            !digits(s, 8, 2, day))
            return false;
        end = 10;
        isoDate = true;
    } else {
        size_t pos = 0;
        if (!oneOrTwoDigits(s, pos, day) || pos >= s.size() || s[pos] != '/')
            return false;
        ++pos;
        if (!oneOrTwoDigits(s, pos, month) || pos >= s.size() || s[pos] != '/')
            return false;
        ++pos;
        if (!digits(s, pos, 4, year))
            return false;
        end = pos + 4;
    }
    if (!validDay(year, month, day))
        return false;
    char buffer[24];
    int length = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
    if (end < s.size()) {
        int hour = 0, minute = 0;
        if (!readTime(s.substr(end), isoDate, hour, minute))
            return false;
        length += std::snprintf(buffer + length, sizeof buffer - static_cast<size_t>(length),
                                " %02d:%02d", hour, minute);
    }
    iso.append(buffer, static_cast<size_t>(length));
    return true;
}

// ---- Numbers ------------------------------------------------------------------------------

// Normalises "1 234,5" / "1234.5" / "-3" into "1234.5" in out (ASCII, '.' as separator).
// Blanks (also non-breaking ones) are accepted between digits as thousands separators.
bool normaliseNumber(std::string_view s, std::string& out, bool& hasFraction) {
    out.clear();
    hasFraction = false;
    size_t pos = 0;
    if (pos < s.size() && (s[pos] == '-' || s[pos] == '+')) {
        if (s[pos] == '-')
            out.push_back('-');
        ++pos;
    }
    bool anyDigit = false;
    bool separatorSeen = false;
    bool lastWasDigit = false;
    while (pos < s.size()) {
        const char c = s[pos];
        if (c >= '0' && c <= '9') {
            out.push_back(c);
            anyDigit = true;
            lastWasDigit = true;
            ++pos;
            continue;
        }
        if (c == ',' || c == '.') {
            if (separatorSeen)
                return false;
            separatorSeen = true;
            out.push_back('.');
            lastWasDigit = false;
            ++pos;
            continue;
        }
        // Thousands blanks: space, U+00A0 and U+202F in UTF-8, only between digits.
        size_t blank = 0;
        if (c == ' ')
            blank = 1;
        else if (s.substr(pos, 2) == "\xC2\xA0")
            blank = 2;
        else if (s.substr(pos, 3) == "\xE2\x80\xAF")
            blank = 3;
        if (blank == 0 || !lastWasDigit || separatorSeen || pos + blank >= s.size() ||
            s[pos + blank] < '0' || s[pos + blank] > '9')
            return false;
        pos += blank;
        lastWasDigit = false;
    }
    if (!anyDigit)
        return false;
    if (separatorSeen) {
        // A fraction that is only zeros still makes an integer: "1600,0".
        const size_t dot = out.find('.');
        for (size_t i = dot + 1; i < out.size(); ++i)
            if (out[i] != '0')
                hasFraction = true;
    }
    return true;
}

bool readReal(std::string_view s, std::string& scratch, double& value) {
    bool hasFraction = false;
    if (!normaliseNumber(s, scratch, hasFraction))
        return false;
    const char* first = scratch.data();
    const char* last = first + scratch.size();
    const auto result = std::from_chars(first, last, value, std::chars_format::fixed);
    return result.ec == std::errc() && result.ptr == last && std::isfinite(value);
}

enum class IntegerResult { Ok, NotANumber, Fraction, TooLarge };

IntegerResult readInteger(std::string_view s, std::string& scratch, int64_t& value) {
    bool hasFraction = false;
    if (!normaliseNumber(s, scratch, hasFraction))
        return IntegerResult::NotANumber;
    if (hasFraction)
        return IntegerResult::Fraction;
    const size_t dot = scratch.find('.');
    if (dot != std::string::npos)
        scratch.resize(dot);
    if (scratch == "-" || scratch.empty()) {
        // ",5" or "-.0": a fraction of zero with no integer digits.
        value = 0;
        return IntegerResult::Ok;
    }
    const char* first = scratch.data();
    const char* last = first + scratch.size();
    const auto result = std::from_chars(first, last, value);
    if (result.ec == std::errc::result_out_of_range)
        return IntegerResult::TooLarge;
    return result.ec == std::errc() && result.ptr == last ? IntegerResult::Ok
                                                          : IntegerResult::NotANumber;
}

} // namespace

const std::array<ColumnSpec, kColumnCount>& columns() {
    return kColumns;
}

Encoding detectEncoding(std::string_view bytes, size_t* bomLength) {
    const bool bom = bytes.substr(0, 3) == "\xEF\xBB\xBF";
    if (bomLength)
        *bomLength = bom ? 3 : 0;
    if (bom)
        return Encoding::Utf8;
    return validUtf8(bytes) ? Encoding::Utf8 : Encoding::Windows1252;
}

char detectSeparator(std::string_view bytes) {
    const size_t lineEnd = bytes.find_first_of("\r\n");
    const std::string_view header = bytes.substr(0, lineEnd);
    return header.find(';') != std::string_view::npos ? ';' : ',';
}

bool toUtf8(std::string_view bytes, Encoding encoding, std::string& out) {
    if (encoding == Encoding::Utf8) {
        if (!validUtf8(bytes))
            return false;
        out.append(bytes.data(), bytes.size());
        return true;
    }
    const Cp1252Table& table = cp1252();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            out.push_back(c);
        else
            out += table.utf8[b];
    }
    return true;
}

std::vector<QString> readHeader(const std::vector<std::string_view>& names, Encoding encoding,
                                Layout& layout) {
    std::vector<QString> problems;
    layout.columnOfField.assign(names.size(), -1);
    layout.fieldOfColumn.fill(-1);
    std::string utf8;
    for (size_t field = 0; field < names.size(); ++field) {
        utf8.clear();
        std::string_view name = names[field];
        if (field == 0 && name.substr(0, 3) == "\xEF\xBB\xBF")
            name.remove_prefix(3);
        if (!toUtf8(trimmed(name), encoding, utf8)) {
            problems.push_back(QStringLiteral("colonne %1 : nom illisible").arg(field + 1));
            continue;
        }
        const QString text = QString::fromStdString(utf8);
        if (text.isEmpty()) {
            problems.push_back(QStringLiteral("colonne %1 : colonne sans nom").arg(field + 1));
            continue;
        }
        int found = -1;
        for (int c = 0; c < kColumnCount; ++c)
            if (text.compare(QLatin1String(kColumns[static_cast<size_t>(c)].name),
                             Qt::CaseInsensitive) == 0)
                found = c;
        if (found < 0) {
            problems.push_back(QStringLiteral("colonne %1 : « %2 » n'est pas une colonne de CR")
                                   .arg(field + 1)
                                   .arg(text));
            continue;
        }
        int& slot = layout.fieldOfColumn[static_cast<size_t>(found)];
        if (slot >= 0) {
            problems.push_back(QStringLiteral("colonne %1 : « %2 » est déjà la colonne %3")
                                   .arg(field + 1)
                                   .arg(text)
                                   .arg(slot + 1));
            continue;
        }
        slot = static_cast<int>(field);
        layout.columnOfField[field] = found;
    }
    for (int c = 0; c < kColumnCount; ++c) {
        const ColumnSpec& definition = kColumns[static_cast<size_t>(c)];
        if (definition.key && layout.fieldOfColumn[static_cast<size_t>(c)] < 0)
            problems.push_back(
                QStringLiteral("la colonne « %1 » manque (date, hippodrome, R, C et cheval "
                               "identifient un partant)")
                    .arg(QLatin1String(definition.name)));
    }
    return problems;
}

void convertRow(const Layout& layout, const std::vector<std::string_view>& fields,
                Encoding encoding, ConvertedRow& out) {
    out.storage.clear();
    out.problems.clear();
    for (Value& v : out.values)
        v = Value();
    if (fields.size() != layout.columnOfField.size()) {
        out.problems.push_back({-1, QStringLiteral("%1 champs au lieu de %2")
                                        .arg(fields.size())
                                        .arg(layout.columnOfField.size())});
        return;
    }
    thread_local std::string utf8;
    thread_local std::string scratch;
    for (size_t field = 0; field < fields.size(); ++field) {
        const int column = layout.columnOfField[field];
        if (column < 0 || column >= kColumnCount)
            continue;
        const ColumnSpec& definition = kColumns[static_cast<size_t>(column)];
        Value& value = out.values[static_cast<size_t>(column)];
        utf8.clear();
        if (!toUtf8(fields[field], encoding, utf8)) {
            out.problems.push_back({column, QStringLiteral("texte illisible (UTF-8 invalide)")});
            continue;
        }
        const std::string_view cell =
            definition.kind == Kind::Text ? std::string_view(utf8) : trimmed(utf8);
        if (cell.empty()) {
            if (definition.key)
                out.problems.push_back({column, QStringLiteral("valeur obligatoire absente")});
            continue;
        }
        switch (definition.kind) {
        case Kind::Text:
            value.type = Value::Text;
            value.offset = out.storage.size();
            value.size = cell.size();
            out.storage.append(cell);
            break;
        case Kind::Date:
            value.offset = out.storage.size();
            if (readDate(cell, out.storage)) {
                value.type = Value::Text;
                value.size = out.storage.size() - value.offset;
            } else {
                out.storage.resize(value.offset);
                out.problems.push_back(
                    {column, QStringLiteral("date illisible %1 (jj/mm/aaaa ou aaaa-mm-jj "
                                            "attendu, heure HH:MM facultative)")
                                 .arg(quoted(cell))});
            }
            break;
        case Kind::Integer:
            switch (readInteger(cell, scratch, value.integer)) {
            case IntegerResult::Ok:
                value.type = Value::Integer;
                break;
            case IntegerResult::Fraction:
                out.problems.push_back(
                    {column, QStringLiteral("nombre entier attendu, lu %1").arg(quoted(cell))});
                break;
            case IntegerResult::TooLarge:
                out.problems.push_back(
                    {column, QStringLiteral("nombre trop grand %1").arg(quoted(cell))});
                break;
            case IntegerResult::NotANumber:
                out.problems.push_back(
                    {column, QStringLiteral("nombre attendu, lu %1").arg(quoted(cell))});
                break;
            }
            break;
        case Kind::Real:
            if (readReal(cell, scratch, value.real))
                value.type = Value::Real;
            else
                out.problems.push_back(
                    {column, QStringLiteral("nombre attendu, lu %1").arg(quoted(cell))});
            break;
        }
    }
}

// ---- Reading the file and writing CR ------------------------------------------------------

namespace {

QString number(qint64 n) {
    // "1 234 567": the grouping a French reader expects, with a plain blank.
    QString text = QString::number(n);
    for (int i = text.size() - 3; i > (n < 0 ? 1 : 0); i -= 3)
        text.insert(i, QLatin1Char(' '));
    return text;
}

// Converted rows on their way from the reading thread to the writing one.
struct Batch {
    static constexpr size_t kRows = 4096;
    std::vector<std::array<Value, kColumnCount>> rows;
    std::string storage;

    void add(const ConvertedRow& row) {
        std::array<Value, kColumnCount>& values = rows.emplace_back(row.values);
        for (Value& v : values)
            if (v.type == Value::Text)
                v.offset += storage.size();
        storage += row.storage;
    }
    void clear() {
        rows.clear();
        storage.clear();
    }
};

// A few batches go round: the reader fills one while the writer empties another, and
// neither runs ahead of the other by more than the pool.
class Pipe {
public:
    Pipe() {
        for (int i = 0; i < 4; ++i)
            m_empty.push_back(std::make_unique<Batch>());
    }
    std::unique_ptr<Batch> takeEmpty() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_empty.empty(); });
        std::unique_ptr<Batch> batch = std::move(m_empty.front());
        m_empty.pop_front();
        return batch;
    }
    void send(std::unique_ptr<Batch> batch) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_full.push_back(std::move(batch));
        }
        m_changed.notify_all();
    }
    void close() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_closed = true;
        }
        m_changed.notify_all();
    }
    // The next filled batch, or nothing once the reader is done and all were taken.
    std::unique_ptr<Batch> receive() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_full.empty() || m_closed; });
        if (m_full.empty())
            return nullptr;
        std::unique_ptr<Batch> batch = std::move(m_full.front());
        m_full.pop_front();
        return batch;
    }
    void giveBack(std::unique_ptr<Batch> batch) {
        batch->clear();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_empty.push_back(std::move(batch));
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<Batch>> m_empty, m_full;
    bool m_closed = false;
};

class Run {
public:
    Run(sqlite3* db, const Options& options, QTextStream& err)
        : m_db(db), m_options(options), m_err(err) {}
    ~Run() {
        if (m_insert)
            sqlite3_finalize(m_insert);
    }

    Summary import(const QString& path);

private:
    Summary transfer(const QString& path);
    static void onField(void* data, size_t size, void* self) {
        static_cast<Run*>(self)->field(static_cast<const char*>(data), size);
    }
    static void onRowEnd(int terminator, void* self) {
        static_cast<Run*>(self)->rowEnd(terminator);
    }

    void field(const char* data, size_t size);
    void rowEnd(int terminator);
    void row();
    bool header();
    void enqueue();
    void write();
    void insert(const std::array<Value, kColumnCount>& values, const std::string& storage);
    bool exec(const char* sql);
    bool setIndexesAside(std::string_view bytes);
    bool rebuildIndexes();
    void engineFailure(const char* what);
    void refuse(qint64 line, int column, const QString& reason);
    bool parse(std::string_view bytes);
    qint64 lineAt(std::string_view bytes, size_t offset);
    void progress(qint64 done, qint64 total, bool last);

    sqlite3* m_db;
    const Options& m_options;
    QTextStream& m_err;
    sqlite3_stmt* m_insert = nullptr;

    Encoding m_encoding = Encoding::Utf8;
    char m_lineBreak = '\n';
    Layout m_layout;
    bool m_haveHeader = false;
    bool m_headerRefused = false;
    bool m_rowsRefused = false; // a row was refused: without skipBad nothing will be written
    // Reading (libcsv and the checks) runs in a thread of its own while this one writes;
    // only the writer touches the engine, only the reader writes to err until it is done.
    std::atomic<bool> m_engineFailed{false};
    QString m_engineMessages;
    Pipe m_pipe;
    std::unique_ptr<Batch> m_batch;

    // The record being read: its fields' bytes one after another.
    std::string m_buffer;
    std::vector<size_t> m_ends;
    std::vector<std::string_view> m_fields;
    qint64 m_line = 1;          // line of the next byte libcsv will deliver
    qint64 m_recordLine = 1;    // line where the current record starts
    size_t m_countedOffset = 0; // lineAt's cursor: lines before this offset are counted
    qint64 m_countedLines = 1;

    ConvertedRow m_row;
    std::vector<std::string> m_setAside; // CREATE INDEX texts to run again before COMMIT
    Summary m_summary;
    QElapsedTimer m_clock;
    qint64 m_lastReport = 0;
};

void Run::field(const char* data, size_t size) {
    if (m_ends.empty())
        m_recordLine = m_line;
    if (size > 0 && data) {
        m_buffer.append(data, size);
        for (size_t i = 0; i < size; ++i)
            if (data[i] == m_lineBreak)
                ++m_line;
    }
    m_ends.push_back(m_buffer.size());
}

void Run::rowEnd(int terminator) {
    if (terminator == m_lineBreak)
        ++m_line;
    if (m_ends.empty())
        return; // a blank line, or the second half of CR LF
    row();
    m_buffer.clear();
    m_ends.clear();
}

void Run::row() {
    m_fields.clear();
    size_t start = 0;
    for (const size_t end : m_ends) {
        m_fields.emplace_back(m_buffer.data() + start, end - start);
        start = end;
    }
    if (!m_haveHeader) {
        m_haveHeader = true;
        m_headerRefused = !header();
        return;
    }
    if (m_headerRefused || m_engineFailed)
        return;
    ++m_summary.rows;
    convertRow(m_layout, m_fields, m_encoding, m_row);
    if (!m_row.problems.empty()) {
        ++m_summary.refused;
        for (const Problem& problem : m_row.problems)
            refuse(m_recordLine, problem.column, problem.reason);
        if (!m_options.skipBad)
            m_rowsRefused = true;
        return;
    }
    // After a refusal without skipBad the rest is only checked, to report every bad row.
    if (!m_rowsRefused)
        enqueue();
}

void Run::enqueue() {
    if (!m_batch)
        m_batch = m_pipe.takeEmpty();
    m_batch->add(m_row);
    if (m_batch->rows.size() >= Batch::kRows)
        m_pipe.send(std::move(m_batch));
}

// The writer's loop: every batch is taken, even after a failure, so the reader never waits.
void Run::write() {
    while (std::unique_ptr<Batch> batch = m_pipe.receive()) {
        for (const auto& values : batch->rows) {
            if (m_engineFailed)
                break;
            insert(values, batch->storage);
        }
        m_pipe.giveBack(std::move(batch));
    }
}

bool Run::header() {
    const std::vector<QString> problems = readHeader(m_fields, m_encoding, m_layout);
    for (const QString& problem : problems)
        m_err << "velmora-db: en-tête (ligne " << m_recordLine << ") : " << problem << '\n';
    return problems.empty();
}

void Run::insert(const std::array<Value, kColumnCount>& values, const std::string& storage) {
    for (int c = 0; c < kColumnCount; ++c) {
        const Value& v = values[static_cast<size_t>(c)];
        switch (v.type) {
        case Value::Null:
            sqlite3_bind_null(m_insert, c + 1);
            break;
        case Value::Integer:
            sqlite3_bind_int64(m_insert, c + 1, v.integer);
            break;
        case Value::Real:
            sqlite3_bind_double(m_insert, c + 1, v.real);
            break;
        case Value::Text:
            // The batch outlives the step: no copy by the engine.
            sqlite3_bind_text(m_insert, c + 1, storage.data() + v.offset, static_cast<int>(v.size),
                              SQLITE_STATIC);
            break;
        }
    }
    const int rc = sqlite3_step(m_insert);
    sqlite3_reset(m_insert);
    if (rc != SQLITE_DONE) {
        engineFailure("écriture dans CR");
        return;
    }
    // INSERT OR IGNORE changes nothing for a runner CR already holds.
    if (sqlite3_changes(m_db) > 0)
        ++m_summary.imported;
    else
        ++m_summary.duplicates;
}

bool Run::exec(const char* sql) {
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    engineFailure(sql);
    return false;
}

// Told once the reader is done (err is its own until then).
void Run::engineFailure(const char* what) {
    m_engineFailed = true;
    m_engineMessages += QStringLiteral("velmora-db: %1 : erreur n° %2 : %3\n")
                            .arg(QString::fromUtf8(what))
                            .arg(sqlite3_extended_errcode(m_db))
                            .arg(QString::fromUtf8(sqlite3_errmsg(m_db)));
}

void Run::refuse(qint64 line, int column, const QString& reason) {
    m_err << "ligne " << line;
    if (column >= 0)
        m_err << ", colonne « " << kColumns[static_cast<size_t>(column)].name << " »";
    m_err << " : " << reason << '\n';
}

void Run::progress(qint64 done, qint64 total, bool last) {
    if (!m_options.progress || total < m_options.progressBytes)
        return;
    const qint64 now = m_clock.elapsed();
    if (!last && now - m_lastReport < 1000)
        return;
    m_lastReport = now;
    const double seconds = std::max<qint64>(now, 1) / 1000.0;
    m_err << "Import : " << number(m_summary.rows) << " lignes, "
          << static_cast<int>(100.0 * static_cast<double>(done) / static_cast<double>(total))
          << " %, " << number(static_cast<qint64>(static_cast<double>(m_summary.rows) / seconds))
          << " lignes/s\n";
    m_err.flush();
}

// A large file goes in far faster when CR's lookup indexes are built once at the end (a
// sort) than when each runner is filed into them at random. The unique index stays: it is
// what finds the runners already present. Dropping and creating happen inside the import's
// transaction, so a refused file leaves the indexes exactly as they were.
bool Run::setIndexesAside(std::string_view bytes) {
    // Rows to come, from the length of the first lines.
    const std::string_view sample = bytes.substr(0, 1 << 20);
    const auto lines = std::max<int64_t>(1, std::count(sample.begin(), sample.end(), m_lineBreak));
    const int64_t incoming =
        static_cast<int64_t>(static_cast<double>(bytes.size()) /
                             std::max(1.0, static_cast<double>(sample.size()) / lines));
    if (incoming < m_options.rebuildIndexesFrom)
        return true;
    sqlite3_stmt* query = nullptr;
    int64_t present = 0;
    if (sqlite3_prepare_v2(m_db, "SELECT max(rowid) FROM CR", -1, &query, nullptr) == SQLITE_OK &&
        sqlite3_step(query) == SQLITE_ROW)
        present = sqlite3_column_int64(query, 0);
    sqlite3_finalize(query);
    // Filing a row into an index at random costs about three times its share of a rebuild.
    if (incoming * 3 < present)
        return true;
    std::vector<std::string> names;
    const char* list = "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND "
                       "tbl_name = 'CR' AND sql IS NOT NULL AND NOT EXISTS (SELECT 1 FROM "
                       "pragma_index_list('CR') AS i WHERE i.name = sqlite_master.name AND "
                       "i.\"unique\")";
    if (sqlite3_prepare_v2(m_db, list, -1, &query, nullptr) != SQLITE_OK) {
        engineFailure("lecture des index de CR");
        return false;
    }
    while (sqlite3_step(query) == SQLITE_ROW) {
        names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(query, 0)));
        m_setAside.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(query, 1)));
    }
    sqlite3_finalize(query);
    for (const std::string& name : names) {
        std::string drop = "DROP INDEX \"";
        for (const char c : name)
            drop += c == '"' ? std::string("\"\"") : std::string(1, c);
        drop += '"';
        if (!exec(drop.c_str()))
            return false;
    }
    return true;
}

bool Run::rebuildIndexes() {
    if (m_setAside.empty())
        return true;
    if (m_options.progress) {
        m_err << "Import : reconstruction des index de CR…\n";
        m_err.flush();
    }
    // CREATE INDEX sorts fastest in small runs merged by two threads: a large page cache
    // makes it sort everything in one slow pass.
    sqlite3_exec(m_db, "PRAGMA cache_size = -2000", nullptr, nullptr, nullptr);
    sqlite3_exec(m_db, "PRAGMA threads = 2", nullptr, nullptr, nullptr);
    for (const std::string& sql : m_setAside)
        if (!exec(sql.c_str()))
            return false;
    return true;
}

// Line number of the byte at offset; offsets asked for only grow.
qint64 Run::lineAt(std::string_view bytes, size_t offset) {
    if (offset > m_countedOffset) {
        m_countedLines += std::count(bytes.begin() + static_cast<ptrdiff_t>(m_countedOffset),
                                     bytes.begin() + static_cast<ptrdiff_t>(offset), m_lineBreak);
        m_countedOffset = offset;
    }
    return m_countedLines;
}

// Feeds the bytes to libcsv in blocks (for the progress report). A misplaced quote stops
// the parser: the record is refused and reading goes on at the next line.
bool Run::parse(std::string_view bytes) {
    csv_parser parser;
    const unsigned char options = CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL;
    if (csv_init(&parser, options) != 0)
        return false;
    const char separator = detectSeparator(bytes);
    csv_set_delim(&parser, static_cast<unsigned char>(separator));

    constexpr size_t kBlock = 4 * 1024 * 1024;
    size_t pos = 0;
    while (pos < bytes.size()) {
        const size_t length = std::min(kBlock, bytes.size() - pos);
        const size_t parsed =
            csv_parse(&parser, bytes.data() + pos, length, onField, onRowEnd, this);
        if (parsed == length) {
            pos += length;
            progress(static_cast<qint64>(pos), static_cast<qint64>(bytes.size()), false);
            if (m_engineFailed)
                break;
            continue;
        }
        if (csv_error(&parser) != CSV_EPARSE) {
            csv_free(&parser);
            m_err << "velmora-db: mémoire insuffisante pour lire le fichier\n";
            return false;
        }
        // The record in progress is lost; reading resumes after the line holding the quote.
        const size_t bad = pos + parsed;
        const qint64 recordLine = m_ends.empty() ? m_line : m_recordLine;
        size_t next = bytes.find(m_lineBreak, bad);
        next = next == std::string_view::npos ? bytes.size() : next + 1;
        const bool isHeader = !m_haveHeader;
        if (isHeader) {
            m_haveHeader = true;
            m_headerRefused = true;
            m_err << "velmora-db: en-tête (ligne " << recordLine
                  << ") : guillemet mal placé (un champ entre guillemets doit être entier)\n";
        } else if (!m_headerRefused && !m_engineFailed) {
            ++m_summary.rows;
            ++m_summary.refused;
            if (!m_options.skipBad)
                m_rowsRefused = true;
            refuse(recordLine, -1,
                   QStringLiteral("guillemet mal placé (un champ entre guillemets doit être "
                                  "entier, et un guillemet dans un champ se double)"));
        }
        csv_free(&parser);
        if (csv_init(&parser, options) != 0)
            return false;
        csv_set_delim(&parser, static_cast<unsigned char>(separator));
        m_buffer.clear();
        m_ends.clear();
        m_line = lineAt(bytes, next);
        pos = next;
    }
    if (!m_engineFailed && csv_fini(&parser, onField, onRowEnd, this) != 0) {
        const qint64 recordLine = m_ends.empty() ? m_line : m_recordLine;
        m_err << "ligne " << recordLine
              << " : guillemet ouvert jamais fermé ; la fin du fichier est illisible\n";
        if (!m_haveHeader)
            m_headerRefused = true;
        else if (!m_headerRefused) {
            ++m_summary.rows;
            ++m_summary.refused;
            if (!m_options.skipBad)
                m_rowsRefused = true;
        }
    }
    csv_free(&parser);
    progress(static_cast<qint64>(bytes.size()), static_cast<qint64>(bytes.size()), true);
    return true;
}

Summary Run::import(const QString& path) {
    const Summary summary = transfer(path);
    m_err << m_engineMessages;
    return summary;
}

Summary Run::transfer(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_err << "velmora-db: " << path << " : " << file.errorString() << '\n';
        return m_summary;
    }
    // A mapped file is read in place; a pipe or a special file is read whole instead.
    QByteArray owned;
    std::string_view bytes;
    const qint64 size = file.size();
    const uchar* mapped = size > 0 ? file.map(0, size) : nullptr;
    if (mapped) {
        bytes = std::string_view(reinterpret_cast<const char*>(mapped), static_cast<size_t>(size));
    } else {
        owned = file.readAll();
        bytes = std::string_view(owned.constData(), static_cast<size_t>(owned.size()));
    }
    size_t bom = 0;
    m_encoding = detectEncoding(bytes, &bom);
    bytes.remove_prefix(bom);
    // Old Mac files end their lines with a lone CR.
    const size_t firstBreak = bytes.find_first_of("\r\n");
    m_lineBreak = firstBreak != std::string_view::npos && bytes[firstBreak] == '\r' &&
                          (firstBreak + 1 >= bytes.size() || bytes[firstBreak + 1] != '\n')
                      ? '\r'
                      : '\n';

    QString sql = QStringLiteral("INSERT OR IGNORE INTO CR (");
    QString marks;
    for (int c = 0; c < kColumnCount; ++c) {
        sql += QStringLiteral("%1[%2]").arg(c ? QStringLiteral(", ") : QString(),
                                            QLatin1String(kColumns[static_cast<size_t>(c)].name));
        marks += c ? QStringLiteral(", ?") : QStringLiteral("?");
    }
    sql += QStringLiteral(") VALUES (%1)").arg(marks);
    const QByteArray sqlText = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, sqlText.constData(), -1, &m_insert, nullptr) != SQLITE_OK) {
        engineFailure("préparation de l'écriture dans CR");
        return m_summary;
    }
    // A large page cache keeps CR's indexes in memory while millions of runners go in.
    exec("PRAGMA cache_size = -262144");
    if (!exec("BEGIN IMMEDIATE"))
        return m_summary;

    m_clock.start();
    if (!setIndexesAside(bytes)) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return m_summary;
    }
    bool read = false;
    std::thread reader([&] {
        read = parse(bytes);
        if (m_batch && !m_batch->rows.empty())
            m_pipe.send(std::move(m_batch));
        m_pipe.close();
    });
    write();
    reader.join();
    if (read && !m_haveHeader)
        m_err << "velmora-db: " << path << " : fichier vide (pas de ligne d'en-tête)\n";
    const bool good = read && m_haveHeader && !m_headerRefused && !m_engineFailed && !m_rowsRefused;
    if (good && rebuildIndexes() && exec("COMMIT")) {
        m_summary.committed = true;
        return m_summary;
    }
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_summary.imported = 0;
    m_summary.duplicates = 0;
    return m_summary;
}

} // namespace

Summary importFile(const QString& csvPath, sqlite3* db, const Options& options, QTextStream& err) {
    Run run(db, options, err);
    return run.import(csvPath);
}

} // namespace importer
