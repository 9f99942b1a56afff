#pragma once

#include "tools/importer.h"

#include <QStringList>

struct sqlite3_stmt;

namespace importer {

// Writes converted rows into CR, all in one transaction: nothing is left of it unless
// commit() succeeds. A runner already in CR (same day, hippodrome, R, C and horse) is found
// through the runner index, which begin() creates when the file lacks it.
class CrWriter {
public:
    CrWriter(sqlite3* db, const Options& options, QTextStream& err);
    ~CrWriter(); // rolls back what was not committed
    CrWriter(const CrWriter&) = delete;
    CrWriter& operator=(const CrWriter&) = delete;

    // Starts the transaction, makes sure of the runner index and, for a large file, sets
    // CR's other lookup indexes aside. False: failure() says why.
    bool begin(qint64 incomingRows);

    enum class Result { Added, Present, Failed };
    // Adds a row that has no problems, unless its runner is in CR already.
    Result write(const ConvertedRow& row);

    // Builds the indexes set aside again and commits. False: rolled back, failure() says why.
    bool commit();
    void rollback();

    // What went wrong, in French, naming the database file.
    const QString& failure() const { return m_failure; }

private:
    bool exec(const char* sql);
    bool fail(int code, const QString& what);
    bool bind(int code);
    bool ensureRunnerIndex();
    bool setIndexesAside(qint64 incomingRows);
    bool rebuildIndexes();
    void restoreSettings();

    sqlite3* m_db;
    const Options& m_options;
    QTextStream& m_err;
    bool m_runnerUnique = true;     // CR_runner is unique: the insert skips present runners
    sqlite3_stmt* m_find = nullptr; // otherwise this query finds them
    sqlite3_stmt* m_insert = nullptr;
    bool m_open = false;                 // the transaction is ours and open
    std::vector<std::string> m_setAside; // CREATE INDEX texts to run again before COMMIT
    QStringList m_notes;                 // told on err once committed
    QString m_failure;
    qint64 m_cacheSize = 0; // the connection's settings before begin()
    qint64 m_threads = 0;
    bool m_settingsChanged = false;
};

} // namespace importer
