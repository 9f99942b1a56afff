#pragma once

#include "data/database.h"
#include "ledger/statement.h"

#include <QMainWindow>
#include <QVariantList>
#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class Form1;
}
namespace ledger {
enum class GameKind;
enum class Rule;
struct BetSlip;
struct GameEntry;
class GameRules;
enum class Carry;
enum class BetState;
struct BetSlip;
} // namespace ledger
namespace exports {
enum class Format;
}
namespace regional {
enum class AmountError;
}
class QComboBox;
class QLabel;
class QLineEdit;
class QStringListModel;
class StatementModel;
class BetsToCashModel;

// The bets ledger, the program's main window: per player and month, the statement with its
// running balance, totals and records; stakes, wins, credits and players; a per-horse report.
// The other windows stand above the ledger: it asks for them, and the program's shell
// opens them.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    // The open year, on the program's connection.
    explicit Form1(QWidget* parent = nullptr);
    // A past year, read-only, in a window of its own ("— AAAA (archive)"). Throws
    // data::DbError when the archive cannot be opened.
    static Form1* ouvrirArchive(const QString& chemin, int annee, QWidget* parent = nullptr);
    ~Form1() override;
    // The open year on a file the program could not lock: shown as an archive is, every
    // write disabled, the reason in the status bar. Called before the window first shows.
    void LectureSeuleFichier(const QString& raison);

public slots:
    // A bet on a runner of the day's card: the entry group filled for the player on display
    // (day and its month, race, horse, "Simple Gagnant", the morning odds), the stake left
    // to type. cote: the odds, or a null QVariant.
    void PreparerPari(const QDate& jour, const QString& course, const QString& cheval,
                      const QVariant& cote);
    // Counts again the followed horses on today's card, for the status-bar link: after a horse
    // is followed, a card imported, or midnight.
    void ActualiserPartants();
    // The game types or their rules changed (Ftypesjeux): the entry group reads them again.
    void TypesModifies();
    // The statement of `nom` in `mois` chosen in the boxes, as the user would; with `num`,
    // that line selected and scrolled to. False when the player is not in the list.
    bool Montrer(const QString& nom, const QString& mois, qint64 num = 0);
    // A player's limits changed (Flimites): what is left to stake is shown again.
    void LimitesModifiees(const QString& nom);

public:
    // The player and month of the statement on display.
    QString JoueurAffiche() const;
    QString MoisAffiche() const;
    // The past year this window reads, or 0 for the open year.
    int AnneeArchivee() const { return m_anneeArchivee; }

signals:
    void chronoRequested();
    void followedRequested();
    // The day's card ("Courses du jour").
    void raceDayRequested();
    // The followed horse of the per-horse report, with the ledger as the parent of any box.
    void followedHorseRequested(const QString& horse);
    // The statistics of the statement on display.
    // A past year's window was opened: the shell ties its requests as it does the ledger's.
    void pastYearOpened(Form1* window);
    // year: the past year the window reads, or 0 for the open year.
    void statisticsRequested(const QString& player, const QString& month, int year);
    // A stake, win, credit, reversal, player or month was written: what other windows show
    // of the ledger is stale.
    void ledgerWritten();
    // "Types de jeux…"
    void gameTypesRequested();
    // "Restaurer une copie…"
    void restoreRequested();
    // "Rechercher…"
    void searchRequested();
    // "Limites du joueur…", for the player on display.
    void limitsRequested(const QString& player);
    // "Quitter" in a past year's window: the program closes as closing the ledger does.
    void quitRequested();

protected:
    // The ledger is the program: closing it closes every other window, each of which may
    // first ask to save its work, and may keep everything open.
    void closeEvent(QCloseEvent* event) override;
    // Back in the window, the card may have been imported meanwhile (velmora-db).
    void changeEvent(QEvent* event) override;

private slots:
    void BT_suivit_Click();
    void mnuchrono_Click();
    void C_users_Click();
    void T_soldecours_Change();
    void BT_savemise_Click();
    void BT_savegain_Click();
    void Ctypejeux_Click();
    void mnutypesjeux_Click();
    void Tnumeros_Change();
    void bt_ajouteusers_Click();
    void Tajoutecredit_Click();
    void C_cheval_Click();
    void C_moisMiseGain_Click();
    void CjourMiseGain_Change();
    void BT_annuler_Click();
    void mnusuivits_Click();
    void BT_voirsuivit_Click();
    void mnustats_Click();
    void mnuimprimer_Click();
    void mnucloturer_Click();
    void BT_encaisser_Click();
    void ChargerCourses();
    void MenuReleve(const QPoint& position);

