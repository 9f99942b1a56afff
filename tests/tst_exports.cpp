#include "data/money.h"
#include "data/regional.h"
#include "gui/appearance.h"
#include "ledger/exports.h"
#include "ledger/statement.h"
#include "tests/support/realdialogs.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testdatabase.h"
#include "tests/support/testwindows.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {

QString plain(QString text) {
    return text.replace(QChar(0x202F), ' ').replace(QChar(0x00A0), ' ');
}

// An amount written in the test as euros.
Money eur(double euros) {
    return Money::fromStored(euros);
}

ledger::MonthStatement smallStatement() {
    ledger::MonthStatement s;
    s.player = "Paul";
    s.month = "Mars";
    ledger::StatementLine credit{
        2, "01", "Approvisionnement compte", "", Money(), eur(100), eur(150), true, false, "", ""};
    ledger::StatementLine stake{3,           "02",    "Simple Gagnant", "L'AS; \"LE\" BRAVE",
                                eur(1234.5), Money(), eur(-1084.5),     false,
                                false,       "", ""};
    ledger::StatementLine win{
        4, "02", "Simple Gagnant", "", Money(), eur(30.25), std::nullopt, false, false, "", ""};
    ledger::StatementLine reversed{5,       "03",          "Trio", "",   eur(2),
                                   Money(), eur(-1056.25), false,  true, "annulée par n° 6", ""};
    ledger::StatementLine reversal{6,       "03",          "Trio", "",   eur(-2),
                                   Money(), eur(-1054.25), false,  true, "annule n° 5", ""};
    s.lines = {credit, stake, win, reversed, reversal};
    s.nombreJeux = 2;
    s.totalMises = eur(1234.5);
    s.totalGains = eur(30.25);
    s.soldeEnCours = eur(-1054.25);
    return s;
}

// A game line; one with a remark is a reversal, in italics.
ledger::StatementLine gameLine(qint64 num, const QString& type, double mise, double gain,
                               double solde, const QString& horse = "",
                               const QString& remark = "") {
    return {num,   "04", type, horse, eur(mise), eur(gain), eur(solde), false, !remark.isEmpty(),
            remark, ""};
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// The home folder moved for the life of the object, with no desktop settings to name
// another documents folder.
class HomeAt {
public:
    explicit HomeAt(const QString& folder)
        : m_home(qgetenv("HOME")), m_config(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("HOME", QFile::encodeName(folder));
        qunsetenv("XDG_CONFIG_HOME");
    }
    ~HomeAt() {
        qputenv("HOME", m_home);
        if (!m_config.isEmpty())
            qputenv("XDG_CONFIG_HOME", m_config);
    }

private:
    QByteArray m_home;
    QByteArray m_config;
};

// The text of each page of a PDF, as pdftotext lays it out.
QStringList pdfPages(const QString& path) {
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-layout", path, "-"});
    pdftotext.waitForFinished();
    QStringList pages = plain(QString::fromUtf8(pdftotext.readAllStandardOutput())).split('\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

} // namespace

class TestExports : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { appearance::setupApplication(*qApp); }
    void cleanup() { testfiles::closeAllWindows(); }

    void csvBytes();
    void yearCsv();
    void pdfPagesAndText_data();
    void pdfPagesAndText();
    void printedAsThePdf();
    void exportFlow();
    void savePath_data();
    void savePath();
    void saveFolder();
};

void TestExports::csvBytes() {
    QTemporaryDir dir;
    const QString path = dir.filePath("releve.csv");
    QString error;
    QVERIFY(exports::writeStatementCsv(smallStatement(), path, &error));
    QCOMPARE(readAll(path), QByteArray("\xEF\xBB\xBF"
                                       "Jour;Type de jeu;Cheval;Mise;Gain;Solde;Remarque\r\n"
                                       "01;Approvisionnement compte;;0,00;100,00;150,00;\r\n"
                                       "02;Simple Gagnant;\"L'AS; \"\"LE\"\" BRAVE\";1234,50;0,00;"
                                       "-1084,50;\r\n"
                                       "02;Simple Gagnant;;0,00;30,25;;\r\n"
                                       "03;Trio;;2,00;0,00;-1056,25;annulée par n° 6\r\n"
                                       "03;Trio;;-2,00;0,00;-1054,25;annule n° 5\r\n"));

    // A file that cannot be written is named in the error, and nothing is left behind.
    const QString blocked = path + "/dessous.csv";
    QVERIFY(!exports::writeStatementCsv(smallStatement(), blocked, &error));
    QVERIFY2(error.startsWith("Le fichier " + blocked + " n'a pas pu être écrit : "),
             qPrintable(error));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"releve.csv"});
}

