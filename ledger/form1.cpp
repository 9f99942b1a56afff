#include "ledger/form1.h"
#include "ui_form1.h"

#include "app/appearance.h"
#include "app/connection.h"
#include "app/dialogs.h"
#include "app/errors.h"
#include "app/plaintextdelegate.h"
#include "app/regional.h"
#include "chrono/fchrono.h"
#include "data/statement.h"
#include "followed/fsuivit.h"
#include "ledger/ledgerbook.h"
#include "ledger/statementmodel.h"
#include "stats/exports.h"
#include "stats/fstats.h"

#include <QHeaderView>
#include <QStringListModel>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kBlack(0, 0, 0);

// The statement's columns: width in twips, and whether it shows money.
struct Colonne {
    int twips;
    bool argent;
};
const Colonne kColonnes[StatementModel::kColumns] = {
    {700, false}, {2880, false}, {2000, false}, {850, true}, {850, true}, {1360, true},
};

// Amounts are compared as they are shown, to the cent: a balance of -0.001 is shown and
// coloured as zero.
long long enCentimes(double montant) {
    return std::llround(montant * 100.0);
}

// A ledger row needs the balance before it; without a balance row for the month and with
// nothing on screen there is none.
const QString kSoldeInconnu = QStringLiteral(
    "Le solde du joueur pour le mois affiché est inconnu : choisissez le joueur dans la liste, "
    "ou ajoutez-le pour ce mois.");

// A text cell as the record sets give it: a real number written the way Qt writes it.
QString texte(const data::Statement& rs, int colonne) {
    if (rs.isNull(colonne))
        return QString();
    if (rs.isReal(colonne))
        return rs.value(colonne).toString();
    return rs.string(colonne);
}

// An amount cell as the record sets give it: empty is zero.
double montant(const data::Statement& rs, int colonne) {
    if (rs.isReal(colonne))
        return rs.real(colonne);
    return rs.value(colonne).toDouble();
}

QString moisAffiche(const Ui::Form1& ui) {
    return ui.C_mois->currentText().trimmed();
}

// Blanks typed around a name are not part of it: "Paul " is Paul.
QString joueur(const Ui::Form1& ui) {
    return ui.C_users->currentText().trimmed();
}

} // namespace

template <class Body> bool Form1::Proteger(Body body) {
    try {
        body();
        return true;
    } catch (const data::DbError& error) {
        FermerUsers();
        FermerJeux();
        FermerTypeJeux();
        errors::showDbError(this, error);
        return false;
    }
}

template <class Write> bool Form1::Ecrire(Write write) {
    try {
        write();
        return true;
    } catch (const ledger::UnknownBalance&) {
        Refuser(kSoldeInconnu, QStringLiteral("Erreur solde"));
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
    }
    return false;
}

Form1::Form1(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::Form1>()) {
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
    connect(ui->bt_ajouteusers, &QPushButton::clicked, this, &Form1::bt_ajouteusers_Click);
    connect(ui->Tajoutecredit, &QPushButton::clicked, this, &Form1::Tajoutecredit_Click);
    connect(ui->C_cheval, &QComboBox::activated, this, &Form1::C_cheval_Click);
    connect(ui->BT_annuler, &QPushButton::clicked, this, &Form1::BT_annuler_Click);
    m_modeleReleve = new StatementModel(this);
    ui->Lst_jeux->setModel(m_modeleReleve);
    ui->Lst_jeux->setItemDelegate(new PlainTextDelegate(ui->Lst_jeux));
    connect(ui->Lst_jeux->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { ui->BT_annuler->setEnabled(ui->Lst_jeux->selectionModel()->hasSelection()); });
    connect(ui->mnusuivits, &QAction::triggered, this, &Form1::mnusuivits_Click);
    connect(ui->mnustats, &QAction::triggered, this, &Form1::mnustats_Click);
    connect(ui->mnuexport, &QAction::triggered, this, [this] { Exporter(stats::Format::Csv); });
    connect(ui->mnupdf, &QAction::triggered, this, [this] { Exporter(stats::Format::Pdf); });
    connect(ui->BT_voirsuivit, &QPushButton::clicked, this, &Form1::BT_voirsuivit_Click);
    Proteger([this] { Form_Load(); });
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
    const int mois = regional::today().month();
    ui->C_mois->setCurrentIndex(mois - 1);
    ui->C_moisMiseGain->setCurrentIndex(mois - 1);
    ui->CjourMiseGain->setDate(regional::today());
}

