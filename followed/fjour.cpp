#include "followed/fjour.h"
#include "ui_fjour.h"

#include "chrono/listfile.h"
#include "data/connection.h"
#include "data/regional.h"
#include "followed/fsuivit.h"
#include "gui/appearance.h"
#include "gui/errorbox.h"
#include "gui/labelelider.h"
#include "gui/singlewindow.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QTreeWidget>
#include <cmath>

namespace {

// The columns of LstCourses.
enum CourseColumn {
    kHeure,
    kHippodrome,
    kCode,
    kIntitule,
    kDistance,
    kDiscipline,
    kType,
    kNbPartants,
    kSuivis
};

// The columns of LstPartants.
enum PartantColumn {
    kDossard,
    kCheval,
    kJockey,
    kCote,
    kMusique,
    kJours,
    kEstimation,
    kConfirmations
};

constexpr int kIndexRole = Qt::UserRole;

// The card's odds with the French decimal comma: "4,5", "12". Odds have two decimals at most;
// a stored 35.099999999999994 is 35,1.
QString coteText(double cote) {
    return QString::number(std::round(cote * 100) / 100, 'f', QLocale::FloatingPointShortest)
        .replace(QLatin1Char('.'), QLatin1Char(','));
}

QString distanceText(const std::optional<int>& distance) {
    return distance ? QString::number(*distance) + QStringLiteral(" m") : QString();
}

void alignRight(QTreeWidgetItem* item, std::initializer_list<int> columns) {
    for (const int column : columns)
        item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
}

void setBold(QTreeWidgetItem* item) {
    QFont font = item->font(0);
    font.setBold(true);
    for (int column = 0; column < item->columnCount(); ++column)
        item->setFont(column, font);
}

// The widths of a list's headers: the least each column gets.
QVector<int> headerWidths(const QTreeWidget* list) {
    QVector<int> widths;
    for (int column = 0; column < list->columnCount(); ++column)
        widths << list->header()->sectionSizeHint(column);
    return widths;
}

// Each column as wide as its header and its widest text, up to `widest`. The texts are measured
// by the font alone: the style's own measure lays every cell out as a paragraph, most of the
// time a race's choice takes.
void fitColumns(QTreeWidget* list, const QVector<int>& headers, int widest) {
    QFont boldFont = list->font();
    boldFont.setBold(true);
    const QFontMetrics plain(list->font());
    const QFontMetrics bold(boldFont);
    const int margin =
        2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1) + 6;
    for (int column = 0; column < list->columnCount(); ++column) {
        int width = headers.value(column);
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            const QTreeWidgetItem* item = list->topLevelItem(row);
            const QFontMetrics& metrics = item->font(column).bold() ? bold : plain;
            width = qMax(width, metrics.horizontalAdvance(item->text(column)) + margin);
        }
        list->setColumnWidth(column, qMin(width, qMax(widest, headers.value(column))));
    }
}

} // namespace

