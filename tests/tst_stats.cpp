#include "app/shell.h"
#include "data/regional.h"
#include "data/schema.h"
#include "gui/appearance.h"
#include "gui/colours.h"
#include "ledger/betbook.h"
#include "ledger/form1.h"
#include "ledger/multibets.h"
#include "ledger/yearbook.h"
#include "stats/charts.h"
#include "stats/figures.h"
#include "stats/fstats.h"
#include "stats/ticks.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testdatabase.h"
#include "tests/support/testfiles.h"
#include "tests/support/testwindows.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChartView>
#include <QComboBox>
#include <QGraphicsSimpleTextItem>
#include <QHeaderView>
#include <QHorizontalStackedBarSeries>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScatterSeries>
#include <QStackedBarSeries>
#include <QTabWidget>
#include <QToolTip>
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

template <class S> S* seriesNamed(const QChart* chart, const QString& name) {
    for (QAbstractSeries* series : chart->series()) {
        if (series->name() == name)
            return qobject_cast<S*>(series);
    }
    return nullptr;
}

QList<double> heights(const QXYSeries* series) {
    QList<double> values;
    for (const QPointF& p : series ? series->points() : QList<QPointF>())
        values << p.y();
    return values;
}

// What the chart writes besides its series and axes: the message of an empty period, the
// returns beside the bars.
QList<QGraphicsSimpleTextItem*> notesOn(const QChart* chart) {
    QList<QGraphicsSimpleTextItem*> notes;
    for (QGraphicsItem* item : chart->childItems()) {
        if (auto* note = dynamic_cast<QGraphicsSimpleTextItem*>(item); note && note->isVisible())
            notes << note;
    }
    return notes;
}

