// velmora-bench: times what a user waits for on a file of 2,000,000 race results and
// 100,000 ledger rows, beside the sqlite3 command running the same SQL on the same file.
// See bench/README.md.

#include "app/frmsplash.h"
#include "app/shell.h"
#include "bench/generator.h"
#include "chrono/listfile.h"
#include "data/connection.h"
#include "data/dailycopy.h"
#include "data/error.h"
#include "data/paths.h"
#include "data/regional.h"
#include "data/schema.h"
#include "data/statement.h"
#include "data/transaction.h"
#include "followed/fjour.h"
#include "followed/followedbook.h"
#include "followed/fsuivit.h"
#include "followed/raceday.h"
#include "gui/appearance.h"
#include "gui/dialogs.h"
#include "ledger/betbook.h"
#include "ledger/form1.h"
#include "ledger/frecherche.h"
#include "ledger/ledgerbook.h"
#include "ledger/yearbook.h"
#include "stats/figures.h"
#include "stats/fstats.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QProcess>
#include <QPushButton>
#include <QTextStream>
#include <QThread>
#include <QTreeView>
#include <QTreeWidget>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Peak resident memory of this process, in kB.
long peakKb(const char* field = "VmHWM:") {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(static_cast<int>(qstrlen(field)))
                .trimmed()
                .split(' ')
                .value(0)
                .toLong();
    return -1;
}

void settle() {
    // Layout and painting of what the handler changed are part of what the user waits for.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

template <class F> double timed(F body) {
    QElapsedTimer clock;
    clock.start();
    body();
    settle();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// A box that opens during a timing is a failure of the benchmark: answer it and say so.
class Boxes : public dialogs::Backend {
public:
    dialogs::Answer message(QWidget*, const QString& text, const QString& title, dialogs::Buttons,
                            dialogs::Icon) override {
        // A stake in Mars, with the later months open, asks whether they move too: the user
        // answers it with the click timed, and the benchmark keeps them as they are.
        if (title == QLatin1String("Mois suivants"))
            return dialogs::Answer::No;
        QTextStream(stderr) << "velmora-bench: message inattendu « " << title << " » : " << text
                            << '\n';
        ++shown;
        return dialogs::Answer::Ok;
    }
    std::optional<QString> input(QWidget*, const QString& prompt, const QString&,
                                 const QString&) override {
        QTextStream(stderr) << "velmora-bench: saisie inattendue : " << prompt << '\n';
        ++shown;
        return std::nullopt;
    }
    std::optional<QString> saveFile(QWidget*, const QString& title, const QString&,
                                    const QString&) override {
        QTextStream(stderr) << "velmora-bench: fichier demandé inattendu : " << title << '\n';
        ++shown;
        return std::nullopt;
    }
    static inline int shown = 0;
};

// The sqlite3 command on the same file.
class Sqlite3 {
public:
    explicit Sqlite3(QString file) : m_file(std::move(file)) {}

    // Wall time of one sqlite3 process reading the script, output discarded.
    double processMs(const QByteArray& script) const {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        process.start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), m_file});
        process.write(script);
        process.closeWriteChannel();
        process.waitForFinished(-1);
        return static_cast<double>(clock.nsecsElapsed()) / 1e6;
    }

    // One run of sql: the process running it `count` times, less the same process without
    // it, divided by count.
    class Query {
    public:
        Query(const Sqlite3& engine, QByteArray setup, const QByteArray& sql)
            : m_engine(engine), m_setup(std::move(setup)), m_repeated(m_setup) {
            const double once = m_engine.processMs(m_setup + sql) - m_engine.processMs(m_setup);
            if (once < 20)
                m_count = 40; // short queries: enough repetitions to rise above the noise
            for (int i = 0; i < m_count; ++i)
                m_repeated += sql;
        }
        double sample() const {
            return std::max(0.0, (m_engine.processMs(m_repeated) - m_engine.processMs(m_setup)) /
                                     m_count);
        }

    private:
        const Sqlite3& m_engine;
        QByteArray m_setup;
        QByteArray m_repeated;
        int m_count = 1;
    };

    // The median of `runs` samples.
    double queryMs(const QByteArray& setup, const QByteArray& sql, int runs) const {
        const Query query(*this, setup, sql);
        std::vector<double> figures;
        for (int i = 0; i < runs; ++i)
            figures.push_back(query.sample());
        return median(figures);
    }

private:
    QString m_file;
};

QByteArray parameter(const char* name, const QString& value) {
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QByteArray(".parameter set ") + name + " \"" + quoted.toUtf8() + "\"\n";
}

struct Line {
    QString name;
    double ms = 0;
    double sqliteMs = -1;
    QString target;
};

void print(const Line& line) {
    const QString sqlite = line.sqliteMs >= 0 ? QString::number(line.sqliteMs, 'f', 1) : "-";
    const QString ratio =
        line.sqliteMs > 0 ? QString::number(line.ms / line.sqliteMs, 'f', 2) : "-";
    out() << QStringLiteral("%1 %2 %3 %4   %5\n")
                 .arg(line.name, -46)
                 .arg(QString::number(line.ms, 'f', 1), 10)
                 .arg(sqlite, 11)
                 .arg(ratio, 7)
                 .arg(line.target);
    out().flush();
}

QString verdict(bool met, const QString& goal) {
    return QStringLiteral("%1 %2").arg(goal,
                                       met ? QStringLiteral("(met)") : QStringLiteral("(MISSED)"));
}

// ---- Child modes --------------------------------------------------------------------------

// Says "shown" once the window named `name` is on screen.
int waitShown(const QString& name) {
    QElapsedTimer guard;
    guard.start();
    while (guard.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == name && widget->isVisible() && widget->windowHandle() &&
                widget->windowHandle()->isExposed()) {
                std::fputs("shown\n", stdout);
                std::fflush(stdout);
                return 0;
            }
        }
    }
    return 1;
}

// Starts the program as its main() does and says "shown" once Form1 is on screen.
int startupProbe(const QString& folder) {
    paths::setProgramFolder(folder);
    appearance::setupApplication(*qApp);
    if (startProgram() != 0)
        return 1;
    return waitShown(QStringLiteral("Form1"));
}

// The floor: an empty main window of the same size, started the same way; with `text`, one
// label in it, so the fonts are found and a text shaped, as any window with words must.
int bareProbe(bool text) {
    auto* window = new QMainWindow();
    window->setObjectName(QStringLiteral("bare"));
    if (text)
        window->setCentralWidget(new QLabel(QStringLiteral("Gestion des mises")));
    window->resize(980, 680);
    window->show();
    return waitShown(QStringLiteral("bare"));
}

// Opens Fsuivit, clicks one confirmation button, reports the rows and the peak memory.
int memoryProbe(const QString& folder, const QString& button) {
    paths::setProgramFolder(folder);
    appearance::setupApplication(*qApp);
    dialogs::setBackend(std::make_unique<Boxes>());
    auto* window = new Fsuivit();
    window->show();
    settle();
    const long before = peakKb();
    auto* push = window->findChild<QPushButton*>(button);
    auto* view = window->findChild<QAbstractItemView*>(QStringLiteral("Lstview_partant"));
    if (!push || !view)
        return 1;
    push->click();
    settle();
    std::printf("%d %ld %ld\n", view->model()->rowCount(), before, peakKb());
    std::fflush(stdout);
    return 0;
}

