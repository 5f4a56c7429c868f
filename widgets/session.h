#pragma once
// The desktop's session end: the XSMP query (through QSessionManager) and the signals
// with which a desktop without a session manager ends programs.

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QSessionManager;
class QSocketNotifier;

namespace ct {

class SessionWatch : public QObject {
    Q_OBJECT
public:
    // mayEnd is asked on every session-end query; false refuses (cancels) the end. Its
    // argument says whether the session manager gave leave to interact with the user: only
    // then may it show a box, and without leave it cannot refuse. Without mayEnd the watch
    // only follows termination signals.
    using MayEnd = std::function<bool(bool mayInteract)>;
    explicit SessionWatch(MayEnd mayEnd, QObject* parent = nullptr);
    ~SessionWatch() override;

    // Leave to interact is asked only while wantsUser says so (default: on every query).
    // A session manager shows a client that asks for it as holding up the log-off.
    void setWantsUser(std::function<bool()> wantsUser) { m_wantsUser = std::move(wantsUser); }

    // Ends the event loop cleanly on SIGTERM, SIGHUP and SIGINT.
    void watchTerminationSignals();

    // The glue as the session manager drives it; public so tests can call it.
    void answerQuery(QSessionManager& manager);

Q_SIGNALS:
    void terminationRequested(int signal);

private:
    MayEnd m_mayEnd;
    std::function<bool()> m_wantsUser;
    QSocketNotifier* m_notifier = nullptr;
};

// A logout inhibitor held through the desktop's session manager over D-Bus
// (org.gnome.SessionManager.Inhibit with the logout flag). Desktops that never send the
// XSMP query (GNOME on Wayland) show its reason in their log-off dialog. Where the
// service is absent nothing is held and nothing else changes.
class LogoutInhibitor : public QObject {
    Q_OBJECT
public:
    LogoutInhibitor(QString appId, QString reason,
                    QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~LogoutInhibitor() override; // releases a held inhibitor

    // Holds the inhibitor while wanted, releases it otherwise; calling again with the same
    // wish does nothing. toplevelXid names the program's window on X11 (0: none).
    void set(bool wanted, quint32 toplevelXid = 0);
    bool held() const { return m_cookie.has_value(); }

private:
    QString m_appId;
    QString m_reason;
    QDBusConnection m_bus;
    std::optional<quint32> m_cookie;
};

} // namespace ct
