#pragma once
// Rotating backups: checked, encrypted copies backups/ctsource-YYYYMMDD-HHMMSS.mdb beside
// the database file, the newest kKeep kept. ctdb makes them on request; the program makes
// one at its first start of each day.

#include "platform/adodb.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>

namespace backups {

inline constexpr int kKeep = 14;
// The daily backup's pause after the start: the window is up by then.
inline constexpr std::chrono::milliseconds kDailyPause = std::chrono::seconds(2);

// The folder of the rotating backups of a database file.
QString folderFor(const QString& dbFile);
// The backup files of a folder, oldest first (by the time in their names).
QStringList list(const QString& folder);
// True when the folder holds a backup made on that day.
bool madeOn(const QString& folder, const QDate& day);

// Checks that a file is a sound database of the program: it opens with the program's
// key, passes the integrity check and holds the three tables. Throws adodb::Error with
// a description that says what is wrong.
void verify(const QString& file);

// Writes a checked copy of the open database to a new file (never replacing one). A copy
// that fails its check is removed and the failure thrown.
void copyChecked(adodb::Connection& conn, const QString& file);

// A rotating backup of the open database, named after `when`; then the oldest beyond
// kKeep are removed. Returns the new file. When the copy fails nothing is removed and
// the failure is thrown.
QString rotate(adodb::Connection& conn, const QDateTime& when);

// The program's backup of the day: unless the folder already holds one of today, a
// rotating backup is made on a thread of its own, after a pause, at low priority, so the
// start is never slowed. Every failure is swallowed. Returns at once.
void daily(const QString& connectionText);
// Waits for a daily backup under way, after telling it to stop at its next step.
void stopDaily();

// Test seams. The pause before the daily backup (kDailyPause unless set); a new pause
// also reaches a backup that is pausing now.
void setDailyPause(std::chrono::milliseconds pause);
// Waits up to `timeout` for a daily backup under way to end by itself; true when none is
// under way (any more).
bool waitDaily(std::chrono::milliseconds timeout);

} // namespace backups
