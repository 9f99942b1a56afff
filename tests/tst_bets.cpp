#include "ledger/betbook.h"
#include "ledger/gametypes.h"
#include "ledger/multibets.h"
#include "ledger/bets.h"
#include "data/regional.h"
#include "followed/raceday.h"
#include "ledger/yearbook.h"
#include "racing/resultnames.h"
#include "racing/vocabulary.h"
#include "support/testdatabase.h"
#include "tools/dbtool.h"

#include <QtTest>
#include <sqlite3.h>

using ledger::BetState;

namespace {

Money eur(double amount) {
    return Money::fromStored(amount);
}

// A runner of the results, 2026-03-14, R1C3 at Vincennes.
void addRunner(const TestDatabase& t, const QString& horse, const QString& place,
               const QString& statut, int runners, const QString& racecourse = "Vincennes") {
    t.exec("INSERT INTO CR (date, hippodrome, R, C, course, nbPartant, cheval, place, statut, "
           "discipline) VALUES ('2026-03-14 13:50', ?, 1, 3, 'Prix d''Amérique', ?, ?, ?, ?, "
           "'attelé')",
           {racecourse, runners ? QVariant(runners) : QVariant(), horse, place, statut});
}

// Paul's stake on horse in R1C3 of 2026-03-14, at the racecourse given; its Num.
qint64 stake(const TestDatabase& t, const QString& type, const QString& horse,
             const QString& racecourse = QString(), double amount = 10,
             std::optional<double> odds = 4.5) {
    ledger::GameEntry entry{ledger::GameKind::Stake,
                            "Paul",
                            "Mars",
                            "14",
                            type,
                            horse,
                            eur(amount),
                            ledger::BetSlip{QDate(2026, 3, 14), {1, 3, racecourse}, odds}};
    return ledger::recordGame(*t.db(), entry).num;
}

QString stateOf(const TestDatabase& t, qint64 num) {
    return t.scalar("SELECT Etat FROM PARIS WHERE NumJeu = ?", {num}).toString();
}


// Results as a punter finds them, all of 2026-03-14: every way of writing a place, a
// non-runner, a horse and a racecourse, in races of 8 (one not starting), 8, 4, 3 starters
// and one without its number of runners.
const char* const kMessyResults =
    "date;hippodrome;R;C;nbPartant;cheval;place;statut\n"
    "14/03/2026;Vincennes;1;1;8;HUIT UN;1er;\n"
    "14/03/2026;Vincennes;1;1;8;HUIT DEUX;2e;\n"
    "14/03/2026;Vincennes;1;1;8;HUIT TROIS;3ème;\n"
    "14/03/2026;Vincennes;1;1;8;HUIT NP;NP;\n"
    "14/03/2026;Évry;1;2;8;ÉVRY UN;1;\n"
    "14/03/2026;ÉVRY;1;2;8;ÉVRY TROIS;3ex;\n"
    "14/03/2026;Evry;1;2;8;ÉVRY TROIS BIS;3ex;\n"
    "14/03/2026;évry;1;2;8;L’AMI DU ROI;0;\n"
    "14/03/2026;Évry;1;2;8;L'ÉTOILE DU NORD;DAI;\n"
    "14/03/2026;Évry;1;2;8;ÉCLAIR D'OR;D;\n"
    "14/03/2026;Vincennes;1;3;8;EX UN;1ex;\n"
    "14/03/2026;Vincennes;1;3;8;EX DEUX;1ex;\n"
    "14/03/2026;Vincennes;1;4;4;QUATRE DEUX;2;\n"
    "14/03/2026;Vincennes;1;4;4;QUATRE TROIS;3;\n"
    "14/03/2026;Vincennes;1;5;3;TROIS UN;1;\n"
    "14/03/2026;Vincennes;1;6;;SANS UN;1;\n"
    "14/03/2026;Vincennes;1;6;;SANS DEUX;2;\n"
    "14/03/2026;Vincennes;1;6;;SANS TROIS;3;\n"
    "14/03/2026;Vincennes;1;6;;SANS QUATRE;ARR;\n"
    "14/03/2026;Vincennes;1;6;;SANS NP;;Non-partant\n"
    "14/03/2026;Vincennes;1;7;9;NP PLACE;np;\n"
    "14/03/2026;Vincennes;1;7;9;NP MOTS;non partant;\n"
    "14/03/2026;Vincennes;1;7;9;NP STATUT;;NON PARTANTE\n"
    "14/03/2026;Vincennes;1;7;9;FIN ZERO;0;\n"
    "14/03/2026;Vincennes;1;7;9;FIN DIS;DIS;\n"
    "14/03/2026;Vincennes;1;7;9;FIN A;A;\n"
    "14/03/2026;Vincennes;1;7;9;FIN T;T;\n"
    "14/03/2026;Vincennes;2;1;10;PARIS UN;1;\n";

} // namespace

class TestBets : public QObject {
    Q_OBJECT
private slots:
    void settlingRules_data();
    void settlingRules();
    void stateNamesGoBothWays();
    void finishesAsWritten_data();
    void finishesAsWritten();
    void namesAsCompared_data();
    void namesAsCompared();
    void severalHorses_data();
    void severalHorses();
    void severalHorsesOnAFile_data();
    void severalHorsesOnAFile();
    void numbersAsTyped_data();
    void numbersAsTyped();
    void spellingsOfResultsWrittenByHand();
    void gameTypesKept_data();
    void gameTypesKept();
    void oneResultsFile_data();
    void oneResultsFile();
    void settlingOnAFile_data();
    void settlingOnAFile();
    void racesAndOddsAsTyped_data();
    void racesAndOddsAsTyped();
    void cashingRefundingAndReversing();
    void expectedReturnToTheCent_data();
    void expectedReturnToTheCent();
    void settlingKeepsWhatItCannotTell();
    void closingWaitsForTheBets();
};

