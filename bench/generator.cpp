#include "bench/generator.h"

#include "data/regional.h"
#include "data/schema.h"
#include "data/transaction.h"
#include "ledger/ledgerbook.h"
#include "ledger/multibets.h"
#include "racing/resultnames.h"
#include "racing/vocabulary.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <iterator>
#include <sqlite3.h>
#include <unordered_set>

namespace bench {
namespace {

// splitmix64: small, fast, and the same sequence on every platform (the standard
// distributions are not).
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // 0 <= value < n
    int below(int n) {
        return static_cast<int>(
            (static_cast<unsigned __int128>(next()) * static_cast<unsigned>(n)) >> 64);
    }
    int between(int low, int high) { return low + below(high - low + 1); }
    bool chance(double p) { return static_cast<double>(next() >> 11) * 0x1.0p-53 < p; }

private:
    uint64_t m_state;
};

using Texts = std::vector<const char*>;

const Texts kSyllables = {"KA", "LI", "MO", "RA",  "TE",  "VAN", "DOR", "SI",  "NE",
                          "LU", "BE", "TO", "ZA",  "RI",  "MA",  "NO",  "PA",  "LO",
                          "GI", "DA", "SA", "VE",  "CO",  "FE",  "QUI", "TA",  "RO",
                          "ME", "BI", "LA", "SOL", "MIR", "TAL", "VAL", "GOR", "NIS"};
const Texts kFirstWords = {"BEAU",    "BELLE", "PETIT",     "GRAND",   "ROI",     "REINE",
                           "PRINCE",  "DAME",  "ÉTOILE",    "ÉCLAIR",  "OURAGAN", "SOLEIL",
                           "FLEUR",   "CHANT", "ESPRIT",    "CŒUR",    "VENT",    "PERLE",
                           "REFLET",  "RÊVE",  "SOURIRE",   "TRÉSOR",  "HÉROS",   "BARON",
                           "MARQUIS", "DUC",   "CHEVALIER", "LÉGENDE", "SAPHIR",  "TONNERRE"};
const Texts kSecondWords = {"DE MAI",     "DU NORD",   "DU SUD",   "D'AVRIL",  "DES BOIS",
                            "DE LUNE",    "D'OR",      "D'ARGENT", "DU SOIR",  "DE L'AUBE",
                            "DES ÎLES",   "DE FRANCE", "DU ROY",   "DE NUIT",  "D'ÉTÉ",
                            "DES NEIGES", "DU LAC",    "DE FEU",   "DU MATIN", "DE JADE"};

const Texts kFlatCourses = {"Longchamp",        "Chantilly",
                            "Deauville",        "Saint-Cloud",
                            "Maisons-Laffitte", "Lyon-Parilly",
                            "Compiègne",        "Vichy",
                            "Fontainebleau",    "Craon",
                            "Cagnes-sur-Mer",   "Marseille-Borély",
                            "Toulouse",         "Bordeaux-Le Bouscat",
                            "Strasbourg",       "Dieppe",
                            "Clairefontaine",   "Nantes",
                            "Angers",           "Lyon-La Soie"};
const Texts kJumpCourses = {"Auteuil",          "Pau",           "Enghien", "Compiègne",
                            "Le Lion-d'Angers", "Fontainebleau", "Dieppe",  "Cagnes-sur-Mer",
                            "Vittel",           "Lyon-Parilly"};
const Texts kTrotCourses = {"Vincennes", "Enghien",  "Cabourg",        "Caen",
                            "Laval",     "Graignes", "Cagnes-sur-Mer", "Marseille-Borély",
                            "Amiens",    "Nantes",   "Reims",          "Argentan"};

const Texts kJockeys = {"J. Morvan",   "L. Perrot",    "A. Caradec",  "T. Lemaire",  "P. Bazin",
                        "M. Ferrand",  "S. Quéré",     "R. Dufresne", "É. Marchal",  "N. Tessier",
                        "C. Le Goff",  "F. Rivière",   "G. Aubert",   "H. Brochard", "V. Chauvet",
                        "Y. Kermarec", "D. Lhomme",    "O. Vasseur",  "B. Pichon",   "J.-M. Gaudin",
                        "A. Séverac",  "L. Martineau", "K. Dumas",    "P.-Y. Roux",  "M. Ollivier",
                        "T. Bréhat",   "I. Coste",     "J. Andrieu",  "R. Thébault", "S. Naudin"};

const Texts kFlatComments = {
    "A fini fort",
    "Toujours aux avant-postes, a tenu sa place",
    "Bien parti, a manqué de ressources à la fin",
    "Est resté au fond, jamais dangereux",
    "Gêné au dernier tournant",
    "A longtemps mené puis a cédé",
    "Rapide au départ ; s'est éteint dans la ligne droite",
    "A « plongé » sur le poteau",
    "Enfermé à la corde, a fini vite une fois dégagé",
    "Détaché dans la ligne droite, facile",
    "A couru en dedans, sans rythme",
    "Est venu de loin, en progrès",
};
const Texts kJumpComments = {
    "A fauté à la rivière des tribunes",   "Est tombé à l'avant-dernière haie",
    "Sauteur sûr, a mené de bout en bout", "Arrêté avant le dernier obstacle",
    "A manqué son saut au rail-ditch",     "En tête jusqu'au dernier tournant, a faibli",
};
const Texts kTrotComments = {
    "Disqualifié pour allure irrégulière",   "A trotté sagement en dedans",
    "S'est mis à la faute dans le tournant", "Déferré des quatre, a fini très vite",
    "Parti en tête, a tenu jusqu'au poteau", "Toujours au troisième rang, sans forcer",
};
const Texts kRaceNames = {"des Lilas",   "du Bois",       "de la Forêt",  "des Sablons",
                          "du Moulin",   "de la Rivière", "des Tilleuls", "du Pavillon",
                          "de la Seine", "des Roses",     "du Château",   "de l'Orangerie",
                          "des Écuries", "de la Cascade", "du Val d'Or",  "des Coteaux"};
const Texts kPlayers = {
    "Bernard", "Josiane", "Marcel", "Gégé",    "Sylvie", "Didier",   "Monique",  "Patrice",
    "Chantal", "Roger",   "Nadine", "Thierry", "Hélène", "Loulou",   "Francis",  "Brigitte",
    "Yvon",    "Martine", "Jacky",  "Odile",   "Serge",  "Colette",  "Pascal",   "Danièle",
    "René",    "Joëlle",  "Alain",  "Ginette", "Hervé",  "Michèle",  "Claude",   "Maryse",
    "Gilles",  "Lucette", "Daniel", "Annick",  "Robert", "Paulette", "Jean-Luc", "Solange"};

std::string pickText(Random& random, const Texts& texts) {
    return texts[static_cast<size_t>(random.below(static_cast<int>(texts.size())))];
}

struct Weighted {
    const char* text;
    int weight;
};
std::string pickWeighted(Random& random, const std::vector<Weighted>& items) {
    int total = 0;
    for (const Weighted& item : items)
        total += item.weight;
    int roll = random.below(total);
    for (const Weighted& item : items) {
        if (roll < item.weight)
            return item.text;
        roll -= item.weight;
    }
    return items.back().text;
}

// Handicaps are half the flat races: the confirmation lists are drawn from them.
const std::vector<Weighted> kFlatTypes = {
    {"Handicap", 36}, {"Handicap divisé", 14}, {"Réclamer", 14}, {"Course D", 14}, {"Course E", 7},
    {"Listed", 7},    {"Groupe III", 4},       {"Groupe II", 2}, {"Groupe I", 2}};
const std::vector<Weighted> kJumpTypes = {{"Handicap", 30}, {"Course D", 25}, {"Réclamer", 15},
                                          {"Course E", 15}, {"Listed", 8},    {"Groupe III", 4},
                                          {"Groupe I", 3}};
const std::vector<Weighted> kTrotTypes = {{"Course D", 30}, {"Course E", 25}, {"Course C", 15},
                                          {"Réclamer", 12}, {"Course B", 8},  {"Groupe III", 5},
                                          {"Groupe II", 3}, {"Groupe I", 2}};

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Meeting kind: 0 harness, 1 flat, 2 jumps, 3 flat and jumps together.
int meetingKind(Random& random) {
    const int kindRoll = random.below(100);
    return kindRoll < 30 ? 0 : kindRoll < 75 ? 1 : kindRoll < 88 ? 2 : 3;
}

const Texts& racecourses(int kind) {
    return kind == 0 ? kTrotCourses : kind == 2 ? kJumpCourses : kFlatCourses;
}

// A race of a meeting of that kind at row.hippodrome: discipline, type, name, prize and
// distance.
void drawRace(Random& random, int kind, ResultRow& row) {
    if (kind == 0)
        row.discipline = "trot attelé";
    else if (kind == 1 || (kind == 3 && random.chance(0.5)))
        row.discipline = "plat";
    else
        row.discipline = random.chance(0.55) ? "haies" : "steeple";
    const bool flat = row.discipline == "plat";
    const bool trot = row.discipline == "trot attelé";
    row.type = pickWeighted(random, flat ? kFlatTypes : trot ? kTrotTypes : kJumpTypes);
    const bool handicap = startsWith(row.type, "Handicap");
    const bool group = startsWith(row.type, "Groupe");
    row.course = (group && random.chance(0.5) ? "Grand Prix de " + row.hippodrome
                                              : "Prix " + pickText(random, kRaceNames));
    int prize = 0;
    if (row.type == "Groupe I")
        prize = random.between(300, 1000) * 1000;
    else if (row.type == "Groupe II")
        prize = random.between(130, 250) * 1000;
    else if (row.type == "Groupe III")
        prize = random.between(80, 120) * 1000;
    else if (row.type == "Listed")
        prize = random.between(52, 60) * 1000;
    else if (handicap)
        prize = random.between(32, 100) * 500;
    else
        prize = random.between(16, 60) * 500;
    row.dotation = prize + (random.chance(0.05) ? 0.5 : 0.0);
    if (flat)
        row.distance = random.between(10, 31) * 100;
    else if (trot)
        row.distance =
            std::array<int, 5>{2100, 2150, 2700, 2850, 2175}[static_cast<size_t>(random.below(5))];
    else if (row.discipline == "haies")
        row.distance = random.between(34, 43) * 100;
    else
        row.distance = random.between(35, 60) * 100;
}

int monthLength(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::string horseName(Random& random) {
    if (random.chance(0.15))
        return pickText(random, kFirstWords) + " " + pickText(random, kSecondWords);
    std::string name;
    const int syllables = random.between(2, 4);
    for (int i = 0; i < syllables; ++i)
        name += pickText(random, kSyllables);
    return name;
}

std::string musique(Random& random, char letter) {
    static const char kMarks[] = "1234567890ADT";
    std::string text;
    const int count = random.between(3, 7);
    const int yearMark = random.between(1, count);
    for (int i = 0; i < count; ++i) {
        if (i == yearMark && random.chance(0.4))
            text += "(" + std::to_string(random.between(15, 24)) + ")";
        text += kMarks[random.below(static_cast<int>(sizeof kMarks) - 1)];
        text += letter;
    }
    return text;
}

void appendCsvField(std::string& line, const std::string& text) {
    if (text.find_first_of(";\"\r\n") == std::string::npos) {
        line += text;
        return;
    }
    line += '"';
    for (const char c : text) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

// "42" or "42,5": the decimal comma of a French file.
std::string frenchNumber(double value) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.2f", value);
    std::string text = buffer;
    while (!text.empty() && text.back() == '0')
        text.pop_back();
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    std::replace(text.begin(), text.end(), '.', ',');
    return text;
}

int dayKey(const ResultRow& row) {
    return row.year * 10000 + row.month * 100 + row.day;
}

QDate dayOf(const ResultRow& row) {
    return QDate(row.year, row.month, row.day);
}

std::string isoDate(const ResultRow& row) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", row.year, row.month, row.day);
    return buffer;
}

void check(sqlite3* db, int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw data::DbError(rc,
                            QStringLiteral("%1 : %2").arg(QString::fromUtf8(what),
                                                          QString::fromUtf8(sqlite3_errmsg(db))));
}

// Lines written to a file, CR LF after each, in large blocks.
class LineFile {
public:
    explicit LineFile(const QString& path) : m_file(path) {
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw data::DbError(data::sqlite_code::CantOpen,
                                QStringLiteral("%1 : %2").arg(path, m_file.errorString()));
    }
    void add(const std::string& line) {
        m_buffer += line;
        m_buffer += "\r\n";
        if (m_buffer.size() > (1 << 20))
            write();
    }
    void finish() {
        write();
        if (!m_file.flush())
            throw data::DbError(
                data::sqlite_code::IoError,
                QStringLiteral("%1 : %2").arg(m_file.fileName(), m_file.errorString()));
    }

private:
    void write() {
        m_file.write(m_buffer.data(), static_cast<qint64>(m_buffer.size()));
        m_buffer.clear();
    }
    QFile m_file;
    std::string m_buffer;
};

class Statement {
public:
    Statement(sqlite3* db, const char* sql) : m_db(db) {
        check(db, sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr), sql);
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    void text(int i, const std::string& value) {
        if (value.empty())
            sqlite3_bind_null(m_statement, i);
        else
            sqlite3_bind_text(m_statement, i, value.data(), static_cast<int>(value.size()),
                              SQLITE_TRANSIENT);
    }
    void text(int i, const QString& value) { text(i, value.toStdString()); }
    void integer(int i, int64_t value) {
        if (value < 0)
            sqlite3_bind_null(m_statement, i);
        else
            sqlite3_bind_int64(m_statement, i, value);
    }
    void real(int i, double value, bool null = false) {
        if (null)
            sqlite3_bind_null(m_statement, i);
        else
            sqlite3_bind_double(m_statement, i, value);
    }
    void run() {
        check(m_db, sqlite3_step(m_statement), "insertion");
        sqlite3_reset(m_statement);
    }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
};

} // namespace

