#include "ledger/limits.h"

#include "data/regional.h"
#include "data/schema.h"
#include "data/statement.h"
#include "ledger/ledgerbook.h"

namespace ledger {
namespace {

std::optional<Money> storedLimit(const data::Statement& rs, int column) {
    if (rs.isNull(column))
        return std::nullopt;
    return Money::fromStored(rs.real(column));
}

QVariant storedValue(const std::optional<Money>& limit) {
    return limit ? QVariant(limit->toStored()) : QVariant();
}

} // namespace

Limits limitsOf(const data::Database& db, const QString& player) {
    Limits limits;
    if (!data::schema::hasLimitsTable(db))
        return limits;
    data::Statement rs(
        db.raw(), QStringLiteral("SELECT PlafondMises, PerteMax FROM LIMITES WHERE pseudo = ?"),
        {player});
    if (rs.next()) {
        limits.ceiling = storedLimit(rs, 0);
        limits.maxLoss = storedLimit(rs, 1);
    }
    return limits;
}

void setLimits(const data::Database& db, const QString& player, const Limits& limits) {
    if (!limits.any()) {
        db.exec(QStringLiteral("DELETE FROM LIMITES WHERE pseudo = ?"), {player});
        return;
    }
    db.exec(
        QStringLiteral("INSERT INTO LIMITES (pseudo, PlafondMises, PerteMax) VALUES (?, ?, ?) "
                       "ON CONFLICT (pseudo) DO UPDATE SET PlafondMises = excluded.PlafondMises, "
                       "PerteMax = excluded.PerteMax"),
        {player, storedValue(limits.ceiling), storedValue(limits.maxLoss)});
}

MonthPlay monthPlay(const data::Database& db, const QString& player, const QString& month) {
    MonthPlay play;
    data::Statement rs(db.raw(),
                       QStringLiteral("SELECT [type jeux], TOTAL(Debit), TOTAL(Credit) FROM JEUX "
                                      "WHERE User = ? AND mois = ? GROUP BY [type jeux]"),
                       {player, month});
    while (rs.next()) {
        if (!rs.isNull(0) && isCreditType(rs.string(0)))
            continue;
        play.stakes += Money::fromStored(rs.real(1));
        play.wins += Money::fromStored(rs.real(2));
    }
    return play;
}

std::optional<Money> leftToStake(const Limits& limits, const MonthPlay& play) {
    if (!limits.ceiling)
        return std::nullopt;
    return *limits.ceiling - play.stakes;
}

QString limitQuestion(const Limits& limits, const MonthPlay& play, Money stake,
                      const QString& month) {
    const Money stakes = play.stakes + stake;
    if (limits.ceiling && stakes > *limits.ceiling)
        return QStringLiteral("Cette mise porte vos mises de %1 à %2 pour un plafond de %3. "
                              "L'enregistrer quand même ?")
            .arg(month, regional::formatMoney(stakes), regional::formatMoney(*limits.ceiling));
    const Money loss = stakes - play.wins;
    if (limits.maxLoss && loss > *limits.maxLoss)
        return QStringLiteral("Cette mise porte votre perte de %1 à %2 pour une limite de %3. "
                              "L'enregistrer quand même ?")
            .arg(month, regional::formatMoney(loss), regional::formatMoney(*limits.maxLoss));
    return {};
}

} // namespace ledger
