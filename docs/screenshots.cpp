// The pictures of the punter's guide (docs/guide.md): each window opened on a demo ledger
// the way a punter would leave it, and saved as a PNG. scripts/screenshots makes the demo
// file with velmora-gen and runs this under a virtual X server, so that the fonts and the
// style are those of a real desktop; "today" is frozen so that the pictures only change
// when a window does.
//
//   velmora-screenshots DOSSIER_DES_DONNEES DOSSIER_DES_IMAGES
//
// The first folder holds the demo velmora.mdb, which is changed (a new month, a few
// entries): make it anew for every run.

#include "app/frmsplash.h"
#include "app/shell.h"
#include "data/connection.h"
#include "data/paths.h"
#include "data/regional.h"
#include "gui/appearance.h"
#include "ledger/form1.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageWriter>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <iterator>
#include <stdexcept>

namespace {

// Early October: September is the last whole month, October the one to open.
const QDate kToday(2014, 10, 2);
const QString kPlayer = QStringLiteral("Hélène");
const QString kLastMonth = QStringLiteral("Septembre");
const QString kNewMonth = QStringLiteral("Octobre");
// The demo's horse with the longest race history, and followed.
const QString kFollowedHorse = QStringLiteral("JOUR DE GLOIRE");
// A folder that holds no file, named as a punter's own would be: the first start's
// question shows it, and the answer No leaves it as it was.
const QByteArray kUserData = "/home/parieur/.local/share";

QTextStream& out() {
    static QTextStream stream(stderr);
    return stream;
}

// What a step could not do; the picture is skipped and the program ends with status 1.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Lets the windows lay themselves out and paint before a picture. No event loop runs the
// scenes, so what the windows hand to deleteLater (a chart's old axes) is deleted here, as
// the program's loop would.
void settle(int ms = 250) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(5);
    }
}

template <class T> T* child(const QWidget* window, const char* name) {
    T* widget = window ? window->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    if (!widget)
        throw Failure(QStringLiteral("contrôle %1 introuvable").arg(name).toStdString());
    return widget;
}

