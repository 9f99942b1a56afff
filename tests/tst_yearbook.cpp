#include "data/connection.h"
#include "data/dailycopy.h"
#include "data/regional.h"
#include "data/schema.h"
#include "ledger/betbook.h"
#include "ledger/ledgerbook.h"
#include "ledger/limits.h"
#include "ledger/restoring.h"
#include "ledger/search.h"
#include "ledger/yearbook.h"
#include "tests/support/testdatabase.h"
#include "tests/support/testfiles.h"
#include "tools/dbtool.h"

#include <QLockFile>
#include <QProcess>
#include <QSqlQuery>
#include <QtTest>
#include <sqlite3.h>

namespace {

using ledger::ClosingRefused;
using ledger::ClosingStep;
using Reason = ClosingRefused::Reason;
using testfiles::hashOf;

// A disk with `room` bytes left (none counted while negative): a write that would grow a
// file beyond it fails as the engine's own file layer fails on a full disk, while writes
// within a file's size always go through, as on a real disk.
namespace fulldisk {
qint64 room = -1;
sqlite3_vfs vfs;
// The file layer's own methods (one set for databases, one for journals), each with its
// copy whose writes are counted.
struct Methods {
    const sqlite3_io_methods* engine = nullptr;
    sqlite3_io_methods counted;
} methods[4];

int write(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
    const Methods* m = std::find_if(std::begin(methods), std::end(methods),
                                    [f](const Methods& m) { return &m.counted == f->pMethods; });
    sqlite3_int64 size = 0;
    m->engine->xFileSize(f, &size);
    const qint64 growth = std::max<qint64>(0, offset + amount - size);
    if (room >= 0 && growth > room)
        return SQLITE_FULL;
    if (room >= 0)
        room -= growth;
    return m->engine->xWrite(f, data, amount, offset);
}

// Every connection opened from now on, its journals included, writes through it.
void install() {
    static sqlite3_vfs* const real = sqlite3_vfs_find(nullptr);
    vfs = *real;
    vfs.zName = "velmora-full-disk";
    vfs.xOpen = [](sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* out) {
        const int rc = real->xOpen(real, name, f, flags, out);
        for (Methods& m : methods) {
            if (!f->pMethods || (m.engine && m.engine != f->pMethods))
                continue;
            if (!m.engine) {
                m.engine = f->pMethods;
                m.counted = *f->pMethods;
                m.counted.xWrite = write;
            }
            f->pMethods = &m.counted;
            break;
        }
        return rc;
    };
    sqlite3_vfs_register(&vfs, 1);
}
} // namespace fulldisk

// Every value of the two ledger tables, quoted by type: equal texts, equal ledgers.
QString ledgerText(const data::Database& db) {
    const auto quoted = [](const QString& columns) {
        QStringList values;
        for (const QString& column : columns.split(','))
            values << "quote(" + column + ")";
        return values.join(" || ',' || ");
    };
    return db
        .scalar(QString("SELECT (SELECT group_concat(%1, ' ') FROM (SELECT * FROM JEUX ORDER BY "
                        "Num)) || ' / ' || (SELECT group_concat(%2, ' ') FROM (SELECT * FROM "
                        "USERS ORDER BY Id))")
                    .arg(quoted("Num,User,mois,Jour,Remarque,[type jeux],Cheval,Debit,Credit,"
                                "SoldeAvant,SoldeApres"),
                         quoted("Id,pseudo,SoldeDepart,SoldeEnCours,Mois")))
        .toString();
}

QStringList janvierRows(const data::Database& db) {
    QStringList rows;
    QSqlQuery q = db.exec("SELECT pseudo || ' ' || SoldeDepart || ' ' || SoldeEnCours || ' ' || "
                          "Mois FROM USERS ORDER BY 1");
    while (q.next())
        rows << q.value(0).toString();
    return rows;
}

// Two players' 2026: stakes, a win, credits, a reversed stake, and a late March entry carried
// to Paul's April. Paul closes on April's 137 €, Anne on March's 47,50 €.
void makeYear(const data::Database& db) {
    using namespace ledger;
    recordYear(db, 2026);
    addPlayer(db, "Paul", 100_eur, "Mars");
    addPlayer(db, "Anne", 50_eur, "Mars");
    const auto game = [&](GameKind kind, const QString& player, const QString& month, Money amount,
                          Carry carry = Carry::ThisMonthOnly) {
        recordGame(db, {kind, player, month, "03", "Simple Gagnant", "Jolie", amount, {}}, carry);
    };
    game(GameKind::Stake, "Paul", "Mars", 10_eur);
    const qint64 stake = db.scalar("SELECT max(Num) FROM JEUX").toLongLong();
    game(GameKind::Win, "Paul", "Mars", 25_eur);
    addCredit(db, "Paul", "Mars", "04", 20_eur);
    reverseLine(db, stake);
    addPlayer(db, "Paul", 145_eur, "Avril");
    game(GameKind::Stake, "Paul", "Avril", 5_eur);
    game(GameKind::Stake, "Paul", "Mars", 3_eur, Carry::LaterMonthsToo);
    game(GameKind::Stake, "Anne", "Mars", Money::fromCents(1250));
    addCredit(db, "Anne", "Mars", "05", 10_eur);
    db.exec("INSERT INTO MESSUIVITS (nomcheval) VALUES ('JOLIE')");
    db.exec("INSERT INTO CR (date, hippodrome, R, C, cheval) VALUES ('2026-03-03', 'Pau', 1, 2, "
            "'JOLIE')");
}

// A bet on Paul's March, won and cashed, and a credit reversed, each carried to April.
void addCashedBet(const data::Database& db) {
    using namespace ledger;
    const GameEntry entry{
        GameKind::Stake,  "Paul",  "Mars", "14",
        "Simple Gagnant", "Jolie", 4_eur,  BetSlip{QDate(2026, 3, 14), {1, 2, "Pau"}, 4.5}};
    const qint64 num = recordGame(db, entry, Carry::LaterMonthsToo).num;
    markBet(db, num, BetState::Won);
    cashBet(db, num, 18_eur, Carry::LaterMonthsToo);
    addCredit(db, "Paul", "Mars", "15", 5_eur, Carry::LaterMonthsToo);
    reverseLine(db, db.scalar("SELECT max(Num) FROM JEUX").toLongLong(), Carry::LaterMonthsToo);
}

struct Said {
    int status = -1;
    QString text; // standard output and error, blanks in amounts made plain spaces
};

Said dbTool(const QStringList& args) {
    Said said;
    QTextStream out(&said.text), err(&said.text);
    said.status = runDbTool(args, out, err);
    out.flush();
    err.flush();
    said.text.replace(QChar(0x202F), ' ').replace(QChar(0x00A0), ' ');
    return said;
}

} // namespace

