#include "racing/resultnames.h"

#include "data/statement.h"
#include "data/transaction.h"
#include "racing/vocabulary.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <sqlite3.h>

namespace racing {
namespace {

const char* const kNamesTable = "CREATE TABLE IF NOT EXISTS CR_NOMS (clef TEXT NOT NULL, "
                                "cheval TEXT NOT NULL, PRIMARY KEY (clef, cheval)) WITHOUT ROWID";
const char* const kReadTable = "CREATE TABLE IF NOT EXISTS CR_NOMS_LU (jusqua INTEGER NOT NULL)";

qint64 scalar(sqlite3* db, const QString& sql) {
    data::Statement rs(db, sql, {});
    return rs.next() && !rs.isNull(0) ? rs.integer(0) : 0;
}

// The rowid up to which the file's names were recorded; 0 for a file that never had them.
qint64 recordedUpTo(sqlite3* db) {
    if (scalar(db, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                                   "name IN ('CR_NOMS', 'CR_NOMS_LU')")) < 2)
        return 0;
    return scalar(db, QStringLiteral("SELECT max(jusqua) FROM CR_NOMS_LU"));
}

qint64 lastRow(sqlite3* db) {
    return scalar(db, QStringLiteral("SELECT max(rowid) FROM CR"));
}

// Calls `found` with each stored name after rowid `after` that differs from its key. From the
// start, the distinct names come off the name index, far fewer than the rows.
template <typename Found>
void readNames(sqlite3* db, qint64 after, Found found) {
    data::Statement rs(db,
                       after == 0 ? QStringLiteral("SELECT DISTINCT cheval FROM CR "
                                                   "WHERE cheval IS NOT NULL")
                                  : QStringLiteral("SELECT cheval FROM CR WHERE rowid > ? "
                                                   "AND cheval IS NOT NULL"),
                       after == 0 ? QVariantList{} : QVariantList{after});
    while (rs.next()) {
        const QString name = rs.string(0);
        const QString key = nameKey(name);
        if (key != name && !key.isEmpty())
            found(key, name);
    }
}

// Names of rows the file has not recorded yet, per connection: a file written by hand or by
// an older program is read once, not at each look-up.
struct Unrecorded {
    QString file;
    qint64 from = 0; // the file's recorded rowid these were read after
    qint64 upTo = 0;
    QMultiHash<QString, QString> names;
};

Unrecorded& unrecorded(sqlite3* db) {
    static QHash<sqlite3*, Unrecorded> byConnection;
    Unrecorded& cache = byConnection[db];
    const QString file = QString::fromUtf8(sqlite3_db_filename(db, "main"));
    if (cache.file != file)
        cache = Unrecorded{file, 0, 0, {}};
    return cache;
}

} // namespace

QStringList resultSpellings(const data::Database& db, const QString& horse) {
    sqlite3* handle = db.raw();
    const QString key = nameKey(horse);
    QStringList spellings{horse};
    if (key != horse)
        spellings << key;
    if (key.isEmpty())
        return spellings;

    const qint64 recorded = recordedUpTo(handle);
    if (recorded > 0) {
        data::Statement rs(handle, QStringLiteral("SELECT cheval FROM CR_NOMS WHERE clef = ?"),
                           {key});
        while (rs.next())
            spellings << rs.string(0);
    }
    Unrecorded& cache = unrecorded(handle);
    const qint64 last = lastRow(handle);
    // Rows removed, or recorded since: what was read in memory may no longer hold.
    if (cache.from != recorded || last < cache.upTo)
        cache = Unrecorded{cache.file, recorded, recorded, {}};
    if (last > cache.upTo) {
        readNames(handle, cache.upTo, [&](const QString& k, const QString& name) {
            if (!cache.names.contains(k, name))
                cache.names.insert(k, name);
        });
        cache.upTo = last;
    }
    spellings << cache.names.values(key);
    spellings.removeDuplicates();
    return spellings;
}

QString resultSpellingsParameter(const data::Database& db, const QString& horse) {
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(resultSpellings(db, horse)))
                                 .toJson(QJsonDocument::Compact));
}

void recordResultNames(const data::Database& db) {
    sqlite3* handle = db.raw();
    const qint64 last = lastRow(handle);
    const qint64 recorded = recordedUpTo(handle);
    if (recorded > 0 && last <= recorded)
        return;
    data::Transaction transaction(db);
    db.exec(QString::fromLatin1(kNamesTable));
    db.exec(QString::fromLatin1(kReadTable));
    data::Statement insert(
        handle, QStringLiteral("INSERT OR IGNORE INTO CR_NOMS (clef, cheval) VALUES (?, ?)"),
        {QString(), QString()});
    readNames(handle, recorded, [&](const QString& key, const QString& name) {
        insert.rebind({key, name});
        insert.next();
    });
    db.exec(QStringLiteral("DELETE FROM CR_NOMS_LU"));
    db.exec(QStringLiteral("INSERT INTO CR_NOMS_LU (jusqua) VALUES (?)"), {last});
    transaction.commit();
}

} // namespace racing
