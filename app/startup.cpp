#include "app/startup.h"

#include "app/mainfrm.h"
#include "app/modul/cardmodul.h"
#include "app/windows.h"
#include "platform/instance.h"
#include "platform/session.h"

#include <QApplication>

using namespace Qt::StringLiterals;

namespace shell {

void setUp(QApplication& app)
{
    Q_UNUSED(app);
    QApplication::setApplicationName(u"ctwork"_s);
    QApplication::setApplicationDisplayName(u"澄桐工作管理"_s);
    QApplication::setDesktopFileName(u"ctwork"_s);
}

std::unique_ptr<mainfrm> start(ct::SingleInstance& instance)
{
    if (instance.previousRunning())
        return nullptr; // the running copy was asked to come to the front
    cardmodul::preopen();
    auto w = std::make_unique<mainfrm>();
    QObject::connect(&instance, &ct::SingleInstance::raiseRequested, w.get(),
                     &mainfrm::bringToFront);
    registerWindows(*w);
    w->Form_Load();

    // A desktop without a session manager ends programs with a signal: end cleanly.
    // Every write is committed when it returns, so nothing acknowledged is lost.
    auto* watch = new ct::SessionWatch({}, w.get());
    watch->watchTerminationSignals();
    QObject::connect(watch, &ct::SessionWatch::terminationRequested, w.get(),
                     [] { QCoreApplication::exit(0); });

    w->show();
    return w;
}

} // namespace shell
