#include "data/regional.h"
#include "data/schema.h"
#include "gui/appearance.h"
#include "gui/colours.h"
#include "app/shell.h"
#include "ledger/betbook.h"
#include "data/dailycopy.h"
#include "ledger/form1.h"
#include "ledger/flimites.h"
#include "ledger/frecherche.h"
#include "ledger/frestaurer.h"
#include "ledger/ftypesjeux.h"
#include "ledger/gametypes.h"
#include "stats/fstats.h"
#include "ledger/ledgerbook.h"
#include "ledger/yearbook.h"
#include "tests/support/realdialogs.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testdatabase.h"
#include "tools/dbtool.h"

#include <QAbstractItemModelTester>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QCompleter>
#include <QCryptographicHash>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

using dialogs::Answer;

namespace {

// Money as the ledger shows it.
QString money(double amount) {
    return regional::formatMoney(Money::fromStored(amount));
}

// The same text with ordinary blanks, to compare with a literal such as "-10,00 €".
QString plain(QString text) {
    text.replace(QChar(0x202F), QLatin1Char(' ')).replace(QChar(0x00A0), QLatin1Char(' '));
    return text;
}

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kBlack(0, 0, 0);

// The statement list read as the user sees it: its rows, and each row's cells with their
// text, colour and font.
class StatementList {
public:
    explicit StatementList(QTreeView* view) : m_view(view) {}
    class Row {
    public:
        Row(const QTreeView* view, int row) : m_view(view), m_row(row) {}
        QVariant data(int column, int role) const {
            return m_view->model()->data(m_view->model()->index(m_row, column), role);
        }
        QString text(int column) const { return data(column, Qt::DisplayRole).toString(); }
        int textAlignment(int column) const { return data(column, Qt::TextAlignmentRole).toInt(); }
        QBrush foreground(int column) const {
            return data(column, Qt::ForegroundRole).value<QColor>();
        }
        QFont font(int column) const {
            const QVariant font = data(column, Qt::FontRole);
            return font.isValid() ? font.value<QFont>() : m_view->font();
        }
        const Row* operator->() const { return this; }
        int row() const { return m_row; }

    private:
        const QTreeView* m_view;
        int m_row;
    };
    int topLevelItemCount() const { return m_view->model()->rowCount(); }
    Row topLevelItem(int row) const { return Row(m_view, row); }
    void setCurrentItem(const Row& row) const {
        m_view->selectionModel()->setCurrentIndex(m_view->model()->index(row.row(), 0),
                                                  QItemSelectionModel::ClearAndSelect |
                                                      QItemSelectionModel::Rows);
    }
    QHeaderView* header() const { return m_view->header(); }
    QWidget* viewport() const { return m_view->viewport(); }
    QSize size() const { return m_view->size(); }
    int width() const { return m_view->width(); }
    int height() const { return m_view->height(); }
    const StatementList* operator->() const { return this; }

private:
    QTreeView* m_view;
};

} // namespace

class TestLedger : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { appearance::setupApplication(*qApp); }
    void init();
    void cleanup();

    void loadShowsTodaysMonth_data();
    void loadShowsTodaysMonth();
    void windowAtLoad();
    void windowWithoutGameTypes();
    void statementGrowsWithTheWindow();
    void statementOfAMonth();
    void statementCellRules();
    void statementWithoutABalanceRow();
    void balanceColour_data();
    void balanceColour();
    void recordingAStakeOrAWin_data();
    void recordingAStakeOrAWin();
    void entryMonthAndDay();
    void horseBoxFollowsGameType_data();
    void horseBoxFollowsGameType();
    void staleScreenNeverWritesIntoAnotherRow();
    void refusedEntriesWriteNothing_data();
    void refusedEntriesWriteNothing();
    void failingWriteLeavesNoLedgerRow_data();
    void failingWriteLeavesNoLedgerRow();
    void addingPlayers();
    void addingAPlayerRefused_data();
    void addingAPlayerRefused();
    void creditingAnAccount();
    void creditRefused_data();
    void creditRefused();
    void creditWithoutABalanceRow();
    void failingCreditWritesNothing_data();
    void failingCreditWritesNothing();
    void horseReport_data();
    void horseReport();
    void horseReportOfAStaleList();
    void fullMonthStatementIsQuick();
    void reversingALine_data();
    void reversingALine();
    void writesFollowTheStatementOnDisplay();
    void newMonth_data();
    void newMonth();
    void lateEntries_data();
    void lateEntries();
    void throughTheRealWidgets();
    void newYearRefusesWrites_data();
    void newYearRefusesWrites();
    void closingTheYearFromTheMenu();
    void betsThroughTheRealWidgets();
    void quinteThroughTheRealWidgets();
    void gameTypesMergedAndRenamed();
    void restoredThroughTheRealWidgets();
    void searchedThroughTheRealWidgets();
    void limitsThroughTheRealWidgets();
    void betsSettledOnceTheWindowShows();
    void monthsApartThroughTheRealWidgets();
    void followedRunningTodayFollowsTheFile();

private:
    Form1& openWindow();
    template <class T> T* w(const char* name) const;
    void pick(const char* combo, const QString& text);
    void typeInto(const char* combo, const QString& text);
    // Text typed key by key into a field or a combo's box, replacing what it held.
    void typeIn(const char* name, const QString& text);
    // Typed into a combo's box, then Enter: the pick a user makes from the keyboard.
    void choose(const char* combo, const QString& text) {
        typeIn(combo, text);
        QTest::keyClick(w<QComboBox>(combo)->lineEdit(), Qt::Key_Return);
    }
    void press(const char* button) { QTest::mouseClick(w<QPushButton>(button), Qt::LeftButton); }
    // The one bet to cash clicked in its list, as the user chooses it; false without one.
    bool pickTheBetToCash() {
        auto* list = w<QTreeView>("LstAEncaisser");
        if (list->model()->rowCount() != 1)
            return false;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(0, 2)).center());
        return true;
    }
    QString text(const char* box) const { return w<QLineEdit>(box)->text(); }
    StatementList list() const { return StatementList(w<QTreeView>("Lst_jeux")); }
    void addUser(const QString& name, const QString& month, double deposits, double balance);
    void addRow(const QString& user, const QString& month, const QString& day, const QVariant& type,
                const QVariant& horse, const QVariant& debit, const QVariant& credit,
                const QVariant& after = 0);
    QVariantList lastRow() const;
    int rowCount(const QString& table) const;
    QVariant balanceOf(const QString& name, const QString& month) const;
    bool focused(const char* name) const;
    // The (player, month) pairs whose chain of balances is broken, as "Paul/Novembre".
    QStringList brokenChains() const;

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<Form1> m_form;
};

// -----------------------------------------------------------------------------------------
// Fixture

void TestLedger::init() {
    m_db = std::make_unique<TestDatabase>();
    m_dialogs = std::make_unique<ScriptedDialogs>();
    regional::setToday(QDate(2024, 3, 6));
}

void TestLedger::cleanup() {
    m_form.reset();
    QVERIFY2(!m_dialogs || m_dialogs->allUsed(), "a scripted answer was not used");
    m_dialogs.reset();
    m_db.reset();
    regional::setToday(QDate());
}

Form1& TestLedger::openWindow() {
    m_form = std::make_unique<Form1>();
    m_form->setAttribute(Qt::WA_DeleteOnClose, false);
    // Every statement loaded in every test goes through the model's contract checks.
    for (const char* liste : {"Lst_jeux", "LstAEncaisser"})
        new QAbstractItemModelTester(w<QTreeView>(liste)->model(),
                                     QAbstractItemModelTester::FailureReportingMode::QtTest,
                                     m_form.get());
    m_form->show();
    return *m_form;
}

template <class T> T* TestLedger::w(const char* name) const {
    T* widget = m_form->findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no control %s", name);
    return widget;
}

// A pick in the list, as the user makes it.
void TestLedger::pick(const char* combo, const QString& text) {
    auto* box = w<QComboBox>(combo);
    const int index = box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        QFAIL(qPrintable(QStringLiteral("%1 is not in the list of %2").arg(text, combo)));
    box->setCurrentIndex(index);
    emit box->activated(index);
}

// Text typed into the box, without choosing from the list.
void TestLedger::typeInto(const char* combo, const QString& text) {
    w<QComboBox>(combo)->setEditText(text);
}

void TestLedger::typeIn(const char* name, const QString& text) {
    QWidget* field = w<QWidget>(name);
    if (auto* combo = qobject_cast<QComboBox*>(field))
        field = combo->lineEdit();
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier); // typing replaces the text
    typeKeys(field, text);
}

void TestLedger::addUser(const QString& name, const QString& month, double deposits,
                         double balance) {
    m_db->exec("INSERT INTO USERS (pseudo, SoldeDepart, SoldeEnCours, Mois) VALUES (?, ?, ?, ?)",
               {name, deposits, balance, month});
}

void TestLedger::addRow(const QString& user, const QString& month, const QString& day,
                        const QVariant& type, const QVariant& horse, const QVariant& debit,
                        const QVariant& credit, const QVariant& after) {
    m_db->exec("INSERT INTO JEUX (User, mois, Jour, [type jeux], Cheval, Debit, Credit, "
               "SoldeAvant, SoldeApres) VALUES (?, ?, ?, ?, ?, ?, ?, 0, ?)",
               {user, month, day, type, horse, debit, credit, after});
}

QStringList TestLedger::brokenChains() const {
    // Each line follows from the one before; the first from the month's opening balance (its
    // deposits less its credits), the last is the month's balance; a month without lines
    // keeps its deposits.
    QSqlQuery query = m_db->db()->exec(R"(
        WITH L AS (
            SELECT User, mois, Num, Debit, Credit, SoldeAvant, SoldeApres,
                   LAG(SoldeApres) OVER (PARTITION BY User, mois ORDER BY Num) AS prev,
                   ROW_NUMBER() OVER (PARTITION BY User, mois ORDER BY Num) AS rang,
                   ROW_NUMBER() OVER (PARTITION BY User, mois ORDER BY Num DESC) AS finale,
                   SUM(CASE WHEN [type jeux] = 'Approvisionnement compte' COLLATE BINARY
                            THEN Credit ELSE 0 END) OVER (PARTITION BY User, mois) AS depots
            FROM JEUX)
        SELECT DISTINCT L.User || '/' || L.mois FROM L
        JOIN USERS U ON U.pseudo = L.User AND U.Mois = L.mois
        WHERE round(SoldeApres - (SoldeAvant - Debit + Credit), 2) <> 0
           OR round(SoldeAvant - ifnull(prev, U.SoldeDepart - depots), 2) <> 0
           OR (finale = 1 AND round(SoldeApres - U.SoldeEnCours, 2) <> 0)
        UNION
        SELECT pseudo || '/' || Mois FROM USERS U
        WHERE round(SoldeEnCours - SoldeDepart, 2) <> 0 AND NOT EXISTS
            (SELECT 1 FROM JEUX WHERE User = U.pseudo AND mois = U.Mois))");
    QStringList broken;
    while (query.next())
        broken << query.value(0).toString();
    return broken;
}

QVariantList TestLedger::lastRow() const {
    QSqlQuery query = m_db->db()->exec("SELECT * FROM JEUX ORDER BY Num DESC LIMIT 1");
    QVariantList values;
    if (query.next())
        for (int i = 0; i < 11; ++i)
            values << query.value(i);
    return values;
}

int TestLedger::rowCount(const QString& table) const {
    return m_db->scalar(QStringLiteral("SELECT COUNT(*) FROM ") + table).toInt();
}

QVariant TestLedger::balanceOf(const QString& name, const QString& month) const {
    return m_db->scalar("SELECT SoldeEnCours FROM USERS WHERE pseudo = ? AND Mois = ?",
                        {name, month});
}

bool TestLedger::focused(const char* name) const {
    QWidget* focus = QApplication::focusWidget();
    QWidget* widget = w<QWidget>(name);
    return focus && (focus == widget || widget->isAncestorOf(focus));
}

// -----------------------------------------------------------------------------------------
// Window and load

void TestLedger::loadShowsTodaysMonth_data() {
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("month");
    QTest::newRow("March") << QDate(2024, 3, 6) << "Mars";
    QTest::newRow("August") << QDate(2024, 8, 31) << "Aout";
    QTest::newRow("December") << QDate(2023, 12, 1) << "décembre";
    QTest::newRow("January") << QDate(2025, 1, 15) << "Janvier";
}

void TestLedger::loadShowsTodaysMonth() {
    QFETCH(QDate, today);
    QFETCH(QString, month);
    regional::setToday(today);
    openWindow();
    for (const char* name : {"C_mois", "C_moisMiseGain"}) {
        auto* box = w<QComboBox>(name);
        QCOMPARE(box->currentText(), month);
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        QCOMPARE(items, regional::monthNames());
    }
    QCOMPARE(w<QDateEdit>("CjourMiseGain")->date(), today);
    QCOMPARE(w<QDateEdit>("CjourMiseGain")->text(), today.toString("dd/MM/yyyy"));
}

