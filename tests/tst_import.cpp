#include "data/schema.h"
#include "tests/support/testdatabase.h"
#include "tools/dbtool.h"
#include "tools/importer.h"

#ifdef VELMORA_WITH_GENERATOR
#include "bench/generator.h"
#endif

#include <QFile>
#include <QtTest>

namespace {

const QByteArray kHeader = "date;hippodrome;R;C;cheval;valeur;distance;type de course";

struct ToolRun {
    int status = -1;
    QString out;
    QString err;
};

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

} // namespace

class TestImport : public QObject {
    Q_OBJECT
private slots:
    void init() { m_db = std::make_unique<TestDatabase>(); }
    void cleanup() { m_db.reset(); }

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

private:
    ToolRun import(const QByteArray& content, const QStringList& extra = {});
    int crCount() const { return m_db->scalar("SELECT COUNT(*) FROM CR").toInt(); }

    std::unique_ptr<TestDatabase> m_db;
};

ToolRun TestImport::import(const QByteArray& content, const QStringList& extra) {
    const QString path = m_db->folder() + "/results.csv";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(content);
    file.close();
    ToolRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = runDbTool(QStringList{"import-results", path, m_db->folder()} + extra, out, err);
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
    QVERIFY2(run.out.contains("1 ligne(s) importée(s)"), qPrintable(run.out));
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
    QCOMPARE(skipped.status, 0);
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
    QTest::newRow("empty number") << "valeur" << QByteArray("") << QVariant();
    QTest::newRow("blank number") << "nbPartant" << QByteArray("  ") << QVariant();
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
    QTest::newRow("fraction in an integer")
        << "R" << QByteArray("1,5") << "nombre entier attendu, lu « 1,5 »";
    QTest::newRow("huge integer") << "distance" << QByteArray("99999999999999999999")
                                  << "nombre trop grand";
    QTest::newRow("no horse") << "cheval" << QByteArray("") << "valeur obligatoire absente";
    QTest::newRow("no race number") << "C" << QByteArray(" ") << "valeur obligatoire absente";
    QTest::newRow("invalid UTF-8")
        << "jockey" << QByteArray("J\xC3") << "texte illisible (UTF-8 invalide)";
    QTest::newRow("UTF-8 surrogate") << "jockey" << QByteArray("\xED\xA0\x80") << "texte illisible";
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
    QTest::newRow("unknown column")
        << QByteArray("date;hippodrome;R;C;cheval;cote")
        << "velmora-db: en-tête (ligne 1) : colonne 6 : « cote » n'est pas une colonne de CR\n";
    QTest::newRow("type de course needs its blanks")
        << QByteArray("date;hippodrome;R;C;cheval;typedecourse")
        << "velmora-db: en-tête (ligne 1) : colonne 6 : « typedecourse » n'est pas une colonne de "
           "CR\n";
    QTest::newRow("repeated column")
        << QByteArray("date;hippodrome;R;C;cheval;Cheval")
        << "velmora-db: en-tête (ligne 1) : colonne 6 : « Cheval » est déjà la colonne 5\n";
    QTest::newRow("nameless column")
        << QByteArray("date;hippodrome;R;C;cheval;")
        << "velmora-db: en-tête (ligne 1) : colonne 6 : colonne sans nom\n";
    QTest::newRow("key column missing")
        << QByteArray("date;hippodrome;R;cheval")
        << "velmora-db: en-tête (ligne 1) : la colonne « C » manque (date, hippodrome, R, C et "
           "cheval identifient un partant)\n";
}

