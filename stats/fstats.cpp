#include "stats/fstats.h"
#include "ui_fstats.h"

#include "data/connection.h"
#include "data/paths.h"
#include "data/regional.h"
#include "gui/appearance.h"
#include "gui/errorbox.h"
#include "gui/singlewindow.h"
#include "gui/sortproxy.h"
#include "ledger/yearbook.h"
#include "stats/charts.h"
#include "stats/figures.h"
#include "stats/grouptable.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QSet>
#include <algorithm>

namespace {

const QString kTouteLAnnee = QStringLiteral("Toute l'année");
const QString kAnneeEnCours = QStringLiteral("Année en cours");
const QString kToutesLesAnnees = QStringLiteral("Toutes les années");

// Where the user was in a table: its current row, by name, and how far down it was read.
struct Position {
    QTreeView* view;
    QString current;
    int scroll;
};

Position positionOf(QTreeView* view) {
    return {view, view->currentIndex().siblingAtColumn(0).data().toString(),
            view->verticalScrollBar()->value()};
}

void restore(const Position& position) {
    const QAbstractItemModel* model = position.view->model();
    if (!position.current.isEmpty()) {
        const QModelIndexList found = model->match(model->index(0, 0), Qt::DisplayRole,
                                                   position.current, 1, Qt::MatchExactly);
        if (!found.isEmpty())
            position.view->setCurrentIndex(found.first());
    }
    position.view->verticalScrollBar()->setValue(position.scroll);
}

} // namespace

Fstats::Fstats(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::Fstats>()) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    appearance::makeKeyboardFriendly(this);

    m_parType = new stats::GroupTable(QStringLiteral("Type de jeu"), true, this);
    m_parMois = new stats::GroupTable(QStringLiteral("Mois"), true, this);
    m_parJour = new stats::GroupTable(QStringLiteral("Jour"), true, this);
    m_parCheval = new stats::GroupTable(QStringLiteral("Cheval"), false, this);
    PreparerTable(ui->LstParType, m_parType);
    PreparerTable(ui->LstParMois, m_parMois);
    PreparerTable(ui->LstParJour, m_parJour);
    PreparerTable(ui->LstParCheval, m_parCheval);
    ui->LstParCheval->sortByColumn(stats::GroupTable::Net, Qt::DescendingOrder);
    m_parCote = stats::GroupTable::ofBets(QStringLiteral("Cote"), this);
    m_parHippodrome = stats::GroupTable::ofBets(QStringLiteral("Hippodrome"), this);
    m_parDiscipline = stats::GroupTable::ofBets(QStringLiteral("Discipline"), this);
    m_parPari = stats::GroupTable::ofBets(QStringLiteral("Type de pari"), this);
    PreparerTable(ui->LstParPari, m_parPari);
    PreparerTable(ui->LstParCote, m_parCote);
    PreparerTable(ui->LstParHippodrome, m_parHippodrome);
    PreparerTable(ui->LstParDiscipline, m_parDiscipline);
    // Racecourses are many: the user may order them by any figure, as the horses.
    ui->LstParHippodrome->sortByColumn(m_parHippodrome->sectionOf(stats::GroupTable::Net),
                                       Qt::DescendingOrder);

    // The fall names its two days, with their years over several years: it shows whole.
    ui->Tbaisse->setMaximumWidth(QWIDGETSIZE_MAX);
    ui->Tbaisse->setMinimumWidth(
        ui->Tbaisse->fontMetrics().horizontalAdvance(
            QStringLiteral("-99 999,99 € du 00/00/0000 au 00/00/0000")) +
        4 * ui->Tbaisse->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 8);

    // A chart view starts with a chart of its own, which it gives back, not deletes.
    for (const auto& [view, titre] :
         {std::pair{ui->GraphSolde, QStringLiteral("Résultat net et solde")},
          {ui->GraphMois, QStringLiteral("Résultat net par mois")},
          {ui->GraphTypes, QStringLiteral("Résultat net par type de jeu")}}) {
        QChart* defaut = view->chart();
        view->setChart(new stats::StatsChart(titre));
        delete defaut;
        view->setRenderHint(QPainter::Antialiasing);
        view->setMinimumSize(320, 220);
    }
    // The tables above, the curves and the bars side by side below, sharing what the window
    // gives.
    ui->splitter->setStretchFactor(0, 4);
    ui->splitter->setStretchFactor(1, 5);
    ui->splitter->setSizes({400, 500});
    ui->splitterGraphes->setSizes({1000, 1000});

    ui->C_periode->addItems(regional::monthNames());
    ui->C_periode->addItem(kTouteLAnnee);
    ui->C_periode->setCurrentIndex(regional::today().month() - 1);

    connect(ui->C_joueur, &QComboBox::activated, this, &Fstats::C_joueur_Click);
    connect(ui->C_periode, &QComboBox::activated, this, &Fstats::C_periode_Click);
    connect(ui->C_annee, &QComboBox::activated, this, &Fstats::C_annee_Click);

    ChargerAnnees();
    ChargerJoueurs();
    Calculer();
}

