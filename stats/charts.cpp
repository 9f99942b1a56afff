#include "stats/charts.h"

#include "data/regional.h"
#include "gui/colours.h"
#include "stats/figures.h"
#include "stats/ticks.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChartView>
#include <QCursor>
#include <QGraphicsLayout>
#include <QGraphicsSimpleTextItem>
#include <QHorizontalStackedBarSeries>
#include <QLineSeries>
#include <QScatterSeries>
#include <QStackedBarSeries>
#include <QToolTip>
#include <algorithm>
#include <memory>

namespace stats {

StatsChart::StatsChart(const QString& title) {
    setTitle(title);
    QFont police = titleFont();
    police.setBold(true);
    setTitleFont(police);
    legend()->hide();
    // Room on the right for the last label of an axis across, centred on its tick.
    setMargins(QMargins(4, 4, 16, 4));
    setBackgroundRoundness(0);
    layout()->setContentsMargins(0, 0, 0, 0);
    setLocalizeNumbers(true);
    setLocale(regional::frenchLocale());
    // The texts follow the plot when the window is resized or the axes take a new width.
    connect(this, &QChart::plotAreaChanged, this, &StatsChart::placeTexts);
    connect(this, &QGraphicsWidget::geometryChanged, this, &StatsChart::placeTexts);
}

void StatsChart::clear() {
    for (const Note& note : std::as_const(m_notes))
        delete note.item;
    m_notes.clear();
    delete m_message;
    m_message = nullptr;
    removeAllSeries();
    for (QAbstractAxis* axis : axes()) {
        removeAxis(axis);
        delete axis;
    }
    legend()->hide();
}

void StatsChart::showEmpty(const QString& message) {
    clear();
    m_message = new QGraphicsSimpleTextItem(message, this);
    QFont police = titleFont();
    police.setBold(false);
    m_message->setFont(police);
    m_message->setBrush(QColor(96, 96, 96));
    placeTexts();
}

void StatsChart::addBarNote(QAbstractSeries* series, QPointF end, const QString& text) {
    auto* item = new QGraphicsSimpleTextItem(text, this);
    m_notes << Note{item, series, end};
    placeTexts();
}

void StatsChart::placeTexts() {
    const QRectF area = plotArea();
    if (m_message)
        m_message->setPos(area.center() - m_message->boundingRect().center());
    constexpr double gap = 4;
    for (const Note& note : std::as_const(m_notes)) {
        const QPointF end = mapToPosition(note.end, note.series);
        const double width = note.item->boundingRect().width();
        const bool leftwards = note.end.x() < 0;
        double x = leftwards ? end.x() - gap - width : end.x() + gap;
        // No room beyond the end: on the other side of the bar's base instead, clear of it.
        if (x < area.left() || x + width > area.right()) {
            const double base = mapToPosition(QPointF(0, note.end.y()), note.series).x();
            x = leftwards ? base + gap : base - gap - width;
        }
        note.item->setPos(x, end.y() - note.item->boundingRect().height() / 2);
    }
}

namespace charts {
namespace {

// A curve of more points than the chart has pixels across only takes longer to draw, and a
// year can hold thousands of operations. Past this many, each run of operations keeps its
// lowest and highest value, in their order: the curve looks the same.
constexpr int kPointsMax = 1000;

QList<QPointF> allege(const QList<QPointF>& points) {
    if (points.size() <= kPointsMax)
        return points;
    const qsizetype run = (2 * points.size() + kPointsMax - 1) / kPointsMax;
    QList<QPointF> kept;
    kept.reserve(kPointsMax + 2);
    const auto byValue = [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); };
    for (qsizetype start = 0; start < points.size(); start += run) {
        const auto first = points.begin() + start;
        const auto last = points.begin() + std::min(start + run, points.size());
        auto [low, high] = std::minmax_element(first, last, byValue);
        if (high < low)
            std::swap(low, high);
        kept << *low;
        if (high != low)
            kept << *high;
    }
    // The last operation ends the curve.
    if (kept.last() != points.last())
        kept << points.last();
    return kept;
}

// Up to this many points a curve marks each of them: a lone operation shows, and a few
// can be counted. More would only blot the line.
constexpr int kMarkedMax = 60;

// An axis labelled where the ticks say, with exactly their texts.
QCategoryAxis* graduatedAxis(const AxisTicks& ticks, double margin) {
    auto* axis = new QCategoryAxis();
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axis->setTruncateLabels(false);
    axis->setStartValue(ticks.values.value(0));
    for (qsizetype i = 0; i < ticks.values.size(); ++i)
        axis->append(ticks.labels.at(i), ticks.values.at(i));
    axis->setRange(ticks.low - margin, ticks.high + margin);
    return axis;
}

// Room around the extremes, as a share of the range: a marker shows whole, a bar does not
// touch the frame.
double marginFor(const AxisTicks& ticks, double share = 0.04) {
    return (ticks.high - ticks.low) * share;
}

// One place per month, named by its label and year (0 within one year). The months of a
// whole year or more take their short names, slanted: so they fit whole at the smallest size
// of the window. A month of a year given ("Mars 2026") reads "mars 2026".
QBarCategoryAxis* monthAxis(const QStringList& months, const QVector<int>& years, bool wholeYear) {
    auto* axis = new QBarCategoryAxis();
    for (int i = 0; i < months.size(); ++i) {
        const int year = years.value(i);
        const QString name =
            year != 0 ? months.at(i).section(QLatin1Char(' '), 0, -2) : months.at(i);
        const int number = regional::monthIndex(name) + 1;
        if (!wholeYear || number == 0) {
            axis->append(months.at(i));
            continue;
        }
        const QString shortName =
            regional::frenchLocale().standaloneMonthName(number, QLocale::ShortFormat);
        axis->append(year != 0 ? monthOfYear(shortName, year) : shortName);
    }
    if (wholeYear) {
        axis->setLabelsAngle(-60);
        axis->setTruncateLabels(false);
    }
    return axis;
}

void showTip(QChartView* view, bool shown, const QString& text) {
    if (shown)
        QToolTip::showText(QCursor::pos(), text, view);
    else
        QToolTip::hideText();
}

QString line(const QString& name, Money amount) {
    return QStringLiteral("\n%1 : %2").arg(name, regional::formatMoney(amount));
}

// A group's figures as a tooltip under its name.
QString groupTip(const Group& group) {
    QString text = group.label + QStringLiteral("\nJeux : %1").arg(group.games) +
                   line(QStringLiteral("Misé"), group.staked) +
                   line(QStringLiteral("Gagné"), group.won) +
                   line(QStringLiteral("Résultat net"), group.net());
    const QString yield = formatYield(group.staked, group.won);
    if (!yield.isEmpty())
        text += QStringLiteral("\nRendement : ") + yield;
    return text;
}

// The operations of the curves as their tooltips need them.
struct Curve {
    QVector<Operation> operations;
    QVector<MonthSpan> months;
    QVector<double> across; // each operation's place on the horizontal axis, ascending
    double start = 0;       // the place of the period's start

