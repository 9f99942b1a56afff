#include "ledger/form1.h"
#include "ui_form1.h"

#include "data/connection.h"
#include "data/paths.h"
#include "data/regional.h"
#include "followed/raceday.h"
#include "gui/appearance.h"
#include "gui/colours.h"
#include "gui/dialogs.h"
#include "gui/errorbox.h"
#include "gui/plaintextdelegate.h"
#include "ledger/betbook.h"
#include "ledger/betstocashmodel.h"
#include "ledger/exports.h"
#include "ledger/ledgerbook.h"
#include "ledger/limits.h"
#include "ledger/multibets.h"
#include "ledger/statementmodel.h"
#include "ledger/yearbook.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStringListModel>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>

namespace {

using colours::kBlack;
using colours::kGreen;
using colours::kRed;

// The statement's columns: width in twips, and whether it shows money.
struct Colonne {
    int twips;
    bool argent;
};
const Colonne kColonnes[StatementModel::kColumns] = {
    {700, false}, {2880, false}, {2000, false}, {850, true},
    {850, true},  {1360, true},  {1000, false},
};

// The cell's own padding and a few pixels, so that two amounts never touch.
int margeCellule(const QTreeView* liste) {
    return 2 * liste->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, liste) + 6;
}

// The month as typed in C_mois: the statement of a text that names no month is empty.
QString moisAffiche(const Ui::Form1& ui) {
    const QString texte = ui.C_mois->currentText();
    return regional::monthNamed(texte).value_or(texte.trimmed());
}

// Blanks typed around or inside a name are not part of it: "Paul " is Paul.
QString joueur(const Ui::Form1& ui) {
    return regional::simplifiedName(ui.C_users->currentText());
}

// "Avril", "Avril et Mai", "Avril, Mai et Juin".
QString enumerer(const QStringList& mois) {
    if (mois.size() < 2)
        return mois.join(QString());
    return mois.mid(0, mois.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" et ") +
           mois.last();
}

} // namespace

bool Form1::Proteger(const std::function<void()>& body) {
    try {
        body();
        return true;
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
        return false;
    }
}

bool Form1::Ecrire(const std::function<void()>& write) {
    try {
        write();
        // Where the previous line went is no news after this one.
        if (!m_ouVaLaLigne.isEmpty() && statusBar()->currentMessage() == m_ouVaLaLigne)
            statusBar()->clearMessage();
        m_ouVaLaLigne.clear();
        emit ledgerWritten();
        return true;
    } catch (const ledger::NoAccount& absent) {
        RefuserSansCompte(absent.player, absent.month);
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
    }
    return false;
}

Form1::Form1(QWidget* parent) : Form1(Connexion, 0, parent) {}

Form1::Form1(std::shared_ptr<data::Database> base, int anneeArchivee, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::Form1>()), m_base(std::move(base)),
      m_anneeArchivee(anneeArchivee) {
    // The decorative picture lives in the program's resources, linked from a static library.
    Q_INIT_RESOURCE(app);
    ui->setupUi(this);
    m_chevaux = new QStringListModel(this);
    ui->C_cheval->setModel(m_chevaux);
    ui->Tcheval->setModel(m_chevaux);
    appearance::makeKeyboardFriendly(this);
    for (QLineEdit* argent :
         {ui->TsoldeDepart, ui->T_soldepreced, ui->T_soldecours, ui->Ttotalmisecheval,
          ui->Ttotalgaincheval, ui->Trapportcheval, ui->TTotalmise, ui->Ttotalgain,
          ui->Tplusgrossemise, ui->Tplusgrosgain})
        appearance::showsMoney(argent);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(ui->BT_suivit, &QPushButton::clicked, this, &Form1::BT_suivit_Click);
    connect(ui->mnuchrono, &QAction::triggered, this, &Form1::mnuchrono_Click);
    connect(ui->C_users, &QComboBox::activated, this, &Form1::C_users_Click);
    connect(ui->T_soldecours, &QLineEdit::textChanged, this, &Form1::T_soldecours_Change);
    connect(ui->BT_savemise, &QPushButton::clicked, this, &Form1::BT_savemise_Click);
    connect(ui->BT_savegain, &QPushButton::clicked, this, &Form1::BT_savegain_Click);
    connect(ui->Ctypejeux, &QComboBox::activated, this, &Form1::Ctypejeux_Click);
    connect(ui->Ctypejeux, &QComboBox::editTextChanged, this, &Form1::Ctypejeux_Click);
    connect(ui->Tnumeros, &QLineEdit::textChanged, this, &Form1::Tnumeros_Change);
    ui->saisieForm->setRowVisible(ui->Tnumeros, false);
    ui->saisieForm->setRowVisible(ui->formuleLayout, false);
    connect(ui->C_formule, &QComboBox::currentIndexChanged, this, &Form1::Tnumeros_Change);
    connect(ui->Cmontant, &QLineEdit::textChanged, this, &Form1::Tnumeros_Change);
    connect(ui->bt_ajouteusers, &QPushButton::clicked, this, &Form1::bt_ajouteusers_Click);
    connect(ui->Tajoutecredit, &QPushButton::clicked, this, &Form1::Tajoutecredit_Click);
    connect(ui->C_cheval, &QComboBox::activated, this, &Form1::C_cheval_Click);
    connect(ui->BT_annuler, &QPushButton::clicked, this, &Form1::BT_annuler_Click);
    m_modeleReleve = new StatementModel(this);
    ui->Lst_jeux->setModel(m_modeleReleve);
    ui->Lst_jeux->setItemDelegate(new PlainTextDelegate(ui->Lst_jeux));
    // A reload empties the selection without telling it changed.
    const auto selectionSuivie = [this] {
        ui->BT_annuler->setEnabled(Modifiable() && ui->Lst_jeux->selectionModel()->hasSelection());
    };
    connect(ui->Lst_jeux->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            selectionSuivie);
    connect(m_modeleReleve, &QAbstractItemModel::modelReset, this, selectionSuivie);
    connect(ui->mnusuivits, &QAction::triggered, this, &Form1::mnusuivits_Click);
    connect(ui->mnujour, &QAction::triggered, this, &Form1::raceDayRequested);
    connect(ui->mnustats, &QAction::triggered, this, &Form1::mnustats_Click);
    connect(ui->mnutypesjeux, &QAction::triggered, this, &Form1::mnutypesjeux_Click);
    connect(ui->mnurestaurer, &QAction::triggered, this, &Form1::restoreRequested);
    connect(ui->mnurechercher, &QAction::triggered, this, &Form1::searchRequested);
    // The open year's window is the program: closing it asks each window, then ends.
    connect(ui->mnuquitter, &QAction::triggered, this, [this] {
        if (m_anneeArchivee == 0)
            close();
        else
            emit quitRequested();
    });
    connect(ui->mnulimites, &QAction::triggered, this, [this] {
        if (ReleveAffiche())
            emit limitsRequested(m_releve.player);
    });
    connect(ui->mnuexport, &QAction::triggered, this, [this] { Exporter(exports::Format::Csv); });
    connect(ui->mnupdf, &QAction::triggered, this, [this] { Exporter(exports::Format::Pdf); });
    connect(ui->mnuimprimer, &QAction::triggered, this, &Form1::mnuimprimer_Click);
    connect(ui->mnucloturer, &QAction::triggered, this, &Form1::mnucloturer_Click);
    connect(ui->mnuexportannee, &QAction::triggered, this,
            [this] { exports::exportYear(this, *m_base); });
    connect(ui->BT_voirsuivit, &QPushButton::clicked, this, &Form1::BT_voirsuivit_Click);
    connect(ui->BT_encaisser, &QPushButton::clicked, this, &Form1::BT_encaisser_Click);
    m_aEncaisser = new BetsToCashModel(this);
    ui->LstAEncaisser->setModel(m_aEncaisser);
    connect(ui->LstAEncaisser->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] {
                ui->BT_encaisser->setEnabled(Modifiable() &&
                                             ui->LstAEncaisser->selectionModel()->hasSelection());
            });
    connect(ui->CjourMiseGain, &QDateEdit::dateChanged, this, &Form1::CjourMiseGain_Change);
    connect(ui->C_moisMiseGain, &QComboBox::activated, this, &Form1::C_moisMiseGain_Click);
    ui->Lst_jeux->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->Lst_jeux, &QWidget::customContextMenuRequested, this, &Form1::MenuReleve);
    ui->Gencaisser->hide();
    // Shown for a player with a ceiling only.
    ui->Reste->hide();
    ui->Treste->setMaximumWidth(ui->T_soldecours->sizeHint().width());
    ui->Treste->setAlignment(Qt::AlignRight);
    // A race's full name would widen the entry column: the box stays narrow, its list shows
    // the names whole.
    ui->C_course->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ui->C_course->setMinimumContentsLength(8);
    ui->Tcote->setMaximumWidth(
        ui->Tcote->fontMetrics().horizontalAdvance(QStringLiteral("000,00")) +
        4 * ui->Tcote->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 8);
    // The archived years, found each time the menu opens.
    ui->mnuouvrirannee->setMenu(new QMenu(this));
    connect(ui->mnuouvrirannee->menu(), &QMenu::aboutToShow, this, &Form1::ListerArchives);
    if (m_anneeArchivee != 0)
        LectureSeule(QStringLiteral(" — %1 (archive)").arg(m_anneeArchivee));
    else
        ui->centralwidget->installEventFilter(this);
    Proteger([this] { Form_Load(); });
}

