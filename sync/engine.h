#pragma once
// Two-way sync of cards, meetings and diary entries with one CardDAV/CalDAV account.
// Server changes come by sync-collection where the collection offers it, else by
// comparing ETags; uploads carry If-Match / If-None-Match. Every record is applied
// together with its sync state in one transaction, so a sync stopped anywhere loses
// nothing and the next one completes it.

#include "platform/adodb.h"
#include "sync/davclient.h"
#include "sync/mapping.h"

#include <QStringList>

#include <exception>
#include <functional>

namespace ctsync {

inline const QString kCardsName = QStringLiteral("澄桐名片");
inline const QString kMeetingsName = QStringLiteral("澄桐会议");
inline const QString kDiaryName = QStringLiteral("澄桐日记");

struct SetupRequest {
    QUrl url;
    dav::Options options;
    // A collection's display name or URL; empty: 澄桐名片 / 澄桐会议 / 澄桐日记.
    QString addressBook, calendar, journal;
};

struct SetupResult {
    QString cards, meetings, diary; // the collections' URLs
    QStringList made;               // the display names of the collections made
    bool journalShared = false;     // the diary lives in the meetings' calendar
};

// Finds or makes the collections, checks reading and writing in each (a probe item put
// and deleted), and stores the account and collections (no password). Throws dav::Error.
SetupResult setup(adodb::Connection& db, const SetupRequest& r, const Context& cx);

struct Report {
    int uploaded = 0, downloaded = 0, changedUp = 0, changedDown = 0, deletedUp = 0,
        deletedDown = 0, conflicts = 0;
    QStringList conflictTexts; // one line per conflict
    QStringList skipped;       // "what: why"
    bool backedUp = false;
    QString summary() const; // one line in Chinese
};

// A sync that would delete too much locally; nothing was applied.
class MassDelete : public std::exception {
public:
    explicit MassDelete(QString m) : m_message(std::move(m)), m_utf8(m_message.toUtf8()) {}
    const QString& message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Another sync of the database is under way; nothing was done.
class Busy : public std::exception {
public:
    const char* what() const noexcept override { return "sync busy"; }
    static QString message();
};

// Only one sync of a database at a time: ctdb sync, setup and forget and the program's
// background sync each hold this lock (a lock on a file beside the database, which the
// system lets go when the process ends, however it ends). Two syncs at once would both
// take a new server item for their own and store it twice.
class RunLock {
public:
    // Waits up to waitMs for the lock, calling `waiting` once when it has to wait;
    // throws Busy when it is still held by another then.
    RunLock(const QString& dbFile, int waitMs, const std::function<void()>& waiting = {});
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

private:
    int m_fd = -1;
};

struct RunOptions {
    dav::Options dav;
    bool allowMassDelete = false;
    // Called before local records are deleted and before an account's first sync
    // (a rotating backup); its failure stops the sync.
    std::function<void()> backup;
    // Progress: what is being done, done so far, total (-1 unknown).
    std::function<void(const QString&, qint64, qint64)> progress;
    // How long to wait for another sync of the database to end (see RunLock).
    int lockWaitMs = 0;
    std::function<void()> waiting;
};

// True when deleting `deletions` of `count` local records is a mass delete: more than
// half of them (from three records up), or all of them (from two up).
bool isMassDelete(qint64 deletions, qint64 count);

// One two-way sync. Throws dav::Error (nothing more is applied from then on; what was
// applied stays, with its state), MassDelete, Busy, adodb::Error. Its memory is bounded
// by a batch of items, not by the size of the collections: texts are fetched, applied
// and uploaded a batch at a time.
Report run(adodb::Connection& db, const RunOptions& o, const Context& cx);

// Records of a kind waiting to go up (new or changed here) and to be deleted on the server.
struct Pending {
    qint64 synced = 0, up = 0, deletes = 0;
};
Pending pending(adodb::Connection& db, Kind kind);

} // namespace ctsync
