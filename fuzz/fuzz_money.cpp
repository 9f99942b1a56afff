// Any typed amount is either refused or read as a finite number whose display reads back.
#include "data/regional.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString typed = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    const std::optional<double> amount = regional::parseAmount(typed);
    if (!amount)
        return 0;
    if (!std::isfinite(*amount))
        std::abort();
    if (std::fabs(*amount) < 1e12) {
        // Two decimals shown, without grouping: what the ledger writes can be typed again.
        const QString shown = QString::number(*amount, 'f', 2);
        const std::optional<double> again = regional::parseAmount(shown);
        if (!again || std::fabs(*again - *amount) > 0.0051)
            std::abort();
        (void)regional::formatMoney(*amount);
    }
    return 0;
}