class TestYearbook : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { fulldisk::install(); }
    void init() { regional::setToday(QDate(2027, 1, 10)); }
    void cleanup() {
        fulldisk::room = -1;
        regional::setToday(QDate());
    }

    void closesTheYearIntoItsArchive();
    void refusalsLeaveTheFileAsItWas_data();
    void refusalsLeaveTheFileAsItWas();
    void aFullDiskAtAnyPointChangesNothing();
    void killedAtEachStep_data();
    void killedAtEachStep();
    void writesWaitForTheClosing_data();
    void writesWaitForTheClosing();
    void commandLineAndOlderFiles();
    void checkProvesAndMendsTheChains();
    void januaryTakesEachPlayersLatestMonth_data();
    void januaryTakesEachPlayersLatestMonth();
    void archiveCheckCoversEveryBetColumn();
    void restoresACopyWhole();
    void restoreRefusals_data();
    void restoreRefusals();
    void restoreKilledAtEachStep();
    void searchAcrossTheYears_data();
    void searchAcrossTheYears();
    void limitQuestions_data();
    void limitQuestions();
    void limitsOutliveTheClosing();
};

void TestYearbook::closesTheYearIntoItsArchive() {
    TestDatabase t("Paris #2 %20 ?é");
    const data::Database& db = *t.db();
    makeYear(db);
    const QString before = ledgerText(db);
    const auto otherTables = [&] {
        return t
            .scalar("SELECT (SELECT group_concat(nomcheval) FROM MESSUIVITS) || (SELECT "
                    "group_concat(cheval) FROM CR) || (SELECT group_concat(TypeJeu) FROM "
                    "TYPEJEUX)")
            .toString();
    };
    const QString others = otherTables();
    const qint64 lastNum = t.scalar("SELECT max(Num) FROM JEUX").toLongLong();

    const ledger::ClosingRecap recap = ledger::closingRecap(db, regional::today());
    QCOMPARE(recap.year, 2026);
    QCOMPARE(recap.lines, qint64(8));
    QCOMPARE(recap.players.size(), 2);
    QCOMPARE(recap.players[0].player, QString("Anne"));
    QCOMPARE(recap.players[0].balance, Money::fromCents(4750));
    QCOMPARE(recap.players[1].month, QString("Avril"));
    QCOMPARE(recap.players[1].balance, 137_eur);
    const QString text = ledger::recapText(recap);
    QVERIFY2(text.contains("Paul : 137,00") && text.endsWith("Clôturer l'année 2026 ?"),
             qPrintable(text));

    const ledger::ClosingDone done = ledger::closeYear(db, 2026);
    QCOMPARE(done.archive, recap.archive);
    QCOMPARE(done.players, 2);
    QVERIFY(!done.resumed);

    // The archive holds the year exactly, its Num and their Remarque links too.
    auto archive = ledger::openArchive(done.archive);
    QCOMPARE(ledgerText(*archive), before);
    QCOMPARE(ledger::storedYear(*archive), 2026);
    QCOMPARE(archive->scalar("SELECT count(*) FROM JEUX WHERE Remarque LIKE 'annul%'").toInt(), 2);
    QCOMPARE(archive->scalar("SELECT count(*) FROM MESSUIVITS").toInt() +
                 archive->scalar("SELECT count(*) FROM CR").toInt(),
             0);
    QVERIFY_THROWS_EXCEPTION(data::DbError, archive->exec("DELETE FROM JEUX"));

    // The file opens 2027 with each player's closing balance; the rest stays.
    QCOMPARE(t.scalar("SELECT count(*) FROM JEUX").toInt(), 0);
    QCOMPARE(janvierRows(db), QStringList({"Anne 47.5 47.5 Janvier", "Paul 137.0 137.0 Janvier"}));
    QCOMPARE(ledger::storedYear(db), 2027);
    QCOMPARE(otherTables(), others);
    // A new line never takes an archived line's number, which a Remarque may name.
    ledger::recordGame(db,
                       {ledger::GameKind::Stake, "Paul", "Janvier", "11", "Trio", "", 2_eur, {}});
    QCOMPARE(t.scalar("SELECT max(Num) FROM JEUX").toLongLong(), lastNum + 1);
    QCOMPARE(ledger::account(db, "Paul", "Janvier")->balance, 135_eur);

    // The archives, newest first; a temporary one is none.
    for (const char* name : {"velmora-2024.mdb", "velmora-2025.mdb.partiel", "notes.txt"})
        QFile(QDir(ledger::archiveFolder(t.file())).filePath(name)).open(QIODevice::WriteOnly);
    const auto list = ledger::archives(t.folder());
    QCOMPARE(list.size(), 2);
    QCOMPARE(list[0].year, 2026);
    QCOMPARE(list[0].path, done.archive);
    QCOMPARE(list[1].year, 2024);
}

void TestYearbook::refusalsLeaveTheFileAsItWas_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a later year") << "" << 2027 << int(Reason::NotOpenYear) << "ouverte est 2026";
    QTest::newRow("an earlier year")
        << "" << 2025 << int(Reason::NotOpenYear) << "ouverte est 2026";
    QTest::newRow("year not over")
        << "december" << 2026 << int(Reason::YearNotOver) << "1er janvier 2027";
    QTest::newRow("already closed")
        << "closed" << 2026 << int(Reason::AlreadyClosed) << "L'année 2026 est déjà clôturée : ";
    QTest::newRow("archive of an older state") << "stale" << 2026 << int(Reason::ArchiveMismatch)
                                               << "ne contient pas exactement le registre";
    QTest::newRow("archive not a database")
        << "garbage" << 2026 << int(Reason::ArchiveMismatch) << "Déplacez ce fichier";
    QTest::newRow("a writer holds the file")
        << "writer" << 2026 << int(Reason::Busy) << "utilisé par un autre programme";
    QTest::newRow("a reader until the end")
        << "reader" << 2026 << int(Reason::Busy) << "utilisé par un autre programme";
    QTest::newRow("a month the ledger cannot read")
        << "stray" << 2026 << int(Reason::UnknownMonth) << "Le mois « Agosto » (USERS.Mois)";
}