// ---- The benchmark ------------------------------------------------------------------------

struct Settings {
    QString work = QDir::temp().filePath(QStringLiteral("velmora-bench"));
    int runs = 7;
    int importRuns = 3;
    bench::GeneratorOptions data;
    bool skipImport = false;
    QString velmoraDb;
    QStringList only; // the groups to run; all when empty

    bool wants(const char* group) const {
        return only.isEmpty() || only.contains(QLatin1String(group));
    }
};

bool prepare(const Settings& settings, const bench::Generator& generator) {
    QDir().mkpath(settings.work + "/db");
    const QString stamp = settings.work + "/stamp.txt";
    const QByteArray wanted = QByteArray::number(qulonglong(settings.data.seed)) + " " +
                              QByteArray::number(qlonglong(settings.data.resultRows)) + " " +
                              QByteArray::number(qlonglong(settings.data.ledgerRows)) + " 2\n";
    QFile stampFile(stamp);
    if (stampFile.open(QIODevice::ReadOnly) && stampFile.readAll() == wanted &&
        QFile::exists(settings.work + "/results.csv") &&
        QFile::exists(settings.work + "/db/velmora.mdb")) {
        out() << "Data: " << settings.work << " (kept from an earlier run)\n";
        return true;
    }
    stampFile.close();
    QFile::remove(stamp);
    QFile::remove(settings.work + "/db/velmora.mdb");
    out() << "Data: generating " << settings.data.resultRows << " CR rows and "
          << settings.data.ledgerRows << " JEUX rows in " << settings.work << "…\n";
    out().flush();
    QElapsedTimer clock;
    clock.start();
    try {
        generator.writeResultsCsv(settings.work + "/results.csv");
        generator.fillDatabase(settings.work + "/db/velmora.mdb");
    } catch (const data::DbError& error) {
        QTextStream(stderr) << "velmora-bench: " << error.engineText() << '\n';
        return false;
    }
    if (stampFile.open(QIODevice::WriteOnly))
        stampFile.write(wanted);
    out() << "Data: ready in " << clock.elapsed() / 1000 << " s\n";
    return true;
}

// The median time from starting a child in `mode` to its window on screen, or -1.
double timeToShown(const Settings& settings, const QStringList& arguments) {
    std::vector<double> figures;
    for (int i = 0; i < settings.runs; ++i) {
        QProcess child;
        child.setProcessChannelMode(QProcess::SeparateChannels);
        QElapsedTimer clock;
        clock.start();
        child.start(QCoreApplication::applicationFilePath(), arguments);
        bool shown = false;
        while (!shown && child.waitForReadyRead(30000))
            shown = child.readAll().contains("shown");
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        child.waitForFinished(30000);
        if (!shown)
            return -1;
        figures.push_back(ms);
    }
    return median(figures);
}

// The file, and what the confirmation lists' index takes of it.
void fileSize(const Settings& settings) {
    const QString file = settings.work + "/db/velmora.mdb";
    OuvrirConnexion();
    qint64 index = -1;
    try {
        index = Connexion
                    ->scalar(QStringLiteral("SELECT sum(pgsize) FROM dbstat WHERE name = "
                                            "'CR_plat_confirmations'"))
                    .toLongLong();
    } catch (const data::DbError&) {
        // An engine built without its page statistics: the size alone.
    }
    Connexion.reset();
    const double after = QFileInfo(file).size() / 1e6;
    out() << QStringLiteral("File size: %1 MB").arg(after, 0, 'f', 1);
    if (index >= 0)
        out() << QStringLiteral(", %1 MB without the confirmation index (+%2 %, target <= 15 %)")
                     .arg(after - index / 1e6, 0, 'f', 1)
                     .arg(100.0 * index / (after * 1e6 - index), 0, 'f', 1);
    out() << '\n';
}

void startup(const Settings& settings, Sqlite3& sqlite) {
    const double bare = timeToShown(settings, {QStringLiteral("--bare-probe")});
    const double label = timeToShown(settings, {QStringLiteral("--text-probe")});
    const double ms =
        timeToShown(settings, {QStringLiteral("--startup-probe"), settings.work + "/db"});
    if (ms < 0 || bare < 0) {
        QTextStream(stderr) << "velmora-bench: the program did not show its window\n";
        return;
    }
    // The opening checks and Form1's load, as one sqlite3 process.
    const QByteArray sql = "PRAGMA application_id; PRAGMA user_version;\n"
                           "SELECT name FROM sqlite_master WHERE type = 'table';\n"
                           "PRAGMA synchronous = FULL;\n"
                           "SELECT  * FROM USERS;\nSELECT  * FROM TYPEJEUX;\n";
    std::vector<double> sqliteFigures;
    for (int i = 0; i < settings.runs; ++i)
        sqliteFigures.push_back(sqlite.processMs(sql));
    print({QStringLiteral("Start-up, a bare Qt window shown"), bare, -1, QString()});
    print({QStringLiteral("Start-up, the same window with one label"), label, -1, QString()});
    print({QStringLiteral("Start-up to Form1 shown"), ms, median(sqliteFigures),
           verdict(ms < 400 && ms <= 1.2 * bare, QStringLiteral("< 400 ms, <= 1.2x bare window"))});
}

struct Timing {
    double ms = 0;
    double sqliteMs = -1;
    int rows = -1;
};

// C_users_Click on the big player's big month of an open Form1: the statement filled and
// painted, beside the handler's three queries in sqlite3.
Timing usersClick(const Settings& settings, const bench::Landmarks& marks, Sqlite3& sqlite,
                  QWidget* form) {
    auto* users = form->findChild<QComboBox*>(QStringLiteral("C_users"));
    auto* month = form->findChild<QComboBox*>(QStringLiteral("C_mois"));
    auto* statement = form->findChild<QTreeView*>(QStringLiteral("Lst_jeux"));
    Timing timing;
    if (!users || !month) {
        QTextStream(stderr) << "velmora-bench: Form1 lacks C_users or C_mois\n";
        return timing;
    }
    // The window settles the bets once it is first painted: done before the timings, as it
    // is before a user's first click.
    form->grab();
    settle();
    month->setCurrentIndex(month->findText(marks.bigMonth));
    const int player = users->findText(marks.bigPlayer);
    const Sqlite3::Query usersQueries(
        sqlite, parameter("@p", marks.bigPlayer) + parameter("@m", marks.bigMonth),
        "SELECT  * FROM USERS WHERE pseudo = @p and mois = @m;\n"
        "SELECT Num, Jour, Remarque, [type jeux], Cheval, Debit, Credit, SoldeApres, PARIS.Etat "
        "FROM JEUX LEFT JOIN PARIS ON NumJeu = Num WHERE user = @p and mois = @m ORDER BY "
        "Num,Jour;\n"
        "SELECT DISTINCT Cheval, User FROM JEUX WHERE User = @p;\n");
    std::vector<double> figures, sqliteFigures;
    for (int i = 0; i < settings.runs; ++i) {
        users->setCurrentIndex(player);
        figures.push_back(timed([&] { emit users->activated(player); }));
        sqliteFigures.push_back(usersQueries.sample());
    }
    timing.ms = median(figures);
    timing.sqliteMs = median(sqliteFigures);
    timing.rows = statement ? statement->model()->rowCount() : -1;
    return timing;
}