void TestImport::headerProblemsRefuseTheFile() {
    QFETCH(QByteArray, header);
    QFETCH(QString, message);
    const ToolRun run = import(header + "\n05/03/2024;Longchamp;1;4;BEAU JOUR;x\n", {"--skip-bad"});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, message);
    QCOMPARE(crCount(), 0);

    const ToolRun empty = import("");
    QCOMPARE(empty.status, 1);
    QVERIFY(empty.err.contains("fichier vide"));
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
    QVERIFY2(run.out.contains("3 ligne(s) refusée(s) sur 5 ; rien n'a été importé"),
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
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err, QString("ligne 3, colonne « valeur » : nombre attendu, lu « quarante »\n"));
    QCOMPARE(run.out, QString("Import terminé : 2 ligne(s) importée(s), 0 déjà présente(s), 1 "
                              "refusée(s).\n"));
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
    QCOMPARE(run.status, 0);
    QVERIFY2(run.err.startsWith("ligne 2 : guillemet mal placé"), qPrintable(run.err));
    QVERIFY2(run.err.contains("\nligne 3 : guillemet mal placé"), qPrintable(run.err));
    QVERIFY2(run.err.contains("\nligne 5 : guillemet ouvert jamais fermé"), qPrintable(run.err));
    QVERIFY2(run.out.contains("1 ligne(s) importée(s), 0 déjà présente(s), 3 refusée(s)"),
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
    QCOMPARE(again.out, QString("Import terminé : 0 ligne(s) importée(s), 3 déjà présente(s), 0 "
                                "refusée(s).\n"));
    QCOMPARE(crCount(), 3);

    // The same runner written differently (ISO date, other case) is the same runner; a new
    // one in the same file still goes in.
    const ToolRun mixed = import(kHeader + "\n"
                                           "2024-03-05;LONGCHAMP;1;1;a;40;1600;Handicap\n"
                                           "2024-03-05;Longchamp;1;1;Z;40;1600;Handicap\n"
                                           "2024-03-05;Longchamp;1;1;Z;40;1600;Handicap\n");
    QCOMPARE(mixed.status, 0);
    QVERIFY2(mixed.out.contains("1 ligne(s) importée(s), 2 déjà présente(s)"),
             qPrintable(mixed.out));
    QCOMPARE(crCount(), 4);
}

void TestImport::largeImportRebuildsIndexes() {
    const QString indexes = "SELECT group_concat(name, ',') FROM (SELECT name FROM sqlite_master "
                            "WHERE type = 'index' AND tbl_name = 'CR' ORDER BY name)";
    const QString before = m_db->scalar(indexes).toString();
    QCOMPARE(before, QString("CR_cheval_date,CR_place_discipline,CR_runner"));

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
    const QString folder = m_db->folder() + "/direct";
    QVERIFY(QDir().mkpath(folder));
    generator.fillDatabase(folder + "/velmora.mdb");
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

void TestImport::generatorLedgerAgreesWithBalances() {
#ifndef VELMORA_WITH_GENERATOR
    QSKIP("The generator is built with VELMORA_BENCH");
#else
    bench::GeneratorOptions options;
    options.resultRows = 500;
    options.ledgerRows = 3000;
    options.bigMonthRows = 700;
    const bench::Generator generator(options);
    const QString folder = m_db->folder() + "/ledger";
    QVERIFY(QDir().mkpath(folder));
    generator.fillDatabase(folder + "/velmora.mdb");
    auto db = data::schema::openFile(folder + "/velmora.mdb");
    const bench::Landmarks& marks = generator.landmarks();

    QCOMPARE(db->scalar("SELECT COUNT(*) FROM JEUX").toInt(), 3000);
    QCOMPARE(db->scalar("SELECT COUNT(*) FROM JEUX WHERE User = ? AND mois = ?",
                        {marks.bigPlayer, marks.bigMonth})
                 .toInt(),
             700);
    // SoldeEnCours = SoldeDepart + wins - stakes; SoldeDepart includes the month's credits.
    const QString mismatches =
        "SELECT COUNT(*) FROM USERS u WHERE abs(u.SoldeEnCours - u.SoldeDepart - (SELECT "
        "total(Credit) - total(Debit) FROM JEUX j WHERE j.User = u.pseudo AND j.mois = u.Mois AND "
        "j.[type jeux] <> 'Approvisionnement compte')) > 0.001 OR abs(u.SoldeEnCours - (SELECT "
        "SoldeApres FROM JEUX j WHERE j.User = u.pseudo AND j.mois = u.Mois ORDER BY Num DESC "
        "LIMIT 1)) > 0.001";
    QCOMPARE(db->scalar(mismatches).toInt(), 0);
    // Each row's balance follows from the one before it.
    const QString broken =
        "SELECT COUNT(*) FROM JEUX j WHERE abs(j.SoldeApres - j.SoldeAvant - j.Credit + j.Debit) "
        "> 0.001 OR j.SoldeAvant <> ifnull((SELECT p.SoldeApres FROM JEUX p WHERE p.User = j.User "
        "AND p.mois = j.mois AND p.Num < j.Num ORDER BY p.Num DESC LIMIT 1), j.SoldeAvant)";
    QCOMPARE(db->scalar(broken).toInt(), 0);
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

QTEST_MAIN(TestImport)
#include "tst_import.moc"
