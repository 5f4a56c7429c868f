// The program's own start-up, ending as soon as its main window is shown: prints the time
// from process start for bench/startup.py.

#include "app/mainfrm.h"
#include "app/startup.h"
#include "platform/instance.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    ct::SingleInstance instance;
    shell::beforeApplication(instance);
    QApplication app(argc, argv);
    shell::setUp(app);
    const auto w = shell::start(instance);
    if (!w)
        return 1;
    QTimer::singleShot(0, w.get(), [&sinceStart] {
        std::printf("shown %.3f\n", double(sinceStart.nsecsElapsed()) / 1e6);
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
    return QApplication::exec();
}