void TestExports::yearCsv() {
    TestDatabase db;
    // Two players, three months, the rows not in calendar order; a month the calendar does not
    // know comes last.
    const QList<QVariantList> rows = {
        {"Paul", "Vacances", "01", QVariant(), "Trio", "X", 1, 0, 1},
        {"Paul", "Mars", "05", "mise \"à revoir\";\r\nvu", "Simple Gagnant", "JOLIE", 10, 0, 90},
        {"Anne", "Février", "02", QVariant(), "Approvisionnement compte", "autre jeux", 0, 50, 50},
        {"Anne", "AVRIL", "01", "annulée par n° 7", "Trio", "L'AS; \"LE\" BRAVE", 2, 0, 48},
        {"Paul", "février", "28", QVariant(), "approvisionnement compte", "autre jeux", 0, 20.5,
         20.5},
        {"Anne", "Mars", "10", QVariant(), "Simple Placé", "AUTRE JEUX", 1234.5, 0, -1184.5},
        {"Anne", "AVRIL", "01", "annule n° 4", "Trio", "L'AS; \"LE\" BRAVE", -2, 0, QVariant()},
    };
    for (const QVariantList& row : rows)
        db.exec("INSERT INTO JEUX (User, mois, Jour, Remarque, [type jeux], Cheval, Debit, Credit, "
                "SoldeAvant, SoldeApres) VALUES (?, ?, ?, ?, ?, ?, ?, ?, 0, ?)",
                row);
    QTemporaryDir dir;
    const QString path = dir.filePath("annee.csv");
    QString error;
    QVERIFY2(exports::writeYearCsv(*db.db(), path, &error), qPrintable(error));
    QCOMPARE(readAll(path),
             QByteArray("\xEF\xBB\xBF"
                        "Joueur;Mois;Jour;Type de jeu;Cheval;Mise;Gain;Solde;Remarque\r\n"
                        "Anne;Février;02;Approvisionnement compte;;0,00;50,00;50,00;\r\n"
                        "Paul;février;28;approvisionnement compte;;0,00;20,50;20,50;\r\n"
                        "Paul;Mars;05;Simple Gagnant;JOLIE;10,00;0,00;90,00;"
                        "\"mise \"\"à revoir\"\";\r\nvu\"\r\n"
                        "Anne;Mars;10;Simple Placé;;1234,50;0,00;-1184,50;\r\n"
                        "Anne;AVRIL;01;Trio;\"L'AS; \"\"LE\"\" BRAVE\";2,00;0,00;48,00;"
                        "annulée par n° 7\r\n"
                        "Anne;AVRIL;01;Trio;\"L'AS; \"\"LE\"\" BRAVE\";-2,00;0,00;;annule n° 4\r\n"
                        "Paul;Vacances;01;Trio;X;1,00;0,00;1,00;\r\n"));

    // A spreadsheet's reader gets the cells back.
    if (QStandardPaths::findExecutable("python3").isEmpty())
        QSKIP("python3 is not installed");
    QProcess python;
    python.start("python3", {"-c",
                             "import csv, json, sys; print(json.dumps(list(csv.reader("
                             "open(sys.argv[1], encoding='utf-8-sig', newline=''), "
                             "delimiter=';'))))",
                             path});
    QVERIFY(python.waitForFinished());
    const QJsonArray read = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    QCOMPARE(read.size(), rows.size() + 1);
    QCOMPARE(read.at(3).toVariant().toStringList(),
             QStringList({"Paul", "Mars", "05", "Simple Gagnant", "JOLIE", "10,00", "0,00", "90,00",
                          "mise \"à revoir\";\r\nvu"}));
    QCOMPARE(read.at(5).toVariant().toStringList(),
             QStringList({"Anne", "AVRIL", "01", "Trio", "L'AS; \"LE\" BRAVE", "2,00", "0,00",
                          "48,00", "annulée par n° 7"}));
    for (const QJsonValue& line : read)
        QCOMPARE(line.toArray().size(), 9);
}

