#include "data/money.h"
#include "gui/appearance.h"
#include "ledger/exports.h"
#include "ledger/statement.h"
#include "tests/support/realdialogs.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testwindows.h"

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
        2, "01", "Approvisionnement compte", "", Money(), eur(100), eur(150), true, false, ""};
    ledger::StatementLine stake{3,           "02",    "Simple Gagnant", "L'AS; \"LE\" BRAVE",
                                eur(1234.5), Money(), eur(-1084.5),     false,
                                false,       ""};
    ledger::StatementLine win{
        4, "02", "Simple Gagnant", "", Money(), eur(30.25), std::nullopt, false, false, ""};
    ledger::StatementLine reversed{5,       "03",          "Trio", "",   eur(2),
                                   Money(), eur(-1056.25), false,  true, "annulée par n° 6"};
    ledger::StatementLine reversal{6,       "03",          "Trio", "",   eur(-2),
                                   Money(), eur(-1054.25), false,  true, "annule n° 5"};
    s.lines = {credit, stake, win, reversed, reversal};
    s.nombreJeux = 2;
    s.totalMises = eur(1234.5);
    s.totalGains = eur(30.25);
    s.soldeEnCours = eur(-1054.25);
    return s;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestExports : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { appearance::setupApplication(*qApp); }
    void cleanup() { testfiles::closeAllWindows(); }

    void csvBytes();
    void pdfPagesAndText_data();
    void pdfPagesAndText();
    void exportFlow();
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

void TestExports::pdfPagesAndText_data() {
    QTest::addColumn<int>("extraLines");
    QTest::newRow("one page") << 0;
    QTest::newRow("several pages") << 150;
}

void TestExports::pdfPagesAndText() {
    QFETCH(int, extraLines);
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    ledger::MonthStatement statement = smallStatement();
    for (int i = 0; i < extraLines; ++i)
        statement.lines << ledger::StatementLine{100 + i, "03",          "Trio", "",    eur(2),
                                                 Money(), eur(10.0 - i), false,  false, ""};
    QTemporaryDir dir;
    const QString path = dir.filePath("releve.pdf");
    QString error;
    QVERIFY2(exports::writeStatementPdf(statement, path, &error), qPrintable(error));
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-layout", path, "-"});
    QVERIFY(pdftotext.waitForFinished());
    QStringList pages = plain(QString::fromUtf8(pdftotext.readAllStandardOutput())).split('\f');
    pages.removeAll(QString());
    QVERIFY(extraLines == 0 ? pages.size() == 1 : pages.size() > 2);
    for (int i = 0; i < pages.size(); ++i)
        QVERIFY(pages[i].contains(QString("Page %1 / %2").arg(i + 1).arg(pages.size())));
    QVERIFY(pages.first().contains("Relevé de Paul — Mars"));
    QVERIFY(pages.join("").count("Simple Gagnant") == 2 &&
            pages.join("").count("Trio") == extraLines + 2);
    QVERIFY(pages.join("").contains("annulée par n° 6") && pages.join("").contains("annule n° 5"));
    const QString last = pages.last().simplified();
    QVERIFY(last.contains("Total des mises 1 234,50 €"));
    QVERIFY(last.contains("Total des gains 30,25 €"));
    QVERIFY(last.contains("Solde en cours -1 054,25 €"));
}

void TestExports::exportFlow() {
    QTemporaryDir dir;
    {
        // Through Qt's own file dialog: the default name is proposed, the typed path written.
        RealDialogs real;
        real.saveAs(dir.filePath("mon-releve.csv"));
        exports::exportStatement(nullptr, smallStatement(), exports::Format::Csv);
        QVERIFY(real.allAnswered());
        QCOMPARE(real.seen().value(0).title, QString("Exporter le relevé (CSV)"));
        QCOMPARE(QFileInfo(real.seen().value(0).text).fileName(), QString("releve-Paul-Mars.csv"));
        QVERIFY(readAll(dir.filePath("mon-releve.csv")).startsWith("\xEF\xBB\xBFJour;"));
    }
    ScriptedDialogs scripted;
    ledger::MonthStatement statement = smallStatement();
    statement.player = "Jean/Luc";
    scripted.type(dir.filePath("sans-extension"));
    exports::exportStatement(nullptr, statement, exports::Format::Pdf);
    QCOMPARE(scripted.last().title, QString("Relevé en PDF"));
    QCOMPARE(scripted.last().text,
             QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                 .filePath("releve-Jean_Luc-Mars.pdf"));
    QVERIFY(readAll(dir.filePath("sans-extension.pdf")).startsWith("%PDF"));

    scripted.type(dir.filePath("sans-extension.pdf/dessous.pdf"));
    scripted.answer(dialogs::Answer::Ok);
    exports::exportStatement(nullptr, statement, exports::Format::Pdf);
    QCOMPARE(scripted.last().title, QString("Erreur"));
    QVERIFY(scripted.last().text.contains("n'a pas pu être écrit"));
    QVERIFY(scripted.allUsed());
}

QTEST_MAIN(TestExports)
#include "tst_exports.moc"
