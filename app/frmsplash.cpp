#include "app/frmsplash.h"
#include "app/shell.h"
#include "app/singleinstance.h"
#include "ui_frmsplash.h"

#include "data/connection.h"
#include "data/dailycopy.h"
#include "data/error.h"
#include "data/errors.h"
#include "data/filelock.h"
#include "data/paths.h"
#include "data/regional.h"
#include "data/schema.h"
#include "gui/dialogs.h"
#include "gui/errorbox.h"
#include "ledger/form1.h"
#include "ledger/yearbook.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPointer>
#include <QStatusBar>
#include <QTextStream>
#include <QTimer>
#include <optional>

frmSplash::frmSplash(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::frmSplash>()) {
    // Resources compiled into a static library are only found once registered.
    Q_INIT_RESOURCE(app);
    ui->setupUi(this);
    setObjectName(QStringLiteral("frmSplash"));
    setWindowFlag(Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose);
    ui->Frame1->installEventFilter(this);
}

frmSplash::~frmSplash() = default;

Form1* frmSplash::Form_Load(const QString& lectureSeule) {
    try {
        if (lectureSeule.isEmpty())
            OuvrirConnexion();
        else
            OuvrirConnexionLectureSeule();
    } catch (const data::OpenError& error) {
        const QString text = errors::describe(error);
        QTextStream(stderr) << text << Qt::endl;
        dialogs::message(nullptr, text, dialogs::applicationTitle(), dialogs::Buttons::Ok,
                         dialogs::Icon::Critical);
        close();
        return nullptr;
    }
    if (!lectureSeule.isEmpty()) {
        QTextStream(stderr) << "velmora : " << QDir::toNativeSeparators(paths::databaseFile())
                            << " ouvert en lecture seule. " << lectureSeule << Qt::endl;
        Form1* ledger =
            shell::openLedger(QStringLiteral("Ouvert en lecture seule. %1").arg(lectureSeule));
        close();
        return ledger;
    }
    AskYear();
    Form1* ledger = shell::openLedger();
    close();
    // The copy waits until the window has drawn itself: its reading would slow the first
    // paint. Owned by the application, so closing the program stops an unfinished copy.
    QTimer::singleShot(1000, qApp, [fenetre = QPointer<Form1>(ledger)] {
        auto* copie = new dailycopy::Background(paths::databaseFile(), regional::today(), qApp);
        // Standard error is not seen from a desktop: the ledger says it too.
        QObject::connect(copie, &QThread::finished, qApp, [copie, fenetre] {
            const QString echec = copie->outcome().error;
            if (!echec.isEmpty() && fenetre)
                fenetre->statusBar()->showMessage(
                    QStringLiteral("Copie du jour non faite : %1").arg(echec));
            copie->deleteLater();
        });
        copie->start();
    });
    return ledger;
}

// A file made before the ledger knew its year is asked once which one it holds; without an
// answer the proposed year is used and the question comes back at the next start.
void frmSplash::AskYear() {
    try {
        if (ledger::storedYear(*Connexion))
            return;
        const int proposed = ledger::proposedYear(regional::today());
        QString typed = QString::number(proposed);
        for (;;) {
            const auto answer =
                dialogs::input(nullptr, QStringLiteral("À quelle année appartient ce registre ?"),
                               dialogs::applicationTitle(), typed);
            if (!answer)
                return;
            bool ok = false;
            const int year = answer->trimmed().toInt(&ok);
            if (ok && ledger::isPlausibleYear(year)) {
                ledger::recordYear(*Connexion, year);
                return;
            }
            typed = *answer;
            dialogs::message(
                nullptr,
                QStringLiteral("Tapez l'année sur quatre chiffres, par exemple %1.").arg(proposed),
                QStringLiteral("Erreur année"), dialogs::Buttons::Ok, dialogs::Icon::Exclamation);
        }
    } catch (const data::DbError& error) {
        errors::showDbError(nullptr, error);
    }
}

