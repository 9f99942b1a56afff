#pragma once

#include "ledger/betbook.h"

#include <QAbstractTableModel>
#include <QFontMetrics>

// The bets waiting to be cashed as their list shows them: day, race, horse, stake, odds,
// expected return. Cells are formatted when the view asks for them: a player who never
// cashes has hundreds, and choosing him must stay quick.
class BetsToCashModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit BetsToCashModel(QObject* parent = nullptr);

    static constexpr int kColumns = 6;

    void setBets(QVector<ledger::Bet> bets);
    const ledger::Bet& bet(int row) const { return m_bets.at(row); }
    // The width each column needs for its heading and its widest cell, measured on the few
    // longest texts only.
    int widthNeeded(int column, const QFontMetrics& metrics) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QString text(const ledger::Bet& bet, int column) const;
    QVector<ledger::Bet> m_bets;
};
