#include "tools/dbtool.h"

#include "data/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

const char* const kUsage =
    "Utilisation :\n"
    "  velmora-db init [DOSSIER]        crée DOSSIER/velmora.mdb (dossier du programme par "
    "défaut)\n";

QString databaseIn(const QStringList& args, int index) {
    const QString folder =
        args.size() > index ? args.at(index) : QCoreApplication::applicationDirPath();
    return QDir(folder).absoluteFilePath(QStringLiteral("velmora.mdb"));
}

int init(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.size() > 2) {
        err << kUsage;
        return 2;
    }
    const QString path = databaseIn(args, 1);
    if (QFileInfo::exists(path)) {
        err << "velmora-db: " << path << " existe déjà ; il n'est pas remplacé.\n";
        return 1;
    }
    try {
        data::schema::createFile(path);
    } catch (const data::DbError& error) {
        err << "velmora-db: " << path << " : " << error.engineText() << '\n';
        return 1;
    }
    out << "Fichier créé : " << path << '\n';
    return 0;
}

} // namespace

int runDbTool(const QStringList& args, QTextStream& out, QTextStream& err) {
    const QString command = args.value(0);
    if (command == QLatin1String("init"))
        return init(args, out, err);
    err << kUsage;
    return 2;
}
