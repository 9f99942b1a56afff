#include "stats/fstats.h"
#include "ui_fstats.h"

#include "data/connection.h"
#include "data/regional.h"
#include "gui/appearance.h"
#include "gui/colours.h"
#include "gui/errorbox.h"
#include "gui/singlewindow.h"
#include "gui/sortproxy.h"
#include "stats/figures.h"
#include "stats/grouptable.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QGraphicsLayout>
#include <QHeaderView>
#include <QLineSeries>
#include <QStackedBarSeries>
#include <QValueAxis>
#include <algorithm>

namespace {

const QString kTouteLAnnee = QStringLiteral("Toute l'année");

// The bars of the monthly net: green above zero, red below, as the ledger colours gains and
// stakes.
using colours::kGreen;
using colours::kRed;

// A chart emptied for new figures: its series and axes go, its look stays.
void vider(QChart* chart) {
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
}

QChart* nouveauGraphique(const QString& titre) {
    auto* chart = new QChart();
    chart->setTitle(titre);
    QFont police = chart->titleFont();
    police.setBold(true);
    chart->setTitleFont(police);
    chart->legend()->hide();
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->setBackgroundRoundness(0);
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    // Axis labels in the ledger's French: "1 500 €", not "1500.00".
    chart->setLocalizeNumbers(true);
    chart->setLocale(regional::frenchLocale());
    return chart;
}

QValueAxis* axeArgent(const QString& titre, double bas, double haut) {
    auto* axis = new QValueAxis();
    axis->setTitleText(titre);
    axis->setLabelFormat(QStringLiteral("%.0f €"));
    if (haut - bas < 1) {
        bas -= 1;
        haut += 1;
    }
    axis->setRange(bas, haut);
    axis->applyNiceNumbers();
    return axis;
}

// One place per month. The year's months take their short names, slanted: so they fit whole
// at the smallest size of the window.
QBarCategoryAxis* axeMois(const QStringList& mois, bool annee) {
    auto* axis = new QBarCategoryAxis();
    axis->setTitleText(QStringLiteral("Mois"));
    for (const QString& nom : mois) {
        const int numero = int(regional::monthNames().indexOf(nom)) + 1;
        axis->append(annee && numero > 0 ? regional::frenchLocale().standaloneMonthName(
                                               numero, QLocale::ShortFormat)
                                         : nom);
    }
    if (annee) {
        axis->setLabelsAngle(-60);
        axis->setTruncateLabels(false);
    }
    return axis;
}

// A curve of more points than the chart has pixels across only takes longer to draw, and a
// year can hold thousands of operations. Past this many, each run of operations keeps its
// lowest and highest balance, in their order: the curve looks the same.
constexpr int kPointsMax = 2000;

QList<QPointF> allege(const QList<QPointF>& points) {
    if (points.size() <= kPointsMax)
        return points;
    const qsizetype run = (2 * points.size() + kPointsMax - 1) / kPointsMax;
    QList<QPointF> kept;
    kept.reserve(kPointsMax + 2);
    const auto byBalance = [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); };
    for (qsizetype start = 0; start < points.size(); start += run) {
        const auto first = points.begin() + start;
        const auto last = points.begin() + std::min(start + run, points.size());
        auto [low, high] = std::minmax_element(first, last, byBalance);
        if (high < low)
            std::swap(low, high);
        kept << *low;
        if (high != low)
            kept << *high;
    }
    // The current balance ends the curve.
    if (kept.last() != points.last())
        kept << points.last();
    return kept;
}

} // namespace

