#include "chrono/listfile.h"
#include "data/connection.h"
#include "data/regional.h"
#include "followed/fjour.h"
#include "followed/fsuivit.h"
#include "followed/raceday.h"
#include "racing/vocabulary.h"
#include "followed/reportview.h"
#include "gui/appearance.h"
#include "gui/sortproxy.h"
#include "tests/support/realdialogs.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testdatabase.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QToolTip>
#include <QTreeWidget>
#include <QtTest>

using dialogs::Answer;
using dialogs::Buttons;
using dialogs::Icon;

namespace {

const QString kNoRaces = QStringLiteral("Pas de courses enregistrés pour le cheval ");
const QString kSelectToModify =
    QStringLiteral("Vous devez selectionner un cheval de suivit avant de le modifier");

// One runner of CR: the columns named (separated by "|"), the others NULL.
void addRace(const TestDatabase& db, const QString& columns, const QVariantList& values) {
    QStringList names = columns.split(QLatin1Char('|'));
    for (QString& name : names)
        name = QLatin1Char('[') + name + QLatin1Char(']');
    db.exec(QStringLiteral("INSERT INTO CR (%1) VALUES (%2)")
                .arg(names.join(QLatin1Char(',')),
                     QStringList(values.size(), QStringLiteral("?")).join(QLatin1Char(','))),
            values);
}

// A followed horse with its card values (NULL where not given); returns its number.
qlonglong addFollowed(const TestDatabase& db, const QString& name, const QVariantList& card = {}) {
    QVariantList params{name};
    for (int i = 0; i < 6; ++i)
        params << (i < card.size() ? card.at(i) : QVariant());
    db.exec(QStringLiteral("INSERT INTO MESSUIVITS (nomcheval, SaValeur, EtatTerrain, LaDistance, "
                           "LaDotation, TypeCourse, SaPlace) VALUES (?,?,?,?,?,?,?)"),
            params);
    return db.scalar(QStringLiteral("SELECT max(num) FROM MESSUIVITS")).toLongLong();
}

QStringList followedRow(const TestDatabase& db, const QString& name) {
    QSqlQuery q =
        db.db()->exec(QStringLiteral("SELECT * FROM MESSUIVITS WHERE nomcheval=?"), {name});
    QStringList row;
    if (q.next())
        for (int i = 1; i < 8; ++i)
            row << (q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString());
    return row;
}

int count(const TestDatabase& db, const QString& table) {
    return db.scalar(QStringLiteral("SELECT count(*) FROM ") + table).toInt();
}

class Window {
public:
    // A new window, or the one an opener showed.
    explicit Window(Fsuivit* shown = nullptr) : w(shown ? shown : new Fsuivit) {
        if (!shown)
            w->resize(1400, 760);
        w->show();
        QVERIFY2(QTest::qWaitForWindowExposed(w), "window not shown");
    }
    ~Window() {
        if (w)
            w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    template <typename T> T* get(const char* name) const {
        T* control = w->findChild<T*>(QString::fromLatin1(name));
        if (!control)
            qFatal("no control %s", name);
        return control;
    }
    QListWidget* list() const { return get<QListWidget>("Lsuivit"); }
    // Whether the list shows the cell cut short, as its delegate cuts it.
    bool cut(int row, int column) const {
        const int margin = view()->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
        const int room = view()->header()->sectionSize(column) - 2 * margin;
        return view()->fontMetrics().elidedText(cell(row, column), Qt::ElideRight, room) !=
               cell(row, column);
    }
    // The tooltip shown when the mouse rests on a cell.
    QString tooltip(int row, int column) const {
        const QModelIndex index = model()->index(row, column);
        view()->scrollTo(index);
        const QPoint at = view()->visualRect(index).center();
        QHelpEvent help(QEvent::ToolTip, at, view()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view()->viewport(), &help);
        return QToolTip::text();
    }
    ReportView* view() const { return get<ReportView>("Lstview_partant"); }
    QAbstractItemModel* model() const { return view()->model(); }
    QString text(const char* name) const {
        if (auto* edit = w->findChild<QLineEdit*>(QString::fromLatin1(name)))
            return edit->text();
        if (auto* plain = w->findChild<QPlainTextEdit*>(QString::fromLatin1(name)))
            return plain->toPlainText();
        return get<QLabel>(name)->text();
    }
    void setText(const char* name, const QString& text) const {
        if (auto* plain = w->findChild<QPlainTextEdit*>(QString::fromLatin1(name)))
            plain->setPlainText(text);
        else
            get<QLineEdit>(name)->setText(text);
    }
    void click(const char* button) const { get<QPushButton>(button)->click(); }
    QStringList entries() const {
        QStringList names;
        for (int i = 0; i < list()->count(); ++i)
            names << list()->item(i)->text();
        return names;
    }
    QString selected() const {
        const auto items = list()->selectedItems();
        return items.isEmpty() ? QString() : items.first()->text();
    }
    // A user's click on an entry of the followed list.
    void clickEntry(const QString& name) const {
        const auto items = list()->findItems(name, Qt::MatchExactly);
        QVERIFY2(items.size() == 1, qPrintable(name));
        const QRect rect = list()->visualItemRect(items.first());
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rect.center());
    }
    // Types into the search box and leaves it.
    void search(const QString& typed) const {
        auto* box = get<QLineEdit>("Text1");
        box->setFocus();
        box->setText(typed);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(box, &out);
    }
    QString cell(int row, int column) const {
        return model()->data(model()->index(row, column)).toString();
    }
    QStringList rowTexts(int row) const {
        QStringList cells;
        for (int c = 0; c < model()->columnCount(); ++c)
            cells << cell(row, c);
        return cells;
    }
    QStringList column(int column) const {
        QStringList cells;
        for (int r = 0; r < model()->rowCount(); ++r)
            cells << cell(r, column);
        return cells;
    }
    QStringList headers() const {
        QStringList texts;
        for (int c = 0; c < model()->columnCount(); ++c)
            texts << model()->headerData(c, Qt::Horizontal).toString();
        return texts;
    }
    bool red(int row) const {
        const QVariant colour = model()->data(model()->index(row, 0), Qt::ForegroundRole);
        return colour.isValid() && colour.value<QColor>() == QColor(255, 0, 0);
    }
    int rowOf(const QString& horse) const { return column(0).indexOf(horse); }
    void clickHeader(int column) const {
        QHeaderView* header = view()->header();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }
    void doubleClickRow(int row) const {
        const QModelIndex index = model()->index(row, 0);
        view()->scrollTo(index);
        const QPoint at = view()->visualRect(index).center();
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, at);
    }

    QPointer<Fsuivit> w;
};

// Races of the history tests: three of ECLAIR, out of date order.
void addEclairRaces(const TestDatabase& db) {
    addRace(db,
            "cheval|date|hippodrome|R|C|course|nbPartant|distance|dotation|dossard|chevalMusique|"
            "jockey|statut|place|Terrain|Etat|valeur|type de course|commentaire|discipline",
            {"ECLAIR",        "2024-03-10", "Vincennes", 1,           4,
             "Prix de Paris", 14,           2700,        45000,       7,
             "1a2a",          "J. Martin",  "P",         "2",         "Bon",
             "Souple",        42.5,         "Handicap",  "Bien fini", "plat"});
    addRace(db, "cheval|date|hippodrome|R|C|place|commentaire",
            {"ECLAIR", "2023-11-02", "Auteuil", 2, 1, "1", "Facile"});
    addRace(db, "cheval|date|hippodrome|R|C|place",
            {"ECLAIR", "2024-01-15 14:30", "chantilly", 3, 12, "NP"});
    addRace(db, "cheval|date|hippodrome", {"AUTRE", "2022-01-01", "Pau"});
}

// Results behind the confirmation lists.
void addConfirmationRaces(const TestDatabase& db) {
    const auto runner = [&](const char* horse, const char* date, const char* place,
                            const QVariant& value, const char* type, const char* discipline,
                            const char* hippodrome = "Longchamp") {
        const QString columns = QStringLiteral("cheval|date|hippodrome|R|C|distance|dotation|"
                                               "place|valeur|type de course|Etat|discipline");
        addRace(
            db, columns,
            {horse, date, hippodrome, 1, 4, 2400, 150000, place, value, type, "Bon", discipline});
    };
    runner("ALPHA", "2024-05-01", "1", QVariant(), "Groupe 1", "plat");
    // Same ten selected values at another course: listed once.
    runner("ALPHA", "2024-05-01", "1", QVariant(), "Groupe 1", "plat", "Deauville");
    runner("ALPHA", "2024-06-01", "1", QVariant(), "GROUPE 2", "plat");
    runner("BRAVO", "2024-05-02", "1", QVariant(), "Listed Race", "plat");
    runner("BRAVO", "2024-05-03", "1", QVariant(), "Groupe 3", "trot");
    runner("CHARLIE", "2024-05-04", "1", 40, "Handicap", "plat");
    runner("DELTA", "2024-05-05", "2", 40, "Handicap", "plat");
    runner("ECHO", "2024-05-06", "3", 40.5, "handicap divisé", "plat");
    runner("FOXTROT", "2024-05-07", "1", 39, "Handicap", "plat");
    runner("INDIA", "2024-05-08", "4", 50, "Handicap", "plat");
    // Unknown values: no number of meeting or race, no distance, no going.
    addRace(db, "cheval|date|hippodrome|place|valeur|dotation|type de course|discipline",
            {"GOLF", "2024-05-09", "Lyon", "2", 45, 22000, "Handicap", "plat"});
}

// The day of the card tests.
const QDate kCardDay(2025, 3, 10);

// One runner of the card of kCardDay; `race` is "hippodrome|R|C|heure|course|distance".
void addRunner(const TestDatabase& db, const QString& race, int dossard, const QString& horse,
               const QVariant& cote = QVariant()) {
    const QStringList r = race.split(QLatin1Char('|'));
    db.exec("INSERT INTO PARTANTS (date, hippodrome, R, C, heure, course, distance, discipline, "
            "[type de course], dossard, cheval, jockey, cote) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, 'trot attelé', 'Groupe I', ?, ?, 'J. Dupont', ?)",
            {kCardDay.toString(Qt::ISODate), r.at(0), r.at(1).toInt(), r.at(2).toInt(), r.at(3),
             r.at(4).isEmpty() ? QVariant() : QVariant(r.at(4)), r.at(5).toInt(), dossard, horse,
             cote});
}

