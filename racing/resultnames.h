#pragma once

#include "data/database.h"

#include <QStringList>

// The spellings under which the results (CR) hold a horse. Results files write a name their
// own way ("ÉCLAIR D'OR", "Eclair d’Or"), and a horse's form comes from every result whose
// name compares as its own. Comparing every stored name at each look-up would read the whole
// table; the file keeps instead, in CR_NOMS, each stored name that differs from its key, under
// that key. Rows read into it are those up to CR_NOMS_LU's rowid.
namespace racing {

// Every stored spelling of `horse`: the name itself, its key, and the names of CR that compare
// as it. Rows added since the file's names were last recorded (by hand, or by an older
// program) are read too, and kept in memory for the connection.
QStringList resultSpellings(const data::Database& db, const QString& horse);

// The same as one bound value, for "cheval IN (SELECT value FROM json_each(?))".
QString resultSpellingsParameter(const data::Database& db, const QString& horse);

// Records in the file the names of the CR rows added since the last call, within the caller's
// transaction when there is one: the importer calls it with its rows, the program at start.
void recordResultNames(const data::Database& db);

} // namespace racing
