#include "ledger/betbook.h"

#include "data/regional.h"
#include "data/schema.h"
#include "data/statement.h"
#include "data/transaction.h"
#include "ledger/multibets.h"
#include "racing/vocabulary.h"

#include <QSqlQuery>
#include <algorithm>
#include <cmath>
#include <map>
#include <sqlite3.h>

namespace ledger {
namespace {

// The columns every reader of a bet selects, in Bet's order; the stake's Remarque, then what a
// bet on several horses adds (nothing in a file made before those).
const char* const kBetColumns =
    "P.NumJeu, J.User, J.mois, J.Jour, J.[type jeux], J.Cheval, J.Debit, P.DateCourse, "
    "P.Hippodrome, P.R, P.C, P.Cote, P.Etat, P.NumGain, J.Remarque, %1";
constexpr int kRemarque = 14;
const char* const kMultiColumns = "P.Numeros, P.Formule, P.Gagnantes, P.Rang";
const char* const kNoMultiColumns = "NULL, NULL, NULL, NULL";

// PARIS drives every read of bets (CROSS JOIN keeps it first): the few bets to cash are
// found through their index, not among the thousands of a player's ledger lines.
QString betQuery(const data::Database& db, const char* tail) {
    const QString columns =
        QString::fromLatin1(kBetColumns)
            .arg(QLatin1String(data::schema::hasMultiBetColumns(db) ? kMultiColumns
                                                                     : kNoMultiColumns));
    return QStringLiteral("SELECT %1 FROM PARIS P CROSS JOIN JEUX J ON J.Num = P.NumJeu %2")
        .arg(columns, QString::fromUtf8(tail));
}

Bet readBet(const data::Statement& rs) {
    Bet bet;
    bet.num = rs.integer(0);
    bet.player = rs.string(1);
    bet.month = rs.string(2);
    bet.day = rs.string(3);
    bet.gameType = rs.string(4);
    bet.horse = rs.string(5);
    bet.stake = rs.isReal(6) ? Money::fromStored(rs.real(6)) : Money::fromStored(rs.value(6));
    bet.raceDay = QDate::fromString(rs.string(7), Qt::ISODate);
    bet.race = {int(rs.integer(9)), int(rs.integer(10)), rs.isNull(8) ? QString() : rs.string(8)};
    if (!rs.isNull(11))
        bet.odds = rs.real(11);
    // A state this version does not know is left as it is and shown as pending.
    bet.state = betStateFromName(rs.string(12)).value_or(BetState::Pending);
    if (!rs.isNull(13))
        bet.winNum = rs.integer(13);
    if (!rs.isNull(15))
        bet.numbers = parseNumbers(rs.string(15)).numbers;
    if (!rs.isNull(16))
        bet.formula = formulaFromName(rs.string(16));
    if (!rs.isNull(17))
        bet.winning = int(rs.integer(17));
    if (!rs.isNull(18))
        bet.rank = rs.string(18);
    return bet;
}

// The stake stands: it was not reversed (a refunded bet is settled by its reversal).
bool stakeStands(const data::Statement& rs) {
    return rs.isNull(kRemarque) || !isReversedLine(rs.string(kRemarque));
}

bool hasBets(const data::Database& db) {
    return data::schema::hasBetsTable(db);
}

// The runners of one race as settling compares them.
struct Runner {
    QString racecourse;
    QString horse; // as the racing vocabulary compares horses
    RunnerResult result;
    std::optional<int> saddle;
};
using RaceKey = std::tuple<QString, int, int>; // day, R, C

RunnerResult readResult(const data::Statement& rs, int first) {
    RunnerResult result;
    result.place = rs.isNull(first) ? QString() : rs.value(first).toString();
    result.statut = rs.isNull(first + 1) ? QString() : rs.string(first + 1);
    if (!rs.isNull(first + 2))
        result.runners = int(rs.integer(first + 2));
    return result;
}

// Finds a bet's runner in the results. A race is its day, R and C: the racecourse is shown,
// never a key. Each race is read once per settling, through the runner index by its day,
// and gives its starters: the declared runners less its non-runners when the results give
// their number (many files list the first places only), else its rows that started.
class RunnerFinder {
public:
    explicit RunnerFinder(const data::Database& db)
        : m_race(db.raw(),
                 QStringLiteral("SELECT hippodrome, cheval, place, statut, nbPartant, dossard "
                                "FROM CR WHERE substr(date, 1, 10) = ? AND hippodrome = ? "
                                "AND R = ? AND C = ?"),
                 {}),
          m_runner(db.raw(),
                   QStringLiteral("SELECT hippodrome, cheval, place, statut, nbPartant FROM CR "
                                  "WHERE substr(date, 1, 10) = ? AND hippodrome = ? AND R = ? "
                                  "AND C = ? AND cheval = ?"),
                   {}),
          m_unnamedRace(db.raw(),
                        QStringLiteral("SELECT hippodrome, cheval, place, statut, nbPartant, "
                                       "dossard FROM CR WHERE substr(date, 1, 10) = ? AND "
                                       "hippodrome IS NULL AND R = ? AND C = ?"),
                        {}),
          m_dayMeetings(db.raw(),
                        QStringLiteral("SELECT DISTINCT hippodrome, R FROM CR WHERE "
                                       "substr(date, 1, 10) = ?"),
                        {}),
          m_unnamed(db.raw(),
                    QStringLiteral("SELECT 1 FROM CR WHERE substr(date, 1, 10) = ? AND "
                                   "hippodrome IS NULL LIMIT 1"),
                    {}),
          m_day(db.raw(), QStringLiteral("SELECT 1 FROM CR WHERE substr(date, 1, 10) = ? LIMIT 1"),
                {}) {}

