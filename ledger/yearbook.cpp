#include "ledger/yearbook.h"

#include "data/errors.h"
#include "data/maintenance.h"
#include "data/regional.h"
#include "data/schema.h"
#include "data/statement.h"
#include "data/transaction.h"
#include "ledger/betbook.h"
#include "ledger/chains.h"

#include <QCollator>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QUrl>
#include <algorithm>
#include <sqlite3.h>

namespace ledger {
namespace {

using Reason = ClosingRefused::Reason;

// Every column of the two ledger tables, named: a file made by hand may hold them in
// another order.
const char* const kJeuxColumns =
    "Num, User, mois, Jour, Remarque, [type jeux], Cheval, Debit, Credit, SoldeAvant, SoldeApres";
const char* const kUsersColumns = "Id, pseudo, SoldeDepart, SoldeEnCours, Mois";
const char* const kBetsColumns = "NumJeu, DateCourse, Hippodrome, R, C, Cote, Etat, NumGain";

// PARIS's columns as the file has them: a bet on several horses keeps its numbers, formula
// and ranks in the archive.
QString betsColumns(const data::Database& db) {
    QString columns = QLatin1String(kBetsColumns);
    if (data::schema::hasMultiBetColumns(db))
        columns += QStringLiteral(", Numeros, Formule, Combinaisons, Gagnantes, Rang");
    return columns;
}

// What says that two files hold the same ledger: the row counts, the sums a reader would
// check by hand, and a digest of every value with its storage type, row by row.
struct LedgerPrint {
    qint64 jeux = 0;
    qint64 users = 0;
    qint64 paris = 0;
    Money debit, credit, soldeApres, soldeDepart, soldeEnCours;
    QByteArray digest;

    bool operator==(const LedgerPrint& o) const {
        return jeux == o.jeux && users == o.users && paris == o.paris && debit == o.debit &&
               credit == o.credit && soldeApres == o.soldeApres && soldeDepart == o.soldeDepart &&
               soldeEnCours == o.soldeEnCours && digest == o.digest;
    }
};

void addValue(QCryptographicHash& hash, const data::Statement& rs, int column) {
    sqlite3_stmt* s = rs.handle;
    const char type = char(sqlite3_column_type(s, column));
    hash.addData(QByteArrayView(&type, 1));
    switch (type) {
    case SQLITE_INTEGER: {
        const qint64 value = sqlite3_column_int64(s, column);
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(&value), sizeof value));
        break;
    }
    case SQLITE_FLOAT: {
        const double value = sqlite3_column_double(s, column);
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(&value), sizeof value));
        break;
    }
    case SQLITE_NULL:
        break;
    default: {
        // The length first, so that "ab" + "c" and "a" + "bc" differ.
        const int size = sqlite3_column_bytes(s, column);
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(s, column));
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(&size), sizeof size));
        hash.addData(QByteArrayView(bytes, size));
        break;
    }
    }
}

Money amountAt(const data::Statement& rs, int column) {
    return rs.isReal(column) ? Money::fromStored(rs.real(column))
                             : Money::fromStored(rs.value(column));
}

LedgerPrint ledgerPrint(const data::Database& db) {
    LedgerPrint print;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    {
        data::Statement rs(
            db.raw(),
            QStringLiteral("SELECT %1 FROM JEUX ORDER BY Num").arg(QLatin1String(kJeuxColumns)),
            {});
        while (rs.next()) {
            ++print.jeux;
            for (int c = 0; c < 11; ++c)
                addValue(hash, rs, c);
            print.debit += amountAt(rs, 7);
            print.credit += amountAt(rs, 8);
            print.soldeApres += amountAt(rs, 10);
        }
    }
    {
        data::Statement rs(
            db.raw(),
            QStringLiteral("SELECT %1 FROM USERS ORDER BY Id").arg(QLatin1String(kUsersColumns)),
            {});
        while (rs.next()) {
            ++print.users;
            for (int c = 0; c < 5; ++c)
                addValue(hash, rs, c);
            print.soldeDepart += amountAt(rs, 2);
            print.soldeEnCours += amountAt(rs, 3);
        }
    }
    if (data::schema::hasBetsTable(db)) {
        data::Statement rs(
            db.raw(), QStringLiteral("SELECT %1 FROM PARIS ORDER BY NumJeu").arg(betsColumns(db)),
            {});
        const int columns = rs.columnCount();
        while (rs.next()) {
            ++print.paris;
            for (int c = 0; c < columns; ++c)
                addValue(hash, rs, c);
        }
    }
    print.digest = hash.result();
    return print;
}

