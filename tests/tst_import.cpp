#include "data/maintenance.h"
#include "data/regional.h"
#include "data/schema.h"
#include "ledger/ledgerbook.h"
#include "tests/support/testdatabase.h"
#include "tools/dbtool.h"
#include "tools/import_csv.h"
#include "tools/importer.h"

#ifdef VELMORA_WITH_GENERATOR
#include "bench/generator.h"
#endif

#include <QFile>
#include <QStringEncoder>
#include <QtTest>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const QByteArray kHeader = "date;hippodrome;R;C;cheval;valeur;distance;type de course";

struct ToolRun {
    int status = -1;
    QString out;
    QString err;
};

ToolRun tool(const QStringList& args) {
    ToolRun result;
    QTextStream out(&result.out), err(&result.err);
    result.status = runDbTool(args, out, err);
    out.flush();
    err.flush();
    return result;
}

// The settled lines of the bets placeBets makes.
const QString kBet1 = "n° 1 — 05/03/2024 R1C4 Longchamp — BEAU JOUR — Simple Gagnant : ";
const QString kBet2 = "n° 2 — 05/03/2024 R1C4 Longchamp — ZADIG — Simple Placé : ";
const QString kBet3 = "n° 3 — 05/03/2024 R1C4 Longchamp — ABSENT — Simple Gagnant : ";
const QString kBet4 = "n° 4 — 05/03/2024 R1C5 Longchamp — BEAU JOUR — Simple Placé : ";
const QString kNotFound = "cheval introuvable dans les résultats\n";
// The day has results, not that race.
const QString kRaceNotFound = "course introuvable dans les résultats du 05/03/2024\n";
const QString kPending = "en cours|en cours|en cours|en cours";

importer::Layout canonicalLayout() {
    std::vector<std::string_view> names;
    for (const importer::ColumnSpec& definition : importer::columns())
        names.emplace_back(definition.name);
    importer::Layout layout;
    const auto problems = importer::readHeader(names, importer::Encoding::Utf8, layout);
    Q_ASSERT(problems.empty());
    return layout;
}

int columnIndex(const QString& name) {
    for (int c = 0; c < importer::kColumnCount; ++c)
        if (name == QLatin1String(importer::columns()[static_cast<size_t>(c)].name))
            return c;
    return -1;
}

// One canonical row with a single cell replaced.
std::vector<std::string> rowWith(const QString& column, const QByteArray& cell) {
    std::vector<std::string> fields(importer::kColumnCount);
    fields[0] = "05/03/2024";
    fields[1] = "Longchamp";
    fields[2] = "1";
    fields[3] = "4";
    fields[18] = "BEAU JOUR";
    fields[static_cast<size_t>(columnIndex(column))] = cell.toStdString();
    return fields;
}

importer::ConvertedRow convert(const std::vector<std::string>& fields,
                               importer::Encoding encoding = importer::Encoding::Utf8) {
    static const importer::Layout layout = canonicalLayout();
    std::vector<std::string_view> views(fields.begin(), fields.end());
    importer::ConvertedRow row;
    importer::convertRow(layout, views, encoding, row);
    return row;
}

#ifdef VELMORA_WITH_GENERATOR
// The generator's file, made in a folder of its own below the test's: that folder.
QString generatedFolder(const TestDatabase& t, const bench::Generator& generator,
                        const QString& name) {
    const QString folder = t.folder() + '/' + name;
    QDir().mkpath(folder);
    generator.fillDatabase(folder + "/velmora.mdb");
    return folder;
}
#endif

} // namespace

class TestImport : public QObject {
    Q_OBJECT
private slots:
    void init() { m_db = std::make_unique<TestDatabase>(); }
    void cleanup() {
        m_db.reset();
        regional::setToday(QDate());
    }

    void headerInAnyOrder_data();
    void headerInAnyOrder();
    void quotesAndLineBreaks();
    void encodings_data();
    void encodings();
    void cellsAreConverted_data();
    void cellsAreConverted();
    void badCellsAreRefused_data();
    void badCellsAreRefused();
    void headerProblemsRefuseTheFile_data();
    void headerProblemsRefuseTheFile();
    void badRowRefusesTheWholeFile();
    void skipBadImportsTheGoodRows();
    void misplacedQuotes();
    void reimportAddsNothing();
    void largeImportRebuildsIndexes();
    void progressAndUsage();
    void generatorOutputImportsCleanly();
    void generatorLedgerAgreesWithBalances();
    void generatorLedgerHasEveryPlayerAndMonth();
    void generatorWeekOfBetsIsSettledByItsResults();
    void generatorCardImportsCleanly();

    void fileOutcomes_data();
    void fileOutcomes();
    void encodingIsDecidedOverTheWholeFile();
    void runnerIsItsDay();
    void handMadeDatabase_data();
    void handMadeDatabase();
    void longCellsKeepMemoryBounded();
    void writeFailureChangesNothing();
    void lockedDatabase();
    void commandLine();
    void readsFromAPipe();
    void checkVerdicts_data();
    void checkVerdicts();
    void libcsvStateIsPinned();

    void importSettlesBets_data();
    void importSettlesBets();
    void olderFileGetsBetsTable();
    void settleCommand();

    void cardOutcomes_data();
    void cardOutcomes();

private:
    ToolRun import(const QByteArray& content, const QStringList& extra = {},
                   const QString& command = "import-results");
    int crCount() const { return m_db->scalar("SELECT COUNT(*) FROM CR").toInt(); }
    void placeBets() const;
    QString betStates() const {
        return m_db
            ->scalar("SELECT group_concat(Etat, '|') FROM (SELECT Etat FROM PARIS ORDER BY "
                     "NumJeu)")
            .toString();
    }

    std::unique_ptr<TestDatabase> m_db;
};

ToolRun TestImport::import(const QByteArray& content, const QStringList& extra,
                           const QString& command) {
    const QString path = m_db->folder() + "/results.csv";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(content);
    file.close();
    ToolRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = runDbTool(QStringList{command, path, m_db->folder()} + extra, out, err);
    out.flush();
    err.flush();
    return run;
}

void TestImport::headerInAnyOrder_data() {
    QTest::addColumn<QByteArray>("csv");
    QTest::newRow("stored order, semicolons")
        << QByteArray("date;hippodrome;R;C;cheval;valeur;type de course\n"
                      "05/03/2024;Longchamp;1;4;BEAU JOUR;41,5;Handicap divisé\n");
    QTest::newRow("other order, commas")
        << QByteArray("type de course,valeur,cheval,C,R,hippodrome,date\n"
                      "Handicap divisé,41.5,BEAU JOUR,4,1,Longchamp,2024-03-05\n");
    QTest::newRow("names in other case, blanks around")
        << QByteArray(" CHEVAL ;Type De Course;Date;HIPPODROME;r;c;Valeur\n"
                      "BEAU JOUR;Handicap divisé;05/03/2024;Longchamp;1;4;\"41,5\"\n");
}

void TestImport::headerInAnyOrder() {
    QFETCH(QByteArray, csv);
    const ToolRun run = import(csv);
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err, QString());
    QVERIFY2(run.out.contains("1 ligne importée"), qPrintable(run.out));
    QSqlQuery q = m_db->db()->exec("SELECT date, hippodrome, R, C, cheval, valeur, "
                                   "[type de course], typeof(R), typeof(valeur), course FROM CR");
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QString("2024-03-05"));
    QCOMPARE(q.value(1).toString(), QString("Longchamp"));
    QCOMPARE(q.value(2).toInt(), 1);
    QCOMPARE(q.value(3).toInt(), 4);
    QCOMPARE(q.value(4).toString(), QString("BEAU JOUR"));
    QCOMPARE(q.value(5).toDouble(), 41.5);
    QCOMPARE(q.value(6).toString(), QString("Handicap divisé"));
    QCOMPARE(q.value(7).toString(), QString("integer"));
    QCOMPARE(q.value(8).toString(), QString("real"));
    QVERIFY(q.value(9).isNull()); // a column the file does not name stays null
    QVERIFY(!q.next());
}

void TestImport::quotesAndLineBreaks() {
    // RFC 4180: separators, doubled quotes and CR LF inside quoted fields; CR LF line ends.
    const QByteArray csv = "date;hippodrome;R;C;cheval;commentaire;course\r\n"
                           "05/03/2024;Longchamp;1;4;BEAU JOUR;\"A « plongé » ; \"\"net\"\"\r\n"
                           "2e ligne\";\"Prix \"\"du Moulin\"\"\"\r\n"
                           "05/03/2024;Longchamp;1;5;ZADIG;;\r\n"
                           "\r\n"
                           "05/03/2024;Longchamp;1;6;ÉCLAIR;\"\";x\r\n"
                           "05/03/2024;Longchamp;1;7;OUPS;;\r\n"
                           "05/03/2024;Longchamp;1;8;;;\r\n";
    const ToolRun run = import(csv);
    QCOMPARE(run.status, 1);
    // The bad row starts on line 8: the quoted line break and the blank line count.
    QCOMPARE(run.err, QString("ligne 8, colonne « cheval » : valeur obligatoire absente\n"));
    QCOMPARE(crCount(), 0);

    const ToolRun skipped = import(csv, {"--skip-bad"});
    QCOMPARE(skipped.status, 3);
    QCOMPARE(crCount(), 4);
    QCOMPARE(m_db->scalar("SELECT commentaire FROM CR WHERE C = 4").toString(),
             QString("A « plongé » ; \"net\"\r\n2e ligne"));
    QCOMPARE(m_db->scalar("SELECT course FROM CR WHERE C = 4").toString(),
             QString("Prix \"du Moulin\""));
    QVERIFY(m_db->scalar("SELECT commentaire FROM CR WHERE C = 5").isNull());
    // A quoted empty cell is empty too: null.
    QVERIFY(m_db->scalar("SELECT commentaire FROM CR WHERE C = 6").isNull());
}

void TestImport::encodings_data() {
    QTest::addColumn<QByteArray>("csv");
    const QString text = QStringLiteral("Prix de l’Été – 5 000 € ; cœur");
    const QByteArray header = "cheval,date,hippodrome,R,C,course\n";
    const QByteArray tail = "\n";
    QTest::newRow("UTF-8") << header + "ÉCLAIR,05/03/2024,Compiègne,1,1,\"" + text.toUtf8() + "\"" +
                                  tail;
    QTest::newRow("UTF-8 with BOM") << "\xEF\xBB\xBF" + header +
                                           "ÉCLAIR,05/03/2024,Compiègne,1,1,\"" + text.toUtf8() +
                                           "\"" + tail;
    QStringEncoder cp1252("windows-1252");
    QVERIFY(cp1252.isValid());
    const QByteArray encoded = cp1252.encode(
        header + QStringLiteral("ÉCLAIR,05/03/2024,Compiègne,1,1,\"") + text + "\"" + tail);
    QVERIFY(encoded.contains('\x80')); // the euro sign, which Latin-1 lacks
    QTest::newRow("Windows-1252") << encoded;
}

void TestImport::encodings() {
    QFETCH(QByteArray, csv);
    const ToolRun run = import(csv);
    QCOMPARE(run.status, 0);
    QCOMPARE(m_db->scalar("SELECT course FROM CR").toString(),
             QStringLiteral("Prix de l’Été – 5 000 € ; cœur"));
    QCOMPARE(m_db->scalar("SELECT cheval || '/' || hippodrome FROM CR").toString(),
             QStringLiteral("ÉCLAIR/Compiègne"));
}

void TestImport::cellsAreConverted_data() {
    QTest::addColumn<QString>("column");
    QTest::addColumn<QByteArray>("cell");
    QTest::addColumn<QVariant>("expected"); // null QVariant: stored null

    QTest::newRow("French date") << "date" << QByteArray("05/03/2024") << QVariant("2024-03-05");
    QTest::newRow("short French date")
        << "date" << QByteArray("5/3/2024") << QVariant("2024-03-05");
    QTest::newRow("ISO date") << "date" << QByteArray("2024-03-05") << QVariant("2024-03-05");
    QTest::newRow("French date and time")
        << "date" << QByteArray("05/03/2024 9:05") << QVariant("2024-03-05 09:05");
    QTest::newRow("ISO date, T and seconds")
        << "date" << QByteArray("2024-03-05T14:30:59") << QVariant("2024-03-05 14:30");
    QTest::newRow("29 February of a leap year")
        << "date" << QByteArray("29/02/2024") << QVariant("2024-02-29");
    QTest::newRow("decimal comma") << "valeur" << QByteArray("41,5") << QVariant(41.5);
    QTest::newRow("decimal point") << "valeur" << QByteArray("41.5") << QVariant(41.5);
    QTest::newRow("negative") << "valeur" << QByteArray("-2,25") << QVariant(-2.25);
    QTest::newRow("thousands blank") << "dotation" << QByteArray("15 000,50") << QVariant(15000.5);
    QTest::newRow("non-breaking blank") << "dotation"
                                        << QByteArray("1\xC2\xA0"
                                                      "200")
                                        << QVariant(1200.0);
    QTest::newRow("integer") << "distance" << QByteArray(" 2400 ") << QVariant(qint64(2400));
    QTest::newRow("integer written as decimal")
        << "distance" << QByteArray("1600,0") << QVariant(qint64(1600));
    QTest::newRow("integer with blank")
        << "distance" << QByteArray("2 400") << QVariant(qint64(2400));
    QTest::newRow("groups of three") << "valeur"
                                     << QByteArray("-1\xE2\x80\xAF"
                                                   "234 567,5")
                                     << QVariant(-1234567.5);
    QTest::newRow("key trimmed, inner blanks made one")
        << "cheval" << QByteArray("\xC2\xA0 BRUME \t DU\xC2\xA0SOIR ") << QVariant("BRUME DU SOIR");
    QTest::newRow("empty number") << "valeur" << QByteArray("") << QVariant();
    QTest::newRow("blank number") << "nbPartant" << QByteArray("  ") << QVariant();
    QTest::newRow("zero distance") << "distance" << QByteArray("0") << QVariant(qint64(0));
    QTest::newRow("cell of 64 KiB")
        << "commentaire" << QByteArray(64 * 1024, 'x') << QVariant(QString(64 * 1024, 'x'));
    QTest::newRow("empty text") << "jockey" << QByteArray("") << QVariant();
    QTest::newRow("place is text") << "place" << QByteArray("DAI") << QVariant("DAI");
    QTest::newRow("numeric place stays text") << "place" << QByteArray("1") << QVariant("1");
    QTest::newRow("text keeps its blanks") << "commentaire" << QByteArray(" a ") << QVariant(" a ");
}

