#include "chrono/conversions.h"
#include "chrono/fchrono.h"
#include "chrono/listfile.h"
#include "data/paths.h"
#include "gui/appearance.h"
#include "gui/dialogs.h"
#include "tests/support/realdialogs.h"
#include "tests/support/scripteddialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QtTest>
#include <cmath>
#include <limits>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/capability.h>
#include <sys/syscall.h>
#endif

Q_DECLARE_METATYPE(std::optional<double>)
Q_DECLARE_METATYPE(std::optional<float>)

using chrono::ArrondirAuPair;
using chrono::ConvertirEnCentiemes;
using chrono::DifferenceDecimale;
using chrono::FormaterCentiemes;
using chrono::FormaterMinutes;
using chrono::FormaterResultat;
using chrono::LireNombreChrono;
using chrono::SecondesEnCentiemes;

namespace {

using OptDouble = std::optional<double>;
using OptFloat = std::optional<float>;

const float kInf = std::numeric_limits<float>::infinity();
const float kNan = std::numeric_limits<float>::quiet_NaN();
const float kMax = std::numeric_limits<float>::max();

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Latin-1 literals hold the Windows-1252 bytes the file must contain.
QString cp1252(const QByteArray& bytes) {
    QStringDecoder decoder("windows-1252");
    return decoder.decode(bytes);
}

// While it lives, permissions bind this thread even when it runs as root: root's right to
// write through them (CAP_DAC_OVERRIDE) is set aside, then given back.
class PermissionsBind {
public:
    PermissionsBind() {
#ifdef Q_OS_LINUX
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct bound[2] = {m_saved[0], m_saved[1]};
        bound[CAP_TO_INDEX(CAP_DAC_OVERRIDE)].effective &= ~CAP_TO_MASK(CAP_DAC_OVERRIDE);
        m_bound = syscall(SYS_capset, &m_header, bound) == 0;
#endif
    }
    ~PermissionsBind() {
#ifdef Q_OS_LINUX
        if (m_bound)
            syscall(SYS_capset, &m_header, m_saved);
#endif
    }

private:
#ifdef Q_OS_LINUX
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
#endif
    bool m_bound = false;
};

// The chrono window in a fresh program folder, driven by the objectNames of its design.
class Window {
public:
    Window() {
        paths::setProgramFolder(m_dir.path());
        w = new Fchrono();
        w->show();
    }
    ~Window() {
        delete w.data();
        paths::setProgramFolder(QString());
    }

    template <typename T> T* child(const char* name) const {
        T* found = w->findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    QLineEdit* edit(const char* name) const { return child<QLineEdit>(name); }
    QString text(const char* name) const { return edit(name)->text(); }
    void type(const char* name, const QString& text) const { edit(name)->setText(text); }
    QString label(const char* name) const { return child<QLabel>(name)->text(); }
    void click(const char* name) const { child<QAbstractButton>(name)->click(); }
    bool checked(const char* name) const { return child<QRadioButton>(name)->isChecked(); }
    // The field loses the focus to another control of the window.
    void leave(const char* name) const {
        QFocusEvent event(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(edit(name), &event);
    }
    QStringList list() const {
        QStringList lines;
        auto* box = child<QListWidget>("LstCheval");
        for (int i = 0; i < box->count(); ++i)
            lines << box->item(i)->text();
        return lines;
    }
    QString file() const { return m_dir.filePath(QStringLiteral("lstchrono.txt")); }
    QString folder() const { return m_dir.path(); }

    void reference(const QString& distance, const QString& m, const QString& s, const QString& c,
                   const QString& poids = QString()) const {
        type("Tdistance", distance);
        type("Tminute", m);
        type("Tseconde", s);
        type("tcentieme", c);
        type("Tpoids", poids);
    }
    // Adds a line through the two input boxes.
    void add(ScriptedDialogs& dialogs, const QString& name, const QString& going) const {
        dialogs.type(name);
        dialogs.type(going);
        click("Bt_Ajoute");
    }

    QPointer<Fchrono> w;

private:
    QTemporaryDir m_dir;
};

bool showsNoInfinity(const Window& window, const QString& typedField) {
    for (const char* name : {"Lreduction", "LresultDistance"}) {
        const QString t = window.label(name).toLower();
        if (t.contains(QLatin1String("inf")) || t.contains(QLatin1String("nan")))
            return false;
    }
    for (QLineEdit* e : window.w->findChildren<QLineEdit*>()) {
        if (e->objectName() == typedField)
            continue;
        const QString t = e->text().toLower();
        if (t.contains(QLatin1String("inf")) || t.contains(QLatin1String("nan")))
            return false;
    }
    return true;
}

} // namespace

class TestChrono : public QObject {
    Q_OBJECT
private slots:
    // Real boxes show Qt's French buttons.
    void initTestCase() { appearance::setupApplication(*qApp); }
    void cleanup() { paths::setProgramFolder(QString()); }

    // Conversions
    void readsChronoNumbers_data();
    void readsChronoNumbers();
    void subtractsTypedDecimals_data();
    void subtractsTypedDecimals();
    void convertsToHundredths();
    void formatsHundredths_data();
    void formatsHundredths();
    void formatsMinutes_data();
    void formatsMinutes();
    void truncatesSecondsToHundredths_data();
    void truncatesSecondsToHundredths();
    void roundsResults_data();
    void roundsResults();

    // The window
    void showsEveryControl();
    void lengthsRecomputeTheTime_data();
    void lengthsRecomputeTheTime();
    void lengthsAndWeightOnLeavingTheField();
    void optionNeedsLengths_data();
    void optionNeedsLengths();

    // The calculation
    void calculates_data();
    void calculates();
    void calculationStepsAndMessages();
    void refusesUnusableNumbers_data();
    void refusesUnusableNumbers();
    void typedByTheUser_data();
    void typedByTheUser();

