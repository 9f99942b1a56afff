#pragma once

#include "data/database.h"
#include "data/money.h"

#include <QString>
#include <optional>

// The limits a punter sets himself: a ceiling on a month's stakes and a loss not to go
// beyond in a month, each optional, held for every month until changed. They warn and never
// forbid: the punter decides.
namespace ledger {

struct Limits {
    std::optional<Money> ceiling; // PlafondMises
    std::optional<Money> maxLoss; // PerteMax, a positive amount
    bool any() const { return ceiling || maxLoss; }
};

// The player's limits; none for a file without the table. Throws data::DbError.
Limits limitsOf(const data::Database& db, const QString& player);
// Records them, an empty limit removing it; a player without any leaves no row. Throws
// data::DbError.
void setLimits(const data::Database& db, const QString& player, const Limits& limits);

// What the player's game rows of a month add up to: credits are no games, and a reversed
// line and its reversal cancel out.
struct MonthPlay {
    Money stakes;
    Money wins;
    Money net() const { return wins - stakes; }
};
MonthPlay monthPlay(const data::Database& db, const QString& player, const QString& month);

// The ceiling less the month's stakes; nothing without a ceiling.
std::optional<Money> leftToStake(const Limits& limits, const MonthPlay& play);

// The question a stake of `stake` in `month` asks before it is recorded, when it would take
// the month's stakes past the ceiling, or its net below minus the loss limit:
// "Cette mise porte vos mises de Mars à 130,00 € pour un plafond de 100,00 €. L'enregistrer
// quand même ?". Empty when it stays within both. The ceiling is asked about first.
QString limitQuestion(const Limits& limits, const MonthPlay& play, Money stake,
                      const QString& month);

} // namespace ledger
