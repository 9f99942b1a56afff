#include "data/recordset.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlRecord>
#include <cmath>
#include <sqlite3.h>

namespace data {
namespace {

[[noreturn]] void fail(const QString& text) {
    throw DbError(sqlite_code::Error, text);
}

QString quoted(const QString& name) {
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

} // namespace

void RecordSet::Open(const QString& sql, std::shared_ptr<Database> db, const QVariantList& params) {
    Close();
    if (!db)
        fail(QStringLiteral("no database connection"));
    // One table, no DISTINCT, no join: the rows can be changed by rowid.
    static const QRegularExpression single(
        QStringLiteral("^\\s*SELECT\\s+(?!DISTINCT\\b)(.+?)\\s+FROM\\s+\\[?([A-Za-z_]\\w*)\\]?"
                       "\\s*(WHERE\\b|ORDER\\b|;|$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    m_db = std::move(db);
    m_params = params;
    const auto match = single.match(sql);
    if (match.hasMatch() && !sql.contains(QLatin1String("JOIN"), Qt::CaseInsensitive)) {
        m_table = match.captured(2);
        m_selectAll = match.captured(1).trimmed() == QLatin1String("*");
        m_sql = sql;
        m_sql.insert(match.capturedStart(1), QStringLiteral("_rowid_, "));
    } else {
        m_sql = sql;
    }
}

namespace {

// The engine's own statement, finalized whatever happens.
struct Statement {
    sqlite3_stmt* handle = nullptr;
    ~Statement() { sqlite3_finalize(handle); }
};

[[noreturn]] void engineFailure(sqlite3* db) {
    throw DbError(sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)));
}

// Values bound as Qt's SQLite driver binds them.
void bindValue(sqlite3* db, sqlite3_stmt* statement, int index, const QVariant& value) {
    int rc = SQLITE_OK;
    if (value.isNull()) {
        rc = sqlite3_bind_null(statement, index);
    } else {
        switch (value.metaType().id()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            rc = sqlite3_bind_int64(statement, index, value.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(statement, index, value.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            rc = sqlite3_bind_blob(statement, index, bytes.constData(), int(bytes.size()),
                                   SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QString text = value.toString();
            rc = sqlite3_bind_text16(statement, index, text.utf16(),
                                     int(text.size() * sizeof(QChar)), SQLITE_TRANSIENT);
        }
        }
    }
    if (rc != SQLITE_OK)
        engineFailure(db);
}

QVariant columnValue(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(statement, column));
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, column)),
                          sqlite3_column_bytes(statement, column));
    case SQLITE_NULL:
        return QVariant();
    default:
        return QString(static_cast<const QChar*>(sqlite3_column_text16(statement, column)),
                       sqlite3_column_bytes16(statement, column) / int(sizeof(QChar)));
    }
}

} // namespace

void RecordSet::load() {
    if (m_loaded)
        return;
    if (!m_db)
        fail(QStringLiteral("record set is closed"));
    sqlite3* engine = m_db->raw();
    if (!engine) {
        loadThroughQt();
        return;
    }
    // Straight from the engine: a list of tens of thousands of rows is read without Qt's
    // per-value bookkeeping.
    Statement statement;
    if (sqlite3_prepare16_v2(engine, m_sql.utf16(), int(m_sql.size() * sizeof(QChar)),
                             &statement.handle, nullptr) != SQLITE_OK)
        engineFailure(engine);
    for (int i = 0; i < m_params.size(); ++i)
        bindValue(engine, statement.handle, i + 1, m_params.at(i));
    const int offset = m_table.isEmpty() ? 0 : 1;
    const int count = sqlite3_column_count(statement.handle);
    m_names.clear();
    for (int i = offset; i < count; ++i)
        m_names << QString::fromUtf8(sqlite3_column_name(statement.handle, i));
    const int width = count - offset;
    int rc;
    while ((rc = sqlite3_step(statement.handle)) == SQLITE_ROW) {
        std::vector<QVariant> row;
        row.reserve(width);
        for (int i = 0; i < width; ++i)
            row.push_back(columnValue(statement.handle, i + offset));
        m_rows.push_back(std::move(row));
        if (offset)
            m_rowids.push_back(sqlite3_column_int64(statement.handle, 0));
    }
    if (rc != SQLITE_DONE)
        engineFailure(engine);
    m_loaded = true;
    m_current = 0;
}

