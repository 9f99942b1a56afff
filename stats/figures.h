#pragma once

#include "data/database.h"
#include "data/money.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

// What a player's ledger says about his bets over a month or the year, free of any window.
// The window only formats them.
namespace stats {

// Game rows sharing a game type, a month or a horse.
struct Group {
    QString label;
    long long games = 0;
    Money staked; // sum of Debit
    Money won;    // sum of Credit
    Money net() const { return won - staked; }
    // A month of figures over several years belongs to this one, and its label says so:
    // "Mars 2026". 0 within a single year.
    int year = 0;
    // Groups of bets only: `games` are the settled bets, `won` what they returned, and this
    // how many of them were won.
    long long wins = 0;
};

// One row of the period on the curves.
struct Operation {
    QString day; // "01" to "31", as stored
    bool hasBalance = false;
    Money balance; // SoldeApres
    // The period's net result once this row is counted: wins less stakes of the game rows
    // up to it. A credit leaves it as it was.
    Money net;
    bool isDeposit = false; // a credit row, not reversed
    Money deposit;          // the sum it put in
    // Where it stands in the calendar: its year, month (1 to 12), day and entry number.
    int year = 0;
    int month = 0;
    int dayNumber = 0;
    qint64 num = 0;
    Money own; // what the row itself adds to the net result
};

// The largest fall of a curve from a peak to a later low.
struct Fall {
    Money amount;  // how far it fell; zero when it never did
    int peak = -1; // the points' indexes
    int low = -1;
};
// Over the points of a curve in their order; a fall starts at the highest point before the
// lowest one after it, the first of equal peaks and the first of equal lows.
Fall largestFall(const QVector<Money>& curve);

// The longest runs of won and of lost bets in a row.
struct Runs {
    int winning = 0;
    int losing = 0;
};
Runs longestRuns(const QVector<bool>& wonInOrder);

// The operations of one month on the curves: that many, day by day.
struct MonthSpan {
    QString month; // "Mars", or "Mars 2026" with its year over several years
    int points = 0;
    int year = 0;
};

struct Figures {
    // Game rows: every row of the period but credits and reversed lines with their reversals.
    long long games = 0;
    Money staked;
    Money won;
    Money net() const { return won - staked; }
    Money deposits; // credit rows of the period, reversed ones left out

    // Best net first. A type is named as the list of game types spells it, else as the
    // player most often typed it.
    QVector<Group> byType;
    QVector<Group> byMonth; // calendar order, months with game rows only
    QVector<Group> byHorse; // best net first; bets on no particular horse left out

    // Every row of the period (credits and reversals too: the balance moved), in calendar
    // order: month, day, then entry.
    QVector<Operation> operations;
    QVector<MonthSpan> operationMonths;

    // The game rows by day of the week, Monday first, days without games left out: a bet's
    // row by its race's day, any other by its ledger day.
    QVector<Group> byWeekday;

    // The largest fall of the net result: `peak` and `low` are indexes into `operations`, -1
    // for the period's start.
    Fall fall;
    Money fallPeak;   // the net result at the fall's peak
    QString fallFrom; // "06/03", with its year over several years: "06/03/2025"
    QString fallTo;
};

// The period of the window: a month from 1 to 12, or the whole year.
constexpr int kWholeYear = 0;

// Throws data::DbError.
Figures compute(const data::Database& db, const QString& player, int month);

// One year's ledger: the open file's, or an archived year's.
struct YearLedger {
    int year = 0;
    const data::Database* db = nullptr;
};

// The figures of several years' ledgers together, the years given oldest first. The rows are
// grouped by type and by horse across the years as within one; the months are each year's,
// in time order ("Mars 2025" before "Janvier 2026"); the operations follow one another from
// year to year, the net result going on from where the year before left it; the balances are
// as each year stored them. Throws data::DbError.
Figures compute(const QVector<YearLedger>& years, const QString& player, int month);

// What the bets that carry their race say: how often they win, and where they pay. Only
// settled bets count (won or lost): a refunded bet is neither, a pending one not yet either.
struct BetFigures {
    long long settled = 0;
    long long wins = 0;
    // The mean odds of the won bets that have odds; nothing without any.
    std::optional<double> meanWinningOdds;

    // Each group's bets, wins, stakes and returns. A won bet returns what cashed it, or,
    // until then, its stake times its odds (nothing without odds).
    QVector<Group> byOdds;       // the bands of oddsBands() that have bets, in that order
    QVector<Group> byRacecourse; // best net first; as the bet names it, else as the race does
    QVector<Group> byDiscipline; // best net first; a race not in the results is "inconnue"
    // The longest runs of won and of lost bets, in race order (day, meeting, race); a
    // refunded bet neither breaks nor makes one.
    Runs runs;

    // By the rule that settles each bet, in the rules' order; a Tiercé, Quarté+ or Quinté+
    // with its wins split by rank: "Quinté+ — ordre 1, bonus 4 2".
    QVector<Group> byRule;
};

// The odds bands, lowest first, each from its lower bound included: "< 3", "3 à 5", "5 à 10",
// "10 à 20", "20 et plus".
const QStringList& oddsBands();
// The band of these odds, an index into oddsBands().
int oddsBand(double odds);

// The player's bets whose stake line falls in the period and stands (not reversed). A year
// whose file has no bets table has no bets. Throws data::DbError.
BetFigures betFigures(const data::Database& db, const QString& player, int month);
// The same over several years' ledgers, oldest first: bets grouped across the years.
BetFigures betFigures(const QVector<YearLedger>& years, const QString& player, int month);

// Every player of the ledger once, in French alphabetical order. Throws data::DbError.
QStringList players(const data::Database& db);
// Every player of any of these years once, whatever his case, as the latest of them spells
// him; the years oldest first. Throws data::DbError.
QStringList players(const QVector<YearLedger>& years);

// A month of a given year, as the figures of several years name it: "Mars 2026".
QString monthOfYear(const QString& month, int year);

// Net ÷ staked as "-25,0 %"; empty when nothing was staked.
QString formatYield(Money staked, Money won);
// "-25,00 € du 06/03 au 14/03"; "—" when the net result never fell.
QString formatFall(const Figures& figures);
// "4 paris"; "—" without settled bets.
QString formatRun(int bets, long long settled);

// part ÷ whole as "37,5 %"; empty when whole is 0.
QString formatRate(long long part, long long whole);
// Odds as "4,35".
QString formatOdds(double odds);

// Rows with the highest net first; equal nets in alphabetical order of their labels.
void sortByNet(QVector<Group>& groups);

} // namespace stats
