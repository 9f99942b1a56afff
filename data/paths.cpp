#include "data/paths.h"

#include <QCoreApplication>
#include <QDir>

namespace paths {
namespace {
QString& overridden() {
    static QString folder;
    return folder;
}
} // namespace

QString programFolder() {
    if (!overridden().isEmpty())
        return overridden();
    return QCoreApplication::applicationDirPath();
}

void setProgramFolder(const QString& folder) {
    overridden() = folder;
}

QString databaseFile() {
    return QDir(programFolder()).filePath(QStringLiteral("velmora.mdb"));
}

} // namespace paths
