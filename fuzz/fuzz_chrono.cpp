// The chrono window reads whatever is typed in its fields and converts it: no input may
// crash, show "inf"/"nan" or give hundredths outside 0..99.
#include "chrono/conversions.h"

#include <QStringList>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {
void require(bool condition) {
    if (!condition)
        std::abort();
}
bool printable(const QString& text) {
    return !text.contains(QLatin1String("inf")) && !text.contains(QLatin1String("nan"));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString typed = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    // The first field as typed, and the input cut into the four fields of a time.
    const std::optional<double> number = chrono::LireNombreChrono(typed);
    if (number)
        require(std::isfinite(*number));
    QStringList fields = typed.split(QLatin1Char('|'));
    while (fields.size() < 4)
        fields << QString();
    const auto total = chrono::ConvertirEnCentiemes(fields[0], fields[1], fields[2], fields[3]);
    if (total) {
        require(std::isfinite(*total));
        require(printable(chrono::FormaterCentiemes(*total)));
    }

    // The first two fields as a pair of weights: for weights a horse can carry, their exact
    // difference in single precision is within a rounding of the difference of the doubles;
    // any other pair has none.
    const auto x = chrono::LireNombreChrono(fields[0]);
    const auto y = chrono::LireNombreChrono(fields[1]);
    const std::optional<float> difference = chrono::DifferenceDecimale(fields[0], fields[1]);
    const auto weight = [](const std::optional<double>& w) {
        return w && *w >= 0 && *w <= chrono::kPoidsMaximum;
    };
    if (!weight(x) || !weight(y)) {
        require(!difference);
    } else {
        require(difference.has_value());
        require(std::isfinite(*difference));
        require(std::fabs(double(*difference) - (*x - *y)) <= 1e-5);
    }

    // The raw bytes as numbers too, so that every float and double is reached.
    if (size >= sizeof(float)) {
        float f;
        std::memcpy(&f, data, sizeof f);
        const auto hundredths = chrono::SecondesEnCentiemes(f);
        if (hundredths)
            require(std::isfinite(*hundredths));
        require(printable(chrono::FormaterMinutes(f)));
        const chrono::ResultatArrondi shown = chrono::FormaterResultat(f);
        require(shown.centiemes >= 0 && shown.centiemes <= 99);
        require(printable(shown.texte));
    }
    if (size >= sizeof(double)) {
        double d;
        std::memcpy(&d, data, sizeof d);
        require(printable(chrono::FormaterCentiemes(d)));
        (void)chrono::ArrondirAuPair(d);
    }
    return 0;
}
