#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// Time and number conversions of the chrono calculator. Pure functions: no state, no UI, no
// exceptions. Every input is accepted; what cannot be represented is refused (nullopt or an
// empty text) rather than shown as "inf" or "nan".
namespace chrono {

// A number typed in a chrono field: optional blanks, an optional sign, digits with at most
// one decimal separator, "." or "," (the French habit). Empty text, exponents, "inf", "nan",
// several separators and values too large for a double are refused.
std::optional<double> LireNombreChrono(const QString& text);

// The heaviest weight a horse may carry, in kg. No race asks more; a larger number is a typo.
constexpr double kPoidsMaximum = 200.0;

// a − b, two weights as LireNombreChrono reads them, subtracted exactly on their decimal
// writing and only then rounded (once, to the nearest) to single precision: "50,3" − "50"
// is 0.3f, not 50.3f − 50f (0.2999992). A difference too small for single precision is 0;
// nothing when a text is not a number or a weight is outside 0 to kPoidsMaximum.
std::optional<float> DifferenceDecimale(const QString& a, const QString& b);

// hours × 360000 + minutes × 6000 + seconds × 100 + hundredths, summed left to right.
// Nothing when the sum is not a finite number.
std::optional<double> ConvertirEnCentiemes(double heures, double minutes, double secondes,
                                           double centiemes);
// The same from the texts of the fields; an empty (or blank) text counts as 0. Nothing when a
// text is not a number or the sum is not finite.
std::optional<double> ConvertirEnCentiemes(const QString& heures, const QString& minutes,
                                           const QString& secondes, const QString& centiemes);

// Hundredths as "MM:SS:CC". Hours are not shown (360100 gives "00:01:00"), the hundredths are
// not rounded (8347.5 gives "01:23:47.5"). An empty text for a value that is not finite.
QString FormaterCentiemes(double centiemes);

// Decimal minutes (single precision) as "M:SS". The callers pass a whole number of seconds
// divided by 60. An empty text for a value that is not finite.
QString FormaterMinutes(float minutes);

// Decimal seconds (single precision) as whole hundredths, truncated (never rounded) through
// the value's 7-significant-digit decimal writing: 2/3, written 0.6666667, gives 66, while
// 0.29f (0.2899999…) gives 29. Negative values are truncated toward zero. Nothing for a
// value that is not finite.
std::optional<double> SecondesEnCentiemes(float secondes);

// x rounded to the nearest whole number, halves to the even one (0.5 → 0, 1.5 → 2).
double ArrondirAuPair(double x);

// A result in seconds as the window shows it: rounded to the hundredth (halves to even), then
// FormaterMinutes of its whole seconds / 60, ":", and its hundredths on two digits
// (83.5 → "1:23:50", 120 → "2:00:00"). `centiemes` is always within 0..99.
struct ResultatArrondi {
    QString texte; // empty when the result is not finite
    qint16 centiemes = 0;
};
ResultatArrondi FormaterResultat(float secondes);

} // namespace chrono
