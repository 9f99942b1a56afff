#include "followed/fsuivit.h"
#include "ui_fsuivit.h"

#include "data/connection.h"
#include "followed/followedbook.h"
#include "gui/appearance.h"
#include "gui/dialogs.h"
#include "gui/errorbox.h"
#include "gui/plaintextdelegate.h"
#include "gui/singlewindow.h"

#include <QCloseEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScreen>
#include <QSet>
#include <iterator>

QString ChevalPreselection;

namespace {

// The list's cells straight into its rows.
class RowsSink : public followed::CellSink {
public:
    explicit RowsSink(ReportRows& rows) : m_rows(rows) {}
    void addCell(QStringView text) override { m_rows.addCell(text); }
    void addCell(QByteArrayView utf8) override { m_rows.addCell(utf8); }

private:
    ReportRows& m_rows;
};

std::shared_ptr<data::Database> connexion() {
    if (!Connexion)
        throw data::DbError(data::sqlite_code::CantOpen,
                            QStringLiteral("aucune connexion à la base de données"));
    return Connexion;
}

const QString kSelectHorseFirst =
    QStringLiteral("Vous devez selectionner un cheval de suivit avant de le modifier");
const QString kTitle = QStringLiteral("Mes suivits");

void showErrorBox(QWidget* parent, const QString& text) {
    dialogs::message(parent, text, QStringLiteral("Erreur"), dialogs::Buttons::Ok,
                     dialogs::Icon::Critical);
}

} // namespace

