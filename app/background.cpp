#include "app/background.h"

#include "modul/cardmodul.h"
#include "sync/background.h"
#include "widgets/bus.h"

#include <QDBusMessage>

using namespace Qt::StringLiterals;

namespace shell {

namespace {

// One desktop notification (org.freedesktop.Notifications) where the session has a bus.
void notify(const QString& why)
{
    QDBusConnection bus = bus::session();
    if (!bus.isConnected())
        return;
    QDBusMessage m = QDBusMessage::createMethodCall(
        u"org.freedesktop.Notifications"_s, u"/org/freedesktop/Notifications"_s,
        u"org.freedesktop.Notifications"_s, u"Notify"_s);
    m << u"澄桐工作管理"_s << 0u << u"ctwork"_s << u"同步已经失败一整天"_s
      << u"名片、会议和日记已经一天没有和服务器同步了：%1\n用“ctdb sync status”查看。"_s.arg(why)
      << QStringList() << QVariantMap() << -1;
    bus.call(m, QDBus::NoBlock);
}

} // namespace

void startBackgroundSync(QObject* owner)
{
    ctsync::Background::Settings s;
    s.connectionText = cardmodul::connectionText();
    s.dbFile = cardmodul::dbFilePath();
    // Test seams: a faster schedule for the end-to-end tests.
    if (const QByteArray first = qgetenv("CT_SYNC_FIRST_MS"); !first.isEmpty())
        s.first = std::chrono::milliseconds(first.toLongLong());
    if (const QByteArray every = qgetenv("CT_SYNC_EVERY_MS"); !every.isEmpty())
        s.every = std::chrono::milliseconds(every.toLongLong());
    auto* b = new ctsync::Background(s, owner);
    QObject::connect(b, &ctsync::Background::longFailure, owner, &notify);
    b->start();
}

} // namespace shell
