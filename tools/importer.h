#pragma once

#include <QString>
#include <QTextStream>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

// Race results from a CSV file into CR. Three parts, one file each:
// - import_values.cpp reads values: text and encodings, dates, numbers. Pure: any bytes
//   give either values or the reasons they are refused, never a crash;
// - import_csv.cpp drives the CSV parser (libcsv) over the file, as a stream;
// - import_cr.cpp writes CR in one transaction.
// importer.cpp ties them together.
namespace importer {

enum class Kind { Text, Date, Integer, Real };

struct ColumnSpec {
    const char* name; // as the header names it and as CR stores it
    Kind kind;
    bool key;         // part of a runner's identity: must be named in the header and never empty
    bool nonNegative; // a count or a size: a negative number is refused
};

constexpr int kColumnCount = 20;
// A cell longer than this (in the file's bytes) is refused.
constexpr size_t kMaxCellBytes = 64 * 1024;

// CR's columns in their stored order.
const std::array<ColumnSpec, kColumnCount>& columns();

// ---- Text and encodings ------------------------------------------------------------------

enum class Encoding { Utf8, Windows1252 };

// A file's encoding, from its bytes fed in order, piece by piece: UTF-8 as soon as one valid
// multi-byte UTF-8 sequence shows (the byte-order mark is one), Windows-1252 for a file
// holding other bytes above 127 and no such sequence. A pure ASCII file counts as UTF-8.
// The bytes are read one at a time through a state machine, so where the pieces are cut
// never changes what is found.
class EncodingScan {
public:
    void feed(std::string_view bytes);
    // UTF-8 is certain: the rest of the file need not be looked at.
    bool decided() const { return m_validSequences > 0; }
    Encoding encoding() const {
        return decided() || !m_nonAscii ? Encoding::Utf8 : Encoding::Windows1252;
    }

private:
    void start(unsigned char lead);

    bool m_nonAscii = false;
    qint64 m_validSequences = 0;
    // The sequence under way: continuation bytes still needed, and the range the next one
    // must fall in.
    int m_need = 0;
    unsigned char m_low = 0x80;
    unsigned char m_high = 0xBF;
};

// EncodingScan over the whole of bytes. bomLength is 3 when they start with the UTF-8
// byte-order mark.
Encoding detectEncoding(std::string_view bytes, size_t* bomLength = nullptr);

// "UTF-16" or "UTF-32" when the first bytes of a file (at least four when it has them) are
// text in one of those (with or without byte-order mark), an empty string otherwise.
QString wideEncoding(std::string_view head);

// ';' when the header line (bytes up to the first line break) holds one, ',' otherwise.
char detectSeparator(std::string_view bytes);

// Converts bytes of the given encoding to UTF-8, appended to out. False (out unspecified)
// when they are not text: invalid UTF-8, a NUL byte, a byte Windows-1252 leaves undefined.
bool toUtf8(std::string_view bytes, Encoding encoding, std::string& out);

// ---- Rows --------------------------------------------------------------------------------

// One record of the file as the CSV reader gives it.
struct Record {
    // The fields' bytes; a field longer than kMaxCellBytes is given empty (its bytes are not
    // kept) and listed in tooLong. At most kMaxStoredFields are kept.
    std::vector<std::string_view> fields;
    size_t fieldCount = 0;       // fields the record has, kept or not
    std::vector<size_t> tooLong; // indexes of the fields over the limit, in order
    qint64 line = 0;             // the line the record starts on

    static constexpr size_t kMaxStoredFields = 64;
};

// Which CR column each field of a row feeds.
struct Layout {
    std::vector<int> columnOfField;
    std::array<int, kColumnCount> fieldOfColumn{};
};

// Matches the header's names (case-insensitive, surrounding blanks ignored) to CR's columns.
// Returns one French sentence per problem (unknown, repeated or nameless column, missing key
// column); the layout is usable only when the list is empty.
std::vector<QString> readHeader(const std::vector<std::string_view>& names, Encoding encoding,
                                Layout& layout);
// The same for a header record: also refuses over-long names and surplus columns.
std::vector<QString> readHeader(const Record& header, Encoding encoding, Layout& layout);

struct Value {
    enum Type { Null, Integer, Real, Text } type = Null;
    int64_t integer = 0;
    double real = 0;
    // Text (UTF-8) and dates (ISO) are stored in ConvertedRow::storage.
    size_t offset = 0;
    size_t size = 0;
};

struct Problem {
    int column; // index in columns(), or -1 for the row as a whole
    QString reason;
};

// One row ready for CR, or the reasons it is refused. Reused from row to row so that
// importing millions of rows allocates next to nothing.
struct ConvertedRow {
    std::array<Value, kColumnCount> values;
    std::string storage;
    std::vector<Problem> problems;

    std::string_view text(int column) const {
        const Value& v = values[static_cast<size_t>(column)];
        return std::string_view(storage).substr(v.offset, v.size);
    }
};

// Converts the fields of one data row: text to UTF-8, dates (dd/mm/yyyy or ISO, with an
// optional " HH:MM") to ISO text, numbers with a decimal comma or point, empty cells to
// null. Pure: any bytes give either values or problems, never a crash.
void convertRow(const Layout& layout, const Record& record, Encoding encoding, ConvertedRow& out);
// The same for fields given whole (one longer than kMaxCellBytes is refused).
void convertRow(const Layout& layout, const std::vector<std::string_view>& fields,
                Encoding encoding, ConvertedRow& out);

// ---- Importing a file --------------------------------------------------------------------

struct Options {
    bool skipBad = false;                    // import the good rows and list the others
    bool progress = true;                    // report progress on large files
    qint64 progressBytes = 16 * 1024 * 1024; // "large" starts here
    // From about this many incoming rows (and no fewer than CR holds), CR's lookup indexes
    // are dropped and built again after the rows are in.
    qint64 rebuildIndexesFrom = 100'000;
};

struct Summary {
    // The import went through: its rows are in CR, or it had none to add (an empty file,
    // rows all present already). False: the database is as it was.
    bool committed = false;
    qint64 rows = 0; // data rows read (blank ones are not counted)
    qint64 imported = 0;
    qint64 duplicates = 0; // runners already present (same day, hippodrome, R, C, horse)
    qint64 refused = 0;
    bool databaseError = false; // the database could not be read or written
};

// Appends the rows of a CSV file to CR in one transaction on an open Velmora database.
// Every refused row is reported on err with its line, column and reason; a refused row
// rolls everything back unless options.skipBad. Progress and notes also go to err.
Summary importFile(const QString& csvPath, sqlite3* db, const Options& options, QTextStream& err);

} // namespace importer