Form1* Form1::ouvrirArchive(const QString& chemin, int annee, QWidget* parent) {
    return new Form1(ledger::openArchive(chemin), annee, parent);
}

// A past year is read, never written: what writes is disabled, and the file itself is
// opened read-only by the engine.
void Form1::LectureSeule(const QString& suffixe) {
    setWindowTitle(windowTitle() + suffixe);
    for (QWidget* ecrit :
         std::initializer_list<QWidget*>{ui->BT_savemise, ui->BT_savegain, ui->Tajoutecredit,
                                         ui->bt_ajouteusers, ui->BT_annuler, ui->BT_encaisser})
        ecrit->setEnabled(false);
    ui->mnucloturer->setEnabled(false);
    ui->mnutypesjeux->setEnabled(false);
    ui->mnurestaurer->setEnabled(false);
    ui->mnulimites->setEnabled(false);
}

void Form1::LectureSeuleFichier(const QString& raison) {
    m_lectureSeule = true;
    LectureSeule(QStringLiteral(" (lecture seule)"));
    // Settling would write: a file read only keeps its bets as they are.
    m_parisRegles = true;
    ui->centralwidget->removeEventFilter(this);
    auto* motif = new QLabel(raison);
    motif->setObjectName(QStringLiteral("LectureSeule"));
    statusBar()->insertPermanentWidget(0, motif, 1);
}

// The archives beside the open file, newest first, each opening in a window of its own.
void Form1::ListerArchives() {
    QMenu* menu = ui->mnuouvrirannee->menu();
    menu->clear();
    const auto trouvees = ledger::archives(paths::databaseFolder());
    for (const ledger::ArchiveFile& archive : trouvees) {
        QAction* action = menu->addAction(QString::number(archive.year));
        connect(action, &QAction::triggered, this, [this, archive] {
            try {
                Form1* fenetre = ouvrirArchive(archive.path, archive.year);
                emit pastYearOpened(fenetre);
                fenetre->show();
            } catch (const data::DbError& error) {
                errors::showDbError(this, error);
            }
        });
    }
    if (trouvees.isEmpty())
        menu->addAction(QStringLiteral("Aucune année archivée"))->setEnabled(false);
}

Form1::~Form1() {
    // The list's header still reports its geometry while the children go, after ui has.
    disconnect(ui->Lst_jeux->header(), nullptr, this, nullptr);
}

// ---------------------------------------------------------------------------------------
// Load and fixed lists

