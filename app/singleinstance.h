#pragma once

#include <QLockFile>
#include <QObject>

class QLocalServer;

// One program per file: the first start on a file holds a lock beside it and listens; a
// second start on the same file asks the first to come forward, then ends. A lock left by
// a program that crashed is taken over. Two files, two programs.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& databaseFile, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock and listens; false when another running program holds the file.
    bool claim();
    // Asks the program holding the file to come forward; false when it did not answer.
    bool wakeHolder();

signals:
    void wakeRequested();

private:
    QString m_serverName;
    QLockFile m_lock;
    QLocalServer* m_server = nullptr;
};
