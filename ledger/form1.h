#pragma once

#include "data/recordset.h"
#include "ledger/statement.h"

#include <QMainWindow>
#include <QVariantList>
#include <memory>
#include <optional>

namespace Ui {
class Form1;
}
namespace ledger {
enum class GameKind;
}
namespace stats {
enum class Format;
}
namespace regional {
enum class AmountError;
}
class QLineEdit;
class QStringListModel;
class StatementModel;

// The bets ledger, the program's main window: per player and month, the statement with its
// running balance, totals and records; stakes, wins, credits and players; a per-horse report.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

private slots:
    void BT_suivit_Click();
    void mnuchrono_Click();
    void C_users_Click();
    void T_soldecours_Change();
    void BT_savemise_Click();
    void BT_savegain_Click();
    void Ctypejeux_Click();
    void bt_ajouteusers_Click();
    void Tajoutecredit_Click();
    void C_cheval_Click();
    void BT_annuler_Click();
    void mnusuivits_Click();
    void BT_voirsuivit_Click();
    void mnustats_Click();
    void PlacerIntitules();

private:
    void Form_Load();
    void ChargerMois();
    void PreparerListeJeux();
    void ChargerUsers();
    void ChargerTypesJeux();
    void ChargerReleve();
    void AfficherReleve();
    void ChargerChevaux();
    void Enregistrer(ledger::GameKind kind);
    void Exporter(stats::Format format);

    void OuvrirUsers(const QString& sql, const QVariantList& values = {});
    void OuvrirJeux(const QString& sql, const QVariantList& values = {});
    void OuvrirTypeJeux(const QString& sql, const QVariantList& values = {});
    void FermerUsers();
    void FermerJeux();
    void FermerTypeJeux();

    // The balances are held as numbers; their boxes only show them.
    void AfficherSoldePreced(std::optional<double> amount);
    void AfficherSoldeCours(std::optional<double> amount);
    bool JoueurChoisi();
    // The window's one box for refused input: exclamation icon, OK, focus back on the field.
    void Refuser(const QString& texte, const QString& titre, QWidget* champ = nullptr);
    void RefuserMontant(regional::AmountError erreur, const QString& suite = QString(),
                        QWidget* champ = nullptr);
    // Runs a handler's body; an engine error closes the record sets and is reported, and
    // the window goes on. False when the body was stopped by such an error.
    template <class Body> bool Proteger(Body body);
    // Runs a write of the ledger; a balance that is not known or an engine error is told to
    // the user, nothing is written and the window goes on. False then.
    template <class Write> bool Ecrire(Write write);

    std::unique_ptr<Ui::Form1> ui;
    std::unique_ptr<data::RecordSet> RsUsers;
    std::unique_ptr<data::RecordSet> RsJeux;
    std::unique_ptr<data::RecordSet> RsTypeJeux;
    std::optional<double> m_soldePreced; // shown in T_soldepreced ("Total depots")
    std::optional<double> m_soldeCours;  // shown in T_soldecours
    ledger::Statement m_releve;          // shown in Lst_jeux and the summary
    StatementModel* m_modeleReleve = nullptr;
    QStringListModel* m_chevaux = nullptr; // the player's horses, in C_cheval and Tcheval
};
