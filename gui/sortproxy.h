#pragma once

#include "data/sortkeys.h"

#include <QSortFilterProxyModel>
#include <optional>
#include <vector>

namespace sorting {

// A model that makes the keys of its columns itself, from its own data rather than from the
// texts shown: money in cents, a label to break ties.
class KeySource {
public:
    virtual ColumnKeys sortKeys(int column) const = 0;

protected:
    ~KeySource() = default;
};

} // namespace sorting

// Sorts the rows of its source by a column with the source's keys (sorting::KeySource), or
// with textKeys() over the texts of sortRole() for a source that makes none. The keys of a
// column are made once, at its first comparison, and kept until the source changes; the
// selection and the views' persistent indexes follow their rows. The keys alone decide the
// order: sortCaseSensitivity and sortLocaleAware play no part. It sorts when asked: a colour
// change does not move rows, and dynamicSortFilter is off. A source reset keeps the sort
// column, so its new rows come sorted; sort(-1) brings back the source's order.
class SortProxy : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit SortProxy(QObject* parent = nullptr);

    void setSourceModel(QAbstractItemModel* source) override;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    const sorting::ColumnKeys& keys(int column) const;

    mutable std::optional<sorting::ColumnKeys> m_keys;
    mutable int m_keysColumn = -1;
    std::vector<QMetaObject::Connection> m_sourceConnections;
};
