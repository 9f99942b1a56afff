#pragma once

#include <QWidget>
#include <memory>
#include <optional>

namespace Ui {
class Fsuivit;
}
namespace data {
class DbError;
}

// The punter's notebook of followed horses: the list, a card per horse with its note, the
// horse's races from the results table, and four lists of horses that confirmed, from which
// a horse is followed by a double-click. Loading happens when the window is made; an opener
// sets ChevalPreselection first to have a horse selected. The window deletes itself when
// closed.
class Fsuivit : public QWidget {
    Q_OBJECT
public:
    explicit Fsuivit(QWidget* parent = nullptr);
    ~Fsuivit() override;

    // Shows the single window (loaded anew if it was closed) and brings it forward.
    static Fsuivit* showSingle();
    // The open window, or null.
    static Fsuivit* instance();

    // Selects the horse named by ChevalPreselection when it is followed, with its card and
    // races, as loading the window does.
    void AppliquerPreselection();

    // Replaces the accented letters of the usual French and Western European alphabets
    // by their bare letter; other characters are kept, the length never changes.
    QString SupprimerAccents(const QString& text) const;

    // True while the big list shows a confirmation list rather than a horse's races.
    bool ModeConfirmations() const { return m_modeConfirmations; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void Lsuivit_Click();
    void Text1_LostFocus();
    void Command1_Click();
    void Bt_supprime_Click();
    void Bt_Groupe_Click();
    void Bt_listed_Click();
    void bt_handVal40_Click();
    void bt_handSup40_Click();
    void Lstview_partant_ColumnClick(int column);
    void Lstview_partant_DblClick();

private:
    void Form_Load();
    void Form_Terminate();
    void ChargerSuivits();
    void ChargerCourses(const QString& nom);
    void PreparerListeCourses();
    void PreparerListeConfirmations();
    void ChargerConfirmations(const QString& query);
    void MarquerNonSuivis();

    void AfficherConfirmations(const QString& title, const QString& query);
    // Selects entry `row` of Lsuivit, which runs Lsuivit_Click as a click would.
    void selectEntry(int row);
    int listIndex() const;
    // The card's number, or nothing after telling the user it is not a whole number.
    std::optional<qlonglong> cardNumber();
    void showError(const data::DbError& error);
    // The window's one "Erreur" box.
    void showError(const QString& text);

    std::unique_ptr<Ui::Fsuivit> ui;
    bool m_modeConfirmations = false;
    // The toggled order of the next header click; the first click sorts ascending.
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
    // A click on an entry runs Lsuivit_Click once, whether or not it changed the selection.
    bool m_selectionRanClick = false;
};
