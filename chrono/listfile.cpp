#include "chrono/listfile.h"

#include "data/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace listfile {
namespace {

const char* const kCodePage = "windows-1252";
const QByteArray kFinDeLigne = QByteArrayLiteral("\r\n");

bool writable(char32_t codePoint) {
    if (codePoint == U'\r' || codePoint == U'\n')
        return false;
    QStringEncoder encoder(kCodePage);
    if (!encoder.isValid())
        return false;
    const QByteArray bytes = encoder.encode(QString::fromUcs4(&codePoint, 1));
    return !encoder.hasError() && !bytes.isEmpty();
}

// Writes every byte of `content` to an open, unbuffered device. Writing the rest again after
// a short write gives the system's reason for it.
bool writeAll(QIODevice& out, const QByteArray& content) {
    qint64 written = 0;
    while (written < content.size()) {
        const qint64 n = out.write(content.constData() + written, content.size() - written);
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

// When the folder takes no new file (no temporary file can be made there) but the file itself
// may be written, the file is written in place: `added` at its end, or, for a new content, the
// file emptied first. A failed addition cuts the file back to its previous size.
std::optional<QString> writeInPlace(const QString& filePath, const QByteArray& bytes, bool append) {
    QFile file(filePath);
    const QIODevice::OpenMode mode =
        append ? QIODevice::Append : QIODevice::WriteOnly | QIODevice::Truncate;
    if (!file.open(mode | QIODevice::Unbuffered))
        return file.errorString();
    const qint64 before = file.size();
    if (!writeAll(file, bytes)) {
        const QString error = file.errorString();
        if (append)
            file.resize(before);
        return error;
    }
    return std::nullopt;
}

// Replaces the file by `content` at once, or leaves it as it was. When the folder refuses the
// temporary file, the file itself is written instead: `added` at its end when given,
// otherwise the whole content over it.
std::optional<QString> writeAtomically(const QString& filePath, const QByteArray& content,
                                       const std::optional<QByteArray>& added = std::nullopt) {
    QSaveFile out(filePath);
    // Unbuffered, so that a short write (disk full, size limit) is seen here: a buffered flush
    // can lose its tail and still let the commit replace the file.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (QFileInfo(filePath).isFile())
            return writeInPlace(filePath, added.value_or(content), added.has_value());
        return out.errorString();
    }
    if (!writeAll(out, content)) {
        const QString error = out.errorString();
        out.cancelWriting();
        return error;
    }
    if (!out.commit())
        return out.errorString();
    return std::nullopt;
}

std::optional<QString> encodingError(const QStringList& lines) {
    if (!codePageAvailable())
        return codePageMissing();
    return QStringLiteral("La liste contient des caractères que le fichier ne peut pas "
                          "enregistrer : %1")
        .arg(unwritableCharacters(lines.join(QString())).join(QLatin1Char(' ')));
}

} // namespace

QString path() {
    return QDir(paths::databaseFolder()).filePath(QStringLiteral("lstchrono.txt"));
}

bool codePageAvailable() {
    return QStringEncoder(kCodePage).isValid() && QStringDecoder(kCodePage).isValid();
}

QString codePageMissing() {
    return QStringLiteral("Le jeu de caractères Windows-1252 du fichier de liste n'est pas "
                          "disponible sur ce système.");
}

QStringList unwritableCharacters(const QString& text) {
    QStringList found;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t codePoint = text.at(i).unicode();
        qsizetype units = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() &&
            text.at(i + 1).isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            units = 2;
        }
        if (!writable(codePoint)) {
            const bool control = codePoint < 0x20 || (codePoint >= 0x7F && codePoint < 0xA0) ||
                                 QChar::isSurrogate(codePoint);
            const QString shown =
                control
                    ? QStringLiteral("U+%1").arg(uint(codePoint), 4, 16, QLatin1Char('0')).toUpper()
                    : text.mid(i, units);
            if (!found.contains(shown))
                found << shown;
        }
        i += units - 1;
    }
    return found;
}

std::optional<QStringList> decodeLines(const QByteArray& bytes) {
    QStringDecoder decoder(kCodePage);
    if (!decoder.isValid())
        return std::nullopt;
    const QString text = decoder.decode(bytes);
    QStringList lines;
    QString current;
    bool open = false; // a line has begun and has not been ended yet
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) {
            if (ch == QLatin1Char('\r') && i + 1 < text.size() &&
                text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            lines << current;
            current.clear();
            open = false;
        } else {
            current += ch;
            open = true;
        }
    }
    if (open)
        lines << current;
    return lines;
}

std::optional<QByteArray> encodeLines(const QStringList& lines) {
    QStringEncoder encoder(kCodePage);
    if (!encoder.isValid())
        return std::nullopt;
    QByteArray bytes;
    for (const QString& line : lines) {
        if (line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n')))
            return std::nullopt;
        bytes += encoder.encode(line);
        bytes += kFinDeLigne;
    }
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

Loaded load(const QString& filePath) {
    Loaded loaded;
    QFile file(filePath);
    if (!file.exists())
        return loaded;
    if (!codePageAvailable()) {
        loaded.error = codePageMissing();
        return loaded;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        loaded.error = file.errorString();
        return loaded;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        loaded.error = file.errorString();
        return loaded;
    }
    loaded.lines = decodeLines(bytes).value_or(QStringList());
    return loaded;
}

std::optional<QString> append(const QString& filePath, const QStringList& lines) {
    const auto encoded = encodeLines(lines);
    if (!encoded)
        return encodingError(lines);
    QByteArray content;
    QFile previous(filePath);
    if (previous.exists()) {
        if (!previous.open(QIODevice::ReadOnly))
            return previous.errorString();
        content = previous.readAll();
        if (previous.error() != QFileDevice::NoError)
            return previous.errorString();
        previous.close();
    }
    // A file that does not end with a line break (edited elsewhere) gets one first, so that
    // the save starts on a line of its own.
    QByteArray added;
    if (!content.isEmpty() && !content.endsWith('\n') && !content.endsWith('\r'))
        added += kFinDeLigne;
    added += *encoded;
    added += kFinDeLigne;
    return writeAtomically(filePath, content + added, added);
}

std::optional<QString> replace(const QString& filePath, const QStringList& lines) {
    const auto encoded = encodeLines(lines);
    if (!encoded)
        return encodingError(lines);
    return writeAtomically(filePath, *encoded);
}

} // namespace listfile
