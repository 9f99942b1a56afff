#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class Fstats;
}
namespace stats {
class GroupTable;
} // namespace stats

// Which bets pay: a player's results over a month or the year, by game type, month and
// horse, with the net result and balance curves and the net of each month and game type.
// One instance at most, beside the ledger window.
class Fstats : public QWidget {
    Q_OBJECT
public:
    explicit Fstats(QWidget* parent = nullptr);
    ~Fstats() override;

    // Shows the single window (made anew if it was closed) on the player and month given
    // (a month as the ledger spells it), recomputed, and brings it forward.
    static Fstats* showSingle(const QString& player, const QString& month);
    // The open window, or nullptr.
    static Fstats* instance();

    // Picks the player and the period ("Toute l'année" or a month) as far as the lists hold
    // them, and recomputes.
    void choisir(const QString& player, const QString& month);

public slots:
    // The ledger changed: the same player and period recomputed, the players listed anew
    // (a player no longer listed is no longer chosen, as in choisir); the tabs shown, the
    // tables' orders, scroll positions and current rows stay.
    void actualiser();

private slots:
    void C_joueur_Click();
    void C_periode_Click();

private:
    void ChargerJoueurs();
    void PreparerTable(class QTreeView* view, stats::GroupTable* model);
    void Calculer();

    std::unique_ptr<Ui::Fstats> ui;
    stats::GroupTable* m_parType = nullptr;
    stats::GroupTable* m_parMois = nullptr;
    stats::GroupTable* m_parCheval = nullptr;
};
