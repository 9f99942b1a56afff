#pragma once

#include "gui/sortproxy.h"
#include "stats/figures.h"

#include <QAbstractTableModel>
#include <QStringList>

namespace stats {

// Groups of game rows as a table: the group's name, then "Jeux", "Misé", "Gagné", "Net" and,
// when asked for, "Rendement"; groups of bets as the name, "Paris", "Gagnés", "Misé",
// "Rapporté", "Net", "Rendement". Cells show money and returns as the ledger writes them; a
// sort (through a sorting::SortProxy) compares the numbers themselves, not their texts, and
// equal figures keep their names' order whichever the direction.
class GroupTable : public QAbstractTableModel, public sorting::KeySource {
    Q_OBJECT
public:
    enum Column { Label, Games, Staked, Won, Net, Yield, Wins };

    GroupTable(const QString& labelHeader, bool withYield, QObject* parent = nullptr);
    // A table of bets (BetFigures' groups).
    static GroupTable* ofBets(const QString& labelHeader, QObject* parent);

    // What the column at `section` shows, and where a column is shown (-1: nowhere).
    Column columnAt(int section) const { return m_columns.value(section, Label); }
    int sectionOf(Column column) const { return int(m_columns.indexOf(column)); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    sorting::ColumnKeys sortKeys(int column) const override;

    // The rows in the given order; a view that sorts puts them in its own.
    void setGroups(QVector<Group> groups);
    const QVector<Group>& groups() const { return m_groups; }

private:
    GroupTable(QVector<Column> columns, QStringList headers, QObject* parent);

    QVector<Column> m_columns;
    QStringList m_headers;
    QVector<Group> m_groups;
};

} // namespace stats