void frmSplash::keyPressEvent(QKeyEvent* event) {
    Form_KeyPress();
    event->accept();
}

bool frmSplash::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->Frame1 && event->type() == QEvent::MouseButtonRelease) {
        Frame1_Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmSplash::Form_KeyPress() {
    close();
}

void frmSplash::Frame1_Click() {
    close();
}

namespace {

// The folder of the file to open: beside the program, else in the user's data folder. On a
// first start there is none: an empty file is made in the user's folder if the user
// agrees.
std::optional<QString> locateDatabase() {
    const QString found = paths::findDatabaseFolder();
    if (!found.isEmpty())
        return found;
    const QString folder = paths::userDataFolder();
    const QString question =
        QStringLiteral("Aucun fichier de données n'a été trouvé.\nCréer un fichier vide dans %1 ?")
            .arg(QDir::toNativeSeparators(folder));
    if (dialogs::message(nullptr, question, dialogs::applicationTitle(), dialogs::Buttons::YesNo,
                         dialogs::Icon::Question) != dialogs::Answer::Yes)
        return std::nullopt;
    const QString file = QDir(folder).filePath(QStringLiteral("velmora.mdb"));
    QString why;
    if (!QDir().mkpath(folder)) {
        why = QStringLiteral("Le dossier %1 n'a pas pu être créé. %2")
                  .arg(QDir::toNativeSeparators(folder), data::folderRefusal(folder));
    } else {
        try {
            data::schema::createFile(file);
        } catch (const data::DbError& error) {
            // A folder that exists but takes no file: the engine only says it cannot open.
            const QFileInfo place(folder);
            why = place.isDir() && place.isWritable() ? errors::describe(error)
                                                      : data::folderRefusal(folder);
        }
    }
    if (!why.isEmpty()) {
        const QString text = QStringLiteral("Le fichier %1 n'a pas pu être créé.\n\n%2")
                                 .arg(QDir::toNativeSeparators(file), why);
        QTextStream(stderr) << text << Qt::endl;
        dialogs::message(nullptr, text, dialogs::applicationTitle(), dialogs::Buttons::Ok,
                         dialogs::Icon::Critical);
        return std::nullopt;
    }
    return folder;
}

} // namespace

int startProgram() {
    const std::optional<QString> folder = locateDatabase();
    if (!folder)
        return 1;
    paths::useDatabaseFolder(*folder);
    auto instance = std::make_unique<SingleInstance>(paths::databaseFile());
    QString lectureSeule;
    switch (instance->claim()) {
    case data::FileLock::State::Taken:
        break;
    case data::FileLock::State::HeldElsewhere: {
        if (instance->wakeHolder())
            return kAlreadyRunning;
        // Another computer's program, or one that hangs: this one would wait for it forever.
        const QString holder = instance->reason().isEmpty()
                                   ? QString()
                                   : QStringLiteral(" (%1)").arg(instance->reason());
        const QString text =
            QStringLiteral("Le fichier %1 est déjà ouvert par un autre programme%2, qui ne "
                           "répond pas.\n\nFermez-le, puis relancez le programme.")
                .arg(QDir::toNativeSeparators(paths::databaseFile()), holder);
        QTextStream(stderr) << text << Qt::endl;
        dialogs::message(nullptr, text, dialogs::applicationTitle(), dialogs::Buttons::Ok,
                         dialogs::Icon::Exclamation);
        return 1;
    }
    case data::FileLock::State::CannotLock:
        lectureSeule = instance->reason();
        break;
    }
    auto* splash = new frmSplash();
    Form1* ledger = splash->Form_Load(lectureSeule);
    if (!ledger)
        return 1;
    // The file is the ledger's for as long as its window is open.
    SingleInstance* held = instance.release();
    held->setParent(ledger);
    QObject::connect(held, &SingleInstance::wakeRequested, ledger, [ledger] {
        ledger->setWindowState(ledger->windowState() & ~Qt::WindowMinimized);
        ledger->show();
        ledger->raise();
        ledger->activateWindow();
    });
    return 0;
}
