#include "ledger/chains.h"

#include "data/regional.h"
#include "data/statement.h"
#include "data/transaction.h"
#include "ledger/ledgerbook.h"

#include <QCollator>
#include <QHash>
#include <algorithm>
#include <optional>
#include <sqlite3.h>

namespace ledger {
namespace {

struct Line {
    qint64 num = 0;
    Money debit, credit, before, after;
    bool creditRow = false;
};

struct Account {
    qint64 id = 0;
    Money deposits; // SoldeDepart
    Money balance;  // SoldeEnCours
};

// One (player, month) as the file holds it.
struct MonthChain {
    QString player;
    QString month;
    int monthIndex = -1;
    QVector<Account> accounts;
    QVector<Line> lines;

    // SoldeDepart less the month's credits (a reversed credit's negative one included).
    Money opening() const {
        Money opening = accounts.first().deposits;
        for (const Line& line : lines)
            if (line.creditRow)
                opening -= line.credit;
        return opening;
    }
};

// A player as the file compares him, a month as the ledger reads it; a text that names no
// month is its own month, compared as the file compares it.
QString chainKey(const QString& player, const QString& month, int index) {
    return regional::nocaseKey(player) + QChar(0) +
           (index >= 0 ? QString::number(index)
                       : QLatin1Char('?') + regional::nocaseKey(month.trimmed()));
}

Money amountAt(const data::Statement& rs, int column) {
    return rs.isReal(column) ? Money::fromStored(rs.real(column))
                             : Money::fromStored(rs.value(column));
}

// The two tables read from one snapshot, so that a write between the reads cannot show as a
// break. Within the caller's transaction, that one serves.
class Snapshot {
public:
    explicit Snapshot(const data::Database& db)
        : m_db(db), m_own(sqlite3_get_autocommit(db.raw()) != 0) {
        if (m_own)
            m_db.exec(QStringLiteral("BEGIN"));
    }
    ~Snapshot() {
        // Only read: ending it cannot lose anything, and a failure to end it surfaces on the
        // connection's next statement.
        if (m_own && sqlite3_get_autocommit(m_db.raw()) == 0)
            sqlite3_exec(m_db.raw(), "COMMIT", nullptr, nullptr, nullptr);
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

private:
    const data::Database& m_db;
    const bool m_own;
};

// Every chain of the file, players in French order, months in calendar order (names the
// ledger cannot read after them).
QVector<MonthChain> readChains(const data::Database& db) {
    QHash<QString, int> index;
    QVector<MonthChain> chains;
    const auto chainOf = [&](const QString& player, const QString& month) -> MonthChain& {
        const int monthIndex = regional::monthIndex(month);
        const QString key = chainKey(player, month, monthIndex);
        auto found = index.constFind(key);
        if (found == index.cend()) {
            found = index.insert(key, int(chains.size()));
            MonthChain chain;
            chain.player = player;
            chain.month = monthIndex >= 0 ? regional::monthNames().at(monthIndex) : month;
            chain.monthIndex = monthIndex;
            chains.push_back(chain);
        }
        return chains[found.value()];
    };
    {
        data::Statement rs(db.raw(),
                           QStringLiteral("SELECT Id, pseudo, Mois, SoldeDepart, SoldeEnCours "
                                          "FROM USERS ORDER BY Id"),
                           {});
        while (rs.next())
            chainOf(rs.string(1), rs.string(2))
                .accounts.push_back({rs.integer(0), amountAt(rs, 3), amountAt(rs, 4)});
    }
    {
        data::Statement rs(db.raw(),
                           QStringLiteral("SELECT Num, User, mois, [type jeux], Debit, Credit, "
                                          "SoldeAvant, SoldeApres FROM JEUX ORDER BY Num"),
                           {});
        while (rs.next()) {
            Line line{rs.integer(0),   amountAt(rs, 4), amountAt(rs, 5),
                      amountAt(rs, 6), amountAt(rs, 7), false};
            line.creditRow = !rs.isNull(3) && isCreditType(rs.string(3));
            chainOf(rs.string(1), rs.string(2)).lines.push_back(line);
        }
    }
    const QCollator collator = regional::frenchCollator();
    std::stable_sort(chains.begin(), chains.end(), [&](const MonthChain& a, const MonthChain& b) {
        const int order = collator.compare(a.player, b.player);
        if (order != 0)
            return order < 0;
        // Unknown names (-1) after the twelve months.
        const unsigned x = unsigned(a.monthIndex);
        const unsigned y = unsigned(b.monthIndex);
        return x != y ? x < y : collator.compare(a.month, b.month) < 0;
    });
    return chains;
}

void checkChain(const MonthChain& chain, ChainCheck& check) {
    const bool held = chain.accounts.size() == 1;
    const auto broken = [&](ChainBreak::Link link, qint64 num, Money found, Money expected) {
        check.breaks.push_back({link, chain.player, chain.month, num, found, expected});
    };
    if (!held && (!chain.lines.isEmpty() || chain.accounts.size() > 1))
        check.unheld.push_back(
            {chain.player, chain.month, int(chain.accounts.size()), qint64(chain.lines.size())});
    std::optional<Money> expected;
    if (held)
        expected = chain.opening();
    for (const Line& line : chain.lines) {
        if (expected && line.before != *expected)
            broken(ChainBreak::Link::Before, line.num, line.before, *expected);
        const Money after = line.before - line.debit + line.credit;
        if (line.after != after)
            broken(ChainBreak::Link::After, line.num, line.after, after);
        expected = line.after;
    }
    if (held && chain.accounts.first().balance != *expected)
        broken(ChainBreak::Link::Balance, 0, chain.accounts.first().balance, *expected);
}

QString lines(qint64 n) {
    return regional::counted(n, QStringLiteral("ligne"), QStringLiteral("lignes"));
}

} // namespace

ChainCheck checkChains(const data::Database& db) {
    const Snapshot snapshot(db);
    ChainCheck check;
    for (const MonthChain& chain : readChains(db))
        checkChain(chain, check);
    check.strays = strayMonths(db);
    return check;
}

QVector<StrayMonth> strayMonths(const data::Database& db) {
    QVector<StrayMonth> strays;
    const auto look = [&](const QString& sql, const QString& column) {
        // Every spelling on its own: the column would take "aout" and "AOUT" for one.
        data::Statement rs(db.raw(), sql, {});
        while (rs.next())
            if (regional::monthIndex(rs.string(0)) < 0)
                strays.push_back({rs.string(0), column, rs.string(1), rs.integer(2)});
    };
    look(QStringLiteral("SELECT mois, User, count(*) FROM JEUX GROUP BY mois COLLATE BINARY, "
                        "User ORDER BY min(Num)"),
         QStringLiteral("JEUX.mois"));
    look(QStringLiteral("SELECT Mois, pseudo, count(*) FROM USERS GROUP BY Mois COLLATE BINARY, "
                        "pseudo ORDER BY min(Id)"),
         QStringLiteral("USERS.Mois"));
    return strays;
}

QString breakText(const ChainBreak& chainBreak) {
    const QString values = QStringLiteral("%1 au lieu de %2")
                               .arg(regional::formatMoney(chainBreak.found),
                                    regional::formatMoney(chainBreak.expected));
    QString where = QStringLiteral("%1, %2 : ").arg(chainBreak.player, chainBreak.month);
    switch (chainBreak.link) {
    case ChainBreak::Link::Before:
        return where + QStringLiteral("ligne n° %1, solde avant ").arg(chainBreak.num) + values;
    case ChainBreak::Link::After:
        return where + QStringLiteral("ligne n° %1, solde après ").arg(chainBreak.num) + values;
    case ChainBreak::Link::Balance:
        break;
    }
    return where + QStringLiteral("solde en cours ") + values;
}

QString breakCount(qint64 breaks) {
    return regional::counted(breaks, QStringLiteral("rupture de solde"),
                             QStringLiteral("ruptures de solde"));
}

QString unheldText(const UnheldMonth& month) {
    const QString rows = month.accounts == 0
                             ? QStringLiteral("aucune ligne USERS pour ce mois")
                             : QStringLiteral("%1 lignes USERS pour ce mois").arg(month.accounts);
    QString text = QStringLiteral("%1, %2 : %3").arg(month.player, month.month, rows);
    if (month.lines == 1)
        text += QStringLiteral(" ; sa ligne vérifiée seule");
    else if (month.lines > 1)
        text += QStringLiteral(" ; ses %1 vérifiées entre elles seulement").arg(lines(month.lines));
    return text;
}

QString strayText(const StrayMonth& stray) {
    return QStringLiteral("%1 : mois « %2 » inconnu dans %3 (%4)")
        .arg(stray.player, stray.name, stray.column, lines(stray.rows));
}

QVector<RepairedMonth> repairChains(const data::Database& db) {
    data::Transaction transaction(db);
    QVector<RepairedMonth> repaired;
    std::optional<data::Statement> updateLine;
    for (const MonthChain& chain : readChains(db)) {
        if (chain.accounts.size() != 1)
            continue;
        ChainCheck check;
        checkChain(chain, check);
        if (check.breaks.isEmpty())
            continue;
        RepairedMonth month{chain.player, chain.month, 0, chain.accounts.first().balance, {}};
        Money running = chain.opening();
        for (const Line& line : chain.lines) {
            const Money before = running;
            running = running - line.debit + line.credit;
            if (line.before == before && line.after == running)
                continue;
            const QVariantList values = {before.toStored(), running.toStored(), line.num};
            if (updateLine)
                updateLine->rebind(values);
            else
                updateLine.emplace(db.raw(),
                                   QStringLiteral("UPDATE JEUX SET SoldeAvant = ?, SoldeApres = ? "
                                                  "WHERE Num = ?"),
                                   values);
            updateLine->next();
            ++month.linesChanged;
        }
        month.balance = running;
        db.exec(QStringLiteral("UPDATE USERS SET SoldeEnCours = ? WHERE Id = ?"),
                {running.toStored(), chain.accounts.first().id});
        repaired.push_back(month);
    }
    updateLine.reset();
    transaction.commit();
    return repaired;
}

QString repairedText(const RepairedMonth& month) {
    QString text =
        QStringLiteral("%1, %2 : ").arg(month.player, month.month) +
        (month.linesChanged == 0   ? QStringLiteral("aucune ligne réécrite")
         : month.linesChanged == 1 ? QStringLiteral("1 ligne réécrite")
                                   : QStringLiteral("%1 réécrites").arg(lines(month.linesChanged)));
    if (month.balance != month.was)
        text += QStringLiteral(", solde en cours %1 (il était de %2)")
                    .arg(regional::formatMoney(month.balance), regional::formatMoney(month.was));
    return text;
}

} // namespace ledger
