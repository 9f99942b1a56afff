#pragma once

#include "data/database.h"

#include <QStringList>
#include <QVector>
#include <memory>
#include <optional>
#include <utility>

namespace data::schema {

// Stamped into every file this program creates (PRAGMA application_id): "VLMR".
constexpr int kApplicationId = 0x564C4D52;
// PRAGMA user_version of the files this version creates and reads.
constexpr int kVersion = 1;

// The six tables, in the order they are created.
const QStringList& tableNames();

// The game types a new file offers, "Simple Gagnant" and "Simple Placé" first.
const QStringList& defaultGameTypes();

// The open year's table, EXERCICE (annee): one row, the year the ledger belongs to. It is
// not one of the six: a file made before it has none and still opens (the schema version
// stays, so that an older program still reads a newer file), and gets it when its year is
// first recorded.
const char* yearTable();
bool hasYearTable(const Database& db);
// PARIS, a stake's race and state: made with every file, added at opening to an older one.
// Creates it with its index, within the caller's transaction.
void createBetsTable(const Database& db);
// PARTANTS, the day's card (runners announced, unique by day, racecourse, race and horse):
// made with every file, added at opening to an older one. Creates it with its index, within
// the caller's transaction.
bool hasCardTable(const Database& db);
void createCardTable(const Database& db);
bool hasBetsTable(const Database& db);

// REGLESJEUX: how each game type settles, made with every file and added at opening to an
// older one, filled for the usual types (their rule named as the ledger names it).
const QVector<std::pair<QString, QString>>& defaultGameRules();
bool hasRulesTable(const Database& db);
void createRulesTable(const Database& db);
// LIMITES: each player's own limits (PlafondMises, PerteMax), made with every file and added
// at opening to an older one.
bool hasLimitsTable(const Database& db);
void createLimitsTable(const Database& db);
// Whether PARIS has the columns of bets on several horses (Numeros, Formule, Combinaisons,
// Gagnantes, Rang): a file made before gets them at opening.
bool hasMultiBetColumns(const Database& db);

// Creates the tables, indexes and game types in an empty database, and stamps it. The
// ledger's open year is `year`, by default the current one.
void create(const Database& db, std::optional<int> year = std::nullopt);

// Creates a new Velmora file; refuses (throws) when the file already exists.
std::shared_ptr<Database> createFile(const QString& path, std::optional<int> year = std::nullopt);

// Opens an existing Velmora file read-write, after checking that it is one this version
// can use. Throws OpenError with a plain French explanation otherwise; the file is never
// changed by a refused opening. A file made before the confirmation lists' index gets it.
std::shared_ptr<Database> openFile(const QString& path);

// The same recognition, without writing anything to the file: for the tools that must leave
// it as it was unless their own transaction commits (velmora-db import-results adds the
// index within it) or that only read it (velmora-db check).
std::shared_ptr<Database> openUnchanged(const QString& path);

// The same recognition on a read-only connection: an archived year is only ever read.
std::shared_ptr<Database> openReadOnly(const QString& path);

// The confirmation lists' index (CREATE INDEX CR_plat_confirmations ...).
const char* confirmationIndex();
// The runner index (CREATE UNIQUE INDEX CR_runner ...), in the exact text of this version.
const char* runnerIndex();

} // namespace data::schema
