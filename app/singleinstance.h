#pragma once

#include "data/filelock.h"

#include <QObject>

class QLocalServer;

// One program per file: the first start on a file holds a lock beside it and listens; a
// second start on the same file asks the first to come forward, then ends. A lock left by
// a program that crashed is taken over. Two files, two programs. Where the lock cannot be
// made at all (a read-only medium, a folder without the right to write), no program holds
// the file: each start reads it on its own.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& databaseFile, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock and listens once it is ours.
    data::FileLock::State claim();
    // Why the lock could not be made, or who holds it (data::FileLock::reason).
    QString reason() const { return m_lock.reason(); }
    // Asks the program holding the file to come forward; false when it did not answer.
    bool wakeHolder();

signals:
    void wakeRequested();

private:
    QString m_serverName;
    data::FileLock m_lock;
    QLocalServer* m_server = nullptr;
};