void TestImport::cellsAreConverted() {
    QFETCH(QString, column);
    QFETCH(QByteArray, cell);
    QFETCH(QVariant, expected);
    const importer::ConvertedRow row = convert(rowWith(column, cell));
    QVERIFY2(row.problems.empty(),
             qPrintable(row.problems.empty() ? QString() : row.problems[0].reason));
    const int c = columnIndex(column);
    const importer::Value& value = row.values[static_cast<size_t>(c)];
    QVariant actual;
    switch (value.type) {
    case importer::Value::Null:
        break;
    case importer::Value::Integer:
        actual = QVariant(qint64(value.integer));
        break;
    case importer::Value::Real:
        actual = QVariant(value.real);
        break;
    case importer::Value::Text:
        actual = QVariant(QString::fromStdString(std::string(row.text(c))));
        break;
    }
    QCOMPARE(actual, expected);
}

void TestImport::badCellsAreRefused_data() {
    QTest::addColumn<QString>("column");
    QTest::addColumn<QByteArray>("cell");
    QTest::addColumn<QString>("reason");

    QTest::newRow("31 February") << "date" << QByteArray("31/02/2024")
                                 << "date illisible « 31/02/2024 »";
    QTest::newRow("29 February, common year")
        << "date" << QByteArray("29/02/2023") << "date illisible";
    QTest::newRow("month 13") << "date" << QByteArray("2024-13-01") << "date illisible";
    QTest::newRow("American order") << "date" << QByteArray("03/25/2024") << "date illisible";
    QTest::newRow("two-digit year") << "date" << QByteArray("05/03/24") << "date illisible";
    QTest::newRow("bad hour") << "date" << QByteArray("05/03/2024 25:00") << "date illisible";
    QTest::newRow("trailing text") << "date" << QByteArray("05/03/2024x") << "date illisible";
    QTest::newRow("empty date") << "date" << QByteArray("") << "valeur obligatoire absente";
    QTest::newRow("word for a number")
        << "valeur" << QByteArray("abc") << "nombre attendu, lu « abc »";
    QTest::newRow("two separators") << "valeur" << QByteArray("1,234.5") << "nombre attendu";
    QTest::newRow("sign alone") << "valeur" << QByteArray("-") << "nombre attendu";
    QTest::newRow("exponent") << "dotation" << QByteArray("1e5") << "nombre attendu";
    QTest::newRow("infinity") << "dotation" << QByteArray("inf") << "nombre attendu";
    QTest::newRow("loose blank") << "distance" << QByteArray("24 00 m") << "nombre attendu";
    // Blanks only between groups of three digits.
    for (const char* cell : {"12 34", "1 6 0 0", "1234 567", "1 2345", "15 ,5", "1 000, 5"})
        QTest::addRow("blank in %s", cell) << "dotation" << QByteArray(cell) << "nombre attendu";
    QTest::newRow("fraction in an integer")
        << "R" << QByteArray("1,5") << "nombre entier attendu, lu « 1,5 »";
    QTest::newRow("huge integer") << "distance" << QByteArray("99999999999999999999")
                                  << "nombre trop grand";
    QTest::newRow("no horse") << "cheval" << QByteArray("") << "valeur obligatoire absente";
    QTest::newRow("no race number") << "C" << QByteArray(" ") << "valeur obligatoire absente";
    QTest::newRow("invalid UTF-8")
        << "jockey" << QByteArray("J\xC3") << "texte illisible (UTF-8 invalide)";
    QTest::newRow("UTF-8 surrogate") << "jockey" << QByteArray("\xED\xA0\x80") << "texte illisible";
    QTest::newRow("NUL byte") << "jockey" << QByteArray("J\0X", 3)
                              << "texte illisible (octet nul 0x00)";
    QTest::newRow("NUL byte in a number")
        << "distance" << QByteArray("16\0", 3) << "texte illisible (octet nul 0x00)";
    for (const char* column : {"R", "C", "nbPartant", "distance", "dotation", "dossard"})
        QTest::addRow("negative %s", column)
            << column << QByteArray("-3") << "nombre négatif impossible ici, lu « -3 »";
    QTest::newRow("cell over 64 KiB")
        << "commentaire" << QByteArray(64 * 1024 + 1, 'x') << "champ trop long (plus de 64 Kio)";
}

void TestImport::badCellsAreRefused() {
    QFETCH(QString, column);
    QFETCH(QByteArray, cell);
    QFETCH(QString, reason);
    const importer::ConvertedRow row = convert(rowWith(column, cell));
    QCOMPARE(row.problems.size(), size_t(1));
    QCOMPARE(row.problems[0].column, columnIndex(column));
    QVERIFY2(row.problems[0].reason.startsWith(reason), qPrintable(row.problems[0].reason));

    // A row of the wrong length is refused as a whole.
    std::vector<std::string> shortRow = rowWith(column, cell);
    shortRow.pop_back();
    const importer::ConvertedRow bad = convert(shortRow);
    QCOMPARE(bad.problems.size(), size_t(1));
    QCOMPARE(bad.problems[0].column, -1);
    QCOMPARE(bad.problems[0].reason, QString("19 champs au lieu de 20"));
}

void TestImport::headerProblemsRefuseTheFile_data() {
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("message");
    // Each says what to change.
    QTest::newRow("unknown column")
        << QByteArray("date;hippodrome;R;C;cheval;cote")
        << "velmora-db: en-tête (ligne 1) : colonne 6 : « cote » n'est pas une colonne de CR ; "
           "retirez-la ou renommez-la\n"
           "velmora-db: en-tête (ligne 1) : les colonnes de CR : date, hippodrome, R, C, course, "
           "nbPartant, distance, dotation, dossard, chevalMusique, jockey, statut, place, "
           "Terrain, Etat, valeur, type de course, commentaire, cheval, discipline\n";
    QTest::newRow("type de course needs its blanks")
        << QByteArray("date;hippodrome;R;C;cheval;typedecourse")
        << "velmora-db: en-tête (ligne 1) : colonne 6 : « typedecourse » n'est pas une colonne de "
           "CR ; renommez-la « type de course »\n";
    QTest::newRow("a slip in a name")
        << QByteArray("date;hipodrome;R;C;cheval;hippodrome")
        << "velmora-db: en-tête (ligne 1) : colonne 2 : « hipodrome » n'est pas une colonne de "
           "CR ; renommez-la « hippodrome »\n";
    QTest::newRow("repeated column")
        << QByteArray("date;hippodrome;R;C;cheval;Cheval")
        << "velmora-db: en-tête (ligne 1) : colonne 6 : « Cheval » est déjà la colonne 5 ; "
           "retirez l'une des deux\n";
    // A separator at the end of the header is no column: see fileOutcomes.
    QTest::newRow("nameless column")
        << QByteArray("date;;hippodrome;R;C;cheval")
        << "velmora-db: en-tête (ligne 1) : colonne 2 : colonne sans nom ; nommez-la ou "
           "retirez-la\n";
    QTest::newRow("key column missing")
        << QByteArray("date;hippodrome;R;cheval")
        << "velmora-db: en-tête (ligne 1) : la colonne « C » manque (date, hippodrome, R, C et "
           "cheval identifient un partant) ; ajoutez-la\n";
}

void TestImport::headerProblemsRefuseTheFile() {
    QFETCH(QByteArray, header);
    QFETCH(QString, message);
    const ToolRun run = import(header + "\n05/03/2024;Longchamp;1;4;BEAU JOUR;x\n", {"--skip-bad"});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, message);
    QCOMPARE(crCount(), 0);

    // A file without a header has nothing to import.
    const ToolRun empty = import("");
    QCOMPARE(empty.status, 0);
    QCOMPARE(empty.err, QString());
    QCOMPARE(empty.out, QString("Rien à importer : le fichier ne contient aucune ligne de "
                                "résultats.\n"));
}

void TestImport::badRowRefusesTheWholeFile() {
    m_db->exec("INSERT INTO CR (date, hippodrome, R, C, cheval) VALUES ('2020-01-01', 'Pau', 1, "
               "1, 'ANCIEN')");
    const QByteArray csv = kHeader + "\n"
                                     "05/03/2024;Longchamp;1;1;A;40;1600;Handicap\n"
                                     "05/03/2024;Longchamp;1;2;B;quarante;1600;Handicap\n"
                                     "05/03/2024;Longchamp;1;3;C;40;1600;Handicap\n"
                                     "31/02/2024;Longchamp;1;4;D;40;1600,5;Handicap\n"
                                     "05/03/2024;Longchamp;1;5;E;40;1600\n";
    const ToolRun run = import(csv);
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err,
             QString("ligne 3, colonne « valeur » : nombre attendu, lu « quarante »\n"
                     "ligne 5, colonne « date » : date illisible « 31/02/2024 » "
                     "(jj/mm/aaaa ou aaaa-mm-jj attendu, heure HH:MM facultative)\n"
                     "ligne 5, colonne « distance » : nombre entier attendu, lu « 1600,5 »\n"
                     "ligne 6 : 7 champs au lieu de 8\n"));
    QVERIFY2(run.out.contains("3 lignes refusées sur 5 ; rien n'a été importé"),
             qPrintable(run.out));
    // Nothing of the file, and what was there before is untouched.
    QCOMPARE(crCount(), 1);
    QCOMPARE(m_db->scalar("SELECT cheval FROM CR").toString(), QString("ANCIEN"));
}

void TestImport::skipBadImportsTheGoodRows() {
    const QByteArray csv = kHeader + "\n"
                                     "05/03/2024;Longchamp;1;1;A;40;1600;Handicap\n"
                                     "05/03/2024;Longchamp;1;2;B;quarante;1600;Handicap\n"
                                     "05/03/2024;Longchamp;1;3;C;40,5;1600;Handicap\n";
    const ToolRun run = import(csv, {"--skip-bad"});
    QCOMPARE(run.status, 3);
    QCOMPARE(run.err, QString("ligne 3, colonne « valeur » : nombre attendu, lu « quarante »\n"));
    QCOMPARE(run.out, QString("Import partiel : 2 lignes importées, 0 déjà présente, 1 "
                              "refusée ; les lignes refusées sont listées. Texte lu en "
                              "UTF-8.\n0 pari réglé\n"));
    QCOMPARE(
        m_db->scalar("SELECT group_concat(cheval, ',') FROM (SELECT cheval FROM CR ORDER BY C)")
            .toString(),
        QString("A,C"));
}

void TestImport::misplacedQuotes() {
    const QByteArray csv = "date;hippodrome;R;C;cheval;commentaire\n"
                           "05/03/2024;Longchamp;1;1;A;\"fini\" fort\n"
                           "05/03/2024;Longchamp;1;2;B;dit \"bof\"\n"
                           "05/03/2024;Longchamp;1;3;C;ok\n"
                           "05/03/2024;Longchamp;1;4;D;\"jamais fermé\n"
                           "05/03/2024;Longchamp;1;5;E;perdu\n";
    const ToolRun run = import(csv, {"--skip-bad"});
    QCOMPARE(run.status, 3);
    QVERIFY2(run.err.startsWith("ligne 2 : guillemet mal placé"), qPrintable(run.err));
    QVERIFY2(run.err.contains("\nligne 3 : guillemet mal placé"), qPrintable(run.err));
    QVERIFY2(run.err.contains("\nligne 5 : guillemet ouvert jamais fermé"), qPrintable(run.err));
    // The rows the unclosed quote swallowed count: lines 5 and 6.
    QVERIFY2(run.out.contains("1 ligne importée, 0 déjà présente, 4 refusées"),
             qPrintable(run.out));
    QCOMPARE(m_db->scalar("SELECT cheval FROM CR").toString(), QString("C"));

    const ToolRun strict = import(csv.left(csv.indexOf("05/03/2024;Longchamp;1;4")));
    QCOMPARE(strict.status, 1);
    QCOMPARE(crCount(), 1);
}

