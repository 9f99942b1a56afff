// Closes the open year of FOLDER/velmora.mdb through the year's book, on the day given, and
// kills itself (SIGKILL, as a power cut or a killed process would stop it) when the closing
// reaches the step named. The year's book test then checks what was left on the disk.
//
//   yearbook_driver FOLDER YEAR YYYY-MM-DD STEP
//     STEP: locked, copied, checked, in-place, cleared, or end (close and print "ok" or the
//     refusal)
//
// or restores COPY over FOLDER/velmora.mdb, killed at the step named:
//
//   yearbook_driver FOLDER restore COPY STEP
//     STEP: safety, written, checked, replaced, or end
#include "data/regional.h"
#include "data/schema.h"
#include "ledger/restoring.h"
#include "ledger/yearbook.h"

#include <QCoreApplication>
#include <QDir>
#include <csignal>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 5)
        return 2;
    if (args[2] == QLatin1String("restore")) {
        const QStringList steps = {"safety", "written", "checked", "replaced"};
        const int killAt = int(steps.indexOf(args[4]));
        try {
            ledger::restoreCopy(QDir(args[1]).filePath(QStringLiteral("velmora.mdb")), args[3],
                                [killAt](ledger::RestoreStep step) {
                                    if (int(step) == killAt)
                                        std::raise(SIGKILL);
                                });
            std::printf("ok\n");
        } catch (const ledger::RestoreRefused& refused) {
            std::printf("%s\n", refused.text.toUtf8().constData());
        }
        return 0;
    }
    regional::setToday(QDate::fromString(args[3], Qt::ISODate));
    const QStringList steps = {"locked", "copied", "checked", "in-place", "cleared"};
    const int killAt = int(steps.indexOf(args[4]));
    try {
        auto db = data::schema::openFile(QDir(args[1]).filePath(QStringLiteral("velmora.mdb")));
        ledger::closeYear(*db, args[2].toInt(), [killAt](ledger::ClosingStep step) {
            if (int(step) == killAt)
                std::raise(SIGKILL);
        });
        std::printf("ok\n");
    } catch (const ledger::ClosingRefused& refused) {
        std::printf("%s\n", refused.text.toUtf8().constData());
    } catch (const data::DbError& error) {
        std::printf("%s\n", error.engineText().toUtf8().constData());
    }
    return 0;
}