void Form1::ChargerMois() {
    ui->C_mois->addItems(regional::monthNames());
    ui->C_moisMiseGain->addItems(regional::monthNames());
}

void Form1::PreparerListeJeux() {
    QTreeView* liste = ui->Lst_jeux;
    m_modeleReleve->clear();
    m_modeleReleve->setBaseFont(liste->font());

    // The widths were drawn for a smaller font than today's desktops use. Money columns fit
    // a bold "-999 999,99 €"; the game type and the horse share what is left, so the
    // balance never hides under the scroll bar and the list takes the window's extra width.
    QFont gras = liste->font();
    gras.setBold(true);
    const QFontMetrics normal(liste->font());
    const int marge =
        2 * liste->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, liste) + 10;
    const int montant = appearance::widestMoney(gras) + marge;
    const int dpi = logicalDpiX();
    QHeaderView* entetes = liste->header();
    entetes->setStretchLastSection(false);
    int minimum = 0;
    for (int i = 0; i < static_cast<int>(std::size(kColonnes)); ++i) {
        const int titre =
            normal.horizontalAdvance(QString::fromUtf8(StatementModel::header(i))) + marge;
        const bool partage = i == 1 || i == 2;
        int largeur = kColonnes[i].argent ? montant
                      : partage           ? std::max(titre, 12 * normal.averageCharWidth())
                                          : std::max(kColonnes[i].twips * dpi / 1440, titre);
        liste->setColumnWidth(i, largeur);
        entetes->setSectionResizeMode(i, partage ? QHeaderView::Stretch : QHeaderView::Fixed);
        minimum += largeur;
    }
    liste->setMinimumWidth(minimum + 2 * liste->frameWidth() +
                           liste->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, liste));
    liste->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    QLabel* intitules[] = {ui->Label4, ui->Label5, ui->Label11, ui->Label6, ui->Label7, ui->Label9};
    for (int i = 0; i < static_cast<int>(std::size(kColonnes)); ++i)
        intitules[i]->setAlignment(StatementModel::alignment(i) | Qt::AlignVCenter);
    ui->headings->setFixedHeight(ui->Label4->sizeHint().height());
    connect(entetes, &QHeaderView::sectionResized, this, &Form1::PlacerIntitules,
            Qt::UniqueConnection);
    connect(entetes, &QHeaderView::geometriesChanged, this, &Form1::PlacerIntitules,
            Qt::UniqueConnection);
}

void Form1::PlacerIntitules() {
    // The headings written above the list stand over their columns, whatever their widths.
    QLabel* intitules[] = {ui->Label4, ui->Label5, ui->Label11, ui->Label6, ui->Label7, ui->Label9};
    const QHeaderView* entetes = ui->Lst_jeux->header();
    const int decalage =
        ui->Lst_jeux->geometry().x() - ui->headings->geometry().x() + ui->Lst_jeux->frameWidth();
    for (int i = 0; i < static_cast<int>(std::size(intitules)); ++i)
        intitules[i]->setGeometry(decalage + entetes->sectionViewportPosition(i), 0,
                                  entetes->sectionSize(i), ui->headings->height());
}

void Form1::ChargerUsers() {
    ui->C_users->clear();
    OuvrirUsers(QStringLiteral("SELECT  * FROM USERS;"));
    const int nombre = RsUsers->RecordCount();
    if (nombre != 0) {
        RsUsers->MoveLast();
        RsUsers->MoveFirst();
        QStringList noms;
        noms.reserve(nombre);
        for (int i = 0; i < nombre; ++i) {
            noms << RsUsers->Fields(1).toString();
            RsUsers->MoveNext();
        }
        ui->C_users->addItems(noms);
    }
    FermerUsers();
    ui->C_users->setCurrentIndex(-1);
}

