#include "stats/grouptable.h"

#include "data/regional.h"

#include <QCollator>

namespace stats {

GroupTable::GroupTable(QVector<Column> columns, QStringList headers, QObject* parent)
    : QAbstractTableModel(parent), m_columns(std::move(columns)), m_headers(std::move(headers)) {}

GroupTable::GroupTable(const QString& labelHeader, bool withYield, QObject* parent)
    : GroupTable({Label, Games, Staked, Won, Net},
                 {labelHeader, QStringLiteral("Jeux"), QStringLiteral("Misé"),
                  QStringLiteral("Gagné"), QStringLiteral("Net")},
                 parent) {
    if (withYield) {
        m_columns << Yield;
        m_headers << QStringLiteral("Rendement");
    }
}

GroupTable* GroupTable::ofBets(const QString& labelHeader, QObject* parent) {
    return new GroupTable({Label, Games, Wins, Staked, Won, Net, Yield},
                          {labelHeader, QStringLiteral("Paris"), QStringLiteral("Gagnés"),
                           QStringLiteral("Misé"), QStringLiteral("Rapporté"),
                           QStringLiteral("Net"), QStringLiteral("Rendement")},
                          parent);
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
    const Column column = columnAt(index.column());
    if (role == Qt::TextAlignmentRole) {
        const Qt::Alignment side = column == Label ? Qt::AlignLeft : Qt::AlignRight;
        return QVariant::fromValue(side | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (column) {
    case Label:
        return group.label;
    case Games:
        return QString::number(group.games);
    case Wins:
        return QString::number(group.wins);
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
        return columnAt(section) == Label ? Qt::AscendingOrder : Qt::DescendingOrder;
    if (role == Qt::TextAlignmentRole) {
        const Qt::Alignment side = columnAt(section) == Label ? Qt::AlignLeft : Qt::AlignRight;
        return QVariant::fromValue(side | Qt::AlignVCenter);
    }
    return QVariant();
}

sorting::ColumnKeys GroupTable::sortKeys(int column) const {
    QCollator collator = regional::frenchCollator();
    collator.setNumericMode(true);
    sorting::ColumnKeys keys(int(m_groups.size()), collator);
    for (int row = 0; row < m_groups.size(); ++row) {
        const Group& group = m_groups.at(row);
        switch (columnAt(column)) {
        case Label:
            keys.setWord(row, group.label);
            continue;
        case Games:
            keys.setNumber(row, double(group.games));
            break;
        case Wins:
            keys.setNumber(row, double(group.wins));
            break;
        case Staked:
            keys.setNumber(row, double(group.staked.cents()));
            break;
        case Won:
            keys.setNumber(row, double(group.won.cents()));
            break;
        case Net:
            keys.setNumber(row, double(group.net().cents()));
            break;
        case Yield:
            // Nothing staked: no return, below every figure.
            if (group.staked.isZero())
                keys.setUnknown(row);
            else
                keys.setNumber(row, double(group.net().cents()) / double(group.staked.cents()));
            break;
        default:
            break;
        }
        keys.setTieBreak(row, group.label);
    }
    return keys;
}

void GroupTable::setGroups(QVector<Group> groups) {
    beginResetModel();
    m_groups = std::move(groups);
    endResetModel();
}

} // namespace stats
