// The ledger window's bets: the race and odds of a stake, their states on the statement,
// and the bets to cash.
#include "ledger/form1.h"
#include "ui_form1.h"

#include "data/regional.h"
#include "gui/dialogs.h"
#include "gui/errorbox.h"
#include "ledger/betbook.h"
#include "ledger/betstocashmodel.h"
#include "ledger/ledgerbook.h"
#include "ledger/multibets.h"
#include "ledger/statementmodel.h"

#include "racing/resultnames.h"
#include <QAbstractItemView>
#include <QLineEdit>
#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QMenu>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>

namespace {

QString paris(int nombre) {
    return regional::counted(nombre, QStringLiteral("pari réglé"), QStringLiteral("paris réglés"));
}

} // namespace

void Form1::ChargerCourses() {
    QVector<ledger::RaceOfDay> courses;
    if (!Proteger([&] { courses = ledger::racesOfDay(*m_base, ui->CjourMiseGain->date()); }))
        return;
    // The race typed for another day is not this day's: the box starts empty.
    ui->C_course->clear();
    for (const ledger::RaceOfDay& course : courses)
        ui->C_course->addItem(course.label());
    ui->C_course->setCurrentIndex(-1);
    ui->C_course->view()->setMinimumWidth(ui->C_course->view()->sizeHintForColumn(0) + 24);
}

std::optional<ledger::BetSlip> Form1::PariSaisi(bool& ok) {
    ok = false;
    const QString course = ui->C_course->currentText().trimmed();
    const QString texteCote = ui->Tcote->text().trimmed();
    std::optional<double> valeur;
    if (!texteCote.isEmpty()) {
        valeur = ledger::parseOdds(texteCote);
        if (!valeur) {
            Refuser(QStringLiteral("La cote doit être un nombre supérieur à 1."),
                    QStringLiteral("Erreur cote"), ui->Tcote);
            return std::nullopt;
        }
    }
    if (course.isEmpty()) {
        // Odds without their race could be settled by nothing: they are not dropped silently.
        if (valeur) {
            Refuser(QStringLiteral("Choisissez la course du pari, ou effacez sa cote."),
                    QStringLiteral("Erreur course"), ui->C_course);
            return std::nullopt;
        }
        ok = true;
        return std::nullopt;
    }
    const auto reference = ledger::parseRace(course);
    if (!reference) {
        Refuser(QStringLiteral("La course s'écrit R1C3, ou se choisit dans la liste des courses "
                               "du jour."),
                QStringLiteral("Erreur course"), ui->C_course);
        return std::nullopt;
    }
    ok = true;
    return ledger::BetSlip{ui->CjourMiseGain->date(), *reference, valeur};
}

void Form1::ChargerAEncaisser() {
    QVector<ledger::Bet> aEncaisser;
    if (m_anneeArchivee == 0 && !m_releve.player.isEmpty())
        aEncaisser = ledger::betsToCash(*m_base, m_releve.player);
    const bool vide = aEncaisser.isEmpty();
    m_aEncaisser->setBets(std::move(aEncaisser));
    QTreeView* liste = ui->LstAEncaisser;
    const QFontMetrics mesure(liste->font());
    const int marge = 2 * liste->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 12;
    for (int colonne = 0; colonne < BetsToCashModel::kColumns; ++colonne)
        liste->setColumnWidth(colonne, m_aEncaisser->widthNeeded(colonne, mesure) + marge);
    // Five lines in sight; the group shows only when there is something to cash.
    const int ligne = mesure.height() + 4;
    liste->setFixedHeight(liste->header()->sizeHint().height() + 5 * ligne +
                          2 * liste->frameWidth());
    ui->Gencaisser->setVisible(!vide);
    ui->BT_encaisser->setEnabled(false);
}