// The bars of the game types from the top down, as "type|net|the text at the bar's height".
// Each bar is green for a gain or red for a loss, never both.
QStringList typeBars(QChart* chart) {
    QStringList rows;
    auto* bars = qobject_cast<QHorizontalStackedBarSeries*>(chart->series().value(0));
    if (!bars)
        return rows;
    const auto* types = qobject_cast<QBarCategoryAxis*>(chart->axes(Qt::Vertical).value(0));
    QBarSet* gains = bars->barSets().at(0);
    QBarSet* losses = bars->barSets().at(1);
    if (gains->color() != colours::kGreen || losses->color() != colours::kRed)
        return {"colours"};
    for (int i = types->count() - 1; i >= 0; --i) {
        if (gains->at(i) < 0 || losses->at(i) > 0 || (gains->at(i) != 0 && losses->at(i) != 0))
            return {"mixed bar " + types->at(i)};
        const double y = chart->mapToPosition(QPointF(0, i), bars).y();
        QString note;
        for (const QGraphicsSimpleTextItem* item : notesOn(chart)) {
            if (qAbs(item->pos().y() + item->boundingRect().height() / 2 - y) < 1)
                note = plain(item->text());
        }
        rows << QStringList{types->at(i), QString::number(gains->at(i) + losses->at(i)), note}.join(
            '|');
    }
    return rows;
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

// The fixture's ledger closed as 2024; 2025 in its own archive, with a credit, and Léa who
// plays only that year; 2026 open, Émile gone from it.
void makeYears(const TestDatabase& db) {
    const auto row = [&](const char* month, const char* type, const char* horse, double debit,
                         double credit) {
        db.exec("INSERT INTO JEUX (User, mois, Jour, [type jeux], Cheval, Debit, Credit, "
                "SoldeApres) VALUES ('Paul', ?, '02', ?, ?, ?, ?, 0)",
                {QString::fromUtf8(month), QString::fromUtf8(type), horse, debit, credit});
    };
    ledger::recordYear(*db.db(), 2024);
    regional::setToday(QDate(2025, 1, 15));
    ledger::closeYear(*db.db(), 2024);
    row("Janvier", "Simple Gagnant", "etoile", 20, 0);
    row("Janvier", "Simple Gagnant", "ETOILE", 0, 50);
    row("Février", "Approvisionnement compte", "AUTRE JEUX", 0, 40);
    row("Février", "trio", "AUTRE JEUX", 6, 0);
    db.exec("INSERT INTO USERS (pseudo, SoldeDepart, SoldeEnCours, Mois) "
            "VALUES ('Léa', 0, 0, 'Mars')");
    regional::setToday(QDate(2026, 1, 15));
    ledger::closeYear(*db.db(), 2025);
    row("Mars", "Tiercé", "AUTRE JEUX", 10, 0);
    row("Mars", "Simple Placé", "BRISE", 5, 0);
    db.exec("DELETE FROM USERS WHERE pseudo = 'Émile'");
}

// Paul's bets: in March on R1C3 of 14 March at Vincennes (attelé), R2C1 of 15 March at
// Chantilly (plat) and R3C1 of 16 March, not in the results; in April on R1C1 of 2 April
// (Auteuil, haies), named by its numbers alone. The odds sit on the bands' edges. Zoé's bet,
// a pending one, a refunded one and a won one whose stake was reversed count nowhere.
void fillBets(const TestDatabase& db) {
    const QList<QVariantList> races = {{"2026-03-14 13:50", "Vincennes", 1, 3, "attelé"},
                                       {"2026-03-15", "Chantilly", 2, 1, "plat"},
                                       {"2026-04-02", "Auteuil", 1, 1, "haies"}};
    for (const QVariantList& race : races)
        db.exec("INSERT INTO CR (date, hippodrome, R, C, cheval, place, discipline) "
                "VALUES (?, ?, ?, ?, 'ALPHA', '1', ?)",
                race);
    const auto bet = [&](const char* player, const char* month, double amount,
                         std::optional<double> odds, QDate day, ledger::RaceRef race,
                         ledger::BetState state) {
        ledger::GameEntry entry;
        entry.player = QString::fromUtf8(player);
        entry.month = month;
        entry.day = "14";
        entry.gameType = "Simple Gagnant";
        entry.horse = "ALPHA";
        entry.amount = Money::fromStored(amount);
        entry.bet = ledger::BetSlip{day, race, odds};
        const qint64 num = ledger::recordGame(*db.db(), entry).num;
        if (state != ledger::BetState::Pending)
            ledger::markBet(*db.db(), num, state);
        return num;
    };
    using S = ledger::BetState;
    const QDate mar14(2026, 3, 14), mar15(2026, 3, 15), mar16(2026, 3, 16);
    // Cashed for more than its odds promised: the cashed sum counts.
    ledger::cashBet(*db.db(), bet("Paul", "Mars", 10, 2.99, mar14, {1, 3, "Vincennes"}, S::Won),
                    Money::fromStored(30));
    bet("Paul", "Mars", 10, 3, mar14, {1, 3, {}}, S::Lost);
    bet("Paul", "Mars", 20, 5.21, mar14, {1, 3, "VINCENNES"}, S::Won); // 104,20 € expected
    bet("Paul", "Mars", 5, 20, mar15, {2, 1, "Chantilly"}, S::Lost);
    bet("Paul", "Mars", 5, std::nullopt, mar15, {2, 1, {}}, S::Won);
    bet("Paul", "Mars", 4, 5, mar16, {3, 1, {}}, S::Lost);
    bet("Paul", "Mars", 8, 4, mar14, {1, 3, {}}, S::Refunded);
    bet("Paul", "Mars", 7, 6, mar14, {1, 3, {}}, S::Pending);
    ledger::reverseLine(*db.db(), bet("Paul", "Mars", 9, 2, mar14, {1, 3, {}}, S::Won));
    bet("Zoé", "Mars", 50, 2, mar14, {1, 3, {}}, S::Won);
    ledger::cashBet(*db.db(), bet("Paul", "Avril", 10, 10, QDate(2026, 4, 2), {1, 1, {}}, S::Won),
                    Money::fromStored(95));
}

QStringList itemsOf(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
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
        regional::setToday(QDate());
    }

    void figuresTablesAndCharts_data();
    void figuresTablesAndCharts();
    void betFigures_data();
    void betFigures();
    void betsByTypeOfBet();
    void fallsAndRuns_data();
    void fallsAndRuns();
    void runsFallAndDaysInTheWindow();
    void betsOfSeveralFiles();
    void axisTicks();
    void typeNames();
    void refreshKeepsChoices();
    void hoverShowsFigures();
    void choicesRecompute();
    void horsesSortByValue();
    void yearsTogether();
    void yearChoice();
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
    QTest::addColumn<QList<double>>("net");
    QTest::addColumn<QList<double>>("balances");
    QTest::addColumn<QList<double>>("deposits");
    QTest::addColumn<QStringList>("axes"); // GraphSolde: across, then up
    QTest::addColumn<QList<double>>("gains");
    QTest::addColumn<QList<double>>("losses");
    QTest::addColumn<QStringList>("typeBars");

    // The credit and the reversed stake with its reversal are not games: the net stays flat
    // where the balance jumps.
    QTest::newRow("one month")
        << "Mars" << QStringList{"40,00 €", "30,00 €", "-10,00 €", "-25,0 %", "4", "100,00 €"}
        << QStringList{"Simple Gagnant|2|10,00 €|30,00 €|20,00 €|200,0 %",
                       "Simple Placé|1|5,00 €|0,00 €|-5,00 €|-100,0 %",
                       "Tiercé|1|25,00 €|0,00 €|-25,00 €|-100,0 %"}
        << QStringList{"Mars|4|40,00 €|30,00 €|-10,00 €|-25,0 %"}
        << QStringList{"ETOILE|2|10,00 €|30,00 €|20,00 €", "BRISE|1|5,00 €|0,00 €|-5,00 €"}
        << QList<double>{0, 0, -10, 20, -5, -5, -5, -10}
        << QList<double>{150, 140, 170, 145, 137, 145, 140} << QList<double>{150}
        << QStringList{"0, 1, 2, 3, 4, 5, 6, 7", "0 €, 25 €, 50 €, 75 €, 100 €, 125 €, 150 €"}
        << QList<double>{0} << QList<double>{-10}
        << QStringList{"Simple Gagnant|20|200,0 %", "Simple Placé|-5|-100,0 %",
                       "Tiercé|-25|-100,0 %"};
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
        << QList<double>{0, -4, -4, -14, 16, -9, -9, -9, -14, -26, -41, 19, 13, 22, 29}
        << QList<double>{96, 150, 140, 170, 145, 137, 145, 140, 68, 53, 113, 107, 116, 123}
        << QList<double>{150} << QStringList{"janv., mars, avr., déc.", "0 €, 50 €, 100 €, 150 €"}
        << QList<double>{0, 0, 36, 7} << QList<double>{-4, -10, 0, 0}
        << QStringList{"Tiercé|20|50,0 %", "Simple Gagnant|8|36,4 %", "approvisionnement compte|7|",
                       "Simple Placé|-2|-18,2 %", "Trio|-4|-100,0 %"};
    QTest::newRow("month without rows")
        << "Mai" << QStringList{"0,00 €", "0,00 €", "0,00 €", "", "0", "0,00 €"} << QStringList()
        << QStringList() << QStringList() << QList<double>() << QList<double>() << QList<double>()
        << QStringList() << QList<double>() << QList<double>() << QStringList();
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

    QChart* results = w<QChartView>("GraphSolde")->chart();
    const auto* net = seriesNamed<QLineSeries>(results, "Résultat net");
    QTEST(heights(net), "net");
    QTEST(heights(seriesNamed<QLineSeries>(results, "Solde")), "balances");
    QTEST(heights(seriesNamed<QScatterSeries>(results, "Dépôts")), "deposits");
    QStringList axes;
    for (QAbstractAxis* axis : results->axes()) {
        auto* bars = qobject_cast<QBarCategoryAxis*>(axis);
        auto* ticks = qobject_cast<QCategoryAxis*>(axis);
        axes << plain((bars ? bars->categories() : ticks->categoriesLabels()).join(", "));
    }
    QTEST(axes, "axes");

    QChart* months = w<QChartView>("GraphMois")->chart();
    if (const auto* bars = qobject_cast<QStackedBarSeries*>(months->series().value(0))) {
        QTEST(valuesOf(bars->barSets().at(0)), "gains");
        QTEST(valuesOf(bars->barSets().at(1)), "losses");
        QCOMPARE(bars->barSets().at(0)->color(), QColor(0, 255, 0));
        QCOMPARE(bars->barSets().at(1)->color(), QColor(255, 0, 0));
    }
    // The bars as the user sees them, their tab on display.
    w<QTabWidget>("Ongletsgraphiques")->setCurrentWidget(w<QWidget>("OngletGraphTypes"));
    QCoreApplication::processEvents();
    QChart* types = w<QChartView>("GraphTypes")->chart();
    QTEST(typeBars(types), "typeBars");

    if (!figures.at(4).toInt()) {
        // No game: each chart says so, with nothing to read off an axis.
        for (const QChart* chart : {results, months, types}) {
            QVERIFY(chart->series().isEmpty() && chart->axes().isEmpty());
            QVERIFY(!chart->legend()->isVisible());
            QCOMPARE(notesOn(chart).size(), 1);
            QCOMPARE(notesOn(chart).at(0)->text(), QString("Aucun jeu sur cette période"));
        }
    } else {
        // Few operations: each one marked.
        QVERIFY(net->pointsVisible() &&
                seriesNamed<QLineSeries>(results, "Solde")->pointsVisible());
    }
}