// Results behind the runners' tests: a horse's races before, on and after the card's day, one
// with 500 races, one filed without its apostrophe; and the chrono list.
void addRunnerRaces(const TestDatabase& db) {
    const char* columns = "cheval|date|place|statut|valeur|type de course|discipline";
    const QList<QVariantList> known = {
        {"KNOWN", "2025-03-09 14:30", "2", "Partant"},
        {"KNOWN", "2025-03-01", "NP"},
        {"KNOWN", "2025-02-20", "5", " Non  Partant"},
        {"KNOWN", "2025-02-10", "12"},
        {"KNOWN", "2025-01-05", "DAI"},
        {"KNOWN", "2024-12-01", "1", "Partant", 60, "Groupe 1", "plat"},
        {"KNOWN", "2024-11-01", "T"},
        {"KNOWN", "2024-10-01", "3"},
        {"KNOWN", "2025-03-10", "1", "Partant", 50, "Listed", "plat"},
        {"KNOWN", "2025-04-01", "4"},
        {"LAMI DU ROI", "2025-02-01", "4"},
        {"lami du roi", "2025-01-01", "ARR"}};
    for (QVariantList race : known) {
        while (race.size() < 7)
            race << QVariant();
        addRace(db, columns, race);
    }
    // Two runs of one day, stored out of race order.
    for (const QVariantList& run :
         QList<QVariantList>{{"DOUBLE", "2025-03-05", 5, "3"}, {"DOUBLE", "2025-03-05", 2, "1"}})
        addRace(db, "cheval|date|C|place", run);
    db.exec("BEGIN");
    for (int i = 0; i < 500; ++i)
        addRace(db, columns,
                {"VETERAN", kCardDay.addDays(-1 - i).toString(Qt::ISODate),
                 QString::number(i % 12 + 1), "Partant", 45, "Handicap", "plat"});
    db.exec("COMMIT");
    QVERIFY(!listfile::replace(
        listfile::path(), {"1:14:00 ---- 1600m ---- 58Kg ---- known ---- terrain : bon",
                           "1:12:00 ---- 2000m ---- 60Kg ---- VETERAN ---- terrain : sec",
                           " ---- 1600m ---- 58Kg ---- NOUVEAU ---- terrain : bon",
                           "1:15:00 ---- 1600m ---- 58Kg ---- Known ---- terrain : lourd",
                           "1:20:00 ---- 2100m ---- 56Kg ---- l'Ami  du roi ---- terrain : "}));
}

// Labels and figures that make their own keys, as the statistics tables do: an empty figure
// is unknown, equal figures go in their labels' order whichever the direction.
class FigureTable : public QStandardItemModel, public sorting::KeySource {
public:
    sorting::ColumnKeys sortKeys(int column) const override {
        QCollator numeric = regional::frenchCollator();
        numeric.setNumericMode(true);
        sorting::ColumnKeys keys(rowCount(), numeric);
        for (int row = 0; row < rowCount(); ++row) {
            const QString label = item(row, 0)->text();
            const QString figure = item(row, 1)->text();
            if (column == 0)
                keys.setWord(row, label);
            else if (figure.isEmpty())
                keys.setUnknown(row);
            else
                keys.setNumber(row, figure.toDouble());
            keys.setTieBreak(row, label);
        }
        return keys;
    }
};

// Opens a runner's context menu on the day's card and chooses "Suivre ce cheval" when it is
// enabled; returns whether it was.
bool followFromMenu(QTreeWidget* runners, int row) {
    bool enabled = false;
    QTimer::singleShot(0, [&] {
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(popup);
        QAction* follow = popup->actions().value(0);
        QCOMPARE(follow->text(), QString("Suivre ce cheval"));
        enabled = follow->isEnabled();
        if (enabled)
            QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(follow).center());
        else
            popup->close();
    });
    const QRect rect = runners->visualItemRect(runners->topLevelItem(row));
    emit runners->customContextMenuRequested(rect.center());
    return enabled;
}

QStringList firstColumn(const QAbstractItemModel& model) {
    QStringList texts;
    for (int r = 0; r < model.rowCount(); ++r)
        texts << model.index(r, 0).data().toString();
    return texts;
}

} // namespace

class TestFollowed : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { appearance::setupApplication(*qApp); }
    void init() {
        m_db.reset();
        m_db = std::make_unique<TestDatabase>();
        m_dialogs = std::make_unique<ScriptedDialogs>();
        ChevalPreselection.clear();
    }
    void cleanup() {
        for (QWidget* w : QApplication::topLevelWidgets())
            w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const bool allUsed = !m_dialogs || m_dialogs->allUsed();
        m_dialogs.reset();
        m_db.reset();
        regional::setToday(QDate());
        QVERIFY2(allUsed, "a scripted answer was not used");
    }

    void loadsSortedListOnAFreshConnection();
    void emptyListAndCaptions();
    void preselection_data();
    void preselection();
    void search_data();
    void search();
    void sortByClickedColumn();
    void sortsNumbersBeforeCodes_data();
    void sortsNumbersBeforeCodes();
    void proxySortsByTheSourcesKeys();
    void supprimerAccents_data();
    void supprimerAccents();
    void cardShowsTheSelectedHorse();
    void saveWritesCardAndNote();
    void saveAfterAConfirmationListKeepsTheName();
    void saveOrDeleteRefusesANumberThatIsNotWhole_data();
    void saveOrDeleteRefusesANumberThatIsNotWhole();
    void largeCardNumbers();
    void saveIsAllOrNothing();
    void deleteAsksAndKeepsTheNote();
    void deleteThroughTheRealBox();
    void history();
    void historyOfAHorseWithoutRaces();
    void columnsShowTheirWholeTexts();
    void confirmationLists_data();
    void confirmationLists();
    void confirmationCellsAndColours();
    void confirmationListWidensWhenRowsOverflow();
    void followFromAConfirmationRow();
    void followingErrorsAreReported();
    void readOnlyFileOffersNoWrite();
    void historyRowCopiesItsComment();
    void nameWithQuotes();
    void engineErrorsAreReported();
    void changedCardIsAskedFor_data();
    void changedCardIsAskedFor();
    void montrerCheval();
    void newQuestionsThroughTheRealBoxes();
    void largeConfirmationList();
    void placeFigures_data();
    void placeFigures();
    void runnersFormMarksAndEstimate_data();
    void runnersFormMarksAndEstimate();
    void marksAgreeWithTheConfirmationLists();
    void followedRunningOnADay();
    void dayWindow();
    void dayWindowRefreshes();

private:
    TestDatabase& db() { return *m_db; }
    ScriptedDialogs& dialogs() { return *m_dialogs; }
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
};

void TestFollowed::loadsSortedListOnAFreshConnection() {
    for (const char* name : {"Zorro", "bolero", "Zoé", "Élan", "zèbre", "Alizé", "Eclair"})
        addFollowed(db(), name);
    const auto before = Connexion;
    Window w;
    QVERIFY(Connexion && Connexion != before);
    // French order: accented initials among the others, case ignored.
    QCOMPARE(w.entries(),
             QStringList({"Alizé", "bolero", "Eclair", "Élan", "zèbre", "Zoé", "Zorro"}));
    QCOMPARE(w.selected(), QString());
    QVERIFY(dialogs().shown().isEmpty());
}

void TestFollowed::emptyListAndCaptions() {
    Window w;
    QCOMPARE(w.list()->count(), 0);
    QVERIFY(dialogs().shown().isEmpty());
    QCOMPARE(w.w->windowTitle(), QString("Mes suivits"));
    QVERIFY(!w.w->ModeConfirmations());
    QCOMPARE(w.text("Tcheval"), QString("Cheval"));
    QCOMPARE(w.text("Tnum"), QString("Text1"));
    QCOMPARE(w.text("Label1"), QString());
    QCOMPARE(w.model()->columnCount(), 0);
    QCOMPARE(w.view()->toolTip(), QString("Cliquer sur une course pour en afficher le détail"));
    QVERIFY(w.w->findChild<QWidget*>("Image1"));
    for (const char* name : {"Tvaleur", "Tterrain", "Tdistance", "Tcourse2", "Tcourse", "Tplace",
                             "Tcomment", "TidGeny", "Text1"})
        QVERIFY2(w.text(name).isEmpty(), name);

    // Clicking the empty list asks for a horse.
    dialogs().answer(Answer::Ok);
    QTest::mouseClick(w.list()->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(dialogs().shown().size(), 1);
    QCOMPARE(dialogs().last().text, kSelectToModify);
    QCOMPARE(dialogs().last().title, QString("Erreur"));
    QCOMPARE(dialogs().last().icon, Icon::Critical);
}

void TestFollowed::preselection_data() {
    QTest::addColumn<QString>("preselection");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("searchBox");
    QTest::newRow("capitals") << "ECLAIR"
                              << "Eclair"
                              << "ECLAIR";
    QTest::newRow("mixed case") << "Eclair"
                                << ""
                                << "";
    QTest::newRow("unknown") << "ZEPHYR"
                             << ""
                             << "";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
}

void TestFollowed::preselection() {
    QFETCH(QString, preselection);
    QFETCH(QString, selected);
    QFETCH(QString, searchBox);
    addFollowed(db(), "Bolero");
    addFollowed(db(), "Eclair", {"41"});
    addEclairRaces(db());
    ChevalPreselection = preselection;
    {
        Window w;
        QCOMPARE(w.selected(), selected);
        QCOMPARE(w.text("Text1"), searchBox);
        if (!selected.isEmpty()) {
            QCOMPARE(w.text("Tvaleur"), QString("41"));
            QCOMPARE(w.model()->rowCount(), 3);
        }
        QVERIFY(dialogs().shown().isEmpty());
        QCOMPARE(ChevalPreselection, preselection);
    }
    // The window ends: the preselection is used up.
    QCOMPARE(ChevalPreselection, QString());
}

void TestFollowed::search_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("selected");
    QTest::newRow("ec: last match") << "ec"
                                    << "ECUME";
    QTest::newRow("EC") << "EC"
                        << "ECUME";
    QTest::newRow("whole name") << "eclat"
                                << "eclat";
    QTest::newRow("empty: last entry") << ""
                                       << "Zorro";
    QTest::newRow("no match") << "zz"
                              << "";
    QTest::newRow("longer than names") << "Bolero de Ravel"
                                       << "";
}