void TestImport::reimportAddsNothing() {
    const QByteArray csv = kHeader + "\n"
                                     "05/03/2024;Longchamp;1;1;A;40;1600;Handicap\n"
                                     "05/03/2024;Longchamp;1;1;B;41;1600;Handicap\n"
                                     "05/03/2024 ;Longchamp;1;2;A;40;2000;Listed\n";
    QCOMPARE(import(csv).status, 0);
    QCOMPARE(crCount(), 3);

    const ToolRun again = import(csv);
    QCOMPARE(again.status, 0);
    QCOMPARE(again.out, QString("Import terminé : 0 ligne importée, 3 déjà présentes, 0 "
                                "refusée. Texte lu en UTF-8.\n0 pari réglé\n"));
    QCOMPARE(crCount(), 3);

    // The same runner written differently (ISO date, other case) is the same runner; a new
    // one in the same file still goes in.
    const ToolRun mixed = import(kHeader + "\n"
                                           "2024-03-05;LONGCHAMP;1;1;a;40;1600;Handicap\n"
                                           "2024-03-05;Longchamp;1;1;Z;40;1600;Handicap\n"
                                           "2024-03-05;Longchamp;1;1;Z;40;1600;Handicap\n");
    QCOMPARE(mixed.status, 0);
    QVERIFY2(mixed.out.contains("1 ligne importée, 2 déjà présentes"), qPrintable(mixed.out));
    QCOMPARE(crCount(), 4);

    // A corrected file is a correction: the columns it names are updated, the others kept.
    const ToolRun corrected = import("date;hippodrome;R;C;cheval;valeur\n"
                                     "05/03/2024;Longchamp;1;1;A;42\n"
                                     "05/03/2024;Longchamp;1;1;B;41\n");
    QCOMPARE(corrected.status, 0);
    QCOMPARE(corrected.out, QString("Import terminé : 0 ligne importée, 1 mise à jour, 1 "
                                    "déjà présente, 0 refusée. Texte lu en UTF-8.\n"
                                    "0 pari réglé\n"));
    QCOMPARE(m_db->scalar("SELECT group_concat(valeur || '/' || distance || '/' || [type de "
                          "course], '|') FROM CR WHERE C = 1 AND cheval = 'A'")
                 .toString(),
             QString("42.0/1600/Handicap"));
    QCOMPARE(crCount(), 4);
}

void TestImport::largeImportRebuildsIndexes() {
    // Their whole definitions: the confirmation index comes back with its WHERE.
    const QString indexes = "SELECT group_concat(sql, ' | ') FROM (SELECT sql FROM sqlite_master "
                            "WHERE type = 'index' AND tbl_name = 'CR' ORDER BY name)";
    const QString before = m_db->scalar(indexes).toString();
    for (const char* name :
         {"CR_cheval_date", "CR_place_discipline", "CR_plat_confirmations", "CR_runner"})
        QVERIFY2(before.contains(name), name);
    QVERIFY(before.contains("WHERE discipline = 'plat'"));

    const QString path = m_db->folder() + "/big.csv";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(kHeader + "\n");
    for (int c = 1; c <= 300; ++c)
        file.write(QByteArray("05/03/2024;Vichy;2;") + QByteArray::number(c) + ";H" +
                   QByteArray::number(c % 7) + ";40;1600;Handicap\n");
    file.write(QByteArray("05/03/2024;Vichy;2;1;H1;40;1600;Handicap\n")); // a duplicate
    file.close();

    importer::Options options;
    options.rebuildIndexesFrom = 0;
    options.progressBytes = 0;
    QString messages;
    QTextStream err(&messages);
    const importer::Summary summary = importer::importFile(path, m_db->db()->raw(), options, err);
    QVERIFY(summary.committed);
    QCOMPARE(summary.imported, qint64(300));
    QCOMPARE(summary.duplicates, qint64(1));
    QCOMPARE(m_db->scalar(indexes).toString(), before);
    QCOMPARE(m_db->scalar("SELECT COUNT(*) FROM CR INDEXED BY CR_cheval_date WHERE cheval = 'H3'")
                 .toInt(),
             43);
    QCOMPARE(m_db->scalar("PRAGMA integrity_check").toString(), QString("ok"));

    // A refused file leaves the indexes as they were too.
    QVERIFY(file.open(QIODevice::Append));
    file.write("bad;Vichy;2;1;H1;40;1600;Handicap\n");
    file.close();
    const importer::Summary refused = importer::importFile(path, m_db->db()->raw(), options, err);
    QVERIFY(!refused.committed);
    QCOMPARE(m_db->scalar(indexes).toString(), before);
    QCOMPARE(crCount(), 300);
}

void TestImport::progressAndUsage() {
    const QString path = m_db->folder() + "/p.csv";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(kHeader + "\n05/03/2024;Vichy;2;1;H;40;1600;Handicap\n");
    file.close();
    importer::Options options;
    options.progressBytes = 0;
    QString messages;
    QTextStream err(&messages);
    importer::importFile(path, m_db->db()->raw(), options, err);
    err.flush();
    QVERIFY2(messages.startsWith("Import : 1 lignes, 100 %, "), qPrintable(messages));

    QString out, errors;
    QTextStream o(&out), e(&errors);
    QCOMPARE(runDbTool({"import-results"}, o, e), 2);
    e.flush();
    QVERIFY(errors.contains("import-results FICHIER [DOSSIER] [--skip-bad]"));
    QCOMPARE(runDbTool({"import-results", m_db->folder() + "/absent.csv", m_db->folder()}, o, e),
             1);
    e.flush();
    QVERIFY2(errors.endsWith("/absent.csv : fichier introuvable\n"), qPrintable(errors));
    QCOMPARE(runDbTool({"import-results", path, m_db->folder() + "/nowhere"}, o, e), 1);
}

void TestImport::generatorOutputImportsCleanly() {
#ifndef VELMORA_WITH_GENERATOR
    QSKIP("The generator is built with VELMORA_BENCH");
#else
    bench::GeneratorOptions options;
    options.resultRows = 4000;
    options.ledgerRows = 800;
    options.bigMonthRows = 300;
    const bench::Generator generator(options);
    const QString csv = m_db->folder() + "/gen.csv";
    generator.writeResultsCsv(csv);

    QString out, errors;
    QTextStream o(&out), e(&errors);
    QCOMPARE(runDbTool({"import-results", csv, m_db->folder()}, o, e), 0);
    e.flush();
    QCOMPARE(errors, QString());
    QCOMPARE(crCount(), 4000);
    QCOMPARE(
        m_db->scalar("SELECT COUNT(*) FROM CR WHERE cheval = ?", {generator.landmarks().starHorse})
            .toInt(),
        options.starRaces);
    // Every discipline, non-finishers, nulls and line breaks are there.
    QCOMPARE(m_db->scalar("SELECT COUNT(DISTINCT discipline) FROM CR").toInt(), 4);
    QVERIFY(
        m_db->scalar("SELECT COUNT(*) FROM CR WHERE place IN ('NP', 'DAI', 'ARR', 'T')").toInt() >
        0);
    QVERIFY(m_db->scalar("SELECT COUNT(*) FROM CR WHERE valeur IS NULL").toInt() > 0);
    QVERIFY(m_db->scalar("SELECT COUNT(*) FROM CR WHERE [type de course] LIKE '%groupe%'").toInt() >
            0);

    // The CSV and the direct fill hold the same rows; the same seed gives the same file.
    const QString folder = generatedFolder(*m_db, generator, "direct");
    auto direct = data::schema::openFile(folder + "/velmora.mdb");
    const QString digest =
        "SELECT group_concat(date || hippodrome || R || C || cheval || "
        "ifnull(valeur, '-') || ifnull(dotation, '-') || ifnull(commentaire, '-'), '|') "
        "FROM (SELECT * FROM CR ORDER BY rowid)";
    QCOMPARE(direct->scalar(digest).toString(), m_db->scalar(digest).toString());
    const QString again = m_db->folder() + "/again.csv";
    bench::Generator(options).writeResultsCsv(again);
    QFile a(csv), b(again);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QVERIFY(a.readAll() == b.readAll());
#endif
}

namespace {

// SoldeEnCours = SoldeDepart + wins - stakes; SoldeDepart includes the month's credits.
const QString kBalanceMismatches =
    "SELECT COUNT(*) FROM USERS u WHERE abs(u.SoldeEnCours - u.SoldeDepart - (SELECT "
    "total(Credit) - total(Debit) FROM JEUX j WHERE j.User = u.pseudo AND j.mois = u.Mois AND "
    "j.[type jeux] <> 'Approvisionnement compte')) > 0.001 OR abs(u.SoldeEnCours - (SELECT "
    "SoldeApres FROM JEUX j WHERE j.User = u.pseudo AND j.mois = u.Mois ORDER BY Num DESC "
    "LIMIT 1)) > 0.001";
// Each row's balance follows from the one before it.
const QString kBrokenBalances =
    "SELECT COUNT(*) FROM JEUX j WHERE abs(j.SoldeApres - j.SoldeAvant - j.Credit + j.Debit) "
    "> 0.001 OR j.SoldeAvant <> ifnull((SELECT p.SoldeApres FROM JEUX p WHERE p.User = j.User "
    "AND p.mois = j.mois AND p.Num < j.Num ORDER BY p.Num DESC LIMIT 1), j.SoldeAvant)";

} // namespace

void TestImport::generatorLedgerAgreesWithBalances() {
#ifndef VELMORA_WITH_GENERATOR
    QSKIP("The generator is built with VELMORA_BENCH");
#else
    bench::GeneratorOptions options;
    options.resultRows = 500;
    options.ledgerRows = 3000;
    options.bigMonthRows = 700;
    const bench::Generator generator(options);
    const QString folder = generatedFolder(*m_db, generator, "ledger");
    auto db = data::schema::openFile(folder + "/velmora.mdb");
    const bench::Landmarks& marks = generator.landmarks();

    QCOMPARE(db->scalar("SELECT COUNT(*) FROM JEUX").toInt(), 3000);
    QCOMPARE(db->scalar("SELECT COUNT(*) FROM JEUX WHERE User = ? AND mois = ?",
                        {marks.bigPlayer, marks.bigMonth})
                 .toInt(),
             700);
    QCOMPARE(db->scalar(kBalanceMismatches).toInt(), 0);
    QCOMPARE(db->scalar(kBrokenBalances).toInt(), 0);
    QVERIFY(db->scalar("SELECT COUNT(*) FROM JEUX WHERE [type jeux] = 'Approvisionnement compte' "
                       "AND Cheval = 'autre jeux' AND Debit = 0")
                .toInt() > 0);
    QCOMPARE(db->scalar("SELECT COUNT(*) FROM JEUX WHERE Cheval LIKE '%''%'").toInt(), 0);
    QCOMPARE(db->scalar("SELECT nomcheval FROM MESSUIVITS ORDER BY num LIMIT 1").toString(),
             marks.starHorse);
    QCOMPARE(db->scalar("SELECT COUNT(*) FROM USERS").toInt(),
             db->scalar("SELECT COUNT(*) FROM (SELECT DISTINCT User, mois FROM JEUX)").toInt());
#endif
}

void TestImport::generatorWeekOfBetsIsSettledByItsResults() {
#ifndef VELMORA_WITH_GENERATOR
    QSKIP("The generator is built with VELMORA_BENCH");
#else
    bench::GeneratorOptions options;
    options.resultRows = 8000;
    options.ledgerRows = 1000;
    options.betDays = 7;
    const bench::Generator generator(options);
    const auto bets = generator.bets();
    const auto missing =
        std::count_if(bets.begin(), bets.end(), [](const auto& b) { return !b.runs; });
    QCOMPARE(generator.heldBackFrom().daysTo(generator.heldBackTo()), 6);
    QVERIFY(bets.size() > 280 && missing > 0);
    const QString folder = generatedFolder(*m_db, generator, "week");
    generator.writeHeldBackCsv(folder + "/week.csv");
    auto db = data::schema::openFile(folder + "/velmora.mdb");
    // The week is out of CR, its stakes in the ledger as the program records them.
    QCOMPARE(db->scalar("SELECT COUNT(*) FROM CR WHERE date >= ?",
                        {generator.heldBackFrom().toString(Qt::ISODate)})
                 .toInt(),
             0);
    QCOMPARE(db->scalar("SELECT COUNT(*) FROM PARIS WHERE Etat = 'en cours'").toInt(),
             int(bets.size()));
    QCOMPARE(db->scalar(kBalanceMismatches).toInt(), 0);
    QCOMPARE(db->scalar(kBrokenBalances).toInt(), 0);

    const ToolRun run = tool({"import-results", folder + "/week.csv", folder});
    QCOMPARE(run.status, 0);
    QCOMPARE(db->scalar("SELECT COUNT(*) FROM CR").toInt(), options.resultRows);
    // Every bet on a runner is settled; the others are named.
    QVERIFY2(run.out.endsWith(QStringLiteral("\n%1 paris réglés\n").arg(bets.size() - missing)),
             qPrintable(run.out.right(200)));
    QCOMPARE(run.out.count("cheval introuvable"), int(missing));
    QCOMPARE(db->scalar("SELECT COUNT(DISTINCT Etat) FROM PARIS").toInt(), 4);
#endif
}

