#pragma once

#include "data/money.h"

#include <QStringList>
#include <QVector>

// The graduations of the statistics' chart axes, free of any chart: where the labels go and
// what they read. A tick falls on a round figure, and no two ticks of an axis read alike.
namespace stats {

struct AxisTicks {
    double low = 0; // the range the axis must show, the ticks within it
    double high = 0;
    QVector<double> values; // ascending
    QStringList labels;     // one per value
};

// A money axis for these amounts: from the lowest to the highest, zero always among them,
// since every chart of the window reads a result against break-even. Labelled as the ledger
// writes amounts, in whole euros ("1 500 €"), with cents ("2,50 €") only when the amounts
// span less than 10 €. Between half `intervals` and `intervals` steps from one end to the
// other. Nothing for no amounts.
AxisTicks moneyTicks(const QVector<Money>& amounts, int intervals = 8);

// The axis of a month's operations: from 0, the month's start, to the last of `count`
// operations, in whole numbers. Nothing for no operation.
AxisTicks countTicks(int count);

} // namespace stats
