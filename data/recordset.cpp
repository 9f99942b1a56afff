#include "data/recordset.h"

#include "data/statement.h"

#include <QRegularExpression>
#include <cmath>

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

void RecordSet::load() {
    if (m_loaded)
        return;
    if (!m_db)
        fail(QStringLiteral("record set is closed"));
    sqlite3* engine = m_db->raw();
    if (!engine)
        fail(QStringLiteral("connection without an engine handle"));
    // Straight from the engine: a list of tens of thousands of rows is read without Qt's
    // per-value bookkeeping.
    Statement statement(engine, m_sql, m_params);
    const int offset = m_table.isEmpty() ? 0 : 1;
    const int count = statement.columnCount();
    m_names.clear();
    for (int i = offset; i < count; ++i)
        m_names << statement.columnName(i);
    const int width = count - offset;
    while (statement.next()) {
        std::vector<QVariant> row;
        row.reserve(width);
        for (int i = 0; i < width; ++i)
            row.push_back(statement.value(i + offset));
        m_rows.push_back(std::move(row));
        if (offset)
            m_rowids.push_back(statement.integer(0));
    }
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