    // The list and its file
    void addsLinesInAlphabeticalPlace();
    void addAsksBothQuestions_data();
    void addAsksBothQuestions();
    void warnsForChronoPlusLength();
    void refusesCharactersTheFileCannotHold_data();
    void refusesCharactersTheFileCannotHold();
    void listFileJournal();
    void roundTripsWindows1252();
    void fileErrorsKeepTheList_data();
    void fileErrorsKeepTheList();
    void listFileLines_data();
    void listFileLines();
    void failedSaveLeavesThePreviousFile();
    void closingOffersToSaveAddedLines_data();
    void closingOffersToSaveAddedLines();
};

// ---------------------------------------------------------------------------------------------
// Conversions

void TestChrono::readsChronoNumbers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<OptDouble>("expected");
    QTest::newRow("dot") << "12.5" << OptDouble(12.5);
    QTest::newRow("comma") << "12,5" << OptDouble(12.5);
    QTest::newRow("blanks") << "  1600 " << OptDouble(1600);
    QTest::newRow("leading separator") << ".5" << OptDouble(0.5);
    QTest::newRow("trailing separator") << "58." << OptDouble(58);
    QTest::newRow("sign") << "-3" << OptDouble(-3);
    QTest::newRow("zeros") << "0.00" << OptDouble(0);
    QTest::newRow("empty") << "" << OptDouble();
    QTest::newRow("blank") << "   " << OptDouble();
    QTest::newRow("word") << "abc" << OptDouble();
    QTest::newRow("two separators") << "1.2.3" << OptDouble();
    QTest::newRow("mixed separators") << "1,2.3" << OptDouble();
    QTest::newRow("inner blank") << "1 600" << OptDouble();
    QTest::newRow("unit") << "58kg" << OptDouble();
    QTest::newRow("exponent") << "1e5" << OptDouble();
    QTest::newRow("inf") << "inf" << OptDouble();
    QTest::newRow("nan") << "nan" << OptDouble();
    QTest::newRow("sign only") << "-" << OptDouble();
    QTest::newRow("separator only") << "." << OptDouble();
    QTest::newRow("late sign") << "5-" << OptDouble();
    QTest::newRow("arabic digits") << QString::fromUtf8("\u0661\u0662") << OptDouble();
    QTest::newRow("beyond double") << QString(400, QLatin1Char('9')) << OptDouble();
}

void TestChrono::readsChronoNumbers() {
    QFETCH(QString, text);
    QFETCH(OptDouble, expected);
    QCOMPARE(LireNombreChrono(text), expected);
}

void TestChrono::subtractsTypedDecimals_data() {
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<OptFloat>("expected");
    // The exact difference made single precision once, not the difference of two floats
    // (50.3f − 50f is 0.2999992, 60.1f − 58.3f is 1.7999992).
    QTest::newRow("50,3 - 50,0") << "50,3"
                                 << "50,0" << OptFloat(0.3f);
    QTest::newRow("60,1 - 58,3") << "60,1"
                                 << "58,3" << OptFloat(1.8f);
    QTest::newRow("58,3 - 60,1") << "58,3"
                                 << "60.1" << OptFloat(-1.8f);
    QTest::newRow("whole") << "58"
                           << "60" << OptFloat(-2.0f);
    QTest::newRow("decimals of both") << ".25"
                                      << "1,125" << OptFloat(-0.875f);
    QTest::newRow("plus sign") << "+1"
                               << "0" << OptFloat(1.0f);
    // Only what a horse can carry: 0 to 200 kg.
    QTest::newRow("heaviest") << "200"
                              << "0,0" << OptFloat(200.0f);
    QTest::newRow("negative") << "1"
                              << "-1.5" << OptFloat();
    QTest::newRow("over 200") << "200,01"
                              << "58" << OptFloat();
    QTest::newRow("hundred digits")
        << "58" + QString(98, '0') << "58" + QString(97, '0') + "1" << OptFloat();
    QTest::newRow("equal") << "58.00"
                           << "58" << OptFloat(0.0f);
    QTest::newRow("too small for single") << "0." + QString(60, '0') + "1"
                                          << "0" << OptFloat(0.0f);
    QTest::newRow("too large for single")
        << "3" + QString(38, '0') << "-3" + QString(38, '0') << OptFloat();
    QTest::newRow("not a number") << "58kg"
                                  << "60" << OptFloat();
}

void TestChrono::subtractsTypedDecimals() {
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(OptFloat, expected);
    QCOMPARE(DifferenceDecimale(a, b), expected);
}

void TestChrono::convertsToHundredths() {
    QCOMPARE(ConvertirEnCentiemes(0, 1, 23, 47), OptDouble(8347));
    QCOMPARE(ConvertirEnCentiemes(1, 0, 1, 0), OptDouble(360100));
    QCOMPARE(ConvertirEnCentiemes(0, 0, 0, 0.5), OptDouble(0.5));
    QCOMPARE(ConvertirEnCentiemes(0, 1e308, 0, 0), OptDouble());
    QCOMPARE(ConvertirEnCentiemes(0, 0, 0, std::nan("")), OptDouble());
    // From the fields' texts: "." or ",", an empty field counting as 0.
    QCOMPARE(ConvertirEnCentiemes("", "1", "15", "30"), OptDouble(7530));
    QCOMPARE(ConvertirEnCentiemes("0", "", "15,5", ""), OptDouble(1550));
    QCOMPARE(ConvertirEnCentiemes("", "1", "x", "30"), OptDouble());
    QCOMPARE(ConvertirEnCentiemes("", QString(400, QLatin1Char('9')), "", ""), OptDouble());
}

void TestChrono::formatsHundredths_data() {
    QTest::addColumn<double>("hundredths");
    QTest::addColumn<QString>("expected");
    QTest::newRow("8347") << 8347.0 << "01:23:47";
    QTest::newRow("8305") << 8305.0 << "01:23:05";
    QTest::newRow("600") << 600.0 << "00:06:00";
    QTest::newRow("hours not shown") << 360100.0 << "00:01:00";
    QTest::newRow("zero") << 0.0 << "00:00:00";
    QTest::newRow("two figures") << 15540.0 << "02:35:40";
    QTest::newRow("not rounded") << 8347.5 << "01:23:47.5";
    // Only a text of one character gets its "0": 5.25 hundredths are written as they are.
    QTest::newRow("fraction below ten") << 8305.25 << "01:23:5.25";
    QTest::newRow("no arithmetic noise") << 15.3 * 100 << "00:15:30";
    QTest::newRow("one below the hour") << 359999.0 << "59:59:99";
    QTest::newRow("negative wraps like the hours") << -1.0 << "59:59:99";
    QTest::newRow("huge") << 1e300 << "";
    QTest::newRow("infinite") << double(kInf) << "";
    QTest::newRow("nan") << double(kNan) << "";
}

void TestChrono::formatsHundredths() {
    QFETCH(double, hundredths);
    QFETCH(QString, expected);
    const QString text = FormaterCentiemes(hundredths);
    if (QString(QTest::currentDataTag()) == QLatin1String("huge")) {
        // Meaningless but harmless: three two-figure parts, nothing else.
        QVERIFY2(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(text).hasMatch(),
                 qPrintable(text));
        return;
    }
    QCOMPARE(text, expected);
}

void TestChrono::formatsMinutes_data() {
    QTest::addColumn<float>("minutes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("83/60") << 83.0f / 60.0f << "1:23";
    QTest::newRow("65/60") << 65.0f / 60.0f << "1:05";
    QTest::newRow("120/60") << 120.0f / 60.0f << "2:00";
    QTest::newRow("74/60") << 74.0f / 60.0f << "1:14";
    QTest::newRow("zero") << 0.0f << "0:00";
    QTest::newRow("59/60") << 59.0f / 60.0f << "0:59";
    QTest::newRow("never 60 seconds") << 0.9999999f << "1:00";
    QTest::newRow("infinite") << kInf << "";
    QTest::newRow("nan") << kNan << "";
}

void TestChrono::formatsMinutes() {
    QFETCH(float, minutes);
    QFETCH(QString, expected);
    QCOMPARE(FormaterMinutes(minutes), expected);
    QVERIFY(!FormaterMinutes(kMax).isEmpty());
}

void TestChrono::truncatesSecondsToHundredths_data() {
    QTest::addColumn<float>("seconds");
    QTest::addColumn<OptDouble>("expected");
    QTest::newRow("two thirds") << 2.0f / 3.0f << OptDouble(66);
    QTest::newRow("half") << 0.5f << OptDouble(50);
    QTest::newRow("four thirds") << 4.0f / 3.0f << OptDouble(133);
    QTest::newRow("two") << 2.0f << OptDouble(200);
    QTest::newRow("12.5") << 12.5f << OptDouble(1250);
    QTest::newRow("one decimal") << 0.7f << OptDouble(70);
    // 0.29f is 0.2899999…; its 7-digit writing 0.29 gives 29 where plain truncation gives 28.
    QTest::newRow("read from the decimal text") << 0.29f << OptDouble(29);
    QTest::newRow("1.15") << 1.15f << OptDouble(115);
    QTest::newRow("kilograms") << 2.0f / 1.5f << OptDouble(133);
    QTest::newRow("zero") << 0.0f << OptDouble(0);
    QTest::newRow("tiny") << 1e-9f << OptDouble(0);
    QTest::newRow("negative toward zero") << -2.0f / 3.0f << OptDouble(-66);
    QTest::newRow("seven digits only") << 123456.78f << OptDouble(12345680);
    QTest::newRow("largest float") << kMax << OptDouble(3.402823e40);
    QTest::newRow("infinite") << kInf << OptDouble();
    QTest::newRow("nan") << kNan << OptDouble();
}

void TestChrono::truncatesSecondsToHundredths() {
    QFETCH(float, seconds);
    QFETCH(OptDouble, expected);
    const OptDouble got = SecondesEnCentiemes(seconds);
    QCOMPARE(got.has_value(), expected.has_value());
    if (got)
        QVERIFY2(std::fabs(*got - *expected) <= std::fabs(*expected) * 1e-15,
                 qPrintable(QString::number(*got, 'g', 17)));
}

void TestChrono::roundsResults_data() {
    QTest::addColumn<float>("seconds");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("hundredths");
    QTest::newRow("reduction 74 s") << 74.0f << "1:14:00" << 0;
    QTest::newRow("estimate 155.40 s") << 118.4f * 2100.0f / 1600.0f << "2:35:40" << 40;
    QTest::newRow("one decimal") << 83.5f << "1:23:50" << 50;
    QTest::newRow("whole minutes") << 120.0f << "2:00:00" << 0;
    QTest::newRow("half to even, down") << 0.125f << "0:00:12" << 12;
    QTest::newRow("half to even, up") << 0.375f << "0:00:38" << 38;
    // The rounding carries into the seconds: 59.996 s is one minute, not 0:59:00.
    QTest::newRow("carry") << 59.996f << "1:00:00" << 0;
    QTest::newRow("infinite") << kInf << "" << 0;
}

void TestChrono::roundsResults() {
    QFETCH(float, seconds);
    QFETCH(QString, expected);
    QFETCH(int, hundredths);
    const auto result = FormaterResultat(seconds);
    QCOMPARE(result.texte, expected);
    QCOMPARE(int(result.centiemes), hundredths);

    // The hundredths figure stays within 0..99 whatever the value.
    for (float v : {kMax, -kMax, -83.5f, 1e-30f, kNan}) {
        const auto r = FormaterResultat(v);
        QVERIFY(r.centiemes >= 0 && r.centiemes <= 99);
    }
    QCOMPARE(ArrondirAuPair(0.5), 0.0);
    QCOMPARE(ArrondirAuPair(1.5), 2.0);
    QCOMPARE(ArrondirAuPair(2.5), 2.0);
    QCOMPARE(ArrondirAuPair(58.5), 58.0);
    QCOMPARE(ArrondirAuPair(0.4999), 0.0);
    QCOMPARE(ArrondirAuPair(-1.5), -2.0);
}

// ---------------------------------------------------------------------------------------------
// The window

void TestChrono::showsEveryControl() {
    Window window;
    Fchrono& w = *window.w;
    QCOMPARE(w.objectName(), QString("Fchrono"));
    QCOMPARE(w.windowTitle(), QString(" Calcul Chrono et réduction kilometrique V1.3"));

    const struct {
        const char* name;
        const char* property;
        const char* value;
    } expected[] = {
        {"Tpoids", "toolTip", "Format 00.00"},
        {"Tdistance2", "toolTip", "Distance de la course du jour en mètre"},
        {"tpoids2", "toolTip", "Poids que portera le cheval dans la course du jour format 00.0"},
        {"TNbrLongueur", "toolTip", "Format : 0.0"},
        {"TNbrLongueur", "text", "0.0"},
        {"Frame1", "title", "La réduction kilométrique doit être calculer sur :"},
        {"Frame2", "title", "Lacourse du jour  doit être calculer sur :"},
        {"Opt_chronok", "text", "Le Chrono"},
        {"Opt_ChronokL", "text", "Le Chrono + Longueur"},
        {"Opt_chronocj", "text", "Le Chrono"},
        {"Opt_ChronocjL", "text", "Le Chrono + Longueur"},
        {"Btcalcul", "text", "Lancer le calcul !"},
        {"Bt_Ajoute", "text", "Ajouter à la liste"},
        {"btsave", "text", "Sauvegarder la liste"},
        {"bt_chargeliste", "text", "Charger la liste"},
        {"Bt_videliste", "text", "Vider la liste"},
        {"Bt_videListefichier", "text", "Vider liste + fichier"},
        {"Bt_Ajoute", "toolTip", "Ajouter a la liste"},
        {"btsave", "toolTip", "Sauvegarder la liste dans un fichier"},
        {"bt_chargeliste", "toolTip", "Charger le fichier de liste"},
        {"Bt_videliste", "toolTip", "Vider la liste"},
        {"Bt_videListefichier", "toolTip", "Vider la liste et le fichier"},
        {"Lreduction", "text", ""},
        {"LresultDistance", "text", ""},
    };
    for (const auto& e : expected) {
        QObject* control = w.findChild<QObject*>(e.name);
        QVERIFY2(control, e.name);
        QCOMPARE(control->property(e.property).toString(), QString::fromUtf8(e.value));
    }
    for (const char* name : {"Tdistance", "Tminute", "Tseconde", "tcentieme", "Tpoids",
                             "Tdistance2", "tpoids2", "TminuteL", "TsecondeL", "TcentiemeL"})
        QVERIFY2(window.text(name).isEmpty(), name);
    QVERIFY(window.checked("Opt_chronok") && !window.checked("Opt_ChronokL"));
    QVERIFY(window.checked("Opt_chronocj") && !window.checked("Opt_ChronocjL"));
    QVERIFY(window.list().isEmpty());

    // Every heading, note and unit the user reads beside the fields.
    QStringList labels;
    for (QLabel* l : w.findChildren<QLabel*>())
        labels << l->text();
    for (const char* caption :
         {"Calculer le chrono estimé pour la course du jour et la réduction kilométrique du cheval",
          "-1- Course de référence",
          "Distance",
          "m",
          "Chrono",
          "s",
          "c",
          "Poids",
          "Kg",
          "-2- Distance et poids de la course du  jour",
          "Mètre",
          "Laisser vide si calcul uniquement de la réduction km",
          "-3- Si le cheval à fini au dela du premier",
          "Nbr de longeur à rajouter au chrono",
          "L",
          "Si le cheval n'à pas fini premier, rajouter le nombre de longueur (voir tableau réf "
          "longueur), le chrono se recaculera automatiquement",
          "Nouveau Chrono (+ longueur)",
          "réf longueur",
          "Réduction Kilométrique du cheval (1000m)",
          "Sa réduction pour la course Ref est  : ",
          "Chrono estimé  pour la course du jour",
          "Son chrono pour la course du jour sera :",
          "Chevaux avec leur Réduction kilometrique",
          "Reduction - distance - poids - cheval - Terrain ",
          "Pour la justesse de la liste n'ajouter que les réduction avec le chrono et pas avec le "
          "chrono + longueur",
          "Rappel"})
        QVERIFY2(labels.contains(QString::fromUtf8(caption)), caption);

    const auto* text1 = window.child<QPlainTextEdit>("Text1");
    const auto* text2 = window.child<QPlainTextEdit>("Text2");
    QCOMPARE(text1->toPlainText(),
             QString("1   = 1 L\n3/4 = 0.75 L\n1/2 = 0.5 L\nEnc = 0.25 L\ncrt. Enc = 0.15 L\n"
                     "Tête = 0.1 L\nCrt. tête = 0.08 L\nNez = 0.05 L\n"));
    QCOMPARE(text2->toPlainText(), QString("\nD4 --> -2s \nsur Red k.\n             \nDA ou DP \n"
                                           "-1s sur Red k.\n"));
    for (const auto* box : {text1, text2}) {
        const QFontMetrics metrics(box->font()); // every character as wide as the others
        QCOMPARE(metrics.horizontalAdvance("iiii"), metrics.horizontalAdvance("MMMM"));
        QVERIFY(box->isReadOnly());
    }

    // Nothing completes what is typed: no combo, no completer.
    QVERIFY(w.findChildren<QComboBox*>().isEmpty());
    for (const QLineEdit* e : w.findChildren<QLineEdit*>())
        QVERIFY2(!e->completer(), qPrintable(e->objectName()));

    // At its least size it fits a 1024×768 screen (1000×700 inside the frame), every control
    // whole, inside the window and over no other.
    const QSize least = w.minimumSizeHint();
    QVERIFY2(least.width() <= 1000 && least.height() <= 700,
             qPrintable(QStringLiteral("%1×%2").arg(least.width()).arg(least.height())));
    w.resize(least);
    w.layout()->activate();
    QList<QWidget*> controls;
    for (QWidget* c : w.findChildren<QWidget*>())
        if (c->isVisible() && !c->objectName().isEmpty() && !c->objectName().startsWith("qt_"))
            controls << c;
    const auto where = [&w](const QWidget* c) { return QRect(c->mapTo(&w, QPoint()), c->size()); };
    for (const QWidget* c : controls) {
        const QByteArray name = c->objectName().toLatin1();
        QVERIFY2(w.rect().contains(where(c)), name);
        if (qobject_cast<const QLabel*>(c) || qobject_cast<const QAbstractButton*>(c))
            QVERIFY2(c->width() >= c->minimumSizeHint().width() &&
                         c->height() >= c->minimumSizeHint().height(),
                     name);
        for (const QWidget* other : controls)
            if (other != c && !c->isAncestorOf(other) && !other->isAncestorOf(c))
                QVERIFY2(!where(c).intersects(where(other)),
                         qPrintable(c->objectName() + " / " + other->objectName()));
    }
}

void TestChrono::lengthsRecomputeTheTime_data() {
    QTest::addColumn<QStringList>("reference");
    QTest::addColumn<QString>("lengths");
    QTest::addColumn<QStringList>("expected");
    const QStringList ref{"1", "15", "30"};
    QTest::newRow("1.5 lengths, one second") << ref << "1.5" << QStringList{"01", "16", "30"};
    QTest::newRow("one length, 66 hundredths") << ref << "1" << QStringList{"01", "15", "96"};
    QTest::newRow("comma") << ref << "1,5" << QStringList{"01", "16", "30"};
    QTest::newRow("0.00 re-formats") << ref << "0.00" << QStringList{"01", "15", "30"};
    QTest::newRow("0.0 copies") << ref << "0.0" << ref;
    QTest::newRow("0 copies") << ref << "0" << ref;
    QTest::newRow("empty copies") << ref << "" << ref;
    QTest::newRow("empty time counts 0")
        << QStringList{"", "", ""} << "1.5" << QStringList{"00", "01", "00"};
    QTest::newRow("carry into minutes")
        << QStringList{"1", "59", "50"} << "0.75" << QStringList{"02", "00", "00"};
    QTest::newRow("fractional hundredths")
        << QStringList{"1", "15", "30.5"} << "1.5" << QStringList{"01", "16", "30.5"};
}

void TestChrono::lengthsRecomputeTheTime() {
    QFETCH(QStringList, reference);
    QFETCH(QString, lengths);
    QFETCH(QStringList, expected);
    ScriptedDialogs dialogs;
    Window window;
    window.reference("1600", reference.at(0), reference.at(1), reference.at(2));
    window.type("TNbrLongueur", lengths);
    window.leave("TNbrLongueur");
    QCOMPARE(
        (QStringList{window.text("TminuteL"), window.text("TsecondeL"), window.text("TcentiemeL")}),
        expected);
    QVERIFY(dialogs.shown().isEmpty());
}

void TestChrono::lengthsAndWeightOnLeavingTheField() {
    ScriptedDialogs dialogs;
    Window window;
    window.reference("1600", "1", "15", "30", "58");
    window.type("TNbrLongueur", "1.5");
    window.leave("TNbrLongueur");
    QCOMPARE(window.text("TsecondeL"), QString("16"));

    // A new reference time changes nothing until the lengths field is left again.
    window.type("Tseconde", "20");
    QCOMPARE(window.text("TsecondeL"), QString("16"));
    window.leave("TNbrLongueur");
    QCOMPARE(window.text("TsecondeL"), QString("21"));

    // Lengths that are not a number: "Erreur" naming the field, the "+ longueur" time kept.
    dialogs.answer(dialogs::Answer::Ok);
    window.type("TNbrLongueur", "une");
    window.leave("TNbrLongueur");
    QCOMPARE(dialogs.shown().size(), 1);
    QCOMPARE(dialogs.last().title, QString("Erreur"));
    QCOMPARE(dialogs.last().icon, dialogs::Icon::Critical);
    QVERIFY(dialogs.last().text.contains("Nbr de longeur"));
    QCOMPARE(window.text("TsecondeL"), QString("21"));
    // Negative lengths would take time off: refused the same way.
    dialogs.answer(dialogs::Answer::Ok);
    window.type("TNbrLongueur", "-1");
    window.leave("TNbrLongueur");
    QCOMPARE(dialogs.shown().size(), 2);
    QVERIFY(dialogs.last().text.contains(
        "« Nbr de longeur à rajouter au chrono » ne peut pas être négative"));
    QCOMPARE(window.text("TsecondeL"), QString("21"));
    // A reference time that is not a number is named too.
    dialogs.answer(dialogs::Answer::Ok);
    window.type("TNbrLongueur", "1");
    window.type("Tminute", "un");
    window.leave("TNbrLongueur");
    QCOMPARE(dialogs.shown().size(), 3);
    QVERIFY(dialogs.last().text.contains("Chrono : minutes"));
    QCOMPARE(window.text("TminuteL"), QString("01"));

    // The reference weight becomes today's weight each time it is left.
    window.type("tpoids2", "60");
    window.leave("Tpoids");
    QCOMPARE(window.text("tpoids2"), QString("58"));

    // Real focus moves run the same handlers; leaving the window does not.
    window.type("Tminute", "1");
    window.w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.w));
    window.type("TNbrLongueur", "3");
    window.edit("TNbrLongueur")->setFocus(Qt::TabFocusReason);
    QVERIFY(window.edit("TNbrLongueur")->hasFocus());
    window.edit("Tdistance")->setFocus(Qt::TabFocusReason);
    QCOMPARE(window.text("TsecondeL"), QString("22"));
    window.type("Tpoids", "57");
    window.edit("Tpoids")->setFocus(Qt::TabFocusReason);
    window.edit("Tdistance")->setFocus(Qt::MouseFocusReason);
    QCOMPARE(window.text("tpoids2"), QString("57"));
    QCOMPARE(dialogs.shown().size(), 3);
}