Fsuivit::Fsuivit(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::Fsuivit>()) {
    ui->setupUi(this);
    ui->Lsuivit->setItemDelegate(new PlainTextDelegate(ui->Lsuivit));
    appearance::makeKeyboardFriendly(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // Designed for a large screen: on a small one the window opens no larger than it.
    if (const QScreen* ecran = QGuiApplication::primaryScreen())
        resize(size()
                   .boundedTo(ecran->availableGeometry().size() - QSize(16, 40))
                   .expandedTo(minimumSizeHint()));

    connect(ui->Lsuivit, &QListWidget::itemSelectionChanged, this, [this] {
        if (listIndex() < 0 || m_keyMoving)
            return;
        m_selectionRanClick = true;
        Lsuivit_Click();
    });
    connect(ui->Lsuivit, &QListWidget::itemClicked, this, [this] {
        // A click on the entry already selected changes nothing, yet reloads its card.
        if (!m_selectionRanClick)
            Lsuivit_Click();
        m_selectionRanClick = false;
    });
    ui->Lsuivit->installEventFilter(this);
    ui->Lsuivit->viewport()->installEventFilter(this);
    ui->Text1->installEventFilter(this);
    connect(ui->Command1, &QPushButton::clicked, this, &Fsuivit::Command1_Click);
    connect(ui->Bt_supprime, &QPushButton::clicked, this, &Fsuivit::Bt_supprime_Click);
    connect(ui->Bt_Groupe, &QPushButton::clicked, this, &Fsuivit::Bt_Groupe_Click);
    connect(ui->Bt_listed, &QPushButton::clicked, this, &Fsuivit::Bt_listed_Click);
    connect(ui->bt_handVal40, &QPushButton::clicked, this, &Fsuivit::bt_handVal40_Click);
    connect(ui->bt_handSup40, &QPushButton::clicked, this, &Fsuivit::bt_handSup40_Click);
    connect(ui->Lstview_partant->header(), &QHeaderView::sectionClicked, this,
            &Fsuivit::Lstview_partant_ColumnClick);
    connect(ui->Lstview_partant, &QAbstractItemView::doubleClicked, this,
            &Fsuivit::Lstview_partant_DblClick);

    Form_Load();
}

Fsuivit::~Fsuivit() {
    Form_Terminate();
}

Fsuivit* Fsuivit::showSingle() {
    Fsuivit* window = singlewindow::get<Fsuivit>();
    singlewindow::bringForward(window);
    return window;
}

Fsuivit* Fsuivit::instance() {
    return singlewindow::open<Fsuivit>();
}

bool Fsuivit::montrerCheval(QWidget* parent, const QString& cheval) {
    const QString nom = cheval.trimmed().toUpper();
    Fsuivit* open = instance();
    if (!nom.isEmpty()) {
        bool known = false;
        if (open) {
            // The open window's list is the one the preselection is looked for in.
            known = open->listHolds(nom);
        } else {
            try {
                known = followed::isFollowed(*connexion(), nom);
            } catch (const data::DbError& error) {
                showErrorBox(parent, errors::describe(error));
                return false;
            }
        }
        if (!known) {
            dialogs::message(parent, nom + QStringLiteral(" n'est pas dans vos chevaux suivis."),
                             kTitle, dialogs::Buttons::Ok, dialogs::Icon::Information);
            return false;
        }
    }
    ChevalPreselection = nom;
    // An open window only selects the horse; a new one does it while loading.
    if (open)
        open->AppliquerPreselection();
    showSingle();
    return true;
}

bool Fsuivit::listHolds(const QString& nom) const {
    for (int i = 0; i < ui->Lsuivit->count(); ++i)
        if (ui->Lsuivit->item(i)->text().toUpper() == nom)
            return true;
    return false;
}

void Fsuivit::closeEvent(QCloseEvent* event) {
    if (!mayLeaveCard()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

bool Fsuivit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->Text1 && event->type() == QEvent::FocusOut) {
        // Switching to another program or opening a menu is not leaving the box.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            Text1_LostFocus();
    } else if (watched == ui->Lsuivit && event->type() == QEvent::KeyPress) {
        if (!m_keyMoving && cardChanged())
            return listKeyPress(event);
    } else if (watched == ui->Lsuivit->viewport()) {
        if (event->type() == QEvent::MouseButtonPress ||
            event->type() == QEvent::MouseButtonDblClick) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QListWidgetItem* item = ui->Lsuivit->itemAt(mouse->position().toPoint());
            const int row = item ? ui->Lsuivit->row(item) : -1;
            // Asked before the list moves, so that a card kept keeps its horse selected; the
            // list never sees this click, nor its release.
            if (row >= 0 && row != listIndex() && cardChanged()) {
                m_pressTaken = true;
                selectEntry(row);
                return true;
            }
            m_pressTaken = false;
            if (event->type() == QEvent::MouseButtonPress)
                m_selectionRanClick = false;
        } else if (event->type() == QEvent::MouseButtonRelease && m_pressTaken) {
            m_pressTaken = false;
            return true;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            // A click beside the entries of a list where nothing is selected still asks for
            // a horse.
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (!ui->Lsuivit->itemAt(mouse->position().toPoint()) && listIndex() < 0)
                Lsuivit_Click();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Fsuivit::showError(const data::DbError& error) {
    showError(errors::describe(error));
}

void Fsuivit::showError(const QString& text) {
    showErrorBox(this, text);
}

int Fsuivit::listIndex() const {
    const auto selected = ui->Lsuivit->selectedItems();
    return selected.isEmpty() ? -1 : ui->Lsuivit->row(selected.first());
}

bool Fsuivit::selectEntry(int row) {
    if (!mayLeaveCard())
        return false;
    if (row == listIndex())
        Lsuivit_Click(); // selecting the selected entry again still loads it
    else
        ui->Lsuivit->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    return true;
}

bool Fsuivit::listKeyPress(QEvent* event) {
    const int before = listIndex();
    // The list moves first (only it knows where a key takes it); the card follows or not.
    m_keyMoving = true;
    QCoreApplication::sendEvent(ui->Lsuivit, event);
    m_keyMoving = false;
    const int after = listIndex();
    if (after < 0 || after == before)
        return true;
    if (mayLeaveCard()) {
        Lsuivit_Click();
    } else {
        const QSignalBlocker blocker(ui->Lsuivit);
        ui->Lsuivit->setCurrentRow(before, QItemSelectionModel::ClearAndSelect);
    }
    return true;
}

QStringList Fsuivit::cardTexts() const {
    return {ui->Tnum->text(),      ui->Tvaleur->text(),         ui->Tterrain->text(),
            ui->Tdistance->text(), ui->Tcourse2->text(),        ui->Tcourse->text(),
            ui->Tplace->text(),    ui->Tcomment->toPlainText(), ui->TidGeny->text()};
}

void Fsuivit::setCardTexts(const QStringList& texts) {
    QLineEdit* const boxes[] = {ui->Tnum,    ui->Tvaleur, ui->Tterrain, ui->Tdistance, ui->Tcourse2,
                                ui->Tcourse, ui->Tplace,  nullptr,      ui->TidGeny};
    for (int i = 0; i < texts.size() && i < int(std::size(boxes)); ++i) {
        if (boxes[i])
            boxes[i]->setText(texts.at(i));
        else if (ui->Tcomment->toPlainText() != texts.at(i))
            ui->Tcomment->setPlainText(texts.at(i));
    }
}

bool Fsuivit::cardChanged() const {
    // Without a selected entry, or on a file read only, the card cannot be saved: there is
    // nothing to ask.
    return m_savedCard && listIndex() >= 0 && !m_lectureSeule && cardTexts() != *m_savedCard;
}

bool Fsuivit::mayLeaveCard() {
    if (!cardChanged())
        return true;
    switch (dialogs::message(this, QStringLiteral("Enregistrer les modifications de la fiche ?"),
                             kTitle, dialogs::Buttons::YesNoCancel, dialogs::Icon::Question)) {
    case dialogs::Answer::Yes:
        return saveCard();
    case dialogs::Answer::No:
        // Dropped here, not only by the next load: a horse without a row keeps the card.
        setCardTexts(*m_savedCard);
        return true;
    default:
        return false;
    }
}

void Fsuivit::Form_Load() {
    try {
        OuvrirConnexion();
        if (ConnexionLectureSeule())
            LectureSeule();
        ChargerSuivits();
    } catch (const data::DbError& error) {
        showError(error);
        return;
    }
    AppliquerPreselection();
}

// A file the program could not lock is read, never written: the card is shown as it is
// stored, and what would write it is disabled.
void Fsuivit::LectureSeule() {
    m_lectureSeule = true;
    setWindowTitle(windowTitle() + QStringLiteral(" (lecture seule)"));
    for (QWidget* ecrit : std::initializer_list<QWidget*>{ui->Command1, ui->Bt_supprime}) {
        ecrit->setEnabled(false);
        ecrit->setToolTip(MessageLectureSeule());
    }
    for (QLineEdit* box : {ui->Tnum, ui->Tvaleur, ui->Tterrain, ui->Tdistance, ui->Tcourse2,
                           ui->Tcourse, ui->Tplace, ui->TidGeny})
        box->setReadOnly(true);
    ui->Tcomment->setReadOnly(true);
}

void Fsuivit::AppliquerPreselection() {
    if (ChevalPreselection.isEmpty())
        return;
    // The name is given in capitals; the list may hold it in any case.
    int found = -1;
    for (int i = 0; i < ui->Lsuivit->count(); ++i)
        if (ui->Lsuivit->item(i)->text().toUpper() == ChevalPreselection)
            found = i;
    if (found >= 0 && selectEntry(found))
        ui->Text1->setText(ChevalPreselection);
}

void Fsuivit::Form_Terminate() {
    ChevalPreselection.clear();
}

void Fsuivit::ChargerSuivits() {
    const QStringList sorted = followed::horses(*connexion());
    // Refilling the list is not a click: no card is loaded, and none is selected any more.
    m_savedCard.reset();
    const QSignalBlocker blocker(ui->Lsuivit);
    ui->Lsuivit->clear();
    ui->Lsuivit->addItems(sorted);
}

void Fsuivit::Text1_LostFocus() {
    const QString typed = ui->Text1->text();
    const QString wanted = typed.toUpper();
    // With several matches the last one is the one selected; it is loaded once.
    int found = -1;
    for (int i = 0; i < ui->Lsuivit->count(); ++i)
        if (ui->Lsuivit->item(i)->text().left(typed.size()).toUpper() == wanted)
            found = i;
    if (found >= 0)
        selectEntry(found);
}

void Fsuivit::Lstview_partant_ColumnClick(int column) {
    m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    ui->Lstview_partant->sortRows(column, m_sortOrder);
}

QString Fsuivit::SupprimerAccents(const QString& text) const {
    static const QString accented =
        QStringLiteral("ÁÂÃÄÅÇÈÉÊËÌÍÎÏÑÒÓÔÕÖÙÚÛÜÝàáâãäåçèéêëìíîïñòóôõöùúûüýÿ");
    static const QString bare =
        QStringLiteral("AAAAACEEEEIIIINOOOOOUUUUYaaaaaaceeeeiiiinooooouuuuyy");
    QString result = text;
    for (int i = 0; i < result.size(); ++i) {
        const int p = accented.indexOf(result.at(i));
        if (p >= 0)
            result[i] = bare.at(p);
    }
    return result;
}

// ---- The horse card ----

void Fsuivit::Lsuivit_Click() {
    m_modeConfirmations = false;
    const int index = listIndex();
    if (index < 0) {
        ui->Lstview_partant->clearColumns();
        showError(kSelectHorseFirst);
        return;
    }
    const QString nom = ui->Lsuivit->item(index)->text();
    ui->Tcheval->setText(nom);
    ui->Label1->setText(QStringLiteral("Courses du cheval ") + nom);
    try {
        if (const auto card = followed::readCard(*connexion(), nom)) {
            ui->Tnum->setText(card->number);
            ui->Tcheval->setText(card->name);
            ui->Tvaleur->setText(card->form.value);
            ui->Tterrain->setText(card->form.going);
            ui->Tdistance->setText(card->form.distance);
            ui->Tcourse2->setText(card->form.prize);
            ui->Tcourse->setText(card->form.raceType);
            ui->Tplace->setText(card->form.place);
            ui->Tcomment->setPlainText(card->note);
            ui->TidGeny->setText(card->genyId);
            ui->Text1->setText(nom);
        }
        // The card is what it is now, whatever the races.
        m_savedCard = cardTexts();
        // The history's columns stay from one horse to the next; only its rows change.
        ChargerCourses(nom);
    } catch (const data::DbError& error) {
        m_savedCard = cardTexts();
        ui->Lstview_partant->clearColumns();
        showError(error);
    }
}

std::optional<qlonglong> Fsuivit::cardNumber() {
    bool ok = false;
    const qlonglong number = ui->Tnum->text().trimmed().toLongLong(&ok);
    if (ok)
        return number;
    showError(QStringLiteral("Le numéro du cheval (") + ui->Tnum->text() +
              QStringLiteral(") doit être un nombre entier."));
    return std::nullopt;
}

void Fsuivit::Command1_Click() {
    saveCard();
}

bool Fsuivit::saveCard() {
    if (listIndex() < 0) {
        showError(kSelectHorseFirst);
        return false;
    }
    const auto number = cardNumber();
    if (!number)
        return false;
    followed::Card card{ui->Tnum->text(),
                        ui->Tcheval->text(),
                        {ui->Tvaleur->text(), ui->Tterrain->text(), ui->Tdistance->text(),
                         ui->Tcourse2->text(), ui->Tcourse->text(), ui->Tplace->text()},
                        ui->Tcomment->toPlainText(),
                        ui->TidGeny->text()};
    bool saved = true;
    try {
        followed::writeCard(*connexion(), *number, card);
    } catch (const data::DbError& error) {
        saved = false;
        showError(error);
    }
    // The placeholders given to empty boxes show, even those of a saving that then failed.
    const auto show = [](QLineEdit* box, const QString& text) {
        if (box->text() != text)
            box->setText(text);
    };
    show(ui->Tvaleur, card.form.value);
    show(ui->Tterrain, card.form.going);
    show(ui->Tdistance, card.form.distance);
    show(ui->Tcourse2, card.form.prize);
    show(ui->Tcourse, card.form.raceType);
    show(ui->Tplace, card.form.place);
    if (ui->Tcomment->toPlainText() != card.note)
        ui->Tcomment->setPlainText(card.note);
    show(ui->TidGeny, card.genyId);
    if (!saved)
        return false;
    m_savedCard = cardTexts();
    return true;
}

void Fsuivit::Bt_supprime_Click() {
    const int index = listIndex();
    if (index < 0) {
        showError(
            QStringLiteral("Vous devez selectionner un cheval de suivit avant de le supprimer"));
        return;
    }
    const QString nom = ui->Lsuivit->item(index)->text();
    const auto number = cardNumber();
    if (!number)
        return;
    const auto answer = dialogs::message(this,
                                         QStringLiteral("vous allez supprimer le cheval ") + nom +
                                             QStringLiteral(" Voulez vous continuer?"),
                                         QStringLiteral("Suppression cheval de ligne"),
                                         dialogs::Buttons::OkCancel, dialogs::Icon::None);
    if (answer == dialogs::Answer::Cancel)
        return;
    try {
        // Only the followed horse goes; its note row stays in COURSES.
        followed::unfollow(*connexion(), *number);
        SuivisModifies::instance()->annoncer();
        ChargerSuivits();
    } catch (const data::DbError& error) {
        showError(error);
    }
}

// ---- The race history ----

void Fsuivit::PreparerListeCourses() {
    // The widths were drawn for a narrower font than today's: the columns grow to their
    // texts, except the two meant to be all but hidden.
    static const QVector<ReportView::Column> columns = {
        {"Date", 1000},    {"hippodrome", 1800}, {"R", 300},        {"C", 300},
        {"course", 1500},  {"Npartant", 500},    {"Distance", 600}, {"dotation", 800},
        {"Num", 10, true}, {"Musique", 1200},    {"Jockey", 1100},  {"Stat", 10, true},
        {"Place", 500},    {"Terrain", 800},     {"Etat", 1000},    {"Valeur", 600},
        {"type", 1500},    {"Commentaire", 2220}};
    auto* view = ui->Lstview_partant;
    view->setWidthTwips(view->setColumns(columns) + 60);
}

void Fsuivit::ChargerCourses(const QString& nom) {
    PreparerListeCourses();
    ReportRows rows(18);
    rows.reserve(64, 160);
    {
        RowsSink cells(rows);
        followed::readRaces(*connexion(), nom, cells);
    } // the engine's statement is done with before any message
    auto* view = ui->Lstview_partant;
    if (rows.rowCount() == 0) {
        view->fitColumnsToText();
        dialogs::message(this, QStringLiteral("Pas de courses enregistrés pour le cheval ") + nom,
                         QStringLiteral("Chargement des courses"), dialogs::Buttons::Ok,
                         dialogs::Icon::Information);
        return;
    }
    view->setRows(std::move(rows));
    view->fitColumnsToText();
    // Laid out now, the rows are painted once; laid out by the first paint, they would be
    // painted again straight after it.
    view->doItemsLayout();
}

// ---- The confirmation lists ----

void Fsuivit::Bt_Groupe_Click() {
    AfficherConfirmations(
        QStringLiteral("Listes des confirmations chevaux de groupe qui ont terminés 1er"),
        followed::Confirmations::GroupWinners);
}

void Fsuivit::Bt_listed_Click() {
    AfficherConfirmations(
        QStringLiteral("Listes des confirmations chevaux de listed qui ont terminés 1er"),
        followed::Confirmations::ListedWinners);
}

void Fsuivit::bt_handVal40_Click() {
    AfficherConfirmations(
        QStringLiteral("Listes des confirmations chevaux d'handicap qui ont terminés 1er, avec "
                       "une valeur egale ou  supérieur à 40"),
        followed::Confirmations::HandicapWinners40);
}

void Fsuivit::bt_handSup40_Click() {
    AfficherConfirmations(
        QStringLiteral("Listes des confirmations chevaux d'handicap qui ont terminés 2ieme ou "
                       "3ieme, avec une valeur supérieur à 40"),
        followed::Confirmations::HandicapPlacedOver40);
}

void Fsuivit::AfficherConfirmations(const QString& title, followed::Confirmations list) {
    ui->Tcheval->setText(QString());
    m_modeConfirmations = true;
    ui->Label1->setText(title);
    ui->Lstview_partant->clearColumns();
    PreparerListeConfirmations();
    try {
        ChargerConfirmations(list);
    } catch (const data::DbError& error) {
        showError(error);
    }
}

void Fsuivit::PreparerListeConfirmations() {
    static const QVector<ReportView::Column> columns = {
        {"Cheval", 2400}, {"Place", 600}, {"valeur", 1200}, {"Distance", 1200}, {"Dotation", 1200},
        {"Date", 1200},   {"RC", 600},    {"course", 2400}, {"Terrain", 1200}};
    auto* view = ui->Lstview_partant;
    view->setWidthTwips(view->setColumns(columns) + 60);
}

void Fsuivit::ChargerConfirmations(followed::Confirmations list) {
    auto* view = ui->Lstview_partant;
    const auto db = connexion();
    view->clearRows();
    ReportRows rows(9);
    rows.reserve(1024, 80);
    RowsSink cells(rows);
    followed::readConfirmations(*db, list, cells);
    view->setRows(std::move(rows));
    // Marked before the rows are measured: until then the view has laid out no row, and
    // colouring them costs nothing more than the colours.
    MarquerNonSuivis();
    view->fitColumnsToText();
    // When the rows overflow the list, a vertical scroll bar takes room from the columns.
    if (view->rowCount() > 0) {
        const qint64 rowsHeight = qint64(view->rowCount()) * view->sizeHintForRow(0);
        if (rowsHeight > view->viewport()->height())
            view->setWidthTwips(view->widthTwips() + 260);
    }
}

void Fsuivit::MarquerNonSuivis() {
    QSet<QString> followed;
    followed.reserve(ui->Lsuivit->count());
    for (int i = 0; i < ui->Lsuivit->count(); ++i)
        followed.insert(ui->Lsuivit->item(i)->text());
    const ReportRows& rows = ui->Lstview_partant->report()->rows();
    ui->Lstview_partant->report()->colorRows([&](int row) {
        const QStringView name = rows.cell(row, 0);
        // A view on the buffer, not a copy: the set only reads it.
        const QString key = QString::fromRawData(name.data(), name.size());
        return followed.contains(key) ? QColor() : QColor(255, 0, 0);
    });
}

// ---- Following a horse from a row ----

void Fsuivit::Lstview_partant_DblClick() {
    auto* view = ui->Lstview_partant;
    const int row = view->selectedRow();
    if (row < 0)
        return;
    if (!m_modeConfirmations) {
        // A race of the history: its comment becomes the card's note, saved with the card.
        ui->Tcomment->setPlainText(view->cellText(row, 17));
        return;
    }
    if (!ui->Tcheval->text().isEmpty())
        return;
    const QString nom = view->cellText(row, 0);
    // The row's value, going, distance, prize, race type and place.
    const followed::Form form{view->cellText(row, 2), view->cellText(row, 8),
                              view->cellText(row, 3), view->cellText(row, 4),
                              view->cellText(row, 7), view->cellText(row, 1)};
    // A double-click cannot be disabled: on a file read only it is refused in words.
    if (m_lectureSeule) {
        dialogs::message(this, MessageLectureSeule(), kTitle, dialogs::Buttons::Ok,
                         dialogs::Icon::Information);
        return;
    }
    try {
        followed::follow(*connexion(), nom, form);
    } catch (const data::DbError& error) {
        showError(error);
        return;
    }
    SuivisModifies::instance()->annoncer();
    try {
        ChargerSuivits();
    } catch (const data::DbError& error) {
        showError(error);
    }
}

SuivisModifies* SuivisModifies::instance() {
    static SuivisModifies notifier;
    return &notifier;
}

void Fsuivit::suivre(const QString& nom, const followed::Form& form) {
    followed::follow(*connexion(), nom, form);
    SuivisModifies::instance()->annoncer();
    if (Fsuivit* open = instance()) {
        // The horse is followed; only the open list is behind, and says so itself.
        try {
            open->RechargerSuivits();
        } catch (const data::DbError& error) {
            open->showError(error);
        }
    }
}

void Fsuivit::RechargerSuivits() {
    const int index = listIndex();
    const QString selected = index >= 0 ? ui->Lsuivit->item(index)->text() : QString();
    const std::optional<QStringList> card = m_savedCard;
    ChargerSuivits();
    const auto items = ui->Lsuivit->findItems(selected, Qt::MatchExactly);
    if (selected.isEmpty() || items.isEmpty())
        return;
    // The horse is selected again without its card being loaded over what the user typed.
    const QSignalBlocker blocker(ui->Lsuivit);
    ui->Lsuivit->setCurrentItem(items.first(), QItemSelectionModel::ClearAndSelect);
    m_savedCard = card;
}