void TestYearbook::refusalsLeaveTheFileAsItWas() {
    QFETCH(QString, kind);
    QFETCH(int, year);
    QFETCH(int, reason);
    QFETCH(QString, expected);
    TestDatabase t;
    const data::Database& db = *t.db();
    makeYear(db);
    const QString archive = ledger::archivePath(t.file(), 2026);
    QDir().mkpath(ledger::archiveFolder(t.file()));
    auto other = data::Database::open(t.file());
    if (kind == "december") {
        regional::setToday(QDate(2026, 12, 31));
    } else if (kind == "closed") {
        ledger::closeYear(db, 2026);
    } else if (kind == "stale") {
        ledger::closeYear(db, 2026);
        db.exec("UPDATE EXERCICE SET annee = 2026");
        ledger::addPlayer(db, "Zoé", 5_eur, "Mars");
    } else if (kind == "garbage") {
        QFile f(archive);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'x'));
    } else if (kind == "writer") {
        other->exec("BEGIN IMMEDIATE");
    } else if (kind == "stray") {
        ledger::addPlayer(db, "Zoé", 5_eur, "Agosto");
    } else if (kind == "reader") {
        // A read left open: the closing gets its write lock, never the commit.
        other->exec("BEGIN");
        other->exec("SELECT count(*) FROM JEUX");
    }
    const QByteArray fileHash = hashOf(t.file());
    const QByteArray archiveHash = hashOf(archive);
    try {
        ledger::closeYear(db, year);
        QFAIL("the closing went through");
    } catch (const ClosingRefused& refused) {
        QCOMPARE(int(refused.reason), reason);
        QVERIFY2(refused.text.contains(expected), qPrintable(refused.text));
    }
    other.reset();
    QCOMPARE(hashOf(t.file()), fileHash);
    QCOMPARE(hashOf(archive), archiveHash);
    QCOMPARE(QDir(ledger::archiveFolder(t.file())).entryList(QDir::Files).size(),
             archiveHash.isEmpty() ? 0 : 1);
}

void TestYearbook::aFullDiskAtAnyPointChangesNothing() {
    TestDatabase t;
    const data::Database& db = *t.db();
    makeYear(db);
    const QByteArray fileHash = hashOf(t.file());
    int refused = 0;
    int refusedWithArchiveInPlace = 0;
    for (qint64 room = 0;; room += 2048) {
        QVERIFY(room < 4'000'000);
        ClosingStep last = ClosingStep::Locked;
        fulldisk::room = room;
        try {
            ledger::closeYear(db, 2026, [&](ClosingStep step) { last = step; });
            break;
        } catch (const ClosingRefused& error) {
            QVERIFY2(error.reason == Reason::DiskFull, qPrintable(error.text));
        }
        fulldisk::room = -1;
        ++refused;
        refusedWithArchiveInPlace += last >= ClosingStep::ArchiveInPlace;
        QCOMPARE(hashOf(t.file()), fileHash);
        QVERIFY(QDir(ledger::archiveFolder(t.file())).entryList(QDir::Files).isEmpty());
    }
    qInfo("%d full disks refused, %d of them with the archive in place", refused,
          refusedWithArchiveInPlace);
    QVERIFY(refused > 5);
    QVERIFY(refusedWithArchiveInPlace > 0);
    QCOMPARE(ledger::storedYear(db), 2027);
}

void TestYearbook::killedAtEachStep_data() {
    QTest::addColumn<QStringList>("kills");
    for (const char* step : {"locked", "copied", "checked", "in-place", "cleared"})
        QTest::newRow(step) << QStringList{step};
    QTest::newRow("killed again while finishing") << QStringList{"in-place", "cleared"};
    // Killed from outside, wherever the closing has got to, a commit half-written included.
    for (int ms : {5, 15, 30, 50, 75, 100, 130, 170, 220})
        QTest::newRow(qPrintable(QString("after %1 ms").arg(ms)))
            << QStringList{QString::number(ms)};
}

// Killed at any moment, the closing leaves the year open and whole, or closed; an archive in
// place is whole. Killed at a step, it was before the commit: the year is open. The next
// attempt finishes the closing, taking over the archive.
void TestYearbook::killedAtEachStep() {
    QFETCH(QStringList, kills);
    TestDatabase t;
    makeYear(*t.db());
    // Enough lines for the copy and its check to take a while.
    t.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000) "
           "INSERT INTO JEUX (User, mois, Jour, [type jeux], Cheval, Debit, Credit, SoldeAvant, "
           "SoldeApres) SELECT 'Anne', 'Mai', '02', 'Trio', 'CHEVAL ' || i, i / 100.0, 0, 0, 0 "
           "FROM n");
    const QString before = ledgerText(*t.db());
    const QString archive = ledger::archivePath(t.file(), 2026);
    for (const QString& step : kills) {
        QProcess driver;
        const bool timed = step.front().isDigit();
        driver.start(YEARBOOK_DRIVER, {t.folder(), "2026", "2027-01-10", timed ? "end" : step});
        QVERIFY(driver.waitForStarted());
        if (timed) {
            QTest::qWait(step.toInt());
            driver.kill(); // SIGKILL, unless it is over
        }
        QVERIFY(driver.state() == QProcess::NotRunning || driver.waitForFinished(20000));
        auto db = data::schema::openFile(t.file());
        if (ledger::storedYear(*db) == 2026)
            QCOMPARE(ledgerText(*db), before);
        else
            QVERIFY(timed && QFile::exists(archive) && janvierRows(*db).size() == 2);
        if (!timed) {
            QCOMPARE(driver.exitStatus(), QProcess::CrashExit);
            QCOMPARE(ledger::storedYear(*db), 2026);
            QCOMPARE(QFile::exists(archive), step == "in-place" || step == "cleared");
        }
        if (QFile::exists(archive))
            QCOMPARE(ledgerText(*ledger::openArchive(archive)), before);
    }
    auto db = data::schema::openFile(t.file());
    if (ledger::storedYear(*db) == 2026) {
        const bool archived = QFile::exists(archive);
        QCOMPARE(ledger::closeYear(*db, 2026).resumed, archived);
    }
    QCOMPARE(ledgerText(*ledger::openArchive(archive)), before);
    QCOMPARE(janvierRows(*db), QStringList({"Anne 47.5 47.5 Janvier", "Paul 137.0 137.0 Janvier"}));
    QCOMPARE(QDir(ledger::archiveFolder(t.file())).entryList(QDir::Files), {"velmora-2026.mdb"});
}

