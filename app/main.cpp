// 澄桐工作管理: start-up.

#include "app/cardmodul.h"
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

    // A second copy asks the first to come to the front and ends without the database.
    ct::SingleInstance instance;
    if (instance.previousRunning())
        return 0;
    cardmodul::preopen();
    mainfrm w;
    QObject::connect(&instance, &ct::SingleInstance::raiseRequested, &w, &mainfrm::bringToFront);
    registerWindows(w);
    w.Form_Load(nullptr);

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
