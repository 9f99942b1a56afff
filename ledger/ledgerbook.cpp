#include "ledger/ledgerbook.h"

#include "data/regional.h"
#include "data/schema.h"
#include "data/statement.h"
#include "data/transaction.h"
#include "ledger/multibets.h"

#include <QSqlQuery>
#include <algorithm>

namespace ledger {
namespace {

// The player's row for a month, when there is exactly one: every balance operation acts
// on that row only, so that two rows for one month never receive the same change.
struct UserRow {
    qint64 id = 0;
    Money deposits; // SoldeDepart
    Money balance;  // SoldeEnCours
};

std::optional<UserRow> singleUserRow(const data::Database& db, const QString& player,
                                     const QString& month) {
    QSqlQuery query = db.exec(QStringLiteral("SELECT Id, SoldeDepart, SoldeEnCours FROM USERS "
                                             "WHERE pseudo = ? AND Mois = ? LIMIT 2"),
                              {player, month});
    if (!query.next())
        return std::nullopt;
    UserRow row{query.value(0).toLongLong(), Money::fromStored(query.value(1)),
                Money::fromStored(query.value(2))};
    if (query.next())
        return std::nullopt;
    return row;
}

UserRow requireUserRow(const data::Database& db, const QString& player, const QString& month) {
    const auto row = singleUserRow(db, player, month);
    if (!row)
        throw NoAccount(player, month);
    return *row;
}

// The player's rows with the month each belongs to, months the ledger does not know left
// out, in calendar order.
struct MonthRow {
    int index = 0;
    QString month;
    qint64 id = 0;
    Money deposits;
    Money balance;
};

QVector<MonthRow> monthRows(const data::Database& db, const QString& player) {
    QSqlQuery query = db.exec(
        QStringLiteral("SELECT Mois, Id, SoldeDepart, SoldeEnCours FROM USERS WHERE pseudo = ?"),
        {player});
    QVector<MonthRow> rows;
    while (query.next()) {
        const int index = regional::monthIndex(query.value(0).toString());
        if (index >= 0)
            rows.push_back({index, regional::monthNames().at(index), query.value(1).toLongLong(),
                            Money::fromStored(query.value(2)), Money::fromStored(query.value(3))});
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const MonthRow& a, const MonthRow& b) { return a.index < b.index; });
    return rows;
}

// Moves the starting and current balances of every month after `month` by difference, and
// the running balance of their lines with them: a late entry changes every balance that
// was carried from it, and a statement must still add up.
void carryToLaterMonths(const data::Database& db, const QString& player, const QString& month,
                        Money difference, Carry carry) {
    if (carry != Carry::LaterMonthsToo || difference.isZero())
        return;
    const int index = regional::monthIndex(month);
    for (const MonthRow& row : monthRows(db, player)) {
        if (row.index <= index)
            continue;
        db.exec(QStringLiteral("UPDATE USERS SET SoldeDepart = ?, SoldeEnCours = ? WHERE Id = ?"),
                {(row.deposits + difference).toStored(), (row.balance + difference).toStored(),
                 row.id});
        // Rounded to the cent as every amount the ledger writes.
        db.exec(QStringLiteral("UPDATE JEUX SET SoldeAvant = ROUND(SoldeAvant + ?, 2), "
                               "SoldeApres = ROUND(SoldeApres + ?, 2) WHERE User = ? AND mois = ?"),
                {difference.toStored(), difference.toStored(), player, row.month});
    }
}

// A text cell as stored: a real number written the way Qt writes it.
QString cellText(const data::Statement& rs, int column) {
    if (rs.isNull(column))
        return QString();
    if (rs.isReal(column))
        return rs.value(column).toString();
    return rs.string(column);
}

// An amount cell: empty is zero.
Money cellAmount(const data::Statement& rs, int column) {
    if (rs.isReal(column))
        return Money::fromStored(rs.real(column));
    return Money::fromStored(rs.value(column));
}

qint64 appendLedgerRow(const data::Database& db, const QString& player, const QString& month,
                       const QString& day, const QString& gameType, const QString& horse,
                       Money debit, Money credit, Money before, Money after,
                       const QVariant& remark = QVariant()) {
    db.exec(QStringLiteral("INSERT INTO JEUX (User, mois, Jour, Remarque, [type jeux], Cheval, "
                           "Debit, Credit, SoldeAvant, SoldeApres) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {player, month, day, remark, gameType, horse, debit.toStored(), credit.toStored(),
             before.toStored(), after.toStored()});
    return db.scalar(QStringLiteral("SELECT last_insert_rowid()")).toLongLong();
}

struct LedgerLine {
    QString player, month, day, gameType;
    QVariant horse;
    Money debit, credit;
};

LedgerLine reversibleLine(const data::Database& db, qint64 num) {
    QSqlQuery query =
        db.exec(QStringLiteral("SELECT User, mois, Jour, Remarque, [type jeux], Cheval, Debit, "
                               "Credit FROM JEUX WHERE Num = ?"),
                {num});
    if (!query.next())
        throw LineNotFound();
    const QString remark = query.value(3).toString();
    if (isReversedLine(remark))
        throw LineAlreadyReversed();
    if (isReversalRow(remark))
        throw LineIsAReversal();
    return {query.value(0).toString(),
            query.value(1).toString(),
            query.value(2).toString(),
            query.value(4).toString(),
            query.value(5),
            Money::fromStored(query.value(6)),
            Money::fromStored(query.value(7))};
}

} // namespace

