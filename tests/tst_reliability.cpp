#include "app/frmsplash.h"
#include "data/connection.h"
#include "data/maintenance.h"
#include "data/paths.h"
#include "data/regional.h"
#include "data/schema.h"
#include "followed/fsuivit.h"
#include "ledger/form1.h"
#include "ledger/ledgerbook.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testdatabase.h"
#include "tests/support/testfiles.h"
#include "tests/support/testwindows.h"
#include "tools/dbtool.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSet>
#include <QtTest>
#include <functional>
#include <unistd.h>

namespace {

using testfiles::closeAllWindows;
using testfiles::hashOf;

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

// A good file with enough rows to span many pages.
void makeGoodFile(const QString& path) {
    auto db = data::schema::createFile(path);
    db->exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) "
             "INSERT INTO CR (date, hippodrome, R, C, cheval, place, discipline) "
             "SELECT '2024-01-01', 'Vincennes', 1, i, 'CHEVAL ' || i, '1', 'plat' FROM n");
}

// Players with a balance row for Mars, as the crash driver expects.
void addPlayers(const data::Database& db) {
    for (const char* name : {"Paul", "Anne"})
        db.exec("INSERT INTO USERS (pseudo, SoldeDepart, SoldeEnCours, Mois) "
                "VALUES (?, 100, 100, 'Mars')",
                {QString::fromLatin1(name)});
}

// The player's March statement, picked as the user would.
void pickPlayer(Form1& form, const QString& player) {
    form.findChild<QComboBox*>("C_mois")->setCurrentText("Mars");
    auto* users = form.findChild<QComboBox*>("C_users");
    const int index = users->findText(player);
    QVERIFY(index >= 0);
    users->setCurrentIndex(index);
    emit users->activated(index);
}

// A stake of 5 recorded through the ledger window, as the user would.
void recordStakeInWindow(Form1& form, const QString& player, bool pick = true) {
    if (pick)
        pickPlayer(form, player);
    form.findChild<QComboBox*>("Ctypejeux")->setEditText("Simple Gagnant");
    form.findChild<QLineEdit*>("Cmontant")->setText("5");
    form.findChild<QPushButton*>("BT_savemise")->click();
}

double storedBalance(const data::Database& db, const QString& player) {
    return db.scalar("SELECT SoldeEnCours FROM USERS WHERE pseudo = ? AND Mois = 'Mars'", {player})
        .toDouble();
}

// Runs the crash driver's single recording, as another user when the test runs as root
// (root writes through any permission, so the refusal would never be seen).
QStringList recordOnceElsewhere(const QString& folder) {
    QProcess driver;
    QStringList args{QStringLiteral(CRASH_DRIVER), folder, QStringLiteral("once")};
    QString program = args.takeFirst();
    QTemporaryDir copyDir;
    if (geteuid() == 0) {
        // The build folder may sit where the other user cannot reach (under /root): the
        // driver runs from a copy in a folder everyone can enter.
        const auto open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                          QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                          QFileDevice::ExeOther;
        QFile::setPermissions(copyDir.path(), open);
        const QString copy = copyDir.filePath(QStringLiteral("crash_driver"));
        if (!QFile::copy(program, copy) || !QFile::setPermissions(copy, open))
            return {};
        program = copy;
        args.prepend(program);
        args = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + args;
        program = QStringLiteral("setpriv");
    }
    driver.start(program, args);
    if (!driver.waitForFinished(20000))
        return {};
    return QString::fromUtf8(driver.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

class TestReliability : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        closeAllWindows();
        Connexion.reset();
        paths::setProgramFolder(QString());
        regional::setToday(QDate());
    }

    void wrongFilesAtStartUp_data();
    void wrongFilesAtStartUp();
    void checkAndBackup();
    void crashAtAnyMomentLosesNothing();
    void fullDiskWritesNothing();
    void lockedFileWaitsThenReports();
    void readOnlyFileOrFolder_data();
    void readOnlyFileOrFolder();
    void damagedFilesNeverCrash();
};

