#include "data/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace paths {
namespace {

const QString kFileName = QStringLiteral("velmora.mdb");

QString& overriddenProgramFolder() {
    static QString folder;
    return folder;
}

QString& chosenFolder() {
    static QString folder;
    return folder;
}

bool holdsFile(const QString& folder) {
    return QFileInfo(QDir(folder).filePath(kFileName)).isFile();
}

} // namespace

QString programFolder() {
    if (!overriddenProgramFolder().isEmpty())
        return overriddenProgramFolder();
    return QCoreApplication::applicationDirPath();
}

void setProgramFolder(const QString& folder) {
    overriddenProgramFolder() = folder;
    chosenFolder().clear();
}

// Named for the program, whatever name the running executable gave itself: velmora and
// velmora-db find the same file.
QString userDataFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Velmora"));
}

QString findDatabaseFolder() {
    for (const QString& folder : {programFolder(), userDataFolder()})
        if (holdsFile(folder))
            return folder;
    return {};
}

QString databaseFolder() {
    return chosenFolder().isEmpty() ? programFolder() : chosenFolder();
}

void useDatabaseFolder(const QString& folder) {
    chosenFolder() = folder;
}

QString databaseFile() {
    return QDir(databaseFolder()).filePath(kFileName);
}

} // namespace paths