Fstats::Fstats(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::Fstats>()) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    appearance::makeKeyboardFriendly(this);

    m_parType = new stats::GroupTable(QStringLiteral("Type de jeu"), true, this);
    m_parMois = new stats::GroupTable(QStringLiteral("Mois"), true, this);
    m_parCheval = new stats::GroupTable(QStringLiteral("Cheval"), false, this);
    PreparerTable(ui->LstParType, m_parType);
    PreparerTable(ui->LstParMois, m_parMois);
    PreparerTable(ui->LstParCheval, m_parCheval);
    ui->LstParCheval->sortByColumn(stats::GroupTable::Net, Qt::DescendingOrder);

    // A chart view starts with a chart of its own, which it gives back, not deletes.
    for (const auto& [view, titre] :
         {std::pair{ui->GraphSolde, QStringLiteral("Solde après chaque opération")},
          {ui->GraphMois, QStringLiteral("Résultat net par mois")}}) {
        QChart* defaut = view->chart();
        view->setChart(nouveauGraphique(titre));
        delete defaut;
    }
    for (QChartView* view : {ui->GraphSolde, ui->GraphMois}) {
        view->setRenderHint(QPainter::Antialiasing);
        view->setMinimumSize(320, 220);
    }
    // The tables above, the two charts side by side below, sharing what the window gives.
    ui->splitter->setStretchFactor(0, 4);
    ui->splitter->setStretchFactor(1, 5);
    ui->splitter->setSizes({400, 500});
    ui->splitterGraphes->setSizes({1000, 1000});

    ui->C_periode->addItems(regional::monthNames());
    ui->C_periode->addItem(kTouteLAnnee);
    ui->C_periode->setCurrentIndex(regional::today().month() - 1);

    connect(ui->C_joueur, &QComboBox::activated, this, &Fstats::C_joueur_Click);
    connect(ui->C_periode, &QComboBox::activated, this, &Fstats::C_periode_Click);

    ChargerJoueurs();
    Calculer();
}

Fstats::~Fstats() = default;

Fstats* Fstats::showSingle(const QString& player, const QString& month) {
    Fstats* window = singlewindow::get<Fstats>();
    window->choisir(player, month);
    singlewindow::bringForward(window);
    return window;
}

Fstats* Fstats::instance() {
    return singlewindow::open<Fstats>();
}

void Fstats::choisir(const QString& player, const QString& month) {
    // Players added in the ledger since the window opened are listed too.
    ChargerJoueurs();
    ui->C_joueur->setCurrentIndex(ui->C_joueur->findText(player, Qt::MatchFixedString));
    const int periode = ui->C_periode->findText(month, Qt::MatchFixedString);
    if (periode >= 0)
        ui->C_periode->setCurrentIndex(periode);
    Calculer();
}

void Fstats::C_joueur_Click() {
    Calculer();
}

void Fstats::C_periode_Click() {
    Calculer();
}

