#include "data/maintenance.h"

#include "data/dailycopy.h"
#include "data/errors.h"
#include "data/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <fcntl.h>
#include <sqlite3.h>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace data::maintenance {
namespace {

struct Handle {
    sqlite3* db = nullptr;
    ~Handle() { sqlite3_close_v2(db); }
};

QString engineMessage(sqlite3* db, int rc) {
    return errors::engineWords(rc & 0xff,
                               QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
}

// Why a copy failed, in words a user can act on; the engine's own text goes to detail.
QString copyFailure(sqlite3* db, int rc, QString* detail) {
    if (detail)
        *detail = engineMessage(db, rc);
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("Copie impossible : le fichier est utilisé par un autre programme "
                              "; réessayez.");
    case SQLITE_FULL:
        return QStringLiteral("Copie impossible : le disque est plein.");
    case SQLITE_CANTOPEN:
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return QStringLiteral("Copie impossible : un des fichiers ne peut pas être ouvert "
                              "(dossier introuvable ou protégé en écriture ?).");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("Copie impossible : le fichier est endommagé.");
    case SQLITE_IOERR:
        return QStringLiteral("Copie impossible : erreur de lecture ou d'écriture sur le disque.");
    default:
        return QStringLiteral("Copie impossible (erreur n° %1 du moteur de base de données).")
            .arg(rc & 0xff);
    }
}

bool sqliteHeader(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(16) == QByteArray("SQLite format 3\0", 16);
}

// The daily copies' names sort by date: the last is the newest.
QString latestCopy(const QString& path) {
    const QStringList copies =
        QDir(dailycopy::folderFor(path))
            .entryList({QStringLiteral("velmora-\?\?\?\?-\?\?-\?\?.mdb")}, QDir::Files, QDir::Name);
    return copies.isEmpty() ? QString() : copies.last();
}

} // namespace

CheckResult check(const QString& path) {
    using Verdict = CheckResult::Verdict;
    CheckResult result;
    if (!QFileInfo::exists(path)) {
        result.explanation = QStringLiteral("Le fichier %1 est introuvable.").arg(path);
        return result;
    }
    std::shared_ptr<Database> db;
    try {
        db = schema::openUnchanged(path);
    } catch (const OpenError& error) {
        result.explanation = error.explanation();
        result.problems << error.engineText();
        switch (error.kind()) {
        case OpenError::Kind::Missing:
            result.verdict = Verdict::Missing;
            break;
        case OpenError::Kind::Busy:
            result.verdict = Verdict::Locked;
            break;
        case OpenError::Kind::NotDatabase:
            // An SQLite file the engine cannot read is damaged; anything else is not ours.
            result.verdict = sqliteHeader(path) ? Verdict::Damaged : Verdict::NotVelmora;
            break;
        case OpenError::Kind::Other:
            result.verdict = Verdict::Unreadable;
            break;
        default:
            result.verdict = Verdict::NotVelmora;
            break;
        }
        if (result.verdict == Verdict::Damaged)
            result.latestCopy = latestCopy(path);
        return result;
    }
    sqlite3* h = db->raw();
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(h, "PRAGMA integrity_check", -1, &stmt, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        result.problems << QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        rc = SQLITE_OK;
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        result.problems << engineMessage(h, rc);
        switch (rc & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            result.verdict = Verdict::Locked;
            break;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            result.verdict = Verdict::Damaged;
            break;
        default:
            result.verdict = Verdict::Unreadable;
            result.explanation =
                QStringLiteral("Le fichier %1 ne peut pas être lu jusqu'au bout.").arg(path);
            break;
        }
    } else if (result.problems == QStringList{QStringLiteral("ok")}) {
        result.verdict = Verdict::Sound;
        result.sound = true;
        result.problems.clear();
    } else {
        result.verdict = Verdict::Damaged;
    }
    if (result.verdict == Verdict::Damaged)
        result.latestCopy = latestCopy(path);
    return result;
}

QString backup(const QString& sourcePath, const QString& destPath, const BackupPace& pace,
               QString* detail) {
    if (!QFileInfo::exists(sourcePath))
        return QStringLiteral("Le fichier %1 est introuvable.").arg(sourcePath);
    if (QFileInfo::exists(destPath))
        return QStringLiteral("Le fichier %1 existe déjà : il n'est pas remplacé.").arg(destPath);
    const QString partial = destPath + QStringLiteral(".partiel");
    QFile::remove(partial);
    QString failure;
    {
        Handle source, dest;
        int rc = sqlite3_open_v2(QFile::encodeName(sourcePath).constData(), &source.db,
                                 SQLITE_OPEN_READONLY, nullptr);
        if (rc != SQLITE_OK)
            return copyFailure(source.db, rc, detail);
        sqlite3_busy_timeout(source.db, 2000);
        rc = sqlite3_open_v2(QFile::encodeName(partial).constData(), &dest.db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc != SQLITE_OK)
            return copyFailure(dest.db, rc, detail);
        sqlite3_backup* copy = sqlite3_backup_init(dest.db, "main", source.db, "main");
        if (!copy)
            return copyFailure(dest.db, sqlite3_errcode(dest.db), detail);
        // The program may be writing: the backup restarts by itself when the source
        // changes, and waits while it is locked.
        int waited = 0;
        bool cancelled = false;
        do {
            rc = sqlite3_backup_step(copy, pace.pagesPerStep);
            if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
                QThread::msleep(50);
                waited += 50;
            } else if (rc == SQLITE_OK) {
                // Only a file locked for 30 s on end stops the copy, not a busy day's
                // recordings added up.
                waited = 0;
                if (pace.pauseMs > 0)
                    QThread::msleep(pace.pauseMs);
            }
            cancelled = pace.cancelled && pace.cancelled();
        } while ((rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && waited < 30000 &&
                 !cancelled);
        const int finished = sqlite3_backup_finish(copy);
        if (cancelled && rc != SQLITE_DONE)
            failure = QStringLiteral("Copie interrompue.");
        else if (rc != SQLITE_DONE)
            failure = copyFailure(nullptr, rc == SQLITE_OK ? SQLITE_BUSY : rc, detail);
        else if (finished != SQLITE_OK)
            failure = copyFailure(dest.db, finished, detail);
    }
    if (failure.isEmpty() && !QFile::rename(partial, destPath))
        failure = QStringLiteral("Impossible de créer %1.").arg(destPath);
    if (!failure.isEmpty())
        QFile::remove(partial);
    return failure;
}

void syncToDisk(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
#ifdef Q_OS_WIN
    const int fd = ::_open(name.constData(), _O_RDWR);
    if (fd >= 0) {
        ::_commit(fd);
        ::_close(fd);
    }
#else
    const int fd = ::open(name.constData(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#endif
}

} // namespace data::maintenance