void TestBets::settlingRules_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("statut");
    QTest::addColumn<int>("runners"); // 0: not given
    QTest::addColumn<BetState>("state");
    const QString gagnant = "Simple Gagnant", place = "Simple Placé";
    QTest::newRow("win, first") << gagnant << "1"
                                << "" << 12 << BetState::Won;
    QTest::newRow("win, second") << gagnant << "2"
                                 << "" << 12 << BetState::Lost;
    QTest::newRow("win, fell") << gagnant << "T"
                               << "" << 12 << BetState::Lost;
    QTest::newRow("win, type in other case") << "simple  gagnant"
                                             << "1"
                                             << "" << 9 << BetState::Won;
    QTest::newRow("place, third of 8") << place << "3"
                                       << "" << 8 << BetState::Won;
    QTest::newRow("place, fourth of 8") << place << "4"
                                        << "" << 8 << BetState::Lost;
    QTest::newRow("place, third of 7") << place << "3"
                                       << "" << 7 << BetState::Lost;
    QTest::newRow("place, second of 7") << place << "2"
                                        << "" << 7 << BetState::Won;
    QTest::newRow("place, second of 4") << place << "2"
                                        << "" << 4 << BetState::Won;
    // Under four starters no place bet is offered: the stake comes back.
    QTest::newRow("place, first of 3") << place << "1"
                                       << "" << 3 << BetState::Refunded;
    QTest::newRow("place, third of 8, written 3ème") << place << "3ème"
                                                     << "" << 8 << BetState::Won;
    QTest::newRow("win, written 1er") << gagnant << "1er"
                                      << "" << 9 << BetState::Won;
    QTest::newRow("win, dead heat 1ex") << gagnant << "1ex"
                                        << "" << 9 << BetState::Won;
    QTest::newRow("win, written 2e") << gagnant << "2e"
                                     << "" << 9 << BetState::Lost;
    QTest::newRow("win, not placed 0") << gagnant << "0"
                                       << "" << 9 << BetState::Lost;
    QTest::newRow("non-runner, hyphenated status") << place << ""
                                                   << "Non-partant" << 10 << BetState::Refunded;
    QTest::newRow("non-runner, non partante in place") << gagnant << "non partante"
                                                       << "" << 10 << BetState::Refunded;
    QTest::newRow("type without its accent") << "Simple Place"
                                             << "2"
                                             << "" << 8 << BetState::Won;
    QTest::newRow("place, disqualified") << place << "D"
                                         << "" << 10 << BetState::Lost;
    QTest::newRow("place, runners unknown") << place << "1"
                                            << "" << 0 << BetState::Pending;
    QTest::newRow("non-runner by place") << gagnant << "NP"
                                         << "" << 10 << BetState::Refunded;
    QTest::newRow("non-runner by status") << place << ""
                                          << "Non Partant" << 10 << BetState::Refunded;
    QTest::newRow("non-runner, status np") << "Trio"
                                           << ""
                                           << "np" << 10 << BetState::Refunded;
    QTest::newRow("non-runner, within a longer status")
        << gagnant << ""
        << "Retiré : non partant (boiterie)" << 10 << BetState::Refunded;
    QTest::newRow("another game type") << "Trio"
                                       << "1"
                                       << "" << 10 << BetState::Pending;
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
    for (BetState state : {BetState::Pending, BetState::Won, BetState::Lost, BetState::Refunded,
                           BetState::Cancelled})
        QCOMPARE(ledger::betStateFromName(ledger::betStateName(state)), state);
    QCOMPARE(ledger::betStateName(BetState::Refunded), QString("remboursé"));
    QCOMPARE(ledger::betStateFromName("Gagné"), std::nullopt);
}

// Every spelling of a finish, as the settling and the form line both read it: the figure
// ("" for a non-runner, which ran no race) and whether a Simple Gagnant wins.
void TestBets::finishesAsWritten_data() {
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("statut");
    QTest::addColumn<QString>("figure");
    QTest::addColumn<bool>("wins");
    QTest::newRow("1") << "1"
                       << ""
                       << "1" << true;
    QTest::newRow("1er") << "1er"
                         << ""
                         << "1" << true;
    QTest::newRow("1ex") << "1ex"
                         << ""
                         << "1" << true;
    QTest::newRow("2e") << "2e"
                        << ""
                        << "2" << false;
    QTest::newRow("3ème") << "3ème"
                          << ""
                          << "3" << false;
    QTest::newRow("12") << "12"
                        << ""
                        << "0" << false;
    QTest::newRow("0, not placed") << "0"
                                   << ""
                                   << "0" << false;
    QTest::newRow("DAI") << "DAI"
                         << ""
                         << "D" << false;
    QTest::newRow("dis") << "dis"
                         << ""
                         << "D" << false;
    QTest::newRow("T") << "T"
                       << ""
                       << "T" << false;
    QTest::newRow("ARR") << "ARR"
                         << ""
                         << "A" << false;
    QTest::newRow("nothing recorded") << ""
                                      << ""
                                      << "?" << false;
    QTest::newRow("NP") << "NP"
                        << ""
                        << "" << false;
    QTest::newRow("np in statut, place empty") << ""
                                               << "np"
                                               << "" << false;
    QTest::newRow("Non-partant") << ""
                                 << "Non-partant"
                                 << "" << false;
    QTest::newRow("non partante") << "non partante"
                                  << ""
                                  << "" << false;
    QTest::newRow("NON PARTANT in a longer statut") << ""
                                                    << "Retiré : NON PARTANT"
                                                    << "" << false;
}

void TestBets::finishesAsWritten() {
    QFETCH(QString, place);
    QFETCH(QString, statut);
    QFETCH(QString, figure);
    QFETCH(bool, wins);
    const auto shown = racing::formFigure(racing::finishOf(place, statut));
    QCOMPARE(shown ? QString(*shown) : QString(), figure);
    const BetState state = ledger::settle("Simple Gagnant", {place, statut, 9});
    QCOMPARE(state, figure.isEmpty() ? BetState::Refunded : wins ? BetState::Won : BetState::Lost);
}

void TestBets::namesAsCompared_data() {
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");
    QTest::newRow("typographic apostrophe") << "L’AMI DU ROI"
                                            << "L'AMI DU ROI" << true;
    QTest::newRow("modifier apostrophe") << "Lʼami du roi"
                                         << "LAMI DU ROI" << true;
    QTest::newRow("accents and case") << "éclair d'or"
                                      << "ÉCLAIR D'OR" << true;
    QTest::newRow("accent dropped") << "L'ETOILE DU NORD"
                                    << "L'ÉTOILE DU NORD" << true;
    QTest::newRow("blanks") << " Jolie   Fille "
                            << "JOLIE FILLE" << true;
    QTest::newRow("racecourse") << "EVRY"
                                << "Évry" << true;
    QTest::newRow("game type") << "Simple Place"
                               << "Simple Placé" << true;
    QTest::newRow("two horses") << "JOLIE"
                                << "JOLIET" << false;
    QTest::newRow("apostrophe between blanks") << "l ' ami\tdu  roi"
                                               << "L AMI DU ROI" << true;
}

void TestBets::namesAsCompared() {
    QFETCH(QString, a);
    QFETCH(QString, b);
    QTEST(racing::sameName(a, b), "same");
    // The search's byte path keys plain ASCII names exactly as nameKey does.
    for (const QString& name : {a, b}) {
        std::string key;
        if (racing::asciiNameKey(name.toStdString(), key))
            QCOMPARE(QString::fromStdString(key), racing::nameKey(name));
    }
}

