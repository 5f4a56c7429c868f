#pragma once
// The shared module's routines that show boxes: the connection's "Connection Error" and
// "Database not found!" boxes, the meeting reminder, the run-error box and the damage box.
// The data they show comes from the data layer (modul/cardmodul.h).

#include "platform/adodb.h"

#include <QDateTime>
#include <QString>

namespace cardmodul {

// Opens the shared connection; on failure shows the "Connection Error" box, returns false.
bool opendb();
// What a window does on opening: opens the shared connection unless it is open; when that
// fails, adds the "Database not found!" warning to opendb's box. True when it is open.
bool windowdb();
// Shows the reminder for now, system-modal, when there is one; silent on any failure.
void meetremind(const QDateTime& now);
// The box of a trapped failure: "程序运行错误：" + number + description.
void runError(const adodb::Error& e);
// The box that tells of damage found in the database file after start-up.
void tellDamage(const QString& file, const QString& problems);

} // namespace cardmodul