// Texts long enough to take several lines of their column.
const QString kLongType = "Couplé Gagnant Ordre Spécial Quinté Bonus Quatre Sur Cinq";
const QString kLongHorse = "ÉTOILE DU BERGER DES GRANDES PLAINES DU NORD";
const QString kLongRemark = "annulée par n° 6 après réclamation au guichet le lendemain";

void TestExports::pdfPagesAndText_data() {
    QTest::addColumn<int>("extraLines");
    QTest::addColumn<bool>("huge");
    QTest::addColumn<QString>("remark"); // of a line with a long type and horse, when given
    QTest::addColumn<bool>("landscape");
    QTest::newRow("one page") << 0 << false << "" << false;
    QTest::newRow("300 lines") << 300 << false << "" << false;
    QTest::newRow("amounts to a billion") << 0 << true << "" << false;
    QTest::newRow("long texts") << 0 << false << kLongRemark << false;
    QTest::newRow("a word too wide for portrait")
        << 0 << true << "Remboursementexceptionnelduguichet" << true;
    QTest::newRow("all at once") << 300 << true << kLongRemark << false;
}

void TestExports::pdfPagesAndText() {
    QFETCH(int, extraLines);
    QFETCH(bool, huge);
    QFETCH(QString, remark);
    QFETCH(bool, landscape);
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    ledger::MonthStatement statement = smallStatement();
    for (int i = 0; i < extraLines; ++i)
        statement.lines << gameLine(100 + i, "Trio", 2, 0, 10.0 - i);
    if (huge)
        statement.lines << gameLine(7, "Quinté+", 999999999.99, 0, -999999999.99)
                        << gameLine(8, "Quinté+", 123456.78, 1234567.89, 999999999.99);
    if (!remark.isEmpty())
        statement.lines << gameLine(9, kLongType, 5, 0, 1, kLongHorse, remark);
    QTemporaryDir dir;
    const QString path = dir.filePath("releve.pdf");
    QString error;
    QVERIFY2(exports::writeStatementPdf(statement, path, &error), qPrintable(error));
    const QStringList pages = pdfPages(path);
    QVERIFY(extraLines == 0 ? pages.size() == 1 : pages.size() > 2);
    // Whose statement, and what each column is, on every page.
    const QRegularExpression header("Jour +Type de jeu +Cheval +Mise +Gain +Solde +Remarque");
    for (int i = 0; i < pages.size(); ++i) {
        QVERIFY2(pages[i].contains("Relevé de Paul — Mars"), qPrintable(pages[i]));
        QVERIFY2(pages[i].contains(header), qPrintable(pages[i]));
        QCOMPARE(pages[i].count(QRegularExpression("Page \\d+ / \\d+")), 1);
        QVERIFY(pages[i].contains(QString("Page %1 / %2").arg(i + 1).arg(pages.size())));
    }
    // Nothing cut: every amount whole with its sign, every word of the texts.
    const QString all = pages.join("");
    QVERIFY(!all.contains(QChar(0x2026)));
    for (const ledger::StatementLine& line : statement.lines) {
        for (const Money amount : {line.mise, line.gain, line.solde.value_or(Money())})
            if (!amount.isZero())
                QVERIFY2(all.contains(plain(regional::formatMoney(amount))),
                         qPrintable(regional::formatMoney(amount)));
        for (const QString& word : QString(line.type + ' ' + line.cheval + ' ' + line.remarque)
                                       .split(' ', Qt::SkipEmptyParts))
            QVERIFY2(all.contains(word), qPrintable(word));
    }
    QCOMPARE(all.count("Simple Gagnant"), 2);
    QCOMPARE(all.count("Trio"), extraLines + 2);
    QProcess pdfinfo;
    pdfinfo.start("pdfinfo", {path});
    QVERIFY(pdfinfo.waitForFinished());
    QCOMPARE(pdfinfo.readAllStandardOutput().contains("842 x 595"), landscape);
    const QString last = pages.last().simplified();
    QVERIFY(last.contains("Total des mises 1 234,50 €"));
    QVERIFY(last.contains("Total des gains 30,25 €"));
    QVERIFY(last.contains("Solde en cours -1 054,25 €"));
}