void Form1::ReglerParis(std::optional<qint64> seul) {
    // The whole book at start-up, told in the status bar; a bet just recorded alone, its
    // statement reloaded by the recording itself.
    const bool dire = !seul;
    ledger::Settling reglement;
    try {
        reglement = ledger::settleBets(*m_base, seul);
        // Results written by hand since the last start: their horses' spellings are kept in
        // the file, so that the day's card finds them at once.
        if (dire && Modifiable())
            racing::recordResultNames(*m_base);
    } catch (const data::DbError& error) {
        // Settling is done again at the next recording or start: a busy file is no error
        // the user has to answer.
        if (dire)
            statusBar()->showMessage(QStringLiteral("Les paris n'ont pas pu être réglés : ") +
                                     error.engineText());
        return;
    }
    if (dire) {
        // What is left pending is told too, each bet with its reason under the pointer.
        const QStringList attente = ledger::pendingLines(reglement);
        QStringList texte;
        if (!reglement.settled.isEmpty())
            texte << paris(int(reglement.settled.size()));
        const int enAttente = int(reglement.raceNotFound.size() + reglement.horseNotFound.size() +
                                  reglement.byHand.size()) +
                              reglement.awaitingResults;
        if (enAttente > 0)
            texte << regional::counted(enAttente, QStringLiteral("pari en attente"),
                                       QStringLiteral("paris en attente"));
        // No status bar for nothing to say: the window keeps its room.
        if (!texte.isEmpty()) {
            statusBar()->showMessage(texte.join(QStringLiteral(" ; ")));
            statusBar()->setToolTip(attente.join(QLatin1Char('\n')));
        }
    }
    if (reglement.settled.isEmpty())
        return;
    emit ledgerWritten();
    if (dire && !m_releve.player.isEmpty())
        Proteger([&] { ChargerReleve(m_releve.player, m_releve.month); });
}

bool Form1::eventFilter(QObject* objet, QEvent* evenement) {
    // Settled once the window is on the screen, so that a long settling never holds it back.
    if (objet == ui->centralwidget && evenement->type() == QEvent::Paint && !m_parisRegles) {
        m_parisRegles = true;
        QTimer::singleShot(0, this, [this] { ReglerParis(); });
    }
    return QMainWindow::eventFilter(objet, evenement);
}

void Form1::BT_encaisser_Click() {
    const auto choisis = ui->LstAEncaisser->selectionModel()->selectedRows();
    if (choisis.isEmpty())
        return;
    const qint64 num = m_aEncaisser->bet(choisis.first().row()).num;
    const QString titre = QStringLiteral("Encaisser");
    // The bet as stored now: the list may be older than another program's change.
    std::optional<ledger::Bet> pari;
    if (!Proteger([&] { pari = ledger::betOf(*m_base, num); }))
        return;
    const auto recharger = [this] {
        Proteger([this] { ChargerReleve(m_releve.player, m_releve.month); });
    };
    if (!pari) {
        recharger();
        return;
    }
    if (!AnneeOuverte({pari->month}))
        return;
    const bool rembourse = pari->state == ledger::BetState::Refunded;
    Money montant;
    if (rembourse) {
        const QString question =
            QStringLiteral("Le pari sur %1 (%2) est remboursé : annuler sa mise de %3 ?")
                .arg(pari->horse, pari->race.code(), regional::formatMoney(pari->stake));
        if (dialogs::message(this, question, titre, dialogs::Buttons::YesNo,
                             dialogs::Icon::Question) != dialogs::Answer::Yes)
            return;
    } else {
        // The paid dividend differs from the odds taken: the amount is the user's to correct.
        // A bet on several horses has no odds to go by: the amount paid is asked, blank.
        const bool plusieurs = !pari->numbers.isEmpty();
        const auto attendu = plusieurs ? std::nullopt : pari->expectedReturn();
        bool exAequo = false;
        if (!plusieurs && !Proteger([&] { exAequo = ledger::deadHeat(*m_base, *pari); }))
            return;
        QString invite =
            plusieurs
                ? QStringLiteral("Montant payé pour le %1 %2 (%3, mise de %4) :")
                      .arg(pari->gameType, ledger::numbersText(pari->numbers), pari->race.code(),
                           regional::formatMoney(pari->stake))
                : QStringLiteral("Montant du gain de %1 (%2, mise de %3) :")
                      .arg(pari->horse, pari->race.code(), regional::formatMoney(pari->stake));
        if (plusieurs && !pari->rank.isEmpty())
            invite += QStringLiteral("\nrang gagné : %1").arg(pari->rank);
        if (exAequo)
            invite += QStringLiteral("\narrivée avec ex aequo : le rapport est partagé");
        const auto saisi = dialogs::input(this, invite, plusieurs ? QStringLiteral("Montant payé") : titre,
                                          attendu ? regional::typedAmount(*attendu) : QString());
        if (!saisi)
            return;
        const QString texte = regional::dotsToCommas(*saisi).trimmed();
        if (texte.isEmpty() && !plusieurs)
            return;
        const auto lu = regional::readPositiveAmount(texte);
        if (!lu.value || (plusieurs && lu.value->cents() == 0)) {
            if (plusieurs && lu.value)
                Refuser(QStringLiteral("Saisissez le montant payé : un pari gagné ne rapporte pas "
                                       "0,00 €. Le pari n'a pas été encaissé."),
                        QStringLiteral("Erreur montant"));
            else
                RefuserMontant(lu.error, QStringLiteral(" Le pari n'a pas été encaissé."));
            return;
        }
        montant = *lu.value;
    }
    if (!CompteExiste(pari->player, pari->month))
        return;
    const auto report = Reporter(pari->player, pari->month);
    if (!report)
        return;
    bool ecrit = false;
    try {
        ecrit = Ecrire([&] {
            if (rembourse)
                ledger::refundBet(*m_base, num, *report);
            else
                ledger::cashBet(*m_base, num, montant, *report);
        });
    } catch (const ledger::BetRefused& refus) {
        Refuser(ledger::betRefusalText(refus.reason), titre);
    } catch (const std::runtime_error&) {
        // The stake was reversed meanwhile (another program): the list was stale.
    }
    recharger();
    // The win goes to the stake's own month, which may not be the one on display.
    if (ecrit)
        DireOuVaLaLigne(rembourse ? QStringLiteral("Mise annulée")
                                  : QStringLiteral("Gain enregistré"),
                        pari->player, pari->month);
}