Generator::Generator(const GeneratorOptions& options) : m_options(options) {
    // The big month takes at most half the ledger, and leaves a row for each of the other
    // months of every player.
    const int64_t otherGroups = int64_t(m_options.players) * 12 - 1;
    m_options.bigMonthRows = static_cast<int>(
        std::min<int64_t>(m_options.bigMonthRows,
                          std::max<int64_t>(0, std::min(m_options.ledgerRows / 2,
                                                        m_options.ledgerRows - otherGroups))));
    Random random(options.seed ^ 0x686F72736573ULL);
    // About sixteen races a horse over the whole file; never too few to fill a field.
    const int64_t horses = std::max<int64_t>(600, options.resultRows / 16);
    std::unordered_set<std::string> used = {m_landmarks.starHorse.toStdString()};
    const auto fill = [&](std::vector<std::string>& pool, int64_t count) {
        while (static_cast<int64_t>(pool.size()) < count) {
            std::string name = horseName(random);
            if (used.insert(name).second)
                pool.push_back(std::move(name));
        }
    };
    fill(m_flatHorses, horses * 55 / 100);
    fill(m_jumpHorses, horses * 15 / 100);
    fill(m_trotHorses, horses * 30 / 100);

    for (int i = 0; i < options.players; ++i)
        m_landmarks.players << QString::fromUtf8(
                                   kPlayers[static_cast<size_t>(i) % kPlayers.size()]) +
                                   (i >= static_cast<int>(kPlayers.size())
                                        ? QString::number(i / static_cast<int>(kPlayers.size()) + 1)
                                        : QString());
    m_landmarks.bigPlayer = m_landmarks.players.value(0);
    m_landmarks.followedHorses << m_landmarks.starHorse;
    const size_t stride = std::max<size_t>(
        1, m_flatHorses.size() / static_cast<size_t>(std::max(1, options.followed)));
    for (size_t i = 0;
         m_landmarks.followedHorses.size() < options.followed && i < m_flatHorses.size();
         i += stride)
        m_landmarks.followedHorses << QString::fromStdString(m_flatHorses[i]);

    if (m_options.betDays > 0) {
        // The rows come day by day, and which days are the last is known only at the end:
        // the latest days are kept as the rows go by.
        std::deque<std::vector<ResultRow>> days;
        int last = -1;
        forEachResult([&](const ResultRow& row) {
            if (dayKey(row) != last) {
                last = dayKey(row);
                days.emplace_back();
                if (static_cast<int>(days.size()) > m_options.betDays)
                    days.pop_front();
            }
            days.back().push_back(row);
        });
        for (auto& day : days)
            for (ResultRow& row : day)
                m_heldBack.push_back(std::move(row));
    }
}

