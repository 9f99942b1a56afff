#pragma once

#include <QString>

namespace paths {

// The folder of the executable, where the database file and the chrono list live.
// Tests point it at a temporary folder.
QString programFolder();
void setProgramFolder(const QString& folder);

// programFolder()/velmora.mdb
QString databaseFile();

} // namespace paths
