#include "ledger/restoring.h"

#include "data/dailycopy.h"
#include "data/error.h"
#include "data/maintenance.h"
#include "data/regional.h"
#include "data/schema.h"
#include "data/statement.h"
#include "ledger/yearbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>

namespace ledger {
namespace {

const QString kPartial = QStringLiteral(".partiel");
const QString kSafetyPrefix = QStringLiteral("avant-restauration-");

// The moment a copy's name gives: "velmora-2026-03-14.mdb" (the daily copy),
// "avant-restauration-2026-03-14-101500.mdb" and "avant-reparation-…" (made before a change).
QDateTime madeFromName(const QString& name) {
    static const QRegularExpression stamp(
        QStringLiteral("(\\d{4}-\\d{2}-\\d{2})(?:-(\\d{6}))?\\.mdb$"));
    const QRegularExpressionMatch match = stamp.match(name);
    if (!match.hasMatch())
        return {};
    const QDate day = QDate::fromString(match.captured(1), Qt::ISODate);
    const QTime time = match.captured(2).isEmpty()
                           ? QTime(0, 0)
                           : QTime::fromString(match.captured(2), QStringLiteral("HHmmss"));
    return day.isValid() && time.isValid() ? QDateTime(day, time) : QDateTime();
}

struct Contents {
    qint64 lines = 0;
    QDate lastLine;
    std::optional<int> year;
};

// What a sound file holds; the year of its last line is the file's open year.
Contents contentsOf(const data::Database& db) {
    Contents contents;
    contents.year = storedYear(db);
    data::Statement count(db.raw(), QStringLiteral("SELECT count(*) FROM JEUX"), {});
    if (count.next())
        contents.lines = count.integer(0);
    data::Statement last(
        db.raw(), QStringLiteral("SELECT Jour, mois FROM JEUX ORDER BY Num DESC LIMIT 1"), {});
    if (last.next() && contents.year) {
        const int month = regional::monthIndex(last.string(1)) + 1;
        const int day = last.string(0).trimmed().toInt();
        contents.lastLine = QDate(*contents.year, std::max(month, 1), std::max(day, 1));
        if (month == 0 || day == 0)
            contents.lastLine = QDate();
    }
    return contents;
}

// Whether the engine finds the file's pages and indexes sound; its own words otherwise. The
// same check as a restoring's: a copy listed sound is one it takes.
QString fullCheck(const data::Database& db) {
    data::Statement check(db.raw(), QStringLiteral("PRAGMA integrity_check"), {});
    QStringList problems;
    while (check.next())
        problems << check.string(0);
    return problems == QStringList{QStringLiteral("ok")} ? QString()
                                                         : problems.join(QLatin1String("; "));
}

// A file stopped while being written: its journal goes first, so that a file of that name
// never meets an old journal it would be rolled back with.
void removeLeftover(const QString& path) {
    QFile::remove(path + QStringLiteral("-journal"));
    QFile::remove(path);
    if (QFileInfo::exists(path) || QFileInfo::exists(path + QStringLiteral("-journal")))
        throw RestoreRefused(QStringLiteral("Le fichier %1, laissé par une restauration "
                                            "interrompue, ne peut pas être supprimé.")
                                 .arg(QDir::toNativeSeparators(path)));
}

QString whyNotRestored(const data::maintenance::CheckResult& checked) {
    using Verdict = data::maintenance::CheckResult::Verdict;
    switch (checked.verdict) {
    case Verdict::Sound:
        return {};
    case Verdict::Damaged:
        return QStringLiteral("cette copie est endommagée");
    case Verdict::Locked:
        return QStringLiteral("cette copie est utilisée par un autre programme ; réessayez");
    case Verdict::NotVelmora:
        return QStringLiteral("ce fichier n'est pas une copie du registre de Velmora (%1)")
            .arg(checked.explanation);
    case Verdict::Missing:
        return QStringLiteral("cette copie est introuvable");
    case Verdict::Unreadable:
        break;
    }
    return QStringLiteral("cette copie ne peut pas être lue");
}

// A journal left by a write the program could not finish belongs to the file it replaces:
// rolled back into it now, it could never meet the restored one.
void settleJournal(const QString& databaseFile) {
    const QString journal = databaseFile + QStringLiteral("-journal");
    if (!QFileInfo::exists(journal) || !QFileInfo::exists(databaseFile))
        return;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(databaseFile).constData(), &db, SQLITE_OPEN_READWRITE,
                        nullptr) == SQLITE_OK)
        sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    if (QFileInfo::exists(journal) && QFileInfo(journal).size() > 0)
        throw RestoreRefused(QStringLiteral("Une écriture inachevée du registre (%1) n'a pas pu "
                                            "être reprise : rien n'a été restauré.")
                                 .arg(QDir::toNativeSeparators(journal)));
}

} // namespace

