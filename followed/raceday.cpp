#include "followed/raceday.h"

#include "chrono/conversions.h"
#include "data/regional.h"
#include "data/schema.h"
#include "data/statement.h"
#include "racing/resultnames.h"
#include "racing/vocabulary.h"

#include <QSqlQuery>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace followed {
namespace {

const QString kSeparator = QStringLiteral(" ---- ");

QString isoDay(const QDate& day) {
    return day.toString(Qt::ISODate);
}

// A card's time sorts as a time: "9:05" comes before "13:50".
int minutesOfDay(const QString& time) {
    for (const char* format : {"H:mm", "H'h'mm", "H.mm"}) {
        const QTime parsed = QTime::fromString(time, QLatin1String(format));
        if (parsed.isValid())
            return parsed.hour() * 60 + parsed.minute();
    }
    return 24 * 60;
}

QString text(const data::Statement& rs, int column) {
    return rs.isNull(column) ? QString() : regional::simplifiedName(rs.string(column));
}

std::optional<int> number(const data::Statement& rs, int column) {
    if (rs.isNull(column))
        return std::nullopt;
    return int(rs.integer(column));
}

} // namespace

QString horseKey(const QString& name) {
    return racing::nameKey(name);
}

QSet<QString> followedKeys(const data::Database& db) {
    QSet<QString> keys;
    QSqlQuery query = db.exec(QStringLiteral("SELECT nomcheval FROM MESSUIVITS"));
    while (query.next())
        keys.insert(horseKey(query.value(0).toString()));
    return keys;
}

QString CardRace::code() const {
    return QStringLiteral("R%1C%2").arg(r).arg(c);
}

QString CardRace::label() const {
    QString label = code();
    if (!racecourse.isEmpty())
        label += QLatin1Char(' ') + racecourse;
    if (!name.isEmpty())
        label += QStringLiteral(" — ") + name;
    return label;
}

QVector<CardRace> racesOn(const data::Database& db, const QDate& day,
                          const QSet<QString>& followed) {
    if (!data::schema::hasCardTable(db))
        return {};
    data::Statement rs(db.raw(),
                       QStringLiteral("SELECT heure, hippodrome, R, C, course, distance, "
                                      "discipline, [type de course], cheval FROM PARTANTS "
                                      "WHERE date = ? ORDER BY dossard IS NULL, dossard, cheval"),
                       {isoDay(day)});
    std::map<std::pair<int, int>, CardRace> races;
    while (rs.next()) {
        const QString racecourse = text(rs, 1);
        const int r = int(rs.integer(2));
        const int c = int(rs.integer(3));
        // A race is its day, R and C: "Évry" and "EVRY" rows are one race.
        CardRace& race = races[{r, c}];
        if (race.runners == 0) {
            race.racecourse = racecourse;
            race.r = r;
            race.c = c;
        }
        // The race's details are those of its first runner that gives them.
        if (race.time.isEmpty())
            race.time = text(rs, 0);
        if (race.name.isEmpty())
            race.name = text(rs, 4);
        if (!race.distance)
            race.distance = number(rs, 5);
        if (race.discipline.isEmpty())
            race.discipline = text(rs, 6);
        if (race.raceType.isEmpty())
            race.raceType = text(rs, 7);
        ++race.runners;
        const QString horse = text(rs, 8);
        if (followed.contains(horseKey(horse)))
            race.followed << horse;
    }
    QVector<CardRace> list;
    list.reserve(int(races.size()));
    for (auto& entry : races)
        list << std::move(entry.second);
    std::stable_sort(list.begin(), list.end(), [](const CardRace& a, const CardRace& b) {
        return minutesOfDay(a.time) < minutesOfDay(b.time);
    });
    return list;
}

int followedRunningOn(const data::Database& db, const QDate& day) {
    if (!data::schema::hasCardTable(db))
        return 0;
    const QSet<QString> followed = followedKeys(db);
    if (followed.isEmpty())
        return 0;
    data::Statement rs(db.raw(),
                       QStringLiteral("SELECT DISTINCT cheval FROM PARTANTS WHERE date = ?"),
                       {isoDay(day)});
    QSet<QString> running;
    while (rs.next()) {
        const QString key = horseKey(rs.string(0));
        if (followed.contains(key))
            running.insert(key);
    }
    return int(running.size());
}

// ---- The chrono list ----

std::optional<double> reductionSeconds(const QString& text) {
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    if (parts.size() != 3 || parts.at(0).trimmed().isEmpty())
        return std::nullopt;
    const auto hundredths =
        chrono::ConvertirEnCentiemes(QString(), parts.at(0), parts.at(1), parts.at(2));
    if (!hundredths || !(*hundredths > 0))
        return std::nullopt;
    return *hundredths / 100.0;
}

ChronoList::ChronoList(const QStringList& lines) {
    for (const QString& line : lines) {
        // "1:14:00 ---- 1600m ---- 58Kg ---- Alpha ---- terrain : bon"; a name holding the
        // separator keeps it.
        const QStringList pieces = line.split(kSeparator);
        if (pieces.size() < 5)
            continue;
        const auto seconds = reductionSeconds(pieces.first());
        const QString horse = horseKey(pieces.mid(3, pieces.size() - 4).join(kSeparator));
        if (seconds && !horse.isEmpty())
            m_seconds.insert(horse, *seconds);
    }
}

