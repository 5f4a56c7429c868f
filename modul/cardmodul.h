#pragma once
// The shared module: the one database connection of the process, row counting, date
// texts, the diary checks, the meeting reminder's query and the name coding. Its routines
// that show boxes (opendb, windowdb, meetremind, runError) are in widgets/modulboxes.h.

#include "modul/dbfile.h"
#include "platform/adodb.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>

using namespace Qt::StringLiterals;

namespace cardmodul {

// The shared connection. opendb() replaces it with a new object each time.
adodb::Connection& dbconn();
extern bool dbopen;

// The program holds a lock on its database file while it runs (platform/dblock.h), so
// that ctdb restore and a second program find it whatever their environment. Takes it
// for dbFilePath() unless this process holds it; the failure (ErrInUse) when another
// process holds it, nothing otherwise (also when there is no file yet, or no lock to be
// had on its file system).
std::optional<adodb::Error> holdDatabase();
// Opens the shared connection (replacing it), or takes the one preopen() began, and holds
// the file's lock; the failure, or nothing when it is open.
std::optional<adodb::Error> connectShared();
// What preopen's thread does when the check after opening finds the file damaged: called
// on the main thread, once.
using DamageTeller = std::function<void(const QString& file, const QString& problems)>;
// Begins the next connectShared() on another thread (the key derivation takes tens of
// milliseconds), so that start-up builds the window meanwhile; the thread then checks
// the file through and tells damage through `tell`. Needs no application object.
void preopen(DamageTeller tell = {});
// Ends what preopen's thread still does (the program ends).
void finishEarly();
// Test seam: waits up to timeoutMs for preopen's thread to end by itself (the file open,
// today's backup begun, the check done and any damage it found posted); true when it has.
bool earlyDone(int timeoutMs);
// Drops the shared connection (tests start each case without one).
void resetdb();

// Makes a new, empty database file; an existing file is never touched.
void createDatabase(const QString& file);

// The number of rows of a freshly opened record set; leaves it after its last row.
int reccount(adodb::Recordset& rs);

// The date text written into and compared with date columns: yyyy-MM-dd.
QString datetext(const QDate& d);
// A typed text that is a valid date (yyyy-M-d, yyyy-MM-dd, '-' or '/') as a date.
std::optional<QDate> parseDate(const QString& typed);
// A typed date as its date text when it is a valid date, else the text as typed.
QString normdate(const QString& typed);

// Does daily_tab hold an entry for the day before `today` / for `today`? Failures are
// thrown to the caller. Without an argument the day is the clock's.
bool yestexist(const QDate& today);
bool todayexist(const QDate& today);
bool yestexist();
bool todayexist();

// Runs a check on the shared connection. While another program holds the file's lock it
// tries again, letting events run between the tries so that the program stays
// responsive, for up to patienceMs() in all; then, or on any other failure, it throws.
bool patiently(const std::function<bool()>& check);
int patienceMs();
void setPatienceMs(int ms); // test seam

// The reminder text for the meetings of now's date that are due at now's time; empty
// when none is due. Rows that cannot be read (no topic, no usable hour or minute) are
// skipped. Failures of the statement are thrown.
QString meetmessage(const QDateTime& now);

// Codes a name character by character (UTF-16 unit xor 0x3B); its own inverse.
QString namcode(QStringView text);
// True when at least one stored card has exactly this coded name (on the shared
// connection, or on another one).
bool namexist(const QString& coded);
bool namexist(adodb::Connection& conn, const QString& coded);

} // namespace cardmodul
