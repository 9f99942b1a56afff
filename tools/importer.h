#pragma once

#include <QString>
#include <QTextStream>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QIODevice;
struct sqlite3;

// A CSV file into a table of runners: race results into CR, or the day's card into PARTANTS.
// Four parts:
// - import_values.cpp reads values: text and encodings, dates, numbers. Pure: any bytes
//   give either values or the reasons they are refused, never a crash;
// - import_csv.cpp drives the CSV parser (libcsv) over the file, as a stream;
// - import_writer.cpp holds what writing either table takes (one transaction, checked steps,
//   French messages); import_cr.cpp writes CR, import_card.cpp PARTANTS.
// importer.cpp ties them together.
namespace importer {

enum class Kind {
    Text,
    Date, // a day, with an optional time kept (CR's races carry their hour in the date)
    Day,  // a day: a time after it is left out, the table has a column of its own for it
    Time, // a time of day, "13:50"
    Integer,
    Real,
    Odds, // a decimal number over 1
};

struct ColumnSpec {
    const char* name; // as the header names it and as the table stores it
    Kind kind;
    bool key;         // part of a runner's identity: must be named in the header and never empty
    bool nonNegative; // a count or a size: a negative number is refused
};

// The most columns a table has.
constexpr int kMaxColumns = 20;
// A cell longer than this (in the file's bytes) is refused.
constexpr size_t kMaxCellBytes = 64 * 1024;

// A table the importer fills: its name in messages and its columns in their stored order.
// Both tables identify a runner by date, hippodrome, R, C and cheval.
struct Table {
    const char* name;
    const ColumnSpec* columns;
    int columnCount;

    const ColumnSpec& column(int c) const { return columns[c]; }
    // The index of the column of that exact name, -1 when it has none.
    int indexOf(std::string_view name) const;
};

const Table& resultsTable(); // CR
const Table& cardTable();    // PARTANTS

constexpr int kColumnCount = 20; // CR's
// CR's columns in their stored order.
const std::array<ColumnSpec, kColumnCount>& columns();

// ---- Text and encodings ------------------------------------------------------------------

enum class Encoding { Utf8, Windows1252, Latin9 };

// "UTF-8", "Windows-1252", "ISO-8859-15": as the summary and --encoding name them.
QString encodingName(Encoding encoding);
// The encoding --encoding names ("utf-8", "windows-1252", "iso-8859-15", any case, and the
// usual aliases), or false.
bool encodingFromName(const QString& name, Encoding& encoding);

// A file's encoding, decided as a reader would over the whole file, from its bytes fed in
// order, piece by piece: a file that is all valid UTF-8 (pure ASCII included), or that opens
// with the UTF-8 byte-order mark, is UTF-8; otherwise its valid multi-byte UTF-8 sequences
// are counted against the bytes that belong to none. More sequences: UTF-8 with a few stray
// bytes (their rows are refused). Otherwise Windows-1252, in which an upper-case accented
// letter before a byte from 0x80 to 0xBF ("É…" is C9 85) happens to make a valid pair.
// The bytes go one at a time through a state machine, so where the pieces are cut never
// changes the counts.
class EncodingScan {
public:
    void feed(std::string_view bytes);
    Encoding encoding() const;
    qint64 validSequences() const { return m_validSequences; }
    // A sequence cut short by the end of what was fed counts as invalid.
    qint64 invalidBytes() const { return m_invalidBytes + m_pending; }

private:
    void start(unsigned char lead);

    qint64 m_offset = 0; // bytes fed, while the byte-order mark may still be under way
    bool m_bom = false;
    qint64 m_validSequences = 0;
    qint64 m_invalidBytes = 0;
    // The sequence under way: its bytes so far, continuation bytes still needed, and the
    // range the next one must fall in.
    int m_pending = 0;
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

// The separator of a header line (bytes up to the first line break): ';' when it holds one,
// else a tab when it holds one, else ','.
char detectSeparator(std::string_view bytes);

// Converts bytes of the given encoding to UTF-8, appended to out. False (out unspecified)
// when they are not text: invalid UTF-8, a NUL byte, a byte the encoding leaves undefined
// or gives to a control character.
bool toUtf8(std::string_view bytes, Encoding encoding, std::string& out);

// A runner's key text (hippodrome, cheval) as CR keeps it: blanks (spaces, tabs and the
// no-break spaces spreadsheets write) removed at both ends and each run of them inside made
// one space, so that "BRUME " and "BRUME" are one runner. UTF-8 in, UTF-8 appended to out.
void appendKey(std::string_view utf8, std::string& out);

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

// Which column of the table each field of a row feeds.
struct Layout {
    const Table* table = &resultsTable();
    std::vector<int> columnOfField;
    std::array<int, kMaxColumns> fieldOfColumn{};
    // The header ends with a separator, as some exports end every line: rows may have that
    // last, empty field or not.
    bool trailingSeparator = false;
};

// Matches the header's names (case-insensitive, blanks of any kind taken as one space) to
// the table's columns. Returns one French sentence per problem (unknown, repeated or nameless
// column, missing key column), each saying what to change; the layout is usable only when
// the list is empty.
std::vector<QString> readHeader(const std::vector<std::string_view>& names, Encoding encoding,
                                Layout& layout, const Table& table = resultsTable());
// The same for a header record: also refuses over-long names and surplus columns.
std::vector<QString> readHeader(const Record& header, Encoding encoding, Layout& layout,
                                const Table& table = resultsTable());

struct Value {
    enum Type { Null, Integer, Real, Text } type = Null;
    int64_t integer = 0;
    double real = 0;
    // Text (UTF-8) and dates (ISO) are stored in ConvertedRow::storage.
    size_t offset = 0;
    size_t size = 0;
};

struct Problem {
    int column; // index in the table's columns, or -1 for the row as a whole
    QString reason;
};

// One row ready for its table, or the reasons it is refused. Reused from row to row so that
// importing millions of rows allocates next to nothing.
struct ConvertedRow {
    std::array<Value, kMaxColumns> values;
    std::string storage;
    std::vector<Problem> problems;