// The bets a closing waits for, each named, and where the user settles them.
QString unsettledText(const QVector<Bet>& bets) {
    const int count = int(bets.size());
    QString text =
        count == 1
            ? QStringLiteral("1 pari n'est pas réglé : encaissez-le ou "
                             "marquez-le avant de clôturer.")
            : QStringLiteral("%1 ne sont pas réglés : encaissez-les ou "
                             "marquez-les avant de clôturer.")
                  .arg(regional::counted(count, QStringLiteral("pari"), QStringLiteral("paris")));
    // A long list is cut: the box must stay on the screen.
    constexpr int kShown = 15;
    for (int i = 0; i < std::min(count, kShown); ++i)
        text += QStringLiteral("\n  ") + unsettledLine(bets.at(i));
    if (count > kShown)
        text +=
            QStringLiteral("\n  … ") +
            regional::counted(count - kShown, QStringLiteral("autre"), QStringLiteral("autres"));
    return text + QStringLiteral("\nDans la fenêtre Gestion des mises, un pari se marque depuis "
                                 "le menu de sa ligne du relevé (clic droit) et s'encaisse "
                                 "depuis la liste des paris à encaisser.");
}

bool integrityOk(const data::Database& db) {
    QSqlQuery query = db.exec(QStringLiteral("PRAGMA integrity_check"));
    return query.next() && query.value(0).toString() == QLatin1String("ok") && !query.next();
}

// Each player's latest month in calendar order, the last row added deciding between two
// rows that name no ledger month.
QVector<ClosingBalance> closingBalances(const data::Database& db) {
    struct Latest {
        int index = -2;
        qint64 id = 0;
        ClosingBalance balance;
    };
    QHash<QString, Latest> latest;
    QSqlQuery query = db.exec(QStringLiteral(
        "SELECT pseudo, Mois, SoldeEnCours, Id FROM USERS WHERE pseudo IS NOT NULL ORDER BY Id"));
    while (query.next()) {
        const QString player = query.value(0).toString();
        const QString month = query.value(1).toString();
        const int index = regional::monthIndex(month);
        Latest& entry = latest[regional::nocaseKey(player)];
        if (index < entry.index)
            continue;
        entry.index = index;
        entry.id = query.value(3).toLongLong();
        entry.balance = {player, index >= 0 ? regional::monthNames().at(index) : month,
                         Money::fromStored(query.value(2))};
    }
    QVector<ClosingBalance> balances;
    for (const Latest& entry : std::as_const(latest))
        balances << entry.balance;
    const QCollator collator = regional::frenchCollator();
    std::sort(balances.begin(), balances.end(),
              [&](const ClosingBalance& a, const ClosingBalance& b) {
                  const int order = collator.compare(a.player, b.player);
                  return order != 0 ? order < 0 : a.player < b.player;
              });
    return balances;
}

// A temporary archive whose writer was stopped: its journal goes first, so that a new file
// of that name never meets an old journal it would be rolled back with.
void removePartial(const QString& partial) {
    QFile::remove(partial + QStringLiteral("-journal"));
    QFile::remove(partial);
    if (QFileInfo::exists(partial) || QFileInfo::exists(partial + QStringLiteral("-journal")))
        throw ClosingRefused(Reason::Failed,
                             QStringLiteral("L'archive temporaire %1 laissée par une clôture "
                                            "interrompue ne peut pas être supprimée.")
                                 .arg(QDir::toNativeSeparators(partial)));
}

