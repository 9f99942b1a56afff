#pragma once

#include <QDate>
#include <QString>
#include <QVector>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Synthetic but plausible French racing data at any scale, the same for the same seed: race
// results (flat, hurdles, steeplechase, harness trotting) for CR, and a bets ledger whose
// USERS balances agree with its JEUX rows.
namespace bench {

struct GeneratorOptions {
    uint64_t seed = 20240305;
    int64_t resultRows = 2'000'000; // CR rows, exactly
    int64_t ledgerRows = 100'000;   // JEUX rows, exactly; every player has every month
                                    // from players x 12 rows
    int bigMonthRows = 5'000;       // JEUX rows of bigPlayer in bigMonth, at most ledgerRows / 2
    int starRaces = 40;             // races of starHorse (fewer only when CR is too small)
    int players = 40;
    int followed = 150; // MESSUIVITS rows
    // A week of bets: the races of the last betDays days are held back from CR (for a file
    // velmora-db import-results settles them with) and every player bets on them. 0: none.
    int betDays = 0;
    // The card (velmora-db import-card): runners and races at full scale; a smaller CR gets
    // a smaller card, about one runner for 50 of its rows.
    int cardRunners = 1'000;
    int cardRaces = 90;
    int cardFollowed = 12; // followed horses among the runners at full scale, at least 2
};

// The cases a benchmark or a test looks for.
struct Landmarks {
    QString starHorse = QStringLiteral("JOUR DE GLOIRE"); // starRaces flat races
    QString bigPlayer = QStringLiteral("Bernard");        // bigMonthRows rows in bigMonth
    QString bigMonth = QStringLiteral("Mars");
    QStringList players;
    QStringList followedHorses; // MESSUIVITS, starHorse first
};

// One CR row; an empty text or a negative number is a null.
struct ResultRow {
    int year = 0, month = 0, day = 0;
    std::string hippodrome;
    int r = 0, c = 0;
    std::string course;
    int nbPartant = 0, distance = 0;
    double dotation = 0;
    int dossard = 0;
    std::string musique, jockey, statut, place, terrain, etat;
    double valeur = -1;
    std::string type, commentaire, cheval, discipline;
};

// What a card holds, as written.
struct CardSummary {
    QDate day;
    int races = 0;
    int runners = 0;
    int followed = 0; // runners that are followed horses (MESSUIVITS)
};

// A stake on a held-back race, as the ledger records it.
struct PlannedBet {
    QString player, month, day, type, horse;
    int64_t stakeCents = 0;
    QDate raceDay;
    QString hippodrome;
    int r = 0, c = 0;
    double odds = 0;
    bool runs = true; // false: a horse the race does not have, as a punter may mistype it
    // A bet on several horses: its saddle numbers and formula ("unitaire", "combinée",
    // "tous ordres"); no horse.
    QVector<int> numbers;
    QString formula;
};

// One JEUX row (Num is the position in the sequence, from 1).
struct LedgerRow {
    QString user, mois, jour, type, cheval;
    int64_t debitCents = 0, creditCents = 0, beforeCents = 0, afterCents = 0;
};

struct Balance {
    QString pseudo, mois;
    int64_t departCents = 0, enCoursCents = 0;
};

class Generator {
public:
    explicit Generator(const GeneratorOptions& options = {});

    // The options as used: bigMonthRows is at most half of ledgerRows.
    const GeneratorOptions& options() const { return m_options; }
    const Landmarks& landmarks() const { return m_landmarks; }

    // Every CR row in race order (date, meeting, race, saddle-cloth).
    void forEachResult(const std::function<void(const ResultRow&)>& sink) const;
    // JEUX rows in entry order and the USERS rows they agree with.
    void ledger(std::vector<LedgerRow>& rows, std::vector<Balance>& balances) const;

    // CSV for velmora-db import-results: UTF-8, ";", a header naming CR's columns in their
    // stored order, French dates and decimal commas, RFC 4180 quoting. Without the held-back
    // races.
    void writeResultsCsv(const QString& path) const;
    // The held-back races alone, in the same form.
    void writeHeldBackCsv(const QString& path) const;
    // A new Velmora file (made as velmora-db init makes it) holding everything but the
    // held-back races, and the bets on them; CR only when withResults. Throws data::DbError.
    void fillDatabase(const QString& path, bool withResults = true) const;

    // The day's card for velmora-db import-card, as CSV (UTF-8, ";", a header naming
    // PARTANTS's columns, French dates, decimal commas): the day after the last day of races,
    // runners drawn from the horses with races in CR (their form is there), followed horses
    // among them.
    CardSummary writeCardCsv(const QString& path) const;

    // The first and last days held back, null without bets.
    QDate heldBackFrom() const;
    QDate heldBackTo() const;
    // The stakes on the held-back races, in the order they are recorded.
    std::vector<PlannedBet> bets() const;
    void multiHorseBets(const std::vector<std::pair<size_t, size_t>>* races,
                        std::vector<PlannedBet>& bets) const;

private:
    bool heldBack(const ResultRow& row) const;
    void writeCsv(const QString& path, bool heldBackPart) const;

    GeneratorOptions m_options;
    std::vector<ResultRow> m_heldBack; // the last betDays days of races, in race order
    Landmarks m_landmarks;
    std::vector<std::string> m_flatHorses, m_jumpHorses, m_trotHorses;
};

// CSV text of one row, as writeResultsCsv writes it (no line end).
std::string csvLine(const ResultRow& row);
// The header line of writeResultsCsv (no line end).
std::string csvHeader();
// The header line of writeCardCsv (no line end).
std::string cardHeader();

} // namespace bench
