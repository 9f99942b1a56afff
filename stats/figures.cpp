#include "stats/figures.h"

#include "app/regional.h"
#include "ledger/ledgerbook.h"
#include "ledger/statement.h"

#include <QCollator>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <array>
#include <cmath>

namespace stats {
namespace {

// Rows of one player in one month or in any of the twelve. The month list is bound like
// every other value; only placeholders are written into the query.
struct Period {
    QString where;
    QVariantList values;
};

Period periodOf(const QString& player, int month) {
    Period period;
    period.values << player;
    if (month == kWholeYear) {
        QStringList marks;
        for (const QString& name : regional::monthNames()) {
            marks << QStringLiteral("?");
            period.values << name;
        }
        period.where =
            QStringLiteral("User = ? AND mois IN (%1)").arg(marks.join(QLatin1Char(',')));
    } else {
        period.where = QStringLiteral("User = ? AND mois = ?");
        period.values << regional::monthNames().value(month - 1);
    }
    return period;
}

// A GLOB pattern for the remarks that begin like `remark` once its trailing line number is
// taken off: both reversal remarks end with the number of the other line.
QString remarkPattern(const QString& remark) {
    QString prefix = remark.chopped(1);
    // GLOB's own characters stand for themselves inside brackets.
    prefix.replace(QLatin1Char('['), QStringLiteral("[[]"))
        .replace(QLatin1Char('*'), QStringLiteral("[*]"))
        .replace(QLatin1Char('?'), QStringLiteral("[?]"));
    return prefix + QLatin1Char('*');
}

// A reversed line and its reversal cancel out: neither is a bet the player made.
Period withoutReversals(Period period) {
    period.where += QStringLiteral(" AND IFNULL(Remarque, '') NOT GLOB ?"
                                   " AND IFNULL(Remarque, '') NOT GLOB ?");
    period.values << remarkPattern(ledger::reversalRemark(0))
                  << remarkPattern(ledger::reversedByRemark(0));
    return period;
}

// Credit rows are not games; a row without a type (never written by this program) is one,
// as the statement counts it.
Period gamesOnly(Period period) {
    period.where += QStringLiteral(" AND ([type jeux] IS NULL OR [type jeux] <> ?)");
    period.values << ledger::creditType();
    return period;
}

// One row per value of `column` (grouped as the database compares it): label, game rows,
// staked, won.
QVector<Group> grouped(const data::Database& db, const QString& column, const Period& period,
                       const QString& extraCondition = QString(),
                       const QVariantList& extraValues = {}) {
    QSqlQuery query = db.exec(QStringLiteral("SELECT %1, COUNT(*), TOTAL(Debit), TOTAL(Credit) "
                                             "FROM JEUX WHERE %2%3 GROUP BY %1")
                                  .arg(column, period.where, extraCondition),
                              period.values + extraValues);
    QVector<Group> groups;
    while (query.next()) {
        Group group;
        group.label = query.value(0).toString();
        group.games = query.value(1).toLongLong();
        group.staked = query.value(2).toDouble();
        group.won = query.value(3).toDouble();
        groups << group;
    }
    if (query.lastError().isValid())
        data::throwQueryError(query);
    return groups;
}

// The month as the ledger spells it, 1 to 12; 0 for a text that is no month. Stored months
// are compared as the database compares them, case ignored.
int monthNumber(const QString& stored) {
    const QStringList& names = regional::monthNames();
    for (int i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(stored, Qt::CaseInsensitive) == 0)
            return i + 1;
    }
    return 0;
}

long long cents(double amount) {
    return std::llround(amount * 100.0);
}

QCollator frenchOrder() {
    QCollator collator(QLocale(QLocale::French, QLocale::France));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    return collator;
}

} // namespace

void sortByNet(QVector<Group>& groups) {
    const QCollator collator = frenchOrder();
    std::stable_sort(groups.begin(), groups.end(), [&](const Group& a, const Group& b) {
        const long long netA = cents(a.net());
        const long long netB = cents(b.net());
        if (netA != netB)
            return netA > netB;
        return collator.compare(a.label, b.label) < 0;
    });
}

Figures compute(const data::Database& db, const QString& player, int month) {
    Figures figures;
    const Period period = periodOf(player, month);
    const Period counted = withoutReversals(period);
    const Period games = gamesOnly(counted);

    figures.byMonth = grouped(db, QStringLiteral("mois"), games);
    for (Group& group : figures.byMonth)
        group.label = regional::monthNames().value(monthNumber(group.label) - 1, group.label);
    std::stable_sort(
        figures.byMonth.begin(), figures.byMonth.end(),
        [](const Group& a, const Group& b) { return monthNumber(a.label) < monthNumber(b.label); });
    // The totals add up the months: a dozen rows, not the ledger again.
    for (const Group& group : figures.byMonth) {
        figures.games += group.games;
        figures.staked += group.staked;
        figures.won += group.won;
    }

    figures.byType = grouped(db, QStringLiteral("[type jeux]"), games);
    sortByNet(figures.byType);

    // "AUTRE JEUX" is the ledger's word for a bet on no particular horse.
    figures.byHorse =
        grouped(db, QStringLiteral("Cheval"), games,
                QStringLiteral(" AND Cheval IS NOT NULL AND Cheval <> '' AND Cheval <> ?"),
                {ledger::storedHorse(QString())});
    for (Group& group : figures.byHorse)
        group.label = group.label.toUpper();
    sortByNet(figures.byHorse);

    figures.deposits = db.scalar(QStringLiteral("SELECT TOTAL(Credit) FROM JEUX WHERE %1 AND "
                                                "[type jeux] = ?")
                                     .arg(counted.where),
                                 counted.values + QVariantList{ledger::creditType()})
                           .toDouble();

    // Entry order within a month; the months in calendar order, as the statements follow
    // each other.
    QSqlQuery query = db.exec(
        QStringLiteral("SELECT mois, SoldeApres FROM JEUX WHERE %1 ORDER BY Num").arg(period.where),
        period.values);
    std::array<QVector<double>, 12> perMonth;
    while (query.next()) {
        const int number = monthNumber(query.value(0).toString());
        const QVariant balance = query.value(1);
        if (number > 0 && !balance.isNull())
            perMonth[static_cast<size_t>(number - 1)] << balance.toDouble();
    }
    if (query.lastError().isValid())
        data::throwQueryError(query);
    for (int m = 0; m < 12; ++m) {
        const QVector<double>& points = perMonth[static_cast<size_t>(m)];
        if (points.isEmpty())
            continue;
        figures.balances += points;
        figures.balanceMonths << MonthSpan{regional::monthNames().at(m), int(points.size())};
    }
    return figures;
}

QStringList players(const data::Database& db) {
    QSqlQuery query = db.exec(QStringLiteral(
        "SELECT DISTINCT pseudo FROM USERS WHERE pseudo IS NOT NULL AND pseudo <> ''"));
    QStringList names;
    while (query.next())
        names << query.value(0).toString();
    if (query.lastError().isValid())
        data::throwQueryError(query);
    const QCollator collator = frenchOrder();
    std::sort(names.begin(), names.end(),
              [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    return names;
}

QString formatYield(double staked, double won) {
    if (cents(staked) == 0)
        return QString();
    // Rounded first, so that a tiny loss does not read "-0,0 %".
    double percent = std::round((won - staked) / staked * 1000.0) / 10.0;
    if (percent == 0)
        percent = 0;
    return regional::frenchLocale().toString(percent, 'f', 1) + QStringLiteral(" %");
}

} // namespace stats