bool Generator::heldBack(const ResultRow& row) const {
    return !m_heldBack.empty() && dayKey(row) >= dayKey(m_heldBack.front());
}

QDate Generator::heldBackFrom() const {
    return m_heldBack.empty() ? QDate() : dayOf(m_heldBack.front());
}

QDate Generator::heldBackTo() const {
    return m_heldBack.empty() ? QDate() : dayOf(m_heldBack.back());
}

std::vector<PlannedBet> Generator::bets() const {
    std::vector<PlannedBet> bets;
    // Each held-back day's races, as runs of m_heldBack: first row and runners.
    std::vector<std::vector<std::pair<size_t, size_t>>> days;
    for (size_t i = 0; i < m_heldBack.size(); ++i) {
        const ResultRow& row = m_heldBack[i];
        const ResultRow* before = i > 0 ? &m_heldBack[i - 1] : nullptr;
        if (!before || dayKey(*before) != dayKey(row))
            days.emplace_back();
        if (!before || dayKey(*before) != dayKey(row) || before->r != row.r || before->c != row.c)
            days.back().push_back({i, 0});
        ++days.back().back().second;
    }
    Random random(m_options.seed ^ 0x7061726973ULL);
    const QStringList& months = regional::monthNames();
    const QStringList simpleTypes = {QStringLiteral("Simple Gagnant"),
                                     QStringLiteral("Simple Placé")};
    for (const auto& races : days) {
        for (const QString& player : m_landmarks.players) {
            for (int k = random.between(1, 3); k > 0; --k) {
                const auto [first, runners] =
                    races[static_cast<size_t>(random.below(static_cast<int>(races.size())))];
                const ResultRow& race = m_heldBack[first];
                PlannedBet bet;
                bet.player = player;
                bet.month = months[race.month - 1];
                bet.day = QStringLiteral("%1").arg(race.day, 2, 10, QLatin1Char('0'));
                bet.type = simpleTypes[random.below(2)];
                bet.stakeCents = random.between(2, 20) * 50;
                bet.raceDay = dayOf(race);
                bet.hippodrome = QString::fromStdString(race.hippodrome);
                bet.r = race.r;
                bet.c = race.c;
                bet.odds = random.between(12, 400) / 10.0;
                std::string horse =
                    m_heldBack[first + static_cast<size_t>(random.below(static_cast<int>(runners)))]
                        .cheval;
                if (random.chance(0.05)) {
                    // A runner of another race of the week, not of this one.
                    const std::string& other = m_heldBack[static_cast<size_t>(random.below(
                                                              static_cast<int>(m_heldBack.size())))]
                                                   .cheval;
                    bool inRace = false;
                    for (size_t i = first; i < first + runners; ++i)
                        inRace = inRace || m_heldBack[i].cheval == other;
                    if (!inRace) {
                        horse = other;
                        bet.runs = false;
                    }
                }
                bet.horse = QString::fromStdString(horse);
                bets.push_back(std::move(bet));
            }
        }
    }
    multiHorseBets(days.empty() ? nullptr : &days.back(), bets);
    return bets;
}

