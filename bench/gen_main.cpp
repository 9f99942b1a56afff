#include "bench/generator.h"
#include "data/error.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>
#include <optional>

namespace {

const char* const kUsage =
    "Utilisation : velmora-gen [--seed N] [--rows N] [--ledger N] [--csv FICHIER] "
    "[--db DOSSIER] [--bets FICHIER] [--card FICHIER]\n"
    "  --csv écrit les résultats (table CR) pour velmora-db import-results ;\n"
    "  --db crée DOSSIER/velmora.mdb avec CR, JEUX, USERS, MESSUIVITS et COURSES ;\n"
    "  --rows : lignes de CR (2 000 000 par défaut) ;\n"
    "  --ledger : lignes de JEUX (100 000 par défaut, au moins 480 : 40 joueurs sur douze "
    "mois) ;\n"
    "  --bets (avec --db) : une semaine de paris ; les courses des sept derniers jours sont\n"
    "    retenues hors de CR (et de --csv) et écrites dans FICHIER, et chaque joueur y mise\n"
    "    avec course et cote : velmora-db import-results FICHIER les règle ;\n"
    "  --card (avec --db) : le programme du lendemain du dernier jour de courses, pour\n"
    "    velmora-db import-card : 1 000 partants en 90 courses (moins pour un petit --rows,\n"
    "    environ un partant pour 50 lignes de CR), des chevaux qui ont couru dans CR, dont\n"
    "    plusieurs chevaux suivis de MESSUIVITS ;\n"
    "  --seed : la même graine donne toujours les mêmes données.\n";

} // namespace

// velmora-gen: writes the synthetic results as CSV and/or a complete database file.
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    bench::GeneratorOptions options;
    QString csv, folder, betsCsv, cardCsv;
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    bool ok = true;
    for (int i = 0; i < args.size() && ok; ++i) {
        const QString& a = args.at(i);
        const QString value = args.value(i + 1);
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            QTextStream(stdout) << kUsage;
            return 0;
        }
        if (a == QLatin1String("--seed"))
            options.seed = value.toULongLong(&ok), ++i;
        else if (a == QLatin1String("--rows"))
            options.resultRows = value.toLongLong(&ok), ++i, ok = ok && options.resultRows >= 0;
        else if (a == QLatin1String("--ledger"))
            options.ledgerRows = value.toLongLong(&ok), ++i,
            ok = ok && options.ledgerRows >= int64_t(options.players) * 12;
        else if (a == QLatin1String("--csv"))
            csv = value, ++i, ok = !value.isEmpty();
        else if (a == QLatin1String("--db"))
            folder = value, ++i, ok = !value.isEmpty();
        else if (a == QLatin1String("--bets"))
            betsCsv = value, ++i, ok = !value.isEmpty(), options.betDays = 7;
        else if (a == QLatin1String("--card"))
            cardCsv = value, ++i, ok = !value.isEmpty();
        else
            ok = false;
    }
    // Bets are stakes in the ledger, and a card's followed horses are the file's: they need it.
    if (!ok || (csv.isEmpty() && folder.isEmpty()) ||
        ((!betsCsv.isEmpty() || !cardCsv.isEmpty()) && folder.isEmpty())) {
        err << kUsage;
        return 2;
    }
    try {
        const bench::Generator generator(options);
        if (!csv.isEmpty())
            generator.writeResultsCsv(csv);
        if (!folder.isEmpty())
            generator.fillDatabase(QDir(folder).absoluteFilePath(QStringLiteral("velmora.mdb")));
        if (!betsCsv.isEmpty())
            generator.writeHeldBackCsv(betsCsv);
        std::optional<bench::CardSummary> card;
        if (!cardCsv.isEmpty())
            card = generator.writeCardCsv(cardCsv);
        const bench::Landmarks& marks = generator.landmarks();
        QTextStream stdOut(stdout);
        stdOut << "Cheval à " << generator.options().starRaces << " courses : " << marks.starHorse
               << "\nJoueur à " << generator.options().bigMonthRows
               << " lignes : " << marks.bigPlayer << " (" << marks.bigMonth << ")\n";
        if (!betsCsv.isEmpty()) {
            const QString format = QStringLiteral("dd/MM/yyyy");
            stdOut << "Paris : " << generator.bets().size() << " sur les courses du "
                   << generator.heldBackFrom().toString(format) << " au "
                   << generator.heldBackTo().toString(format) << ", dont les résultats sont dans "
                   << betsCsv << '\n';
        }
        if (card)
            stdOut << "Programme du " << card->day.toString(QStringLiteral("dd/MM/yyyy")) << " : "
                   << card->runners << " partants en " << card->races << " courses, dont "
                   << card->followed << " chevaux suivis, dans " << cardCsv << '\n';
    } catch (const data::DbError& error) {
        err << "velmora-gen: " << error.engineText() << '\n';
        return 1;
    } catch (const std::exception& error) {
        err << "velmora-gen: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
