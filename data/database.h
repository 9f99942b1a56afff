#pragma once

#include "data/error.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>
#include <QVector>
#include <memory>

struct sqlite3;

// Three ways to the file, each for its own work:
// - Database::exec (and scalar): every write, and the reads of a few rows; Qt's driver binds
//   the values and reports errors as DbError. Writes that belong together run inside one
//   Transaction (transaction.h).
// - Statement (statement.h): the reads of many rows (a statement, a history, the statistics,
//   the confirmation lists), prepared straight on the engine, where Qt's per-value
//   bookkeeping would be most of the time spent.
// - RecordSet (recordset.h): the windows' designed record sets (RsUsers, RsJeux, RsSuivit…),
//   walked by position and changed field by field; new code uses the two above.
namespace data {

// One connection to an SQLite file. Record sets keep a shared reference to the connection
// they were opened on, so a replaced connection lives until its last record set is gone.
class Database {
public:
    enum class Mode { ReadWrite, Create, ReadOnly };

    // Opens the file without creating it (unless mode is Create). Only the engine's own
    // checks are made here; see schema.h for the checks of a Velmora file.
    static std::shared_ptr<Database> open(const QString& path, Mode mode = Mode::ReadWrite);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const QString& path() const { return m_path; }
    // Opened with Mode::ReadOnly: the engine refuses every write.
    bool readOnly() const { return m_readOnly; }
    QSqlDatabase handle() const;
    // The engine's own handle, for what Qt does not offer (backup, bulk import).
    sqlite3* raw() const;

    // Runs one statement with bound values; throws DbError on failure.
    QSqlQuery exec(const QString& sql, const QVariantList& params = {}) const;
    // First column of the first row, or a null QVariant without rows.
    QVariant scalar(const QString& sql, const QVariantList& params = {}) const;

    struct Column {
        QString name;
        QString declaredType;
        bool numeric() const; // INTEGER, REAL or NUMERIC affinity
        bool integer() const; // INTEGER affinity
    };
    // Columns of a table in their stored order (cached; the schema does not change while
    // the program runs).
    const QVector<Column>& columns(const QString& table) const;

private:
    Database(const QString& path, const QString& connectionName);
    QString m_path;
    QString m_connectionName;
    bool m_readOnly = false;
    mutable QHash<QString, QVector<Column>> m_columns;
};

// Throws the DbError a failed Qt query carries.
[[noreturn]] void throwQueryError(const QSqlQuery& query);

} // namespace data
