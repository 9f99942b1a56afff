#pragma once

#include <QCollator>
#include <QWidget>
#include <memory>
#include <optional>

class QLineEdit;

namespace Ui {
class Fchrono;
}

// The chrono calculator. One instance at most: the menu brings it forward or makes it anew.
class Fchrono : public QWidget {
    Q_OBJECT
public:
    explicit Fchrono(QWidget* parent = nullptr);
    ~Fchrono() override;

    // Shows the single window (created again if it was closed) and brings it forward.
    static Fchrono* showSingle();
    // The open window, or nullptr.
    static Fchrono* instance();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Lines added since the list was last loaded or saved are offered for saving first.
    void closeEvent(QCloseEvent* event) override;

private slots:
    void Form_Load();
    void TNbrLongueur_LostFocus();
    void Tpoids_LostFocus();
    void Opt_ChronokL_Click();
    void Opt_ChronocjL_Click();
    void Btcalcul_Click();
    void Bt_Ajoute_Click();
    void btsave_Click();
    void bt_chargeliste_Click();
    void Bt_videliste_Click();
    void Bt_videListefichier_Click();

private:
    void ReinitialiserCalcul();
    void CompleterChamps();
    float CalculerEcartPoids() const;
    // False when the adjustment is too large for single precision.
    bool ConvertirEcartPoids();

    // The number in a field as single precision holds it, an empty field counting as 0.
    // Nothing, after an "Erreur" box naming the field, when it is not such a number.
    std::optional<float> lireChamp(QLineEdit* champ);
    // The value of a field already checked by lireChamp (0 when empty).
    static double valeur(const QLineEdit* champ);
    // The time of a base ("chrono" or "chronoL") in seconds, single precision.
    std::optional<float> tempsDeBase(const QString& base);
    void signalerDepassement(const QString& champs);
    void signalerErreurTemps();
    void revenirAuChrono(class QRadioButton* option);
    void insererDansListe(const QStringList& lignes);
    // The save button's work; false when the file could not take the list.
    bool enregistrerListe();
    void signalerErreurFichier(const QString& action, const QString& erreur);

    std::unique_ptr<Ui::Fchrono> ui;
    QCollator m_ordreListe;
    // Lines were added to the list that no save has written to the file yet.
    bool m_ajoutsNonEnregistres = false;

    // Working values of one calculation.
    qint16 Centiemes = 0;
    float EcartPoids = 0;
    float AjustementPoids = 0;
    QString BaseCourseJour;
    QString BaseReduction;
};
