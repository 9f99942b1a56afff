#pragma once

#include <QString>

namespace paths {

// The folder of the executable. Tests point it at a temporary folder.
QString programFolder();
void setProgramFolder(const QString& folder);

// The user's own data folder, ~/.local/share/Velmora on Linux, where an installed program
// keeps its file.
QString userDataFolder();

// Where the file is: beside the program first (a portable copy), else in the user's data
// folder; empty when it is in neither.
QString findDatabaseFolder();

// The folder of the file in use, with its daily copies and the chrono list beside it: the
// one chosen at start, else the program's folder.
QString databaseFolder();
void useDatabaseFolder(const QString& folder);

// databaseFolder()/velmora.mdb
QString databaseFile();

} // namespace paths
