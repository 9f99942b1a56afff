#pragma once

#include <QVector>
#include <QWidget>
#include <map>
#include <memory>

namespace Ui {
class Fstats;
}
namespace data {
class Database;
} // namespace data
namespace stats {
class GroupTable;
struct YearLedger;
} // namespace stats

// Which bets pay: a player's results over a month or the year, by game type, month and
// horse, with the net result and balance curves and the net of each month and game type;
// and, for the bets that carry their race, how often they win, by odds, racecourse and
// discipline.
// The year is the open one, an archived one (read from its archive, never written), or all
// of them together. One instance at most, beside the ledger window.
class Fstats : public QWidget {
    Q_OBJECT
public:
    explicit Fstats(QWidget* parent = nullptr);
    ~Fstats() override;

    // Shows the single window (made anew if it was closed) on the player and month given
    // (a month as the ledger spells it), recomputed, and brings it forward.
    static Fstats* showSingle(const QString& player, const QString& month, int year = 0);
    // The open window, or nullptr.
    static Fstats* instance();

    // Picks the player and the period ("Toute l'année" or a month) of the open year, as far as
    // the lists hold them, and recomputes.
    void choisir(const QString& player, const QString& month, int year = 0);

public slots:
    // The ledger changed: the same player, period and year recomputed, the players and the
    // archived years listed anew (a player or a year no longer listed is no longer chosen,
    // the open year taking the year's place); the tabs shown, the tables' orders, scroll
    // positions and current rows stay.
    void actualiser();

private slots:
    void C_joueur_Click();
    void C_periode_Click();
    void C_annee_Click();

private:
    void ChargerAnnees();
    void ChargerJoueurs();
    bool ToutesLesAnnees() const;
    QVector<stats::YearLedger> Annees();
    std::shared_ptr<data::Database> Archive(const QString& path);
    void PreparerTable(class QTreeView* view, stats::GroupTable* model);
    void Calculer();

    std::unique_ptr<Ui::Fstats> ui;
    stats::GroupTable* m_parType = nullptr;
    stats::GroupTable* m_parMois = nullptr;
    stats::GroupTable* m_parJour = nullptr;
    stats::GroupTable* m_parCheval = nullptr;
    stats::GroupTable* m_parCote = nullptr;
    stats::GroupTable* m_parHippodrome = nullptr;
    stats::GroupTable* m_parDiscipline = nullptr;
    stats::GroupTable* m_parPari = nullptr; // by the rule that settles each bet
    // The archives the year chosen reads, by path, open while it stays chosen; an empty one
    // for a file that would not open, so that its error is told once.
    std::map<QString, std::shared_ptr<data::Database>> m_archives;
};