// A finish written "place:saddle …": "1:4 2:7 3:1 NP:5 2ex:3".
ledger::RaceFinish finishOf(const QString& text, std::optional<int> starters) {
    ledger::RaceFinish finish;
    for (const QString& part : text.split(' ', Qt::SkipEmptyParts)) {
        const QStringList pair = part.split(':');
        finish.bySaddle.insert(pair.at(1).toInt(), racing::finishOf(pair.at(0)));
    }
    finish.starters = starters;
    return finish;
}

// Every rule and rank, unit and combined, on finishes as results write them.
void TestBets::severalHorses_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("formula");
    QTest::addColumn<QString>("numbers");
    QTest::addColumn<QString>("finish");
    QTest::addColumn<int>("starters");
    QTest::addColumn<BetState>("state");
    QTest::addColumn<int>("winning");
    QTest::addColumn<QString>("rank"); // or the reason it stays pending
    const QString arrivee = "1:4 2:7 3:1 4:9 5:2 6:3 0:8";
    const auto row = [&](const char* name, const char* type, const char* formula,
                         const char* numbers, BetState state, int winning, const char* rank = "",
                         const QString& finish = QString(), int starters = 12) {
        QTest::newRow(name) << QString::fromUtf8(type) << QString::fromUtf8(formula)
                            << QString(numbers) << (finish.isNull() ? arrivee : finish)
                            << starters << state << winning << QString::fromUtf8(rank);
    };
    using S = BetState;
    row("couplé gagnant either order", "couplé gagnant", "unitaire", "7-4", S::Won, 1);
    row("couplé gagnant 1st and 3rd", "couplé gagnant", "unitaire", "4-1", S::Lost, 0);
    row("couplé ordre in order", "couplé ordre", "unitaire", "4 7", S::Won, 1);
    row("couplé ordre reversed", "couplé ordre", "unitaire", "7 4", S::Lost, 0);
    row("couplé ordre all orders", "couplé ordre", "tous ordres", "7 4 9", S::Won, 1);
    row("couplé placé two of three", "couplé placé", "unitaire", "1,7", S::Won, 1);
    row("couplé placé with 7 starters refunded", "couplé placé", "unitaire", "1,7", S::Refunded,
        0, "", QString(), 7);
    row("deux sur quatre", "deux sur quatre", "unitaire", "9-1", S::Won, 1);
    row("deux sur quatre combined", "deux sur quatre", "combinée", "9-1-2-4", S::Won, 3);
    row("trio any order", "trio", "unitaire", "1-4-7", S::Won, 1);
    row("trio ordre out of order", "trio ordre", "unitaire", "1-4-7", S::Lost, 0);
    row("tiercé ordre", "tiercé", "unitaire", "4-7-1", S::Won, 1, "ordre");
    row("tiercé désordre", "tiercé", "unitaire", "1-7-4", S::Won, 1, "désordre");
    row("tiercé combined of 5: 10 sets", "tiercé", "combinée", "4-7-1-9-2", S::Won, 1, "ordre");
    row("tiercé all orders of 4: 24 sets", "tiercé", "tous ordres", "1-4-7-9", S::Won, 6, "ordre");
    row("quarté+ bonus", "quarté+", "unitaire", "1-4-7-2", S::Won, 1, "bonus");
    row("quarté+ désordre", "quarté+", "unitaire", "9-1-4-7", S::Won, 1, "désordre");
    row("quinté+ ordre", "quinté+", "unitaire", "4-7-1-9-2", S::Won, 1, "ordre");
    row("quinté+ bonus 4", "quinté+", "unitaire", "9-1-4-7-3", S::Won, 1, "bonus 4");
    row("quinté+ bonus 3", "quinté+", "unitaire", "1-4-7-3-8", S::Won, 1, "bonus 3");
    row("quinté+ combined of 6, best rank kept", "quinté+", "combinée", "4-7-1-9-2-3", S::Won, 3,
        "ordre");
    row("quinté+ lost", "quinté+", "unitaire", "4-7-3-8-6", S::Lost, 0);
    row("multi of 5", "multi", "unitaire", "9-3-1-7-4", S::Won, 1);
    row("multi missing the 4th", "multi", "unitaire", "3-1-7-4", S::Lost, 0);
    const QString nonRunner = "1:4 2:7 3:1 4:9 5:2 NP:5";
    row("couplé with a non-runner: refunded", "couplé gagnant", "unitaire", "4-5", S::Refunded, 0,
        "", nonRunner);
    row("trio combined, non-runner's sets refunded", "trio", "combinée", "4-7-1-5", S::Won, 1, "",
        nonRunner);
    row("deux sur quatre all sets with the non-runner", "deux sur quatre", "combinée", "5-3-6",
        S::Lost, 0, "", nonRunner + " 0:3 0:6");
    row("tiercé with a non-runner", "tiercé", "unitaire", "4-7-5", S::Pending, 0,
        "non-partant parmi les numéros : réglez ce pari à la main", nonRunner);
    row("multi with a non-runner", "multi", "unitaire", "4-7-1-5", S::Pending, 0,
        "non-partant parmi les numéros", nonRunner);
    row("dead heat on 2nd", "couplé ordre", "unitaire", "4-7", S::Pending, 0,
        "arrivée avec ex aequo : réglez ce pari à la main", "1:4 2ex:7 2ex:3 4:1");
    row("dead heat after the places that decide", "couplé gagnant", "unitaire", "4-7", S::Won, 1,
        "", "1:4 2:7 3ex:1 3ex:3");
    row("finish incomplete", "quinté+", "unitaire", "4-7-1-9-2", S::Pending, 0,
        "arrivée incomplète", "1:4 2:7 3:1");
}

void TestBets::severalHorses() {
    QFETCH(QString, type);
    QFETCH(QString, formula);
    QFETCH(QString, numbers);
    QFETCH(QString, finish);
    QFETCH(int, starters);
    QFETCH(QString, rank);
    const ledger::Rule rule = *ledger::ruleFromName(type);
    const ledger::ParsedNumbers parsed = ledger::parseNumbers(numbers);
    QVERIFY2(parsed.refusal.isEmpty(), qPrintable(parsed.refusal));
    const ledger::MultiOutcome outcome = ledger::settleMulti(
        rule, *ledger::formulaFromName(formula), parsed.numbers, finishOf(finish, starters));
    QTEST(outcome.state, "state");
    QTEST(outcome.winning, "winning");
    if (outcome.state == BetState::Pending)
        QVERIFY2(outcome.pendingReason.startsWith(rank), qPrintable(outcome.pendingReason));
    else
        QCOMPARE(outcome.rank, rank);
}