// A choice in a list, as the user makes it: the window's handler runs.
void pick(QComboBox* combo, const QString& text) {
    const int index = combo->findText(text, Qt::MatchFixedString);
    if (index < 0)
        throw Failure(QStringLiteral("« %1 » n'est pas dans la liste %2")
                          .arg(text, combo->objectName())
                          .toStdString());
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

class Pictures {
public:
    explicit Pictures(const QString& folder) : m_folder(folder) {}

    void save(QWidget* widget, const QString& name) {
        settle();
        write(widget->grab().toImage(), name);
    }

    // A part of the screen, where an open menu is a window of its own.
    void saveScreen(QScreen* screen, const QRect& area, const QString& name) {
        settle();
        write(screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage(),
              name);
    }

private:
    // No alpha channel and the strongest compression: the guide's pictures stay small.
    void write(const QImage& picture, const QString& name) {
        const QImage image = picture.convertToFormat(QImage::Format_RGB32);
        const QString path = QDir(m_folder).filePath(name + QStringLiteral(".png"));
        QImageWriter writer(path, "png");
        writer.setQuality(0);
        if (!writer.write(image))
            throw Failure(QStringLiteral("%1 : %2").arg(path, writer.errorString()).toStdString());
        out() << path << " (" << image.width() << " × " << image.height() << ")\n";
        out().flush();
    }

    QString m_folder;
};

// Answers the message and input boxes the windows open, through the program's real
// dialogs: each box is pictured when a name is given, then its button is clicked. A box no
// step expects is closed and counts as a failure: the program never waits for a person.
class Boxes : public QObject {
public:
    explicit Boxes(Pictures& pictures) : m_pictures(pictures) {
        connect(&m_timer, &QTimer::timeout, this, &Boxes::answer);
        m_timer.start(20);
    }

    void expect(QDialogButtonBox::StandardButton button, const QString& picture = QString(),
                const QString& typed = QString()) {
        m_steps.append({button, picture, typed});
    }

    int failures() const { return m_failures; }
    // Boxes that were expected and never showed: the windows changed.
    void forgetPending() {
        for (const Step& step : std::as_const(m_steps)) {
            out() << "boîte attendue qui ne s'est pas ouverte : "
                  << (step.picture.isEmpty() ? QStringLiteral("(sans image)") : step.picture)
                  << '\n';
            ++m_failures;
        }
        m_steps.clear();
    }

private:
    struct Step {
        QDialogButtonBox::StandardButton button;
        QString picture;
        QString typed;
    };

    void answer() {
        // The box opens from a handler still running: this runs in the box's own loop.
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (m_busy || !box || !box->isVisible())
            return;
        m_busy = true;
        if (m_steps.isEmpty()) {
            const auto* input = qobject_cast<QInputDialog*>(box);
            const auto* message = qobject_cast<QMessageBox*>(box);
            out() << "boîte inattendue : " << box->windowTitle() << " — "
                  << (input     ? input->labelText()
                      : message ? message->text()
                                : QString())
                  << '\n';
            ++m_failures;
            box->reject();
            m_busy = false;
            return;
        }
        const Step step = m_steps.takeFirst();
        if (auto* input = qobject_cast<QInputDialog*>(box))
            input->setTextValue(step.typed);
        if (!step.picture.isEmpty()) {
            try {
                m_pictures.save(box, step.picture);
            } catch (const Failure& failure) {
                out() << failure.what() << '\n';
                ++m_failures;
            }
        }
        auto* buttons = box->findChild<QDialogButtonBox*>();
        QAbstractButton* button = buttons ? buttons->button(step.button) : nullptr;
        if (button) {
            button->click();
        } else {
            out() << "bouton introuvable dans la boîte " << box->windowTitle() << '\n';
            ++m_failures;
            box->reject();
        }
        m_busy = false;
    }

    Pictures& m_pictures;
    QTimer m_timer;
    QList<Step> m_steps;
    bool m_busy = false;
    int m_failures = 0;
};

// ---------------------------------------------------------------------------------------
// The scenes, in the order a punter meets them

// A first start with no file anywhere. Answered No: nothing is made.
void firstStart(Boxes& boxes) {
    QTemporaryDir empty;
    paths::setProgramFolder(empty.path());
    if (QFileInfo::exists(QDir(paths::userDataFolder()).filePath(QStringLiteral("velmora.mdb"))))
        throw Failure("un velmora.mdb existe déjà dans " + paths::userDataFolder().toStdString());
    boxes.expect(QDialogButtonBox::No, QStringLiteral("premier-demarrage"));
    if (startProgram() != 1)
        throw Failure("le premier démarrage n'a pas posé sa question");
}

// The demo file as it stands early in October: the year so far, September the last month.
void openDemo(const QString& folder) {
    paths::setProgramFolder(folder);
    paths::useDatabaseFolder(folder);
    OuvrirConnexion();
    const QStringList& months = regional::monthNames();
    for (int m = kToday.month() - 1; m < months.size(); ++m) {
        Connexion->exec(QStringLiteral("DELETE FROM JEUX WHERE mois = ?"), {months.at(m)});
        Connexion->exec(QStringLiteral("DELETE FROM USERS WHERE Mois = ?"), {months.at(m)});
    }
}

// The horses the player backed most in the month on display, those she won on first.
QStringList favouriteHorses() {
    QSqlQuery query = Connexion->exec(
        QStringLiteral("SELECT Cheval FROM JEUX WHERE User = ? AND mois = ? "
                       "AND Cheval <> 'AUTRE JEUX' GROUP BY Cheval "
                       "ORDER BY SUM(Credit > 0) DESC, COUNT(*) DESC, Cheval LIMIT 3"),
        {kPlayer, kLastMonth});
    QStringList horses;
    while (query.next())
        horses << query.value(0).toString();
    if (horses.size() < 2)
        throw Failure("la joueuse de démonstration n'a pas assez de chevaux");
    return horses;
}

void selectLine(Form1* ledger, const QString& gameType) {
    auto* list = child<QTreeView>(ledger, "Lst_jeux");
    const QAbstractItemModel* model = list->model();
    for (int row = model->rowCount() - 1; row >= 0; --row) {
        if (model->index(row, 1).data().toString() == gameType) {
            list->selectionModel()->setCurrentIndex(model->index(row, 0),
                                                    QItemSelectionModel::ClearAndSelect |
                                                        QItemSelectionModel::Rows);
            list->scrollTo(model->index(row, 0));
            return;
        }
    }
    throw Failure(("aucune ligne " + gameType + " dans le relevé").toStdString());
}

void fillEntry(Form1* ledger, int day, const QString& gameType, const QString& amount,
               const QString& horse = QString()) {
    pick(child<QComboBox>(ledger, "C_moisMiseGain"), kNewMonth);
    child<QDateEdit>(ledger, "CjourMiseGain")->setDate(QDate(kToday.year(), kToday.month(), day));
    pick(child<QComboBox>(ledger, "Ctypejeux"), gameType);
    child<QLineEdit>(ledger, "Cmontant")->setText(amount);
    child<QComboBox>(ledger, "Tcheval")->setEditText(horse);
}

// The ledger on September's statement, a horse's report beside it; then October opened,
// a few entries, a credit and a reversal.
Form1* ledgerScenes(Pictures& pictures, Boxes& boxes) {
    Form1* ledger = shell::openLedger();
    ledger->resize(1180, 720);
    ledger->move(40, 30);
    const QStringList horses = favouriteHorses();

    pick(child<QComboBox>(ledger, "C_mois"), kLastMonth);
    pick(child<QComboBox>(ledger, "C_users"), kPlayer);
    pick(child<QComboBox>(ledger, "C_cheval"), horses.at(0));
    pictures.save(ledger, QStringLiteral("gestion-des-mises"));
    pictures.save(child<QWidget>(ledger, "Shape1"), QStringLiteral("rapport-cheval"));

    // The statement's menu, open, over the top of the window.
    auto* menu = child<QMenu>(ledger, "menuReleve");
    child<QMenuBar>(ledger, "menubar")->setActiveAction(menu->menuAction());
    settle();
    const QRect top(ledger->geometry().topLeft(),
                    QSize(menu->geometry().right() - ledger->geometry().left() + 160,
                          menu->geometry().bottom() - ledger->geometry().top() + 60));
    pictures.saveScreen(ledger->screen(), top, QStringLiteral("menu-releve"));
    menu->hide();

    boxes.expect(QDialogButtonBox::Yes, QStringLiteral("nouveau-mois"));
    pick(child<QComboBox>(ledger, "C_mois"), kNewMonth);
    pick(child<QComboBox>(ledger, "C_users"), kPlayer);

    auto* stake = child<QPushButton>(ledger, "BT_savemise");
    auto* win = child<QPushButton>(ledger, "BT_savegain");
    fillEntry(ledger, 1, QStringLiteral("Simple Gagnant"), QStringLiteral("5"), horses.at(0));
    stake->click();
    fillEntry(ledger, 1, QStringLiteral("Quinté+"), QStringLiteral("2"));
    stake->click();
    fillEntry(ledger, 1, QStringLiteral("Simple Gagnant"), QStringLiteral("17,50"), horses.at(0));
    win->click();
    fillEntry(ledger, 2, QStringLiteral("Tiercé"), QStringLiteral("3"));
    stake->click();

    boxes.expect(QDialogButtonBox::Yes, QStringLiteral("ajout-credit"));
    boxes.expect(QDialogButtonBox::Ok, QString(), QStringLiteral("50"));
    child<QPushButton>(ledger, "Tajoutecredit")->click();

    // The Tiercé was meant for another race: its line is reversed.
    selectLine(ledger, QStringLiteral("Tiercé"));
    boxes.expect(QDialogButtonBox::Yes, QStringLiteral("annuler-la-ligne"));
    child<QPushButton>(ledger, "BT_annuler")->click();

    child<QTreeView>(ledger, "Lst_jeux")->clearSelection();
    pick(child<QComboBox>(ledger, "C_cheval"), horses.at(0));
    fillEntry(ledger, 2, QStringLiteral("Simple Placé"), QStringLiteral("4"), horses.at(1));
    child<QLineEdit>(ledger, "Cmontant")->setFocus();
    pictures.save(ledger, QStringLiteral("saisie-d-une-mise"));
    stake->click();
    return ledger;
}

void statisticsScenes(Form1* ledger, Pictures& pictures) {
    child<QAction>(ledger, "mnustats")->trigger();
    QWidget* stats = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == QLatin1String("Fstats") && window->isVisible())
            stats = window;
    if (!stats)
        throw Failure("la fenêtre des statistiques ne s'est pas ouverte");
    stats->resize(1240, 860);
    stats->move(60, 40);
    auto* period = child<QComboBox>(stats, "C_periode");
    auto* tables = child<QTabWidget>(stats, "Ongletstableaux");
    auto* charts = child<QTabWidget>(stats, "Ongletsgraphiques");
    // A month by game type; the year month by month.
    pick(period, kLastMonth);
    tables->setCurrentWidget(child<QWidget>(stats, "OngletType"));
    charts->setCurrentWidget(child<QWidget>(stats, "OngletGraphTypes"));
    pictures.save(stats, QStringLiteral("statistiques-mois"));
    pick(period, QStringLiteral("Toute l'année"));
    tables->setCurrentWidget(child<QWidget>(stats, "OngletMois"));
    charts->setCurrentWidget(child<QWidget>(stats, "OngletGraphMois"));
    pictures.save(stats, QStringLiteral("statistiques-annee"));
}