private:
    void Form_Load();
    // The next recount of the followed horses running today, at midnight.
    void ProgrammerMinuit();
    void ChargerMois();
    void PreparerListeJeux();
    void ChargerUsers();
    void ChargerTypesJeux();
    void ChargerReleve(const QString& joueur, const QString& mois);
    // Loads and shows the statement and balances of player and month: the pair on display.
    void ChargerCompte(const QString& joueur, const QString& mois);
    void AfficherReleve();
    // "Reste à miser ce mois" for the statement on display, shown when its player has a
    // ceiling.
    void AfficherReste();
    // Asks before a stake that passes the player's limits in its month; true to record it.
    bool LimitesAcceptees(const ledger::GameEntry& entree);
    // The money columns as wide as the statement's widest amount.
    void AjusterMontants();
    // The player has no row for the month on display: offers to open it, with the
    // balance carried from his latest earlier month or typed. True when it was opened.
    bool OuvrirMois(const QString& joueur, const QString& mois);
    void ChargerChevaux(const QString& joueur);
    void Enregistrer(ledger::GameKind kind);
    // Tells in the status bar which month a line went to, when it is not the statement's.
    void DireOuVaLaLigne(const QString& quoi, const QString& joueur, const QString& mois);
    // The race and odds typed with a stake: nothing when the race is left empty, false in
    // `ok` after telling the user what is wrong.
    std::optional<ledger::BetSlip> PariSaisi(bool& ok);
    // The rule of the game type typed, as the file gives it.
    ledger::Rule RegleChoisie() const;
    // A bet on several horses: its numbers and formula onto the slip, or refused.
    bool NumerosSaisis(ledger::BetSlip& pari);
    // The displayed player's bets to cash, from the file.
    void ChargerAEncaisser();
    // Settles the bets from the results: the whole book, what changed told in the status
    // bar, or the bet of the stake `seul` alone.
    void ReglerParis(std::optional<qint64> seul = std::nullopt);
    void MarquerPari(qint64 num, ledger::BetState etat);
    bool eventFilter(QObject* objet, QEvent* evenement) override;
    bool ReleveAffiche();
    bool AnneeOuverte(const QStringList& mois);
    void Exporter(exports::Format format);

    bool JoueurChoisi();
    // The month of a combo as the ledger names it, or nothing after telling the user.
    std::optional<QString> MoisChoisi(QComboBox* combo);
    // The balance row a write of player and month needs: false, after telling the user,
    // when there is none.
    bool CompteExiste(const QString& joueur, const QString& mois);
    // Whether a change of the month's balance also goes to the player's later months; asks
    // when there are some. Nothing when the database could not be read.
    std::optional<ledger::Carry> Reporter(const QString& joueur, const QString& mois);
    void RefuserSansCompte(const QString& joueur, const QString& mois);
    // The window's one box for refused input: exclamation icon, OK, focus back on the field.
    void Refuser(const QString& texte, const QString& titre, QWidget* champ = nullptr);
    void RefuserMontant(regional::AmountError erreur, const QString& suite = QString(),
                        QWidget* champ = nullptr);
    // Runs a handler's body; an engine error closes the record sets and is reported, and
    // the window goes on. False when the body was stopped by such an error.
    bool Proteger(const std::function<void()>& body);
    // Runs a write of the ledger; a balance that is not known or an engine error is told to
    // the user, nothing is written and the window goes on. False then.
    bool Ecrire(const std::function<void()>& write);

    Form1(std::shared_ptr<data::Database> base, int anneeArchivee, QWidget* parent);
    void LectureSeule(const QString& suffixe);
    void ListerArchives();

    std::unique_ptr<Ui::Form1> ui;
    std::shared_ptr<data::Database> m_base; // the open year's, or an archive's
    int m_anneeArchivee = 0;                // 0 for the open year
    bool m_lectureSeule = false;            // the open year on a file that could not be locked
    // Whether the window may write: the open year, on a file it holds.
    bool Modifiable() const { return m_anneeArchivee == 0 && !m_lectureSeule; }
    // The statement on display: the pair (player, month) the last load was for, its lines,
    // and its balances from the player's row, or none when he has no row for the month.
    // Everything shown in Lst_jeux, the balance boxes and the summary comes from here.
    ledger::MonthStatement m_releve;
    StatementModel* m_modeleReleve = nullptr;
    QStringListModel* m_chevaux = nullptr;   // the player's horses, in C_cheval and Tcheval
    BetsToCashModel* m_aEncaisser = nullptr; // LstAEncaisser's bets
    bool m_parisRegles = false;              // settled once the window was first painted
    QString m_ouVaLaLigne; // the status bar's "Mise enregistrée dans …", while it shows
    // The game types' rules, read once and again when the window comes back to the front
    // (another window or velmora-db may have changed them).
    mutable std::shared_ptr<const ledger::GameRules> m_regles;
    QLabel* m_lienPartants = nullptr; // "N de vos chevaux suivis courent aujourd'hui"
};