void TestFollowed::search() {
    QFETCH(QString, typed);
    QFETCH(QString, selected);
    for (const char* name : {"Zorro", "Eclair", "bolero", "ECUME", "eclat"})
        addFollowed(db(), name);
    Window w;
    QCOMPARE(w.entries(), QStringList({"bolero", "Eclair", "eclat", "ECUME", "Zorro"}));
    // None has a race: every loaded card says so, once per search.
    if (!selected.isEmpty())
        dialogs().answer(Answer::Ok);
    w.search(typed);
    QCOMPARE(w.selected(), selected);
    if (!selected.isEmpty()) {
        QCOMPARE(dialogs().shown().size(), 1);
        QCOMPARE(dialogs().last().text, kNoRaces + selected);
        QCOMPARE(w.text("Tcheval"), selected);
        QCOMPARE(w.text("Text1"), selected);
    } else {
        QVERIFY(dialogs().shown().isEmpty());
        QCOMPARE(w.text("Tcheval"), QString("Cheval"));
    }
}

void TestFollowed::sortByClickedColumn() {
    addFollowed(db(), "ECLAIR");
    addEclairRaces(db());
    Window w;
    QAbstractItemModelTester shownTester(w.model());
    QAbstractItemModelTester reportTester(w.view()->report());
    w.clickEntry("ECLAIR");
    QCOMPARE(w.column(1), QStringList({"Auteuil", "chantilly", "Vincennes"}));
    // Texts, whatever their case; then the reverse.
    w.clickHeader(1);
    QCOMPARE(w.column(1), QStringList({"Auteuil", "chantilly", "Vincennes"}));
    w.clickHeader(1);
    QCOMPARE(w.column(1), QStringList({"Vincennes", "chantilly", "Auteuil"}));
    // The order toggles at each click; dates by the calendar, numbers by value.
    w.clickHeader(0);
    QCOMPARE(w.column(0), QStringList({"02/11/2023", "15/01/2024 14:30", "10/03/2024"}));
    w.clickHeader(0);
    QCOMPARE(w.column(0), QStringList({"10/03/2024", "15/01/2024 14:30", "02/11/2023"}));
    QCOMPARE(w.tooltip(0, 8), QString("7")); // the saddle number of the race shown
    // The selected race stays selected wherever it moves.
    w.view()->setCurrentIndex(w.model()->index(0, 0));
    w.clickHeader(3);
    QCOMPARE(w.view()->currentIndex().siblingAtColumn(1).data().toString(), QString("Vincennes"));
    QCOMPARE(w.view()->cellText(w.view()->selectedRow(), 1), QString("Vincennes"));
    QCOMPARE(w.column(3), QStringList({"1", "4", "12"}));
    w.clickHeader(12); // place, here in reverse: the numbers, then the codes
    QCOMPARE(w.column(12), QStringList({"2", "1", "NP"}));
    w.clickHeader(0);
    // Rows move whole.
    QCOMPARE(w.rowTexts(0).at(1), QString("Auteuil"));
    QCOMPARE(w.rowTexts(2).at(17), QString("Bien fini"));
    // A new load shows the races in date order again.
    w.clickEntry("ECLAIR");
    QCOMPARE(w.column(1), QStringList({"Auteuil", "chantilly", "Vincennes"}));
    QVERIFY(dialogs().shown().isEmpty());
}

void TestFollowed::sortsNumbersBeforeCodes_data() {
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QStringList>("ascending");
    QTest::addColumn<QStringList>("descending");
    QTest::newRow("places") << QStringList{"1", "10", "DAI", "11", "2", "NP", "Arr", "2"}
                            << QStringList{"1", "2", "2", "10", "11", "Arr", "DAI", "NP"}
                            << QStringList{"11", "10", "2", "2", "1", "NP", "DAI", "Arr"};
    QTest::newRow("places and empty cells")
        << QStringList{"", "3", "DAI", "1"} << QStringList{"", "1", "3", "DAI"}
        << QStringList{"3", "1", "DAI", ""};
    QTest::newRow("words and one number") << QStringList{"Zoé", "zèbre", "12", "Élan", "Eclair"}
                                          << QStringList{"12", "Eclair", "Élan", "zèbre", "Zoé"}
                                          << QStringList{"Zoé", "zèbre", "Élan", "Eclair", "12"};
    QTest::newRow("dates and unknown cells")
        << QStringList{"15/01/2024 14:30", "NonConnu", "02/11/2023", "10/03/2024", ""}
        << QStringList{"NonConnu", "", "02/11/2023", "15/01/2024 14:30", "10/03/2024"}
        << QStringList{"10/03/2024", "15/01/2024 14:30", "02/11/2023", "NonConnu", ""};
    QTest::newRow("decimal numbers") << QStringList{"42,5", "40", "40.25", "100", "9,75"}
                                     << QStringList{"9,75", "40", "40.25", "42,5", "100"}
                                     << QStringList{"100", "42,5", "40.25", "40", "9,75"};
    QTest::newRow("equal words keep their order")
        << QStringList{"eclair", "Alpha", "ECLAIR", "Eclair"}
        << QStringList{"Alpha", "eclair", "ECLAIR", "Eclair"}
        << QStringList{"eclair", "ECLAIR", "Eclair", "Alpha"};
}

void TestFollowed::sortsNumbersBeforeCodes() {
    QFETCH(QStringList, cells);
    QFETCH(QStringList, ascending);
    QFETCH(QStringList, descending);
    const auto rowsOf = [&] {
        ReportRows rows(1);
        for (const QString& cell : cells)
            rows.addCell(QStringView(cell));
        return rows;
    };
    ReportModel model;
    QAbstractItemModelTester tester(&model);
    model.setHeaders({"Place"});
    model.setRows(rowsOf());
    const auto column = [&] {
        QStringList texts;
        for (int r = 0; r < model.rowCount(); ++r)
            texts << model.cellText(r, 0);
        return texts;
    };
    model.sort(0, Qt::AscendingOrder);
    QCOMPARE(column(), ascending);
    model.sort(0, Qt::DescendingOrder);
    QCOMPARE(column(), descending);

    // The lists show them sorted the same way through the proxy, their rows unmoved.
    ReportModel shown;
    shown.setHeaders({"Place"});
    shown.setRows(rowsOf());
    SortProxy proxy;
    QAbstractItemModelTester proxyTester(&proxy);
    proxy.setSourceModel(&shown);
    proxy.sort(0, Qt::AscendingOrder);
    QCOMPARE(firstColumn(proxy), ascending);
    proxy.sort(0, Qt::DescendingOrder);
    QCOMPARE(firstColumn(proxy), descending);
    proxy.sort(-1);
    QCOMPARE(firstColumn(proxy), cells);
}

void TestFollowed::proxySortsByTheSourcesKeys() {
    FigureTable table;
    for (const auto& [label, figure] : {std::pair{"Cheval 10", "5"},
                                        {"cheval 2", "5"},
                                        {"Arc", "7"},
                                        {"Zèbre", ""},
                                        {"Bise", "-2"}})
        table.appendRow({new QStandardItem(label), new QStandardItem(figure)});
    SortProxy proxy;
    QAbstractItemModelTester tester(&proxy);
    proxy.setSourceModel(&table);
    proxy.sort(1, Qt::AscendingOrder);
    QCOMPARE(firstColumn(proxy), QStringList({"Zèbre", "Bise", "cheval 2", "Cheval 10", "Arc"}));
    proxy.sort(1, Qt::DescendingOrder);
    QCOMPARE(firstColumn(proxy), QStringList({"Arc", "cheval 2", "Cheval 10", "Bise", "Zèbre"}));
    // A changed figure is sorted by its new value.
    table.item(0, 1)->setText("8");
    proxy.sort(1, Qt::DescendingOrder);
    QCOMPARE(firstColumn(proxy), QStringList({"Cheval 10", "Arc", "cheval 2", "Bise", "Zèbre"}));
    proxy.sort(0, Qt::DescendingOrder);
    QCOMPARE(firstColumn(proxy), QStringList({"Zèbre", "Cheval 10", "cheval 2", "Bise", "Arc"}));
}

void TestFollowed::supprimerAccents_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("words") << "Élève à Noël"
                           << "Eleve a Noel";
    QTest::newRow("not in the table") << "Ÿ À œ Æ ß"
                                      << "Ÿ À œ Æ ß";
    QTest::newRow("both cases") << "Ça ÿ Ý ñ Ö"
                                << "Ca y Y n O";
    QTest::newRow("plain") << "L'AMI \"JO\" 42"
                           << "L'AMI \"JO\" 42";
    QTest::newRow("empty") << ""
                           << "";
}

void TestFollowed::supprimerAccents() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    Window w;
    const QString result = w.w->SupprimerAccents(text);
    QCOMPARE(result, expected);
    QCOMPARE(result.size(), text.size());
}