void TestReliability::wrongFilesAtStartUp_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected");
    // No file at all is a first start, with its own question.
    QTest::newRow("garbage") << "garbage"
                             << "n'est pas une base de données lisible";
    QTest::newRow("truncated") << "truncated"
                               << "database disk image is malformed";
    QTest::newRow("jet") << "jet"
                         << "base Access (Jet)";
    QTest::newRow("foreign") << "foreign"
                             << "appartient à une autre application";
    QTest::newRow("newer") << "newer"
                           << "version plus récente";
    QTest::newRow("lacking a table") << "lacking"
                                     << "la ou les tables : CR";
    QTest::newRow("empty file") << "empty"
                                << "JEUX, USERS, TYPEJEUX, MESSUIVITS, COURSES, CR";
}

void TestReliability::wrongFilesAtStartUp() {
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    paths::setProgramFolder(dir.path());
    const QString file = paths::databaseFile();
    if (kind == "garbage") {
        QByteArray bytes(8192, '\0');
        QRandomGenerator rng(42);
        for (auto& b : bytes)
            b = char(rng.bounded(256));
        writeFile(file, bytes);
    } else if (kind == "truncated") {
        makeGoodFile(file);
        QFile f(file);
        QVERIFY(f.resize(f.size() / 2));
    } else if (kind == "jet") {
        QByteArray bytes(4096, '\0');
        bytes.replace(0, 19, QByteArray("\x00\x01\x00\x00Standard Jet DB", 19));
        writeFile(file, bytes);
    } else if (kind == "foreign") {
        auto db = data::Database::open(file, data::Database::Mode::Create);
        db->exec("CREATE TABLE notes (texte TEXT)");
        db->exec("PRAGMA application_id = 1234");
    } else if (kind == "newer") {
        auto db = data::schema::createFile(file);
        db->exec(QString("PRAGMA user_version = %1").arg(data::schema::kVersion + 1));
    } else if (kind == "lacking") {
        auto db = data::schema::createFile(file);
        db->exec("DROP TABLE CR");
    } else if (kind == "empty") {
        writeFile(file, {});
    }
    const bool existed = QFile::exists(file);
    const QByteArray before = hashOf(file);

    ScriptedDialogs dialogs;
    dialogs.answer(dialogs::Answer::Ok);
    QCOMPARE(startProgram(), 1);
    QCOMPARE(dialogs.shown().size(), 1);
    QCOMPARE(dialogs.last().icon, dialogs::Icon::Critical);
    QVERIFY2(dialogs.last().text.contains(expected), qPrintable(dialogs.last().text));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (QWidget* w : QApplication::topLevelWidgets())
        QVERIFY(!w->isVisible());
    QVERIFY(!Connexion);
    QCOMPARE(QFile::exists(file), existed);
    QCOMPARE(hashOf(file), before);
}

void TestReliability::checkAndBackup() {
    QTemporaryDir dir;
    const QString good = dir.filePath("velmora.mdb");
    makeGoodFile(good);
    QVERIFY(data::maintenance::check(good).sound);

    // A copy taken while another connection is writing is complete and sound.
    auto writer = data::Database::open(good);
    writer->exec("BEGIN IMMEDIATE");
    writer->exec("INSERT INTO USERS (pseudo, Mois, SoldeDepart, SoldeEnCours) VALUES ('Paul', "
                 "'Mars', 10, 10)");
    const QString copy = dir.filePath("copie.mdb");
    QVERIFY(data::maintenance::backup(good, copy).isEmpty());
    writer->exec("COMMIT");
    QVERIFY(data::maintenance::check(copy).sound);
    auto copied = data::schema::openFile(copy);
    QCOMPARE(copied->scalar("SELECT COUNT(*) FROM CR").toInt(), 5000);
    QCOMPARE(copied->scalar("SELECT COUNT(*) FROM USERS").toInt(), 0); // not committed then
    copied.reset();

    // An existing destination is never replaced.
    const QByteArray copyHash = hashOf(copy);
    QVERIFY(!data::maintenance::backup(good, copy).isEmpty());
    QCOMPARE(hashOf(copy), copyHash);

    // A damaged page is found by the check.
    const QString damaged = dir.filePath("abime.mdb");
    QVERIFY(QFile::copy(good, damaged));
    {
        QFile f(damaged);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const qint64 pageSize = 4096;
        for (qint64 page = 2; page < f.size() / pageSize; page += 3) {
            f.seek(page * pageSize + 100);
            f.write(QByteArray(64, '\x5a'));
        }
    }
    const auto verdict = data::maintenance::check(damaged);
    QVERIFY(!verdict.sound);
    QVERIFY(!verdict.problems.isEmpty());
    QVERIFY(!data::maintenance::check(dir.filePath("absent.mdb")).sound);

    // The same through the command line: a plain verdict and its status.
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    QCOMPARE(runDbTool({"check", dir.path()}, out, err), 0);
    QVERIFY(outText.contains("fichier sain"));
    QVERIFY(QFile::rename(good, dir.filePath("sain.mdb")) && QFile::rename(damaged, good));
    QCOMPARE(runDbTool({"check", dir.path()}, out, err), 1);
    QVERIFY(outText.contains("fichier endommagé"));
    // A damaged file is copied only when asked for on purpose.
    QCOMPARE(runDbTool({"backup", dir.filePath("autre.mdb"), dir.path()}, out, err), 1);
    QVERIFY(!QFile::exists(dir.filePath("autre.mdb")));
    QCOMPARE(runDbTool({"backup", "--force", dir.filePath("autre.mdb"), dir.path()}, out, err), 0);
    QCOMPARE(runDbTool({"backup", "--force", dir.filePath("autre.mdb"), dir.path()}, out, err), 1);
    QVERIFY(errText.contains("existe déjà"));
}