void TestLedger::windowAtLoad() {
    addUser("Paul", "Mars", 10, 10);
    addUser("Paul", "Avril", 10, 10);
    addUser("Anne", "Mars", 10, 10);
    openWindow();
    QCOMPARE(m_form->objectName(), QString("Form1"));
    QCOMPARE(m_form->windowTitle(), QString("Gestion des mises"));

    // One entry per USERS row, none chosen.
    auto* users = w<QComboBox>("C_users");
    QCOMPARE(users->count(), 3);
    QCOMPARE(users->itemText(0), QString("Paul"));
    QCOMPARE(users->itemText(1), QString("Paul"));
    QCOMPARE(users->itemText(2), QString("Anne"));
    QCOMPARE(users->currentText(), QString());

    auto* types = w<QComboBox>("Ctypejeux");
    QStringList typeNames;
    for (int i = 0; i < types->count(); ++i)
        typeNames << types->itemText(i);
    QCOMPARE(typeNames, data::schema::defaultGameTypes());
    QCOMPARE(types->currentText(), QString());
    QVERIFY(!w<QComboBox>("Tcheval")->isEnabled());
    for (const char* name :
         {"C_mois", "C_users", "C_moisMiseGain", "Ctypejeux", "Tcheval", "C_cheval"})
        QVERIFY2(w<QComboBox>(name)->isEditable(), name);

    // The seven statement columns, empty.
    auto* lst = w<QTreeView>("Lst_jeux");
    QCOMPARE(lst->model()->columnCount(), 7);
    QCOMPARE(lst->model()->rowCount(), 0);
    const QStringList headers{"date", "Type de jeu", "cheval", "Mise", "Gain", "Solde", "État"};
    const int twips[] = {700, 2880, 2000, 850, 850, 1360, 1000};
    QFont boldFont = lst->font();
    boldFont.setBold(true);
    const QFontMetrics bold(boldFont);
    const Qt::Alignment alignments[] = {Qt::AlignLeft,   Qt::AlignHCenter, Qt::AlignLeft,
                                        Qt::AlignRight,  Qt::AlignRight,   Qt::AlignRight,
                                        Qt::AlignHCenter};
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(lst->model()->headerData(i, Qt::Horizontal).toString(), headers[i]);
        // Wide enough for its header and the empty statement's amounts; the horse takes the
        // rest of the list's width.
        if (i >= 3 && i <= 5)
            QVERIFY(lst->columnWidth(i) >= twips[i] * lst->logicalDpiX() / 1440);
        QVERIFY(lst->columnWidth(i) > lst->fontMetrics().horizontalAdvance(headers[i]));
        if (i >= 3 && i <= 5)
            QVERIFY(lst->columnWidth(i) > bold.horizontalAdvance(money(0)));
    }
    // The credit rows' type whole at the window's default size, the horse taking the rest.
    QFont italicFont = lst->font();
    italicFont.setItalic(true);
    QVERIFY(lst->columnWidth(1) > QFontMetrics(italicFont).horizontalAdvance(ledger::creditType()));
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(Qt::Alignment(
                     lst->model()->headerData(i, Qt::Horizontal, Qt::TextAlignmentRole).toInt()) &
                     Qt::AlignHorizontal_Mask,
                 alignments[i]);
    }

    // Display boxes start empty and cannot be typed into.
    for (const char* name : {"TsoldeDepart", "T_soldepreced", "T_soldecours", "TnbrTotaljeux",
                             "TTotalmise", "Ttotalgain", "Tplusgrossemise", "Tplusgrosgain",
                             "Ttotalmisecheval", "Ttotalgaincheval", "Trapportcheval"}) {
        QVERIFY2(text(name).isEmpty(), name);
        QVERIFY2(w<QLineEdit>(name)->isReadOnly(), name);
    }
    QVERIFY(!w<QLineEdit>("Cmontant")->isReadOnly());

    const std::pair<const char*, const char*> captions[] = {
        {"Label2", "Relevé Mois de :"},
        {"Label10", "Joueur"},
        {"Label30", "Solde Départ :"},
        {"Label1", "Total depots :"},
        {"Label3", "Solde en cours"},
        {"Label4", "Date"},
        {"Label5", "Type de jeux"},
        {"Label11", "Cheval"},
        {"Label6", "Mise"},
        {"Label7", "Gain"},
        {"Label9", "Solde"},
        {"Label19", "Ajouter une mise ou un gain"},
        {"Label20", "Selectionner le mois"},
        {"Label21", "Choisir le jour"},
        {"Label22", "Choisir le type de jeux"},
        {"Label23", "Saisissez le montant"},
        {"Label24", "Cheval si jeux simple"},
        {"Label26", "Rapport G/P d'un cheval"},
        {"Label27", "Total mise"},
        {"Label28", "Total Gain"},
        {"Label29", "Rapport"},
        {"Label25", "Récaptitulatif"},
        {"Label12", "Nombre total de jeux"},
        {"Label14", "Total des mises"},
        {"Label15", "Total des gains"},
        {"Label16", "Plus grosse mise"},
        {"Label17", "Plus gros gain"},
    };
    for (const auto& [name, caption] : captions)
        QCOMPARE(w<QLabel>(name)->text(), QString::fromUtf8(caption));
    const std::pair<const char*, const char*> buttons[] = {
        {"bt_ajouteusers", "+"},
        {"Tajoutecredit", "Ajouter crédit"},
        {"BT_savemise", "Enregistrer la mise"},
        {"BT_savegain", "Enregistrer le Gain"},
        {"BT_suivit", "Mes chevaux suivits"},
    };
    for (const auto& [name, caption] : buttons)
        QCOMPARE(w<QPushButton>(name)->text(), QString::fromUtf8(caption));
    const std::pair<const char*, const char*> tips[] = {
        {"bt_ajouteusers", "Ajouter un nouveau joueur"},
        {"Tajoutecredit", "approvisionner le compte"},
        {"C_cheval", "Liste des chevaux déja joués"},
        {"Ttotalmisecheval", "Total mise annuel"},
        {"Ttotalgaincheval", "Total gain annuel"},
        {"Trapportcheval", "Rapport annuel"},
    };
    for (const auto& [name, tip] : tips)
        QCOMPARE(w<QWidget>(name)->toolTip(), QString::fromUtf8(tip));
    for (const char* name : {"Label8", "Label18", "Label13", "Shape1"})
        QVERIFY2(w<QFrame>(name), name);

    // Stakes in red, wins in green.
    for (const char* name : {"TTotalmise", "Tplusgrossemise", "Ttotalmisecheval"}) {
        w<QWidget>(name)->ensurePolished();
        QCOMPARE(w<QWidget>(name)->palette().color(QPalette::Text), QColor(255, 0, 0));
    }
    for (const char* name : {"Ttotalgain", "Tplusgrosgain", "Ttotalgaincheval"}) {
        w<QWidget>(name)->ensurePolished();
        QCOMPARE(w<QWidget>(name)->palette().color(QPalette::Text), QColor(0, 192, 0));
    }
    w<QWidget>("BT_savemise")->ensurePolished();
    w<QWidget>("BT_savegain")->ensurePolished();
    QCOMPARE(w<QWidget>("BT_savemise")->palette().color(QPalette::Button), QColor(255, 0, 0));
    QCOMPARE(w<QWidget>("BT_savegain")->palette().color(QPalette::Button), QColor(0, 255, 0));
}

void TestLedger::windowWithoutGameTypes() {
    m_db->exec("DELETE FROM TYPEJEUX");
    openWindow();
    auto* types = w<QComboBox>("Ctypejeux");
    QCOMPARE(types->count(), 0);
    typeInto("Ctypejeux", "Tiercé");
    QCOMPARE(types->currentText(), QString("Tiercé"));
}

void TestLedger::statementGrowsWithTheWindow() {
    openWindow();
    // At the smallest size the window allows, every amount shows whole, in boxes and list.
    m_form->resize(m_form->minimumSizeHint());
    QApplication::processEvents();
    QVERIFY2(m_form->width() <= 1000 && m_form->height() <= 700,
             qPrintable(QStringLiteral("%1×%2").arg(m_form->width()).arg(m_form->height())));
    for (const char* name : {"TsoldeDepart", "T_soldepreced", "T_soldecours", "TTotalmise",
                             "Ttotalgain", "Tplusgrossemise", "Tplusgrosgain", "Ttotalmisecheval",
                             "Ttotalgaincheval", "Trapportcheval"}) {
        auto* box = w<QLineEdit>(name);
        box->setText(money(-999999.99));
        QVERIFY2(box->width() > box->fontMetrics().horizontalAdvance(box->text()) + 4, name);
        QVERIFY2(box->alignment() & Qt::AlignRight, name);
    }
    const auto soldeFits = [this] {
        const auto* header = list()->header();
        return header->sectionViewportPosition(5) + header->sectionSize(5) <=
               list()->viewport()->width();
    };
    QVERIFY(soldeFits());

    const QSize list = this->list()->size();
    const QSize entry = w<QWidget>("Label18")->size();
    const int combo = w<QWidget>("C_users")->width();
    m_form->resize(m_form->size() + QSize(420, 230));
    QApplication::processEvents();
    QVERIFY(this->list()->width() >= list.width() + 400);
    QVERIFY(this->list()->height() >= list.height() + 200);
    QCOMPARE(w<QWidget>("Label18")->width(), entry.width());
    QCOMPARE(w<QWidget>("C_users")->width(), combo);
    QVERIFY(soldeFits());
    // The columns are named once, by the list's header.
    QVERIFY(this->list()->header()->isVisible());
    for (const char* heading : {"Label4", "Label5", "Label11", "Label6", "Label7", "Label9"})
        QVERIFY2(!w<QWidget>(heading)->isVisible(), heading);
}

// -----------------------------------------------------------------------------------------
// Statement

void TestLedger::statementOfAMonth() {
    addUser("Paul", "Mars", 150, 165);
    addUser("Paul", "Avril", 20, 20);
    addRow("Paul", "Mars", "03", "Simple Gagnant", "JOLIE", 10, 0, 90);
    addRow("Anne", "Mars", "04", "Simple Gagnant", "ANNE SEULE", 4, 0, 1);
    addRow("Paul", "Mars", "03", "Simple Gagnant", "JOLIE", 0, 25, 115);
    addRow("Paul", "Avril", "02", "Simple Placé", "ECLAIR", 5, 0, 15);
    addRow("Paul", "Mars", "05", "Approvisionnement compte", "autre jeux", 0, 50, 165);
    openWindow();
    pick("C_users", "Paul");

    QCOMPARE(text("T_soldepreced"), money(150));
    QCOMPARE(text("T_soldecours"), money(165));
    const auto lst = list();
    QCOMPARE(lst->topLevelItemCount(), 3);
    const QStringList expected[] = {
        {"03", "Simple Gagnant", "JOLIE", money(10), "", money(90)},
        {"03", "Simple Gagnant", "JOLIE", "", money(25), money(115)},
        {"05", "Approvisionnement compte", "", "", money(50), money(165)},
    };
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 6; ++c)
            QCOMPARE(lst->topLevelItem(r)->text(c), expected[r][c]);
    const auto stake = lst->topLevelItem(0);
    const auto win = lst->topLevelItem(1);
    const auto credit = lst->topLevelItem(2);
    QCOMPARE(stake->foreground(3).color(), kRed);
    QVERIFY(stake->font(3).bold());
    QVERIFY(!stake->data(4, Qt::ForegroundRole).isValid());
    QVERIFY(!win->data(3, Qt::ForegroundRole).isValid());
    QVERIFY(!win->font(3).bold());
    QCOMPARE(win->foreground(4).color(), kGreen);
    QVERIFY(win->font(4).bold());
    QCOMPARE(credit->foreground(4).color(), kBlack);
    QVERIFY(credit->font(4).bold());
    for (int r = 0; r < 3; ++r)
        QVERIFY(lst->topLevelItem(r)->font(5).bold());
    QCOMPARE(Qt::Alignment(stake->textAlignment(3)) & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    QCOMPARE(Qt::Alignment(stake->textAlignment(1)) & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);

    QCOMPARE(text("TnbrTotaljeux"), QString("2"));
    QCOMPARE(text("TTotalmise"), money(10));
    QCOMPARE(text("Ttotalgain"), money(25));
    QCOMPARE(text("Tplusgrossemise"), money(10));
    QCOMPARE(text("Tplusgrosgain"), money(25));
    QCOMPARE(text("TsoldeDepart"), money(100));

    // The horses of every month, upper case, one entry per stored value.
    for (const char* name : {"C_cheval", "Tcheval"}) {
        auto* box = w<QComboBox>(name);
        QStringList horses;
        for (int i = 0; i < box->count(); ++i)
            horses << box->itemText(i);
        horses.sort();
        QCOMPARE(horses, QStringList({"AUTRE JEUX", "ECLAIR", "JOLIE"}));
        QCOMPARE(box->currentText(), QString());
    }

    // Another month shows nothing new until the player is picked again.
    w<QComboBox>("C_mois")->setCurrentIndex(3);
    QCOMPARE(lst->topLevelItemCount(), 3);
    QCOMPARE(text("T_soldecours"), money(165));
    pick("C_users", "Paul");
    QCOMPARE(lst->topLevelItemCount(), 1);
    QCOMPARE(lst->topLevelItem(0)->text(2), QString("ECLAIR"));
    QCOMPARE(text("T_soldecours"), money(20));
    QCOMPARE(text("TsoldeDepart"), money(20));
}

void TestLedger::statementCellRules() {
    addUser("Paul", "Mars", 100, 100);
    addRow("Paul", "Mars", "01", "Tiercé", "autre jeux", 0, 0, 100);
    addRow("Paul", "Mars", "02", "Tiercé", "AUTRE JEUX", 7, 0, 93);
    addRow("Paul", "Mars", "03", "Tiercé", "Autre Jeux", 3, 0, 90);
    addRow("Paul", "Mars", "04", "Simple Gagnant", QVariant(), 7, 0, 83);
    addRow("Paul", "Mars", "05", "Simple Gagnant", "jolie", 0, 30, 113);
    addRow("Paul", "Mars", "06", "Simple Gagnant", "JOLIE", 0, 30, 143);
    addRow("Paul", "Mars", "07", "Simple Gagnant", "VIDE", QVariant(), QVariant(), QVariant());
    openWindow();
    pick("C_users", "Paul");
    const auto lst = list();
    QCOMPARE(lst->topLevelItemCount(), 7);
    const QString horses[] = {"", "", "AUTRE JEUX", "", "JOLIE", "JOLIE", "VIDE"};
    for (int r = 0; r < 7; ++r)
        QCOMPARE(lst->topLevelItem(r)->text(2), horses[r]);
    // A stake of zero: empty cell, no colour, not bold.
    QCOMPARE(lst->topLevelItem(0)->text(3), QString());
    QVERIFY(!lst->topLevelItem(0)->data(3, Qt::ForegroundRole).isValid());
    QVERIFY(!lst->topLevelItem(0)->font(3).bold());
    // Empty amounts show empty cells and count as zero.
    for (int c = 3; c < 6; ++c)
        QCOMPARE(lst->topLevelItem(6)->text(c), QString());
    QCOMPARE(text("TnbrTotaljeux"), QString("7"));
    QCOMPARE(text("TTotalmise"), money(17));
    QCOMPARE(text("Tplusgrossemise"), money(7));
    QCOMPARE(text("Ttotalgain"), money(60));
    QCOMPARE(text("Tplusgrosgain"), money(30));
    QCOMPARE(text("TsoldeDepart"), money(100));

    // A month of credits only: no game, no win.
    addUser("Anne", "Mars", 80, 80);
    addRow("Anne", "Mars", "01", "Approvisionnement compte", "autre jeux", 0, 30, 30);
    addRow("Anne", "Mars", "09", "Approvisionnement compte", "autre jeux", 0, 20, 50);
    w<QComboBox>("C_users")->addItem("Anne");
    pick("C_users", "Anne");
    QCOMPARE(lst->topLevelItemCount(), 2);
    QCOMPARE(text("TnbrTotaljeux"), QString("0"));
    QCOMPARE(text("Ttotalgain"), money(0));
    QCOMPARE(text("Tplusgrosgain"), money(0));
    QCOMPARE(text("TTotalmise"), money(0));
    QCOMPARE(text("TsoldeDepart"), money(30));

    // No row at all in the month, and no earlier month to carry a balance from: the
    // balance is asked, and not giving it leaves the month closed.
    w<QComboBox>("C_mois")->setCurrentIndex(0);
    m_dialogs->cancel();
    pick("C_users", "Anne");
    QCOMPARE(m_dialogs->last().title, QString("Solde du jouer"));
    QCOMPARE(rowCount("USERS"), 2);
    QCOMPARE(text("T_soldecours"), QString());
    QCOMPARE(lst->topLevelItemCount(), 0);
    QCOMPARE(text("TnbrTotaljeux"), QString("0"));
    for (const char* name : {"TTotalmise", "Ttotalgain", "Tplusgrossemise", "Tplusgrosgain"})
        QCOMPARE(text(name), money(0));
}

void TestLedger::statementWithoutABalanceRow() {
    addUser("Paul", "Mars", 150, 165);
    addRow("Anne", "Mars", "02", "Approvisionnement compte", "autre jeux", 0, 40, 40);
    addRow("Anne", "Mars", "03", "Tiercé", "autre jeux", 5, 0, 35);
    openWindow();
    // Anne is known to the ledger but has no balance row: nothing to show as balances.
    typeInto("C_users", "Anne");
    emit w<QComboBox>("C_users")->activated(-1);
    QCOMPARE(list()->topLevelItemCount(), 2);
    QCOMPARE(text("T_soldepreced"), QString());
    QCOMPARE(text("T_soldecours"), QString());
    QCOMPARE(text("TsoldeDepart"), QString());
    QCOMPARE(text("TnbrTotaljeux"), QString("1"));

    // After Paul, none of Paul's balances stays on screen beside Anne's statement.
    pick("C_users", "Paul");
    QCOMPARE(text("T_soldecours"), money(165));
    typeInto("C_users", "Anne");
    emit w<QComboBox>("C_users")->activated(-1);
    QCOMPARE(text("T_soldepreced"), QString());
    QCOMPARE(text("T_soldecours"), QString());
    QCOMPARE(list()->topLevelItemCount(), 2);
    QCOMPARE(list()->topLevelItem(1)->text(3), money(5));
    QCOMPARE(text("TsoldeDepart"), QString());
}

void TestLedger::balanceColour_data() {
    QTest::addColumn<double>("balance");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("negative") << -5.0 << kRed;
    QTest::newRow("positive") << 5.0 << kGreen;
    QTest::newRow("zero") << 0.0 << kBlack;
    QTest::newRow("a cent below") << -0.01 << kRed;
    QTest::newRow("shown as zero") << -0.001 << kBlack;
}

void TestLedger::balanceColour() {
    QFETCH(double, balance);
    QFETCH(QColor, colour);
    addUser("Paul", "Mars", 10, balance);
    addUser("Anne", "Mars", 10, balance > 0 ? -7 : 7);
    openWindow();
    // Anne first, so that every case changes the text of the box.
    pick("C_users", "Anne");
    pick("C_users", "Paul");
    QCOMPARE(text("T_soldecours"), money(balance));
    QCOMPARE(w<QLineEdit>("T_soldecours")->palette().color(QPalette::Text), colour);
}

// -----------------------------------------------------------------------------------------
// Recording