// The same bets recorded in the ledger and settled by the import of their race's finish:
// the saddle numbers read from the results, the rank and winning combinations stored.
void TestBets::severalHorsesOnAFile_data() {
    severalHorses_data();
}

void TestBets::severalHorsesOnAFile() {
    QFETCH(QString, type);
    QFETCH(QString, formula);
    QFETCH(QString, numbers);
    QFETCH(QString, finish);
    QFETCH(int, starters);
    QFETCH(BetState, state);
    QFETCH(int, winning);
    QFETCH(QString, rank);
    TestDatabase t;
    ledger::addPlayer(*t.db(), "Paul", eur(100), "Mars");
    const ledger::Rule rule = *ledger::ruleFromName(type);
    const QVector<int> played = ledger::parseNumbers(numbers).numbers;
    ledger::GameEntry entry{ledger::GameKind::Stake, "Paul", "Mars", "14", ledger::ruleLabel(rule),
                            QString(), eur(10), ledger::BetSlip{QDate(2026, 3, 14), {1, 3, "Vincennes"}}};
    entry.bet->numbers = played;
    entry.bet->formula = ledger::formulaFromName(formula);
    entry.bet->combinations =
        ledger::combinationCount(rule, *entry.bet->formula, int(played.size()));
    const qint64 num = ledger::recordGame(*t.db(), entry).num;

    QByteArray csv = "date;hippodrome;R;C;nbPartant;dossard;cheval;place\n";
    for (const QString& part : finish.split(' ', Qt::SkipEmptyParts)) {
        const QStringList pair = part.split(':');
        csv += QStringLiteral("14/03/2026;Vincennes;1;3;%1;%2;CHEVAL %2;%3\n")
                   .arg(starters)
                   .arg(pair.at(1), pair.at(0))
                   .toUtf8();
    }
    const QString path = t.folder() + "/arrivee.csv";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(csv);
    file.close();
    QString printed, errors;
    QTextStream out(&printed), err(&errors);
    QCOMPARE(runDbTool({"import-results", path, t.folder()}, out, err), 0);
    out.flush();
    QCOMPARE(stateOf(t, num), ledger::betStateName(state));
    if (state == BetState::Pending) {
        QVERIFY2(printed.contains(" : " + rank), qPrintable(printed));
        return;
    }
    if (state == BetState::Refunded)
        return;
    QCOMPARE(t.scalar("SELECT Gagnantes FROM PARIS WHERE NumJeu = ?", {num}).toInt(), winning);
    QCOMPARE(t.scalar("SELECT ifnull(Rang, '') FROM PARIS WHERE NumJeu = ?", {num}).toString(),
             rank);
}

void TestBets::numbersAsTyped_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("formula");
    QTest::addColumn<QString>("numbers");
    QTest::addColumn<QString>("said"); // the refusal, or the combinations when accepted
    QTest::newRow("dashes") << "Tiercé" << "unitaire" << "4-7-1" << "1";
    QTest::newRow("blanks and commas") << "Tiercé" << "combinée" << " 4 7,1, 9 ,2" << "10";
    QTest::newRow("all orders of 5") << "Tiercé" << "tous ordres" << "4 7 1 9 2" << "60";
    QTest::newRow("zero") << "Tiercé" << "unitaire" << "4-0-1"
                          << "numéro 0 impossible : les numéros vont de 1 à 30";
    QTest::newRow("31") << "Tiercé" << "unitaire" << "4-31-1"
                        << "numéro 31 impossible : les numéros vont de 1 à 30";
    QTest::newRow("a repeat") << "Tiercé" << "unitaire" << "4-7-4" << "numéro 4 saisi deux fois";
    QTest::newRow("a letter") << "Tiercé" << "unitaire" << "4-x-1"
                              << "« x » n'est pas un numéro de cheval";
    QTest::newRow("too few for unit") << "Quinté+" << "unitaire" << "4-7-1"
                                      << "un Quinté+ unitaire se joue sur 5 numéros : 3 numéros "
                                         "saisis";
    QTest::newRow("combined needs more") << "Couplé Gagnant" << "combinée" << "4-7"
                                         << "un Couplé Gagnant en formule combinée se joue sur "
                                            "plus de 2 numéros : 2 numéros saisis";
    QTest::newRow("all orders not offered") << "Trio" << "tous ordres" << "4-7-1"
                                            << "le Trio ne se joue pas en formule tous ordres";
    QTest::newRow("multi unit only") << "Multi" << "combinée" << "4-7-1-2-3"
                                     << "le Multi se joue en formule unitaire seulement";
    QTest::newRow("multi of 8") << "Multi" << "unitaire" << "1-2-3-4-5-6-7-8"
                                << "le Multi se joue sur 4 à 7 numéros : 8 numéros saisis";
    QTest::newRow("too many sets") << "Quinté+" << "tous ordres" << "1-2-3-4-5-6-7-8-9-10"
                                   << "30 240 combinaisons : 20 000 au plus";
}

void TestBets::numbersAsTyped() {
    QFETCH(QString, type);
    QFETCH(QString, formula);
    QFETCH(QString, numbers);
    QFETCH(QString, said);
    const ledger::Rule rule = ledger::defaultRule(type);
    const ledger::Formula how = *ledger::formulaFromName(formula);
    const ledger::ParsedNumbers parsed = ledger::parseNumbers(numbers);
    QString refusal = !parsed.refusal.isEmpty()
                                ? parsed.refusal
                                : ledger::numbersRefusal(rule, how, parsed.numbers).value_or(QString());
    if (refusal.isEmpty()) {
        const qint64 count = ledger::combinationCount(rule, how, int(parsed.numbers.size()));
        QCOMPARE(QString::number(count), said);
        QCOMPARE(ledger::combinations(rule, how, parsed.numbers).size(), count);
    } else {
        QCOMPARE(refusal.replace(QChar(0x202F), ' ').replace(QChar(0xA0), ' '), said);
    }
}

// Results written by hand after the file's names were recorded are found all the same, then
// recorded with the next import or start.
void TestBets::spellingsOfResultsWrittenByHand() {
    TestDatabase t;
    addRunner(t, "ÉCLAIR D'OR", "1", "", 8);
    racing::recordResultNames(*t.db());
    QCOMPARE(t.scalar("SELECT group_concat(cheval) FROM CR_NOMS").toString(), QString("ÉCLAIR D'OR"));
    t.exec("INSERT INTO CR (date, hippodrome, R, C, cheval, place) VALUES ('2026-03-20', 'Pau', 1, "
           "1, 'Éclair  d’Or', '2')");
    QStringList spellings = racing::resultSpellings(*t.db(), "eclair d'or");
    spellings.sort();
    QCOMPARE(spellings, QStringList({"ECLAIR DOR", "eclair d'or", "ÉCLAIR D'OR", "Éclair  d’Or"}));
    racing::recordResultNames(*t.db());
    QCOMPARE(t.scalar("SELECT count(*) FROM CR_NOMS").toInt(), 2);
    QCOMPARE(t.scalar("SELECT max(jusqua) FROM CR_NOMS_LU").toLongLong(),
             t.scalar("SELECT max(rowid) FROM CR").toLongLong());
}