void TestChrono::optionNeedsLengths_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("fallback");
    QTest::newRow("reduction") << "Opt_ChronokL"
                               << "Opt_chronok";
    QTest::newRow("today's race") << "Opt_ChronocjL"
                                  << "Opt_chronocj";
}

void TestChrono::optionNeedsLengths() {
    QFETCH(QString, option);
    QFETCH(QString, fallback);
    const QByteArray opt = option.toLatin1(), back = fallback.toLatin1();
    ScriptedDialogs dialogs;
    Window window;
    dialogs.answer(dialogs::Answer::Ok);
    window.click(opt);
    QCOMPARE(dialogs.shown().size(), 1);
    QCOMPARE(dialogs.last().text,
             QString("vous devez avoir rentré une longeur pour effectuer ce calcul"));
    QCOMPARE(dialogs.last().title, dialogs::applicationTitle());
    QCOMPARE(dialogs.last().buttons, dialogs::Buttons::Ok);
    QCOMPARE(dialogs.last().icon, dialogs::Icon::None);
    QVERIFY(window.checked(back) && !window.checked(opt));

    // One field still empty is enough to refuse.
    dialogs.answer(dialogs::Answer::Ok);
    window.type("TminuteL", "1");
    window.type("TsecondeL", "16");
    window.click(opt);
    QCOMPARE(dialogs.shown().size(), 2);
    QVERIFY(window.checked(back));

    // With the time plus lengths filled in, the option stays chosen.
    window.reference("1600", "1", "15", "30");
    window.type("TNbrLongueur", "1.5");
    window.leave("TNbrLongueur");
    window.click(opt);
    QCOMPARE(dialogs.shown().size(), 2);
    QVERIFY(window.checked(opt) && !window.checked(back));
}

