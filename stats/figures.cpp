#include "stats/figures.h"

#include "data/regional.h"
#include "data/sortkeys.h"
#include "ledger/ledgerbook.h"
#include "ledger/statement.h"

#include <QCollator>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <vector>

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

// Texts as the database compares them (COLLATE NOCASE): only A to Z ignore their case.
QString nocase(const QString& text) {
    QString key = text;
    for (QChar& c : key) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return key;
}

// Adds a group of rows to the group of `key`, made with `label` when new.
void addTo(QVector<Group>& groups, QHash<QString, int>& index, const QString& key,
           const QString& label, const Group& rows) {
    auto found = index.find(key);
    if (found == index.end()) {
        found = index.insert(key, int(groups.size()));
        groups.append(Group{label, 0, Money(), Money()});
    }
    Group& group = groups[found.value()];
    group.games += rows.games;
    group.staked += rows.staked;
    group.won += rows.won;
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

// monthNumber for rows that come month after month: the last answer is most often the next.
class MonthNumbers {
public:
    int operator()(const QString& stored) {
        if (stored != m_text) {
            m_text = stored;
            m_number = monthNumber(stored);
        }
        return m_number;
    }

private:
    QString m_text;
    int m_number = 0;
};

QCollator frenchOrder() {
    QCollator collator = regional::frenchCollator();
    collator.setNumericMode(true);
    return collator;
}

// The list of game types (TYPEJEUX) by the key the groups are made by, each key with its
// first spelling in the list. The credit type is left out: a game shown under its name
// would read as a deposit.
QHash<QString, QString> listedTypes(const data::Database& db) {
    QSqlQuery query = db.exec(QStringLiteral(
        "SELECT TypeJeu FROM TYPEJEUX WHERE TypeJeu IS NOT NULL AND TypeJeu <> '' ORDER BY Id"));
    QHash<QString, QString> listed;
    while (query.next()) {
        const QString name = query.value(0).toString();
        if (!ledger::isCreditType(name) && !listed.contains(nocase(name)))
            listed.insert(nocase(name), name);
    }
    if (query.lastError().isValid())
        data::throwQueryError(query);
    return listed;
}

// The spelling the player typed most often; between equals, the first in French order,
// then the one with its capitals first, so that a name never depends on the rows' order.
QString mostUsed(const QHash<QString, long long>& spellings, const QCollator& collator) {
    QString best;
    long long bestCount = -1;
    for (auto it = spellings.begin(); it != spellings.end(); ++it) {
        const int order = collator.compare(it.key(), best);
        if (it.value() > bestCount ||
            (it.value() == bestCount && (order < 0 || (order == 0 && it.key() < best)))) {
            best = it.key();
            bestCount = it.value();
        }
    }
    return best;
}

} // namespace

void sortByNet(QVector<Group>& groups) {
    sorting::ColumnKeys keys(int(groups.size()), frenchOrder());
    for (int row = 0; row < groups.size(); ++row) {
        keys.setNumber(row, double(groups.at(row).net().cents()));
        keys.setTieBreak(row, groups.at(row).label);
    }
    QVector<Group> sorted;
    sorted.reserve(groups.size());
    for (int row : keys.order(Qt::DescendingOrder))
        sorted.append(groups.at(row));
    groups = std::move(sorted);
}

namespace {

// The figures of one year's ledger or several, added up year after year, oldest first.
class Tally {
public:
    Tally(const QString& player, int month)
        : m_period(periodOf(player, month)), m_counted(withoutReversals(m_period)) {}

    // `year` is 0 for a lone year, whose months need no year in their names.
    void add(const data::Database& db, int year);
    Figures finish();

private:
    void addGroups(const data::Database& db, int year);
    void addOperations(const data::Database& db, int year);