void TestYearbook::writesWaitForTheClosing_data() {
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("month");
    QTest::addColumn<bool>("refused");
    // The open year is 2026.
    QTest::newRow("in the year") << QDate(2026, 12, 31) << "Janvier" << false;
    QTest::newRow("new year, January") << QDate(2027, 1, 1) << "Janvier" << true;
    QTest::newRow("new year, a late December") << QDate(2027, 1, 1) << "décembre" << false;
    QTest::newRow("January, February is late") << QDate(2027, 1, 31) << "Février" << false;
    QTest::newRow("March, today's month") << QDate(2027, 3, 1) << "Mars" << true;
    QTest::newRow("March, February") << QDate(2027, 3, 31) << "FÉVRIER" << true;
    QTest::newRow("January, August as written") << QDate(2027, 1, 31) << " AOÛT" << false;
    QTest::newRow("January, December unaccented") << QDate(2027, 1, 31) << "DECEMBRE" << false;
    QTest::newRow("March, April") << QDate(2027, 3, 31) << "Avril" << false;
    QTest::newRow("December, December") << QDate(2027, 12, 1) << "décembre" << true;
    QTest::newRow("two years on") << QDate(2028, 1, 2) << "décembre" << true;
    QTest::newRow("no month, new year") << QDate(2027, 6, 1) << "Mois" << true;
    QTest::newRow("no month, in the year") << QDate(2026, 6, 1) << "Mois" << false;
}

void TestYearbook::writesWaitForTheClosing() {
    QFETCH(QDate, today);
    QFETCH(QString, month);
    QFETCH(bool, refused);
    const auto refusal = ledger::yearRefusal(2026, month, today);
    QCOMPARE(bool(refusal), refused);
    if (refusal) {
        QCOMPARE(refusal->title, QString("Nouvelle année"));
        QCOMPARE(refusal->text, QString("Clôturez d'abord l'année 2026 (menu Fichier)."));
    }
    QCOMPARE(ledger::yearStatus(2026, today),
             today.year() > 2026 ? QString("L'année 2026 est terminée : pensez à la clôturer.")
                                 : QString());
}

void TestYearbook::commandLineAndOlderFiles() {
    TestDatabase t;
    makeYear(*t.db());
    t.exec("DROP TABLE EXERCICE"); // a file of the version before the year
    // The status, or -1 when the words expected were not said.
    const auto run = [&](const QStringList& args, const QString& expected = QString()) {
        QString said;
        QTextStream out(&said), err(&said);
        const int status = runDbTool(args, out, err);
        out.flush();
        err.flush();
        if (!said.contains(expected))
            qWarning("%s", qPrintable(said));
        return said.contains(expected) ? status : -1;
    };
    QCOMPARE(run({"close-year"}), 2);
    QCOMPARE(run({"close-year", "26", t.folder()}, "quatre chiffres"), 2);
    QCOMPARE(run({"close-year", "2026", t.folder(), "encore"}), 2);
    QCOMPARE(run({"close-year", "--vite", "2026"}), 2);
    QCOMPARE(run({"--help"}, "close-year AAAA [DOSSIER]"), 0);
    QTemporaryDir fresh;
    QCOMPARE(run({"init", fresh.path()}, "(année 2027)"), 0);

    // The proposed year: the last one until the end of February.
    QCOMPARE(ledger::proposedYear(QDate(2027, 2, 28)), 2026);
    QCOMPARE(ledger::proposedYear(QDate(2027, 3, 1)), 2027);
    regional::setToday(QDate(2027, 2, 10));
    const QByteArray before = hashOf(t.file());
    QCOMPARE(ledger::storedYear(*t.db()), std::nullopt);
    QCOMPARE(run({"check", t.folder()}, "Velmora proposera 2026"), 0);
    {
        QLockFile velmora(t.file() + ".verrou");
        QVERIFY(velmora.tryLock(0));
        QCOMPARE(run({"close-year", "2026", t.folder()}, "ouvert dans Velmora"), 1);
        QCOMPARE(run({"check", t.folder(), "--reparer"}, "ouvert dans Velmora"), 1);
    }
    QCOMPARE(run({"close-year", "2027", t.folder()}, "registre sans année : 2026 retenue"), 1);
    QCOMPARE(hashOf(t.file()), before);
    QCOMPARE(run({"close-year", "2026", t.file()},
                 "Année 2026 clôturée : 8 lignes archivées dans " +
                     ledger::archivePath(t.file(), 2026) +
                     " ; l'année 2027 est ouverte, 2 joueurs avec leur solde en Janvier."),
             0);
    QCOMPARE(ledger::storedYear(*t.db()), 2027);
    QCOMPARE(run({"close-year", "2026", t.folder()}, "déjà clôturée"), 1);

    // check and backup take the archive itself.
    const QString archive = ledger::archivePath(t.file(), 2026);
    QCOMPARE(run({"check", archive}, "fichier sain"), 0);
    QCOMPARE(run({"backup", t.folder() + "/copie.mdb", archive}), 0);
    QCOMPARE(ledger::storedYear(*ledger::openArchive(t.folder() + "/copie.mdb")), 2026);

    // The year asked at a first opening is recorded once, in place of any other.
    t.exec("DROP TABLE EXERCICE");
    ledger::recordYear(*t.db(), 2025);
    ledger::recordYear(*t.db(), 2027);
    QCOMPARE(t.scalar("SELECT group_concat(annee) FROM EXERCICE").toString(), QString("2027"));
}

