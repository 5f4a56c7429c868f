#include "platform/instance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ct {

QString SingleInstance::runtimeDir()
{
    for (const char* var : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const QString d = qEnvironmentVariable(var);
        if (!d.isEmpty() && QDir(d).exists())
            return d;
    }
    return u"/tmp"_s;
}

SingleInstance::SingleInstance(QObject* parent) : QObject(parent)
{
    const QString base = runtimeDir() + u"/ctwork-"_s + QString::number(::getuid());
    m_lockPath = base + u".lock"_s;
    m_socketPath = base + u".sock"_s;
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::previousRunning()
{
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    m_lock->setStaleLockTime(0); // stale only when its process is gone
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError) {
            QLocalSocket s;
            s.connectToServer(m_socketPath);
            if (s.waitForConnected(1000)) {
                s.write("raise\n");
                s.waitForBytesWritten(1000);
                s.disconnectFromServer();
            }
            return true;
        }
        // The lock cannot even be made (no such directory, no permission): run alone.
        return false;
    }
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server->listen(m_socketPath)) {
        connect(m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* c = m_server->nextPendingConnection()) {
                connect(c, &QLocalSocket::disconnected, c, &QObject::deleteLater);
                connect(c, &QLocalSocket::readyRead, this, [this, c] {
                    if (c->readAll().contains("raise"))
                        Q_EMIT raiseRequested();
                });
            }
        });
    }
    return false;
}

} // namespace ct