void TestLedger::recordingAStakeOrAWin_data() {
    QTest::addColumn<bool>("win");
    QTest::addColumn<QString>("player");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("horse");
    QTest::addColumn<double>("debit");
    QTest::addColumn<double>("credit");
    QTest::addColumn<QString>("storedHorse");
    QTest::addColumn<double>("after");
    QTest::newRow("stake typed with a point") << false << "Paul"
                                              << "12.5"
                                              << "Simple Gagnant"
                                              << "Jolie" << 12.5 << 0.0 << "JOLIE" << 87.5;
    QTest::newRow("stake of 20") << false << "Paul"
                                 << "20"
                                 << "Simple Placé"
                                 << "D'Artagnan" << 20.0 << 0.0 << "DARTAGNAN" << 80.0;
    QTest::newRow("win of 20 without horse") << true << "Paul"
                                             << "20"
                                             << "Tiercé"
                                             << "" << 0.0 << 20.0 << "AUTRE JEUX" << 120.0;
    QTest::newRow("win with a comma") << true << "Paul"
                                      << "7,25"
                                      << "Quinté+"
                                      << "" << 0.0 << 7.25 << "AUTRE JEUX" << 107.25;
    QTest::newRow("written as the ledger shows it")
        << false << "Paul"
        << "1\u202F000,50\u00A0€"
        << "Tiercé"
        << "" << 1000.5 << 0.0 << "AUTRE JEUX" << -900.5;
    QTest::newRow("grouped with a plain blank") << true << "Paul"
                                                << "1 000"
                                                << "Tiercé"
                                                << "" << 0.0 << 1000.0 << "AUTRE JEUX" << 1100.0;
    QTest::newRow("blanks inside the horse")
        << false << "Paul"
        << "1"
        << "Simple Gagnant"
        << "Jolie\t  Fille" << 1.0 << 0.0 << "JOLIE FILLE" << 99.0;
    QTest::newRow("stake below zero balance") << false << "Paul"
                                              << "250"
                                              << "Tiercé"
                                              << "" << 250.0 << 0.0 << "AUTRE JEUX" << -150.0;
    QTest::newRow("quotes are data") << false << "O'Brien"
                                     << "10"
                                     << "Simple Gagnant"
                                     << "L'Ami d'Eté" << 10.0 << 0.0 << "LAMI DETÉ" << 90.0;
    QTest::newRow("blanks around the horse") << false << "Paul"
                                             << " 4 "
                                             << "Simple Gagnant"
                                             << " Jolie  " << 4.0 << 0.0 << "JOLIE" << 96.0;
    QTest::newRow("cents, trailing zero")
        << true << "Paul"
        << "999999999,990"
        << "Tiercé"
        << "" << 0.0 << 999999999.99 << "AUTRE JEUX" << 1000000099.99;
}

void TestLedger::recordingAStakeOrAWin() {
    QFETCH(bool, win);
    QFETCH(QString, player);
    QFETCH(QString, amount);
    QFETCH(QString, type);
    QFETCH(QString, horse);
    QFETCH(double, debit);
    QFETCH(double, credit);
    QFETCH(QString, storedHorse);
    QFETCH(double, after);
    addUser(player, "Mars", 100, 100);
    addUser("Autre", "Mars", 100, 100);
    openWindow();
    pick("C_users", player);
    QCOMPARE(text("T_soldecours"), money(100));
    pick("Ctypejeux", type);
    typeInto("Tcheval", horse);
    w<QLineEdit>("Cmontant")->setText(amount);
    w<QPushButton>(win ? "BT_savegain" : "BT_savemise")->click();

    QVERIFY(m_dialogs->shown().isEmpty());
    QCOMPARE(rowCount("JEUX"), 1);
    const QVariantList row = lastRow();
    QCOMPARE(row[1].toString(), player);
    QCOMPARE(row[2].toString(), QString("Mars"));
    QCOMPARE(row[3].toString(), QString("06"));
    QCOMPARE(row[5].toString(), type);
    QCOMPARE(row[6].toString(), storedHorse);
    QCOMPARE(row[7].toDouble(), debit);
    QCOMPARE(row[8].toDouble(), credit);
    QCOMPARE(row[9].toDouble(), 100.0);
    QCOMPARE(row[10].toDouble(), after);
    QCOMPARE(balanceOf(player, "Mars").toDouble(), after);
    QCOMPARE(balanceOf("Autre", "Mars").toDouble(), 100.0);
    QCOMPARE(text("T_soldecours"), money(after));

    // The entry group is tidied: a stake keeps its game type for the next one.
    QCOMPARE(text("Cmontant"), QString());
    QCOMPARE(w<QComboBox>("Tcheval")->currentText(), QString());
    QCOMPARE(w<QComboBox>("Ctypejeux")->currentText(), win ? QString() : type);
    QCOMPARE(list()->topLevelItemCount(), 1);
    QCOMPARE(list()->topLevelItem(0)->text(5), money(after));
    // The money columns fit the statement's widest amount, a thousand million euros too.
    QFont boldFont = w<QTreeView>("Lst_jeux")->font();
    boldFont.setBold(true);
    for (int column : {3, 4, 5})
        QVERIFY(w<QTreeView>("Lst_jeux")->columnWidth(column) >
                QFontMetrics(boldFont).horizontalAdvance(money(std::max({debit, credit, after}))));
    // The horse lists are refilled with the new horse.
    QVERIFY(w<QComboBox>("C_cheval")->findText(storedHorse) >= 0);
}

void TestLedger::entryMonthAndDay() {
    addUser("Paul", "Mars", 100, 100);
    addUser("Paul", "Avril", 500, 500);
    openWindow();
    pick("C_users", "Paul");
    auto* jour = w<QDateEdit>("CjourMiseGain");
    auto* moisEntree = w<QComboBox>("C_moisMiseGain");

    // The month moves the day into it, the last day when the month is shorter; a day picked
    // in another month moves the month.
    jour->setDate(QDate(2024, 3, 31));
    pick("C_moisMiseGain", "Avril");
    QCOMPARE(jour->date(), QDate(2024, 4, 30));
    jour->setDate(QDate(2024, 11, 6));
    QCOMPARE(moisEntree->currentText(), QString("Novembre"));
    jour->setDate(QDate(2024, 4, 6));
    QCOMPARE(moisEntree->currentText(), QString("Avril"));

    // A month typed over a day of another month is refused.
    pick("Ctypejeux", "Tiercé");
    moisEntree->setEditText("Mai");
    w<QLineEdit>("Cmontant")->setText("20");
    m_dialogs->answer(Answer::Ok);
    w<QPushButton>("BT_savemise")->click();
    QCOMPARE(m_dialogs->last().title, QString("Erreur mois"));
    QCOMPARE(m_dialogs->last().text,
             QString("Le jour choisi (06/04/2024) n'est pas dans le mois de Mai : choisissez le "
                     "jour ou le mois de la mise à nouveau."));
    QCOMPARE(rowCount("JEUX"), 0);

    // Filed under Avril, it moves Avril's balance; Mars stays on display, as it was.
    pick("C_moisMiseGain", "Avril");
    w<QPushButton>("BT_savemise")->click();
    const QVariantList row = lastRow();
    QCOMPARE(row[2].toString(), QString("Avril"));
    QCOMPARE(row[3].toString(), QString("06"));
    QCOMPARE(row[9].toDouble(), 500.0);
    QCOMPARE(row[10].toDouble(), 480.0);
    QCOMPARE(balanceOf("Paul", "Mars").toDouble(), 100.0);
    QCOMPARE(balanceOf("Paul", "Avril").toDouble(), 480.0);
    QCOMPARE(text("T_soldecours"), money(100));
    QCOMPARE(list()->topLevelItemCount(), 0);
    QCOMPARE(m_form->statusBar()->currentMessage(), QString("Mise enregistrée dans Avril"));
    QCOMPARE(moisEntree->currentText(), QString("Avril"));
    QCOMPARE(jour->date(), QDate(2024, 4, 6));

    // Into Mars, the month on display: its statement and balance move, the earlier message
    // goes; the later month is asked about.
    pick("C_moisMiseGain", "Mars");
    w<QLineEdit>("Cmontant")->setText("5");
    m_dialogs->answer(Answer::No);
    w<QPushButton>("BT_savegain")->click();
    QCOMPARE(m_dialogs->last().text, QString("Reporter aussi ce changement sur Avril ?"));
    QCOMPARE(balanceOf("Paul", "Mars").toDouble(), 105.0);
    QCOMPARE(text("T_soldecours"), money(105));
    QCOMPARE(list()->topLevelItemCount(), 1);
    QCOMPARE(m_form->statusBar()->currentMessage(), QString());
}

void TestLedger::horseBoxFollowsGameType_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("Simple Gagnant") << "Simple Gagnant" << true;
    QTest::newRow("Simple Placé") << "Simple Placé" << true;
    QTest::newRow("Tiercé") << "Tiercé" << false;
    // Types compare as the racing vocabulary compares them.
    QTest::newRow("other case") << "simple placé" << true;
    QTest::newRow("no accent") << "Simple Place" << true;
    QTest::newRow("blanks around") << " Simple Placé " << true;
}

void TestLedger::horseBoxFollowsGameType() {
    QFETCH(QString, type);
    QFETCH(bool, enabled);
    addUser("Paul", "Mars", 100, 100);
    openWindow();
    pick("C_users", "Paul");
    // Enabled first, with a horse typed; the text stays whatever the type becomes.
    pick("Ctypejeux", "Simple Gagnant");
    QVERIFY(w<QComboBox>("Tcheval")->isEnabled());
    typeInto("Tcheval", "Jolie");
    auto* types = w<QComboBox>("Ctypejeux");
    const int index = types->findText(type, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        types->setCurrentIndex(index);
    else
        types->setEditText(type);
    emit types->activated(types->currentIndex());
    QCOMPARE(w<QComboBox>("Tcheval")->isEnabled(), enabled);
    QCOMPARE(w<QComboBox>("Tcheval")->currentText(), QString("Jolie"));

    w<QLineEdit>("Cmontant")->setText("3");
    w<QPushButton>("BT_savemise")->click();
    // A bet on several horses names none, whatever the horse box still holds.
    QCOMPARE(lastRow()[6].toString(), enabled ? QString("JOLIE") : QString("AUTRE JEUX"));
    QCOMPARE(lastRow()[5].toString(), type.trimmed());
}

void TestLedger::staleScreenNeverWritesIntoAnotherRow() {
    addUser("Paul", "Mars", 100, 100);
    addUser("Paul", "Avril", 500, 500);
    addUser("Anne", "Mars", 40, 40);
    openWindow();
    pick("C_users", "Paul");
    QCOMPARE(text("T_soldecours"), money(100));

    // Filed under Avril while Mars is on display: April's own balance is used.
    pick("C_moisMiseGain", "Avril");
    pick("Ctypejeux", "Tiercé");
    w<QLineEdit>("Cmontant")->setText("20");
    w<QPushButton>("BT_savemise")->click();
    QCOMPARE(balanceOf("Paul", "Avril").toDouble(), 480.0);
    QCOMPARE(balanceOf("Paul", "Mars").toDouble(), 100.0);
    QCOMPARE(lastRow()[9].toDouble(), 500.0);
    QCOMPARE(lastRow()[10].toDouble(), 480.0);
    QCOMPARE(text("T_soldecours"), money(100));

    // Another player typed without a pick: his own balance, not the one on screen.
    pick("C_moisMiseGain", "Mars");
    typeInto("C_users", "Anne ");
    w<QLineEdit>("Cmontant")->setText("10");
    w<QPushButton>("BT_savegain")->click();
    QCOMPARE(balanceOf("Anne", "Mars").toDouble(), 50.0);
    QCOMPARE(balanceOf("Paul", "Mars").toDouble(), 100.0);
    QCOMPARE(balanceOf("Paul", "Avril").toDouble(), 480.0);
    QCOMPARE(lastRow()[1].toString(), QString("Anne"));
    QCOMPARE(lastRow()[9].toDouble(), 40.0);
    QCOMPARE(text("T_soldecours"), money(50));
}

void TestLedger::refusedEntriesWriteNothing_data() {
    QTest::addColumn<QString>("player");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("amountAfter");
    QTest::addColumn<QString>("month"); // the entry's month; Mars unless given
    const QString notANumber = "Le montant doit être un nombre, par exemple 12,50.";
    QTest::newRow("no month") << "Paul"
                              << "Tiercé"
                              << "10"
                              << "Erreur mois"
                              << "vous devez choisir le mois"
                              << "C_moisMiseGain"
                              << "10"
                              << " ";
    QTest::newRow("a tenth of a cent")
        << "Paul"
        << "Tiercé"
        << "0.004"
        << "Erreur montant"
        << "Le montant ne peut pas avoir plus de deux décimales (le centime), par exemple 12,50."
        << "Cmontant"
        << "0,004"
        << "";
    QTest::newRow("a billion") << "Paul"
                               << "Tiercé"
                               << "1" + QString(308, '0') << "Erreur montant"
                               << "Le montant doit rester inférieur à 1 000 000 000."
                               << "Cmontant"
                               << "1" + QString(308, '0') << "";
    QTest::newRow("no player") << ""
                               << "Tiercé"
                               << "10"
                               << "Erreur joueur"
                               << "vous devez choisir un joueur"
                               << "C_users"
                               << "10"
                               << "";
    QTest::newRow("blank player") << "  "
                                  << "Tiercé"
                                  << "10"
                                  << "Erreur joueur"
                                  << "vous devez choisir un joueur"
                                  << "C_users"
                                  << "10"
                                  << "";
    QTest::newRow("no game type") << "Paul"
                                  << ""
                                  << "1.5"
                                  << "Erreur type jeux"
                                  << "vous devez saisir le type de jeu"
                                  << "Ctypejeux"
                                  << "1.5"
                                  << "";
    QTest::newRow("no amount") << "Paul"
                               << "Tiercé"
                               << ""
                               << "Erreur montant"
                               << "vous devez saisir le montant de la mise"
                               << "Cmontant"
                               << ""
                               << "";
    QTest::newRow("letters") << "Paul"
                             << "Tiercé"
                             << "douze"
                             << "Erreur montant" << notANumber << "Cmontant"
                             << "douze"
                             << "";
    QTest::newRow("two commas") << "Paul"
                                << "Tiercé"
                                << "1,2,3"
                                << "Erreur montant" << notANumber << "Cmontant"
                                << "1,2,3"
                                << "";
    QTest::newRow("two points") << "Paul"
                                << "Tiercé"
                                << "1.2.3"
                                << "Erreur montant" << notANumber << "Cmontant"
                                << "1,2,3"
                                << "";
    QTest::newRow("infinity") << "Paul"
                              << "Tiercé"
                              << "inf"
                              << "Erreur montant" << notANumber << "Cmontant"
                              << "inf"
                              << "";
    QTest::newRow("blanks") << "Paul"
                            << "Tiercé"
                            << "  "
                            << "Erreur montant" << notANumber << "Cmontant"
                            << "  "
                            << "";
    QTest::newRow("no balance row") << "Zoé"
                                    << "Tiercé"
                                    << "10"
                                    << "Erreur solde"
                                    << "Zoé n'a pas de compte pour Mars : rien n'a été enregistré."
                                    << ""
                                    << "10"
                                    << "";
    QTest::newRow("negative") << "Paul"
                              << "Tiercé"
                              << "-5"
                              << "Erreur montant"
                              << "Le montant doit être positif."
                              << "Cmontant"
                              << "-5"
                              << "";
    QTest::newRow("negative as shown") << "Paul"
                                       << "Tiercé"
                                       << "-5,00 €"
                                       << "Erreur montant"
                                       << "Le montant doit être positif."
                                       << "Cmontant"
                                       << "-5,00 €"
                                       << "";
    QTest::newRow("blank inside a number") << "Paul"
                                           << "Tiercé"
                                           << "12 34"
                                           << "Erreur montant" << notANumber << "Cmontant"
                                           << "12 34"
                                           << "";
    QTest::newRow("a month that is none") << "Paul"
                                          << "Tiercé"
                                          << "10"
                                          << "Erreur mois"
                                          << "vous devez choisir le mois"
                                          << "C_moisMiseGain"
                                          << "10"
                                          << "Dec";
}

void TestLedger::refusedEntriesWriteNothing() {
    QFETCH(QString, player);
    QFETCH(QString, type);
    QFETCH(QString, amount);
    QFETCH(QString, title);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    QFETCH(QString, amountAfter);
    QFETCH(QString, month);
    addUser("Paul", "Mars", 100, 100);
    openWindow();
    if (!month.isEmpty())
        typeInto("C_moisMiseGain", month);
    QApplication::setActiveWindow(m_form.get());
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    for (const char* button : {"BT_savemise", "BT_savegain"}) {
        typeInto("C_users", player);
        typeInto("Ctypejeux", type);
        w<QLineEdit>("Cmontant")->setText(amount);
        w<QPushButton>("Tajoutecredit")->setFocus();
        m_dialogs->answer(Answer::Ok);
        w<QPushButton>(button)->click();
        QCOMPARE(m_dialogs->shown().size(), 1);
        QCOMPARE(m_dialogs->last().title, title);
        QCOMPARE(m_dialogs->last().text, message);
        QCOMPARE(m_dialogs->last().icon, dialogs::Icon::Exclamation);
        QCOMPARE(m_dialogs->last().buttons, dialogs::Buttons::Ok);
        if (!focus.isEmpty())
            QVERIFY2(focused(focus.toLatin1().constData()), button);
        QCOMPARE(text("Cmontant"), amountAfter);
        QCOMPARE(rowCount("JEUX"), 0);
        QCOMPARE(balanceOf("Paul", "Mars").toDouble(), 100.0);
        m_dialogs->clear();
    }
}

void TestLedger::failingWriteLeavesNoLedgerRow_data() {
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<bool>("win");
    QTest::newRow("balance update fails, stake")
        << "CREATE TRIGGER refus BEFORE UPDATE ON USERS BEGIN SELECT RAISE(ABORT, 'x'); END"
        << false;
    QTest::newRow("balance update fails, win")
        << "CREATE TRIGGER refus BEFORE UPDATE ON USERS BEGIN SELECT RAISE(ABORT, 'x'); END"
        << true;
    QTest::newRow("ledger row fails")
        << "CREATE TRIGGER refus BEFORE INSERT ON JEUX BEGIN SELECT RAISE(ABORT, 'x'); END"
        << false;
}

void TestLedger::failingWriteLeavesNoLedgerRow() {
    QFETCH(QString, trigger);
    QFETCH(bool, win);
    addUser("Paul", "Mars", 100, 100);
    openWindow();
    pick("C_users", "Paul");
    pick("Ctypejeux", "Simple Gagnant");
    typeInto("Tcheval", "Jolie");
    w<QLineEdit>("Cmontant")->setText("12.5");
    m_db->exec(trigger);
    m_dialogs->answer(Answer::Ok);
    w<QPushButton>(win ? "BT_savegain" : "BT_savemise")->click();

    QCOMPARE(m_dialogs->shown().size(), 1);
    QCOMPARE(m_dialogs->last().title, QString("Erreur"));
    QCOMPARE(m_dialogs->last().icon, dialogs::Icon::Exclamation);
    QVERIFY2(m_dialogs->last().text.contains("x"), qPrintable(m_dialogs->last().text));
    QCOMPARE(rowCount("JEUX"), 0);
    QCOMPARE(balanceOf("Paul", "Mars").toDouble(), 100.0);
    QCOMPARE(text("T_soldecours"), money(100));
    QCOMPARE(list()->topLevelItemCount(), 0);
    // What was typed stays for another try, the point already turned into a comma.
    QCOMPARE(text("Cmontant"), QString("12,5"));
    QCOMPARE(w<QComboBox>("Tcheval")->currentText(), QString("Jolie"));

    // The window goes on: once the cause is gone the same entry is recorded.
    m_db->exec("DROP TRIGGER refus");
    w<QPushButton>(win ? "BT_savegain" : "BT_savemise")->click();
    QCOMPARE(rowCount("JEUX"), 1);
    QCOMPARE(balanceOf("Paul", "Mars").toDouble(), win ? 112.5 : 87.5);
    QCOMPARE(lastRow()[win ? 8 : 7].toDouble(), 12.5);
}

// -----------------------------------------------------------------------------------------
// Players and credit

void TestLedger::addingPlayers() {
    openWindow();
    m_dialogs->type("Paul");
    m_dialogs->type("50.5");
    m_dialogs->answer(Answer::Ok);
    w<QPushButton>("bt_ajouteusers")->click();
    const auto& shown = m_dialogs->shown();
    QCOMPARE(shown.size(), 3);
    QVERIFY(shown[0].input);
    QCOMPARE(shown[0].text, QString("Veuillez saisir le pseudo du nouvel utilisateur"));
    QCOMPARE(shown[0].title, QString("Ajouter un users"));
    QCOMPARE(shown[1].text, QString("Veuillez saisir le solde pour l'utilisateur Paul"));
    QCOMPARE(shown[1].title, QString("Solde du jouer"));
    QVERIFY(!shown[2].input);
    QCOMPARE(shown[2].text, QString("Enregistrement reussi"));
    QCOMPARE(shown[2].title, QString("UtilisateurPaul Solde : 50,5"));
    QCOMPARE(shown[2].icon, dialogs::Icon::Information);
    QCOMPARE(shown[2].buttons, dialogs::Buttons::Ok);
    QSqlQuery query = m_db->db()->exec("SELECT pseudo, SoldeDepart, SoldeEnCours, Mois FROM USERS");
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toString(), QString("Paul"));
    QCOMPARE(query.value(1).toDouble(), 50.5);
    QCOMPARE(query.value(2).toDouble(), 50.5);
    QCOMPARE(query.value(3).toString(), QString("Mars"));
    QVERIFY(!query.next());
    auto* users = w<QComboBox>("C_users");
    QCOMPARE(users->count(), 1);
    QCOMPARE(users->itemText(0), QString("Paul"));
    QCOMPARE(users->currentText(), QString());

    // In another month the same name gets that month's row and is listed twice.
    w<QComboBox>("C_mois")->setCurrentIndex(3);
    m_dialogs->clear();
    m_dialogs->type("Paul");
    m_dialogs->type("10");
    m_dialogs->answer(Answer::Ok);
    w<QPushButton>("bt_ajouteusers")->click();
    QCOMPARE(rowCount("USERS"), 2);
    QCOMPARE(balanceOf("Paul", "Avril").toDouble(), 10.0);
    QCOMPARE(users->count(), 2);
    QCOMPARE(users->itemText(1), QString("Paul"));

    // In the same month it is refused, whatever the case, before the balance is asked.
    m_dialogs->clear();
    m_dialogs->type("PAUL");
    m_dialogs->answer(Answer::Ok);
    w<QPushButton>("bt_ajouteusers")->click();
    QCOMPARE(m_dialogs->shown().size(), 2);
    QCOMPARE(m_dialogs->last().title, QString("Ajouter un users"));
    QCOMPARE(m_dialogs->last().text, QString("Le joueur PAUL existe déjà pour le mois de Avril."));
    QCOMPARE(m_dialogs->last().icon, dialogs::Icon::Exclamation);
    QCOMPARE(rowCount("USERS"), 2);
    QCOMPARE(balanceOf("Paul", "Avril").toDouble(), 10.0);

    // The new player can be picked and used at once.
    pick("C_users", "Paul");
    QCOMPARE(text("T_soldecours"), money(10));

    // A failing write is reported and adds nobody; the window goes on.
    m_db->exec("CREATE TRIGGER refus BEFORE INSERT ON USERS BEGIN SELECT RAISE(ABORT, 'x'); END");
    m_dialogs->clear();
    m_dialogs->type("Zoé");
    m_dialogs->type("5");
    m_dialogs->answer(Answer::Ok);
    w<QPushButton>("bt_ajouteusers")->click();
    QCOMPARE(m_dialogs->shown().size(), 3);
    QCOMPARE(m_dialogs->last().title, QString("Erreur"));
    QCOMPARE(rowCount("USERS"), 2);
    QCOMPARE(users->count(), 2);
}

