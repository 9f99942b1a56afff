// Writing a card into PARTANTS: whole races replaced, old cards removed.
#include "tools/import_card.h"

#include "data/regional.h"
#include "racing/vocabulary.h"

#include <sqlite3.h>

namespace importer {
namespace {

// A race is its day, R and C: the racecourse (?2) is shown, never a key. Served by
// PARTANTS_partant, by its day.
const char* const kRace = " WHERE date = ?1 AND R = ?3 AND C = ?4";
const char* const kRunnerKey = "(date, hippodrome COLLATE NOCASE, R, C, cheval COLLATE NOCASE)";

} // namespace

CardWriter::CardWriter(sqlite3* db, const Options& options, QTextStream& err)
    : TableWriter(db, cardTable(), options, err), m_day(m_table.indexOf("date")),
      m_hippodrome(m_table.indexOf("hippodrome")), m_r(m_table.indexOf("R")),
      m_c(m_table.indexOf("C")), m_cheval(m_table.indexOf("cheval")),
      m_dossard(m_table.indexOf("dossard")) {
    own({&m_clear, &m_insert, &m_find, &m_differs});
}

CardWriter::~CardWriter() {
    rollback();
}

bool CardWriter::begin(const Layout& layout, qint64) {
    if (!startTransaction() || !removeOldCards())
        return false;
    std::string insert = "INSERT INTO PARTANTS (";
    std::string marks;
    for (int c = 0; c < m_table.columnCount; ++c) {
        insert += (c ? ", [" : "[") + std::string(m_table.column(c).name) + "]";
        marks += c ? ", ?" : "?";
        if (layout.fieldOfColumn[size_t(c)] >= 0 && !m_table.column(c).key)
            m_named.push_back(c);
    }
    insert += ") VALUES (" + marks + ") ON CONFLICT " + kRunnerKey + " DO NOTHING";
    return prepare(std::string("DELETE FROM PARTANTS") + kRace, &m_clear) &&
           prepare(insert, &m_insert) &&
           prepare(std::string("SELECT rowid FROM PARTANTS") + kRace +
                       " AND cheval = ?5 COLLATE NOCASE",
                   &m_find) &&
           (m_named.empty() || prepare(differsQuery(m_named), &m_differs));
}

bool CardWriter::removeOldCards() {
    const QDate oldest = regional::today().addDays(-kKeptDays);
    const QByteArray day = oldest.toString(Qt::ISODate).toLatin1();
    Query remove;
    if (!prepare("DELETE FROM PARTANTS WHERE date < ?1", &remove.statement))
        return false;
    sqlite3_bind_text(remove.statement, 1, day.constData(), int(day.size()), SQLITE_STATIC);
    if (!run(remove.statement, QStringLiteral("retrait des anciens programmes")))
        return false;
    if (const int removed = sqlite3_changes(m_db)) {
        m_changed = true;
        m_notes << regional::counted(removed,
                                     QStringLiteral("partant des programmes d'avant le %1 retiré"),
                                     QStringLiteral("partants des programmes d'avant le %1 "
                                                    "retirés"))
                       .arg(regional::frenchDate(oldest));
    }
    return true;
}

bool CardWriter::clearRace(const ConvertedRow& row, const QString& what) {
    const std::vector<int> race = {m_day, m_hippodrome, m_r, m_c};
    if (!bindValues(m_clear, row, race, 1) || !run(m_clear, what))
        return false;
    m_changed = m_changed || sqlite3_changes(m_db) > 0;
    return true;
}

// The rowid of the row's runner, 0 when it is not there, -1 on failure.
qint64 CardWriter::findRunner(const ConvertedRow& row) {
    if (!bindValues(m_find, row, {m_day, m_hippodrome, m_r, m_c, m_cheval}, 1))
        return -1;
    const int found = sqlite3_step(m_find);
    const qint64 rowid = found == SQLITE_ROW ? sqlite3_column_int64(m_find, 0) : 0;
    sqlite3_reset(m_find);
    if (found != SQLITE_ROW && found != SQLITE_DONE) {
        fail(found, QStringLiteral("recherche des partants"));
        return -1;
    }
    return rowid;
}

// What no card can hold: a race numbered 0, a card of a day long gone (it would be removed
// at once with the old ones), two runners of a race under one saddle number.
std::optional<TableWriter::Result> CardWriter::refusal(const ConvertedRow& row, qint64 line) {
    const auto refused = [](int column, const QString& reason) {
        Result result{Result::Refused};
        result.column = column;
        result.reason = reason;
        return result;
    };
    for (const int column : {m_r, m_c})
        if (row.values[size_t(column)].integer < 1)
            return refused(column, QStringLiteral("%1 inférieur à 1, lu %2")
                                       .arg(column == m_r ? QStringLiteral("numéro de réunion")
                                                          : QStringLiteral("numéro de course"))
                                       .arg(row.values[size_t(column)].integer));
    const QDate day = QDate::fromString(QString::fromUtf8(row.text(m_day)), Qt::ISODate);
    if (day.isValid() && day < regional::today().addDays(-kKeptDays))
        return refused(m_day, QStringLiteral("programme trop ancien : le %1 est plus de %2 jours "
                                             "avant aujourd'hui")
                                  .arg(regional::frenchDate(day))
                                  .arg(kKeptDays));
    const Value& dossard = row.values[size_t(m_dossard)];
    if (dossard.type != Value::Null) {
        const QString horse = racing::nameKey(QString::fromUtf8(row.text(m_cheval)));
        const auto [found, added] = m_saddles.try_emplace(
            std::make_tuple(std::string(row.text(m_day)), row.values[size_t(m_r)].integer,
                            row.values[size_t(m_c)].integer, dossard.integer),
            Saddle{horse, line});
        if (!added && found->second.horse != horse)
            return refused(m_dossard, QStringLiteral("dossard %1 déjà donné à la ligne %2 dans "
                                                     "la même course")
                                          .arg(dossard.integer)
                                          .arg(found->second.line));
    }
    return std::nullopt;
}

TableWriter::Result CardWriter::write(const ConvertedRow& row, qint64 line) {
    if (const auto refused = refusal(row, line))
        return *refused;
    // The key columns are never empty: convertRow refuses such rows.
    auto race = std::make_tuple(std::string(row.text(m_day)), row.values[size_t(m_r)].integer,
                                row.values[size_t(m_c)].integer);
    // The first line of a race replaces what the table held of it; the race's later lines
    // add to the file's own.
    if (m_races.count(race) == 0) {
        if (!clearRace(row, writingLine(line)))
            return {Result::Failed};
        m_races.insert(std::move(race));
    }
    const std::optional<bool> added = insertRow(m_insert, row, line);
    if (!added)
        return {Result::Failed};
    if (*added)
        return {Result::Added};
    // The race was cleared: a runner there came from an earlier line of the file.
    const qint64 rowid = findRunner(row);
    if (rowid <= 0)
        return {rowid < 0 ? Result::Failed : Result::Present};
    const int differs = storedDiffers(m_differs, rowid, row, m_named);
    if (differs < 0)
        return {Result::Failed};
    return {differs ? Result::Repeated : Result::Present, m_lines.get(rowid)};
}

} // namespace importer