Fstats::~Fstats() = default;

Fstats* Fstats::showSingle(const QString& player, const QString& month, int year) {
    Fstats* window = singlewindow::get<Fstats>();
    window->choisir(player, month, year);
    singlewindow::bringForward(window);
    return window;
}

Fstats* Fstats::instance() {
    return singlewindow::open<Fstats>();
}

void Fstats::choisir(const QString& player, const QString& month, int year) {
    // The ledger's months are the open year's, or those of the past year its window reads.
    ChargerAnnees();
    ui->C_annee->setCurrentIndex(
        year != 0 ? std::max(0, ui->C_annee->findText(QString::number(year))) : 0);
    m_archives.clear();
    // Players added in the ledger since the window opened are listed too.
    ChargerJoueurs();
    ui->C_joueur->setCurrentIndex(ui->C_joueur->findText(player, Qt::MatchFixedString));
    const int periode = ui->C_periode->findText(month, Qt::MatchFixedString);
    if (periode >= 0)
        ui->C_periode->setCurrentIndex(periode);
    Calculer();
}

void Fstats::actualiser() {
    QList<Position> positions;
    for (QTreeView* view : {ui->LstParType, ui->LstParMois, ui->LstParCheval, ui->LstParCote,
                            ui->LstParHippodrome, ui->LstParDiscipline, ui->LstParPari})
        positions << positionOf(view);
    ChargerAnnees();
    ChargerJoueurs();
    Calculer();
    for (const Position& position : std::as_const(positions))
        restore(position);
}

void Fstats::C_joueur_Click() {
    Calculer();
}

void Fstats::C_periode_Click() {
    Calculer();
}

void Fstats::C_annee_Click() {
    m_archives.clear();
    ChargerJoueurs();
    Calculer();
}

void Fstats::ChargerAnnees() {
    const QString choisie = ui->C_annee->currentText();
    ui->C_annee->clear();
    ui->C_annee->addItem(kAnneeEnCours);
    for (const ledger::ArchiveFile& archive : ledger::archives(paths::databaseFolder()))
        ui->C_annee->addItem(QString::number(archive.year), archive.path);
    ui->C_annee->addItem(kToutesLesAnnees);
    ui->C_annee->setCurrentIndex(std::max(0, ui->C_annee->findText(choisie)));

    // The archives of a year still chosen stay open; any other is closed.
    QSet<QString> lues;
    for (int i = 1; i < ui->C_annee->count() - 1; ++i) {
        if (ToutesLesAnnees() || i == ui->C_annee->currentIndex())
            lues << ui->C_annee->itemData(i).toString();
    }
    for (auto it = m_archives.begin(); it != m_archives.end();)
        it = lues.contains(it->first) ? std::next(it) : m_archives.erase(it);
}

bool Fstats::ToutesLesAnnees() const {
    return ui->C_annee->currentText() == kToutesLesAnnees;
}

QVector<stats::YearLedger> Fstats::Annees() {
    QVector<stats::YearLedger> annees;
    const int choisie = ui->C_annee->currentIndex();
    const int ouverte = ledger::openYear(*Connexion, regional::today());
    // The archives are listed newest first, and the years are added oldest first.
    for (int i = ui->C_annee->count() - 2; i >= 1; --i) {
        const int annee = ui->C_annee->itemText(i).toInt();
        // An archive of the open year is a closing not finished yet: the file still holds
        // the same rows, which would count twice.
        if (ToutesLesAnnees() ? annee >= ouverte : i != choisie)
            continue;
        if (const auto archive = Archive(ui->C_annee->itemData(i).toString()))
            annees << stats::YearLedger{annee, archive.get()};
    }
    if (choisie <= 0 || ToutesLesAnnees())
        annees << stats::YearLedger{ouverte, Connexion.get()};
    return annees;
}

std::shared_ptr<data::Database> Fstats::Archive(const QString& path) {
    const auto found = m_archives.find(path);
    if (found != m_archives.end())
        return found->second;
    std::shared_ptr<data::Database> archive;
    try {
        archive = ledger::openArchive(path);
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
    }
    m_archives[path] = archive;
    return archive;
}

