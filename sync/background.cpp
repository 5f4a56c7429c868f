#include "sync/background.h"

#include "modul/backups.h"
#include "platform/clock.h"
#include "sync/keyring.h"
#include "sync/state.h"

#include <QFileInfo>
#include <QThread>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace ctsync {

namespace {

QString stamp(const QDateTime& t)
{
    return t.toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

Report realAttempt(adodb::Connection& db, const state::Account& acc)
{
    const keyring::Result k = keyring::read(keyring::keyOf(acc.url, acc.user));
    if (!k.ok)
        throw dav::Error(dav::Fault::Auth, k.error + u"：后台同步拿不到密码"_s);
    RunOptions o;
    o.dav.user = acc.user;
    o.dav.password = k.password;
    o.backup = [&db] { backups::rotate(db, ctclock::now()); };
    const QDateTime now = ctclock::now();
    return run(db, o, {QTimeZone::systemTimeZone(), now.date(), now});
}

} // namespace

// ------------------------------------------------------------------ the schedule

void Schedule::started(const QDateTime& now)
{
    m_last = now;
    m_soon = now.addMSecs(m_i.first.count());
}

void Schedule::wrote(const QDateTime& now)
{
    m_soon = now.addMSecs(m_i.afterWrite.count());
}

void Schedule::ran(const QDateTime& now)
{
    m_last = now;
    m_soon = QDateTime();
}

bool Schedule::due(const QDateTime& now) const
{
    if (m_soon.isValid() && now >= m_soon)
        return true;
    // A clock set back (by hand, or by a test) is no reason to wait for ever.
    return m_last.isValid() && (now >= m_last.addMSecs(m_i.every.count()) || now < m_last);
}

// ------------------------------------------------------------------ one sync

bool tellLongFailure(adodb::Connection& db, const QDateTime& now)
{
    adodb::Recordset rs;
    rs.Open(u"select max(finished) from sync_log where ok = 1"_s, db);
    QString since = rs.eof() || rs.Fields(0).isNull() ? QString() : rs.Fields(0).text();
    if (since.isEmpty()) {
        const auto acc = state::account(db);
        since = acc ? acc->created : QString();
    }
    const QDateTime from = QDateTime::fromString(since, u"yyyy-MM-dd HH:mm:ss"_s);
    if (!from.isValid() || from.secsTo(now) < 24 * 3600)
        return false;
    const QString today = now.date().toString(u"yyyy-MM-dd"_s);
    if (state::note(db, u"failure_told"_s) == today)
        return false;
    state::setNote(db, u"failure_told"_s, today);
    return true;
}

OneResult syncOnce(adodb::Connection& db, const Attempt& attempt)
{
    OneResult out;
    state::ensureTables(db);
    const auto acc = state::account(db);
    if (!acc)
        return out;
    out.ran = true;
    const QDateTime started = ctclock::now();
    try {
        const Report r = attempt ? attempt(db, *acc) : realAttempt(db, *acc);
        out.ok = true;
        out.summary = r.summary();
    } catch (const Busy&) {
        // ctdb sync is at it: its result is logged by it.
        out.busy = true;
        out.summary = Busy::message();
        return out;
    } catch (const dav::Error& e) {
        out.summary = e.message();
    } catch (const MassDelete& e) {
        out.summary = e.message();
    } catch (const adodb::Error& e) {
        out.summary = e.description();
    }
    state::log(db, {stamp(started), stamp(ctclock::now()), out.ok, out.summary});
    if (!out.ok)
        out.longFailure = tellLongFailure(db, ctclock::now());
    return out;
}

// ------------------------------------------------------------------ the thread

class BackgroundWorker : public QObject {
    Q_OBJECT
public:
    explicit BackgroundWorker(const Background::Settings& s) : m_s(s), m_schedule(s.intervals) {}

    void begin()
    {
        m_poll = new QTimer(this);
        // Looked at often enough for the shortest interval (the tests' quicker ones).
        const auto& i = m_s.intervals;
        m_poll->setInterval(std::max(std::chrono::milliseconds(50),
                                     std::min({m_s.poll, i.first, i.every, i.afterWrite})));
        connect(m_poll, &QTimer::timeout, this, &BackgroundWorker::poll);
        m_seen = fileStamp();
        m_schedule.started(ctclock::now());
        m_poll->start();
    }

Q_SIGNALS:
    void synced(bool ok, const QString& summary);
    void longFailure(const QString& message);

private:
    QString fileStamp() const
    {
        const QFileInfo f(m_s.dbFile);
        return QString::number(f.lastModified().toMSecsSinceEpoch()) + u'/' +
               QString::number(f.size());
    }

    void poll()
    {
        if (const QString s = fileStamp(); s != m_seen) {
            m_seen = s;
            m_schedule.wrote(ctclock::now());
        }
        if (m_schedule.due(ctclock::now()))
            runNow();
    }

    void runNow()
    {
        OneResult r;
        try {
            // A connection of its own for each sync: the file may be replaced meanwhile.
            adodb::Connection db;
            db.Open(m_s.connectionText);
            r = syncOnce(db, m_s.attempt);
        } catch (const adodb::Error& e) {
            r.ran = true;
            r.summary = e.description();
        }
        m_schedule.ran(ctclock::now());
        m_seen = fileStamp(); // our own writes are no reason for another sync
        if (!r.ran || r.busy)
            return;
        Q_EMIT synced(r.ok, r.summary);
        if (r.longFailure)
            Q_EMIT longFailure(r.summary);
    }

    Background::Settings m_s;
    Schedule m_schedule;
    QTimer* m_poll = nullptr;
    QString m_seen;
};

Background::Background(Settings s, QObject* parent) : QObject(parent), m_settings(std::move(s)) {}

Background::~Background()
{
    if (!m_thread)
        return;
    m_thread->quit(); // ends a network wait under way too
    if (!m_thread->wait(10000)) {
        // Still busy (a long write): the process ends soon; leave it.
        m_thread.release();
    }
}

void Background::start()
{
    if (m_thread)
        return;
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(u"ctsync"_s);
    m_worker = new BackgroundWorker(m_settings);
    m_worker->moveToThread(m_thread.get());
    connect(m_thread.get(), &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &BackgroundWorker::synced, this, &Background::synced);
    connect(m_worker, &BackgroundWorker::longFailure, this, &Background::longFailure);
    m_thread->start(QThread::LowPriority);
    QMetaObject::invokeMethod(m_worker, &BackgroundWorker::begin, Qt::QueuedConnection);
}

} // namespace ctsync

#include "background.moc"