    // Whether the results hold any race of that day.
    bool hasResultsOn(const QDate& day) {
        const QString key = day.toString(Qt::ISODate);
        auto found = m_days.find(key);
        if (found == m_days.end()) {
            m_day.rebind({key});
            found = m_days.emplace(key, m_day.next()).first;
        }
        return found->second;
    }

    enum class Found { Runner, HorseMissing, RaceMissing };

    // The runner's result, its starters in `runners`; the results' racecourse in
    // `racecourse` when the bet names another one.
    Found find(const Bet& bet, Rule rule, RunnerResult& result, QString& racecourse) {
        // A bet that needs its runner's line alone has it through the whole index key when
        // the results write the horse as the ledger does: the race is read only otherwise.
        // The racecourse the bet names is tried first: most often the results name it so.
        // A race's starters are counted at every meeting of its day that bears its R: a
        // race written under two spellings is one race.
        const QString day = bet.raceDay.toString(Qt::ISODate);
        if (!settlingNeedsStarters(rule)) {
            const auto seek = [&](const QString& stored) {
                m_runner.rebind({day, stored, bet.race.r, bet.race.c, bet.horse});
                if (!m_runner.next())
                    return false;
                result = readResult(m_runner, 2);
                result.runners.reset();
                racecourse.clear();
                if (!bet.race.racecourse.isEmpty() &&
                    !racing::sameName(m_runner.string(0), bet.race.racecourse))
                    racecourse = m_runner.string(0);
                return true;
            };
            if (!bet.race.racecourse.isEmpty() && seek(bet.race.racecourse))
                return Found::Runner;
            for (const auto& [stored, meeting] : meetingsOn(day).named)
                if (meeting == bet.race.r && seek(stored))
                    return Found::Runner;
        }
        const QString horse = racing::nameKey(bet.horse);
        const Race& race = raceOf({day, bet.race.r, bet.race.c}, bet.race.racecourse, horse);
        if (race.runners.isEmpty())
            return Found::RaceMissing;
        for (const Runner& runner : race.runners) {
            if (runner.horse != horse)
                continue;
            result = runner.result;
            result.runners = race.starters;
            racecourse.clear();
            if (!bet.race.racecourse.isEmpty() &&
                !racing::sameName(runner.racecourse, bet.race.racecourse))
                racecourse = runner.racecourse;
            return Found::Runner;
        }
        return Found::HorseMissing;
    }

