#pragma once
// The program's background sync (when an account is set up) and the desktop
// notification after a day of failed syncs.

class QObject;

namespace shell {

// Starts the background sync, owned by `owner`; returns at once.
void startBackgroundSync(QObject* owner);

} // namespace shell