// What the game types window asks of the file, on a year whose lines spell types loosely.
void TestBets::gameTypesKept_data() {
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<QString>("said"); // lines moved and the types after, or the refusal
    QTest::newRow("rename takes every spelling's lines")
        << "rename" << "Tiercé" << "Tiercé classique" << "3 | Tiercé classique=tiercé";
    QTest::newRow("rename to a type that exists")
        << "rename" << "Tiercé" << "Trio" << "Le type « Trio » existe déjà : fusionnez plutôt";
    QTest::newRow("merge a misspelling") << "merge" << "Simple Place" << "Simple Placé"
                                         << "2 | Simple Placé=simple placé";
    QTest::newRow("merge into nothing") << "merge" << "Simple Place" << "Rien"
                                        << "Le type « Rien » n'existe pas.";
    QTest::newRow("delete a type in use") << "delete" << "Trio" << ""
                                          << "« Trio » est utilisé par 1 ligne";
    QTest::newRow("delete an unused type") << "delete" << "Pick 5" << "" << "0 | Pick 5 gone";
    QTest::newRow("add a type spelt as another") << "add" << "super  4" << ""
                                                 << "Le type « super 4 » existe déjà";
    QTest::newRow("add a new type") << "add" << "Jackpot" << "" << "0 | Jackpot=à la main";
    QTest::newRow("credit type") << "rename" << "Approvisionnement compte" << "Dépôt"
                                 << "« Approvisionnement compte » est le type des crédits";
}

void TestBets::gameTypesKept() {
    QFETCH(QString, op);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(QString, said);
    TestDatabase t;
    for (const char* type : {"Tiercé", "tiercé", "TIERCÉ", "Simple Place", "Simple Place", "Trio"})
        t.exec("INSERT INTO JEUX (User, mois, Jour, [type jeux], Cheval, Debit) VALUES ('Paul', "
               "'Mars', '06', ?, 'JOLIE', 2)",
               {QString::fromUtf8(type)});
    QString result;
    try {
        int moved = 0;
        if (op == "rename")
            moved = ledger::renameGameType(*t.db(), a, b);
        else if (op == "merge")
            moved = ledger::mergeGameType(*t.db(), a, b);
        else if (op == "delete")
            ledger::deleteGameType(*t.db(), a);
        else
            ledger::addGameType(*t.db(), a, ledger::defaultRule(a));
        const QString shown = b.isEmpty() ? a : b;
        QString after = shown + " gone";
        for (const ledger::GameTypeRow& row : ledger::gameTypeRows(*t.db()))
            if (row.type == regional::simplifiedName(shown))
                after = row.type + "=" + ledger::ruleName(row.rule);
        result = QString::number(moved) + " | " + after;
    } catch (const ledger::GameTypeRefused& refused) {
        result = refused.text;
    }
    QVERIFY2(result.startsWith(said), qPrintable(result));
}

// Each case of the messy results file, settled by its import and read in the horse's form
// line on the next day's card: the two read the same rows, so they cannot drift apart.
void TestBets::oneResultsFile_data() {
    QTest::addColumn<int>("c");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("horse");       // as the ledger line has it
    QTest::addColumn<QString>("racecourse");  // as the bet names it
    QTest::addColumn<QString>("cardName");    // as the next day's card writes it
    QTest::addColumn<BetState>("state");
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("said");        // in what the import prints
    const auto row = [](const char* name, int c, const char* type, const char* horse,
                        BetState state, const char* form, const char* said = "",
                        const char* racecourse = "Vincennes", const char* card = nullptr) {
        QTest::newRow(name) << c << QString(type) << QString(horse) << QString(racecourse)
                            << QString(card ? card : horse) << state << QString(form)
                            << QString::fromUtf8(said);
    };
    using S = BetState;
    row("1er wins", 1, "Simple Gagnant", "HUIT UN", S::Won, "1");
    row("2e placed of 7 starters", 1, "Simple Placé", "HUIT DEUX", S::Won, "2");
    row("3ème of 8 declared, 1 not starting: 2 places", 1, "Simple Placé", "HUIT TROIS", S::Lost,
        "3");
    row("NP in place refunded, no figure", 1, "Simple Gagnant", "HUIT NP", S::Refunded, "");
    row("dead heat on 3rd, racecourse without accent", 2, "Simple Placé", "ÉVRY TROIS", S::Won,
        "3", "", "EVRY");
    row("dead heat on 3rd, Simple Place typed", 2, "Simple Place", "ÉVRY TROIS BIS", S::Won, "3",
        "", "Évry");
    row("typographic apostrophe in the results", 2, "Simple Gagnant", "L'AMI DU ROI", S::Lost, "0",
        "", "évry", "L'Ami du Roi");
    row("accent in the results only", 2, "Simple Placé", "L'ETOILE DU NORD", S::Lost, "D", "",
        "Evry", "L’ETOILE DU NORD");
    row("card in small letters", 2, "Simple Gagnant", "ÉCLAIR D'OR", S::Lost, "D", "", "Évry",
        "éclair d'or");
    row("dead heat on 1st", 3, "Simple Gagnant", "EX DEUX", S::Won, "1");
    row("4 starters, 2nd placed", 4, "Simple Placé", "QUATRE DEUX", S::Won, "2");
    row("4 starters, 3rd not placed", 4, "Simple Placé", "QUATRE TROIS", S::Lost, "3");
    row("3 starters, place bet refunded", 5, "Simple Placé", "TROIS UN", S::Refunded, "1");
    row("3 starters, win bet won", 5, "Simple Gagnant", "TROIS UN", S::Won, "1");
    row("no runners number: 4 started, 3rd not placed", 6, "Simple Placé", "SANS TROIS", S::Lost,
        "3");
    row("no runners number: 2nd placed", 6, "Simple Placé", "SANS DEUX", S::Won, "2");
    row("ARR", 6, "Simple Gagnant", "SANS QUATRE", S::Lost, "A");
    row("Non-partant in statut only", 6, "Simple Gagnant", "SANS NP", S::Refunded, "");
    row("np in place", 7, "Simple Placé", "NP PLACE", S::Refunded, "");
    row("non partant in place", 7, "Simple Gagnant", "NP MOTS", S::Refunded, "");
    row("NON PARTANTE in statut", 7, "Simple Gagnant", "NP STATUT", S::Refunded, "");
    row("0", 7, "Simple Gagnant", "FIN ZERO", S::Lost, "0");
    row("DIS", 7, "Simple Gagnant", "FIN DIS", S::Lost, "D");
    row("A", 7, "Simple Gagnant", "FIN A", S::Lost, "A");
    row("T", 7, "Simple Gagnant", "FIN T", S::Lost, "T");
    row("another racecourse name", 1, "Simple Gagnant", "HUIT UN", S::Won, "1",
        "(hippodrome des résultats : Vincennes)", "Paris-Vincennes");
    row("horse not in its race", 1, "Simple Gagnant", "PARIS UN", S::Pending, "1",
        "cheval introuvable dans les résultats");
    row("race not in the day's results", 9, "Simple Gagnant", "HUIT UN", S::Pending, "1",
        "course introuvable dans les résultats du 14/03/2026");
    row("game type settled by hand", 1, "Couplé Gagnant", "HUIT UN", S::Pending, "1",
        "type de jeu réglé à la main");
}

