#include "app/shutdown.h"

#include "modul/cardmodul.h"
#include "modul/schedule.h"
#include "platform/clock.h"
#include "widgets/bus.h"
#include "widgets/msgbox.h"
#include "widgets/notify.h"
#include "widgets/session.h"

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
    const QDateTime now = ctclock::now();
    bool exists = true;
    try {
        exists = cardmodul::todayexist(now.date());
    } catch (const adodb::Error&) {
        // The database cannot be read: the answer must still come at once, so the
        // session is allowed to end rather than held by a check that cannot succeed.
        exists = true;
    }
    if (!exists && schedule::todayEntryRequired(now.time())) {
        notify::remind(schedule::kDiaryPrompt);
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
        g_inhibitor =
            new ct::LogoutInhibitor(u"ctwork"_s, schedule::kDiaryPrompt, bus::session(), owner);
    QTimer::singleShot(0, owner, [] { holdLogout(ctclock::now()); });
    auto* watch =
        new ct::SessionWatch([](bool mayInteract) { return winhookproc(mayInteract); }, owner);
    // Only a refusal needs the user.
    watch->setWantsUser([] { return mustHoldLogout(ctclock::now()); });
    return watch;
}

bool mustHoldLogout(const QDateTime& now)
{
    if (!schedule::todayEntryRequired(now.time()))
        return false;
    try {
        return !cardmodul::todayexist(now.date());
    } catch (const adodb::Error&) {
        return false;
    }
}

void holdLogout(const QDateTime& now)
{
    if (!g_inhibitor)
        return;
    const bool hold = mustHoldLogout(now);
    quint32 xid = 0;
    auto* w = qobject_cast<QWidget*>(g_owner.data());
    if (hold && w && w->testAttribute(Qt::WA_WState_Created) &&
        QGuiApplication::platformName() == u"xcb")
        xid = quint32(w->winId());
    g_inhibitor->set(hold, xid);
}

} // namespace shutdown