void Form1::ChargerTypesJeux() {
    OuvrirTypeJeux(QStringLiteral("SELECT  * FROM TYPEJEUX;"));
    const int nombre = RsTypeJeux->RecordCount();
    if (nombre != 0) {
        RsTypeJeux->MoveLast();
        RsTypeJeux->MoveFirst();
        for (int i = 0; i < nombre; ++i) {
            ui->Ctypejeux->addItem(RsTypeJeux->Fields(1).toString());
            RsTypeJeux->MoveNext();
        }
    }
    FermerTypeJeux();
    ui->Ctypejeux->setCurrentIndex(-1);
}

// ---------------------------------------------------------------------------------------
// Record sets of the window

void Form1::OuvrirUsers(const QString& sql, const QVariantList& values) {
    RsUsers = std::make_unique<data::RecordSet>();
    RsUsers->Open(sql, Connexion, values);
}

void Form1::OuvrirJeux(const QString& sql, const QVariantList& values) {
    RsJeux = std::make_unique<data::RecordSet>();
    RsJeux->Open(sql, Connexion, values);
}

void Form1::OuvrirTypeJeux(const QString& sql, const QVariantList& values) {
    RsTypeJeux = std::make_unique<data::RecordSet>();
    RsTypeJeux->Open(sql, Connexion, values);
}

void Form1::FermerUsers() {
    if (RsUsers)
        RsUsers->Close();
    RsUsers.reset();
}

void Form1::FermerJeux() {
    if (RsJeux)
        RsJeux->Close();
    RsJeux.reset();
}

void Form1::FermerTypeJeux() {
    if (RsTypeJeux)
        RsTypeJeux->Close();
    RsTypeJeux.reset();
}

// ---------------------------------------------------------------------------------------
// Balances

void Form1::AfficherSoldePreced(std::optional<double> montant) {
    m_soldePreced = montant;
    ui->T_soldepreced->setText(montant ? regional::formatMoney(*montant) : QString());
}

void Form1::AfficherSoldeCours(std::optional<double> montant) {
    m_soldeCours = montant;
    ui->T_soldecours->setText(montant ? regional::formatMoney(*montant) : QString());
}

void Form1::T_soldecours_Change() {
    // Without a balance there is no sign to show: the colour stays as it was.
    if (!m_soldeCours)
        return;
    const long long centimes = enCentimes(*m_soldeCours);
    QPalette palette = ui->T_soldecours->palette();
    palette.setColor(QPalette::Text, centimes < 0 ? kRed : centimes > 0 ? kGreen : kBlack);
    ui->T_soldecours->setPalette(palette);
}

// ---------------------------------------------------------------------------------------
// Statement

void Form1::C_users_Click() {
    Proteger([this] {
        OuvrirUsers(QStringLiteral("SELECT  * FROM USERS WHERE pseudo = ? and mois = ?;"),
                    {joueur(*ui), moisAffiche(*ui)});
        if (RsUsers->RecordCount() == 1) {
            AfficherSoldePreced(RsUsers->Fields(2).toDouble());
            AfficherSoldeCours(RsUsers->Fields(3).toDouble());
        }
        FermerUsers();
        ChargerReleve();
        ChargerChevaux();
    });
}

void Form1::ChargerChevaux() {
    // Thousands of horses for a regular player: one list, read straight from the engine,
    // shared by both boxes.
    data::Statement rs(Connexion->raw(),
                       QStringLiteral("SELECT DISTINCT Cheval, User FROM JEUX WHERE User = ?"),
                       {joueur(*ui)});
    QStringList chevaux;
    while (rs.next()) {
        // A row without a horse (never written by this program) gives no entry.
        const QString cheval = texte(rs, 0);
        if (!cheval.isEmpty())
            chevaux << cheval.toUpper();
    }
    m_chevaux->setStringList(chevaux);
    ui->C_cheval->setCurrentIndex(-1);
    ui->Tcheval->setCurrentIndex(-1);
}

