#include "data/connection.h"
#include "data/errors.h"
#include "data/money.h"
#include "data/recordset.h"
#include "data/schema.h"
#include "data/transaction.h"
#include "tests/support/testdatabase.h"
#include "tools/dbtool.h"

#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using data::DbError;
using data::RecordSet;

class TestData : public QObject {
    Q_OBJECT
private slots:
    void init() { m_db = std::make_unique<TestDatabase>(); }
    void cleanup() { m_db.reset(); }
    void openingFailureWithoutExplanation();

    void schemaColumnsInOrder_data();
    void schemaColumnsInOrder();
    void schemaKeepsCaseInsensitiveNamesAndStamps();
    void initToolRefusesToOverwrite();
    void olderFileGetsWhatItLacksOnce();
    void walkAndReadByPosition();
    void nullIsNotEmptyText();
    void boundValuesAreNeverSql();
    void setFieldConvertsToTheColumnType();
    void appendUpdateDeleteByRowid();
    void appendingDoesNotLoadTheTable();
    void engineErrorsCarryCodeAndText();
    void transactionRollsBackUnlessCommitted();
    void moneyFromTheFileToTheNearestCent_data();
    void moneyFromTheFileToTheNearestCent();

private:
    std::unique_ptr<TestDatabase> m_db;
};

void TestData::schemaColumnsInOrder_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("columns");
    QTest::newRow("JEUX") << "JEUX" << QStringList{"Num",      "User",       "mois",      "Jour",
                                                   "Remarque", "type jeux",  "Cheval",    "Debit",
                                                   "Credit",   "SoldeAvant", "SoldeApres"};
    QTest::newRow("USERS") << "USERS"
                           << QStringList{"Id", "pseudo", "SoldeDepart", "SoldeEnCours", "Mois"};
    QTest::newRow("TYPEJEUX") << "TYPEJEUX" << QStringList{"Id", "TypeJeu"};
    QTest::newRow("MESSUIVITS") << "MESSUIVITS"
                                << QStringList{"num",         "nomcheval",  "SaValeur",
                                               "EtatTerrain", "LaDistance", "LaDotation",
                                               "TypeCourse",  "SaPlace"};
    QTest::newRow("COURSES") << "COURSES" << QStringList{"reference", "date", "IdGeny"};
    QTest::newRow("CR") << "CR"
                        << QStringList{"date",           "hippodrome",    "R",        "C",
                                       "course",         "nbPartant",     "distance", "dotation",
                                       "dossard",        "chevalMusique", "jockey",   "statut",
                                       "place",          "Terrain",       "Etat",     "valeur",
                                       "type de course", "commentaire",   "cheval",   "discipline"};
}

void TestData::schemaColumnsInOrder() {
    QFETCH(QString, table);
    QFETCH(QStringList, columns);
    QStringList actual;
    QSqlQuery query =
        m_db->db()->exec("SELECT name FROM pragma_table_info(?) ORDER BY cid", {table});
    while (query.next())
        actual << query.value(0).toString();
    QCOMPARE(actual, columns);
}

void TestData::schemaKeepsCaseInsensitiveNamesAndStamps() {
    QCOMPARE(m_db->scalar("PRAGMA application_id").toInt(), data::schema::kApplicationId);
    QCOMPARE(m_db->scalar("PRAGMA user_version").toInt(), data::schema::kVersion);
    QCOMPARE(m_db->scalar("SELECT TypeJeu FROM TYPEJEUX ORDER BY Id LIMIT 1").toString(),
             QString("Simple Gagnant"));
    QCOMPARE(m_db->scalar("SELECT TypeJeu FROM TYPEJEUX ORDER BY Id LIMIT 1 OFFSET 1").toString(),
             QString("Simple Placé"));
    m_db->exec("INSERT INTO USERS (pseudo, Mois) VALUES ('Paul', 'Mars')");
    QCOMPARE(m_db->scalar("SELECT COUNT(*) FROM USERS WHERE pseudo = 'PAUL'").toInt(), 1);
    // One balance per player and month.
    QVERIFY_THROWS_EXCEPTION(
        DbError, m_db->exec("INSERT INTO USERS (pseudo, Mois) VALUES ('paul', 'mars')"));
    // valeur compares as a number even against a quoted constant.
    m_db->exec("INSERT INTO CR (cheval, valeur, date) VALUES ('A', 9, '2024-01-01')");
    QCOMPARE(m_db->scalar("SELECT COUNT(*) FROM CR WHERE valeur >= '40'").toInt(), 0);
}