void TestImport::generatorCardImportsCleanly() {
#ifndef VELMORA_WITH_GENERATOR
    QSKIP("The generator is built with VELMORA_BENCH");
#else
    bench::GeneratorOptions options;
    options.resultRows = 4000;
    options.ledgerRows = 480;
    const bench::Generator generator(options);
    const QString folder = generatedFolder(*m_db, generator, "card");
    const bench::CardSummary card = generator.writeCardCsv(folder + "/partants.csv");
    // A smaller CR, a smaller card: one runner for 50 of its rows.
    QCOMPARE(card.runners, 80);
    QVERIFY(card.races >= 5 && card.followed >= 2);
    // The generator's card is of its own days, not of today's: a card is read within 30 days.
    regional::setToday(card.day);
    const ToolRun run = tool({"import-card", folder + "/partants.csv", folder});
    QCOMPARE(run.err, QString());
    QCOMPARE(run.out, QString("Programme importé : %1 courses, %2 partants, dont %3 de vos "
                              "chevaux suivis. Texte lu en UTF-8.\n")
                          .arg(card.races)
                          .arg(card.runners)
                          .arg(card.followed));
    // The day after the last results, every runner with its form in CR, hours and odds read.
    auto db = data::schema::openFile(folder + "/velmora.mdb");
    QCOMPARE(db->scalar("SELECT date(max(date), '+1 day') FROM CR").toString(),
             card.day.toString(Qt::ISODate));
    QCOMPARE(db->scalar("SELECT COUNT(*) FROM PARTANTS p WHERE date <> ? OR heure NOT LIKE "
                        "'__:__' OR NOT EXISTS (SELECT 1 FROM CR WHERE cheval = p.cheval)",
                        {card.day.toString(Qt::ISODate)})
                 .toInt(),
             0);
    QVERIFY(db->scalar("SELECT COUNT(cote) FROM PARTANTS").toInt() > card.runners / 2);
#endif
}

void TestImport::generatorLedgerHasEveryPlayerAndMonth() {
#ifndef VELMORA_WITH_GENERATOR
    QSKIP("The generator is built with VELMORA_BENCH");
#else
    // velmora-gen --ledger 3000: the big month shrinks so that the 40 players have twelve months.
    bench::GeneratorOptions options;
    options.resultRows = 300;
    options.ledgerRows = 3000;
    const bench::Generator generator(options);
    QCOMPARE(generator.options().bigMonthRows, 1500);
    const QString folder = generatedFolder(*m_db, generator, "small");
    auto db = data::schema::openFile(folder + "/velmora.mdb");
    QCOMPARE(db->scalar("SELECT COUNT(*) FROM JEUX").toInt(), 3000);
    QCOMPARE(db->scalar("SELECT COUNT(DISTINCT User) FROM JEUX").toInt(), 40);
    QCOMPARE(db->scalar("SELECT COUNT(*) FROM USERS").toInt(), 40 * 12);
    QCOMPARE(
        db->scalar("SELECT COUNT(*) FROM JEUX WHERE User = 'Bernard' AND mois = 'Mars'").toInt(),
        1500);
#endif
}

namespace {

QByteArray utf16(const QString& text, QStringConverter::Encoding encoding, bool bom) {
    QStringEncoder encoder(encoding, bom ? QStringConverter::Flag::WriteBom
                                         : QStringConverter::Flag::Default);
    return encoder.encode(text);
}

const QByteArray kShortHeader = "date;hippodrome;R;C;cheval;course;dotation;jockey\n";

} // namespace

void TestImport::fileOutcomes_data() {
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("err");    // "<csv>" stands for the file's path
    QTest::addColumn<QString>("out");    // how the summary starts
    QTest::addColumn<QString>("stored"); // CR's horses and races after, in order

    const QByteArray mixed = kShortHeader + "01/06/2024;Chantilly;1;2;ÉCLAIR DU SOIR;Prix de "
                                            "l’Été;;\n"
                                            "01/06/2024;Chantilly;1;3;ZÈBRE;Pr\xE9;;\n";
    const QString mixedError =
        QStringLiteral("ligne 3, colonne « course » : texte illisible (UTF-8 invalide), lu "
                       "« Pr\uFFFD »\n");
    QTest::newRow("mixed encodings: refused")
        << mixed << QStringList() << 1 << mixedError << "Fichier refusé : 1 ligne refusée sur 2"
        << "";
    QTest::newRow("mixed encodings: --skip-bad keeps the accents")
        << mixed << QStringList{"--skip-bad"} << 3 << mixedError << "Import partiel"
        << "ÉCLAIR DU SOIR/Prix de l’Été";
    QTest::newRow("NUL byte") << kShortHeader + QByteArray("01/06/2024;Vichy;1;2;A\0B;;;\n", 28)
                              << QStringList() << 1
                              << "ligne 2, colonne « cheval » : texte illisible (octet nul 0x00)\n"
                              << "Fichier refusé"
                              << "";
    QByteArray undefined = kShortHeader + "01/06/2024;Vichy;1;1;A;Pr\xE9;;\n";
    QString undefinedErrors;
    int line = 3;
    for (const char* byte : {"\x81", "\x8D", "\x8F", "\x90", "\x9D"}) {
        undefined += "01/06/2024;Vichy;1;2;A;;;J" + QByteArray(byte) + "\n";
        undefinedErrors += QStringLiteral("ligne %1, colonne « jockey » : texte illisible "
                                          "(octet 0x%2, non défini en Windows-1252)\n")
                               .arg(line++)
                               .arg(QString::number(uchar(byte[0]), 16).toUpper());
    }
    QTest::newRow("bytes Windows-1252 leaves undefined")
        << undefined << QStringList{"--skip-bad"} << 3 << undefinedErrors << "Import partiel"
        << "A/Pré";
    QTest::newRow("negative number")
        << kShortHeader + "01/06/2024;Vichy;1;2;A;;-15 000;\n"
        << QStringList() << 1
        << "ligne 2, colonne « dotation » : nombre négatif impossible ici, lu « -15 000 »\n"
        << "Fichier refusé"
        << "";
    QTest::newRow("trailing empty rows")
        << kShortHeader + "01/06/2024;Vichy;1;2;A;;;\r\n;;;;;;;\r\n;;;;;;;\r\n\"\";;\"\";;;;;\r\n"
        << QStringList() << 0 << ""
        << "Import terminé : 1 ligne importée"
        << "A/";
    QTest::newRow("empty rows keep the line numbers")
        << kShortHeader + ";;;;;;;\n\n01/06/2024;Vichy;1;2;A;;x;\n"
        << QStringList() << 1 << "ligne 4, colonne « dotation » : nombre attendu, lu « x »\n"
        << "Fichier refusé"
        << "";
    const QString text = QString::fromUtf8(kShortHeader + "01/06/2024;Vichy;1;2;A;;;\n");
    const QString wide16 = "velmora-db: <csv> : le fichier est en UTF-16 ; enregistrez-le en "
                           "UTF-8 (ou en Windows-1252) puis recommencez\n";
    QTest::newRow("UTF-16 with BOM") << utf16(text, QStringConverter::Utf16LE, true)
                                     << QStringList() << 1 << wide16 << "Rien n'a été importé"
                                     << "";
    QTest::newRow("UTF-16 without BOM") << utf16(text, QStringConverter::Utf16LE, false)
                                        << QStringList() << 1 << wide16 << "Rien n'a été importé"
                                        << "";
    QTest::newRow("UTF-16 big-endian")
        << utf16(text, QStringConverter::Utf16BE, false) << QStringList{"--skip-bad"} << 1 << wide16
        << "Rien n'a été importé"
        << "";
    QTest::newRow("UTF-32") << utf16(text, QStringConverter::Utf32LE, true) << QStringList() << 1
                            << QString(wide16).replace("UTF-16", "UTF-32") << "Rien n'a été importé"
                            << "";
    QTest::newRow("cell over the limit")
        << kShortHeader + "01/06/2024;Vichy;1;2;A;" + QByteArray(64 * 1024 + 1, 'x') + ";;\n"
        << QStringList() << 1 << "ligne 2, colonne « course » : champ trop long (plus de 64 Kio)\n"
        << "Fichier refusé"
        << "";
    // Exit statuses: 0 all in (or nothing to add), 1 nothing changed, 3 partial.
    QTest::newRow("status 0: imported") << kShortHeader + "01/06/2024;Vichy;1;2;A;;;\n"
                                        << QStringList() << 0 << ""
                                        << "Import terminé : 1 ligne importée, 0 déjà "
                                           "présente, 0 refusée."
                                        << "A/";
    QTest::newRow("status 0: header only") << kShortHeader << QStringList() << 0 << ""
                                           << "Rien à importer"
                                           << "";
    QTest::newRow("status 0: blank lines only")
        << QByteArray("\n;;\n\r\n") << QStringList() << 0 << ""
        << "Rien à importer"
        << "";
    QTest::newRow("status 1: every row refused, --skip-bad")
        << kShortHeader + "01/06/2024;Vichy;1;-2;A;;;\n"
        << QStringList{"--skip-bad"} << 1
        << "ligne 2, colonne « C » : nombre négatif impossible ici, lu « -2 »\n"
        << "Fichier refusé : 1 ligne refusée sur 1 ; rien n'a été importé. Texte lu en "
           "UTF-8.\n"
        << "";
    QTest::newRow("status 3: some rows left out")
        << kShortHeader + "01/06/2024;Vichy;1;2;A;;;\n01/06/2024;Vichy;1;x;B;;;\n"
        << QStringList{"--skip-bad"} << 3 << "ligne 3, colonne « C » : nombre attendu, lu « x »\n"
        << "Import partiel : 1 ligne importée, 0 déjà présente, 1 refusée"
        << "A/";

    // Encodings decided over the whole file, named in the summary, or forced.
    QStringEncoder cp1252("windows-1252"), latin9("ISO-8859-15");
    const QByteArray tombe = cp1252.encode(QString::fromUtf8(
        kShortHeader + "01/06/2024;Vichy;1;1;PRÉ;«L'ÉTÉ»;;\n01/06/2024;Vichy;1;2;TOMBÉ…;;;\n"
                       "01/06/2024;Vichy;1;3;ÉCLAIR;Prix Écrin;;\n"));
    QVERIFY(tombe.contains("\xC9\x85") && tombe.contains("\xC9\xBB")); // valid UTF-8 pairs
    QTest::newRow("Windows-1252 in which É… makes a UTF-8 pair")
        << tombe << QStringList() << 0 << ""
        << "Import terminé : 3 lignes importées, 0 déjà présente, 0 refusée. Texte lu "
           "en Windows-1252."
        << "PRÉ/«L'ÉTÉ»|TOMBÉ…/|ÉCLAIR/Prix Écrin";
    QTest::newRow("forced UTF-8 refuses the Windows-1252 rows")
        << tombe << QStringList{"--encoding", "utf-8", "--skip-bad"} << 3
        << "ligne 2, colonne « cheval » : texte illisible (UTF-8 invalide), lu « PR\uFFFD »\n"
           "ligne 2, colonne « course » : texte illisible (UTF-8 invalide), lu "
           "« \uFFFDL'\uFFFDT\u027B »\n"
           "ligne 4, colonne « cheval » : texte illisible (UTF-8 invalide), lu « \uFFFDCLAIR »\n"
           "ligne 4, colonne « course » : texte illisible (UTF-8 invalide), lu "
           "« Prix \uFFFDcrin »\n"
        << "Import partiel : 1 ligne importée, 0 déjà présente, 2 refusées ; les "
           "lignes refusées sont listées. Texte lu en UTF-8 (--encoding)."
        << "TOMBɅ/";
    const QByteArray euro =
        latin9.encode(QString::fromUtf8(kShortHeader + "01/06/2024;Vichy;1;1;A;5 000 € œuvre;;\n"));
    QTest::newRow("Latin-9 read as Windows-1252") << euro << QStringList() << 0 << ""
                                                  << "Import terminé"
                                                  << "A/5 000 ¤ ½uvre";
    QTest::newRow("Latin-9 with --encoding")
        << euro << QStringList{"--encoding=iso-8859-15"} << 0 << ""
        << "Import terminé : 1 ligne importée, 0 déjà présente, 0 refusée. Texte lu "
           "en ISO-8859-15 (--encoding)."
        << "A/5 000 € œuvre";

    // Every cell trimmed alike, quoted or not; key cells with their inner blanks made one.
    QTest::newRow("quoted and unquoted: one runner")
        << kShortHeader + "01/06/2024;Chantilly ;1;2;BRUME ;  Prix ;;\n"
                          "01/06/2024;\"Chantilly \";1;2;\" BRUME\";\" Prix \";;\n"
                          "01/06/2024;Chantilly;1;3;\"BRUME  DU\xC2\xA0SOIR\";;;\n"
        << QStringList() << 0 << ""
        << "Import terminé : 2 lignes importées, 1 déjà présente, 0 refusée"
        << "BRUME/Prix|BRUME DU SOIR/";
    QTest::newRow("key cell blank once trimmed")
        << kShortHeader + "01/06/2024;\"   \";1;2;A;;;\n01/06/2024;Vichy;1;2;\xC2\xA0;;;\n"
        << QStringList() << 1
        << "ligne 2, colonne « hippodrome » : valeur obligatoire absente\n"
           "ligne 3, colonne « cheval » : valeur obligatoire absente\n"
        << "Fichier refusé : 2 lignes refusées sur 2"
        << "";

    // A runner named twice by one file: the same values are one row, others a refusal.
    const QByteArray twice = kShortHeader + "01/06/2024;Vichy;1;2;A;x;;\n"
                                            "01/06/2024;Vichy;1;3;B;;;\n"
                                            "01/06/2024;VICHY;1;2;A;x;;\n"
                                            "01/06/2024;Vichy;1;2;A;y;;\n";
    QTest::newRow("runner repeated with other values")
        << twice << QStringList() << 1
        << "ligne 5 : même partant que la ligne 2, avec d'autres valeurs\n"
        << "Fichier refusé : 1 ligne refusée sur 4"
        << "";
    QTest::newRow("runner repeated, --skip-bad keeps the first")
        << twice << QStringList{"--skip-bad"} << 3
        << "ligne 5 : même partant que la ligne 2, avec d'autres valeurs\n"
        << "Import partiel : 2 lignes importées, 1 déjà présente, 1 refusée"
        << "A/x|B/";

    // Every kind of line end counts; an unclosed quote takes every line after it.
    QTest::newRow("LF, CR LF and CR alone")
        << kShortHeader + "01/06/2024;Vichy;1;1;A;;;\r01/06/2024;Vichy;1;x;B;;;\r\n"
                          "01/06/2024;Vichy;1;y;C;;;\n\r01/06/2024;Vichy;1;z;D;;;\n"
        << QStringList{"--skip-bad"} << 3
        << "ligne 3, colonne « C » : nombre attendu, lu « x »\n"
           "ligne 4, colonne « C » : nombre attendu, lu « y »\n"
           "ligne 6, colonne « C » : nombre attendu, lu « z »\n"
        << "Import partiel : 1 ligne importée"
        << "A/";
    QTest::newRow("unclosed quote")
        << kShortHeader + "01/06/2024;Vichy;1;1;A;;;\n01/06/2024;Vichy;1;2;B;\"Prix;;\n"
                          "01/06/2024;Vichy;1;3;C;;;\n\n01/06/2024;Vichy;1;4;D;;;"
        << QStringList{"--skip-bad"} << 3
        << "ligne 3 : guillemet ouvert jamais fermé, lu « \"Prix;; » : les 4 lignes jusqu'à la "
           "fin du fichier sont lues comme un seul champ, et refusées ; fermez le guillemet, ou "
           "doublez-le s'il fait partie du texte\n"
        << "Import partiel : 1 ligne importée, 0 déjà présente, 4 refusées"
        << "A/";
    QTest::newRow("quote in a cell: the cell and the line to fix")
        << kShortHeader + "01/06/2024;Vichy;1;1;A;Prix \"du\" Lac;;\n"
        << QStringList() << 1
        << "ligne 2 : guillemet mal placé, lu « Prix \" » : un champ entre guillemets doit être "
           "entier, et un guillemet dans un champ se double ; à corriger : "
           "« 01/06/2024;Vichy;1;1;A;Prix \"du\" Lac;; »\n"
        << "Fichier refusé"
        << "";

    // Headers as spreadsheets write them.
    QTest::newRow("tab separator")
        << QByteArray(
               "date\thippodrome\tR\tC\tcheval\tcourse\n01/06/2024\tVichy\t1\t2\tA\tP, 1;2\n")
        << QStringList() << 0 << ""
        << "Import terminé"
        << "A/P, 1;2";
    QTest::newRow("sep= line, separator ending every line, no-break space in a name")
        << QByteArray("sep=,\r\ndate,hippodrome,R,C,cheval,type\xC2\xA0"
                      "de course,course,\r\n"
                      "01/06/2024,Vichy,1,2,A,Handicap,P;1,\r\n01/06/2024,Vichy,1,x,B,,,\r\n")
        << QStringList{"--skip-bad"} << 3 << "ligne 4, colonne « C » : nombre attendu, lu « x »\n"
        << "Import partiel"
        << "A/P;1";
}