void ledgerWindow(const Settings& settings, const bench::Generator& generator, Sqlite3& sqlite) {
    const bench::Landmarks& marks = generator.landmarks();
    OuvrirConnexion();
    // The player's horse with the most entries.
    const QString horse =
        Connexion
            ->scalar(QStringLiteral("SELECT Cheval FROM JEUX WHERE User = ? AND Cheval <> "
                                    "'AUTRE JEUX' AND Cheval <> 'autre jeux' GROUP BY Cheval "
                                    "ORDER BY COUNT(*) DESC LIMIT 1"),
                     {marks.bigPlayer})
            .toString();
    auto* form = shell::openLedger();
    settle();
    auto* users = form->findChild<QComboBox*>(QStringLiteral("C_users"));
    auto* horses = form->findChild<QComboBox*>(QStringLiteral("C_cheval"));
    if (!users || !horses) {
        QTextStream(stderr) << "velmora-bench: Form1 lacks C_users or C_cheval\n";
        return;
    }
    const Timing click = usersClick(settings, marks, sqlite, form);
    const int player = users->findText(marks.bigPlayer);
    const int rows = click.rows;
    const QByteArray setup =
        parameter("@p", marks.bigPlayer) + parameter("@m", marks.bigMonth) + parameter("@h", horse);
    std::vector<double> figures;
    double ms = click.ms;
    print({QStringLiteral("C_users_Click (%1 rows in %2)").arg(rows).arg(marks.bigMonth), ms,
           click.sqliteMs, verdict(ms < 20 && rows == settings.data.bigMonthRows, "< 20 ms")});

    // A stake recorded in that month, the statement reloaded with it.
    {
        auto* types = form->findChild<QComboBox*>(QStringLiteral("Ctypejeux"));
        auto* amount = form->findChild<QLineEdit*>(QStringLiteral("Cmontant"));
        auto* save = form->findChild<QPushButton*>(QStringLiteral("BT_savemise"));
        const qint64 lastRow =
            Connexion->scalar(QStringLiteral("SELECT max(Num) FROM JEUX")).toLongLong();
        const QVariant balance = Connexion->scalar(
            QStringLiteral("SELECT SoldeEnCours FROM USERS WHERE pseudo = ? AND Mois = ?"),
            {marks.bigPlayer, marks.bigMonth});
        figures.clear();
        for (int i = 0; i < settings.runs; ++i) {
            types->setCurrentIndex(types->findText(QStringLiteral("Tiercé")));
            amount->setText(QStringLiteral("1"));
            figures.push_back(timed([&] { save->click(); }));
        }
        Connexion->exec(QStringLiteral("DELETE FROM JEUX WHERE Num > ?"), {lastRow});
        Connexion->exec(
            QStringLiteral("UPDATE USERS SET SoldeEnCours = ? WHERE pseudo = ? AND Mois = ?"),
            {balance, marks.bigPlayer, marks.bigMonth});
        ms = median(figures);
        print({QStringLiteral("BT_savemise_Click (statement of %1 rows reloaded)").arg(rows + 1),
               ms, -1, verdict(ms < 50, "< 50 ms")});
        users->setCurrentIndex(player);
        emit users->activated(player);
    }

    const int index = horses->findText(horse);
    figures.clear();
    for (int i = 0; i < settings.runs; ++i) {
        horses->setCurrentIndex(index);
        figures.push_back(timed([&] { emit horses->activated(index); }));
    }
    const double sqliteHorse = sqlite.queryMs(
        setup,
        "SELECT Cheval, User, Debit, Credit, [type jeux] FROM JEUX WHERE User = @p and Cheval "
        "= @h;\n",
        settings.runs);
    ms = median(figures);
    print({QStringLiteral("C_cheval_Click"), ms, sqliteHorse, QString()});
    form->close();
    settle();
}

// ---- Bets ---------------------------------------------------------------------------------

constexpr int kBets = 20'000;

struct BetsMade {
    int bets = 0;
    int inBigMonth = 0; // of the big player's big month
    int absent = 0;     // on a race the horse does not run in
};

void removeBets() {
    Connexion->exec(QStringLiteral("DELETE FROM PARIS"));
}

// Makes bets of the ledger's "Simple" stakes, the big player's big month first: each names a
// race of CR its horse ran, and one in twenty a race of the same meeting it did not run. Only
// PARIS is written: the ledger, its balances and the other timings' data stay as they are.
BetsMade addBets(const bench::Landmarks& marks) {
    BetsMade made;
    removeBets();
    struct Stake {
        qint64 num;
        QString horse;
        bool bigMonth;
    };
    std::vector<Stake> stakes;
    {
        data::Statement rs(Connexion->raw(),
                           QStringLiteral("SELECT Num, Cheval, User = ? AND mois = ? FROM JEUX "
                                          "WHERE Debit > 0 AND [type jeux] IN ('Simple Gagnant', "
                                          "'Simple Placé') ORDER BY 3 DESC, Num"),
                           {marks.bigPlayer, marks.bigMonth});
        while (rs.next())
            stakes.push_back({rs.integer(0), rs.string(1), rs.integer(2) != 0});
    }
    data::Transaction transaction(*Connexion);
    for (const Stake& stake : stakes) {
        if (made.bets == kBets)
            break;
        // The ledger keeps a horse without its apostrophes: "REINE DOR" is not found, and
        // its stake stays a plain stake.
        std::vector<std::tuple<QString, QString, int, int>> races;
        data::Statement rs(Connexion->raw(),
                           QStringLiteral("SELECT substr(date, 1, 10), hippodrome, R, C FROM CR "
                                          "WHERE cheval = ? ORDER BY date LIMIT 8"),
                           {stake.horse});
        while (rs.next())
            races.emplace_back(rs.string(0), rs.string(1), int(rs.integer(2)), int(rs.integer(3)));
        if (races.empty())
            continue;
        auto [day, racecourse, r, c] = races[size_t(stake.num) % races.size()];
        if (made.bets % 20 == 19) {
            c = c == 1 ? 2 : c - 1;
            ++made.absent;
        }
        Connexion->exec(QStringLiteral("INSERT INTO PARIS (NumJeu, DateCourse, Hippodrome, R, C, "
                                       "Cote) VALUES (?, ?, ?, ?, ?, ?)"),
                        {stake.num, day, racecourse, r, c, 1.5 + double(stake.num % 200) / 10.0});
        ++made.bets;
        if (stake.bigMonth)
            ++made.inBigMonth;
    }
    transaction.commit();
    return made;
}

// "'Janvier', 'Février', …": the whole year as the statistics' queries name it.
QByteArray everyMonthList() {
    QByteArray list;
    for (const QString& name : regional::monthNames())
        list += (list.isEmpty() ? "'" : ", '") + name.toUtf8() + "'";
    return list;
}

// sqlite3's parameters for the big player's statistics: @p, @m and the reversal remarks.
QByteArray periodParameters(const bench::Landmarks& marks) {
    return parameter("@p", marks.bigPlayer) + parameter("@m", marks.bigMonth) +
           parameter("@r1", QStringLiteral("annule n° *")) +
           parameter("@r2", QStringLiteral("annulée par n° *"));
}

