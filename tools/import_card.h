#pragma once

#include "tools/import_writer.h"

#include <QDate>
#include <map>
#include <optional>
#include <set>

namespace importer {

// Writes a card into PARTANTS. A card changes until the start (non-runners taken out, odds
// moving): each race the file names (day, hippodrome in any case, R, C) is replaced whole
// by the file's runners, and cards more than kKeptDays old are removed, all in the import's
// transaction.
class CardWriter : public TableWriter {
public:
    // Days a card is kept after its own.
    static constexpr int kKeptDays = 30;

    CardWriter(sqlite3* db, const Options& options, QTextStream& err);
    ~CardWriter() override;

    bool begin(const Layout& layout, qint64 incomingRows) override;
    Result write(const ConvertedRow& row, qint64 line) override;
    qint64 races() const override { return qint64(m_races.size()); }

private:
    bool removeOldCards();
    bool clearRace(const ConvertedRow& row, const QString& what);
    qint64 findRunner(const ConvertedRow& row);
    std::optional<Result> refusal(const ConvertedRow& row, qint64 line);

    int m_day, m_hippodrome, m_r, m_c, m_cheval; // the key columns
    int m_dossard;
    std::vector<int> m_named;                    // the non-key columns the file names
    sqlite3_stmt* m_clear = nullptr;             // a race's runners
    sqlite3_stmt* m_insert = nullptr;
    sqlite3_stmt* m_find = nullptr;
    sqlite3_stmt* m_differs = nullptr;
    // The races already replaced: a race is its day, R and C, whatever its racecourse is
    // called ("Évry", "EVRY").
    std::set<std::tuple<std::string, int64_t, int64_t>> m_races;
    struct Saddle {
        QString horse; // as the vocabulary compares it
        qint64 line;
    };
    // Each race's saddle numbers: two runners of a race never share one.
    std::map<std::tuple<std::string, int64_t, int64_t, int64_t>, Saddle> m_saddles;
};

} // namespace importer
