#include "stats/figures.h"

#include "data/regional.h"
#include "data/schema.h"
#include "data/sortkeys.h"
#include "data/statement.h"
#include "ledger/betbook.h"
#include "ledger/ledgerbook.h"
#include "ledger/multibets.h"
#include "ledger/statement.h"
#include "ledger/yearbook.h"

#include <QCollator>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>
#include <sqlite3.h>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
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

// The index of the group of `key` in `groups`, made with `label` when new.
int groupIndex(QVector<Group>& groups, QHash<QString, int>& index, const QString& key,
               const QString& label) {
    auto found = index.constFind(key);
    if (found == index.cend()) {
        found = index.insert(key, int(groups.size()));
        groups.append(Group{label, 0, Money(), Money()});
    }
    return *found;
}

void addRows(Group& group, const Group& rows) {
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
        if (!ledger::isCreditType(name) && !listed.contains(regional::nocaseKey(name)))
            listed.insert(regional::nocaseKey(name), name);
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

Fall largestFall(const QVector<Money>& curve) {
    Fall fall;
    int peak = 0;
    for (int i = 1; i < curve.size(); ++i) {
        if (curve.at(i) > curve.at(peak)) {
            peak = i;
            continue;
        }
        const Money drop = curve.at(peak) - curve.at(i);
        if (drop > fall.amount)
            fall = {drop, peak, i};
    }
    return fall;
}

Runs longestRuns(const QVector<bool>& wonInOrder) {
    Runs runs;
    int current = 0;
    for (int i = 0; i < wonInOrder.size(); ++i) {
        current = i > 0 && wonInOrder.at(i) == wonInOrder.at(i - 1) ? current + 1 : 1;
        int& longest = wonInOrder.at(i) ? runs.winning : runs.losing;
        longest = std::max(longest, current);
    }
    return runs;
}

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

// The largest fall of the net result, over its points: the period's start at zero, then the
// rows in their calendar order.
void addFall(Figures& figures) {
    const QVector<Operation>& operations = figures.operations;
    QVector<Money> curve{Money()};
    for (const Operation& operation : operations)
        curve << curve.last() + operation.own;
    const Fall fall = largestFall(curve);
    if (fall.amount == Money())
        return;
    figures.fall = {fall.amount, fall.peak - 1, fall.low - 1};
    figures.fallPeak = curve.at(fall.peak);
    // The start is on the first row's day.
    const bool years = operations.first().year != operations.last().year;
    const auto dayOf = [&](int point) {
        const Operation& operation = operations.at(std::max(point - 1, 0));
        QString text = QStringLiteral("%1/%2")
                           .arg(operation.dayNumber, 2, 10, QLatin1Char('0'))
                           .arg(operation.month, 2, 10, QLatin1Char('0'));
        if (years)
            text += QStringLiteral("/%1").arg(operation.year);
        return text;
    };
    figures.fallFrom = dayOf(fall.peak);
    figures.fallTo = dayOf(fall.low);
}

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
    std::array<Group, 7> m_weekdays; // Monday first
};

void Tally::add(const data::Database& db, int year) {
    addGroups(db, year);
    addOperations(db, year);
}