std::optional<double> ChronoList::reduction(const QString& horse) const {
    const auto found = m_seconds.constFind(horseKey(horse));
    if (found == m_seconds.constEnd())
        return std::nullopt;
    return *found;
}

QString estimatedTime(double reduction, int distance) {
    if (distance <= 0)
        return QString();
    // In single precision, as the chrono window scales a time to another distance.
    return chrono::FormaterResultat(float(reduction) * float(distance) / 1000.0f).texte;
}

// ---- The runners ----

QString Marks::text() const {
    QStringList marks;
    if (group)
        marks << QStringLiteral("G");
    if (listed)
        marks << QStringLiteral("L");
    if (handicapWon)
        marks << QStringLiteral("H+");
    if (handicapPlaced)
        marks << QStringLiteral("H2");
    return marks.join(QLatin1Char(' '));
}

QVector<Runner> runnersOf(const data::Database& db, const QDate& day, const CardRace& race,
                          const QSet<QString>& followed, const ChronoList& chrono) {
    QVector<Runner> runners;
    if (!data::schema::hasCardTable(db))
        return runners;
    const QString dayText = isoDay(day);
    {
        data::Statement rs(
            db.raw(),
            QStringLiteral("SELECT dossard, cheval, jockey, cote FROM PARTANTS WHERE date = ? "
                           "AND R = ? AND C = ? ORDER BY dossard IS NULL, dossard, cheval"),
            {dayText, race.r, race.c});
        while (rs.next()) {
            Runner runner;
            runner.number = number(rs, 0);
            runner.horse = text(rs, 1);
            runner.jockey = text(rs, 2);
            if (!rs.isNull(3))
                runner.odds = rs.real(3);
            runner.followed = followed.contains(horseKey(runner.horse));
            if (race.distance)
                if (const auto reduction = chrono.reduction(runner.horse))
                    runner.estimate = estimatedTime(*reduction, *race.distance);
            runners << runner;
        }
    }
    if (runners.isEmpty())
        return runners;

    // Every result of the horse under each of its spellings, newest first, with what its race
    // was for each confirmation list; the finish is read as everywhere else. Both the marks and
    // the form come from races before the card's day: a result of that day or later is no part
    // of what the punter reads before the race. Two runs of one day come in race order.
    const Confirmations lists[] = {Confirmations::GroupWinners, Confirmations::ListedWinners,
                                   Confirmations::HandicapWinners40,
                                   Confirmations::HandicapPlacedOver40};
    QStringList raceConditions;
    for (const Confirmations list : lists)
        raceConditions << confirmationRaceCondition(list);
    data::Statement results(
        db.raw(),
        QStringLiteral("SELECT substr(date, 1, 10), place, statut, ") +
            raceConditions.join(QStringLiteral(", ")) +
            QStringLiteral(" FROM CR WHERE cheval IN (SELECT value FROM json_each(?)) "
                           "AND substr(date, 1, 10) < ? ORDER BY date DESC, C DESC"),
        {QString(), dayText});
    for (Runner& runner : runners) {
        results.rebind({racing::resultSpellingsParameter(db, runner.horse), dayText});
        int counted = 0;
        while (results.next()) {
            if (results.isNull(0))
                continue;
            const QString raceDay = results.string(0);
            const racing::Finish finish = racing::finishOf(results.string(1), results.string(2));
            bool* marks[] = {&runner.marks.group, &runner.marks.listed,
                             &runner.marks.handicapWon, &runner.marks.handicapPlaced};
            for (int i = 0; i < 4; ++i)
                *marks[i] |= results.integer(3 + i) != 0 && confirmationFinish(lists[i], finish);
            if (counted == 5)
                continue;
            const auto figure = racing::formFigure(finish);
            if (!figure)
                continue;
            if (counted == 0) {
                const QDate last = QDate::fromString(raceDay, Qt::ISODate);
                if (last.isValid())
                    runner.daysSinceLastRace = int(last.daysTo(day));
            } else {
                runner.form += QLatin1Char('-');
            }
            runner.form += *figure;
            ++counted;
        }
    }
    return runners;
}

Form lastRaceForm(const data::Database& db, const QString& horse, const QDate& day) {
    const QString unknown = QStringLiteral("NonConnu");
    QSqlQuery query = db.exec(
        QStringLiteral("SELECT place, valeur, Etat, distance, dotation, [type de course], statut "
                       "FROM CR WHERE cheval IN (SELECT value FROM json_each(?)) "
                       "AND substr(date, 1, 10) < ? ORDER BY date DESC, C DESC"),
        {racing::resultSpellingsParameter(db, horse), isoDay(day)});
    while (query.next()) {
        if (!racing::finishOf(query.value(0).toString(), query.value(6).toString()).started())
            continue;
        const auto cell = [&](int column) {
            return query.value(column).isNull() ? unknown : storedText(query.value(column));
        };
        return Form{cell(1), cell(2), cell(3), cell(4), cell(5), storedText(query.value(0))};
    }
    return Form{unknown, unknown, unknown, unknown, unknown, unknown};
}

} // namespace followed