void TestYearbook::checkProvesAndMendsTheChains() {
    TestDatabase t;
    const data::Database& db = *t.db();
    makeYear(db);
    addCashedBet(db);
    // An older version's line filed under a month its player has no row for: checked alone.
    t.exec("INSERT INTO JEUX (User, mois, Jour, [type jeux], Cheval, Debit, Credit, SoldeAvant, "
           "SoldeApres) VALUES ('Anne', 'Juin', '02', 'Trio', 'AUTRE JEUX', 5, 0, 20, 15)");
    Said said = dbTool({"check", t.folder()});
    QCOMPARE(said.status, 0);
    QVERIFY2(said.text.endsWith("Anne, Juin : aucune ligne USERS pour ce mois ; sa ligne vérifiée "
                                "seule\n" +
                                t.file() + " : fichier sain.\n"),
             qPrintable(said.text));

    // The old rule: a stake filed under Novembre moved décembre's balance. And a cent astray.
    ledger::addPlayer(db, "Paul", 100_eur, "Novembre");
    ledger::recordGame(db,
                       {ledger::GameKind::Stake, "Paul", "Novembre", "02", "Trio", "", 10_eur, {}});
    ledger::addPlayer(db, "Paul", 150_eur, "décembre");
    t.exec("INSERT INTO JEUX (User, mois, Jour, [type jeux], Cheval, Debit, Credit, SoldeAvant, "
           "SoldeApres) VALUES ('Paul', 'Novembre', '28', 'Trio', 'AUTRE JEUX', 10, 0, 150, 140)");
    const qint64 old = t.scalar("SELECT max(Num) FROM JEUX").toLongLong();
    t.exec("UPDATE USERS SET SoldeEnCours = 140 WHERE pseudo = 'Paul' AND Mois = 'décembre'");
    const qint64 anne = t.scalar("SELECT max(Num) FROM JEUX WHERE User = 'Anne' AND mois = "
                                 "'Mars'")
                            .toLongLong();
    t.exec("UPDATE JEUX SET SoldeApres = SoldeApres + 0.01 WHERE Num = ?", {anne});
    const QByteArray broken = hashOf(t.file());
    const QString brokenLedger = ledgerText(db);
    const QString breaks =
        QString("Anne, Mars : ligne n° %1, solde après 47,51 € au lieu de 47,50 €\n"
                "Anne, Mars : solde en cours 47,50 € au lieu de 47,51 €\n"
                "Paul, Novembre : ligne n° %2, solde avant 150,00 € au lieu de 90,00 €\n"
                "Paul, Novembre : solde en cours 90,00 € au lieu de 140,00 €\n"
                "Paul, décembre : solde en cours 140,00 € au lieu de 150,00 €\n")
            .arg(anne)
            .arg(old);
    said = dbTool({"check", t.folder()});
    QCOMPARE(said.status, 1);
    QVERIFY2(said.text.startsWith(breaks) && said.text.contains("\n5 ruptures de solde\n"),
             qPrintable(said.text));
    QCOMPARE(hashOf(t.file()), broken);

    // Mended from each month's opening balance; amounts and the other months stay.
    const auto untouched = [&] {
        return t
            .scalar("SELECT group_concat(x, ' ') FROM (SELECT Num || User || mois || Debit || "
                    "Credit || IIF(Num IN (?, ?), '', SoldeAvant || SoldeApres) AS x FROM JEUX "
                    "UNION ALL SELECT pseudo || Mois || SoldeDepart || IIF(Mois IN ('Mars', "
                    "'Novembre', 'décembre'), '', SoldeEnCours) FROM USERS)",
                    {old, anne})
            .toString();
    };
    const QString kept = untouched();
    said = dbTool({"check", t.folder(), "--reparer"});
    QCOMPARE(said.status, 0);
    QVERIFY2(said.text.contains("Anne, Mars : 1 ligne réécrite\n"
                                "Paul, Novembre : 1 ligne réécrite, solde en cours 80,00 € (il "
                                "était de 90,00 €)\n"
                                "Paul, décembre : aucune ligne réécrite, solde en cours 150,00 € "
                                "(il était de 140,00 €)\n"
                                "3 mois réparés\n") &&
                 said.text.endsWith(" : fichier sain.\n"),
             qPrintable(said.text));
    QCOMPARE(untouched(), kept);
    QCOMPARE(t.scalar("SELECT SoldeAvant || ' ' || SoldeApres FROM JEUX WHERE Num = ?", {old})
                 .toString(),
             QString("90.0 80.0"));
    QCOMPARE(ledger::account(db, "Paul", "décembre")->balance, 150_eur);
    QCOMPARE(dbTool({"check", t.file()}).status, 0);

    // The copy made first holds the broken file, and the daily copies neither count it nor
    // remove it.
    const QDir copies(dailycopy::folderFor(t.file()));
    const QStringList made = copies.entryList({"avant-reparation-2027-01-10-??????.mdb"});
    QCOMPARE(made.size(), 1);
    const QString copy = copies.filePath(made.first());
    QCOMPARE(ledgerText(*ledger::openArchive(copy)), brokenLedger);
    for (int day = 1; day <= dailycopy::kKept; ++day)
        QFile(copies.filePath(QString("velmora-2026-12-%1.mdb").arg(day, 2, 10, QChar('0'))))
            .open(QIODevice::WriteOnly);
    QCOMPARE(dailycopy::run(t.file(), regional::today()).removed,
             {copies.filePath("velmora-2026-12-01.mdb")});
    QVERIFY(QFile::exists(copy));

    // A copy or an archive is checked as it is, never mended; a month no ledger reads is named.
    const QByteArray copyHash = hashOf(copy);
    said = dbTool({"check", copy});
    QVERIFY2(said.status == 1 && said.text.startsWith(breaks), qPrintable(said.text));
    said = dbTool({"check", copy, "--reparer"});
    QVERIFY2(said.status == 1 && said.text.contains("jamais modifiée"), qPrintable(said.text));
    QCOMPARE(hashOf(copy), copyHash);
    ledger::addPlayer(db, "Zoé", 5_eur, "Agosto");
    said = dbTool({"check", t.folder()});
    QVERIFY2(said.status == 1 &&
                 said.text.contains("Zoé : mois « Agosto » inconnu dans USERS.Mois (1 ligne)\n"),
             qPrintable(said.text));
}

void TestYearbook::januaryTakesEachPlayersLatestMonth_data() {
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QStringList>("january");
    // USERS rows in the order they were added: player, month, balance.
    QTest::newRow("August as an older version wrote it")
        << "Paul Juillet 100, Paul Août 80, Paul Mars 50" << QStringList{"Paul 80.0 80.0 Janvier"};
    QTest::newRow("one player in two spellings")
        << "Paul Mars 100, PAUL Avril 90, paul Février 70" << QStringList{"PAUL 90.0 90.0 Janvier"};
    QTest::newRow("two rows of one month, the later added")
        << "Paul Aout 70, Paul AOÛT 60, Anne Mai 5"
        << QStringList{"Anne 5.0 5.0 Janvier", "Paul 60.0 60.0 Janvier"};
}

void TestYearbook::januaryTakesEachPlayersLatestMonth() {
    QFETCH(QString, rows);
    QFETCH(QStringList, january);
    TestDatabase t;
    ledger::recordYear(*t.db(), 2026);
    for (const QString& row : rows.split(", ")) {
        const QStringList cells = row.split(' ');
        t.exec("INSERT INTO USERS (pseudo, Mois, SoldeDepart, SoldeEnCours) VALUES (?, ?, ?, ?)",
               {cells[0], cells[1], cells[2].toDouble(), cells[2].toDouble()});
    }
    ledger::closeYear(*t.db(), 2026);
    QCOMPARE(janvierRows(*t.db()), january);
}