    std::string_view text(int column) const {
        const Value& v = values[static_cast<size_t>(column)];
        return std::string_view(storage).substr(v.offset, v.size);
    }
};

// Converts the fields of one data row into the layout's table: text to UTF-8, dates
// (dd/mm/yyyy or ISO, with an optional " HH:MM") to ISO text, times of day to "HH:MM",
// numbers with a decimal comma or point (and blanks between groups of three digits), key
// texts as appendKey makes them, empty cells to null. Pure: any bytes give either values or
// problems, never a crash.
void convertRow(const Layout& layout, const Record& record, Encoding encoding, ConvertedRow& out);
// The same for fields given whole (one longer than kMaxCellBytes is refused).
void convertRow(const Layout& layout, const std::vector<std::string_view>& fields,
                Encoding encoding, ConvertedRow& out);

// ---- Importing a file --------------------------------------------------------------------

struct Options {
    // Results go into CR; a card replaces the races it names in PARTANTS.
    enum class Target { Results, Card } target = Target::Results;
    bool skipBad = false;                    // import the good rows and list the others
    std::optional<Encoding> encoding;        // forced, instead of decided from the bytes
    bool verbose = false;                    // the engine's own text after a French message
    bool progress = true;                    // report progress on large files
    qint64 progressBytes = 16 * 1024 * 1024; // "large" starts here
    // From about this many incoming rows (and no fewer than CR holds), CR's lookup indexes
    // are dropped and built again after the rows are in.
    qint64 rebuildIndexesFrom = 100'000;
    // Work that stands or falls with the import (velmora-db settles the bets on the races
    // it brings): run inside the import's transaction once its rows are accepted, before
    // the commit. Says whether it wrote anything itself, or, in French, why everything must
    // be rolled back. Not run for a file without a good row.
    struct Within {
        bool wrote = false;
        QString failure;
    };
    std::function<Within()> withinTransaction;
    // Run once the transaction has begun, before the first row goes in: what the rows need
    // that the file may lack (velmora-db adds PARTANTS to an older file), kept only if the
    // import commits.
    std::function<Within()> atBegin;
    // Each row written as a new runner.
    std::function<void(const ConvertedRow&)> added;
};

struct Summary {
    // The import went through: its rows are in the table, or it had none to add (an empty
    // file, rows all present already). False: the database is as it was.
    bool committed = false;
    qint64 rows = 0; // data rows read (blank ones are not counted)
    qint64 imported = 0;
    qint64 updated = 0;    // runners already in CR whose values the file corrects
    qint64 duplicates = 0; // runners already present (same day, hippodrome, R, C, horse)
    qint64 refused = 0;
    qint64 races = 0;                   // races of a card, each replacing what PARTANTS held of it
    bool databaseError = false;         // the database could not be read or written
    Encoding encoding = Encoding::Utf8; // the text was read in, once the file was opened
    bool encodingForced = false;
};

// An engine result code in words a user can act on ("le disque est plein…"): the tool's
// messages carry the engine's own text only with --verbose.
QString engineResultInWords(int code);

// Imports the rows of a CSV file ("-": standard input) into options.target's table in one
// transaction on an open Velmora database. Every refused row is reported on err with its line,
// column and reason; a refused row rolls everything back unless options.skipBad. Progress and notes
// also go to err. Nothing is written to the database unless the import is committed.
Summary importFile(const QString& csvPath, sqlite3* db, const Options& options, QTextStream& err);
// The same from bytes already open for reading; name stands for them in messages.
Summary importFrom(QIODevice& input, const QString& name, sqlite3* db, const Options& options,
                   QTextStream& err);

} // namespace importer
