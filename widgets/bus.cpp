#include "widgets/bus.h"

using namespace Qt::StringLiterals;

namespace bus {

namespace {
constexpr char kAddressVariable[] = "DBUS_SESSION_BUS_ADDRESS";
constexpr char kNoBus[] = "disabled:";

bool hasBus()
{
    const QByteArray a = qgetenv(kAddressVariable);
    return !a.isEmpty() && a != kNoBus;
}
} // namespace

void preventAutolaunch()
{
    if (qEnvironmentVariableIsEmpty(kAddressVariable))
        qputenv(kAddressVariable, kNoBus);
}

QDBusConnection session()
{
    if (hasBus())
        return QDBusConnection::sessionBus();
    return QDBusConnection(u"ctwork-no-session-bus"_s);
}

QProcessEnvironment childEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (env.value(QString::fromLatin1(kAddressVariable)) == QLatin1StringView(kNoBus))
        env.remove(QString::fromLatin1(kAddressVariable));
    return env;
}

} // namespace bus
