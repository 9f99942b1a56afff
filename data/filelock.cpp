#include "data/filelock.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QSysInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#endif

namespace data {
namespace {

bool processRunning(qint64 pid) {
    if (pid <= 0)
        return false;
#ifdef Q_OS_WIN
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD status = 0;
    const bool running = GetExitCodeProcess(process, &status) && status == STILL_ACTIVE;
    CloseHandle(process);
    return running;
#else
    // Another user's process answers "not permitted": it runs all the same.
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
#endif
}

QString shown(const QString& path) {
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

} // namespace

QString folderRefusal(const QString& folder) {
    // The refusal comes from the nearest part of the path that exists.
    QFileInfo existing(QDir(folder).absolutePath());
    while (!existing.exists() && !existing.isRoot() &&
           existing.absolutePath() != existing.absoluteFilePath())
        existing = QFileInfo(existing.absolutePath());
    const QString where = shown(existing.absoluteFilePath());
    if (existing.exists() && !existing.isDir())
        return QStringLiteral("%1 est un fichier, et non un dossier.").arg(where);
    const QStorageInfo storage(existing.absoluteFilePath());
    if (storage.isValid() && storage.isReadOnly())
        return QStringLiteral("Le dossier %1 est sur un support en lecture seule (clé USB "
                              "protégée en écriture, disque monté en lecture seule…).")
            .arg(where);
    if (existing.exists() && !existing.isWritable())
        return QStringLiteral("Vous n'avez pas le droit d'écrire dans le dossier %1.").arg(where);
    if (storage.isValid() && storage.bytesAvailable() == 0)
        return QStringLiteral("Le disque du dossier %1 est plein.").arg(where);
    return QStringLiteral("Le dossier %1 n'accepte pas de nouveau fichier.").arg(where);
}

FileLock::FileLock(const QString& databaseFile) : m_path(pathFor(databaseFile)), m_lock(m_path) {
    // A running program holds the file for hours; only a lock whose program is gone is
    // stale.
    m_lock.setStaleLockTime(0);
}

FileLock::~FileLock() {
    m_lock.unlock();
}

QString FileLock::pathFor(const QString& databaseFile) {
    return databaseFile + QStringLiteral(".verrou");
}

FileLock::State FileLock::tryLock() {
    m_reason.clear();
    if (m_lock.tryLock(0))
        return State::Taken;
    const QString folder = QFileInfo(m_path).absolutePath();
    if (m_lock.error() != QLockFile::LockFailedError) {
        m_reason = folderRefusal(folder);
        return State::CannotLock;
    }
    qint64 pid = 0;
    QString host, program;
    const bool told = m_lock.getLockInfo(&pid, &host, &program);
    const bool thisMachine = host.isEmpty() || host == QSysInfo::machineHostName();
    if (told && thisMachine && !processRunning(pid)) {
        // Qt takes such a lock over, unless the folder refuses the removal.
        m_reason = QStringLiteral("Le verrou %1, laissé par un programme arrêté, ne peut pas "
                                  "être retiré. %2")
                       .arg(shown(m_path), folderRefusal(folder));
        return State::CannotLock;
    }
    if (told)
        m_reason = QStringLiteral("%1, n° %2, sur %3")
                       .arg(program.isEmpty() ? QStringLiteral("programme inconnu") : program)
                       .arg(pid)
                       .arg(host.isEmpty() ? QSysInfo::machineHostName() : host);
    return State::HeldElsewhere;
}

void FileLock::unlock() {
    m_lock.unlock();
}

} // namespace data