void Fstats::ChargerJoueurs() {
    const QString choisi = ui->C_joueur->currentText();
    QStringList joueurs;
    try {
        const QVector<stats::YearLedger> annees = Annees();
        if (ToutesLesAnnees())
            joueurs = stats::players(annees);
        else if (!annees.isEmpty())
            joueurs = stats::players(*annees.first().db);
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
    }
    ui->C_joueur->clear();
    ui->C_joueur->addItems(joueurs);
    ui->C_joueur->setCurrentIndex(ui->C_joueur->findText(choisi, Qt::MatchFixedString));
}

void Fstats::PreparerTable(QTreeView* view, stats::GroupTable* model) {
    auto* proxy = new SortProxy(view);
    proxy->setSourceModel(model);
    view->setModel(proxy);
    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    // The names as wide as they need: on a wide screen the figures stay beside them.
    header->setSectionResizeMode(stats::GroupTable::Label, QHeaderView::ResizeToContents);
    header->setMinimumSectionSize(40);
    // Figures as wide as their header or their widest likely value.
    QFont gras = view->font();
    gras.setBold(true);
    const QFontMetrics texte(view->font());
    const QFontMetrics entete(gras);
    const int marge = 2 * view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 16;
    const QString somme = regional::formatMoney(Money::fromCents(-9999999));
    for (int c = 1; c < model->columnCount(); ++c) {
        QString exemple;
        switch (model->columnAt(c)) {
        case stats::GroupTable::Games:
        case stats::GroupTable::Wins:
            exemple = QStringLiteral("99999");
            break;
        case stats::GroupTable::Yield:
            exemple = QStringLiteral("-100,0 %");
            break;
        default:
            exemple = somme;
            break;
        }
        const QString titre = model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        header->setSectionResizeMode(c, QHeaderView::Interactive);
        header->resizeSection(
            c, std::max(entete.horizontalAdvance(titre), texte.horizontalAdvance(exemple)) + marge);
    }
}

void Fstats::Calculer() {
    const int index = ui->C_periode->currentIndex();
    const int mois = index >= 0 && index < 12 ? index + 1 : stats::kWholeYear;
    const QString joueur = ui->C_joueur->currentText();
    stats::Figures figures;
    stats::BetFigures paris;
    try {
        const QVector<stats::YearLedger> annees = Annees();
        if (ToutesLesAnnees()) {
            figures = stats::compute(annees, joueur, mois);
            paris = stats::betFigures(annees, joueur, mois);
        } else if (!annees.isEmpty()) {
            figures = stats::compute(*annees.first().db, joueur, mois);
            paris = stats::betFigures(*annees.first().db, joueur, mois);
        }
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
    }

    ui->Tmise->setText(regional::formatMoney(figures.staked));
    ui->Tgain->setText(regional::formatMoney(figures.won));
    ui->Tnet->setText(regional::formatMoney(figures.net()));
    ui->Troi->setText(stats::formatYield(figures.staked, figures.won));
    ui->Tnbjeux->setText(QString::number(figures.games));
    ui->Tdepots->setText(regional::formatMoney(figures.deposits));
    ui->Treussite->setText(stats::formatRate(paris.wins, paris.settled));
    ui->Tcotemoy->setText(paris.meanWinningOdds ? stats::formatOdds(*paris.meanWinningOdds)
                                                : QString());

    ui->Tbaisse->setText(stats::formatFall(figures));
    ui->Tbaisse->setToolTip(ui->Tbaisse->text());
    ui->Tseriep->setText(stats::formatRun(paris.runs.losing, paris.settled));
    ui->Tserieg->setText(stats::formatRun(paris.runs.winning, paris.settled));

    m_parType->setGroups(figures.byType);
    m_parMois->setGroups(figures.byMonth);
    m_parJour->setGroups(figures.byWeekday);
    // The horses keep the order the user chose by a header click: their proxy sorts the
    // new rows by it.
    m_parCheval->setGroups(figures.byHorse);
    m_parCote->setGroups(paris.byOdds);
    m_parHippodrome->setGroups(paris.byRacecourse);
    m_parDiscipline->setGroups(paris.byDiscipline);
    m_parPari->setGroups(paris.byRule);

    // Over several years even one month's operations are set out month by month.
    const bool annee = ui->C_periode->currentText() == kTouteLAnnee || ToutesLesAnnees();
    stats::charts::showResults(ui->GraphSolde, figures, annee);
    stats::charts::showMonths(ui->GraphMois, figures, annee);
    stats::charts::showTypes(ui->GraphTypes, figures);
}
