// 澄桐工作管理: start-up.

#include "app/mainfrm.h"
#include "app/shutdown.h"
#include "app/windows.h"
#include "platform/instance.h"
#include "platform/session.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
#ifdef CT_STARTUP_PROBE
    QElapsedTimer sinceStart;
    sinceStart.start();
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"ctwork"_s);
    QApplication::setApplicationDisplayName(u"澄桐工作管理"_s);
    QApplication::setDesktopFileName(u"ctwork"_s);

    ct::SingleInstance instance;
    mainfrm w;
    registerWindows(w);
    if (!w.Form_Load(&instance))
        return 0;

    // A desktop without a session manager ends programs with a signal: end cleanly.
    // Every write is committed when it returns, so nothing acknowledged is lost.
    ct::SessionWatch signals({}, nullptr);
    signals.watchTerminationSignals();
    QObject::connect(&signals, &ct::SessionWatch::terminationRequested, &app,
                     [] { QCoreApplication::exit(0); });

    w.show();
#ifdef CT_STARTUP_PROBE
    QTimer::singleShot(0, &w, [&] {
        std::printf("shown %.3f\n", double(sinceStart.nsecsElapsed()) / 1e6);
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
#endif
    return app.exec();
}