void Form1::ChargerReleve() {
    // A regular player's month holds thousands of rows: they go straight from the engine
    // into the statement, with no record set in between.
    data::Statement rs(
        Connexion->raw(),
        QStringLiteral("SELECT Num, Jour, Remarque, [type jeux], Cheval, Debit, Credit, SoldeApres "
                       "FROM JEUX WHERE user = ? and mois = ? ORDER BY Num,Jour;"),
        {joueur(*ui), moisAffiche(*ui)});
    ledger::Statement releve;
    releve.player = joueur(*ui);
    releve.month = moisAffiche(*ui);
    releve.lines.reserve(m_releve.lines.size());
    const QString typeCredit = ledger::creditType();
    while (rs.next()) {
        ledger::StatementLine ligne;
        ligne.num = rs.integer(0);
        ligne.jour = texte(rs, 1);
        ligne.type = texte(rs, 3);
        QString nom = texte(rs, 4);
        if (nom == QLatin1String("autre jeux") || nom == QLatin1String("AUTRE JEUX"))
            nom.clear();
        ligne.cheval = nom.toUpper();
        // An empty amount (never written by this program) counts as zero.
        ligne.mise = montant(rs, 5);
        ligne.gain = montant(rs, 6);
        if (!rs.isNull(7))
            ligne.solde = montant(rs, 7);
        ligne.credit = !rs.isNull(3) && ligne.type == typeCredit;
        ligne.reversal = !rs.isNull(2) && ledger::isReversalRemark(texte(rs, 2));

        // Reversed lines and their reversals count in the totals, where they cancel out,
        // but a mistyped stake is no record.
        releve.totalMises += ligne.mise;
        if (!ligne.reversal && ligne.mise > releve.plusGrosseMise)
            releve.plusGrosseMise = ligne.mise;
        if (ligne.credit) {
            releve.totalCredits += ligne.gain;
        } else {
            // Credit rows are not games.
            releve.totalGains += ligne.gain;
            if (!ligne.reversal && ligne.gain > releve.plusGrosGain)
                releve.plusGrosGain = ligne.gain;
            ++releve.nombreJeux;
        }
        releve.lines << ligne;
    }
    // The month's starting balance: total deposits less this month's credits. Unknown while
    // no deposits are shown.
    if (m_soldePreced)
        releve.soldeDepart = *m_soldePreced - releve.totalCredits;
    releve.totalDepots = m_soldePreced;
    releve.soldeEnCours = m_soldeCours;
    m_releve = std::move(releve);
    AfficherReleve();
}

void Form1::AfficherReleve() {
    m_modeleReleve->setStatement(m_releve);
    // Laid out now, the lines are painted once; laid out by the first paint, they would be
    // painted again straight after it.
    ui->Lst_jeux->doItemsLayout();
    ui->TnbrTotaljeux->setText(QString::number(m_releve.nombreJeux));
    ui->TTotalmise->setText(regional::formatMoney(m_releve.totalMises));
    ui->Ttotalgain->setText(regional::formatMoney(m_releve.totalGains));
    ui->Tplusgrosgain->setText(regional::formatMoney(m_releve.plusGrosGain));
    ui->Tplusgrossemise->setText(regional::formatMoney(m_releve.plusGrosseMise));
    ui->TsoldeDepart->setText(m_releve.soldeDepart ? regional::formatMoney(*m_releve.soldeDepart)
                                                   : QString());
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
    // A row filed under no month would move the balance yet show in no statement.
    entree.month = ui->C_moisMiseGain->currentText().trimmed();
    if (entree.month.isEmpty()) {
        Refuser(QStringLiteral("vous devez choisir le mois"), QStringLiteral("Erreur mois"),
                ui->C_moisMiseGain);
        return;
    }
    entree.day = ui->CjourMiseGain->date().toString(QStringLiteral("dd"));

    entree.gameType = ui->Ctypejeux->currentText().trimmed();
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
    const auto montant = regional::readAmount(ui->Cmontant->text());
    if (!montant.value) {
        RefuserMontant(montant.error, QString(), ui->Cmontant);
        return;
    }
    entree.amount = *montant.value;
    entree.horse = ui->Tcheval->currentText();

    ledger::BalanceChange changement;
    if (!Ecrire([&] {
            changement = ledger::recordGame(*Connexion, entree, moisAffiche(*ui), m_soldeCours);
        }))
        return;

    ui->Cmontant->clear();
    if (genre == ledger::GameKind::Win)
        ui->Ctypejeux->setEditText(QString());
    ui->Tcheval->setEditText(QString());
    // Choosing the player again rebuilds the statement and the horse lists once.
    AfficherSoldeCours(changement.after);
    C_users_Click();
}