void TestImport::fileOutcomes() {
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, err);
    QFETCH(QString, out);
    QFETCH(QString, stored);
    const ToolRun run = import(csv, args);
    QCOMPARE(run.err, QString(err).replace("<csv>", m_db->folder() + "/results.csv"));
    QVERIFY2(run.out.startsWith(out), qPrintable(run.out));
    QCOMPARE(run.status, status);
    QCOMPARE(m_db->scalar("SELECT group_concat(cheval || '/' || ifnull(course, ''), '|') FROM "
                          "(SELECT * FROM CR ORDER BY rowid)")
                 .toString(),
             stored);
}

void TestImport::encodingIsDecidedOverTheWholeFile() {
    using importer::Encoding;
    // Valid multi-byte sequences against the bytes that belong to none, over the whole file;
    // a sequence cut between two pieces still counts. A broken sequence's next byte may
    // start one: the lead E3 meets EF, which begins a sequence, and the cut may fall
    // anywhere in between.
    const std::pair<QByteArray, Encoding> samples[] = {
        {"Pr\xE9 ... \xC3\x89"
         "CLAIR",
         Encoding::Windows1252}, // one pair against one stray byte is not more
        {"Pr\xE9 ... \xC3\x89"
         "CLAIR \xC3\xA0 \xE2\x82\xAC",
         Encoding::Utf8},
        {"\xE3\xEF\xBB\xBF"
         "date",
         Encoding::Windows1252},
        {"\xEF\xBB\xBF"
         "d\xE9\xE9",
         Encoding::Utf8}, // the byte-order mark decides
        {"\xF0\xC3\xA9x\xC3\xA9", Encoding::Utf8},
        {"\xF0\x90\x80", Encoding::Windows1252},
        {"\xE2\x82", Encoding::Windows1252}};
    for (const auto& [sample, expected] : samples) {
        const Encoding whole = importer::detectEncoding(sample.toStdString());
        QVERIFY2(whole == expected, sample.toHex());
        for (int cut = 0; cut <= sample.size(); ++cut) {
            importer::EncodingScan scan;
            scan.feed(std::string_view(sample.constData(), size_t(cut)));
            scan.feed(std::string_view(sample.constData() + cut, size_t(sample.size() - cut)));
            QVERIFY2(scan.encoding() == whole,
                     sample.toHex() + " cut at " + QByteArray::number(cut));
        }
    }
    importer::EncodingScan bytewise;
    for (const char c : QByteArray("ab\xE2\x82\xAC \xC9\x85 \xE9"))
        bytewise.feed(std::string_view(&c, 1));
    QCOMPARE(bytewise.validSequences(), qint64(2));
    QCOMPARE(bytewise.invalidBytes(), qint64(1));
    QCOMPARE(importer::detectEncoding("Pr\xE9t \xE0 payer \x80 \xC3"), Encoding::Windows1252);
    QCOMPARE(importer::detectEncoding("\xE9\xA9"), Encoding::Windows1252); // é© is no sequence
    QCOMPARE(importer::detectEncoding("plain"), Encoding::Utf8);
    size_t bom = 0;
    QCOMPARE(importer::detectEncoding("\xEF\xBB\xBF"
                                      "date",
                                      &bom),
             Encoding::Utf8);
    QCOMPARE(bom, size_t(3));
    QCOMPARE(importer::wideEncoding("date;hip"), QString());
    QCOMPARE(importer::wideEncoding("\xEF\xBB\xBF"
                                    "d"),
             QString());
    QCOMPARE(importer::wideEncoding(std::string_view("\0d\0a", 4)), QString("UTF-16"));

    // Through a file of several blocks: the first valid sequence comes after 1 MiB, the
    // stray byte before it. The stray byte's row is refused and the accents are kept.
    QByteArray csv = kShortHeader + "01/06/2024;Vichy;1;1;PR\xC9;;;\n";
    for (int c = 2; csv.size() < 1200 * 1024; ++c)
        csv += "01/06/2024;Vichy;1;" + QByteArray::number(c) + ";PLAIN;;;\n";
    csv += "02/06/2024;Vichy;1;1;ÉCLAIR DU SOIR À CHÂTEAUBRIANT;;;\n";
    const ToolRun run = import(csv, {"--skip-bad"});
    QCOMPARE(run.status, 3);
    QVERIFY2(run.err.startsWith("ligne 2, colonne « cheval » : texte illisible (UTF-8 invalide)"),
             qPrintable(run.err));
    QCOMPARE(m_db->scalar("SELECT cheval FROM CR WHERE date = '2024-06-02'").toString(),
             QString("ÉCLAIR DU SOIR À CHÂTEAUBRIANT"));
}

void TestImport::runnerIsItsDay() {
    QCOMPARE(import(kShortHeader + "2024-06-01;Chantilly;1;2;ÉCLAIR;;;\n").status, 0);
    // The same runner with a time of day, and the racecourse in other capitals.
    const ToolRun timed = import(kShortHeader + "01/06/2024 15:00;CHANTILLY;1;2;ÉCLAIR;;;\n");
    QCOMPARE(timed.status, 0);
    QVERIFY2(timed.out.startsWith("Import terminé : 0 ligne importée, 1 déjà présente"),
             qPrintable(timed.out));
    // Within one file too, the time first this time; the time is kept.
    const ToolRun both = import(kShortHeader + "02/06/2024 14:05;Chantilly;1;2;ÉCLAIR;;;\n"
                                               "2024-06-02;Chantilly;1;2;ÉCLAIR;;;\n"
                                               "2024-06-02;Chantilly;1;3;ÉCLAIR;;;\n");
    QVERIFY2(both.out.startsWith("Import terminé : 2 lignes importées, 1 déjà présente"),
             qPrintable(both.out));
    QCOMPARE(m_db->scalar("SELECT group_concat(date, '|') FROM (SELECT date FROM CR ORDER BY "
                          "rowid)")
                 .toString(),
             QString("2024-06-01|2024-06-02 14:05|2024-06-02"));
}

void TestImport::handMadeDatabase_data() {
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QString>("note");
    QTest::addColumn<bool>("unique");
    QTest::addColumn<QString>("stored"); // CR's rows after the import: rowid, racecourse, horse
    const QStringList dropAll = {"DROP INDEX CR_runner", "DROP INDEX CR_cheval_date",
                                 "DROP INDEX CR_place_discipline"};
    QTest::newRow("six tables, no index")
        << dropAll
        << "velmora-db: CR n'avait pas d'index des partants : l'index CR_runner a été "
           "créé\n"
        << true << "1:Vichy/A|2:Vichy/B";
    QTest::newRow("runner index of an older version")
        << QStringList{"DROP INDEX CR_runner",
                       "CREATE UNIQUE INDEX CR_runner ON CR (date, hippodrome, R, C, cheval)"}
        << "velmora-db: l'index CR_runner a été refait sur le jour de la course (un partant avec "
           "une heure est le même que sans)\n"
        << true << "1:Vichy/A|2:Vichy/B";
    QTest::newRow("a runner there twice already")
        << dropAll + QStringList{"INSERT INTO CR (date, hippodrome, R, C, cheval) VALUES "
                                 "('2024-06-01', 'Vichy', 1, 1, 'A'), ('2024-06-01 15:00', "
                                 "'Vichy', 1, 1, 'A')"}
        << "velmora-db: CR n'avait pas d'index des partants : l'index CR_runner a été créé, non "
           "unique car CR contient déjà des partants en double\n"
        << false << "1:Vichy/A|2:Vichy/A|3:Vichy/B";
    // Stored by an older version with the blanks of quoted cells: mended once, the first
    // stored of two runners made one kept.
    QTest::newRow("keys stored with blanks")
        << QStringList{"DROP INDEX CR_runner",
                       "CREATE UNIQUE INDEX CR_runner ON CR (substr(date, 1, 10), hippodrome, R, "
                       "C, cheval)",
                       "INSERT INTO CR (date, hippodrome, R, C, cheval) VALUES ('2024-06-01', "
                       "'Vichy ', 1, 1, ' A'), ('2024-06-01', 'Vichy', 1, 1, 'A'), ('2024-06-01', "
                       "'Vichy', 1, 2, 'B\t')"}
        << "velmora-db: 2 partants de CR enregistrés avec des blancs autour de l'hippodrome "
           "ou du cheval : blancs retirés ; 1 en double d'un autre partant retiré, le premier "
           "enregistré gardé\n"
        << true << "1:Vichy/A|3:Vichy/B";
}

