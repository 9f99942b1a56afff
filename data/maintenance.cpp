#include "data/maintenance.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <sqlite3.h>

namespace data::maintenance {
namespace {

struct Handle {
    sqlite3* db = nullptr;
    ~Handle() { sqlite3_close_v2(db); }
};

QString engineMessage(sqlite3* db, int rc) {
    return QStringLiteral("Erreur n° %1 : %2")
        .arg(rc & 0xff)
        .arg(QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
}

} // namespace

CheckResult check(const QString& path) {
    CheckResult result;
    if (!QFileInfo::exists(path)) {
        result.problems << QStringLiteral("Le fichier %1 est introuvable.").arg(path);
        return result;
    }
    Handle h;
    // Read-write when possible: a file left with a hot journal by a crash must be rolled
    // back before it can be read at all, and only a writer may do that.
    int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &h.db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(h.db);
        h.db = nullptr;
        rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &h.db, SQLITE_OPEN_READONLY,
                             nullptr);
    }
    if (rc != SQLITE_OK) {
        result.problems << engineMessage(h.db, rc);
        return result;
    }
    sqlite3_busy_timeout(h.db, 2000);
    sqlite3_stmt* stmt = nullptr;
    rc = sqlite3_prepare_v2(h.db, "PRAGMA integrity_check", -1, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        result.problems << engineMessage(h.db, rc);
        return result;
    }
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        result.problems << QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    if (rc != SQLITE_DONE)
        result.problems << engineMessage(h.db, rc);
    sqlite3_finalize(stmt);
    result.sound = result.problems == QStringList{QStringLiteral("ok")};
    if (result.sound)
        result.problems.clear();
    return result;
}

QString backup(const QString& sourcePath, const QString& destPath, const BackupPace& pace) {
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
            return engineMessage(source.db, rc);
        sqlite3_busy_timeout(source.db, 2000);
        rc = sqlite3_open_v2(QFile::encodeName(partial).constData(), &dest.db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc != SQLITE_OK)
            return engineMessage(dest.db, rc);
        sqlite3_backup* copy = sqlite3_backup_init(dest.db, "main", source.db, "main");
        if (!copy)
            return engineMessage(dest.db, sqlite3_errcode(dest.db));
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
            failure = engineMessage(nullptr, rc == SQLITE_OK ? SQLITE_BUSY : rc);
        else if (finished != SQLITE_OK)
            failure = engineMessage(dest.db, finished);
    }
    if (failure.isEmpty() && !QFile::rename(partial, destPath))
        failure = QStringLiteral("Impossible de créer %1.").arg(destPath);
    if (!failure.isEmpty())
        QFile::remove(partial);
    return failure;
}

} // namespace data::maintenance
