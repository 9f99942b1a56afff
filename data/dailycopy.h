#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QThread>
#include <functional>

// A copy of velmora.mdb once a day in sauvegardes/ beside it, the ten newest kept, so that
// a failed disk or a wrong entry never costs the season's ledger.
namespace dailycopy {

// sauvegardes/ beside the database file.
QString folderFor(const QString& databaseFile);
// folderFor(databaseFile)/velmora-AAAA-MM-JJ.mdb
QString copyFor(const QString& databaseFile, const QDate& day);

// How many copies are kept.
constexpr int kKept = 10;

struct Outcome {
    bool made = false;   // today's copy was written now
    QString error;       // why it could not be, in French; empty when all went well
    QStringList removed; // older copies deleted
};

// Writes today's copy when it is missing (under a temporary name, then renamed), in small
// steps that leave the file to the program between them, then deletes the oldest copies
// beyond the ten newest. `cancelled` may end the copy early.
Outcome run(const QString& databaseFile, const QDate& today,
            const std::function<bool()>& cancelled = {});

// run() on a thread of its own, so that starting the program never waits for it. A failure
// is written to standard error. Destroying it (with the application) stops the copy and
// waits for the thread.
class Background : public QThread {
public:
    Background(QString databaseFile, QDate today, QObject* parent = nullptr);
    ~Background() override;

    const Outcome& outcome() const { return m_outcome; } // once finished

protected:
    void run() override;

private:
    QString m_file;
    QDate m_today;
    Outcome m_outcome;
};

} // namespace dailycopy
