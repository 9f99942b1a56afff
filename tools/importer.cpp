// The import: the file's records (import_csv.cpp), read into values (import_values.cpp),
// written into CR (import_cr.cpp); refusals and progress on err.
//
// One thread does it all. A reader thread handing rows to a writer one was measured on the
// 2,000,000-row benchmark file: on a quiet machine one thread takes about 15 s (sqlite3
// .import 28 s), within the 20 s target, and two threads only 3 or 4 s less.
#include "tools/importer.h"

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

class Import : public CsvFile::Handler {
public:
    Import(const QString& path, sqlite3* db, const Options& options, QTextStream& err)
        : m_path(path), m_file(path), m_writer(db, options, err), m_options(options), m_err(err) {}

    Summary run();

    bool record(const Record& record) override;
    bool unreadable(qint64 line, const QString& reason) override;
    void progress(qint64 done, qint64 total) override { report(done, total, false); }

private:
    bool header(const Record& record);
    void refuse(qint64 line, int column, const QString& reason);
    void report(qint64 done, qint64 total, bool last);

    QString m_path;
    CsvFile m_file;
    CrWriter m_writer;
    const Options& m_options;
    QTextStream& m_err;

    Layout m_layout;
    ConvertedRow m_row;
    Summary m_summary;
    bool m_haveHeader = false;
    bool m_headerRefused = false;
    bool m_rowsRefused = false; // a row was refused: without skipBad nothing will be written
    bool m_writeFailed = false;
    QElapsedTimer m_clock;
    qint64 m_lastReport = 0;
};

Summary Import::run() {
    if (!m_file.open()) {
        m_err << "velmora-db: " << m_path << " : " << m_file.error() << '\n';
        return m_summary;
    }
    m_clock.start();
    const bool read = m_file.read(*this);
    if (!read)
        m_err << "velmora-db: " << m_path << " : " << m_file.error() << '\n';
    else if (!m_writeFailed)
        report(m_file.size(), m_file.size(), true);
    if (m_writeFailed) {
        m_err << "velmora-db: " << m_writer.failure() << '\n';
        m_summary.databaseError = true;
    }

    const bool refusedFile = !read || m_writeFailed || m_headerRefused || m_rowsRefused;
    // With skipBad, a file whose rows were all refused is refused too.
    const bool nothingGood =
        m_summary.refused > 0 && m_summary.imported == 0 && m_summary.duplicates == 0;
    if (refusedFile || nothingGood) {
        m_writer.rollback();
        m_summary.imported = m_summary.duplicates = 0;
        return m_summary;
    }
    // An empty file, or only runners already there: the database stays as it was.
    if (m_summary.imported == 0) {
        m_writer.rollback();
        m_summary.committed = true;
        return m_summary;
    }
    if (!m_writer.commit()) {
        m_err << "velmora-db: " << m_writer.failure() << '\n';
        m_summary.databaseError = true;
        m_summary.imported = m_summary.duplicates = 0;
        return m_summary;
    }
    m_summary.committed = true;
    return m_summary;
}

bool Import::header(const Record& record) {
    m_haveHeader = true;
    const std::vector<QString> problems = readHeader(record, m_file.encoding(), m_layout);
    for (const QString& problem : problems)
        m_err << "velmora-db: en-tête (ligne " << record.line << ") : " << problem << '\n';
    if (!problems.empty()) {
        m_headerRefused = true;
        return false;
    }
    if (!m_writer.begin(m_file.estimatedRows())) {
        m_writeFailed = true;
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
    // After a refusal without skipBad the rest is only checked, to report every bad row.
    if (m_rowsRefused)
        return true;
    switch (m_writer.write(m_row)) {
    case CrWriter::Result::Added:
        ++m_summary.imported;
        return true;
    case CrWriter::Result::Present:
        ++m_summary.duplicates;
        return true;
    case CrWriter::Result::Failed:
        break;
    }
    m_writeFailed = true;
    return false;
}

bool Import::unreadable(qint64 line, const QString& reason) {
    if (!m_haveHeader) {
        m_haveHeader = true;
        m_headerRefused = true;
        m_err << "velmora-db: en-tête (ligne " << line << ") : " << reason << '\n';
        return false;
    }
    ++m_summary.rows;
    ++m_summary.refused;
    if (!m_options.skipBad)
        m_rowsRefused = true;
    refuse(line, -1, reason);
    return true;
}

void Import::refuse(qint64 line, int column, const QString& reason) {
    m_err << "ligne " << line;
    if (column >= 0)
        m_err << ", colonne « " << columns()[static_cast<size_t>(column)].name << " »";
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
    Import run(csvPath, db, options, err);
    return run.run();
}

} // namespace importer