Fjour::Fjour(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::Fjour>()) {
    ui->setupUi(this);
    m_titreCourse = new LabelElider(ui->LblCourse);
    appearance::makeKeyboardFriendly(this);
    setAttribute(Qt::WA_DeleteOnClose);
    if (const QScreen* ecran = QGuiApplication::primaryScreen())
        resize(size()
                   .boundedTo(ecran->availableGeometry().size() - QSize(16, 40))
                   .expandedTo(minimumSizeHint()));

    ui->LstCourses->setHeaderLabels({QStringLiteral("Heure"), QStringLiteral("Hippodrome"),
                                     QStringLiteral("Course"), QStringLiteral("Intitulé"),
                                     QStringLiteral("Distance"), QStringLiteral("Discipline"),
                                     QStringLiteral("Type de course"), QStringLiteral("Partants"),
                                     QStringLiteral("Chevaux suivis")});
    ui->LstPartants->setHeaderLabels(
        {QStringLiteral("N°"), QStringLiteral("Cheval"), QStringLiteral("Jockey"),
         QStringLiteral("Cote"), QStringLiteral("5 dernières"), QStringLiteral("Jours"),
         QStringLiteral("Estimation"), QStringLiteral("Confirmations")});
    QTreeWidgetItem* header = ui->LstPartants->headerItem();
    header->setToolTip(kCote, QStringLiteral("Cote du matin, au programme"));
    header->setToolTip(kMusique, QStringLiteral("Places des cinq dernières courses, la plus "
                                                "récente d'abord (0 : 10e ou au-delà)"));
    header->setToolTip(kJours, QStringLiteral("Jours depuis sa dernière course"));
    header->setToolTip(kConfirmations,
                       QStringLiteral("Les listes de confirmation où figure le cheval"));
    header->setToolTip(kEstimation,
                       QStringLiteral("Sa réduction de la liste des chronos, sur la distance "
                                      "de la course"));
    m_entetesCourses = headerWidths(ui->LstCourses);
    m_entetesPartants = headerWidths(ui->LstPartants);
    ui->splitter->setStretchFactor(0, 2);
    ui->splitter->setStretchFactor(1, 3);

    connect(ui->CjourCourses, &QDateEdit::dateChanged, this, &Fjour::CjourCourses_Change);
    connect(ui->ChkSuivis, &QCheckBox::clicked, this, &Fjour::ChkSuivis_Click);
    connect(ui->BtActualiser, &QPushButton::clicked, this, &Fjour::actualiser);
    connect(ui->LstCourses, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!item)
            return;
        m_selectionRanClick = true;
        LstCourses_Click();
    });
    connect(ui->LstCourses, &QTreeWidget::itemClicked, this, [this] {
        // A click on the race already chosen changes nothing, yet reads its runners again.
        if (!m_selectionRanClick)
            LstCourses_Click();
        m_selectionRanClick = false;
    });
    ui->LstCourses->viewport()->installEventFilter(this);
    connect(ui->LstPartants, &QTreeWidget::itemActivated, this, &Fjour::LstPartants_DblClick);
    connect(ui->LstPartants, &QWidget::customContextMenuRequested, this,
            &Fjour::LstPartants_ContextMenu);

    Form_Load();
}

Fjour::~Fjour() = default;

Fjour* Fjour::showSingle() {
    Fjour* window = singlewindow::get<Fjour>();
    singlewindow::bringForward(window);
    return window;
}

Fjour* Fjour::instance() {
    return singlewindow::open<Fjour>();
}

QDate Fjour::jour() const {
    return ui->CjourCourses->date();
}

bool Fjour::eventFilter(QObject* watched, QEvent* event) {
    // Whether a click changed the race is told afresh at each press.
    if (watched == ui->LstCourses->viewport() && event->type() == QEvent::MouseButtonPress)
        m_selectionRanClick = false;
    return QWidget::eventFilter(watched, event);
}

std::shared_ptr<data::Database> Fjour::base() {
    if (!Connexion)
        OuvrirConnexion();
    return Connexion;
}

void Fjour::Form_Load() {
    {
        const QSignalBlocker blocker(ui->CjourCourses);
        ui->CjourCourses->setDate(regional::today());
    }
    actualiser();
    if (ConnexionLectureSeule())
        setWindowTitle(windowTitle() + QStringLiteral(" (lecture seule)"));
}

void Fjour::setJour(const QDate& jour) {
    {
        const QSignalBlocker blocker(ui->CjourCourses);
        ui->CjourCourses->setDate(jour);
    }
    CjourCourses_Change();
}

void Fjour::CjourCourses_Change() {
    // Another day: the race chosen was that day's.
    m_coursePartants.reset();
    actualiser();
}

