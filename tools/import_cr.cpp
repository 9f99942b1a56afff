// Writing CR: the runner index, present runners corrected, a large file's indexes built once.
#include "tools/import_cr.h"

#include "data/regional.h"
#include "data/schema.h"

#include <sqlite3.h>

namespace importer {
namespace {

// The runner index as this version makes it, unique (data/schema.cpp) or not (for a CR that
// already holds a runner twice).
const std::string& runnerIndex(bool unique) {
    static const std::string sql = data::schema::runnerIndex();
    static const std::string plain = "CREATE INDEX" + sql.substr(sql.find(" CR_runner"));
    return unique ? sql : plain;
}
// With the unique index, a runner already present is skipped by the insert itself (and
// only for this index: another rule broken is an error); without, it is looked for first.
const char* const kSkipPresent =
    " ON CONFLICT (substr(date, 1, 10), hippodrome, R, C, cheval) DO NOTHING";
// Served by CR_runner (the same expression, and the columns' own collations).
const char* const kFindRunner = "SELECT rowid FROM CR WHERE substr(date, 1, 10) = ?1 AND "
                                "hippodrome = ?2 AND R = ?3 AND C = ?4 AND cheval = ?5 "
                                "ORDER BY rowid LIMIT 1";
// Stored runners whose key appendKey would change: blanks at an end, a run of them, or
// blanks of another kind (tab, no-break spaces). The trimmed text is shorter, so NOCASE
// cannot make the two equal.
std::string keysToMend() {
    const auto changes = [](const std::string& x) {
        return "(" + x + " <> trim(" + x + ", ' ' || char(9, 160, 8239)) OR instr(" + x +
               ", '  ') OR instr(" + x + ", char(9)) OR instr(" + x + ", char(160)) OR instr(" + x +
               ", char(8239)))";
    };
    return "SELECT rowid, substr(date, 1, 10), R, C, hippodrome, cheval FROM CR WHERE " +
           changes("hippodrome") + " OR " + changes("cheval") + " ORDER BY rowid";
}

// Pages held in memory while the rows of a large file go in (in KiB): enough for the
// runner index of a file in race order, well under the importer's 200 MB.
constexpr int kCacheKiB = 64 * 1024;
constexpr qint64 kLargeFile = 10'000; // rows

qint64 integerOf(sqlite3* db, const char* sql, bool& ok) {
    sqlite3_stmt* query = nullptr;
    qint64 value = 0;
    ok = sqlite3_prepare_v2(db, sql, -1, &query, nullptr) == SQLITE_OK;
    if (ok) {
        const int rc = sqlite3_step(query);
        ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
        if (rc == SQLITE_ROW)
            value = sqlite3_column_int64(query, 0);
    }
    sqlite3_finalize(query);
    return value;
}

std::string quotedName(const std::string& name) {
    std::string quoted = "\"";
    for (const char c : name)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + '"';
}

} // namespace

CrWriter::CrWriter(sqlite3* db, const Options& options, QTextStream& err)
    : TableWriter(db, resultsTable(), options, err) {
    own({&m_find, &m_insert, &m_differs, &m_update});
}

CrWriter::~CrWriter() {
    rollback();
}

bool CrWriter::rememberSettings() {
    bool ok = false;
    m_cacheSize = integerOf(m_db, "PRAGMA cache_size", ok);
    if (ok)
        m_threads = integerOf(m_db, "PRAGMA threads", ok);
    if (!ok)
        return fail(sqlite3_errcode(m_db), QStringLiteral("lecture des réglages"));
    m_settingsChanged = true;
    return true;
}

bool CrWriter::begin(const Layout& layout, qint64 incomingRows) {
    // A small file needs neither a larger page cache nor a faster sort: its import starts
    // with as few statements as it can.
    if (incomingRows >= kLargeFile) {
        if (!rememberSettings())
            return false;
        const std::string cache = "PRAGMA cache_size = -" + std::to_string(kCacheKiB);
        if (!exec(cache.c_str(), QStringLiteral("réglage du cache")))
            return false;
    }
    if (!startTransaction())
        return false;
    // What the import needs to know of CR, in the simplest statements: compiling them is
    // most of a small file's import.
    bool ok = false;
    m_lastRowid = integerOf(m_db, "SELECT max(rowid) FROM CR", ok);
    if (!ok)
        return fail(sqlite3_errcode(m_db), QStringLiteral("lecture de CR"));
    StoredState state;
    {
        Query query;
        int rc =
            sqlite3_prepare_v2(m_db, "SELECT name, sql FROM sqlite_master WHERE type = 'index'", -1,
                               &query.statement, nullptr);
        while (rc == SQLITE_OK && (rc = sqlite3_step(query.statement)) == SQLITE_ROW) {
            const std::string_view name = columnText(query.statement, 0);
            if (QLatin1String(name.data(), qsizetype(name.size()))
                    .compare(QLatin1String("CR_runner"), Qt::CaseInsensitive) == 0) {
                state.runnerIndexFound = true;
                state.runnerIndex = columnText(query.statement, 1);
            } else if (name == "CR_plat_confirmations") {
                state.confirmationIndexFound = true;
            }
            rc = SQLITE_OK;
        }
        if (rc != SQLITE_DONE)
            return fail(rc, QStringLiteral("lecture des index de CR"));
    }
    return ensureRunnerIndex(state) && (!m_mendKeys || m_lastRowid == 0 || mendStoredKeys()) &&
           arrangeIndexes(incomingRows, state.confirmationIndexFound) && prepareStatements(layout);
}

// Finds runners already present whatever indexes the file has: CR_runner is created when it
// is missing, and made again when an older version made it (on the date with its time, or
// before the keys lost their blanks), after which those keys are mended.
bool CrWriter::ensureRunnerIndex(const StoredState& state) {
    const std::string& sql = state.runnerIndex;
    const bool exists = state.runnerIndexFound;
    int rc;
    m_runnerUnique = sql != runnerIndex(false);
    if (sql == runnerIndex(true) || sql == runnerIndex(false))
        return true;
    m_mendKeys = true;
    if (m_options.progress && m_lastRowid >= kLargeFile) {
        m_err << "Import : index des partants de CR refait pour cette version…\n";
        m_err.flush();
    }
    if (exists &&
        !exec("DROP INDEX CR_runner", QStringLiteral("remplacement de l'index CR_runner")))
        return false;
    // The previous version's index found the same runners: made again without a word.
    QString note = !exists ? QStringLiteral("CR n'avait pas d'index des partants : l'index "
                                            "CR_runner a été créé")
                   : sql.find("substr") == std::string::npos
                       ? QStringLiteral("l'index CR_runner a été refait sur le jour de la course "
                                        "(un partant avec une heure est le même que sans)")
                       : QString();
    m_runnerUnique = true;
    rc = sqlite3_exec(m_db, runnerIndex(true).c_str(), nullptr, nullptr, nullptr);
    if ((rc & 0xff) == SQLITE_CONSTRAINT) {
        m_runnerUnique = false;
        rc = sqlite3_exec(m_db, runnerIndex(false).c_str(), nullptr, nullptr, nullptr);
        note = (note.isEmpty() ? QStringLiteral("l'index CR_runner a été refait") : note) +
               QStringLiteral(", non unique car CR contient déjà des partants en double");
    }
    if (rc != SQLITE_OK)
        return fail(rc, QStringLiteral("création de l'index CR_runner"));
    if (!note.isEmpty())
        m_notes << note;
    return true;
}

// Older versions kept the blanks around a quoted cell: "BRUME " was stored beside "BRUME"
// as another runner, and the horse's history missed it. Such keys are made as the import
// now makes them; where two runners become one, the first stored is kept. Done once, when
// the runner index shows an older version made the file: the search reads all of CR.
bool CrWriter::mendStoredKeys() {
    struct Stored {
        qint64 rowid;
        std::string day, hippodrome, cheval;
        sqlite3_int64 r, c;
        bool rNull, cNull;
    };
    std::vector<Stored> stored;
    {
        Query query;
        int rc = sqlite3_prepare_v2(m_db, keysToMend().c_str(), -1, &query.statement, nullptr);
        while (rc == SQLITE_OK && (rc = sqlite3_step(query.statement)) == SQLITE_ROW) {
            sqlite3_stmt* q = query.statement;
            stored.push_back({sqlite3_column_int64(q, 0), std::string(columnText(q, 1)),
                              std::string(columnText(q, 4)), std::string(columnText(q, 5)),
                              sqlite3_column_int64(q, 2), sqlite3_column_int64(q, 3),
                              sqlite3_column_type(q, 2) == SQLITE_NULL,
                              sqlite3_column_type(q, 3) == SQLITE_NULL});
            rc = SQLITE_OK;
        }
        if (rc != SQLITE_DONE)
            return fail(rc, QStringLiteral("lecture des partants de CR"));
    }
    if (stored.empty())
        return true;

    Query others, remove, update;
    if (!prepare("SELECT rowid FROM CR WHERE substr(date, 1, 10) = ?1 AND hippodrome = ?2 AND "
                 "R = ?3 AND C = ?4 AND cheval = ?5 AND rowid <> ?6 ORDER BY rowid",
                 &others.statement) ||
        !prepare("DELETE FROM CR WHERE rowid = ?1", &remove.statement) ||
        !prepare("UPDATE CR SET hippodrome = ?2, cheval = ?3 WHERE rowid = ?1", &update.statement))
        return false;
    const auto bindText = [](sqlite3_stmt* s, int index, const std::string& text) {
        return sqlite3_bind_text(s, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
    };
    const QString mending = QStringLiteral("correction des partants de CR");
    qint64 mended = 0, merged = 0;
    for (const Stored& runner : stored) {
        std::string hippodrome, cheval;
        appendKey(runner.hippodrome, hippodrome);
        appendKey(runner.cheval, cheval);
        if (hippodrome == runner.hippodrome && cheval == runner.cheval)
            continue;
        bindText(others.statement, 1, runner.day);
        bindText(others.statement, 2, hippodrome);
        runner.rNull ? sqlite3_bind_null(others.statement, 3)
                     : sqlite3_bind_int64(others.statement, 3, runner.r);
        runner.cNull ? sqlite3_bind_null(others.statement, 4)
                     : sqlite3_bind_int64(others.statement, 4, runner.c);
        bindText(others.statement, 5, cheval);
        sqlite3_bind_int64(others.statement, 6, runner.rowid);
        std::vector<qint64> same;
        int rc;
        while ((rc = sqlite3_step(others.statement)) == SQLITE_ROW)
            same.push_back(sqlite3_column_int64(others.statement, 0));
        sqlite3_reset(others.statement);
        if (rc != SQLITE_DONE)
            return fail(rc, mending);
        // Rows come by rowid: the first stored of the runner is the lowest.
        const bool keepThis = same.empty() || same.front() > runner.rowid;
        for (const qint64 rowid : keepThis ? same : std::vector<qint64>{runner.rowid}) {
            sqlite3_bind_int64(remove.statement, 1, rowid);
            if (!run(remove.statement, mending))
                return false;
            ++merged;
        }
        if (!keepThis)
            continue;
        sqlite3_bind_int64(update.statement, 1, runner.rowid);
        bindText(update.statement, 2, hippodrome);
        bindText(update.statement, 3, cheval);
        if (!run(update.statement, mending))
            return false;
        ++mended;
    }
    if (mended + merged == 0)
        return true;
    m_changed = true;
    QString note = regional::counted(mended, QStringLiteral("partant de CR enregistré"),
                                     QStringLiteral("partants de CR enregistrés")) +
                   QStringLiteral(" avec des blancs autour de l'hippodrome ou du cheval : blancs "
                                  "retirés");
    if (merged > 0)
        note += QStringLiteral(" ; ") +
                regional::counted(merged, QStringLiteral("en double d'un autre partant retiré"),
                                  QStringLiteral("en double d'un autre partant retirés")) +
                QStringLiteral(", le premier enregistré gardé");
    m_notes << note;
    return true;
}

// CR's lookup indexes for the rows to come: set aside for a large file (below), and the
// confirmation lists' index added to a file made before it, with the first import that
// commits, never by a refused one; with a large file, once its rows are in.
bool CrWriter::arrangeIndexes(qint64 incomingRows, bool confirmationIndexFound) {
    if (!setIndexesAside(incomingRows))
        return false;
    if (confirmationIndexFound)
        return true;
    if (m_rebuildAtEnd)
        m_setAside.emplace_back(data::schema::confirmationIndex());
    else if (!exec(data::schema::confirmationIndex(),
                   QStringLiteral("création de l'index des listes de confirmation")))
        return false;
    m_notes << QStringLiteral("l'index des listes de confirmation a été ajouté");
    return true;
}

// A large file goes in far faster when CR's lookup indexes are built once at the end (a
// sort) than when each runner is filed into them at random. The runner index stays (it
// finds the runners already present), and so do other unique indexes (they are rules).
// Dropping and creating happen inside the transaction: a refused file leaves them as they
// were.
bool CrWriter::setIndexesAside(qint64 incomingRows) {
    if (incomingRows < m_options.rebuildIndexesFrom)
        return true;
    // Filing a row into an index at random costs about three times its share of a rebuild.
    if (incomingRows * 3 < m_lastRowid)
        return true;
    m_rebuildAtEnd = true;
    const char* list = "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND "
                       "tbl_name = 'CR' AND sql IS NOT NULL AND name <> 'CR_runner' COLLATE "
                       "NOCASE AND NOT EXISTS (SELECT 1 FROM pragma_index_list('CR') AS i "
                       "WHERE i.name = sqlite_master.name AND i.\"unique\")";
    std::vector<std::string> names;
    int rc;
    {
        Query query;
        rc = sqlite3_prepare_v2(m_db, list, -1, &query.statement, nullptr);
        while (rc == SQLITE_OK && (rc = sqlite3_step(query.statement)) == SQLITE_ROW) {
            names.emplace_back(columnText(query.statement, 0));
            m_setAside.emplace_back(columnText(query.statement, 1));
            rc = SQLITE_OK;
        }
    }
    if (rc != SQLITE_DONE)
        return fail(rc, QStringLiteral("lecture des index de CR"));
    for (const std::string& name : names)
        if (!exec(("DROP INDEX " + quotedName(name)).c_str(),
                  QStringLiteral("mise de côté des index de CR")))
            return false;
    return true;
}

bool CrWriter::prepareStatements(const Layout& layout) {
    std::string insert = "INSERT INTO CR (";
    std::string marks;
    for (int c = 0; c < kColumnCount; ++c) {
        insert += (c ? ", [" : "[") + std::string(columns()[static_cast<size_t>(c)].name) + "]";
        marks += c ? ", ?" : "?";
        if (layout.fieldOfColumn[static_cast<size_t>(c)] >= 0 &&
            !columns()[static_cast<size_t>(c)].key)
            m_named.push_back(c);
    }
    insert += ") VALUES (" + marks + ")";
    if (m_runnerUnique)
        insert += kSkipPresent;
    return prepare(insert, &m_insert) && (m_runnerUnique || prepare(kFindRunner, &m_find));
}

// The statements for a runner already in CR, prepared when the first one comes (most
// imports bring new runners only).
bool CrWriter::preparePresent() {
    if (m_find == nullptr && !prepare(kFindRunner, &m_find))
        return false;
    if (m_named.empty() || m_differs != nullptr)
        return true;
    // What a correction compares and writes: the columns the file names, bar the key.
    std::string update = "UPDATE CR SET ";
    for (size_t i = 0; i < m_named.size(); ++i)
        update += (i ? ", [" : "[") + std::string(columns()[size_t(m_named[i])].name) + "] = ?" +
                  std::to_string(i + 2);
    update += " WHERE rowid = ?1";
    return prepare(differsQuery(m_named), &m_differs) && prepare(update, &m_update);
}

// The rowid of the row's runner in CR, 0 when it is not there, -1 on failure.
qint64 CrWriter::findRunner(const ConvertedRow& row) {
    // The key columns are never empty: convertRow refuses such rows.
    const std::string_view day = row.text(0).substr(0, 10);
    static const std::vector<int> keys = {1, 2, 3, 18};
    if (sqlite3_bind_text(m_find, 1, day.data(), static_cast<int>(day.size()), SQLITE_STATIC) !=
            SQLITE_OK ||
        !bindValues(m_find, row, keys, 2))
        return -1;
    const int found = sqlite3_step(m_find);
    const qint64 rowid = found == SQLITE_ROW ? sqlite3_column_int64(m_find, 0) : 0;
    sqlite3_reset(m_find);
    if (found != SQLITE_ROW && found != SQLITE_DONE) {
        fail(found, QStringLiteral("recherche des partants déjà présents"));
        return -1;
    }
    return rowid;
}

CrWriter::Result CrWriter::write(const ConvertedRow& row, qint64 line) {
    qint64 rowid = m_runnerUnique ? 0 : findRunner(row);
    if (rowid < 0)
        return {Result::Failed};
    if (rowid == 0) {
        const std::optional<bool> added = insertRow(m_insert, row, line);
        if (!added)
            return {Result::Failed};
        if (*added)
            return {Result::Added};
        if (!preparePresent())
            return {Result::Failed};
        rowid = findRunner(row);
        if (rowid <= 0)
            return {rowid < 0 ? Result::Failed : Result::Present};
    }

    if (!preparePresent())
        return {Result::Failed};
    const int differs = storedDiffers(m_differs, rowid, row, m_named);
    if (differs < 0)
        return {Result::Failed};
    if (const qint64 earlier = m_lines.get(rowid))
        return {differs ? Result::Repeated : Result::Present, earlier};
    m_lines.set(rowid, line);
    if (!differs)
        return {Result::Present};
    if (sqlite3_bind_int64(m_update, 1, rowid) != SQLITE_OK ||
        !bindValues(m_update, row, m_named, 2))
        return {Result::Failed};
    if (!run(m_update, writingLine(line)))
        return {Result::Failed};
    m_changed = true;
    return {Result::Updated};
}

bool CrWriter::rebuildIndexes() {
    if (m_setAside.empty())
        return true;
    if (m_options.progress) {
        m_err << "Import : reconstruction des index de CR…\n";
        m_err.flush();
    }
    // CREATE INDEX sorts fastest in small runs merged by two threads: a large page cache
    // makes it sort everything in one slow pass.
    if (!m_settingsChanged) {
        if (!rememberSettings())
            return false;
    }
    if (!exec("PRAGMA cache_size = -2000", QStringLiteral("réglage du cache")) ||
        !exec("PRAGMA threads = 2", QStringLiteral("réglage du tri")))
        return false;
    for (const std::string& sql : m_setAside)
        if (!exec(sql.c_str(), QStringLiteral("reconstruction des index de CR")))
            return false;
    return true;
}

void CrWriter::ended() {
    m_setAside.clear();
    restoreSettings();
}

void CrWriter::restoreSettings() {
    if (!m_settingsChanged)
        return;
    m_settingsChanged = false;
    const std::string sql = "PRAGMA cache_size = " + std::to_string(m_cacheSize) +
                            "; PRAGMA threads = " + std::to_string(m_threads);
    sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr);
}

} // namespace importer
