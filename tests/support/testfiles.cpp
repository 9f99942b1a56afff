#include "tests/support/testfiles.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <unistd.h>

namespace testfiles {

QByteArray hashOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

namespace {

// The shell's own arguments: $0 the folder, then the program and its arguments.
const QString kMountReadOnly =
    QStringLiteral("mount --bind \"$0\" \"$0\" && mount -o remount,bind,ro \"$0\" && exec \"$@\"");

bool exitsWell(const QString& program, const QStringList& arguments) {
    QProcess probe;
    probe.start(program, arguments);
    return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}

} // namespace

std::optional<ReadOnlyRun> readOnlyRun(const QString& folder, const QString& program,
                                       const QStringList& arguments) {
    const auto everyone = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                          QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                          QFileDevice::ExeOther;
    if (!QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty()) {
        // Namespaces may be refused (a container, a kernel setting): tried before use.
        for (const QString& flags : {QStringLiteral("-rm"), QStringLiteral("-m")}) {
            const QStringList mounted{flags, QStringLiteral("sh"), QStringLiteral("-c"),
                                      kMountReadOnly, folder};
            if (!exitsWell(QStringLiteral("unshare"),
                           mounted +
                               QStringList{QStringLiteral("sh"), QStringLiteral("-c"),
                                           QStringLiteral("! touch \"$0/.essai\" 2>/dev/null"),
                                           folder}))
                continue;
            return ReadOnlyRun{QStringLiteral("unshare"),
                               mounted + QStringList{program} + arguments,
                               QStringLiteral("bind mount")};
        }
    }
    if (geteuid() == 0) {
        if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            return std::nullopt;
        // Root's folder, which the other user enters and reads, but cannot write.
        QFile::setPermissions(folder, everyone);
        const QStringList asNobody{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                   QStringLiteral("--clear-groups")};
        if (!exitsWell(QStringLiteral("setpriv"),
                       asNobody + QStringList{QStringLiteral("sh"), QStringLiteral("-c"),
                                              QStringLiteral("test -r \"$0\" && ! touch "
                                                             "\"$0/.essai\" 2>/dev/null"),
                                              folder}))
            return std::nullopt;
        return ReadOnlyRun{QStringLiteral("setpriv"), asNobody + QStringList{program} + arguments,
                           QStringLiteral("non-root user")};
    }
    if (!QFile::setPermissions(folder, everyone & ~QFileDevice::WriteOwner))
        return std::nullopt;
    return ReadOnlyRun{program, arguments, QStringLiteral("permissions"),
                       [folder, everyone] { QFile::setPermissions(folder, everyone); }};
}

} // namespace testfiles