void TestBets::oneResultsFile() {
    QFETCH(int, c);
    QFETCH(QString, type);
    QFETCH(QString, horse);
    QFETCH(QString, racecourse);
    QFETCH(QString, cardName);
    QFETCH(QString, form);
    QFETCH(QString, said);
    QFETCH(BetState, state);
    TestDatabase t;
    ledger::addPlayer(*t.db(), "Paul", eur(100), "Mars");
    ledger::GameEntry entry{ledger::GameKind::Stake, "Paul", "Mars", "14", type, horse, eur(10),
                            ledger::BetSlip{QDate(2026, 3, 14), {1, c, racecourse}, 4.5}};
    const qint64 num = ledger::recordGame(*t.db(), entry).num;
    const QString csv = t.folder() + "/resultats.csv";
    QFile file(csv);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(kMessyResults);
    file.close();
    QString printed, errors;
    QTextStream out(&printed), err(&errors);
    QCOMPARE(runDbTool({"import-results", csv, t.folder()}, out, err), 0);
    out.flush();
    QCOMPARE(stateOf(t, num), ledger::betStateName(state));
    QVERIFY2(printed.contains(said), qPrintable(printed));

    t.exec("INSERT INTO PARTANTS (date, hippodrome, R, C, dossard, cheval) VALUES "
           "('2026-03-15', 'Chantilly', 1, 1, 1, ?)",
           {cardName});
    const QDate day(2026, 3, 15);
    const auto races = followed::racesOn(*t.db(), day, {});
    QCOMPARE(races.size(), 1);
    const auto runners = followed::runnersOf(*t.db(), day, races.first(), {}, followed::ChronoList());
    QCOMPARE(runners.size(), 1);
    QCOMPARE(runners.first().form, form);
    QCOMPARE(runners.first().daysSinceLastRace.has_value(), !form.isEmpty());
    // The followed horse's card reads its last race from the same rows.
    QCOMPARE(followed::lastRaceForm(*t.db(), cardName, day).place == "NonConnu", form.isEmpty());
}

// The same rules, from the results stored in a file, with the ways a bet finds its runner.
void TestBets::settlingOnAFile_data() {
    settlingRules_data();
}

void TestBets::settlingOnAFile() {
    QFETCH(QString, type);
    QFETCH(QString, place);
    QFETCH(QString, statut);
    QFETCH(int, runners);
    QFETCH(BetState, state);
    TestDatabase t;
    ledger::addPlayer(*t.db(), "Paul", eur(100), "Mars");
    // The ledger stores the horse without apostrophe, in capitals: the results do not, and
    // write the racecourse with its accent.
    addRunner(t, "l’As  de Trèfle", place, statut, runners, "Évry");
    addRunner(t, "Autre", "5", "", runners, "Évry");
    // Without their number, the starters are the race's rows that started.
    const int started = 1 + (racing::finishOf(place, statut).started() ? 1 : 0);
    const BetState expected = runners ? state : ledger::settle(type, {place, statut, started});
    const qint64 num = stake(t, type, "L'AS DE TRÈFLE", "EVRY");
    const ledger::Settling settling = ledger::settleBets(*t.db());
    QCOMPARE(stateOf(t, num), ledger::betStateName(expected));
    QCOMPARE(settling.settled.size(), expected == BetState::Pending ? 0 : 1);
    QVERIFY(settling.horseNotFound.isEmpty());
    if (!settling.settled.isEmpty())
        QVERIFY(!ledger::settledLine(settling.settled.first()).contains("hippodrome"));

    // A horse the race does not hold is listed and stays pending. A race is its day, R and
    // C: named at another racecourse, it is settled all the same, and the line says where
    // the results put it.
    const qint64 absent = stake(t, "Simple Gagnant", "Inconnu");
    const qint64 ailleurs = stake(t, "Simple Gagnant", "L'AS DE TRÈFLE", "Enghien");
    // One bet alone (one just recorded) is settled without the others.
    const ledger::Settling seul = ledger::settleBets(*t.db(), ailleurs);
    QVERIFY(seul.horseNotFound.isEmpty());
    const BetState gagnant = ledger::settle("Simple Gagnant", {place, statut, 9});
    QCOMPARE(stateOf(t, ailleurs), ledger::betStateName(gagnant));
    QCOMPARE(seul.settled.size(), 1);
    QVERIFY(
        ledger::settledLine(seul.settled.first()).endsWith(" (hippodrome des résultats : Évry)"));
    QCOMPARE(ledger::settleBets(*t.db(), absent).horseNotFound.size(), 1);
    const ledger::Settling again = ledger::settleBets(*t.db());
    QVERIFY(again.settled.isEmpty());
    QCOMPARE(again.horseNotFound.size(), 1);
    QCOMPARE(again.horseNotFound.first().num, absent);
    QVERIFY(ledger::notFoundLine(again.horseNotFound.first())
                .endsWith("INCONNU — Simple Gagnant : cheval introuvable dans les résultats"));
}

void TestBets::racesAndOddsAsTyped_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("race"); // code(), or empty for no race
    QTest::newRow("code alone") << "R1C3"
                                << "R1C3";
    QTest::newRow("blanks and case") << " r1 c 3 "
                                     << "R1C3";
    QTest::newRow("as the list writes it") << "R2C10 Vincennes — Prix d'Amérique"
                                           << "R2C10 Vincennes";
    QTest::newRow("hyphenated racecourse") << "R4C1 Cagnes-sur-Mer - Prix"
                                           << "R4C1 Cagnes-sur-Mer";
    QTest::newRow("name without racecourse") << "R1C3 — Prix de Paris"
                                             << "R1C3";
    QTest::newRow("no race number") << "R1"
                                    << "";
    QTest::newRow("race zero") << "R1C0"
                               << "";
    QTest::newRow("a horse") << "Bold Eagle"
                             << "";
}

