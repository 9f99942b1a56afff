#pragma once

#include <QVariant>
#include <QtGlobal>
#include <cmath>

// A sum of money in whole cents. Sums and comparisons are exact, where doubles drift by a
// fraction of a cent and need rounding at every comparison. The file keeps its REAL columns:
// a Money becomes a double only where a column is read or written.
class Money {
public:
    constexpr Money() = default;
    static constexpr Money fromCents(qint64 cents) {
        Money money;
        money.m_cents = cents;
        return money;
    }
    // A stored amount, to the nearest cent; NULL and text that is not a number are zero.
    static Money fromStored(double value) { return fromCents(std::llround(value * 100.0)); }
    static Money fromStored(const QVariant& value) { return fromStored(value.toDouble()); }
    // The value of a REAL column.
    double toStored() const { return double(m_cents) / 100.0; }

    // A rate (odds, a factor) in whole hundredths: 4,55 is 455. Rates are typed with at most
    // two decimals, so this is exact for every rate the ledger takes.
    static qint64 hundredthsOf(double rate) { return std::llround(rate * 100.0); }
    // The amount times a rate in hundredths, in whole numbers, rounded half up to the cent:
    // a stake of 3,33 € at 2,50 is 8,325 €, paid 8,33 €.
    constexpr Money times(qint64 hundredths) const {
        const qint64 product = m_cents * hundredths;
        return fromCents(product >= 0 ? (product + 50) / 100 : -((-product + 50) / 100));
    }

    constexpr qint64 cents() const { return m_cents; }
    constexpr bool isZero() const { return m_cents == 0; }

    constexpr Money operator-() const { return fromCents(-m_cents); }
    constexpr Money& operator+=(Money other) {
        m_cents += other.m_cents;
        return *this;
    }
    constexpr Money& operator-=(Money other) {
        m_cents -= other.m_cents;
        return *this;
    }
    friend constexpr Money operator+(Money a, Money b) { return a += b; }
    friend constexpr Money operator-(Money a, Money b) { return a -= b; }
    friend constexpr bool operator==(Money a, Money b) { return a.m_cents == b.m_cents; }
    friend constexpr bool operator!=(Money a, Money b) { return a.m_cents != b.m_cents; }
    friend constexpr bool operator<(Money a, Money b) { return a.m_cents < b.m_cents; }
    friend constexpr bool operator>(Money a, Money b) { return a.m_cents > b.m_cents; }
    friend constexpr bool operator<=(Money a, Money b) { return a.m_cents <= b.m_cents; }
    friend constexpr bool operator>=(Money a, Money b) { return a.m_cents >= b.m_cents; }

private:
    qint64 m_cents = 0;
};

// Whole euros, for the figures written in the code and the tests: 12_eur is 1 200 cents.
constexpr Money operator""_eur(unsigned long long euros) {
    return Money::fromCents(qint64(euros) * 100);
}
