#pragma once

#include "data/database.h"
#include "data/money.h"
#include "ledger/bets.h"
#include "ledger/ledgerbook.h"
#include "ledger/multibets.h"

#include <QDate>
#include <QHash>
#include <QString>
#include <QVector>
#include <optional>
#include <stdexcept>

// The bets of the ledger: the stakes that carry their race (PARIS), settled from the race
// results the file holds (CR). Free of any window, as the rest of the ledger's storage.
// Settling only ever writes PARIS.Etat; the money moves by the ledger's own writes (a win
// line that cashes a bet, the reversal of a refunded stake).
namespace ledger {

// A race of the day, as the race box offers it.
struct RaceOfDay {
    RaceRef race;
    QString name; // "Prix d'Amérique", or empty
    // "R1C3 Vincennes — Prix d'Amérique"
    QString label() const;
};
// The races of `day` found in the results and, when the file has one, the day's card; by
// meeting then race.
QVector<RaceOfDay> racesOfDay(const data::Database& db, const QDate& day);

// A bet with its stake line.
struct Bet {
    qint64 num = 0; // the stake's JEUX.Num
    QString player;
    QString month; // the stake's month
    QString day;   // the stake's Jour
    QString gameType;
    QString horse;
    Money stake;
    QDate raceDay;
    RaceRef race;
    std::optional<double> odds;
    BetState state = BetState::Pending;
    std::optional<qint64> winNum; // the win line that cashed it
    // A bet on several horses: its saddle numbers as written, its formula, and what settling
    // found (winning combinations, the best rank of a Tiercé, Quarté+ or Quinté+).
    QVector<int> numbers;
    std::optional<Formula> formula;
    std::optional<int> winning;
    QString rank;
    // stake × odds, to the cent; nothing without odds.
    std::optional<Money> expectedReturn() const;
};

struct SettledBet {
    Bet bet; // with its new state
    BetState was = BetState::Pending;
    // The racecourse the results name for the bet's race, when the bet names another one:
    // the race is its day, R and C, and is settled all the same.
    QString resultsRacecourse;
};

// The rule of each game type, as the file's REGLESJEUX gives it (types compared as the
// racing vocabulary compares them); a type it does not name is settled by hand. A file
// without the table: each usual type's own rule.
class GameRules {
public:
    explicit GameRules(const data::Database& db);
    Rule of(const QString& gameType) const;

private:
    QHash<QString, Rule> m_rules; // by nameKey
    bool m_fromFile = false;
};

struct Settling {
    QVector<SettledBet> settled; // whose state changed, by Num
    QVector<Bet> horseNotFound;  // the race is in the results, the horse is not
    // Bets still pending, each for its reason: the day has results but not this race; the
    // results cannot decide its game type (or it names no horse), so the user settles it.
    QVector<Bet> raceNotFound;
    QVector<Bet> byHand;
    // Bets on several horses the finish does not decide, each with the reason told
    // ("arrivée avec ex aequo : réglez ce pari à la main").
    struct Undecided {
        Bet bet;
        QString reason;
    };
    QVector<Undecided> undecided;
    int awaitingResults = 0; // pending bets whose day has no results yet
    // Cashed bets the results now give another state: never changed, told so that the
    // punter enters the difference.
    struct Changed {
        Bet bet;      // as cashed
        BetState now; // what the results give today
        int closedYear = 0; // the archived year the bet belongs to; 0 for the open one
    };
    QVector<Changed> changedAfterCashing;
    // The same for the bets of closed years: their archives are never written.
    QVector<Changed> changedAfterClosing;
};

// Settles, in one transaction, every bet not cashed whose stake stands (not reversed) from
// its race's result: the state changes when the result decides one, and stays otherwise
// (a game type the user settles, a race not yet in the results). A file without PARIS has
// nothing to settle. Throws data::DbError.
// `only`: the bet of that stake alone (one just recorded), not the whole book.
Settling settleBets(const data::Database& db, std::optional<qint64> only = std::nullopt);

// The bets of `archive` (a closed year's file, `year`) that the results of `results` now
// settle otherwise than the archive has them. Reads only.
QVector<Settling::Changed> changedSinceClosing(const data::Database& archive, int year,
                                               const data::Database& results);

// One line per settled bet: "n° 12 — 07/12/2026 R1C3 Vincennes — BOLD EAGLE — Simple
// Gagnant : gagné"; the horses not found end with "cheval introuvable dans les résultats".
QString settledLine(const SettledBet& settled);
QString notFoundLine(const Bet& bet);
// A line for every bet the settling leaves pending, with its reason, then the count of those
// whose day has no results yet ("12 paris attendent leurs résultats").
QStringList pendingLines(const Settling& settling);

// The bet of the stake numbered num, when it has one. Throws data::DbError.
std::optional<Bet> betOf(const data::Database& db, qint64 num);
// Whether the results put the bet's horse in a dead heat ("1ex", or two runners on its
// place): the dividend is shared, and the expected return overstated.
bool deadHeat(const data::Database& db, const Bet& bet);

// The player's bets waiting to be cashed: won and not cashed, or refunded with the stake
// still standing; by race day then Num.
QVector<Bet> betsToCash(const data::Database& db, const QString& player);

// How many bets stop a year from closing: pending, won and not cashed, or refunded with the
// stake still standing.
int unsettledBets(const data::Database& db);
// Those bets, by race day.
QVector<Bet> unsettledBetList(const data::Database& db);
// "14/03/2026 R1C3 Vincennes — JOLIE — en cours": a bet as the closing lists it.
QString unsettledLine(const Bet& bet);

// Thrown, before anything is written, when a bet cannot take what was asked of it.
class BetRefused : public std::runtime_error {
public:
    enum class Reason { NotFound, StakeReversed, AlreadyCashed, NotWon };
    explicit BetRefused(Reason reason) : std::runtime_error("bet refused"), reason(reason) {}
    Reason reason;
};
// The refusal in French.
QString betRefusalText(BetRefused::Reason reason);

// Sets the state of a bet by hand (a game type the results do not settle). A cashed bet or
// one whose stake was reversed is refused.
void markBet(const data::Database& db, qint64 num, BetState state);

// Cashes a won bet: its win line of `amount` on the bet's own row (the stake's player,
// month, day, game type and horse, the balance of that player and month), its Num kept in
// NumGain, in one transaction. Throws BetRefused, NoAccount or data::DbError, nothing
// written then.
BalanceChange cashBet(const data::Database& db, qint64 num, Money amount,
                      Carry carry = Carry::ThisMonthOnly);

// Settles a refunded bet by reversing its stake line. Throws as cashBet and reverseLine.
Reversal refundBet(const data::Database& db, qint64 num, Carry carry = Carry::ThisMonthOnly);

} // namespace ledger