void TestFollowed::cardShowsTheSelectedHorse() {
    const qlonglong eclair =
        addFollowed(db(), "ECLAIR", {"41", "Bon", "2400", "50000", "Handicap", "3"});
    db().exec("INSERT INTO COURSES VALUES (?, ?, ?)", {eclair, "A revoir", "1234567"});
    const qlonglong nuage = addFollowed(db(), "NUAGE", {"38", QVariant(), QVariant(), "22000"});
    addEclairRaces(db());
    Window w;

    w.clickEntry("ECLAIR");
    QCOMPARE(w.text("Tnum"), QString::number(eclair));
    QCOMPARE(w.text("Tcheval"), QString("ECLAIR"));
    QCOMPARE(w.text("Label1"), QString("Courses du cheval ECLAIR"));
    const QStringList card = {w.text("Tvaleur"),  w.text("Tterrain"), w.text("Tdistance"),
                              w.text("Tcourse2"), w.text("Tcourse"),  w.text("Tplace"),
                              w.text("Tcomment"), w.text("TidGeny"),  w.text("Text1")};
    QCOMPARE(card, QStringList({"41", "Bon", "2400", "50000", "Handicap", "3", "A revoir",
                                "1234567", "ECLAIR"}));
    QCOMPARE(w.model()->rowCount(), 3);
    QVERIFY(!w.w->ModeConfirmations());

    // No note row, a null race type: empty boxes, nothing left over from ECLAIR.
    dialogs().answer(Answer::Ok);
    w.clickEntry("NUAGE");
    QCOMPARE(dialogs().last().text, kNoRaces + "NUAGE");
    QCOMPARE(w.text("Tnum"), QString::number(nuage));
    QCOMPARE(w.text("Tcourse2"), QString("22000"));
    QCOMPARE(w.text("Tcourse"), QString());
    QCOMPARE(w.text("Tterrain"), QString());
    QCOMPARE(w.text("Tcomment"), QString());
    QCOMPARE(w.text("TidGeny"), QString());

    // Clicking the entry already selected loads it again.
    dialogs().answer(Answer::Ok);
    w.setText("Tcourse2", "changé");
    w.clickEntry("NUAGE");
    QCOMPARE(w.text("Tcourse2"), QString("22000"));
    QCOMPARE(dialogs().shown().size(), 2);
}

