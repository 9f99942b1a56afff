#pragma once

#include "data/database.h"
#include "data/money.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

// The year's book. The ledger's months carry no year, so one file holds one year: EXERCICE
// says which. Closing it moves the year's JEUX and USERS rows, exactly, into an archive file
// beside velmora.mdb (archives/velmora-AAAA.mdb) and opens the next year with each player's
// closing balance as his January row. Free of any window: the main window and velmora-db
// both call these.
namespace ledger {

// ---- The open year

// The year recorded in the file; nothing for a file made before the year was kept.
std::optional<int> storedYear(const data::Database& db);
// The year to propose for a file that has none: the current one, or the one just ended in
// January and February, when last year's ledger is most likely still the one in use.
int proposedYear(const QDate& today);
// The stored year, else the proposed one.
int openYear(const data::Database& db, const QDate& today);
// Whether y can be a ledger's year (four digits).
bool isPlausibleYear(int year);
// Records the file's year, adding EXERCICE to a file made before it; one transaction.
// Throws data::DbError.
void recordYear(const data::Database& db, int year);

// ---- Writing while a new year has begun

struct YearRefusal {
    QString title; // "Nouvelle année"
    QString text;  // "Clôturez d'abord l'année AAAA (menu Fichier)."
};

// Whether a write filed under month (a ledger month name) must wait for the closing: once
// today is in the year after the open one, a month that is not after today's month would
// mix the two years' entries; the open year's later months still take late entries. Two
// years or more behind, every write waits. A text that names no month waits too.
std::optional<YearRefusal> yearRefusal(int openYear, const QString& month, const QDate& today);
std::optional<YearRefusal> yearRefusal(const data::Database& db, const QString& month,
                                       const QDate& today);

// "L'année AAAA est terminée : pensez à la clôturer." once today is past the open year,
// else empty.
QString yearStatus(int openYear, const QDate& today);
QString yearStatus(const data::Database& db, const QDate& today);

// ---- Archives

// folderOfFile/archives, beside velmora.mdb.
QString archiveFolder(const QString& databaseFile);
// archiveFolder(databaseFile)/velmora-AAAA.mdb
QString archivePath(const QString& databaseFile, int year);

struct ArchiveFile {
    int year = 0;
    QString path;
};
// The archives in the archives/ folder of `folder` (the folder holding velmora.mdb),
// newest year first.
QVector<ArchiveFile> archives(const QString& folder);

// An archive opened for reading only. Throws data::OpenError.
std::shared_ptr<data::Database> openArchive(const QString& path);

// The bets of every closed year beside `db` that its results now settle otherwise, into
// `settling.changedAfterClosing`; an archive that cannot be read is named in the returned
// lines instead.
struct Settling;
QStringList addChangesSinceClosing(const data::Database& db, Settling& settling);

// ---- Closing the open year

struct ClosingBalance {
    QString player;
    QString month; // his latest month, whose SoldeEnCours he takes into January
    Money balance;
};

// What closing the open year would do, for the question asked before it.
struct ClosingRecap {
    int year = 0;
    qint64 lines = 0;                // JEUX rows archived
    QVector<ClosingBalance> players; // in French order
    QString archive;                 // the archive's path
};
ClosingRecap closingRecap(const data::Database& db, const QDate& today);
// The recap in French, ending with the question "Clôturer l'année AAAA ?".
QString recapText(const ClosingRecap& recap);

// The moments of a closing, in order; reported as each is reached (a window may show its
// progress). The file is changed only by the commit after LedgerCleared.
enum class ClosingStep {
    Locked,         // the file's write lock is held, nothing written yet
    ArchiveCopied,  // the rows are in the archive, still under its temporary name
    ArchiveChecked, // the archive read back equal to the ledger, and on disk
    ArchiveInPlace, // renamed to velmora-AAAA.mdb (or found there from an interrupted closing)
    LedgerCleared,  // January rows and next year written, not yet committed
};

struct ClosingDone {
    int year = 0;
    QString archive;
    qint64 lines = 0;
    int players = 0;
    // The archive was already in place, left by a closing interrupted before its end.
    bool resumed = false;
};

// Why a closing was refused; the file was left as it was.
class ClosingRefused : public std::runtime_error {
public:
    enum class Reason {
        NotOpenYear,     // another year than the open one
        YearNotOver,     // today is still in the open year
        BetsUnsettled,   // bets still pending, or won or refunded and not cashed
        UnknownMonth,    // a month name in JEUX or USERS that names no ledger month
        AlreadyClosed,   // that year's archive exists and a later year is open
        ArchiveMismatch, // an archive of that name that is not this ledger
        Busy,            // another program holds the file
        DiskFull,
        Failed // any other failure of the engine or the file system
    };
    ClosingRefused(Reason reason, QString text, QString engineText = QString())
        : std::runtime_error(text.toStdString()), reason(reason), text(std::move(text)),
          engineText(std::move(engineText)) {}
    Reason reason;
    QString text;       // in French, for the user
    QString engineText; // the engine's own words, when it failed
};

// Closes `year`, which must be the open year and over (regional::today() is past it):
// writes and checks its archive, then, in one transaction of the file, deletes every JEUX
// and USERS row, gives each player a Janvier row holding his closing balance and opens the
// next year. MESSUIVITS, COURSES, CR and TYPEJEUX stay. A month name the ledger cannot read
// refuses it: that month's balance could not be placed in the year. A temporary archive left by an
// interrupted closing is removed; an archive in place that holds exactly this ledger is
// taken as written and the closing finished. Throws ClosingRefused, the file unchanged.
ClosingDone closeYear(const data::Database& db, int year,
                      const std::function<void(ClosingStep)>& reached = {});

} // namespace ledger
