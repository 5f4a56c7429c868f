#pragma once
// Rotating backups: checked, encrypted copies backups/ctsource-YYYYMMDD-HHMMSS.mdb beside
// the database file, each with the time it was made recorded inside, the newest kKeep
// kept. ctdb makes them on request; the program makes one at its first start of each day.

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
// The backups of a folder, oldest first: the regular files with a backup's name that
// open as databases of the program, ranked by the time recorded in them when they were
// made (by the time in the name for backups of earlier versions). A time later than `now`
// cannot be a backup's: the clock was wrong when it was made or is now, and such a
// backup ranks before all others. Files that are not backups are not listed.
QStringList list(const QString& folder, const QDateTime& now);
QStringList list(const QString& folder); // ranked at the clock's time
// True when the folder holds a backup of that day (by its name).
bool madeOn(const QString& folder, const QDate& day);
// The time recorded in a backup when it was made; null for a file without one.
QDateTime madeAt(adodb::Connection& backup);

// Checks that a file is a sound database of the program: it opens with the program's
// key, passes the integrity check, holds the three tables, and every table of the
// program's that it holds has the program's columns (other tables, such as those of a
// later version's sync, may be there). Throws adodb::Error with a description that says
// what is wrong, naming the file as `shownAs` (the user's name of a copy being checked);
// it never advises a restore.
void verify(const QString& file, const QString& shownAs = {});

// Writes a checked copy of the open database to a new file (0600, never replacing one),
// the time `made` recorded in it. Until it has passed its check the copy lies under a
// hidden temporary name; a copy that fails is removed and the failure thrown.
void copyChecked(adodb::Connection& conn, const QString& file, const QDateTime& made);

// A rotating backup of the open database, named after `when`; then the oldest backups
// beyond kKeep are removed, never the one just made and never a file that is not a
// backup. Returns the new file. When the copy fails nothing is removed and the failure
// is thrown.
QString rotate(adodb::Connection& conn, const QDateTime& when);

// Removes what killed backups and restores left beside a database file: in its folder,
// in the folder of the file a link names, and in backups/. Only files of processes that
// no longer run. Returns how many went.
int sweep(const QString& dbFile);

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