// The closing takes an archive in place for this ledger only when the two are equal: a bet
// that differs in any column of PARIS is another ledger.
void TestYearbook::archiveCheckCoversEveryBetColumn() {
    QTemporaryDir kept;
    QString archive;
    QStringList columns;
    {
        TestDatabase t;
        makeYear(*t.db());
        addCashedBet(*t.db());
        QCOMPARE(t.scalar("SELECT count(*) FROM PARIS WHERE NumGain IS NOT NULL AND Cote IS NOT "
                          "NULL AND Hippodrome IS NOT NULL")
                     .toInt(),
                 1);
        archive = kept.filePath("velmora-2026.mdb");
        QVERIFY(QFile::copy(ledger::closeYear(*t.db(), 2026).archive, archive));
        const auto read = ledger::openArchive(archive);
        QSqlQuery q = read->exec("SELECT name FROM pragma_table_info('PARIS') ORDER BY cid");
        while (q.next())
            columns << q.value(0).toString();
    }
    QCOMPARE(columns.size(), 13);
    for (const QString& column : QStringList{QString()} + columns) {
        TestDatabase t;
        makeYear(*t.db());
        addCashedBet(*t.db());
        const QString placed = ledger::archivePath(t.file(), 2026);
        QDir().mkpath(ledger::archiveFolder(t.file()));
        QVERIFY(QFile::copy(archive, placed));
        if (!column.isEmpty())
            data::Database::open(placed)->exec(
                QString("UPDATE PARIS SET [%1] = CASE WHEN [%1] = 7 THEN 8 ELSE 7 END")
                    .arg(column));
        try {
            const ledger::ClosingDone done = ledger::closeYear(*t.db(), 2026);
            QVERIFY2(column.isEmpty() && done.resumed, qPrintable(column + " was not compared"));
        } catch (const ClosingRefused& refused) {
            QVERIFY2(!column.isEmpty() && refused.reason == Reason::ArchiveMismatch,
                     qPrintable(column + ": " + refused.text));
        }
    }
}

namespace {

// The file's year with a copy of it in sauvegardes/ made on the 8th, then a stake more.
QString copyThenStake(const TestDatabase& t) {
    makeYear(*t.db());
    const QString copy = dailycopy::copyFor(t.file(), QDate(2027, 1, 8));
    QDir().mkpath(QFileInfo(copy).path());
    if (!dailycopy::run(t.file(), QDate(2027, 1, 8)).error.isEmpty())
        return {};
    ledger::recordGame(
        *t.db(),
        {ledger::GameKind::Stake, "Anne", "Mars", "20", "Simple Gagnant", "Brise", 2_eur, {}});
    return copy;
}

QStringList safetyCopies(const QString& file) {
    return QDir(dailycopy::folderFor(file)).entryList({"avant-restauration-*"}, QDir::Files);
}

} // namespace

void TestYearbook::restoresACopyWhole() {
    TestDatabase t;
    const QString copy = copyThenStake(t);
    QVERIFY(!copy.isEmpty());
    const QString restored = ledgerText(*ledger::openArchive(copy));
    const QByteArray before = hashOf(t.file());
    const QVector<ledger::SavedCopy> listed = ledger::savedCopies(t.file());
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed.first().lines, 8);
    QCOMPARE(listed.first().lastLine, QDate(2026, 3, 5));
    QCOMPARE(ledger::restoreQuestion(9, listed.first()),
             QString("Remplacer le registre actuel (9 lignes) par la copie du 08/01/2027 (8 "
                     "lignes) ?"));
    Connexion.reset();
    const Said said = dbTool({"restore", QFileInfo(copy).fileName(), t.folder()});
    QCOMPARE(said.status, 0);
    const QStringList safety = safetyCopies(t.file());
    QCOMPARE(safety.size(), 1);
    QVERIFY(said.text.contains("Copie de sûreté du registre remplacé : " +
                               QDir(dailycopy::folderFor(t.file())).filePath(safety.first())));
    QVERIFY(said.text.contains("contient maintenant 8 lignes"));
    QCOMPARE(hashOf(QDir(dailycopy::folderFor(t.file())).filePath(safety.first())), before);
    OuvrirConnexion();
    QCOMPARE(ledgerText(*t.db()), restored);
    // The newest copy is the safety copy, marked as such; the daily copies' rotation never
    // takes it, however many days go by.
    QVERIFY(ledger::savedCopies(t.file()).first().beforeRestoring);
    for (int day = 1; day <= 12; ++day)
        dailycopy::run(t.file(), QDate(2027, 2, day));
    QCOMPARE(safetyCopies(t.file()), safety);
}

void TestYearbook::restoreRefusals_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("said");
    QTest::newRow("damaged") << "damaged"
                             << "Cette copie est endommagée";
    QTest::newRow("no database") << "noise"
                                 << "n'est pas une copie du registre de Velmora";
    QTest::newRow("a year's archive") << "archive"
                                      << "Une archive d'année close ne se restaure pas";
    QTest::newRow("before a closing") << "older"
                                      << "Cette copie date d'avant la clôture de 2025";
    QTest::newRow("the file itself") << "itself"
                                     << "le registre lui-même";
    QTest::newRow("held by Velmora") << "held"
                                     << "ouvert dans Velmora";
    QTest::newRow("missing") << "missing"
                             << "Cette copie est introuvable";
}