// ---------------------------------------------------------------------------------------------
// The calculation

void TestChrono::calculates_data() {
    QTest::addColumn<QStringList>("fields"); // Tdistance Tminute Tseconde tcentieme Tpoids
    QTest::addColumn<QString>("distance2");
    QTest::addColumn<QString>("poids2");
    QTest::addColumn<QString>("reduction");
    QTest::addColumn<QString>("estimate");
    const QStringList ref{"1600", "1", "58", "40", ""};
    QTest::newRow("reduction only") << ref << ""
                                    << ""
                                    << "1:14:00"
                                    << "";
    QTest::newRow("today's distance") << ref << "2100"
                                      << ""
                                      << "1:14:00"
                                      << "02:35:40";
    QTest::newRow("heavier today") << QStringList{"1600", "1", "58", "40", "58"} << "2100"
                                   << "60"
                                   << "1:14:00"
                                   << "02:36:73";
    QTest::newRow("lighter today") << QStringList{"1600", "1", "58", "40", "60"} << "2100"
                                   << "58"
                                   << "1:14:00"
                                   << "02:34:07";
    // The difference of the typed weights is taken exactly, then divided in single precision.
    QTest::newRow("50,0 to 50,3") << QStringList{"1600", "1", "58", "40", "50,0"} << "2100"
                                  << "50,3"
                                  << "1:14:00"
                                  << "02:35:60";
    QTest::newRow("58,3 to 60,1") << QStringList{"1600", "1", "58", "40", "58,3"} << "2100"
                                  << "60,1"
                                  << "1:14:00"
                                  << "02:36:60";
    QTest::newRow("60.1 to 58.3") << QStringList{"1600", "1", "58", "40", "60.1"} << "2100"
                                  << "58.3"
                                  << "1:14:00"
                                  << "02:34:20";
    QTest::newRow("same weight") << QStringList{"1600", "1", "58", "40", "58"} << "2100"
                                 << "58"
                                 << "1:14:00"
                                 << "02:35:40";
    QTest::newRow("today's weight from the reference")
        << QStringList{"1600", "1", "58", "40", "58"} << "2100"
        << ""
        << "1:14:00"
        << "02:35:40";
    QTest::newRow("commas") << QStringList{"1600,0", "1", "58,4", "0", "58,0"} << "2100"
                            << "60"
                            << "1:14:00"
                            << "02:36:73";
    QTest::newRow("weight rounding to 0 gives no correction")
        << QStringList{"1600", "1", "58", "40", "0.5"} << "2100"
        << "60"
        << "1:14:00"
        << "02:35:40";
    QTest::newRow("hundredths from one decimal") << QStringList{"1000", "1", "23", "50", ""} << ""
                                                 << ""
                                                 << "1:23:50"
                                                 << "";
    QTest::newRow("whole minutes") << QStringList{"1000", "2", "0", "0", ""} << ""
                                   << ""
                                   << "2:00:00"
                                   << "";
    QTest::newRow("empty minutes count 0") << QStringList{"1000", "", "83", "50", ""} << ""
                                           << ""
                                           << "1:23:50"
                                           << "";
}

