#include "app/shell.h"

#include "chrono/fchrono.h"
#include "followed/fjour.h"
#include "followed/fsuivit.h"
#include "ledger/form1.h"
#include "ledger/ftypesjeux.h"
#include "stats/fstats.h"

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
