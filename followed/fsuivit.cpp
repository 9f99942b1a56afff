#include "followed/fsuivit.h"
#include "ui_fsuivit.h"

#include "data/connection.h"
#include "data/recordset.h"
#include "data/regional.h"
#include "data/statement.h"
#include "data/transaction.h"
#include "gui/appearance.h"
#include "gui/dialogs.h"
#include "gui/errorbox.h"
#include "gui/plaintextdelegate.h"
#include "gui/singlewindow.h"

#include <QCloseEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHash>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScreen>
#include <QSet>
#include <algorithm>
#include <cmath>

QString ChevalPreselection;

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// The confirmation queries hold no user value: their texts are sent as they are.
const QString kConfirmationSelect =
    QStringLiteral("SELECT DISTINCT CR.cheval, CR.place, CR.Valeur, CR.distance, CR.dotation, "
                   "CR.date, CR.R, CR.C, CR.[type de course],CR.Etat");

// A number as the lists show it: whole ones plainly, others with the French decimal comma.
QString cellText(double number) {
    // Whole amounts (most prizes and values) skip the general float formatting.
    if (number == std::floor(number) && std::fabs(number) < 1e15)
        return QString::number(static_cast<qlonglong>(number));
    return QString::number(number, 'g', QLocale::FloatingPointShortest)
        .replace(QLatin1Char('.'), QLatin1Char(','));
}

// A stored value as the lists show it: numbers with the French decimal comma.
QString cellText(const QVariant& value) {
    if (value.isNull())
        return QString();
    if (value.metaType().id() == QMetaType::Double)
        return cellText(value.toDouble());
    return value.toString();
}

// A stored value added to a list as cellText() shows it, straight from the engine's text.
void addStoredCell(ReportRows& rows, const data::Statement& rs, int column,
                   QStringView ifNull = {}) {
    if (rs.isNull(column))
        rows.addCell(ifNull);
    else if (rs.isReal(column))
        rows.addCell(cellText(rs.real(column)));
    else
        rows.addCell(rs.utf8(column));
}

// Many runners share a race date: each date is converted once per list, and a plain ISO
// day is rearranged in place. The view returned is valid until the next call.
class FrenchDates {
public:
    QStringView operator()(QStringView iso) {
        if (isDay(iso))
            return rearranged(iso);
        const QString key = iso.toString();
        auto found = m_known.constFind(key);
        if (found == m_known.constEnd())
            found = m_known.insert(key, regional::frenchDateFromIso(key));
        return *found;
    }
    QStringView operator()(QByteArrayView isoUtf8) {
        const QLatin1StringView ascii(isoUtf8.data(), isoUtf8.size());
        if (isDay(ascii))
            return rearranged(ascii);
        return (*this)(QStringView(QString::fromUtf8(isoUtf8)));
    }
    // A stored value that is not null, as the lists show it.
    QStringView stored(const data::Statement& rs, int column) {
        if (rs.isReal(column))
            return (*this)(QStringView(cellText(rs.real(column))));
        return (*this)(rs.utf8(column));
    }

private:
    // "AAAA-MM-JJ" and nothing more.
    template <class Text> static bool isDay(Text iso) {
        if (iso.size() != 10)
            return false;
        for (int i = 0; i < 10; ++i) {
            const bool dash = i == 4 || i == 7;
            const QChar c(iso[i]);
            if (dash ? c != QLatin1Char('-') : (c < QLatin1Char('0') || c > QLatin1Char('9')))
                return false;
        }
        return true;
    }
    template <class Text> QStringView rearranged(Text iso) {
        const int order[10] = {8, 9, -1, 5, 6, -1, 0, 1, 2, 3};
        for (int i = 0; i < 10; ++i)
            m_day[i] = order[i] < 0 ? QLatin1Char('/') : QChar(iso[order[i]]);
        return QStringView(m_day, 10);
    }