void TestChrono::calculates() {
    QFETCH(QStringList, fields);
    QFETCH(QString, distance2);
    QFETCH(QString, poids2);
    QFETCH(QString, reduction);
    QFETCH(QString, estimate);
    ScriptedDialogs dialogs;
    Window window;
    window.reference(fields.at(0), fields.at(1), fields.at(2), fields.at(3), fields.at(4));
    window.type("Tdistance2", distance2);
    window.type("tpoids2", poids2);
    window.click("Btcalcul");
    QVERIFY(dialogs.shown().isEmpty());
    QCOMPARE(window.label("Lreduction"), reduction);
    QCOMPARE(window.label("LresultDistance"), estimate);
    // Empty time fields now show 0, an empty weight of the day the reference weight.
    for (const char* name : {"Tminute", "Tseconde", "tcentieme"})
        QVERIFY(!window.text(name).isEmpty());
    QCOMPARE(window.text("tpoids2"), poids2.isEmpty() ? fields.at(4) : poids2);
}

void TestChrono::calculationStepsAndMessages() {
    ScriptedDialogs dialogs;
    Window window;

    // No reference distance: the message, and the fields completed all the same.
    dialogs.answer(dialogs::Answer::Ok);
    window.reference("", "", "58", "40", "58");
    window.click("Btcalcul");
    QCOMPARE(dialogs.shown().size(), 1);
    QCOMPARE(dialogs.last().text, QString("veuillez rentrer une distance"));
    QCOMPARE(dialogs.last().title, QString("Erreur"));
    QCOMPARE(dialogs.last().icon, dialogs::Icon::Critical);
    QCOMPARE(dialogs.last().buttons, dialogs::Buttons::Ok);
    QCOMPARE(window.text("Tminute"), QString("0"));
    QCOMPARE(window.text("tpoids2"), QString("58"));
    QVERIFY(window.label("Lreduction").isEmpty());

    // A time of zero.
    dialogs.answer(dialogs::Answer::Ok);
    window.reference("1600", "0", "0", "0");
    window.click("Btcalcul");
    QCOMPARE(dialogs.shown().size(), 2);
    QCOMPARE(dialogs.last().text, QString("Erreur dans vos valeur de temps"));
    QCOMPARE(dialogs.last().title, QString("erreur"));
    QCOMPARE(dialogs.last().icon, dialogs::Icon::Critical);
    QVERIFY(window.label("LresultDistance").isEmpty());

    // Pressing again with today's distance emptied applies the correction to the shown
    // estimate once more.
    window.reference("1600", "1", "58", "40", "58");
    window.type("Tdistance2", "2100");
    window.type("tpoids2", "60");
    window.click("Btcalcul");
    QCOMPARE(window.label("LresultDistance"), QString("02:36:73"));
    window.type("Tdistance2", "");
    window.click("Btcalcul");
    QCOMPARE(window.label("LresultDistance"), QString("02:38:06"));
    window.click("Btcalcul");
    QCOMPARE(window.label("LresultDistance"), QString("02:39:39"));
    QCOMPARE(dialogs.shown().size(), 2);

    // Today's estimate on the time plus lengths (1:59:40), the reduction on the time.
    window.type("tpoids2", "58");
    window.type("Tdistance2", "2100");
    window.type("TNbrLongueur", "1.5");
    window.leave("TNbrLongueur");
    window.click("Opt_ChronocjL");
    window.click("Btcalcul");
    QCOMPARE(window.label("LresultDistance"), QString("02:36:71"));
    QCOMPARE(window.label("Lreduction"), QString("1:14:00"));

    // The reduction on a time plus lengths of zero: the estimate is shown, then the message,
    // and the reduction stays as it was.
    window.click("Opt_chronocj");
    window.click("Opt_ChronokL");
    window.type("TminuteL", "0");
    window.type("TsecondeL", "0");
    window.type("TcentiemeL", "0");
    dialogs.answer(dialogs::Answer::Ok);
    window.type("Tdistance2", "1600");
    window.click("Btcalcul");
    QCOMPARE(dialogs.shown().size(), 3);
    QCOMPARE(dialogs.last().text, QString("Erreur dans vos valeur de temps"));
    QCOMPARE(window.label("LresultDistance"), QString("01:58:40"));
    QCOMPARE(window.label("Lreduction"), QString("1:14:00"));
    QVERIFY(dialogs.allUsed());
}

void TestChrono::refusesUnusableNumbers_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("named");
    const QString huge = "3" + QString(38, QLatin1Char('0')); // 3e38, within single precision
    QTest::newRow("distance word") << "Tdistance"
                                   << "mille"
                                   << "Distance (course de référence)";
    QTest::newRow("distance 0") << "Tdistance"
                                << "0"
                                << "doit être supérieur à 0";
    QTest::newRow("distance 0,00") << "Tdistance"
                                   << "0,00"
                                   << "doit être supérieur à 0";
    // Nothing the window reads can be negative; the refusal names the field.
    const struct {
        const char* field;
        const char* typed;
        const char* named;
    } negatives[] = {
        {"Tdistance", "-1600", "Distance (course de référence)"},
        {"Tdistance2", "-2100", "Distance (course du jour)"},
        {"Tminute", "-1", "Chrono : minutes"},
        {"Tseconde", "-58", "Chrono : secondes"},
        {"tcentieme", "-0,5", "Chrono : centièmes"},
        {"Tpoids", "-58", "Poids (course de référence)"},
        {"tpoids2", "-60", "Poids (course du jour)"},
        {"TminuteL", "-1", "Nouveau Chrono (+ longueur) : minutes"},
        {"TsecondeL", "-58", "Nouveau Chrono (+ longueur) : secondes"},
        {"TcentiemeL", "-40", "Nouveau Chrono (+ longueur) : centièmes"},
    };
    for (const auto& n : negatives)
        QTest::addRow("negative %s", n.field)
            << n.field << n.typed
            << QString("« %1 » du champ « %2 » ne peut pas être négative")
                   .arg(n.typed, QString::fromUtf8(n.named));
    QTest::newRow("distance beyond single") << "Tdistance"
                                            << "1" + QString(40, '0') << "Distance";
    QTest::newRow("seconds") << "Tseconde"
                             << "58s"
                             << "Chrono : secondes";
    QTest::newRow("hundredths") << "tcentieme"
                                << "1.2.3"
                                << "Chrono : centièmes";
    QTest::newRow("minutes exponent") << "Tminute"
                                      << "1e2"
                                      << "Chrono : minutes";
    QTest::newRow("weight") << "Tpoids"
                            << "lourd"
                            << "Poids (course de référence)";
    QTest::newRow("today's weight") << "tpoids2"
                                    << "nan"
                                    << "Poids (course du jour)";
    QTest::newRow("today's distance") << "Tdistance2"
                                      << "inf"
                                      << "Distance (course du jour)";
    QTest::newRow("time overflows") << "Tminute" << huge << "trop grandes";
    QTest::newRow("estimate overflows") << "Tdistance2" << huge << "trop grandes";
    QTest::newRow("reduction overflows") << "Tdistance"
                                         << "0.0000000000000000000000000000000001"
                                         << "trop grandes";
    QTest::newRow("weight beyond 200 kg") << "tpoids2" << huge << "compris entre 0 et 200 kg";
    QTest::newRow("reference weight beyond 200 kg") << "Tpoids"
                                                    << "200,001"
                                                    << "compris entre 0 et 200 kg";
}

void TestChrono::refusesUnusableNumbers() {
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, named);
    ScriptedDialogs dialogs;
    Window window;
    window.reference("1600", "1", "58", "40", "58");
    window.type("Tdistance2", "2100");
    window.type("tpoids2", "60");
    window.click("Btcalcul");
    QCOMPARE(window.label("LresultDistance"), QString("02:36:73"));

    if (field.endsWith('L')) { // the reduction on the time plus lengths
        window.type("TminuteL", "1");
        window.type("TsecondeL", "58");
        window.type("TcentiemeL", "40");
        window.click("Opt_ChronokL");
    }
    window.type(field.toLatin1(), typed);
    dialogs.answer(dialogs::Answer::Ok);
    window.click("Btcalcul");
    QCOMPARE(dialogs.shown().size(), 1);
    QCOMPARE(dialogs.last().title, QString("Erreur"));
    QCOMPARE(dialogs.last().icon, dialogs::Icon::Critical);
    QVERIFY2(dialogs.last().text.contains(named), qPrintable(dialogs.last().text));
    // Nothing changed, nothing shows "inf" or "nan".
    QCOMPARE(window.label("LresultDistance"), QString("02:36:73"));
    QCOMPARE(window.label("Lreduction"), QString("1:14:00"));
    QVERIFY(showsNoInfinity(window, field));
}

