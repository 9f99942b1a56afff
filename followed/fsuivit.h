#pragma once

#include "followed/followedbook.h"

#include <QStringList>
#include <QWidget>
#include <memory>
#include <optional>

namespace Ui {
class Fsuivit;
}
namespace data {
class DbError;
}

// A horse name (upper case) an opener of the followed-horses window may set before showing
// it; the window selects that horse when it loads and empties the variable when it ends.
extern QString ChevalPreselection;

// The punter's notebook of followed horses: the list, a card per horse with its note, the
// horse's races from the results table, and four lists of horses that confirmed, from which
// a horse is followed by a double-click. Loading happens when the window is made; an opener
// sets ChevalPreselection first to have a horse selected. The window deletes itself when
// closed.
// Tells what counts the followed horses elsewhere (the ledger's link to the day's card) that
// one was followed or deleted, from whichever window.
class SuivisModifies : public QObject {
    Q_OBJECT
public:
    static SuivisModifies* instance();
    void annoncer() { emit modifies(); }
signals:
    void modifies();
};

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

    // Shows the horse in the window (opened when closed) and returns true when it is
    // followed; otherwise says so and changes nothing. The name is compared in capitals, as
    // the preselection compares it; an empty name only shows the window.
    static bool montrerCheval(QWidget* parent, const QString& cheval);

    // Follows `nom` with `form` as a double-click on a confirmation row does: the followed
    // horse of that name takes the form, or a new one is added. Throws data::DbError when
    // the store refuses it (nothing is changed then); the caller tells the user. An open
    // window lists the horse at once, its card left as it is.
    static void suivre(const QString& nom, const followed::Form& form);

    // Replaces the accented letters of the usual French and Western European alphabets
    // by their bare letter; other characters are kept, the length never changes.
    QString SupprimerAccents(const QString& text) const;

    // True while the big list shows a confirmation list rather than a horse's races.
    bool ModeConfirmations() const { return m_modeConfirmations; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A card with unsaved changes is saved, dropped or kept open, as the user answers.
    void closeEvent(QCloseEvent* event) override;

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
    void LectureSeule();
    void ChargerSuivits();
    // ChargerSuivits, the selected horse and its card kept.
    void RechargerSuivits();
    void ChargerCourses(const QString& nom);
    void PreparerListeCourses();
    void PreparerListeConfirmations();
    void ChargerConfirmations(followed::Confirmations list);
    void MarquerNonSuivis();

    void AfficherConfirmations(const QString& title, followed::Confirmations list);
    // Selects entry `row` of Lsuivit, which runs Lsuivit_Click as a click would, once the
    // card may be left; false when the user keeps it.
    bool selectEntry(int row);
    int listIndex() const;
    // Whether a followed horse is named `nom` in capitals in the list.
    bool listHolds(const QString& nom) const;

    // The card's texts, as the user may edit them.
    QStringList cardTexts() const;
    void setCardTexts(const QStringList& texts);
    // A text of the selected horse's card differs from what was loaded or saved.
    bool cardChanged() const;
    // Asks what to do with a changed card before it is left: true once it is saved or its
    // changes dropped, false when the user keeps it (or its saving failed).
    bool mayLeaveCard();
    // Command1's saving; false when nothing was saved.
    bool saveCard();
    // The list's keys, run with the card loaded only once the card may be left.
    bool listKeyPress(QEvent* event);
    // The card's number, or nothing after telling the user it is not a whole number.
    std::optional<qlonglong> cardNumber();
    void showError(const data::DbError& error);
    // The window's one "Erreur" box.
    void showError(const QString& text);

    std::unique_ptr<Ui::Fsuivit> ui;
    bool m_modeConfirmations = false;
    // The file could not be locked: it is only read.
    bool m_lectureSeule = false;
    // The toggled order of the next header click; the first click sorts ascending.
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
    // A click on an entry runs Lsuivit_Click once, whether or not it changed the selection.
    bool m_selectionRanClick = false;
    // The texts of the card as loaded or last saved; nothing while no horse's card shows.
    std::optional<QStringList> m_savedCard;
    // While a key moves in the list, the card waits for the user's answer before loading.
    bool m_keyMoving = false;
    // A press on another entry was answered here: its release is not the list's either.
    bool m_pressTaken = false;
};
