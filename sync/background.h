#pragma once
// The program's sync in the background, when an account is set up: a first sync soon
// after start, then every 15 minutes, and about 10 seconds after a confirmed write by
// another connection (a window, ctdb). It runs on a thread of its own with its own
// connection, never shows a box, and records every result for "ctdb sync status". When
// syncs have failed for a whole day, longFailure() is emitted (on the owner's thread),
// at most once a day. The schedule reads the wall clock through ctclock, so a test or a
// clock moved on (a machine waking from sleep) brings the sync that is due.

#include "platform/adodb.h"
#include "sync/engine.h"
#include "sync/state.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class QThread;

namespace ctsync {

class BackgroundWorker;

struct Intervals {
    std::chrono::milliseconds first{std::chrono::seconds(20)};
    std::chrono::milliseconds every{std::chrono::minutes(15)};
    std::chrono::milliseconds afterWrite{std::chrono::seconds(10)};
};

// When the next background sync is due. Times are the wall clock's.
class Schedule {
public:
    Schedule() = default;
    explicit Schedule(Intervals i) : m_i(i) {}
    void started(const QDateTime& now);
    // Another connection wrote: a sync a little later (writes in a row move it on).
    void wrote(const QDateTime& now);
    void ran(const QDateTime& now);
    bool due(const QDateTime& now) const;

private:
    Intervals m_i;
    QDateTime m_last; // the start, or the last sync
    QDateTime m_soon; // the first sync, or one after a write; invalid: none
};

// One background sync on `db`: the result is logged in the database. `attempt` does the
// sync itself (by default: the account's password from the keyring, then run()).
struct OneResult {
    bool ran = false;  // an account is set up
    bool busy = false; // another sync of the database was under way: nothing done
    bool ok = false;
    QString summary;
    bool longFailure = false; // failing for a day and not yet told today
};
using Attempt = std::function<Report(adodb::Connection&, const state::Account&)>;
OneResult syncOnce(adodb::Connection& db, const Attempt& attempt = {});

// True when syncs have failed since a day or more (since the last good one, or since the
// account was set up) and this was not yet told today; then it counts as told.
bool tellLongFailure(adodb::Connection& db, const QDateTime& now);

class Background : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QString connectionText;
        QString dbFile; // its size and time show another connection's writes
        Intervals intervals;
        // How often the worker looks at the clock and for writes.
        std::chrono::milliseconds poll{std::chrono::seconds(2)};
        Attempt attempt; // test seam; empty: the real sync
    };
    explicit Background(Settings s, QObject* parent = nullptr);
    // Stops the thread: a sync under way stops at its next network wait (what it
    // applied stays, each record with its state).
    ~Background() override;
    void start();

Q_SIGNALS:
    void synced(bool ok, const QString& summary);
    void longFailure(const QString& message);

private:
    Settings m_settings;
    std::unique_ptr<QThread> m_thread;
    BackgroundWorker* m_worker = nullptr;
};

} // namespace ctsync