QString creditType() {
    return QStringLiteral("Approvisionnement compte");
}

bool isCreditRow(const QVariant& type) {
    return !type.isNull() && isCreditType(type.toString());
}

bool isCreditType(const QString& type) {
    return type == creditType();
}

QString storedHorse(const QString& typed) {
    // Blanks around or inside a name would file the bet under a second horse of that name.
    QString horse = regional::simplifiedName(typed);
    if (horse.isEmpty())
        horse = QStringLiteral("autre jeux");
    return regional::simplifiedName(horse.remove(QLatin1Char('\''))).toUpper();
}

std::optional<Account> account(const data::Database& db, const QString& player,
                               const QString& month) {
    const auto row = singleUserRow(db, player, month);
    if (!row)
        return std::nullopt;
    return Account{row->deposits, row->balance};
}

StatementLine readStatementLine(const data::Statement& rs, int first) {
    StatementLine line;
    line.num = rs.integer(first);
    line.jour = cellText(rs, first + 1);
    line.remarque = cellText(rs, first + 2);
    line.type = cellText(rs, first + 3);
    QString horse = cellText(rs, first + 4);
    if (horse == QLatin1String("autre jeux") || horse == QLatin1String("AUTRE JEUX"))
        horse.clear();
    line.cheval = horse.toUpper();
    // An empty amount (never written by this program) counts as zero.
    line.mise = cellAmount(rs, first + 5);
    line.gain = cellAmount(rs, first + 6);
    if (!rs.isNull(first + 7))
        line.solde = cellAmount(rs, first + 7);
    line.credit = !rs.isNull(first + 3) && isCreditType(line.type);
    line.reversal = isReversalRemark(line.remarque);
    return line;
}

MonthStatement loadStatement(const data::Database& db, const QString& player,
                             const QString& month) {
    MonthStatement statement;
    statement.player = player;
    statement.month = month;
    // A regular player's month holds thousands of rows: they go straight from the engine
    // into the statement, with no record set in between.
    // A year archived before bets knew their race has no PARIS.
    const bool bets = data::schema::hasBetsTable(db);
    data::Statement rs(
        db.raw(),
        bets
            ? QStringLiteral("SELECT Num, Jour, Remarque, [type jeux], Cheval, Debit, Credit, "
                             "SoldeApres, PARIS.Etat FROM JEUX LEFT JOIN PARIS ON NumJeu = Num "
                             "WHERE user = ? and mois = ? ORDER BY Num,Jour;")
            : QStringLiteral("SELECT Num, Jour, Remarque, [type jeux], Cheval, Debit, Credit, "
                             "SoldeApres FROM JEUX WHERE user = ? and mois = ? ORDER BY Num,Jour;"),
        {player, month});
    while (rs.next()) {
        StatementLine line = readStatementLine(rs, 0);
        if (bets && !rs.isNull(8))
            line.etat = rs.string(8);

        // Reversed lines and their reversals count in the totals, where they cancel out,
        // but a mistyped stake is neither a record nor a game played.
        statement.totalMises += line.mise;
        if (!line.reversal && line.mise > statement.plusGrosseMise)
            statement.plusGrosseMise = line.mise;
        if (line.credit) {
            statement.totalCredits += line.gain;
        } else {
            // Credit rows are not games.
            statement.totalGains += line.gain;
            if (!line.reversal) {
                if (line.gain > statement.plusGrosGain)
                    statement.plusGrosGain = line.gain;
                ++statement.nombreJeux;
            }
        }
        statement.lines << line;
    }
    if (const auto row = singleUserRow(db, player, month)) {
        // The month's starting balance: total deposits less this month's credits.
        statement.soldeDepart = row->deposits - statement.totalCredits;
        statement.totalDepots = row->deposits;
        statement.soldeEnCours = row->balance;
    }
    return statement;
}