void TestBets::racesAndOddsAsTyped() {
    QFETCH(QString, typed);
    QFETCH(QString, race);
    const auto parsed = ledger::parseRace(typed);
    QCOMPARE(parsed ? parsed->code() : QString(), race);
    // Odds: over 1, with either separator.
    QCOMPARE(ledger::parseOdds("4,5"), std::optional<double>(4.5));
    QCOMPARE(ledger::parseOdds(" 12.25 "), std::optional<double>(12.25));
    for (const char* refused : {"1", "1,0", "0,5", "-3", "abc", "4,5,6", "", "1e3"})
        QVERIFY2(!ledger::parseOdds(refused), refused);
}

// Cashing writes the win on the bet's own row; a refund reverses the stake; reversing the
// win leaves the bet to cash again.
void TestBets::cashingRefundingAndReversing() {
    TestDatabase t;
    ledger::addPlayer(*t.db(), "Paul", eur(100), "Mars");
    ledger::addPlayer(*t.db(), "Paul", eur(0), "Avril");
    addRunner(t, "Gagnant", "1", "", 10);
    addRunner(t, "Absent", "NP", "", 10);
    const qint64 won = stake(t, "Simple Gagnant", "Gagnant", "", 10, 4.5);
    const qint64 refunded = stake(t, "Simple Gagnant", "Absent", "", 5, std::nullopt);
    ledger::settleBets(*t.db());
    auto toCash = ledger::betsToCash(*t.db(), "paul");
    QCOMPARE(toCash.size(), 2);
    QCOMPARE(toCash.first().expectedReturn(), std::optional<Money>(eur(45)));
    // A dead heat, written "1ex" or as two runners on one place, shares the dividend.
    QVERIFY(!ledger::deadHeat(*t.db(), toCash.first()));
    addRunner(t, "Egal", "1", "", 10);
    QVERIFY(ledger::deadHeat(*t.db(), toCash.first()));
    t.exec("DELETE FROM CR WHERE cheval = 'Egal'");
    t.exec("UPDATE CR SET place = '1ex' WHERE cheval = 'Gagnant'");
    QVERIFY(ledger::deadHeat(*t.db(), toCash.first()));
    t.exec("UPDATE CR SET place = '1' WHERE cheval = 'Gagnant'");
    QCOMPARE(toCash.last().expectedReturn(), std::nullopt);
    QCOMPARE(ledger::unsettledBets(*t.db()), 2);
    QVERIFY_THROWS_EXCEPTION(ledger::BetRefused, ledger::cashBet(*t.db(), refunded, eur(5)));

    const ledger::BalanceChange cashed = ledger::cashBet(*t.db(), won, eur(42.3));
    QCOMPARE(t.scalar("SELECT NumGain FROM PARIS WHERE NumJeu = ?", {won}).toLongLong(),
             cashed.num);
    QCOMPARE(
        t.scalar("SELECT mois || Jour || Cheval || Credit FROM JEUX WHERE Num = ?", {cashed.num})
            .toString(),
        QString("Mars14GAGNANT42.3"));
    QCOMPARE(cashed.after, eur(100 - 10 - 5 + 42.3));
    QVERIFY_THROWS_EXCEPTION(ledger::BetRefused, ledger::cashBet(*t.db(), won, eur(1)));
    QVERIFY_THROWS_EXCEPTION(ledger::BetRefused, ledger::markBet(*t.db(), won, BetState::Lost));

    ledger::refundBet(*t.db(), refunded);
    QCOMPARE(stateOf(t, refunded), QString("remboursé"));
    QCOMPARE(ledger::account(*t.db(), "Paul", "Mars")->balance, eur(100 - 10 + 42.3));
    // A mistyped stake reversed: its bet is cancelled, out of every count.
    const qint64 mistyped = stake(t, "Simple Gagnant", "Absent");
    ledger::reverseLine(*t.db(), mistyped);
    QCOMPARE(stateOf(t, mistyped), QString("annulé"));
    QCOMPARE(ledger::betsToCash(*t.db(), "Paul").size(), 0);
    QCOMPARE(ledger::unsettledBets(*t.db()), 0);
    // A reversed stake is out of every count, the settling's too.
    QVERIFY_THROWS_EXCEPTION(ledger::BetRefused, ledger::markBet(*t.db(), refunded, BetState::Won));

    ledger::reverseLine(*t.db(), cashed.num);
    QVERIFY(t.scalar("SELECT NumGain FROM PARIS WHERE NumJeu = ?", {won}).isNull());
    toCash = ledger::betsToCash(*t.db(), "Paul");
    QCOMPARE(toCash.size(), 1);
    QCOMPARE(toCash.first().num, won);

    // A result corrected after the cashing is told, never applied.
    t.exec("UPDATE CR SET place = '3' WHERE cheval = 'Gagnant'");
    ledger::cashBet(*t.db(), won, eur(45));
    const ledger::Settling told = ledger::settleBets(*t.db());
    QVERIFY(told.settled.isEmpty());
    QVERIFY(ledger::pendingLines(told).contains(
        "n° 1 — 14/03/2026 R1C3 — GAGNANT — Simple Gagnant : encaissé comme gagné, les "
        "résultats le donnent maintenant perdu"));
    QCOMPARE(stateOf(t, won), QString("gagné"));
    ledger::reverseLine(*t.db(),
                        t.scalar("SELECT NumGain FROM PARIS WHERE NumJeu = ?", {won}).toLongLong());
    t.exec("UPDATE CR SET place = '1' WHERE cheval = 'Gagnant'");

    // A corrected result settles again a bet not cashed.
    t.exec("UPDATE CR SET place = '2' WHERE cheval = 'Gagnant'");
    const ledger::Settling corrected = ledger::settleBets(*t.db());
    QCOMPARE(corrected.settled.size(), 1);
    QCOMPARE(corrected.settled.first().was, BetState::Won);
    QCOMPARE(stateOf(t, won), QString("perdu"));
}

// Stake times odds in whole hundredths, half up: a double product lands a hair under the half
// cent for odds such as 1,13 and 1,38.
void TestBets::expectedReturnToTheCent_data() {
    QTest::addColumn<double>("stake");
    QTest::addColumn<double>("odds");
    QTest::addColumn<qint64>("cents");
    QTest::newRow("10 at 4,55") << 10.0 << 4.55 << qint64(4550);
    QTest::newRow("0,50 at 1,13") << 0.50 << 1.13 << qint64(57);
    QTest::newRow("12,75 at 1,14") << 12.75 << 1.14 << qint64(1454);
    QTest::newRow("5,75 at 1,38") << 5.75 << 1.38 << qint64(794);
    QTest::newRow("3,33 at 2,5") << 3.33 << 2.5 << qint64(833);
    QTest::newRow("1,01 at 1,01") << 1.01 << 1.01 << qint64(102);
}

