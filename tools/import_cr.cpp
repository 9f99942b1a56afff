// Writing CR: one transaction, the runner index, checked binds and steps, French messages.
#include "tools/import_cr.h"

#include <sqlite3.h>

namespace importer {
namespace {

// The runner index as data/schema.cpp creates it: a runner is its day (the first ten
// characters of the ISO date, without the time), racecourse, R, C and horse.
const char* const kRunnerIndex =
    "CREATE UNIQUE INDEX CR_runner ON CR (substr(date, 1, 10), hippodrome, R, C, cheval)";
// The same, not unique: for a CR that already holds a runner twice.
const char* const kRunnerIndexNotUnique =
    "CREATE INDEX CR_runner ON CR (substr(date, 1, 10), hippodrome, R, C, cheval)";
// With the unique index, a runner already present is skipped by the insert itself (and
// only for this index: another rule broken is an error); without, it is looked for first.
const char* const kSkipPresent =
    " ON CONFLICT (substr(date, 1, 10), hippodrome, R, C, cheval) DO NOTHING";
// Served by CR_runner (the same expression, and the columns' own collations).
const char* const kFindRunner = "SELECT 1 FROM CR WHERE substr(date, 1, 10) = ?1 AND "
                                "hippodrome = ?2 AND R = ?3 AND C = ?4 AND cheval = ?5";

// Pages held in memory while the rows go in (in KiB): enough for the runner index of a
// file in race order, well under the importer's 200 MB.
constexpr int kCacheKiB = 64 * 1024;

// The engine's result in words a user can act on.
QString explain(int code, const char* engineText) {
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("le fichier est utilisé par un autre programme ; réessayez");
    case SQLITE_FULL:
        return QStringLiteral("le disque est plein ; libérez de la place puis réessayez");
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("le fichier ne peut pas être modifié (lecture seule ?)");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("le fichier est endommagé ; velmora-db check en dit plus");
    case SQLITE_NOMEM:
        return QStringLiteral("mémoire insuffisante");
    case SQLITE_IOERR:
        return QStringLiteral("erreur de lecture ou d'écriture sur le disque (%1)")
            .arg(QString::fromUtf8(engineText));
    default:
        return QStringLiteral("erreur n° %1 : %2").arg(code).arg(QString::fromUtf8(engineText));
    }
}

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
    : m_db(db), m_options(options), m_err(err) {}

CrWriter::~CrWriter() {
    rollback();
}

bool CrWriter::fail(int code, const QString& what) {
    const char* file = sqlite3_db_filename(m_db, "main");
    QString text = explain(code, sqlite3_errmsg(m_db));
    if (!what.isEmpty() && (code & 0xff) != SQLITE_BUSY && (code & 0xff) != SQLITE_LOCKED)
        text = QStringLiteral("%1 : %2").arg(what, text);
    m_failure = QStringLiteral("%1 : %2").arg(QString::fromUtf8(file ? file : ""), text);
    return false;
}

bool CrWriter::exec(const char* sql) {
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK || fail(rc, QString::fromUtf8(sql));
}

bool CrWriter::bind(int code) {
    return code == SQLITE_OK || fail(code, QStringLiteral("écriture dans CR"));
}

bool CrWriter::begin(qint64 incomingRows) {
    bool ok = false;
    m_cacheSize = integerOf(m_db, "PRAGMA cache_size", ok);
    if (ok)
        m_threads = integerOf(m_db, "PRAGMA threads", ok);
    if (!ok)
        return fail(sqlite3_errcode(m_db), QStringLiteral("lecture des réglages"));
    m_settingsChanged = true;
    const std::string cache = "PRAGMA cache_size = -" + std::to_string(kCacheKiB);
    if (!exec(cache.c_str()))
        return false;
    const int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return fail(rc, QStringLiteral("début de l'import"));
    m_open = true;
    if (!ensureRunnerIndex() || !setIndexesAside(incomingRows))
        return false;

    std::string insert = "INSERT INTO CR (";
    std::string marks;
    for (int c = 0; c < kColumnCount; ++c) {
        insert += (c ? ", [" : "[") + std::string(columns()[static_cast<size_t>(c)].name) + "]";
        marks += c ? ", ?" : "?";
    }
    insert += ") VALUES (" + marks + ")";
    if (m_runnerUnique)
        insert += kSkipPresent;
    int prepared = sqlite3_prepare_v2(m_db, insert.c_str(), -1, &m_insert, nullptr);
    if (prepared == SQLITE_OK && !m_runnerUnique)
        prepared = sqlite3_prepare_v2(m_db, kFindRunner, -1, &m_find, nullptr);
    if (prepared != SQLITE_OK)
        return fail(prepared, QStringLiteral("préparation de l'écriture dans CR"));
    return true;
}

// Finds runners already present whatever indexes the file has: CR_runner is created when it
// is missing, and made again when it is the older one on the date with its time.
bool CrWriter::ensureRunnerIndex() {
    sqlite3_stmt* query = nullptr;
    int rc = sqlite3_prepare_v2(m_db,
                                "SELECT sql FROM sqlite_master WHERE type = 'index' AND "
                                "name = 'CR_runner' COLLATE NOCASE",
                                -1, &query, nullptr);
    std::string sql;
    bool exists = false;
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(query);
        if (rc == SQLITE_ROW) {
            exists = true;
            if (const unsigned char* text = sqlite3_column_text(query, 0))
                sql = reinterpret_cast<const char*>(text);
            rc = SQLITE_DONE;
        }
    }
    sqlite3_finalize(query);
    if (rc != SQLITE_DONE)
        return fail(rc, QStringLiteral("lecture des index de CR"));
    m_runnerUnique = sql != kRunnerIndexNotUnique;
    if (sql == kRunnerIndex || sql == kRunnerIndexNotUnique)
        return true;
    if (exists && !exec("DROP INDEX CR_runner"))
        return false;
    QString note = exists ? QStringLiteral("l'index CR_runner a été refait sur le jour de la "
                                           "course (un partant avec une heure est le même que "
                                           "sans)")
                          : QStringLiteral("CR n'avait pas d'index des partants : l'index "
                                           "CR_runner a été créé");
    rc = sqlite3_exec(m_db, kRunnerIndex, nullptr, nullptr, nullptr);
    if ((rc & 0xff) == SQLITE_CONSTRAINT) {
        m_runnerUnique = false;
        rc = sqlite3_exec(m_db, kRunnerIndexNotUnique, nullptr, nullptr, nullptr);
        note += QStringLiteral(", non unique car CR contient déjà des partants en double");
    }
    if (rc != SQLITE_OK)
        return fail(rc, QStringLiteral("création de l'index CR_runner"));
    m_notes << note;
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
    bool ok = false;
    const qint64 present = integerOf(m_db, "SELECT max(rowid) FROM CR", ok);
    if (!ok)
        return fail(sqlite3_errcode(m_db), QStringLiteral("lecture de CR"));
    // Filing a row into an index at random costs about three times its share of a rebuild.
    if (incomingRows * 3 < present)
        return true;
    const char* list = "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND "
                       "tbl_name = 'CR' AND sql IS NOT NULL AND name <> 'CR_runner' COLLATE "
                       "NOCASE AND NOT EXISTS (SELECT 1 FROM pragma_index_list('CR') AS i "
                       "WHERE i.name = sqlite_master.name AND i.\"unique\")";
    sqlite3_stmt* query = nullptr;
    int rc = sqlite3_prepare_v2(m_db, list, -1, &query, nullptr);
    std::vector<std::string> names;
    while (rc == SQLITE_OK && (rc = sqlite3_step(query)) == SQLITE_ROW) {
        names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(query, 0)));
        m_setAside.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(query, 1)));
        rc = SQLITE_OK;
    }
    sqlite3_finalize(query);
    if (rc != SQLITE_DONE)
        return fail(rc, QStringLiteral("lecture des index de CR"));
    for (const std::string& name : names)
        if (!exec(("DROP INDEX " + quotedName(name)).c_str()))
            return false;
    return true;
}