void Form1::Form_Load() {
    ChargerMois();
    PreparerListeJeux();
    ChargerUsers();
    ChargerTypesJeux();
    int mois = regional::today().month();
    // A past year is read where it ended, not on an empty month.
    if (m_anneeArchivee != 0)
        if (const auto dernier = ledger::lastMonthWithLines(*m_base))
            mois = *dernier + 1;
    ui->C_mois->setCurrentIndex(mois - 1);
    ui->C_moisMiseGain->setCurrentIndex(mois - 1);
    {
        // The day's races are read once, below, not again by the date's change.
        const QSignalBlocker calme(ui->CjourMiseGain);
        ui->CjourMiseGain->setDate(regional::today());
    }
    ChargerCourses();
    if (m_anneeArchivee != 0)
        return;
    if (const QString terminee = ledger::yearStatus(*m_base, regional::today());
        !terminee.isEmpty())
        statusBar()->showMessage(terminee);
    ActualiserPartants();
    ProgrammerMinuit();
}

// The followed horses on today's card, told where the punter looks first, as a way to the
// card. Kept aside from the passing messages, which would hide it.
void Form1::ActualiserPartants() {
    if (m_anneeArchivee != 0)
        return;
    int suivis = 0;
    try {
        suivis = followed::followedRunningOn(*m_base, regional::today());
    } catch (const data::DbError& error) {
        // A link, not a write: a busy file leaves it as it was, and says why.
        statusBar()->showMessage(QStringLiteral("Les partants du jour n'ont pas pu être lus : ") +
                                 error.engineText());
        return;
    }
    if (!m_lienPartants) {
        // No status bar for nothing to say: the window keeps its room.
        if (suivis == 0)
            return;
        m_lienPartants = new QLabel(this);
        m_lienPartants->setObjectName(QStringLiteral("LienPartants"));
        m_lienPartants->setTextFormat(Qt::RichText);
        connect(m_lienPartants, &QLabel::linkActivated, this, &Form1::raceDayRequested);
        statusBar()->addPermanentWidget(m_lienPartants);
    }
    const QString texte =
        suivis == 1 ? QStringLiteral("1 de vos chevaux suivis court aujourd'hui")
                    : QStringLiteral("%1 de vos chevaux suivis courent aujourd'hui").arg(suivis);
    m_lienPartants->setText(QStringLiteral("<a href=\"jour\">%1</a>").arg(texte.toHtmlEscaped()));
    m_lienPartants->setVisible(suivis > 0);
}

void Form1::ProgrammerMinuit() {
    const QDateTime maintenant = QDateTime::currentDateTime();
    const QDateTime minuit(maintenant.date().addDays(1), QTime(0, 0, 1));
    QTimer::singleShot(std::max<qint64>(1000, maintenant.msecsTo(minuit)), this, [this] {
        ActualiserPartants();
        ProgrammerMinuit();
    });
}

void Form1::ChargerMois() {
    ui->C_mois->addItems(regional::monthNames());
    ui->C_moisMiseGain->addItems(regional::monthNames());
}

void Form1::PreparerListeJeux() {
    QTreeView* liste = ui->Lst_jeux;
    m_modeleReleve->clear();
    m_modeleReleve->setBaseFont(liste->font());

    // The widths were drawn for a smaller font than today's desktops use. The window leaves
    // room for money columns of a bold "-9 999 999,99 €", the game type fits the credit
    // rows' own, a bet's state its longest word, the horse takes what is left, so the
    // balance never hides under the scroll bar and the list takes the window's extra width,
    // within a 1024-pixel screen. The money columns then fit the statement's widest amount
    // (AjusterMontants), and the horse has their room.
    QFont gras = liste->font();
    gras.setBold(true);
    const QFontMetrics normal(liste->font());
    const int marge = margeCellule(liste);
    const int montant =
        QFontMetrics(gras).horizontalAdvance(regional::formatMoney(Money::fromCents(-999999999))) +
        marge;
    QHeaderView* entetes = liste->header();
    // The list's own header names the columns, over them whatever their widths: the row of
    // headings drawn above the list would say it twice.
    ui->headings->hide();
    entetes->setStretchLastSection(false);
    int minimum = 0;
    QFont italique = liste->font();
    italique.setItalic(true);
    // What each column without money must show whole: a day, the credit rows' type in
    // italics, a few letters of a horse, a bet's longest state.
    const int textes[] = {
        normal.horizontalAdvance(QStringLiteral("00")),
        QFontMetrics(italique).horizontalAdvance(ledger::creditType()),
        6 * normal.averageCharWidth(),
        0,
        0,
        0,
        normal.horizontalAdvance(ledger::betStateName(ledger::BetState::Refunded))};
    for (int i = 0; i < static_cast<int>(std::size(kColonnes)); ++i) {
        const int titre =
            normal.horizontalAdvance(QString::fromUtf8(StatementModel::header(i))) + marge;
        const bool reste = i == 2;
        const int largeur = kColonnes[i].argent ? montant : std::max(titre, textes[i] + marge);
        liste->setColumnWidth(i, largeur);
        entetes->setSectionResizeMode(i, reste ? QHeaderView::Stretch : QHeaderView::Fixed);
        minimum += largeur;
    }
    liste->setMinimumWidth(minimum + 2 * liste->frameWidth() +
                           liste->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, liste));
    AjusterMontants();
    liste->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void Form1::ChargerUsers() {
    ui->C_users->clear();
    ui->C_users->addItems(ledger::playerRows(*m_base));
    ui->C_users->setCurrentIndex(-1);
}

void Form1::ChargerTypesJeux() {
    ui->Ctypejeux->addItems(ledger::gameTypes(*m_base));
    ui->Ctypejeux->setCurrentIndex(-1);
}

// ---------------------------------------------------------------------------------------
// Balances

void Form1::T_soldecours_Change() {
    // Without a balance there is no sign to show: the colour stays as it was.
    if (!m_releve.soldeEnCours)
        return;
    const long long centimes = m_releve.soldeEnCours->cents();
    QPalette palette = ui->T_soldecours->palette();
    palette.setColor(QPalette::Text, centimes < 0 ? kRed : centimes > 0 ? kGreen : kBlack);
    ui->T_soldecours->setPalette(palette);
}

// ---------------------------------------------------------------------------------------
// Statement

void Form1::C_users_Click() {
    ChargerCompte(joueur(*ui), moisAffiche(*ui));
}