SavedCopy readCopy(const QString& path, bool thorough) {
    const QFileInfo info(path);
    SavedCopy copy;
    copy.path = info.absoluteFilePath();
    copy.size = info.size();
    copy.made = madeFromName(info.fileName());
    if (!copy.made.isValid())
        copy.made = info.lastModified();
    copy.beforeRestoring = info.fileName().startsWith(kSafetyPrefix);
    copy.checked = thorough;
    try {
        const auto db = data::schema::openReadOnly(copy.path);
        if (thorough)
            copy.problem = fullCheck(*db);
        if (copy.problem.isEmpty()) {
            const Contents contents = contentsOf(*db);
            copy.lines = contents.lines;
            copy.lastLine = contents.lastLine;
            copy.year = contents.year;
        }
    } catch (const data::OpenError& error) {
        copy.problem = error.explanation();
    } catch (const data::DbError& error) {
        copy.problem = error.engineText();
    }
    copy.damaged = !copy.problem.isEmpty();
    return copy;
}

QVector<SavedCopy> savedCopies(const QString& databaseFile) {
    const QDir folder(dailycopy::folderFor(databaseFile));
    QVector<SavedCopy> copies;
    for (const QString& name : folder.entryList({QStringLiteral("*.mdb")}, QDir::Files))
        copies << readCopy(folder.filePath(name), false);
    std::sort(copies.begin(), copies.end(), [](const SavedCopy& a, const SavedCopy& b) {
        return a.made != b.made ? a.made > b.made : a.path > b.path;
    });
    return copies;
}

std::optional<qint64> ledgerLines(const QString& databaseFile) {
    try {
        const auto db = data::schema::openReadOnly(databaseFile);
        return contentsOf(*db).lines;
    } catch (const data::DbError&) {
        return std::nullopt;
    }
}

QString restoreQuestion(qint64 currentLines, const SavedCopy& copy) {
    return QStringLiteral("Remplacer le registre actuel (%1 lignes) par la copie du %2 (%3 "
                          "lignes) ?")
        .arg(regional::frenchLocale().toString(currentLines),
             copy.made.date().toString(QStringLiteral("dd/MM/yyyy")),
             regional::frenchLocale().toString(copy.lines));
}

QString safetyCopyFor(const QString& databaseFile) {
    const QDateTime now(regional::today(), QTime::currentTime());
    return QDir(dailycopy::folderFor(databaseFile))
        .filePath(kSafetyPrefix + now.toString(QStringLiteral("yyyy-MM-dd-HHmmss")) +
                  QStringLiteral(".mdb"));
}