// The bets' figures of the statistics window, on the same bets: the big player's big month,
// then his whole year, as Fstats computes them on each recompute.
void betStatistics(const Settings& settings, const bench::Generator& generator, Sqlite3& sqlite) {
    const bench::Landmarks& marks = generator.landmarks();
    const int month = regional::monthIndex(marks.bigMonth) + 1;
    // sqlite3 runs the figures' own query: the player's stake lines of the period with their
    // bets, their rule's type and their cashing line, then each race's racecourse and
    // discipline from the results.
    const QByteArray everyMonth = everyMonthList();
    const QByteArray setup = periodParameters(marks);
    const auto script = [](const QByteArray& months) {
        return "SELECT P.Etat = 'gagné', J.Debit, P.Cote, P.NumGain IS NOT NULL, G.Credit, "
               "P.DateCourse, P.Hippodrome, P.R, P.C, J.[type jeux], P.Rang, J.Num FROM (SELECT Num, "
               "Debit, [type jeux] FROM JEUX WHERE User = @p AND " +
               months +
               " AND IFNULL(Remarque, '') NOT GLOB @r1 AND IFNULL(Remarque, '') NOT GLOB @r2) J "
               "JOIN PARIS P ON P.NumJeu = J.Num LEFT JOIN JEUX G ON G.Num = P.NumGain WHERE "
               "P.Etat IN ('gagné', 'perdu');\n"
               "SELECT Type, Regle FROM REGLESJEUX;\n"
               // "|| ''": values without a column's collation, so that the runner index serves.
               "SELECT (SELECT discipline FROM CR WHERE substr(date, 1, 10) = (P.DateCourse || "
               "'') AND hippodrome = (P.Hippodrome || '') AND R = P.R AND C = P.C LIMIT 1) FROM "
               "(SELECT DISTINCT "
               "P.DateCourse, P.Hippodrome, P.R, P.C FROM JEUX J CROSS JOIN PARIS P ON P.NumJeu "
               "= J.Num WHERE J.User = @p AND J." +
               months + " AND P.Etat IN ('gagné', 'perdu')) P;\n";
    };
    for (const int period : {month, stats::kWholeYear}) {
        std::vector<double> figures;
        stats::BetFigures bets;
        for (int i = 0; i < settings.runs; ++i)
            figures.push_back(
                timed([&] { bets = stats::betFigures(*Connexion, marks.bigPlayer, period); }));
        const double ms = median(figures);
        const double sqliteMs = sqlite.queryMs(
            setup, script(period == stats::kWholeYear ? "mois IN (" + everyMonth + ")" : "mois = @m"),
            settings.runs);
        print({QStringLiteral("Fstats: bets of %1, %2 (%3 settled, %4 types of bet)")
                   .arg(marks.bigPlayer,
                        period == stats::kWholeYear ? QStringLiteral("the year") : marks.bigMonth)
                   .arg(bets.settled)
                   .arg(bets.byRule.size()),
               ms, sqliteMs,
               verdict(ms < 100 && bets.settled > 0 && ms <= 2 * sqliteMs,
                       QStringLiteral("< 100 ms, <= 2x sqlite3"))});
    }
}

// The statement of a month full of bets, and the settling of all the bets from the results.
void bets(const Settings& settings, const bench::Generator& generator, Sqlite3& sqlite) {
    const bench::Landmarks& marks = generator.landmarks();
    OuvrirConnexion();
    const BetsMade made = addBets(marks);
    auto* form = shell::openLedger();
    settle();
    const Timing click = usersClick(settings, marks, sqlite, form);
    form->close();
    settle();
    print({QStringLiteral("C_users_Click, %1 lines with bets (%2 bets)")
               .arg(click.rows)
               .arg(made.inBigMonth),
           click.ms, click.sqliteMs,
           verdict(click.ms < 20 && click.rows == settings.data.bigMonthRows, "< 20 ms")});

    std::vector<double> figures;
    ledger::Settling settling;
    for (int i = 0; i < settings.runs; ++i) {
        Connexion->exec(QStringLiteral("UPDATE PARIS SET Etat = 'en cours'"));
        figures.push_back(timed([&] { settling = ledger::settleBets(*Connexion); }));
    }
    const double ms = median(figures);
    print({QStringLiteral("settle %1 bets (%2 settled, %3 horses not found)")
               .arg(made.bets)
               .arg(settling.settled.size())
               .arg(settling.horseNotFound.size()),
           ms, -1, verdict(ms < 1000 && made.bets == kBets, QStringLiteral("< 1 s"))});

    betStatistics(settings, generator, sqlite);
    removeBets();
}