void TestFollowed::saveWritesCardAndNote() {
    const qlonglong num = addFollowed(db(), "ECLAIR");
    addEclairRaces(db());
    Window w;
    w.clickEntry("ECLAIR");
    QCOMPARE(w.text("Tnum"), QString::number(num));

    // Empty boxes get their placeholders; only the note row stores them.
    w.click("Command1");
    QCOMPARE(
        (QStringList{w.text("Tvaleur"), w.text("Tterrain"), w.text("Tdistance"), w.text("Tcourse2"),
                     w.text("Tcourse"), w.text("Tplace"), w.text("Tcomment"), w.text("TidGeny")}),
        QStringList({"00,0", "A renseigner", "0000", "A renseigner", "A renseigner", "00",
                     "a saisir", "a saisir"}));
    QCOMPARE(followedRow(db(), "ECLAIR"),
             QStringList({"ECLAIR", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>"}));
    QCOMPARE(count(db(), "COURSES"), 1);
    QCOMPARE(
        db().scalar("SELECT reference || '|' || date || '|' || IdGeny FROM COURSES").toString(),
        QString("%1|a saisir|a saisir").arg(num));

    // Saving again changes the same note row.
    w.setText("Tvaleur", "42,5");
    w.setText("Tplace", "1");
    w.setText("Tcomment", "Bien fini, à suivre");
    w.setText("TidGeny", "");
    w.click("Command1");
    QCOMPARE(count(db(), "COURSES"), 1);
    QCOMPARE(db().scalar("SELECT date || '|' || IdGeny FROM COURSES").toString(),
             QString("Bien fini, à suivre|a saisir"));
    QCOMPARE(followedRow(db(), "ECLAIR"), QStringList({"ECLAIR", "42,5", "A renseigner", "0000",
                                                       "A renseigner", "A renseigner", "1"}));
    QVERIFY(dialogs().shown().isEmpty());

    // Saving without a selected horse asks for one.
    w.list()->clearSelection();
    dialogs().answer(Answer::Ok);
    w.click("Command1");
    QCOMPARE(dialogs().last().text, kSelectToModify);
    QCOMPARE(dialogs().last().icon, Icon::Critical);
}

void TestFollowed::saveAfterAConfirmationListKeepsTheName() {
    addFollowed(db(), "ECLAIR", {"41"});
    addEclairRaces(db());
    Window w;
    w.clickEntry("ECLAIR");
    w.click("Bt_Groupe");
    QCOMPARE(w.text("Tcheval"), QString());
    w.setText("Tvaleur", "44");
    w.click("Command1");
    QCOMPARE(followedRow(db(), "ECLAIR").mid(0, 2), QStringList({"ECLAIR", "44"}));
    QCOMPARE(count(db(), "MESSUIVITS"), 1);
}

void TestFollowed::saveOrDeleteRefusesANumberThatIsNotWhole_data() {
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("button");
    for (const char* button : {"Command1", "Bt_supprime"}) {
        for (const char* number : {"", "  ", "abc", "12,5", "1e3", "Text1", "99999999999999999999"})
            QTest::addRow("%s '%s'", button, number) << number << button;
    }
}

void TestFollowed::saveOrDeleteRefusesANumberThatIsNotWhole() {
    QFETCH(QString, number);
    QFETCH(QString, button);
    addFollowed(db(), "ECLAIR", {"41"});
    addEclairRaces(db());
    Window w;
    w.clickEntry("ECLAIR");
    w.setText("Tnum", number);
    w.setText("Tvaleur", "");
    dialogs().answer(Answer::Ok);
    w.click(button.toLatin1().constData());
    QCOMPARE(dialogs().shown().size(), 1); // no deletion question either
    QCOMPARE(dialogs().last().title, QString("Erreur"));
    QCOMPARE(dialogs().last().icon, Icon::Critical);
    QCOMPARE(w.text("Tvaleur"), QString()); // no placeholder: nothing was saved
    QCOMPARE(followedRow(db(), "ECLAIR").value(1), QString("41"));
    QCOMPARE(count(db(), "COURSES"), 0);
    QCOMPARE(w.entries(), QStringList({"ECLAIR"}));
    dialogs().answer(Answer::No); // the number typed is not kept
}

void TestFollowed::largeCardNumbers() {
    db().exec("INSERT INTO MESSUIVITS (num, nomcheval) VALUES (40000, 'GRAND')");
    Window w;
    dialogs().answer(Answer::Ok);
    w.clickEntry("GRAND");
    QCOMPARE(w.text("Tnum"), QString("40000"));
    w.setText("Tvaleur", "12");
    w.click("Command1");
    QCOMPARE(followedRow(db(), "GRAND").value(1), QString("12"));
    QCOMPARE(db().scalar("SELECT reference FROM COURSES").toInt(), 40000);
    dialogs().answer(Answer::Ok);
    w.click("Bt_supprime");
    QCOMPARE(count(db(), "MESSUIVITS"), 0);
}

void TestFollowed::saveIsAllOrNothing() {
    addFollowed(db(), "ECLAIR", {"41"});
    addEclairRaces(db());
    db().exec("CREATE TRIGGER refuse BEFORE INSERT ON COURSES BEGIN "
              "SELECT RAISE(ABORT, 'note refusée'); END");
    Window w;
    w.clickEntry("ECLAIR");
    w.setText("Tvaleur", "50");
    dialogs().answer(Answer::Ok);
    w.click("Command1");
    QCOMPARE(dialogs().shown().size(), 1);
    QCOMPARE(dialogs().last().title, QString("Erreur"));
    QCOMPARE(dialogs().last().icon, Icon::Critical);
    QVERIFY2(dialogs().last().text.contains("note refusée"), qPrintable(dialogs().last().text));
    QCOMPARE(followedRow(db(), "ECLAIR").value(1), QString("41")); // rolled back
    QCOMPARE(w.text("Tterrain"), QString("A renseigner"));         // given before the note failed
    QCOMPARE(count(db(), "COURSES"), 0);
    // The window goes on.
    db().exec("DROP TRIGGER refuse");
    w.click("Command1");
    QCOMPARE(followedRow(db(), "ECLAIR").value(1), QString("50"));
    QCOMPARE(count(db(), "COURSES"), 1);
}

void TestFollowed::deleteAsksAndKeepsTheNote() {
    const qlonglong num = addFollowed(db(), "ECLAIR", {"41"});
    addFollowed(db(), "ZORRO");
    db().exec("INSERT INTO COURSES VALUES (?, 'note', 'id')", {num});
    addEclairRaces(db());
    Window w;

    dialogs().answer(Answer::Ok);
    w.click("Bt_supprime");
    QCOMPARE(dialogs().last().text,
             QString("Vous devez selectionner un cheval de suivit avant de le supprimer"));
    QCOMPARE(dialogs().last().title, QString("Erreur"));
    QCOMPARE(dialogs().last().icon, Icon::Critical);

    w.clickEntry("ECLAIR");
    dialogs().answer(Answer::Cancel);
    w.click("Bt_supprime");
    QCOMPARE(dialogs().last().text,
             QString("vous allez supprimer le cheval ECLAIR Voulez vous continuer?"));
    QCOMPARE(dialogs().last().title, QString("Suppression cheval de ligne"));
    QCOMPARE(dialogs().last().buttons, Buttons::OkCancel);
    QCOMPARE(dialogs().last().icon, Icon::None);
    QCOMPARE(count(db(), "MESSUIVITS"), 2);

    dialogs().answer(Answer::Ok);
    w.click("Bt_supprime");
    QCOMPARE(count(db(), "MESSUIVITS"), 1);
    QCOMPARE(count(db(), "COURSES"), 1);
    QCOMPARE(w.entries(), QStringList({"ZORRO"}));
    // The card and the races stay on screen.
    QCOMPARE(w.text("Tvaleur"), QString("41"));
    QCOMPARE(w.model()->rowCount(), 3);
    QCOMPARE(dialogs().shown().size(), 3);
}

void TestFollowed::deleteThroughTheRealBox() {
    addFollowed(db(), "ECLAIR");
    addFollowed(db(), "ZORRO");
    addEclairRaces(db());
    m_dialogs.reset();
    RealDialogs real;
    Window w;
    w.clickEntry("ECLAIR");
    real.click(QDialogButtonBox::Cancel);
    QTest::mouseClick(w.get<QPushButton>("Bt_supprime"), Qt::LeftButton);
    QCOMPARE(count(db(), "MESSUIVITS"), 2);
    real.click(QDialogButtonBox::Ok);
    QTest::mouseClick(w.get<QPushButton>("Bt_supprime"), Qt::LeftButton);
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().last().title, QString("Suppression cheval de ligne"));
    QCOMPARE(count(db(), "MESSUIVITS"), 1);
    QCOMPARE(w.entries(), QStringList({"ZORRO"}));
}

void TestFollowed::history() {
    addFollowed(db(), "ECLAIR");
    addEclairRaces(db());
    Window w;
    w.clickEntry("ECLAIR");
    QCOMPARE(w.headers(),
             QStringList({"Date", "hippodrome", "R", "C", "course", "Npartant", "Distance",
                          "dotation", "Num", "Musique", "Jockey", "Stat", "Place", "Terrain",
                          "Etat", "Valeur", "type", "Commentaire"}));
    QCOMPARE(w.model()->rowCount(), 3);
    QCOMPARE(w.column(0), QStringList({"02/11/2023", "15/01/2024 14:30", "10/03/2024"}));
    QCOMPARE(w.rowTexts(2), QStringList({"10/03/2024", "Vincennes", "1", "4", "Prix de Paris", "14",
                                         "2700", "45000", "7", "1a2a", "J. Martin", "P", "2", "Bon",
                                         "Souple", "42,5", "Handicap", "Bien fini"}));
    // Null columns are empty cells.
    QCOMPARE(w.rowTexts(1), QStringList({"15/01/2024 14:30", "chantilly", "3", "12", "", "", "", "",
                                         "", "", "", "", "NP", "", "", "", "", ""}));
    QCOMPARE(w.view()->widthTwips(), 15800);
    QCOMPARE(w.view()->sizeHint().width(), w.view()->twipsToPixels(15800));
    QCOMPARE(w.view()->header()->sectionSize(1), w.view()->twipsToPixels(1800));
    QCOMPARE(w.view()->header()->sectionSize(17), w.view()->twipsToPixels(2220));
    QVERIFY(w.view()->header()->sectionSize(8) <= w.view()->twipsToPixels(15));
    for (int r = 0; r < 3; ++r)
        QVERIFY(!w.red(r));
    QVERIFY(dialogs().shown().isEmpty());
}

void TestFollowed::historyOfAHorseWithoutRaces() {
    addFollowed(db(), "ECLAIR");
    addFollowed(db(), "SANS COURSE");
    addEclairRaces(db());
    Window w;
    w.clickEntry("ECLAIR");
    dialogs().answer(Answer::Ok);
    w.clickEntry("SANS COURSE");
    QCOMPARE(dialogs().shown().size(), 1);
    QCOMPARE(dialogs().last().text, kNoRaces + "SANS COURSE");
    QCOMPARE(dialogs().last().title, QString("Chargement des courses"));
    QCOMPARE(dialogs().last().buttons, Buttons::Ok);
    QCOMPARE(dialogs().last().icon, Icon::Information);
    QCOMPARE(w.model()->columnCount(), 18);
    QCOMPARE(w.model()->rowCount(), 0);
    QCOMPARE(w.view()->widthTwips(), 15800);
    QCOMPARE(w.text("Label1"), QString("Courses du cheval SANS COURSE"));
}

void TestFollowed::columnsShowTheirWholeTexts() {
    const QString comment = QString("Très bonne fin de course, ").repeated(8);
    addFollowed(db(), "ECLAIR");
    addRace(db(),
            "cheval|date|hippodrome|R|C|nbPartant|distance|dotation|dossard|place|commentaire|"
            "type de course|discipline",
            {"ECLAIR", "2024-04-10 14:30", "Maisons-Laffitte", 2, 10, 16, 2400, 1000000, 12, "1",
             comment, "Groupe 1", "plat"});
    Window w;
    w.clickEntry("ECLAIR");
    QHeaderView* header = w.view()->header();
    for (int c = 0; c < 18; ++c) {
        if (c == 8 || c == 11) // all but hidden, as designed
            continue;
        QVERIFY2(header->sectionSize(c) >= header->sectionSizeHint(c), qPrintable(w.headers()[c]));
        QVERIFY2(c == 17 || !w.cut(0, c), qPrintable(w.cell(0, c)));
    }
    // Beyond the cap, the whole text as tooltip; a whole cell keeps the list's tooltip.
    QCOMPARE(header->sectionSize(17), w.view()->twipsToPixels(ReportView::kMaxFittedTwips));
    QVERIFY(w.cut(0, 17));
    QCOMPARE(w.tooltip(0, 17), comment);
    QCOMPARE(w.tooltip(0, 8), QString("12"));
    QCOMPARE(w.tooltip(0, 0), QString("Cliquer sur une course pour en afficher le détail"));

    w.click("Bt_Groupe");
    QCOMPARE(w.rowTexts(0).mid(4, 3), QStringList({"1000000", "10/04/2024 14:30", "R2C10"}));
    for (int c = 0; c < 9; ++c)
        QVERIFY2(!w.cut(0, c), qPrintable(w.cell(0, c)));
}

void TestFollowed::confirmationLists_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("horses");
    QTest::newRow("groupe") << "Bt_Groupe"
                            << "Listes des confirmations chevaux de groupe qui ont terminés 1er"
                            << QStringList({"ALPHA", "ALPHA"});
    QTest::newRow("listed") << "Bt_listed"
                            << "Listes des confirmations chevaux de listed qui ont terminés 1er"
                            << QStringList({"BRAVO"});
    QTest::newRow("handicap 1er") << "bt_handVal40"
                                  << "Listes des confirmations chevaux d'handicap qui ont "
                                     "terminés 1er, avec une valeur egale ou  supérieur à 40"
                                  << QStringList({"CHARLIE"});
    QTest::newRow("handicap 2e-3e") << "bt_handSup40"
                                    << "Listes des confirmations chevaux d'handicap qui ont "
                                       "terminés 2ieme ou 3ieme, avec une valeur supérieur à 40"
                                    << QStringList({"ECHO", "GOLF"});
}

void TestFollowed::confirmationLists() {
    QFETCH(QString, button);
    QFETCH(QString, title);
    QFETCH(QStringList, horses);
    addConfirmationRaces(db());
    Window w;
    w.click(button.toLatin1().constData());
    QCOMPARE(w.text("Label1"), title);
    QCOMPARE(w.text("Tcheval"), QString());
    QVERIFY(w.w->ModeConfirmations());
    QCOMPARE(w.headers(), QStringList({"Cheval", "Place", "valeur", "Distance", "Dotation", "Date",
                                       "RC", "course", "Terrain"}));
    QStringList listed = w.column(0);
    listed.sort();
    QCOMPARE(listed, horses);
    QCOMPARE(w.view()->widthTwips(), 12060);
    QCOMPARE(w.view()->header()->sectionSize(0), w.view()->twipsToPixels(2400));
    QVERIFY(dialogs().shown().isEmpty());
    // The long titles wrap: the window still fits a 1024-pixel screen.
    QApplication::processEvents(); // the layout takes the new title in
    QVERIFY2(w.w->minimumSizeHint().width() <= 1024,
             qPrintable(QString::number(w.w->minimumSizeHint().width())));

    // An empty result: the headers, no row, no message.
    db().exec("DELETE FROM CR");
    w.click(button.toLatin1().constData());
    QCOMPARE(w.model()->columnCount(), 9);
    QCOMPARE(w.model()->rowCount(), 0);
    QVERIFY(dialogs().shown().isEmpty());
}

void TestFollowed::confirmationCellsAndColours() {
    addConfirmationRaces(db());
    addFollowed(db(), "ECHO");
    addFollowed(db(), "golf"); // names compare exactly: not the same horse as GOLF
    Window w;
    w.click("bt_handSup40");
    QCOMPARE(w.rowTexts(w.rowOf("GOLF")),
             QStringList({"GOLF", "2", "45", "NonConnu", "22000", "09/05/2024", "RC", "Handicap",
                          "NonConnu"}));
    QCOMPARE(w.rowTexts(w.rowOf("ECHO")),
             QStringList({"ECHO", "3", "40,5", "2400", "150000", "06/05/2024", "R1C4",
                          "handicap divisé", "Bon"}));
    QVERIFY(!w.red(w.rowOf("ECHO")));
    QVERIFY(w.red(w.rowOf("GOLF")));

    w.click("Bt_Groupe");
    QCOMPARE(w.rowTexts(0).at(2), QString("NonConnu"));
    QVERIFY(w.red(0) && w.red(1));

    // Selecting a followed horse brings its races back.
    w.clickEntry("ECHO");
    QVERIFY(!w.w->ModeConfirmations());
    QCOMPARE(w.model()->columnCount(), 18);
    QCOMPARE(w.text("Tcheval"), QString("ECHO"));
    QCOMPARE(w.column(0), QStringList({"06/05/2024"}));
    QVERIFY(!w.red(0));
}

void TestFollowed::confirmationListWidensWhenRowsOverflow() {
    addConfirmationRaces(db());
    for (int i = 0; i < 300; ++i)
        addRace(db(), "cheval|date|hippodrome|place|type de course|discipline",
                {QString("CHEVAL %1").arg(i, 3, 10, QLatin1Char('0')), "2024-01-01", "Pau", "1",
                 "Listed", "plat"});
    Window w;
    w.click("Bt_Groupe");
    QCOMPARE(w.view()->widthTwips(), 12060);
    w.click("Bt_listed");
    QCOMPARE(w.model()->rowCount(), 301);
    QCOMPARE(w.view()->widthTwips(), 12320);
}

void TestFollowed::followFromAConfirmationRow() {
    addConfirmationRaces(db());
    addFollowed(db(), "Alpha");
    addFollowed(db(), "Zorro");
    const qlonglong echo = addFollowed(db(), "Echo", {"1", "2", "3", "4", "5", "6"});
    Window w;
    w.click("bt_handSup40");
    // Shown in the other order than the list's own: a row is the horse it shows.
    w.clickHeader(0);
    QVERIFY(w.view()->cellText(0, 0) != w.cell(0, 0));
    QVERIFY(w.red(w.rowOf("GOLF")));

    w.doubleClickRow(w.rowOf("GOLF"));
    QCOMPARE(count(db(), "MESSUIVITS"), 4);
    QCOMPARE(followedRow(db(), "GOLF"),
             QStringList({"GOLF", "45", "NonConnu", "NonConnu", "22000", "Handicap", "2"}));
    QCOMPARE(w.entries(), QStringList({"Alpha", "Echo", "GOLF", "Zorro"}));
    // The list keeps showing the confirmations.
    QVERIFY(w.w->ModeConfirmations());
    QCOMPARE(w.model()->rowCount(), 2);

    // Again: the same row, no second one.
    w.doubleClickRow(w.rowOf("GOLF"));
    QCOMPARE(count(db(), "MESSUIVITS"), 4);

    // A followed horse (in another case) gets the row's values, keeps its name and number.
    w.doubleClickRow(w.rowOf("ECHO"));
    QCOMPARE(count(db(), "MESSUIVITS"), 4);
    QCOMPARE(followedRow(db(), "Echo"),
             QStringList({"Echo", "40,5", "Bon", "2400", "150000", "handicap divisé", "3"}));
    QCOMPARE(db().scalar("SELECT num FROM MESSUIVITS WHERE nomcheval='Echo'").toLongLong(), echo);
    QVERIFY(dialogs().shown().isEmpty());

    // A double-click beside the rows does nothing.
    w.view()->clearSelection();
    QTest::mouseDClick(w.view()->viewport(), Qt::LeftButton, {},
                       QPoint(5, w.view()->viewport()->height() - 5));
    QCOMPARE(count(db(), "MESSUIVITS"), 4);
}

// A follow the store refuses is told, from the notebook's rows as from the day's card.
void TestFollowed::followingErrorsAreReported() {
    addConfirmationRaces(db());
    db().exec("CREATE TRIGGER refuse BEFORE INSERT ON MESSUIVITS BEGIN "
              "SELECT RAISE(ABORT, 'refusé'); END");
    {
        Window w;
        w.click("Bt_listed");
        dialogs().answer(Answer::Ok);
        w.doubleClickRow(0);
        QCOMPARE(dialogs().last().title, QString("Erreur"));
        QCOMPARE(dialogs().last().icon, Icon::Critical);
        QVERIFY2(dialogs().last().text.contains("Erreur n° 19 : refusé"),
                 qPrintable(dialogs().last().text));
        QVERIFY(w.entries().isEmpty());
    }
    db().exec("DROP TRIGGER refuse");

    regional::setToday(kCardDay);
    addRunner(db(), "Vincennes|1|3|13:50||2700", 1, "BOLD");
    addRunner(db(), "Vincennes|1|3|13:50||2700", 2, "ECLAIR");
    addFollowed(db(), "ECLAIR");
    auto* window = Fjour::showSingle();
    auto* runners = window->findChild<QTreeWidget*>("LstPartants");
    QCOMPARE(runners->topLevelItemCount(), 2);
    {
        // Another program holds the file past the two seconds' wait.
        auto other = data::Database::open(db().file());
        other->exec("BEGIN IMMEDIATE");
        dialogs().answer(Answer::Ok);
        QVERIFY(followFromMenu(runners, 0));
        QCOMPARE(dialogs().last().title, QString("Erreur"));
        QVERIFY2(dialogs().last().text.contains("utilisé par un autre programme"),
                 qPrintable(dialogs().last().text));
        other->exec("ROLLBACK");
    }
    // The engine refuses to write the file: said in a real box, closed with its button.
    db().exec("PRAGMA query_only = 1");
    m_dialogs.reset();
    RealDialogs real;
    real.click(QDialogButtonBox::Ok);
    QVERIFY(followFromMenu(runners, 0));
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().value(0).title, QString("Erreur"));
    QVERIFY2(real.seen().value(0).text.contains("lecture seule"),
             qPrintable(real.seen().value(0).text));
    QCOMPARE(count(db(), "MESSUIVITS"), 1);
    QVERIFY(!runners->topLevelItem(0)->font(1).bold());
}