void TestLedger::addingAPlayerRefused_data() {
    QTest::addColumn<QStringList>("typed"); // "<cancel>" cancels the box
    QTest::addColumn<QString>("message");   // the message shown at the end, if any
    QTest::newRow("cancel at the name") << QStringList{"<cancel>"} << "";
    QTest::newRow("empty name") << QStringList{""} << "";
    QTest::newRow("blank name") << QStringList{"   "} << "";
    QTest::newRow("cancel at the balance") << QStringList{"Paul", "<cancel>"} << "";
    QTest::newRow("empty balance") << QStringList{"Paul", ""} << "";
    QTest::newRow("blank balance") << QStringList{"Paul", "  "} << "";
    const QString notANumber =
        "Le montant doit être un nombre, par exemple 12,50. Le joueur n'a pas été ajouté.";
    QTest::newRow("letters") << QStringList{"Paul", "cinquante"} << notANumber;
    QTest::newRow("two points") << QStringList{"Paul", "1.2.3"} << notANumber;
    QTest::newRow("dollar sign") << QStringList{"Paul", "50 $"} << notANumber;
    QTest::newRow("negative") << QStringList{"Paul", "-50"}
                              << "Le montant doit être positif. Le joueur n'a pas été ajouté.";
    QTest::newRow("a tenth of a cent")
        << QStringList{"Paul", "0,004"}
        << "Le montant ne peut pas avoir plus de deux décimales (le centime), par exemple "
           "12,50. Le joueur n'a pas été ajouté.";
    QTest::newRow("a billion") << QStringList{"Paul", "1" + QString(308, '0')}
                               << "Le montant doit rester inférieur à 1 000 000 000. Le joueur "
                                  "n'a pas été ajouté.";
}

void TestLedger::addingAPlayerRefused() {
    QFETCH(QStringList, typed);
    QFETCH(QString, message);
    addUser("Anne", "Mars", 10, 10);
    openWindow();
    for (const QString& answer : typed) {
        if (answer == "<cancel>")
            m_dialogs->cancel();
        else
            m_dialogs->type(answer);
    }
    if (!message.isEmpty())
        m_dialogs->answer(Answer::Ok);
    w<QPushButton>("bt_ajouteusers")->click();
    QCOMPARE(m_dialogs->shown().size(), typed.size() + (message.isEmpty() ? 0 : 1));
    if (!message.isEmpty()) {
        QCOMPARE(m_dialogs->last().text, message);
        QCOMPARE(m_dialogs->last().title, QString("Erreur montant"));
        QCOMPARE(m_dialogs->last().icon, dialogs::Icon::Exclamation);
    }
    QCOMPARE(rowCount("USERS"), 1);
    QCOMPARE(w<QComboBox>("C_users")->count(), 1);
}

void TestLedger::creditingAnAccount() {
    addUser("Paul", "Mars", 50, 35);
    openWindow();
    pick("C_users", "Paul");
    const int horsesBefore = w<QComboBox>("C_cheval")->count();
    // The entry group's date does not date a credit; today does.
    w<QDateEdit>("CjourMiseGain")->setDate(QDate(2024, 3, 20));
    m_dialogs->answer(Answer::Yes);
    m_dialogs->type("20");
    w<QPushButton>("Tajoutecredit")->click();

    const auto& shown = m_dialogs->shown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0].text, QString("Attention, en ajoutant des crédits vous allez modifier "
                                    "votre solde de départ , voulez vous continuer?"));
    QCOMPARE(shown[0].title, QString("Rajouter des crédit"));
    QCOMPARE(shown[0].buttons, dialogs::Buttons::YesNo);
    QCOMPARE(shown[0].icon, dialogs::Icon::None);
    QVERIFY(shown[1].input);
    QCOMPARE(shown[1].text, QString("Veuillez saisir la somme à rajouter"));
    QCOMPARE(shown[1].title, QString("Ajout de crédit au solde"));

    QCOMPARE(text("T_soldepreced"), money(70));
    QCOMPARE(text("T_soldecours"), money(55));
    QCOMPARE(m_db->scalar("SELECT SoldeDepart FROM USERS").toDouble(), 70.0);
    QCOMPARE(balanceOf("Paul", "Mars").toDouble(), 55.0);
    const QVariantList row = lastRow();
    QCOMPARE(row[1].toString(), QString("Paul"));
    QCOMPARE(row[2].toString(), QString("Mars"));
    QCOMPARE(row[3].toString(), QString("06"));
    QCOMPARE(row[5].toString(), QString("Approvisionnement compte"));
    QCOMPARE(row[6].toString(), QString("autre jeux"));
    QCOMPARE(row[7].toDouble(), 0.0);
    QCOMPARE(row[8].toDouble(), 20.0);
    QCOMPARE(row[9].toDouble(), 35.0);
    QCOMPARE(row[10].toDouble(), 55.0);
    // The statement shows the credit; the horse lists are not refilled.
    QCOMPARE(list()->topLevelItemCount(), 1);
    QCOMPARE(list()->topLevelItem(0)->text(4), money(20));
    QCOMPARE(list()->topLevelItem(0)->foreground(4).color(), kBlack);
    QCOMPARE(text("TsoldeDepart"), money(50));
    QCOMPARE(text("TnbrTotaljeux"), QString("0"));
    QCOMPARE(w<QComboBox>("C_cheval")->count(), horsesBefore);

    // A sum typed with a point, another day.
    regional::setToday(QDate(2024, 3, 9));
    m_dialogs->clear();
    m_dialogs->answer(Answer::Yes);
    m_dialogs->type("12.5");
    w<QPushButton>("Tajoutecredit")->click();
    QCOMPARE(lastRow()[8].toDouble(), 12.5);
    QCOMPARE(lastRow()[3].toString(), QString("09"));
    QCOMPARE(text("T_soldepreced"), money(82.5));
    QCOMPARE(text("T_soldecours"), money(67.5));
    QCOMPARE(balanceOf("Paul", "Mars").toDouble(), 67.5);
    QCOMPARE(text("TsoldeDepart"), money(50));
}

void TestLedger::creditRefused_data() {
    QTest::addColumn<QString>("player");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("sum"); // "<cancel>" cancels, "<none>" asks nothing
    QTest::newRow("no at the warning") << "Paul" << false << "<none>";
    QTest::newRow("cancel at the sum") << "Paul" << true << "<cancel>";
    QTest::newRow("empty sum") << "Paul" << true << "";
    QTest::newRow("letters") << "Paul" << true << "vingt";
    QTest::newRow("two commas") << "Paul" << true << "1,2,3";
    QTest::newRow("no player") << "" << false << "<none>";
    QTest::newRow("a tenth of a cent") << "Paul" << true << "0.004";
    QTest::newRow("a billion") << "Paul" << true << "1000000000";
}

void TestLedger::creditRefused() {
    QFETCH(QString, player);
    QFETCH(bool, yes);
    QFETCH(QString, sum);
    addUser("Paul", "Mars", 50, 35);
    openWindow();
    if (!player.isEmpty())
        pick("C_users", player);
    if (player.isEmpty()) {
        m_dialogs->answer(Answer::Ok);
    } else {
        m_dialogs->answer(yes ? Answer::Yes : Answer::No);
        if (sum == "<cancel>")
            m_dialogs->cancel();
        else if (sum != "<none>")
            m_dialogs->type(sum);
        // A number the ledger cannot hold is explained; other text is a change of mind.
        if (sum.startsWith("0.004") || sum.startsWith("1000"))
            m_dialogs->answer(Answer::Ok);
    }
    w<QPushButton>("Tajoutecredit")->click();
    if (player.isEmpty())
        QCOMPARE(m_dialogs->last().title, QString("Erreur joueur"));
    else if (!m_dialogs->last().input && yes)
        QCOMPARE(m_dialogs->last().title, QString("Erreur montant"));
    QCOMPARE(rowCount("JEUX"), 0);
    QCOMPARE(balanceOf("Paul", "Mars").toDouble(), 35.0);
    QCOMPARE(m_db->scalar("SELECT SoldeDepart FROM USERS").toDouble(), 50.0);
    QCOMPARE(text("T_soldecours"), player.isEmpty() ? QString() : money(35));
}

void TestLedger::creditWithoutABalanceRow() {
    addUser("Paul", "Mars", 50, 35);
    openWindow();
    pick("C_users", "Paul");
    // Anne has no row: Paul's balances on screen are no source, nothing is credited.
    for (const bool picked : {false, true}) {
        typeInto("C_users", "Anne");
        if (picked)
            emit w<QComboBox>("C_users")->activated(-1);
        m_dialogs->answer(Answer::Ok);
        w<QPushButton>("Tajoutecredit")->click();
        QCOMPARE(m_dialogs->shown().size(), 1);
        QCOMPARE(m_dialogs->last().title, QString("Erreur solde"));
        QCOMPARE(m_dialogs->last().text,
                 QString("Anne n'a pas de compte pour Mars : rien n'a été enregistré."));
        QCOMPARE(rowCount("JEUX"), 0);
        QCOMPARE(rowCount("USERS"), 1);
        QCOMPARE(balanceOf("Paul", "Mars").toDouble(), 35.0);
        m_dialogs->clear();
    }
    QCOMPARE(text("T_soldecours"), QString());
}

