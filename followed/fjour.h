#pragma once

#include "followed/raceday.h"

#include <QDate>
#include <QSet>
#include <QString>
#include <QVariant>
#include <QVector>
#include <QWidget>
#include <memory>
#include <optional>

namespace Ui {
class Fjour;
}
class LabelElider;
class QPoint;
class QTreeWidgetItem;

// The day's races from the card, those of the followed horses first of all: a day, its
// races by time, and the runners of the race chosen with their recent form, the
// confirmation lists they are in and the time the chrono list gives them over the race's
// distance. A double-click on a runner asks the shell for a bet on it; its context menu
// follows it. Loads when made, on today; the window deletes itself when closed.
class Fjour : public QWidget {
    Q_OBJECT
public:
    explicit Fjour(QWidget* parent = nullptr);
    ~Fjour() override;

    // Shows the single window (made when closed) and brings it forward.
    static Fjour* showSingle();
    // The open window, or null.
    static Fjour* instance();

    QDate jour() const;

public slots:
    // Reads the card, the followed horses and the chrono list again; the race chosen stays
    // chosen while the day still has it.
    void actualiser();
    // Shows the races of `jour`, as picking it in the date box does.
    void setJour(const QDate& jour);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // A runner double-clicked: its day, its race as the ledger's race box names it
    // ("R1C3 Vincennes — Prix d'Amérique"), the horse as the card names it, and the card's
    // odds (a double) or a null QVariant.
    void pariDemande(const QDate& jour, const QString& course, const QString& cheval,
                     const QVariant& cote);

private slots:
    void CjourCourses_Change();
    void ChkSuivis_Click();
    void LstCourses_Click();
    void LstPartants_DblClick(QTreeWidgetItem* item);
    void LstPartants_ContextMenu(const QPoint& position);

private:
    void Form_Load();
    void AfficherCourses();
    void AfficherPartants(const followed::CardRace& race);
    void ViderPartants(const QString& titre);
    void Suivre(const QString& cheval);
    const followed::CardRace* courseChoisie() const;
    const followed::Runner* partant(const QTreeWidgetItem* item) const;
    std::shared_ptr<data::Database> base();

    std::unique_ptr<Ui::Fjour> ui;
    LabelElider* m_titreCourse = nullptr; // the race's title, never cut
    QVector<followed::CardRace> m_courses; // every race of the day, the filter aside
    QVector<followed::Runner> m_partants;  // of the race shown
    std::optional<int> m_coursePartants;   // the race (index in m_courses) they run in
    QSet<QString> m_suivis;                // the followed horses, as keys
    QVector<int> m_entetesCourses;         // the least width of each column
    QVector<int> m_entetesPartants;
    // A click on a race runs LstCourses_Click once, whether or not it changed the choice.
    bool m_selectionRanClick = false;
};