// A file the program could not lock: every window reads it, none offers to write it.
void TestFollowed::readOnlyFileOffersNoWrite() {
    addConfirmationRaces(db());
    addFollowed(db(), "Alpha", {"41"});
    regional::setToday(kCardDay);
    addRunner(db(), "Vincennes|1|3|13:50||2700", 1, "BOLD");
    OuvrirConnexionLectureSeule();
    Window w;
    QCOMPARE(w.w->windowTitle(), QString("Mes suivits (lecture seule)"));
    QVERIFY(!w.get<QPushButton>("Command1")->isEnabled());
    QVERIFY(!w.get<QPushButton>("Bt_supprime")->isEnabled());
    w.clickEntry("Alpha");
    QCOMPARE(w.text("Tvaleur"), QString("41"));
    QVERIFY(w.get<QLineEdit>("Tvaleur")->isReadOnly());
    // A double-click cannot be disabled: it is refused in words.
    w.click("Bt_listed");
    dialogs().answer(Answer::Ok);
    w.doubleClickRow(0);
    QCOMPARE(dialogs().last().text, MessageLectureSeule());
    QCOMPARE(count(db(), "MESSUIVITS"), 1);

    auto* jour = Fjour::showSingle();
    QCOMPARE(jour->windowTitle(), QString("Courses du jour (lecture seule)"));
    jour->findChild<QCheckBox*>("ChkSuivis")->click();
    QVERIFY(!followFromMenu(jour->findChild<QTreeWidget*>("LstPartants"), 0));
    // Nothing can be saved: closing asks nothing.
    QVERIFY(w.w->close());
}

void TestFollowed::historyRowCopiesItsComment() {
    addFollowed(db(), "ECLAIR");
    addEclairRaces(db());
    Window w;
    w.clickEntry("ECLAIR");
    w.doubleClickRow(2);
    QCOMPARE(w.text("Tcomment"), QString("Bien fini"));
    w.doubleClickRow(1); // no comment
    QCOMPARE(w.text("Tcomment"), QString());
    w.doubleClickRow(0);
    QCOMPARE(w.text("Tcomment"), QString("Facile"));
    // Stored only with the card.
    QCOMPARE(count(db(), "COURSES"), 0);
    QCOMPARE(count(db(), "MESSUIVITS"), 1);
    w.click("Command1");
    QCOMPARE(db().scalar("SELECT date FROM COURSES").toString(), QString("Facile"));
    QVERIFY(dialogs().shown().isEmpty());
}

void TestFollowed::nameWithQuotes() {
    const QString name = QStringLiteral("L'AMI \"JO\"");
    addFollowed(db(), name, {"40"});
    addRace(db(), "cheval|date|hippodrome|R|C|place|type de course|discipline|commentaire",
            {name, "2024-04-01", "Caen", 2, 3, "1", "Groupe 3", "plat", "S'impose"});
    Window w;
    w.clickEntry(name);
    QCOMPARE(w.text("Tcheval"), name);
    QCOMPARE(w.text("Tvaleur"), QString("40"));
    QCOMPARE(w.model()->rowCount(), 1);
    QCOMPARE(w.cell(0, 17), QString("S'impose"));
    w.setText("Tcomment", "Vu à \"Caen\"");
    w.click("Command1");
    QCOMPARE(db().scalar("SELECT date FROM COURSES").toString(), QString("Vu à \"Caen\""));

    w.click("Bt_Groupe");
    QCOMPARE(w.column(0), QStringList({name}));
    QVERIFY(!w.red(0));
    dialogs().answer(Answer::Ok);
    w.w->findChild<QPushButton*>("Bt_supprime")->click(); // selection kept: the card's number
    QCOMPARE(count(db(), "MESSUIVITS"), 0);
    w.doubleClickRow(0);
    QCOMPARE(followedRow(db(), name).value(0), name);
    QCOMPARE(w.entries(), QStringList({name}));
    QCOMPARE(dialogs().shown().size(), 1);
}

void TestFollowed::engineErrorsAreReported() {
    addFollowed(db(), "ECLAIR");
    // Results of another shape: the queries fail.
    db().exec("ALTER TABLE CR RENAME COLUMN jockey TO pilote");
    db().exec("ALTER TABLE CR RENAME COLUMN Etat TO etat_piste");
    Window w;
    dialogs().answer(Answer::Ok);
    w.clickEntry("ECLAIR");
    QCOMPARE(dialogs().last().title, QString("Erreur"));
    QCOMPARE(dialogs().last().icon, Icon::Critical);
    QVERIFY2(dialogs().last().text.contains("jockey"), qPrintable(dialogs().last().text));
    dialogs().answer(Answer::Ok);
    w.click("bt_handVal40");
    QCOMPARE(dialogs().shown().size(), 2);
    QCOMPARE(dialogs().last().icon, Icon::Critical);
    QCOMPARE(w.model()->rowCount(), 0);

    // A file that cannot be opened any more: the window still comes up, empty.
    Connexion.reset();
    QFile::remove(db().file());
    dialogs().answer(Answer::Ok);
    Window broken;
    QCOMPARE(dialogs().last().title, QString("Erreur"));
    QVERIFY2(dialogs().last().text.contains("introuvable"), qPrintable(dialogs().last().text));
    QCOMPARE(broken.list()->count(), 0);
    dialogs().answer(Answer::Ok);
    broken.click("Bt_Groupe");
    QCOMPARE(dialogs().last().icon, Icon::Critical);
}

void TestFollowed::changedCardIsAskedFor_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("numberTyped"); // one the card cannot be saved with
    for (const char* how : {"click", "key", "preselection", "close"})
        for (const Answer answer : {Answer::Yes, Answer::No, Answer::Cancel})
            QTest::addRow("%s %d", how, int(answer)) << how << answer << false;
    QTest::newRow("click, saving fails") << "click" << Answer::Yes << true;
}

