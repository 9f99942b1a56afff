// Reading values: text and encodings, dates, numbers, and whole rows of them. Pure code:
// no I/O, no state kept between calls.
#include "tools/importer.h"

#include <QByteArrayView>
#include <QDate>
#include <QStringConverter>
#include <QStringDecoder>
#include <QStringList>
#include <QTime>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace importer {
namespace {

const std::array<ColumnSpec, kColumnCount> kColumns = {{
    {"date", Kind::Date, true, false},
    {"hippodrome", Kind::Text, true, false},
    {"R", Kind::Integer, true, true},
    {"C", Kind::Integer, true, true},
    {"course", Kind::Text, false, false},
    {"nbPartant", Kind::Integer, false, true},
    {"distance", Kind::Integer, false, true},
    {"dotation", Kind::Real, false, true},
    {"dossard", Kind::Integer, false, true},
    {"chevalMusique", Kind::Text, false, false},
    {"jockey", Kind::Text, false, false},
    {"statut", Kind::Text, false, false},
    {"place", Kind::Text, false, false},
    {"Terrain", Kind::Text, false, false},
    {"Etat", Kind::Text, false, false},
    {"valeur", Kind::Real, false, false},
    {"type de course", Kind::Text, false, false},
    {"commentaire", Kind::Text, false, false},
    {"cheval", Kind::Text, true, false},
    {"discipline", Kind::Text, false, false},
}};

// PARTANTS: the announced runners, with the race's hour and the morning odds.
const ColumnSpec kCardColumns[] = {
    {"date", Kind::Day, true, false},
    {"heure", Kind::Time, false, false},
    {"hippodrome", Kind::Text, true, false},
    {"R", Kind::Integer, true, true},
    {"C", Kind::Integer, true, true},
    {"course", Kind::Text, false, false},
    {"nbPartant", Kind::Integer, false, true},
    {"distance", Kind::Integer, false, true},
    {"dotation", Kind::Integer, false, true},
    {"discipline", Kind::Text, false, false},
    {"type de course", Kind::Text, false, false},
    {"dossard", Kind::Integer, false, true},
    {"cheval", Kind::Text, true, false},
    {"jockey", Kind::Text, false, false},
    {"cote", Kind::Odds, false, false},
};
static_assert(std::size(kCardColumns) <= kMaxColumns);

const Table kResults = {"CR", kColumns.data(), kColumnCount};
const Table kCard = {"PARTANTS", kCardColumns, int(std::size(kCardColumns))};

// ---- Text -------------------------------------------------------------------------------

// ASCII without NUL: most cells of a results file. Eight bytes at a time.
bool plainAscii(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const size_t n = s.size();
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        const uint64_t high = 0x8080808080808080ULL;
        if ((word & high) || ((word - 0x0101010101010101ULL) & ~word & high))
            return false;
    }
    for (; i < n; ++i)
        if (p[i] == 0 || p[i] >= 0x80)
            return false;
    return true;
}

// Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D have no character in Windows-1252.
bool undefinedInCp1252(unsigned char b) {
    return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

// UTF-8 of each Windows-1252 byte, from Qt's own codec (0x80 is the euro sign, which
// Latin-1 does not have). The undefined bytes are refused before the table is used.
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

// ISO-8859-15 is Latin-1 with eight letters and the euro sign in place of others; its bytes
// 0x80 to 0x9F are control characters, which no results file holds.
char32_t latin9(unsigned char b) {
    switch (b) {
    case 0xA4:
        return 0x20AC; // €
    case 0xA6:
        return 0x0160; // Š
    case 0xA8:
        return 0x0161; // š
    case 0xB4:
        return 0x017D; // Ž
    case 0xB8:
        return 0x017E; // ž
    case 0xBC:
        return 0x0152; // Œ
    case 0xBD:
        return 0x0153; // œ
    case 0xBE:
        return 0x0178; // Ÿ
    default:
        return b;
    }
}

void appendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The UTF-8 decoder's error state says whether bytes are valid UTF-8 (no overlong form, no
// surrogate, nothing past U+10FFFF, no sequence cut short). When they are not, decoded
// receives the text with U+FFFD for what is not valid.
bool validUtf8(std::string_view bytes, QString* decoded) {
    thread_local QStringDecoder decoder(QStringDecoder::Utf8,
                                        QStringDecoder::Flag::Stateless |
                                            QStringDecoder::Flag::ConvertInitialBom);
    thread_local std::vector<QChar> buffer;
    buffer.resize(bytes.size() + 1);
    decoder.resetState();
    QChar* end = decoder.appendToBuffer(buffer.data(),
                                        QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (!decoder.hasError())
        return true;
    if (decoded)
        *decoded = QString(buffer.data(), end - buffer.data());
    return false;
}

// What a refusal quotes of a cell: readable, short, one line.
QString quoted(QString text) {
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    if (text.size() > 40)
        text = text.left(40) + QStringLiteral("…");
    return QStringLiteral("« %1 »").arg(text);
}

QString quoted(std::string_view utf8) {
    return quoted(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

// Appends the UTF-8 text of raw to out, or says why raw is not text.
bool readText(std::string_view raw, Encoding encoding, std::string& out, QString* reason) {
    if (plainAscii(raw)) {
        out.append(raw);
        return true;
    }
    if (std::memchr(raw.data(), 0, raw.size())) {
        if (reason)
            *reason = QStringLiteral("texte illisible (octet nul 0x00)");
        return false;
    }
    if (encoding == Encoding::Utf8) {
        QString decoded;
        if (!validUtf8(raw, reason ? &decoded : nullptr)) {
            if (reason)
                *reason =
                    QStringLiteral("texte illisible (UTF-8 invalide), lu %1").arg(quoted(decoded));
            return false;
        }
        out.append(raw);
        return true;
    }
    if (encoding == Encoding::Latin9) {
        for (const char c : raw) {
            const auto b = static_cast<unsigned char>(c);
            if (b >= 0x80 && b <= 0x9F) {
                if (reason)
                    *reason = QStringLiteral("texte illisible (octet 0x%1, caractère de contrôle "
                                             "en ISO-8859-15)")
                                  .arg(QString::number(b, 16).toUpper());
                return false;
            }
            appendUtf8(latin9(b), out);
        }
        return true;
    }
    const Cp1252Table& table = cp1252();
    for (const char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out.push_back(c);
        } else if (undefinedInCp1252(b)) {
            if (reason)
                *reason = QStringLiteral("texte illisible (octet 0x%1, non défini en Windows-1252)")
                              .arg(QString::number(b, 16).toUpper());
            return false;
        } else {
            out += table.utf8[b];
        }
    }
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The length of the blank at pos in UTF-8 text: a space or a tab, or one of the no-break
// spaces (U+00A0, U+202F) a spreadsheet writes; 0 for anything else.
size_t blankAt(std::string_view s, size_t pos) {
    switch (s[pos]) {
    case ' ':
    case '\t':
        return 1;
    case '\xC2':
        return s.compare(pos, 2, "\xC2\xA0") == 0 ? 2 : 0;
    case '\xE2':
        return s.compare(pos, 3, "\xE2\x80\xAF") == 0 ? 3 : 0;
    default:
        return 0;
    }
}

size_t blankBefore(std::string_view s) {
    if (s.empty())
        return 0;
    if (isBlank(s.back()))
        return 1;
    if (s.size() >= 2 && s.substr(s.size() - 2) == "\xC2\xA0")
        return 2;
    if (s.size() >= 3 && s.substr(s.size() - 3) == "\xE2\x80\xAF")
        return 3;
    return 0;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty()) {
        const size_t blank = blankAt(s, 0);
        if (blank == 0)
            break;
        s.remove_prefix(blank);
    }
    while (const size_t blank = blankBefore(s))
        s.remove_suffix(blank);
    return s;
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
    int seconds = 0;
    if (pos < rest.size() &&
        (rest[pos] != ':' || !digits(rest, pos + 1, 2, seconds) || pos + 3 != rest.size()))
        return false;
    return QTime::isValid(hour, minute, seconds);
}

void appendDigits(std::string& out, int value, int width) {
    char buffer[4];
    for (int i = width - 1; i >= 0; --i, value /= 10)
        buffer[i] = static_cast<char>('0' + value % 10);
    out.append(buffer, static_cast<size_t>(width));
}

// dd/mm/yyyy (or d/m/yyyy) or yyyy-mm-dd, with an optional time; appends ISO text
// ("2024-03-05" or "2024-03-05 14:30"), whose first ten characters are the day.
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
    if (year < 1000 || !QDate::isValid(year, month, day))
        return false;
    int hour = 0, minute = 0;
    const bool timed = end < s.size();
    if (timed && !readTime(s.substr(end), isoDate, hour, minute))
        return false;
    appendDigits(iso, year, 4);
    iso += '-';
    appendDigits(iso, month, 2);
    iso += '-';
    appendDigits(iso, day, 2);
    if (timed) {
        iso += ' ';
        appendDigits(iso, hour, 2);
        iso += ':';
        appendDigits(iso, minute, 2);
    }
    return true;
}

// "13:50" or "9:05", or as French cards write them, "13h50" and "13h" (13:00): a time of day
// and nothing else.
bool readTimeOfDay(std::string_view s, std::string& out) {
    size_t pos = 0;
    int hour = 0, minute = 0;
    if (!oneOrTwoDigits(s, pos, hour) || pos >= s.size())
        return false;
    const bool french = s[pos] == 'h' || s[pos] == 'H';
    if (french && pos + 1 == s.size())
        minute = 0;
    else if ((s[pos] != ':' && !french) || !digits(s, pos + 1, 2, minute) || pos + 3 != s.size())
        return false;
    if (!QTime::isValid(hour, minute, 0))
        return false;
    appendDigits(out, hour, 2);
    out += ':';
    appendDigits(out, minute, 2);
    return true;
}

// ---- Numbers ------------------------------------------------------------------------------

// Normalises "1 234,5" / "1234.5" / "-3" into "1234.5" in out (ASCII, '.' as separator).
// Blanks (no-break ones too) may separate the integer digits only as a French reader groups
// them: 1 to 3 digits, then groups of exactly three ("15 000,50"); "12 34" is no number.
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
    bool grouped = false;
    size_t group = 0; // digits since the start or the last blank
    while (pos < s.size()) {
        if (s[pos] >= '0' && s[pos] <= '9') {
            out.push_back(s[pos++]);
            anyDigit = true;
            ++group;
            continue;
        }
        const size_t blank = blankAt(s, pos);
        if (blank == 0)
            break;
        if (group == 0 || (grouped ? group != 3 : group > 3))
            return false;
        grouped = true;
        group = 0;
        pos += blank;
    }
    if (grouped && group != 3)
        return false;
    if (pos < s.size() && (s[pos] == ',' || s[pos] == '.')) {
        out.push_back('.');
        ++pos;
        // A fraction that is only zeros still makes an integer: "1600,0".
        for (; pos < s.size() && s[pos] >= '0' && s[pos] <= '9'; ++pos) {
            out.push_back(s[pos]);
            anyDigit = true;
            hasFraction = hasFraction || s[pos] != '0';
        }
    }
    return anyDigit && pos == s.size();
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

// Converts one cell into value (and out.storage), or adds the reason it is refused.
void convertCell(const Table& table, int column, std::string_view utf8, ConvertedRow& out) {
    thread_local std::string scratch;
    thread_local std::string key;
    const ColumnSpec& definition = table.column(column);
    Value& value = out.values[static_cast<size_t>(column)];
    std::string_view cell = utf8;
    if (definition.kind != Kind::Text) {
        cell = trimmed(utf8);
    } else if (definition.key) {
        key.clear();
        appendKey(utf8, key);
        cell = key;
    }
    if (cell.empty()) {
        if (definition.key)
            out.problems.push_back({column, QStringLiteral("valeur obligatoire absente")});
        return;
    }
    const auto refuse = [&](const char* what) {
        out.problems.push_back({column, QString::fromUtf8(what).arg(quoted(cell))});
    };
    if (definition.nonNegative && cell.front() == '-') {
        refuse("nombre négatif impossible ici, lu %1");
        return;
    }
    switch (definition.kind) {
    case Kind::Text:
        value.type = Value::Text;
        value.offset = out.storage.size();
        value.size = cell.size();
        out.storage.append(cell);
        break;
    case Kind::Date:
    case Kind::Day:
        value.offset = out.storage.size();
        if (readDate(cell, out.storage)) {
            value.type = Value::Text;
            // ISO text starts with the day.
            value.size = definition.kind == Kind::Day ? 10 : out.storage.size() - value.offset;
            out.storage.resize(value.offset + value.size);
        } else {
            out.storage.resize(value.offset);
            refuse("date illisible %1 (jj/mm/aaaa ou aaaa-mm-jj attendu, heure HH:MM "
                   "facultative)");
        }
        break;
    case Kind::Time:
        value.offset = out.storage.size();
        if (readTimeOfDay(cell, out.storage)) {
            value.type = Value::Text;
            value.size = out.storage.size() - value.offset;
        } else {
            refuse("heure illisible %1 (HH:MM attendu, par exemple 13:50 ou 13h50)");
        }
        break;
    case Kind::Integer:
        switch (readInteger(cell, scratch, value.integer)) {
        case IntegerResult::Ok:
            value.type = Value::Integer;
            break;
        case IntegerResult::Fraction:
            refuse("nombre entier attendu, lu %1");
            break;
        case IntegerResult::TooLarge:
            refuse("nombre trop grand %1");
            break;
        case IntegerResult::NotANumber:
            refuse("nombre attendu, lu %1");
            break;
        }
        break;
    case Kind::Real:
    case Kind::Odds:
        if (!readReal(cell, scratch, value.real))
            refuse("nombre attendu, lu %1");
        else if (definition.kind == Kind::Odds && !(value.real > 1))
            refuse("cote supérieure à 1 attendue, lu %1");
        else
            value.type = Value::Real;
        break;
    }
}

bool listed(const std::vector<size_t>& indexes, size_t index) {
    return std::find(indexes.begin(), indexes.end(), index) != indexes.end();
}

QString tooLongReason() {
    return QStringLiteral("champ trop long (plus de %1 Kio)").arg(kMaxCellBytes / 1024);
}

int columnNamed(const Table& table, const QString& name) {
    for (int c = 0; c < table.columnCount; ++c)
        if (name.compare(QLatin1String(table.column(c).name), Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

// A name reduced to its letters and digits, without accents or case: "Type_De-Course" and
// "typedecourse" are both "typedecourse".
QString squashed(const QString& name) {
    QString out;
    const bool ascii =
        std::all_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x80; });
    for (const QChar c : ascii ? name : name.normalized(QString::NormalizationForm_D))
        if (c.isLetterOrNumber() && c.unicode() < 0x80)
            out += c.toLower();
    return out;
}

// Levenshtein's distance between a and b, or most + 1 as soon as it is sure to exceed most.
// Only the cells within most of the diagonal can stay within most: the others are not
// computed.
int editDistance(const QString& a, const QString& b, int most) {
    constexpr int kLongest = 32;
    const int n = int(a.size());
    const int m = int(b.size());
    if (n > kLongest || m > kLongest || std::abs(n - m) > most)
        return most + 1;
    const QChar* x = a.constData();
    const QChar* y = b.constData();
    const int beyond = most + 1;
    int row[kLongest + 1];
    for (int j = 0; j <= m; ++j)
        row[j] = std::min(j, beyond);
    for (int i = 1; i <= n; ++i) {
        const int first = std::max(1, i - most);
        const int last = std::min(m, i + most);
        // row[first - 1] is the cell left of the band: i itself at the border, else beyond.
        int diagonal = row[first - 1];
        row[first - 1] = first == 1 ? std::min(i, beyond) : beyond;
        int least = row[first - 1];
        for (int j = first; j <= last; ++j) {
            const int above = j <= i - 1 + most ? row[j] : beyond;
            int d = diagonal + (x[i - 1] == y[j - 1] ? 0 : 1);
            d = std::min({d, above + 1, row[j - 1] + 1, beyond});
            row[j] = d;
            diagonal = above;
            least = std::min(least, d);
        }
        if (least > most)
            return beyond;
    }
    return row[m];
}

// The column a mistyped name most likely means: the same letters, or one or two typing
// slips in a long name ("hipodrome", "nbPartants").
int columnNear(const Table& table, const QString& name) {
    if (name.size() > 64) // no column's name is a quarter as long
        return -1;
    const QString typed = squashed(name);
    const int most = typed.size() <= 2 ? 0 : typed.size() <= 5 ? 1 : 2; // slips forgiven
    int best = -1;
    int bestDistance = most + 1;
    for (int c = 0; c < table.columnCount && !typed.isEmpty(); ++c) {
        const int d = editDistance(typed, squashed(QLatin1String(table.column(c).name)), most);
        if (d < bestDistance)
            best = c, bestDistance = d;
    }
    return best;
}

QString columnList(const Table& table) {
    QStringList names;
    for (int c = 0; c < table.columnCount; ++c)
        names << QLatin1String(table.column(c).name);
    return names.join(QStringLiteral(", "));
}

} // namespace

int Table::indexOf(std::string_view name) const {
    for (int c = 0; c < columnCount; ++c)
        if (name == columns[c].name)
            return c;
    return -1;
}

const Table& resultsTable() {
    return kResults;
}

const Table& cardTable() {
    return kCard;
}

const std::array<ColumnSpec, kColumnCount>& columns() {
    return kColumns;
}

QString encodingName(Encoding encoding) {
    switch (encoding) {
    case Encoding::Utf8:
        return QStringLiteral("UTF-8");
    case Encoding::Windows1252:
        return QStringLiteral("Windows-1252");
    case Encoding::Latin9:
        return QStringLiteral("ISO-8859-15");
    }
    return QString();
}

bool encodingFromName(const QString& name, Encoding& encoding) {
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("utf-8") || n == QLatin1String("utf8"))
        encoding = Encoding::Utf8;
    else if (n == QLatin1String("windows-1252") || n == QLatin1String("cp1252"))
        encoding = Encoding::Windows1252;
    else if (n == QLatin1String("iso-8859-15") || n == QLatin1String("latin-9") ||
             n == QLatin1String("latin9"))
        encoding = Encoding::Latin9;
    else
        return false;
    return true;
}

void EncodingScan::feed(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    // The byte-order mark, byte by byte: it may be cut too.
    for (; i < n && m_offset < 3; ++i, ++m_offset) {
        static const unsigned char bom[] = {0xEF, 0xBB, 0xBF};
        if (p[i] != bom[m_offset]) {
            m_offset = 3;
            break;
        }
        if (m_offset == 2)
            m_bom = true;
    }
    for (i = 0; i < n;) {
        if (m_need == 0 && n - i >= 8) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned char byte = p[i++];
        if (m_need > 0) {
            if (byte >= m_low && byte <= m_high) {
                m_low = 0x80;
                m_high = 0xBF;
                ++m_pending;
                if (--m_need == 0) {
                    ++m_validSequences;
                    m_pending = 0;
                }
                continue;
            }
            // A broken sequence: its bytes so far belong to none, and this byte may start
            // the next one, exactly as if the file had been looked at whole.
            m_invalidBytes += m_pending;
            m_pending = 0;
            m_need = 0;
        }
        start(byte);
    }
}

// The ranges of the second byte are those of RFC 3629: no overlong form, no surrogate,
// nothing beyond U+10FFFF.
void EncodingScan::start(unsigned char lead) {
    if (lead < 0x80)
        return;
    m_low = 0x80;
    m_high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        m_need = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        m_need = 2;
        if (lead == 0xE0)
            m_low = 0xA0;
        else if (lead == 0xED)
            m_high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        m_need = 3;
        if (lead == 0xF0)
            m_low = 0x90;
        else if (lead == 0xF4)
            m_high = 0x8F;
    } else {
        ++m_invalidBytes; // a continuation byte alone, or a byte UTF-8 never uses
        return;
    }
    m_pending = 1;
}

