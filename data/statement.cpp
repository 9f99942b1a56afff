#include "data/statement.h"

#include "data/error.h"

#include <QStringDecoder>
#include <sqlite3.h>

void appendUtf8(QString& out, QByteArrayView utf8) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const qsizetype start = out.size();
    out.resize(start + decoder.requiredSpace(utf8.size()));
    const QChar* end = decoder.appendToBuffer(out.data() + start, utf8);
    out.resize(end - out.constData());
}

namespace data {
namespace {

// Values bound as Qt's SQLite driver binds them.
int bindValue(sqlite3_stmt* statement, int index, const QVariant& value) {
    if (value.isNull())
        return sqlite3_bind_null(statement, index);
    switch (value.metaType().id()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return sqlite3_bind_int64(statement, index, value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return sqlite3_bind_double(statement, index, value.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return sqlite3_bind_blob(statement, index, bytes.constData(), int(bytes.size()),
                                 SQLITE_TRANSIENT);
    }
    default: {
        const QString text = value.toString();
        return sqlite3_bind_text16(statement, index, text.utf16(), int(text.size() * sizeof(QChar)),
                                   SQLITE_TRANSIENT);
    }
    }
}

} // namespace

void throwEngineError(sqlite3* db) {
    throw DbError(sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)));
}

Statement::Statement(sqlite3* db, const QString& sql, const QVariantList& params) : m_db(db) {
    if (sqlite3_prepare16_v2(db, sql.utf16(), int(sql.size() * sizeof(QChar)), &handle, nullptr) !=
        SQLITE_OK)
        throwEngineError(db);
    for (int i = 0; i < params.size(); ++i)
        if (bindValue(handle, i + 1, params.at(i)) != SQLITE_OK)
            throwEngineError(db);
}

void Statement::rebind(const QVariantList& params) {
    sqlite3_reset(handle);
    sqlite3_clear_bindings(handle);
    for (int i = 0; i < params.size(); ++i)
        if (bindValue(handle, i + 1, params.at(i)) != SQLITE_OK)
            throwEngineError(m_db);
}

Statement::~Statement() {
    sqlite3_finalize(handle);
}

bool Statement::next() {
    const int rc = sqlite3_step(handle);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        throwEngineError(m_db);
    return false;
}

int Statement::columnCount() const {
    return sqlite3_column_count(handle);
}

QString Statement::columnName(int column) const {
    return QString::fromUtf8(sqlite3_column_name(handle, column));
}

QVariant Statement::value(int column) const {
    switch (sqlite3_column_type(handle, column)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(handle, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(handle, column));
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(handle, column)),
                          sqlite3_column_bytes(handle, column));
    case SQLITE_NULL:
        return QVariant();
    default:
        return string(column);
    }
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(handle, column) == SQLITE_NULL;
}

bool Statement::isReal(int column) const {
    return sqlite3_column_type(handle, column) == SQLITE_FLOAT;
}

double Statement::real(int column) const {
    return sqlite3_column_double(handle, column);
}

qint64 Statement::integer(int column) const {
    return sqlite3_column_int64(handle, column);
}

QByteArrayView Statement::utf8(int column) const {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(handle, column));
    return QByteArrayView(bytes, sqlite3_column_bytes(handle, column));
}

} // namespace data