    QHash<QString, QString> m_known;
    QChar m_day[10];
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

// An engine's error in the window's words: a file that cannot be opened is named, with the
// reason, before the engine's words.
QString describe(const data::DbError& error) {
    QString text = errors::describe(error);
    if (const auto* open = dynamic_cast<const data::OpenError*>(&error))
        text = open->explanation() + QStringLiteral("\n\n") + text;
    return text;
}

void showErrorBox(QWidget* parent, const QString& text) {
    dialogs::message(parent, text, QStringLiteral("Erreur"), dialogs::Buttons::Ok,
                     dialogs::Icon::Critical);
}

// Whether a followed horse is named `nom` once in capitals, as the window's list compares
// the names (the engine's own case folding knows no accented letter).
bool isFollowed(const QString& nom) {
    data::Statement rs(connexion()->raw(), QStringLiteral("SELECT nomcheval FROM MESSUIVITS"), {});
    while (rs.next())
        if (rs.string(0).toUpper() == nom)
            return true;
    return false;
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
        bool followed = false;
        if (open) {
            // The open window's list is the one the preselection is looked for in.
            followed = open->listHolds(nom);
        } else {
            try {
                followed = isFollowed(nom);
            } catch (const data::DbError& error) {
                showErrorBox(parent, describe(error));
                return false;
            }
        }
        if (!followed) {
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
    showError(describe(error));
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
    // Without a selected entry the card cannot be saved: there is nothing to ask.
    return m_savedCard && listIndex() >= 0 && cardTexts() != *m_savedCard;
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
        ChargerSuivits();
    } catch (const data::DbError& error) {
        showError(error);
        return;
    }
    AppliquerPreselection();
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
    data::RecordSet rs;
    rs.Open(QStringLiteral("select * from MESSUIVITS ORDER BY nomcheval;"), connexion());
    std::vector<std::pair<QCollatorSortKey, QString>> names;
    names.reserve(rs.RecordCount());
    // The engine orders the names by their ASCII letters only: French order here, accented
    // initials among the others.
    const QCollator order = regional::frenchCollator();
    for (rs.MoveFirst(); !rs.atEnd(); rs.MoveNext()) {
        const QString name = rs.Fields(1).toString();
        names.emplace_back(order.sortKey(name), name);
    }
    rs.Close();
    std::stable_sort(names.begin(), names.end(),
                     [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
    QStringList sorted;
    sorted.reserve(int(names.size()));
    for (const auto& name : names)
        sorted << name.second;
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
    auto* view = ui->Lstview_partant;
    view->report()->sort(column, m_sortOrder);
    view->header()->setSortIndicator(column, m_sortOrder);
    view->header()->setSortIndicatorShown(true);
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
        data::RecordSet rs;
        rs.Open(QStringLiteral("SELECT MESSUIVITS.nomcheval, COURSES.date, * FROM MESSUIVITS "
                               "LEFT JOIN COURSES ON MESSUIVITS.num = COURSES.reference "
                               "WHERE MESSUIVITS.nomcheval=?"),
                connexion(), {nom});
        if (rs.RecordCount() > 0) {
            rs.MoveFirst();
            // The first "date" of the select list is the note of COURSES.
            ui->Tnum->setText(cellText(rs.Fields(QStringLiteral("num"))));
            ui->Tcheval->setText(cellText(rs.Fields(QStringLiteral("nomcheval"))));
            ui->Tvaleur->setText(cellText(rs.Fields(QStringLiteral("SaValeur"))));
            ui->Tterrain->setText(cellText(rs.Fields(QStringLiteral("EtatTerrain"))));
            ui->Tdistance->setText(cellText(rs.Fields(QStringLiteral("LaDistance"))));
            ui->Tcourse2->setText(cellText(rs.Fields(QStringLiteral("LaDotation"))));
            ui->Tcourse->setText(cellText(rs.Fields(QStringLiteral("TypeCourse"))));
            ui->Tplace->setText(cellText(rs.Fields(QStringLiteral("SaPlace"))));
            ui->Tcomment->setPlainText(cellText(rs.Fields(QStringLiteral("date"))));
            ui->TidGeny->setText(cellText(rs.Fields(QStringLiteral("IdGeny"))));
            ui->Text1->setText(nom);
        }
        rs.Close();
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
    try {
        auto db = connexion();
        data::Transaction transaction(*db);
        data::RecordSet rs;
        rs.Open(QStringLiteral("SELECT * FROM MESSUIVITS WHERE num = ") + kCrLf +
                    QStringLiteral("?"),
                db, {*number});
        if (rs.RecordCount() > 0) {
            rs.MoveFirst();
            // After a confirmation list the card names no horse: the stored name stays.
            if (!ui->Tcheval->text().isEmpty())
                rs.SetField(1, ui->Tcheval->text());
            const struct {
                QLineEdit* box;
                int position;
                const char* placeholder;
            } fields[] = {{ui->Tvaleur, 2, "00,0"},         {ui->Tterrain, 3, "A renseigner"},
                          {ui->Tdistance, 4, "0000"},       {ui->Tcourse2, 5, "A renseigner"},
                          {ui->Tcourse, 6, "A renseigner"}, {ui->Tplace, 7, "00"}};
            for (const auto& field : fields) {
                if (!field.box->text().isEmpty())
                    rs.SetField(field.position, field.box->text());
                else
                    field.box->setText(QString::fromUtf8(field.placeholder));
            }
            rs.Update();
        }
        rs.Close();

        rs.Open(QStringLiteral("SELECT * FROM COURSES") + kCrLf +
                    QStringLiteral(" WHERE reference = ?"),
                db, {*number});
        if (rs.RecordCount() != 0) {
            rs.MoveFirst();
        } else {
            rs.AddNew();
            rs.SetField(0, *number);
        }
        if (ui->Tcomment->toPlainText().isEmpty())
            ui->Tcomment->setPlainText(QStringLiteral("a saisir"));
        rs.SetField(1, ui->Tcomment->toPlainText());
        if (ui->TidGeny->text().isEmpty())
            ui->TidGeny->setText(QStringLiteral("a saisir"));
        rs.SetField(2, ui->TidGeny->text());
        rs.Update();
        rs.Close();
        transaction.commit();
    } catch (const data::DbError& error) {
        showError(error);
        return false;
    }
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
        auto db = connexion();
        data::Transaction transaction(*db);
        data::RecordSet rs;
        rs.Open(QStringLiteral("SELECT * FROM MESSUIVITS WHERE num = ") + kCrLf +
                    QStringLiteral("?"),
                db, {*number});
        // Only the followed horse goes; its note row stays in COURSES.
        if (rs.RecordCount() > 0) {
            rs.MoveFirst();
            rs.Delete();
        }
        rs.Close();
        transaction.commit();
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
        data::Statement rs(
            connexion()->raw(),
            QStringLiteral("select  CR.date, CR.hippodrome, CR.R, CR.C, CR.course, CR.nbPartant, "
                           "CR.distance, CR.dotation, CR.dossard, CR.chevalMusique, CR.jockey,  "
                           "CR.statut, CR.place,CR.Terrain, CR.Etat, CR.valeur,"
                           "CR.[type de course],CR.commentaire From CR ") +
                kCrLf + QStringLiteral("WHERE (CR.cheval= ?) ORDER BY CR.date;"),
            {nom});
        FrenchDates frenchDate;
        while (rs.next()) {
            rows.addCell(rs.isNull(0) ? QStringView() : frenchDate.stored(rs, 0));
            for (int j = 1; j <= 17; ++j)
                addStoredCell(rows, rs, j);
        }
    } // the engine's statement is done with before any message
    auto* view = ui->Lstview_partant;
    if (rows.rowCount() == 0) {
        view->fitColumnsToText();
        dialogs::message(this, QStringLiteral("Pas de courses enregistrés pour le cheval ") + nom,
                         QStringLiteral("Chargement des courses"), dialogs::Buttons::Ok,
                         dialogs::Icon::Information);
        return;
    }
    view->report()->setRows(std::move(rows));
    view->fitColumnsToText();
    // Laid out now, the rows are painted once; laid out by the first paint, they would be
    // painted again straight after it.
    view->doItemsLayout();
}

// ---- The confirmation lists ----

void Fsuivit::Bt_Groupe_Click() {
    AfficherConfirmations(
        QStringLiteral("Listes des confirmations chevaux de groupe qui ont terminés 1er"),
        kConfirmationSelect +
            QStringLiteral(" From CR WHERE CR.place='1'  AND CR.[type de course] LIKE "
                           "'%groupe%' AND CR.discipline= 'plat';"));
}

void Fsuivit::Bt_listed_Click() {
    AfficherConfirmations(
        QStringLiteral("Listes des confirmations chevaux de listed qui ont terminés 1er"),
        kConfirmationSelect +
            QStringLiteral(" From CR WHERE CR.place='1'  AND CR.[type de course] LIKE "
                           "'%listed%' AND CR.discipline= 'plat';"));
}

void Fsuivit::bt_handVal40_Click() {
    AfficherConfirmations(
        QStringLiteral("Listes des confirmations chevaux d'handicap qui ont terminés 1er, avec "
                       "une valeur egale ou  supérieur à 40"),
        kConfirmationSelect +
            QStringLiteral(" From CR WHERE CR.place='1'  AND CR.valeur>='40'  AND "
                           "CR.[type de course] LIKE '%Handicap%' AND CR.discipline= 'plat';"));
}

void Fsuivit::bt_handSup40_Click() {
    AfficherConfirmations(
        QStringLiteral("Listes des confirmations chevaux d'handicap qui ont terminés 2ieme ou "
                       "3ieme, avec une valeur supérieur à 40"),
        kConfirmationSelect +
            QStringLiteral(" From CR WHERE (CR.place='2'  Or CR.place='3')  AND "
                           "CR.valeur>'40'  AND CR.[type de course] LIKE '%Handicap%' AND "
                           "CR.discipline= 'plat';"));
}

void Fsuivit::AfficherConfirmations(const QString& title, const QString& query) {
    ui->Tcheval->setText(QString());
    m_modeConfirmations = true;
    ui->Label1->setText(title);
    ui->Lstview_partant->clearColumns();
    PreparerListeConfirmations();
    try {
        ChargerConfirmations(query);
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

void Fsuivit::ChargerConfirmations(const QString& query) {
    auto* view = ui->Lstview_partant;
    const auto db = connexion();
    view->clearRows();
    ReportRows rows(9);
    rows.reserve(1024, 80);
    // Tens of thousands of rows: each cell goes from the engine's own text into the list's
    // one buffer, with no value or string made for it on the way.
    data::Statement rs(db->raw(), query, {});
    const QString nonConnu = QStringLiteral("NonConnu");
    QString rc;
    FrenchDates frenchDate;
    const auto add = [&](int column, bool known) {
        addStoredCell(rows, rs, column, known ? QStringView(nonConnu) : QStringView());
    };
    const auto appendPart = [&](int column) {
        if (rs.isReal(column))
            rc += cellText(rs.real(column));
        else
            appendUtf8(rc, rs.utf8(column));
    };
    while (rs.next()) {
        add(0, false);
        add(1, false);
        add(2, true);
        add(3, true);
        add(4, true);
        rows.addCell(rs.isNull(5) ? QStringView(nonConnu) : frenchDate.stored(rs, 5));
        rc = QLatin1Char('R');
        appendPart(6);
        rc += QLatin1Char('C');
        appendPart(7);
        rows.addCell(rc);
        add(8, true);
        add(9, true);
    }
    view->report()->setRows(std::move(rows));
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
    // Column of the row for positions 2 to 7 of MESSUIVITS.
    const int cellOf[] = {2, 8, 3, 4, 7, 1};
    // Following is a convenience: a store that refuses it changes nothing and says nothing.
    try {
        data::RecordSet rs;
        rs.Open(QStringLiteral("SELECT * FROM MESSUIVITS") + kCrLf +
                    QStringLiteral(" WHERE nomcheval = ?"),
                connexion(), {nom});
        if (rs.RecordCount() != 0) {
            rs.MoveFirst();
        } else {
            rs.AddNew();
            rs.SetField(1, nom);
        }
        for (int position = 2; position <= 7; ++position)
            rs.SetField(position, view->cellText(row, cellOf[position - 2]));
        rs.Update();
        rs.Close();
    } catch (const data::DbError&) {
    }
    try {
        ChargerSuivits();
    } catch (const data::DbError&) {
    }
}
