#include "data/dailycopy.h"

#include "data/maintenance.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace dailycopy {

QString folderFor(const QString& databaseFile) {
    return QFileInfo(databaseFile).dir().filePath(QStringLiteral("sauvegardes"));
}

QString copyFor(const QString& databaseFile, const QDate& day) {
    return QDir(folderFor(databaseFile))
        .filePath(QStringLiteral("velmora-%1.mdb").arg(day.toString(QStringLiteral("yyyy-MM-dd"))));
}

Outcome run(const QString& databaseFile, const QDate& today,
            const std::function<bool()>& cancelled) {
    Outcome outcome;
    const QString folder = folderFor(databaseFile);
    const QString target = copyFor(databaseFile, today);
    if (!QFileInfo::exists(target)) {
        if (!QDir().mkpath(folder)) {
            outcome.error = QStringLiteral("Impossible de créer le dossier %1.").arg(folder);
            return outcome;
        }
        // About 4 MB a step, a few milliseconds: a recording never waits longer than that.
        data::maintenance::BackupPace pace;
        pace.pagesPerStep = 1024;
        pace.pauseMs = 5;
        pace.cancelled = cancelled;
        outcome.error = data::maintenance::backup(databaseFile, target, pace);
        if (!outcome.error.isEmpty())
            return outcome;
        outcome.made = true;
    }
    // Names sort by date; only the program's own copies are counted and deleted.
    QStringList copies = QDir(folder).entryList({QStringLiteral("velmora-\?\?\?\?-\?\?-\?\?.mdb")},
                                                QDir::Files, QDir::Name);
    while (copies.size() > kKept) {
        const QString oldest = QDir(folder).filePath(copies.takeFirst());
        if (QFile::remove(oldest))
            outcome.removed << oldest;
        else
            outcome.error =
                QStringLiteral("Impossible de supprimer l'ancienne copie %1.").arg(oldest);
    }
    return outcome;
}

Background::Background(QString databaseFile, QDate today, QObject* parent)
    : QThread(parent), m_file(std::move(databaseFile)), m_today(today) {}

Background::~Background() {
    requestInterruption();
    wait();
}

void Background::run() {
    m_outcome = dailycopy::run(m_file, m_today, [this] { return isInterruptionRequested(); });
    if (!m_outcome.error.isEmpty())
        QTextStream(stderr) << "velmora : copie du jour non faite : " << m_outcome.error
                            << Qt::endl;
}

} // namespace dailycopy