void Form1::ChargerCompte(const QString& nom, const QString& mois) {
    if (!Proteger([&] {
            ChargerReleve(nom, mois);
            ChargerChevaux(nom);
        }))
        return;
    if (Modifiable() && !m_releve.soldeEnCours && !nom.isEmpty() &&
        regional::monthIndex(mois) >= 0 && OuvrirMois(nom, mois))
        Proteger([&] { ChargerReleve(nom, mois); });
}

void Form1::ChargerChevaux(const QString& nom) {
    // One list shared by both boxes.
    const QStringList chevaux = ledger::playerHorses(*m_base, nom);
    // A horse already in the entry (a bet taken from the day's card) stays for the player
    // then chosen: it is typed input, not another player's figure.
    const QString saisi = ui->Tcheval->currentText();
    m_chevaux->setStringList(chevaux);
    ui->C_cheval->setCurrentIndex(-1);
    ui->Tcheval->setCurrentIndex(-1);
    ui->Tcheval->setEditText(saisi);
}

void Form1::ChargerReleve(const QString& nom, const QString& mois) {
    m_releve = ledger::loadStatement(*m_base, nom, mois);
    AfficherReleve();
    ChargerAEncaisser();
    AfficherReste();
}

void Form1::AfficherReste() {
    std::optional<Money> reste;
    if (!m_releve.player.isEmpty() && m_anneeArchivee == 0) {
        const ledger::Limits limites = ledger::limitsOf(*m_base, m_releve.player);
        if (limites.ceiling)
            reste = ledger::leftToStake(
                limites, ledger::monthPlay(*m_base, m_releve.player, m_releve.month));
    }
    ui->Reste->setVisible(reste.has_value());
    ui->Treste->setText(reste ? regional::formatMoney(*reste) : QString());
    // Nothing left, or past the ceiling: in red, as a loss is.
    QPalette couleurs = ui->Treste->palette();
    couleurs.setColor(QPalette::Text, reste && *reste <= Money() ? QColor(colours::kRed)
                                                                 : palette().color(QPalette::Text));
    ui->Treste->setPalette(couleurs);
}

void Form1::LimitesModifiees(const QString& nom) {
    if (regional::simplifiedName(nom).compare(m_releve.player, Qt::CaseInsensitive) == 0)
        Proteger([this] { AfficherReste(); });
}

bool Form1::LimitesAcceptees(const ledger::GameEntry& entree) {
    if (entree.kind != ledger::GameKind::Stake)
        return true;
    QString question;
    if (!Proteger([&] {
            const ledger::Limits limites = ledger::limitsOf(*m_base, entree.player);
            if (limites.any())
                question = ledger::limitQuestion(
                    limites, ledger::monthPlay(*m_base, entree.player, entree.month), entree.amount,
                    entree.month);
        }))
        return false;
    return question.isEmpty() ||
           dialogs::message(this, question, QStringLiteral("Limite du joueur"),
                            dialogs::Buttons::YesNo,
                            dialogs::Icon::Question) == dialogs::Answer::Yes;
}

void Form1::AjusterMontants() {
    QTreeView* liste = ui->Lst_jeux;
    QFont gras = liste->font();
    gras.setBold(true);
    const QFontMetrics metriques(gras);
    const QFontMetrics normal(liste->font());
    const int marge = margeCellule(liste);
    // The digits share one width: the widest texts are the largest and the most negative.
    Money plusGrand;
    Money plusPetit;
    for (const ledger::StatementLine& ligne : m_releve.lines) {
        for (const Money montant : {ligne.mise, ligne.gain, ligne.solde.value_or(Money())}) {
            plusGrand = std::max(plusGrand, montant);
            plusPetit = std::min(plusPetit, montant);
        }
    }
    const int texte = std::max(metriques.horizontalAdvance(regional::formatMoney(plusGrand)),
                               metriques.horizontalAdvance(regional::formatMoney(plusPetit)));
    const int dpi = logicalDpiX();
    for (int i = 0; i < static_cast<int>(std::size(kColonnes)); ++i) {
        if (!kColonnes[i].argent)
            continue;
        const int titre =
            normal.horizontalAdvance(QString::fromUtf8(StatementModel::header(i))) + marge;
        // Most months need the widths the last one had: no new layout then.
        const int largeur = std::max({kColonnes[i].twips * dpi / 1440, titre, texte + marge});
        if (liste->columnWidth(i) != largeur)
            liste->setColumnWidth(i, largeur);
    }
}

void Form1::AfficherReleve() {
    m_modeleReleve->setStatement(m_releve);
    AjusterMontants();
    // Laid out now, the lines are painted once; laid out by the first paint, they would be
    // painted again straight after it.
    ui->Lst_jeux->doItemsLayout();
    const auto argent = [](const std::optional<Money>& montant) {
        return montant ? regional::formatMoney(*montant) : QString();
    };
    // Another player's or month's figures never stay in the boxes: without a row for the
    // pair on display they are empty.
    ui->T_soldepreced->setText(argent(m_releve.totalDepots));
    ui->T_soldecours->setText(argent(m_releve.soldeEnCours));
    ui->TnbrTotaljeux->setText(QString::number(m_releve.nombreJeux));
    ui->TTotalmise->setText(regional::formatMoney(m_releve.totalMises));
    ui->Ttotalgain->setText(regional::formatMoney(m_releve.totalGains));
    ui->Tplusgrosgain->setText(regional::formatMoney(m_releve.plusGrosGain));
    ui->Tplusgrossemise->setText(regional::formatMoney(m_releve.plusGrosseMise));
    ui->TsoldeDepart->setText(argent(m_releve.soldeDepart));
}

