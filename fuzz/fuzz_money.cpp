// Any typed amount is either refused or read to the cent, and what the ledger shows of it
// reads back as the same amount.
#include "data/regional.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString typed = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    const std::optional<Money> amount = regional::parseAmount(typed);
    if (!amount)
        return 0;
    // Under a thousand million euros, or refused.
    if (std::llabs(amount->cents()) >= 100000000000LL)
        std::abort();
    for (const QString& shown : {regional::typedAmount(*amount), regional::formatMoney(*amount)}) {
        const std::optional<Money> again = regional::parseAmount(shown);
        if (!again || *again != *amount)
            std::abort();
    }
    return 0;
}
