#include "data/regional.h"
#include "data/schema.h"
#include "ledger/ledgerbook.h"
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
    ledger::recordGame(db, {ledger::GameKind::Stake, "Paul", "Janvier", "11", "Trio", "", 2_eur, {}});
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
    }
    QCOMPARE(run({"close-year", "2027", t.folder()}, "registre sans année : 2026 retenue"), 1);
    QCOMPARE(hashOf(t.file()), before);
    QCOMPARE(run({"close-year", "2026", t.folder()}, "Année 2026 clôturée"), 0);
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

QTEST_MAIN(TestYearbook)
#include "tst_yearbook.moc"
