#include "ledger/bets.h"
#include "ledger/multibets.h"

#include "data/regional.h"
#include "racing/vocabulary.h"

#include <QHash>
#include <QRegularExpression>
#include <array>
#include <cmath>

namespace ledger {
namespace {

constexpr std::array<std::pair<BetState, const char*>, 5> kNames{{
    {BetState::Pending, "en cours"},
    {BetState::Won, "gagné"},
    {BetState::Lost, "perdu"},
    {BetState::Refunded, "remboursé"},
    {BetState::Cancelled, "annulé"},
}};

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

bool settlingNeedsStarters(Rule rule) {
    return rule == Rule::SimplePlace;
}

BetState settle(Rule rule, const RunnerResult& result) {
    using racing::Finish;
    const Finish finish = racing::finishOf(result.place, result.statut);
    if (!finish.started())
        return BetState::Refunded;
    const bool placed = finish.kind == Finish::Kind::Placed;
    if (rule == Rule::SimpleGagnant)
        return placed && finish.place == 1 ? BetState::Won : BetState::Lost;
    if (rule == Rule::SimplePlace) {
        if (!result.runners)
            return BetState::Pending;
        const int paid = racing::paidPlaces(*result.runners);
        // Under four starters no place bet is offered: the stake comes back.
        if (paid == 0)
            return BetState::Refunded;
        return placed && finish.place <= paid ? BetState::Won : BetState::Lost;
    }
    return BetState::Pending;
}

BetState settle(const QString& gameType, const RunnerResult& result) {
    return settle(defaultRule(gameType), result);
}

QString RaceRef::code() const {
    const QString race = QStringLiteral("R%1C%2").arg(r).arg(c);
    return racecourse.isEmpty() ? race : race + QLatin1Char(' ') + racecourse;
}

std::optional<RaceRef> parseRace(const QString& text) {
    // The name of the race follows a dash set off by blanks, so that a racecourse with a
    // hyphen (Cagnes-sur-Mer) stays whole.
    static const QRegularExpression pattern(
        QStringLiteral(
            "^\\s*R\\s*(\\d{1,2})\\s*C\\s*(\\d{1,2})(?:\\s+(.*?))?\\s*(?:\\s[—–-]\\s.*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    RaceRef race{match.captured(1).toInt(), match.captured(2).toInt(),
                 regional::simplifiedName(match.captured(3))};
    if (race.r < 1 || race.c < 1)
        return std::nullopt;
    // "R1C3 — Prix…" has a name and no racecourse.
    if (race.racecourse.startsWith(QChar(0x2014)) || race.racecourse.startsWith(QChar(0x2013)))
        race.racecourse.clear();
    return race;
}

std::optional<double> parseOdds(const QString& text) {
    QString typed = text.trimmed();
    typed.replace(QLatin1Char(','), QLatin1Char('.'));
    static const QRegularExpression decimal(QStringLiteral("^\\d{1,4}(\\.\\d{1,2})?$"));
    if (!decimal.match(typed).hasMatch())
        return std::nullopt;
    const double odds = typed.toDouble();
    if (!(odds > 1.0))
        return std::nullopt;
    return odds;
}

} // namespace ledger
