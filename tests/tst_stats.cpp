#include "app/shell.h"
#include "data/regional.h"
#include "gui/appearance.h"
#include "ledger/form1.h"
#include "stats/fstats.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testdatabase.h"
#include "tests/support/testfiles.h"
#include "tests/support/testwindows.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QBarSet>
#include <QChartView>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QMenuBar>
#include <QStackedBarSeries>
#include <QTabWidget>
#include <QTreeView>
#include <QtTest>

namespace {

QString plain(QString text) {
    return text.replace(QChar(0x202F), ' ').replace(QChar(0x00A0), ' ');
}

// A table's rows as "cell|cell|…", blanks made plain.
QStringList rowsOf(const QTreeView* view) {
    QStringList rows;
    const QAbstractItemModel* model = view->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells << plain(model->index(r, c).data().toString());
        rows << cells.join('|');
    }
    return rows;
}

QList<double> valuesOf(const QBarSet* set) {
    QList<double> values;
    for (int i = 0; i < set->count(); ++i)
        values << set->at(i);
    return values;
}

// Two players; Paul plays in January, March, April and December, with a credit and a
// reversed stake in March.
void fillLedger(const TestDatabase& db) {
    for (const auto& [name, month] :
         {std::pair{"Paul", "Mars"}, {"Paul", "Avril"}, {"Zoé", "Mars"}, {"Émile", "Mai"}})
        db.exec("INSERT INTO USERS (pseudo, SoldeDepart, SoldeEnCours, Mois) VALUES (?, 0, 0, ?)",
                {QString::fromUtf8(name), QString::fromUtf8(month)});
    const auto row = [&](const char* user, const char* month, const char* type, const char* horse,
                         double debit, double credit, double after, const QString& remark = {}) {
        db.exec("INSERT INTO JEUX (User, mois, Jour, Remarque, [type jeux], Cheval, Debit, "
                "Credit, SoldeApres) VALUES (?, ?, '01', ?, ?, ?, ?, ?, ?)",
                {QString::fromUtf8(user), month, remark, QString::fromUtf8(type), horse, debit,
                 credit, after});
    };
    row("Zoé", "Mars", "Simple Gagnant", "ETOILE", 50, 0, -50); // Num 1
    row("Paul", "Mars", "Approvisionnement compte", "autre jeux", 0, 100, 150);
    row("Paul", "Mars", "Simple Gagnant", "ETOILE", 10, 0, 140);
    row("Paul", "Mars", "Simple Gagnant", "ETOILE", 0, 30, 170);
    row("Paul", "Mars", "Tiercé", "AUTRE JEUX", 25, 0, 145);
    row("Paul", "Mars", "Simple Placé", "BRISE", 8, 0, 137, ledger::reversedByRemark(7));
    row("Paul", "Mars", "Simple Placé", "BRISE", -8, 0, 145, ledger::reversalRemark(6));
    row("Paul", "Mars", "Simple Placé", "BRISE", 5, 0, 140);
    row("Paul", "Avril", "Simple Gagnant", "ETOILE", 12, 0, 68);
    row("Paul", "Avril", "Tiercé", "AUTRE JEUX", 15, 0, 53);
    row("Paul", "Avril", "Tiercé", "AUTRE JEUX", 0, 60, 113);
    row("Paul", "Avril", "Simple Placé", "BRISE", 6, 0, 107);
    row("Paul", "Avril", "Simple Placé", "BRISE", 0, 9, 116);
    // The year's first and last months; a type that is the credit type but for its case is
    // a game, as the statement counts it.
    row("Paul", "Janvier", "Trio", "AUTRE JEUX", 4, 0, 96);
    row("Paul", "décembre", "approvisionnement compte", "autre jeux", 0, 7, 123);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestStats : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { appearance::setupApplication(*qApp); }
    void init() {
        m_db = std::make_unique<TestDatabase>();
        fillLedger(*m_db);
    }
    void cleanup() {
        testfiles::closeAllWindows();
        m_db.reset();
    }

    void figuresTablesAndCharts_data();
    void figuresTablesAndCharts();
    void choicesRecompute();
    void horsesSortByValue();
    void fromTheLedgerMenu();

private:
    template <class T> T* w(const char* name) const {
        T* widget = Fstats::instance()->findChild<T*>(name);
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    QString text(const char* name) const { return plain(w<QLineEdit>(name)->text()); }
    void pick(const char* combo, const QString& entry) {
        auto* box = w<QComboBox>(combo);
        const int index = box->findText(entry);
        QVERIFY2(index >= 0, qPrintable(entry));
        box->setCurrentIndex(index);
        emit box->activated(index);
    }

    std::unique_ptr<TestDatabase> m_db;
};

void TestStats::figuresTablesAndCharts_data() {
    QTest::addColumn<QString>("period");
    QTest::addColumn<QStringList>("figures"); // Tmise, Tgain, Tnet, Troi, Tnbjeux, Tdepots
    QTest::addColumn<QStringList>("byType");
    QTest::addColumn<QStringList>("byMonth");
    QTest::addColumn<QStringList>("byHorse");
    QTest::addColumn<QList<double>>("balances");
    QTest::addColumn<QList<double>>("gains");
    QTest::addColumn<QList<double>>("losses");

    // The credit and the reversed stake with its reversal are not games.
    QTest::newRow("one month") << "Mars" << QStringList{"40,00 €", "30,00 €", "-10,00 €",
                                                        "-25,0 %", "4",       "100,00 €"}
                               << QStringList{"Simple Gagnant|2|10,00 €|30,00 €|20,00 €|200,0 %",
                                              "Simple Placé|1|5,00 €|0,00 €|-5,00 €|-100,0 %",
                                              "Tiercé|1|25,00 €|0,00 €|-25,00 €|-100,0 %"}
                               << QStringList{"Mars|4|40,00 €|30,00 €|-10,00 €|-25,0 %"}
                               << QStringList{"ETOILE|2|10,00 €|30,00 €|20,00 €",
                                              "BRISE|1|5,00 €|0,00 €|-5,00 €"}
                               << QList<double>{150, 140, 170, 145, 137, 145, 140}
                               << QList<double>{0} << QList<double>{-10};
    QTest::newRow("whole year")
        << "Toute l'année"
        << QStringList{"77,00 €", "106,00 €", "29,00 €", "37,7 %", "11", "100,00 €"}
        << QStringList{"Tiercé|3|40,00 €|60,00 €|20,00 €|50,0 %",
                       "Simple Gagnant|3|22,00 €|30,00 €|8,00 €|36,4 %",
                       "approvisionnement compte|1|0,00 €|7,00 €|7,00 €|",
                       "Simple Placé|3|11,00 €|9,00 €|-2,00 €|-18,2 %",
                       "Trio|1|4,00 €|0,00 €|-4,00 €|-100,0 %"}
        << QStringList{"Janvier|1|4,00 €|0,00 €|-4,00 €|-100,0 %",
                       "Mars|4|40,00 €|30,00 €|-10,00 €|-25,0 %",
                       "Avril|5|33,00 €|69,00 €|36,00 €|109,1 %",
                       "décembre|1|0,00 €|7,00 €|7,00 €|"}
        << QStringList{"ETOILE|3|22,00 €|30,00 €|8,00 €", "BRISE|3|11,00 €|9,00 €|-2,00 €"}
        << QList<double>{96, 150, 140, 170, 145, 137, 145, 140, 68, 53, 113, 107, 116, 123}
        << QList<double>{0, 0, 36, 7} << QList<double>{-4, -10, 0, 0};
    QTest::newRow("month without rows")
        << "Mai" << QStringList{"0,00 €", "0,00 €", "0,00 €", "", "0", "0,00 €"} << QStringList()
        << QStringList() << QStringList() << QList<double>() << QList<double>() << QList<double>();
}

void TestStats::figuresTablesAndCharts() {
    QFETCH(QString, period);
    QFETCH(QStringList, figures);
    Fstats::showSingle("Paul", period);
    const QStringList shown = {text("Tmise"), text("Tgain"),   text("Tnet"),
                               text("Troi"),  text("Tnbjeux"), text("Tdepots")};
    QCOMPARE(shown, figures);
    QTEST(rowsOf(w<QTreeView>("LstParType")), "byType");
    QTEST(rowsOf(w<QTreeView>("LstParMois")), "byMonth");
    QTEST(rowsOf(w<QTreeView>("LstParCheval")), "byHorse");

    const auto* line =
        qobject_cast<QLineSeries*>(w<QChartView>("GraphSolde")->chart()->series().value(0));
    QVERIFY(line);
    QList<double> balances;
    for (const QPointF& p : line->points())
        balances << p.y();
    QTEST(balances, "balances");
    const auto* bars =
        qobject_cast<QStackedBarSeries*>(w<QChartView>("GraphMois")->chart()->series().value(0));
    QVERIFY(bars && bars->count() == 2);
    QTEST(valuesOf(bars->barSets().at(0)), "gains");
    QTEST(valuesOf(bars->barSets().at(1)), "losses");
    QCOMPARE(bars->barSets().at(0)->color(), QColor(0, 255, 0));
    QCOMPARE(bars->barSets().at(1)->color(), QColor(255, 0, 0));
}

void TestStats::choicesRecompute() {
    Fstats* window = Fstats::showSingle("paul", "Mars");
    for (const char* table : {"LstParType", "LstParMois", "LstParCheval"})
        new QAbstractItemModelTester(w<QTreeView>(table)->model(),
                                     QAbstractItemModelTester::FailureReportingMode::QtTest,
                                     window);
    QCOMPARE(window->objectName(), QString("Fstats"));
    QCOMPARE(window->windowTitle(), QString("Statistiques"));
    auto* players = w<QComboBox>("C_joueur");
    auto* period = w<QComboBox>("C_periode");
    QVERIFY(!players->isEditable() && !period->isEditable());
    QStringList names, periods;
    for (int i = 0; i < players->count(); ++i)
        names << players->itemText(i);
    for (int i = 0; i < period->count(); ++i)
        periods << period->itemText(i);
    QCOMPARE(names, QStringList({"Émile", "Paul", "Zoé"}));
    QCOMPARE(periods, regional::monthNames() + QStringList{"Toute l'année"});
    QCOMPARE(players->currentText(), QString("Paul"));

    pick("C_joueur", "Zoé");
    QCOMPARE(text("Tmise"), QString("50,00 €"));
    pick("C_periode", "Avril");
    QCOMPARE(text("Tnbjeux"), QString("0"));
    // A second opening brings the same window to the player and month asked for.
    QCOMPARE(Fstats::showSingle("Paul", "Avril"), window);
    QCOMPARE(text("Tnet"), QString("36,00 €"));
}

void TestStats::horsesSortByValue() {
    Fstats::showSingle("Paul", "Mars");
    auto* view = w<QTreeView>("LstParCheval");
    w<QTabWidget>("Ongletstableaux")->setCurrentWidget(view->parentWidget());
    QHeaderView* header = view->header();
    const auto click = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, 5));
    };
    // "10,00 €" comes before "5,00 €" as text: only a sort by value puts ETOILE first.
    click(2);
    QCOMPARE(rowsOf(view).value(0).section('|', 0, 0), QString("ETOILE"));
    click(2);
    QCOMPARE(rowsOf(view).value(0).section('|', 0, 0), QString("BRISE"));
    click(0);
    QCOMPARE(rowsOf(view).value(0).section('|', 0, 0), QString("BRISE"));
    // A new period keeps the order chosen (the figures come best net first: ETOILE).
    pick("C_periode", "Toute l'année");
    QCOMPARE(rowsOf(view).value(0).section('|', 0, 0), QString("BRISE"));
}