void TestLedger::failingCreditWritesNothing_data() {
    QTest::addColumn<QString>("trigger");
    QTest::newRow("balance update fails")
        << "CREATE TRIGGER refus BEFORE UPDATE ON USERS BEGIN SELECT RAISE(ABORT, 'x'); END";
    QTest::newRow("credit row fails")
        << "CREATE TRIGGER refus BEFORE INSERT ON JEUX BEGIN SELECT RAISE(ABORT, 'x'); END";
}

void TestLedger::failingCreditWritesNothing() {
    QFETCH(QString, trigger);
    addUser("Paul", "Mars", 50, 35);
    openWindow();
    pick("C_users", "Paul");
    m_db->exec(trigger);
    m_dialogs->answer(Answer::Yes);
    m_dialogs->type("20");
    m_dialogs->answer(Answer::Ok);
    w<QPushButton>("Tajoutecredit")->click();
    QCOMPARE(m_dialogs->last().title, QString("Erreur"));
    QCOMPARE(m_dialogs->last().icon, dialogs::Icon::Exclamation);
    QCOMPARE(rowCount("JEUX"), 0);
    QCOMPARE(balanceOf("Paul", "Mars").toDouble(), 35.0);
    QCOMPARE(m_db->scalar("SELECT SoldeDepart FROM USERS").toDouble(), 50.0);
    QCOMPARE(text("T_soldepreced"), money(50));
    QCOMPARE(text("T_soldecours"), money(35));
}

// -----------------------------------------------------------------------------------------
// Per-horse report

void TestLedger::horseReport_data() {
    QTest::addColumn<QVariantList>("rows"); // each: horse, type, debit, credit
    QTest::addColumn<QString>("horse");
    QTest::addColumn<double>("staked");
    QTest::addColumn<double>("won");
    QTest::addColumn<QString>("result");
    using L = QVariantList;
    QTest::newRow("stakes and a win")
        << L{L{"JOLI COEUR", "Simple Gagnant", 5, 0}, L{"JOLI COEUR", "Simple Placé", 3, 0},
             L{"JOLI COEUR", "Simple Gagnant", 0, 12}, L{"AUTRE", "Simple Gagnant", 50, 0}}
        << "JOLI COEUR" << 8.0 << 12.0 << "4,00 €";
    QTest::newRow("stakes only") << L{L{"JOLIE", "Simple Gagnant", 6, 0},
                                      L{"JOLIE", "Simple Placé", 4, 0}}
                                 << "JOLIE" << 10.0 << 0.0 << "-10,00 €";
    QTest::newRow("identical stakes count twice")
        << L{L{"JOLIE", "Simple Gagnant", 2, 0}, L{"JOLIE", "Simple Gagnant", 2, 0}} << "JOLIE"
        << 4.0 << 0.0 << "-4,00 €";
    QTest::newRow("bets without a horse, credits left out")
        << L{L{"AUTRE JEUX", "Tiercé", 4, 0}, L{"AUTRE JEUX", "Quinté+", 0, 30},
             L{"autre jeux", "Approvisionnement compte", 0, 50}}
        << "AUTRE JEUX" << 4.0 << 30.0 << "26,00 €";
    // The statement's rule: only the credit type, case included, is not a game.
    QTest::newRow("row without a type counted")
        << L{L{"JOLIE", QVariant(), 9, 0}, L{"JOLIE", "Tiercé", 1, 0}} << "JOLIE" << 10.0 << 0.0
        << "-10,00 €";
    QTest::newRow("credit type in another case counted")
        << L{L{"JOLIE", "approvisionnement compte", 9, 0}, L{"JOLIE", "Tiercé", 1, 0}} << "JOLIE"
        << 10.0 << 0.0 << "-10,00 €";
}

void TestLedger::horseReport() {
    QFETCH(QVariantList, rows);
    QFETCH(QString, horse);
    QFETCH(double, staked);
    QFETCH(double, won);
    QFETCH(QString, result);
    addUser("Paul", "Mars", 100, 100);
    const QStringList months{"Janvier", "Mars", "Mai", "Juin"};
    int n = 0;
    for (const QVariant& r : rows) {
        const QVariantList row = r.toList();
        addRow("Paul", months[n % months.size()], QString("%1").arg(n + 1, 2, 10, QChar('0')),
               row[1], row[0], row[2], row[3]);
        ++n;
    }
    // Another player's rows on the same horse are his own.
    addRow("Anne", "Mars", "01", "Simple Gagnant", horse, 100, 100);
    openWindow();
    pick("C_users", "Paul");
    pick("C_cheval", horse);
    QCOMPARE(text("Ttotalmisecheval"), money(staked));
    QCOMPARE(text("Ttotalgaincheval"), money(won));
    QCOMPARE(plain(text("Trapportcheval")), result);
}

void TestLedger::horseReportOfAStaleList() {
    addUser("Paul", "Mars", 100, 100);
    addRow("Paul", "Mars", "01", "Simple Gagnant", "JOLIE", 5, 0);
    openWindow();
    pick("C_users", "Paul");
    pick("C_cheval", "JOLIE");
    QCOMPARE(text("Ttotalmisecheval"), money(5));
    // The report stays while the player changes.
    pick("C_users", "Paul");
    QCOMPARE(text("Ttotalmisecheval"), money(5));
    // A horse whose rows have gone shows zero everywhere.
    m_db->exec("DELETE FROM JEUX");
    pick("C_cheval", "JOLIE");
    QCOMPARE(text("Ttotalmisecheval"), money(0));
    QCOMPARE(text("Ttotalgaincheval"), money(0));
    QCOMPARE(text("Trapportcheval"), money(0));
}

// -----------------------------------------------------------------------------------------
// Scale

void TestLedger::fullMonthStatementIsQuick() {
    addUser("Paul", "Mars", 1000, 1000);
    m_db->exec("BEGIN");
    for (int i = 0; i < 5000; ++i) {
        const bool win = i % 3 == 2;
        addRow("Paul", "Mars", QString("%1").arg(i % 28 + 1, 2, 10, QChar('0')),
               i % 50 == 0 ? "Approvisionnement compte" : "Simple Gagnant",
               QString("CHEVAL %1").arg(i % 400), win ? 0 : 2 + i % 7, win ? 10 + i % 13 : 0,
               1000 + i);
    }
    for (int i = 0; i < 2000; ++i)
        addRow("Paul", "Avril", "01", "Tiercé", "AUTRE JEUX", 1, 0);
    m_db->exec("COMMIT");
    openWindow();
    QElapsedTimer timer;
    timer.start();
    pick("C_users", "Paul");
    const qint64 elapsed = timer.elapsed();
    qInfo("C_users_Click with 5000 rows in the month: %lld ms", elapsed);
    QCOMPARE(list()->topLevelItemCount(), 5000);
    QCOMPARE(text("TnbrTotaljeux"), QString("4900"));
    QCOMPARE(w<QComboBox>("C_cheval")->count(), 401);
    // Generous: this also runs in unoptimised and sanitised builds; the point is to catch
    // work that grows faster than the rows.
    QVERIFY2(elapsed < 5000, qPrintable(QString::number(elapsed)));
}

QTEST_MAIN(TestLedger)
#include "tst_ledger.moc"

// -----------------------------------------------------------------------------------------
// Reversing a line

void TestLedger::reversingALine_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("debit");  // of the line reversed
    QTest::addColumn<double>("credit"); // of the line reversed
    QTest::addColumn<QString>("question");
    QTest::addColumn<double>("deposits"); // SoldeDepart after the reversal
    // Paul starts with 100; the line is followed by a stake of 5, then reversed.
    QTest::newRow("stake") << "mise" << 20.0 << 0.0
                           << "Annuler la ligne n° 1 : Simple Gagnant JOLIE " + money(20) + " ?"
                           << 100.0;
    QTest::newRow("win") << "gain" << 0.0 << 30.0
                         << "Annuler la ligne n° 1 : Tiercé " + money(30) + " ?" << 100.0;
    QTest::newRow("credit") << "credit" << 0.0 << 50.0
                            << "Annuler la ligne n° 1 : Approvisionnement compte " + money(50) +
                                   " ?"
                            << 100.0;
}

void TestLedger::reversingALine() {
    QFETCH(QString, kind);
    QFETCH(double, debit);
    QFETCH(double, credit);
    QFETCH(QString, question);
    QFETCH(double, deposits);
    addUser("Paul", "Mars", 100, 100);
    openWindow();
    pick("C_users", "Paul");
    if (kind == "credit") {
        m_dialogs->answer(Answer::Yes);
        m_dialogs->type("50");
        w<QPushButton>("Tajoutecredit")->click();
    } else {
        pick("Ctypejeux", kind == "mise" ? "Simple Gagnant" : "Tiercé");
        typeInto("Tcheval", kind == "mise" ? "Jolie" : "");
        w<QLineEdit>("Cmontant")->setText(kind == "mise" ? "20" : "30");
        w<QPushButton>(kind == "mise" ? "BT_savemise" : "BT_savegain")->click();
    }
    pick("Ctypejeux", "Tiercé");
    w<QLineEdit>("Cmontant")->setText("5");
    w<QPushButton>("BT_savemise")->click();
    const double balance = 100 - debit + credit - 5;
    QCOMPARE(balanceOf("Paul", "Mars").toDouble(), balance);

    auto* annuler = w<QPushButton>("BT_annuler");
    QCOMPARE(annuler->text(), QString("Annuler la ligne"));
    QVERIFY(!annuler->isEnabled());
    list()->setCurrentItem(list()->topLevelItem(0));
    QVERIFY(annuler->isEnabled());
    m_dialogs->clear();
    m_dialogs->answer(Answer::No);
    annuler->click();
    QCOMPARE(m_dialogs->last().text, question);
    QCOMPARE(m_dialogs->last().title, QString("Annuler la ligne"));
    QCOMPARE(m_dialogs->last().buttons, dialogs::Buttons::YesNo);
    QCOMPARE(m_dialogs->last().icon, dialogs::Icon::Question);
    QCOMPARE(rowCount("JEUX"), 2);

    list()->setCurrentItem(list()->topLevelItem(0));
    m_dialogs->answer(Answer::Yes);
    annuler->click();
    QCOMPARE(rowCount("JEUX"), 3);
    const QVariantList row = lastRow();
    QCOMPARE(row[0].toInt(), 3);
    QCOMPARE(row[1].toString(), QString("Paul"));
    QCOMPARE(row[2].toString(), QString("Mars"));
    QCOMPARE(row[4].toString(), QString("annule n° 1"));
    QCOMPARE(row[7].toDouble(), -debit);
    QCOMPARE(row[8].toDouble(), -credit);
    QCOMPARE(row[9].toDouble(), balance);
    QCOMPARE(row[10].toDouble(), balance + debit - credit);
    QCOMPARE(m_db->scalar("SELECT Remarque FROM JEUX WHERE Num = 1").toString(),
             QString("annulée par n° 3"));
    QCOMPARE(balanceOf("Paul", "Mars").toDouble(), 95.0);
    QCOMPARE(m_db->scalar("SELECT SoldeDepart FROM USERS").toDouble(), deposits);
    QCOMPARE(text("T_soldecours"), money(95));
    QCOMPARE(text("T_soldepreced"), money(deposits));

    // The pair in italics; the totals net out and the records skip both.
    QCOMPARE(list()->topLevelItemCount(), 3);
    for (int r = 0; r < 3; ++r)
        QCOMPARE(list()->topLevelItem(r)->font(1).italic(), r != 1);
    QCOMPARE(text("TTotalmise"), money(5));
    QCOMPARE(text("Tplusgrossemise"), money(5));
    QCOMPARE(text("Tplusgrosgain"), money(0));
    QCOMPARE(text("TnbrTotaljeux"), QString("1"));
    QCOMPARE(list()->topLevelItem(0)->data(3, Qt::ToolTipRole).toString(),
             QString("annulée par n° 3"));
    QCOMPARE(list()->topLevelItem(2)->data(0, Qt::ToolTipRole).toString(), QString("annule n° 1"));
    QVERIFY(!list()->topLevelItem(1)->data(0, Qt::ToolTipRole).isValid());
    // The reload left no line selected: nothing to reverse.
    QVERIFY(!annuler->isEnabled());

    // Neither line of the pair is reversed again.
    for (const auto& [line, refusal] :
         {std::pair{0, "Cette ligne est déjà annulée."}, {2, "Une annulation ne s'annule pas."}}) {
        list()->setCurrentItem(list()->topLevelItem(line));
        m_dialogs->clear();
        m_dialogs->answer(Answer::Ok);
        annuler->click();
        QCOMPARE(m_dialogs->shown().size(), 1);
        QCOMPARE(m_dialogs->last().text, QString(refusal));
        QCOMPARE(m_dialogs->last().title, QString("Annuler la ligne"));
        QCOMPARE(rowCount("JEUX"), 3);
    }
}

// -----------------------------------------------------------------------------------------
// The statement on display is the only source of a write

void TestLedger::writesFollowTheStatementOnDisplay() {
    addUser("Marie", "décembre", 1000, 13338.6);
    addUser("Jean", "décembre", 300, 321.4);
    addUser("Paul", "Novembre", 100, 60);
    addUser("Paul", "décembre", 60, 60);
    addRow("Paul", "Novembre", "03", "Tiercé", "AUTRE JEUX", 40, 0, 60);
    addRow("Paul", "Novembre", "04", "Approvisionnement compte", "autre jeux", 0, 25, 85);
    m_db->exec("UPDATE USERS SET SoldeDepart = 125, SoldeEnCours = 85 WHERE pseudo = 'Paul' "
               "AND Mois = 'Novembre'");
    regional::setToday(QDate(2024, 12, 6));
    openWindow();
    const auto month = [&](const char* name) {
        auto* box = w<QComboBox>("C_mois");
        box->setCurrentIndex(box->findText(QString::fromUtf8(name)));
    };

    // Marie shown, then Janvier and Jean, who has no Janvier: the balance is asked (he has
    // no earlier month), not given, and Marie's figures are gone.
    pick("C_users", "Marie");
    QCOMPARE(text("T_soldecours"), money(13338.6));
    month("Janvier");
    m_dialogs->cancel();
    pick("C_users", "Jean");
    for (const char* box : {"T_soldepreced", "T_soldecours", "TsoldeDepart"})
        QCOMPARE(text(box), QString());
    // Every write for Jean in Janvier is refused, nothing moves.
    pick("C_moisMiseGain", "Janvier");
    pick("Ctypejeux", "Tiercé");
    for (const char* button : {"BT_savemise", "BT_savegain", "Tajoutecredit"}) {
        w<QLineEdit>("Cmontant")->setText("2");
        m_dialogs->clear();
        m_dialogs->answer(Answer::Ok);
        w<QPushButton>(button)->click();
        QCOMPARE(m_dialogs->last().text,
                 QString("Jean n'a pas de compte pour Janvier : rien n'a été enregistré."));
    }
    QCOMPARE(rowCount("JEUX"), 2);
    QCOMPARE(balanceOf("Jean", "décembre").toDouble(), 321.4);

    // Paul's Novembre shown, then décembre chosen without a reload: reversing a Novembre
    // stake and a Novembre credit moves Novembre, never décembre.
    month("Novembre");
    pick("C_users", "Paul");
    month("décembre");
    auto* annuler = w<QPushButton>("BT_annuler");
    for (int line : {0, 1}) {
        list()->setCurrentItem(list()->topLevelItem(line));
        m_dialogs->clear();
        m_dialogs->answer(Answer::Yes);
        m_dialogs->answer(Answer::No); // décembre keeps its balance
        annuler->click();
        QCOMPARE(m_dialogs->last().text, QString("Reporter aussi ce changement sur décembre ?"));
    }
    QCOMPARE(balanceOf("Paul", "Novembre").toDouble(), 100.0);
    QCOMPARE(m_db->scalar("SELECT SoldeDepart FROM USERS WHERE pseudo = 'Paul' AND "
                          "Mois = 'Novembre'")
                 .toDouble(),
             100.0);
    QCOMPARE(balanceOf("Paul", "décembre").toDouble(), 60.0);
    QCOMPARE(m_db->scalar("SELECT group_concat(mois, '|') FROM JEUX WHERE Remarque LIKE "
                          "'annule %'")
                 .toString(),
             QString("Novembre|Novembre"));
    // The statement still shows Novembre, with its new balances.
    QCOMPARE(list()->topLevelItemCount(), 4);
    QCOMPARE(text("T_soldecours"), money(100));

    // A month's name in another case is the month; the balance of Paul's décembre moves.
    w<QDateEdit>("CjourMiseGain")->setDate(QDate(2024, 12, 6));
    w<QComboBox>("C_moisMiseGain")->setEditText("DÉCEMBRE");
    w<QComboBox>("C_mois")->setEditText(" Décembre");
    w<QLineEdit>("Cmontant")->setText("5");
    w<QPushButton>("BT_savemise")->click();
    QCOMPARE(lastRow()[2].toString(), QString("décembre"));
    QCOMPARE(balanceOf("Paul", "décembre").toDouble(), 55.0);

    // The PDF of a player without a row for the month prints no one's balances.
    month("décembre");
    pick("C_users", "Marie");
    month("Octobre");
    typeInto("C_users", "Jean");
    m_dialogs->cancel();
    emit w<QComboBox>("C_users")->activated(-1);
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QTemporaryDir dir;
    m_dialogs->type(dir.filePath("jean.pdf"));
    w<QAction>("mnupdf")->trigger();
    QProcess pdftotext;
    pdftotext.start("pdftotext", {dir.filePath("jean.pdf"), "-"});
    QVERIFY(pdftotext.waitForFinished());
    const QString pdf = QString::fromUtf8(pdftotext.readAllStandardOutput());
    QVERIFY2(pdf.contains("Relevé de Jean — Octobre"), qPrintable(pdf));
    QVERIFY(!pdf.contains("Solde en cours") && !pdf.contains("Total depots"));
}

