#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVector>
#include <functional>
#include <optional>
#include <stdexcept>

// Going back to a copy of velmora.mdb kept in sauvegardes/: the copies listed with what they
// hold, and one put in the file's place whole, after a copy of the file as it was. Free of
// any window: the program's window and velmora-db both call these.
namespace ledger {

struct SavedCopy {
    QString path;
    QDateTime made;               // from its name, else the file's own time
    bool beforeRestoring = false; // the copy a restoring made of the file it replaced
    qint64 size = 0;              // in bytes
    // Not a sound Velmora file: never offered for restoring. `problem` says why.
    bool damaged = false;
    QString problem;
    qint64 lines = 0;        // ledger lines (JEUX)
    QDate lastLine;          // the day of its last line; invalid without lines
    std::optional<int> year; // its open year
    bool checked = false;    // its pages checked through by the engine
};

// The copies in sauvegardes/ beside the file, newest first, each opened through a read-only
// connection and read: a copy that does not open or read is damaged. Its pages are only
// checked through (`checked`) by checkCopy, a copy at a time: ten copies of a large file
// would keep the window waiting. Copies being written (".partiel") are left out.
QVector<SavedCopy> savedCopies(const QString& databaseFile);
// One copy read as savedCopies() reads it, its pages checked through when `thorough`.
SavedCopy readCopy(const QString& path, bool thorough = true);

// How many ledger lines the file holds; nothing when it cannot be read.
std::optional<qint64> ledgerLines(const QString& databaseFile);

// "Remplacer le registre actuel (N lignes) par la copie du JJ/MM/AAAA (M lignes) ?"
QString restoreQuestion(qint64 currentLines, const SavedCopy& copy);

// The moments of a restoring, in order. Until Replaced, velmora.mdb is the file it was.
enum class RestoreStep {
    SafetyCopied, // the file as it was is in sauvegardes/avant-restauration-…
    CopyWritten,  // the copy is beside the file under a temporary name
    CopyChecked,  // read back sound, and on the disk
    Replaced,     // renamed over velmora.mdb
};

class RestoreRefused : public std::runtime_error {
public:
    explicit RestoreRefused(QString text)
        : std::runtime_error(text.toStdString()), text(std::move(text)) {}
    QString text; // in French, for the user
};

struct Restored {
    QString safetyCopy; // empty when there was no file to copy
    qint64 lines = 0;   // the restored file's ledger lines
};

// sauvegardes/avant-restauration-AAAA-MM-JJ-HHMMSS.mdb: a name the daily copies' rotation
// neither counts nor removes.
QString safetyCopyFor(const QString& databaseFile);

// Puts `copy` in the place of `databaseFile`: the file is first copied whole to
// safetyCopyFor(); the copy is then written beside it under a temporary name, checked,
// synced and renamed over it, so that a stop at any moment leaves the old file or the
// restored one, whole. The caller holds the file's lock and has closed its connections to
// it. Refused (RestoreRefused, the file unchanged) for a damaged copy, a file that is no
// Velmora copy, a year's archive, or a copy from before a year's closing.
Restored restoreCopy(const QString& databaseFile, const QString& copy,
                     const std::function<void(RestoreStep)>& reached = {});

} // namespace ledger