void TestImport::handMadeDatabase() {
    QFETCH(QStringList, setup);
    QFETCH(QString, note);
    QFETCH(bool, unique);
    for (const QString& sql : setup)
        m_db->exec(sql);
    QFETCH(QString, stored);
    const QString rows = "SELECT group_concat(rowid || ':' || hippodrome || '/' || cheval, '|') "
                         "FROM (SELECT rowid, * FROM CR ORDER BY rowid)";
    const QByteArray csv = kShortHeader + "01/06/2024;Vichy;1;1;A;;;\n"
                                          "01/06/2024 16:00;Vichy;1;2;B;;;\n"
                                          "2024-06-01;Vichy;1;2;B;;;\n";
    const ToolRun first = import(csv);
    QCOMPARE(first.status, 0);
    QCOMPARE(first.err, note);
    QCOMPARE(m_db->scalar(rows).toString(), stored);
    const ToolRun again = import(csv);
    QCOMPARE(again.status, 0);
    QCOMPARE(again.err, QString()); // the index is there now, the keys mended
    QVERIFY2(again.out.startsWith("Import terminé : 0 ligne importée"), qPrintable(again.out));
    QCOMPARE(m_db->scalar(rows).toString(), stored);
    QCOMPARE(m_db->scalar("SELECT \"unique\" FROM pragma_index_list('CR') WHERE name = "
                          "'CR_runner'")
                 .toBool(),
             unique);

    // A refused file leaves the file's indexes as they were.
    m_db->exec("DROP INDEX CR_runner");
    QCOMPARE(import(csv + "bad;Vichy;1;3;C;;;\n").status, 1);
    QCOMPARE(m_db->scalar("SELECT COUNT(*) FROM sqlite_master WHERE name = 'CR_runner'").toInt(),
             0);

    // Nothing is written before a file is accepted: without the confirmation lists' index,
    // a refused header leaves the bytes as they were; an import that commits adds it.
    m_db->exec("DROP INDEX CR_plat_confirmations");
    const auto bytes = [this] {
        QFile file(m_db->file());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = bytes();
    QCOMPARE(import("date;hippodrome;R;C;cheval;Cheval\n01/06/2024;Vichy;1;9;Z;Z\n").status, 1);
    QVERIFY(bytes() == before);
    QCOMPARE(import(kShortHeader + "01/06/2024;Vichy;1;9;Z;;;\n").status, 0);
    QCOMPARE(m_db->scalar("SELECT COUNT(*) FROM sqlite_master WHERE name = "
                          "'CR_plat_confirmations'")
                 .toInt(),
             1);
}

void TestImport::longCellsKeepMemoryBounded() {
    // A quoted cell over the limit holding line breaks, quotes and separators: the row is
    // refused, the cell's end is found and the lines after it keep their numbers. Blanks
    // after a cell's text count in its length.
    QByteArray cell;
    while (cell.size() <= 200 * 1024)
        cell += "un \"\"long\"\" commentaire ; sur\nplusieurs lignes   ";
    const int breaks = int(cell.count('\n'));
    const QByteArray csv = "date;hippodrome;R;C;cheval;commentaire\n"
                           "01/06/2024;Vichy;1;1;A;\"" +
                           cell + "\"   \n01/06/2024;Vichy;1;2;B;x" + QByteArray(100 * 1024, ' ') +
                           "\n01/06/2024;Vichy;1;3;C;ok\n01/06/2024;Vichy;1;x;D;\n";
    const ToolRun run = import(csv, {"--skip-bad"});
    QCOMPARE(run.err, QStringLiteral("ligne 2, colonne « commentaire » : champ trop long (plus de "
                                     "64 Kio)\n"
                                     "ligne %1, colonne « commentaire » : champ trop long (plus de "
                                     "64 Kio)\n"
                                     "ligne %2, colonne « C » : nombre attendu, lu « x »\n")
                          .arg(3 + breaks)
                          .arg(5 + breaks));
    QCOMPARE(run.status, 3);
    QCOMPARE(m_db->scalar("SELECT group_concat(cheval) FROM CR").toString(), QString("C"));

    // A header name over the limit refuses the file.
    const ToolRun header = import("date;hippodrome;R;C;cheval;" + QByteArray(70000, 'n') + "\n");
    QCOMPARE(header.status, 1);
    QCOMPARE(header.err, QString("velmora-db: en-tête (ligne 1) : colonne 6 : champ trop long "
                                 "(plus de 64 Kio) ; raccourcissez son nom\n"));
}

void TestImport::writeFailureChangesNothing() {
    // A rule of a hand-made file the rows break: the writing stops, nothing is kept.
    m_db->exec("CREATE UNIQUE INDEX CR_one_race_a_horse ON CR (cheval)");
    QByteArray csv = kShortHeader;
    for (int c = 1; c <= 20000; ++c)
        csv +=
            "01/06/2024;Vichy;1;" + QByteArray::number(c) + ";H" + QByteArray::number(c) + ";;;\n";
    csv += "01/06/2024;Vichy;2;1;H7;;;\n";
    const ToolRun run = import(csv);
    QCOMPARE(run.status, 1);
    const QString said = QStringLiteral("velmora-db: %1 : écriture de la ligne 20002 dans CR : une "
                                        "règle ajoutée au fichier (index unique, contrainte) "
                                        "refuse la ligne ; retirez-la du fichier ou cette règle "
                                        "de la base")
                             .arg(m_db->file());
    QCOMPARE(run.err, said + "\n");
    QCOMPARE(run.out, QString("Rien n'a été importé.\n"));
    QCOMPARE(crCount(), 0);
    // The engine's own words only when asked for.
    QCOMPARE(import(csv, {"--verbose"}).err,
             said + " (SQLite, code 2067 : UNIQUE constraint failed: CR.cheval)\n");
}

void TestImport::lockedDatabase() {
    const QByteArray csv = kShortHeader + "01/06/2024;Vichy;1;1;A;;;\n";
    for (const char* lock : {"BEGIN IMMEDIATE", "BEGIN EXCLUSIVE"}) {
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(m_db->file().toUtf8().constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, lock, nullptr, nullptr, nullptr), SQLITE_OK);
        if (QByteArray(lock).contains("EXCLUSIVE"))
            QCOMPARE(sqlite3_exec(other, "INSERT INTO TYPEJEUX (TypeJeu) VALUES ('x')", nullptr,
                                  nullptr, nullptr),
                     SQLITE_OK);
        const ToolRun run = import(csv);
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err, QString("velmora-db: %1 : le fichier est utilisé par un autre programme "
                                  "; réessayez\n")
                              .arg(m_db->file()));
        QCOMPARE(run.out, QString("Rien n'a été importé.\n"));
    }
    QCOMPARE(import(csv).status, 0);
}

void TestImport::commandLine() {
    const QString csv = m_db->folder() + "/c.csv";
    QFile file(csv);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(kShortHeader + "01/06/2024;Vichy;1;1;A;;;\n");
    file.close();
    const auto run = [](const QStringList& args) {
        ToolRun result;
        QTextStream out(&result.out), err(&result.err);
        result.status = runDbTool(args, out, err);
        out.flush();
        err.flush();
        return result;
    };
    // A mistyped option is no folder name.
    const ToolRun typo = run({"import-results", csv, m_db->folder(), "--skipbad"});
    QCOMPARE(typo.status, 2);
    QVERIFY2(typo.err.startsWith("velmora-db: option inconnue : --skipbad\nUtilisation :"),
             qPrintable(typo.err));
    QCOMPARE(run({"import-results", "--force", csv}).status, 2);
    QCOMPARE(run({"import-results", csv, m_db->folder(), "extra"}).status, 2);
    QCOMPARE(run({"check", "--deep"}).status, 2);
    QCOMPARE(run({"settle", m_db->folder(), "extra"}).status, 2);
    QCOMPARE(run({"settle", "--all"}).status, 2);
    QCOMPARE(run({"import-card"}).status, 2);
    QCOMPARE(crCount(), 0);
    // Help on standard output, with the exit statuses.
    for (const QStringList& args : {QStringList{"--help"}, QStringList{"import-results", "-h"}}) {
        const ToolRun help = run(args);
        QCOMPARE(help.status, 0);
        QVERIFY(help.err.isEmpty());
        QVERIFY(
            help.out.contains("3  --skip-bad a écarté des lignes refusées et importé les autres"));
        QVERIFY(help.out.contains("velmora-db settle [DOSSIER]"));
        QVERIFY(help.out.contains("velmora-db import-card FICHIER [DOSSIER] [--skip-bad]"));
    }
    // Options may come anywhere; "--" ends them.
    QCOMPARE(run({"import-results", "--skip-bad", "--", csv, m_db->folder()}).status, 0);
    QCOMPARE(crCount(), 1);

    // An unknown command is named; an empty argument is no folder; an unknown encoding.
    const ToolRun unknown = run({"impot-results", csv});
    QCOMPARE(unknown.status, 2);
    QVERIFY2(unknown.err.startsWith("velmora-db: commande inconnue : impot-results\nUtilisation"),
             qPrintable(unknown.err));
    QCOMPARE(run({"check", ""}).status, 2);
    QCOMPARE(run({"import-results", csv, ""}).status, 2);
    QCOMPARE(run({"import-results", csv, m_db->folder(), "--encoding", "ebcdic"}).status, 2);
    QCOMPARE(run({"import-results", csv, m_db->folder(), "--encoding"}).status, 2);

    // "-" is standard input.
    QFile second(m_db->folder() + "/d.csv");
    QVERIFY(second.open(QIODevice::ReadWrite));
    second.write(kShortHeader + "01/06/2024;Vichy;1;2;B;;;\n");
    QVERIFY(second.seek(0));
    const int input = dup(0);
    dup2(second.handle(), 0);
    const ToolRun piped = run({"import-results", "-", m_db->folder()});
    dup2(input, 0);
    close(input);
    QCOMPARE(piped.status, 0);
    QCOMPARE(crCount(), 2);

    // French only; the engine's words with --verbose.
    const QString nowhere = m_db->folder() + "/absent/velmora.mdb";
    QCOMPARE(run({"init", m_db->folder() + "/absent"}).err,
             "velmora-db: " + nowhere +
                 " : création impossible (dossier introuvable ou protégé en écriture ?)\n");
    QVERIFY(run({"init", m_db->folder() + "/absent", "--verbose"})
                .err.endsWith(" (unable to open database file)\n"));
    for (const QStringList& args : {QStringList{"import-results", csv, m_db->folder() + "/absent"},
                                    QStringList{"import-card", csv, m_db->folder() + "/absent"},
                                    QStringList{"settle", m_db->folder() + "/absent"}})
        QCOMPARE(run(args).err,
                 "velmora-db: Le fichier de données " + nowhere + " est introuvable.\n");
}

void TestImport::readsFromAPipe() {
    const QString fifo = m_db->folder() + "/pipe.csv";
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // The first valid multi-byte sequence comes late: the pipe is read once, its bytes kept.
    QByteArray csv = kShortHeader;
    for (int c = 1; csv.size() < 3 * 1024 * 1024; ++c)
        csv += "01/06/2024;Vichy;1;" + QByteArray::number(c) + ";PLAIN;;;\n";
    csv += "02/06/2024;Vichy;1;1;ÉCLAIR;;;\n";
    std::thread writer([&] {
        QFile pipe(fifo);
        if (pipe.open(QIODevice::WriteOnly))
            pipe.write(csv);
    });
    ToolRun run;
    QTextStream out(&run.out), err(&run.err);
    run.status = runDbTool({"import-results", fifo, m_db->folder()}, out, err);
    writer.join();
    err.flush();
    QCOMPARE(run.err, QString());
    QCOMPARE(run.status, 0);
    QCOMPARE(crCount(), csv.count('\n') - 1);
    QCOMPARE(m_db->scalar("SELECT cheval FROM CR WHERE date = '2024-06-02'").toString(),
             QString("ÉCLAIR"));
}

void TestImport::checkVerdicts_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("said"); // "<file>" is the file, "<program>" the program's words
    QTest::newRow("sound") << "sound"
                           << "<file> : fichier sain.\n";
    QTest::newRow("empty file") << "empty"
                                << "<program>\n";
    QTest::newRow("not a database") << "text"
                                    << "<program>\n";
    QTest::newRow("another application's") << "foreign"
                                           << "<program>\n";
    QTest::newRow("a newer version's") << "newer"
                                       << "<program>\n";
    QTest::newRow("without CR") << "lacking"
                                << "<program>\n";
    QTest::newRow("missing") << "missing"
                             << "<file> : introuvable.\n";
    QTest::newRow("locked") << "locked"
                            << "<file> : le fichier est utilisé par un autre programme ; "
                               "réessayez.\n";
    QTest::newRow("damaged, no copy")
        << "damaged"
        << "<file> : fichier endommagé : aucune copie dans sauvegardes/ ; ne le modifiez plus et "
           "copiez-le ailleurs (velmora-db backup --force) avant toute réparation.\n";
    QTest::newRow("damaged, daily copies")
        << "damaged with copies"
        << "<file> : fichier endommagé : restaurez une copie de sauvegardes/, la plus récente est "
           "velmora-2024-06-03.mdb.\n";
}