// On the week's last day, each player plays two bets on several horses, on the saddle
// numbers of runners that started: about half hold the race's first ones, so that some win.
void Generator::multiHorseBets(const std::vector<std::pair<size_t, size_t>>* races,
                               std::vector<PlannedBet>& bets) const {
    if (!races || races->empty())
        return;
    static const struct {
        const char* type;
        int numbers;
        bool ordered;
    } kTypes[] = {{"Couplé Gagnant", 2, false}, {"Couplé Placé", 2, false},
                  {"Couplé Ordre", 2, true},    {"Deux sur Quatre", 2, false},
                  {"Trio", 3, false},           {"Tiercé", 3, true},
                  {"Quarté+", 4, true},         {"Quinté+", 5, true},
                  {"Multi", 4, false}};
    Random random(m_options.seed ^ 0x6d756c7469ULL);
    const QStringList& months = regional::monthNames();
    for (const QString& player : m_landmarks.players) {
        for (int k = 0; k < 2; ++k) {
            const auto [first, runners] =
                (*races)[static_cast<size_t>(random.below(static_cast<int>(races->size())))];
            // The runners that started, by their place (the unplaced after).
            std::vector<std::pair<int, int>> started; // place (99 unplaced), saddle number
            for (size_t i = first; i < first + runners; ++i) {
                const ResultRow& row = m_heldBack[i];
                const racing::Finish finish = racing::finishOf(QString::fromStdString(row.place),
                                                               QString::fromStdString(row.statut));
                if (!finish.started() || row.dossard <= 0)
                    continue;
                started.push_back(
                    {finish.kind == racing::Finish::Kind::Placed ? finish.place : 99, row.dossard});
            }
            std::sort(started.begin(), started.end());
            const auto& kind = kTypes[random.below(int(std::size(kTypes)))];
            const bool multi = QLatin1String(kind.type) == QLatin1String("Multi");
            const int formula = multi ? 0 : random.below(kind.ordered ? 3 : 2);
            const int count = multi ? random.between(4, 6)
                              : formula == 1 ? kind.numbers + random.between(1, 2)
                                             : kind.numbers + (formula == 2 ? random.below(2) : 0);
            if (int(started.size()) < count + 1)
                continue;
            QVector<int> numbers;
            const bool onTheFirst = random.chance(0.5);
            for (int i = 0; numbers.size() < count && i < int(started.size()); ++i)
                if (onTheFirst ? true : random.chance(0.4))
                    numbers << started[size_t(i)].second;
            for (int i = int(started.size()) - 1; numbers.size() < count; --i)
                if (!numbers.contains(started[size_t(i)].second))
                    numbers << started[size_t(i)].second;
            // Written in any order, as a punter writes them.
            for (int i = int(numbers.size()) - 1; i > 0 && random.chance(0.5); --i)
                std::swap(numbers[i], numbers[random.below(i + 1)]);
            const ResultRow& race = m_heldBack[first];
            PlannedBet bet;
            bet.player = player;
            bet.month = months[race.month - 1];
            bet.day = QStringLiteral("%1").arg(race.day, 2, 10, QLatin1Char('0'));
            bet.type = QString::fromUtf8(kind.type);
            bet.stakeCents = random.between(2, 20) * 100;
            bet.raceDay = dayOf(race);
            bet.hippodrome = QString::fromStdString(race.hippodrome);
            bet.r = race.r;
            bet.c = race.c;
            bet.numbers = numbers;
            bet.formula = formula == 0   ? QStringLiteral("unitaire")
                          : formula == 1 ? QStringLiteral("combinée")
                                         : QStringLiteral("tous ordres");
            bets.push_back(std::move(bet));
        }
    }
}

