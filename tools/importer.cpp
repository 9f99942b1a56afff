// The import: the file's records (import_csv.cpp), read into values (import_values.cpp),
// written into CR (import_cr.cpp) or PARTANTS (import_card.cpp); refusals and progress on
// err.
//
// One thread does it all. A reader thread handing rows to a writer one was measured on the
// 2,000,000-row benchmark file: on a quiet machine one thread takes about 15 s (sqlite3
// .import 28 s), within the 20 s target, and two threads only 3 or 4 s less.
#include "tools/importer.h"

#include "tools/import_card.h"
#include "tools/import_cr.h"
#include "tools/import_csv.h"

#include <QElapsedTimer>

namespace importer {
namespace {

QString number(qint64 n) {
    // "1 234 567": the grouping a French reader expects, with a plain blank.
    QString text = QString::number(n);
    for (int i = text.size() - 3; i > (n < 0 ? 1 : 0); i -= 3)
        text.insert(i, QLatin1Char(' '));
    return text;
}

std::unique_ptr<TableWriter> writerFor(sqlite3* db, const Options& options, QTextStream& err) {
    if (options.target == Options::Target::Card)
        return std::make_unique<CardWriter>(db, options, err);
    return std::make_unique<CrWriter>(db, options, err);
}

class Import : public CsvFile::Handler {
public:
    Import(CsvFile& file, sqlite3* db, const Options& options, QTextStream& err)
        : m_file(file), m_writer(writerFor(db, options, err)), m_options(options), m_err(err) {}

    Summary run();

    bool record(const Record& record) override;
    bool unreadable(qint64 line, qint64 lines, const QString& reason) override;
    void progress(qint64 done, qint64 total) override { report(done, total, false); }

private:
    bool header(const Record& record);
    void refuse(qint64 line, int column, const QString& reason);
    void report(qint64 done, qint64 total, bool last);
    void fileError();

    CsvFile& m_file;
    std::unique_ptr<TableWriter> m_writer;
    const Options& m_options;
    QTextStream& m_err;