void Fjour::actualiser() {
    const followed::CardRace* avant = courseChoisie();
    const std::optional<followed::CardRace> choisie =
        avant ? std::optional<followed::CardRace>(*avant) : std::nullopt;
    m_courses.clear();
    m_partants.clear();
    m_coursePartants.reset();
    try {
        const auto db = base();
        m_suivis = followed::followedKeys(*db);
        m_courses = followed::racesOn(*db, jour(), m_suivis);
    } catch (const data::DbError& error) {
        AfficherCourses();
        errors::showDbError(this, error);
        return;
    }
    if (choisie) {
        for (int i = 0; i < m_courses.size(); ++i) {
            const followed::CardRace& course = m_courses.at(i);
            if (course.r == choisie->r && course.c == choisie->c &&
                course.racecourse.compare(choisie->racecourse, Qt::CaseInsensitive) == 0)
                m_coursePartants = i;
        }
    }
    AfficherCourses();
}

void Fjour::AfficherCourses() {
    const std::optional<int> choisie = m_coursePartants;
    const bool seulementSuivis = ui->ChkSuivis->isChecked();
    int avecSuivis = 0;
    QTreeWidgetItem* aChoisir = nullptr;
    {
        // Filling the list is not a choice of race: the runners follow only at the end.
        const QSignalBlocker blocker(ui->LstCourses);
        ui->LstCourses->clear();
        QList<QTreeWidgetItem*> items;
        for (int i = 0; i < m_courses.size(); ++i) {
            const followed::CardRace& course = m_courses.at(i);
            if (!course.followed.isEmpty())
                ++avecSuivis;
            if (seulementSuivis && course.followed.isEmpty())
                continue;
            auto* item = new QTreeWidgetItem(QStringList{
                course.time, course.racecourse, course.code(), course.name,
                distanceText(course.distance), course.discipline, course.raceType,
                QString::number(course.runners), course.followed.join(QStringLiteral(", "))});
            item->setData(0, kIndexRole, i);
            item->setToolTip(kSuivis, course.followed.join(QLatin1Char('\n')));
            item->setToolTip(kIntitule, course.name);
            alignRight(item, {kDistance, kNbPartants});
            if (!seulementSuivis && !course.followed.isEmpty())
                setBold(item);
            if (choisie == i || (!aChoisir && !choisie))
                aChoisir = item;
            items << item;
        }
        ui->LstCourses->addTopLevelItems(items);
        fitColumns(ui->LstCourses, m_entetesCourses, 320);
    }

    const QString jourTexte = regional::frenchDate(jour());
    if (m_courses.isEmpty())
        ui->LblResume->setText(QStringLiteral("Aucune course au programme du %1.").arg(jourTexte));
    else
        ui->LblResume->setText(
            QStringLiteral("%1 au programme du %2, dont %3 avec vos chevaux suivis.")
                .arg(regional::counted(m_courses.size(), QStringLiteral("course"),
                                       QStringLiteral("courses")))
                .arg(jourTexte)
                .arg(avecSuivis));

    // The race chosen stays chosen while it shows; otherwise the first one is.
    if (!aChoisir && ui->LstCourses->topLevelItemCount() > 0)
        aChoisir = ui->LstCourses->topLevelItem(0);
    if (aChoisir) {
        ui->LstCourses->setCurrentItem(aChoisir);
    } else {
        m_coursePartants.reset();
        ViderPartants(m_courses.isEmpty() || !seulementSuivis
                          ? QString()
                          : QStringLiteral("Aucun de vos chevaux suivis ne court ce jour."));
    }
}

void Fjour::ChkSuivis_Click() {
    AfficherCourses();
}

const followed::CardRace* Fjour::courseChoisie() const {
    const QTreeWidgetItem* item = ui->LstCourses->currentItem();
    if (!item)
        return nullptr;
    const int index = item->data(0, kIndexRole).toInt();
    return index >= 0 && index < m_courses.size() ? &m_courses.at(index) : nullptr;
}

void Fjour::LstCourses_Click() {
    const followed::CardRace* course = courseChoisie();
    if (!course)
        return;
    m_coursePartants = ui->LstCourses->currentItem()->data(0, kIndexRole).toInt();
    AfficherPartants(*course);
}

void Fjour::ViderPartants(const QString& titre) {
    m_partants.clear();
    ui->LstPartants->clear();
    m_titreCourse->setText(titre);
}

