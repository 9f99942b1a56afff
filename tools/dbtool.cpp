#include "tools/dbtool.h"

#include "data/dailycopy.h"
#include "data/filelock.h"
#include "data/maintenance.h"
#include "data/paths.h"
#include "data/regional.h"
#include "data/schema.h"
#include "data/statement.h"
#include "ledger/betbook.h"
#include "ledger/chains.h"
#include "ledger/ledgerbook.h"
#include "ledger/restoring.h"
#include "ledger/yearbook.h"
#include "racing/resultnames.h"
#include "racing/vocabulary.h"
#include "tools/importer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <QTime>
#include <optional>

namespace {

const char* const kUsage =
    "Utilisation :\n"
    "  velmora-db init [DOSSIER]        crée DOSSIER/velmora.mdb (par défaut dans le dossier\n"
    "                                   de données, ~/.local/share/Velmora)\n"
    "  velmora-db import-results FICHIER [DOSSIER] [--skip-bad] [--encoding ENCODAGE]\n"
    "                                   ajoute les résultats de courses du fichier CSV à la\n"
    "                                   table CR de DOSSIER/velmora.mdb (FICHIER « - » : "
    "l'entrée\n"
    "                                   standard) ; avec --skip-bad, les lignes valides sont\n"
    "                                   importées et les autres listées. Un partant déjà dans "
    "CR\n"
    "                                   dont le fichier donne d'autres valeurs est mis à jour.\n"
    "                                   L'encodage (UTF-8 ou Windows-1252) est décidé sur tout\n"
    "                                   le fichier ; --encoding utf-8, windows-1252 ou\n"
    "                                   iso-8859-15 l'impose\n"
    "  velmora-db import-card FICHIER [DOSSIER] [--skip-bad] [--encoding ENCODAGE]\n"
    "                                   importe le programme du fichier CSV (colonnes de la\n"
    "                                   table PARTANTS : date, heure 13:50 ou 13h50,\n"
    "                                   hippodrome, R, C, cheval, cote du matin…) ; chaque\n"
    "                                   course du fichier (son jour, R et C) remplace celle\n"
    "                                   du programme enregistré, et les programmes de plus\n"
    "                                   de 30 jours sont retirés. Mêmes règles et options\n"
    "                                   qu'import-results\n"
    "  velmora-db check [DOSSIER] [--reparer]\n"
    "                                   reconnaît DOSSIER/velmora.mdb comme le programme,\n"
    "                                   vérifie son intégrité, puis que les soldes de chaque\n"
    "                                   joueur et de chaque mois s'enchaînent au centime, et\n"
    "                                   que chaque mois porte un nom de mois ; liste chaque\n"
    "                                   rupture de solde, puis leur nombre. Avec --reparer,\n"
    "                                   après une copie dans DOSSIER/sauvegardes/\n"
    "                                   (avant-reparation-AAAA-MM-JJ-HHMMSS.mdb), recalcule\n"
    "                                   en une transaction les soldes avant et après des\n"
    "                                   lignes et le solde en cours de chaque mois rompu,\n"
    "                                   depuis son solde de départ ; ni mise, ni gain, ni\n"
    "                                   crédit, ni autre mois ne change ; une archive ou une\n"
    "                                   copie n'est jamais réparée\n"
    "  velmora-db backup DESTINATION [DOSSIER] [--force]\n"
    "                                   copie sûre de DOSSIER/velmora.mdb, même programme "
    "ouvert ;\n"
    "                                   un fichier endommagé n'est copié qu'avec --force\n"
    "                                   check, backup et close-year acceptent aussi un\n"
    "                                   FICHIER .mdb à la place du DOSSIER ; un fichier qui\n"
    "                                   ne s'appelle pas velmora.mdb (une archive, une copie)\n"
    "                                   est lu sans jamais être modifié\n"
    "  velmora-db settle [DOSSIER]      règle les paris de DOSSIER/velmora.mdb d'après les\n"
    "                                   résultats de CR et liste chaque pari réglé, puis ceux\n"
    "                                   dont le cheval manque à sa course ; import-results le\n"
    "                                   fait aussi, dans sa transaction\n"
    "  velmora-db close-year AAAA [DOSSIER]\n"
    "                                   clôture l'année AAAA, l'année ouverte du fichier : son\n"
    "                                   registre passe dans DOSSIER/archives/velmora-AAAA.mdb\n"
    "                                   et l'année suivante s'ouvre avec le solde de fin\n"
    "                                   d'année de chaque joueur en Janvier\n"
    "  velmora-db restore COPIE [DOSSIER]\n"
    "                                   remplace DOSSIER/velmora.mdb par la copie COPIE (un\n"
    "                                   nom seul est cherché dans DOSSIER/sauvegardes/), après\n"
    "                                   une copie de sûreté du registre dans\n"
    "                                   DOSSIER/sauvegardes/avant-restauration-AAAA-MM-JJ-\n"
    "                                   HHMMSS.mdb ; refuse une copie endommagée, une archive\n"
    "                                   d'année close, une copie d'avant une clôture, et un\n"
    "                                   registre ouvert dans Velmora\n"
    "  velmora-db --help                cette aide\n"
    "  velmora-db --version             la version\n"
    "Sans DOSSIER, le fichier est cherché à côté du programme, puis dans le dossier de\n"
    "données de l'utilisateur (~/.local/share/Velmora), comme le fait Velmora.\n"
    "Avec --verbose, le texte du moteur de base de données suit les messages d'erreur.\n"
    "\n"
    "Statut de sortie d'import-results et d'import-card :\n"
    "  0  toutes les lignes sont importées, mises à jour ou déjà présentes (fichier vide "
    "compris)\n"
    "  1  fichier refusé ou illisible, ou base impossible à modifier : rien n'a changé\n"
    "  2  ligne de commande erronée\n"
    "  3  --skip-bad a écarté des lignes refusées et importé les autres\n"
    "Statut de sortie de check : 0 fichier sain, soldes enchaînés ; 1 rupture de solde ou\n"
    "mois inconnu (rien n'est modifié), ou fichier endommagé, introuvable, utilisé par un\n"
    "autre programme, ou que le programme refuse (autre application, version plus récente,\n"
    "tables manquantes) ; 2 ligne de commande erronée.\n"
    "Statut de sortie de check --reparer : 0 soldes enchaînés (réparés, ou rien à réparer) ;\n"
    "1 rien n'a été réparé (archive ou copie, fichier refusé, copie de sauvegarde ou écriture\n"
    "impossible), ou il reste des ruptures qu'il ne sait pas réparer (mois sans une seule\n"
    "ligne USERS) ou des mois inconnus ; 2 ligne de commande erronée.\n"
    "Statut de sortie de settle : 0 paris réglés (aucun à régler compris) ; 1 fichier\n"
    "introuvable, refusé, utilisé par un autre programme ou impossible à modifier : aucun\n"
    "pari n'a changé ; 2 ligne de commande erronée.\n"
    "Statut de sortie de close-year : 0 année clôturée ; 1 refusée, le fichier inchangé (la\n"
    "raison est donnée) ; 2 ligne de commande erronée.\n"
    "Statut de sortie de restore : 0 copie restaurée ; 1 refusée, le registre inchangé (la\n"
    "raison est donnée) ; 2 ligne de commande erronée.\n"
    "Un fichier d'une version antérieure, sans année, prend l'année en cours (la précédente\n"
    "en janvier et février), comme le propose Velmora.\n";

// A subcommand's arguments, or the status it must end with at once: 0 after the usage text
// was asked for, 2 for an unknown option or a wrong number of arguments.
struct CommandLine {
    QStringList positional;
    QStringList flags;
    QMap<QString, QString> values;
    bool verbose = false;
    std::optional<int> exitNow;
};

// Splits a command's arguments (after its name) into positional ones and the options it
// knows: flags, and options taking a value ("--encoding utf-8" or "--encoding=utf-8"). An
// unknown option is a usage error: "--skipbad" is no folder name. "-" is an argument.
CommandLine parse(const QStringList& args, const QStringList& flags, const QStringList& valued,
                  int minPositional, int maxPositional, QTextStream& out, QTextStream& err) {
    CommandLine line;
    const auto usageError = [&](const QString& message) {
        err << "velmora-db: " << message << '\n' << kUsage;
        line.exitNow = 2;
        return line;
    };
    bool optionsEnded = false;
    const QStringList rest = args.mid(1);
    for (int i = 0; i < rest.size(); ++i) {
        const QString& arg = rest.at(i);
        if (!optionsEnded && arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg.startsWith(QLatin1Char('-'))) {
            if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
                out << kUsage;
                line.exitNow = 0;
                return line;
            }
            const QString name = arg.section(QLatin1Char('='), 0, 0);
            if (arg == QLatin1String("--verbose")) {
                line.verbose = true;
            } else if (flags.contains(arg)) {
                line.flags << arg;
            } else if (valued.contains(name)) {
                if (arg.contains(QLatin1Char('=')))
                    line.values[name] = arg.section(QLatin1Char('='), 1);
                else if (i + 1 < rest.size())
                    line.values[name] = rest.at(++i);
                else
                    return usageError(QStringLiteral("l'option %1 attend une valeur").arg(name));
            } else {
                return usageError(QStringLiteral("option inconnue : %1").arg(arg));
            }
        } else if (arg.isEmpty()) {
            // An empty folder would be read as the current one.
            return usageError(QStringLiteral("argument vide : indiquez un fichier ou un dossier, "
                                             "ou omettez le dossier pour celui de Velmora"));
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

// Without a folder, the file the program would open: beside it, else in the user's data
// folder (where a first file is made).
QString databaseIn(const QStringList& args, int index) {
    QString folder = args.size() > index ? args.at(index) : paths::findDatabaseFolder();
    if (folder.isEmpty())
        folder = paths::userDataFolder();
    return QDir(folder).absoluteFilePath(QStringLiteral("velmora.mdb"));
}

// check and backup also take the file itself: an archived year, a copy.
QString databaseOrFileIn(const QStringList& args, int index) {
    if (args.size() > index && QFileInfo(args.at(index)).isFile())
        return QFileInfo(args.at(index)).absoluteFilePath();
    return databaseIn(args, index);
}

// The engine's own text, in brackets, for --verbose.
QString detail(bool verbose, const QString& engineText) {
    return verbose && !engineText.isEmpty() ? QStringLiteral(" (%1)").arg(engineText) : QString();
}

// The file for a command that writes only once it is sure: nullptr, with the reason on err,
// when the program would not open it or another program holds it.
std::shared_ptr<data::Database> openUnchanged(const QString& path, bool verbose, QTextStream& err) {
    try {
        return data::schema::openUnchanged(path);
    } catch (const data::OpenError& error) {
        if (error.kind() == data::OpenError::Kind::Busy)
            err << "velmora-db: " << path
                << " : le fichier est utilisé par un autre programme ; réessayez";
        else
            err << "velmora-db: " << error.explanation();
        err << detail(verbose, error.engineText()) << '\n';
        return nullptr;
    }
}

int init(const QStringList& args, QTextStream& out, QTextStream& err) {
    const CommandLine line = parse(args, {}, {}, 0, 1, out, err);
    if (line.exitNow)
        return *line.exitNow;
    const QString path = databaseIn(line.positional, 0);
    if (QFileInfo::exists(path)) {
        err << "velmora-db: " << path << " existe déjà ; il n'est pas remplacé.\n";
        return 1;
    }
    try {
        // The user's data folder is made on first use; a folder named is not.
        if (line.positional.isEmpty())
            QDir().mkpath(QFileInfo(path).path());
        data::schema::createFile(path);
    } catch (const data::DbError& error) {
        const QString words =
            error.code() == data::sqlite_code::CantOpen
                ? QStringLiteral("création impossible (dossier introuvable ou protégé en "
                                 "écriture ?)")
                : importer::engineResultInWords(error.code());
        err << "velmora-db: " << path << " : " << words << detail(line.verbose, error.engineText())
            << '\n';
        return 1;
    }
    out << "Fichier créé : " << path << " (année " << regional::today().year() << ")\n";
    return 0;
}

QString grouped(qint64 n) {
    QString text = QString::number(n);
    for (int i = text.size() - 3; i > 0; i -= 3)
        text.insert(i, QLatin1Char(' '));
    return text;
}

// The summary names the encoding the text was read in, and whether it was forced.
QString encodingSentence(const importer::Summary& summary) {
    QString sentence =
        QStringLiteral(" Texte lu en %1").arg(importer::encodingName(summary.encoding));
    if (summary.encodingForced)
        sentence += QStringLiteral(" (--encoding)");
    return sentence + QLatin1Char('.');
}

QString counted(qint64 n, const char* singular, const char* plural) {
    return regional::counted(n, QString::fromUtf8(singular), QString::fromUtf8(plural));
}

// Each bet whose state changed, then those the results cannot settle, then the count.
// The bets of closed years the results now settle otherwise: told, their archives untouched.
ledger::Settling withClosedYears(const data::Database& db, ledger::Settling settling,
                                 QTextStream& err) {
    for (const QString& unread : ledger::addChangesSinceClosing(db, settling))
        err << "velmora-db: " << unread << '\n';
    return settling;
}

void printSettling(const ledger::Settling& settling, QTextStream& out) {
    for (const ledger::SettledBet& settled : settling.settled)
        out << ledger::settledLine(settled) << '\n';
    for (const QString& line : ledger::pendingLines(settling))
        out << line << '\n';
    out << counted(settling.settled.size(), "pari réglé", "paris réglés") << '\n';
}

// A failed settling in words, naming the step unless the file was only busy.
QString settlingFailure(const QString& path, const data::DbError& error, bool verbose) {
    const bool busy =
        error.code() == data::sqlite_code::Busy || error.code() == data::sqlite_code::Locked;
    return path + (busy ? QStringLiteral(" : ") : QStringLiteral(" : règlement des paris : ")) +
           importer::engineResultInWords(error.code()) + detail(verbose, error.engineText());
}

// What import-results and import-card start from: the command line, and the file opened
// without a write.
struct ImportCommand {
    CommandLine line;
    importer::Options options;
    QString csv;
    QString path;
    std::shared_ptr<data::Database> db;
    sqlite3* handle = nullptr;
};

// The exit status when the command ends before importing, nothing when it may go on.
std::optional<int> startImport(const QStringList& args, ImportCommand& command, QTextStream& out,
                               QTextStream& err) {
    command.line =
        parse(args, {QStringLiteral("--skip-bad")}, {QStringLiteral("--encoding")}, 1, 2, out, err);
    const CommandLine& line = command.line;
    if (line.exitNow)
        return line.exitNow;
    importer::Options& options = command.options;
    options.skipBad = line.flags.contains(QStringLiteral("--skip-bad"));
    options.verbose = line.verbose;
    if (line.values.contains(QStringLiteral("--encoding"))) {
        importer::Encoding forced;
        const QString name = line.values.value(QStringLiteral("--encoding"));
        if (!importer::encodingFromName(name, forced)) {
            err << "velmora-db: encodage inconnu : " << name
                << " (utf-8, windows-1252 ou iso-8859-15)\n";
            return 2;
        }
        options.encoding = forced;
    }
    command.csv = line.positional.at(0);
    command.path = databaseIn(line.positional, 1);
    // Nothing is written to the file before the import is accepted.
    command.db = openUnchanged(command.path, line.verbose, err);
    if (!command.db) {
        out << "Rien n'a été importé.\n";
        return 1;
    }
    command.handle = command.db->raw();
    if (!command.handle) {
        err << "velmora-db: " << command.path << " : accès direct à la base impossible\n";
        return 1;
    }
    return std::nullopt;
}

// An import that did not commit: how many rows were refused, or nothing when the file could
// not be read or written.
void reportNothingImported(const importer::Summary& summary, bool skipBad, QTextStream& out) {
    if (summary.refused > 0 && !summary.databaseError)
        out << "Fichier refusé : " << counted(summary.refused, "ligne refusée", "lignes refusées")
            << " sur " << grouped(summary.rows) << " ; rien n'a été importé"
            << (skipBad ? "." : " (--skip-bad importe les lignes valides).")
            << encodingSentence(summary) << '\n';
    else
        out << "Rien n'a été importé.\n";
}

// Exit statuses as the usage text and the README give them.
int importResults(const QStringList& args, QTextStream& out, QTextStream& err) {
    ImportCommand command;
    if (const std::optional<int> status = startImport(args, command, out, err))
        return *status;
    const std::shared_ptr<data::Database>& db = command.db;
    const QString& path = command.path;
    const CommandLine& line = command.line;
    importer::Options& options = command.options;
    // The bets are settled by the results they were waiting for, or not at all: a refused
    // or failed import leaves them as they were.
    std::optional<ledger::Settling> settling;
    bool betsTableAdded = false;
    options.withinTransaction = [&] {
        importer::Options::Within within;
        try {
            if (!data::schema::hasBetsTable(*db)) {
                // A file made before bets knew their race gets PARIS with the import, as it
                // gets the confirmation lists' index: kept only if the import commits.
                data::schema::createBetsTable(*db);
                betsTableAdded = true;
            }
            racing::recordResultNames(*db);
            settling = ledger::settleBets(*db);
            within.wrote = !settling->settled.isEmpty();
        } catch (const data::DbError& error) {
            settling.reset();
            within.failure = settlingFailure(path, error, line.verbose);
        }
        return within;
    };
    err.flush();
    const importer::Summary summary =
        importer::importFile(command.csv, command.handle, options, err);
    err.flush();
    // An import that changed nothing rolled the table back with everything else.
    if (summary.committed && betsTableAdded && data::schema::hasBetsTable(*db))
        err << "velmora-db: la table des paris (PARIS) a été ajoutée\n";
    if (!summary.committed) {
        reportNothingImported(summary, options.skipBad, out);
        return 1;
    }
    if (summary.rows == 0) {
        out << "Rien à importer : le fichier ne contient aucune ligne de résultats.\n";
        return 0;
    }
    QString counts = counted(summary.imported, "ligne importée", "lignes importées");
    if (summary.updated > 0)
        counts += QStringLiteral(", ") + counted(summary.updated, "mise à jour", "mises à jour");
    counts += QStringLiteral(", ") +
              counted(summary.duplicates, "déjà présente", "déjà présentes") +
              QStringLiteral(", ") + counted(summary.refused, "refusée", "refusées");
    if (summary.refused > 0)
        out << "Import partiel : " << counts << " ; les lignes refusées sont listées."
            << encodingSentence(summary) << '\n';
    else
        out << "Import terminé : " << counts << '.' << encodingSentence(summary) << '\n';
    if (settling)
        printSettling(withClosedYears(*db, *settling, err), out);
    return summary.refused > 0 ? 3 : 0;
}

// The followed horses' names as the ledger compares them (upper case, no apostrophe, blanks
// single): a card's runner is one of them when its name compares equal.
QSet<QString> followedHorses(const data::Database& db) {
    QSet<QString> names;
    data::Statement rs(db.raw(),
                       QStringLiteral("SELECT nomcheval FROM MESSUIVITS WHERE "
                                      "nomcheval IS NOT NULL"),
                       {});
    // A blank name is no horse: the ledger would read it as "autre jeux".
    while (rs.next())
        if (!rs.string(0).trimmed().isEmpty())
            names.insert(racing::nameKey(rs.string(0)));
    return names;
}

// "dont 3 de vos chevaux suivis", "dont aucun de vos chevaux suivis".
QString followedPart(qint64 followed) {
    return followed == 0 ? QStringLiteral("dont aucun de vos chevaux suivis")
                         : QStringLiteral("dont %1 de vos chevaux suivis").arg(grouped(followed));
}

// The same statuses as import-results.
int importCard(const QStringList& args, QTextStream& out, QTextStream& err) {
    ImportCommand command;
    if (const std::optional<int> status = startImport(args, command, out, err))
        return *status;
    const std::shared_ptr<data::Database>& db = command.db;
    importer::Options& options = command.options;
    options.target = importer::Options::Target::Card;
    bool cardTableAdded = false;
    QSet<QString> followed;
    qint64 followedRunners = 0;
    const int cheval = importer::cardTable().indexOf("cheval");
    options.atBegin = [&] {
        importer::Options::Within within;
        try {
            // A file made before the card: PARTANTS comes with the import, kept only if it
            // commits.
            if (!data::schema::hasCardTable(*db)) {
                data::schema::createCardTable(*db);
                cardTableAdded = within.wrote = true;
            }
            followed = followedHorses(*db);
        } catch (const data::DbError& error) {
            within.failure = command.path + QStringLiteral(" : ") +
                             importer::engineResultInWords(error.code()) +
                             detail(command.line.verbose, error.engineText());
        }
        return within;
    };
    options.added = [&](const importer::ConvertedRow& row) {
        const std::string_view horse = row.text(cheval);
        if (followed.contains(
                racing::nameKey(QString::fromUtf8(horse.data(), qsizetype(horse.size())))))
            ++followedRunners;
    };
    err.flush();
    const importer::Summary summary =
        importer::importFile(command.csv, command.handle, options, err);
    err.flush();
    if (summary.committed && cardTableAdded && data::schema::hasCardTable(*db))
        err << "velmora-db: la table du programme (PARTANTS) a été ajoutée\n";
    if (!summary.committed) {
        reportNothingImported(summary, options.skipBad, out);
        return 1;
    }
    if (summary.rows == 0) {
        out << "Rien à importer : le fichier ne contient aucun partant.\n";
        return 0;
    }
    QString counts =
        QStringLiteral("%1, %2, %3")
            .arg(counted(summary.races, "course", "courses"),
                 counted(summary.imported, "partant", "partants"), followedPart(followedRunners));
    if (summary.duplicates > 0)
        counts +=
            QStringLiteral(" ; ") + counted(summary.duplicates, "ligne en double, comptée une fois",
                                            "lignes en double, comptées une fois");
    if (summary.refused > 0)
        out << "Import partiel : " << counts << " ; "
            << counted(summary.refused, "ligne refusée, listée", "lignes refusées, listées") << '.'
            << encodingSentence(summary) << '\n';
    else
        out << "Programme importé : " << counts << '.' << encodingSentence(summary) << '\n';
    return summary.refused > 0 ? 3 : 0;
}

// Exit statuses as the usage text gives them: 0 settled, 1 file refused or unchanged by a
// failure, 2 wrong command line.
int settle(const QStringList& args, QTextStream& out, QTextStream& err) {
    const CommandLine line = parse(args, {}, {}, 0, 1, out, err);
    if (line.exitNow)
        return *line.exitNow;
    const QString path = databaseIn(line.positional, 0);
    // A file without PARIS has no bet to settle: it is left as it is.
    const std::shared_ptr<data::Database> db = openUnchanged(path, line.verbose, err);
    if (!db)
        return 1;
    try {
        printSettling(withClosedYears(*db, ledger::settleBets(*db), err), out);
        return 0;
    } catch (const data::DbError& error) {
        err << "velmora-db: " << settlingFailure(path, error, line.verbose) << '\n';
    }
    return 1;
}

// A file made before the ledger kept its year: what Velmora will propose, nothing written.
void noteMissingYear(const QString& path, QTextStream& err) {
    try {
        if (!ledger::storedYear(*data::schema::openReadOnly(path)))
            err << "velmora-db: registre sans année : Velmora proposera "
                << ledger::proposedYear(regional::today()) << " à son ouverture\n";
    } catch (const data::DbError&) {
        // The verdict was given; the year is only a note.
    }
}

// A file named on the command line that is not a folder's velmora.mdb: an archived year or a
// copy, which stays as it was written.
bool isArchiveOrCopy(const QStringList& args, int index) {
    return args.size() > index && QFileInfo(args.at(index)).isFile() &&
           QFileInfo(args.at(index)).fileName() != QLatin1String("velmora.mdb");
}

// The engine's verdict when the file is not sound, with the status 1; nothing when it is.
std::optional<int> unsound(const QString& path, const data::maintenance::CheckResult& result,
                           bool verbose, QTextStream& out) {
    using Verdict = data::maintenance::CheckResult::Verdict;
    switch (result.verdict) {
    case Verdict::Sound:
        return std::nullopt;
    case Verdict::Damaged:
        out << path << " : fichier endommagé : ";
        if (result.latestCopy.isEmpty())
            out << "aucune copie dans sauvegardes/ ; ne le modifiez plus et copiez-le ailleurs "
                   "(velmora-db backup --force) avant toute réparation.\n";
        else
            out << "restaurez une copie de sauvegardes/, la plus récente est " << result.latestCopy
                << ".\n";
        break;
    case Verdict::Missing:
        out << path << " : introuvable.\n";
        break;
    case Verdict::Locked:
        out << path << " : le fichier est utilisé par un autre programme ; réessayez.\n";
        break;
    case Verdict::NotVelmora:
    case Verdict::Unreadable:
        out << result.explanation << '\n';
        break;
    }
    if (verbose)
        for (const QString& problem : result.problems)
            out << "  " << problem << '\n';
    return 1;
}

// Each break, each month name the ledger cannot read, the months checked only among their
// own lines, then the count; a sound file's verdict says there is no break.
void printChains(const ledger::ChainCheck& chains, QTextStream& out) {
    for (const ledger::ChainBreak& chainBreak : chains.breaks)
        out << ledger::breakText(chainBreak) << '\n';
    for (const ledger::StrayMonth& stray : chains.strays)
        out << ledger::strayText(stray) << '\n';
    for (const ledger::UnheldMonth& month : chains.unheld)
        out << ledger::unheldText(month) << '\n';
    if (!chains.breaks.isEmpty() || !chains.strays.isEmpty())
        out << ledger::breakCount(chains.breaks.size()) << '\n';
}

// The last sentence of a sound file's check; the status.
int chainsVerdict(const QString& path, const ledger::ChainCheck& chains, bool archive,
                  QTextStream& out) {
    if (chains.breaks.isEmpty() && chains.strays.isEmpty()) {
        out << path << " : fichier sain.\n";
        return 0;
    }
    out << path << " : fichier intact, mais ";
    if (!chains.breaks.isEmpty())
        out << (archive ? "ses soldes ne s'enchaînent pas (une archive reste telle quelle)"
                        : "ses soldes ne s'enchaînent pas : velmora-db check --reparer les "
                          "recalcule, après une copie dans sauvegardes/");
    if (!chains.breaks.isEmpty() && !chains.strays.isEmpty())
        out << " ; ";
    if (!chains.strays.isEmpty())
        out << "des mois ne portent pas un nom de mois : corrigez-les, l'année ne se clôture pas "
               "sans cela";
    out << ".\n";
    return 1;
}

// sauvegardes/avant-reparation-AAAA-MM-JJ-HHMMSS.mdb: a name the daily copies' rotation
// neither counts nor removes.
QString repairCopyFor(const QString& path) {
    const QString stamp = regional::today().toString(QStringLiteral("yyyy-MM-dd")) +
                          QLatin1Char('-') +
                          QTime::currentTime().toString(QStringLiteral("HHmmss"));
    return QDir(dailycopy::folderFor(path))
        .filePath(QStringLiteral("avant-reparation-%1.mdb").arg(stamp));
}

// The breaks of the open file mended: a copy first, then the months rewritten in one
// transaction, then the file checked again.
int repair(const QString& path, const CommandLine& line, QTextStream& out, QTextStream& err) {
    const std::shared_ptr<data::Database> db = openUnchanged(path, line.verbose, err);
    if (!db)
        return 1;
    try {
        const ledger::ChainCheck before = ledger::checkChains(*db);
        printChains(before, out);
        if (before.breaks.isEmpty())
            return chainsVerdict(path, before, false, out);
        const QString copy = repairCopyFor(path);
        QString engineText;
        QString failure;
        if (!QDir().mkpath(QFileInfo(copy).path()))
            failure = QStringLiteral("%1 : dossier impossible à créer").arg(QFileInfo(copy).path());
        else
            failure = data::maintenance::backup(path, copy, {}, &engineText);
        if (!failure.isEmpty()) {
            err << "velmora-db: " << failure << detail(line.verbose, engineText)
                << " ; rien n'a été réparé\n";
            return 1;
        }
        out << "Copie avant réparation : " << copy << '\n';
        const QVector<ledger::RepairedMonth> repaired = ledger::repairChains(*db);
        for (const ledger::RepairedMonth& month : repaired)
            out << ledger::repairedText(month) << '\n';
        out << counted(repaired.size(), "mois réparé", "mois réparés") << '\n';
        const ledger::ChainCheck after = ledger::checkChains(*db);
        if (after.breaks.isEmpty())
            return chainsVerdict(path, after, false, out);
        out << "Reste à réparer à la main, faute d'une seule ligne USERS pour le mois :\n";
        printChains(after, out);
        return chainsVerdict(path, after, false, out);
    } catch (const data::DbError& error) {
        err << "velmora-db: " << path << " : " << importer::engineResultInWords(error.code())
            << detail(line.verbose, error.engineText()) << " ; rien n'a été réparé\n";
    }
    return 1;
}

// The lock Velmora holds while it shows the file, for a command that changes the file under
// it; false, after saying why, when Velmora has the file or the lock cannot be made there.
bool holdLock(data::FileLock& lock, const QString& path, const QString& unchanged,
              QTextStream& err) {
    switch (lock.tryLock()) {
    case data::FileLock::State::Taken:
        return true;
    case data::FileLock::State::HeldElsewhere:
        err << "velmora-db: " << path
            << " : le fichier est ouvert dans Velmora ; fermez-le, puis recommencez\n";
        return false;
    case data::FileLock::State::CannotLock:
        err << "velmora-db: " << path << " : " << lock.reason() << ' ' << unchanged << '\n';
        return false;
    }
    return false;
}

// The verdict in one sentence; the engine's findings follow with --verbose. A sound file's
// chains of balances are proved, or mended with --reparer.
int check(const QStringList& args, QTextStream& out, QTextStream& err) {
    const CommandLine line = parse(args, {QStringLiteral("--reparer")}, {}, 0, 1, out, err);
    if (line.exitNow)
        return *line.exitNow;
    const QString path = databaseOrFileIn(line.positional, 0);
    const bool archive = isArchiveOrCopy(line.positional, 0);
    const bool mend = line.flags.contains(QStringLiteral("--reparer"));
    if (mend && archive) {
        err << "velmora-db: " << path
            << " : une archive ou une copie n'est jamais modifiée ; --reparer ne répare que le "
               "fichier velmora.mdb d'un dossier\n";
        return 1;
    }
    if (const std::optional<int> status =
            unsound(path, data::maintenance::check(path), line.verbose, out))
        return *status;
    noteMissingYear(path, err);
    if (mend) {
        // The window would go on showing the balances rewritten under it.
        data::FileLock lock(path);
        if (!holdLock(lock, path, QStringLiteral("Rien n'a été réparé."), err))
            return 1;
        return repair(path, line, out, err);
    }
    try {
        // An archive is read on a connection that cannot write; the open file is not
        // changed either.
        const std::shared_ptr<data::Database> db =
            archive ? ledger::openArchive(path) : data::schema::openReadOnly(path);
        const ledger::ChainCheck chains = ledger::checkChains(*db);
        printChains(chains, out);
        return chainsVerdict(path, chains, archive, out);
    } catch (const data::DbError& error) {
        err << "velmora-db: " << path << " : " << importer::engineResultInWords(error.code())
            << detail(line.verbose, error.engineText()) << '\n';
    }
    return 1;
}

int backup(const QStringList& args, QTextStream& out, QTextStream& err) {
    using Verdict = data::maintenance::CheckResult::Verdict;
    const CommandLine line = parse(args, {QStringLiteral("--force")}, {}, 1, 2, out, err);
    if (line.exitNow)
        return *line.exitNow;
    const QString source = databaseOrFileIn(line.positional, 1);
    const QString dest = QFileInfo(line.positional.at(0)).absoluteFilePath();
    // A copy of a damaged file, taken for a good one, could later be restored over a file
    // that is still sound.
    if (!line.flags.contains(QStringLiteral("--force")) && QFileInfo::exists(source)) {
        const data::maintenance::CheckResult verdict = data::maintenance::check(source);
        if (verdict.verdict != Verdict::Sound) {
            err << "velmora-db: " << source << " : ";
            if (verdict.verdict == Verdict::Locked)
                err << "le fichier est utilisé par un autre programme ; réessayez\n";
            else
                err << (verdict.verdict == Verdict::Damaged ? QStringLiteral("fichier endommagé")
                                                            : verdict.explanation)
                    << " ; pas de copie (velmora-db check en dit plus ; --force copie quand "
                       "même)\n";
            return 1;
        }
    }
    QString engineText;
    const QString failure = data::maintenance::backup(source, dest, {}, &engineText);
    if (!failure.isEmpty()) {
        err << "velmora-db: " << failure << detail(line.verbose, engineText) << '\n';
        return 1;
    }
    out << "Copie enregistrée : " << dest << '\n';
    return 0;
}

// Exit statuses as the usage text gives them: 0 closed, 1 refused, 2 wrong command line.
int closeYear(const QStringList& args, QTextStream& out, QTextStream& err) {
    const CommandLine line = parse(args, {}, {}, 1, 2, out, err);
    if (line.exitNow)
        return *line.exitNow;
    const QString yearText = line.positional.at(0);
    bool number = false;
    const int year = yearText.toInt(&number);
    if (!number || yearText.size() != 4 || !ledger::isPlausibleYear(year)) {
        err << "velmora-db: année attendue en quatre chiffres (AAAA), lu « " << yearText << " »\n"
            << kUsage;
        return 2;
    }
    const QString path = databaseOrFileIn(line.positional, 1);
    if (!QFileInfo::exists(path)) {
        err << "velmora-db: " << path << " : introuvable ; l'année n'est pas clôturée\n";
        return 1;
    }
    // Velmora keeps this lock while it shows the file: its window would go on showing the
    // year closed under it. Taken, it also keeps Velmora from starting until the end.
    data::FileLock lock(path);
    if (!holdLock(lock, path, QStringLiteral("L'année n'est pas clôturée."), err))
        return 1;
    // Nothing is written unless the closing goes through.
    const std::shared_ptr<data::Database> db = openUnchanged(path, line.verbose, err);
    if (!db)
        return 1;
    try {
        if (!ledger::storedYear(*db))
            err << "velmora-db: registre sans année : " << ledger::proposedYear(regional::today())
                << " retenue\n";
        const ledger::ClosingDone done = ledger::closeYear(*db, year);
        out << "Année " << year
            << " clôturée : " << counted(done.lines, "ligne archivée", "lignes archivées")
            << " dans " << done.archive << " ; l'année " << year + 1 << " est ouverte, "
            << counted(done.players, "joueur avec son solde", "joueurs avec leur solde")
            << " en Janvier.\n";
        if (done.resumed)
            out << "L'archive, écrite par une clôture interrompue, a été vérifiée et reprise.\n";
        return 0;
    } catch (const ledger::ClosingRefused& refused) {
        err << "velmora-db: " << refused.text << detail(line.verbose, refused.engineText) << '\n';
    } catch (const data::DbError& error) {
        err << "velmora-db: " << path << " : " << importer::engineResultInWords(error.code())
            << detail(line.verbose, error.engineText()) << '\n';
    }
    return 1;
}

// Exit statuses as the usage text gives them: 0 restored, 1 refused, 2 wrong command line.
int restore(const QStringList& args, QTextStream& out, QTextStream& err) {
    const CommandLine line = parse(args, {}, {}, 1, 2, out, err);
    if (line.exitNow)
        return *line.exitNow;
    const QString path = databaseIn(line.positional, 1);
    QString copy = QFileInfo(line.positional.at(0)).absoluteFilePath();
    const QString saved = QDir(dailycopy::folderFor(path)).filePath(line.positional.at(0));
    if (!QFileInfo::exists(copy) && QFileInfo::exists(saved))
        copy = saved;
    // Velmora keeps this lock while it shows the file: its windows would go on showing the
    // file replaced under them.
    data::FileLock lock(path);
    if (!holdLock(lock, path, QStringLiteral("Rien n'a été restauré."), err))
        return 1;
    try {
        const ledger::Restored done = ledger::restoreCopy(path, copy);
        if (!done.safetyCopy.isEmpty())
            out << "Copie de sûreté du registre remplacé : " << done.safetyCopy << '\n';
        out << "Copie restaurée : " << path << " contient maintenant "
            << counted(done.lines, "ligne", "lignes") << " de " << copy << ".\n";
        return 0;
    } catch (const ledger::RestoreRefused& refused) {
        err << "velmora-db: " << copy << " : " << refused.text << '\n';
    }
    return 1;
}

} // namespace

int runDbTool(const QStringList& args, QTextStream& out, QTextStream& err) {
    const QString command = args.value(0);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        out << kUsage;
        return 0;
    }
    if (command == QLatin1String("--version") || command == QLatin1String("-v")) {
        out << "velmora-db " << VELMORA_VERSION << '\n';
        return 0;
    }
    if (command == QLatin1String("init"))
        return init(args, out, err);
    if (command == QLatin1String("import-results"))
        return importResults(args, out, err);
    if (command == QLatin1String("import-card"))
        return importCard(args, out, err);
    if (command == QLatin1String("settle"))
        return settle(args, out, err);
    if (command == QLatin1String("check"))
        return check(args, out, err);
    if (command == QLatin1String("backup"))
        return backup(args, out, err);
    if (command == QLatin1String("close-year"))
        return closeYear(args, out, err);
    if (command == QLatin1String("restore"))
        return restore(args, out, err);
    if (!command.isEmpty())
        err << "velmora-db: commande inconnue : " << command << '\n';
    err << kUsage;
    return 2;
}