void TestData::olderFileGetsWhatItLacksOnce() {
    const auto indexes = [this] {
        return m_db
            ->scalar("SELECT group_concat(sql, ' | ') FROM sqlite_master WHERE type = "
                     "'index' AND name = 'CR_plat_confirmations'")
            .toString();
    };
    const QString made = indexes();
    QVERIFY(made.contains("WHERE discipline = 'plat'"));
    // A file from before it: opening adds it, and a second opening leaves it alone. So with
    // the bets' table, rows and all.
    const auto betsSchema = [this] {
        return m_db
            ->scalar("SELECT group_concat(sql, ' | ') FROM sqlite_master WHERE tbl_name = 'PARIS'")
            .toString();
    };
    const QString bets = betsSchema();
    QVERIFY(bets.contains("PARIS_a_encaisser"));
    m_db->exec("DROP INDEX CR_plat_confirmations");
    m_db->exec("DROP TABLE PARIS");
    m_db->exec("DROP TABLE PARTANTS");
    const QString file = m_db->file();
    for (int i = 0; i < 2; ++i) {
        Connexion.reset();
        Connexion = data::schema::openFile(file);
        QCOMPARE(indexes(), made);
        QCOMPARE(betsSchema(), bets);
        QVERIFY(data::schema::hasCardTable(*m_db->db()));
        if (i == 0)
            m_db->exec(
                "INSERT INTO PARIS (NumJeu, DateCourse, R, C) VALUES (1, '2026-12-07', 1, 3)");
    }
    QCOMPARE(m_db->scalar("SELECT Etat FROM PARIS").toString(), QString("en cours"));
    // The lists use it and never read the table.
    QSqlQuery plan = m_db->db()->exec(
        "EXPLAIN QUERY PLAN SELECT DISTINCT cheval, place, valeur, distance, dotation, date, R, "
        "C, [type de course], Etat FROM CR WHERE (place = '2' OR place = '3') AND valeur > '40' "
        "AND [type de course] LIKE '%Handicap%' AND discipline = 'plat'");
    QStringList steps;
    while (plan.next())
        steps << plan.value(3).toString();
    QVERIFY2(steps.join(' ').contains("COVERING INDEX CR_plat_confirmations"),
             qPrintable(steps.join(' ')));
}

