#include "app/startup.h"

#include "app/background.h"
#include "app/mainfrm.h"
#include "app/windows.h"
#include "modul/cardmodul.h"
#include "platform/instance.h"
#include "widgets/bus.h"
#include "widgets/form.h"
#include "widgets/modulboxes.h"
#include "widgets/msgbox.h"
#include "widgets/notify.h"
#include "widgets/session.h"

#include <QApplication>
#include <QThread>

using namespace Qt::StringLiterals;

namespace shell {

void setUp(QApplication& app)
{
    Q_UNUSED(app);
    // No display name: Qt would append it to every window title the desktop shows.
    QApplication::setApplicationName(u"ctwork"_s);
    QApplication::setDesktopFileName(u"ctwork"_s);
    form::useSongFont();
}

void beforeApplication(ct::SingleInstance& instance)
{
    bus::preventAutolaunch();
    // The launcher's activation token is this start's alone: a second start hands it to the
    // running copy, a first one uses it when its window is shown; no child inherits it.
    instance.setActivationToken(qgetenv("XDG_ACTIVATION_TOKEN"));
    qunsetenv("XDG_ACTIVATION_TOKEN");
    QThread::currentThread(); // this thread is the application's main thread
    // The first copy in this environment, and the only program on its database file: the
    // file is opened at once.
    if (instance.tryLock() && !cardmodul::holdDatabase())
        cardmodul::preopen(cardmodul::tellDamage);
}

std::unique_ptr<mainfrm> start(ct::SingleInstance& instance)
{
    switch (instance.claim()) {
    case ct::SingleInstance::Claim::Raised:
        return nullptr; // the running copy was asked to come to the front
    case ct::SingleInstance::Claim::Unchecked:
        // Without a lock the program still starts, unless another copy already runs.
        if (ct::SingleInstance::otherCopyRunning()) {
            msgbox::show(
                u"澄桐工作管理已经在运行，请使用已经打开的窗口。\n（无法使用单实例锁：%1）"_s.arg(
                    instance.problem()));
            return nullptr;
        }
        break;
    case ct::SingleInstance::Claim::First:
        break;
    }
    // A program started in another environment (another runtime directory, another
    // TMPDIR) is not found by the single-instance lock; its lock on the database is.
    if (const std::optional<adodb::Error> inUse = cardmodul::holdDatabase()) {
        msgbox::show(inUse->description());
        return nullptr;
    }
    cardmodul::preopen(cardmodul::tellDamage); // unless begun before the application
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, &cardmodul::finishEarly);
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
    // On Wayland a new window takes the front only with the launcher's token.
    if (notify::onWayland() && !instance.activationToken().isEmpty())
        w->bringToFront(QString::fromLatin1(instance.activationToken()));
    startBackgroundSync(w.get());
    return w;
}

} // namespace shell