// The second column of every row of a table, in the table's order. By position, as the
// file's design gives the columns: a file made by hand may name its first column as it likes.
static QStringList secondColumn(const data::Database& db, const QString& sql) {
    QSqlQuery query = db.exec(sql);
    QStringList values;
    while (query.next())
        values << query.value(1).toString();
    return values;
}

QStringList playerRows(const data::Database& db) {
    return secondColumn(db, QStringLiteral("SELECT * FROM USERS"));
}

QStringList gameTypes(const data::Database& db) {
    return secondColumn(db, QStringLiteral("SELECT * FROM TYPEJEUX"));
}

QStringList playerHorses(const data::Database& db, const QString& player) {
    // Thousands of horses for a regular player: read straight from the engine.
    data::Statement rs(db.raw(),
                       QStringLiteral("SELECT DISTINCT Cheval, User FROM JEUX WHERE User = ?"),
                       {player});
    QStringList horses;
    while (rs.next()) {
        // A row without a horse (never written by this program) gives no entry.
        if (!rs.isNull(0))
            if (const QString horse = rs.string(0); !horse.isEmpty())
                horses << horse.toUpper();
    }
    return horses;
}

HorseTotals horseTotals(const data::Database& db, const QString& player, const QString& horse) {
    data::Statement rs(db.raw(),
                       QStringLiteral("SELECT Debit, Credit, [type jeux] FROM JEUX "
                                      "WHERE User = ? and Cheval = ?"),
                       {player, horse});
    HorseTotals totals;
    while (rs.next()) {
        if (!rs.isNull(2) && isCreditType(rs.string(2)))
            continue;
        totals.stakes += cellAmount(rs, 0);
        totals.wins += cellAmount(rs, 1);
    }
    return totals;
}

std::optional<int> lastMonthWithLines(const data::Database& db) {
    std::optional<int> last;
    QSqlQuery query = db.exec(QStringLiteral("SELECT DISTINCT mois FROM JEUX"));
    while (query.next()) {
        const int index = regional::monthIndex(query.value(0).toString());
        if (index >= 0 && (!last || index > *last))
            last = index;
    }
    return last;
}

QStringList laterMonths(const data::Database& db, const QString& player, const QString& month) {
    const int index = regional::monthIndex(month);
    QStringList months;
    for (const MonthRow& row : monthRows(db, player))
        if (row.index > index)
            months << row.month;
    return months;
}

std::optional<PreviousMonth> previousMonth(const data::Database& db, const QString& player,
                                           const QString& month) {
    const int index = regional::monthIndex(month);
    std::optional<PreviousMonth> previous;
    for (const MonthRow& row : monthRows(db, player))
        if (row.index < index)
            previous = PreviousMonth{row.month, row.balance};
    return previous;
}

bool isKnownPlayer(const data::Database& db, const QString& player) {
    return db
        .scalar(QStringLiteral("SELECT EXISTS (SELECT 1 FROM USERS WHERE pseudo = ?)"), {player})
        .toBool();
}

BalanceChange recordGame(const data::Database& db, const GameEntry& entry, Carry carry) {
    data::Transaction transaction(db);
    const UserRow row = requireUserRow(db, entry.player, entry.month);
    BalanceChange change;
    change.before = row.balance;
    const bool stake = entry.kind == GameKind::Stake;
    change.after = stake ? change.before - entry.amount : change.before + entry.amount;
    change.num = appendLedgerRow(db, entry.player, entry.month, entry.day,
                                 regional::simplifiedName(entry.gameType), storedHorse(entry.horse),
                                 stake ? entry.amount : Money(), stake ? Money() : entry.amount,
                                 change.before, change.after);
    if (stake && entry.bet) {
        const BetSlip& bet = *entry.bet;
        db.exec(QStringLiteral("INSERT INTO PARIS (NumJeu, DateCourse, Hippodrome, R, C, Cote) "
                               "VALUES (?, ?, ?, ?, ?, ?)"),
                {change.num, bet.day.toString(Qt::ISODate),
                 bet.race.racecourse.isEmpty() ? QVariant() : QVariant(bet.race.racecourse),
                 bet.race.r, bet.race.c, bet.odds ? QVariant(*bet.odds) : QVariant()});
        if (!bet.numbers.isEmpty() && bet.formula) {
            if (!data::schema::hasMultiBetColumns(db))
                throw data::DbError(data::sqlite_code::Error,
                                    QStringLiteral("table PARIS sans colonne Numeros"));
            db.exec(QStringLiteral("UPDATE PARIS SET Numeros = ?, Formule = ?, Combinaisons = ? "
                                   "WHERE NumJeu = ?"),
                    {numbersText(bet.numbers), formulaName(*bet.formula), bet.combinations,
                     change.num});
        }
    }
    db.exec(QStringLiteral("UPDATE USERS SET SoldeEnCours = ? WHERE Id = ?"),
            {change.after.toStored(), row.id});
    carryToLaterMonths(db, entry.player, entry.month, change.after - change.before, carry);
    transaction.commit();
    return change;
}

