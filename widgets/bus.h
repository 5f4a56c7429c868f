#pragma once
// The desktop's session bus, used only where the session has one: the program never
// makes libdbus launch a bus of its own (such a bus outlives the program).

#include <QDBusConnection>
#include <QProcessEnvironment>

namespace bus {

// Before the application object exists: where no session bus address is set, sets one
// that names no transport, so every connection to the session bus (the program's own,
// the accessibility bridge's, the platform theme's) fails at once instead of launching
// a bus.
void preventAutolaunch();

// The session bus where the session has one; else a connection that is not connected.
QDBusConnection session();

// The environment for programs the program starts: as the program was started, without
// the address that preventAutolaunch set.
QProcessEnvironment childEnvironment();

} // namespace bus