void TestLedger::newMonth_data() {
    QTest::addColumn<bool>("earlier");    // Paul has Février (balance 70) before Mars
    QTest::addColumn<QString>("answer");  // "oui", "non", or the balance typed ("" cancels)
    QTest::addColumn<QVariant>("opened"); // Mars's balance once asked, or null: not opened
    QTest::newRow("carried, Oui") << true << "oui" << QVariant(70.0);
    QTest::newRow("carried, Non") << true << "non" << QVariant();
    QTest::newRow("no earlier month, typed") << false << "12,5" << QVariant(12.5);
    QTest::newRow("no earlier month, cancelled") << false << "" << QVariant();
}

void TestLedger::newMonth() {
    QFETCH(bool, earlier);
    QFETCH(QString, answer);
    QFETCH(QVariant, opened);
    addUser("Paul", earlier ? "Février" : "Avril", 100, 70);
    addUser("Anne", "Mars", 10, 10);
    openWindow();
    pick("C_users", "Anne");
    if (answer == "oui" || answer == "non")
        m_dialogs->answer(answer == "oui" ? Answer::Yes : Answer::No);
    else if (answer.isEmpty())
        m_dialogs->cancel();
    else
        m_dialogs->type(answer);
    pick("C_users", "Paul");
    QCOMPARE(m_dialogs->shown().size(), 1);
    if (earlier) {
        QCOMPARE(m_dialogs->last().title, QString("Nouveau mois"));
        QCOMPARE(m_dialogs->last().text,
                 "Paul n'a pas encore de compte pour Mars.\nL'ouvrir avec le solde de Février : " +
                     money(70) + " ?");
        QCOMPARE(m_dialogs->last().buttons, dialogs::Buttons::YesNo);
        QCOMPARE(m_dialogs->last().icon, dialogs::Icon::Question);
    } else {
        QCOMPARE(m_dialogs->last().title, QString("Solde du jouer"));
    }
    QCOMPARE(balanceOf("Paul", "Mars"), opened);
    if (opened.isNull()) {
        QCOMPARE(text("T_soldecours"), QString());
        return;
    }
    QCOMPARE(m_db->scalar("SELECT SoldeDepart FROM USERS WHERE pseudo = 'Paul' AND Mois = 'Mars'"),
             opened);
    QCOMPARE(text("T_soldecours"), money(opened.toDouble()));
    QCOMPARE(text("TsoldeDepart"), money(opened.toDouble()));
    // Open now: a stake is recorded on it, and no question comes again.
    pick("Ctypejeux", "Tiercé");
    w<QLineEdit>("Cmontant")->setText("2");
    if (!earlier)
        m_dialogs->answer(Answer::No); // Avril keeps its balance
    w<QPushButton>("BT_savemise")->click();
    QCOMPARE(balanceOf("Paul", "Mars").toDouble(), opened.toDouble() - 2);
}

void TestLedger::lateEntries_data() {
    QTest::addColumn<QString>("write");
    QTest::addColumn<bool>("carry");
    QTest::addColumn<double>("difference"); // to Mars, and to Avril and Mai when carried
    QTest::addColumn<double>("deposits");   // change of Mars's SoldeDepart
    for (const bool carry : {true, false}) {
        const char* answer = carry ? "Oui" : "Non";
        QTest::addRow("stake, %s", answer) << "mise" << carry << -20.0 << 0.0;
        QTest::addRow("win, %s", answer) << "gain" << carry << 20.0 << 0.0;
        QTest::addRow("credit, %s", answer) << "credit" << carry << 20.0 << 20.0;
        QTest::addRow("reversal, %s", answer) << "annulation" << carry << 7.0 << 0.0;
    }
}

void TestLedger::lateEntries() {
    QFETCH(QString, write);
    QFETCH(bool, carry);
    QFETCH(double, difference);
    QFETCH(double, deposits);
    addUser("Paul", "Mars", 100, 93);
    addUser("Paul", "Mai", 93, 80);
    addUser("Paul", "Avril", 93, 93);
    addUser("Anne", "Mai", 5, 5);
    addRow("Paul", "Mars", "02", "Tiercé", "AUTRE JEUX", 7, 0, 93);
    m_db->exec("INSERT INTO JEUX (User, mois, Jour, [type jeux], Cheval, Debit, Credit, "
               "SoldeAvant, SoldeApres) VALUES ('Paul', 'Mai', '03', 'Trio', 'AUTRE JEUX', 13, "
               "0, 93, 80)");
    openWindow();
    pick("C_users", "Paul");
    const int before = rowCount("JEUX");
    if (write == "credit")
        m_dialogs->answer(Answer::Yes);
    if (write == "annulation") {
        list()->setCurrentItem(list()->topLevelItem(0));
        m_dialogs->answer(Answer::Yes);
    }
    if (write == "credit")
        m_dialogs->type("20");
    m_dialogs->answer(carry ? Answer::Yes : Answer::No);
    if (write == "credit") {
        w<QPushButton>("Tajoutecredit")->click();
    } else if (write == "annulation") {
        w<QPushButton>("BT_annuler")->click();
    } else {
        pick("Ctypejeux", "Tiercé");
        w<QLineEdit>("Cmontant")->setText("20");
        w<QPushButton>(write == "mise" ? "BT_savemise" : "BT_savegain")->click();
    }
    QCOMPARE(m_dialogs->last().text, QString("Reporter aussi ce changement sur Avril et Mai ?"));
    QCOMPARE(m_dialogs->last().buttons, dialogs::Buttons::YesNo);
    QCOMPARE(m_dialogs->last().icon, dialogs::Icon::Question);
    QCOMPARE(rowCount("JEUX"), before + 1);
    QCOMPARE(balanceOf("Paul", "Mars").toDouble(), 93 + difference);
    const double later = carry ? difference : 0;
    QCOMPARE(balanceOf("Paul", "Avril").toDouble(), 93 + later);
    QCOMPARE(balanceOf("Paul", "Mai").toDouble(), 80 + later);
    const auto deposit = [&](const char* month) {
        return m_db
            ->scalar("SELECT SoldeDepart FROM USERS WHERE pseudo = 'Paul' AND Mois = ?", {month})
            .toDouble();
    };
    QCOMPARE(deposit("Mars"), 100 + deposits);
    QCOMPARE(deposit("Avril"), 93 + later);
    QCOMPARE(deposit("Mai"), 93 + later);
    // The running balance of a later month's lines moves with its month.
    QCOMPARE(m_db->scalar("SELECT SoldeAvant FROM JEUX WHERE mois = 'Mai'").toDouble(), 93 + later);
    QCOMPARE(m_db->scalar("SELECT SoldeApres FROM JEUX WHERE mois = 'Mai'").toDouble(), 80 + later);
    QCOMPARE(balanceOf("Anne", "Mai").toDouble(), 5.0);
}

// -----------------------------------------------------------------------------------------
// As a user does it: keys typed into the real fields, real boxes answered with the mouse.

// -----------------------------------------------------------------------------------------
// A new year

void TestLedger::newYearRefusesWrites_data() {
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("month");
    QTest::addColumn<bool>("refused");
    QTest::newRow("same year") << QDate(2026, 11, 3) << "Mars" << false;
    QTest::newRow("new year, its month") << QDate(2027, 2, 10) << "Février" << true;
    QTest::newRow("new year, an earlier month") << QDate(2027, 2, 10) << "Janvier" << true;
    QTest::newRow("new year, a late entry") << QDate(2027, 2, 10) << "Mars" << false;
}

void TestLedger::newYearRefusesWrites() {
    QFETCH(QDate, today);
    QFETCH(QString, month);
    QFETCH(bool, refused);
    m_db->exec("UPDATE EXERCICE SET annee = 2026");
    regional::setToday(today);
    addUser("Paul", month, 100, 100);
    openWindow();
    auto* status = m_form->findChild<QStatusBar*>();
    QCOMPARE(status ? status->currentMessage() : QString(),
             today.year() > 2026 ? "L'année 2026 est terminée : pensez à la clôturer." : "");
    pick("C_mois", month);
    pick("C_users", "Paul");
    pick("C_moisMiseGain", month);
    pick("Ctypejeux", "Tiercé");
    w<QLineEdit>("Cmontant")->setText("5");
    if (refused)
        m_dialogs->answer(Answer::Ok);
    w<QPushButton>("BT_savemise")->click();
    QCOMPARE(rowCount("JEUX"), refused ? 0 : 1);
    if (refused) {
        QCOMPARE(m_dialogs->last().title, QString("Nouvelle année"));
        QCOMPARE(m_dialogs->last().text, QString("Clôturez d'abord l'année 2026 (menu Fichier)."));
    }
}

// Through the real boxes: the recap answered Oui, the archive's path acknowledged.
void TestLedger::closingTheYearFromTheMenu() {
    m_db->exec("UPDATE EXERCICE SET annee = 2026");
    regional::setToday(QDate(2027, 1, 5));
    addUser("Paul", "Mars", 100, 100);
    addRow("Paul", "Mars", "01", "Simple Gagnant", "JOLIE", 10, 0, 90);
    m_db->exec("UPDATE USERS SET SoldeEnCours = 90");
    m_dialogs.reset();
    RealDialogs real;
    openWindow();
    pick("C_mois", "Mars");
    pick("C_users", "Paul");
    QCOMPARE(list().topLevelItemCount(), 1);
    real.click(QDialogButtonBox::Yes);
    real.click(QDialogButtonBox::Ok);
    m_form->findChild<QAction*>("mnucloturer")->trigger();
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().at(0).title, QString("Clôturer l'année"));
    QVERIFY2(real.seen().at(0).text.contains("2026"), qPrintable(real.seen().at(0).text));
    const QString archive = QDir(m_db->folder()).filePath("archives/velmora-2026.mdb");
    QVERIFY(real.seen().at(1).text.endsWith(archive));
    QVERIFY(QFile::exists(archive));
    QCOMPARE(rowCount("JEUX"), 0);
    QCOMPARE(balanceOf("Paul", "Janvier").toDouble(), 90.0);
    // The statement on display is the new year's March: there is none.
    QCOMPARE(list().topLevelItemCount(), 0);
    QCOMPARE(m_db->scalar("SELECT annee FROM EXERCICE").toInt(), 2027);

    // The past year, from the menu, in a window of its own that reads and never writes.
    QFile file(archive);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1);
    file.close();
    QMenu* years = m_form->findChild<QAction*>("mnuouvrirannee")->menu();
    emit years->aboutToShow();
    QCOMPARE(years->actions().size(), 1);
    QCOMPARE(years->actions().at(0)->text(), QString("2026"));
    QSignalSpy opened(m_form.get(), &Form1::pastYearOpened);
    years->actions().at(0)->trigger();
    QCOMPARE(opened.size(), 1);
    Form1* past = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<Form1*>(top); form && form != m_form.get())
            past = form;
    QVERIFY(past);
    QCOMPARE(past->windowTitle(), QString("Gestion des mises — 2026 (archive)"));
    auto* users = past->findChild<QComboBox*>("C_users");
    auto* months = past->findChild<QComboBox*>("C_mois");
    // It opens where the year's lines end, not on today's empty Janvier.
    QCOMPARE(months->currentText(), QString("Mars"));
    users->setCurrentIndex(users->findText("Paul"));
    emit users->activated(users->currentIndex());
    QCOMPARE(StatementList(past->findChild<QTreeView*>("Lst_jeux")).topLevelItemCount(), 1);
    for (const char* write :
         {"BT_savemise", "BT_savegain", "Tajoutecredit", "bt_ajouteusers", "BT_annuler"})
        QVERIFY2(!past->findChild<QWidget*>(write)->isEnabled(), write);
    // Another month of the past year: no new-month question, nothing written.
    months->setCurrentIndex(months->findText("Avril"));
    emit users->activated(users->currentIndex());
    QVERIFY(real.allAnswered());
    // Its statistics are the past year's.
    QSignalSpy statistics(past, &Form1::statisticsRequested);
    past->findChild<QAction*>("mnustats")->trigger();
    QCOMPARE(statistics.value(0).value(2).toInt(), 2026);
    QCOMPARE(opened.value(0).value(0).value<Form1*>(), past);
    past->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1), before);
    QVERIFY(m_form->isVisible()); // closing the past year leaves the ledger open
}

