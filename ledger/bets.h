#pragma once

#include <QDate>
#include <QString>
#include <QVector>
#include <optional>
#include <utility>

// A stake that carries its race is a bet: its state follows from the race's result.
namespace ledger {

// Cancelled: its stake was reversed (a mistyped line); never pending, never counted.
enum class BetState { Pending, Won, Lost, Refunded, Cancelled };

// "en cours", "gagné", "perdu", "remboursé", "annulé": the words stored in PARIS.Etat.
QString betStateName(BetState state);
std::optional<BetState> betStateFromName(const QString& name);

// A runner's line of CR, as far as settling reads it.
struct RunnerResult {
    QString place;              // "1", "2"… or a code: "D", "T", "A", "NP"
    QString statut;             // "NP", "non partant"… or empty
    std::optional<int> runners; // the race's starters: nbPartant less its non-runners
};

// The state a race's result gives a bet of that game type, the place and the type read by
// the racing vocabulary ("1er" is first, "Non-partant" did not start, "Simple Place" is
// "Simple Placé"). A non-runner refunds any bet; "Simple Gagnant" wins on first place only
// (a dead heat included); "Simple Placé" wins within the places its race pays (3 from 8
// runners, 2 from 4) and is refunded under 4 runners, where no place bet is offered; a
// place bet whose race gives no number of runners stays pending, as does every other game
// type (the user settles those).
BetState settle(const QString& gameType, const RunnerResult& result);
enum class Rule;
// The same by the rule the file gives the bet's type.
BetState settle(Rule rule, const RunnerResult& result);
// Whether settling by that rule needs the race's starters, and not only the runner's line.
bool settlingNeedsStarters(Rule rule);

// A race as a bet names it: its meeting and number, and the racecourse when one is given.
struct RaceRef {
    int r = 0;
    int c = 0;
    QString racecourse; // empty: any racecourse of the day with that meeting and race
    // "R1C3", or "R1C3 Vincennes" with a racecourse.
    QString code() const;
};

// The race a typed text names: "R1C3" alone, or as a race list writes it, "R1C3 Vincennes —
// Prix d'Amérique" (the racecourse is what stands between the code and the dash). Blanks
// and case do not matter ("r1 c3"); anything else names no race.
std::optional<RaceRef> parseRace(const QString& text);

// The odds typed: a decimal over 1, with a comma or a point.
std::optional<double> parseOdds(const QString& text);

enum class Formula;

// What a stake records of its race; a bet on several horses, its saddle numbers as written
// and its formula.
struct BetSlip {
    BetSlip() = default;
    BetSlip(QDate day, RaceRef race, std::optional<double> odds = {})
        : day(day), race(std::move(race)), odds(odds) {}

    QDate day;
    RaceRef race;
    std::optional<double> odds;
    QVector<int> numbers;
    std::optional<Formula> formula;
    qint64 combinations = 0;
};

} // namespace ledger
