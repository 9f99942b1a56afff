#include "ledger/betbook.h"

#include "data/regional.h"
#include "data/schema.h"
#include "data/statement.h"
#include "data/transaction.h"

#include <QSqlQuery>
#include <algorithm>
#include <cmath>
#include <map>

namespace ledger {
namespace {

// The columns every reader of a bet selects, in Bet's order; the stake's Remarque last.
const char* const kBetColumns =
    "P.NumJeu, J.User, J.mois, J.Jour, J.[type jeux], J.Cheval, J.Debit, P.DateCourse, "
    "P.Hippodrome, P.R, P.C, P.Cote, P.Etat, P.NumGain, J.Remarque";
constexpr int kBetColumnCount = 15;

QString betQuery(const char* tail) {
    return QStringLiteral("SELECT %1 FROM PARIS P JOIN JEUX J ON J.Num = P.NumJeu %2")
        .arg(QLatin1String(kBetColumns), QLatin1String(tail));
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
    bet.race = {int(rs.integer(9)), int(rs.integer(10)),
                rs.isNull(8) ? QString() : rs.string(8)};
    if (!rs.isNull(11))
        bet.odds = rs.real(11);
    // A state this version does not know is left as it is and shown as pending.
    bet.state = betStateFromName(rs.string(12)).value_or(BetState::Pending);
    if (!rs.isNull(13))
        bet.winNum = rs.integer(13);
    return bet;
}

// The stake stands: it was not reversed (a refunded bet is settled by its reversal).
bool stakeStands(const data::Statement& rs) {
    return rs.isNull(kBetColumnCount - 1) || !isReversedLine(rs.string(kBetColumnCount - 1));
}

bool hasBets(const data::Database& db) {
    return data::schema::hasBetsTable(db);
}

// The runners of one race, read once for all the bets on it.
struct Runner {
    QString racecourse;
    QString horse; // as the ledger stores a horse
    RunnerResult result;
};
using RaceKey = std::tuple<QString, int, int>;

QVector<Runner> runnersOf(const data::Database& db, const RaceKey& key) {
    // substr(date, 1, 10) is the runner index's first column: one look-up per race.
    data::Statement rs(db.raw(),
                       QStringLiteral("SELECT hippodrome, cheval, place, statut, nbPartant FROM CR "
                                      "WHERE substr(date, 1, 10) = ? AND R = ? AND C = ?"),
                       {std::get<0>(key), std::get<1>(key), std::get<2>(key)});
    QVector<Runner> runners;
    while (rs.next()) {
        Runner runner;
        runner.racecourse = rs.isNull(0) ? QString() : rs.string(0);
        runner.horse = rs.isNull(1) ? QString() : storedHorse(rs.string(1));
        runner.result.place = rs.isNull(2) ? QString() : rs.value(2).toString();
        runner.result.statut = rs.isNull(3) ? QString() : rs.string(3);
        if (!rs.isNull(4))
            runner.result.runners = int(rs.integer(4));
        runners << runner;
    }
    return runners;
}

QString raceText(const Bet& bet) {
    return bet.raceDay.toString(QStringLiteral("dd/MM/yyyy")) + QLatin1Char(' ') + bet.race.code();
}

QString betText(const Bet& bet) {
    return QStringLiteral("n° %1 — %2 — %3 — %4")
        .arg(bet.num)
        .arg(raceText(bet), bet.horse, bet.gameType);
}

// The bet, read inside the caller's transaction; refused when it cannot be touched.
Bet standingBet(const data::Database& db, qint64 num) {
    data::Statement rs(db.raw(), betQuery("WHERE P.NumJeu = ?"), {num});
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
    const bool card =
        db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                                 "name = 'PARTANTS' COLLATE NOCASE"))
            .toInt() > 0;
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
    return Money::fromCents(std::llround(double(stake.cents()) * *odds));
}

Settling settleBets(const data::Database& db) {
    Settling settling;
    if (!hasBets(db))
        return settling;
    data::Transaction transaction(db);
    std::map<RaceKey, QVector<Runner>> races;
    QVector<std::pair<qint64, BetState>> changes;
    {
        data::Statement rs(db.raw(), betQuery("WHERE P.NumGain IS NULL ORDER BY P.NumJeu"), {});
        while (rs.next()) {
            if (!stakeStands(rs))
                continue;
            const Bet bet = readBet(rs);
            const RaceKey key{bet.raceDay.toString(Qt::ISODate), bet.race.r, bet.race.c};
            auto found = races.find(key);
            if (found == races.end())
                found = races.emplace(key, runnersOf(db, key)).first;
            bool raceKnown = false;
            const Runner* runner = nullptr;
            for (const Runner& candidate : found->second) {
                if (!bet.race.racecourse.isEmpty() &&
                    candidate.racecourse.compare(bet.race.racecourse, Qt::CaseInsensitive) != 0)
                    continue;
                raceKnown = true;
                if (candidate.horse == storedHorse(bet.horse)) {
                    runner = &candidate;
                    break;
                }
            }
            if (!raceKnown)
                continue;
            if (!runner) {
                settling.horseNotFound << bet;
                continue;
            }
            const BetState state = settle(bet.gameType, runner->result);
            // A result that decides nothing keeps what the user may have set.
            if (state == BetState::Pending || state == bet.state)
                continue;
            SettledBet settled{bet, bet.state};
            settled.bet.state = state;
            settling.settled << settled;
            changes.push_back({bet.num, state});
        }
    }
    for (const auto& [num, state] : changes)
        db.exec(QStringLiteral("UPDATE PARIS SET Etat = ? WHERE NumJeu = ?"),
                {betStateName(state), num});
    transaction.commit();
    return settling;
}

QString settledLine(const SettledBet& settled) {
    return betText(settled.bet) + QStringLiteral(" : ") + betStateName(settled.bet.state);
}

QString notFoundLine(const Bet& bet) {
    return betText(bet) + QStringLiteral(" : cheval introuvable dans les résultats");
}

std::optional<Bet> betOf(const data::Database& db, qint64 num) {
    if (!hasBets(db))
        return std::nullopt;
    data::Statement rs(db.raw(), betQuery("WHERE P.NumJeu = ?"), {num});
    if (!rs.next())
        return std::nullopt;
    return readBet(rs);
}

QVector<Bet> betsToCash(const data::Database& db, const QString& player) {
    QVector<Bet> bets;
    if (!hasBets(db))
        return bets;
    data::Statement rs(db.raw(),
                       betQuery("WHERE J.User = ? AND P.NumGain IS NULL AND P.Etat IN (?, ?) "
                                "ORDER BY P.DateCourse, P.NumJeu"),
                       {player, betStateName(BetState::Won), betStateName(BetState::Refunded)});
    while (rs.next())
        if (stakeStands(rs))
            bets << readBet(rs);
    return bets;
}

int unsettledBets(const data::Database& db) {
    if (!hasBets(db))
        return 0;
    data::Statement rs(db.raw(),
                       betQuery("WHERE P.NumGain IS NULL AND P.Etat IS NOT ?"),
                       {betStateName(BetState::Lost)});
    int count = 0;
    while (rs.next())
        if (stakeStands(rs))
            ++count;
    return count;
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
    const BalanceChange change = recordGame(db, win, bet.month, carry);
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
