#include "app/shell.h"

#include "chrono/fchrono.h"
#include "data/connection.h"
#include "data/dailycopy.h"
#include "data/error.h"
#include "data/errors.h"
#include "data/paths.h"
#include "data/regional.h"
#include "followed/fjour.h"
#include "followed/fsuivit.h"
#include "gui/dialogs.h"
#include "gui/errorbox.h"
#include "gui/singlewindow.h"
#include "ledger/flimites.h"
#include "ledger/form1.h"
#include "ledger/frecherche.h"
#include "ledger/frestaurer.h"
#include "ledger/ftypesjeux.h"
#include "stats/fstats.h"

#include <QApplication>
#include <QDir>
#include <QPointer>

namespace shell {
namespace {

// The open year's ledger: a bet asked from the day's card is recorded there, whichever
// window opened the card.
QPointer<Form1> g_openLedger;

void openRaceDay() {
    Fjour* raceDay = Fjour::showSingle();
    if (g_openLedger)
        QObject::connect(raceDay, &Fjour::pariDemande, g_openLedger.data(), &Form1::PreparerPari,
                         Qt::UniqueConnection);
}

// Puts the copy in the file's place. Every window reading the file closes first (one
// holding unsaved work may ask, and keep everything as it is); the ledger goes, its
// connection with it; the file is restored, or left as it was when the restoring is refused;
// then the ledger and the windows that were open come back on the file, at the same player
// and month. The past years' windows read their archives and stay.
void restore(Frestaurer* restorer, const QString& copy) {
    const QString title = QStringLiteral("Restaurer une copie");
    QPointer<Form1> ledger = g_openLedger;
    const QString player = ledger ? ledger->JoueurAffiche() : QString();
    const QString month = ledger ? ledger->MoisAffiche() : QString();
    const bool chrono = Fchrono::instance(), followed = Fsuivit::instance(),
               raceDay = Fjour::instance(), stats = Fstats::instance();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window == ledger || window == restorer || !window->isVisible() ||
            qobject_cast<Form1*>(window))
            continue;
        if (!window->close())
            return;
    }
    // Today's copy reads the file on a thread of its own.
    for (auto* running : qApp->findChildren<dailycopy::Background*>())
        running->wait();
    const bool quits = qApp->quitOnLastWindowClosed();
    qApp->setQuitOnLastWindowClosed(false);
    delete ledger.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QString refusal;
    ledger::Restored done;
    // A connection left open on the replaced file would go on writing into it, unseen.
    if (Connexion && Connexion.use_count() > 1) {
        refusal = QStringLiteral("Une fenêtre lit encore le registre : rien n'a été restauré.");
    } else {
        Connexion.reset();
        try {
            done = ledger::restoreCopy(paths::databaseFile(), copy);
        } catch (const ledger::RestoreRefused& refused) {
            refusal = refused.text;
        }
    }
    try {
        OuvrirConnexion();
    } catch (const data::OpenError& error) {
        qApp->setQuitOnLastWindowClosed(quits);
        dialogs::message(restorer, errors::describe(error), title, dialogs::Buttons::Ok,
                         dialogs::Icon::Critical);
        return;
    }
    Form1* reopened = openLedger();
    if (!player.isEmpty())
        reopened->Montrer(player, month);
    if (chrono)
        Fchrono::showSingle();
    if (followed)
        Fsuivit::showSingle();
    if (raceDay)
        openRaceDay();
    if (stats)
        Fstats::showSingle(reopened->JoueurAffiche(), reopened->MoisAffiche());
    qApp->setQuitOnLastWindowClosed(quits);
    restorer->Charger();
    singlewindow::bringForward(restorer);
    if (!refusal.isEmpty()) {
        dialogs::message(restorer, refusal, title, dialogs::Buttons::Ok,
                         dialogs::Icon::Exclamation);
        return;
    }
    QString text =
        QStringLiteral("La copie est restaurée : le registre compte maintenant %1 lignes.")
            .arg(regional::frenchLocale().toString(done.lines));
    if (!done.safetyCopy.isEmpty())
        text += QStringLiteral("\nLe registre remplacé est gardé dans\n%1")
                    .arg(QDir::toNativeSeparators(done.safetyCopy));
    dialogs::message(restorer, text, title, dialogs::Buttons::Ok, dialogs::Icon::Information);
}