CreditChange addCredit(const data::Database& db, const QString& player, const QString& month,
                       const QString& day, Money sum, Carry carry) {
    data::Transaction transaction(db);
    const UserRow row = requireUserRow(db, player, month);
    CreditChange change;
    change.before = row.balance;
    change.after = change.before + sum;
    change.deposits = row.deposits + sum;
    db.exec(QStringLiteral("UPDATE USERS SET SoldeDepart = ?, SoldeEnCours = ? WHERE Id = ?"),
            {change.deposits.toStored(), change.after.toStored(), row.id});
    // Credit rows keep "autre jeux" in lower case: they are told apart by their type.
    appendLedgerRow(db, player, month, day, creditType(), QStringLiteral("autre jeux"), Money(),
                    sum, change.before, change.after);
    carryToLaterMonths(db, player, month, sum, carry);
    transaction.commit();
    return change;
}

void checkReversible(const data::Database& db, qint64 num) {
    reversibleLine(db, num);
}

Reversal reverseLine(const data::Database& db, qint64 num, Carry carry) {
    data::Transaction transaction(db);
    const LedgerLine line = reversibleLine(db, num);
    // The line's own account, whatever month another window shows.
    const UserRow row = requireUserRow(db, line.player, line.month);
    Reversal reversal;
    reversal.credit = isCreditRow(line.gameType);
    reversal.before = row.balance;
    // The new row's own debit and credit are the line's negated.
    reversal.after = reversal.before - (-line.debit) + (-line.credit);
    reversal.num = appendLedgerRow(db, line.player, line.month, line.day, line.gameType,
                                   line.horse.toString(), -line.debit, -line.credit,
                                   reversal.before, reversal.after, reversalRemark(num));
    db.exec(QStringLiteral("UPDATE JEUX SET Remarque = ? WHERE Num = ?"),
            {reversedByRemark(reversal.num), num});
    if (data::schema::hasBetsTable(db)) {
        db.exec(QStringLiteral("UPDATE PARIS SET NumGain = NULL WHERE NumGain = ?"), {num});
        // A mistyped stake's bet is no bet: never pending, never counted. A refunded bet
        // keeps its state, its stake reversed as the refund.
        db.exec(QStringLiteral("UPDATE PARIS SET Etat = ? WHERE NumJeu = ? AND Etat <> ?"),
                {betStateName(BetState::Cancelled), num, betStateName(BetState::Refunded)});
    }
    if (reversal.credit)
        db.exec(QStringLiteral("UPDATE USERS SET SoldeDepart = ?, SoldeEnCours = ? WHERE Id = ?"),
                {(row.deposits - line.credit).toStored(), reversal.after.toStored(), row.id});
    else
        db.exec(QStringLiteral("UPDATE USERS SET SoldeEnCours = ? WHERE Id = ?"),
                {reversal.after.toStored(), row.id});
    carryToLaterMonths(db, line.player, line.month, reversal.after - reversal.before, carry);
    transaction.commit();
    return reversal;
}

bool playerExists(const data::Database& db, const QString& player, const QString& month) {
    return db
        .scalar(QStringLiteral("SELECT EXISTS (SELECT 1 FROM USERS WHERE pseudo = ? AND Mois = ?)"),
                {player, month})
        .toBool();
}

void addPlayer(const data::Database& db, const QString& player, Money balance,
               const QString& month) {
    data::Transaction transaction(db);
    if (playerExists(db, player, month))
        throw PlayerExists();
    db.exec(QStringLiteral(
                "INSERT INTO USERS (pseudo, SoldeDepart, SoldeEnCours, Mois) VALUES (?, ?, ?, ?)"),
            {player, balance.toStored(), balance.toStored(), month});
    transaction.commit();
}

} // namespace ledger