void Fstats::ChargerJoueurs() {
    const QString choisi = ui->C_joueur->currentText();
    QStringList joueurs;
    try {
        joueurs = stats::players(*Connexion);
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
    const QString exemples[] = {QString(),
                                QStringLiteral("99999"),
                                regional::formatMoney(Money::fromCents(-9999999)),
                                regional::formatMoney(Money::fromCents(-9999999)),
                                regional::formatMoney(Money::fromCents(-9999999)),
                                QStringLiteral("-100,0 %")};
    for (int c = 1; c < model->columnCount(); ++c) {
        const QString titre = model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        header->setSectionResizeMode(c, QHeaderView::Interactive);
        header->resizeSection(
            c, std::max(entete.horizontalAdvance(titre), texte.horizontalAdvance(exemples[c])) +
                   marge);
    }
}

void Fstats::Calculer() {
    const int index = ui->C_periode->currentIndex();
    const int mois = index >= 0 && index < 12 ? index + 1 : stats::kWholeYear;
    stats::Figures figures;
    try {
        figures = stats::compute(*Connexion, ui->C_joueur->currentText(), mois);
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
    }

    ui->Tmise->setText(regional::formatMoney(figures.staked));
    ui->Tgain->setText(regional::formatMoney(figures.won));
    ui->Tnet->setText(regional::formatMoney(figures.net()));
    ui->Troi->setText(stats::formatYield(figures.staked, figures.won));
    ui->Tnbjeux->setText(QString::number(figures.games));
    ui->Tdepots->setText(regional::formatMoney(figures.deposits));

    m_parType->setGroups(figures.byType);
    m_parMois->setGroups(figures.byMonth);
    // The horses keep the order the user chose by a header click: their proxy sorts the
    // new rows by it.
    m_parCheval->setGroups(figures.byHorse);

    AfficherGraphSolde(figures);
    AfficherGraphMois(figures);
}

void Fstats::AfficherGraphSolde(const stats::Figures& figures) {
    QChart* chart = ui->GraphSolde->chart();
    vider(chart);
    const bool annee = ui->C_periode->currentText() == kTouteLAnnee;
    const int n = int(figures.balances.size());
    QList<QPointF> points;
    points.reserve(n);
    QAbstractAxis* axeX = nullptr;
    if (annee) {
        // Every month gets the same width whatever its number of operations, so that a busy
        // month does not crowd the others off the axis; the grid line between two is where
        // one statement ends and the next begins. A month is drawn around its category's
        // place, from half a place before it to half a place after.
        QStringList noms;
        int premier = 0;
        for (int m = 0; m < figures.balanceMonths.size(); ++m) {
            const stats::MonthSpan& span = figures.balanceMonths.at(m);
            for (int i = 0; i < span.points; ++i)
                points << QPointF(m - 0.5 + (i + 0.5) / span.points,
                                  figures.balances.at(premier + i).toStored());
            premier += span.points;
            noms << span.month;
        }
        axeX = axeMois(noms, true);
    } else {
        for (int i = 0; i < n; ++i)
            points << QPointF(i + 1, figures.balances.at(i).toStored());
        auto* operations = new QValueAxis();
        operations->setTitleText(QStringLiteral("Opérations du mois"));
        // Localised labels need an explicit precision.
        operations->setLabelFormat(QStringLiteral("%.0f"));
        operations->setRange(1, std::max(n, 2));
        operations->applyNiceNumbers();
        axeX = operations;
    }
    auto* serie = new QLineSeries();
    serie->setName(QStringLiteral("Solde"));
    serie->replace(allege(points));
    chart->addSeries(serie);
    // A one-pixel line is drawn by the painter's fast path: a year has thousands of points.
    // The colour is the chart theme's, given when the series is added.
    QPen trait = serie->pen();
    trait.setWidthF(1);
    serie->setPen(trait);

    double bas = 0;
    double haut = 0;
    if (n > 0) {
        const auto [min, max] =
            std::minmax_element(figures.balances.begin(), figures.balances.end());
        bas = min->toStored();
        haut = max->toStored();
    }
    chart->addAxis(axeX, Qt::AlignBottom);
    QValueAxis* axeY = axeArgent(QStringLiteral("Solde"), bas, haut);
    chart->addAxis(axeY, Qt::AlignLeft);
    serie->attachAxis(axeX);
    serie->attachAxis(axeY);
    // A line takes its axis' range from its points; the months need their whole places.
    if (auto* mois = qobject_cast<QBarCategoryAxis*>(axeX); mois && mois->count() > 0)
        mois->setRange(mois->at(0), mois->at(mois->count() - 1));
}

void Fstats::AfficherGraphMois(const stats::Figures& figures) {
    QChart* chart = ui->GraphMois->chart();
    vider(chart);
    // Two sets stacked on one bar per month: a month fills only the one of its sign.
    auto* gagnant = new QBarSet(QStringLiteral("Mois gagnant"));
    auto* perdant = new QBarSet(QStringLiteral("Mois perdant"));
    gagnant->setColor(kGreen);
    gagnant->setBorderColor(kGreen.darker(130));
    perdant->setColor(kRed);
    perdant->setBorderColor(kRed.darker(130));
    const bool annee = ui->C_periode->currentText() == kTouteLAnnee;
    QStringList mois;
    double bas = 0;
    double haut = 0;
    for (const stats::Group& group : figures.byMonth) {
        const double net = group.net().toStored();
        *gagnant << std::max(net, 0.0);
        *perdant << std::min(net, 0.0);
        mois << group.label;
        bas = std::min(bas, net);
        haut = std::max(haut, net);
    }
    auto* serie = new QStackedBarSeries();
    serie->append(gagnant);
    serie->append(perdant);
    serie->setBarWidth(0.6);
    chart->addSeries(serie);

    QBarCategoryAxis* axeX = axeMois(mois, annee);
    chart->addAxis(axeX, Qt::AlignBottom);
    QValueAxis* axeY = axeArgent(QStringLiteral("Net"), bas, haut);
    chart->addAxis(axeY, Qt::AlignLeft);
    serie->attachAxis(axeX);
    serie->attachAxis(axeY);
}
