#include "sync/background.h"

#include "modul/backups.h"
#include "platform/adodb.h"
#include "platform/clock.h"
#include "sync/engine.h"
#include "sync/keyring.h"
#include "sync/state.h"

#include <QDateTime>
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

// Failing since a day or more, and not yet told today.
bool failingForADay(adodb::Connection& db, const QDateTime& now)
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

} // namespace

OneResult syncOnce(const QString& connectionText)
{
    OneResult out;
    adodb::Connection db;
    db.Open(connectionText);
    state::ensureTables(db);
    const auto acc = state::account(db);
    if (!acc)
        return out;
    out.ran = true;
    const QDateTime started = ctclock::now();
    try {
        const keyring::Result k = keyring::read(keyring::keyOf(acc->url, acc->user));
        if (!k.ok)
            throw dav::Error(dav::Fault::Auth, k.error + u"：后台同步拿不到密码"_s);
        RunOptions o;
        o.dav.user = acc->user;
        o.dav.password = k.password;
        o.backup = [&db] { backups::rotate(db, ctclock::now()); };
        const QDateTime now = ctclock::now();
        const Report r = run(db, o, {QTimeZone::systemTimeZone(), now.date(), now});
        out.ok = true;
        out.summary = r.summary();
    } catch (const dav::Error& e) {
        out.summary = e.message();
    } catch (const MassDelete& e) {
        out.summary = e.message();
    } catch (const adodb::Error& e) {
        out.summary = e.description();
    }
    state::log(db, {stamp(started), stamp(ctclock::now()), out.ok, out.summary});
    if (!out.ok)
        out.longFailure = failingForADay(db, ctclock::now());
    return out;
}

class BackgroundWorker : public QObject {
    Q_OBJECT
public:
    explicit BackgroundWorker(const Background::Settings& s) : m_s(s) {}

    void begin()
    {
        m_every = new QTimer(this);
        m_every->setInterval(m_s.every);
        connect(m_every, &QTimer::timeout, this, &BackgroundWorker::runNow);
        m_soon = new QTimer(this);
        m_soon->setSingleShot(true);
        connect(m_soon, &QTimer::timeout, this, &BackgroundWorker::runNow);
        m_poll = new QTimer(this);
        m_poll->setInterval(m_s.poll);
        connect(m_poll, &QTimer::timeout, this, &BackgroundWorker::poll);
        m_seen = fileStamp();
        m_poll->start();
        m_every->start();
        m_soon->start(m_s.first);
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

    // A write by someone else: a sync a little later (writes in a row move it on).
    void poll()
    {
        const QString now = fileStamp();
        if (now == m_seen)
            return;
        m_seen = now;
        m_soon->start(m_s.afterWrite);
    }

    void runNow()
    {
        m_soon->stop();
        OneResult r;
        try {
            r = syncOnce(m_s.connectionText);
        } catch (const adodb::Error& e) {
            r.ran = true;
            r.summary = e.description();
        }
        m_seen = fileStamp(); // our own writes are no reason for another sync
        if (!r.ran)
            return;
        Q_EMIT synced(r.ok, r.summary);
        if (r.longFailure)
            Q_EMIT longFailure(r.summary);
    }

    Background::Settings m_s;
    QTimer* m_every = nullptr;
    QTimer* m_soon = nullptr;
    QTimer* m_poll = nullptr;
    QString m_seen;
};

Background::Background(Settings s, QObject* parent) : QObject(parent), m_settings(std::move(s)) {}

Background::~Background()
{
    if (!m_thread)
        return;
    m_thread->quit();
    if (!m_thread->wait(5000)) {
        // A sync still talking to the server: the process ends soon; leave it.
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