void chronoScene(Form1* ledger, Pictures& pictures, Boxes& boxes) {
    child<QAction>(ledger, "mnuchrono")->trigger();
    QWidget* chrono = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == QLatin1String("Fchrono") && window->isVisible())
            chrono = window;
    if (!chrono)
        throw Failure("la fenêtre du chrono ne s'est pas ouverte");
    // Wide enough for the list's longest line.
    chrono->resize(1120, chrono->height());
    chrono->move(80, 50);

    struct Calcul {
        const char *distance, *minutes, *seconds, *hundredths, *weight;
        const char *today, *todayWeight, *lengths;
        const char *horse, *going;
    };
    // Each reference race gives its horse's reduction, kept in the list; the last one stays
    // on screen with today's estimate.
    const Calcul calculs[] = {
        {"2400", "2", "31", "20", "58", "", "", "", "BELLE DE MAI", "Bon souple"},
        {"1600", "1", "37", "80", "56", "", "", "", "CAP HORN", "Souple"},
        {"2000", "2", "4", "60", "57.5", "", "", "", "ROI DU MARAIS", "Bon"},
        {"1800", "1", "49", "30", "57", "2100", "55.5", "1.5", "JOUR DE GLOIRE", "Bon"},
    };
    for (const Calcul& c : calculs) {
        const std::pair<const char*, const char*> fields[] = {
            {"Tdistance", c.distance},   {"Tminute", c.minutes},     {"Tseconde", c.seconds},
            {"tcentieme", c.hundredths}, {"Tpoids", c.weight},       {"Tdistance2", c.today},
            {"tpoids2", c.todayWeight},  {"TNbrLongueur", c.lengths}};
        for (const auto& [name, value] : fields)
            child<QLineEdit>(chrono, name)->setText(QString::fromUtf8(value));
        // The lengths are added to the time when the user leaves their box; the input boxes
        // of the previous line took the focus away from the window.
        QApplication::setActiveWindow(chrono);
        settle(30);
        child<QLineEdit>(chrono, "TNbrLongueur")->setFocus(Qt::TabFocusReason);
        settle(30);
        child<QPushButton>(chrono, "Btcalcul")->setFocus(Qt::TabFocusReason);
        settle(30);
        child<QPushButton>(chrono, "Btcalcul")->click();
        if (&c == &calculs[std::size(calculs) - 1])
            break;
        boxes.expect(QDialogButtonBox::Ok, QString(), QString::fromUtf8(c.horse));
        boxes.expect(QDialogButtonBox::Ok, QString(), QString::fromUtf8(c.going));
        child<QPushButton>(chrono, "Bt_Ajoute")->click();
    }
    pictures.save(chrono, QStringLiteral("calcul-chrono"));
}