void TestFollowed::changedCardIsAskedFor() {
    QFETCH(QString, how);
    QFETCH(Answer, answer);
    QFETCH(bool, numberTyped);
    addFollowed(db(), "ALPHA", {"41"});
    addFollowed(db(), "BRAVO", {"38"});
    addRace(db(), "cheval|date", {"ALPHA", "2024-01-01"});
    addRace(db(), "cheval|date", {"BRAVO", "2024-01-02"});
    Window w;
    // Cards loaded and left unchanged: nothing to ask.
    w.clickEntry("ALPHA");
    w.clickEntry("BRAVO");
    w.clickEntry("ALPHA");
    QVERIFY(dialogs().shown().isEmpty());

    w.setText("Tvaleur", "45");
    if (numberTyped)
        w.setText("Tnum", "x");
    dialogs().answer(answer);
    if (numberTyped)
        dialogs().answer(Answer::Ok); // the number's error
    bool closed = false;
    if (how == "click") {
        w.clickEntry("BRAVO");
    } else if (how == "key") {
        QTest::keyClick(w.list(), Qt::Key_Down);
    } else if (how == "preselection") {
        ChevalPreselection = "BRAVO";
        w.w->AppliquerPreselection();
    } else {
        closed = w.w->close();
    }
    QVERIFY(!dialogs().shown().isEmpty());
    QCOMPARE(dialogs().shown().first().text,
             QString("Enregistrer les modifications de la fiche ?"));
    QCOMPARE(dialogs().shown().first().title, QString("Mes suivits"));
    QCOMPARE(dialogs().shown().first().buttons, Buttons::YesNoCancel);
    QCOMPARE(dialogs().shown().first().icon, Icon::Question);
    QCOMPARE(dialogs().shown().size(), numberTyped ? 2 : 1);

    QCOMPARE(followedRow(db(), "ALPHA").value(1),
             QString(answer == Answer::Yes && !numberTyped ? "45" : "41"));
    const bool left = answer != Answer::Cancel && !numberTyped;
    if (how == "close") {
        QCOMPARE(closed, left);
        QCOMPARE(w.w->isVisible(), !left);
    } else {
        QCOMPARE(w.selected(), QString(left ? "BRAVO" : "ALPHA"));
        QCOMPARE(w.text("Tcheval"), w.selected());
        QCOMPARE(w.text("Tvaleur"), QString(left ? "38" : "45"));
        QCOMPARE(w.cell(0, 0), QString(left ? "02/01/2024" : "01/01/2024"));
    }
    if (!left)
        dialogs().answer(Answer::No); // asked again when the test closes the window
}

void TestFollowed::montrerCheval() {
    addFollowed(db(), "Eclair");
    addFollowed(db(), "élan");
    addRace(db(), "cheval|date", {"Eclair", "2024-01-01"});
    addRace(db(), "cheval|date", {"élan", "2024-01-02"});
    // Not followed: said, and no window opens.
    dialogs().answer(Answer::Ok);
    QVERIFY(!Fsuivit::montrerCheval(nullptr, "zéphyr"));
    QCOMPARE(dialogs().last().text, QString("ZÉPHYR n'est pas dans vos chevaux suivis."));
    QCOMPARE(dialogs().last().title, QString("Mes suivits"));
    QCOMPARE(dialogs().last().buttons, Buttons::Ok);
    QCOMPARE(dialogs().last().icon, Icon::Information);
    QVERIFY(!Fsuivit::instance());
    QCOMPARE(ChevalPreselection, QString());

    // Followed, in any case and with its accents: the window opens on it.
    QVERIFY(Fsuivit::montrerCheval(nullptr, " Élan "));
    const QPointer<Fsuivit> open = Fsuivit::instance();
    QVERIFY(open && open->isVisible());
    Window w(open);
    QCOMPARE(w.selected(), QString("élan"));
    QCOMPARE(w.text("Text1"), QString("ÉLAN"));

    // The open window keeps its horse for one not followed, moves to one followed.
    dialogs().answer(Answer::Ok);
    QVERIFY(!Fsuivit::montrerCheval(nullptr, "ECLAIRE"));
    QCOMPARE(w.selected(), QString("élan"));
    QVERIFY(Fsuivit::montrerCheval(nullptr, "eclair"));
    QCOMPARE(w.selected(), QString("Eclair"));
    QCOMPARE(Fsuivit::instance(), open.data());
    QCOMPARE(dialogs().shown().size(), 2);
}

void TestFollowed::newQuestionsThroughTheRealBoxes() {
    addFollowed(db(), "ALPHA", {"41"});
    addRace(db(), "cheval|date", {"ALPHA", "2024-01-01"});
    m_dialogs.reset();
    RealDialogs real;
    real.click(QDialogButtonBox::Ok);
    QVERIFY(!Fsuivit::montrerCheval(nullptr, "bravo"));
    QCOMPARE(real.seen().last().text, QString("BRAVO n'est pas dans vos chevaux suivis."));

    Window w;
    w.clickEntry("ALPHA");
    auto* box = w.get<QLineEdit>("Tvaleur");
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, "45");
    real.click(QDialogButtonBox::Cancel);
    QVERIFY(!w.w->close());
    QCOMPARE(w.text("Tvaleur"), QString("45"));
    real.click(QDialogButtonBox::Yes);
    QVERIFY(w.w->close());
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().last().title, QString("Mes suivits"));
    QVERIFY(real.seen().last().buttons.join(' ').contains("Annuler"));
    QCOMPARE(followedRow(db(), "ALPHA").value(1), QString("45"));
}

void TestFollowed::largeConfirmationList() {
    const int rows = 50000;
    {
        QSqlQuery begin = db().db()->exec("BEGIN");
        for (int i = 0; i < rows; ++i)
            db().exec("INSERT INTO CR (cheval, date, hippodrome, R, C, distance, dotation, place, "
                      "valeur, [type de course], Etat, discipline) "
                      "VALUES (?, ?, 'Longchamp', 1, ?, 2000, 30000, '1', 45, 'Groupe 1', 'Bon', "
                      "'plat')",
                      {QString("CHEVAL %1").arg(i, 5, 10, QLatin1Char('0')),
                       QDate(2000, 1, 1).addDays(i / 8).toString(Qt::ISODate), i % 8 + 1});
        db().exec("COMMIT");
    }
    for (int i = 0; i < rows; i += 100)
        addFollowed(db(), QString("CHEVAL %1").arg(i, 5, 10, QLatin1Char('0')));
    Window w;
    QElapsedTimer timer;
    timer.start();
    w.click("Bt_Groupe");
    const qint64 elapsed = timer.elapsed();
    qInfo("%d confirmation rows filled and marked in %lld ms", rows, elapsed);
    QCOMPARE(w.model()->rowCount(), rows);
    int red = 0;
    for (int r = 0; r < rows; ++r)
        red += w.red(r);
    QCOMPARE(red, rows - rows / 100);

    // One horse with many races.
    for (int i = 0; i < 200; ++i)
        addRace(db(), "cheval|date|hippodrome",
                {"CHEVAL 00000", QDate(2010, 1, 1).addDays(i).toString(Qt::ISODate), "Pau"});
    timer.restart();
    w.clickEntry("CHEVAL 00000");
    qInfo("history of %d races in %lld ms", w.model()->rowCount(), timer.elapsed());
    QCOMPARE(w.model()->rowCount(), 201);
#ifdef NDEBUG
    QVERIFY2(elapsed < 1000, qPrintable(QString::number(elapsed)));
#endif
}

void TestFollowed::placeFigures_data() {
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("figure"); // empty: a non-runner, left out of the form
    QTest::newRow("1st") << "1"
                         << "Partant"
                         << "1";
    QTest::newRow("9th") << "9"
                         << ""
                         << "9";
    QTest::newRow("10th") << "10"
                          << ""
                          << "0";
    QTest::newRow("18th, blanks") << " 18 "
                                  << ""
                                  << "0";
    QTest::newRow("disqualified") << "DAI"
                                  << ""
                                  << "D";
    QTest::newRow("fell") << "T"
                          << ""
                          << "T";
    QTest::newRow("stopped") << "ARR"
                             << ""
                             << "A";
    QTest::newRow("other code, lower case") << "rp"
                                            << ""
                                            << "R";
    QTest::newRow("no place recorded") << ""
                                       << "Partant"
                                       << "?";
    QTest::newRow("NP") << "np"
                        << ""
                        << "";
    QTest::newRow("status non partant") << "5"
                                        << "NON PARTANT"
                                        << "";
}

void TestFollowed::placeFigures() {
    QFETCH(QString, place);
    QFETCH(QString, status);
    QFETCH(QString, figure);
    // The form line's figure, as the racing vocabulary reads a result.
    const auto found = racing::formFigure(racing::finishOf(place, status));
    QCOMPARE(found ? QString(*found) : QString(), figure);
}

void TestFollowed::runnersFormMarksAndEstimate_data() {
    QTest::addColumn<QString>("horse");
    QTest::addColumn<QString>("form");
    QTest::addColumn<int>("days"); // -1: none
    QTest::addColumn<QString>("marks");
    QTest::addColumn<QString>("estimate");
    QTest::addColumn<bool>("isFollowed");
    // Non-runners and the races of the day and after left out, from the form and the marks
    // alike (the Listed win of the card's day gives no L); the last line of the chrono list
    // counts (75 s per km over 2100 m).
    QTest::newRow("known races") << "KNOWN"
                                 << "2-0-D-1-T" << 1 << "G"
                                 << "2:37:50" << false;
    QTest::newRow("no race, no reduction") << "NOUVEAU"
                                           << "" << -1 << ""
                                           << "" << false;
    QTest::newRow("500 races") << "VETERAN"
                               << "1-2-3-4-5" << 1 << "H+ H2"
                               << "2:31:20" << false;
    QTest::newRow("two runs of one day, in race order") << "DOUBLE"
                                                        << "3-1" << 5 << ""
                                                        << "" << false;
    QTest::newRow("apostrophe") << "L'AMI DU ROI"
                                << "4-A" << 37 << ""
                                << "2:48:00" << true;
}

void TestFollowed::runnersFormMarksAndEstimate() {
    QFETCH(QString, horse);
    QFETCH(QString, form);
    QFETCH(int, days);
    QFETCH(QString, marks);
    QFETCH(QString, estimate);
    QFETCH(bool, isFollowed);
    addRunnerRaces(db());
    addFollowed(db(), "l'ami du roi");
    const QString race = "Vincennes|1|3|13:50|Prix d'Amérique|2100";
    addRunner(db(), race, 1, "OTHER");
    addRunner(db(), race, 2, horse, 4.5);
    const listfile::Loaded lines = listfile::load(listfile::path());
    const followed::ChronoList chrono(lines.lines);
    const QSet<QString> keys = followed::followedKeys(*db().db());
    const auto races = followed::racesOn(*db().db(), kCardDay, keys);
    QCOMPARE(races.size(), 1);
    QElapsedTimer timer;
    timer.start();
    const auto runners = followed::runnersOf(*db().db(), kCardDay, races.first(), keys, chrono);
#ifdef NDEBUG
    QVERIFY2(timer.elapsed() < 50, qPrintable(QString::number(timer.elapsed())));
#endif
    QCOMPARE(runners.size(), 2);
    const followed::Runner& runner = runners.at(1);
    QCOMPARE(runner.horse, horse);
    QCOMPARE(runner.form, form);
    QCOMPARE(runner.daysSinceLastRace.value_or(-1), days);
    QCOMPARE(runner.marks.text(), marks);
    QCOMPARE(runner.estimate, estimate);
    QCOMPARE(runner.followed, isFollowed);
    QCOMPARE(runner.odds.value_or(0), 4.5);
    QCOMPARE(races.first().followed, isFollowed ? QStringList{horse} : QStringList());
}

