#pragma once

#include <QString>
#include <optional>

// A stake that carries its race is a bet: its state follows from the race's result.
namespace ledger {

enum class BetState { Pending, Won, Lost, Refunded };

// "en cours", "gagné", "perdu", "remboursé": the words stored in PARIS.Etat.
QString betStateName(BetState state);
std::optional<BetState> betStateFromName(const QString& name);

// A runner's line of CR, as far as settling reads it.
struct RunnerResult {
    QString place;                // "1", "2"… or a code: "D", "T", "A", "NP"
    QString statut;               // "NP", "non partant"… or empty
    std::optional<int> runners;   // nbPartant
};

// The state a race's result gives a bet of that game type. A non-runner refunds any bet;
// "Simple Gagnant" wins on first place only; "Simple Placé" wins within the first three
// with 8 runners or more, the first two with fewer; a place bet whose race gives no number
// of runners stays pending, as does every other game type (the user settles those).
BetState settle(const QString& gameType, const RunnerResult& result);

} // namespace ledger