void TestData::initToolRefusesToOverwrite() {
    QTemporaryDir dir;
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    QCOMPARE(runDbTool({"init", dir.path()}, out, err), 0);
    const QString file = dir.filePath("velmora.mdb");
    QVERIFY(QFile::exists(file));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    QCOMPARE(runDbTool({"init", dir.path()}, out, err), 1);
    QVERIFY(errText.contains("existe déjà"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QCOMPARE(runDbTool({"frobnicate"}, out, err), 2);
}

void TestData::walkAndReadByPosition() {
    for (int i = 1; i <= 3; ++i)
        m_db->exec("INSERT INTO JEUX (User, mois, Jour, Debit) VALUES ('Paul', 'Mars', ?, ?)",
                   {QString("0%1").arg(i), i * 1.5});
    RecordSet rs;
    rs.Open("SELECT  * FROM JEUX WHERE user = ? and mois = ? ORDER BY Num,Jour;", m_db->db(),
            {"paul", "MARS"});
    QCOMPARE(rs.RecordCount(), 3);
    rs.MoveLast();
    QCOMPARE(rs.Fields(3).toString(), QString("03"));
    rs.MoveFirst();
    double sum = 0;
    for (int i = 0; i < rs.RecordCount(); ++i) {
        QCOMPARE(rs.Fields(1).toString(), QString("Paul"));
        sum += rs.Fields(7).toDouble();
        rs.MoveNext();
    }
    QCOMPARE(sum, 9.0);
    QVERIFY(rs.atEnd());
    QVERIFY_THROWS_EXCEPTION(DbError, rs.Fields(0));
    rs.Close();

    RecordSet empty;
    empty.Open("SELECT  * FROM JEUX WHERE user = ?", m_db->db(), {"nobody"});
    QCOMPARE(empty.RecordCount(), 0);
}

void TestData::nullIsNotEmptyText() {
    m_db->exec("INSERT INTO MESSUIVITS (nomcheval, SaValeur, TypeCourse) VALUES ('A', '', NULL)");
    RecordSet rs;
    rs.Open("select * from MESSUIVITS ORDER BY nomcheval;", m_db->db());
    QCOMPARE(rs.RecordCount(), 1);
    QVERIFY(!rs.Fields(2).isNull());
    QCOMPARE(rs.Fields(2).toString(), QString(""));
    QVERIFY(rs.Fields(6).isNull());
    QCOMPARE(rs.Fields("TypeCourse").isNull(), true);
}

void TestData::boundValuesAreNeverSql() {
    const QString name = "O'Brien \"le\" ; DROP TABLE USERS; --";
    m_db->exec("INSERT INTO USERS (pseudo, Mois, SoldeEnCours) VALUES (?, 'Mars', 5)", {name});
    RecordSet rs;
    rs.Open("SELECT  * FROM USERS WHERE pseudo = ? and Mois = ?;", m_db->db(), {name, "Mars"});
    QCOMPARE(rs.RecordCount(), 1);
    QCOMPARE(rs.Fields(1).toString(), name);
}

void TestData::setFieldConvertsToTheColumnType() {
    RecordSet rs;
    rs.Open("SELECT  * FROM JEUX;", m_db->db());
    rs.AddNew();
    rs.SetField(1, "Paul");
    rs.SetField(7, "12,5");
    rs.SetField(8, "0");
    rs.SetField(9, 100.0);
    rs.SetField(10, " 87.5 ");
    // Text that is not a number never becomes a silent 0.
    for (const char* bad : {"abc", "1,2,3", "", "inf", "nan", "12,5 €"})
        QVERIFY_THROWS_EXCEPTION(DbError, rs.SetField(7, QString::fromUtf8(bad)));
    rs.Update();
    QCOMPARE(m_db->scalar("SELECT Debit FROM JEUX").toDouble(), 12.5);
    QCOMPARE(m_db->scalar("SELECT typeof(Credit) FROM JEUX").toString(), QString("real"));
    QCOMPARE(m_db->scalar("SELECT SoldeApres FROM JEUX").toDouble(), 87.5);
    QCOMPARE(m_db->scalar("SELECT Debit FROM JEUX").toDouble(), 12.5);

    // Text columns take numbers as text; integer columns take whole numbers.
    RecordSet courses;
    courses.Open("SELECT * FROM COURSES\r\n WHERE reference = ?", m_db->db(), {7});
    courses.AddNew();
    courses.SetField(0, "7");
    courses.SetField(1, 12);
    courses.Update();
    QCOMPARE(m_db->scalar("SELECT typeof(reference) FROM COURSES").toString(), QString("integer"));
    QCOMPARE(m_db->scalar("SELECT typeof(date) FROM COURSES").toString(), QString("text"));
}

void TestData::appendUpdateDeleteByRowid() {
    m_db->exec("INSERT INTO MESSUIVITS (nomcheval) VALUES ('ALPHA'), ('BETA'), ('GAMMA')");
    RecordSet rs;
    rs.Open("SELECT * FROM MESSUIVITS WHERE num = \r\n?", m_db->db(), {2});
    QCOMPARE(rs.RecordCount(), 1);
    rs.SetField(2, "45,5");
    rs.SetField(7, "1");
    QCOMPARE(rs.Fields(2).toString(), QString("45,5")); // pending edit reads back
    rs.Update();
    rs.Close();
    QCOMPARE(m_db->scalar("SELECT SaValeur FROM MESSUIVITS WHERE num = 2").toString(),
             QString("45,5"));
    QCOMPARE(m_db->scalar("SELECT COUNT(*) FROM MESSUIVITS WHERE SaValeur IS NOT NULL").toInt(), 1);

    rs.Open("SELECT * FROM MESSUIVITS WHERE num = \r\n?", m_db->db(), {3});
    rs.Delete();
    rs.Close();
    QCOMPARE(m_db->scalar("SELECT group_concat(nomcheval) FROM MESSUIVITS").toString(),
             QString("ALPHA,BETA"));

    // A deleted key is never handed out again.
    rs.Open("SELECT * FROM MESSUIVITS", m_db->db());
    rs.AddNew();
    rs.SetField(1, "DELTA");
    rs.Update();
    QCOMPARE(m_db->scalar("SELECT num FROM MESSUIVITS WHERE nomcheval = 'DELTA'").toInt(), 4);
    QCOMPARE(rs.RecordCount(), 3);

    // Distinct and joined rows cannot be changed.
    RecordSet distinct;
    distinct.Open("SELECT DISTINCT nomcheval FROM MESSUIVITS", m_db->db());
    QCOMPARE(distinct.RecordCount(), 3);
    QVERIFY_THROWS_EXCEPTION(DbError, distinct.SetField(0, "X"));
}

void TestData::appendingDoesNotLoadTheTable() {
    m_db->exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
               "INSERT INTO JEUX (User, Debit) SELECT 'x', i FROM n");
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 50; ++i) {
        RecordSet rs;
        rs.Open("SELECT  * FROM JEUX;", m_db->db());
        rs.AddNew();
        rs.SetField(1, "Paul");
        rs.Update();
        rs.Close();
    }
    // Fifty appends to a 20,000-row table take a few milliseconds when nothing is loaded.
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(m_db->scalar("SELECT COUNT(*) FROM JEUX WHERE User = 'Paul'").toInt(), 50);
}