// A line found by the search, where it is kept: the ledger for the open year, the past
// year's window (the one open, else a new one) for an archive.
void openFoundLine(const ledger::FoundLine& line) {
    Form1* window = g_openLedger;
    if (!line.archive.isEmpty()) {
        window = nullptr;
        for (QWidget* open : QApplication::topLevelWidgets())
            if (auto* past = qobject_cast<Form1*>(open);
                past && past->isVisible() && past->AnneeArchivee() == line.year)
                window = past;
        if (!window) {
            try {
                window = Form1::ouvrirArchive(line.archive, line.year);
            } catch (const data::DbError& error) {
                errors::showDbError(Frecherche::instance(), error);
                return;
            }
            connectWindows(window);
        }
    }
    if (!window)
        return;
    singlewindow::bringForward(window);
    window->Montrer(line.player, line.month, line.num);
}

} // namespace

void connectWindows(Form1* ledger) {
    QObject::connect(ledger, &Form1::chronoRequested, ledger, [] { Fchrono::showSingle(); });
    QObject::connect(ledger, &Form1::followedRequested, ledger, [] { Fsuivit::showSingle(); });
    QObject::connect(ledger, &Form1::raceDayRequested, ledger, [] { openRaceDay(); });
    QObject::connect(ledger, &Form1::followedHorseRequested, ledger,
                     [ledger](const QString& horse) { Fsuivit::montrerCheval(ledger, horse); });
    QObject::connect(ledger, &Form1::statisticsRequested, ledger,
                     [](const QString& player, const QString& month, int year) {
                         Fstats::showSingle(player, month, year);
                     });
    QObject::connect(ledger, &Form1::gameTypesRequested, ledger, [] {
        Ftypesjeux* types = Ftypesjeux::showSingle();
        if (g_openLedger)
            QObject::connect(types, &Ftypesjeux::typesModifies, g_openLedger.data(),
                             &Form1::TypesModifies, Qt::UniqueConnection);
    });
    QObject::connect(ledger, &Form1::restoreRequested, ledger, [] {
        const bool opened = singlewindow::open<Frestaurer>();
        Frestaurer* restorer = Frestaurer::showSingle();
        if (!opened)
            QObject::connect(restorer, &Frestaurer::restaurer, restorer,
                             [restorer](const QString& copy) { restore(restorer, copy); });
    });
    QObject::connect(ledger, &Form1::searchRequested, ledger, [] {
        const bool opened = singlewindow::open<Frecherche>();
        Frecherche* search = Frecherche::showSingle();
        if (!opened)
            QObject::connect(search, &Frecherche::ligneDemandee, search, &openFoundLine);
    });
    QObject::connect(ledger, &Form1::limitsRequested, ledger, [ledger](const QString& player) {
        Flimites* limits = Flimites::showFor(player);
        QObject::connect(limits, &Flimites::limitesModifiees, ledger, &Form1::LimitesModifiees,
                         Qt::UniqueConnection);
    });
    QObject::connect(ledger, &Form1::quitRequested, ledger, [] {
        if (g_openLedger)
            g_openLedger->close();
    });
    QObject::connect(ledger, &Form1::pastYearOpened, ledger,
                     [](Form1* past) { connectWindows(past); });
    // Open statistics follow the ledger's writes.
    QObject::connect(ledger, &Form1::ledgerWritten, ledger, [] {
        if (Fstats* stats = Fstats::instance())
            stats->actualiser();
    });
}

Form1* openLedger(const QString& readOnlyReason) {
    auto* ledger = new Form1();
    if (!readOnlyReason.isEmpty())
        ledger->LectureSeuleFichier(readOnlyReason);
    g_openLedger = ledger;
    connectWindows(ledger);
    QObject::connect(SuivisModifies::instance(), &SuivisModifies::modifies, ledger,
                     &Form1::ActualiserPartants);
    ledger->show();
    return ledger;
}

} // namespace shell
