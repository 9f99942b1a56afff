#include "stats/grouptable.h"

#include "data/regional.h"

#include <QCollator>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace stats {

GroupTable::GroupTable(const QString& labelHeader, bool withYield, QObject* parent)
    : QAbstractTableModel(parent) {
    m_headers << labelHeader << QStringLiteral("Jeux") << QStringLiteral("Misé")
              << QStringLiteral("Gagné") << QStringLiteral("Net");
    if (withYield)
        m_headers << QStringLiteral("Rendement");
}

int GroupTable::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_groups.size());
}

int GroupTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_headers.size());
}

QVariant GroupTable::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_groups.size())
        return QVariant();
    const Group& group = m_groups.at(index.row());
    if (role == Qt::TextAlignmentRole) {
        const Qt::Alignment side = index.column() == Label ? Qt::AlignLeft : Qt::AlignRight;
        return QVariant::fromValue(side | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case Label:
        return group.label;
    case Games:
        return QString::number(group.games);
    case Staked:
        return regional::formatMoney(group.staked);
    case Won:
        return regional::formatMoney(group.won);
    case Net:
        return regional::formatMoney(group.net());
    case Yield:
        return formatYield(group.staked, group.won);
    default:
        return QVariant();
    }
}

QVariant GroupTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_headers.size())
        return QVariant();
    if (role == Qt::DisplayRole)
        return m_headers.at(section);
    // A first click on a figure puts the largest first: the best horses, the busiest ones.
    if (role == Qt::InitialSortOrderRole)
        return section == Label ? Qt::AscendingOrder : Qt::DescendingOrder;
    if (role == Qt::TextAlignmentRole) {
        const Qt::Alignment side = section == Label ? Qt::AlignLeft : Qt::AlignRight;
        return QVariant::fromValue(side | Qt::AlignVCenter);
    }
    return QVariant();
}

void GroupTable::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= m_headers.size())
        return;
    // An empty return (nothing staked) ranks below every figure.
    const auto figure = [column](const Group& g) -> double {
        switch (column) {
        case Games:
            return double(g.games);
        case Staked:
            return double(g.staked.cents());
        case Won:
            return double(g.won.cents());
        case Net:
            return double(g.net().cents());
        case Yield:
            return g.staked.isZero() ? -HUGE_VAL
                                     : double(g.net().cents()) / double(g.staked.cents());
        default:
            return 0;
        }
    };
    // Keys made once: the table is sorted again on every pick, thousands of horses at times.
    QCollator collator = regional::frenchCollator();
    collator.setNumericMode(true);
    struct Key {
        double figure;
        QCollatorSortKey name;
    };
    std::vector<Key> keys;
    keys.reserve(size_t(m_groups.size()));
    for (const Group& group : m_groups)
        keys.push_back({figure(group), collator.sortKey(group.label)});
    std::vector<int> rows(size_t(m_groups.size()));
    std::iota(rows.begin(), rows.end(), 0);
    const bool ascending = order == Qt::AscendingOrder;
    // Equal figures stay in the names' order, whichever way the column is sorted.
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
        const Key& ka = keys[size_t(a)];
        const Key& kb = keys[size_t(b)];
        if (column != Label && ka.figure != kb.figure)
            return ascending ? ka.figure < kb.figure : ka.figure > kb.figure;
        const int byName = ka.name.compare(kb.name);
        return column == Label && !ascending ? byName > 0 : byName < 0;
    });
    QVector<Group> sorted;
    sorted.reserve(m_groups.size());
    for (int row : rows)
        sorted.append(m_groups.at(row));
    beginResetModel();
    m_groups = std::move(sorted);
    endResetModel();
}

void GroupTable::setGroups(QVector<Group> groups) {
    beginResetModel();
    m_groups = std::move(groups);
    endResetModel();
}

} // namespace stats
