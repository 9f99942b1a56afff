#pragma once

#include "ledger/bets.h"
#include "racing/vocabulary.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

// Bets on several horses, played on saddle numbers and settled from the finish. Pure: the
// file's rules, a bet's numbers and its race's finish in, the outcome out.
namespace ledger {

// How a game type settles: the words stored in REGLESJEUX.Regle.
enum class Rule {
    SimpleGagnant,
    SimplePlace,
    CoupleGagnant,
    CouplePlace,
    CoupleOrdre,
    DeuxSurQuatre,
    Trio,
    TrioOrdre,
    Tierce,
    Quarte,
    Quinte,
    Multi,
    ByHand
};
QString ruleName(Rule rule); // "simple gagnant" … "à la main"
QString ruleLabel(Rule rule); // "Simple Gagnant" … "à la main"
// The ranks of a Tiercé, Quarté+ or Quinté+, the best first.
const QStringList& ranks();
std::optional<Rule> ruleFromName(const QString& name);
// Every rule, in the order a list offers them.
const QVector<Rule>& allRules();
// The rule a game type gets by its name, for a file that does not say.
Rule defaultRule(const QString& gameType);

// Numbers a unit bet of that rule plays: 0 for a simple bet or one settled by hand; Multi
// plays 4 to 7.
int numbersNeeded(Rule rule);
bool playsNumbers(Rule rule);
// Whether "Combinée tous ordres" is offered: the bets whose order counts.
bool ordered(Rule rule);

enum class Formula { Unit, Combined, AllOrders };
QString formulaName(Formula formula); // "unitaire", "combinée", "tous ordres"
std::optional<Formula> formulaFromName(const QString& name);
QString formulaLabel(Formula formula); // "Unitaire", "Combinée", "Combinée tous ordres"

// Saddle numbers as the punter writes them ("4-7-1", "4 7 1", "4,7,1"), in that order; each
// 1 to 30, none twice. The refusal names the faulty number.
struct ParsedNumbers {
    QVector<int> numbers;
    QString refusal;
};
ParsedNumbers parseNumbers(const QString& text);
// "4-7-1": how PARIS.Numeros stores them.
QString numbersText(const QVector<int>& numbers);

// Why these numbers cannot be played so, in French; nothing when they can.
std::optional<QString> numbersRefusal(Rule rule, Formula formula, const QVector<int>& numbers);
// The combinations played, each in the order it plays its numbers.
QVector<QVector<int>> combinations(Rule rule, Formula formula, const QVector<int>& numbers);
qint64 combinationCount(Rule rule, Formula formula, int numbers);

// A race's finish by saddle number, and its starters.
struct RaceFinish {
    QMap<int, racing::Finish> bySaddle;
    std::optional<int> starters;
};

// What the finish gives a bet on several horses.
struct MultiOutcome {
    BetState state = BetState::Pending;
    int winning = 0; // winning combinations
    QString rank;    // the best rank won: "ordre", "désordre", "bonus", "bonus 4", "bonus 3"
    QString pendingReason; // why it stays pending, for the user to settle
};
MultiOutcome settleMulti(Rule rule, Formula formula, const QVector<int>& numbers,
                         const RaceFinish& finish);

} // namespace ledger
