#include "app/shutdown.h"

#include "app/cardmodul.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/session.h"

using namespace Qt::StringLiterals;

namespace shutdown {

bool canexit = false;

bool winhookproc()
{
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

ct::SessionWatch* winhook(QObject* owner)
{
    return new ct::SessionWatch([] { return winhookproc(); }, owner);
}

} // namespace shutdown
