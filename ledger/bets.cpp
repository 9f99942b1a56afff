#include "ledger/bets.h"

#include <array>

namespace ledger {
namespace {

constexpr std::array<std::pair<BetState, const char*>, 4> kNames{{
    {BetState::Pending, "en cours"},
    {BetState::Won, "gagné"},
    {BetState::Lost, "perdu"},
    {BetState::Refunded, "remboursé"},
}};

bool nonRunner(const RunnerResult& result) {
    for (const QString& text : {result.statut.trimmed(), result.place.trimmed()})
        if (text.compare(QLatin1String("NP"), Qt::CaseInsensitive) == 0 ||
            text.contains(QLatin1String("non partant"), Qt::CaseInsensitive))
            return true;
    return false;
}

// The finishing place, or nothing for a runner that did not finish ("D", "T", "A"…).
std::optional<int> finishingPlace(const QString& place) {
    bool ok = false;
    const int value = place.trimmed().toInt(&ok);
    return ok && value > 0 ? std::optional<int>(value) : std::nullopt;
}

} // namespace

QString betStateName(BetState state) {
    for (const auto& [value, name] : kNames)
        if (value == state)
            return QString::fromUtf8(name);
    return {};
}

std::optional<BetState> betStateFromName(const QString& name) {
    for (const auto& [value, text] : kNames)
        if (name == QString::fromUtf8(text))
            return value;
    return std::nullopt;
}

BetState settle(const QString& gameType, const RunnerResult& result) {
    if (nonRunner(result))
        return BetState::Refunded;
    const QString type = gameType.simplified();
    const std::optional<int> place = finishingPlace(result.place);
    if (type.compare(QLatin1String("Simple Gagnant"), Qt::CaseInsensitive) == 0)
        return place == 1 ? BetState::Won : BetState::Lost;
    if (type.compare(QStringLiteral("Simple Placé"), Qt::CaseInsensitive) == 0) {
        if (!result.runners)
            return BetState::Pending;
        const int paid = *result.runners >= 8 ? 3 : *result.runners >= 4 ? 2 : 0;
        return place && *place <= paid ? BetState::Won : BetState::Lost;
    }
    return BetState::Pending;
}

} // namespace ledger
