#pragma once
// The desktop's session end: the XSMP query (through QSessionManager) and the signals
// with which a desktop without a session manager ends programs.

#include <QObject>

#include <functional>

class QSessionManager;
class QSocketNotifier;

namespace ct {

class SessionWatch : public QObject {
    Q_OBJECT
public:
    // mayEnd is asked on every session-end query; false refuses (cancels) the end.
    // Without mayEnd the watch only follows termination signals.
    explicit SessionWatch(std::function<bool()> mayEnd, QObject* parent = nullptr);
    ~SessionWatch() override;

    // Ends the event loop cleanly on SIGTERM, SIGHUP and SIGINT.
    void watchTerminationSignals();

    // The glue as the session manager drives it; public so tests can call it.
    void answerQuery(QSessionManager& manager);

Q_SIGNALS:
    void terminationRequested(int signal);

private:
    std::function<bool()> m_mayEnd;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace ct