CrWriter::Result CrWriter::write(const ConvertedRow& row) {
    const auto text = [&](sqlite3_stmt* statement, int index, int column) {
        const std::string_view value = row.text(column);
        return sqlite3_bind_text(statement, index, value.data(), static_cast<int>(value.size()),
                                 SQLITE_STATIC);
    };
    if (m_find) {
        // The key columns are never empty: convertRow refuses such rows.
        const std::string_view day = row.text(0).substr(0, 10);
        if (!bind(sqlite3_bind_text(m_find, 1, day.data(), static_cast<int>(day.size()),
                                    SQLITE_STATIC)) ||
            !bind(text(m_find, 2, 1)) ||
            !bind(sqlite3_bind_int64(m_find, 3, row.values[2].integer)) ||
            !bind(sqlite3_bind_int64(m_find, 4, row.values[3].integer)) ||
            !bind(text(m_find, 5, 18)))
            return Result::Failed;
        const int found = sqlite3_step(m_find);
        sqlite3_reset(m_find);
        if (found == SQLITE_ROW)
            return Result::Present;
        if (found != SQLITE_DONE) {
            fail(found, QStringLiteral("recherche des partants déjà présents"));
            return Result::Failed;
        }
    }

    for (int c = 0; c < kColumnCount; ++c) {
        const Value& v = row.values[static_cast<size_t>(c)];
        int rc = SQLITE_OK;
        switch (v.type) {
        case Value::Null:
            rc = sqlite3_bind_null(m_insert, c + 1);
            break;
        case Value::Integer:
            rc = sqlite3_bind_int64(m_insert, c + 1, v.integer);
            break;
        case Value::Real:
            rc = sqlite3_bind_double(m_insert, c + 1, v.real);
            break;
        case Value::Text:
            // The row outlives the step: no copy by the engine.
            rc = text(m_insert, c + 1, c);
            break;
        }
        if (!bind(rc))
            return Result::Failed;
    }
    const int rc = sqlite3_step(m_insert);
    sqlite3_reset(m_insert);
    if (rc != SQLITE_DONE) {
        fail(rc, QStringLiteral("écriture dans CR"));
        return Result::Failed;
    }
    return sqlite3_changes(m_db) > 0 ? Result::Added : Result::Present;
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
    if (!exec("PRAGMA cache_size = -2000") || !exec("PRAGMA threads = 2"))
        return false;
    for (const std::string& sql : m_setAside)
        if (!exec(sql.c_str()))
            return false;
    return true;
}

bool CrWriter::commit() {
    sqlite3_finalize(m_find);
    sqlite3_finalize(m_insert);
    m_find = m_insert = nullptr;
    if (!rebuildIndexes() || !exec("COMMIT")) {
        rollback();
        return false;
    }
    m_open = false;
    restoreSettings();
    for (const QString& note : m_notes)
        m_err << "velmora-db: " << note << '\n';
    return true;
}

void CrWriter::rollback() {
    sqlite3_finalize(m_find);
    sqlite3_finalize(m_insert);
    m_find = m_insert = nullptr;
    if (m_open && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_open = false;
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
