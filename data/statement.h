#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVariant>
#include <QVariantList>

struct sqlite3;
struct sqlite3_stmt;

// Appends UTF-8 text, decoded in place: the engine's text goes into a list's one buffer
// without a string of its own. Each piece is whole: nothing of one carries over.
void appendUtf8(QString& out, QByteArrayView utf8);

namespace data {

// A statement prepared straight on the engine, its values bound as Qt's SQLite driver binds
// them, finalized whatever happens. For reads of many rows, where Qt's per-value
// bookkeeping is most of the time spent.
class Statement {
public:
    // Throws DbError when the text does not prepare or a value does not bind.
    Statement(sqlite3* db, const QString& sql, const QVariantList& params);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* handle = nullptr;

    // Runs the statement again from its first row with other values: a look-up repeated
    // thousands of times is prepared once.
    void rebind(const QVariantList& params);

    // The next row; false after the last. Throws DbError on an engine error.
    bool next();
    int columnCount() const;
    QString columnName(int column) const;

    // The current row's value as Qt's SQLite driver returns it (a null QVariant for NULL).
    QVariant value(int column) const;
    bool isNull(int column) const;
    bool isReal(int column) const;
    double real(int column) const;
    qint64 integer(int column) const;
    // The value as text, as the engine stores it, in UTF-8; valid until the next call on
    // the row. Decoding it with Qt is several times faster than letting the engine do it.
    QByteArrayView utf8(int column) const;
    QString string(int column) const { return QString::fromUtf8(utf8(column)); }

private:
    sqlite3* m_db;
};

// Throws the DbError for the engine's last error on db.
[[noreturn]] void throwEngineError(sqlite3* db);

} // namespace data
