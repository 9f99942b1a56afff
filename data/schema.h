#pragma once

#include "data/database.h"

#include <QStringList>
#include <memory>

namespace data::schema {

// Stamped into every file this program creates (PRAGMA application_id): "VLMR".
constexpr int kApplicationId = 0x564C4D52;
// PRAGMA user_version of the files this version creates and reads.
constexpr int kVersion = 1;

// The six tables, in the order they are created.
const QStringList& tableNames();

// The game types a new file offers, "Simple Gagnant" and "Simple Placé" first.
const QStringList& defaultGameTypes();

// Creates the tables, indexes and game types in an empty database, and stamps it.
void create(const Database& db);

// Creates a new Velmora file; refuses (throws) when the file already exists.
std::shared_ptr<Database> createFile(const QString& path);

// Opens an existing Velmora file read-write, after checking that it is one this version
// can use. Throws OpenError with a plain French explanation otherwise; the file is never
// changed by a refused opening. A file made before the confirmation lists' index gets it.
std::shared_ptr<Database> openFile(const QString& path);

// The same recognition, without writing anything to the file: for the tools that must leave
// it as it was unless their own transaction commits (velmora-db import-results adds the
// index within it) or that only read it (velmora-db check).
std::shared_ptr<Database> openUnchanged(const QString& path);

// The confirmation lists' index (CREATE INDEX CR_plat_confirmations ...).
const char* confirmationIndex();
// The runner index (CREATE UNIQUE INDEX CR_runner ...), in the exact text of this version.
const char* runnerIndex();

} // namespace data::schema