// Whether the archive in place is a sound Velmora file of that year holding exactly the
// ledger printed.
bool archiveHolds(const QString& path, int year, const LedgerPrint& ledger) {
    try {
        const auto archive = data::schema::openReadOnly(path);
        return integrityOk(*archive) && storedYear(*archive) == year &&
               ledgerPrint(*archive) == ledger;
    } catch (const data::DbError& error) {
        if (error.code() == data::sqlite_code::Busy || error.code() == data::sqlite_code::Locked)
            throw;
        return false;
    }
}

// Writes the year's archive under its temporary name, reads it back, and syncs it.
void writeArchive(const data::Database& db, const QString& partial, int year,
                  const LedgerPrint& ledger, const std::function<void(ClosingStep)>& report) {
    const QString folder = QFileInfo(partial).path();
    if (!QDir().mkpath(folder))
        throw ClosingRefused(Reason::Failed,
                             QStringLiteral("Le dossier %1 ne peut pas être créé : l'année n'est "
                                            "pas clôturée.")
                                 .arg(QDir::toNativeSeparators(folder)));
    {
        const auto archive = data::schema::createFile(partial, year);
        // The file's rows are read through the archive's own connection: the file's write
        // lock, held since the start, lets readers in and keeps writers out until the end.
        // Read-only, as a URI so that '?', '#' and '%' in the folder's name stay a path.
        const QString source = QUrl::fromLocalFile(QFileInfo(db.path()).absoluteFilePath())
                                   .toString(QUrl::FullyEncoded) +
                               QStringLiteral("?mode=ro");
        archive->exec(QStringLiteral("ATTACH DATABASE ? AS velmora"), {source});
        archive->exec(QStringLiteral("DELETE FROM main.TYPEJEUX"));
        archive->exec(QStringLiteral("INSERT INTO main.TYPEJEUX (Id, TypeJeu) "
                                     "SELECT Id, TypeJeu FROM velmora.TYPEJEUX ORDER BY Id"));
        archive->exec(QStringLiteral("INSERT INTO main.JEUX (%1) SELECT %1 FROM velmora.JEUX "
                                     "ORDER BY Num")
                          .arg(QLatin1String(kJeuxColumns)));
        archive->exec(QStringLiteral("INSERT INTO main.USERS (%1) SELECT %1 FROM velmora.USERS "
                                     "ORDER BY Id")
                          .arg(QLatin1String(kUsersColumns)));
        if (data::schema::hasBetsTable(db))
            archive->exec(QStringLiteral("INSERT INTO main.PARIS (%1) SELECT %1 FROM "
                                         "velmora.PARIS ORDER BY NumJeu")
                              .arg(betsColumns(db)));
        // The limits stay in the file for the next year; the archive keeps those its year
        // was played under.
        if (data::schema::hasLimitsTable(db))
            archive->exec(QStringLiteral("INSERT INTO main.LIMITES (pseudo, PlafondMises, "
                                         "PerteMax) SELECT pseudo, PlafondMises, PerteMax FROM "
                                         "velmora.LIMITES"));
        archive->exec(QStringLiteral("DETACH DATABASE velmora"));
        report(ClosingStep::ArchiveCopied);
        if (!integrityOk(*archive) || !(ledgerPrint(*archive) == ledger))
            throw ClosingRefused(Reason::Failed,
                                 QStringLiteral("L'archive relue ne correspond pas au registre : "
                                                "l'année n'est pas clôturée."));
    }
    data::maintenance::syncToDisk(partial);
    report(ClosingStep::ArchiveChecked);
}

