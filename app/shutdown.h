#pragma once
// The session-end guard: from 17:00 the session may not end while today's diary entry
// is missing. Only the guard gives the main window leave to close.

#include <QDateTime>
#include <QObject>

namespace ct {
class SessionWatch;
}

namespace shutdown {

extern bool canexit;

// Answers one session-end query: true lets the session (and the program) end and sets
// canexit; false refuses, after the system-modal "请写今天工作日记". Without leave to
// interact with the user (mayInteract false) the end is let through unasked.
bool winhookproc(bool mayInteract = true);

// Hooks the guard into the desktop's session-end query for the life of owner, and keeps
// the desktop's logout inhibitor (see holdLogout), first evaluated once events run.
ct::SessionWatch* winhook(QObject* owner);

// At `now`, is the logout inhibitor to be held? From 17:00 while today's entry is
// missing; a database that cannot be read holds nothing, as the guard then lets the
// session end.
bool mustHoldLogout(const QDateTime& now);
// Holds or releases the inhibitor of winhook as mustHoldLogout says; without winhook,
// or without the desktop's service, nothing happens.
void holdLogout(const QDateTime& now);

} // namespace shutdown