void TestYearbook::restoreRefusals() {
    QFETCH(QString, kind);
    TestDatabase t;
    QString copy = copyThenStake(t);
    QVERIFY(!copy.isEmpty());
    if (kind == "damaged") {
        // A page in the middle overwritten: the file still opens, its tree is broken.
        QFile file(copy);
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(2 * 4096);
        file.write(QByteArray(4096, '\x5a'));
    } else if (kind == "noise") {
        QFile file(copy);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(5000, 'x'));
    } else if (kind == "archive") {
        const QString archive = ledger::archivePath(t.file(), 2025);
        QDir().mkpath(QFileInfo(archive).path());
        QVERIFY(QFile::copy(copy, archive));
        copy = archive;
    } else if (kind == "older") {
        auto older = data::schema::openFile(copy);
        ledger::recordYear(*older, 2025);
    } else if (kind == "itself") {
        copy = t.file();
    } else if (kind == "missing") {
        copy = t.folder() + "/absente.mdb";
    }
    Connexion.reset();
    QLockFile velmora(t.file() + ".verrou");
    if (kind == "held")
        QVERIFY(velmora.tryLock(0));
    const QByteArray before = hashOf(t.file());
    const Said refused = dbTool({"restore", copy, t.folder()});
    QCOMPARE(refused.status, 1);
    QFETCH(QString, said);
    QVERIFY2(refused.text.contains(said), qPrintable(refused.text));
    QCOMPARE(hashOf(t.file()), before);
    QVERIFY(safetyCopies(t.file()).isEmpty() || kind == "held");
    // A copy that does not open is marked in the list; one damaged inside once checked.
    if (kind == "noise")
        QVERIFY(ledger::savedCopies(t.file()).first().damaged);
    if (kind == "damaged")
        QVERIFY(ledger::readCopy(copy).damaged && ledger::readCopy(copy).checked);
    QCOMPARE(dbTool({"restore"}).status, 2);
}

// Killed at each step, the file is the old one or the copy, whole; a restoring started again
// goes through.
void TestYearbook::restoreKilledAtEachStep() {
    for (const QString step : {"safety", "written", "checked", "replaced"}) {
        TestDatabase t;
        const QString copy = copyThenStake(t);
        QVERIFY(!copy.isEmpty());
        const QString old = ledgerText(*t.db());
        const QString restored = ledgerText(*ledger::openArchive(copy));
        Connexion.reset();
        QProcess driver;
        driver.start(YEARBOOK_DRIVER, {t.folder(), "restore", copy, step});
        QVERIFY(driver.waitForFinished(20000));
        QCOMPARE(driver.exitStatus(), QProcess::CrashExit);
        const QString now = ledgerText(*data::schema::openFile(t.file()));
        QCOMPARE(now, step == "replaced" ? restored : old);
        QCOMPARE(dbTool({"restore", copy, t.folder()}).status, 0);
        QCOMPARE(ledgerText(*data::schema::openFile(t.file())), restored);
        QVERIFY(!QFile::exists(t.file() + ".restauration"));
    }
}

void TestYearbook::searchAcrossTheYears_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("player");
    QTest::addColumn<QString>("least");
    QTest::addColumn<QString>("most");
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("found"); // year month player horse stake/win state
    const int any = int(ledger::SearchState::Any);
    // The closed 2026 spells its horse "Jolie" (stored JOLIE); 2027 writes another horse three
    // ways (the ledger stores it without its straight apostrophe). A reversed stake and its
    // reversal are both found; a credit is found by its amount.
    QTest::newRow("a horse in the archive")
        << "jolie"
        << ""
        << ""
        << "" << any
        << QStringList{"2026 Mars Paul JOLIE 10,00/0,00 ",  "2026 Mars Paul JOLIE 0,00/25,00 ",
                       "2026 Mars Paul JOLIE -10,00/0,00 ", "2026 Mars Paul JOLIE 3,00/0,00 ",
                       "2026 Mars Anne JOLIE 12,50/0,00 ",  "2026 Mars Paul JOLIE 4,00/0,00 gagné",
                       "2026 Mars Paul JOLIE 0,00/18,00 ",  "2026 Avril Paul JOLIE 5,00/0,00 "};
    QTest::newRow("accents and apostrophes aside")
        << "eclair d'or"
        << ""
        << ""
        << "" << any
        << QStringList{"2027 Mars Paul ÉCLAIR D’OR 6,00/0,00 en cours",
                       "2027 Mai Anne ECLAIR DOR 2,00/0,00 ",
                       "2027 Mai Anne ÉCLAIR DOR 0,00/9,00 "};
    QTest::newRow("one player, any case") << "éclair"
                                          << "anne"
                                          << ""
                                          << "" << any
                                          << QStringList{"2027 Mai Anne ECLAIR DOR 2,00/0,00 ",
                                                         "2027 Mai Anne ÉCLAIR DOR 0,00/9,00 "};
    QTest::newRow("amount bounds, both included")
        << ""
        << "Paul"
        << "5"
        << "7,00" << any
        << QStringList{"2026 Mars Paul autre jeux 0,00/5,00 ", "2026 Avril Paul JOLIE 5,00/0,00 ",
                       "2027 Mars Paul ÉCLAIR D’OR 6,00/0,00 en cours",
                       "2027 Avril Paul BRISE 7,00/0,00 gagné, à encaisser"};
    QTest::newRow("bets to cash") << ""
                                  << ""
                                  << ""
                                  << "" << int(ledger::SearchState::ToCash)
                                  << QStringList{
                                         "2027 Avril Paul BRISE 7,00/0,00 gagné, à encaisser"};
    QTest::newRow("won bets, cashed or not")
        << ""
        << ""
        << ""
        << "" << int(ledger::SearchState::Won)
        << QStringList{"2026 Mars Paul JOLIE 4,00/0,00 gagné",
                       "2027 Avril Paul BRISE 7,00/0,00 gagné, à encaisser"};
    QTest::newRow("a game type") << "simple place"
                                 << "Anne"
                                 << ""
                                 << "" << any << QStringList{"2027 Mai Anne ECLAIR DOR 2,00/0,00 "};
    QTest::newRow("a word of a remark")
        << "annulee par"
        << ""
        << ""
        << "" << any
        << QStringList{"2026 Mars Paul JOLIE 10,00/0,00 ", "2026 Mars Paul autre jeux 0,00/5,00 "};
    QTest::newRow("nothing") << "inconnu"
                             << ""
                             << ""
                             << "" << any << QStringList();
}