void TestLedger::throughTheRealWidgets() {
    addUser("Paul", "Mars", 100, 100);
    addRow("Paul", "Mars", "01", "Simple Gagnant", "JOLIE FILLE", 0, 0, 100);
    m_dialogs.reset();
    RealDialogs real;
    openWindow();
    QApplication::setActiveWindow(m_form.get());
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));

    choose("C_users", "Paul");
    QCOMPARE(text("T_soldecours"), money(100));

    // Completion is offered, never imposed.
    typeIn("Ctypejeux", "Super");
    typeIn("Cmontant", "2");
    press("BT_savemise");
    QCOMPARE(lastRow()[5].toString(), QString("Super"));
    choose("Ctypejeux", "Simple Gagnant");
    QVERIFY(w<QComboBox>("Tcheval")->isEnabled());
    typeIn("Tcheval", "Jolie");
    typeIn("Cmontant", "3");
    // Enter on the focused button records, as Space does.
    w<QPushButton>("BT_savemise")->setFocus();
    QTest::keyClick(w<QPushButton>("BT_savemise"), Qt::Key_Return);
    QCOMPARE(lastRow()[6].toString(), QString("JOLIE"));
    QCOMPARE(lastRow()[10].toDouble(), 95.0);

    // The stake on Super reversed: Yes clicked on the real question.
    list()->setCurrentItem(list()->topLevelItem(1));
    real.click(QDialogButtonBox::Yes);
    press("BT_annuler");
    QVERIFY(real.allAnswered());
    QCOMPARE(lastRow()[4].toString(), QString("annule n° 2"));
    QCOMPARE(balanceOf("Paul", "Mars").toDouble(), 97.0);

    // Credit: Yes on the warning, the sum typed, OK.
    real.click(QDialogButtonBox::Yes);
    real.type("20");
    press("Tajoutecredit");
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().at(1).title, QString("Rajouter des crédit"));
    QVERIFY(real.seen().at(1).buttons.join(' ').contains("Non"));
    QCOMPARE(balanceOf("Paul", "Mars").toDouble(), 117.0);
    // No on the warning changes nothing.
    real.click(QDialogButtonBox::No);
    press("Tajoutecredit");
    QCOMPARE(balanceOf("Paul", "Mars").toDouble(), 117.0);

    // A player added through the two input boxes, then the confirmation.
    real.type("Zoé");
    real.type("12.5");
    real.click(QDialogButtonBox::Ok);
    press("bt_ajouteusers");
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().last().title, QString("UtilisateurZoé Solde : 12,5"));
    QCOMPARE(balanceOf("Zoé", "Mars").toDouble(), 12.5);

    // One click on the record button records, though the completion list was open: the
    // list opens above the horse box, clear of the buttons, and a press elsewhere goes to
    // the open list first, as Qt sends it.
    choose("C_users", "Paul");
    typeIn("Cmontant", "4");
    typeIn("Tcheval", "Jolie");
    QWidget* liste = w<QComboBox>("Tcheval")->completer()->popup();
    QVERIFY(liste->isVisible());
    auto* enregistrer = w<QPushButton>("BT_savemise");
    const QPoint ecran = enregistrer->mapToGlobal(enregistrer->rect().center());
    QVERIFY(!liste->frameGeometry().contains(ecran));
    QMouseEvent appui(QEvent::MouseButtonPress, liste->mapFromGlobal(ecran), ecran, Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(liste, &appui);
    QTRY_COMPARE(lastRow()[7].toDouble(), 4.0);
    QCOMPARE(lastRow()[6].toString(), QString("JOLIE"));
    QVERIFY(!w<QComboBox>("Tcheval")->completer()->popup()->isVisible());

    // Avril opened with March's balance: the name typed with its completion list open and
    // one Enter, which the open list receives first; Oui clicked on the real question.
    auto* mois = w<QComboBox>("C_mois");
    mois->setCurrentIndex(mois->findText("Avril"));
    real.click(QDialogButtonBox::Yes);
    typeIn("C_users", "Paul");
    QWidget* noms = w<QComboBox>("C_users")->completer()->popup();
    QVERIFY(noms->isVisible());
    QTest::keyClick(noms, Qt::Key_Return);
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().last().title, QString("Nouveau mois"));
    QCOMPARE(balanceOf("Paul", "Avril").toDouble(), 113.0);
    QCOMPARE(text("T_soldecours"), money(113));
    // Mai for Paul through "+": the input box proposes Avril's balance, OK keeps it.
    mois->setCurrentIndex(mois->findText("Mai"));
    real.type("Paul");
    real.type("");
    real.click(QDialogButtonBox::Ok);
    press("bt_ajouteusers");
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().at(real.seen().size() - 2).held, QString("113,00"));
    QCOMPARE(balanceOf("Paul", "Mai").toDouble(), 113.0);

    // Tab skips the boxes that only show.
    QVERIFY(!(w<QLineEdit>("T_soldecours")->focusPolicy() & Qt::TabFocus));
    QVERIFY(w<QLineEdit>("Cmontant")->focusPolicy() & Qt::TabFocus);
    // The window fits a 1024×768 screen.
    QVERIFY(m_form->minimumSizeHint().width() <= 1000);
    QVERIFY(m_form->minimumSizeHint().height() <= 700);
}

// A misspelt type merged into the right one through the window, as the user does it; then
// what the window refuses, and a rename that the year's lines follow.
void TestLedger::gameTypesMergedAndRenamed() {
    addUser("Paul", "Mars", 100, 100);
    for (const char* type : {"Simple Place", "Simple Place", "Tiercé"})
        m_db->exec("INSERT INTO JEUX (User, mois, Jour, [type jeux], Cheval, Debit, Credit) "
                   "VALUES ('Paul', 'Mars', '06', ?, 'JOLIE', 2, 0)",
                   {QString::fromUtf8(type)});
    m_dialogs.reset();
    RealDialogs real;
    openWindow();
    shell::connectWindows(m_form.get());
    m_form->findChild<QAction*>("mnutypesjeux")->trigger();
    Ftypesjeux* fenetre = Ftypesjeux::instance();
    QVERIFY(fenetre && fenetre->isVisible());
    auto* liste = fenetre->findChild<QTreeWidget*>("LstTypes");
    QTreeWidgetItem* place = liste->findItems("Simple Place", Qt::MatchExactly).value(0);
    QVERIFY(place);
    QCOMPARE(place->text(1), QString("2"));
    QVERIFY(liste->findItems(ledger::creditType(), Qt::MatchExactly).isEmpty());
    QTest::mouseClick(liste->viewport(), Qt::LeftButton, {},
                      QPoint(8, liste->visualItemRect(place).center().y()));
    real.click(QDialogButtonBox::Ok); // the type proposed: the one it is a misspelling of
    QTest::mouseClick(fenetre->findChild<QPushButton*>("BT_fusionner"), Qt::LeftButton);
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().last().held, QString("Simple Placé"));
    QCOMPARE(m_db->scalar("SELECT count(*) FROM JEUX WHERE [type jeux] = 'Simple Placé' COLLATE "
                          "BINARY").toInt(),
             2);
    QVERIFY(liste->findItems("Simple Place", Qt::MatchExactly).isEmpty());
    QCOMPARE(liste->findItems("Simple Placé", Qt::MatchExactly).value(0)->text(1), QString("2"));

    // A type in use is not deleted; the credit type is never renamed; a rename takes the
    // year's lines and the rule along.
    const auto refus = [&](auto write) {
        try {
            write();
        } catch (const ledger::GameTypeRefused& refused) {
            return refused.text;
        }
        return QString();
    };
    QVERIFY(refus([&] { ledger::deleteGameType(*m_db->db(), "Tiercé"); })
                .startsWith("« Tiercé » est utilisé par 1 ligne de l'année"));
    QVERIFY(refus([&] { ledger::renameGameType(*m_db->db(), ledger::creditType(), "Dépôt"); })
                .contains("type des crédits"));
    QVERIFY(refus([&] { ledger::addGameType(*m_db->db(), "tierce", ledger::Rule::ByHand); })
                .startsWith("Le type « tierce » existe déjà"));
    QCOMPARE(ledger::renameGameType(*m_db->db(), "Tiercé", "Tiercé classique"), 1);
    QCOMPARE(ledger::GameRules(*m_db->db()).of("tierce classique"), ledger::Rule::Tierce);

    // A rule chosen in the list: the entry group follows it at once.
    QObject::connect(fenetre, &Ftypesjeux::typesModifies, m_form.get(), &Form1::TypesModifies);
    choose("Ctypejeux", "Quinté+");
    QVERIFY(w<QLineEdit>("Tnumeros")->isVisible());
    m_form->findChild<QAction*>("mnutypesjeux")->trigger();
    QTreeWidgetItem* quinte = liste->findItems("Quinté+", Qt::MatchExactly).value(0);
    auto* regle = qobject_cast<QComboBox*>(liste->itemWidget(quinte, 2));
    QVERIFY(regle);
    regle->setFocus();
    typeKeys(regle, "à"); // the keys pick the rule, as in any list not typed in
    QCOMPARE(regle->currentText(), QString("à la main"));
    QCOMPARE(ledger::GameRules(*m_db->db()).of("Quinté+"), ledger::Rule::ByHand);
    QVERIFY(!w<QLineEdit>("Tnumeros")->isVisible());
    fenetre->close();
}

// A Quinté+ as the punter plays it: six numbers in combined form, settled by the import of
// its race's finish, cashed for the amount the course paid.
void TestLedger::quinteThroughTheRealWidgets() {
    addUser("Paul", "Mars", 100, 100);
    m_dialogs.reset();
    RealDialogs real;
    openWindow();
    QApplication::setActiveWindow(m_form.get());
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    choose("C_users", "Paul");
    QVERIFY(!w<QLineEdit>("Tnumeros")->isVisible());
    choose("Ctypejeux", "Quinté+");
    QVERIFY(w<QLineEdit>("Tnumeros")->isVisible());
    QVERIFY(!w<QComboBox>("Tcheval")->isEnabled());
    auto* formule = w<QComboBox>("C_formule");
    formule->setFocus();
    QTest::keyClicks(formule, "Comb"); // a list that is not typed in: the keys pick the item
    QCOMPARE(formule->currentText(), QString("Combinée"));
    typeIn("Cmontant", "12");
    typeIn("C_course", "R1C3");
    typeIn("Tnumeros", "4 7 1 9 2 31");
    real.click(QDialogButtonBox::Ok);
    press("BT_savemise");
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().last().title, QString("Erreur numéros"));
    QCOMPARE(real.seen().last().text,
             QString("Numéro 31 impossible : les numéros vont de 1 à 30."));
    QCOMPARE(rowCount("JEUX"), 0);
    typeIn("Tnumeros", "4 7 1 9 2 3");
    QCOMPARE(plain(w<QLabel>("LblCombinaisons")->text()), QString("6 combinaisons, soit 2,00 € l'une"));
    press("BT_savemise");
    QCOMPARE(m_db->scalar("SELECT Numeros || ' ' || Formule || ' ' || Combinaisons FROM PARIS")
                 .toString(),
             QString("4-7-1-9-2-3 combinée 6"));
    QCOMPARE(lastRow()[6].toString(), QString("AUTRE JEUX"));

    QTemporaryDir dir;
    QFile csv(dir.filePath("r.csv"));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("date;hippodrome;R;C;nbPartant;dossard;cheval;place\n"
              "2024-03-06;Vincennes;1;3;14;4;A;1\n2024-03-06;Vincennes;1;3;14;7;B;2\n"
              "2024-03-06;Vincennes;1;3;14;1;C;3\n2024-03-06;Vincennes;1;3;14;9;D;4\n"
              "2024-03-06;Vincennes;1;3;14;5;E;5\n");
    csv.close();
    QString sortie, erreurs;
    QTextStream out(&sortie), err(&erreurs);
    QCOMPARE(runDbTool({"import-results", csv.fileName(), m_db->folder()}, out, err), 0);
    QVERIFY2(sortie.contains("1 pari réglé"), qPrintable(sortie));
    QCOMPARE(m_db->scalar("SELECT Etat || ' ' || Gagnantes || ' ' || Rang FROM PARIS").toString(),
             QString("gagné 3 bonus 4"));
    QTest::keyClick(w<QComboBox>("C_users")->lineEdit(), Qt::Key_Return);
    QVERIFY(pickTheBetToCash());
    // No amount proposed: a zero is refused, the amount paid is typed.
    real.type("0");
    real.click(QDialogButtonBox::Ok);
    press("BT_encaisser");
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().at(real.seen().size() - 2).held, QString());
    QCOMPARE(real.seen().last().title, QString("Erreur montant"));
    real.type("38,40");
    press("BT_encaisser");
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().last().title, QString("Montant payé"));
    QCOMPARE(lastRow()[8].toDouble(), 38.4);
    QCOMPARE(m_db->scalar("SELECT NumGain FROM PARIS").toLongLong(), lastRow()[0].toLongLong());
}

// A bet from the entry group to its cashing, as the user makes it: race and odds typed, the
// results imported, the win cashed from its list, then reversed, then marked by hand.
void TestLedger::betsThroughTheRealWidgets() {
    addUser("Paul", "Mars", 100, 100);
    m_db->exec("INSERT INTO CR (date, hippodrome, R, C, course, nbPartant, cheval, place) "
               "VALUES ('2024-03-06', 'Vincennes', 1, 1, 'Prix de Lille', 9, 'Autre', '1')");
    m_dialogs.reset();
    RealDialogs real;
    openWindow();
    QApplication::setActiveWindow(m_form.get());
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    const auto etat = [&](int row) { return list().topLevelItem(row).text(6); };
    // The day's races already run are offered.
    QCOMPARE(w<QComboBox>("C_course")->itemText(0), QString("R1C1 Vincennes — Prix de Lille"));
    choose("C_users", "Paul");
    choose("Ctypejeux", "Simple Gagnant");
    typeIn("Cmontant", "10");
    typeIn("Tcheval", "Jolie");
    typeIn("C_course", "R1C3");
    typeIn("Tcote", "1");
    real.click(QDialogButtonBox::Ok);
    press("BT_savemise");
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().last().title, QString("Erreur cote"));
    QCOMPARE(real.seen().last().text, QString("La cote doit être un nombre supérieur à 1."));
    QCOMPARE(rowCount("JEUX"), 0);
    typeIn("Tcote", "4.5");
    press("BT_savemise");
    QCOMPARE(m_db->scalar("SELECT DateCourse || ' ' || R || ' ' || C || ' ' || Cote || ' ' || "
                          "ifnull(Hippodrome, '-') FROM PARIS")
                 .toString(),
             QString("2024-03-06 1 3 4.5 -"));
    QCOMPARE(etat(0), QString("en cours"));
    QVERIFY(!w<QWidget>("Gencaisser")->isVisible());

    // The results come in; choosing the player again shows what they settled.
    QTemporaryDir dir;
    QFile csv(dir.filePath("r.csv"));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("date;hippodrome;R;C;nbPartant;cheval;place\n"
              "2024-03-06;Vincennes;1;3;9;Jolie;1\n2024-03-06;Vincennes;1;3;9;Belle;2\n");
    csv.close();
    QString sortie, erreurs;
    QTextStream out(&sortie), err(&erreurs);
    QVERIFY2(runDbTool({"import-results", csv.fileName(), m_db->folder()}, out, err) == 0,
             qPrintable(sortie + erreurs));
    QVERIFY2(sortie.contains("1 pari réglé"), qPrintable(sortie));
    QTest::keyClick(w<QComboBox>("C_users")->lineEdit(), Qt::Key_Return);
    QCOMPARE(etat(0), QString("gagné"));
    auto* aEncaisser = w<QTreeView>("LstAEncaisser");
    QVERIFY(w<QWidget>("Gencaisser")->isVisible());
    QCOMPARE(aEncaisser->model()->rowCount(), 1);
    QCOMPARE(plain(aEncaisser->model()->index(0, 5).data().toString()), QString("45,00 €"));

    // Cashed for what the course paid, on the bet's own row.
    QVERIFY(!w<QPushButton>("BT_encaisser")->isEnabled());
    QTest::mouseClick(aEncaisser->viewport(), Qt::LeftButton, {},
                      aEncaisser->visualRect(aEncaisser->model()->index(0, 2)).center());
    real.type("43,2");
    press("BT_encaisser");
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().last().held, QString("45,00"));
    QCOMPARE(lastRow()[8].toDouble(), 43.2);
    QCOMPARE(lastRow()[6].toString(), QString("JOLIE"));
    QCOMPARE(m_db->scalar("SELECT NumGain FROM PARIS").toLongLong(), lastRow()[0].toLongLong());
    QCOMPARE(text("T_soldecours"), money(133.2));
    QVERIFY(!w<QWidget>("Gencaisser")->isVisible());

    // Reversing the win leaves the bet to cash again.
    list().setCurrentItem(list().topLevelItem(1));
    real.click(QDialogButtonBox::Yes);
    press("BT_annuler");
    QVERIFY(real.allAnswered());
    QVERIFY(m_db->scalar("SELECT NumGain FROM PARIS").isNull());
    QCOMPARE(aEncaisser->model()->rowCount(), 1);

    // A state set by hand, from the line's menu.
    QTimer::singleShot(0, [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QAction* perdu = menu->findChild<QAction*>("mnumarquer2");
        QCOMPARE(perdu->text(), QString("Marquer perdu"));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(perdu).center());
    });
    auto* lst = w<QTreeView>("Lst_jeux");
    emit lst->customContextMenuRequested(lst->visualRect(lst->model()->index(0, 0)).center());
    QCOMPARE(etat(0), QString("perdu"));
    QVERIFY(!w<QWidget>("Gencaisser")->isVisible());
}

// Results imported while the program was closed settle its bets once the window is painted.
void TestLedger::betsSettledOnceTheWindowShows() {
    addUser("Paul", "Mars", 100, 100);
    ledger::GameEntry stake{ledger::GameKind::Stake,
                            "Paul",
                            "Mars",
                            "05",
                            "Simple Placé",
                            "Jolie",
                            Money::fromCents(500),
                            ledger::BetSlip{QDate(2024, 3, 5), {2, 4, "Pau"}, 3.0}};
    ledger::recordGame(*m_db->db(), stake);
    m_db->exec("INSERT INTO CR (date, hippodrome, R, C, nbPartant, cheval, place) "
               "VALUES ('2024-03-05', 'PAU', 2, 4, 7, 'JOLIE', '2')");
    openWindow();
    QCOMPARE(m_db->scalar("SELECT Etat FROM PARIS").toString(), QString("en cours"));
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QTRY_COMPARE(m_db->scalar("SELECT Etat FROM PARIS").toString(), QString("gagné"));
    QCOMPARE(m_form->statusBar()->currentMessage(), QString("1 pari réglé"));
}