void TestBets::expectedReturnToTheCent() {
    QFETCH(double, stake);
    QFETCH(double, odds);
    ledger::Bet bet;
    bet.stake = eur(stake);
    bet.odds = odds;
    QFETCH(qint64, cents);
    QCOMPARE(bet.expectedReturn()->cents(), cents);
}

// The results decide only what they can tell, and only a bet still as it was read.
void TestBets::settlingKeepsWhatItCannotTell() {
    TestDatabase t;
    ledger::addPlayer(*t.db(), "Paul", eur(100), "Mars");
    addRunner(t, "Jolie", "1", "", 0);
    addRunner(t, "Belle", "2", "", 0);
    // A game type the results cannot decide: the state set by hand stays.
    const qint64 byHand = stake(t, "Trio", "Jolie");
    // Until then it is pending with its reason, beside a bet whose day has no results yet.
    ledger::GameEntry later{ledger::GameKind::Stake,
                            "Paul",
                            "Mars",
                            "20",
                            "Simple Gagnant",
                            "Jolie",
                            eur(2),
                            ledger::BetSlip{QDate(2026, 3, 20), {1, 1, {}}, {}}};
    ledger::recordGame(*t.db(), later);
    QCOMPARE(ledger::pendingLines(ledger::settleBets(*t.db())),
             QStringList({"n° 1 — 14/03/2026 R1C3 — JOLIE — Trio : type de jeu réglé à la main",
                          "1 pari attend ses résultats"}));
    ledger::markBet(*t.db(), byHand, BetState::Won);
    QVERIFY(ledger::settleBets(*t.db()).settled.isEmpty());
    QCOMPARE(stateOf(t, byHand), QString("gagné"));

    // Another program marks the bet between the settling's reading and its writing (when it
    // asks for the write lock): its state is kept, and the bet is not counted as settled.
    const qint64 raced = stake(t, "Simple Gagnant", "Belle");
    struct Other {
        QString path;
        qint64 num;
        bool done = false;
    } other{t.db()->path(), raced};
    sqlite3_set_authorizer(
        t.db()->raw(),
        [](void* data, int action, const char*, const char*, const char*, const char*) {
            auto* o = static_cast<Other*>(data);
            if (action == SQLITE_TRANSACTION && !o->done) {
                o->done = true;
                sqlite3* second = nullptr;
                sqlite3_open_v2(o->path.toUtf8().constData(), &second, SQLITE_OPEN_READWRITE,
                                nullptr);
                const QByteArray sql = "UPDATE PARIS SET Etat = 'remboursé' WHERE NumJeu = " +
                                       QByteArray::number(o->num);
                sqlite3_exec(second, sql.constData(), nullptr, nullptr, nullptr);
                sqlite3_close(second);
            }
            return SQLITE_OK;
        },
        &other);
    const ledger::Settling settling = ledger::settleBets(*t.db());
    sqlite3_set_authorizer(t.db()->raw(), nullptr, nullptr);
    QVERIFY(other.done);
    QVERIFY(settling.settled.isEmpty());
    QCOMPARE(stateOf(t, raced), QString("remboursé"));
}

void TestBets::closingWaitsForTheBets() {
    TestDatabase t;
    ledger::recordYear(*t.db(), 2025);
    ledger::addPlayer(*t.db(), "Paul", eur(100), "Mars");
    const qint64 pending = stake(t, "Trio", "Jolie");
    stake(t, "Simple Gagnant", "Belle");
    t.exec("UPDATE PARIS SET Etat = 'perdu' WHERE NumJeu <> ?", {pending});
    // A mistyped stake reversed never holds the closing back; reversed by an older version,
    // its bet still pending, the settling cancels it.
    const qint64 mistyped = stake(t, "Simple Gagnant", "Erreur");
    ledger::reverseLine(*t.db(), mistyped);
    t.exec("UPDATE PARIS SET Etat = 'en cours' WHERE NumJeu = ?", {mistyped});
    const ledger::Settling cancelling = ledger::settleBets(*t.db());
    QCOMPARE(cancelling.settled.size(), 1);
    QVERIFY(ledger::settledLine(cancelling.settled.first()).endsWith(" — ERREUR — Simple Gagnant : annulé"));
    try {
        ledger::closeYear(*t.db(), 2025);
        QFAIL("closed with a pending bet");
    } catch (const ledger::ClosingRefused& refused) {
        QCOMPARE(refused.reason, ledger::ClosingRefused::Reason::BetsUnsettled);
        QCOMPARE(refused.text,
                 QString("1 pari n'est pas réglé : encaissez-le ou marquez-le avant de clôturer.\n"
                         "  14/03/2026 R1C3 — JOLIE — en cours\n"
                         "Dans la fenêtre Gestion des mises, un pari se marque depuis le menu de "
                         "sa ligne du relevé (clic droit) et s'encaisse depuis la liste des paris "
                         "à encaisser."));
    }
    QCOMPARE(t.scalar("SELECT count(*) FROM PARIS").toInt(), 3);
    ledger::markBet(*t.db(), pending, BetState::Lost);
    const ledger::ClosingDone done = ledger::closeYear(*t.db(), 2025);
    // The archive keeps the bets with their lines; the new year starts without any.
    const auto archive = ledger::openArchive(done.archive);
    QCOMPARE(archive->scalar("SELECT group_concat(Etat) FROM PARIS").toString(),
             QString("perdu,perdu,annulé"));
    QCOMPARE(t.scalar("SELECT count(*) FROM PARIS").toInt(), 0);

    // Results imported after the closing that settle an archived bet otherwise are told,
    // and the archive is left as it was.
    const QByteArray before = [&] {
        QFile file(done.archive);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    const QString csv = t.folder() + "/resultats.csv";
    QFile file(csv);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("date;hippodrome;R;C;nbPartant;cheval;place\n14/03/2026;Vincennes;1;3;8;BELLE;1\n");
    file.close();
    QString printed, errors;
    QTextStream out(&printed), err(&errors);
    QCOMPARE(runDbTool({"import-results", csv, t.folder()}, out, err), 0);
    out.flush();
    QVERIFY2(printed.contains(" — BELLE — Simple Gagnant : perdu dans l'exercice 2025 clos, les "
                              "résultats le donnent maintenant gagné"),
             qPrintable(printed));
    QFile archived(done.archive);
    QVERIFY(archived.open(QIODevice::ReadOnly));
    QCOMPARE(archived.readAll(), before);
}

QTEST_MAIN(TestBets)
#include "tst_bets.moc"