ClosingRefused refusalFor(const data::DbError& error) {
    switch (error.code()) {
    case data::sqlite_code::Busy:
    case data::sqlite_code::Locked:
        return ClosingRefused(Reason::Busy,
                              QStringLiteral("Le fichier de données est utilisé par un autre "
                                             "programme : l'année n'est pas clôturée. Réessayez "
                                             "dans un instant."),
                              error.engineText());
    case data::sqlite_code::Full:
        return ClosingRefused(Reason::DiskFull,
                              QStringLiteral("Le disque est plein : l'année n'est pas clôturée. "
                                             "Libérez de la place, puis recommencez."),
                              error.engineText());
    default:
        return ClosingRefused(Reason::Failed,
                              QStringLiteral("L'année n'a pas pu être clôturée.\n\n") +
                                  errors::describe(error),
                              error.engineText());
    }
}

// The names the ledger cannot read, each once: the closing could not tell which month's
// balance a player takes into January.
void refuseStrayMonths(const data::Database& db) {
    QStringList names;
    for (const StrayMonth& stray : strayMonths(db)) {
        const QString named = QStringLiteral("« %1 » (%2)").arg(stray.name, stray.column);
        if (!names.contains(named))
            names << named;
    }
    if (names.isEmpty())
        return;
    throw ClosingRefused(Reason::UnknownMonth,
                         (names.size() == 1
                              ? QStringLiteral("Le mois %1 n'est pas un mois du registre : l'année "
                                               "n'est pas clôturée. Corrigez-le, puis recommencez "
                                               "(velmora-db check dit où il se trouve).")
                              : QStringLiteral("Les mois %1 ne sont pas des mois du registre : "
                                               "l'année n'est pas clôturée. Corrigez-les, puis "
                                               "recommencez (velmora-db check dit où ils se "
                                               "trouvent)."))
                             .arg(names.join(QStringLiteral(", "))));
}

} // namespace

std::optional<int> storedYear(const data::Database& db) {
    if (!data::schema::hasYearTable(db))
        return std::nullopt;
    const QVariant year = db.scalar(QStringLiteral("SELECT max(annee) FROM EXERCICE"));
    if (year.isNull())
        return std::nullopt;
    return year.toInt();
}

int proposedYear(const QDate& today) {
    return today.month() <= 2 ? today.year() - 1 : today.year();
}

int openYear(const data::Database& db, const QDate& today) {
    return storedYear(db).value_or(proposedYear(today));
}

bool isPlausibleYear(int year) {
    return year >= 1000 && year <= 9999;
}

void recordYear(const data::Database& db, int year) {
    data::Transaction transaction(db);
    if (!data::schema::hasYearTable(db))
        db.exec(QString::fromLatin1(data::schema::yearTable()));
    db.exec(QStringLiteral("DELETE FROM EXERCICE"));
    db.exec(QStringLiteral("INSERT INTO EXERCICE (annee) VALUES (?)"), {year});
    transaction.commit();
}

std::optional<YearRefusal> yearRefusal(int openYear, const QString& month, const QDate& today) {
    if (today.year() <= openYear)
        return std::nullopt;
    const int index = regional::monthIndex(month);
    if (today.year() == openYear + 1 && index >= 0 && index + 1 > today.month())
        return std::nullopt;
    return YearRefusal{QStringLiteral("Nouvelle année"),
                       QStringLiteral("Clôturez d'abord l'année %1 (menu Fichier).").arg(openYear)};
}

std::optional<YearRefusal> yearRefusal(const data::Database& db, const QString& month,
                                       const QDate& today) {
    return yearRefusal(openYear(db, today), month, today);
}

QString yearStatus(int openYear, const QDate& today) {
    if (today.year() <= openYear)
        return QString();
    return QStringLiteral("L'année %1 est terminée : pensez à la clôturer.").arg(openYear);
}

QString yearStatus(const data::Database& db, const QDate& today) {
    return yearStatus(openYear(db, today), today);
}

QString archiveFolder(const QString& databaseFile) {
    return QFileInfo(databaseFile).absoluteDir().filePath(QStringLiteral("archives"));
}