// Fstats on the biggest player: a pick in C_joueur (back to him from another player), then
// in C_periode (from his big month to the whole year).
void statsWindow(const Settings& settings, const bench::Generator& generator, Sqlite3& sqlite) {
    const bench::Landmarks& marks = generator.landmarks();
    Fstats* window = Fstats::showSingle(marks.bigPlayer, marks.bigMonth);
    settle();
    auto* players = window->findChild<QComboBox*>(QStringLiteral("C_joueur"));
    auto* period = window->findChild<QComboBox*>(QStringLiteral("C_periode"));
    if (!players || !period || players->count() < 2) {
        QTextStream(stderr) << "velmora-bench: Fstats lacks C_joueur or C_periode\n";
        return;
    }
    const int big = players->findText(marks.bigPlayer);
    const int other = big == 0 ? 1 : 0;
    const int month = period->findText(marks.bigMonth);
    const int year = period->count() - 1;
    const auto pick = [](QComboBox* box, int index) {
        box->setCurrentIndex(index);
        emit box->activated(index);
        // The charts drop their old items with deleteLater; the event loop deletes them once
        // the handler returns, but settle() alone would leave them piling up in the scene.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    std::vector<double> playerFigures, periodFigures;
    for (int i = 0; i < settings.runs; ++i) {
        pick(players, other);
        settle();
        playerFigures.push_back(timed([&] { pick(players, big); }));
        periodFigures.push_back(timed([&] { pick(period, year); }));
        pick(period, month);
        settle();
    }
    window->close();
    settle();

    // The figures' own queries for one period condition: the games grouped by month, type
    // and horse, the race days of the period's bets, then the operations in entry order with
    // their reversal mark.
    const auto queries = [](const QByteArray& months) {
        const QByteArray where = "WHERE User = @p AND " + months;
        return "SELECT mois, [type jeux], Cheval, COUNT(*), TOTAL(Debit), TOTAL(Credit) FROM "
               "JEUX " +
               where +
               " AND IFNULL(Remarque, '') NOT GLOB @r1 AND IFNULL(Remarque, '') NOT GLOB @r2 "
               "GROUP BY mois, [type jeux] COLLATE BINARY, Cheval;\n"
               "SELECT P.NumJeu, P.NumGain, P.DateCourse FROM JEUX CROSS JOIN PARIS P ON "
               "P.NumJeu = JEUX.Num " +
               where +
               ";\n"
               "SELECT mois, Jour, [type jeux], Debit, Credit, SoldeApres, IFNULL(Remarque, '') "
               "GLOB @r1 OR IFNULL(Remarque, '') GLOB @r2, Num FROM JEUX " +
               where + " ORDER BY Num;\n";
    };
    const QByteArray everyMonth = everyMonthList();
    const QByteArray setup = periodParameters(marks);
    const double sqliteMonth = sqlite.queryMs(setup, queries("mois = @m"), settings.runs);
    const double sqliteYear =
        sqlite.queryMs(setup, queries("mois IN (" + everyMonth + ")"), settings.runs);
    // The figures alone, without the window's tables and charts, against the same queries.
    const int bigMonth = regional::monthIndex(marks.bigMonth) + 1;
    for (const int period : {bigMonth, stats::kWholeYear}) {
        std::vector<double> figures;
        for (int i = 0; i < settings.runs; ++i)
            figures.push_back(
                timed([&] { stats::compute(*Connexion, marks.bigPlayer, period); }));
        const double computed = median(figures);
        const double sqliteMs = period == stats::kWholeYear ? sqliteYear : sqliteMonth;
        print({QStringLiteral("Fstats figures (%1, %2)")
                   .arg(marks.bigPlayer, period == stats::kWholeYear ? QStringLiteral("the year")
                                                                      : marks.bigMonth),
               computed, sqliteMs,
               verdict(computed <= 2 * sqliteMs, QStringLiteral("<= 2x sqlite3"))});
    }
    double ms = median(playerFigures);
    print({QStringLiteral("Fstats C_joueur (%1, %2)").arg(marks.bigPlayer, marks.bigMonth), ms,
           sqliteMonth, verdict(ms < 100, QStringLiteral("< 100 ms"))});
    ms = median(periodFigures);
    print({QStringLiteral("Fstats C_periode (%1, Toute l'année)").arg(marks.bigPlayer), ms,
           sqliteYear, verdict(ms < 100, QStringLiteral("< 100 ms"))});
}

QString followedWindow(const Settings& settings, const bench::Generator& generator,
                       Sqlite3& sqlite) {
    const bench::Landmarks& marks = generator.landmarks();
    auto* window = new Fsuivit();
    window->show();
    settle();
    auto* list = window->findChild<QListWidget*>(QStringLiteral("Lsuivit"));
    auto* view = window->findChild<QAbstractItemView*>(QStringLiteral("Lstview_partant"));
    if (!list || !view || list->count() < 2) {
        QTextStream(stderr) << "velmora-bench: Fsuivit lacks Lsuivit or Lstview_partant\n";
        return QString();
    }
    const auto found = list->findItems(marks.starHorse, Qt::MatchExactly);
    const int star = found.isEmpty() ? -1 : list->row(found.first());
    const int other = star == 0 ? 1 : 0;
    const Sqlite3::Query history(
        sqlite, parameter("@n", marks.starHorse),
        "SELECT MESSUIVITS.nomcheval, COURSES.date, * FROM MESSUIVITS LEFT JOIN COURSES ON "
        "MESSUIVITS.num = COURSES.reference WHERE MESSUIVITS.nomcheval=@n;\n"
        "select  CR.date, CR.hippodrome, CR.R, CR.C, CR.course, CR.nbPartant, CR.distance, "
        "CR.dotation, CR.dossard, CR.chevalMusique, CR.jockey,  CR.statut, CR.place,CR.Terrain, "
        "CR.Etat, CR.valeur,CR.[type de course],CR.commentaire From CR \r\nWHERE (CR.cheval= @n) "
        "ORDER BY CR.date;\n");
    std::vector<double> figures, sqliteFigures;
    for (int i = 0; i < settings.runs; ++i) {
        list->setCurrentRow(other);
        settle();
        figures.push_back(timed([&] { list->setCurrentRow(star); }));
        sqliteFigures.push_back(history.sample());
    }
    const int races = view->model()->rowCount();
    const double ms = median(figures);
    print({QStringLiteral("ChargerCourses (%1, %2 races)").arg(marks.starHorse).arg(races), ms,
           median(sqliteFigures),
           verdict(ms < 5 && races == settings.data.starRaces, QStringLiteral("< 5 ms"))});

    const QByteArray select = "SELECT DISTINCT CR.cheval, CR.place, CR.Valeur, CR.distance, "
                              "CR.dotation, CR.date, CR.R, CR.C, CR.[type de course],CR.Etat";
    // Each list's query, and the longest the program may take for it (none: the ratio only).
    const struct {
        const char* button;
        const char* where;
        double limitMs;
    } lists[] = {
        {"Bt_Groupe",
         " From CR WHERE CR.place='1'  AND CR.[type de course] LIKE '%groupe%' AND "
         "CR.discipline= 'plat';\n",
         100},
        {"Bt_listed",
         " From CR WHERE CR.place='1'  AND CR.[type de course] LIKE '%listed%' AND "
         "CR.discipline= 'plat';\n",
         100},
        {"bt_handVal40",
         " From CR WHERE CR.place='1'  AND CR.valeur>='40'  AND CR.[type de "
         "course] LIKE '%Handicap%' AND CR.discipline= 'plat';\n",
         0},
        {"bt_handSup40",
         " From CR WHERE (CR.place='2'  Or CR.place='3')  AND CR.valeur>'40'  AND "
         "CR.[type de course] LIKE '%Handicap%' AND CR.discipline= 'plat';\n",
         250},
    };
    QString largest;
    int largestRows = -1;
    for (const auto& entry : lists) {
        auto* button = window->findChild<QPushButton*>(QLatin1String(entry.button));
        if (!button) {
            QTextStream(stderr) << "velmora-bench: Fsuivit lacks " << entry.button << '\n';
            continue;
        }
        // The program and sqlite3 take turns, so a busier moment of the machine meets both.
        const Sqlite3::Query query(sqlite, QByteArray(), select + entry.where);
        figures.clear();
        sqliteFigures.clear();
        for (int i = 0; i < settings.runs; ++i) {
            figures.push_back(timed([&] { button->click(); }));
            sqliteFigures.push_back(query.sample());
        }
        const int rows = view->model()->rowCount();
        const double sqliteMs = median(sqliteFigures);
        const double ms = median(figures);
        QString goal = QStringLiteral("<= 1.3x sqlite3");
        bool met = ms <= 1.3 * sqliteMs;
        if (entry.limitMs > 0) {
            goal = QStringLiteral("< %1 ms, ").arg(entry.limitMs) + goal;
            met = met && ms < entry.limitMs;
        }
        print({QStringLiteral("%1_Click (%2 rows)").arg(QLatin1String(entry.button)).arg(rows), ms,
               sqliteMs, verdict(met, goal)});
        if (rows > largestRows) {
            largestRows = rows;
            largest = QLatin1String(entry.button);
        }
    }
    window->close();
    settle();
    return largest;
}

// ---- The day's card -----------------------------------------------------------------------

// The races of the benchmark's card are named so that those of an interrupted run are found
// and taken away, and a card of the file's own is left alone.
void removeCard() {
    Connexion->exec(
        QStringLiteral("DELETE FROM PARTANTS WHERE course LIKE 'Prix du banc d''essai %'"));
}

// A card of 1,000 runners in 90 races (ten meetings of nine) on `day`, made of CR's horses by
// SQL: the followed horses among horses taken every 1,999 rows of CR, so that most races have
// one. Returns the runners made.
int addCard(const QDate& day) {
    removeCard();
    data::Transaction transaction(*Connexion);
    Connexion->exec(
        QStringLiteral(
            "INSERT INTO PARTANTS (date, heure, hippodrome, R, C, course, nbPartant, distance, "
            "dotation, discipline, [type de course], dossard, cheval, jockey, cote) "
            "WITH horses AS (SELECT nomcheval AS cheval FROM MESSUIVITS UNION "
            "  SELECT cheval FROM CR WHERE rowid % 1999 = 0 LIMIT 1000), "
            "runners AS (SELECT cheval, row_number() OVER (ORDER BY cheval) - 1 AS n FROM horses), "
            "places AS (SELECT cheval, n, n % 90 AS race, n % 90 / 9 AS meeting FROM runners) "
            "SELECT ?, printf('%d:%02d', 11 + (meeting * 7 + race % 9 * 30) / 60, "
            "  (meeting * 7 + race % 9 * 30) % 60), "
            "  CASE meeting WHEN 0 THEN 'Vincennes' WHEN 1 THEN 'Longchamp' WHEN 2 THEN "
            "  'Auteuil' WHEN 3 THEN 'Chantilly' WHEN 4 THEN 'Deauville' WHEN 5 THEN "
            "  'Saint-Cloud' WHEN 6 THEN 'Enghien' WHEN 7 THEN 'Cagnes-sur-Mer' WHEN 8 THEN "
            "  'Pau' ELSE 'Lyon-Parilly' END, meeting + 1, race % 9 + 1, "
            "  'Prix du banc d''essai ' || (race + 1), NULL, 1600 + race * 100 % 1700, "
            "  20000 + race * 1000, CASE meeting % 3 WHEN 0 THEN 'trot attelé' WHEN 1 THEN "
            "  'plat' ELSE 'haies' END, CASE race % 3 WHEN 0 THEN 'Handicap' WHEN 1 THEN "
            "  'Groupe II' ELSE 'Course D' END, n / 90 + 1, cheval, 'J. Dupont', "
            "  2.5 + n * 37 % 300 / 10.0 FROM places"),
        {day.toString(Qt::ISODate)});
    transaction.commit();
    return Connexion
        ->scalar(QStringLiteral("SELECT count(*) FROM PARTANTS WHERE course LIKE 'Prix du banc "
                                "d''essai %'"))
        .toInt();
}

// What a race's runners cost sqlite3: the race's runners, then each runner's results.
QByteArray runnersScript(const QDate& day, const followed::CardRace& race,
                         const QStringList& horses) {
    QByteArray sql = parameter("@d", day.toString(Qt::ISODate)) +
                     ".parameter set @r " + QByteArray::number(race.r) + "\n" +
                     ".parameter set @c " + QByteArray::number(race.c) + "\n" +
                     "SELECT dossard, cheval, jockey, cote FROM PARTANTS WHERE date = @d AND "
                     "R = @r AND C = @c ORDER BY dossard IS NULL, dossard, cheval;\n";
    QStringList marks;
    for (const auto list :
         {followed::Confirmations::GroupWinners, followed::Confirmations::ListedWinners,
          followed::Confirmations::HandicapWinners40,
          followed::Confirmations::HandicapPlacedOver40})
        marks << followed::confirmationRaceCondition(list);
    const QByteArray select =
        "SELECT substr(date, 1, 10), place, statut, " + marks.join(QStringLiteral(", ")).toUtf8();
    // The program also looks the horse's spellings up (CR_NOMS): one more indexed read.
    for (const QString& horse : horses) {
        const QString key = followed::horseKey(horse);
        sql += parameter("@n", QStringLiteral("[\"%1\",\"%2\"]").arg(horse, key)) +
               parameter("@k", key) + "SELECT cheval FROM CR_NOMS WHERE clef = @k;\n" + select +
               " FROM CR WHERE cheval IN (SELECT value FROM json_each(@n)) AND substr(date, 1, "
               "10) < @d ORDER BY date DESC, C DESC;\n";
    }
    return sql;
}

// Fjour opened on a day of 90 races, and a race chosen in it.
void dayWindow(const Settings& settings, const bench::Generator& generator, Sqlite3& sqlite) {
    OuvrirConnexion();
    const QDate day = regional::today();
    const int runners = addCard(day);
    // A chrono list of a punter who has timed a few hundred of the day's horses, unless the
    // folder has one of its own.
    const QString chronoFile = listfile::path();
    const bool ownChronoList = !QFileInfo::exists(chronoFile);
    if (ownChronoList) {
        QStringList lines;
        data::Statement rs(Connexion->raw(),
                           QStringLiteral("SELECT cheval FROM PARTANTS WHERE course LIKE 'Prix "
                                          "du banc d''essai %' AND dossard % 3 = 1"),
                           {});
        for (int i = 0; rs.next(); ++i)
            lines << QStringLiteral("1:%1:%2 ---- 2100m ---- 58Kg ---- %3 ---- terrain : bon")
                         .arg(11 + i % 8)
                         .arg(i % 100, 2, 10, QLatin1Char('0'))
                         .arg(rs.string(0));
        if (const auto error = listfile::replace(chronoFile, lines))
            QTextStream(stderr) << "velmora-bench: " << *error << '\n';
    }

    // The window opens on the first race with a followed runner; the race timed is the star's.
    // sqlite3 runs the same queries: the day's card and the followed horses, then a race's
    // runners and each one's results.
    const QString star = generator.landmarks().starHorse;
    const auto card = followed::racesOn(*Connexion, day, followed::followedKeys(*Connexion));
    const auto firstShown = std::find_if(card.begin(), card.end(),
                                         [](const auto& race) { return !race.followed.isEmpty(); });
    const auto starRace = std::find_if(
        card.begin(), card.end(), [&](const auto& race) { return race.followed.contains(star); });
    if (firstShown == card.end() || starRace == card.end() || firstShown == starRace) {
        QTextStream(stderr) << "velmora-bench: the card has no race of " << star
                            << " apart from the first one\n";
        removeCard();
        return;
    }
    const auto horses = [&](const followed::CardRace& race) {
        QStringList names;
        for (const followed::Runner& runner :
             followed::runnersOf(*Connexion, day, race, {}, followed::ChronoList()))
            names << runner.horse;
        return names;
    };
    const Sqlite3::Query opening(
        sqlite, parameter("@d", day.toString(Qt::ISODate)),
        "SELECT heure, hippodrome, R, C, course, distance, discipline, [type de course], cheval "
        "FROM PARTANTS WHERE date = @d ORDER BY dossard IS NULL, dossard, cheval;\n"
        "SELECT nomcheval FROM MESSUIVITS;\n" +
            runnersScript(day, *firstShown, horses(*firstShown)));
    const Sqlite3::Query choice(sqlite, QByteArray(),
                                runnersScript(day, *starRace, horses(*starRace)));

    std::vector<double> openFigures, raceFigures, sqliteOpen, sqliteRace;
    int shown = 0, starRunners = 0;
    for (int i = 0; i < settings.runs; ++i) {
        Fjour* window = nullptr;
        openFigures.push_back(timed([&] {
            window = new Fjour();
            window->show();
        }));
        auto* races = window->findChild<QTreeWidget*>(QStringLiteral("LstCourses"));
        auto* list = window->findChild<QTreeWidget*>(QStringLiteral("LstPartants"));
        shown = races->topLevelItemCount();
        QTreeWidgetItem* starItem = nullptr;
        for (int row = 0; row < shown && !starItem; ++row)
            if (races->topLevelItem(row)->text(2) == starRace->code() &&
                races->topLevelItem(row)->text(1) == starRace->racecourse)
                starItem = races->topLevelItem(row);
        if (!starItem || races->currentItem() == starItem) {
            QTextStream(stderr) << "velmora-bench: Fjour does not show " << star << "'s race\n";
            window->close();
            break;
        }
        raceFigures.push_back(timed([&] { races->setCurrentItem(starItem); }));
        starRunners = list->topLevelItemCount();
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        settle();
        sqliteOpen.push_back(opening.sample());
        sqliteRace.push_back(choice.sample());
    }
    if (!openFigures.empty() && !raceFigures.empty()) {
        double ms = median(openFigures);
        print({QStringLiteral("Fjour opened (%1 of 90 races shown, %2 runners)")
                   .arg(shown)
                   .arg(runners),
               ms, median(sqliteOpen), verdict(ms < 100 && runners == 1000, "< 100 ms")});
        ms = median(raceFigures);
        print({QStringLiteral("LstCourses_Click (%1 %2, %3 runners)")
                   .arg(starRace->code(), starRace->racecourse)
                   .arg(starRunners),
               ms, median(sqliteRace), verdict(ms < 20 && starRunners > 0, "< 20 ms")});
    }
    std::vector<double> countFigures;
    int running = 0;
    for (int i = 0; i < settings.runs; ++i)
        countFigures.push_back(
            timed([&] { running = followed::followedRunningOn(*Connexion, day); }));
    print({QStringLiteral("followedRunningOn (%1 followed horses run)").arg(running),
           median(countFigures), -1, QString()});

    removeCard();
    if (ownChronoList)
        QFile::remove(chronoFile);
}

void memory(const Settings& settings, const QString& button) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--memory-probe"), settings.work + "/db", button});
    child.waitForFinished(-1);
    const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
    if (figures.size() != 3) {
        QTextStream(stderr) << "velmora-bench: the memory probe failed\n";
        return;
    }
    const double mb = figures[2].toDouble() / 1024.0;
    out() << QStringLiteral(
                 "Peak memory, %1 (%2 rows): VmHWM %3 MB (%4 MB before the click)   %5\n")
                 .arg(button, figures[0], QString::number(mb, 'f', 1),
                      QString::number(figures[1].toDouble() / 1024.0, 'f', 1),
                      verdict(mb < 300, QStringLiteral("< 300 MB")));
}

