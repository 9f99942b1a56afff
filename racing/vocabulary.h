#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

// The one racing vocabulary every reader shares: the settling of bets, the form lines, the
// day's card, the followed horses and the importers. Results come from many sources, each
// writing names, places and non-runners its own way; they all mean the same here. Pure
// functions, free of the file.
namespace racing {

// A horse, a game type or a racecourse as they are compared: upper case, without accents,
// without apostrophes of any kind (' ’ ʼ ‘), blanks made single. "L’Étoile  du Nord" and
// "L'ETOILE DU NORD" are one horse; "Simple Place" is "Simple Placé". What the tables store
// does not change: only the comparison does.
QString nameKey(const QString& name);
bool sameName(const QString& a, const QString& b);
// nameKey of a name read as UTF-8 bytes, written into `key` without a QString, when the bytes
// are plain ASCII (most stored names); false, `key` undefined, for any other byte: the
// caller then goes through nameKey. For a search over a whole ledger.
bool asciiNameKey(std::string_view name, std::string& key);

// How a runner ended its race, read from the place and the status of its result.
struct Finish {
    enum class Kind {
        Placed,    // a place: "1", "1er", "2e", "3ème", "1ex"
        NotPlaced, // "0" (not placed), "D", "DAI", "DIS", "A", "T", "ARR"…
        NonRunner, // "NP", "non partant", "non-partant", "non partante", in place or status
        Unknown    // no place recorded
    };
    Kind kind = Kind::Unknown;
    int place = 0;         // for Placed
    bool deadHeat = false; // "1ex": the place is shared
    QString code;          // for NotPlaced: the code as written, upper case ("DAI", "0")

    bool started() const { return kind != Kind::NonRunner; }
};
Finish finishOf(const QString& place, const QString& status = QString());

// The figure a finish takes in a form line ("1-3-0-D-2"): the place from 1 to 9, "0" from
// the 10th on and for a runner not placed by number, else the first letter of its code,
// "?" when nothing is recorded. Nothing for a non-runner: it ran no race.
std::optional<QChar> formFigure(const Finish& finish);

// The places a Simple Placé pays: 3 from 8 starters, 2 from 4 to 7; under 4 no place bet is
// offered (0: such bets are refunded).
int paidPlaces(int starters);

} // namespace racing