void Fjour::AfficherPartants(const followed::CardRace& course) {
    // The chrono list is read once for the whole race; a list that cannot be read gives no
    // estimate rather than a message at every race.
    const listfile::Loaded chronos = listfile::load(listfile::path());
    const followed::ChronoList reductions(chronos.error ? QStringList() : chronos.lines);
    try {
        m_partants = followed::runnersOf(*base(), jour(), course, m_suivis, reductions);
    } catch (const data::DbError& error) {
        ViderPartants(course.label());
        errors::showDbError(this, error);
        return;
    }

    QStringList titre{course.label()};
    if (!course.time.isEmpty())
        titre << course.time;
    if (course.distance)
        titre << distanceText(course.distance);
    if (!course.discipline.isEmpty())
        titre << course.discipline;
    if (!course.raceType.isEmpty())
        titre << course.raceType;
    titre << regional::counted(course.runners, QStringLiteral("partant"),
                               QStringLiteral("partants"));
    m_titreCourse->setText(titre.join(QStringLiteral(" · ")));

    ui->LstPartants->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(m_partants.size());
    for (int i = 0; i < m_partants.size(); ++i) {
        const followed::Runner& partant = m_partants.at(i);
        auto* item = new QTreeWidgetItem(QStringList{
            partant.number ? QString::number(*partant.number) : QString(), partant.horse,
            partant.jockey, partant.odds ? coteText(*partant.odds) : QString(), partant.form,
            partant.daysSinceLastRace ? QString::number(*partant.daysSinceLastRace) : QString(),
            partant.estimate, partant.marks.text()});
        item->setData(0, kIndexRole, i);
        alignRight(item, {kDossard, kCote, kJours, kEstimation});
        if (partant.followed)
            setBold(item);
        items << item;
    }
    ui->LstPartants->addTopLevelItems(items);
    fitColumns(ui->LstPartants, m_entetesPartants, 400);
    // The estimate is set to the right and the marks to the left: a gap keeps them apart.
    ui->LstPartants->setColumnWidth(
        kEstimation, ui->LstPartants->columnWidth(kEstimation) +
                         2 * ui->LstPartants->fontMetrics().averageCharWidth());
}

const followed::Runner* Fjour::partant(const QTreeWidgetItem* item) const {
    if (!item)
        return nullptr;
    const int index = item->data(0, kIndexRole).toInt();
    return index >= 0 && index < m_partants.size() ? &m_partants.at(index) : nullptr;
}

void Fjour::LstPartants_DblClick(QTreeWidgetItem* item) {
    const followed::Runner* runner = partant(item);
    if (!runner || !m_coursePartants)
        return;
    const followed::CardRace& course = m_courses.at(*m_coursePartants);
    emit pariDemande(jour(), course.label(), runner->horse,
                     runner->odds ? QVariant(*runner->odds) : QVariant());
}

void Fjour::LstPartants_ContextMenu(const QPoint& position) {
    QTreeWidgetItem* item = ui->LstPartants->itemAt(position);
    const followed::Runner* runner = partant(item);
    if (!runner)
        return;
    ui->LstPartants->setCurrentItem(item);
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("MenuPartant"));
    QAction* suivre = menu.addAction(QStringLiteral("Suivre ce cheval"));
    suivre->setObjectName(QStringLiteral("ActSuivre"));
    // A followed horse is followed already: its card stays as the user made it. A file
    // read only follows none (the title says so).
    suivre->setEnabled(!runner->followed && !ConnexionLectureSeule());
    const QString cheval = runner->horse;
    connect(suivre, &QAction::triggered, this, [this, cheval] { Suivre(cheval); });
    menu.exec(ui->LstPartants->viewport()->mapToGlobal(position));
}

void Fjour::Suivre(const QString& cheval) {
    try {
        Fsuivit::suivre(cheval, followed::lastRaceForm(*base(), cheval, jour()));
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
        return;
    }
    actualiser();
}