    const Period m_period;
    const Period m_counted;
    Figures m_figures;
    QHash<QString, int> m_types, m_horses;
    QHash<QString, QHash<QString, long long>> m_spellings;
    // A type's spelling in the lists of game types, a later year's list overriding an earlier
    // one's: a type renamed in the list is shown as it is named now.
    QHash<QString, QString> m_listed;
    Money m_net; // the net result at the end of the years added so far
    MonthNumbers m_monthOf;
};

void Tally::add(const data::Database& db, int year) {
    addGroups(db, year);
    addOperations(db, year);
}

void Tally::addGroups(const data::Database& db, int year) {
    // One pass over the period's rows grouped by month, type and horse; the tables add these
    // groups up, a few thousand at most.
    QSqlQuery query = db.exec(
        QStringLiteral("SELECT mois, [type jeux], Cheval, COUNT(*), TOTAL(Debit), TOTAL(Credit) "
                       "FROM JEUX WHERE %1 GROUP BY mois, [type jeux] COLLATE BINARY, Cheval")
            .arg(m_counted.where),
        m_counted.values);
    // "AUTRE JEUX" is the ledger's word for a bet on no particular horse.
    const QString noHorse = nocase(ledger::storedHorse(QString()));
    QVector<Group> byMonth;
    QHash<QString, int> months;
    while (query.next()) {
        const QVariant type = query.value(1);
        Group rows;
        rows.games = query.value(3).toLongLong();
        rows.staked = Money::fromStored(query.value(4));
        rows.won = Money::fromStored(query.value(5));
        if (ledger::isCreditRow(type)) {
            m_figures.deposits += rows.won;
            continue;
        }
        m_figures.games += rows.games;
        m_figures.staked += rows.staked;
        m_figures.won += rows.won;
        const int number = m_monthOf(query.value(0).toString());
        const QString monthName = regional::monthNames().value(number - 1);
        addTo(byMonth, months, monthName, monthName, rows);
        const QString typeName = type.toString();
        addTo(m_figures.byType, m_types, nocase(typeName), typeName, rows);
        m_spellings[nocase(typeName)][typeName] += rows.games;
        const QString horse = query.value(2).toString();
        if (!horse.isEmpty() && nocase(horse) != noHorse)
            addTo(m_figures.byHorse, m_horses, nocase(horse), horse.toUpper(), rows);
    }
    if (query.lastError().isValid())
        data::throwQueryError(query);
    std::sort(byMonth.begin(), byMonth.end(), [](const Group& a, const Group& b) {
        return monthNumber(a.label) < monthNumber(b.label);
    });
    for (Group& group : byMonth) {
        if (year != 0) {
            group.label = monthOfYear(group.label, year);
            group.year = year;
        }
        m_figures.byMonth << group;
    }
    const QHash<QString, QString> listed = listedTypes(db);
    for (auto it = listed.begin(); it != listed.end(); ++it)
        m_listed.insert(it.key(), it.value());
}

void Tally::addOperations(const data::Database& db, int year) {
    // Entry order within a month; the months in calendar order, as the statements follow
    // each other. A row is a game by the same rules as above.
    QVariantList values = {remarkPattern(ledger::reversalRemark(0)),
                           remarkPattern(ledger::reversedByRemark(0))};
    values += m_period.values;
    QSqlQuery query =
        db.exec(QStringLiteral("SELECT mois, Jour, [type jeux], Debit, Credit, SoldeApres, "
                               "IFNULL(Remarque, '') GLOB ? OR IFNULL(Remarque, '') GLOB ? "
                               "FROM JEUX WHERE %1 ORDER BY Num")
                    .arg(m_period.where),
                values);
    // Until the months are put in order, an operation's net is its own.
    std::array<QVector<Operation>, 12> perMonth;
    while (query.next()) {
        const int number = m_monthOf(query.value(0).toString());
        if (number == 0)
            continue;
        Operation operation;
        operation.day = query.value(1).toString();
        const bool credit = ledger::isCreditRow(query.value(2));
        const bool reversed = query.value(6).toBool();
        const Money won = Money::fromStored(query.value(4));
        if (!credit && !reversed)
            operation.net = won - Money::fromStored(query.value(3));
        operation.isDeposit = credit && !reversed;
        if (operation.isDeposit)
            operation.deposit = won;
        const QVariant balance = query.value(5);
        operation.hasBalance = !balance.isNull();
        operation.balance = Money::fromStored(balance);
        perMonth[static_cast<size_t>(number - 1)] << operation;
    }
    if (query.lastError().isValid())
        data::throwQueryError(query);
    for (int m = 0; m < 12; ++m) {
        QVector<Operation>& operations = perMonth[static_cast<size_t>(m)];
        if (operations.isEmpty())
            continue;
        for (Operation& operation : operations) {
            m_net += operation.net;
            operation.net = m_net;
        }
        m_figures.operations += operations;
        const QString& month = regional::monthNames().at(m);
        m_figures.operationMonths << MonthSpan{year != 0 ? monthOfYear(month, year) : month,
                                               int(operations.size()), year};
    }
}

Figures Tally::finish() {
    const QCollator collator = frenchOrder();
    for (Group& group : m_figures.byType) {
        const QString key = nocase(group.label);
        group.label = m_listed.value(key, mostUsed(m_spellings.value(key), collator));
    }
    sortByNet(m_figures.byType);
    sortByNet(m_figures.byHorse);
    return std::move(m_figures);
}

} // namespace

Figures compute(const data::Database& db, const QString& player, int month) {
    Tally tally(player, month);
    tally.add(db, 0);
    return tally.finish();
}

Figures compute(const QVector<YearLedger>& years, const QString& player, int month) {
    Tally tally(player, month);
    for (const YearLedger& year : years)
        tally.add(*year.db, year.year);
    return tally.finish();
}

QString monthOfYear(const QString& month, int year) {
    return QStringLiteral("%1 %2").arg(month).arg(year);
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

QStringList players(const QVector<YearLedger>& years) {
    // The latest year first: its spelling of a name is kept.
    QHash<QString, QString> byKey;
    for (auto year = years.rbegin(); year != years.rend(); ++year) {
        for (const QString& name : players(*year->db)) {
            if (!byKey.contains(nocase(name)))
                byKey.insert(nocase(name), name);
        }
    }
    QStringList names = byKey.values();
    const QCollator collator = frenchOrder();
    std::sort(names.begin(), names.end(),
              [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    return names;
}

QString formatYield(Money staked, Money won) {
    if (staked.isZero())
        return QString();
    // Rounded first, so that a tiny loss does not read "-0,0 %".
    double percent =
        std::round(double((won - staked).cents()) / double(staked.cents()) * 1000.0) / 10.0;
    if (percent == 0)
        percent = 0;
    return regional::frenchLocale().toString(percent, 'f', 1) + QStringLiteral(" %");
}

} // namespace stats