void TestYearbook::searchAcrossTheYears() {
    TestDatabase t;
    makeYear(*t.db());
    addCashedBet(*t.db());
    ledger::closeYear(*t.db(), 2026);
    using namespace ledger;
    const auto game = [&](GameKind kind, const char* player, const char* month, const char* type,
                          const char* horse, Money amount, std::optional<BetSlip> bet = {}) {
        return recordGame(*t.db(), {kind, player, month, "12", QString::fromUtf8(type),
                                    QString::fromUtf8(horse), amount, bet})
            .num;
    };
    addPlayer(*t.db(), "Paul", 100_eur, "Mars");
    addPlayer(*t.db(), "Anne", 100_eur, "Mai");
    game(GameKind::Stake, "Paul", "Mars", "Simple Gagnant", "Éclair d’Or", 6_eur,
         BetSlip{QDate(2027, 3, 12), {1, 1, "Pau"}, 3.0});
    game(GameKind::Stake, "Anne", "Mai", "Simple Placé", "Eclair d'Or", 2_eur);
    game(GameKind::Win, "Anne", "Mai", "Simple Gagnant", "ÉCLAIR D'OR", 9_eur);
    addPlayer(*t.db(), "Paul", 100_eur, "Avril");
    markBet(*t.db(),
            game(GameKind::Stake, "Paul", "Avril", "Simple Gagnant", "Brise", 7_eur,
                 BetSlip{QDate(2027, 4, 12), {1, 2, "Pau"}, 2.0}),
            BetState::Won);

    SearchQuery query;
    QFETCH(QString, text);
    QFETCH(QString, player);
    QFETCH(QString, least);
    QFETCH(QString, most);
    QFETCH(int, state);
    query.text = text;
    query.player = player;
    if (!least.isEmpty())
        query.least = regional::parseAmount(least);
    if (!most.isEmpty())
        query.most = regional::parseAmount(most);
    query.state = SearchState(state);
    const QString archive = archivePath(t.file(), 2026);
    QVector<FoundLine> found = searchLines(*openArchive(archive), 2026, archive, query);
    found += searchLines(*t.db(), 2027, QString(), query);
    QStringList lines;
    for (const FoundLine& line : found) {
        QCOMPARE(line.archive, line.year == 2026 ? archive : QString());
        lines << QString("%1 %2 %3 %4 %5/%6 %7")
                     .arg(line.year)
                     .arg(line.month, line.player, line.horse, regional::typedAmount(line.stake),
                          regional::typedAmount(line.win), line.state);
    }
    QTEST(lines, "found");
    // Credits are no wins; a reversal cancels its stake.
    FoundTotals expected;
    for (const FoundLine& line : found) {
        if (!isCreditType(line.type)) {
            expected.stakes += line.stake;
            expected.wins += line.win;
        }
    }
    QCOMPARE(totalsOf(found).net(), expected.net());
}

void TestYearbook::limitQuestions_data() {
    QTest::addColumn<QString>("ceiling");
    QTest::addColumn<QString>("maxLoss");
    QTest::addColumn<int>("stake");
    QTest::addColumn<QString>("question"); // its figures, "" for none
    QTest::addColumn<QString>("left");
    // Paul's Mars: 40 € staked, 15 € won, a reversed 8 € stake and a credit that count for
    // nothing.
    QTest::newRow("within both") << "100"
                                 << "50" << 10 << ""
                                 << "60,00";
    QTest::newRow("up to the ceiling") << "50"
                                       << "" << 10 << ""
                                       << "10,00";
    QTest::newRow("past the ceiling") << "45"
                                      << "" << 10 << "mises 50,00 € / plafond 45,00 €"
                                      << "5,00";
    QTest::newRow("past the loss limit") << ""
                                         << "30" << 10 << "perte 35,00 € / limite 30,00 €"
                                         << "";
    QTest::newRow("both: the ceiling told") << "45"
                                            << "30" << 10 << "mises 50,00 € / plafond 45,00 €"
                                            << "5,00";
    QTest::newRow("already past") << "30"
                                  << "" << 1 << "mises 41,00 € / plafond 30,00 €"
                                  << "-10,00";
}

void TestYearbook::limitQuestions() {
    TestDatabase t;
    using namespace ledger;
    addPlayer(*t.db(), "Paul", 100_eur, "Mars");
    const auto game = [&](GameKind kind, Money amount) {
        return recordGame(*t.db(),
                          {kind, "Paul", "Mars", "03", "Simple Gagnant", "Jolie", amount, {}})
            .num;
    };
    game(GameKind::Stake, 25_eur);
    game(GameKind::Stake, 15_eur);
    game(GameKind::Win, 15_eur);
    reverseLine(*t.db(), game(GameKind::Stake, 8_eur));
    addCredit(*t.db(), "Paul", "Mars", "04", 200_eur);
    QFETCH(QString, ceiling);
    QFETCH(QString, maxLoss);
    Limits limits;
    if (!ceiling.isEmpty())
        limits.ceiling = regional::parseAmount(ceiling);
    if (!maxLoss.isEmpty())
        limits.maxLoss = regional::parseAmount(maxLoss);
    setLimits(*t.db(), "paul", limits);
    const Limits stored = limitsOf(*t.db(), "Paul");
    QCOMPARE(stored.ceiling, limits.ceiling);
    QCOMPARE(stored.maxLoss, limits.maxLoss);
    const MonthPlay play = monthPlay(*t.db(), "Paul", "Mars");
    QCOMPARE(play.stakes, 40_eur);
    QFETCH(int, stake);
    QString asked = limitQuestion(stored, play, Money::fromCents(stake * 100), "Mars");
    asked.replace(QChar(0x202F), ' ').replace(QChar(0x00A0), ' ');
    static const QRegularExpression figures(
        "porte (?:vos|votre) (mises|perte) de Mars à (.+) pour (?:un|une) (plafond|limite) de "
        "(.+)\\. L'enregistrer quand même \\?$");
    const QRegularExpressionMatch match = figures.match(asked);
    QVERIFY2(asked.isEmpty() || match.hasMatch(), qPrintable(asked));
    QTEST(match.hasMatch()
              ? QString("%1 %2 / %3 %4")
                    .arg(match.captured(1), match.captured(2), match.captured(3), match.captured(4))
              : QString(),
          "question");
    const auto left = leftToStake(stored, play);
    QTEST(left ? regional::typedAmount(*left) : QString(), "left");
}

// The limits stay in the file for the next year, and the archive keeps them.
void TestYearbook::limitsOutliveTheClosing() {
    TestDatabase t;
    makeYear(*t.db());
    ledger::setLimits(*t.db(), "Paul", {100_eur, std::nullopt});
    ledger::closeYear(*t.db(), 2026);
    QCOMPARE(ledger::limitsOf(*t.db(), "Paul").ceiling, std::optional<Money>(100_eur));
    const auto archive = ledger::openArchive(ledger::archivePath(t.file(), 2026));
    QCOMPARE(ledger::limitsOf(*archive, "Paul").ceiling, std::optional<Money>(100_eur));
    // An older file gets the table at opening.
    t.exec("DROP TABLE LIMITES");
    Connexion.reset();
    OuvrirConnexion();
    QVERIFY(data::schema::hasLimitsTable(*t.db()));
}

QTEST_MAIN(TestYearbook)
#include "tst_yearbook.moc"
