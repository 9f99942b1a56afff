#pragma once

#include <QString>
#include <QTextStream>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

// Race results from a CSV file into CR. The reading and checking of a row is pure (no I/O,
// no state): it takes any bytes and either converts them or says why it cannot.
namespace importer {

enum class Kind { Text, Date, Integer, Real };

struct ColumnSpec {
    const char* name; // as the header names it and as CR stores it
    Kind kind;
    bool key; // part of a runner's identity: must be named in the header and never empty
};

constexpr int kColumnCount = 20;

// CR's columns in their stored order.
const std::array<ColumnSpec, kColumnCount>& columns();

enum class Encoding { Utf8, Windows1252 };

// UTF-8 when the bytes are valid UTF-8 (with or without a byte-order mark), Windows-1252
// otherwise. bomLength is 3 when the bytes start with the UTF-8 byte-order mark.
Encoding detectEncoding(std::string_view bytes, size_t* bomLength = nullptr);

// ';' when the header line (bytes up to the first line break) holds one, ',' otherwise.
char detectSeparator(std::string_view bytes);

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

// Converts the raw fields of one data row: text to UTF-8, dates (dd/mm/yyyy or ISO, with an
// optional " HH:MM") to ISO text, numbers with a decimal comma or point, empty cells to
// null. Pure: any bytes give either values or problems, never a crash.
void convertRow(const Layout& layout, const std::vector<std::string_view>& fields,
                Encoding encoding, ConvertedRow& out);

// Converts bytes of the given encoding to UTF-8 (pure; invalid UTF-8 gives false).
bool toUtf8(std::string_view bytes, Encoding encoding, std::string& out);

struct Options {
    bool skipBad = false;                    // import the good rows and list the others
    bool progress = true;                    // report progress on large files
    qint64 progressBytes = 16 * 1024 * 1024; // "large" starts here
    // From about this many incoming rows (and no fewer than CR holds), CR's lookup indexes
    // are dropped and built again after the rows are in.
    qint64 rebuildIndexesFrom = 100'000;
};

struct Summary {
    bool committed = false; // the rows were written (false: the database is unchanged)
    qint64 rows = 0;        // data rows read
    qint64 imported = 0;
    qint64 duplicates = 0; // runners already present (same date, hippodrome, R, C, horse)
    qint64 refused = 0;
};

// Appends the rows of a CSV file to CR in one transaction on an open Velmora database.
// Every refused row is reported on err with its line, column and reason; a refused row
// rolls everything back unless options.skipBad. Progress also goes to err.
Summary importFile(const QString& csvPath, sqlite3* db, const Options& options, QTextStream& err);

} // namespace importer
