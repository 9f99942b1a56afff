#pragma once

#include "data/database.h"

#include <QMap>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

namespace data {

// The rows of one query, walked by position, read and written field by field.
//
// Values are always bound ("?" in the query text, values in order). A query over one table
// ("SELECT * FROM T WHERE ...", "SELECT a, b FROM T ...", no DISTINCT, no join) can change
// its rows: they are addressed by their rowid, which the record set fetches on the side, so
// positions stay those of the query's select list. Rows are only fetched when first asked
// for: opening "SELECT * FROM JEUX" to append a row costs nothing.
class RecordSet {
public:
    RecordSet() = default;
    RecordSet(const RecordSet&) = delete;
    RecordSet& operator=(const RecordSet&) = delete;

    void Open(const QString& sql, std::shared_ptr<Database> db, const QVariantList& params = {});

    // Exact number of rows (fetches them all).
    int RecordCount();
    void MoveFirst();
    void MoveLast();
    void MoveNext();
    bool atEnd();

    // The stored value of the current row; a null QVariant (isNull()) for NULL.
    QVariant Fields(int position);
    // By the name of the select list (the horse card reads its join that way).
    QVariant Fields(const QString& name);
    // Converted to the column's type: numeric text with a comma or a point is read as a
    // number; text that is not a number throws (never a silent 0).
    void SetField(int position, const QVariant& value);

    void AddNew();
    void Update();
    void Delete();
    void Close();

private:
    void load();
    void requireCurrent();
    const Database::Column& columnAt(int position);
    QVariant converted(const Database::Column& column, const QVariant& value) const;

    std::shared_ptr<Database> m_db;
    QString m_sql;
    QVariantList m_params;
    QString m_table; // empty when the rows cannot be changed
    bool m_selectAll = false;
    bool m_loaded = false;
    QStringList m_names;
    std::vector<std::vector<QVariant>> m_rows;
    std::vector<qint64> m_rowids;
    int m_current = 0;
    bool m_adding = false;
    QMap<int, QVariant> m_edits;
};

} // namespace data