QString archivePath(const QString& databaseFile, int year) {
    return QDir(archiveFolder(databaseFile)).filePath(QStringLiteral("velmora-%1.mdb").arg(year));
}

QVector<ArchiveFile> archives(const QString& folder) {
    static const QRegularExpression name(QStringLiteral("^velmora-(\\d{4})\\.mdb$"));
    const QDir dir(QDir(folder).filePath(QStringLiteral("archives")));
    QVector<ArchiveFile> found;
    for (const QString& file : dir.entryList(QDir::Files)) {
        const QRegularExpressionMatch match = name.match(file);
        if (match.hasMatch())
            found.push_back({match.captured(1).toInt(), dir.filePath(file)});
    }
    std::sort(found.begin(), found.end(),
              [](const ArchiveFile& a, const ArchiveFile& b) { return a.year > b.year; });
    return found;
}

std::shared_ptr<data::Database> openArchive(const QString& path) {
    return data::schema::openReadOnly(path);
}

QStringList addChangesSinceClosing(const data::Database& db, Settling& settling) {
    QStringList unread;
    for (const ArchiveFile& file : archives(QFileInfo(db.path()).absolutePath())) {
        try {
            const auto archive = openArchive(file.path);
            settling.changedAfterClosing << changedSinceClosing(*archive, file.year, db);
        } catch (const data::OpenError& error) {
            unread << QStringLiteral("archive de %1 illisible : %2")
                          .arg(file.year)
                          .arg(error.explanation());
        } catch (const data::DbError& error) {
            unread << QStringLiteral("archive de %1 illisible : %2")
                          .arg(file.year)
                          .arg(error.engineText());
        }
    }
    return unread;
}

ClosingRecap closingRecap(const data::Database& db, const QDate& today) {
    ClosingRecap recap;
    recap.year = openYear(db, today);
    recap.lines = db.scalar(QStringLiteral("SELECT count(*) FROM JEUX")).toLongLong();
    recap.players = closingBalances(db);
    recap.archive = archivePath(db.path(), recap.year);
    return recap;
}

QString recapText(const ClosingRecap& recap) {
    QString text =
        QStringLiteral("L'année %1 compte %2 et %3. Son registre passera dans l'archive\n%4\n"
                       "qui se consulte ensuite en lecture seule.\n\n")
            .arg(recap.year)
            .arg(regional::counted(recap.lines, QStringLiteral("ligne"), QStringLiteral("lignes")),
                 regional::counted(recap.players.size(), QStringLiteral("joueur"),
                                   QStringLiteral("joueurs")),
                 QDir::toNativeSeparators(recap.archive));
    if (!recap.players.isEmpty()) {
        text += QStringLiteral("L'année %1 s'ouvrira en Janvier avec les soldes de fin "
                               "d'année :\n")
                    .arg(recap.year + 1);
        for (const ClosingBalance& player : recap.players)
            text += QStringLiteral("  %1 : %2\n")
                        .arg(player.player, regional::formatMoney(player.balance));
        text += QLatin1Char('\n');
    }
    return text + QStringLiteral("Clôturer l'année %1 ?").arg(recap.year);
}