void TestFollowed::marksAgreeWithTheConfirmationLists() {
    addConfirmationRaces(db());
    const QStringList horses = {"ALPHA",   "BRAVO", "CHARLIE", "DELTA", "ECHO",
                                "FOXTROT", "GOLF",  "INDIA",   "JULIET"};
    for (int i = 0; i < horses.size(); ++i)
        addRunner(db(), "Longchamp|1|1|15:00||2400", i + 1, horses.at(i));
    const auto race = followed::racesOn(*db().db(), kCardDay, {}).value(0);
    const auto runners =
        followed::runnersOf(*db().db(), kCardDay, race, {}, followed::ChronoList());
    QCOMPARE(runners.size(), horses.size());
    const struct {
        followed::Confirmations list;
        bool followed::Marks::*mark;
    } lists[] = {{followed::Confirmations::GroupWinners, &followed::Marks::group},
                 {followed::Confirmations::ListedWinners, &followed::Marks::listed},
                 {followed::Confirmations::HandicapWinners40, &followed::Marks::handicapWon},
                 {followed::Confirmations::HandicapPlacedOver40, &followed::Marks::handicapPlaced}};
    for (const auto& entry : lists) {
        class Names : public followed::CellSink {
        public:
            void addCell(QStringView text) override {
                if (m_cell++ % 9 == 0)
                    names.insert(text.toString());
            }
            void addCell(QByteArrayView utf8) override { addCell(QString::fromUtf8(utf8)); }
            QSet<QString> names;

        private:
            int m_cell = 0;
        } listed;
        followed::readConfirmations(*db().db(), entry.list, listed);
        QSet<QString> marked;
        for (const followed::Runner& runner : runners)
            if (runner.marks.*entry.mark)
                marked.insert(runner.horse);
        QCOMPARE(marked, listed.names);
        QVERIFY(!marked.isEmpty());
    }
}

void TestFollowed::followedRunningOnADay() {
    QCOMPARE(followed::followedRunningOn(*db().db(), kCardDay), 0);
    addFollowed(db(), "Eclair");
    addFollowed(db(), "d'Artagnan");
    addFollowed(db(), "Absent");
    addRunner(db(), "Vincennes|1|1|13:50||2700", 1, "ECLAIR");
    addRunner(db(), "Vincennes|1|2|14:20||2700", 4, "ECLAIR"); // two races: one horse
    addRunner(db(), "Vincennes|1|2|14:20||2700", 5, "DARTAGNAN");
    addRunner(db(), "Vincennes|1|2|14:20||2700", 6, "INCONNU");
    db().exec("UPDATE PARTANTS SET date = '2025-03-11' WHERE cheval = 'INCONNU'");
    addFollowed(db(), "Inconnu");
    QCOMPARE(followed::followedRunningOn(*db().db(), kCardDay), 2);
    QCOMPARE(followed::followedRunningOn(*db().db(), kCardDay.addDays(1)), 1);
}

void TestFollowed::dayWindow() {
    regional::setToday(kCardDay);
    const QString amerique = "Vincennes|1|3|13:50|Prix d'Amérique|2700";
    addRunner(db(), amerique, 1, "BOLD", 4.5);
    addRunner(db(), amerique, 2, "ECLAIR");
    addRunner(db(), amerique, 3, "ZEPHYR", 1.8 + 33.3); // stored as 35.099999999999994
    addRunner(db(), "Auteuil|2|1|9:05|Prix du Président|3500", 1, "ALPHA");
    addRunner(db(), "Chantilly|3|2|17:00||1600", 1, "CHARLIE");
    addRace(db(), "cheval|date|place|valeur|Etat|distance|dotation|type de course",
            {"ZEPHYR", "2025-02-01", "3", 38.5, "Souple", 2100, 30000, "Course B"});
    addFollowed(db(), "Eclair");
    auto* window = Fjour::showSingle();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->windowTitle(), QString("Courses du jour"));
    QCOMPARE(window->jour(), kCardDay);
    auto* races = window->findChild<QTreeWidget*>("LstCourses");
    auto* runners = window->findChild<QTreeWidget*>("LstPartants");
    auto* filter = window->findChild<QCheckBox*>("ChkSuivis");
    QVERIFY(races && runners && filter && filter->isChecked());
    const auto column = [](QTreeWidget* list, int c) {
        QStringList texts;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            texts << list->topLevelItem(i)->text(c);
        return texts;
    };
    const auto click = [](QTreeWidget* list, int row, bool twice = false) {
        const QRect rect = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        if (twice)
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    };
    // Only the race of a followed horse, chosen at once, the followed runner in bold.
    QCOMPARE(column(races, 2), QStringList{"R1C3"});
    QCOMPARE(races->topLevelItem(0)->text(8), QString("ECLAIR"));
    QCOMPARE(column(runners, 1), QStringList({"BOLD", "ECLAIR", "ZEPHYR"}));
    QCOMPARE(runners->headerItem()->text(6), QString("Estimation"));
    QCOMPARE(column(runners, 3), QStringList({"4,5", "", "35,1"}));
    QVERIFY(runners->topLevelItem(1)->font(1).bold() && !runners->topLevelItem(0)->font(1).bold());

    // Every race by time; the one chosen stays chosen; another one shows its runners.
    filter->click();
    QCOMPARE(column(races, 0), QStringList({"9:05", "13:50", "17:00"}));
    QCOMPARE(races->currentItem()->text(2), QString("R1C3"));
    click(races, 2);
    QCOMPARE(column(runners, 1), QStringList{"CHARLIE"});
    click(races, 1);
    QCOMPARE(runners->topLevelItemCount(), 3);

    QSignalSpy bets(window, &Fjour::pariDemande);
    click(runners, 0, true);
    click(runners, 1, true);
    QCOMPARE(bets.size(), 2);
    const QString course = "R1C3 Vincennes — Prix d'Amérique";
    QCOMPARE(bets.at(0), QVariantList({kCardDay, course, "BOLD", QVariant(4.5)}));
    QCOMPARE(bets.at(1).at(2).toString(), QString("ECLAIR"));
    QVERIFY(bets.at(1).at(3).isNull());

    // The context menu follows a runner as a confirmation row does; an open notebook lists it.
    // The notebook shows a card being edited: it keeps it.
    Window notebook(Fsuivit::showSingle());
    dialogs().answer(Answer::Ok); // no race recorded for it
    notebook.clickEntry("Eclair");
    notebook.setText("Tvaleur", "44");
    const auto menu = [&](int row) { return followFromMenu(runners, row); };
    QVERIFY(!menu(1)); // ECLAIR is followed already
    QVERIFY(menu(2));
    QCOMPARE(followedRow(db(), "ZEPHYR"),
             QStringList({"ZEPHYR", "38,5", "Souple", "2100", "30000", "Course B", "3"}));
    QVERIFY(runners->topLevelItem(2)->font(1).bold());
    QCOMPARE(races->currentItem()->text(8), QString("ECLAIR, ZEPHYR"));
    QCOMPARE(notebook.entries(), QStringList({"Eclair", "ZEPHYR"}));
    QCOMPARE(notebook.selected(), QString("Eclair"));
    QCOMPARE(notebook.text("Tvaleur"), QString("44"));
    dialogs().answer(Answer::No);
    notebook.w->close();
    QCOMPARE(dialogs().last().text, QString("Enregistrer les modifications de la fiche ?"));
    QVERIFY(menu(0));
    QCOMPARE(followedRow(db(), "BOLD").mid(1), QStringList(6, "NonConnu"));

    // Another day without a card.
    window->setJour(kCardDay.addDays(1));
    QCOMPARE(races->topLevelItemCount(), 0);
    QCOMPARE(runners->topLevelItemCount(), 0);
    QCOMPARE(window->findChild<QLabel*>("LblResume")->text(),
             QString("Aucune course au programme du 11/03/2025."));
}

void TestFollowed::dayWindowRefreshes() {
    regional::setToday(kCardDay);
    addRunner(db(), "Vincennes|1|2|||2100", 1, "ALPHA");
    addRunner(db(), "Vincennes|1|1|13:50||2100", 1, "BRAVO");
    Fjour window;
    window.show();
    auto* races = window.findChild<QTreeWidget*>("LstCourses");
    auto* runners = window.findChild<QTreeWidget*>("LstPartants");
    // No followed horse runs: said, and nothing listed until the filter is off.
    QCOMPARE(races->topLevelItemCount(), 0);
    QCOMPARE(window.findChild<QLabel*>("LblCourse")->text(),
             QString("Aucun de vos chevaux suivis ne court ce jour."));
    window.findChild<QCheckBox*>("ChkSuivis")->click();
    QCOMPARE(races->topLevelItemCount(), 2);
    QCOMPARE(races->topLevelItem(1)->text(2), QString("R1C2")); // no time: last
    const QRect second = races->visualItemRect(races->topLevelItem(1));
    QTest::mouseClick(races->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(runners->topLevelItem(0)->text(6), QString());

    // A reduction saved meanwhile shows at the next click on the same race; a race added to
    // the card shows at actualiser(), the race chosen staying chosen.
    QVERIFY(!listfile::append(listfile::path(),
                              {"1:10:00 ---- 1600m ---- 58Kg ---- Alpha ---- terrain : bon"}));
    QTest::mouseClick(races->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(runners->topLevelItem(0)->text(6), QString("2:27:00"));
    addRunner(db(), "Vincennes|1|3|9:00||2100", 1, "CHARLIE");
    window.actualiser();
    QCOMPARE(races->topLevelItemCount(), 3);
    QCOMPARE(races->currentItem()->text(2), QString("R1C2"));
    QVERIFY(dialogs().shown().isEmpty());
}

QTEST_MAIN(TestFollowed)
#include "tst_followed.moc"
