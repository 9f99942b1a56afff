#pragma once

#include "gui/sortproxy.h"
#include "stats/figures.h"

#include <QAbstractTableModel>
#include <QStringList>

namespace stats {

// Groups of game rows as a table: the group's name, then "Jeux", "Misé", "Gagné", "Net" and,
// when asked for, "Rendement". Cells show money and returns as the ledger writes them; a
// sort (through a sorting::SortProxy) compares the numbers themselves, not their texts, and
// equal figures keep their names' order whichever the direction.
class GroupTable : public QAbstractTableModel, public sorting::KeySource {
    Q_OBJECT
public:
    enum Column { Label, Games, Staked, Won, Net, Yield };

    GroupTable(const QString& labelHeader, bool withYield, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    sorting::ColumnKeys sortKeys(int column) const override;

    // The rows in the given order; a view that sorts puts them in its own.
    void setGroups(QVector<Group> groups);
    const QVector<Group>& groups() const { return m_groups; }

private:
    QStringList m_headers;
    QVector<Group> m_groups;
};

} // namespace stats