void TestChrono::typedByTheUser_data() {
    QTest::addColumn<QDialogButtonBox::StandardButton>("warning");
    QTest::addColumn<QStringList>("list");
    QTest::newRow("OK, then the name and the going")
        << QDialogButtonBox::Ok
        << QStringList{"1:14:62 ---- 1600m ---- 58Kg ---- Hôtel ---- terrain : bon"};
    QTest::newRow("Cancel") << QDialogButtonBox::Cancel << QStringList();
}

// The real program as a user drives it: keys typed into the fields, Tab from one to the next,
// Enter on the focused button, the real warning and input boxes answered with the mouse.
void TestChrono::typedByTheUser() {
    QFETCH(QDialogButtonBox::StandardButton, warning);
    QFETCH(QStringList, list);
    RealDialogs real;
    Window window;
    window.w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.w));
    QTest::mouseClick(window.edit("Tdistance"), Qt::LeftButton);
    // Distance, time, weight; today's distance, then today's weight (the reference weight,
    // selected on entering, typed over); the lengths ("0.0" typed over).
    for (const char* typed : {"1600", "1", "58", "40", "58", "2100", "60", "1,5"}) {
        typeKeys(QApplication::focusWidget(), QString::fromUtf8(typed));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(window.text("tpoids2"), QString("60"));
    QCOMPARE(
        (QStringList{window.text("TminuteL"), window.text("TsecondeL"), window.text("TcentiemeL")}),
        (QStringList{"01", "59", "40"}));
    QTest::mouseClick(window.child<QRadioButton>("Opt_ChronokL"), Qt::LeftButton);
    QVERIFY(window.checked("Opt_ChronokL"));
    window.child<QPushButton>("Btcalcul")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(window.label("Lreduction"), QString("1:14:62"));
    QCOMPARE(window.label("LresultDistance"), QString("02:36:73"));
    QVERIFY(real.seen().isEmpty());

    // A reduction on the time plus lengths: the OK/Cancel warning first.
    real.click(warning);
    if (warning == QDialogButtonBox::Ok) {
        real.type(QString::fromUtf8("Hôtel"));
        real.type("bon");
    }
    QTest::mouseClick(window.child<QPushButton>("Bt_Ajoute"), Qt::LeftButton);
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().size(), warning == QDialogButtonBox::Ok ? 3 : 1);
    QVERIFY(real.seen().first().text.startsWith("vous allez ajouter une réduction calculé"));
    QStringList buttons = real.seen().first().buttons;
    buttons.replaceInStrings("&", "");
    buttons.sort();
    QCOMPARE(buttons, (QStringList{"Annuler", "OK"}));
    if (warning == QDialogButtonBox::Ok)
        QCOMPARE(real.seen().at(1).text, QString("Entrer le nom du cheval"));
    QCOMPARE(window.list(), list);
    if (list.isEmpty())
        return;

    // Closing with the line not saved yet: Annuler keeps the window, Oui saves and closes.
    real.click(QDialogButtonBox::Cancel);
    QVERIFY(!window.w->close());
    real.click(QDialogButtonBox::Yes);
    real.click(QDialogButtonBox::Ok);
    QVERIFY(window.w->close());
    QVERIFY(real.allAnswered());
    QCOMPARE(real.seen().at(3).text, QString("Enregistrer la liste dans lstchrono.txt ?"));
    QCOMPARE(real.seen().at(4).title, real.seen().at(3).title);
    QVERIFY(real.seen().at(4).buttons.join(' ').contains("Annuler"));
    QCOMPARE(cp1252(readAll(window.file())), list.first() + "\r\n\r\n");
}

// ---------------------------------------------------------------------------------------------
// The list and its file

void TestChrono::addsLinesInAlphabeticalPlace() {
    ScriptedDialogs dialogs;
    Window window;
    window.reference("1600", "1", "58", "40", "58");
    window.click("Btcalcul");
    window.add(dialogs, "Alpha", "bon");
    QCOMPARE(window.list(),
             QStringList{"1:14:00 ---- 1600m ---- 58Kg ---- Alpha ---- terrain : bon"});
    QCOMPARE(dialogs.shown().size(), 2);
    QCOMPARE(dialogs.shown().at(0).text, QString("Entrer le nom du cheval"));
    QCOMPARE(dialogs.shown().at(1).text, QString("Entrer l'état du terrain"));
    for (const auto& shown : dialogs.shown()) {
        QVERIFY(shown.input);
        QCOMPARE(shown.title, dialogs::applicationTitle());
    }

    // Same reduction: the names decide, case ignored; a faster horse comes first.
    window.add(dialogs, "charlie", "lourd");
    window.add(dialogs, "Bravo", "");
    window.reference("1600", "1", "56", "0", "57");
    window.click("Btcalcul");
    window.add(dialogs, "delta", "souple");
    window.add(dialogs, "ALPHA", "bon");
    QCOMPARE(window.list(), (QStringList{
                                "1:12:50 ---- 1600m ---- 57Kg ---- ALPHA ---- terrain : bon",
                                "1:12:50 ---- 1600m ---- 57Kg ---- delta ---- terrain : souple",
                                "1:14:00 ---- 1600m ---- 58Kg ---- Alpha ---- terrain : bon",
                                "1:14:00 ---- 1600m ---- 58Kg ---- Bravo ---- terrain : ",
                                "1:14:00 ---- 1600m ---- 58Kg ---- charlie ---- terrain : lourd",
                            }));

    // Before any calculation the line begins with the empty reduction.
    Window fresh;
    fresh.add(dialogs, "Echo", "bon");
    QCOMPARE(fresh.list(), QStringList{" ---- m ---- Kg ---- Echo ---- terrain : bon"});
    QVERIFY(dialogs.allUsed());
}

void TestChrono::addAsksBothQuestions_data() {
    QTest::addColumn<bool>("nameCancelled");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("goingCancelled");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("name cancelled") << true << "" << false << QStringList();
    QTest::newRow("name empty") << false << "" << false << QStringList();
    QTest::newRow("both cancelled") << true << "" << true << QStringList();
    QTest::newRow("going cancelled")
        << false << "Golf" << true
        << QStringList{"1:14:00 ---- 1600m ---- 58Kg ---- Golf ---- terrain : "};
}

void TestChrono::addAsksBothQuestions() {
    QFETCH(bool, nameCancelled);
    QFETCH(QString, name);
    QFETCH(bool, goingCancelled);
    QFETCH(QStringList, expected);
    ScriptedDialogs dialogs;
    Window window;
    window.reference("1600", "1", "58", "40", "58");
    window.click("Btcalcul");
    nameCancelled ? dialogs.cancel() : dialogs.type(name);
    goingCancelled ? dialogs.cancel() : dialogs.type("bon");
    window.click("Bt_Ajoute");
    QCOMPARE(dialogs.shown().size(), 2);
    QCOMPARE(window.list(), expected);
}

void TestChrono::warnsForChronoPlusLength() {
    ScriptedDialogs dialogs;
    Window window;
    window.reference("1600", "1", "58", "40", "58");
    window.type("TNbrLongueur", "1.5");
    window.leave("TNbrLongueur");
    window.click("Opt_ChronokL");
    window.click("Btcalcul");
    // 119.4 s over 1600 m is 74.625 s: the half hundredth goes to the even figure.
    QCOMPARE(window.label("Lreduction"), QString("1:14:62"));

    dialogs.answer(dialogs::Answer::Cancel);
    window.click("Bt_Ajoute");
    QCOMPARE(dialogs.shown().size(), 1);
    QCOMPARE(dialogs.last().text,
             QString("vous allez ajouter une réduction calculé sur un chrono avec longueur ceci "
                     "est non recommandé, voulez vous continuer?"));
    QCOMPARE(dialogs.last().title, dialogs::applicationTitle());
    QCOMPARE(dialogs.last().buttons, dialogs::Buttons::OkCancel);
    QCOMPARE(dialogs.last().icon, dialogs::Icon::None);
    QVERIFY(window.list().isEmpty());

    dialogs.answer(dialogs::Answer::Ok);
    window.add(dialogs, "Hotel", "bon");
    QCOMPARE(dialogs.shown().size(), 4);
    QCOMPARE(window.list(),
             QStringList{"1:14:62 ---- 1600m ---- 58Kg ---- Hotel ---- terrain : bon"});
}

