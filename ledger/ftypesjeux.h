#pragma once

#include "ledger/gametypes.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

// The game types of the open year and how each settles: a type added, renamed (its lines
// of the year follow), merged into another (a misspelt "Simple Place" into "Simple Placé"),
// deleted when no line uses it, its rule chosen. One window at most.
class Ftypesjeux : public QWidget {
    Q_OBJECT
public:
    explicit Ftypesjeux(QWidget* parent = nullptr);
    static Ftypesjeux* showSingle();
    static Ftypesjeux* instance();

signals:
    // The types or their rules changed: the ledger's entry group reads them again.
    void typesModifies();

private:
    void Charger();
    const ledger::GameTypeRow* TypeChoisi() const;
    void BT_ajouter_Click();
    void BT_renommer_Click();
    void BT_fusionner_Click();
    void BT_supprimer_Click();
    void C_regle_Change(const QString& type, QComboBox* regle);
    // Runs a write; its refusal or the engine's error told. True when it was written.
    template <typename Write> bool Ecrire(Write write, bool recharger = true);

    QTreeWidget* m_liste = nullptr;
    QPushButton* m_ajouter = nullptr;
    QPushButton* m_renommer = nullptr;
    QPushButton* m_fusionner = nullptr;
    QPushButton* m_supprimer = nullptr;
    QVector<ledger::GameTypeRow> m_types;
    bool m_lectureSeule = false;
};
