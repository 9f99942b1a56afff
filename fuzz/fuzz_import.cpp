// Any bytes given to "velmora-db import-results" are read, checked and either imported or
// refused row by row: never a crash, never a half-imported file. The bytes are read from
// memory into a database in memory, emptied between inputs, so that thousands of inputs
// run each second. The encoding and cell rules alone are fuzzed by fuzz_cells.
#include "data/schema.h"
#include "tools/importer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <cstdint>
#include <cstdlib>
#include <sqlite3.h>

namespace {

struct Workspace {
    std::shared_ptr<data::Database> db;
    sqlite3_stmt* count = nullptr;
    QString messages;
    QTextStream err{&messages};
    Workspace() {
        db = data::Database::open(QStringLiteral(":memory:"), data::Database::Mode::Create);
        data::schema::create(*db);
        sqlite3_prepare_v2(db->raw(), "SELECT COUNT(*) FROM CR", -1, &count, nullptr);
    }
};

Workspace& workspace() {
    static int argc = 1;
    static char name[] = "fuzz_import";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static Workspace w;
    return w;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Workspace& w = workspace();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    QByteArray input = QByteArray::fromRawData(bytes.data(), qsizetype(size));
    QBuffer buffer(&input);
    buffer.open(QIODevice::ReadOnly);
    w.messages.truncate(0); // keeps its capacity
    importer::Options options;
    options.progress = false;
    options.skipBad = size % 2 == 0;
    const importer::Summary summary =
        importer::importFrom(buffer, QStringLiteral("entrée"), w.db->raw(), options, w.err);
    sqlite3_stmt* count = w.count;
    const qint64 stored = sqlite3_step(count) == SQLITE_ROW ? sqlite3_column_int64(count, 0) : -1;
    sqlite3_reset(count);
    // All or nothing: either the good rows are in, or none is; every row read is counted
    // once.
    if (summary.committed ? stored != summary.imported : stored != 0)
        std::abort();
    if (summary.committed &&
        summary.rows != summary.imported + summary.updated + summary.duplicates + summary.refused)
        std::abort();
    if (stored > 0 &&
        sqlite3_exec(w.db->raw(), "DELETE FROM CR", nullptr, nullptr, nullptr) != SQLITE_OK)
        std::abort();
    return 0;
}