Encoding EncodingScan::encoding() const {
    if (m_bom || invalidBytes() == 0 || m_validSequences > invalidBytes())
        return Encoding::Utf8;
    return Encoding::Windows1252;
}

Encoding detectEncoding(std::string_view bytes, size_t* bomLength) {
    if (bomLength)
        *bomLength = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    EncodingScan scan;
    scan.feed(bytes);
    return scan.encoding();
}

QString wideEncoding(std::string_view head) {
    const QByteArrayView bytes(head.data(), qsizetype(std::min<size_t>(head.size(), 4)));
    // Without a byte-order mark, Qt recognises UTF-16 and UTF-32 by the first character,
    // which must then be ASCII: the first byte that is not NUL.
    char16_t first = 0;
    for (const char c : bytes)
        if (c != 0) {
            first = static_cast<unsigned char>(c) < 0x80 ? char16_t(c) : 0;
            break;
        }
    const auto found = QStringConverter::encodingForData(bytes, first);
    if (!found)
        return QString();
    switch (*found) {
    case QStringConverter::Utf16:
    case QStringConverter::Utf16LE:
    case QStringConverter::Utf16BE:
        return QStringLiteral("UTF-16");
    case QStringConverter::Utf32:
    case QStringConverter::Utf32LE:
    case QStringConverter::Utf32BE:
        return QStringLiteral("UTF-32");
    default:
        return QString();
    }
}

