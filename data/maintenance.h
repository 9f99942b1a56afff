#pragma once

#include <QString>
#include <QStringList>

// Looking after a database file from outside the program: a full check and a safe copy.
namespace data::maintenance {

struct CheckResult {
    bool sound = false;
    QStringList problems; // the engine's findings, or why the file could not be read
};

// PRAGMA integrity_check over the whole file, after the engine has rolled back what a
// crash may have left half-written.
CheckResult check(const QString& path);

// A consistent copy of the file through the engine's backup interface, safe while the
// program has the file open. The copy is written beside DEST and renamed into place, so
// DEST is never left half-written. Returns an empty text on success, else the reason.
QString backup(const QString& sourcePath, const QString& destPath);

} // namespace data::maintenance
