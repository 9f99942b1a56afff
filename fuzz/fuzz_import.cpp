// Any bytes given to "velmora-db import-results" are read, checked and either imported or
// refused row by row: never a crash, never a half-imported file.
#include "data/schema.h"
#include "tools/importer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <sqlite3.h>

namespace {

struct Workspace {
    QTemporaryDir dir;
    std::shared_ptr<data::Database> db;
    Workspace() { db = data::schema::createFile(dir.filePath(QStringLiteral("velmora.mdb"))); }
};

Workspace& workspace() {
    static int argc = 1;
    static char name[] = "fuzz_import";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static Workspace w;
    return w;
}

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
    Workspace& w = workspace();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    encodingInPieces(bytes);
    convertLines(bytes);

    // The whole path, through the CSV reader and the database.
    const QString csv = w.dir.filePath(QStringLiteral("input.csv"));
    {
        QFile file(csv);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    QString sink;
    QTextStream err(&sink);
    importer::Options options;
    options.progress = false;
    options.skipBad = size % 2 == 0;
    const importer::Summary summary = importer::importFile(csv, w.db->raw(), options, err);
    const qint64 stored = w.db->scalar(QStringLiteral("SELECT COUNT(*) FROM CR")).toLongLong();
    // All or nothing: either the good rows are in, or none is.
    if (summary.committed ? stored != summary.imported : stored != 0)
        std::abort();
    w.db->exec(QStringLiteral("DELETE FROM CR"));
    return 0;
}
