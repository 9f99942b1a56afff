#pragma once

#include "data/database.h"

#include <QString>
#include <optional>
#include <stdexcept>

// Every write of the bets ledger, free of any window: the main window calls these and so
// does anything else that must change the ledger. Each one is a single transaction: it
// commits completely or, on an engine error, rolls back and throws data::DbError.
namespace ledger {

// The game type of a ledger row that tops up an account; every other type is a game.
QString creditType();

// The horse as the ledger stores it: "autre jeux" when none is typed, apostrophes removed,
// upper case (so a bet on no particular horse is AUTRE JEUX).
QString storedHorse(const QString& typed);

enum class GameKind { Stake, Win };

struct GameEntry {
    GameKind kind = GameKind::Stake;
    QString player;
    QString month; // the month the row is filed under
    QString day;   // "01" to "31"
    QString gameType;
    QString horse; // as typed; see storedHorse
    double amount = 0;
};

struct BalanceChange {
    double before = 0;
    double after = 0;
    // The player's row for the month was found (exactly one) and changed.
    bool storedRowChanged = false;
};

// Thrown, before anything is written, when the player has no single balance row for the
// month and no balance is known on screen either: a ledger row needs a balance before it.
class UnknownBalance : public std::runtime_error {
public:
    UnknownBalance() : std::runtime_error("no balance known for the player and month") {}
};

// Thrown, before anything is written, when the player already has a row for that month.
class PlayerExists : public std::runtime_error {
public:
    PlayerExists() : std::runtime_error("the player already has a row for that month") {}
};

// Appends the stake or win to JEUX and moves the player's balance for balanceMonth.
// When exactly one USERS row exists for the player and balanceMonth, the balance before
// the entry is that row's stored SoldeEnCours and the row gets the new balance; otherwise
// the balance before is shownBalance and USERS is left alone.
BalanceChange recordGame(const data::Database& db, const GameEntry& entry,
                         const QString& balanceMonth, std::optional<double> shownBalance);

struct CreditChange {
    double before = 0;              // SoldeAvant of the credit row
    double after = 0;               // SoldeApres, the new current balance
    std::optional<double> deposits; // the new "Total depots", when known
    bool storedRowChanged = false;
};

// Adds sum to the player's starting balance and current balance for month and appends
// the "Approvisionnement compte" row dated day. The stored row's values are used when
// exactly one USERS row exists; otherwise the shown ones, and USERS is left alone.
CreditChange addCredit(const data::Database& db, const QString& player, const QString& month,
                       const QString& day, double sum, std::optional<double> shownDeposits,
                       std::optional<double> shownBalance);

// Thrown, before anything is written, when a line cannot be reversed.
class LineAlreadyReversed : public std::runtime_error {
public:
    LineAlreadyReversed() : std::runtime_error("the line is already reversed") {}
};
class LineIsAReversal : public std::runtime_error {
public:
    LineIsAReversal() : std::runtime_error("a reversal is not reversed") {}
};
class LineNotFound : public std::runtime_error {
public:
    LineNotFound() : std::runtime_error("no ledger line with that number") {}
};

// What reversing a line wrote.
struct Reversal {
    qint64 num = 0;                 // the new row's Num
    double before = 0;              // its SoldeAvant
    double after = 0;               // its SoldeApres, the player's new current balance
    bool credit = false;            // the reversed line was a credit
    std::optional<double> deposits; // the new "Total depots", when a credit was reversed
    bool storedRowChanged = false;
};

// Whether the JEUX line numbered num may be reversed; throws as reverseLine would.
void checkReversible(const data::Database& db, qint64 num);

// Undoes the JEUX line numbered num without touching it: a new row with the same player,
// month, day, game type and horse and the amounts negated, its balances chained from the
// player's current balance for balanceMonth (the stored one when exactly one USERS row
// exists, else shownBalance), the two rows' Remarque naming each other. A reversed credit
// also comes off the month's deposits.
Reversal reverseLine(const data::Database& db, qint64 num, const QString& balanceMonth,
                     std::optional<double> shownDeposits, std::optional<double> shownBalance);

// Whether the player (compared as the database compares names) has a row for month.
bool playerExists(const data::Database& db, const QString& player, const QString& month);

// Adds the player's row for month with balance as both starting and current balance.
void addPlayer(const data::Database& db, const QString& player, double balance,
               const QString& month);

} // namespace ledger
