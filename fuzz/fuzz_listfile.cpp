// Any bytes in lstchrono.txt load as lines; lines that can be written read back the same.
#include "chrono/listfile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const std::optional<QStringList> lines = listfile::decodeLines(bytes);
    if (!lines)
        return 0;
    for (const QString& line : *lines)
        (void)listfile::unwritableCharacters(line);
    const std::optional<QByteArray> written = listfile::encodeLines(*lines);
    if (!written)
        return 0;
    // What was written decodes to the same lines.
    const std::optional<QStringList> again = listfile::decodeLines(*written);
    if (!again || *again != *lines)
        std::abort();
    return 0;
}