void TestStats::betFigures_data() {
    QTest::addColumn<QString>("period");
    QTest::addColumn<QStringList>("rates"); // Treussite, Tcotemoy
    QTest::addColumn<QStringList>("byOdds");
    QTest::addColumn<QStringList>("byRacecourse");
    QTest::addColumn<QStringList>("byDiscipline");
    QTest::addColumn<QStringList>("byRule");

    const QString vincennes = "3|2|40,00 €|134,20 €|94,20 €|235,5 %";
    const QString unknown = "1|0|4,00 €|0,00 €|-4,00 €|-100,0 %";
    const QString chantilly = "2|1|10,00 €|0,00 €|-10,00 €|-100,0 %";
    const QString auteuil = "1|1|10,00 €|95,00 €|85,00 €|850,0 %";
    const QStringList march = {"< 3|1|1|10,00 €|30,00 €|20,00 €|200,0 %",
                               "3 à 5|1|0|10,00 €|0,00 €|-10,00 €|-100,0 %",
                               "5 à 10|2|1|24,00 €|104,20 €|80,20 €|334,2 %",
                               "20 et plus|1|0|5,00 €|0,00 €|-5,00 €|-100,0 %"};
    // The racecourse of a bet without one is its race's; a race not in the results has
    // neither.
    QTest::newRow("one month") << "Mars" << QStringList{"50,0 %", "4,10"} << march
                               << QStringList{"Vincennes|" + vincennes, "inconnu|" + unknown,
                                              "Chantilly|" + chantilly}
                               << QStringList{"attelé|" + vincennes, "inconnue|" + unknown,
                                              "plat|" + chantilly}
                               << QStringList{"Simple Gagnant|6|3|54,00 €|134,20 €|80,20 €|148,5 %"};
    QTest::newRow("whole year") << "Toute l'année" << QStringList{"57,1 %", "6,07"}
                                << QStringList{march.at(0), march.at(1), march.at(2),
                                               "10 à 20|" + auteuil, march.at(3)}
                                << QStringList{"Vincennes|" + vincennes, "Auteuil|" + auteuil,
                                               "inconnu|" + unknown, "Chantilly|" + chantilly}
                                << QStringList{"attelé|" + vincennes, "haies|" + auteuil,
                                               "inconnue|" + unknown, "plat|" + chantilly}
                                << QStringList{
                                       "Simple Gagnant|7|4|64,00 €|229,20 €|165,20 €|258,1 %"};
    QTest::newRow("no settled bet")
        << "Mai" << QStringList{"", ""} << QStringList() << QStringList() << QStringList()
        << QStringList();
}