void Generator::forEachResult(const std::function<void(const ResultRow&)>& sink) const {
    Random random(m_options.seed);
    int64_t left = m_options.resultRows;
    // About one flat race for 26 runners: the star runs in evenly spread flat races over the
    // whole period.
    const int64_t estimatedFlatRaces = std::max<int64_t>(1, m_options.resultRows / 26);
    const int64_t spacing = std::max<int64_t>(1, estimatedFlatRaces / (m_options.starRaces + 5));
    int64_t flatRaces = 0;
    int starRuns = 0;
    const std::string star = m_landmarks.starHorse.toStdString();

    int year = 2013, month = 1, day = 1;
    ResultRow row;
    std::vector<int> picked;
    std::vector<std::string> places;
    while (left > 0) {
        const int meetings = random.between(3, 6);
        for (int r = 1; r <= meetings && left > 0; ++r) {
            const int kind = meetingKind(random);
            row.hippodrome = pickText(random, racecourses(kind));
            std::string going;
            if (kind == 0) {
                row.terrain = pickText(random, {"Mâchefer", "Sable", "Herbe"});
                going = pickText(random, {"Bon", "Souple", "Collant", "Lourd"});
            } else {
                const bool synthetic = kind == 1 && random.chance(0.15);
                row.terrain = synthetic ? "PSF" : "Gazon";
                going = synthetic ? pickText(random, {"Standard", "Rapide", "Lente"})
                                  : pickText(random, {"Bon", "Bon léger", "Bon souple", "Souple",
                                                      "Très souple", "Collant", "Lourd",
                                                      "Très lourd", "Sec"});
            }
            const int races = random.between(6, 9);
            for (int c = 1; c <= races && left > 0; ++c) {
                row.r = r;
                row.c = c;
                drawRace(random, kind, row);
                const bool flat = row.discipline == "plat";
                const bool trot = row.discipline == "trot attelé";
                const bool handicap = startsWith(row.type, "Handicap");
                const bool group = startsWith(row.type, "Groupe");
                row.etat = random.chance(0.03) ? std::string() : going;

                const int runners =
                    static_cast<int>(std::min<int64_t>(left, random.between(6, 18)));
                const std::vector<std::string>& pool = flat   ? m_flatHorses
                                                       : trot ? m_trotHorses
                                                              : m_jumpHorses;
                picked.clear();
                while (static_cast<int>(picked.size()) < runners) {
                    const int candidate = random.below(static_cast<int>(pool.size()));
                    if (std::find(picked.begin(), picked.end(), candidate) == picked.end())
                        picked.push_back(candidate);
                }
                const bool starHere = flat && runners >= 2 &&
                                      flatRaces++ % spacing == spacing / 2 &&
                                      starRuns < m_options.starRaces;
                if (starHere)
                    ++starRuns;
                // Finishing places: non-finishers first, then a random order of the others.
                places.assign(static_cast<size_t>(runners), std::string());
                std::vector<int> finishers;
                for (int i = 0; i < runners; ++i) {
                    const int roll = random.below(1000);
                    if (roll < 30)
                        places[static_cast<size_t>(i)] = "NP";
                    else if (trot && roll < 150)
                        places[static_cast<size_t>(i)] = "DAI";
                    else if (!flat && !trot && roll < 110)
                        places[static_cast<size_t>(i)] = roll < 70 ? "T" : "ARR";
                    else if (roll < 40)
                        places[static_cast<size_t>(i)] = "DAI";
                    else
                        finishers.push_back(i);
                }
                for (size_t i = finishers.size(); i > 1; --i)
                    std::swap(finishers[i - 1],
                              finishers[static_cast<size_t>(random.below(static_cast<int>(i)))]);
                for (size_t k = 0; k < finishers.size(); ++k)
                    places[static_cast<size_t>(finishers[k])] = std::to_string(k + 1);

                const int base = handicap ? random.between(30, 60)
                                 : group  ? random.between(45, 60)
                                          : random.between(18, 48);
                const char letter = flat ? 'p' : trot ? 'a' : row.discipline == "haies" ? 'h' : 's';
                row.nbPartant = runners;
                row.year = year;
                row.month = month;
                row.day = day;
                for (int i = 0; i < runners; ++i) {
                    row.cheval = starHere && i == 0
                                     ? star
                                     : pool[static_cast<size_t>(picked[static_cast<size_t>(i)])];
                    row.dossard = i + 1;
                    row.place = places[static_cast<size_t>(i)];
                    row.statut = row.place == "NP" ? "Non partant" : "Partant";
                    row.musique = random.chance(0.05) ? std::string() : musique(random, letter);
                    row.jockey = random.chance(0.01) ? std::string() : pickText(random, kJockeys);
                    if (trot || random.chance(0.06))
                        row.valeur = -1;
                    else
                        row.valeur =
                            base + random.between(-6, 6) + (random.chance(0.5) ? 0.5 : 0.0);
                    if (random.chance(0.45))
                        row.commentaire.clear();
                    else
                        row.commentaire = pickText(random, flat   ? kFlatComments
                                                           : trot ? kTrotComments
                                                                  : kJumpComments);
                    if (!row.commentaire.empty() && random.chance(0.002))
                        row.commentaire += "\nRevu au rond : boite légèrement";
                    sink(row);
                }
                left -= runners;
            }
        }
        if (++day > monthLength(year, month)) {
            day = 1;
            if (++month > 12) {
                month = 1;
                ++year;
            }
        }
    }
}