// The day's copy of the whole file while stakes are recorded every second, as a busy punter
// would, ten times: how long the copy takes, and the longest a recording waits, beside the longest
// wait of as many recordings without a copy (the disk's own).
void dailyCopy(const Settings& settings) {
    const QString file = settings.work + "/db/velmora.mdb";
    QDir(dailycopy::folderFor(file)).removeRecursively();
    OuvrirConnexion();
    const qint64 lastRow =
        Connexion->scalar(QStringLiteral("SELECT max(Num) FROM JEUX")).toLongLong();
    // A stake needs the player's balance row for the month.
    const QString player = QStringLiteral("Banc d'essai");
    Connexion->exec(QStringLiteral("DELETE FROM USERS WHERE pseudo = ?"), {player});
    ledger::addPlayer(*Connexion, player, Money(), QStringLiteral("Mars"));
    const auto record = [] {
        return timed([] {
            ledger::recordGame(*Connexion,
                               {ledger::GameKind::Stake, QStringLiteral("Banc d'essai"),
                                QStringLiteral("Mars"), QStringLiteral("01"),
                                QStringLiteral("Tiercé"), QString(), 1_eur, {}});
        });
    };
    double alone = 0;
    for (int i = 0; i < 10; ++i) {
        QThread::msleep(1000);
        alone = std::max(alone, record());
    }
    const QDate day(2026, 1, 1);
    dailycopy::Background copy(file, day);
    QElapsedTimer clock;
    clock.start();
    copy.start();
    double during = 0;
    int recordings = 0;
    // Ten recordings, then the copy is left to finish: each recording makes the engine start
    // the copy again, so a recording every second would never let a large file through.
    while (recordings < 10 && !copy.wait(1000)) {
        during = std::max(during, record());
        ++recordings;
    }
    copy.wait();
    const double copyMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    const bool made = copy.outcome().made;
    const qint64 size = QFileInfo(dailycopy::copyFor(file, day)).size();
    Connexion->exec(QStringLiteral("DELETE FROM JEUX WHERE Num > ?"), {lastRow});
    Connexion->exec(QStringLiteral("DELETE FROM USERS WHERE pseudo = ?"), {player});
    Connexion.reset();
    QDir(dailycopy::folderFor(file)).removeRecursively();
    print({QStringLiteral("daily copy, %1 MB, %2 recordings meanwhile")
               .arg(size / 1000000)
               .arg(recordings),
           copyMs, -1,
           made ? QString() : QStringLiteral("(FAILED: %1)").arg(copy.outcome().error)});
    print({QStringLiteral("longest recording, without a copy"), alone, -1, QString()});
    print({QStringLiteral("longest recording, during the copy"), during, -1,
           verdict(during < alone + 100, QStringLiteral("< 100 ms more than without"))});
}

