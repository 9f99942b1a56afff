#pragma once

#include "stats/figures.h"

#include <QAbstractTableModel>
#include <QStringList>

namespace stats {

// Groups of game rows as a table: the group's name, then "Jeux", "Misé", "Gagné", "Net" and,
// when asked for, "Rendement". Cells show money and returns as the ledger writes them; a
// sort compares the numbers themselves, not their texts.
class GroupTable : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Label, Games, Staked, Won, Net, Yield };

    GroupTable(const QString& labelHeader, bool withYield, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    // The rows in the given order; a view that sorts puts them in its own.
    void setGroups(QVector<Group> groups);
    const QVector<Group>& groups() const { return m_groups; }

private:
    QStringList m_headers;
    QVector<Group> m_groups;
};

} // namespace stats
