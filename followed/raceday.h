#pragma once

#include "data/database.h"
#include "followed/followedbook.h"

#include <QDate>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

// The day's card (PARTANTS) as the punter reads it: the races of a day with the followed
// horses that run in them, and each race's runners with their recent form, the confirmation
// lists they are in and a time estimated from the chrono list. No UI; engine errors throw
// data::DbError.
namespace followed {

// A horse's name as the card, the followed horses and the chrono list are matched by: the
// racing vocabulary's key, without case, accents or apostrophes of any kind, blanks made
// single ("l’Ami  du Roi" is "LAMI DU ROI", "Éclair" is "ECLAIR").
QString horseKey(const QString& name);

// The followed horses' names, as keys.
QSet<QString> followedKeys(const data::Database& db);

struct CardRace {
    QString time; // "13:50", as the card gives it; empty when it gives none
    QString racecourse;
    int r = 0;
    int c = 0;
    QString name; // "Prix d'Amérique", or empty
    std::optional<int> distance;
    QString discipline;
    QString raceType;
    int runners = 0;
    QStringList followed; // the followed runners as the card names them, by saddle number

    QString code() const;  // "R1C3"
    QString label() const; // "R1C3 Vincennes — Prix d'Amérique", as the ledger's race box
};

// The races of `day` on the card, by time (those without one last), then meeting and race.
// None when the file has no card.
QVector<CardRace> racesOn(const data::Database& db, const QDate& day,
                          const QSet<QString>& followed);

// How many different followed horses the card of `day` has.
int followedRunningOn(const data::Database& db, const QDate& day);

// The reductions of the chrono list file: for each horse, that of its last line.
class ChronoList {
public:
    explicit ChronoList(const QStringList& lines = {});
    // Seconds per 1000 m; nothing when no line names the horse.
    std::optional<double> reduction(const QString& horse) const;

private:
    QHash<QString, double> m_seconds; // by horseKey
};

// A reduction as the chrono window writes it ("1:14:00") in seconds (74); nothing for a text
// that is not one, or for no time at all.
std::optional<double> reductionSeconds(const QString& text);

// The time over `distance` metres at `reduction` seconds per 1000 m, written as the chrono
// window writes its results ("2:35:40"); empty when there is no distance to scale to.
QString estimatedTime(double reduction, int distance);


// The confirmation lists (followedbook.h) a horse is in, by their marks G, L, H+ and H2.
struct Marks {
    bool group = false;
    bool listed = false;
    bool handicapWon = false;
    bool handicapPlaced = false;
    QString text() const; // "G L H+", the marks apart
};

struct Runner {
    std::optional<int> number; // saddle-cloth
    QString horse;
    QString jockey;
    std::optional<double> odds;
    QString form; // the last five places before the day, newest first: "1-3-0-D-2"
    std::optional<int> daysSinceLastRace;
    Marks marks;
    bool followed = false;
    QString estimate; // empty when the chrono list has no reduction for the horse
};

// The runners of `race` on `day`, by saddle-cloth: each with one indexed look-up of its
// results, made by one statement prepared for the whole race.
QVector<Runner> runnersOf(const data::Database& db, const QDate& day, const CardRace& race,
                          const QSet<QString>& followed, const ChronoList& chrono);

// The form a runner is followed with: what a confirmation row of its last race before `day`
// shows, "NonConnu" for what is not known (all of it when it has not run).
Form lastRaceForm(const data::Database& db, const QString& horse, const QDate& day);

} // namespace followed
