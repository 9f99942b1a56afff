#pragma once

#include "ledger/statement.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>

// The month's statement as the list shows it: date, game type, horse, stake, win or credit,
// balance, and a bet's state. Cells are formatted when the view asks for them, so a month of thousands of
// lines shows as fast as its first screenful.
class StatementModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit StatementModel(QObject* parent = nullptr);

    static constexpr int kColumns = 7;
    static const char* header(int column);
    static Qt::Alignment alignment(int column);

    void setStatement(const ledger::MonthStatement& statement);
    void clear();
    // The line shown in `row`.
    const ledger::StatementLine& line(int row) const { return m_lines.at(row); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The view's font, from which the bold and italic cells are made.
    void setBaseFont(const QFont& font);

private:
    QVector<ledger::StatementLine> m_lines;
    QFont m_fonts[4]; // plain, bold, italic, bold italic
};
