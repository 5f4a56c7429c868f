#pragma once
// Desktop notifications (org.freedesktop.Notifications). On Wayland no box of the program
// can stay above other programs' windows and no window can bring itself back to the
// front, so there the reminders also go out as notifications, and a second start that
// cannot raise the running copy says so in one.

#include "widgets/msgbox.h"

#include <QString>

#include <functional>

using namespace Qt::StringLiterals;

namespace notify {

struct Note {
    QString body;
    bool urgent = false; // a reminder: it stays until the user dismisses it
    bool operator==(const Note&) const = default;
};

// How a running copy answers a second start that it cannot bring to the front.
inline const QString kAlreadyRunning = u"澄桐工作管理已在运行"_s;

// Whether a platform of Qt's is a Wayland one ("wayland", "wayland-egl", ...).
bool isWayland(QStringView platformName);
// Whether the program runs on Wayland.
bool onWayland();

// Sends the note, under the program's title, to the desktop's notification service when
// the session bus has one; never waits for an answer.
void send(const Note& note);

// A reminder (a meeting, the diary): on Wayland its text first goes out as an urgent
// note; then the system-modal box as designed, whose answer is returned.
msgbox::Result remind(const QString& text);

// Test seam: while a sender is set, notes go to it instead of the session bus, and the
// program counts as running on the platform named here.
using Sender = std::function<void(const Note&)>;
void setSender(Sender sender, QString platformName = {});

} // namespace notify