void Form1::Refuser(const QString& texte, const QString& titre, QWidget* champ) {
    dialogs::message(this, texte, titre, dialogs::Buttons::Ok, dialogs::Icon::Exclamation);
    if (champ)
        champ->setFocus();
}

void Form1::RefuserMontant(regional::AmountError erreur, const QString& suite, QWidget* champ) {
    Refuser(regional::amountErrorText(erreur) + suite, QStringLiteral("Erreur montant"), champ);
}

void Form1::Ctypejeux_Click() {
    const QString type = ui->Ctypejeux->currentText().trimmed();
    ui->Tcheval->setEnabled(type == QLatin1String("Simple Gagnant") ||
                            type == QStringLiteral("Simple Placé"));
}

// ---------------------------------------------------------------------------------------
// Players and credit

void Form1::bt_ajouteusers_Click() {
    const auto saisi =
        dialogs::input(this, QStringLiteral("Veuillez saisir le pseudo du nouvel utilisateur"),
                       QStringLiteral("Ajouter un users"));
    const QString nom = saisi.value_or(QString()).trimmed();
    if (nom.isEmpty())
        return;
    const QString mois = moisAffiche(*ui);
    const QString dejaLa =
        QStringLiteral("Le joueur %1 existe déjà pour le mois de %2.").arg(nom, mois);
    // Told before the balance is asked; addPlayer checks again inside its transaction.
    bool existe = false;
    if (!Proteger([&] { existe = ledger::playerExists(*Connexion, nom, mois); }))
        return;
    if (existe) {
        Refuser(dejaLa, QStringLiteral("Ajouter un users"));
        return;
    }
    const auto solde =
        dialogs::input(this, QStringLiteral("Veuillez saisir le solde pour l'utilisateur ") + nom,
                       QStringLiteral("Solde du jouer"));
    const QString texteSolde = regional::dotsToCommas(solde.value_or(QString())).trimmed();
    if (texteSolde.isEmpty())
        return;
    const auto montant = regional::readAmount(texteSolde);
    if (!montant.value) {
        RefuserMontant(montant.error, QStringLiteral(" Le joueur n'a pas été ajouté."));
        return;
    }

    try {
        ledger::addPlayer(*Connexion, nom, *montant.value, mois);
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
    const auto somme = regional::readAmount(*saisi);
    // Text that is no number at all is taken as a change of mind; a number the ledger
    // cannot hold to the cent is explained.
    if (!somme.value) {
        if (somme.error != regional::AmountError::NotANumber)
            RefuserMontant(somme.error);
        return;
    }

    ledger::CreditChange changement;
    if (!Ecrire([&] {
            changement = ledger::addCredit(*Connexion, joueur(*ui), moisAffiche(*ui),
                                           regional::today().toString(QStringLiteral("dd")),
                                           *somme.value, m_soldePreced, m_soldeCours);
        }))
        return;
    AfficherSoldeCours(changement.after);
    AfficherSoldePreced(changement.deposits);
    Proteger([this] { ChargerReleve(); });
}

// ---------------------------------------------------------------------------------------
// Per-horse report

void Form1::C_cheval_Click() {
    Proteger([this] {
        // Every row counts: two equal stakes on the horse are two stakes.
        OuvrirJeux(QStringLiteral("SELECT Cheval, User, Debit, Credit, [type jeux] FROM JEUX "
                                  "WHERE User = ? and Cheval = ?;"),
                   {joueur(*ui), ui->C_cheval->currentText().trimmed()});
        const int nombre = RsJeux->RecordCount();
        if (nombre != 0) {
            RsJeux->MoveLast();
            RsJeux->MoveFirst();
        }
        double mises = 0;
        double gains = 0;
        const QString typeCredit = ledger::creditType();
        for (int i = 0; i < nombre; ++i) {
            // Credit rows are not games; a row without a type is not counted either.
            const QVariant type = RsJeux->Fields(4);
            if (!type.isNull() && type.toString() != typeCredit) {
                mises += RsJeux->Fields(2).toDouble();
                gains += RsJeux->Fields(3).toDouble();
            }
            RsJeux->MoveNext();
        }
        ui->Ttotalmisecheval->setText(regional::formatMoney(mises));
        ui->Ttotalgaincheval->setText(regional::formatMoney(gains));
        ui->Trapportcheval->setText(regional::formatMoney(gains - mises));
        FermerJeux();
    });
}

// ---------------------------------------------------------------------------------------
// Navigation

void Form1::BT_suivit_Click() {
    dialogs::message(this, QStringLiteral("En cours de developpement"), dialogs::applicationTitle(),
                     dialogs::Buttons::Ok, dialogs::Icon::None);
}

void Form1::mnuchrono_Click() {
    Fchrono::showSingle();
}

void Form1::mnusuivits_Click() {
    Fsuivit::showSingle();
}

void Form1::mnustats_Click() {
    Fstats::showSingle(joueur(*ui), moisAffiche(*ui));
}

void Form1::Exporter(stats::Format format) {
    // The statement on display, as last loaded: no player picked, nothing to write.
    if (m_releve.player.isEmpty()) {
        Refuser(QStringLiteral("vous devez choisir un joueur"), QStringLiteral("Erreur joueur"),
                ui->C_users);
        return;
    }
    stats::exportStatement(this, m_releve, format);
}

void Form1::BT_voirsuivit_Click() {
    ChevalPreselection = ui->C_cheval->currentText().trimmed().toUpper();
    // An open window only selects the horse; a new one does it while loading.
    if (Fsuivit* ouverte = Fsuivit::instance())
        ouverte->AppliquerPreselection();
    Fsuivit::showSingle();
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
    const QString titre = QStringLiteral("Annuler la ligne");
    try {
        ledger::checkReversible(*Connexion, num);
    } catch (const ledger::LineAlreadyReversed&) {
        Refuser(QStringLiteral("Cette ligne est déjà annulée."), titre);
        return;
    } catch (const ledger::LineIsAReversal&) {
        Refuser(QStringLiteral("Une annulation ne s'annule pas."), titre);
        return;
    } catch (const ledger::LineNotFound&) {
        Proteger([this] { ChargerReleve(); }); // the list was stale
        return;
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
        return;
    }
    QStringList mots{QStringLiteral("Annuler la ligne n° %1 :").arg(num), ligne->type};
    if (!ligne->cheval.isEmpty())
        mots << ligne->cheval;
    mots << regional::formatMoney(ligne->mise != 0 ? ligne->mise : ligne->gain);
    if (dialogs::message(this, mots.join(QLatin1Char(' ')) + QStringLiteral(" ?"), titre,
                         dialogs::Buttons::YesNo, dialogs::Icon::Question) != dialogs::Answer::Yes)
        return;

    ledger::Reversal annulation;
    try {
        if (!Ecrire([&] {
                annulation = ledger::reverseLine(*Connexion, num, moisAffiche(*ui), m_soldePreced,
                                                 m_soldeCours);
            }))
            return;
    } catch (const std::runtime_error&) {
        // Reversed or gone meanwhile (another program): the list was stale.
        Proteger([this] { ChargerReleve(); });
        return;
    }
    AfficherSoldeCours(annulation.after);
    if (annulation.credit)
        AfficherSoldePreced(annulation.deposits);
    C_users_Click();
}
