#include "widgets/session.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ct {

namespace {
int g_pipe[2] = {-1, -1};

void onSignal(int sig)
{
    const char c = char(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &c, 1);
}
} // namespace

SessionWatch::SessionWatch(MayEnd mayEnd, QObject* parent)
    : QObject(parent), m_mayEnd(std::move(mayEnd))
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app && m_mayEnd) {
        connect(
            app, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager& m) { answerQuery(m); }, Qt::DirectConnection);
        // Nothing to save for a later session: the data is written as it is entered.
        connect(
            app, &QGuiApplication::saveStateRequest, this,
            [](QSessionManager& m) { m.setRestartHint(QSessionManager::RestartNever); },
            Qt::DirectConnection);
    }
}

SessionWatch::~SessionWatch() = default;

void SessionWatch::answerQuery(QSessionManager& manager)
{
    // Leave is asked only when the answer may need the user: a client that asks for it is
    // shown as holding up the log-off. Style None, or a shutdown the manager cancels while
    // we wait, gives no leave; the end then cannot be refused.
    const bool wantsUser = !m_wantsUser || m_wantsUser();
    const bool mayInteract = wantsUser && manager.allowsInteraction();
    // A refusal must not release: with Qt's XSMP client release() ends the interaction as
    // "continue" at once, whatever cancel() said. Left open, the interaction ends with
    // "cancel shutdown" when the answer is sent.
    if (m_mayEnd(mayInteract))
        manager.release();
    else
        manager.cancel();
}

void SessionWatch::watchTerminationSignals()
{
    if (m_notifier)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    ::fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char c = 0;
        if (::read(g_pipe[0], &c, 1) == 1)
            Q_EMIT terminationRequested(int(c));
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(sig, &sa, nullptr);
}

namespace {
const QString kSmService = u"org.gnome.SessionManager"_s;
const QString kSmPath = u"/org/gnome/SessionManager"_s;
const QString kSmInterface = u"org.gnome.SessionManager"_s;
constexpr quint32 kInhibitLogout = 1;
constexpr int kCallTimeoutMs = 1000; // the tick must not hang on a stuck service
} // namespace

LogoutInhibitor::LogoutInhibitor(QString appId, QString reason, QDBusConnection bus,
                                 QObject* parent)
    : QObject(parent), m_appId(std::move(appId)), m_reason(std::move(reason)), m_bus(bus)
{
    if (!m_bus.isConnected())
        return;
    // The session manager forgets our inhibitor when it restarts: hold it anew then.
    auto* watch = new QDBusServiceWatcher(kSmService, m_bus,
                                          QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watch, &QDBusServiceWatcher::serviceUnregistered, this, [this] { m_cookie.reset(); });
}

LogoutInhibitor::~LogoutInhibitor()
{
    set(false);
}

void LogoutInhibitor::set(bool wanted, quint32 toplevelXid)
{
    if (wanted == held() || !m_bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(kSmService, kSmPath, kSmInterface,
                                                       wanted ? u"Inhibit"_s : u"Uninhibit"_s);
    call.setAutoStartService(false);
    if (wanted)
        call << m_appId << toplevelXid << m_reason << kInhibitLogout;
    else
        call << *m_cookie;
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (!wanted) {
        // Released, or the service is gone and took the inhibitor with it.
        m_cookie.reset();
        return;
    }
    if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1 &&
        reply.arguments().constFirst().canConvert<quint32>())
        m_cookie = reply.arguments().constFirst().toUInt();
}

} // namespace ct