void TestStats::betFigures() {
    QFETCH(QString, period);
    fillBets(*m_db);
    Fstats::showSingle("Paul", period);
    QTEST(QStringList({text("Treussite"), text("Tcotemoy")}), "rates");
    const QAbstractItemModel* odds = w<QTreeView>("LstParCote")->model();
    QStringList headers;
    for (int c = 0; c < odds->columnCount(); ++c)
        headers << odds->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers.join('|'), QString("Cote|Paris|Gagnés|Misé|Rapporté|Net|Rendement"));
    auto* tabs = w<QTabWidget>("Ongletstableaux");
    for (const auto& [table, rows] : {std::pair{"LstParCote", "byOdds"},
                                      {"LstParHippodrome", "byRacecourse"},
                                      {"LstParDiscipline", "byDiscipline"},
                                      {"LstParPari", "byRule"}}) {
        auto* view = w<QTreeView>(table);
        new QAbstractItemModelTester(view->model(),
                                     QAbstractItemModelTester::FailureReportingMode::QtTest, view);
        QVERIFY(tabs->indexOf(view->parentWidget()) >= 0);
        QTEST(rowsOf(view), rows);
    }
}

void TestStats::fallsAndRuns_data() {
    QTest::addColumn<bool>("bets");      // bets won (1) and lost (0), else a curve in euros
    QTest::addColumn<QString>("points");
    QTest::addColumn<QString>("expected"); // "winning losing", or "fall peak low"
    QTest::newRow("only rises") << false << "0 5 10 12" << "0 -1 -1";
    QTest::newRow("only falls") << false << "0 -5 -10 -12" << "12 0 3";
    QTest::newRow("falls twice, the second deeper") << false << "0 10 4 20 5 8" << "15 3 4";
    QTest::newRow("falls twice, the first deeper") << false << "0 10 -4 20 15" << "14 1 2";
    QTest::newRow("peak on the last point") << false << "0 -3 2 9" << "3 0 1";
    QTest::newRow("equal peaks: the first") << false << "0 7 7 1" << "6 1 3";
    QTest::newRow("runs") << true << "1 1 0 1 1 1 0 0" << "3 2";
    QTest::newRow("one bet") << true << "0" << "0 1";
    QTest::newRow("no bet") << true << "" << "0 0";
}

void TestStats::fallsAndRuns() {
    QFETCH(bool, bets);
    QFETCH(QString, points);
    const QStringList values = points.split(' ', Qt::SkipEmptyParts);
    QString said;
    if (bets) {
        QVector<bool> won;
        for (const QString& v : values)
            won << (v == "1");
        const stats::Runs runs = stats::longestRuns(won);
        said = QString("%1 %2").arg(runs.winning).arg(runs.losing);
    } else {
        QVector<Money> curve;
        for (const QString& v : values)
            curve << Money::fromCents(v.toLongLong() * 100);
        const stats::Fall fall = stats::largestFall(curve);
        said = QString("%1 %2 %3").arg(fall.amount.cents() / 100).arg(fall.peak).arg(fall.low);
    }
    QTEST(said, "expected");
}

// A refunded bet neither breaks a run nor extends it; the games by day of the week go by the
// race's day for a bet, the ledger's day otherwise.
void TestStats::runsFallAndDaysInTheWindow() {
    m_db->exec("INSERT INTO USERS (pseudo, SoldeDepart, SoldeEnCours, Mois) VALUES "
               "('Léa', 100, 100, 'Mai')");
    using S = ledger::BetState;
    int c = 0;
    for (const S state : {S::Won, S::Won, S::Refunded, S::Won, S::Lost, S::Lost, S::Refunded,
                          S::Lost, S::Won}) {
        ledger::GameEntry entry{ledger::GameKind::Stake, "Léa", "Mai", "02", "Simple Gagnant",
                                "ALPHA", 10_eur,
                                ledger::BetSlip{QDate(2026, 5, 9), {1, ++c, "Pau"}, 2.0}};
        ledger::markBet(*m_db->db(), ledger::recordGame(*m_db->db(), entry).num, state);
    }
    // A win without a bet, on Sunday the 3rd in the ledger; the stakes are Saturday 9th's.
    ledger::recordGame(*m_db->db(), {ledger::GameKind::Win, "Léa", "Mai", "03", "Simple Gagnant",
                                     "ALPHA", 25_eur, {}});
    regional::setToday(QDate(2026, 5, 20));
    m_db->exec("UPDATE EXERCICE SET annee = 2026");
    Fstats::showSingle("Léa", "Mai");
    QCOMPARE(text("Tserieg"), QString("3 paris"));
    QCOMPARE(text("Tseriep"), QString("3 paris"));
    // The nine stakes on the 2nd, then the win on the 3rd: the net falls from 0 to -90.
    QCOMPARE(text("Tbaisse"), QString("-90,00 € du 02/05 au 02/05"));
    QCOMPARE(rowsOf(w<QTreeView>("LstParJour")),
             QStringList({"Samedi|9|90,00 €|0,00 €|-90,00 €|-100,0 %",
                          "Dimanche|1|0,00 €|25,00 €|25,00 €|"}));
    Fstats::showSingle("Léa", "Avril");
    QCOMPARE(QStringList({text("Tbaisse"), text("Tseriep"), text("Tserieg")}),
             QStringList({"—", "—", "—"}));
}