void Tally::addGroups(const data::Database& db, int year) {
    // One pass over the period's rows grouped by month, type and horse; the tables add these
    // groups up, a few thousand at most.
    // Read straight from the engine: thousands of groups, each a few values.
    data::Statement query(
        db.raw(),
        QStringLiteral("SELECT mois, [type jeux], Cheval, COUNT(*), TOTAL(Debit), TOTAL(Credit) "
                       "FROM JEUX WHERE %1 GROUP BY mois, [type jeux] COLLATE BINARY, Cheval")
            .arg(m_counted.where),
        m_counted.values);
    // "AUTRE JEUX" is the ledger's word for a bet on no particular horse.
    const QString noHorse = regional::nocaseKey(ledger::storedHorse(QString()));
    QVector<Group> byMonth;
    QHash<QString, int> months;
    // Groups repeat their months, types and horses: each stored spelling is read into a
    // string, keyed and looked up once, then found again by its bytes.
    struct TypeSpelling {
        bool credit = false;
        int group = -1;
        QString name;
        long long games = 0;
    };
    QHash<QByteArray, TypeSpelling> typeSpellings;
    std::unordered_map<std::string, int> horseGroups; // -1: no horse of its own
    horseGroups.reserve(4096);
    m_horses.reserve(4096);
    // The engine hands the groups out month after month, type after type: the last month
    // and type are most often the next ones.
    QByteArray lastMonth, lastType;
    int monthGroup = -1;
    TypeSpelling* type = nullptr;
    const auto bytes = [&query](int column) {
        return query.isNull(column) ? QByteArrayView() : query.utf8(column);
    };
    while (query.next()) {
        Group rows;
        rows.games = query.integer(3);
        rows.staked = Money::fromStored(query.real(4));
        rows.won = Money::fromStored(query.real(5));
        const QByteArrayView storedType = bytes(1);
        if (!type || storedType != lastType) {
            lastType = storedType.toByteArray();
            auto known = typeSpellings.find(lastType);
            if (known == typeSpellings.end()) {
                TypeSpelling spelling;
                spelling.name = QString::fromUtf8(storedType);
                spelling.credit = !query.isNull(1) && ledger::isCreditType(spelling.name);
                known = typeSpellings.insert(lastType, spelling);
            }
            type = &*known;
        }
        if (type->credit) {
            m_figures.deposits += rows.won;
            continue;
        }
        m_figures.games += rows.games;
        m_figures.staked += rows.staked;
        m_figures.won += rows.won;
        const QByteArrayView storedMonth = bytes(0);
        if (monthGroup < 0 || storedMonth != lastMonth) {
            lastMonth = storedMonth.toByteArray();
            const QString monthName =
                regional::monthNames().value(m_monthOf(QString::fromUtf8(storedMonth)) - 1);
            monthGroup = groupIndex(byMonth, months, monthName, monthName);
        }
        addRows(byMonth[monthGroup], rows);
        if (type->group < 0)
            type->group =
                groupIndex(m_figures.byType, m_types, regional::nocaseKey(type->name), type->name);
        addRows(m_figures.byType[type->group], rows);
        type->games += rows.games;
        if (query.isNull(2))
            continue;
        const QByteArrayView storedHorse = query.utf8(2);
        auto [horse, isNew] = horseGroups.try_emplace(
            std::string(storedHorse.data(), size_t(storedHorse.size())), -1);
        if (isNew) {
            const QString name = QString::fromUtf8(storedHorse);
            const QString key = regional::nocaseKey(name);
            if (!name.isEmpty() && key != noHorse)
                horse->second = groupIndex(m_figures.byHorse, m_horses, key, name.toUpper());
        }
        if (horse->second >= 0)
            addRows(m_figures.byHorse[horse->second], rows);
    }
    for (const TypeSpelling& type : std::as_const(typeSpellings)) {
        if (type.group >= 0)
            m_spellings[regional::nocaseKey(type.name)][type.name] += type.games;
    }
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
    // Day by day within a month, a day's rows in entry order; the months in calendar order,
    // as the statements follow each other. A row is a game by the same rules as above.
    QVariantList values = {remarkPattern(ledger::reversalRemark(0)),
                           remarkPattern(ledger::reversedByRemark(0))};
    values += m_period.values;
    // A bet's rows, its stake and the win that cashed it, belong to its race's day.
    QHash<qint64, QDate> raceDays;
    if (data::schema::hasBetsTable(db)) {
        data::Statement bets(db.raw(),
                             QStringLiteral("SELECT P.NumJeu, P.NumGain, P.DateCourse FROM JEUX "
                                            "CROSS JOIN PARIS P ON P.NumJeu = JEUX.Num WHERE %1")
                                 .arg(m_period.where),
                             m_period.values);
        while (bets.next()) {
            const QDate day = QDate::fromString(bets.string(2).left(10), Qt::ISODate);
            raceDays.insert(bets.integer(0), day);
            if (!bets.isNull(1))
                raceDays.insert(bets.integer(1), day);
        }
    }
    const int fileYear = year != 0 ? year : ledger::openYear(db, regional::today());
    data::Statement query(
        db.raw(),
        QStringLiteral("SELECT mois, Jour, [type jeux], Debit, Credit, SoldeApres, "
                       "IFNULL(Remarque, '') GLOB ? OR IFNULL(Remarque, '') GLOB ?, Num "
                       "FROM JEUX WHERE %1 ORDER BY Num")
            .arg(m_period.where),
        values);
    // Until the months are put in order, an operation's net is its own.
    std::array<QVector<Operation>, 12> perMonth;
    QHash<QByteArray, int> monthNumbers; // each stored spelling of a month, read once
    while (query.next()) {
        const QByteArray stored = query.isNull(0) ? QByteArray() : query.utf8(0).toByteArray();
        auto known = monthNumbers.constFind(stored);
        if (known == monthNumbers.cend())
            known = monthNumbers.insert(stored, m_monthOf(QString::fromUtf8(stored)));
        const int number = *known;
        if (number == 0)
            continue;
        Operation operation;
        operation.day = query.isNull(1) ? QString() : query.string(1);
        operation.year = fileYear;
        operation.month = number;
        operation.dayNumber = operation.day.trimmed().toInt();
        operation.num = query.integer(7);
        const bool credit = !query.isNull(2) && ledger::isCreditType(query.string(2));
        const bool reversed = query.integer(6) != 0;
        // A REAL as it is; anything else as the ledger reads a stored amount.
        const auto amount = [&query](int column) {
            return query.isReal(column) ? Money::fromStored(query.real(column))
                                        : Money::fromStored(query.value(column));
        };
        const Money won = amount(4);
        if (!credit && !reversed) {
            operation.net = won - amount(3);
            QDate day = raceDays.value(operation.num);
            if (!day.isValid())
                day = QDate(fileYear, number, operation.dayNumber);
            if (day.isValid()) {
                Group rows;
                rows.games = 1;
                rows.staked = amount(3);
                rows.won = won;
                addRows(m_weekdays[size_t(day.dayOfWeek() - 1)], rows);
            }
        }
        operation.own = operation.net;
        operation.isDeposit = credit && !reversed;
        if (operation.isDeposit)
            operation.deposit = won;
        operation.hasBalance = !query.isNull(5);
        operation.balance = amount(5);
        perMonth[static_cast<size_t>(number - 1)] << operation;
    }
    for (int m = 0; m < 12; ++m) {
        QVector<Operation>& operations = perMonth[static_cast<size_t>(m)];
        if (operations.isEmpty())
            continue;
        // A row entered late for an earlier day takes its place on that day.
        std::stable_sort(operations.begin(), operations.end(),
                         [](const Operation& a, const Operation& b) {
                             return std::tie(a.dayNumber, a.num) < std::tie(b.dayNumber, b.num);
                         });
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
    for (int d = 0; d < 7; ++d) {
        Group group = m_weekdays[size_t(d)];
        if (group.games == 0)
            continue;
        group.label = regional::frenchLocale().standaloneDayName(d + 1, QLocale::LongFormat);
        group.label[0] = group.label.at(0).toUpper();
        m_figures.byWeekday << group;
    }
    addFall(m_figures);
    const QCollator collator = frenchOrder();
    for (Group& group : m_figures.byType) {
        const QString key = regional::nocaseKey(group.label);
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

namespace {

// Texts read again and again (days, racecourses, disciplines), each decoded once and known
// by a number.
class Texts {
public:
    int id(QByteArrayView utf8) {
        // A key over the engine's own bytes, copied only when new.
        const QByteArray bytes = QByteArray::fromRawData(utf8.data(), utf8.size());
        auto found = m_ids.constFind(bytes);
        if (found == m_ids.cend()) {
            found = m_ids.insert(QByteArray(utf8.data(), utf8.size()), int(m_texts.size()));
            m_texts.push_back(QString::fromUtf8(utf8).simplified());
        }
        return found.value();
    }
    const QString& text(int id) const { return m_texts[size_t(id)]; }
    // Each text's place in the order of the texts.
    std::vector<int> ranks() const {
        std::vector<int> order(m_texts.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(),
                  [this](int a, int b) { return m_texts[size_t(a)] < m_texts[size_t(b)]; });
        std::vector<int> rank(m_texts.size());
        for (size_t i = 0; i < order.size(); ++i)
            rank[size_t(order[i])] = int(i);
        return rank;
    }

private:
    QHash<QByteArray, int> m_ids;
    std::vector<QString> m_texts;
};

// A race as bets name it: its day and numbers, and the racecourse when the bet gives one
// (texts of the bets, by number; -1 for none).
struct RaceKey {
    int day = 0;
    int racecourse = -1;
    int r = 0;
    int c = 0;
    bool operator==(const RaceKey& o) const {
        return day == o.day && racecourse == o.racecourse && r == o.r && c == o.c;
    }
};

size_t qHash(const RaceKey& key, size_t seed = 0) {
    return qHashMulti(seed, key.day, key.racecourse, key.r, key.c);
}

// What the results say of a race: where it was run and in which discipline.
struct RaceFacts {
    QString racecourse;
    QString discipline;
};

// Binds the values, in order, to a statement run again and again: one statement prepared
// per race would cost more than the look-up itself.
void rebind(data::Statement& rs, std::initializer_list<QVariant> values) {
    sqlite3_reset(rs.handle);
    int column = 1;
    for (const QVariant& value : values) {
        if (value.typeId() == QMetaType::QString) {
            const QByteArray utf8 = value.toString().toUtf8();
            sqlite3_bind_text(rs.handle, column++, utf8.constData(), int(utf8.size()),
                              SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_int64(rs.handle, column++, value.toLongLong());
        }
    }
}

// Looks races up in CR, one after the other, by day. The runner index leads with the day
// and the racecourse: a race whose racecourse is known is found at once, and one known by
// its numbers alone through the meetings of its day, read from the index one by one rather
// than by going through every runner of the day.
class RaceFinder {
public:
    explicit RaceFinder(const data::Database& db)
        : m_named(db.raw(),
                  QStringLiteral("SELECT hippodrome, discipline FROM CR WHERE substr(date, 1, 10) "
                                 "= ? AND hippodrome = ? AND R = ? AND C = ? LIMIT 1"),
                  {}),
          m_nextMeeting(db.raw(),
                        QStringLiteral("SELECT hippodrome, R FROM CR WHERE substr(date, 1, 10) = ? "
                                       "AND (hippodrome, R) > (?, ?) ORDER BY hippodrome, R "
                                       "LIMIT 1"),
                        {}),
          m_unnamed(db.raw(),
                    QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM CR WHERE substr(date, 1, "
                                   "10) = ? AND hippodrome IS NULL LIMIT 1)"),
                    {}),
          m_numbered(db.raw(),
                     QStringLiteral("SELECT hippodrome, discipline FROM CR WHERE substr(date, 1, "
                                    "10) = ? AND R = ? AND C = ? LIMIT 1"),
                     {}) {}

    // The races of a day come together, those named by their racecourse first: a race known
    // only by its numbers is then first looked for at the racecourses that held its meeting
    // in those.
    RaceFacts find(const QString& day, const QString& racecourse, int r, int c) {
        if (day != m_day) {
            m_day = day;
            m_meetings.clear();
            m_meetingsRead = false;
        }
        if (!racecourse.isEmpty()) {
            const auto facts = named(racecourse, r, c);
            if (facts && !facts->racecourse.isEmpty())
                addMeeting(r, facts->racecourse);
            return facts.value_or(RaceFacts());
        }
        if (const auto facts = atMeetings(r, c))
            return *facts;
        if (!m_meetingsRead) {
            readMeetings();
            if (const auto facts = atMeetings(r, c))
                return *facts;
        }
        // Runners without a racecourse are in no meeting read above.
        if (m_hasUnnamed) {
            rebind(m_numbered, {m_day, r, c});
            if (m_numbered.next())
                return factsOf(m_numbered);
        }
        return RaceFacts();
    }

private:
    std::optional<RaceFacts> named(const QString& racecourse, int r, int c) {
        rebind(m_named, {m_day, racecourse, r, c});
        if (!m_named.next())
            return std::nullopt;
        return factsOf(m_named);
    }

    RaceFacts factsOf(const data::Statement& rs) {
        return {rs.isNull(0) ? QString() : m_texts.text(m_texts.id(rs.utf8(0))),
                rs.isNull(1) ? QString() : m_texts.text(m_texts.id(rs.utf8(1)))};
    }

    std::optional<RaceFacts> atMeetings(int r, int c) {
        for (Meeting& meeting : m_meetings) {
            if (meeting.r != r || meeting.triedRace == c)
                continue;
            meeting.triedRace = c;
            if (const auto facts = named(meeting.racecourse, r, c))
                return facts;
        }
        return std::nullopt;
    }

    void addMeeting(qint64 r, const QString& racecourse) {
        for (const Meeting& meeting : m_meetings) {
            if (meeting.r == r && meeting.racecourse.compare(racecourse, Qt::CaseInsensitive) == 0)
                return;
        }
        m_meetings.push_back({r, racecourse, 0});
    }

    // Each meeting (racecourse and number) of the day, from the next entry of the index
    // after the last one read.
    void readMeetings() {
        m_meetingsRead = true;
        QString racecourse;
        qint64 r = std::numeric_limits<qint64>::min();
        for (;;) {
            rebind(m_nextMeeting, {m_day, racecourse, r});
            if (!m_nextMeeting.next())
                break;
            racecourse = m_nextMeeting.string(0);
            // After a runner without a number, the next one is looked for after every number.
            r = m_nextMeeting.isNull(1) ? std::numeric_limits<qint64>::min()
                                        : m_nextMeeting.integer(1);
            if (!m_nextMeeting.isNull(1))
                addMeeting(r, racecourse);
        }
        rebind(m_unnamed, {m_day});
        m_hasUnnamed = m_unnamed.next() && m_unnamed.integer(0) > 0;
    }

    data::Statement m_named;
    data::Statement m_nextMeeting;
    data::Statement m_unnamed;
    data::Statement m_numbered;
    Texts m_texts;
    QString m_day;
    // The meetings of the day known so far, each with the race last looked for there.
    struct Meeting {
        qint64 r;
        QString racecourse;
        int triedRace;
    };
    std::vector<Meeting> m_meetings;
    bool m_meetingsRead = false;
    bool m_hasUnnamed = false;
};

// One read transaction for all the reads of a computation: on its own, each look-up would
// take the file's lock and check the engine's cache anew, which costs more than the look-up.
// Within the caller's transaction, that one serves. end() must be called once the reads are
// done: a transaction left open would hold the file's read lock, and the next write on the
// connection would fail to begin its own.
class ReadTransaction {
public:
    explicit ReadTransaction(const data::Database& db)
        : m_db(db), m_own(sqlite3_get_autocommit(db.raw()) != 0) {
        if (m_own)
            m_db.exec(QStringLiteral("BEGIN"));
    }
    // Throws data::DbError when the engine cannot end it; the connection is left outside
    // any transaction all the same.
    void end() {
        if (!m_own || m_ended)
            return;
        m_ended = true;
        try {
            m_db.exec(QStringLiteral("COMMIT"));
        } catch (const data::DbError&) {
            rollback();
            throw;
        }
    }
    // Left by an exception: the caller hears of that one.
    ~ReadTransaction() {
        if (m_own && !m_ended)
            rollback();
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    // Nothing was written; the engine ends a read transaction it cannot roll back by itself.
    void rollback() {
        if (sqlite3_get_autocommit(m_db.raw()) == 0)
            sqlite3_exec(m_db.raw(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    const data::Database& m_db;
    const bool m_own;
    bool m_ended = false;
};

void addBet(Group& group, bool won, Money stake, Money returned) {
    ++group.games;
    group.wins += won ? 1 : 0;
    group.staked += stake;
    group.won += returned;
}

void addGroup(Group& group, const Group& more) {
    group.games += more.games;
    group.wins += more.wins;
    group.staked += more.staked;
    group.won += more.won;
}

// Groups keyed by a name whatever its case, each shown as the bets most often spell it.
class NamedGroups {
public:
    void add(const QString& name, const Group& bets) { addGroup(m_bySpelling[name], bets); }

    QVector<Group> finish() const {
        QVector<Group> groups;
        QHash<QString, int> index;
        QHash<QString, QHash<QString, long long>> spellings;
        for (auto it = m_bySpelling.begin(); it != m_bySpelling.end(); ++it) {
            const QString key = it.key().toCaseFolded();
            auto found = index.find(key);
            if (found == index.end()) {
                found = index.insert(key, int(groups.size()));
                groups.append(Group());
            }
            addGroup(groups[found.value()], it.value());
            spellings[key][it.key()] += it.value().games;
        }
        const QCollator collator = frenchOrder();
        for (auto it = index.begin(); it != index.end(); ++it)
            groups[it.value()].label = mostUsed(spellings.value(it.key()), collator);
        sortByNet(groups);
        return groups;
    }

private:
    QHash<QString, Group> m_bySpelling;
};

class BetTally {
public:
    BetTally(const QString& player, int month)
        : m_counted(withoutReversals(periodOf(player, month))) {
        for (const QString& band : oddsBands())
            m_bands.append(Group{band, 0, Money(), Money()});
    }

    void add(const data::Database& db);
    BetFigures finish();

private:
    const Period m_counted;
    BetFigures m_figures;
    QVector<Group> m_bands;
    NamedGroups m_racecourses, m_disciplines;
    QMap<int, Group> m_rules;                     // by ledger::Rule
    QMap<int, QHash<QString, long long>> m_ranks; // the won bets' ranks, by rule
    double m_oddsSum = 0;
    long long m_oddsCount = 0;
    // Each settled bet in race order: its day, meeting, race and line.
    struct Settled {
        QString day;
        int r = 0;
        int c = 0;
        qint64 num = 0;
        bool won = false;
    };
    QVector<Settled> m_settled;
};

void BetTally::add(const data::Database& db) {
    if (!data::schema::hasBetsTable(db))
        return;
    ReadTransaction reading(db);
    // The bets are added up race by race; the tables by racecourse and discipline then take
    // each race once.
    Texts texts;
    QHash<RaceKey, int> raceIndex;
    std::vector<std::pair<RaceKey, Group>> races;
    {
        QVariantList values = {ledger::betStateName(ledger::BetState::Won)};
        values += m_counted.values;
        values << ledger::betStateName(ledger::BetState::Won)
               << ledger::betStateName(ledger::BetState::Lost);
        // The player's stake lines of the period by the ledger's index, then their bets.
        data::Statement rs(
            db.raw(),
            QStringLiteral(
                "SELECT P.Etat = ?, J.Debit, P.Cote, P.NumGain IS NOT NULL, G.Credit, "
                "P.DateCourse, P.Hippodrome, P.R, P.C, J.[type jeux], %2, J.Num FROM (SELECT "
                "Num, Debit, [type jeux] FROM JEUX WHERE %1) J JOIN PARIS P ON "
                "P.NumJeu = J.Num LEFT JOIN JEUX G ON G.Num = P.NumGain WHERE P.Etat "
                "IN (?, ?)")
                .arg(m_counted.where, data::schema::hasMultiBetColumns(db)
                                          ? QStringLiteral("P.Rang")
                                          : QStringLiteral("NULL")),
            values);
        const ledger::GameRules rules(db);
        while (rs.next()) {
            const bool won = rs.integer(0) != 0;
            const Money stake = Money::fromStored(rs.real(1));
            std::optional<double> odds;
            if (!rs.isNull(2))
                odds = rs.real(2);
            Money returned;
            if (won && rs.integer(3) != 0) {
                returned = Money::fromStored(rs.real(4));
            } else if (won) {
                // Not cashed yet: what its odds promise.
                ledger::Bet expected;
                expected.stake = stake;
                expected.odds = odds;
                returned = expected.expectedReturn().value_or(Money());
            }
            ++m_figures.settled;
            m_settled.push_back({rs.string(5).left(10), int(rs.integer(7)), int(rs.integer(8)),
                                 rs.integer(11), won});
            if (won) {
                ++m_figures.wins;
                if (odds) {
                    m_oddsSum += *odds;
                    ++m_oddsCount;
                }
            }
            if (odds)
                addBet(m_bands[oddsBand(*odds)], won, stake, returned);
            const ledger::Rule rule = rules.of(rs.string(9));
            addBet(m_rules[int(rule)], won, stake, returned);
            if (won && !rs.isNull(10))
                ++m_ranks[int(rule)][rs.string(10)];
            RaceKey race{texts.id(rs.utf8(5)), rs.isNull(6) ? -1 : texts.id(rs.utf8(6)),
                         int(rs.integer(7)), int(rs.integer(8))};
            if (race.racecourse >= 0 && texts.text(race.racecourse).isEmpty())
                race.racecourse = -1;
            auto found = raceIndex.constFind(race);
            if (found == raceIndex.cend()) {
                found = raceIndex.insert(race, int(races.size()));
                races.emplace_back(race, Group());
            }
            addBet(races[size_t(found.value())].second, won, stake, returned);
        }
    }
    // In the order of the runner index, so that the look-ups read its pages, and the table's,
    // one after the other.
    const std::vector<int> rank = texts.ranks();
    std::sort(races.begin(), races.end(), [&rank](const auto& a, const auto& b) {
        const RaceKey& x = a.first;
        const RaceKey& y = b.first;
        const auto key = [&rank](const RaceKey& k) {
            return std::make_tuple(rank[size_t(k.day)], k.racecourse < 0,
                                   k.racecourse < 0 ? 0 : rank[size_t(k.racecourse)], k.r, k.c);
        };
        return key(x) < key(y);
    });
    {
        RaceFinder finder(db);
        for (const auto& [race, bets] : races) {
            const QString named = race.racecourse < 0 ? QString() : texts.text(race.racecourse);
            const RaceFacts facts = finder.find(texts.text(race.day), named, race.r, race.c);
            const QString racecourse = named.isEmpty() ? facts.racecourse : named;
            m_racecourses.add(racecourse.isEmpty() ? QStringLiteral("inconnu") : racecourse, bets);
            m_disciplines.add(
                facts.discipline.isEmpty() ? QStringLiteral("inconnue") : facts.discipline, bets);
        }
    }
    reading.end();
}

BetFigures BetTally::finish() {
    std::sort(m_settled.begin(), m_settled.end(), [](const Settled& a, const Settled& b) {
        return std::tie(a.day, a.r, a.c, a.num) < std::tie(b.day, b.r, b.c, b.num);
    });
    QVector<bool> won;
    won.reserve(m_settled.size());
    for (const Settled& bet : std::as_const(m_settled))
        won << bet.won;
    m_figures.runs = longestRuns(won);
    if (m_oddsCount > 0)
        m_figures.meanWinningOdds = m_oddsSum / double(m_oddsCount);
    for (const Group& band : std::as_const(m_bands)) {
        if (band.games > 0)
            m_figures.byOdds << band;
    }
    m_figures.byRacecourse = m_racecourses.finish();
    m_figures.byDiscipline = m_disciplines.finish();
    for (const ledger::Rule rule : ledger::allRules()) {
        if (!m_rules.contains(int(rule)))
            continue;
        Group group = m_rules.value(int(rule));
        group.label = ledger::ruleLabel(rule);
        QStringList split;
        for (const QString& rank : ledger::ranks())
            if (const long long n = m_ranks.value(int(rule)).value(rank))
                split << QStringLiteral("%1 %2").arg(rank).arg(n);
        if (!split.isEmpty())
            group.label += QStringLiteral(" — ") + split.join(QStringLiteral(", "));
        m_figures.byRule << group;
    }
    return std::move(m_figures);
}

} // namespace

const QStringList& oddsBands() {
    static const QStringList bands = {QStringLiteral("< 3"), QStringLiteral("3 à 5"),
                                      QStringLiteral("5 à 10"), QStringLiteral("10 à 20"),
                                      QStringLiteral("20 et plus")};
    return bands;
}

int oddsBand(double odds) {
    static const double lowerBounds[] = {3, 5, 10, 20};
    int band = 0;
    for (double bound : lowerBounds) {
        if (odds >= bound)
            ++band;
    }
    return band;
}

BetFigures betFigures(const data::Database& db, const QString& player, int month) {
    BetTally tally(player, month);
    tally.add(db);
    return tally.finish();
}

BetFigures betFigures(const QVector<YearLedger>& years, const QString& player, int month) {
    BetTally tally(player, month);
    for (const YearLedger& year : years)
        tally.add(*year.db);
    return tally.finish();
}

QString formatRate(long long part, long long whole) {
    if (whole == 0)
        return QString();
    const double percent = std::round(double(part) / double(whole) * 1000.0) / 10.0;
    return regional::frenchLocale().toString(percent, 'f', 1) + QStringLiteral(" %");
}

QString formatOdds(double odds) {
    return regional::frenchLocale().toString(odds, 'f', 2);
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
            if (!byKey.contains(regional::nocaseKey(name)))
                byKey.insert(regional::nocaseKey(name), name);
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

QString formatFall(const Figures& figures) {
    if (figures.fall.amount == Money())
        return QStringLiteral("—");
    return QStringLiteral("%1 du %2 au %3")
        .arg(regional::formatMoney(Money() - figures.fall.amount), figures.fallFrom,
             figures.fallTo);
}

QString formatRun(int bets, long long settled) {
    if (settled == 0)
        return QStringLiteral("—");
    return regional::counted(bets, QStringLiteral("pari"), QStringLiteral("paris"));
}

} // namespace stats
