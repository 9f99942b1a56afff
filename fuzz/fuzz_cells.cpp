// The importer's pure rules on any bytes: the encoding found for a file does not depend on
// where the reader cuts it, and any header and cells are converted or refused without a
// crash. Kept apart from fuzz_import so that each target spends its runs on one path.
#include "tools/importer.h"

#include <cstdint>
#include <cstdlib>

namespace {

// The pure part alone: the first line's fields as a header, the others as rows.
void convertLines(std::string_view bytes) {
    const importer::Encoding encoding = importer::detectEncoding(bytes);
    const char separator = importer::detectSeparator(bytes);
    std::vector<std::vector<std::string_view>> lines(1);
    size_t start = 0;
    for (size_t i = 0; i <= bytes.size(); ++i) {
        if (i == bytes.size() || bytes[i] == separator || bytes[i] == '\n') {
            lines.back().push_back(bytes.substr(start, i - start));
            if (i < bytes.size() && bytes[i] == '\n')
                lines.emplace_back();
            start = i + 1;
        }
    }
    importer::Layout layout;
    if (!importer::readHeader(lines.front(), encoding, layout).empty())
        return;
    importer::ConvertedRow row;
    for (size_t i = 1; i < lines.size(); ++i)
        importer::convertRow(layout, lines[i], encoding, row);
}

// The encoding of a file read in pieces is that of the whole file, wherever it is cut.
void encodingInPieces(std::string_view bytes) {
    importer::EncodingScan scan;
    const size_t cut = bytes.empty() ? 0 : static_cast<unsigned char>(bytes[0]) % bytes.size();
    scan.feed(bytes.substr(0, cut));
    scan.feed(bytes.substr(cut));
    if (scan.encoding() != importer::detectEncoding(bytes))
        std::abort();
    importer::wideEncoding(bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    encodingInPieces(bytes);
    convertLines(bytes);
    return 0;
}