// Bets on several horses grouped by the rule that settles them, the ranks of the won ones
// split out; a Tiercé typed in small letters is a Tiercé.
void TestStats::betsByTypeOfBet() {
    const auto bet = [&](const char* type, const char* numbers, double amount, const char* state,
                         const char* rank) {
        ledger::GameEntry entry;
        entry.player = "Paul";
        entry.month = "Mars";
        entry.day = "14";
        entry.gameType = QString::fromUtf8(type);
        entry.amount = Money::fromStored(amount);
        entry.bet = ledger::BetSlip{QDate(2026, 3, 14), {1, 3, "Vincennes"}};
        entry.bet->numbers = ledger::parseNumbers(numbers).numbers;
        entry.bet->formula = ledger::Formula::Unit;
        entry.bet->combinations = 1;
        const qint64 num = ledger::recordGame(*m_db->db(), entry).num;
        m_db->exec("UPDATE PARIS SET Etat = ?, Rang = ? WHERE NumJeu = ?",
                   {QString::fromUtf8(state), rank ? QVariant(QString::fromUtf8(rank)) : QVariant(),
                    num});
    };
    bet("Quinté+", "1-2-3-4-5", 2, "gagné", "ordre");
    bet("Quinté+", "1-2-3-4-6", 2, "gagné", "bonus 4");
    bet("Quinté+", "1-2-3-4-7", 2, "perdu", nullptr);
    bet("tiercé", "1-2-3", 3, "gagné", "désordre");
    bet("Couplé Gagnant", "1-2", 4, "perdu", nullptr);
    QStringList rows;
    for (const stats::Group& group : stats::betFigures(*m_db->db(), "Paul", 3).byRule)
        rows << QStringLiteral("%1|%2|%3").arg(group.label).arg(group.games).arg(group.wins);
    QCOMPARE(rows, QStringList({"Couplé Gagnant|1|0", "Tiercé — désordre 1|1|1",
                                "Quinté+ — ordre 1, bonus 4 1|3|2"}));
}

void TestStats::betsOfSeveralFiles() {
    fillBets(*m_db);
    // The same year twice, and once more in a file made before bets knew their race.
    QTemporaryDir dir;
    const QString twinFile = dir.filePath("jumeau.mdb"), oldFile = dir.filePath("ancien.mdb");
    QVERIFY(QFile::copy(m_db->file(), twinFile) && QFile::copy(m_db->file(), oldFile));
    const auto twin = data::Database::open(twinFile, data::Database::Mode::ReadOnly);
    const auto old = data::Database::open(oldFile);
    old->exec("DROP TABLE PARIS");
    QVERIFY(!data::schema::hasBetsTable(*old));
    QCOMPARE(stats::betFigures(*old, "Paul", stats::kWholeYear).settled, 0);

    const stats::BetFigures march = stats::betFigures(
        {{2024, old.get()}, {2025, twin.get()}, {2026, m_db->db().get()}}, "Paul", 3);
    QStringList racecourses;
    for (const stats::Group& group : march.byRacecourse)
        racecourses << QString("%1 %2 %3").arg(group.label).arg(group.games).arg(group.wins);
    QCOMPARE(racecourses, QStringList({"Vincennes 6 4", "inconnu 2 0", "Chantilly 4 2"}));
    QCOMPARE(stats::formatRate(march.wins, march.settled), QString("50,0 %"));
    QCOMPARE(stats::formatOdds(march.meanWinningOdds.value_or(0)), QString("4,10"));
}

void TestStats::axisTicks() {
    struct Case {
        int count; // operations, or -1 for the amounts
        QList<qint64> cents;
        QString labels;
    };
    const Case cases[] = {
        {-1, {}, ""},
        {-1, {0}, "0 €, 1 €"},
        // Whole euros that once read "301 €, 301 €, 300 €, 300 €".
        {-1, {30100}, "0 €, 50 €, 100 €, 150 €, 200 €, 250 €, 300 €"},
        {-1, {30050, 30100}, "0 €, 50 €, 100 €, 150 €, 200 €, 250 €, 300 €"},
        {-1,
         {-150, 250},
         "-1,50 €, -1,00 €, -0,50 €, 0,00 €, 0,50 €, 1,00 €, 1,50 €, 2,00 €, 2,50 €"},
        {-1, {-300, 700}, "-2 €, 0 €, 2 €, 4 €, 6 €"},
        {-1,
         {-1234567, 5000, 80000, 20, -99},
         "-12 000 €, -10 000 €, -8 000 €, -6 000 €, -4 000 €, -2 000 €, 0 €"},
        {0, {}, ""},
        {1, {}, "0, 1"},
        {2, {}, "0, 1, 2"},
        {137, {}, "0, 20, 40, 60, 80, 100, 120"},
    };
    QStringList expected, shown;
    for (const Case& c : cases) {
        QVector<Money> amounts;
        for (qint64 cents : c.cents)
            amounts << Money::fromCents(cents);
        const stats::AxisTicks ticks =
            c.count < 0 ? stats::moneyTicks(amounts) : stats::countTicks(c.count);
        const QString name = QString::number(c.count) + " " + QString::number(c.cents.size());
        expected << name + ": " + c.labels;
        shown << name + ": " + plain(ticks.labels.join(", "));
        QCOMPARE(ticks.values.size(), ticks.labels.size());
        // The axis shows every amount, and its ticks evenly within.
        for (qint64 cents : c.cents)
            QVERIFY(ticks.low <= cents / 100.0 && cents / 100.0 <= ticks.high);
        for (int i = 0; i < ticks.values.size(); ++i) {
            QVERIFY(ticks.low <= ticks.values.at(i) && ticks.values.at(i) <= ticks.high);
            if (i > 1)
                QCOMPARE(ticks.values.at(i) - ticks.values.at(i - 1),
                         ticks.values.at(1) - ticks.values.at(0));
        }
    }
    QCOMPARE(shown, expected);
}

