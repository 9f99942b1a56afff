#pragma once

#include "tools/importer.h"

#include <QStringList>
#include <optional>
#include <unordered_map>

struct sqlite3_stmt;

namespace importer {

// A text column of a result row, without a copy; empty for null.
std::string_view columnText(sqlite3_stmt* query, int column);

// Finalizes a statement when it goes out of scope.
struct Query {
    sqlite3_stmt* statement = nullptr;
    ~Query();
};

// The line of the file that named each runner it wrote, updated or found: a runner named
// again by a later line is a repeat within the file, not a correction. Dense by rowid
// (4 bytes a runner) as far as the table's rowids are, a map beyond.
class RunnerLines {
public:
    void set(qint64 rowid, qint64 line);
    qint64 get(qint64 rowid) const; // 0: no line of this file named it

private:
    static constexpr qint64 kDense = qint64(1) << 24;
    std::vector<uint32_t> m_dense;
    std::unordered_map<qint64, qint64> m_sparse;
};

// Writes converted rows into a table, all in one transaction: nothing is left of it unless
// commit() succeeds. What CR and PARTANTS share; each has its writer.
class TableWriter {
public:
    TableWriter(sqlite3* db, const Table& table, const Options& options, QTextStream& err);
    // Each writer's own destructor rolls back what was not committed: this one can no longer
    // reach the statements.
    virtual ~TableWriter();
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;

    // Starts the transaction and prepares the writing; layout says which columns the file
    // names. False: failure() says why.
    virtual bool begin(const Layout& layout, qint64 incomingRows) = 0;

    struct Result {
        enum Kind {
            Added,    // a new runner
            Updated,  // a runner of the table the row corrects (its named columns differ)
            Present,  // a runner of the table, or of an earlier line, with the same values
            Repeated, // a runner an earlier line of the file named, with other values
            Refused,  // a row the table cannot take as it stands: column and reason say why
            Failed
        } kind;
        Result(Kind k, qint64 earlier = 0) : kind(k), earlierLine(earlier) {}
        qint64 earlierLine = 0; // for Repeated
        int column = -1;        // for Refused
        QString reason;
    };
    // Writes a row that has no problems, read on the given line.
    virtual Result write(const ConvertedRow& row, qint64 line) = 0;

    // The import changed the table (or anything else the transaction holds).
    bool changed() const { return m_changed; }
    // Races the rows replaced: a card's; results add runners, never whole races.
    virtual qint64 races() const { return 0; }
    // Commits, then tells the notes on err. False: rolled back, failure() says why.
    bool commit();
    void rollback();

    // What went wrong, in French, naming the database file.
    const QString& failure() const { return m_failure; }

protected:
    // BEGIN IMMEDIATE, then the caller's own preparations (Options::atBegin).
    bool startTransaction();
    bool fail(int code, const QString& what);
    bool exec(const char* sql, const QString& what);
    bool prepare(const std::string& sql, sqlite3_stmt** statement);
    // Steps a statement that returns no row, and resets it.
    bool run(sqlite3_stmt* statement, const QString& what);
    bool bindValues(sqlite3_stmt* statement, const ConvertedRow& row,
                    const std::vector<int>& columns, int first);
    // "SELECT 1 FROM <table> WHERE rowid = ?1 AND (...)": a stored row whose given columns
    // differ from ?2, ?3… A text differs by any byte, case included.
    std::string differsQuery(const std::vector<int>& columns) const;
    // With a differsQuery statement (null: no column to compare): 1 when the stored row at
    // rowid differs from the row, 0 when not, -1 on failure.
    int storedDiffers(sqlite3_stmt* differs, qint64 rowid, const ConvertedRow& row,
                      const std::vector<int>& columns);
    // Runs an INSERT of every column that skips a runner already there. True when the row
    // went in (its rowid is noted for line), false when it was skipped, nothing on failure.
    std::optional<bool> insertRow(sqlite3_stmt* insert, const ConvertedRow& row, qint64 line);
    // "écriture de la ligne 12 dans CR"
    QString writingLine(qint64 line) const;
    // Statements to finalize before the transaction ends; the writer keeps them in members.
    void own(std::initializer_list<sqlite3_stmt**> statements);
    // Before COMMIT, still inside the transaction: false rolls everything back.
    virtual bool beforeCommit() { return true; }
    // Once the transaction is over, committed or not.
    virtual void ended() {}

    sqlite3* m_db;
    const Table& m_table;
    const std::vector<int> m_all; // every column, in the table's order
    const Options& m_options;
    QTextStream& m_err;
    bool m_changed = false;
    QStringList m_notes; // told on err once committed
    RunnerLines m_lines;

private:
    void finalizeStatements();
    QStringList missingColumns() const;

    std::vector<sqlite3_stmt**> m_statements;
    bool m_open = false; // the transaction is ours and open
    QString m_failure;
};

} // namespace importer