void TestImport::checkVerdicts() {
    QFETCH(QString, kind);
    QFETCH(QString, said);
    QTemporaryDir dir;
    const QString file = dir.filePath("velmora.mdb");
    const auto write = [&](const QByteArray& bytes) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    if (kind == "empty") {
        write({});
    } else if (kind == "text") {
        write("date;hippodrome\n");
    } else if (kind == "foreign") {
        auto db = data::Database::open(file, data::Database::Mode::Create);
        db->exec("CREATE TABLE notes (texte TEXT)");
        db->exec("PRAGMA application_id = 1234");
    } else if (kind != "missing") {
        auto db = data::schema::createFile(file);
        if (kind == "newer")
            db->exec("PRAGMA user_version = 9");
        else if (kind == "lacking")
            db->exec("DROP TABLE CR");
        else if (kind.startsWith("damaged"))
            db->exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                     "3000) INSERT INTO CR (date, hippodrome, R, C, cheval) SELECT '2024-01-01', "
                     "'Vichy', 1, i, 'H' || i FROM n");
    }
    if (kind.startsWith("damaged")) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        for (qint64 page = 2; page < f.size() / 4096; page += 3) {
            f.seek(page * 4096 + 100);
            f.write(QByteArray(64, 'Z'));
        }
    }
    if (kind == "damaged with copies") {
        QVERIFY(QDir(dir.path()).mkdir("sauvegardes"));
        for (const char* copy : {"velmora-2024-06-03.mdb", "velmora-2024-06-01.mdb"})
            QVERIFY(QFile::copy(m_db->file(), dir.filePath(QString("sauvegardes/") + copy)));
    }
    if (said.contains("<program>")) {
        try {
            data::schema::openFile(file);
            QFAIL("the program opens it");
        } catch (const data::OpenError& error) {
            said.replace("<program>", error.explanation());
        }
    }
    sqlite3* other = nullptr;
    if (kind == "locked") {
        QCOMPARE(sqlite3_open(file.toUtf8().constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other,
                              "BEGIN EXCLUSIVE; INSERT INTO TYPEJEUX (TypeJeu) VALUES "
                              "('x')",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
    }
    const auto hash = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray before = hash();
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    const int status = runDbTool({"check", dir.path()}, out, err);
    out.flush();
    QCOMPARE(outText, QString(said).replace("<file>", file));
    QCOMPARE(status, kind == "sound" ? 0 : 1);
    QVERIFY(hash() == before); // a check never writes
    // Engine findings only with --verbose.
    QVERIFY(!outText.contains("***") && !outText.contains("malformed"));

    // A copy of a file that is not sound is refused unless forced.
    if (kind.startsWith("damaged") || kind == "sound") {
        const int copied = runDbTool({"backup", dir.filePath("copie.mdb"), dir.path()}, out, err);
        err.flush();
        QCOMPARE(copied, kind == "sound" ? 0 : 1);
        QCOMPARE(QFile::exists(dir.filePath("copie.mdb")), kind == "sound");
        if (kind != "sound") {
            QVERIFY2(errText.endsWith("fichier endommagé ; pas de copie (velmora-db check en dit "
                                      "plus ; --force copie quand même)\n"),
                     qPrintable(errText));
            QCOMPARE(
                runDbTool({"backup", dir.filePath("copie.mdb"), dir.path(), "--force"}, out, err),
                0);
        }
    }
    if (other) {
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }
}

void TestImport::libcsvStateIsPinned() {
    // The reader reaches into libcsv's parser to go on after a field over the limit: the
    // states it relies on, and going on from each, so that an update of libcsv that changes
    // them fails here rather than in an import.
    using namespace importer::libcsv;
    struct Parse {
        csv_parser parser{};
        QByteArrayList fields;
        Parse() {
            csv_init(&parser, CSV_STRICT | CSV_REPALL_NL);
            csv_set_realloc_func(&parser, limitedRealloc);
            csv_set_blk_size(&parser, 4096);
        }
        ~Parse() { csv_free(&parser); }
        size_t feed(const QByteArray& bytes) {
            const auto field = [](void* data, size_t size, void* self) {
                static_cast<Parse*>(self)->fields
                    << QByteArray(static_cast<char*>(data), qsizetype(size));
            };
            return csv_parse(&parser, bytes.constData(), size_t(bytes.size()), field, nullptr,
                             this);
        }
    };
    const std::pair<QByteArray, int> states[] = {
        {"ab", kInField}, {"\"a,b", kInField}, {"\"ab\"", kAfterQuote}, {"\"ab\"  ", kAfterQuote}};
    for (const auto& [input, state] : states) {
        Parse parse;
        parse.feed(input);
        QVERIFY2(parse.parser.pstate == state, input);
    }
    // A field over the limit, its buffer refused inside the quotes or after the closing one.
    for (const QByteArray& input :
         {"\"" + QByteArray(70000, 'x') + "\",next\n",
          "\"" + QByteArray(65500, 'x') + "\"" + QByteArray(200, ' ') + ",next\n"}) {
        Parse parse;
        int refused = 0;
        for (size_t fed = 0; fed < size_t(input.size());) {
            fed += parse.feed(input.mid(qsizetype(fed)));
            if (fed < size_t(input.size())) {
                QCOMPARE(csv_error(&parse.parser), CSV_ENOMEM);
                QVERIFY(dropFieldBytes(parse.parser));
                ++refused;
            }
        }
        QCOMPARE(refused, 1);
        QCOMPARE(parse.fields.size(), 2);
        QVERIFY(parse.fields[0].size() < 5000 && !parse.fields[0].contains('"'));
        QCOMPARE(parse.fields[1], QByteArray("next"));
    }
}

// Bernard's bets on Longchamp, 5 March 2024: three on R1C4, the fourth on R1C5.
void TestImport::placeBets() const {
    const data::Database& db = *m_db->db();
    ledger::addPlayer(db, "Bernard", 100_eur, "Mars");
    const std::tuple<const char*, const char*, int> bets[] = {{"Simple Gagnant", "BEAU JOUR", 4},
                                                              {"Simple Placé", "ZADIG", 4},
                                                              {"Simple Gagnant", "ABSENT", 4},
                                                              {"Simple Placé", "BEAU JOUR", 5}};
    for (const auto& [type, horse, race] : bets)
        ledger::recordGame(db,
                           {ledger::GameKind::Stake, "Bernard", "Mars", "05", type, horse, 2_eur,
                            ledger::BetSlip{QDate(2024, 3, 5), {1, race, "Longchamp"}, 3.5}});
}

void TestImport::importSettlesBets_data() {
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("err"); // "<file>" stands for the database
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("states");
    QTest::addColumn<int>("stored");
    const QByteArray header = "date;hippodrome;R;C;cheval;place;nbPartant\n";
    const QByteArray race = header + "05/03/2024;Longchamp;1;4;BEAU JOUR;1;9\n"
                                     "05/03/2024;Longchamp;1;4;ZADIG;5;9\n"
                                     "05/03/2024;Longchamp;1;4;OUPS;2;9\n";
    const QByteArray bad = race + "05/03/2024;Longchamp;1;x;X;1;9\n";
    const QString settled = kBet1 + "gagné\n" + kBet2 + "perdu\n" + kBet4 + kRaceNotFound + kBet3 +
                            kNotFound + "2 paris réglés\n";
    const QString imported = "3 lignes importées, 0 déjà présente, ";
    const QString refusedRow = "ligne 5, colonne « C » : nombre attendu, lu « x »\n";

    QTest::newRow("the race's results")
        << QStringList() << race << QStringList() << 0 << ""
        << "Import terminé : " + imported + "0 refusée. Texte lu en UTF-8.\n" + settled
        << "gagné|perdu|en cours|en cours" << 3;
    QTest::newRow("a refused file settles nothing")
        << QStringList() << bad << QStringList() << 1 << refusedRow
        << "Fichier refusé : 1 ligne refusée sur 4 ; rien n'a été importé (--skip-bad "
           "importe les lignes valides). Texte lu en UTF-8.\n"
        << kPending << 0;
    QTest::newRow("--skip-bad settles on the good rows")
        << QStringList() << bad << QStringList{"--skip-bad"} << 3 << refusedRow
        << "Import partiel : " + imported +
               "1 refusée ; les lignes refusées sont listées. Texte lu en UTF-8.\n" + settled
        << "gagné|perdu|en cours|en cours" << 3;
    // Nothing new in CR, but bets recorded since its results: they are settled and kept.
    QTest::newRow("results already there")
        << QStringList{"INSERT INTO CR (date, hippodrome, R, C, cheval, place, nbPartant) VALUES "
                       "('2024-03-05', 'Longchamp', 1, 4, 'BEAU JOUR', '2', 9)"}
        << header + "05/03/2024;Longchamp;1;4;BEAU JOUR;2;9\n"
        << QStringList() << 0 << ""
        << "Import terminé : 0 ligne importée, 1 déjà présente, 0 refusée. Texte lu "
           "en UTF-8.\n" +
               kBet1 + "perdu\n" + kBet4 + kRaceNotFound + kBet2 + kNotFound + kBet3 + kNotFound +
               "1 pari réglé\n"
        << "perdu|en cours|en cours|en cours" << 1;
    // The settling fails: the rows it belongs with are not kept either.
    QTest::newRow("settling refused by the file")
        << QStringList{"CREATE TRIGGER no_settling BEFORE UPDATE ON PARIS BEGIN SELECT "
                       "RAISE(ABORT, 'non'); END"}
        << race << QStringList() << 1
        << "velmora-db: <file> : règlement des paris : une règle ajoutée au fichier (index "
           "unique, contrainte) refuse la ligne ; retirez-la du fichier ou cette règle de la "
           "base\n"
        << "Rien n'a été importé.\n"
        << kPending << 0;
}

void TestImport::importSettlesBets() {
    QFETCH(QStringList, setup);
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, args);
    QFETCH(QString, err);
    placeBets();
    for (const QString& sql : setup)
        m_db->exec(sql);
    const ToolRun run = import(csv, args);
    QCOMPARE(run.err, err.replace("<file>", m_db->file()));
    QTEST(run.out, "out");
    QTEST(run.status, "status");
    QTEST(betStates(), "states");
    QTEST(crCount(), "stored");
}

