#include "ledger/search.h"

#include "data/regional.h"
#include "data/schema.h"
#include "data/statement.h"
#include "ledger/bets.h"
#include "ledger/ledgerbook.h"
#include "racing/vocabulary.h"

#include <algorithm>
#include <string>
#include <unordered_map>

namespace ledger {
namespace {

// Whether a stored text holds the searched key. A ledger repeats its horses, types and
// remarks thousands of times, mostly in plain ASCII: those are keyed from their bytes as they
// come, the others once each.
class Matcher {
public:
    explicit Matcher(const QString& text) : m_key(racing::nameKey(text).toStdString()) {}
    bool everything() const { return m_key.empty(); }
    bool holds(QByteArrayView stored) {
        if (stored.isEmpty())
            return false;
        const std::string_view bytes(stored.data(), size_t(stored.size()));
        if (racing::asciiNameKey(bytes, m_buffer))
            return m_buffer.find(m_key) != std::string::npos;
        auto [known, added] = m_known.try_emplace(std::string(bytes), false);
        if (added)
            known->second = racing::nameKey(QString::fromUtf8(stored)).toStdString().find(m_key) !=
                            std::string::npos;
        return known->second;
    }

private:
    std::string m_key; // UTF-8
    std::string m_buffer;
    std::unordered_map<std::string, bool> m_known;
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
    static const QStringList names = {QStringLiteral("Tous"),      QStringLiteral("en cours"),
                                      QStringLiteral("gagné"),     QStringLiteral("perdu"),
                                      QStringLiteral("remboursé"), QStringLiteral("à encaisser")};
    return names;
}

QVector<FoundLine> searchLines(const data::Database& db, int year, const QString& archive,
                               const SearchQuery& query) {
    const bool bets = data::schema::hasBetsTable(db);
    // A first pass reads only what the filters look at, the bets only when their state is
    // asked; the lines found are then read whole.
    const bool byState = bets && query.state != SearchState::Any;
    if (!bets && query.state != SearchState::Any)
        return {};
    QString sql =
        QStringLiteral("SELECT J.Num, J.[type jeux], J.Cheval, J.Remarque, J.Debit, "
                       "J.Credit%1 FROM JEUX J%2")
            .arg(byState ? QStringLiteral(", P.Etat, P.NumGain IS NOT NULL") : QString(),
                 byState ? QStringLiteral(" LEFT JOIN PARIS P ON P.NumJeu = J.Num") : QString());
    QVariantList values;
    if (!query.player.isEmpty()) {
        // The players' names are compared as the ledger compares them: case aside.
        sql += QStringLiteral(" WHERE J.User = ?");
        values << query.player;
    }
    QByteArray nums = "[";
    {
        data::Statement rs(db.raw(), sql, values);
        Matcher horses(query.text), types(query.text), remarks(query.text);
        const bool anyText = horses.everything();
        while (rs.next()) {
            if (!anyText && !horses.holds(rs.utf8(2)) && !types.holds(rs.utf8(1)) &&
                !remarks.holds(rs.utf8(3)))
                continue;
            if (query.least || query.most) {
                const Money stake = amountOf(rs, 4);
                const Money amount = stake != Money() ? stake : amountOf(rs, 5);
                if ((query.least && amount < *query.least) || (query.most && amount > *query.most))
                    continue;
            }
            if (byState) {
                BetOfLine bet;
                if (!rs.isNull(6)) {
                    if (const auto state = betStateFromName(rs.string(6))) {
                        bet.exists = true;
                        bet.state = *state;
                    }
                }
                bet.cashed = rs.integer(7) != 0;
                if (!stateWanted(query.state, bet))
                    continue;
            }
            if (nums.size() > 1)
                nums += ',';
            nums += QByteArray::number(rs.integer(0));
        }
    }
    nums += ']';
    QVector<FoundLine> found;
    if (nums.size() == 2)
        return found;
    data::Statement rs(
        db.raw(),
        QStringLiteral("SELECT J.Num, J.mois, J.Jour, J.User, J.[type jeux], J.Cheval, J.Debit, "
                       "J.Credit, J.Remarque, %1 FROM JEUX J %2 WHERE J.Num IN (SELECT value "
                       "FROM json_each(?)) ORDER BY J.Num")
            .arg(bets ? QStringLiteral("P.Etat, P.NumGain IS NOT NULL") : QStringLiteral("NULL, 0"),
                 bets ? QStringLiteral("LEFT JOIN PARIS P ON P.NumJeu = J.Num") : QString()),
        {QString::fromLatin1(nums)});
    while (rs.next()) {
        FoundLine line;
        line.year = year;
        line.archive = archive;
        line.num = rs.integer(0);
        line.month = rs.string(1);
        line.day = rs.string(2);
        line.player = rs.string(3);
        line.type = rs.string(4);
        line.horse = rs.string(5);
        line.stake = amountOf(rs, 6);
        line.win = amountOf(rs, 7);
        line.remark = rs.string(8);
        line.credit = !rs.isNull(4) && isCreditType(line.type);
        if (!rs.isNull(9)) {
            if (const auto state = betStateFromName(rs.string(9))) {
                BetOfLine bet;
                bet.exists = true;
                bet.state = *state;
                bet.cashed = rs.integer(10) != 0;
                line.state = betStateName(bet.state);
                if (bet.toCash())
                    line.state += QStringLiteral(", à encaisser");
            }
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
