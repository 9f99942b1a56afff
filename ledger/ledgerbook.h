#pragma once

#include "data/database.h"
#include "data/statement.h"
#include "ledger/bets.h"
#include "ledger/statement.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <stdexcept>

// Every read and write of the bets ledger, free of any window: the main window calls these
// and so does anything else that must change the ledger. Each write is a single
// transaction: it commits completely or, on an engine error, rolls back and throws
// data::DbError.
//
// A balance is only ever taken from the player's stored row for the month: what a window
// shows may belong to another player or month, so it is never a source for a write.
namespace ledger {

// The game type of a ledger row that tops up an account; every other type is a game.
QString creditType();
// Whether a row of that stored type is a credit rather than a game: its type is exactly the
// credit type, case and accents included (the column compares without case, so SQL must
// say COLLATE BINARY). A row without a type is a game. Every reader of the ledger (the
// statement, the per-horse report, the statistics, the exports) counts by this rule.
bool isCreditRow(const QVariant& type);
// The same for a row whose type is known not to be NULL.
bool isCreditType(const QString& type);

// The horse as the ledger stores it: "autre jeux" when none is typed, apostrophes removed,
// blanks made single, upper case (so a bet on no particular horse is AUTRE JEUX).
QString storedHorse(const QString& typed);

// A player's row of USERS for one month.
struct Account {
    Money deposits; // SoldeDepart: the month's starting balance plus its credits
    Money balance;  // SoldeEnCours
};

// The player's row for month, when there is exactly one.
std::optional<Account> account(const data::Database& db, const QString& player,
                               const QString& month);

// The month's statement of the player: its lines in order, totals, records, and the
// balances of the player's row for the month when there is one.
MonthStatement loadStatement(const data::Database& db, const QString& player, const QString& month);

// A JEUX row as the statement shows it, from the columns Num, Jour, Remarque, [type jeux],
// Cheval, Debit, Credit, SoldeApres selected from `first` on.
StatementLine readStatementLine(const data::Statement& rs, int first);

// The player of each USERS row, in the table's order: a player known for several months
// is listed once for each (the player box's list).
QStringList playerRows(const data::Database& db);

// The game types offered in the entry group, in the table's order.
QStringList gameTypes(const data::Database& db);

// The horses of the player's lines, as the ledger stores them, in capitals, each once (the
// list of the per-horse report and of the entry's horse box).
QStringList playerHorses(const data::Database& db, const QString& player);

// What the player staked and won on one horse over every month; credit rows are not games,
// and every row counts (two equal stakes are two stakes).
struct HorseTotals {
    Money stakes;
    Money wins;
};
HorseTotals horseTotals(const data::Database& db, const QString& player, const QString& horse);

// The latest month, in calendar order, that holds a line of any player (0 for Janvier).
std::optional<int> lastMonthWithLines(const data::Database& db);

// The months after `month`, in calendar order, for which the player has a row: those a
// change of that month's balance may be carried to.
QStringList laterMonths(const data::Database& db, const QString& player, const QString& month);

// The player's latest month before `month` that has a row, with its current balance: the
// balance a new month opens with.
struct PreviousMonth {
    QString month;
    Money balance;
};
std::optional<PreviousMonth> previousMonth(const data::Database& db, const QString& player,
                                           const QString& month);

// Whether the player has a row for any month.
bool isKnownPlayer(const data::Database& db, const QString& player);

// Whether a change of a month's balance also goes to the player's later months.
enum class Carry { ThisMonthOnly, LaterMonthsToo };

enum class GameKind { Stake, Win };

struct GameEntry {
    GameKind kind = GameKind::Stake;
    QString player;
    QString month; // the month the row is filed under
    QString day;   // "01" to "31"
    QString gameType;
    QString horse; // as typed; see storedHorse
    Money amount;
    // A stake that names its race is a bet: its PARIS row is written with the line.
    std::optional<BetSlip> bet;
};

struct BalanceChange {
    Money before;
    Money after;
    qint64 num = 0; // the new line's Num
};

// Thrown, before anything is written, when the player has no single row for the month
// whose balance a write would move.
class NoAccount : public std::runtime_error {
public:
    NoAccount(QString player, QString month)
        : std::runtime_error("no balance row for the player and month"), player(std::move(player)),
          month(std::move(month)) {}
    QString player;
    QString month;
};

// Thrown, before anything is written, when the player already has a row for that month.
class PlayerExists : public std::runtime_error {
public:
    PlayerExists() : std::runtime_error("the player already has a row for that month") {}
};

// Appends the stake or win to JEUX and moves the player's balance for the month the line is
// filed under, so that the month's chain of balances holds: the balance before the entry is
// that row's stored SoldeEnCours. Throws NoAccount without it. A stake's bet goes into PARIS
// in the same transaction.
BalanceChange recordGame(const data::Database& db, const GameEntry& entry,
                         Carry carry = Carry::ThisMonthOnly);

struct CreditChange {
    Money before;   // SoldeAvant of the credit row
    Money after;    // SoldeApres, the new current balance
    Money deposits; // the new "Total depots"
};

// Adds sum to the player's starting balance and current balance for month and appends
// the "Approvisionnement compte" row dated day. Throws NoAccount without a row.
CreditChange addCredit(const data::Database& db, const QString& player, const QString& month,
                       const QString& day, Money sum, Carry carry = Carry::ThisMonthOnly);

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
    qint64 num = 0;      // the new row's Num
    Money before;        // its SoldeAvant
    Money after;         // its SoldeApres, the player's new current balance
    bool credit = false; // the reversed line was a credit
};

// Whether the JEUX line numbered num may be reversed; throws as reverseLine would.
void checkReversible(const data::Database& db, qint64 num);

// Undoes the JEUX line numbered num without touching it: a new row with the same player,
// month, day, game type and horse and the amounts negated, its balances chained from the
// stored balance of the line's own player and month, the two rows' Remarque naming each
// other. A reversed credit also comes off the month's deposits; a reversed win that
// cashed a bet leaves it to cash again. Throws NoAccount when that player has no row for
// that month.
Reversal reverseLine(const data::Database& db, qint64 num, Carry carry = Carry::ThisMonthOnly);

// Whether the player (compared as the database compares names) has a row for month.
bool playerExists(const data::Database& db, const QString& player, const QString& month);

// Adds the player's row for month with balance as both starting and current balance.
void addPlayer(const data::Database& db, const QString& player, Money balance,
               const QString& month);

} // namespace ledger
