#include "app/singleinstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

namespace {

// The file's real path names the server: two paths to one file meet, two files do not.
QString serverNameFor(const QString& databaseFile) {
    const QFileInfo info(databaseFile);
    const QString path =
        info.canonicalFilePath().isEmpty() ? info.absoluteFilePath() : info.canonicalFilePath();
    const QByteArray hash =
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("velmora-%1").arg(QString::fromLatin1(hash));
}

} // namespace

SingleInstance::SingleInstance(const QString& databaseFile, QObject* parent)
    : QObject(parent), m_serverName(serverNameFor(databaseFile)), m_lock(databaseFile) {}

SingleInstance::~SingleInstance() {
    if (m_server)
        m_server->close();
    m_lock.unlock();
}

data::FileLock::State SingleInstance::claim() {
    const data::FileLock::State state = m_lock.tryLock();
    if (state != data::FileLock::State::Taken)
        return state;
    // A socket left by a program that crashed would refuse the name: ours now.
    QLocalServer::removeServer(m_serverName);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A connection is the whole message: another start on this file.
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        bool woken = false;
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            socket->disconnectFromServer();
            socket->deleteLater();
            woken = true;
        }
        if (woken)
            emit wakeRequested();
    });
    // Without the server a second start cannot bring this one forward, but the lock still
    // keeps it from opening the file.
    m_server->listen(m_serverName);
    return state;
}

bool SingleInstance::wakeHolder() {
    // The holder may be starting up and not listening yet.
    const QDeadlineTimer deadline(1500);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(m_serverName);
        if (socket.waitForConnected(200)) {
            socket.disconnectFromServer();
            return true;
        }
        QThread::msleep(100);
    }
    return false;
}
