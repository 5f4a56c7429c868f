#pragma once
// Which of Qt's windowing platforms the program runs on. On a Wayland desktop that also
// runs XWayland the program prefers X: there a box can stay above other programs'
// windows, a second start can raise the running copy, titles reach the desktop as
// designed and the session manager asks before the session ends. A platform the user
// chose (QT_QPA_PLATFORM, -platform) is left alone.

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>

namespace windowing {

// The platform to ask Qt for, with its fallback ("xcb;wayland"), or empty where Qt's own
// choice stands: the user chose one, or there is no X display beside a Wayland one.
QByteArray choose(const QList<QByteArray>& arguments, const QProcessEnvironment& env);

// argc/argv for the application object: the program's own, followed by "-platform" and
// the choice when there is one. Both stay valid while this object lives.
class Arguments {
public:
    Arguments(int argc, char** argv,
              const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;
    int argc = 0;
    char** argv() { return m_argv.data(); }

private:
    QByteArray m_flag = "-platform";
    QByteArray m_platform;
    QList<char*> m_argv;
};

} // namespace windowing