void TestExports::printedAsThePdf() {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    ledger::MonthStatement statement = smallStatement();
    for (int i = 0; i < 120; ++i)
        statement.lines << gameLine(100 + i, kLongType, 2, 0, -999999999.99);
    QTemporaryDir dir;
    QVERIFY(exports::writeStatementPdf(statement, dir.filePath("releve.pdf"), nullptr));

    // A printer of another resolution, its file chosen in the print dialog as a person would.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("imprime.pdf"));
    QString title;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] {
        if (auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget())) {
            title = dialog->windowTitle();
            dialog->accept();
        }
    });
    timer.start(10);
    exports::printStatement(nullptr, statement, &printer);
    QCOMPARE(title, QString("Imprimer le relevé"));
    const QStringList printed = pdfPages(dir.filePath("imprime.pdf"));
    QVERIFY(printed.size() > 2);
    QCOMPARE(printed, pdfPages(dir.filePath("releve.pdf")));
}

void TestExports::exportFlow() {
    QTemporaryDir dir;
    {
        // Through Qt's own file dialog: the default name is proposed, the typed path written;
        // a name typed without its extension asks before replacing the file that has it.
        RealDialogs real;
        real.saveAs(dir.filePath("mon-releve.csv"));
        exports::exportStatement(nullptr, smallStatement(), exports::Format::Csv);
        QVERIFY(real.allAnswered());
        QCOMPARE(real.seen().value(0).title, QString("Exporter le relevé (CSV)"));
        QCOMPARE(QFileInfo(real.seen().value(0).text).fileName(), QString("releve-Paul-Mars.csv"));
        QVERIFY(readAll(dir.filePath("mon-releve.csv")).startsWith("\xEF\xBB\xBFJour;"));

        // Typed as a person does, in the folder the dialog opens in.
        HomeAt home(dir.path());
        writeAll(dir.filePath("mon-releve.csv"), "ancien");
        real.saveAs("mon-releve");
        // Queued once the question shows: the file dialog's second click on "Enregistrer"
        // (the first closes the completion list) would take it.
        QTimer question;
        connect(&question, &QTimer::timeout, this, [&] {
            if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                question.stop();
                real.click(QDialogButtonBox::Yes);
            }
        });
        question.start(10);
        exports::exportStatement(nullptr, smallStatement(), exports::Format::Csv);
        QVERIFY(real.allAnswered());
        QCOMPARE(real.seen().size(), 3);
        QVERIFY2(real.seen()[2].text.startsWith("Le fichier mon-releve.csv existe déjà"),
                 qPrintable(real.seen()[2].text));
        QVERIFY(readAll(dir.filePath("mon-releve.csv")).startsWith("\xEF\xBB\xBFJour;"));
    }
    ScriptedDialogs scripted;
    ledger::MonthStatement statement = smallStatement();
    statement.player = "Jean/Luc";
    scripted.type(dir.filePath("sans-extension"));
    exports::exportStatement(nullptr, statement, exports::Format::Pdf);
    QCOMPARE(scripted.last().title, QString("Relevé en PDF"));
    QCOMPARE(QFileInfo(scripted.last().text).fileName(), QString("releve-Jean_Luc-Mars.pdf"));
    QVERIFY(readAll(dir.filePath("sans-extension.pdf")).startsWith("%PDF"));

    scripted.type(dir.filePath("sans-extension.pdf/dessous.pdf"));
    scripted.answer(dialogs::Answer::Ok);
    exports::exportStatement(nullptr, statement, exports::Format::Pdf);
    QCOMPARE(scripted.last().title, QString("Erreur"));
    QVERIFY(scripted.last().text.contains("n'a pas pu être écrit"));
    QVERIFY(scripted.allUsed());
}