void TestStats::typeNames() {
    // A type is named as the list spells it, whoever typed it otherwise and first; without
    // one in the list, as typed most often, and between equals the first in French order
    // with its capitals first. The credit type's own spelling never names a game.
    m_db->exec("INSERT INTO TYPEJEUX (TypeJeu) VALUES ('Approvisionnement compte')");
    m_db->exec("DELETE FROM TYPEJEUX WHERE TypeJeu = 'Trio'");
    const auto row = [&](const char* month, const char* type, double debit) {
        m_db->exec("INSERT INTO JEUX (User, mois, Jour, [type jeux], Cheval, Debit, Credit, "
                   "SoldeApres) VALUES ('Léa', ?, '02', ?, 'AUTRE JEUX', ?, 0, 0)",
                   {QString::fromUtf8(month), QString::fromUtf8(type), debit});
    };
    row("Aout", "quinté+", 1);
    row("Mars", "QUINTé+", 2);
    row("Mars", "QUINTé+", 3);
    row("Aout", "trio", 4);
    row("Mars", "TRIO", 5);
    row("Mars", "TRIO", 6);
    row("Avril", "jumelé", 7);
    row("Aout", "Jumelé", 8);
    row("Mai", "approvisionnement compte", 9);
    // A month and a horse in several spellings, a horse left empty: each one group.
    for (const char* horse : std::initializer_list<const char*>{"brise", "BRISE", nullptr})
        m_db->exec("INSERT INTO JEUX (User, mois, Jour, [type jeux], Cheval, Debit, Credit, "
                   "SoldeApres) VALUES ('Léa', 'MARS', '03', 'Jumelé', ?, 1, 0, 0)",
                   {horse ? QVariant(horse) : QVariant()});
    const stats::Figures figures = stats::compute(*m_db->db(), "Léa", stats::kWholeYear);
    QStringList names, months, horses;
    for (const stats::Group& group : figures.byType)
        names << group.label + ' ' + QString::number(group.games);
    QCOMPARE(names, QStringList({"Quinté+ 3", "approvisionnement compte 1", "TRIO 3", "Jumelé 5"}));
    for (const stats::Group& group : figures.byMonth)
        months << group.label + ' ' + QString::number(group.games);
    QCOMPARE(months, QStringList({"Mars 7", "Avril 1", "Mai 1", "Aout 3"}));
    for (const stats::Group& group : figures.byHorse)
        horses << group.label + ' ' + QString::number(group.games);
    QCOMPARE(horses, QStringList({"BRISE 2"}));
}

void TestStats::refreshKeepsChoices() {
    Fstats* window = Fstats::showSingle("Paul", "Toute l'année");
    auto* charts = w<QTabWidget>("Ongletsgraphiques");
    charts->setCurrentWidget(w<QWidget>("OngletGraphTypes"));
    auto* horses = w<QTreeView>("LstParCheval");
    w<QTabWidget>("Ongletstableaux")->setCurrentWidget(horses->parentWidget());
    horses->sortByColumn(0, Qt::AscendingOrder);
    horses->setCurrentIndex(horses->model()->index(1, 0));

    // Written by another window: a stake on a new horse, and a new player.
    m_db->exec("INSERT INTO USERS (pseudo, SoldeDepart, SoldeEnCours, Mois) "
               "VALUES ('Anne', 0, 0, 'Avril')");
    m_db->exec("INSERT INTO JEUX (User, mois, Jour, [type jeux], Cheval, Debit, Credit, "
               "SoldeApres) VALUES ('Paul', 'Avril', '09', 'Simple Gagnant', 'ALEZAN', 50, 0, 66)");
    window->actualiser();
    QCOMPARE(text("Tmise"), QString("127,00 €"));
    QCOMPARE(text("Tnbjeux"), QString("12"));
    QCOMPARE(w<QComboBox>("C_periode")->currentText(), QString("Toute l'année"));
    QCOMPARE(w<QComboBox>("C_joueur")->currentText(), QString("Paul"));
    QCOMPARE(w<QComboBox>("C_joueur")->findText("Anne"), 0);
    QCOMPARE(charts->currentWidget(), w<QWidget>("OngletGraphTypes"));
    QCOMPARE(w<QTabWidget>("Ongletstableaux")->currentWidget(), horses->parentWidget());
    // Still by name, and the current row still on its horse though a row came before it.
    QCOMPARE(rowsOf(horses).value(0).section('|', 0, 0), QString("ALEZAN"));
    QCOMPARE(horses->currentIndex().data().toString(), QString("ETOILE"));
    QCOMPARE(
        heights(seriesNamed<QLineSeries>(w<QChartView>("GraphSolde")->chart(), "Solde")).last(),
        123.0);
    QVERIFY(typeBars(w<QChartView>("GraphTypes")->chart()).contains("Simple Gagnant|-42|-58,3 %"));

    // A player no longer in the ledger is no longer chosen.
    m_db->exec("DELETE FROM USERS WHERE pseudo = 'Paul'");
    window->actualiser();
    QCOMPARE(w<QComboBox>("C_joueur")->currentIndex(), -1);
    QCOMPARE(text("Tnbjeux"), QString("0"));
}

