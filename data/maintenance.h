#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// Looking after a database file from outside the program: a full check and a safe copy.
namespace data::maintenance {

struct CheckResult {
    bool sound = false;
    QStringList problems; // the engine's findings, or why the file could not be read
};

// PRAGMA integrity_check over the whole file, after the engine has rolled back what a
// crash may have left half-written.
CheckResult check(const QString& path);

// How a copy shares the file with the program writing to it: pages copied per step (the
// file is locked for reading during a step only), the pause after each step, and a way to
// give up early (an application closing).
struct BackupPace {
    int pagesPerStep = 256;
    int pauseMs = 0;
    std::function<bool()> cancelled;
};

// A consistent copy of the file through the engine's backup interface, safe while the
// program has the file open. The copy is written beside DEST and renamed into place, so
// DEST is never left half-written. Returns an empty text on success, else the reason.
QString backup(const QString& sourcePath, const QString& destPath, const BackupPace& pace = {});

} // namespace data::maintenance
