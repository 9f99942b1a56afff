#pragma once

#include <QChart>
#include <QList>
#include <QPointF>

class QAbstractSeries;
class QChartView;
class QGraphicsSimpleTextItem;

namespace stats {

struct Figures;

// A chart of the statistics window: its title, French numbers, and what it writes besides
// its series: the message of a period without games, a note at the end of a bar.
class StatsChart : public QChart {
    Q_OBJECT
public:
    explicit StatsChart(const QString& title);

    // Series, axes, legend and texts go; the look stays.
    void clear();
    // Nothing to draw: the message in the middle, without axes or legend.
    void showEmpty(const QString& message);
    // A text beside the end of a bar, `end` in the series' values: after it, or before it
    // for a bar drawn leftwards; beside the bar's base when the chart has no room there.
    void addBarNote(QAbstractSeries* series, QPointF end, const QString& text);

private:
    void placeTexts();

    struct Note {
        QGraphicsSimpleTextItem* item;
        QAbstractSeries* series;
        QPointF end;
    };
    QGraphicsSimpleTextItem* m_message = nullptr;
    QList<Note> m_notes;
};

namespace charts {

// "Aucun jeu sur cette période"
QString emptyMessage();

// The net result from zero, operation after operation, with the balance beside it and the
// deposits marked on the balance. `wholeYear`: the period spans months (a year, or several
// years), each month given the same room across; else the operations of one month are counted.
void showResults(QChartView* view, const Figures& figures, bool wholeYear);
// The net of each month, green above zero and red below; over several years, one bar per
// month and year.
void showMonths(QChartView* view, const Figures& figures, bool wholeYear);
// The net of each game type as bars, best at the top, each with its return.
void showTypes(QChartView* view, const Figures& figures);

} // namespace charts
} // namespace stats
