#include "ledger/multibets.h"

#include "data/regional.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <algorithm>

namespace ledger {
namespace {

struct RuleInfo {
    Rule rule;
    const char* name;  // stored
    const char* label; // shown, and the game type's usual name
    int numbers;
    bool ordered;
    int deciding; // the places of the finish that decide it
};

// Multi plays 4 to 7 numbers: its minimum is given.
const RuleInfo kRules[] = {
    {Rule::SimpleGagnant, "simple gagnant", "Simple Gagnant", 0, false, 1},
    {Rule::SimplePlace, "simple placé", "Simple Placé", 0, false, 3},
    {Rule::CoupleGagnant, "couplé gagnant", "Couplé Gagnant", 2, false, 2},
    {Rule::CouplePlace, "couplé placé", "Couplé Placé", 2, false, 3},
    {Rule::CoupleOrdre, "couplé ordre", "Couplé Ordre", 2, true, 2},
    {Rule::DeuxSurQuatre, "deux sur quatre", "Deux sur Quatre", 2, false, 4},
    {Rule::Trio, "trio", "Trio", 3, false, 3},
    {Rule::TrioOrdre, "trio ordre", "Trio Ordre", 3, true, 3},
    {Rule::Tierce, "tiercé", "Tiercé", 3, true, 3},
    {Rule::Quarte, "quarté+", "Quarté+", 4, true, 4},
    {Rule::Quinte, "quinté+", "Quinté+", 5, true, 5},
    {Rule::Multi, "multi", "Multi", 4, false, 4},
    {Rule::ByHand, "à la main", "à la main", 0, false, 0},
};

const RuleInfo& info(Rule rule) {
    for (const RuleInfo& entry : kRules)
        if (entry.rule == rule)
            return entry;
    return kRules[std::size(kRules) - 1];
}

constexpr int kMaxMultiNumbers = 7;
constexpr qint64 kMostCombinations = 20000;

// The best rank first.
const char* const kRanks[] = {"ordre", "désordre", "bonus", "bonus 4", "bonus 3"};

int rankOrder(const QString& rank) {
    for (int i = 0; i < int(std::size(kRanks)); ++i)
        if (rank == QLatin1String(kRanks[i]))
            return i;
    return int(std::size(kRanks));
}

qint64 choose(int k, int n) {
    if (n < 0 || n > k)
        return 0;
    qint64 result = 1;
    for (int i = 1; i <= n; ++i)
        result = result * (k - n + i) / i;
    return result;
}

qint64 arrangements(int k, int n) {
    if (n < 0 || n > k)
        return 0;
    qint64 result = 1;
    for (int i = 0; i < n; ++i)
        result *= k - i;
    return result;
}

bool refundsNonRunners(Rule rule) {
    switch (rule) {
    case Rule::CoupleGagnant:
    case Rule::CouplePlace:
    case Rule::CoupleOrdre:
    case Rule::DeuxSurQuatre:
    case Rule::Trio:
    case Rule::TrioOrdre:
        return true;
    default:
        return false;
    }
}

bool containsAll(const QVector<int>& played, const QVector<int>& wanted) {
    return std::all_of(wanted.begin(), wanted.end(),
                       [&](int number) { return played.contains(number); });
}

// The rank a combination wins, "" when it wins without one, nothing when it loses.
std::optional<QString> judge(Rule rule, const QVector<int>& played, const QVector<int>& finish) {
    const QVector<int> first = finish.mid(0, info(rule).deciding);
    const bool inOrder = played.mid(0, first.size()) == first;
    const bool sameSet = played.size() == first.size() && containsAll(played, first);
    switch (rule) {
    case Rule::CoupleGagnant:
    case Rule::Trio:
        return sameSet ? std::optional<QString>(QString()) : std::nullopt;
    case Rule::CoupleOrdre:
    case Rule::TrioOrdre:
        return inOrder ? std::optional<QString>(QString()) : std::nullopt;
    case Rule::CouplePlace:
    case Rule::DeuxSurQuatre:
        return containsAll(first, played) ? std::optional<QString>(QString()) : std::nullopt;
    case Rule::Multi:
        return containsAll(played, first) ? std::optional<QString>(QString()) : std::nullopt;
    case Rule::Tierce:
    case Rule::Quarte:
    case Rule::Quinte:
        if (inOrder)
            return QStringLiteral("ordre");
        if (sameSet)
            return QStringLiteral("désordre");
        if (rule == Rule::Quarte && containsAll(played, finish.mid(0, 3)))
            return QStringLiteral("bonus");
        if (rule == Rule::Quinte && containsAll(played, finish.mid(0, 4)))
            return QStringLiteral("bonus 4");
        if (rule == Rule::Quinte && containsAll(played, finish.mid(0, 3)))
            return QStringLiteral("bonus 3");
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

MultiOutcome pending(const QString& reason) {
    MultiOutcome outcome;
    outcome.pendingReason = reason;
    return outcome;
}

} // namespace

QString ruleName(Rule rule) {
    return QString::fromUtf8(info(rule).name);
}

QString ruleLabel(Rule rule) {
    return QString::fromUtf8(info(rule).label);
}

const QStringList& ranks() {
    static const QStringList list = [] {
        QStringList all;
        for (const char* rank : kRanks)
            all << QString::fromUtf8(rank);
        return all;
    }();
    return list;
}

std::optional<Rule> ruleFromName(const QString& name) {
    const QString key = racing::nameKey(name);
    for (const RuleInfo& entry : kRules)
        if (racing::nameKey(QString::fromUtf8(entry.name)) == key)
            return entry.rule;
    return std::nullopt;
}

const QVector<Rule>& allRules() {
    static const QVector<Rule> rules = [] {
        QVector<Rule> list;
        for (const RuleInfo& entry : kRules)
            list << entry.rule;
        return list;
    }();
    return rules;
}

Rule defaultRule(const QString& gameType) {
    const QString key = racing::nameKey(gameType);
    for (const RuleInfo& entry : kRules)
        if (entry.rule != Rule::ByHand && racing::nameKey(QString::fromUtf8(entry.label)) == key)
            return entry.rule;
    return Rule::ByHand;
}

int numbersNeeded(Rule rule) {
    return info(rule).numbers;
}

bool playsNumbers(Rule rule) {
    return info(rule).numbers > 0;
}

bool ordered(Rule rule) {
    return info(rule).ordered;
}

QString formulaName(Formula formula) {
    switch (formula) {
    case Formula::Unit:
        return QStringLiteral("unitaire");
    case Formula::Combined:
        return QStringLiteral("combinée");
    case Formula::AllOrders:
        break;
    }
    return QStringLiteral("tous ordres");
}

std::optional<Formula> formulaFromName(const QString& name) {
    for (const Formula formula : {Formula::Unit, Formula::Combined, Formula::AllOrders})
        if (racing::sameName(formulaName(formula), name))
            return formula;
    return std::nullopt;
}

QString formulaLabel(Formula formula) {
    switch (formula) {
    case Formula::Unit:
        return QStringLiteral("Unitaire");
    case Formula::Combined:
        return QStringLiteral("Combinée");
    case Formula::AllOrders:
        break;
    }
    return QStringLiteral("Combinée tous ordres");
}

ParsedNumbers parseNumbers(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[\\s,;/\\-–—]+"));
    ParsedNumbers parsed;
    for (const QString& part : text.split(separators, Qt::SkipEmptyParts)) {
        bool ok = false;
        const int number = part.toInt(&ok);
        if (!ok) {
            parsed.refusal = QStringLiteral("« %1 » n'est pas un numéro de cheval").arg(part);
            return parsed;
        }
        if (number < 1 || number > 30) {
            parsed.refusal = QStringLiteral("numéro %1 impossible : les numéros vont de 1 à 30")
                                 .arg(number);
            return parsed;
        }
        if (parsed.numbers.contains(number)) {
            parsed.refusal = QStringLiteral("numéro %1 saisi deux fois").arg(number);
            return parsed;
        }
        parsed.numbers << number;
    }
    if (parsed.numbers.isEmpty())
        parsed.refusal = QStringLiteral("saisissez les numéros des chevaux (par exemple 4-7-1)");
    return parsed;
}

QString numbersText(const QVector<int>& numbers) {
    QStringList parts;
    for (const int number : numbers)
        parts << QString::number(number);
    return parts.join(QLatin1Char('-'));
}

std::optional<QString> numbersRefusal(Rule rule, Formula formula, const QVector<int>& numbers) {
    const RuleInfo& rules = info(rule);
    const QString label = QString::fromUtf8(rules.label);
    const int k = int(numbers.size());
    const int n = rules.numbers;
    const QString typed = regional::counted(k, QStringLiteral("numéro saisi"),
                                            QStringLiteral("numéros saisis"));
    if (n == 0)
        return QStringLiteral("le %1 ne se joue pas sur des numéros").arg(label);
    if (rule == Rule::Multi) {
        if (formula != Formula::Unit)
            return QStringLiteral("le Multi se joue en formule unitaire seulement");
        if (k < n || k > kMaxMultiNumbers)
            return QStringLiteral("le Multi se joue sur 4 à 7 numéros : %1").arg(typed);
        return std::nullopt;
    }
    switch (formula) {
    case Formula::Unit:
        if (k != n)
            return QStringLiteral("un %1 unitaire se joue sur %2 numéros : %3")
                .arg(label)
                .arg(n)
                .arg(typed);
        break;
    case Formula::Combined:
        if (k <= n)
            return QStringLiteral("un %1 en formule combinée se joue sur plus de %2 numéros : %3")
                .arg(label)
                .arg(n)
                .arg(typed);
        break;
    case Formula::AllOrders:
        if (!rules.ordered)
            return QStringLiteral("le %1 ne se joue pas en formule tous ordres").arg(label);
        if (k < n)
            return QStringLiteral("un %1 tous ordres se joue sur au moins %2 numéros : %3")
                .arg(label)
                .arg(n)
                .arg(typed);
        break;
    }
    const qint64 count = combinationCount(rule, formula, k);
    if (count > kMostCombinations)
        return QStringLiteral("%1 combinaisons : %2 au plus")
            .arg(regional::frenchLocale().toString(count),
                 regional::frenchLocale().toString(kMostCombinations));
    return std::nullopt;
}

qint64 combinationCount(Rule rule, Formula formula, int numbers) {
    const int n = numbersNeeded(rule);
    if (n == 0 || rule == Rule::Multi)
        return n == 0 ? 0 : 1;
    switch (formula) {
    case Formula::Unit:
        return numbers == n ? 1 : 0;
    case Formula::Combined:
        return choose(numbers, n);
    case Formula::AllOrders:
        break;
    }
    return arrangements(numbers, n);
}

QVector<QVector<int>> combinations(Rule rule, Formula formula, const QVector<int>& numbers) {
    const int n = numbersNeeded(rule);
    if (n == 0)
        return {};
    if (rule == Rule::Multi || formula == Formula::Unit)
        return {numbers};
    QVector<QVector<int>> sets;
    QVector<int> current;
    QVector<bool> used(numbers.size(), false);
    // Combined: each set keeps the order written; all orders: every arrangement.
    const auto walk = [&](auto&& self, int from) -> void {
        if (current.size() == n) {
            sets << current;
            return;
        }
        for (int i = formula == Formula::Combined ? from : 0; i < numbers.size(); ++i) {
            if (used[i])
                continue;
            used[i] = true;
            current << numbers[i];
            self(self, i + 1);
            current.removeLast();
            used[i] = false;
        }
    };
    walk(walk, 0);
    return sets;
}

MultiOutcome settleMulti(Rule rule, Formula formula, const QVector<int>& numbers,
                         const RaceFinish& finish) {
    const int deciding = info(rule).deciding;
    if (!playsNumbers(rule) || numbersRefusal(rule, formula, numbers))
        return pending(QStringLiteral("numéros absents ou incomplets : réglez ce pari à la main"));

    QSet<int> nonRunners;
    for (const int number : numbers) {
        const auto found = finish.bySaddle.constFind(number);
        if (found != finish.bySaddle.cend() && !found->started())
            nonRunners.insert(number);
    }
    if (!nonRunners.isEmpty() && !refundsNonRunners(rule))
        return pending(QStringLiteral("non-partant parmi les numéros : réglez ce pari à la main"));

    // The finish on the places that decide: one runner on each, else the bet is the user's.
    QVector<QVector<int>> atPlace(deciding + 1);
    bool deadHeat = false;
    for (auto it = finish.bySaddle.cbegin(); it != finish.bySaddle.cend(); ++it) {
        const racing::Finish& runner = it.value();
        if (runner.kind != racing::Finish::Kind::Placed || runner.place > deciding)
            continue;
        atPlace[runner.place] << it.key();
        deadHeat = deadHeat || runner.deadHeat;
    }
    QVector<int> order;
    for (int place = 1; place <= deciding; ++place) {
        if (atPlace[place].size() > 1)
            deadHeat = true;
        if (atPlace[place].size() == 1)
            order << atPlace[place].first();
    }
    if (deadHeat)
        return pending(QStringLiteral("arrivée avec ex aequo : réglez ce pari à la main"));
    if (order.size() < deciding)
        return pending(
            QStringLiteral("arrivée incomplète dans les résultats : réglez ce pari à la main"));
    if (rule == Rule::CouplePlace) {
        if (!finish.starters)
            return pending(QStringLiteral(
                "nombre de partants absent des résultats : réglez ce pari à la main"));
        // No Couplé Placé is offered under eight starters.
        if (*finish.starters < 8) {
            MultiOutcome refunded;
            refunded.state = BetState::Refunded;
            return refunded;
        }
    }

    MultiOutcome outcome;
    const QVector<QVector<int>> played = combinations(rule, formula, numbers);
    int refunded = 0;
    for (const QVector<int>& set : played) {
        if (std::any_of(set.begin(), set.end(), [&](int n) { return nonRunners.contains(n); })) {
            ++refunded;
            continue;
        }
        const std::optional<QString> rank = judge(rule, set, order);
        if (!rank)
            continue;
        ++outcome.winning;
        if (!rank->isEmpty() && (outcome.rank.isEmpty() || rankOrder(*rank) < rankOrder(outcome.rank)))
            outcome.rank = *rank;
    }
    outcome.state = outcome.winning > 0                 ? BetState::Won
                    : refunded == int(played.size()) ? BetState::Refunded
                                                       : BetState::Lost;
    return outcome;
}

} // namespace ledger