bool Form1::OuvrirMois(const QString& nom, const QString& mois) {
    std::optional<ledger::PreviousMonth> precedent;
    bool connu = false;
    if (!Proteger([&] {
            connu = ledger::isKnownPlayer(*m_base, nom);
            precedent = ledger::previousMonth(*m_base, nom, mois);
        }))
        return false;
    // A name typed that no month knows is no player: adding one is the "+" button's work.
    if (!connu || !AnneeOuverte({mois}))
        return false;
    Money solde;
    if (precedent) {
        const QString question =
            QStringLiteral("%1 n'a pas encore de compte pour %2.\nL'ouvrir avec le solde de %3 : "
                           "%4 ?")
                .arg(nom, mois, precedent->month, regional::formatMoney(precedent->balance));
        if (dialogs::message(this, question, QStringLiteral("Nouveau mois"),
                             dialogs::Buttons::YesNo,
                             dialogs::Icon::Question) != dialogs::Answer::Yes)
            return false;
        solde = precedent->balance;
    } else {
        const auto saisi = dialogs::input(
            this, QStringLiteral("Veuillez saisir le solde pour l'utilisateur ") + nom,
            QStringLiteral("Solde du jouer"));
        const QString texte = regional::dotsToCommas(saisi.value_or(QString())).trimmed();
        if (texte.isEmpty())
            return false;
        const auto montant = regional::readPositiveAmount(texte);
        if (!montant.value) {
            RefuserMontant(montant.error, QStringLiteral(" Le mois n'a pas été ouvert."));
            return false;
        }
        solde = *montant.value;
    }
    try {
        ledger::addPlayer(*m_base, nom, solde, mois);
        emit ledgerWritten();
    } catch (const ledger::PlayerExists&) {
        // Opened meanwhile by another program: it is there to show.
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Recording a stake or a win

bool Form1::JoueurChoisi() {
    if (!joueur(*ui).isEmpty())
        return true;
    Refuser(QStringLiteral("vous devez choisir un joueur"), QStringLiteral("Erreur joueur"),
            ui->C_users);
    return false;
}

std::optional<QString> Form1::MoisChoisi(QComboBox* combo) {
    // A row filed under a text that is no month would move a balance yet show in no
    // statement.
    const auto mois = regional::monthNamed(combo->currentText());
    if (!mois)
        Refuser(QStringLiteral("vous devez choisir le mois"), QStringLiteral("Erreur mois"), combo);
    return mois;
}

void Form1::RefuserSansCompte(const QString& nom, const QString& mois) {
    Refuser(
        QStringLiteral("%1 n'a pas de compte pour %2 : rien n'a été enregistré.").arg(nom, mois),
        QStringLiteral("Erreur solde"));
}

bool Form1::CompteExiste(const QString& nom, const QString& mois) {
    bool existe = false;
    if (!Proteger([&] { existe = ledger::account(*m_base, nom, mois).has_value(); }))
        return false;
    if (!existe)
        RefuserSansCompte(nom, mois);
    return existe;
}

std::optional<ledger::Carry> Form1::Reporter(const QString& nom, const QString& mois) {
    QStringList suivants;
    if (!Proteger([&] { suivants = ledger::laterMonths(*m_base, nom, mois); }))
        return std::nullopt;
    if (suivants.isEmpty())
        return ledger::Carry::ThisMonthOnly;
    const auto reponse = dialogs::message(
        this, QStringLiteral("Reporter aussi ce changement sur %1 ?").arg(enumerer(suivants)),
        QStringLiteral("Mois suivants"), dialogs::Buttons::YesNo, dialogs::Icon::Question);
    return reponse == dialogs::Answer::Yes ? ledger::Carry::LaterMonthsToo
                                           : ledger::Carry::ThisMonthOnly;
}

void Form1::BT_savemise_Click() {
    Enregistrer(ledger::GameKind::Stake);
}

void Form1::BT_savegain_Click() {
    Enregistrer(ledger::GameKind::Win);
}

void Form1::Enregistrer(ledger::GameKind genre) {
    if (!JoueurChoisi())
        return;
    ledger::GameEntry entree;
    entree.kind = genre;
    entree.player = joueur(*ui);
    // The line moves the balance of the month it is filed under; C_mois only chooses the
    // statement on display.
    const auto moisEntree = MoisChoisi(ui->C_moisMiseGain);
    if (!moisEntree)
        return;
    entree.month = *moisEntree;
    const QDate jour = ui->CjourMiseGain->date();
    // The race day of a bet is the line's day: a day of another month would settle the bet
    // from one month's results and file it under another.
    if (regional::monthIndex(entree.month) != jour.month() - 1) {
        Refuser(QStringLiteral("Le jour choisi (%1) n'est pas dans le mois de %2 : choisissez "
                               "le jour ou le mois de la mise à nouveau.")
                    .arg(regional::frenchDate(jour), entree.month),
                QStringLiteral("Erreur mois"), ui->CjourMiseGain);
        return;
    }
    entree.day = jour.toString(QStringLiteral("dd"));

    entree.gameType = regional::simplifiedName(ui->Ctypejeux->currentText());
    if (entree.gameType.isEmpty()) {
        Refuser(QStringLiteral("vous devez saisir le type de jeu"),
                QStringLiteral("Erreur type jeux"), ui->Ctypejeux);
        return;
    }

    // Either decimal separator may be typed; the ledger's is the comma.
    ui->Cmontant->setText(regional::dotsToCommas(ui->Cmontant->text()));
    if (ui->Cmontant->text().isEmpty()) {
        Refuser(QStringLiteral("vous devez saisir le montant de la mise"),
                QStringLiteral("Erreur montant"), ui->Cmontant);
        return;
    }
    const auto montant = regional::readPositiveAmount(ui->Cmontant->text());
    if (!montant.value) {
        RefuserMontant(montant.error, QString(), ui->Cmontant);
        return;
    }
    entree.amount = *montant.value;
    const bool plusieurs = ledger::playsNumbers(RegleChoisie());
    // A bet on several horses names none: its line says "AUTRE JEUX", as it always has.
    entree.horse = plusieurs ? QString() : ui->Tcheval->currentText();
    // A win line is not a bet: the race and odds go with a stake only.
    if (genre == ledger::GameKind::Stake) {
        bool saisi = false;
        entree.bet = PariSaisi(saisi);
        if (!saisi)
            return;
        // Numbers are what settles a bet on several horses; without them the stake is kept
        // as it always was, the bet (if it names its race) settled by hand.
        if (plusieurs && !ui->Tnumeros->text().trimmed().isEmpty()) {
            // Settled from its race's finish: without its race, its numbers mean nothing.
            if (!entree.bet) {
                Refuser(QStringLiteral("Choisissez la course du pari : un pari sur plusieurs "
                                       "chevaux se règle sur son arrivée."),
                        QStringLiteral("Erreur course"), ui->C_course);
                return;
            }
            if (!NumerosSaisis(*entree.bet))
                return;
        }
    }

    if (!AnneeOuverte({entree.month}) || !LimitesAcceptees(entree) ||
        !CompteExiste(entree.player, entree.month))
        return;
    const auto report = Reporter(entree.player, entree.month);
    qint64 num = 0;
    if (!report || !Ecrire([&] { num = ledger::recordGame(*m_base, entree, *report).num; }))
        return;

    ui->Cmontant->clear();
    if (genre == ledger::GameKind::Win)
        ui->Ctypejeux->setEditText(QString());
    ui->Tcheval->setEditText(QString());
    if (entree.bet) {
        ui->C_course->setEditText(QString());
        ui->Tcote->clear();
        ui->Tnumeros->clear();
        ReglerParis(num);
    }
    // Choosing the player again rebuilds the statement and the horse lists once; the
    // statement on display may have moved through the carry.
    C_users_Click();
    DireOuVaLaLigne(genre == ledger::GameKind::Stake ? QStringLiteral("Mise enregistrée")
                                                     : QStringLiteral("Gain enregistré"),
                    entree.player, entree.month);
}

void Form1::DireOuVaLaLigne(const QString& quoi, const QString& nom, const QString& mois) {
    if (regional::monthIndex(mois) != regional::monthIndex(m_releve.month) ||
        nom.compare(m_releve.player, Qt::CaseInsensitive) != 0) {
        m_ouVaLaLigne = QStringLiteral("%1 dans %2").arg(quoi, mois);
        statusBar()->showMessage(m_ouVaLaLigne);
    }
}

void Form1::C_moisMiseGain_Click() {
    const int mois = regional::monthIndex(ui->C_moisMiseGain->currentText());
    const QDate jour = ui->CjourMiseGain->date();
    if (mois < 0 || jour.month() == mois + 1)
        return;
    // The same day in the month chosen, or its last day.
    const QDate premier(jour.year(), mois + 1, 1);
    ui->CjourMiseGain->setDate(premier.addDays(std::min(jour.day(), premier.daysInMonth()) - 1));
}

void Form1::CjourMiseGain_Change() {
    const int mois = ui->CjourMiseGain->date().month() - 1;
    if (regional::monthIndex(ui->C_moisMiseGain->currentText()) != mois)
        ui->C_moisMiseGain->setCurrentIndex(mois);
    ChargerCourses();
}

// Once the calendar has turned the year, the open year takes no entry for a month the new
// year has reached: it is closed first.
bool Form1::AnneeOuverte(const QStringList& mois) {
    for (const QString& m : mois) {
        std::optional<ledger::YearRefusal> refus;
        if (!Proteger([&] { refus = ledger::yearRefusal(*m_base, m, regional::today()); }))
            return false;
        if (refus) {
            Refuser(refus->text, refus->title);
            return false;
        }
    }
    return true;
}

void Form1::Refuser(const QString& texte, const QString& titre, QWidget* champ) {
    dialogs::message(this, texte, titre, dialogs::Buttons::Ok, dialogs::Icon::Exclamation);
    if (champ)
        champ->setFocus();
}

void Form1::RefuserMontant(regional::AmountError erreur, const QString& suite, QWidget* champ) {
    Refuser(regional::amountErrorText(erreur) + suite, QStringLiteral("Erreur montant"), champ);
}

ledger::Rule Form1::RegleChoisie() const {
    const QString type = regional::simplifiedName(ui->Ctypejeux->currentText());
    if (!m_base)
        return ledger::defaultRule(type);
    if (!m_regles) {
        try {
            m_regles = std::make_shared<const ledger::GameRules>(*m_base);
        } catch (const data::DbError&) {
            // A file busy now: the type's usual rule, read again at the next look.
            return ledger::defaultRule(type);
        }
    }
    return m_regles->of(type);
}

void Form1::Ctypejeux_Click() {
    const ledger::Rule regle = RegleChoisie();
    ui->Tcheval->setEnabled(regle == ledger::Rule::SimpleGagnant ||
                            regle == ledger::Rule::SimplePlace);
    // The numbers and their formula show for the bets played on several horses only.
    const bool numeros = ledger::playsNumbers(regle);
    ui->saisieForm->setRowVisible(ui->Tnumeros, numeros);
    ui->saisieForm->setRowVisible(ui->formuleLayout, numeros);
    const QVariant choisie = ui->C_formule->currentData();
    {
        const QSignalBlocker bloque(ui->C_formule);
        ui->C_formule->clear();
        if (numeros) {
            QVector<ledger::Formula> formules{ledger::Formula::Unit};
            if (regle != ledger::Rule::Multi)
                formules << ledger::Formula::Combined;
            if (ledger::ordered(regle))
                formules << ledger::Formula::AllOrders;
            for (const ledger::Formula formule : formules)
                ui->C_formule->addItem(ledger::formulaLabel(formule), int(formule));
            const int garde = ui->C_formule->findData(choisie);
            ui->C_formule->setCurrentIndex(std::max(garde, 0));
        }
    }
    Tnumeros_Change();
}

// Beside the numbers, what they play: "10 combinaisons, soit 1,50 € l'une".
void Form1::Tnumeros_Change() {
    ui->LblCombinaisons->clear();
    if (!ui->saisieForm->isRowVisible(ui->Tnumeros))
        return;
    const ledger::Rule regle = RegleChoisie();
    if (!ledger::playsNumbers(regle) || ui->C_formule->currentIndex() < 0)
        return;
    const auto formule = ledger::Formula(ui->C_formule->currentData().toInt());
    const ledger::ParsedNumbers lus = ledger::parseNumbers(ui->Tnumeros->text());
    if (!lus.refusal.isEmpty() || ledger::numbersRefusal(regle, formule, lus.numbers))
        return;
    const qint64 combinaisons = ledger::combinationCount(regle, formule, int(lus.numbers.size()));
    QString texte = regional::counted(int(combinaisons), QStringLiteral("combinaison"),
                                      QStringLiteral("combinaisons"));
    const auto montant = regional::readPositiveAmount(ui->Cmontant->text());
    if (montant.value && combinaisons > 0)
        texte += QStringLiteral(", soit %1 l'une")
                     .arg(regional::formatMoney(Money::fromCents(
                         (montant.value->cents() + combinaisons / 2) / combinaisons)));
    ui->LblCombinaisons->setText(texte);
}

bool Form1::NumerosSaisis(ledger::BetSlip& pari) {
    const ledger::Rule regle = RegleChoisie();
    const auto formule = ui->C_formule->currentIndex() >= 0
                             ? ledger::Formula(ui->C_formule->currentData().toInt())
                             : ledger::Formula::Unit;
    const ledger::ParsedNumbers lus = ledger::parseNumbers(ui->Tnumeros->text());
    QString refus = lus.refusal;
    if (refus.isEmpty())
        refus = ledger::numbersRefusal(regle, formule, lus.numbers).value_or(QString());
    if (!refus.isEmpty()) {
        refus[0] = refus.at(0).toUpper();
        Refuser(refus + QLatin1Char('.'), QStringLiteral("Erreur numéros"), ui->Tnumeros);
        return false;
    }
    pari.numbers = lus.numbers;
    pari.formula = formule;
    pari.combinations = ledger::combinationCount(regle, formule, int(lus.numbers.size()));
    return true;
}

// ---------------------------------------------------------------------------------------
// Players and credit

void Form1::bt_ajouteusers_Click() {
    const auto saisi =
        dialogs::input(this, QStringLiteral("Veuillez saisir le pseudo du nouvel utilisateur"),
                       QStringLiteral("Ajouter un users"));
    const QString nom = regional::simplifiedName(saisi.value_or(QString()));
    if (nom.isEmpty())
        return;
    const auto mois = MoisChoisi(ui->C_mois);
    if (!mois)
        return;
    const QString dejaLa =
        QStringLiteral("Le joueur %1 existe déjà pour le mois de %2.").arg(nom, *mois);
    // Told before the balance is asked; addPlayer checks again inside its transaction.
    bool existe = false;
    std::optional<ledger::PreviousMonth> precedent;
    if (!Proteger([&] {
            existe = ledger::playerExists(*m_base, nom, *mois);
            precedent = ledger::previousMonth(*m_base, nom, *mois);
        }))
        return;
    if (existe) {
        Refuser(dejaLa, QStringLiteral("Ajouter un users"));
        return;
    }
    if (!AnneeOuverte({*mois}))
        return;
    // A player known from an earlier month is offered the balance he ended it with.
    const auto solde =
        dialogs::input(this, QStringLiteral("Veuillez saisir le solde pour l'utilisateur ") + nom,
                       QStringLiteral("Solde du jouer"),
                       precedent ? regional::typedAmount(precedent->balance) : QString());
    const QString texteSolde = regional::dotsToCommas(solde.value_or(QString())).trimmed();
    if (texteSolde.isEmpty())
        return;
    const auto montant = regional::readPositiveAmount(texteSolde);
    if (!montant.value) {
        RefuserMontant(montant.error, QStringLiteral(" Le joueur n'a pas été ajouté."));
        return;
    }

    try {
        ledger::addPlayer(*m_base, nom, *montant.value, *mois);
        emit ledgerWritten();
    } catch (const ledger::PlayerExists&) {
        Refuser(dejaLa, QStringLiteral("Ajouter un users"));
        return;
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
        return;
    }

    dialogs::message(this, QStringLiteral("Enregistrement reussi"),
                     QStringLiteral("Utilisateur") + nom + QStringLiteral(" Solde : ") + texteSolde,
                     dialogs::Buttons::Ok, dialogs::Icon::Information);
    Proteger([this] { ChargerUsers(); });
}

void Form1::Tajoutecredit_Click() {
    if (!JoueurChoisi())
        return;
    const QString nom = joueur(*ui);
    const auto mois = MoisChoisi(ui->C_mois);
    if (!mois || !CompteExiste(nom, *mois))
        return;
    if (dialogs::message(this,
                         QStringLiteral("Attention, en ajoutant des crédits vous allez modifier "
                                        "votre solde de départ , voulez vous continuer?"),
                         QStringLiteral("Rajouter des crédit"), dialogs::Buttons::YesNo,
                         dialogs::Icon::None) != dialogs::Answer::Yes)
        return;
    const auto saisi = dialogs::input(this, QStringLiteral("Veuillez saisir la somme à rajouter"),
                                      QStringLiteral("Ajout de crédit au solde"));
    if (!saisi)
        return;
    const auto somme = regional::readPositiveAmount(*saisi);
    // Text that is no number at all is taken as a change of mind; a number the ledger
    // cannot take is explained.
    if (!somme.value) {
        if (somme.error != regional::AmountError::NotANumber)
            RefuserMontant(somme.error);
        return;
    }

    if (!AnneeOuverte({*mois}))
        return;
    const auto report = Reporter(nom, *mois);
    if (!report || !Ecrire([&] {
            ledger::addCredit(*m_base, nom, *mois, regional::today().toString(QStringLiteral("dd")),
                              *somme.value, *report);
        }))
        return;
    Proteger([&] { ChargerReleve(nom, *mois); });
}

// ---------------------------------------------------------------------------------------
// Per-horse report

void Form1::C_cheval_Click() {
    Proteger([this] {
        const ledger::HorseTotals totaux =
            ledger::horseTotals(*m_base, joueur(*ui), ui->C_cheval->currentText().trimmed());
        ui->Ttotalmisecheval->setText(regional::formatMoney(totaux.stakes));
        ui->Ttotalgaincheval->setText(regional::formatMoney(totaux.wins));
        ui->Trapportcheval->setText(regional::formatMoney(totaux.wins - totaux.stakes));
    });
}

// ---------------------------------------------------------------------------------------
// Navigation

void Form1::BT_suivit_Click() {
    dialogs::message(this, QStringLiteral("En cours de developpement"), dialogs::applicationTitle(),
                     dialogs::Buttons::Ok, dialogs::Icon::None);
}

void Form1::mnuchrono_Click() {
    emit chronoRequested();
}

void Form1::mnusuivits_Click() {
    emit followedRequested();
}

void Form1::mnutypesjeux_Click() {
    emit gameTypesRequested();
}

void Form1::TypesModifies() {
    m_regles.reset();
    const QString saisi = ui->Ctypejeux->currentText();
    {
        const QSignalBlocker bloque(ui->Ctypejeux);
        ui->Ctypejeux->clear();
        if (!Proteger([this] { ChargerTypesJeux(); }))
            return;
        ui->Ctypejeux->setEditText(saisi);
    }
    Ctypejeux_Click();
}

bool Form1::Montrer(const QString& nom, const QString& mois, qint64 num) {
    const int index = ui->C_users->findText(nom, Qt::MatchFixedString);
    if (index < 0)
        return false;
    ui->C_users->setCurrentIndex(index);
    if (const int m = regional::monthIndex(mois); m >= 0)
        ui->C_mois->setCurrentIndex(m);
    C_users_Click();
    if (num == 0)
        return true;
    for (int row = 0; row < m_modeleReleve->rowCount(); ++row) {
        if (m_modeleReleve->line(row).num != num)
            continue;
        const QModelIndex ligne = m_modeleReleve->index(row, 0);
        ui->Lst_jeux->setCurrentIndex(ligne);
        ui->Lst_jeux->selectionModel()->select(ligne, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
        ui->Lst_jeux->scrollTo(ligne);
        break;
    }
    return true;
}

QString Form1::JoueurAffiche() const {
    return m_releve.player;
}

QString Form1::MoisAffiche() const {
    return m_releve.month;
}

void Form1::mnustats_Click() {
    emit statisticsRequested(joueur(*ui), moisAffiche(*ui), m_anneeArchivee);
}

// The statement on display, as last loaded: no player picked, nothing to write or print.
bool Form1::ReleveAffiche() {
    if (!m_releve.player.isEmpty())
        return true;
    Refuser(QStringLiteral("vous devez choisir un joueur"), QStringLiteral("Erreur joueur"),
            ui->C_users);
    return false;
}

void Form1::Exporter(exports::Format format) {
    if (ReleveAffiche())
        exports::exportStatement(this, m_releve, format);
}

void Form1::mnucloturer_Click() {
    const QString titre = QStringLiteral("Clôturer l'année");
    ledger::ClosingRecap recap;
    if (!Proteger([&] { recap = ledger::closingRecap(*m_base, regional::today()); }))
        return;
    if (dialogs::message(this, ledger::recapText(recap), titre, dialogs::Buttons::YesNo,
                         dialogs::Icon::Question) != dialogs::Answer::Yes)
        return;
    ledger::ClosingDone fait;
    try {
        fait = ledger::closeYear(*m_base, recap.year);
    } catch (const ledger::ClosingRefused& refus) {
        Refuser(refus.text, titre);
        return;
    }
    emit ledgerWritten();
    statusBar()->clearMessage();
    // The statement on display belonged to the year now archived.
    const QString nom = joueur(*ui);
    Proteger([&] {
        ChargerUsers();
        ui->C_users->setCurrentIndex(ui->C_users->findText(nom));
        ChargerReleve(nom, moisAffiche(*ui));
    });
    dialogs::message(this,
                     QStringLiteral("L'année %1 est clôturée : son registre est archivé dans\n%2")
                         .arg(fait.year)
                         .arg(QDir::toNativeSeparators(fait.archive)),
                     titre, dialogs::Buttons::Ok, dialogs::Icon::Information);
}

void Form1::mnuimprimer_Click() {
    if (ReleveAffiche())
        exports::printStatement(this, m_releve);
}

void Form1::BT_voirsuivit_Click() {
    emit followedHorseRequested(ui->C_cheval->currentText());
}

// ---------------------------------------------------------------------------------------
// Reversing a line

void Form1::BT_annuler_Click() {
    const auto choisies = ui->Lst_jeux->selectionModel()->selectedRows();
    if (choisies.isEmpty())
        return;
    const qint64 num = m_modeleReleve->line(choisies.first().row()).num;
    const auto ligne = std::find_if(m_releve.lines.cbegin(), m_releve.lines.cend(),
                                    [num](const ledger::StatementLine& l) { return l.num == num; });
    if (ligne == m_releve.lines.cend())
        return;
    // The line belongs to the statement on display, whatever the combos show now.
    const QString nom = m_releve.player;
    const QString mois = m_releve.month;
    const auto recharger = [&] { Proteger([&] { ChargerReleve(nom, mois); }); };
    const QString titre = QStringLiteral("Annuler la ligne");
    try {
        ledger::checkReversible(*m_base, num);
    } catch (const ledger::LineAlreadyReversed&) {
        Refuser(QStringLiteral("Cette ligne est déjà annulée."), titre);
        return;
    } catch (const ledger::LineIsAReversal&) {
        Refuser(QStringLiteral("Une annulation ne s'annule pas."), titre);
        return;
    } catch (const ledger::LineNotFound&) {
        recharger(); // the list was stale
        return;
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
        return;
    }
    if (!AnneeOuverte({mois}) || !CompteExiste(nom, mois))
        return;
    QStringList mots{QStringLiteral("Annuler la ligne n° %1 :").arg(num), ligne->type};
    if (!ligne->cheval.isEmpty())
        mots << ligne->cheval;
    mots << regional::formatMoney(!ligne->mise.isZero() ? ligne->mise : ligne->gain);
    if (dialogs::message(this, mots.join(QLatin1Char(' ')) + QStringLiteral(" ?"), titre,
                         dialogs::Buttons::YesNo, dialogs::Icon::Question) != dialogs::Answer::Yes)
        return;
    const auto report = Reporter(nom, mois);
    if (!report)
        return;

    try {
        if (!Ecrire([&] { ledger::reverseLine(*m_base, num, *report); }))
            return;
    } catch (const std::runtime_error&) {
        // Reversed or gone meanwhile (another program): the list was stale.
        recharger();
        return;
    }
    recharger();
}

// ---------------------------------------------------------------------------------------
// Closing

void Form1::closeEvent(QCloseEvent* event) {
    // A past year's window is one window among others.
    if (m_anneeArchivee != 0) {
        event->accept();
        return;
    }
    for (QWidget* fenetre : QApplication::topLevelWidgets()) {
        if (fenetre == this || !fenetre->isVisible())
            continue;
        if (!fenetre->close()) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

void Form1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        m_regles.reset();
        ActualiserPartants();
    }
}