void TestStats::hoverShowsFigures() {
    Fstats::showSingle("Paul", "Mars");
    QChartView* view = w<QChartView>("GraphTypes");
    w<QTabWidget>("Ongletsgraphiques")->setCurrentWidget(w<QWidget>("OngletGraphTypes"));
    QVERIFY(QTest::qWaitForWindowExposed(view->window()));
    // The mouse on the middle of the top bar, the best type.
    auto* bars = qobject_cast<QHorizontalStackedBarSeries*>(view->chart()->series().value(0));
    const QPointF middle = view->chart()->mapToPosition(QPointF(10, 2), bars);
    QTest::mouseMove(view->viewport(), view->mapFromScene(view->chart()->mapToScene(middle)));
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(plain(QToolTip::text()), QString("Simple Gagnant\nJeux : 2\nMisé : 10,00 €\n"
                                              "Gagné : 30,00 €\nRésultat net : 20,00 €\n"
                                              "Rendement : 200,0 %"));
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

void TestStats::yearsTogether() {
    makeYears(*m_db);
    const auto y2024 = ledger::openArchive(ledger::archivePath(m_db->file(), 2024));
    const auto y2025 = ledger::openArchive(ledger::archivePath(m_db->file(), 2025));
    const QVector<stats::YearLedger> years = {
        {2024, y2024.get()}, {2025, y2025.get()}, {2026, m_db->db().get()}};
    const auto summary = [](const stats::Figures& f, const QVector<stats::Group>& groups) {
        QStringList rows{QString("%1 %2 %3 %4")
                             .arg(f.games)
                             .arg(f.staked.cents())
                             .arg(f.won.cents())
                             .arg(f.deposits.cents())};
        for (const stats::Group& g : groups)
            rows << QString("%1|%2|%3").arg(g.label).arg(g.games).arg(g.net().cents() / 100);
        return rows;
    };

    // The types as within a year: "trio" of 2025 is the list's Trio of 2024.
    const stats::Figures all = stats::compute(years, "Paul", stats::kWholeYear);
    QCOMPARE(summary(all, all.byType),
             QStringList({"16 11800 15600 14000", "Simple Gagnant|5|38", "Tiercé|4|10",
                          "approvisionnement compte|1|7", "Simple Placé|4|-7", "Trio|2|-10"}));
    QCOMPARE(summary(all, all.byHorse).mid(1), QStringList({"ETOILE|5|38", "BRISE|4|-7"}));
    QCOMPARE(
        summary(all, all.byMonth).mid(1),
        QStringList({"Janvier 2024|1|-4", "Mars 2024|4|-10", "Avril 2024|5|36", "décembre 2024|1|7",
                     "Janvier 2025|2|30", "Février 2025|1|-6", "Mars 2026|2|-15"}));
    // The net goes on from one year to the next: 2024 ended at 29.
    QList<double> nets;
    for (const stats::Operation& operation : all.operations)
        nets << operation.net.toStored();
    QCOMPARE(nets, QList<double>({-4, -4, -14, 16, -9, -9, -9, -14, -26, -41,
                                  19, 13, 22,  29, 9,  59, 59, 53,  43,  38}));

    // One month of every year; a lone year's months carry no year.
    const stats::Figures march = stats::compute(years, "Paul", 3);
    QCOMPARE(summary(march, march.byMonth),
             QStringList({"6 5500 3000 10000", "Mars 2024|4|-10", "Mars 2026|2|-15"}));
    QCOMPARE(stats::compute(*y2025, "paul", 2).byMonth.value(0).label, QString("Février"));

    QCOMPARE(stats::players(years), QStringList({"Émile", "Léa", "Paul", "Zoé"}));
    QCOMPARE(stats::players(*m_db->db()), QStringList({"Léa", "Paul", "Zoé"}));
}

void TestStats::yearChoice() {
    makeYears(*m_db);
    const QString archive = ledger::archivePath(m_db->file(), 2024);
    const QByteArray before = readAll(archive);
    QVERIFY(!before.isEmpty());
    Fstats* window = Fstats::showSingle("Paul", "Toute l'année");
    auto* years = w<QComboBox>("C_annee");
    QVERIFY(!years->isEditable());
    QCOMPARE(w<QLabel>("Lannee")->text(), QString("Année :"));
    QCOMPARE(itemsOf(years), QStringList({"Année en cours", "2025", "2024", "Toutes les années"}));
    QCOMPARE(years->currentText(), QString("Année en cours"));
    QCOMPARE(text("Tmise"), QString("15,00 €"));

    // A past year: its own figures and players, from a connection open while it is chosen.
    const int connections = QSqlDatabase::connectionNames().size();
    pick("C_annee", "2024");
    QCOMPARE(QSqlDatabase::connectionNames().size(), connections + 1);
    QCOMPARE(text("Tmise"), QString("77,00 €"));
    QCOMPARE(text("Tnbjeux"), QString("11"));
    QCOMPARE(itemsOf(w<QComboBox>("C_joueur")), QStringList({"Émile", "Paul", "Zoé"}));

    pick("C_annee", "Toutes les années");
    const QStringList shown = {text("Tmise"), text("Tgain"),   text("Tnet"),
                               text("Troi"),  text("Tnbjeux"), text("Tdepots")};
    QCOMPARE(shown, QStringList({"118,00 €", "156,00 €", "38,00 €", "32,2 %", "16", "140,00 €"}));
    QCOMPARE(itemsOf(w<QComboBox>("C_joueur")), QStringList({"Émile", "Léa", "Paul", "Zoé"}));
    QCOMPARE(rowsOf(w<QTreeView>("LstParMois")).value(4),
             QString("Janvier 2025|2|20,00 €|50,00 €|30,00 €|150,0 %"));
    const QString months =
        "janv. 2024, mars 2024, avr. 2024, déc. 2024, janv. 2025, févr. 2025, mars 2026";
    for (const char* name : {"GraphMois", "GraphSolde"}) {
        const QChart* chart = w<QChartView>(name)->chart();
        QCOMPARE(qobject_cast<QBarCategoryAxis*>(chart->axes(Qt::Horizontal).value(0))
                     ->categories()
                     .join(", "),
                 months);
    }
    QCOMPARE(heights(seriesNamed<QLineSeries>(w<QChartView>("GraphSolde")->chart(), "Résultat net"))
                 .last(),
             38.0);

    // A year closed meanwhile is listed, the choice kept.
    regional::setToday(QDate(2027, 1, 5));
    ledger::closeYear(*m_db->db(), 2026);
    window->actualiser();
    QCOMPARE(itemsOf(years),
             QStringList({"Année en cours", "2026", "2025", "2024", "Toutes les années"}));
    QCOMPARE(years->currentText(), QString("Toutes les années"));
    QCOMPARE(text("Tmise"), QString("118,00 €"));
    // An archive of the open year, left by a closing not finished, is not counted twice.
    QVERIFY(QFile::copy(archive, ledger::archivePath(m_db->file(), 2027)));
    window->actualiser();
    QCOMPARE(text("Tmise"), QString("118,00 €"));
    pick("C_annee", "2026");
    QCOMPARE(text("Tmise"), QString("15,00 €"));
    // From the ledger: its open year, the archive closed.
    Fstats::showSingle("Paul", "Mars");
    QCOMPARE(years->currentText(), QString("Année en cours"));
    QCOMPARE(text("Tnbjeux"), QString("0"));
    QCOMPARE(QSqlDatabase::connectionNames().size(), connections);

    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(readAll(archive), before);
}

void TestStats::fromTheLedgerMenu() {
    QTemporaryDir dir;
    regional::setToday(QDate(2024, 3, 6));
    auto* form = shell::openLedger();
    const auto menus = form->menuBar()->actions();
    QCOMPARE(menus.size(), 3);
    QCOMPARE(menus.at(0)->text(), QString("&Fichier"));
    QCOMPARE(menus.at(1)->text(), QString("&Relevé"));
    QCOMPARE(menus.at(2)->text(), QString("&Suivits"));
    QStringList items;
    for (QAction* action : menus.at(1)->menu()->actions())
        items << action->objectName() + " " + action->text();
    QCOMPARE(items, QStringList({"mnustats &Statistiques…", "mnurechercher Re&chercher…",
                                 "mnulimites &Limites du joueur…",
                                 "mnuexport &Exporter le relevé (CSV)…",
                                 "mnupdf Relevé en &PDF…", "mnuimprimer &Imprimer le relevé…", " ",
                                 "mnuexportannee Exporter l'&année (CSV)…"}));

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
    QCOMPARE(text("Tmise"), QString("40,00 €"));

    // A stake and then its reversal recorded in the ledger show at once in the open window.
    auto* type = form->findChild<QComboBox*>("Ctypejeux");
    type->setCurrentIndex(type->findText("Tiercé"));
    form->findChild<QLineEdit*>("Cmontant")->setText("12,50");
    scripted.answer(dialogs::Answer::No); // April keeps its balance
    form->findChild<QPushButton*>("BT_savemise")->click();
    QCOMPARE(text("Tmise"), QString("52,50 €"));
    QCOMPARE(text("Tnbjeux"), QString("5"));
    auto* statement = form->findChild<QTreeView*>("Lst_jeux");
    statement->setCurrentIndex(statement->model()->index(statement->model()->rowCount() - 1, 0));
    scripted.answer(dialogs::Answer::Yes);
    scripted.answer(dialogs::Answer::No);
    form->findChild<QPushButton*>("BT_annuler")->click();
    QCOMPARE(text("Tmise"), QString("40,00 €"));
    QCOMPARE(text("Tnbjeux"), QString("4"));
    QVERIFY(scripted.allUsed());
    regional::setToday(QDate());
}

QTEST_MAIN(TestStats)
#include "tst_stats.moc"