void RecordSet::loadThroughQt() {
    QSqlQuery query = m_db->exec(m_sql, m_params);
    const QSqlRecord record = query.record();
    const int offset = m_table.isEmpty() ? 0 : 1;
    m_names.clear();
    for (int i = offset; i < record.count(); ++i)
        m_names << record.fieldName(i);
    const int width = record.count() - offset;
    while (query.next()) {
        std::vector<QVariant> row;
        row.reserve(width);
        for (int i = 0; i < width; ++i)
            row.push_back(query.value(i + offset));
        m_rows.push_back(std::move(row));
        if (offset)
            m_rowids.push_back(query.value(0).toLongLong());
    }
    if (query.lastError().isValid())
        throwQueryError(query);
    m_loaded = true;
    m_current = 0;
}

int RecordSet::RecordCount() {
    load();
    return static_cast<int>(m_rows.size());
}

void RecordSet::MoveFirst() {
    load();
    m_edits.clear();
    m_adding = false;
    m_current = 0;
}

void RecordSet::MoveLast() {
    load();
    m_edits.clear();
    m_adding = false;
    m_current = m_rows.empty() ? 0 : static_cast<int>(m_rows.size()) - 1;
}

void RecordSet::MoveNext() {
    load();
    m_edits.clear();
    m_adding = false;
    if (m_current < static_cast<int>(m_rows.size()))
        ++m_current;
}

bool RecordSet::atEnd() {
    load();
    return m_current >= static_cast<int>(m_rows.size());
}

QString RecordSet::fieldName(int position) {
    if (m_adding && m_selectAll)
        return columnAt(position).name;
    load();
    if (position < 0 || position >= m_names.size())
        fail(QStringLiteral("no field at position %1").arg(position));
    return m_names.at(position);
}

void RecordSet::requireCurrent() {
    load();
    if (m_current < 0 || m_current >= static_cast<int>(m_rows.size()))
        fail(QStringLiteral("no current record"));
}

QVariant RecordSet::Fields(int position) {
    if (m_edits.contains(position))
        return m_edits.value(position);
    if (m_adding)
        return QVariant();
    requireCurrent();
    const auto& row = m_rows[m_current];
    if (position < 0 || position >= static_cast<int>(row.size()))
        fail(QStringLiteral("no field at position %1").arg(position));
    return row[position];
}

QVariant RecordSet::Fields(const QString& name) {
    load();
    const int position = m_names.indexOf(name);
    if (position < 0) {
        // A join's select list may qualify names; match on the bare name too.
        for (int i = 0; i < m_names.size(); ++i)
            if (m_names[i].compare(name, Qt::CaseInsensitive) == 0)
                return Fields(i);
        fail(QStringLiteral("no such field: %1").arg(name));
    }
    return Fields(position);
}

const Database::Column& RecordSet::columnAt(int position) {
    if (m_table.isEmpty())
        fail(QStringLiteral("this record set cannot be changed"));
    const auto& columns = m_db->columns(m_table);
    if (m_selectAll) {
        if (position < 0 || position >= columns.size())
            fail(QStringLiteral("no field at position %1").arg(position));
        return columns[position];
    }
    load();
    if (position < 0 || position >= m_names.size())
        fail(QStringLiteral("no field at position %1").arg(position));
    for (const auto& column : columns)
        if (column.name.compare(m_names[position], Qt::CaseInsensitive) == 0)
            return column;
    fail(QStringLiteral("field %1 is not a column of %2").arg(m_names[position], m_table));
}