void TestChrono::refusesCharactersTheFileCannotHold_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("going");
    QTest::addColumn<QString>("refused");
    QTest::newRow("cyrillic name")
        << QString::fromUtf8("Жора") << "bon" << QString::fromUtf8("« Ж о р а »");
    QTest::newRow("emoji going") << "India" << QString::fromUtf8("sec ☀")
                                 << QString::fromUtf8("« ☀ »");
    QTest::newRow("line break") << "Juliet\nKilo"
                                << "bon"
                                << "U+000A";
    QTest::newRow("accepted") << QString::fromUtf8("Cœur d’Été") << QString::fromUtf8("sec €")
                              << QString();
}

void TestChrono::refusesCharactersTheFileCannotHold() {
    QFETCH(QString, name);
    QFETCH(QString, going);
    QFETCH(QString, refused);
    ScriptedDialogs dialogs;
    Window window;
    dialogs.type(name);
    dialogs.type(going);
    if (!refused.isEmpty())
        dialogs.answer(dialogs::Answer::Ok);
    window.click("Bt_Ajoute");
    if (refused.isEmpty()) {
        QCOMPARE(window.list().size(), 1);
        QVERIFY(window.list().first().contains(name));
        return;
    }
    QCOMPARE(dialogs.shown().size(), 3);
    QCOMPARE(dialogs.last().title, QString("Erreur"));
    QCOMPARE(dialogs.last().icon, dialogs::Icon::Critical);
    QVERIFY2(dialogs.last().text.contains(refused), qPrintable(dialogs.last().text));
    QVERIFY(window.list().isEmpty());
}

void TestChrono::listFileJournal() {
    ScriptedDialogs dialogs;
    Window window;

    // Loading a missing file does nothing and says nothing.
    window.click("bt_chargeliste");
    QVERIFY(window.list().isEmpty());
    QVERIFY(!QFile::exists(window.file()));

    // An empty list saved to a missing file: the closing empty line only.
    dialogs.answer(dialogs::Answer::Ok);
    window.click("btsave");
    QCOMPARE(dialogs.last().text, QString("Sauvegarde effectuée"));
    QCOMPARE(dialogs.last().title, QString("Sauvegarde"));
    QCOMPARE(dialogs.last().icon, dialogs::Icon::Information);
    QCOMPARE(dialogs.last().buttons, dialogs::Buttons::Ok);
    QCOMPARE(readAll(window.file()), QByteArray("\r\n"));

    // Two lines appended in displayed order, then the empty line; the earlier content stays.
    window.reference("1600", "1", "58", "40", "58");
    window.click("Btcalcul");
    window.add(dialogs, "Bravo", "bon");
    window.add(dialogs, "Alpha", "lourd");
    const QByteArray alpha("1:14:00 ---- 1600m ---- 58Kg ---- Alpha ---- terrain : lourd");
    const QByteArray bravo("1:14:00 ---- 1600m ---- 58Kg ---- Bravo ---- terrain : bon");
    dialogs.answer(dialogs::Answer::Ok);
    window.click("btsave");
    const QByteArray saved = "\r\n" + alpha + "\r\n" + bravo + "\r\n\r\n";
    QCOMPARE(readAll(window.file()), saved);

    // Emptying the list leaves the file alone; loading twice puts each line in twice.
    window.click("Bt_videliste");
    QVERIFY(window.list().isEmpty());
    QCOMPARE(readAll(window.file()), saved);
    window.click("bt_chargeliste");
    QCOMPARE(window.list(), (QStringList{"", "", QString(alpha), QString(bravo)}));
    window.click("bt_chargeliste");
    QCOMPARE(window.list(), (QStringList{"", "", "", "", QString(alpha), QString(alpha),
                                         QString(bravo), QString(bravo)}));

    // "Vider liste + fichier": nothing in the list, CR LF only in the file.
    window.click("Bt_videListefichier");
    QVERIFY(window.list().isEmpty());
    QCOMPARE(readAll(window.file()), QByteArray("\r\n"));
    window.click("bt_chargeliste");
    QCOMPARE(window.list(), QStringList{""});
    QVERIFY(dialogs.allUsed());
}

void TestChrono::roundTripsWindows1252() {
    ScriptedDialogs dialogs;
    Window window;
    window.reference("1600", "1", "58", "40", "58");
    window.click("Btcalcul");
    window.add(dialogs, QString::fromUtf8("Cœur d’Été"), QString::fromUtf8("sec €"));
    dialogs.answer(dialogs::Answer::Ok);
    window.click("btsave");
    // œ is 0x9C, ’ 0x92, É 0xC9, € 0x80 in Windows-1252 (Latin-1 has none of the first two).
    const QByteArray line = QByteArray("1:14:00 ---- 1600m ---- 58Kg ---- C") + '\x9C' +
                            QByteArray("ur d") + '\x92' + '\xC9' + QByteArray("t") + '\xE9' +
                            QByteArray(" ---- terrain : sec ") + '\x80';
    QCOMPARE(readAll(window.file()), line + "\r\n\r\n");

    // A file written elsewhere, with every byte from 0x80 to 0xFF, comes back byte for byte.
    QByteArray high;
    for (int b = 0x80; b <= 0xFF; ++b)
        high.append(char(b));
    const QByteArray content = line + "\r\n" + high + "\r\n\r\n";
    writeAll(window.file(), content);
    window.click("Bt_videliste");
    window.click("bt_chargeliste");
    QCOMPARE(window.list().size(), 3);
    QVERIFY(window.list().contains(cp1252(high)));
    QVERIFY(window.list().contains(QString::fromUtf8("1:14:00 ---- 1600m ---- 58Kg ---- Cœur "
                                                     "d’Été ---- terrain : sec €")));
    window.click("Bt_videListefichier");
    window.add(dialogs, cp1252(high), "");
    QFile::remove(window.file());
    dialogs.answer(dialogs::Answer::Ok);
    window.click("btsave");
    QCOMPARE(readAll(window.file()),
             QByteArray("1:14:00 ---- 1600m ---- 58Kg ---- ") + high + " ---- terrain : \r\n\r\n");
}

void TestChrono::fileErrorsKeepTheList_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("inPlace"); // the file may be written where the folder may not
    QTest::newRow("read-only folder") << "read-only folder" << true;
    QTest::newRow("read-only folder and file") << "read-only file" << false;
    QTest::newRow("folder is a file") << "file" << false;
    QTest::newRow("list file is a folder") << "folder" << false;
}

