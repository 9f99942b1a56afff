#pragma once

#include "data/database.h"
#include "data/money.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

// Finding ledger lines across the open year and the closed ones: a horse, a game type or a
// word of a remark, compared as the racing vocabulary compares horses, within a player,
// amount bounds and a bet's state. Free of any window.
namespace ledger {

enum class SearchState { Any, Pending, Won, Lost, Refunded, ToCash };

// "Tous", "en cours", "gagné", "perdu", "remboursé", "à encaisser", in that order.
const QStringList& searchStateNames();

struct SearchQuery {
    QString text;   // empty: every line
    QString player; // empty: every player
    // Bounds on the line's amount, its stake or its win, both included.
    std::optional<Money> least;
    std::optional<Money> most;
    SearchState state = SearchState::Any;
};

struct FoundLine {
    int year = 0;
    QString archive; // the closed year's file; empty for the open year
    qint64 num = 0;
    QString month;
    QString day;
    QString player;
    QString type;
    QString horse;
    Money stake;
    Money win;
    QString state; // the bet's state ("gagné", "gagné, à encaisser"…); empty without a bet
    QString remark;
    bool credit = false; // an account credit: its amount is no win
};

// The lines of one year's file that the query finds, in calendar order of their month, then
// in entry order. `archive` is the file's path for a closed year, empty for the open one.
// Throws data::DbError.
QVector<FoundLine> searchLines(const data::Database& db, int year, const QString& archive,
                               const SearchQuery& query);

struct FoundTotals {
    Money stakes;
    Money wins;
    Money net() const { return wins - stakes; }
};
// The stakes and wins of the lines found, credits left out (a deposit is no win). A reversed
// line and its reversal, both found, cancel out as in the ledger.
FoundTotals totalsOf(const QVector<FoundLine>& lines);

} // namespace ledger
