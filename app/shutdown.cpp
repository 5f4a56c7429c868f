#include "app/shutdown.h"

#include "app/cardmodul.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/session.h"

#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace shutdown {

bool canexit = false;

bool winhookproc(bool mayInteract)
{
    if (!mayInteract) {
        // Without leave to ask the user the end cannot be refused: end with the session.
        canexit = true;
        return true;
    }
    const int H = ctclock::now().time().hour();
    bool exists = true;
    try {
        exists = cardmodul::todayexist();
    } catch (const adodb::Error&) {
        // The database cannot be read: the answer must still come at once, so the
        // session is allowed to end rather than held by a check that cannot succeed.
        exists = true;
    }
    if (!exists && H >= 17) {
        msgbox::show({u"请写今天工作日记"_s, msgbox::Buttons::OK, {}, msgbox::Icon::None, true});
        return false;
    }
    canexit = true;
    return true;
}

namespace {
QPointer<ct::LogoutInhibitor> g_inhibitor;
QPointer<QObject> g_owner;
} // namespace

ct::SessionWatch* winhook(QObject* owner)
{
    g_owner = owner;
    if (!g_inhibitor)
        g_inhibitor = new ct::LogoutInhibitor(u"ctwork"_s, u"请写今天工作日记"_s,
                                              QDBusConnection::sessionBus(), owner);
    QTimer::singleShot(0, owner, [] { holdLogout(); });
    auto* watch =
        new ct::SessionWatch([](bool mayInteract) { return winhookproc(mayInteract); }, owner);
    watch->setWantsUser(mustHoldLogout); // only a refusal needs the user
    return watch;
}

bool mustHoldLogout()
{
    if (ctclock::now().time().hour() < 17)
        return false;
    try {
        return !cardmodul::todayexist();
    } catch (const adodb::Error&) {
        return false;
    }
}

void holdLogout()
{
    if (!g_inhibitor)
        return;
    const bool hold = mustHoldLogout();
    quint32 xid = 0;
    auto* w = qobject_cast<QWidget*>(g_owner.data());
    if (hold && w && w->testAttribute(Qt::WA_WState_Created) &&
        QGuiApplication::platformName() == u"xcb")
        xid = quint32(w->winId());
    g_inhibitor->set(hold, xid);
}

} // namespace shutdown