void TestStats::fromTheLedgerMenu() {
    QTemporaryDir dir;
    regional::setToday(QDate(2024, 3, 6));
    auto* form = shell::openLedger();
    const auto menus = form->menuBar()->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus.at(0)->text(), QString("&Relevé"));
    QCOMPARE(menus.at(1)->text(), QString("&Suivits"));
    QStringList items;
    for (QAction* action : menus.at(0)->menu()->actions())
        items << action->objectName() + " " + action->text();
    QCOMPARE(items, QStringList({"mnustats &Statistiques…", "mnuexport &Exporter le relevé (CSV)…",
                                 "mnupdf Relevé en &PDF…"}));

    ScriptedDialogs scripted;
    // Nothing on display yet: nothing to write.
    scripted.answer(dialogs::Answer::Ok);
    form->findChild<QAction*>("mnuexport")->trigger();
    QCOMPARE(scripted.last().title, QString("Erreur joueur"));

    auto* users = form->findChild<QComboBox*>("C_users");
    users->setCurrentIndex(users->findText("Paul"));
    emit users->activated(users->currentIndex());
    scripted.type(dir.filePath("paul.csv"));
    form->findChild<QAction*>("mnuexport")->trigger();
    const QList<QByteArray> lines = readAll(dir.filePath("paul.csv")).split('\n');
    QCOMPARE(lines.size(), 9); // the header, seven lines of March, the final line end
    QCOMPARE(lines.at(2), QByteArray("01;Simple Gagnant;ETOILE;10,00;0,00;140,00;\r"));

    // The statistics open on the ledger's player and month.
    form->findChild<QAction*>("mnustats")->trigger();
    QVERIFY(Fstats::instance() && Fstats::instance()->isVisible());
    QCOMPARE(w<QComboBox>("C_joueur")->currentText(), QString("Paul"));
    QCOMPARE(w<QComboBox>("C_periode")->currentText(), QString("Mars"));
    QVERIFY(scripted.allUsed());
    regional::setToday(QDate());
}

QTEST_MAIN(TestStats)
#include "tst_stats.moc"