void Form1::MenuReleve(const QPoint& position) {
    const QModelIndex index = ui->Lst_jeux->indexAt(position);
    if (!Modifiable() || !index.isValid())
        return;
    const ledger::StatementLine& ligne = m_modeleReleve->line(index.row());
    if (ligne.etat.isEmpty())
        return;
    const qint64 num = ligne.num;
    QMenu menu(this);
    for (const ledger::BetState etat :
         {ledger::BetState::Won, ledger::BetState::Lost, ledger::BetState::Refunded}) {
        QAction* action = menu.addAction(QStringLiteral("Marquer ") + ledger::betStateName(etat));
        action->setObjectName(QStringLiteral("mnumarquer") + QString::number(int(etat)));
        connect(action, &QAction::triggered, this, [this, num, etat] { MarquerPari(num, etat); });
    }
    menu.exec(ui->Lst_jeux->viewport()->mapToGlobal(position));
}

void Form1::MarquerPari(qint64 num, ledger::BetState etat) {
    try {
        Ecrire([&] { ledger::markBet(*m_base, num, etat); });
    } catch (const ledger::BetRefused& refus) {
        Refuser(ledger::betRefusalText(refus.reason), QStringLiteral("Marquer le pari"));
    }
    Proteger([this] { ChargerReleve(m_releve.player, m_releve.month); });
}

void Form1::PreparerPari(const QDate& jour, const QString& course, const QString& cheval,
                         const QVariant& cote) {
    // The stake is filed under the race's month, and moves that month's balance; the
    // statement on display stays.
    ui->CjourMiseGain->setDate(jour);
    const int type =
        ui->Ctypejeux->findText(QStringLiteral("Simple Gagnant"), Qt::MatchFixedString);
    if (type >= 0)
        ui->Ctypejeux->setCurrentIndex(type);
    else
        ui->Ctypejeux->setEditText(QStringLiteral("Simple Gagnant"));
    Ctypejeux_Click();
    ui->Tcheval->setEditText(cheval);
    ui->C_course->setEditText(course);
    // A long race or horse name shows its start, as it is read.
    for (QComboBox* boite : {ui->Tcheval, ui->C_course})
        if (QLineEdit* ligne = boite->lineEdit())
            ligne->setCursorPosition(0);
    ui->Tcote->setText(cote.isNull() ? QString()
                                     : regional::frenchLocale().toString(cote.toDouble(), 'f', 2));
    ui->Cmontant->clear();
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    ui->Cmontant->setFocus();
}
