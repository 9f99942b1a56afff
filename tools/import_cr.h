#pragma once

#include "tools/import_writer.h"

namespace importer {

// Writes converted rows into CR. A runner already in CR (same day, hippodrome, R, C and
// horse) is found through the runner index, which begin() creates when the file lacks it,
// and corrected when the file gives other values.
class CrWriter : public TableWriter {
public:
    CrWriter(sqlite3* db, const Options& options, QTextStream& err);
    ~CrWriter() override;

    // Starts the transaction, makes sure of CR's indexes, mends the runners an older version
    // stored with blanks around their keys and, for a large file, sets CR's other lookup
    // indexes aside.
    bool begin(const Layout& layout, qint64 incomingRows) override;
    Result write(const ConvertedRow& row, qint64 line) override;

private:
    // Builds the indexes set aside again.
    bool beforeCommit() override { return rebuildIndexes(); }
    void ended() override;
    // Reads the page cache and thread settings, to be put back at the end.
    bool rememberSettings();
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
    qint64 findRunner(const ConvertedRow& row);
    bool rebuildIndexes();
    void restoreSettings();

    qint64 m_lastRowid = 0;         // CR's largest rowid before the import
    bool m_runnerUnique = true;     // CR_runner is unique: the insert skips present runners
    bool m_mendKeys = false;        // an older version made CR_runner: its keys are mended
    sqlite3_stmt* m_find = nullptr; // the runner's rowid
    sqlite3_stmt* m_insert = nullptr;
    sqlite3_stmt* m_differs = nullptr; // a row whose named columns differ from the row's
    sqlite3_stmt* m_update = nullptr;
    std::vector<int> m_named;            // the non-key columns the file names, in CR's order
    bool m_rebuildAtEnd = false;         // CR's lookup indexes are built once the rows are in
    std::vector<std::string> m_setAside; // CREATE INDEX texts to run again before COMMIT
    qint64 m_cacheSize = 0;              // the connection's settings before begin()
    qint64 m_threads = 0;
    bool m_settingsChanged = false;
};

} // namespace importer
