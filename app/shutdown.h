#pragma once
// The session-end guard: from 17:00 the session may not end while today's diary entry
// is missing. Only the guard gives the main window leave to close.

#include <QObject>

namespace ct {
class SessionWatch;
}

namespace shutdown {

extern bool canexit;

// Answers one session-end query: true lets the session (and the program) end and sets
// canexit; false refuses, after the system-modal "请写今天工作日记".
bool winhookproc();

// Hooks the guard into the desktop's session-end query for the life of owner.
ct::SessionWatch* winhook(QObject* owner);

} // namespace shutdown