void TestExports::savePath_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("existing"); // a file already in the folder
    QTest::addColumn<int>("answer");       // to "Le fichier … existe déjà", -1 when not asked
    QTest::addColumn<QString>("written");  // the file written, none when empty
    const int yes = int(dialogs::Answer::Yes);
    const int no = int(dialogs::Answer::No);
    QTest::newRow("whole name") << "notes.csv"
                                << "" << -1 << "notes.csv";
    QTest::newRow("extension added") << "notes"
                                     << "" << -1 << "notes.csv";
    QTest::newRow("added, file there, Oui") << "notes"
                                            << "notes.csv" << yes << "notes.csv";
    QTest::newRow("added, file there, Non") << "notes"
                                            << "notes.csv" << no << "";
    // The file dialog asks about the name it returns.
    QTest::newRow("whole name, file there") << "notes.csv"
                                            << "notes.csv" << -1 << "notes.csv";
    QTest::newRow("other extension kept") << "notes.txt"
                                          << "notes.csv" << -1 << "notes.txt";
    QTest::newRow("cancelled") << ""
                               << "notes.csv" << -1 << "";
}

void TestExports::savePath() {
    QFETCH(QString, typed);
    QFETCH(QString, existing);
    QFETCH(int, answer);
    QFETCH(QString, written);
    QTemporaryDir dir;
    if (!existing.isEmpty())
        writeAll(dir.filePath(existing), "ancien");
    ScriptedDialogs scripted;
    if (typed.isEmpty())
        scripted.cancel();
    else
        scripted.type(dir.filePath(typed));
    if (answer >= 0)
        scripted.answer(dialogs::Answer(answer));
    exports::exportStatement(nullptr, smallStatement(), exports::Format::Csv);
    QVERIFY(scripted.allUsed());
    QCOMPARE(scripted.shown().size(), answer >= 0 ? 2 : 1);
    if (answer >= 0) {
        QCOMPARE(scripted.last().text,
                 QString("Le fichier %1 existe déjà. Voulez-vous le remplacer ?").arg(existing));
        QCOMPARE(scripted.last().buttons, dialogs::Buttons::YesNo);
    }
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
        QCOMPARE(readAll(dir.filePath(name)).startsWith("\xEF\xBB\xBFJour;"), name == written);
    QVERIFY(written.isEmpty() || QFileInfo::exists(dir.filePath(written)));
}

void TestExports::saveFolder() {
    // The documents folder when there is one, else the home folder, never the program's.
    QTemporaryDir home;
    ScriptedDialogs scripted;
    {
        HomeAt at(home.path());
        scripted.cancel();
        exports::exportStatement(nullptr, smallStatement(), exports::Format::Pdf);
        QDir(home.path()).mkdir("Documents");
        scripted.cancel();
        exports::exportYear(nullptr, *TestDatabase().db());
    }
    const QString atHome = scripted.shown().value(0).text;
    QCOMPARE(atHome, QDir(home.path()).filePath("releve-Paul-Mars.pdf"));
    QCOMPARE(scripted.last().title, QString("Exporter l'année (CSV)"));
    QCOMPARE(scripted.last().text, QDir(home.path()).filePath("Documents/releve-annee.csv"));
}

QTEST_MAIN(TestExports)
#include "tst_exports.moc"
