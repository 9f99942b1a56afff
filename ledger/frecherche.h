#pragma once

#include "ledger/search.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QTreeView;
class SortProxy;

namespace frecherche {
class ResultsModel;
}

// Ledger lines found across the open year and the closed ones: a horse, a game type or a
// word of a remark, for a player or all, within amount bounds and a bet's state; their
// totals, exported as the statement is. A double click opens the line where it is kept: the
// ledger for the open year, the past year's window for an archive. One window at most.
class Frecherche : public QWidget {
    Q_OBJECT
public:
    explicit Frecherche(QWidget* parent = nullptr);
    ~Frecherche() override;
    static Frecherche* showSingle();
    static Frecherche* instance();

    // Runs the search the boxes describe; a wrong amount bound is told and nothing searched.
    void Rechercher();

signals:
    // A double click on a line found.
    void ligneDemandee(const ledger::FoundLine& ligne);

private:
    void ChargerChoix();
    void Exporter();
    void Ouvrir(const QModelIndex& index);

    QLineEdit* m_texte = nullptr;
    QComboBox* m_joueur = nullptr;
    QComboBox* m_annee = nullptr;
    QLineEdit* m_minimum = nullptr;
    QLineEdit* m_maximum = nullptr;
    QComboBox* m_etat = nullptr;
    QTreeView* m_liste = nullptr;
    QLabel* m_nombre = nullptr;
    QLineEdit* m_mises = nullptr;
    QLineEdit* m_gains = nullptr;
    QLineEdit* m_net = nullptr;
    frecherche::ResultsModel* m_modele = nullptr;
    SortProxy* m_tri = nullptr;
};
