#include "widgets/notify.h"

#include "platform/appinfo.h"
#include "widgets/bus.h"

#include <QDBusMessage>
#include <QGuiApplication>
#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace notify {

namespace {
Sender g_sender;
QString g_platform;

constexpr uchar kNormal = 1;
constexpr uchar kCritical = 2;
} // namespace

void setSender(Sender sender, QString platformName)
{
    g_sender = std::move(sender);
    g_platform = g_sender ? std::move(platformName) : QString();
}

bool isWayland(QStringView platformName)
{
    return platformName.startsWith(u"wayland");
}

bool onWayland()
{
    return isWayland(g_sender ? g_platform : QGuiApplication::platformName());
}

void send(const Note& note)
{
    if (g_sender) {
        g_sender(note);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        u"org.freedesktop.Notifications"_s, u"/org/freedesktop/Notifications"_s,
        u"org.freedesktop.Notifications"_s, u"Notify"_s);
    const QVariantMap hints{
        {u"urgency"_s, QVariant::fromValue(note.urgent ? kCritical : kNormal)},
        {u"desktop-entry"_s, u"ctwork"_s},
    };
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (0:
    // until dismissed, -1: as the desktop likes).
    call << appinfo::title() << quint32(0) << u"ctwork"_s << appinfo::title() << note.body
         << QStringList() << hints << qint32(note.urgent ? 0 : -1);
    // A desktop without the service (or without a bus) answers with an error nobody reads.
    bus::session().send(call);
}

msgbox::Result remind(const QString& text)
{
    if (onWayland())
        send({text, true});
    return msgbox::show({text, msgbox::Buttons::OK, {}, msgbox::Icon::None, true});
}

} // namespace notify
