#include "ledger/betstocashmodel.h"

#include "data/regional.h"
#include "ledger/multibets.h"

#include <algorithm>
#include <numeric>

namespace {

enum Column { Day, Race, Horse, Stake, Odds, Return };

const char* const kHeaders[BetsToCashModel::kColumns] = {"Jour", "Course", "Cheval",
                                                         "Mise", "Cote", "Retour attendu"};

} // namespace

BetsToCashModel::BetsToCashModel(QObject* parent) : QAbstractTableModel(parent) {}

void BetsToCashModel::setBets(QVector<ledger::Bet> bets) {
    beginResetModel();
    m_bets = std::move(bets);
    endResetModel();
}

QString BetsToCashModel::text(const ledger::Bet& bet, int column) const {
    switch (column) {
    case Day:
        return bet.raceDay.toString(QStringLiteral("dd/MM"));
    case Race:
        return bet.race.code();
    case Horse:
        return bet.numbers.isEmpty() ? bet.horse : ledger::numbersText(bet.numbers);
    case Stake:
        return regional::formatMoney(bet.stake);
    case Odds:
        return bet.odds ? regional::frenchLocale().toString(*bet.odds, 'f', 2) : QString();
    case Return:
        if (bet.state == ledger::BetState::Refunded)
            return QStringLiteral("remboursé");
        if (const auto expected = bet.expectedReturn())
            return regional::formatMoney(*expected);
        return QString();
    }
    return QString();
}

int BetsToCashModel::widthNeeded(int column, const QFontMetrics& metrics) const {
    // Digits share one width and names of many letters are the wide ones: the three bets
    // with the longest name or the largest amount stand for the column, so that only their
    // texts are made and measured.
    const auto size = [column](const ledger::Bet& bet) -> double {
        switch (column) {
        case Race:
            return bet.race.racecourse.size() + (bet.race.r >= 10) + (bet.race.c >= 10);
        case Horse:
            return bet.numbers.isEmpty() ? bet.horse.size() : ledger::numbersText(bet.numbers).size();
        case Stake:
            return double(bet.stake.cents());
        case Odds:
            return bet.odds.value_or(0);
        case Return:
            return bet.state == ledger::BetState::Refunded
                       ? 0
                       : double(bet.expectedReturn().value_or(Money()).cents());
        default:
            return 0;
        }
    };
    QVector<int> rows(m_bets.size());
    std::iota(rows.begin(), rows.end(), 0);
    const auto widest = rows.begin() + std::min<qsizetype>(3, rows.size());
    std::partial_sort(rows.begin(), widest, rows.end(), [&](int a, int b) {
        return size(m_bets.at(a)) > size(m_bets.at(b));
    });
    int width = metrics.horizontalAdvance(QString::fromUtf8(kHeaders[column]));
    for (auto row = rows.begin(); row != widest; ++row)
        width = std::max(width, metrics.horizontalAdvance(text(m_bets.at(*row), column)));
    if (column == Return)
        width = std::max(width, metrics.horizontalAdvance(QStringLiteral("remboursé")));
    return width;
}

int BetsToCashModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_bets.size());
}

int BetsToCashModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant BetsToCashModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_bets.size())
        return QVariant();
    if (role == Qt::DisplayRole)
        return text(m_bets.at(index.row()), index.column());
    if (role == Qt::TextAlignmentRole)
        return QVariant((index.column() >= Stake ? Qt::AlignRight : Qt::AlignLeft) |
                        Qt::AlignVCenter);
    return QVariant();
}

QVariant BetsToCashModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns)
        return QVariant();
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(kHeaders[section]);
    if (role == Qt::TextAlignmentRole)
        return QVariant((section >= Stake ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    return QVariant();
}