void import(const Settings& settings) {
    const QString folder = settings.work + "/import";
    const QString file = folder + "/velmora.mdb";
    const QString csv = settings.work + "/results.csv";
    QDir().mkpath(folder);
    const auto fresh = [&] {
        QFile::remove(file);
        data::schema::createFile(file);
    };
    std::vector<double> ours, theirs;
    for (int i = 0; i < settings.importRuns; ++i) {
        fresh();
        QProcess tool;
        tool.setStandardOutputFile(QProcess::nullDevice());
        tool.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        tool.start(settings.velmoraDb, {QStringLiteral("import-results"), csv, folder});
        tool.waitForFinished(-1);
        ours.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        if (tool.exitCode() != 0) {
            QTextStream(stderr) << "velmora-bench: velmora-db import-results failed\n";
            return;
        }
        fresh();
        // The same file into a table of the same shape (same indexes), as the shell does it.
        theirs.push_back(Sqlite3(file).processMs(".mode csv\n.separator ;\n.import --skip 1 '" +
                                                 csv.toUtf8() + "' CR\n"));
    }
    const double ms = median(ours);
    const double sqliteMs = median(theirs);
    print({QStringLiteral("import-results, %1 rows").arg(settings.data.resultRows), ms, sqliteMs,
           verdict(ms < 20000 && ms <= 2 * sqliteMs, QStringLiteral("< 20 s, <= 2x sqlite3"))});
    QFile::remove(file);
}