void TestReliability::crashAtAnyMomentLosesNothing() {
    QTemporaryDir dir;
    const QString file = dir.filePath("velmora.mdb");
    addPlayers(*data::schema::createFile(file));
    QRandomGenerator rng(20261207);
    const int rounds = 100;
    int killedWhileWriting = 0;
    QSet<qlonglong> printed;
    for (int round = 0; round < rounds; ++round) {
        QProcess driver;
        driver.start(CRASH_DRIVER, {dir.path(), QString::number(round)});
        QVERIFY(driver.waitForStarted());
        QTest::qWait(int(rng.bounded(30, 250)));
        if (driver.state() == QProcess::Running)
            ++killedWhileWriting;
        driver.kill(); // SIGKILL
        QVERIFY(driver.waitForFinished());
        const QStringList lines =
            QString::fromUtf8(driver.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        for (const QString& line : lines)
            printed.insert(line.toLongLong());
        QVERIFY2(driver.readAllStandardError().isEmpty(), "the driver reported an error");

        const auto verdict = data::maintenance::check(file);
        QVERIFY2(verdict.sound, qPrintable(verdict.problems.join('\n')));
        auto db = data::schema::openFile(file);
        // Every entry announced as committed is there.
        for (qlonglong entry : std::as_const(printed))
            QVERIFY2(db->scalar("SELECT COUNT(*) FROM JEUX WHERE Num = ?", {entry}).toInt() == 1,
                     qPrintable(QString("entry %1 lost in round %2").arg(entry).arg(round)));
        // Every ledger row came with its balance change, and no balance change without it.
        QSqlQuery q =
            db->exec("SELECT u.pseudo, u.SoldeDepart, u.SoldeEnCours, "
                     " COALESCE(SUM(CASE WHEN j.[type jeux] = 'Approvisionnement compte' THEN "
                     "j.Credit END), 0),"
                     " COALESCE(SUM(CASE WHEN j.[type jeux] <> 'Approvisionnement compte' THEN "
                     "j.Credit END), 0),"
                     " COALESCE(SUM(j.Debit), 0) "
                     "FROM USERS u LEFT JOIN JEUX j ON j.User = u.pseudo AND j.mois = u.Mois "
                     "GROUP BY u.Id");
        int players = 0;
        while (q.next()) {
            ++players;
            const auto amount = [&](int column) { return Money::fromStored(q.value(column)); };
            QVERIFY2(amount(1) == 100_eur + amount(3),
                     qPrintable(q.value(0).toString() + " deposits"));
            QVERIFY2(amount(2) == 100_eur + amount(3) + amount(4) - amount(5),
                     qPrintable(q.value(0).toString() + " balance"));
        }
        QCOMPARE(players, 2);
    }
    QVERIFY(printed.size() > rounds); // the driver did get work done between kills
    QVERIFY(killedWhileWriting > rounds / 2);
    qInfo("%d rounds killed and survived, %lld entries committed", rounds,
          qlonglong(printed.size()));
}

void TestReliability::fullDiskWritesNothing() {
    TestDatabase db;
    // The players' rows are March's: the entry is filed under today's month.
    regional::setToday(QDate(2024, 3, 6));
    addPlayers(*db.db());
    ScriptedDialogs dialogs;
    Form1 form;
    form.setAttribute(Qt::WA_DeleteOnClose, false);
    form.show();

    // Fill the file to its last page with rows shaped like the entry to come, so that the
    // entry needs a page the file may not have.
    const qlonglong pages = db.scalar("PRAGMA page_count").toLongLong();
    db.exec(QString("PRAGMA max_page_count = %1").arg(pages + 4));
    try {
        for (;;)
            db.exec("INSERT INTO JEUX (User, mois, Jour, [type jeux], Cheval, Debit, Credit, "
                    "SoldeAvant, SoldeApres) VALUES ('Paul', 'Mars', '06', 'Simple Gagnant', "
                    "'AUTRE JEUX', 5.0, 0.0, 100.0, 95.0)");
    } catch (const data::DbError& error) {
        QCOMPARE(error.code(), data::sqlite_code::Full);
    }
    const int rowsBefore = db.scalar("SELECT COUNT(*) FROM JEUX").toInt();

    dialogs.answer(dialogs::Answer::Ok);
    recordStakeInWindow(form, "Paul");
    QCOMPARE(dialogs.last().title, QString("Erreur"));
    QVERIFY2(dialogs.last().text.contains("disque est plein"), qPrintable(dialogs.last().text));
    QCOMPARE(db.scalar("SELECT COUNT(*) FROM JEUX").toInt(), rowsBefore);
    QCOMPARE(storedBalance(*db.db(), "Paul"), 100.0);
    QVERIFY(data::maintenance::check(db.file()).sound);

    // Room made: the same recording goes through.
    db.exec("PRAGMA max_page_count = 1000000");
    dialogs.clear();
    recordStakeInWindow(form, "Paul");
    QVERIFY(dialogs.shown().isEmpty());
    QCOMPARE(db.scalar("SELECT COUNT(*) FROM JEUX").toInt(), rowsBefore + 1);
    QCOMPARE(storedBalance(*db.db(), "Paul"), 95.0);
    QVERIFY(dialogs.allUsed());
}

void TestReliability::lockedFileWaitsThenReports() {
    TestDatabase db;
    // The players' rows are March's: the entry is filed under today's month.
    regional::setToday(QDate(2024, 3, 6));
    addPlayers(*db.db());
    ScriptedDialogs dialogs;
    Form1 form;
    form.setAttribute(Qt::WA_DeleteOnClose, false);
    form.show();

    // Another program takes the file for itself, then lets it go after `seconds`.
    auto holdLock = [&](QProcess& other, double seconds) {
        other.start("sqlite3", {db.file()});
        QVERIFY(other.waitForStarted());
        other.write(QString("BEGIN EXCLUSIVE;\nSELECT 'held';\n.shell sleep %1\nCOMMIT;\n.quit\n")
                        .arg(seconds)
                        .toUtf8());
        QVERIFY(other.waitForReadyRead(5000));
        QCOMPARE(other.readAllStandardOutput().trimmed(), QByteArray("held"));
    };

    pickPlayer(form, "Paul");
    {
        QProcess other;
        holdLock(other, 6);
        dialogs.answer(dialogs::Answer::Ok);
        QElapsedTimer timer;
        timer.start();
        recordStakeInWindow(form, "Paul", false);
        const qint64 waited = timer.elapsed();
        QVERIFY2(waited >= 1800 && waited < 5000, qPrintable(QString::number(waited)));
        QVERIFY2(dialogs.last().text.contains("utilisé par un autre programme"),
                 qPrintable(dialogs.last().text));
        other.kill();
        other.waitForFinished();
    }
    QCOMPARE(db.scalar("SELECT COUNT(*) FROM JEUX").toInt(), 0);
    QCOMPARE(storedBalance(*db.db(), "Paul"), 100.0);

    {
        QProcess other;
        holdLock(other, 0.7);
        dialogs.clear();
        recordStakeInWindow(form, "Paul");
        QVERIFY(dialogs.shown().isEmpty());
        other.waitForFinished();
    }
    QCOMPARE(db.scalar("SELECT COUNT(*) FROM JEUX").toInt(), 1);
    QCOMPARE(storedBalance(*db.db(), "Paul"), 95.0);
    QVERIFY(dialogs.allUsed());
}

void TestReliability::readOnlyFileOrFolder_data() {
    QTest::addColumn<bool>("folderReadOnly");
    QTest::addColumn<QString>("expected");
    QTest::newRow("file") << false << "lecture seule";
    // The journal cannot be created beside the file: the engine calls that read-only too.
    QTest::newRow("folder") << true << "lecture seule";
}

void TestReliability::readOnlyFileOrFolder() {
    QFETCH(bool, folderReadOnly);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString file = dir.filePath("velmora.mdb");
    {
        auto db = data::schema::createFile(file);
        addPlayers(*db);
        db->exec("INSERT INTO JEUX (User, mois, Debit) VALUES ('Paul', 'Mars', 1)");
    }
    const auto all = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                     QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                     QFileDevice::ExeOther;
    const auto readable = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QFile::setPermissions(dir.path(), folderReadOnly ? (all & ~QFileDevice::WriteOwner) : all);
    QFile::setPermissions(file, folderReadOnly ? (readable | QFileDevice::WriteOwner |
                                                  QFileDevice::WriteGroup | QFileDevice::WriteOther)
                                               : readable);
    const QByteArray before = hashOf(file);
    const QStringList outcome = recordOnceElsewhere(dir.path());
    QFile::setPermissions(dir.path(), all);
    QVERIFY(outcome.size() >= 2);
    QVERIFY2(outcome.front().contains(expected), qPrintable(outcome.join('\n')));
    QCOMPARE(outcome.back(), QString("1")); // reading still works
    QCOMPARE(hashOf(file), before);
}

void TestReliability::damagedFilesNeverCrash() {
    QTemporaryDir dir;
    const QString good = dir.filePath("bon.mdb");
    {
        auto db = data::schema::createFile(good);
        addPlayers(*db);
        for (int i = 0; i < 300; ++i)
            ledger::recordGame(*db, {ledger::GameKind::Stake,
                                     "Paul",
                                     "Mars",
                                     "03",
                                     "Simple Gagnant",
                                     QString("Cheval %1").arg(i % 7),
                                     Money::fromCents(250),
                                     {}});
        db->exec("INSERT INTO MESSUIVITS (nomcheval) VALUES ('CHEVAL 1'), ('CHEVAL 2')");
        db->exec(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
            "INSERT INTO CR (date, hippodrome, R, C, cheval, place, discipline, jockey, "
            "[type de course], valeur) SELECT printf('2024-%02d-%02d', i % 12 + 1, i % 28 + 1),"
            " 'Chantilly', 1, i, 'CHEVAL ' || (i % 3), '' || (i % 5), 'plat', 'J. Doe',"
            " 'Groupe II', 40 + i % 5 FROM n");
    }
    QFile source(good);
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray pristine = source.readAll();
    source.close();

    paths::setProgramFolder(dir.path());
    ScriptedDialogs dialogs;
    dialogs.answerAnyBox();
    QRandomGenerator rng(500);
    const int copies = 500;
    int opened = 0;
    for (int copy = 0; copy < copies; ++copy) {
        QByteArray bytes = pristine;
        const int changes = int(rng.bounded(1, 17));
        for (int i = 0; i < changes; ++i)
            bytes[int(rng.bounded(bytes.size()))] = char(rng.bounded(256));
        writeFile(paths::databaseFile(), bytes);
        // Whatever the damage, each box is answered and the program goes on.
        try {
            OuvrirConnexion();
        } catch (const data::DbError&) {
            dialogs.clear();
            continue;
        }
        ++opened;
        {
            Form1 form;
            form.setAttribute(Qt::WA_DeleteOnClose, false);
            auto* users = form.findChild<QComboBox*>("C_users");
            if (users->count() > 0) {
                users->setCurrentIndex(0);
                emit users->activated(0);
            }
        }
        {
            auto* followed = new Fsuivit();
            if (auto* list = followed->findChild<QListWidget*>("Lsuivit"); list->count() > 0)
                list->setCurrentRow(0);
            followed->findChild<QPushButton*>("Bt_Groupe")->click();
            followed->close();
            delete followed;
        }
        Connexion.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        dialogs.clear();
    }
    qInfo("%d damaged copies tried, %d still opened", copies, opened);
    QVERIFY(opened > 0);
}

QTEST_MAIN(TestReliability)
#include "tst_reliability.moc"