void followedScenes(Form1* ledger, Pictures& pictures) {
    child<QAction>(ledger, "mnusuivits")->trigger();
    QWidget* followed = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == QLatin1String("Fsuivit") && window->isVisible())
            followed = window;
    if (!followed)
        throw Failure("la fenêtre Mes suivits ne s'est pas ouverte");
    followed->resize(1400, 800);
    followed->move(20, 20);
    auto* list = child<QListWidget>(followed, "Lsuivit");
    const auto found = list->findItems(kFollowedHorse, Qt::MatchFixedString);
    if (found.isEmpty())
        throw Failure(kFollowedHorse.toStdString() + " n'est pas suivi");
    list->setCurrentItem(found.first());
    list->scrollToItem(found.first(), QAbstractItemView::PositionAtCenter);
    pictures.save(followed, QStringLiteral("mes-suivits"));

    // Two winners followed from the list by a double-click; shown again, they are no
    // longer in red.
    auto* groupWinners = child<QPushButton>(followed, "Bt_Groupe");
    groupWinners->click();
    auto* view = child<QAbstractItemView>(followed, "Lstview_partant");
    for (const int row : {0, 2}) {
        const QModelIndex index = view->model()->index(row, 0);
        view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
        emit view->doubleClicked(index);
    }
    groupWinners->click();
    pictures.save(followed, QStringLiteral("confirmations-groupe"));
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("XDG_DATA_HOME", kUserData);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        out() << "Utilisation : velmora-screenshots DOSSIER_DES_DONNEES DOSSIER_DES_IMAGES\n";
        return 2;
    }
    appearance::setupApplication(app);
    regional::setToday(kToday);
    QDir().mkpath(args.at(2));
    Pictures pictures(args.at(2));
    Boxes boxes(pictures);
    int failures = 0;
    const auto scene = [&](const char* name, const std::function<void()>& body) {
        try {
            body();
        } catch (const std::exception& error) {
            out() << name << " : " << error.what() << '\n';
            ++failures;
        }
        boxes.forgetPending();
    };

    scene("premier démarrage", [&] { firstStart(boxes); });
    try {
        openDemo(QDir(args.at(1)).absolutePath());
    } catch (const std::exception& error) {
        out() << "fichier de démonstration : " << error.what() << '\n';
        return 1;
    }
    QPointer<Form1> ledger;
    scene("registre", [&] { ledger = ledgerScenes(pictures, boxes); });
    if (ledger) {
        scene("statistiques", [&] { statisticsScenes(ledger, pictures); });
        scene("chrono", [&] { chronoScene(ledger, pictures, boxes); });
        scene("suivis", [&] { followedScenes(ledger, pictures); });
        // Closing the ledger closes the others; the chrono offers to save its list.
        scene("fermeture", [&] {
            boxes.expect(QDialogButtonBox::No);
            ledger->close();
            settle(50);
        });
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The connection must go while Qt's SQL layer is still alive.
    Connexion.reset();
    failures += boxes.failures();
    if (failures)
        out() << failures << " image(s) ou étape(s) en échec\n";
    return failures ? 1 : 0;
}