void TestChrono::fileErrorsKeepTheList() {
    QFETCH(QString, how);
    QFETCH(bool, inPlace);
    ScriptedDialogs dialogs;
    Window window;
    window.reference("1600", "1", "58", "40", "58");
    window.click("Btcalcul");
    window.add(dialogs, "Alpha", "bon");
    window.add(dialogs, "Bravo", "bon");
    const QStringList before = window.list();
    const QByteArray previous("earlier save\r\n\r\n");
    writeAll(window.file(), previous);

    QTemporaryDir other;
    std::optional<PermissionsBind> bound;
    const auto writable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    // Whatever happens, the folder can be cleaned up afterwards.
    const auto restore = qScopeGuard([&] {
        bound.reset();
        QFile::setPermissions(window.folder(), writable);
    });
    if (how.startsWith("read-only")) {
        if (how == "read-only file")
            QFile::setPermissions(window.file(), QFile::ReadOwner);
        QFile::setPermissions(window.folder(), QFile::ReadOwner | QFile::ExeOwner);
        bound.emplace();
        QFile probe(window.folder() + "/probe");
        if (probe.open(QIODevice::WriteOnly)) { // permissions do not bind here
            probe.remove();
            QSKIP("permissions do not bind this user");
        }
    } else if (how == "file") {
        writeAll(other.filePath("plain"), "not a folder");
        paths::setProgramFolder(other.filePath("plain"));
    } else {
        QVERIFY(QFile::remove(window.file()));
        QVERIFY(QDir(window.folder()).mkdir("lstchrono.txt"));
    }
    const QString file = listfile::path();

    dialogs.answer(dialogs::Answer::Ok);
    window.click("btsave");
    if (inPlace) {
        // Saved at the end of the file itself, then the file emptied in place.
        QCOMPARE(dialogs.last().text, QString("Sauvegarde effectuée"));
        QCOMPARE(readAll(file), previous + before.join("\r\n").toLatin1() + "\r\n\r\n");
        QCOMPARE(window.list(), before);
        window.click("Bt_videListefichier");
        QCOMPARE(readAll(file), QByteArray("\r\n"));
        QVERIFY(window.list().isEmpty());
    } else {
        QCOMPARE(dialogs.last().title, QString("Erreur"));
        QCOMPARE(dialogs.last().icon, dialogs::Icon::Critical);
        const QString text = dialogs.last().text;
        QVERIFY2(text.startsWith("Impossible d'enregistrer la liste dans le fichier " +
                                 QDir::toNativeSeparators(file) + " :\n"),
                 qPrintable(text));
        // Then the system's words: Qt's own in French ("Autorisation refusée"), the C
        // library's in the system's language.
        QVERIFY2(!text.section('\n', 1).trimmed().isEmpty(), qPrintable(text));
        QVERIFY2(!text.contains("Permission denied") && !text.contains("not writable") &&
                     !text.contains("refers to a directory"),
                 qPrintable(text));
        QCOMPARE(window.list(), before);

        dialogs.answer(dialogs::Answer::Ok);
        window.click("Bt_videListefichier");
        QVERIFY(dialogs.last().text.startsWith("Impossible de vider le fichier"));
        QCOMPARE(window.list(), before);
    }

    if (how == "folder") {
        dialogs.answer(dialogs::Answer::Ok);
        window.click("bt_chargeliste");
        QVERIFY(dialogs.last().text.startsWith("Impossible de lire le fichier"));
        QCOMPARE(window.list(), before);
        QVERIFY(QFileInfo(file).isDir());
    } else if (how == "read-only file") {
        window.click("bt_chargeliste"); // reading still works
        QCOMPARE(window.list().size(), before.size() + 2);
    }
    // The earlier save is intact (unless saved in place) and no temporary file is left behind.
    if (how == "folder") {
        QVERIFY(QDir(window.folder()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    } else {
        if (!inPlace)
            QCOMPARE(readAll(window.file()), previous);
        QCOMPARE(QDir(window.folder()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"lstchrono.txt"});
    }
    QVERIFY(dialogs.allUsed());
}

void TestChrono::listFileLines_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("one empty line") << QByteArray("\r\n") << QStringList{""};
    QTest::newRow("journal") << QByteArray("a\r\nb\r\n\r\n") << QStringList{"a", "b", ""};
    QTest::newRow("no final break") << QByteArray("a\r\nb") << QStringList{"a", "b"};
    QTest::newRow("one line, no break") << QByteArray("x") << QStringList{"x"};
    QTest::newRow("lone LF and CR") << QByteArray("a\nb\rc\r\n") << QStringList{"a", "b", "c"};
    QTest::newRow("blank lines") << QByteArray("\r\n\r\n") << QStringList{"", ""};
    QTest::newRow("euro and oe") << QByteArray("\x80\x9c\r\n") << QStringList{"€œ"};
    QTest::newRow("undefined bytes kept")
        << QByteArray("\x81\x8d\r\n") << QStringList{QString(QChar(0x81)) + QChar(0x8D)};
}

void TestChrono::listFileLines() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QVERIFY(listfile::codePageAvailable());
    QCOMPARE(listfile::decodeLines(bytes), std::optional<QStringList>(lines));

    QTemporaryDir dir;
    const QString path = dir.filePath("lstchrono.txt");
    QVERIFY(listfile::load(path).lines.isEmpty()); // missing: nothing, no error
    QVERIFY(!listfile::load(path).error);
    writeAll(path, bytes);
    const auto loaded = listfile::load(path);
    QVERIFY(!loaded.error);
    QCOMPARE(loaded.lines, lines);
    // A save after it starts on a line of its own, whatever the file ended with.
    QVERIFY(!listfile::append(path, {"z"}));
    QCOMPARE(listfile::load(path).lines, lines + QStringList({"z", ""}));
    // Written back, the lines come out with CR LF ends.
    QCOMPARE(listfile::decodeLines(*listfile::encodeLines(lines)),
             std::optional<QStringList>(lines));

    QCOMPARE(listfile::encodeLines({"€œ", ""}), std::optional<QByteArray>("\x80\x9c\r\n\r\n"));
    QCOMPARE(listfile::encodeLines({"Жора"}), std::optional<QByteArray>());
    QCOMPARE(listfile::encodeLines({"a\nb"}), std::optional<QByteArray>());
    QCOMPARE(listfile::unwritableCharacters(QString::fromUtf8("aЖbЖ😀\r")),
             (QStringList{"Ж", QString::fromUtf8("😀"), "U+000D"}));
    QCOMPARE(listfile::unwritableCharacters(QString(QChar(0xD800))), QStringList{"U+D800"});
    QVERIFY(listfile::unwritableCharacters(QString::fromUtf8("Cœur d’Été € …")).isEmpty());
}

void TestChrono::failedSaveLeavesThePreviousFile() {
#ifdef Q_OS_UNIX
    // A file-size limit makes the write fail half-way, whoever the user is.
    QTemporaryDir dir;
    const QString path = dir.filePath("lstchrono.txt");
    const QByteArray previous = QByteArray(4000, 'x') + "\r\n\r\n";
    writeAll(path, previous);

    struct rlimit saved {};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = rlim_t(previous.size() + 10);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const auto appended = listfile::append(path, {QString(100, QLatin1Char('y'))});
    const auto replaced = listfile::replace(path, {QString(5000, QLatin1Char('z'))});
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(appended);
    QVERIFY(!appended->isEmpty());
    QVERIFY(replaced);
    QCOMPARE(readAll(path), previous);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"lstchrono.txt"});

    // Without the limit the same save goes through.
    QVERIFY(!listfile::append(path, {"y"}));
    QCOMPARE(readAll(path), previous + "y\r\n\r\n");
#else
    QSKIP("needs a file-size limit");
#endif
}

void TestChrono::closingOffersToSaveAddedLines_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("answer"); // -1: nothing asked
    QTest::addColumn<bool>("closes");
    using A = dialogs::Answer;
    QTest::newRow("loaded only") << "load" << -1 << true;
    QTest::newRow("added and saved") << "load add save" << -1 << true;
    QTest::newRow("added then emptied") << "add empty" << -1 << true;
    QTest::newRow("Oui") << "load add" << int(A::Yes) << true;
    QTest::newRow("Non") << "add" << int(A::No) << true;
    QTest::newRow("Annuler") << "add" << int(A::Cancel) << false;
    QTest::newRow("Oui, the file refuses") << "add unwritable" << int(A::Yes) << false;
}

void TestChrono::closingOffersToSaveAddedLines() {
    QFETCH(QString, before);
    QFETCH(int, answer);
    QFETCH(bool, closes);
    ScriptedDialogs dialogs;
    Window window;
    writeAll(window.file(), "earlier\r\n\r\n");
    if (before.contains("load"))
        window.click("bt_chargeliste");
    if (before.contains("add"))
        window.add(dialogs, "Alpha", "bon");
    if (before.contains("save")) {
        dialogs.answer(dialogs::Answer::Ok);
        window.click("btsave");
    }
    if (before.contains("empty"))
        window.click("Bt_videliste");
    if (before.contains("unwritable")) {
        QVERIFY(QFile::remove(window.file()));
        QVERIFY(QDir(window.folder()).mkdir("lstchrono.txt"));
    }
    const QByteArray file = readAll(window.file());
    const QStringList list = window.list();
    dialogs.clear();
    if (answer >= 0)
        dialogs.answer(dialogs::Answer(answer));
    if (dialogs::Answer(answer) == dialogs::Answer::Yes)
        dialogs.answer(dialogs::Answer::Ok); // saved, or why not
    QCOMPARE(window.w->close(), closes);
    QVERIFY(dialogs.allUsed());
    QCOMPARE(dialogs.shown().size(), answer < 0 ? 0 : answer == int(dialogs::Answer::Yes) ? 2 : 1);
    if (answer < 0)
        return;
    QCOMPARE(dialogs.shown().first().text, QString("Enregistrer la liste dans lstchrono.txt ?"));
    QCOMPARE(dialogs.shown().first().title, dialogs::applicationTitle());
    QCOMPARE(dialogs.shown().first().buttons, dialogs::Buttons::YesNoCancel);
    QCOMPARE(dialogs.shown().first().icon, dialogs::Icon::Question);
    if (closes && answer == int(dialogs::Answer::Yes))
        QCOMPARE(readAll(window.file()), file + list.join("\r\n").toLatin1() + "\r\n\r\n");
    else
        QCOMPARE(readAll(window.file()), file);
    QCOMPARE(window.list(), list);
}

QTEST_MAIN(TestChrono)
#include "tst_chrono.moc"