// The statement on Décembre, the entries filed under Novembre: each write moves Novembre,
// carried into Décembre when the user says so, and every chain of the file holds after it.
void TestLedger::monthsApartThroughTheRealWidgets() {
    regional::setToday(QDate(2024, 12, 6));
    addUser("Paul", "Novembre", 100, 100);
    addUser("Paul", "décembre", 100, 100);
    m_dialogs.reset();
    RealDialogs real;
    openWindow();
    QApplication::setActiveWindow(m_form.get());
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    const auto soldes = [&] {
        return QStringLiteral("%1 %2")
            .arg(balanceOf("Paul", "Novembre").toDouble())
            .arg(balanceOf("Paul", "décembre").toDouble());
    };
    choose("C_users", "Paul");
    QCOMPARE(w<QComboBox>("C_mois")->currentText(), QString("décembre"));
    choose("C_moisMiseGain", "Novembre");
    QCOMPARE(w<QDateEdit>("CjourMiseGain")->date(), QDate(2024, 11, 6));

    // A stake on a race, carried into décembre: Oui on the real question.
    choose("Ctypejeux", "Simple Gagnant");
    typeIn("Tcheval", "Jolie");
    typeIn("Cmontant", "10");
    typeIn("C_course", "R1C3");
    typeIn("Tcote", "4,5");
    real.click(QDialogButtonBox::Yes);
    press("BT_savemise");
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().last().text, QString("Reporter aussi ce changement sur décembre ?"));
    QCOMPARE(lastRow()[2].toString(), QString("Novembre"));
    QCOMPARE(soldes(), QString("90 90"));
    QCOMPARE(brokenChains(), QStringList());
    QCOMPARE(m_form->statusBar()->currentMessage(), QString("Mise enregistrée dans Novembre"));
    QCOMPARE(text("T_soldecours"), money(90));
    QCOMPARE(list().topLevelItemCount(), 0);

    // A win, décembre left as it is: Non.
    choose("Ctypejeux", "Tiercé");
    typeIn("Cmontant", "5");
    real.click(QDialogButtonBox::No);
    press("BT_savegain");
    QVERIFY(real.allAnswered());
    QCOMPARE(soldes(), QString("95 90"));
    QCOMPARE(brokenChains(), QStringList());

    // Novembre on display: the win reversed from its line, carried.
    choose("C_mois", "Novembre");
    choose("C_users", "Paul");
    QCOMPARE(list().topLevelItemCount(), 2);
    list().setCurrentItem(list().topLevelItem(1));
    real.click(QDialogButtonBox::Yes);
    real.click(QDialogButtonBox::Yes);
    press("BT_annuler");
    QVERIFY(real.allAnswered());
    QCOMPARE(soldes(), QString("90 85"));
    QCOMPARE(brokenChains(), QStringList());

    // décembre on display again; the results settle the bet, its win goes to Novembre.
    m_db->exec("INSERT INTO CR (date, hippodrome, R, C, nbPartant, cheval, place) VALUES "
               "('2024-11-06', 'Vincennes', 1, 3, 9, 'Jolie', '1'), "
               "('2024-11-06', 'Vincennes', 1, 3, 9, 'Egale', '1')");
    QVERIFY(ledger::settleBets(*m_db->db()).settled.size() == 1);
    choose("C_mois", "décembre");
    choose("C_users", "Paul");
    QVERIFY(pickTheBetToCash());
    real.type("45");
    real.click(QDialogButtonBox::Yes);
    press("BT_encaisser");
    QVERIFY(real.allAnswered());
    // Two winners: the box says the dividend is shared.
    QVERIFY(real.seen()
                .at(real.seen().size() - 2)
                .text.endsWith("\narrivée avec ex aequo : le rapport est partagé"));
    QCOMPARE(lastRow()[2].toString(), QString("Novembre"));
    QCOMPARE(soldes(), QString("135 130"));
    QCOMPARE(brokenChains(), QStringList());
    QCOMPARE(m_form->statusBar()->currentMessage(), QString("Gain enregistré dans Novembre"));
    QCOMPARE(text("T_soldecours"), money(130));

    // The rule the file once followed breaks the chains, and the check sees it.
    m_db->exec("UPDATE JEUX SET SoldeAvant = SoldeAvant + 5 WHERE Num = 1");
    QCOMPARE(brokenChains(), QStringList{"Paul/Novembre"});
}

// The link to the day's card counts again when the user comes back to the ledger: a horse
// followed or a card imported meanwhile shows, a card replaced without him goes.
void TestLedger::followedRunningTodayFollowsTheFile() {
    openWindow();
    QApplication::setActiveWindow(m_form.get());
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QVERIFY(!m_form->findChild<QLabel*>("LienPartants"));
    m_db->exec("INSERT INTO MESSUIVITS (nomcheval) VALUES ('Eclair'), ('Belle')");
    m_db->exec("INSERT INTO PARTANTS (date, hippodrome, R, C, cheval) VALUES "
               "('2024-03-06', 'Pau', 1, 1, 'ECLAIR'), ('2024-03-06', 'Pau', 1, 1, 'BELLE')");
    const auto revenir = [&] {
        QWidget ailleurs;
        ailleurs.show();
        QApplication::setActiveWindow(&ailleurs);
        QVERIFY(QTest::qWaitForWindowActive(&ailleurs));
        QApplication::setActiveWindow(m_form.get());
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    };
    revenir();
    auto* lien = m_form->findChild<QLabel*>("LienPartants");
    QVERIFY(lien && lien->isVisible());
    QVERIFY(lien->text().contains("2 de vos chevaux suivis courent aujourd'hui"));
    m_db->exec("DELETE FROM PARTANTS WHERE cheval = 'BELLE'");
    revenir();
    QVERIFY(lien->text().contains("1 de vos chevaux suivis court aujourd'hui"));
    m_db->exec("DELETE FROM PARTANTS");
    m_form->ActualiserPartants();
    QVERIFY(!lien->isVisible());
}

// -----------------------------------------------------------------------------------------
// Restoring a copy

void TestLedger::restoredThroughTheRealWidgets() {
    addUser("Paul", "Mars", 100, 90);
    addRow("Paul", "Mars", "06", "Simple Gagnant", "JOLIE", 10, 0, 90);
    QVERIFY(dailycopy::run(m_db->file(), regional::today()).error.isEmpty());
    addRow("Paul", "Mars", "06", "Simple Gagnant", "BRISE", 5, 0, 85);
    m_dialogs.reset();
    RealDialogs real;
    QPointer<Form1> ledger = shell::openLedger();
    QVERIFY(ledger->Montrer("Paul", "Mars"));
    QCOMPARE(StatementList(ledger->findChild<QTreeView*>("Lst_jeux")).topLevelItemCount(), 2);
    Fstats::showSingle("Paul", "Mars");
    ledger->findChild<QAction*>("mnurestaurer")->trigger();
    auto* restorer = qobject_cast<Frestaurer*>(
        [] {
            for (QWidget* window : QApplication::topLevelWidgets())
                if (window->objectName() == "Frestaurer" && window->isVisible())
                    return window;
            return static_cast<QWidget*>(nullptr);
        }());
    QVERIFY(restorer);
    auto* copies = restorer->findChild<QTreeWidget*>("LstCopies");
    QCOMPARE(copies->topLevelItemCount(), 1);
    QTest::mouseClick(copies->viewport(), Qt::LeftButton, {},
                      copies->visualItemRect(copies->topLevelItem(0)).center());
    real.click(QDialogButtonBox::Yes);
    real.click(QDialogButtonBox::Ok);
    QTest::mouseClick(restorer->findChild<QPushButton*>("BT_restaurer"), Qt::LeftButton);
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().first().text,
             QString("Remplacer le registre actuel (2 lignes) par la copie du 06/03/2024 (1 "
                     "lignes) ?"));
    QVERIFY(real.seen().last().text.startsWith("La copie est restaurée"));
    // A new ledger on the restored file, at the same player and month; the statistics too.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!ledger);
    Form1* reopened = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<Form1*>(window); form && form->isVisible())
            reopened = form;
    QVERIFY(reopened);
    QCOMPARE(reopened->JoueurAffiche(), QString("Paul"));
    QCOMPARE(reopened->MoisAffiche(), QString("Mars"));
    QCOMPARE(StatementList(reopened->findChild<QTreeView*>("Lst_jeux")).topLevelItemCount(), 1);
    QVERIFY(Fstats::instance());
    QCOMPARE(rowCount("JEUX"), 1);
    // The copy made first is listed now, newest.
    QCOMPARE(copies->topLevelItem(0)->text(1), QString("avant restauration"));
    QCOMPARE(copies->topLevelItem(0)->text(3), QString("2"));
    reopened->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestLedger::searchedThroughTheRealWidgets() {
    // 2023 closed with Paul's bet on L'Étoile; 2024 open with Anne's.
    {
        const QString archive = ledger::archivePath(m_db->file(), 2023);
        QDir().mkpath(QFileInfo(archive).path());
        auto past = data::schema::createFile(archive, 2023);
        past->exec("INSERT INTO USERS (pseudo, SoldeDepart, SoldeEnCours, Mois) VALUES "
                   "('Paul', 50, 40, 'Juin')");
        past->exec("INSERT INTO JEUX (User, mois, Jour, [type jeux], Cheval, Debit, Credit, "
                   "SoldeApres) VALUES ('Paul', 'Juin', '07', 'Simple Placé', 'L’ÉTOILE', 10, 0, 40)");
    }
    addUser("Anne", "Mars", 100, 95);
    addRow("Anne", "Mars", "05", "Simple Gagnant", "L'ETOILE", 5, 0, 95);
    addRow("Anne", "Mars", "05", "Simple Gagnant", "BRISE", 3, 0, 92);
    m_dialogs.reset();
    RealDialogs real;
    QPointer<Form1> ledger = shell::openLedger();
    ledger->findChild<QAction*>("mnurechercher")->trigger();
    Frecherche* search = Frecherche::instance();
    QVERIFY(search && search->isVisible());
    const auto field = [&](const char* name) { return search->findChild<QLineEdit*>(name); };
    // A wrong bound is told, and nothing searched.
    typeKeys(field("TmontantMin"), "abc");
    real.click(QDialogButtonBox::Ok);
    QTest::keyClick(field("TmontantMin"), Qt::Key_Return);
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().last().title, QString("Erreur montant"));
    field("TmontantMin")->clear();
    auto* years = search->findChild<QComboBox*>("C_anneeR");
    QCOMPARE(years->count(), 3); // the open year, 2023, every year
    years->setCurrentIndex(years->findText("Toutes les années"));
    typeKeys(field("Tcherche"), "l'étoile");
    QTest::keyClick(field("Tcherche"), Qt::Key_Return);
    QCOMPARE(search->findChild<QLabel*>("LblNombre")->text(), QString("2 lignes trouvées"));
    QCOMPARE(field("TmisesR")->text(), regional::formatMoney(15_eur));
    auto* list = search->findChild<QTreeView*>("LstResultats");
    QCOMPARE(list->model()->index(0, 0).data().toString(), QString("2023"));
    // Every year's players once; amounts sorted by value through the header.
    QStringList players;
    auto* playerBox = search->findChild<QComboBox*>("C_joueurR");
    for (int i = 0; i < playerBox->count(); ++i)
        players << playerBox->itemText(i);
    QCOMPARE(players, QStringList({"Tous", "Anne", "Paul"}));
    QHeaderView* header = list->header();
    const int stake = header->sectionViewportPosition(6) + header->sectionSize(6) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(stake, header->height() / 2));
    QCOMPARE(list->model()->index(0, 6).data().toString(), regional::formatMoney(5_eur));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(stake, header->height() / 2));
    QCOMPARE(list->model()->index(0, 6).data().toString(), regional::formatMoney(10_eur));
    list->sortByColumn(-1, Qt::AscendingOrder);
    // Exported with the statement's bytes.
    QTemporaryDir exports;
    const QString csv = exports.filePath("recherche-etoile.csv");
    real.saveAs(csv);
    QTest::mouseClick(search->findChild<QPushButton*>("BT_exporterR"), Qt::LeftButton);
    QVERIFY(real.allAnswered());
    QFile written(csv);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const int open = *ledger::storedYear(*m_db->db());
    QCOMPARE(written.readAll(),
             "\xEF\xBB\xBF" +
                 QString("Année;Mois;Jour;Joueur;Type de jeu;Cheval;Mise;Gain;État;Remarque\r\n"
                         "2023;Juin;07;Paul;Simple Placé;L’ÉTOILE;10,00;0,00;;\r\n"
                         "%1;Mars;05;Anne;Simple Gagnant;L'ETOILE;5,00;0,00;;\r\n")
                     .arg(open)
                     .toUtf8());
    // A double click on the archived line opens its year where the line is.
    const QPoint row = list->visualRect(list->model()->index(0, 5)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row);
    Form1* past = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<Form1*>(window); form && form->AnneeArchivee() == 2023)
            past = form;
    QVERIFY(past && past->isVisible());
    QCOMPARE(past->JoueurAffiche(), QString("Paul"));
    QCOMPARE(past->MoisAffiche(), QString("Juin"));
    const QModelIndexList chosen =
        past->findChild<QTreeView*>("Lst_jeux")->selectionModel()->selectedRows();
    QCOMPARE(chosen.size(), 1);
    past->close();
    ledger->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// -----------------------------------------------------------------------------------------
// The player's limits

void TestLedger::limitsThroughTheRealWidgets() {
    addUser("Paul", "Mars", 100, 100);
    m_dialogs.reset();
    RealDialogs real;
    openWindow();
    shell::connectWindows(m_form.get());
    choose("C_users", "Paul");
    QVERIFY(!w<QLineEdit>("Treste")->isVisibleTo(m_form.get()));
    m_form->findChild<QAction*>("mnulimites")->trigger();
    Flimites* limits = Flimites::instance();
    QVERIFY(limits && limits->isVisible());
    QCOMPARE(limits->joueur(), QString("Paul"));
    typeKeys(limits->findChild<QLineEdit*>("TplafondMises"), "50");
    QTest::mouseClick(limits->findChild<QPushButton*>("BT_enregistrer"), Qt::LeftButton);
    QVERIFY(w<QLineEdit>("Treste")->isVisibleTo(m_form.get()));
    QCOMPARE(text("Treste"), money(50));

    // Under the ceiling: no question.
    choose("Ctypejeux", "Simple Gagnant");
    typeIn("Tcheval", "Jolie");
    typeIn("Cmontant", "30");
    press("BT_savemise");
    QCOMPARE(real.seen().size(), 0);
    QCOMPARE(text("Treste"), money(20));
    // Over it: Non writes nothing, Oui writes.
    const int rows = rowCount("JEUX");
    for (const auto answer : {QDialogButtonBox::No, QDialogButtonBox::Yes}) {
        typeIn("Tcheval", "Jolie");
        typeIn("Cmontant", "25");
        real.click(answer);
        press("BT_savemise");
        QVERIFY(real.allAnswered());
        QCOMPARE(real.seen().last().title, QString("Limite du joueur"));
        QCOMPARE(real.seen().last().text,
                 QString("Cette mise porte vos mises de Mars à %1 pour un plafond de %2. "
                         "L'enregistrer quand même ?")
                     .arg(money(55), money(50)));
        QCOMPARE(rowCount("JEUX"), answer == QDialogButtonBox::Yes ? rows + 1 : rows);
        QCOMPARE(text("Treste"), money(answer == QDialogButtonBox::Yes ? -5 : 20));
    }
    QCOMPARE(w<QLineEdit>("Treste")->palette().color(QPalette::Text), QColor(colours::kRed));
    // A box emptied removes the limit, and the ledger stops counting.
    m_form->findChild<QAction*>("mnulimites")->trigger();
    limits = Flimites::instance();
    QCOMPARE(limits->findChild<QLineEdit*>("TplafondMises")->text(), QString("50,00"));
    limits->findChild<QLineEdit*>("TplafondMises")->clear();
    QTest::mouseClick(limits->findChild<QPushButton*>("BT_enregistrer"), Qt::LeftButton);
    QVERIFY(!w<QLineEdit>("Treste")->isVisibleTo(m_form.get()));
    QCOMPARE(rowCount("LIMITES"), 0);
}

