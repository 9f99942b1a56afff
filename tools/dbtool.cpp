#include "tools/dbtool.h"

#include "data/maintenance.h"
#include "data/schema.h"
#include "tools/importer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <optional>

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
    "ouvert\n"
    "  velmora-db --help                cette aide\n"
    "\n"
    "Statut de sortie d'import-results :\n"
    "  0  toutes les lignes sont importées ou déjà présentes (fichier vide compris)\n"
    "  1  fichier refusé ou illisible, ou base impossible à modifier : rien n'a changé\n"
    "  2  ligne de commande erronée\n"
    "  3  --skip-bad a écarté des lignes refusées et importé les autres\n";

// Splits a command's arguments (after its name) into positional ones and the options it
// knows. An unknown option is a usage error: "--skipbad" is no folder name.
// A subcommand's arguments, or the status it must end with at once: 0 after the usage text
// was asked for, 2 for an unknown option or a wrong number of arguments.
struct CommandLine {
    QStringList positional;
    QStringList options;
    std::optional<int> exitNow;
};

CommandLine parse(const QStringList& args, const QStringList& known, int minPositional,
                  int maxPositional, QTextStream& out, QTextStream& err) {
    CommandLine line;
    bool optionsEnded = false;
    for (const QString& arg : args.mid(1)) {
        if (!optionsEnded && arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg.startsWith(QLatin1Char('-'))) {
            if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
                out << kUsage;
                line.exitNow = 0;
                return line;
            }
            if (!known.contains(arg)) {
                err << "velmora-db: option inconnue : " << arg << '\n' << kUsage;
                line.exitNow = 2;
                return line;
            }
            line.options << arg;
        } else {
            line.positional << arg;
        }
    }
    if (line.positional.size() < minPositional || line.positional.size() > maxPositional) {
        err << kUsage;
        line.exitNow = 2;
    }
    return line;
}

QString databaseIn(const QStringList& args, int index) {
    const QString folder =
        args.size() > index ? args.at(index) : QCoreApplication::applicationDirPath();
    return QDir(folder).absoluteFilePath(QStringLiteral("velmora.mdb"));
}

int init(const QStringList& args, QTextStream& out, QTextStream& err) {
    const CommandLine line = parse(args, {}, 0, 1, out, err);
    if (line.exitNow)
        return *line.exitNow;
    const QStringList& positional = line.positional;
    const QString path = databaseIn(positional, 0);
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

// Exit statuses as the usage text and the README give them.
int importResults(const QStringList& args, QTextStream& out, QTextStream& err) {
    const CommandLine line = parse(args, {QStringLiteral("--skip-bad")}, 1, 2, out, err);
    if (line.exitNow)
        return *line.exitNow;
    const QStringList& positional = line.positional;
    importer::Options options;
    options.skipBad = line.options.contains(QStringLiteral("--skip-bad"));
    const QString csv = positional.at(0);
    const QString path = databaseIn(positional, 1);
    std::shared_ptr<data::Database> db;
    try {
        db = data::schema::openFile(path);
    } catch (const data::OpenError& error) {
        if (error.kind() == data::OpenError::Kind::Busy)
            err << "velmora-db: " << path
                << " : le fichier est utilisé par un autre programme ; réessayez\n";
        else
            err << "velmora-db: " << error.explanation() << " (" << error.engineText() << ")\n";
        out << "Rien n'a été importé.\n";
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
        if (summary.refused > 0 && !summary.databaseError)
            out << "Fichier refusé : " << grouped(summary.refused) << " ligne(s) refusée(s) sur "
                << grouped(summary.rows) << " ; rien n'a été importé"
                << (options.skipBad ? "." : " (--skip-bad importe les lignes valides).") << '\n';
        else
            out << "Rien n'a été importé.\n";
        return 1;
    }
    if (summary.rows == 0) {
        out << "Rien à importer : le fichier ne contient aucune ligne de résultats.\n";
        return 0;
    }
    const QString counts =
        QStringLiteral("%1 ligne(s) importée(s), %2 déjà présente(s), %3 "
                       "refusée(s)")
            .arg(grouped(summary.imported), grouped(summary.duplicates), grouped(summary.refused));
    if (summary.refused > 0) {
        out << "Import partiel : " << counts << " ; les lignes refusées sont listées.\n";
        return 3;
    }
    out << "Import terminé : " << counts << ".\n";
    return 0;
}

int check(const QStringList& args, QTextStream& out, QTextStream& err) {
    const CommandLine line = parse(args, {}, 0, 1, out, err);
    if (line.exitNow)
        return *line.exitNow;
    const QStringList& positional = line.positional;
    const QString path = databaseIn(positional, 0);
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
    const CommandLine line = parse(args, {}, 1, 2, out, err);
    if (line.exitNow)
        return *line.exitNow;
    const QStringList& positional = line.positional;
    const QString source = databaseIn(positional, 1);
    const QString dest = QFileInfo(positional.at(0)).absoluteFilePath();
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
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        out << kUsage;
        return 0;
    }
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
