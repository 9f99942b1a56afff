#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The chrono list file, lstchrono.txt: Windows-1252 text with CR LF line ends, a journal of
// saves each closed by an empty line. No UI here: failures come back as text for the window
// to show.
namespace listfile {

// databaseFolder()/lstchrono.txt: beside the file in use
QString path();

// Whether the Windows-1252 conversion exists in this Qt build (it comes with ICU).
bool codePageAvailable();
// The message for a missing conversion, in French.
QString codePageMissing();

// The characters of `text` that a line of the file cannot hold (outside Windows-1252, or a
// line break), each once, in order; a control character is given as "U+000A". Empty when
// the whole text can be written.
QStringList unwritableCharacters(const QString& text);

// The file's bytes as lines: CR LF ends a line (a lone CR or LF too, for files edited
// elsewhere); the final line break does not start another line. Windows-1252, so 0x80 is "€"
// and 0x9C is "œ"; nothing when the conversion is missing.
std::optional<QStringList> decodeLines(const QByteArray& bytes);
// Each line in Windows-1252 followed by CR LF; nothing when a line holds a character that
// cannot be written or the conversion is missing.
std::optional<QByteArray> encodeLines(const QStringList& lines);

struct Loaded {
    QStringList lines;
    std::optional<QString> error; // the system's description (or a French text of ours)
};
// Every line of the file, empty ones included. A missing file gives no lines and no error.
Loaded load(const QString& filePath);

// One save of the journal: the lines, each ended by CR LF, then one more CR LF, after what the
// file held (the file is created when missing); when what it held does not end with a line
// break, a CR LF comes first, so the save starts on a line of its own. Atomic: the whole new
// content goes to a temporary file that replaces the old one only once completely written,
// so a failure leaves the previous file as it was. When the folder refuses the temporary file
// but the file may be written, the save is appended to the file in place (a failed append
// is cut off again). Returns the error, if any: the system's description.
[[nodiscard]] std::optional<QString> append(const QString& filePath, const QStringList& lines);

// The file made anew with just these lines, each ended by CR LF (atomic as append; in a
// folder that refuses the temporary file, the file is emptied and written in place).
[[nodiscard]] std::optional<QString> replace(const QString& filePath, const QStringList& lines);

} // namespace listfile