Restored restoreCopy(const QString& databaseFile, const QString& copyPath,
                     const std::function<void(RestoreStep)>& reached) {
    const auto report = [&reached](RestoreStep step) {
        if (reached)
            reached(step);
    };
    const QString file = QFileInfo(databaseFile).absoluteFilePath();
    const QString copy = QFileInfo(copyPath).absoluteFilePath();
    const QString notDone = QStringLiteral(" : rien n'a été restauré.");
    if (copy == file)
        throw RestoreRefused(QStringLiteral("Ce fichier est le registre lui-même") + notDone);
    // A closed year's archive holds that year alone: put in the file's place, it would
    // bring the year back open with none of the years after it.
    if (QFileInfo(copy).absolutePath() == QDir::cleanPath(archiveFolder(file)))
        throw RestoreRefused(QStringLiteral("Une archive d'année close ne se restaure pas : "
                                            "ouvrez-la depuis le menu Fichier") +
                             notDone);
    const data::maintenance::CheckResult checked = data::maintenance::check(copy);
    if (!checked.sound) {
        QString why = whyNotRestored(checked);
        why[0] = why.at(0).toUpper();
        throw RestoreRefused(why + notDone);
    }
    const SavedCopy chosen = readCopy(copy);
    if (chosen.damaged)
        throw RestoreRefused(QStringLiteral("Cette copie est endommagée") + notDone);
    // The file's year when it can be read: a damaged file is what a copy is restored for.
    std::optional<int> openYear;
    try {
        openYear = storedYear(*data::schema::openReadOnly(file));
    } catch (const data::DbError&) {
    }
    if (openYear && chosen.year && *chosen.year < *openYear)
        throw RestoreRefused(
            QStringLiteral("Cette copie date d'avant la clôture de %1 : la restaurer ramènerait "
                           "une année déjà close")
                .arg(*chosen.year) +
            notDone);

    settleJournal(file);
    Restored restored;
    restored.lines = chosen.lines;
    if (QFileInfo::exists(file)) {
        // Byte for byte, even a damaged file: the safety copy is whatever was there.
        const QString safety = safetyCopyFor(file);
        const QString partial = safety + kPartial;
        if (!QDir().mkpath(QFileInfo(safety).path()))
            throw RestoreRefused(QStringLiteral("Le dossier %1 ne peut pas être créé")
                                     .arg(QDir::toNativeSeparators(QFileInfo(safety).path())) +
                                 notDone);
        QFile::remove(partial);
        if (QFileInfo::exists(safety) || !QFile::copy(file, partial)) {
            QFile::remove(partial);
            throw RestoreRefused(QStringLiteral("La copie de sûreté %1 n'a pas pu être écrite")
                                     .arg(QDir::toNativeSeparators(safety)) +
                                 notDone);
        }
        data::maintenance::syncToDisk(partial);
        if (!QFile::rename(partial, safety)) {
            QFile::remove(partial);
            throw RestoreRefused(QStringLiteral("La copie de sûreté %1 n'a pas pu être écrite")
                                     .arg(QDir::toNativeSeparators(safety)) +
                                 notDone);
        }
        data::maintenance::syncToDisk(QFileInfo(safety).path());
        restored.safetyCopy = safety;
    }
    report(RestoreStep::SafetyCopied);

    const QString incoming = file + QStringLiteral(".restauration");
    removeLeftover(incoming);
    QString engineText;
    const QString failure = data::maintenance::backup(copy, incoming, {}, &engineText);
    if (!failure.isEmpty()) {
        removeLeftover(incoming);
        throw RestoreRefused(failure.chopped(failure.endsWith(QLatin1Char('.')) ? 1 : 0) + notDone);
    }
    report(RestoreStep::CopyWritten);
    const SavedCopy written = readCopy(incoming);
    if (written.damaged || written.lines != chosen.lines) {
        removeLeftover(incoming);
        throw RestoreRefused(QStringLiteral("La copie relue ne correspond pas à l'originale") +
                             notDone);
    }
    data::maintenance::syncToDisk(incoming);
    report(RestoreStep::CopyChecked);

    // One rename replaces the file whole: no moment leaves it half-written.
    if (std::rename(QFile::encodeName(incoming).constData(), QFile::encodeName(file).constData()) !=
        0) {
        removeLeftover(incoming);
        throw RestoreRefused(QStringLiteral("Le registre %1 n'a pas pu être remplacé")
                                 .arg(QDir::toNativeSeparators(file)) +
                             notDone);
    }
    data::maintenance::syncToDisk(QFileInfo(file).absolutePath());
    report(RestoreStep::Replaced);
    return restored;
}

} // namespace ledger