void Generator::ledger(std::vector<LedgerRow>& rows, std::vector<Balance>& balances) const {
    Random random(m_options.seed ^ 0x6C6564676572ULL);
    rows.clear();
    balances.clear();
    const QStringList& months = regional::monthNames();
    const QStringList& players = m_landmarks.players;
    const int groups = static_cast<int>(players.size()) * 12;
    const int bigGroup = static_cast<int>(months.indexOf(m_landmarks.bigMonth));
    const int64_t others = std::max<int64_t>(0, m_options.ledgerRows - m_options.bigMonthRows);
    const int64_t perGroup = others / std::max(1, groups - 1);
    int64_t extra = others - perGroup * (groups - 1);
    const QStringList simpleTypes = {QStringLiteral("Simple Gagnant"),
                                     QStringLiteral("Simple Placé")};
    const QStringList& types = data::schema::defaultGameTypes();

    for (int m = 0; m < 12; ++m) {
        const int length = monthLength(2023, m + 1);
        std::vector<std::pair<int, LedgerRow>> monthRows;
        for (int p = 0; p < players.size(); ++p) {
            int64_t count = (p == 0 && m == bigGroup) ? m_options.bigMonthRows : perGroup;
            if (!(p == 0 && m == bigGroup) && extra > 0) {
                ++count;
                --extra;
            }
            if (count <= 0)
                continue;
            Balance balance;
            balance.pseudo = players[p];
            balance.mois = months[m];
            int64_t current = random.between(20, 500) * 100;
            int64_t depart = current;
            std::vector<int> days(static_cast<size_t>(count));
            for (int& d : days)
                d = random.between(1, length);
            std::sort(days.begin(), days.end());
            QString lastHorse = QStringLiteral("AUTRE JEUX");
            for (int64_t i = 0; i < count; ++i) {
                LedgerRow row;
                row.user = players[p];
                row.mois = months[m];
                row.jour =
                    QStringLiteral("%1").arg(days[static_cast<size_t>(i)], 2, 10, QLatin1Char('0'));
                row.beforeCents = current;
                const int roll = random.below(100);
                if (roll < 4 || (i == 0 && current < 5000)) {
                    row.type = QStringLiteral("Approvisionnement compte");
                    row.cheval = QStringLiteral("autre jeux");
                    row.creditCents = random.between(1, 6) * 5000;
                    depart += row.creditCents;
                } else if (roll < 70) {
                    const bool simple = random.chance(0.6);
                    row.type = simple ? simpleTypes[random.below(2)]
                                      : types[random.below(static_cast<int>(types.size()))];
                    if (simple) {
                        // The ledger keeps horse names in capitals without apostrophes.
                        lastHorse =
                            QString::fromStdString(m_flatHorses[static_cast<size_t>(random.below(
                                                       static_cast<int>(m_flatHorses.size())))])
                                .remove(QLatin1Char('\''));
                        row.cheval = lastHorse;
                    } else {
                        row.cheval = QStringLiteral("AUTRE JEUX");
                    }
                    row.debitCents = random.between(2, 100) * 50;
                } else {
                    row.type = simpleTypes[random.below(2)];
                    row.cheval = lastHorse;
                    row.creditCents = random.between(2, 400) * 50 + random.below(10) * 10;
                }
                current += row.creditCents - row.debitCents;
                row.afterCents = current;
                monthRows.emplace_back(p, std::move(row));
            }
            balance.departCents = depart;
            balance.enCoursCents = current;
            balances.push_back(balance);
        }
        // Entries of a month in day order across players; each player's own order is kept.
        std::stable_sort(monthRows.begin(), monthRows.end(), [](const auto& a, const auto& b) {
            return a.second.jour < b.second.jour;
        });
        for (auto& entry : monthRows)
            rows.push_back(std::move(entry.second));
    }
}

std::string cardHeader() {
    return "date;heure;hippodrome;R;C;course;nbPartant;distance;dotation;discipline;"
           "type de course;dossard;cheval;jockey;cote";
}

std::string csvHeader() {
    return "date;hippodrome;R;C;course;nbPartant;distance;dotation;dossard;chevalMusique;jockey;"
           "statut;place;Terrain;Etat;valeur;type de course;commentaire;cheval;discipline";
}

std::string csvLine(const ResultRow& row) {
    std::string line;
    line.reserve(256);
    char date[16];
    std::snprintf(date, sizeof date, "%02d/%02d/%04d", row.day, row.month, row.year);
    line += date;
    const auto text = [&](const std::string& value) {
        line += ';';
        appendCsvField(line, value);
    };
    const auto whole = [&](int value) {
        line += ';';
        if (value >= 0)
            line += std::to_string(value);
    };
    text(row.hippodrome);
    whole(row.r);
    whole(row.c);
    text(row.course);
    whole(row.nbPartant);
    whole(row.distance);
    line += ';';
    line += frenchNumber(row.dotation);
    whole(row.dossard);
    text(row.musique);
    text(row.jockey);
    text(row.statut);
    text(row.place);
    text(row.terrain);
    text(row.etat);
    line += ';';
    if (row.valeur >= 0)
        line += frenchNumber(row.valeur);
    text(row.type);
    text(row.commentaire);
    text(row.cheval);
    text(row.discipline);
    return line;
}

void Generator::writeResultsCsv(const QString& path) const {
    writeCsv(path, false);
}

void Generator::writeHeldBackCsv(const QString& path) const {
    writeCsv(path, true);
}

void Generator::writeCsv(const QString& path, bool heldBackPart) const {
    LineFile file(path);
    file.add(csvHeader());
    const auto write = [&](const ResultRow& row) { file.add(csvLine(row)); };
    if (heldBackPart)
        std::for_each(m_heldBack.begin(), m_heldBack.end(), write);
    else
        forEachResult([&](const ResultRow& row) {
            if (!heldBack(row))
                write(row);
        });
    file.finish();
}