ClosingDone closeYear(const data::Database& db, int year,
                      const std::function<void(ClosingStep)>& reached) {
    const auto report = [&](ClosingStep step) {
        if (reached)
            reached(step);
    };
    const QString archive = archivePath(db.path(), year);
    const QString partial = archive + QStringLiteral(".partiel");
    bool writing = false;
    bool madeArchive = false;
    // Whatever stopped the closing, the file was rolled back (the transaction is gone by
    // then): what the attempt wrote beside it goes too.
    const auto undo = [&] {
        if (writing) {
            QFile::remove(partial + QStringLiteral("-journal"));
            QFile::remove(partial);
        }
        try {
            if (madeArchive && storedYear(db) != year + 1)
                QFile::remove(archive);
        } catch (const data::DbError&) {
            // Left in place: the next attempt checks it against the file.
        }
    };
    try {
        data::Transaction transaction(db);
        const QDate today = regional::today();
        const int open = openYear(db, today);
        if (year != open) {
            const QString closed = archivePath(db.path(), year);
            if (year < open && QFileInfo::exists(closed))
                throw ClosingRefused(Reason::AlreadyClosed,
                                     QStringLiteral("L'année %1 est déjà clôturée : %2")
                                         .arg(year)
                                         .arg(QDir::toNativeSeparators(closed)));
            throw ClosingRefused(Reason::NotOpenYear,
                                 QStringLiteral("L'année ouverte est %1 : c'est la seule qui "
                                                "puisse être clôturée.")
                                     .arg(open));
        }
        // Closed early, the rest of its entries would be filed under the next year.
        if (today.year() <= year)
            throw ClosingRefused(Reason::YearNotOver,
                                 QStringLiteral("L'année %1 n'est pas terminée : elle se clôture "
                                                "à partir du 1er janvier %2.")
                                     .arg(year)
                                     .arg(year + 1));
        // A bet still to settle or to cash would be archived with money not yet counted.
        if (const QVector<Bet> unsettled = unsettledBetList(db); !unsettled.isEmpty())
            throw ClosingRefused(Reason::BetsUnsettled, unsettledText(unsettled));
        refuseStrayMonths(db);
        report(ClosingStep::Locked);
        const LedgerPrint ledger = ledgerPrint(db);
        writing = true;
        removePartial(partial);
        ClosingDone done;
        done.year = year;
        done.archive = archive;
        done.lines = ledger.jeux;
        if (QFileInfo::exists(archive)) {
            if (!archiveHolds(archive, year, ledger))
                throw ClosingRefused(
                    Reason::ArchiveMismatch,
                    QStringLiteral("L'archive %1 existe déjà et ne contient pas exactement le "
                                   "registre de l'année %2 : l'année n'est pas clôturée. "
                                   "Déplacez ce fichier, puis recommencez.")
                        .arg(QDir::toNativeSeparators(archive))
                        .arg(year));
            done.resumed = true;
        } else {
            writeArchive(db, partial, year, ledger, report);
            if (!QFile::rename(partial, archive))
                throw ClosingRefused(Reason::Failed,
                                     QStringLiteral("L'archive %1 ne peut pas être créée : "
                                                    "l'année n'est pas clôturée.")
                                         .arg(QDir::toNativeSeparators(archive)));
            madeArchive = true;
            data::maintenance::syncToDisk(QFileInfo(archive).path());
        }
        writing = false;
        report(ClosingStep::ArchiveInPlace);

        const QVector<ClosingBalance> balances = closingBalances(db);
        db.exec(QStringLiteral("DELETE FROM JEUX"));
        db.exec(QStringLiteral("DELETE FROM USERS"));
        if (data::schema::hasBetsTable(db))
            db.exec(QStringLiteral("DELETE FROM PARIS"));
        for (const ClosingBalance& player : balances)
            db.exec(QStringLiteral("INSERT INTO USERS (pseudo, SoldeDepart, SoldeEnCours, Mois) "
                                   "VALUES (?, ?, ?, ?)"),
                    {player.player, player.balance.toStored(), player.balance.toStored(),
                     regional::monthNames().first()});
        if (!data::schema::hasYearTable(db))
            db.exec(QString::fromLatin1(data::schema::yearTable()));
        db.exec(QStringLiteral("DELETE FROM EXERCICE"));
        db.exec(QStringLiteral("INSERT INTO EXERCICE (annee) VALUES (?)"), {year + 1});
        report(ClosingStep::LedgerCleared);
        transaction.commit();
        done.players = int(balances.size());
        return done;
    } catch (const data::DbError& error) {
        undo();
        throw refusalFor(error);
    } catch (...) {
        undo();
        throw;
    }
}

} // namespace ledger
