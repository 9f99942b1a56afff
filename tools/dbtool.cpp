#include "tools/dbtool.h"

#include "data/maintenance.h"
#include "data/schema.h"
#include "tools/importer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

const char* const kUsage =
    "Utilisation :\n"
    "  velmora-db init [DOSSIER]        crée DOSSIER/velmora.mdb (dossier du programme par "
    "défaut)\n"
    "  velmora-db import-results FICHIER [DOSSIER] [--skip-bad]\n"
    "                                   ajoute les résultats de courses du fichier CSV à la\n"
    "                                   table CR de DOSSIER/velmora.mdb ; avec --skip-bad, les\n"
    "                                   lignes valides sont importées et les autres listées\n"
    "  velmora-db check [DOSSIER]       vérifie l'intégrité de DOSSIER/velmora.mdb\n"
    "  velmora-db backup DESTINATION [DOSSIER]\n"
    "                                   copie sûre de DOSSIER/velmora.mdb, même programme "
    "ouvert\n";

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

QString grouped(qint64 n) {
    QString text = QString::number(n);
    for (int i = text.size() - 3; i > 0; i -= 3)
        text.insert(i, QLatin1Char(' '));
    return text;
}

int importResults(QStringList args, QTextStream& out, QTextStream& err) {
    importer::Options options;
    options.skipBad = args.removeAll(QStringLiteral("--skip-bad")) > 0;
    if (args.size() < 2 || args.size() > 3) {
        err << kUsage;
        return 2;
    }
    const QString csv = args.at(1);
    const QString path = databaseIn(args, 2);
    std::shared_ptr<data::Database> db;
    try {
        db = data::schema::openFile(path);
    } catch (const data::OpenError& error) {
        err << "velmora-db: " << error.explanation() << " (" << error.engineText() << ")\n";
        return 1;
    }
    sqlite3* handle = db->raw();
    if (!handle) {
        err << "velmora-db: " << path << " : accès direct à la base impossible\n";
        return 1;
    }
    err.flush();
    const importer::Summary summary = importer::importFile(csv, handle, options, err);
    err.flush();
    if (!summary.committed) {
        if (summary.refused > 0)
            out << "Fichier refusé : " << grouped(summary.refused) << " ligne(s) refusée(s) sur "
                << grouped(summary.rows)
                << " ; rien n'a été importé (--skip-bad importe les lignes valides).\n";
        else
            out << "Rien n'a été importé.\n";
        return 1;
    }
    out << "Import terminé : " << grouped(summary.imported) << " ligne(s) importée(s), "
        << grouped(summary.duplicates) << " déjà présente(s), " << grouped(summary.refused)
        << " refusée(s).\n";
    return 0;
}

int check(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.size() > 2) {
        err << kUsage;
        return 2;
    }
    const QString path = databaseIn(args, 1);
    const data::maintenance::CheckResult result = data::maintenance::check(path);
    if (result.sound) {
        out << path << " : fichier sain.\n";
        return 0;
    }
    out << path << " : fichier endommagé ou illisible.\n";
    for (const QString& problem : result.problems)
        out << "  " << problem << '\n';
    return 1;
}

int backup(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.size() < 2 || args.size() > 3) {
        err << kUsage;
        return 2;
    }
    const QString source = databaseIn(args, 2);
    const QString dest = QFileInfo(args.at(1)).absoluteFilePath();
    const QString failure = data::maintenance::backup(source, dest);
    if (!failure.isEmpty()) {
        err << "velmora-db: " << failure << '\n';
        return 1;
    }
    out << "Copie enregistrée : " << dest << '\n';
    return 0;
}

} // namespace

int runDbTool(const QStringList& args, QTextStream& out, QTextStream& err) {
    const QString command = args.value(0);
    if (command == QLatin1String("init"))
        return init(args, out, err);
    if (command == QLatin1String("import-results"))
        return importResults(args, out, err);
    if (command == QLatin1String("check"))
        return check(args, out, err);
    if (command == QLatin1String("backup"))
        return backup(args, out, err);
    err << kUsage;
    return 2;
}