void TestData::engineErrorsCarryCodeAndText() {
    RecordSet rs;
    rs.Open("SELECT * FROM NOTHERE", m_db->db());
    try {
        rs.RecordCount();
        QFAIL("no error");
    } catch (const DbError& error) {
        QCOMPARE(error.code(), 1);
        QVERIFY(error.engineText().contains("no such table"));
    }
}

void TestData::transactionRollsBackUnlessCommitted() {
    const auto& db = *m_db->db();
    {
        data::Transaction transaction(db);
        db.exec("INSERT INTO USERS (pseudo, Mois) VALUES ('A', 'Mars')");
    }
    QCOMPARE(m_db->scalar("SELECT COUNT(*) FROM USERS").toInt(), 0);
    try {
        data::Transaction transaction(db);
        db.exec("INSERT INTO USERS (pseudo, Mois) VALUES ('A', 'Mars')");
        db.exec("INSERT INTO USERS (pseudo, Mois) VALUES ('a', 'MARS')"); // unique pair
        transaction.commit();
    } catch (const DbError& error) {
        QCOMPARE(error.code(), data::sqlite_code::Constraint);
    }
    QCOMPARE(m_db->scalar("SELECT COUNT(*) FROM USERS").toInt(), 0);
    {
        data::Transaction transaction(db);
        db.exec("INSERT INTO USERS (pseudo, Mois) VALUES ('A', 'Mars')");
        transaction.commit();
    }
    QCOMPARE(m_db->scalar("SELECT COUNT(*) FROM USERS").toInt(), 1);
}

void TestData::moneyFromTheFileToTheNearestCent_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<qint64>("cents");
    // A REAL column holds the binary fraction nearest to the amount, often just below it.
    QTest::newRow("0,29 is stored as 0,28999…") << "0.29" << qint64(29);
    QTest::newRow("below zero") << "-0.29" << qint64(-29);
    QTest::newRow("a sum the engine made") << "0.1 + 0.2" << qint64(30);
    QTest::newRow("a large balance") << "1234567.89" << qint64(123456789);
    QTest::newRow("an empty cell") << "NULL" << qint64(0);
}

void TestData::moneyFromTheFileToTheNearestCent() {
    QFETCH(QString, stored);
    QFETCH(qint64, cents);
    const QVariant value = m_db->scalar("SELECT " + stored);
    QCOMPARE(Money::fromStored(value).cents(), cents);
    QCOMPARE(Money::fromStored(value.toDouble()).cents(), cents);
}

// An opening the engine refuses without a word still says something a user can act on.
void TestData::openingFailureWithoutExplanation() {
    const QString said =
        errors::describe(data::OpenError(data::OpenError::Kind::Other, 14, QString(), QString()));
    QVERIFY2(said.contains("n'est pas accessible en écriture"), qPrintable(said));
}

QTEST_GUILESS_MAIN(TestData)
#include "tst_data.moc"
