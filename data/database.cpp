#include "data/database.h"
#include "data/transaction.h"

#include <QAtomicInteger>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>
#include <sqlite3.h>

namespace data {
namespace {

int engineCode(const QSqlError& error) {
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? code : sqlite_code::Error;
}

QString engineText(const QSqlError& error) {
    const QString text = error.databaseText();
    return text.isEmpty() ? error.text() : text;
}

QString uriFor(const QString& path, Database::Mode mode) {
    // A file URI keeps '?', '#' and '%' of the path from being read as URI syntax.
    QString uri = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    switch (mode) {
    case Database::Mode::ReadWrite:
        return uri + QStringLiteral("?mode=rw");
    case Database::Mode::Create:
        return uri + QStringLiteral("?mode=rwc");
    case Database::Mode::ReadOnly:
        return uri + QStringLiteral("?mode=ro");
    }
    return uri;
}

} // namespace

void throwQueryError(const QSqlQuery& query) {
    const QSqlError error = query.lastError();
    throw DbError(engineCode(error), engineText(error));
}

bool Database::Column::numeric() const {
    // SQLite's affinity rules, in their order.
    const QString type = declaredType.toUpper();
    if (type.contains(QLatin1String("INT")))
        return true;
    if (type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("CLOB")) ||
        type.contains(QLatin1String("TEXT")) || type.contains(QLatin1String("BLOB")) ||
        type.isEmpty())
        return false;
    return true;
}

bool Database::Column::integer() const {
    return declaredType.toUpper().contains(QLatin1String("INT"));
}

Database::Database(const QString& path, const QString& connectionName)
    : m_path(path), m_connectionName(connectionName) {}

Database::~Database() {
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

std::shared_ptr<Database> Database::open(const QString& path, Mode mode) {
    static QAtomicInteger<int> counter;
    const QString name = QStringLiteral("velmora-%1").arg(counter.fetchAndAddRelaxed(1));
    std::shared_ptr<Database> database(new Database(path, name));
    database->m_readOnly = mode == Mode::ReadOnly;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(uriFor(path, mode));
    // Another program holding the file gets two seconds to let it go.
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000"));
    if (!db.open()) {
        const QSqlError error = db.lastError();
        throw DbError(engineCode(error), engineText(error));
    }
    return database;
}

QSqlDatabase Database::handle() const {
    return QSqlDatabase::database(m_connectionName, false);
}

sqlite3* Database::raw() const {
    const QVariant v = handle().driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(v.constData());
}

QSqlQuery Database::exec(const QString& sql, const QVariantList& params) const {
    QSqlQuery query(handle());
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throwQueryError(query);
    for (const QVariant& value : params)
        query.addBindValue(value);
    if (!query.exec())
        throwQueryError(query);
    return query;
}

QVariant Database::scalar(const QString& sql, const QVariantList& params) const {
    QSqlQuery query = exec(sql, params);
    if (!query.next()) {
        if (query.lastError().isValid())
            throwQueryError(query);
        return QVariant();
    }
    return query.value(0);
}

const QVector<Database::Column>& Database::columns(const QString& table) const {
    const QString key = table.toUpper();
    auto found = m_columns.find(key);
    if (found != m_columns.end())
        return *found;
    QVector<Column> list;
    // PRAGMA arguments cannot be bound; table_info's function form can.
    QSqlQuery query = exec(QStringLiteral("SELECT name, type FROM pragma_table_info(?)"), {table});
    while (query.next())
        list.push_back({query.value(0).toString(), query.value(1).toString()});
    if (list.isEmpty())
        throw DbError(sqlite_code::Error, QStringLiteral("no such table: %1").arg(table));
    return *m_columns.insert(key, list);
}

} // namespace data

namespace data {

bool Transaction::inTransaction(const Database& db) {
    return sqlite3_get_autocommit(db.raw()) == 0;
}

} // namespace data
