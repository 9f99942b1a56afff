#include "ledger/ledgerbook.h"

#include "data/transaction.h"
#include "ledger/statement.h"

#include <QSqlQuery>

namespace ledger {
namespace {

// The player's row for a month, when there is exactly one: every balance operation acts
// on that row only, so that two rows for one month never receive the same change.
struct UserRow {
    qint64 id = 0;
    double deposits = 0; // SoldeDepart
    double balance = 0;  // SoldeEnCours
};

std::optional<UserRow> singleUserRow(const data::Database& db, const QString& player,
                                     const QString& month) {
    QSqlQuery query = db.exec(QStringLiteral("SELECT Id, SoldeDepart, SoldeEnCours FROM USERS "
                                             "WHERE pseudo = ? AND Mois = ? LIMIT 2"),
                              {player, month});
    if (!query.next())
        return std::nullopt;
    UserRow row{query.value(0).toLongLong(), query.value(1).toDouble(), query.value(2).toDouble()};
    if (query.next())
        return std::nullopt;
    return row;
}

qint64 appendLedgerRow(const data::Database& db, const QString& player, const QString& month,
                       const QString& day, const QString& gameType, const QString& horse,
                       double debit, double credit, double before, double after,
                       const QVariant& remark = QVariant()) {
    db.exec(QStringLiteral("INSERT INTO JEUX (User, mois, Jour, Remarque, [type jeux], Cheval, "
                           "Debit, Credit, SoldeAvant, SoldeApres) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {player, month, day, remark, gameType, horse, debit, credit, before, after});
    return db.scalar(QStringLiteral("SELECT last_insert_rowid()")).toLongLong();
}

struct LedgerLine {
    QString player, month, day, gameType;
    QVariant horse;
    double debit = 0, credit = 0;
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
            query.value(6).toDouble(),
            query.value(7).toDouble()};
}

} // namespace

QString creditType() {
    return QStringLiteral("Approvisionnement compte");
}

QString storedHorse(const QString& typed) {
    // Blanks around a name would file the bet under a second horse of the same name.
    QString horse = typed.trimmed().isEmpty() ? QStringLiteral("autre jeux") : typed.trimmed();
    return horse.remove(QLatin1Char('\'')).toUpper();
}

BalanceChange recordGame(const data::Database& db, const GameEntry& entry,
                         const QString& balanceMonth, std::optional<double> shownBalance) {
    data::Transaction transaction(db);
    const auto row = singleUserRow(db, entry.player, balanceMonth);
    if (!row && !shownBalance)
        throw UnknownBalance();
    BalanceChange change;
    change.before = row ? row->balance : *shownBalance;
    const bool stake = entry.kind == GameKind::Stake;
    change.after = stake ? change.before - entry.amount : change.before + entry.amount;
    appendLedgerRow(db, entry.player, entry.month, entry.day, entry.gameType,
                    storedHorse(entry.horse), stake ? entry.amount : 0.0,
                    stake ? 0.0 : entry.amount, change.before, change.after);
    if (row) {
        db.exec(QStringLiteral("UPDATE USERS SET SoldeEnCours = ? WHERE Id = ?"),
                {change.after, row->id});
        change.storedRowChanged = true;
    }
    transaction.commit();
    return change;
}

CreditChange addCredit(const data::Database& db, const QString& player, const QString& month,
                       const QString& day, double sum, std::optional<double> shownDeposits,
                       std::optional<double> shownBalance) {
    data::Transaction transaction(db);
    const auto row = singleUserRow(db, player, month);
    if (!row && !shownBalance)
        throw UnknownBalance();
    CreditChange change;
    change.before = row ? row->balance : *shownBalance;
    change.after = change.before + sum;
    if (row)
        change.deposits = row->deposits + sum;
    else if (shownDeposits)
        change.deposits = *shownDeposits + sum;
    if (row) {
        db.exec(QStringLiteral("UPDATE USERS SET SoldeDepart = ?, SoldeEnCours = ? WHERE Id = ?"),
                {*change.deposits, change.after, row->id});
        change.storedRowChanged = true;
    }
    // Credit rows keep "autre jeux" in lower case: they are told apart by their type.
    appendLedgerRow(db, player, month, day, creditType(), QStringLiteral("autre jeux"), 0.0, sum,
                    change.before, change.after);
    transaction.commit();
    return change;
}

void checkReversible(const data::Database& db, qint64 num) {
    reversibleLine(db, num);
}

Reversal reverseLine(const data::Database& db, qint64 num, const QString& balanceMonth,
                     std::optional<double> shownDeposits, std::optional<double> shownBalance) {
    data::Transaction transaction(db);
    const LedgerLine line = reversibleLine(db, num);
    const auto row = singleUserRow(db, line.player, balanceMonth);
    if (!row && !shownBalance)
        throw UnknownBalance();
    Reversal reversal;
    reversal.credit = line.gameType == creditType();
    reversal.before = row ? row->balance : *shownBalance;
    // The new row's own debit and credit are the line's negated.
    reversal.after = reversal.before - (-line.debit) + (-line.credit);
    if (reversal.credit) {
        if (row)
            reversal.deposits = row->deposits - line.credit;
        else if (shownDeposits)
            reversal.deposits = *shownDeposits - line.credit;
    }
    reversal.num = appendLedgerRow(db, line.player, line.month, line.day, line.gameType,
                                   line.horse.toString(), -line.debit, -line.credit,
                                   reversal.before, reversal.after, reversalRemark(num));
    db.exec(QStringLiteral("UPDATE JEUX SET Remarque = ? WHERE Num = ?"),
            {reversedByRemark(reversal.num), num});
    if (row) {
        if (reversal.credit)
            db.exec(QStringLiteral("UPDATE USERS SET SoldeDepart = ?, SoldeEnCours = ? "
                                   "WHERE Id = ?"),
                    {*reversal.deposits, reversal.after, row->id});
        else
            db.exec(QStringLiteral("UPDATE USERS SET SoldeEnCours = ? WHERE Id = ?"),
                    {reversal.after, row->id});
        reversal.storedRowChanged = true;
    }
    transaction.commit();
    return reversal;
}

bool playerExists(const data::Database& db, const QString& player, const QString& month) {
    return db
        .scalar(QStringLiteral("SELECT EXISTS (SELECT 1 FROM USERS WHERE pseudo = ? AND Mois = ?)"),
                {player, month})
        .toBool();
}

void addPlayer(const data::Database& db, const QString& player, double balance,
               const QString& month) {
    data::Transaction transaction(db);
    if (playerExists(db, player, month))
        throw PlayerExists();
    db.exec(QStringLiteral(
                "INSERT INTO USERS (pseudo, SoldeDepart, SoldeEnCours, Mois) VALUES (?, ?, ?, ?)"),
            {player, balance, balance, month});
    transaction.commit();
}

} // namespace ledger