void TestImport::olderFileGetsBetsTable() {
    // A file made before bets knew their race; nothing is written before an import is
    // accepted.
    m_db->exec("DROP TABLE PARIS");
    const auto bytes = [this] {
        QFile file(m_db->file());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const auto tables = [this] {
        return m_db->scalar("SELECT COUNT(*) FROM sqlite_master WHERE name = 'PARIS'").toInt();
    };
    QByteArray before = bytes();
    QCOMPARE(import(kShortHeader + "bad;Vichy;1;1;A;;;\n").status, 1);
    QVERIFY(bytes() == before);

    const ToolRun first = import(kShortHeader + "01/06/2024;Vichy;1;1;A;;;\n");
    QCOMPARE(first.status, 0);
    QCOMPARE(first.err, QString("velmora-db: la table des paris (PARIS) a été ajoutée\n"));
    QVERIFY2(first.out.endsWith("UTF-8.\n0 pari réglé\n"), qPrintable(first.out));
    QCOMPARE(tables(), 1);
    const ToolRun second = import(kShortHeader + "01/06/2024;Vichy;1;2;B;;;\n");
    QCOMPARE(second.status, 0);
    QCOMPARE(second.err, QString());

    // Made inside the import's transaction: an import that changes nothing takes it back.
    m_db->exec("DROP TABLE PARIS");
    before = bytes();
    const ToolRun again = import(kShortHeader + "01/06/2024;Vichy;1;2;B;;;\n");
    QCOMPARE(again.status, 0);
    QCOMPARE(again.err, QString());
    QCOMPARE(tables(), 0);
    QVERIFY(bytes() == before);
}

void TestImport::settleCommand() {
    placeBets();
    m_db->exec("INSERT INTO CR (date, hippodrome, R, C, cheval, place, nbPartant) VALUES "
               "('2024-03-05', 'Longchamp', 1, 4, 'BEAU JOUR', '1', 9), ('2024-03-05', "
               "'Longchamp', 1, 5, 'BEAU JOUR', 'NP', 9)");
    const QString notFound = kBet2 + kNotFound + kBet3 + kNotFound;
    const ToolRun first = tool({"settle", m_db->folder()});
    QCOMPARE(first.err, QString());
    QCOMPARE(first.out, kBet1 + "gagné\n" + kBet4 + "remboursé\n" + notFound + "2 paris réglés\n");
    QCOMPARE(first.status, 0);
    QCOMPARE(betStates(), QString("gagné|en cours|en cours|remboursé"));
    // A settled bet is not listed again; the horses still missing are.
    QCOMPARE(tool({"settle", m_db->folder()}).out, notFound + "0 pari réglé\n");

    // Another program writing: nothing changes.
    m_db->exec("UPDATE PARIS SET Etat = 'en cours'");
    sqlite3* other = nullptr;
    QCOMPARE(sqlite3_open(m_db->file().toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const ToolRun busy = tool({"settle", m_db->folder()});
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    QCOMPARE(busy.status, 1);
    QCOMPARE(busy.err, QString("velmora-db: %1 : le fichier est utilisé par un autre programme ; "
                               "réessayez\n")
                           .arg(m_db->file()));
    QCOMPARE(busy.out, QString());
    QCOMPARE(betStates(), kPending);

    // A file without PARIS has nothing to settle, and is left without it.
    m_db->exec("DROP TABLE PARIS");
    const ToolRun older = tool({"settle", m_db->folder()});
    QCOMPARE(older.status, 0);
    QCOMPARE(older.out, QString("0 pari réglé\n"));
    QCOMPARE(m_db->scalar("SELECT COUNT(*) FROM sqlite_master WHERE name = 'PARIS'").toInt(), 0);
}

namespace {

const QByteArray kCardHeader = "date;heure;hippodrome;R;C;cheval;cote;dossard\n";
// Today is 20/03/2024: the card of 18/02 is more than 30 days old, that of 19/02 is not.
const QStringList kStoredCard = {
    "INSERT INTO PARTANTS (date, heure, hippodrome, R, C, cheval, cote, dossard) VALUES "
    "('2024-03-20', '13:50', 'Vincennes', 1, 1, 'ALPHA', 3, 1), "
    "('2024-03-20', '13:50', 'Vincennes', 1, 1, 'BETA', 5, 2), "
    "('2024-03-20', '13:50', 'Vincennes', 1, 1, 'GAMMA', 8, 3), "
    "('2024-03-20', '14:20', 'Vincennes', 1, 2, 'DELTA', 2.5, 1), "
    "('2024-02-19', '15:00', 'Pau', 1, 1, 'GARDÉ', NULL, 1), "
    "('2024-02-18', '15:00', 'Pau', 1, 1, 'RETIRÉ', NULL, 1)"};
const QString kStoredRows = "02-18 Pau 1/1 RETIRÉ -|02-19 Pau 1/1 GARDÉ -|"
                            "03-20 Vincennes 1/1 ALPHA 3.0|03-20 Vincennes 1/1 BETA 5.0|"
                            "03-20 Vincennes 1/1 GAMMA 8.0|03-20 Vincennes 1/2 DELTA 2.5";
const QString kNoTable = "(pas de PARTANTS)";

} // namespace

void TestImport::cardOutcomes_data() {
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("stored"); // PARTANTS after, by day, race and horse
    const QString utf8 = " Texte lu en UTF-8.\n";
    const QString oldCardRemoved =
        "velmora-db: 1 partant des programmes d'avant le 19/02/2024 retiré\n";
    const QString refused = "Fichier refusé : 1 ligne refusée sur 2 ; rien n'a été "
                            "importé (--skip-bad importe les lignes valides)." +
                            utf8;
    // MESSUIVITS holds « l'Étoile  du soir » and « Beta », which LETOILE DU SOIR is too; a
    // race's lines need not follow each other; a date's time is left out; R1C1 is one race,
    // whatever racecourse a line names.
    QTest::newRow("a card, followed horses named as the ledger names them")
        << QStringList()
        << kCardHeader + "20/03/2024;13:50;Vincennes;1;1;L'ÉTOILE DU SOIR;3,5;1\n"
                         "2024-03-20 14:20;9:05;Vincennes;1;2;DELTA;1.8;1\n"
                         "20/03/2024;13:50;Vincennes;1;1;beta;12;2\n"
                         "20/03/2024;;Pau;1;1;LETOILE DU SOIR;;1\n"
        << QStringList() << 0 << ""
        << "Programme importé : 2 courses, 4 partants, dont 3 de vos chevaux suivis." + utf8
        << "03-20 Pau 1/1 LETOILE DU SOIR -|03-20 Vincennes 1/1 L'ÉTOILE DU SOIR 3.5|"
           "03-20 Vincennes 1/1 beta 12.0|03-20 Vincennes 1/2 DELTA 1.8";
    QTest::newRow("the card changed: a non-runner out, odds moved, old cards removed")
        << kStoredCard
        << kCardHeader + "20/03/2024;13:50;VINCENNES;1;1;ALPHA;2,8;1\n"
                         "20/03/2024;13:50;VINCENNES;1;1;GAMMA;8;3\n"
        << QStringList() << 0 << oldCardRemoved
        << "Programme importé : 1 course, 2 partants, dont aucun de vos chevaux suivis." + utf8
        << "02-19 Pau 1/1 GARDÉ -|03-20 VINCENNES 1/1 ALPHA 2.8|03-20 VINCENNES 1/1 GAMMA 8.0|"
           "03-20 Vincennes 1/2 DELTA 2.5";
    // The race named otherwise (accents, another name) is the same race, replaced whole.
    QTest::newRow("the card corrected under another racecourse spelling")
        << kStoredCard << kCardHeader + "20/03/2024;13h;Paris-Vincennes;1;1;ALPHA;2,8;1\n"
        << QStringList() << 0 << oldCardRemoved
        << "Programme importé : 1 course, 1 partant, dont aucun de vos chevaux suivis." + utf8
        << "02-19 Pau 1/1 GARDÉ -|03-20 Paris-Vincennes 1/1 ALPHA 2.8|"
           "03-20 Vincennes 1/2 DELTA 2.5";
    QTest::newRow("a refused card changes nothing")
        << kStoredCard
        << kCardHeader + "20/03/2024;13:50;Vincennes;1;1;ALPHA;2,8;1\n"
                         "20/03/2024;1350;Vincennes;1;1;GAMMA;8;3\n"
        << QStringList() << 1
        << "ligne 3, colonne « heure » : heure illisible « 1350 » (HH:MM attendu, par exemple "
           "13:50 ou 13h50)\n"
        << refused << kStoredRows;
    QTest::newRow("hours and odds refused")
        << QStringList()
        << kCardHeader + "20/03/2024;24:00;Vincennes;1;1;A;2;1\n20/03/2024;13:50:00;Vincennes;1;"
                         "1;B;2;2\n20/03/2024;13h5;Vincennes;1;1;C;1;3\n"
                         "20/03/2024;13:50;Vincennes;1;1;D;-4;4\n"
        << QStringList() << 1
        << "ligne 2, colonne « heure » : heure illisible « 24:00 » (HH:MM attendu, par exemple "
           "13:50 ou 13h50)\n"
           "ligne 3, colonne « heure » : heure illisible « 13:50:00 » (HH:MM attendu, par "
           "exemple 13:50 ou 13h50)\n"
           "ligne 4, colonne « heure » : heure illisible « 13h5 » (HH:MM attendu, par exemple "
           "13:50 ou 13h50)\n"
           "ligne 4, colonne « cote » : cote supérieure à 1 attendue, lu « 1 »\n"
           "ligne 5, colonne « cote » : cote supérieure à 1 attendue, lu « -4 »\n"
        << "Fichier refusé : 4 lignes refusées sur 4 ; rien n'a été importé (--skip-bad "
           "importe les lignes valides)." +
               utf8
        << "";
    const QByteArray twice = kCardHeader + "20/03/2024;13:50;Vincennes;1;1;ALPHA;3;1\n"
                                           "20/03/2024;13:50;vincennes;1;1;alpha;3;1\n"
                                           "20/03/2024;13:50;Vincennes;1;1;ALPHA;4;1\n";
    QTest::newRow("a runner twice with other values")
        << kStoredCard << twice << QStringList() << 1
        << "ligne 4 : même partant que la ligne 2, avec d'autres valeurs\n"
        << "Fichier refusé : 1 ligne refusée sur 3 ; rien n'a été importé (--skip-bad "
           "importe les lignes valides)." +
               utf8
        << kStoredRows;
    QTest::newRow("--skip-bad: the race is the good rows")
        << kStoredCard << twice << QStringList{"--skip-bad"} << 3
        << "ligne 4 : même partant que la ligne 2, avec d'autres valeurs\n" + oldCardRemoved
        << "Import partiel : 1 course, 1 partant, dont aucun de vos chevaux suivis ; 1 "
           "ligne en double, comptée une fois ; 1 ligne refusée, listée." +
               utf8
        << "02-19 Pau 1/1 GARDÉ -|03-20 Vincennes 1/1 ALPHA 3.0|03-20 Vincennes 1/2 DELTA 2.5";
    QTest::newRow("PARTANTS's columns")
        << QStringList() << QByteArray("date;heure;hippodrome;R;C;cheval;cotes;place\n")
        << QStringList() << 1
        << "velmora-db: en-tête (ligne 1) : colonne 7 : « cotes » n'est pas une colonne de "
           "PARTANTS ; renommez-la « cote »\n"
           "velmora-db: en-tête (ligne 1) : colonne 8 : « place » n'est pas une colonne de "
           "PARTANTS ; retirez-la ou renommez-la\n"
           "velmora-db: en-tête (ligne 1) : les colonnes de PARTANTS : date, heure, hippodrome, "
           "R, C, course, nbPartant, distance, dotation, discipline, type de course, dossard, "
           "cheval, jockey, cote\n"
        << "Rien n'a été importé.\n"
        << "";
    QTest::newRow("races numbered 0, a saddle number twice, a card too old")
        << kStoredCard
        << kCardHeader + "20/03/2024;13:50;Vincennes;0;1;A;2;1\n"
                         "20/03/2024;13:50;Vincennes;1;0;B;2;1\n"
                         "20/03/2024;13:50;Vincennes;1;1;C;2;4\n"
                         "20/03/2024;13:50;Vincennes;1;1;c;2;4\n"
                         "20/03/2024;13:50;Vincennes;1;1;D;2;4\n"
                         "18/02/2024;13:50;Pau;1;1;E;2;1\n"
        << QStringList() << 1
        << "ligne 2, colonne « R » : numéro de réunion inférieur à 1, lu 0\n"
           "ligne 3, colonne « C » : numéro de course inférieur à 1, lu 0\n"
           "ligne 6, colonne « dossard » : dossard 4 déjà donné à la ligne 4 dans la même "
           "course\n"
           "ligne 7, colonne « date » : programme trop ancien : le 18/02/2024 est plus de 30 "
           "jours avant aujourd'hui\n"
        << "Fichier refusé : 4 lignes refusées sur 6 ; rien n'a été importé (--skip-bad "
           "importe les lignes valides)." +
               utf8
        << kStoredRows;
    QTest::newRow("a results file")
        << kStoredCard << QByteArray("date;hippodrome;R;C;cheval;place;statut\n")
        << QStringList() << 1
        << "velmora-db: en-tête (ligne 1) : ce fichier ressemble à des résultats : utilisez "
           "import-results\n"
        << "Rien n'a été importé.\n" << kStoredRows;
    QTest::newRow("no runner") << kStoredCard << kCardHeader << QStringList() << 0 << ""
                               << "Rien à importer : le fichier ne contient aucun partant.\n"
                               << kStoredRows;
    // A file made before the card gets PARTANTS with the import, and only then.
    QTest::newRow("older file gets PARTANTS")
        << QStringList{"DROP TABLE PARTANTS"}
        << kCardHeader + "20/03/2024;13:50;Vincennes;1;1;ALPHA;3;1\n"
        << QStringList() << 0 << "velmora-db: la table du programme (PARTANTS) a été ajoutée\n"
        << "Programme importé : 1 course, 1 partant, dont aucun de vos chevaux suivis." + utf8
        << "03-20 Vincennes 1/1 ALPHA 3.0";
    QTest::newRow("older file, the card refused after its first runner went in")
        << QStringList{"DROP TABLE PARTANTS"} << twice << QStringList() << 1
        << "ligne 4 : même partant que la ligne 2, avec d'autres valeurs\n"
        << "Fichier refusé : 1 ligne refusée sur 3" << kNoTable;
}

void TestImport::cardOutcomes() {
    QFETCH(QStringList, setup);
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, args);
    QFETCH(QString, out);
    regional::setToday(QDate(2024, 3, 20));
    m_db->exec("INSERT INTO MESSUIVITS (nomcheval) VALUES ('l''Étoile  du soir'), ('Beta')");
    for (const QString& sql : setup)
        m_db->exec(sql);
    const auto bytes = [this] {
        QFile file(m_db->file());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = bytes();
    const ToolRun run = import(csv, args, "import-card");
    QTEST(run.err, "err");
    QVERIFY2(run.out.startsWith(out), qPrintable(run.out));
    QTEST(run.status, "status");
    if (run.status == 1)
        QVERIFY(bytes() == before);
    const bool table = data::schema::hasCardTable(*m_db->db());
    QTEST(table ? m_db->scalar("SELECT group_concat(substr(date, 6) || ' ' || hippodrome || ' ' "
                               "|| R || '/' || C || ' ' || cheval || ' ' || ifnull(cote, '-'), "
                               "'|') FROM (SELECT * FROM PARTANTS ORDER BY date, hippodrome, R, "
                               "C, cheval)")
                      .toString()
                : kNoTable,
          "stored");
}

QTEST_MAIN(TestImport)
#include "tst_import.moc"