CardSummary Generator::writeCardCsv(const QString& path) const {
    // The horses with races in CR, and the last day of races.
    std::unordered_set<std::string> ran;
    QDate lastDay;
    int lastKey = -1;
    forEachResult([&](const ResultRow& row) {
        if (!heldBack(row))
            ran.insert(row.cheval);
        if (dayKey(row) != lastKey) {
            lastKey = dayKey(row);
            lastDay = dayOf(row);
        }
    });
    CardSummary card;
    card.day = lastDay.isValid() ? lastDay.addDays(1) : QDate(2013, 1, 1);
    const auto withRaces = [&](const std::vector<std::string>& pool) {
        std::vector<std::string> horses;
        std::copy_if(pool.begin(), pool.end(), std::back_inserter(horses),
                     [&](const std::string& horse) { return ran.count(horse) > 0; });
        return horses;
    };
    std::vector<std::string> flat = withRaces({m_landmarks.starHorse.toStdString()});
    for (const std::string& horse : withRaces(m_flatHorses))
        flat.push_back(horse);
    const std::vector<std::string> jump = withRaces(m_jumpHorses);
    const std::vector<std::string> trot = withRaces(m_trotHorses);
    std::unordered_set<std::string> followed;
    std::deque<std::string> toPlace; // followed horses with races, the star first
    for (const QString& name : m_landmarks.followedHorses) {
        followed.insert(name.toStdString());
        if (ran.count(name.toStdString()))
            toPlace.push_back(name.toStdString());
    }

    const int64_t rows = m_options.resultRows;
    const int runners = static_cast<int>(std::min<int64_t>(
        m_options.cardRunners, std::max<int64_t>(rows / 50, std::min<int64_t>(rows, 8))));
    const int races =
        runners <= 0 || m_options.cardRunners <= 0
            ? 0
            : std::clamp(static_cast<int>(std::lround(double(runners) * m_options.cardRaces /
                                                      m_options.cardRunners)),
                         1, runners);
    const size_t followedWanted = races == 0
                                      ? 0
                                      : size_t(std::max(2, m_options.cardFollowed * runners /
                                                               std::max(1, m_options.cardRunners)));
    toPlace.resize(std::min(toPlace.size(), followedWanted));

    Random random(m_options.seed ^ 0x70617274616E74ULL);
    // Field sizes of 6 to 16, then evened out to the runners wanted.
    std::vector<int> sizes(static_cast<size_t>(races));
    int total = 0;
    for (int& size : sizes)
        total += size = random.between(6, 16);
    const int largest = std::max(20, runners / std::max(1, races) + 1);
    while (total != runners) {
        int& size = sizes[static_cast<size_t>(random.below(races))];
        if (total > runners && size > 1)
            --size, --total;
        else if (total < runners && size < largest)
            ++size, ++total;
    }

    LineFile file(path);
    file.add(cardHeader());
    const std::string date = card.day.toString(QStringLiteral("dd/MM/yyyy")).toStdString();
    // The followed horses run where they are placed, never by chance: the card holds as many
    // as it says.
    std::unordered_set<std::string> runningToday = followed;
    std::vector<std::string> usedCourses;
    std::vector<std::string> field;
    ResultRow race;
    for (int done = 0, r = 1; done < races; ++r) {
        const int kind = meetingKind(random);
        // A racecourse holds one meeting a day.
        for (int tries = 0; tries < 10; ++tries) {
            race.hippodrome = pickText(random, racecourses(kind));
            if (std::find(usedCourses.begin(), usedCourses.end(), race.hippodrome) ==
                usedCourses.end())
                break;
        }
        usedCourses.push_back(race.hippodrome);
        // Meetings start from late morning, later as their number grows.
        int minute = 11 * 60 - 5 + (r - 1) * 20 + random.between(0, 6) * 5;
        const int count = std::min(races - done, random.between(6, 9));
        for (int c = 1; c <= count; ++c, ++done) {
            race.r = r;
            race.c = c;
            drawRace(random, kind, race);
            const std::vector<std::string>& pool = race.discipline == "plat"          ? flat
                                                   : race.discipline == "trot attelé" ? trot
                                                                                      : jump;
            field.clear();
            if (race.discipline == "plat" && !toPlace.empty()) {
                field.push_back(toPlace.front());
                toPlace.pop_front();
            }
            const int wanted = sizes[static_cast<size_t>(done)];
            // A horse runs once a day; a small pool gives a smaller field.
            for (int tries = 0; int(field.size()) < wanted && !pool.empty() && tries < 50 * wanted;
                 ++tries) {
                const std::string& horse =
                    pool[static_cast<size_t>(random.below(static_cast<int>(pool.size())))];
                if (runningToday.insert(horse).second)
                    field.push_back(horse);
            }
            for (size_t i = field.size(); i > 1; --i)
                std::swap(field[i - 1],
                          field[static_cast<size_t>(random.below(static_cast<int>(i)))]);
            char time[16];
            std::snprintf(time, sizeof time, "%02d:%02d", minute / 60, minute % 60);
            minute += random.between(5, 7) * 5;
            if (field.empty())
                continue;
            ++card.races;
            for (size_t i = 0; i < field.size(); ++i) {
                std::string line = date + ';' + time + ';';
                appendCsvField(line, race.hippodrome);
                line += ';' + std::to_string(r) + ';' + std::to_string(c) + ';';
                appendCsvField(line, race.course);
                line += ';' + std::to_string(field.size()) + ';' + std::to_string(race.distance) +
                        ';' + std::to_string(static_cast<int64_t>(race.dotation)) + ';';
                appendCsvField(line, race.discipline);
                line += ';';
                appendCsvField(line, race.type);
                line += ';' + std::to_string(i + 1) + ';';
                appendCsvField(line, field[i]);
                line += ';';
                if (!random.chance(0.01))
                    appendCsvField(line, pickText(random, kJockeys));
                line += ';';
                // Morning odds from short-priced favourites to long shots, a few not yet quoted.
                if (!random.chance(0.03)) {
                    const double odds =
                        1.5 * std::pow(40.0, static_cast<double>(random.next() >> 11) * 0x1.0p-53);
                    line += frenchNumber(odds < 10 ? std::round(odds * 10) / 10 : std::round(odds));
                }
                file.add(line);
                ++card.runners;
                card.followed += followed.count(field[i]) > 0 ? 1 : 0;
            }
        }
    }
    file.finish();
    return card;
}

