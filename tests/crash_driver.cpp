// Records stakes, wins and credits through the ledger's own write path, one after the
// other, printing each entry number once it is committed. The reliability test kills it at
// random moments and then checks the file.
//
//   crash_driver FOLDER SEED        loop until killed
//   crash_driver FOLDER once        one stake; prints "ok" or the French error, then the
//                                   number of ledger rows it can still read
#include "data/errors.h"
#include "data/recordset.h"
#include "data/schema.h"
#include "ledger/ledgerbook.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <cstdio>

namespace {

ledger::GameEntry randomGame(QRandomGenerator& rng, const QString& player) {
    ledger::GameEntry entry;
    entry.kind = rng.bounded(3) == 0 ? ledger::GameKind::Win : ledger::GameKind::Stake;
    entry.player = player;
    entry.month = QStringLiteral("Mars");
    entry.day = QStringLiteral("%1").arg(rng.bounded(1, 29), 2, 10, QLatin1Char('0'));
    entry.gameType = QStringLiteral("Simple Gagnant");
    entry.horse = QStringLiteral("Cheval %1").arg(rng.bounded(20));
    entry.amount = Money::fromCents(rng.bounded(1, 4000));
    return entry;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3)
        return 2;
    const QString file = QDir(args[1]).filePath(QStringLiteral("velmora.mdb"));
    try {
        auto db = data::schema::openFile(file);
        if (args[2] == QLatin1String("once")) {
            QString outcome = QStringLiteral("ok");
            try {
                QRandomGenerator rng(1);
                ledger::recordGame(*db, randomGame(rng, QStringLiteral("Paul")));
            } catch (const data::DbError& error) {
                outcome = errors::describe(error);
            }
            data::RecordSet rows;
            rows.Open(QStringLiteral("SELECT * FROM JEUX"), db);
            std::printf("%s\n%d\n", outcome.toUtf8().constData(), rows.RecordCount());
            return 0;
        }
        QRandomGenerator rng(args[2].toUInt());
        const QStringList players = {QStringLiteral("Paul"), QStringLiteral("Anne")};
        for (;;) {
            const QString player = players[rng.bounded(2)];
            if (rng.bounded(5) == 0)
                ledger::addCredit(*db, player, QStringLiteral("Mars"), QStringLiteral("07"),
                                  Money::fromCents(rng.bounded(1, 5000)));
            else
                ledger::recordGame(*db, randomGame(rng, player));
            const qlonglong entry =
                db->scalar(QStringLiteral("SELECT max(Num) FROM JEUX")).toLongLong();
            std::printf("%lld\n", entry);
            std::fflush(stdout);
        }
    } catch (const data::DbError& error) {
        std::fprintf(stderr, "%s\n", errors::describe(error).toUtf8().constData());
        return 1;
    }
}