char detectSeparator(std::string_view bytes) {
    const size_t lineEnd = bytes.find_first_of("\r\n");
    const std::string_view header = bytes.substr(0, lineEnd);
    if (header.find(';') != std::string_view::npos)
        return ';';
    return header.find('\t') != std::string_view::npos ? '\t' : ',';
}

void appendKey(std::string_view utf8, std::string& out) {
    const std::string_view s = trimmed(utf8);
    for (size_t pos = 0; pos < s.size();) {
        const size_t blank = blankAt(s, pos);
        if (blank == 0) {
            out.push_back(s[pos++]);
            continue;
        }
        out.push_back(' ');
        pos += blank;
        while (pos < s.size() && blankAt(s, pos) > 0)
            pos += blankAt(s, pos);
    }
}

bool toUtf8(std::string_view bytes, Encoding encoding, std::string& out) {
    return readText(bytes, encoding, out, nullptr);
}

std::vector<QString> readHeader(const Record& header, Encoding encoding, Layout& layout,
                                const Table& table) {
    std::vector<QString> problems;
    layout.table = &table;
    layout.columnOfField.assign(header.fields.size(), -1);
    layout.fieldOfColumn.fill(-1);
    // "date;hippodrome;…;cheval;": the separator some exports put at the end of every line.
    layout.trailingSeparator = header.fieldCount > 1 && header.fieldCount == header.fields.size() &&
                               header.tooLong.empty() && trimmed(header.fields.back()).empty();
    const size_t named = header.fields.size() - (layout.trailingSeparator ? 1 : 0);
    std::string utf8;
    struct Unknown {
        size_t problem;
        size_t field;
        QString name;
    };
    std::vector<Unknown> unknown;
    for (size_t field = 0; field < named; ++field) {
        if (listed(header.tooLong, field)) {
            problems.push_back(QStringLiteral("colonne %1 : %2 ; raccourcissez son nom")
                                   .arg(field + 1)
                                   .arg(tooLongReason()));
            continue;
        }
        utf8.clear();
        std::string_view name = header.fields[field];
        if (field == 0 && name.substr(0, 3) == "\xEF\xBB\xBF")
            name.remove_prefix(3);
        if (!readText(name, encoding, utf8, nullptr)) {
            problems.push_back(QStringLiteral("colonne %1 : nom illisible ; enregistrez le fichier "
                                              "en UTF-8 ou en Windows-1252")
                                   .arg(field + 1));
            continue;
        }
        // A no-break space typed in "type de course" is a blank like any other.
        const QString text = QString::fromStdString(utf8).simplified();
        if (text.isEmpty()) {
            problems.push_back(
                QStringLiteral("colonne %1 : colonne sans nom ; nommez-la ou retirez-la")
                    .arg(field + 1));
            continue;
        }
        const int found = columnNamed(table, text);
        if (found < 0) {
            unknown.push_back({problems.size(), field, text});
            problems.emplace_back();
            continue;
        }
        int& slot = layout.fieldOfColumn[static_cast<size_t>(found)];
        if (slot >= 0) {
            problems.push_back(
                QStringLiteral("colonne %1 : %2 est déjà la colonne %3 ; retirez l'une des deux")
                    .arg(field + 1)
                    .arg(quoted(text))
                    .arg(slot + 1));
            continue;
        }
        slot = static_cast<int>(field);
        layout.columnOfField[field] = found;
    }
    // A results file given for a card: its places and statuses are no card's columns, and
    // the file has its own command. One such name among misspelt ones is only a mistake.
    const auto ofResults = std::count_if(unknown.begin(), unknown.end(), [](const Unknown& u) {
        return columnNamed(kResults, u.name) >= 0;
    });
    if (&table == &kCard && ofResults > 0 &&
        (ofResults >= 2 || ofResults == std::ptrdiff_t(unknown.size())))
        return {QStringLiteral("ce fichier ressemble à des résultats : utilisez import-results")};
    // A mistyped name is guessed in a header that names other columns right; past a few
    // unknown names the file is another one, or cut by another separator, and the list of
    // the table's names helps more than guesses.
    const bool guess = unknown.size() <= 3 && unknown.size() < named;
    bool listNames = false;
    for (const Unknown& u : unknown) {
        const int near = guess ? columnNear(table, u.name) : -1;
        const QString tableName = QLatin1String(table.name);
        listNames = listNames || near < 0;
        problems[u.problem] =
            near >= 0 ? QStringLiteral("colonne %1 : %2 n'est pas une colonne de %3 ; renommez-la "
                                       "« %4 »")
                            .arg(u.field + 1)
                            .arg(quoted(u.name), tableName, QLatin1String(table.column(near).name))
                      : QStringLiteral("colonne %1 : %2 n'est pas une colonne de %3 ; retirez-la "
                                       "ou renommez-la")
                            .arg(u.field + 1)
                            .arg(quoted(u.name), tableName);
    }
    if (listNames)
        problems.push_back(QStringLiteral("les colonnes de %1 : %2")
                               .arg(QLatin1String(table.name), columnList(table)));
    if (header.fieldCount > header.fields.size())
        problems.push_back(QStringLiteral("%1 colonnes : %2 n'en a que %3 ; retirez celles en trop")
                               .arg(header.fieldCount)
                               .arg(QLatin1String(table.name))
                               .arg(table.columnCount));
    for (int c = 0; c < table.columnCount; ++c) {
        const ColumnSpec& definition = table.column(c);
        if (definition.key && layout.fieldOfColumn[static_cast<size_t>(c)] < 0)
            problems.push_back(
                QStringLiteral("la colonne « %1 » manque (date, hippodrome, R, C et cheval "
                               "identifient un partant) ; ajoutez-la")
                    .arg(QLatin1String(definition.name)));
    }
    return problems;
}

