#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

// The limits a player sets himself: a ceiling on a month's stakes and a loss not to go
// beyond, each optional, for the player the ledger shows. One window at most; asked again
// for another player, it shows his.
class Flimites : public QWidget {
    Q_OBJECT
public:
    explicit Flimites(QWidget* parent = nullptr);
    static Flimites* showFor(const QString& joueur);
    static Flimites* instance();

    const QString& joueur() const { return m_joueur; }

signals:
    // The limits of `joueur` were recorded: the ledger shows what is left to stake.
    void limitesModifiees(const QString& joueur);

private:
    void Charger(const QString& joueur);
    void BT_enregistrer_Click();

    QString m_joueur;
    QLabel* m_titre = nullptr;
    QLineEdit* m_plafond = nullptr;
    QLineEdit* m_perte = nullptr;
    QPushButton* m_enregistrer = nullptr;
};
