#pragma once

#include "tools/importer.h"

#include <QFile>
#include <QString>
#include <csv.h>
#include <memory>

class QTemporaryFile;

namespace importer {

// A results file read as a stream, in constant memory whatever its size: a first pass
// decides its encoding (over all its bytes) and its separator, a second one drives libcsv
// over it and hands over one record at a time.
class CsvFile {
public:
    class Handler {
    public:
        virtual ~Handler() = default;
        // A record, the header first. Records whose cells are all empty are blank lines and
        // never come. False stops the reading.
        virtual bool record(const Record& record) = 0;
        // A record the CSV rules make unreadable (a misplaced quote, a quote never closed),
        // starting on line and spanning lines physical lines; reading goes on at the next
        // line. False stops the reading.
        virtual bool unreadable(qint64 line, qint64 lines, const QString& reason) = 0;
        // Bytes read so far, of total; after each block.
        virtual void progress(qint64 done, qint64 total) = 0;
    };

    // The file at path; "-" is standard input.
    explicit CsvFile(const QString& path);
    // Bytes already open for reading; name stands for them in messages.
    CsvFile(QIODevice& input, const QString& name);
    ~CsvFile();
    CsvFile(const CsvFile&) = delete;
    CsvFile& operator=(const CsvFile&) = delete;

    // Reads the text in this encoding instead of the one its bytes suggest.
    void forceEncoding(Encoding encoding) { m_forced = encoding; }

    // The first pass. False when the file cannot be read or is not 8-bit text; error() says
    // why, in French, and errorDetail() what the system said.
    bool open();
    // The second pass: every record to handler, until the end or until it says stop. False
    // when the file cannot be read to its end; error() says why.
    bool read(Handler& handler);

    // The file as messages name it.
    const QString& name() const { return m_name; }
    const QString& error() const { return m_error; }
    const QString& errorDetail() const { return m_errorDetail; }
    Encoding encoding() const { return m_encoding; }
    const EncodingScan& scan() const { return m_scan; }
    qint64 size() const { return m_size; }
    // Rows to come, from the length of the first lines.
    qint64 estimatedRows() const;

    // Bytes read at a time.
    static constexpr qint64 kBlock = 1 << 20;

private:
    bool fail(const QString& error, const QString& detail);
    bool firstPass(QIODevice& input, QIODevice* copy);
    void findHeader();
    void initParser();
    void feed(const char* data, size_t size);
    QString lineToFix(size_t errorAt) const;
    QString unclosedQuote(qint64 lines) const;
    QByteArray bytesAt(qint64 offset, qint64 length) const;
    QString shown(const QByteArray& bytes) const;
    void unreadable(qint64 lines, const QString& reason);
    void field(const char* data, size_t size);
    void rowEnd();
    void clearRecord();
    static void onField(void* data, size_t size, void* self);
    static void onRowEnd(int terminator, void* self);

    QString m_path;
    QString m_name;
    QFile m_file;
    QIODevice* m_input = nullptr;
    std::unique_ptr<QTemporaryFile> m_spool; // a pipe's bytes, kept for the second pass
    QIODevice* m_source = nullptr;
    QString m_error;
    QString m_errorDetail;
    std::optional<Encoding> m_forced;

    // Learnt by the first pass.
    EncodingScan m_scan;
    Encoding m_encoding = Encoding::Utf8;
    qint64 m_size = 0;
    qint64 m_bom = 0;
    std::string m_head; // the first bytes after the byte-order mark, where the header is
    qint64 m_start = 0; // where records begin: after the byte-order mark and a "sep=" line
    qint64 m_firstLine = 1;
    char m_separator = ',';
    qint64 m_sampleBytes = 0;
    qint64 m_sampleBreaks = 0;

    // The second pass.
    Handler* m_handler = nullptr;
    csv_parser m_parser{};
    bool m_parserReady = false;
    bool m_stop = false;
    bool m_skipLine = false;     // after an unreadable record, up to the next line break
    bool m_fieldTooLong = false; // the field in progress has passed kMaxCellBytes
    bool m_anyContent = false;   // the record so far has a cell that is not empty
    bool m_afterCr = false;      // the last byte fed was a CR: a LF now ends no other line
    bool m_lineOpen = false;     // bytes of the current line were fed
    qint64 m_line = 1;           // line of the bytes being fed
    qint64 m_nextLine = 1;       // line of the byte after the piece being fed
    qint64 m_offset = 0;         // where the piece being fed starts in the file
    qint64 m_nextOffset = 0;     // where it ends
    qint64 m_lineOffset = 0;     // where the current line starts
    qint64 m_recordLine = 1;     // line the record in progress starts on
    qint64 m_recordOffset = 0;   // where it starts
    Record m_record;
    std::string m_bytes;        // the kept fields' bytes, one after another
    std::vector<size_t> m_ends; // where each kept field ends in m_bytes
};

// libcsv offers no way to go on once its buffer was refused room for a field over the
// limit. This is the one place that reaches into its state: the field's bytes so far are
// dropped and the parser carries on where it was, looking for the field's end. False when
// the parser is not in a field. A test pins the state numbering it relies on, so that an
// update of libcsv fails that test rather than an import.
namespace libcsv {
constexpr int kInField = 2;    // FIELD_BEGUN
constexpr int kAfterQuote = 3; // FIELD_MIGHT_HAVE_ENDED: a quote inside a quoted field
// Grows the parser's buffer up to the limit only, so that a long field stops csv_parse
// with CSV_ENOMEM.
void* limitedRealloc(void* block, size_t size);
bool dropFieldBytes(csv_parser& parser);
} // namespace libcsv

} // namespace importer
