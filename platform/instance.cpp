#include "platform/instance.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ct {

namespace {

constexpr int kAnswerMs = 1500;   // a running copy answers within this time
constexpr int kStartingMs = 3000; // a copy that holds the lock begins to listen by then

// What a token may be: the protocol leaves it opaque; this one line of the socket
// carries it.
bool usableToken(QByteArrayView token)
{
    constexpr qsizetype kMaxToken = 1024;
    if (token.isEmpty() || token.size() > kMaxToken)
        return false;
    return std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A directory of this user's that nobody else can write, not a symbolic link.
bool isPrivateDir(const QString& dir, QString* why)
{
    struct stat st = {};
    if (::lstat(QFile::encodeName(dir).constData(), &st) != 0) {
        *why = u"%1：%2"_s.arg(dir, errnoText());
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *why = u"%1 不是目录"_s.arg(dir);
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        *why = u"%1 属于另一个用户"_s.arg(dir);
        return false;
    }
    if ((st.st_mode & 022) != 0) {
        *why = u"%1 别人也能写入"_s.arg(dir);
        return false;
    }
    if (::access(QFile::encodeName(dir).constData(), W_OK | X_OK) != 0) {
        *why = u"%1 不能写入"_s.arg(dir);
        return false;
    }
    return true;
}

} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString SingleInstance::privateDir(QString* why)
{
    QString reason;
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && isPrivateDir(xdg, &reason))
        return xdg;
    QString base = qEnvironmentVariable("TMPDIR");
    if (base.isEmpty() || !QFileInfo(base).isDir())
        base = u"/tmp"_s;
    const QString dir = base + u"/ctwork-"_s + QString::number(::geteuid());
    const QByteArray native = QFile::encodeName(dir);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        reason = u"%1：%2"_s.arg(dir, errnoText());
    } else if (isPrivateDir(dir, &reason)) {
        return dir;
    }
    if (why)
        *why = reason;
    return {};
}

bool SingleInstance::otherCopyRunning()
{
    const QString self = QFileInfo(u"/proc/self/exe"_s).canonicalFilePath();
    if (self.isEmpty())
        return false;
    const QStringList pids = QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        bool numeric = false;
        const qint64 n = pid.toLongLong(&numeric);
        if (!numeric || n == QCoreApplication::applicationPid())
            continue;
        struct stat st = {};
        const QString proc = u"/proc/"_s + pid;
        if (::stat(QFile::encodeName(proc).constData(), &st) != 0 || st.st_uid != ::geteuid())
            continue;
        if (QFileInfo(proc + u"/exe"_s).canonicalFilePath() == self)
            return true;
    }
    return false;
}

bool SingleInstance::askToRaise(int timeoutMs) const
{
    QLocalSocket s;
    s.connectToServer(socketPath());
    if (!s.waitForConnected(timeoutMs))
        return false;
    QByteArray ask = "raise\n"_ba;
    if (usableToken(m_token))
        ask = "raise "_ba + m_token + '\n';
    s.write(ask);
    if (!s.waitForBytesWritten(timeoutMs))
        return false;
    // A copy that is really running answers; a socket left by a dead copy does not.
    while (!s.canReadLine()) {
        if (!s.waitForReadyRead(timeoutMs))
            return false;
    }
    return s.readLine().startsWith("ok");
}

void SingleInstance::listen()
{
    QLocalServer::removeServer(socketPath());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(socketPath()))
        return;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* c = m_server->nextPendingConnection()) {
            connect(c, &QLocalSocket::disconnected, c, &QObject::deleteLater);
            connect(c, &QLocalSocket::readyRead, this, [this, c] {
                if (!c->canReadLine())
                    return;
                const QByteArray line = c->readLine().trimmed();
                if (line == "raise" || line.startsWith("raise ")) {
                    const QByteArray token = line.mid(6);
                    c->write("ok\n");
                    c->flush();
                    Q_EMIT raiseRequested(usableToken(token) ? QString::fromLatin1(token)
                                                             : QString());
                }
            });
        }
    });
}

bool SingleInstance::tryLock()
{
    if (m_locked)
        return true;
    if (m_lockFd < 0) {
        m_dir = privateDir(&m_problem);
        if (m_dir.isEmpty())
            return false;
        // The kernel lock goes with its process: a killed copy leaves nothing that counts,
        // and what the lock file holds does not matter.
        m_lockFd = ::open(QFile::encodeName(lockPath()).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_lockFd < 0) {
            m_problem = u"%1：%2"_s.arg(lockPath(), errnoText());
            m_dir.clear();
            return false;
        }
    }
    m_locked = ::flock(m_lockFd, LOCK_EX | LOCK_NB) == 0;
    return m_locked;
}

SingleInstance::Claim SingleInstance::claim()
{
    if (!tryLock()) {
        if (m_lockFd < 0)
            return Claim::Unchecked;
        // Another process holds it: it counts when it answers. A copy just starting may
        // not listen yet; give it a moment.
        QElapsedTimer waited;
        waited.start();
        do {
            if (askToRaise(kAnswerMs))
                return Claim::Raised;
            if (tryLock())
                break; // it ended meanwhile
            QThread::msleep(100);
        } while (waited.elapsed() < kStartingMs);
        // Held by nobody that answers: stale, taken over.
    }
    listen();
    return Claim::First;
}

} // namespace ct