    // The finish of the bet's race by saddle number, read at every meeting of its day;
    // nothing when the results do not hold the race.
    std::optional<RaceFinish> finishOf(const Bet& bet) {
        const Race& race =
            raceOf({bet.raceDay.toString(Qt::ISODate), bet.race.r, bet.race.c}, QString(), QString());
        if (race.runners.isEmpty())
            return std::nullopt;
        RaceFinish finish;
        finish.starters = race.starters;
        for (const Runner& runner : race.runners)
            if (runner.saddle)
                finish.bySaddle.insert(*runner.saddle,
                                       racing::finishOf(runner.result.place, runner.result.statut));
        return finish;
    }

    // Whether the bet's horse shares its place with another runner: a dead heat ("1ex", or
    // two runners given one place), where the dividend is shared.
    bool sharesPlace(const Bet& bet) {
        const QString horse = racing::nameKey(bet.horse);
        const Race& race =
            raceOf({bet.raceDay.toString(Qt::ISODate), bet.race.r, bet.race.c}, QString(), horse);
        std::optional<racing::Finish> mine;
        for (const Runner& runner : race.runners)
            if (runner.horse == horse)
                mine = racing::finishOf(runner.result.place, runner.result.statut);
        if (!mine || mine->kind != racing::Finish::Kind::Placed)
            return false;
        if (mine->deadHeat)
            return true;
        int sharing = 0;
        for (const Runner& runner : race.runners) {
            const racing::Finish other =
                racing::finishOf(runner.result.place, runner.result.statut);
            if (other.kind == racing::Finish::Kind::Placed && other.place == mine->place)
                ++sharing;
        }
        return sharing > 1;
    }

private:
    struct Race {
        QVector<Runner> runners;
        std::optional<int> starters;
        bool whole = false; // read at every meeting of the day
        bool holds(const QString& horse) const {
            return std::any_of(runners.begin(), runners.end(),
                               [&](const Runner& runner) { return runner.horse == horse; });
        }
    };

    // The runner index leads with the day and the racecourse: a race known by its numbers
    // alone is read at each meeting of its day that bears its R, the meetings read once a
    // day from the index alone.
    // A race is read first under the racecourse the bet names, the one most results write
    // for the whole race; at every meeting of its day that bears its R (another spelling
    // of the racecourse is the same race) when the horse is not there, or when the race's
    // starters cannot be told without its number of runners.
    const Race& raceOf(const RaceKey& key, const QString& named, const QString& horse) {
        auto found = m_races.find(key);
        if (found != m_races.end() && (found->second.whole || found->second.holds(horse)))
            return found->second;
        const auto& [day, r, c] = key;
        Race race;
        std::optional<int> declared;
        int started = 0;
        int nonRunners = 0;
        const auto read = [&](data::Statement& rs) {
            while (rs.next()) {
                Runner runner{rs.isNull(0) ? QString() : rs.string(0),
                              rs.isNull(1) ? QString() : racing::nameKey(rs.string(1)),
                              readResult(rs, 2),
                              rs.isNull(5) ? std::nullopt : std::optional<int>(rs.integer(5))};
                if (racing::finishOf(runner.result.place, runner.result.statut).started())
                    ++started;
                else
                    ++nonRunners;
                if (runner.result.runners)
                    declared = std::max(declared.value_or(0), *runner.result.runners);
                race.runners << runner;
            }
        };
        if (found == m_races.end() && !named.isEmpty()) {
            m_race.rebind({day, named, r, c});
            read(m_race);
        }
        if (!declared || !race.holds(horse)) {
            race = Race();
            declared.reset();
            started = nonRunners = 0;
            race.whole = true;
            const Meetings& meetings = meetingsOn(day);
            for (const auto& [racecourse, meeting] : meetings.named)
                if (meeting == r) {
                    m_race.rebind({day, racecourse, r, c});
                    read(m_race);
                }
            if (meetings.unnamed) {
                m_unnamedRace.rebind({day, r, c});
                read(m_unnamedRace);
            }
        }
        if (!race.runners.isEmpty())
            race.starters = declared ? std::optional<int>(std::max(0, *declared - nonRunners))
                                     : std::optional<int>(started);
        if (found != m_races.end())
            return found->second = std::move(race);
        return m_races.emplace(key, std::move(race)).first->second;
    }