void Generator::fillDatabase(const QString& path, bool withResults) const {
    // The ledger's year is the one of the races bet on.
    std::shared_ptr<data::Database> database =
        m_heldBack.empty() ? data::schema::createFile(path)
                           : data::schema::createFile(path, m_heldBack.back().year);
    sqlite3* db = database->raw();
    if (!db)
        throw data::DbError(data::sqlite_code::Error,
                            QStringLiteral("pas d'accès direct à %1").arg(path));
    check(db, sqlite3_exec(db, "PRAGMA cache_size = -262144", nullptr, nullptr, nullptr), "cache");
    check(db, sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), "BEGIN");
    try {
        if (withResults) {
            Statement insert(db, "INSERT INTO CR (date, hippodrome, R, C, course, nbPartant, "
                                 "distance, dotation, dossard, chevalMusique, jockey, statut, "
                                 "place, Terrain, Etat, valeur, [type de course], commentaire, "
                                 "cheval, discipline) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                 "?, ?, ?, ?, ?, ?, ?, ?, ?)");
            forEachResult([&](const ResultRow& row) {
                if (heldBack(row))
                    return;
                insert.text(1, isoDate(row));
                insert.text(2, row.hippodrome);
                insert.integer(3, row.r);
                insert.integer(4, row.c);
                insert.text(5, row.course);
                insert.integer(6, row.nbPartant);
                insert.integer(7, row.distance);
                insert.real(8, row.dotation);
                insert.integer(9, row.dossard);
                insert.text(10, row.musique);
                insert.text(11, row.jockey);
                insert.text(12, row.statut);
                insert.text(13, row.place);
                insert.text(14, row.terrain);
                insert.text(15, row.etat);
                insert.real(16, row.valeur, row.valeur < 0);
                insert.text(17, row.type);
                insert.text(18, row.commentaire);
                insert.text(19, row.cheval);
                insert.text(20, row.discipline);
                insert.run();
            });
        }
        std::vector<LedgerRow> rows;
        std::vector<Balance> balances;
        ledger(rows, balances);
        {
            Statement insert(db,
                             "INSERT INTO JEUX (User, mois, Jour, [type jeux], Cheval, Debit, "
                             "Credit, SoldeAvant, SoldeApres) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
            for (const LedgerRow& row : rows) {
                insert.text(1, row.user);
                insert.text(2, row.mois);
                insert.text(3, row.jour);
                insert.text(4, row.type);
                insert.text(5, row.cheval);
                insert.real(6, static_cast<double>(row.debitCents) / 100.0);
                insert.real(7, static_cast<double>(row.creditCents) / 100.0);
                insert.real(8, static_cast<double>(row.beforeCents) / 100.0);
                insert.real(9, static_cast<double>(row.afterCents) / 100.0);
                insert.run();
            }
        }
        {
            Statement insert(db, "INSERT INTO USERS (pseudo, SoldeDepart, SoldeEnCours, Mois) "
                                 "VALUES (?, ?, ?, ?)");
            for (const Balance& balance : balances) {
                insert.text(1, balance.pseudo);
                insert.real(2, static_cast<double>(balance.departCents) / 100.0);
                insert.real(3, static_cast<double>(balance.enCoursCents) / 100.0);
                insert.text(4, balance.mois);
                insert.run();
            }
        }
        {
            Random random(m_options.seed ^ 0x7375697669ULL);
            Statement horse(db, "INSERT INTO MESSUIVITS (nomcheval, SaValeur, EtatTerrain, "
                                "LaDistance, LaDotation, TypeCourse, SaPlace) "
                                "VALUES (?, ?, ?, ?, ?, ?, ?)");
            Statement note(db, "INSERT INTO COURSES (reference, date, IdGeny) VALUES (?, ?, ?)");
            int64_t num = 0;
            for (const QString& name : m_landmarks.followedHorses) {
                ++num;
                horse.text(1, name);
                horse.text(2, QString::fromStdString(
                                  frenchNumber(random.between(30, 60) + 0.5 * random.below(2))));
                horse.text(3, pickText(random, {"Bon", "Bon souple", "Souple", "Lourd"}));
                horse.text(4, QString::number(random.between(10, 31) * 100));
                horse.text(5, QString::number(random.between(32, 100) * 500));
                horse.text(6, pickWeighted(random, kFlatTypes));
                horse.text(7,
                           QStringLiteral("%1").arg(random.between(1, 9), 2, 10, QLatin1Char('0')));
                horse.run();
                if (num % 3 == 1) {
                    note.integer(1, num);
                    note.text(2, QStringLiteral("À revoir sur terrain souple"));
                    note.text(3, QStringLiteral("a saisir"));
                    note.run();
                }
            }
        }
        // The horses' spellings are recorded as import-results records them.
        racing::recordResultNames(*database);
        check(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), "COMMIT");
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    // The bets go through the ledger, as the program records them: each stake moves its
    // month's balance, and its race goes into PARIS.
    const std::vector<PlannedBet> planned = bets();
    if (planned.empty())
        return;
    data::Transaction transaction(*database);
    for (const PlannedBet& bet : planned) {
        ledger::GameEntry entry;
        entry.player = bet.player;
        entry.month = bet.month;
        entry.day = bet.day;
        entry.gameType = bet.type;
        entry.horse = bet.horse;
        entry.amount = Money::fromCents(bet.stakeCents);
        entry.bet = ledger::BetSlip{bet.raceDay, {bet.r, bet.c, bet.hippodrome}, bet.odds};
        if (!bet.numbers.isEmpty()) {
            const ledger::Rule rule = ledger::defaultRule(bet.type);
            entry.bet->odds.reset();
            entry.bet->numbers = bet.numbers;
            entry.bet->formula = ledger::formulaFromName(bet.formula);
            entry.bet->combinations =
                ledger::combinationCount(rule, *entry.bet->formula, int(bet.numbers.size()));
        }
        ledger::recordGame(*database, entry);
    }
    transaction.commit();
}

} // namespace bench