QVariant RecordSet::converted(const Database::Column& column, const QVariant& value) const {
    if (value.isNull())
        return QVariant();
    if (!column.numeric())
        return value.toString();
    const auto type = value.metaType().id();
    double number = 0;
    if (type == QMetaType::QString || type == QMetaType::QByteArray) {
        static const QRegularExpression pattern(
            QStringLiteral("^[+-]?(\\d+([.,]\\d*)?|[.,]\\d+)([eE][+-]?\\d+)?$"));
        const QString text = value.toString().trimmed();
        bool ok = pattern.match(text).hasMatch();
        if (ok)
            number = QString(text).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
        if (!ok || !std::isfinite(number))
            throw DbError(sqlite_code::Mismatch,
                          QStringLiteral("'%1' is not a number for column %2")
                              .arg(value.toString(), column.name));
    } else {
        bool ok = false;
        number = value.toDouble(&ok);
        if (!ok || !std::isfinite(number))
            throw DbError(sqlite_code::Mismatch,
                          QStringLiteral("not a number for column %1").arg(column.name));
    }
    if (column.integer() && number == std::floor(number) && std::fabs(number) < 9.0e15)
        return QVariant(static_cast<qlonglong>(number));
    return QVariant(number);
}

void RecordSet::SetField(int position, const QVariant& value) {
    if (!m_adding)
        requireCurrent();
    m_edits.insert(position, converted(columnAt(position), value));
}

void RecordSet::AddNew() {
    if (!m_db)
        fail(QStringLiteral("record set is closed"));
    if (m_table.isEmpty() || !m_selectAll)
        fail(QStringLiteral("rows can only be added through SELECT * of one table"));
    m_edits.clear();
    m_adding = true;
}

void RecordSet::Update() {
    if (!m_db)
        fail(QStringLiteral("record set is closed"));
    if (m_adding) {
        QStringList names;
        QStringList marks;
        QVariantList values;
        for (auto it = m_edits.cbegin(); it != m_edits.cend(); ++it) {
            names << quoted(columnAt(it.key()).name);
            marks << QStringLiteral("?");
            values << it.value();
        }
        const QString sql =
            names.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoted(m_table))
                            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                  .arg(quoted(m_table), names.join(QLatin1Char(',')),
                                       marks.join(QLatin1Char(',')));
        m_db->exec(sql, values);
        m_adding = false;
        m_edits.clear();
        // The new row shows on the next walk, as the engine orders it.
        m_loaded = false;
        m_rows.clear();
        m_rowids.clear();
        return;
    }
    if (m_edits.isEmpty())
        return;
    requireCurrent();
    QStringList sets;
    QVariantList values;
    for (auto it = m_edits.cbegin(); it != m_edits.cend(); ++it) {
        sets << quoted(columnAt(it.key()).name) + QStringLiteral("=?");
        values << it.value();
    }
    values << m_rowids[m_current];
    m_db->exec(QStringLiteral("UPDATE %1 SET %2 WHERE _rowid_=?")
                   .arg(quoted(m_table), sets.join(QLatin1Char(','))),
               values);
    for (auto it = m_edits.cbegin(); it != m_edits.cend(); ++it)
        m_rows[m_current][it.key()] = it.value();
    m_edits.clear();
}

void RecordSet::Delete() {
    if (m_table.isEmpty())
        fail(QStringLiteral("this record set cannot be changed"));
    requireCurrent();
    m_db->exec(QStringLiteral("DELETE FROM %1 WHERE _rowid_=?").arg(quoted(m_table)),
               {m_rowids[m_current]});
    m_rows.erase(m_rows.begin() + m_current);
    m_rowids.erase(m_rowids.begin() + m_current);
    m_edits.clear();
}

void RecordSet::Close() {
    m_db.reset();
    m_sql.clear();
    m_params.clear();
    m_table.clear();
    m_selectAll = false;
    m_loaded = false;
    m_names.clear();
    m_rows.clear();
    m_rowids.clear();
    m_current = 0;
    m_adding = false;
    m_edits.clear();
}

} // namespace data