    struct Meetings {
        std::vector<std::pair<QString, int>> named; // racecourse as stored, R
        bool unnamed = false;                        // runners without a racecourse
    };

    const Meetings& meetingsOn(const QString& day) {
        auto found = m_meetings.find(day);
        if (found != m_meetings.end())
            return found->second;
        Meetings meetings;
        m_dayMeetings.rebind({day});
        while (m_dayMeetings.next())
            if (!m_dayMeetings.isNull(0))
                meetings.named.emplace_back(m_dayMeetings.string(0),
                                            int(m_dayMeetings.integer(1)));
        m_unnamed.rebind({day});
        meetings.unnamed = m_unnamed.next();
        return m_meetings.emplace(day, std::move(meetings)).first->second;
    }

    data::Statement m_race;
    data::Statement m_runner;
    data::Statement m_unnamedRace;
    data::Statement m_dayMeetings;
    data::Statement m_unnamed;
    data::Statement m_day;
    std::map<RaceKey, Race> m_races;
    std::map<QString, Meetings> m_meetings;
    std::map<QString, bool> m_days;
};

// What the results give a bet on several horses: its state, or why the punter settles it.
void settleSeveral(const Bet& bet, Rule rule, RunnerFinder& finder, Settling& settling) {
    const bool pending = bet.state == BetState::Pending;
    if (!bet.formula) {
        if (pending)
            settling.byHand << bet;
        return;
    }
    const std::optional<RaceFinish> finish = finder.finishOf(bet);
    if (!finish) {
        if (!pending)
            return;
        if (finder.hasResultsOn(bet.raceDay))
            settling.raceNotFound << bet;
        else
            ++settling.awaitingResults;
        return;
    }
    const MultiOutcome outcome = settleMulti(rule, *bet.formula, bet.numbers, *finish);
    if (bet.winNum) {
        if (outcome.state != BetState::Pending && outcome.state != bet.state)
            settling.changedAfterCashing << Settling::Changed{bet, outcome.state};
        return;
    }
    if (outcome.state == BetState::Pending) {
        if (pending)
            settling.undecided << Settling::Undecided{bet, outcome.pendingReason};
        return;
    }
    if (outcome.state == bet.state && outcome.winning == bet.winning.value_or(-1) &&
        outcome.rank == bet.rank)
        return;
    SettledBet settled{bet, bet.state, QString()};
    settled.bet.state = outcome.state;
    settled.bet.winning = outcome.winning;
    settled.bet.rank = outcome.rank;
    settling.settled << settled;
}

// What the results say of every bet not cashed whose stake stands.
Settling settlingOf(const data::Database& db, std::optional<qint64> only) {
    Settling settling;
    RunnerFinder finder(db);
    const GameRules rules(db);
    data::Statement rs(db.raw(),
                       only ? betQuery(db, "WHERE P.NumGain IS NULL AND P.NumJeu = ?")
                            : betQuery(db, "ORDER BY P.NumJeu"),
                       only ? QVariantList{*only} : QVariantList{});
    while (rs.next()) {
        if (!stakeStands(rs)) {
            // A stake reversed before reversals cancelled their bet still says pending.
            const Bet bet = readBet(rs);
            if (bet.state == BetState::Pending && !bet.winNum) {
                SettledBet cancelled{bet, bet.state, QString()};
                cancelled.bet.state = BetState::Cancelled;
                settling.settled << cancelled;
            }
            continue;
        }
        const Bet bet = readBet(rs);
        const bool pending = bet.state == BetState::Pending;
        const Rule rule = rules.of(bet.gameType);
        // A bet on several horses recorded before its numbers were: settled by its horse as
        // before (refunded when it did not start), else by hand.
        if (playsNumbers(rule) && !bet.numbers.isEmpty()) {
            settleSeveral(bet, rule, finder, settling);
            continue;
        }
        // A bet on no particular horse, or of a type the user settles, has nothing to find.
        if (rule == Rule::ByHand || storedHorse(bet.horse) == storedHorse(QString())) {
            if (pending)
                settling.byHand << bet;
            continue;
        }
        RunnerResult result;
        QString racecourse;
        switch (finder.find(bet, rule, result, racecourse)) {
        case RunnerFinder::Found::RaceMissing:
            // A day without results is only waiting; a day with results but not this race is
            // a bet the user must look at.
            if (!pending)
                continue;
            if (finder.hasResultsOn(bet.raceDay))
                settling.raceNotFound << bet;
            else
                ++settling.awaitingResults;
            continue;
        case RunnerFinder::Found::HorseMissing:
            settling.horseNotFound << bet;
            continue;
        case RunnerFinder::Found::Runner:
            break;
        }
        const BetState state = settle(rule, result);
        // The money of a cashed bet has moved: a result corrected since is told, never
        // applied, so that the punter enters the difference himself.
        if (bet.winNum) {
            if (state != BetState::Pending && state != bet.state)
                settling.changedAfterCashing << Settling::Changed{bet, state};
            continue;
        }
        // A result that decides nothing keeps what the user may have set.
        if (state == BetState::Pending && pending)
            settling.byHand << bet;
        if (state == BetState::Pending || state == bet.state)
            continue;
        SettledBet settled{bet, bet.state, racecourse};
        settled.bet.state = state;
        settling.settled << settled;
    }
    return settling;
}

QString raceText(const Bet& bet) {
    return bet.raceDay.toString(QStringLiteral("dd/MM/yyyy")) + QLatin1Char(' ') + bet.race.code();
}

QString betText(const Bet& bet) {
    // A bet on several horses is named by its numbers and formula.
    const QString played =
        bet.numbers.isEmpty()
            ? bet.horse
            : numbersText(bet.numbers) +
                  (bet.formula ? QStringLiteral(" (%1)").arg(formulaName(*bet.formula)) : QString());
    return QStringLiteral("n° %1 — %2 — %3 — %4").arg(bet.num).arg(raceText(bet), played, bet.gameType);
}

// The bet, read inside the caller's transaction; refused when it cannot be touched.
Bet standingBet(const data::Database& db, qint64 num) {
    data::Statement rs(db.raw(), betQuery(db, "WHERE P.NumJeu = ?"), {num});
    if (!rs.next())
        throw BetRefused(BetRefused::Reason::NotFound);
    if (!stakeStands(rs))
        throw BetRefused(BetRefused::Reason::StakeReversed);
    Bet bet = readBet(rs);
    if (bet.winNum)
        throw BetRefused(BetRefused::Reason::AlreadyCashed);
    return bet;
}

} // namespace

QString RaceOfDay::label() const {
    return name.isEmpty() ? race.code() : race.code() + QStringLiteral(" — ") + name;
}

QVector<RaceOfDay> racesOfDay(const data::Database& db, const QDate& day) {
    const QString date = day.toString(Qt::ISODate);
    // The card, when the file has one, names the races still to run.
    const bool card = data::schema::hasCardTable(db);
    const QString results =
        QStringLiteral("SELECT R, C, hippodrome, max(course) FROM CR WHERE substr(date, 1, 10) = ? "
                       "GROUP BY R, C, hippodrome");
    const QString sql =
        card ? results + QStringLiteral(" UNION SELECT R, C, hippodrome, max(course) FROM PARTANTS "
                                        "WHERE date = ? GROUP BY R, C, hippodrome")
             : results;
    data::Statement rs(db.raw(), sql, card ? QVariantList{date, date} : QVariantList{date});
    // One line per race, whichever source named it first.
    std::map<std::tuple<int, int, QString>, RaceOfDay> races;
    while (rs.next()) {
        RaceOfDay race{{int(rs.integer(0)), int(rs.integer(1)),
                        rs.isNull(2) ? QString() : regional::simplifiedName(rs.string(2))},
                       rs.isNull(3) ? QString() : regional::simplifiedName(rs.string(3))};
        auto& kept = races[{race.race.r, race.race.c, race.race.racecourse.toUpper()}];
        if (kept.race.r == 0 || kept.name.isEmpty())
            kept = race;
    }
    QVector<RaceOfDay> list;
    for (const auto& [key, race] : races)
        list << race;
    return list;
}

std::optional<Money> Bet::expectedReturn() const {
    if (!odds)
        return std::nullopt;
    return stake.times(Money::hundredthsOf(*odds));
}

Settling settleBets(const data::Database& db, std::optional<qint64> only) {
    if (!hasBets(db))
        return {};
    // Most settlings change nothing: the results are read without the file's write lock.
    Settling settling = settlingOf(db, only);
    if (settling.settled.isEmpty())
        return settling;
    data::Transaction transaction(db);
    // Written only where the bet is still as it was read: another program may have cashed
    // it or set it meanwhile.
    data::Statement update(db.raw(),
                           QStringLiteral("UPDATE PARIS SET Etat = ? WHERE NumJeu = ? AND Etat = ? "
                                          "AND NumGain IS NULL"),
                           {});
    // A bet on several horses keeps its winning combinations and its rank.
    std::optional<data::Statement> several;
    if (data::schema::hasMultiBetColumns(db))
        several.emplace(db.raw(),
                        QStringLiteral("UPDATE PARIS SET Etat = ?, Gagnantes = ?, Rang = ? WHERE "
                                       "NumJeu = ? AND Etat = ? AND NumGain IS NULL"),
                        QVariantList{});
    QVector<SettledBet> written;
    for (const SettledBet& settled : std::as_const(settling.settled)) {
        if (several && settled.bet.winning) {
            several->rebind({betStateName(settled.bet.state), *settled.bet.winning,
                             settled.bet.rank.isEmpty() ? QVariant() : QVariant(settled.bet.rank),
                             settled.bet.num, betStateName(settled.was)});
            several->next();
        } else {
            update.rebind(
                {betStateName(settled.bet.state), settled.bet.num, betStateName(settled.was)});
            update.next();
        }
        if (sqlite3_changes(db.raw()) == 1)
            written << settled;
    }
    settling.settled = written;
    transaction.commit();
    return settling;
}

QVector<Settling::Changed> changedSinceClosing(const data::Database& archive, int year,
                                               const data::Database& results) {
    QVector<Settling::Changed> changed;
    if (!hasBets(archive))
        return changed;
    RunnerFinder finder(results);
    const GameRules rules(archive);
    data::Statement rs(archive.raw(), betQuery(archive, "ORDER BY P.NumJeu"), {});
    while (rs.next()) {
        if (!stakeStands(rs))
            continue;
        const Bet bet = readBet(rs);
        if (bet.state == BetState::Pending || bet.state == BetState::Cancelled)
            continue;
        const Rule rule = rules.of(bet.gameType);
        BetState now = BetState::Pending;
        if (playsNumbers(rule)) {
            const std::optional<RaceFinish> finish = finder.finishOf(bet);
            if (finish && bet.formula)
                now = settleMulti(rule, *bet.formula, bet.numbers, *finish).state;
        } else if (rule != Rule::ByHand) {
            RunnerResult result;
            QString racecourse;
            if (finder.find(bet, rule, result, racecourse) != RunnerFinder::Found::Runner)
                continue;
            now = settle(rule, result);
        }
        if (now != BetState::Pending && now != bet.state)
            changed << Settling::Changed{bet, now, year};
    }
    return changed;
}

GameRules::GameRules(const data::Database& db) {
    if (!data::schema::hasRulesTable(db))
        return;
    m_fromFile = true;
    data::Statement rs(db.raw(), QStringLiteral("SELECT Type, Regle FROM REGLESJEUX"), {});
    while (rs.next())
        m_rules.insert(racing::nameKey(rs.string(0)),
                       ruleFromName(rs.string(1)).value_or(Rule::ByHand));
}

Rule GameRules::of(const QString& gameType) const {
    if (!m_fromFile)
        return defaultRule(gameType);
    return m_rules.value(racing::nameKey(gameType), Rule::ByHand);
}

QString settledLine(const SettledBet& settled) {
    QString line = betText(settled.bet) + QStringLiteral(" : ") + betStateName(settled.bet.state);
    if (settled.bet.winning && *settled.bet.winning > 0) {
        QStringList what;
        if (!settled.bet.rank.isEmpty())
            what << settled.bet.rank;
        what << regional::counted(*settled.bet.winning, QStringLiteral("combinaison gagnante"),
                                  QStringLiteral("combinaisons gagnantes"));
        line += QStringLiteral(" (%1)").arg(what.join(QStringLiteral(", ")));
    }
    if (!settled.resultsRacecourse.isEmpty())
        line += QStringLiteral(" (hippodrome des résultats : %1)").arg(settled.resultsRacecourse);
    return line;
}

QString notFoundLine(const Bet& bet) {
    return betText(bet) + QStringLiteral(" : cheval introuvable dans les résultats");
}

QStringList pendingLines(const Settling& settling) {
    QStringList lines;
    for (const Settling::Changed& changed : settling.changedAfterCashing)
        lines << betText(changed.bet) +
                     QStringLiteral(" : encaissé comme %1, les résultats le donnent maintenant %2")
                         .arg(betStateName(changed.bet.state), betStateName(changed.now));
    for (const Settling::Changed& changed : settling.changedAfterClosing)
        lines << betText(changed.bet) +
                     QStringLiteral(" : %1 dans l'exercice %2 clos, les résultats le donnent "
                                    "maintenant %3")
                         .arg(betStateName(changed.bet.state))
                         .arg(changed.closedYear)
                         .arg(betStateName(changed.now));
    for (const Bet& bet : settling.raceNotFound)
        lines << betText(bet) + QStringLiteral(" : course introuvable dans les résultats du %1")
                                    .arg(bet.raceDay.toString(QStringLiteral("dd/MM/yyyy")));
    for (const Bet& bet : settling.horseNotFound)
        lines << notFoundLine(bet);
    for (const Settling::Undecided& undecided : settling.undecided)
        lines << betText(undecided.bet) + QStringLiteral(" : ") + undecided.reason;
    for (const Bet& bet : settling.byHand)
        lines << betText(bet) + QStringLiteral(" : type de jeu réglé à la main");
    if (settling.awaitingResults > 0)
        lines << regional::counted(settling.awaitingResults,
                                   QStringLiteral("pari attend ses résultats"),
                                   QStringLiteral("paris attendent leurs résultats"));
    return lines;
}

bool deadHeat(const data::Database& db, const Bet& bet) {
    return RunnerFinder(db).sharesPlace(bet);
}

std::optional<Bet> betOf(const data::Database& db, qint64 num) {
    if (!hasBets(db))
        return std::nullopt;
    data::Statement rs(db.raw(), betQuery(db, "WHERE P.NumJeu = ?"), {num});
    if (!rs.next())
        return std::nullopt;
    return readBet(rs);
}

QVector<Bet> betsToCash(const data::Database& db, const QString& player) {
    QVector<Bet> bets;
    if (!hasBets(db))
        return bets;
    // Written as the index PARIS_a_encaisser is, so that it is the one read.
    data::Statement rs(db.raw(),
                       betQuery(db, "WHERE P.NumGain IS NULL AND P.Etat IN ('gagné', 'remboursé') "
                                "AND J.User = ? ORDER BY P.DateCourse, P.NumJeu"),
                       {player});
    while (rs.next())
        if (stakeStands(rs))
            bets << readBet(rs);
    return bets;
}

QVector<Bet> unsettledBetList(const data::Database& db) {
    QVector<Bet> bets;
    if (!hasBets(db))
        return bets;
    data::Statement rs(db.raw(),
                       betQuery(db, "WHERE P.NumGain IS NULL AND P.Etat NOT IN (?, ?) "
                                "ORDER BY P.DateCourse, P.NumJeu"),
                       {betStateName(BetState::Lost), betStateName(BetState::Cancelled)});
    while (rs.next())
        if (stakeStands(rs))
            bets << readBet(rs);
    return bets;
}

int unsettledBets(const data::Database& db) {
    return int(unsettledBetList(db).size());
}

QString unsettledLine(const Bet& bet) {
    return QStringLiteral("%1 %2 — %3 — %4")
        .arg(bet.raceDay.toString(QStringLiteral("dd/MM/yyyy")), bet.race.code(), bet.horse,
             betStateName(bet.state));
}

QString betRefusalText(BetRefused::Reason reason) {
    switch (reason) {
    case BetRefused::Reason::NotFound:
        return QStringLiteral("Ce pari n'existe plus.");
    case BetRefused::Reason::StakeReversed:
        return QStringLiteral("La mise de ce pari est annulée.");
    case BetRefused::Reason::AlreadyCashed:
        return QStringLiteral("Ce pari est déjà encaissé.");
    case BetRefused::Reason::NotWon:
        return QStringLiteral("Ce pari n'est ni gagné ni remboursé.");
    }
    return {};
}

void markBet(const data::Database& db, qint64 num, BetState state) {
    data::Transaction transaction(db);
    standingBet(db, num);
    db.exec(QStringLiteral("UPDATE PARIS SET Etat = ? WHERE NumJeu = ?"),
            {betStateName(state), num});
    transaction.commit();
}

BalanceChange cashBet(const data::Database& db, qint64 num, Money amount, Carry carry) {
    data::Transaction transaction(db);
    const Bet bet = standingBet(db, num);
    if (bet.state != BetState::Won)
        throw BetRefused(BetRefused::Reason::NotWon);
    GameEntry win;
    win.kind = GameKind::Win;
    win.player = bet.player;
    win.month = bet.month;
    win.day = bet.day;
    win.gameType = bet.gameType;
    win.horse = bet.horse;
    win.amount = amount;
    const BalanceChange change = recordGame(db, win, carry);
    db.exec(QStringLiteral("UPDATE PARIS SET NumGain = ? WHERE NumJeu = ?"), {change.num, num});
    transaction.commit();
    return change;
}

Reversal refundBet(const data::Database& db, qint64 num, Carry carry) {
    data::Transaction transaction(db);
    const Bet bet = standingBet(db, num);
    if (bet.state != BetState::Refunded)
        throw BetRefused(BetRefused::Reason::NotWon);
    const Reversal reversal = reverseLine(db, num, carry);
    transaction.commit();
    return reversal;
}

} // namespace ledger