    // The operation nearest to a place across, or -1 for the period's start.
    int nearest(double x) const {
        const auto next = std::lower_bound(across.begin(), across.end(), x);
        int i = int(next - across.begin());
        if (i == across.size() || (i > 0 && x - across.at(i - 1) < across.at(i) - x))
            --i;
        if (i == 0 && x - start < across.at(0) - x)
            return -1;
        return i;
    }

    QString tip(int index) const {
        if (index < 0)
            return QStringLiteral("Début de la période") +
                   line(QStringLiteral("Résultat net"), Money());
        int first = 0;
        QString month;
        for (const MonthSpan& span : months) {
            if (index < first + span.points) {
                month = span.month;
                break;
            }
            first += span.points;
        }
        const Operation& operation = operations.at(index);
        QString text =
            QStringLiteral("%1 %2, opération %3").arg(operation.day, month).arg(index - first + 1) +
            line(QStringLiteral("Résultat net"), operation.net);
        if (operation.hasBalance)
            text += line(QStringLiteral("Solde"), operation.balance);
        if (operation.isDeposit)
            text += line(QStringLiteral("Dépôt"), operation.deposit);
        return text;
    }
};

} // namespace

QString emptyMessage() {
    return QStringLiteral("Aucun jeu sur cette période");
}

void showResults(QChartView* view, const Figures& figures, bool wholeYear) {
    auto* chart = qobject_cast<StatsChart*>(view->chart());
    chart->clear();
    const int n = int(figures.operations.size());
    if (n == 0) {
        chart->showEmpty(emptyMessage());
        return;
    }
    auto curve = std::make_shared<Curve>();
    curve->operations = figures.operations;
    curve->months = figures.operationMonths;
    curve->across.reserve(n);
    QAbstractAxis* axisX = nullptr;
    if (wholeYear) {
        // Every month gets the same width whatever its number of operations, so that a busy
        // month does not crowd the others off the axis; the grid line between two is where
        // one statement ends and the next begins. A month is drawn around its category's
        // place, from half a place before it to half a place after.
        QStringList months;
        QVector<int> years;
        for (int m = 0; m < curve->months.size(); ++m) {
            const MonthSpan& span = curve->months.at(m);
            for (int i = 0; i < span.points; ++i)
                curve->across << m - 0.5 + (i + 0.5) / span.points;
            months << span.month;
            years << span.year;
        }
        curve->start = -0.5;
        axisX = monthAxis(months, years, true);
    } else {
        for (int i = 0; i < n; ++i)
            curve->across << i + 1;
        const AxisTicks ticks = countTicks(n);
        QCategoryAxis* operations = graduatedAxis(ticks, std::max(0.3, n * 0.02));
        operations->setTitleText(QStringLiteral("Opérations du mois"));
        axisX = operations;
    }

    // The net starts the period at zero; a credit leaves it flat where the balance jumps.
    QList<QPointF> net{QPointF(curve->start, 0)};
    QList<QPointF> balances, deposits;
    QVector<Money> amounts;
    amounts.reserve(2 * n);
    for (int i = 0; i < n; ++i) {
        const Operation& operation = curve->operations.at(i);
        const double x = curve->across.at(i);
        net << QPointF(x, operation.net.toStored());
        amounts << operation.net;
        if (!operation.hasBalance)
            continue;
        balances << QPointF(x, operation.balance.toStored());
        amounts << operation.balance;
        if (operation.isDeposit)
            deposits << balances.last();
    }

    // The points go in last, once the series has its pens and axes: each change of a line
    // drawn on a chart works its shape out again over all its points.
    auto* netSeries = new QLineSeries();
    netSeries->setName(QStringLiteral("Résultat net"));
    auto* balanceSeries = new QLineSeries();
    balanceSeries->setName(QStringLiteral("Solde"));
    QList<QAbstractSeries*> series{netSeries, balanceSeries};
    if (!deposits.isEmpty()) {
        auto* marks = new QScatterSeries();
        marks->setName(QStringLiteral("Dépôts"));
        marks->setMarkerShape(QScatterSeries::MarkerShapeCircle);
        marks->setMarkerSize(10);
        marks->setColor(colours::kBlack);
        marks->setBorderColor(colours::kBlack);
        marks->replace(deposits);
        series << marks;
    }
    for (QAbstractSeries* one : series)
        chart->addSeries(one);
    // The net is the figure the chart is for: drawn thicker. A one-pixel line is drawn by
    // the painter's fast path: a year has thousands of points.
    QPen pen = netSeries->pen();
    pen.setWidthF(2);
    netSeries->setPen(pen);
    pen = balanceSeries->pen();
    pen.setColor(QColor(140, 140, 140));
    pen.setWidthF(1);
    balanceSeries->setPen(pen);
    const QList<QPointF> netPoints = allege(net);
    const QList<QPointF> balancePoints = allege(balances);
    netSeries->setPointsVisible(netPoints.size() <= kMarkedMax);
    balanceSeries->setPointsVisible(balancePoints.size() <= kMarkedMax);
    for (QLineSeries* curveSeries : {netSeries, balanceSeries})
        curveSeries->setMarkerSize(4);

    const AxisTicks ticks = moneyTicks(amounts);
    QCategoryAxis* axisY = graduatedAxis(ticks, marginFor(ticks));
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    for (QAbstractSeries* one : series) {
        one->attachAxis(axisX);
        one->attachAxis(axisY);
        QObject::connect(static_cast<QXYSeries*>(one), &QXYSeries::hovered, view,
                         [view, curve](const QPointF& point, bool state) {
                             showTip(view, state, curve->tip(curve->nearest(point.x())));
                         });
    }
    netSeries->replace(netPoints);
    balanceSeries->replace(balancePoints);
    // The largest fall, shaded from its peak to its low, behind the curves.
    if (figures.fall.amount > Money()) {
        const auto across = [&curve](int index) {
            return index < 0 ? curve->start : curve->across.at(index);
        };
        double from = across(figures.fall.peak);
        double to = across(figures.fall.low);
        if (to < from)
            std::swap(from, to);
        const double high = figures.fallPeak.toStored();
        const double low = (figures.fallPeak - figures.fall.amount).toStored();
        auto* top = new QLineSeries();
        top->append({QPointF(from, high), QPointF(to, high)});
        auto* bottom = new QLineSeries();
        bottom->append({QPointF(from, low), QPointF(to, low)});
        auto* shade = new QAreaSeries(top, bottom);
        // Its two edges go with it when the chart drops its series.
        top->setParent(shade);
        bottom->setParent(shade);
        shade->setName(QStringLiteral("Plus forte baisse"));
        shade->setColor(QColor(220, 40, 40, 45));
        shade->setBorderColor(QColor(220, 40, 40, 90));
        chart->addSeries(shade);
        shade->attachAxis(axisX);
        shade->attachAxis(axisY);
    }
    // A line takes its axis' range from its points; the months need their whole places.
    if (auto* months = qobject_cast<QBarCategoryAxis*>(axisX); months && months->count() > 0)
        months->setRange(months->at(0), months->at(months->count() - 1));
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->legend()->show();
}

void showMonths(QChartView* view, const Figures& figures, bool wholeYear) {
    auto* chart = qobject_cast<StatsChart*>(view->chart());
    chart->clear();
    if (figures.byMonth.isEmpty()) {
        chart->showEmpty(emptyMessage());
        return;
    }
    // Two sets stacked on one bar per month: a month fills only the one of its sign.
    auto* gains = new QBarSet(QStringLiteral("Mois gagnant"));
    auto* losses = new QBarSet(QStringLiteral("Mois perdant"));
    gains->setColor(colours::kGreen);
    gains->setBorderColor(colours::kGreen.darker(130));
    losses->setColor(colours::kRed);
    losses->setBorderColor(colours::kRed.darker(130));
    QStringList months;
    QVector<int> years;
    QVector<Money> nets;
    for (const Group& group : figures.byMonth) {
        const double net = group.net().toStored();
        *gains << std::max(net, 0.0);
        *losses << std::min(net, 0.0);
        months << group.label;
        years << group.year;
        nets << group.net();
    }
    auto* series = new QStackedBarSeries();
    series->append(gains);
    series->append(losses);
    series->setBarWidth(0.6);
    chart->addSeries(series);

    QBarCategoryAxis* axisX = monthAxis(months, years, wholeYear);
    chart->addAxis(axisX, Qt::AlignBottom);
    const AxisTicks ticks = moneyTicks(nets);
    QCategoryAxis* axisY = graduatedAxis(ticks, marginFor(ticks));
    chart->addAxis(axisY, Qt::AlignLeft);
    series->attachAxis(axisX);
    series->attachAxis(axisY);
    const QVector<Group> groups = figures.byMonth;
    QObject::connect(series, &QAbstractBarSeries::hovered, view,
                     [view, groups](bool state, int index) {
                         showTip(view, state, groupTip(groups.at(index)));
                     });
}

void showTypes(QChartView* view, const Figures& figures) {
    auto* chart = qobject_cast<StatsChart*>(view->chart());
    chart->clear();
    if (figures.byType.isEmpty()) {
        chart->showEmpty(emptyMessage());
        return;
    }
    // The first category is drawn at the bottom: the best type goes in last, to stand on top.
    QVector<Group> groups = figures.byType;
    std::reverse(groups.begin(), groups.end());
    auto* gains = new QBarSet(QStringLiteral("Type gagnant"));
    auto* losses = new QBarSet(QStringLiteral("Type perdant"));
    gains->setColor(colours::kGreen);
    gains->setBorderColor(colours::kGreen.darker(130));
    losses->setColor(colours::kRed);
    losses->setBorderColor(colours::kRed.darker(130));
    QStringList types;
    QVector<Money> nets;
    for (const Group& group : groups) {
        const double net = group.net().toStored();
        *gains << std::max(net, 0.0);
        *losses << std::min(net, 0.0);
        types << group.label;
        nets << group.net();
    }
    auto* series = new QHorizontalStackedBarSeries();
    series->append(gains);
    series->append(losses);
    series->setBarWidth(0.6);
    chart->addSeries(series);

    auto* axisY = new QBarCategoryAxis();
    axisY->append(types);
    // A type's name whole, the bars narrower.
    axisY->setTruncateLabels(false);
    chart->addAxis(axisY, Qt::AlignLeft);
    // Fewer ticks than upright: amounts side by side need more room than one above another.
    // The room around leaves the returns beside the longest bars and the end labels whole.
    const AxisTicks ticks = moneyTicks(nets, 5);
    QCategoryAxis* axisX = graduatedAxis(ticks, marginFor(ticks, 0.12));
    chart->addAxis(axisX, Qt::AlignBottom);
    series->attachAxis(axisY);
    series->attachAxis(axisX);
    for (int i = 0; i < groups.size(); ++i) {
        const Group& group = groups.at(i);
        const QString yield = formatYield(group.staked, group.won);
        if (!yield.isEmpty())
            chart->addBarNote(series, QPointF(group.net().toStored(), i), yield);
    }
    QObject::connect(series, &QAbstractBarSeries::hovered, view,
                     [view, groups](bool state, int index) {
                         showTip(view, state, groupTip(groups.at(index)));
                     });
}

} // namespace charts
} // namespace stats
