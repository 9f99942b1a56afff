#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// Looking after a database file from outside the program: a full check and a safe copy.
namespace data::maintenance {

struct CheckResult {
    enum class Verdict {
        Sound,
        Damaged,    // an SQLite file the engine finds faults in: a copy should be restored
        NotVelmora, // refused by the program's opening: not SQLite, another application's,
                    // a newer version's, lacking tables
        Missing,
        Locked,    // another program holds it: try again
        Unreadable // cannot be opened (permissions)
    };
    Verdict verdict = Verdict::Missing;
    bool sound = false;
    QString explanation;  // in French, as the program words it; empty when sound or damaged
    QStringList problems; // the engine's own findings, or its text for the failure
    QString latestCopy;   // damaged: the newest daily copy beside it, if any
};

// The program's recognition of the file (without writing to it), then PRAGMA
// integrity_check over the whole file, after the engine has rolled back what a crash may
// have left half-written.
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
// DEST is never left half-written. Returns an empty text on success, else the reason in
// French; detail, when given, receives the engine's own words.
QString backup(const QString& sourcePath, const QString& destPath, const BackupPace& pace = {},
               QString* detail = nullptr);

// Flushes a file, or a folder after a rename in it, to the disk: its data must be there
// before its name says it is.
void syncToDisk(const QString& path);

} // namespace data::maintenance
