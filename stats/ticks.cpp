#include "stats/ticks.h"

#include "data/regional.h"

#include <algorithm>

namespace stats {
namespace {

// The smallest of 1, 2, 2.5, 5, 10, 20, 25, 50… that is at least `least` and a multiple of
// `unit`.
qint64 roundStep(qint64 least, qint64 unit) {
    for (qint64 power = 1;; power *= 10) {
        for (const qint64 tenths : {10, 20, 25, 50}) {
            const qint64 step = tenths * power / 10;
            if (tenths * power % 10 == 0 && step % unit == 0 && step >= least)
                return step;
        }
    }
}

qint64 floorToStep(qint64 value, qint64 step) {
    const qint64 quotient = value / step;
    return (value % step != 0 && value < 0 ? quotient - 1 : quotient) * step;
}

qint64 ceilToStep(qint64 value, qint64 step) {
    return -floorToStep(-value, step);
}

QString moneyTickLabel(Money amount, bool withCents) {
    QString text = regional::formatMoney(amount);
    if (!withCents)
        text.remove(regional::frenchLocale().decimalPoint() + QStringLiteral("00"));
    return text;
}

} // namespace

AxisTicks moneyTicks(const QVector<Money>& amounts, int intervals) {
    AxisTicks ticks;
    if (amounts.isEmpty())
        return ticks;
    const auto [min, max] = std::minmax_element(amounts.begin(), amounts.end());
    qint64 low = std::min<qint64>(0, min->cents());
    qint64 high = std::max<qint64>(0, max->cents());
    qint64 step = 100;
    if (low == high) {
        // Only zeros: an axis from nothing to a euro, rather than no scale at all.
        high = 100;
    } else {
        // Cents are noise on a range of ten euros or more.
        step = roundStep((high - low + intervals - 1) / std::max(intervals, 1),
                         high - low >= 1000 ? 100 : 1);
    }
    const bool withCents = step % 100 != 0;
    for (qint64 cents = ceilToStep(low, step); cents <= high; cents += step) {
        const Money value = Money::fromCents(cents);
        ticks.values << value.toStored();
        ticks.labels << moneyTickLabel(value, withCents);
    }
    ticks.low = Money::fromCents(low).toStored();
    ticks.high = Money::fromCents(high).toStored();
    return ticks;
}

AxisTicks countTicks(int count) {
    AxisTicks ticks;
    if (count <= 0)
        return ticks;
    // Short labels: up to ten intervals fit across.
    const qint64 step = roundStep((count + 9) / 10, 1);
    for (qint64 n = 0; n <= count; n += step) {
        ticks.values << double(n);
        ticks.labels << QString::number(n);
    }
    ticks.low = 0;
    ticks.high = count;
    return ticks;
}

} // namespace stats
