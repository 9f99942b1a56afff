#include "ledger/bets.h"

#include <QtTest>

using ledger::BetState;

class TestBets : public QObject {
    Q_OBJECT
private slots:
    void settlingRules_data();
    void settlingRules();
    void stateNamesGoBothWays();
};

void TestBets::settlingRules_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("statut");
    QTest::addColumn<int>("runners"); // 0: not given
    QTest::addColumn<BetState>("state");
    const QString gagnant = "Simple Gagnant", place = "Simple Placé";
    QTest::newRow("win, first") << gagnant << "1" << "" << 12 << BetState::Won;
    QTest::newRow("win, second") << gagnant << "2" << "" << 12 << BetState::Lost;
    QTest::newRow("win, fell") << gagnant << "T" << "" << 12 << BetState::Lost;
    QTest::newRow("win, type in other case") << "simple  gagnant" << "1" << "" << 9
                                             << BetState::Won;
    QTest::newRow("place, third of 8") << place << "3" << "" << 8 << BetState::Won;
    QTest::newRow("place, fourth of 8") << place << "4" << "" << 8 << BetState::Lost;
    QTest::newRow("place, third of 7") << place << "3" << "" << 7 << BetState::Lost;
    QTest::newRow("place, second of 7") << place << "2" << "" << 7 << BetState::Won;
    QTest::newRow("place, second of 4") << place << "2" << "" << 4 << BetState::Won;
    QTest::newRow("place, first of 3") << place << "1" << "" << 3 << BetState::Lost;
    QTest::newRow("place, disqualified") << place << "D" << "" << 10 << BetState::Lost;
    QTest::newRow("place, runners unknown") << place << "1" << "" << 0 << BetState::Pending;
    QTest::newRow("non-runner by place") << gagnant << "NP" << "" << 10 << BetState::Refunded;
    QTest::newRow("non-runner by status") << place << "" << "Non Partant" << 10
                                          << BetState::Refunded;
    QTest::newRow("non-runner, status np") << "Trio" << "" << "np" << 10 << BetState::Refunded;
    QTest::newRow("another game type") << "Trio" << "1" << "" << 10 << BetState::Pending;
}

void TestBets::settlingRules() {
    QFETCH(QString, type);
    QFETCH(QString, place);
    QFETCH(QString, statut);
    QFETCH(int, runners);
    const ledger::RunnerResult result{place, statut,
                                      runners ? std::optional<int>(runners) : std::nullopt};
    QTEST(ledger::settle(type, result), "state");
}

void TestBets::stateNamesGoBothWays() {
    for (BetState state : {BetState::Pending, BetState::Won, BetState::Lost, BetState::Refunded})
        QCOMPARE(ledger::betStateFromName(ledger::betStateName(state)), state);
    QCOMPARE(ledger::betStateName(BetState::Refunded), QString("remboursé"));
    QCOMPARE(ledger::betStateFromName("Gagné"), std::nullopt);
}

QTEST_MAIN(TestBets)
#include "tst_bets.moc"
