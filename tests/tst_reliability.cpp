#include "app/connection.h"
#include "app/frmsplash.h"
#include "app/paths.h"
#include "data/maintenance.h"
#include "data/schema.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testdatabase.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtTest>
#include <functional>

namespace {

QByteArray hashOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

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

void closeAllWindows() {
    for (QWidget* w : QApplication::topLevelWidgets())
        w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestReliability : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        closeAllWindows();
        Connexion.reset();
        paths::setProgramFolder(QString());
    }

    void wrongFilesAtStartUp_data();
    void wrongFilesAtStartUp();
    void checkAndBackup();
};

void TestReliability::wrongFilesAtStartUp_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing") << "missing" << "introuvable";
    QTest::newRow("garbage") << "garbage" << "n'est pas une base de données lisible";
    QTest::newRow("truncated") << "truncated" << "database disk image is malformed";
    QTest::newRow("jet") << "jet" << "base Access (Jet)";
    QTest::newRow("foreign") << "foreign" << "appartient à une autre application";
    QTest::newRow("newer") << "newer" << "version plus récente";
    QTest::newRow("lacking a table") << "lacking" << "la ou les tables : CR";
    QTest::newRow("empty file") << "empty" << "JEUX, USERS, TYPEJEUX, MESSUIVITS, COURSES, CR";
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
    writer->exec("INSERT INTO USERS (pseudo, Mois, SoldeEnCours) VALUES ('Paul', 'Mars', 10)");
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
}

QTEST_MAIN(TestReliability)
#include "tst_reliability.moc"