    Layout m_layout;
    ConvertedRow m_row;
    Summary m_summary;
    bool m_haveHeader = false;
    bool m_headerRefused = false;
    bool m_rowsRefused = false; // a row was refused: without skipBad nothing will be kept
    bool m_writeFailed = false;
    bool m_writing = false; // the writer's transaction has begun
    QElapsedTimer m_clock;
    qint64 m_lastReport = 0;
};

void Import::fileError() {
    m_err << "velmora-db: " << m_file.name() << " : " << m_file.error();
    if (m_options.verbose && !m_file.errorDetail().isEmpty())
        m_err << " (" << m_file.errorDetail() << ')';
    m_err << '\n';
}

Summary Import::run() {
    if (m_options.encoding)
        m_file.forceEncoding(*m_options.encoding);
    if (!m_file.open()) {
        fileError();
        return m_summary;
    }
    m_summary.encoding = m_file.encoding();
    m_summary.encodingForced = m_options.encoding.has_value();
    m_clock.start();
    const bool read = m_file.read(*this);
    if (!read)
        fileError();
    else if (!m_writeFailed)
        report(m_file.size(), m_file.size(), true);
    if (m_writeFailed) {
        m_err << "velmora-db: " << m_writer->failure() << '\n';
        m_summary.databaseError = true;
    }

    const bool refusedFile = !read || m_writeFailed || m_headerRefused || m_rowsRefused;
    // With skipBad, a file whose rows were all refused is refused too.
    const bool nothingGood = m_summary.refused > 0 && m_summary.imported == 0 &&
                             m_summary.updated == 0 && m_summary.duplicates == 0;
    if (refusedFile || nothingGood) {
        m_writer->rollback();
        m_summary.imported = m_summary.updated = m_summary.duplicates = 0;
        return m_summary;
    }
    bool changed = m_writer->changed();
    if (m_writing && m_options.withinTransaction) {
        const Options::Within within = m_options.withinTransaction();
        if (!within.failure.isEmpty()) {
            m_err << "velmora-db: " << within.failure << '\n';
            m_writer->rollback();
            m_summary.databaseError = true;
            m_summary.imported = m_summary.updated = m_summary.duplicates = 0;
            return m_summary;
        }
        changed = changed || within.wrote;
    }
    m_summary.races = m_writer->races();
    // An empty file, or only runners already there as they are, and nothing else written:
    // the database stays as it was, byte for byte.
    if (!changed) {
        m_writer->rollback();
        m_summary.committed = true;
        return m_summary;
    }
    if (!m_writer->commit()) {
        m_err << "velmora-db: " << m_writer->failure() << '\n';
        m_summary.databaseError = true;
        m_summary.imported = m_summary.updated = m_summary.duplicates = m_summary.races = 0;
        return m_summary;
    }
    m_summary.committed = true;
    return m_summary;
}

bool Import::header(const Record& record) {
    m_haveHeader = true;
    const std::vector<QString> problems =
        readHeader(record, m_file.encoding(), m_layout,
                   m_options.target == Options::Target::Card ? cardTable() : resultsTable());
    for (const QString& problem : problems)
        m_err << "velmora-db: en-tête (ligne " << record.line << ") : " << problem << '\n';
    if (!problems.empty()) {
        m_headerRefused = true;
        return false;
    }
    return true;
}

bool Import::record(const Record& record) {
    if (!m_haveHeader)
        return header(record);
    ++m_summary.rows;
    convertRow(m_layout, record, m_file.encoding(), m_row);
    if (!m_row.problems.empty()) {
        ++m_summary.refused;
        for (const Problem& problem : m_row.problems)
            refuse(record.line, problem.column, problem.reason);
        if (!m_options.skipBad)
            m_rowsRefused = true;
        return true;
    }
    // The file is written to from its first good row: one with none leaves the database
    // alone, not even locked.
    if (!m_writing) {
        if (!m_writer->begin(m_layout, m_file.estimatedRows())) {
            m_writeFailed = true;
            return false;
        }
        m_writing = true;
    }
    // After a refusal without skipBad the rows still go in, to be rolled back: a runner
    // repeated with other values further on is then reported too.
    const TableWriter::Result written = m_writer->write(m_row, record.line);
    switch (written.kind) {
    case TableWriter::Result::Added:
        ++m_summary.imported;
        if (m_options.added)
            m_options.added(m_row);
        return true;
    case TableWriter::Result::Updated:
        ++m_summary.updated;
        return true;
    case TableWriter::Result::Present:
        ++m_summary.duplicates;
        return true;
    case TableWriter::Result::Repeated:
        ++m_summary.refused;
        refuse(record.line, -1,
               QStringLiteral("même partant que la ligne %1, avec d'autres valeurs")
                   .arg(written.earlierLine));
        if (!m_options.skipBad)
            m_rowsRefused = true;
        return true;
    case TableWriter::Result::Refused:
        ++m_summary.refused;
        refuse(record.line, written.column, written.reason);
        if (!m_options.skipBad)
            m_rowsRefused = true;
        return true;
    case TableWriter::Result::Failed:
        break;
    }
    m_writeFailed = true;
    return false;
}

bool Import::unreadable(qint64 line, qint64 lines, const QString& reason) {
    if (!m_haveHeader) {
        m_haveHeader = true;
        m_headerRefused = true;
        m_err << "velmora-db: en-tête (ligne " << line << ") : " << reason << '\n';
        return false;
    }
    m_summary.rows += lines;
    m_summary.refused += lines;
    if (!m_options.skipBad)
        m_rowsRefused = true;
    refuse(line, -1, reason);
    return true;
}

void Import::refuse(qint64 line, int column, const QString& reason) {
    m_err << "ligne " << line;
    if (column >= 0)
        m_err << ", colonne « " << m_layout.table->column(column).name << " »";
    m_err << " : " << reason << '\n';
}

void Import::report(qint64 done, qint64 total, bool last) {
    if (!m_options.progress || total < m_options.progressBytes)
        return;
    const qint64 now = m_clock.elapsed();
    if (!last && now - m_lastReport < 1000)
        return;
    m_lastReport = now;
    const double seconds = std::max<qint64>(now, 1) / 1000.0;
    const int percent =
        total > 0 ? static_cast<int>(100.0 * static_cast<double>(done) / static_cast<double>(total))
                  : 100;
    m_err << "Import : " << number(m_summary.rows) << " lignes, " << percent << " %, "
          << number(static_cast<qint64>(static_cast<double>(m_summary.rows) / seconds))
          << " lignes/s\n";
    m_err.flush();
}

} // namespace

Summary importFile(const QString& csvPath, sqlite3* db, const Options& options, QTextStream& err) {
    CsvFile file(csvPath);
    return Import(file, db, options, err).run();
}

Summary importFrom(QIODevice& input, const QString& name, sqlite3* db, const Options& options,
                   QTextStream& err) {
    CsvFile file(input, name);
    return Import(file, db, options, err).run();
}

} // namespace importer