// The search across the years: the ledger and two archives holding the same lines, a horse
// typed as a user types it (small letters, no accents), "Toutes les années".
void searchWindow(const Settings& settings) {
    const QString file = paths::databaseFile();
    const int year = ledger::openYear(*Connexion, regional::today());
    QStringList made;
    for (const int past : {year - 2, year - 1}) {
        const QString archive = ledger::archivePath(file, past);
        QFile::remove(archive);
        QDir().mkpath(QFileInfo(archive).path());
        auto db = data::schema::createFile(archive, past);
        db->exec(QStringLiteral("ATTACH DATABASE ? AS velmora"), {file});
        const QString columns = QStringLiteral(
            "Num, User, mois, Jour, Remarque, [type jeux], Cheval, Debit, Credit, SoldeAvant, "
            "SoldeApres");
        db->exec(QStringLiteral("INSERT INTO main.JEUX (%1) SELECT %1 FROM velmora.JEUX")
                     .arg(columns));
        db->exec(QStringLiteral("INSERT INTO main.USERS SELECT * FROM velmora.USERS"));
        db->exec(QStringLiteral("DETACH DATABASE velmora"));
        made << archive;
    }
    const QString horse =
        Connexion
            ->scalar(QStringLiteral("SELECT Cheval FROM JEUX WHERE Cheval <> 'AUTRE JEUX' GROUP BY "
                                    "Cheval ORDER BY count(*) DESC, Cheval LIMIT 1"))
            .toString();
    const qint64 lines = Connexion->scalar(QStringLiteral("SELECT count(*) FROM JEUX")).toLongLong();
    auto* window = Frecherche::showSingle();
    settle();
    auto* text = window->findChild<QLineEdit*>(QStringLiteral("Tcherche"));
    auto* years = window->findChild<QComboBox*>(QStringLiteral("C_anneeR"));
    auto* count = window->findChild<QLabel*>(QStringLiteral("LblNombre"));
    text->setText(horse.toLower());
    years->setCurrentIndex(years->count() - 1);
    std::vector<double> figures;
    for (int i = 0; i < settings.runs; ++i)
        figures.push_back(timed([&] {
            window->Rechercher(); // what Enter in the text box does
            settle();
        }));
    const QString found = count->text();
    window->close();
    settle();
    for (const QString& archive : made)
        QFile::remove(archive);
    const double ms = median(figures);
    print({QStringLiteral("Frecherche: « %1 », %2 lines × 3 years (%3)")
               .arg(horse.toLower())
               .arg(lines)
               .arg(found),
           ms, -1, verdict(ms < 150, QStringLiteral("< 150 ms"))});
}

int run(const Settings& settings) {
    // The windows look and are drawn as in the program.
    appearance::setupApplication(*qApp);
    const bench::Generator generator(settings.data);
    if (!prepare(settings, generator))
        return 1;
    paths::setProgramFolder(settings.work + "/db");
    dialogs::setBackend(std::make_unique<Boxes>());
    Sqlite3 sqlite(settings.work + "/db/velmora.mdb");
    // Bets left by an interrupted run would weigh on the timings made without them.
    OuvrirConnexion();
    removeBets();
    removeCard();
    out() << QStringLiteral("%1 %2 %3 %4   %5\n")
                 .arg(QStringLiteral("Operation"), -46)
                 .arg(QStringLiteral("median ms"), 10)
                 .arg(QStringLiteral("sqlite3 ms"), 11)
                 .arg(QStringLiteral("ratio"), 7)
                 .arg(QStringLiteral("target"));
    if (settings.wants("size"))
        fileSize(settings);
    if (settings.wants("startup"))
        startup(settings, sqlite);
    if (settings.wants("ledger"))
        ledgerWindow(settings, generator, sqlite);
    if (settings.wants("stats"))
        statsWindow(settings, generator, sqlite);
    if (settings.wants("followed") || settings.wants("memory")) {
        const QString largest = followedWindow(settings, generator, sqlite);
        if (!largest.isEmpty() && settings.wants("memory"))
            memory(settings, largest);
    }
    if (settings.wants("jour"))
        dayWindow(settings, generator, sqlite);
    if (settings.wants("bets"))
        bets(settings, generator, sqlite);
    if (settings.wants("search"))
        searchWindow(settings);
    if (settings.wants("copy"))
        dailyCopy(settings);
    if (!settings.skipImport && settings.wants("import"))
        import(settings);
    if (Boxes::shown > 0) {
        QTextStream(stderr) << "velmora-bench: " << Boxes::shown
                            << " message box(es) opened during the timings\n";
        return 1;
    }
    return 0;
}

} // namespace

// The off-screen platform's notes about window hints say nothing about speed.
void quietPlatform(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (message.contains(QLatin1String("does not support propagateSizeHints")) ||
        message.contains(QLatin1String("does not support raise()")) ||
        message.startsWith(QLatin1String("QStandardPaths:")))
        return;
    QTextStream(stderr) << (type == QtDebugMsg ? "" : "velmora-bench: ") << message << '\n';
}

int main(int argc, char* argv[]) {
    qInstallMessageHandler(quietPlatform);
    // Without a display the windows are drawn off screen; under X (xvfb-run) they are real.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    // The shared connection must go while Qt's SQL module is still there.
    struct CloseConnection {
        ~CloseConnection() { Connexion.reset(); }
    } closeConnection;
    if (args.value(0) == QLatin1String("--startup-probe"))
        return startupProbe(args.value(1));
    if (args.value(0) == QLatin1String("--bare-probe"))
        return bareProbe(false);
    if (args.value(0) == QLatin1String("--text-probe"))
        return bareProbe(true);
    if (args.value(0) == QLatin1String("--memory-probe"))
        return memoryProbe(args.value(1), args.value(2));

    Settings settings;
    settings.velmoraDb =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../velmora-db"));
    bool ok = true;
    for (int i = 0; i < args.size() && ok; ++i) {
        const QString& a = args.at(i);
        const QString value = args.value(i + 1);
        if (a == QLatin1String("--work"))
            settings.work = value, ++i, ok = !value.isEmpty();
        else if (a == QLatin1String("--runs"))
            settings.runs = value.toInt(&ok), ++i, ok = ok && settings.runs > 0;
        else if (a == QLatin1String("--import-runs"))
            settings.importRuns = value.toInt(&ok), ++i, ok = ok && settings.importRuns > 0;
        else if (a == QLatin1String("--rows"))
            settings.data.resultRows = value.toLongLong(&ok), ++i;
        else if (a == QLatin1String("--ledger"))
            settings.data.ledgerRows = value.toLongLong(&ok), ++i;
        else if (a == QLatin1String("--seed"))
            settings.data.seed = value.toULongLong(&ok), ++i;
        else if (a == QLatin1String("--velmora-db"))
            settings.velmoraDb = value, ++i, ok = !value.isEmpty();
        else if (a == QLatin1String("--skip-import"))
            settings.skipImport = true;
        else if (a == QLatin1String("--only"))
            settings.only = value.split(QLatin1Char(',')), ++i, ok = !value.isEmpty();
        else
            ok = false;
    }
    if (!ok) {
        QTextStream(stderr)
            << "Usage: velmora-bench [--work DIR] [--runs N] [--import-runs N] [--rows N] "
               "[--ledger N] [--seed N] [--velmora-db PATH] [--skip-import]\n"
               "                     [--only "
               "size,startup,ledger,stats,bets,search,followed,jour,memory,copy,import]\n";
        return 2;
    }
    return run(settings);
}