std::vector<QString> readHeader(const std::vector<std::string_view>& names, Encoding encoding,
                                Layout& layout, const Table& table) {
    Record header;
    header.fields = names;
    header.fieldCount = names.size();
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i].size() > kMaxCellBytes) {
            header.fields[i] = std::string_view();
            header.tooLong.push_back(i);
        }
    return readHeader(header, encoding, layout, table);
}

void convertRow(const Layout& layout, const Record& record, Encoding encoding, ConvertedRow& out) {
    out.storage.clear();
    out.problems.clear();
    for (Value& v : out.values)
        v = Value();
    const size_t expected = layout.columnOfField.size();
    const bool withoutTrailing = layout.trailingSeparator && record.fieldCount + 1 == expected;
    if (record.fieldCount != expected && !withoutTrailing) {
        out.problems.push_back({-1, QStringLiteral("%1 champs au lieu de %2")
                                        .arg(record.fieldCount)
                                        .arg(layout.trailingSeparator ? expected - 1 : expected)});
        return;
    }
    if (layout.trailingSeparator && record.fieldCount == expected &&
        (listed(record.tooLong, expected - 1) || !trimmed(record.fields.back()).empty())) {
        out.problems.push_back(
            {-1, QStringLiteral("%1 champs au lieu de %2 : une valeur suit la dernière colonne")
                     .arg(record.fieldCount)
                     .arg(expected - 1)});
        return;
    }
    thread_local std::string utf8;
    QString reason;
    for (size_t field = 0; field < record.fields.size(); ++field) {
        const int column = layout.columnOfField[field];
        if (column < 0 || column >= layout.table->columnCount)
            continue;
        if (!record.tooLong.empty() && listed(record.tooLong, field)) {
            out.problems.push_back({column, tooLongReason()});
            continue;
        }
        std::string_view text = record.fields[field];
        if (!plainAscii(text)) {
            utf8.clear();
            if (!readText(text, encoding, utf8, &reason)) {
                out.problems.push_back({column, reason});
                continue;
            }
            text = utf8;
        }
        convertCell(*layout.table, column, text, out);
    }
}

void convertRow(const Layout& layout, const std::vector<std::string_view>& fields,
                Encoding encoding, ConvertedRow& out) {
    Record record;
    record.fields = fields;
    record.fieldCount = fields.size();
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].size() > kMaxCellBytes) {
            record.fields[i] = std::string_view();
            record.tooLong.push_back(i);
        }
    convertRow(layout, record, encoding, out);
}

} // namespace importer
