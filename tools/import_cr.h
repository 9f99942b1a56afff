#pragma once

#include "tools/importer.h"

#include <QStringList>
#include <unordered_map>

struct sqlite3_stmt;

namespace importer {

// The line of the file that named each runner of CR it wrote, updated or found: a runner
// named again by a later line is a repeat within the file, not a correction. Dense by rowid
// (4 bytes a runner) as far as CR's rowids are, a map beyond.
class RunnerLines {
public:
    void set(qint64 rowid, qint64 line);
    qint64 get(qint64 rowid) const; // 0: no line of this file named it

private:
    static constexpr qint64 kDense = qint64(1) << 24;
    std::vector<uint32_t> m_dense;
    std::unordered_map<qint64, qint64> m_sparse;
};

// Writes converted rows into CR, all in one transaction: nothing is left of it unless
// commit() succeeds. A runner already in CR (same day, hippodrome, R, C and horse) is found
// through the runner index, which begin() creates when the file lacks it.
class CrWriter {
public:
    CrWriter(sqlite3* db, const Options& options, QTextStream& err);
    ~CrWriter(); // rolls back what was not committed
    CrWriter(const CrWriter&) = delete;
    CrWriter& operator=(const CrWriter&) = delete;

    // Starts the transaction, makes sure of CR's indexes, mends the runners an older version
    // stored with blanks around their keys and, for a large file, sets CR's other lookup
    // indexes aside. layout says which columns the file names. False:
    // failure() says why.
    bool begin(const Layout& layout, qint64 incomingRows);

    struct Result {
        enum Kind {
            Added,    // a new runner
            Updated,  // a runner of CR the row corrects (its named columns differ)
            Present,  // a runner of CR, or of an earlier line, with the same values
            Repeated, // a runner an earlier line of the file named, with other values
            Failed
        } kind;
        qint64 earlierLine = 0; // for Repeated
    };
    // Writes a row that has no problems, read on the given line.
    Result write(const ConvertedRow& row, qint64 line);

    // The file changed CR: rows added or corrected, or runners mended.
    bool changed() const { return m_changed; }
    // Builds the indexes set aside again and commits. False: rolled back, failure() says why.
    bool commit();
    void rollback();

    // What went wrong, in French, naming the database file.
    const QString& failure() const { return m_failure; }

private:
    bool exec(const char* sql, const QString& what);
    bool prepare(const std::string& sql, sqlite3_stmt** statement);
    // Reads the page cache and thread settings, to be put back at the end.
    bool rememberSettings();
    bool fail(int code, const QString& what);
    QStringList missingColumns() const;
    // CR's state when the import starts.
    struct StoredState {
        bool runnerIndexFound = false;
        std::string runnerIndex; // CR_runner's CREATE INDEX text
        bool confirmationIndexFound = false;
    };
    bool ensureRunnerIndex(const StoredState& state);
    bool arrangeIndexes(qint64 incomingRows, bool confirmationIndexFound);
    bool mendStoredKeys();
    bool setIndexesAside(qint64 incomingRows);
    bool prepareStatements(const Layout& layout);
    bool preparePresent();
    bool bindValues(sqlite3_stmt* statement, const ConvertedRow& row,
                    const std::vector<int>& columns, int first);
    qint64 findRunner(const ConvertedRow& row);
    bool rebuildIndexes();
    void restoreSettings();

    sqlite3* m_db;
    const Options& m_options;
    QTextStream& m_err;
    qint64 m_lastRowid = 0;         // CR's largest rowid before the import
    bool m_runnerUnique = true;     // CR_runner is unique: the insert skips present runners
    bool m_mendKeys = false;        // an older version made CR_runner: its keys are mended
    sqlite3_stmt* m_find = nullptr; // the runner's rowid
    sqlite3_stmt* m_insert = nullptr;
    sqlite3_stmt* m_differs = nullptr; // a row whose named columns differ from the row's
    sqlite3_stmt* m_update = nullptr;
    std::vector<int> m_named; // the non-key columns the file names, in CR's order
    RunnerLines m_lines;
    bool m_open = false; // the transaction is ours and open
    bool m_changed = false;
    bool m_rebuildAtEnd = false;         // CR's lookup indexes are built once the rows are in
    std::vector<std::string> m_setAside; // CREATE INDEX texts to run again before COMMIT
    QStringList m_notes;                 // told on err once committed
    QString m_failure;
    qint64 m_cacheSize = 0; // the connection's settings before begin()
    qint64 m_threads = 0;
    bool m_settingsChanged = false;
};

} // namespace importer
