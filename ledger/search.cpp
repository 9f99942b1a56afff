#include "ledger/search.h"

#include "data/regional.h"
#include "data/schema.h"
#include "data/statement.h"
#include "ledger/bets.h"
#include "ledger/ledgerbook.h"
#include "racing/vocabulary.h"

#include <QHash>
#include <algorithm>

namespace ledger {
namespace {

// Whether a stored text holds the searched key, each distinct text keyed once: a ledger
// repeats its horses, types and remarks thousands of times.
class Matcher {
public:
    explicit Matcher(const QString& text) : m_key(racing::nameKey(text)) {}
    bool everything() const { return m_key.isEmpty(); }
    bool holds(QByteArrayView stored) {
        if (stored.isEmpty())
            return false;
        const QByteArray bytes = stored.toByteArray();
        auto known = m_known.constFind(bytes);
        if (known == m_known.cend())
            known = m_known.insert(bytes, racing::nameKey(QString::fromUtf8(bytes)).contains(m_key));
        return *known;
    }

private:
    QString m_key;
    QHash<QByteArray, bool> m_known;
};

// A line's bet as the state filter reads it: its state, or none for a line without a bet.
struct BetOfLine {
    bool exists = false;
    BetState state = BetState::Pending;
    bool cashed = false;
    bool is(BetState wanted) const { return exists && state == wanted; }
    bool toCash() const { return (is(BetState::Won) || is(BetState::Refunded)) && !cashed; }
};

bool stateWanted(SearchState wanted, const BetOfLine& bet) {
    switch (wanted) {
    case SearchState::Any:
        return true;
    case SearchState::Pending:
        return bet.is(BetState::Pending);
    case SearchState::Won:
        return bet.is(BetState::Won);
    case SearchState::Lost:
        return bet.is(BetState::Lost);
    case SearchState::Refunded:
        return bet.is(BetState::Refunded);
    case SearchState::ToCash:
        return bet.toCash();
    }
    return false;
}

Money amountOf(const data::Statement& rs, int column) {
    if (rs.isNull(column))
        return Money();
    return rs.isReal(column) ? Money::fromStored(rs.real(column))
                             : Money::fromStored(rs.value(column));
}

} // namespace

const QStringList& searchStateNames() {
    static const QStringList names = {
        QStringLiteral("Tous"),   QStringLiteral("en cours"),  QStringLiteral("gagné"),
        QStringLiteral("perdu"), QStringLiteral("remboursé"), QStringLiteral("à encaisser")};
    return names;
}

QVector<FoundLine> searchLines(const data::Database& db, int year, const QString& archive,
                               const SearchQuery& query) {
    const bool bets = data::schema::hasBetsTable(db);
    QString sql = QStringLiteral(
        "SELECT J.Num, J.mois, J.Jour, J.User, J.[type jeux], J.Cheval, J.Debit, J.Credit, "
        "J.Remarque, %1 FROM JEUX J %2")
                      .arg(bets ? QStringLiteral("P.Etat, P.NumGain IS NOT NULL")
                                : QStringLiteral("NULL, 0"),
                           bets ? QStringLiteral("LEFT JOIN PARIS P ON P.NumJeu = J.Num")
                                : QString());
    QVariantList values;
    if (!query.player.isEmpty()) {
        // The players' names are compared as the ledger compares them: case aside.
        sql += QStringLiteral(" WHERE J.User = ?");
        values << query.player;
    }
    data::Statement rs(db.raw(), sql, values);
    Matcher horses(query.text), types(query.text), remarks(query.text);
    const bool anyText = horses.everything();
    QVector<FoundLine> found;
    while (rs.next()) {
        const Money stake = amountOf(rs, 6);
        const Money win = amountOf(rs, 7);
        const Money amount = stake != Money() ? stake : win;
        if ((query.least && amount < *query.least) || (query.most && amount > *query.most))
            continue;
        BetOfLine bet;
        if (!rs.isNull(9)) {
            if (const auto state = betStateFromName(rs.string(9))) {
                bet.exists = true;
                bet.state = *state;
            }
        }
        bet.cashed = rs.integer(10) != 0;
        if (!stateWanted(query.state, bet))
            continue;
        if (!anyText && !horses.holds(rs.utf8(5)) && !types.holds(rs.utf8(4)) &&
            !remarks.holds(rs.utf8(8)))
            continue;
        FoundLine line;
        line.year = year;
        line.archive = archive;
        line.num = rs.integer(0);
        line.month = rs.string(1);
        line.day = rs.string(2);
        line.player = rs.string(3);
        line.type = rs.string(4);
        line.horse = rs.string(5);
        line.stake = stake;
        line.win = win;
        line.remark = rs.string(8);
        line.credit = !rs.isNull(4) && isCreditType(line.type);
        if (bet.exists) {
            line.state = betStateName(bet.state);
            if (bet.toCash())
                line.state += QStringLiteral(", à encaisser");
        }
        found << line;
    }
    // Months in the calendar's order, a month the calendar does not know last.
    const auto order = [](const QString& month) {
        const int index = regional::monthIndex(month);
        return index < 0 ? 12 : index;
    };
    std::stable_sort(found.begin(), found.end(), [&order](const FoundLine& a, const FoundLine& b) {
        return order(a.month) < order(b.month);
    });
    return found;
}

FoundTotals totalsOf(const QVector<FoundLine>& lines) {
    FoundTotals totals;
    for (const FoundLine& line : lines) {
        if (line.credit)
            continue;
        totals.stakes += line.stake;
        totals.wins += line.win;
    }
    return totals;
}

} // namespace ledger
