#pragma once

#include "tools/importer.h"

#include <QFile>
#include <QString>
#include <csv.h>
#include <memory>

class QTemporaryFile;

namespace importer {

// A results file read as a stream, in constant memory whatever its size: a first pass
// decides its encoding, separator and line break; a second one drives libcsv over it and
// hands over one record at a time.
class CsvFile {
public:
    class Handler {
    public:
        virtual ~Handler() = default;
        // A record, the header first. Records whose cells are all empty are blank lines and
        // never come. False stops the reading.
        virtual bool record(const Record& record) = 0;
        // A record the CSV rules make unreadable (a misplaced quote, a quote never closed);
        // reading goes on at the next line. False stops the reading.
        virtual bool unreadable(qint64 line, const QString& reason) = 0;
        // Bytes read so far, of total; after each block.
        virtual void progress(qint64 done, qint64 total) = 0;
    };

    explicit CsvFile(const QString& path);
    ~CsvFile();
    CsvFile(const CsvFile&) = delete;
    CsvFile& operator=(const CsvFile&) = delete;

    // The first pass. False when the file cannot be read or is not 8-bit text; error() says
    // why, in French.
    bool open();
    // The second pass: every record to handler, until the end or until it says stop. False
    // when the file cannot be read to its end; error() says why.
    bool read(Handler& handler);

    const QString& error() const { return m_error; }
    Encoding encoding() const { return m_encoding; }
    qint64 size() const { return m_size; }
    // Rows to come, from the length of the first lines.
    qint64 estimatedRows() const;

private:
    static constexpr qint64 kBlock = 1 << 20;

    bool firstPass(QIODevice& input, QIODevice* copy);
    void notice(std::string_view block, bool first);
    void feed(const char* data, size_t size);
    void unreadable(const QString& reason);
    void field(const char* data, size_t size);
    void rowEnd(int terminator);
    void clearRecord();
    static void onField(void* data, size_t size, void* self);
    static void onRowEnd(int terminator, void* self);

    QString m_path;
    QFile m_file;
    std::unique_ptr<QTemporaryFile> m_spool; // a pipe's bytes, kept for the second pass
    QIODevice* m_source = nullptr;
    QString m_error;

    // Learnt by the first pass.
    Encoding m_encoding = Encoding::Utf8;
    qint64 m_size = 0;
    qint64 m_bom = 0;
    char m_separator = ',';
    char m_lineBreak = '\n';
    bool m_breakKnown = false;
    bool m_crPending = false; // the first line break is a CR at the end of a block
    bool m_headerStarted = false;
    bool m_separatorKnown = false; // the header line has been seen to its end
    qint64 m_sampleBytes = 0;
    qint64 m_sampleBreaks = 0;

    // The second pass.
    Handler* m_handler = nullptr;
    csv_parser m_parser{};
    bool m_stop = false;
    bool m_skipLine = false;     // after an unreadable record, up to the next line break
    bool m_fieldTooLong = false; // the field in progress has passed kMaxCellBytes
    bool m_anyContent = false;   // the record so far has a cell that is not empty
    qint64 m_line = 1;           // line of the bytes being fed
    qint64 m_recordLine = 1;     // line the record in progress starts on
    Record m_record;
    std::string m_bytes;        // the kept fields' bytes, one after another
    std::vector<size_t> m_ends; // where each kept field ends in m_bytes
};

} // namespace importer
