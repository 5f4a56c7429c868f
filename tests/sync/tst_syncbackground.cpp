// The background sync: when it is due, what one run records, the one-sync-at-a-time
// lock, and the thread that keeps the owner's event loop free.

#include "modul/cardmodul.h"
#include "platform/clock.h"
#include "sync/background.h"
#include "tests/support/testsupport.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

using namespace Qt::StringLiterals;
using testsupport::TempDb;

namespace {

const QDateTime kT0(QDate(2026, 12, 1), QTime(8, 0));

void addAccount(adodb::Connection& db)
{
    ctsync::state::ensureTables(db);
    ctsync::state::saveAccount(db, {u"http://127.0.0.1:1/dav/"_s,
                                    u"u"_s,
                                    {},
                                    false,
                                    kT0.toString(u"yyyy-MM-dd HH:mm:ss"_s),
                                    false});
}

ctsync::Report failing(adodb::Connection&, const ctsync::state::Account&)
{
    throw dav::Error(dav::Fault::Refused, u"拒绝连接"_s);
}

ctsync::Report fine(adodb::Connection&, const ctsync::state::Account&)
{
    return {};
}

} // namespace

class tst_syncbackground : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Steps "start@S", "wrote@S", "ran@S" and checks "due@S=0|1", S seconds from a start
    // with the program's intervals (first 20 s, every 15 min, 10 s after a write).
    void schedule_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::newRow("first soon after start") << u"start@0 due@19=0 due@20=1"_s;
        QTest::newRow("every 15 minutes") << u"start@0 ran@20 due@919=0 due@920=1"_s;
        QTest::newRow("10 s after a write") << u"start@0 ran@20 wrote@100 due@109=0 due@110=1"_s;
        QTest::newRow("writes in a row move it on")
            << u"start@0 ran@20 wrote@100 wrote@105 due@110=0 due@115=1"_s;
        QTest::newRow("a sync takes the write's place")
            << u"start@0 ran@20 wrote@100 ran@101 due@111=0 due@1001=1"_s;
        QTest::newRow("a write before the first sync") << u"start@0 wrote@2 due@11=0 due@12=1"_s;
        QTest::newRow("woken from sleep") << u"start@0 ran@20 due@90000=1"_s;
        QTest::newRow("clock set back") << u"start@0 ran@5000 due@4000=1"_s;
    }
    void schedule()
    {
        QFETCH(QString, steps);
        ctsync::Schedule s;
        for (const QString& step : steps.split(u' ')) {
            const QStringList p = step.split(QRegularExpression(u"[@=]"_s));
            const QDateTime at = kT0.addSecs(p[1].toInt());
            if (p[0] == u"start")
                s.started(at);
            else if (p[0] == u"wrote")
                s.wrote(at);
            else if (p[0] == u"ran")
                s.ran(at);
            else
                QVERIFY2(s.due(at) == (p[2] == u"1"), qPrintable(step));
        }
    }

    // Every run is logged; a day of failures (since the account was made or the last
    // good sync) is told once a day.
    void dayOfFailuresToldOnceADay()
    {
        TempDb tmp;
        adodb::Connection& db = tmp.check();
        QVERIFY(!ctsync::syncOnce(db, failing).ran); // no account: nothing done
        addAccount(db);
        ctclock::FixedClock clock(kT0);
        // hours from the account's making, success, told
        const struct {
            int hours;
            bool ok;
            bool told;
        } steps[] = {{1, false, false},  {23, false, false}, {24, false, true},
                     {25, false, false}, {40, false, true},  {41, true, false},
                     {50, false, false}, {64, false, false}, {65, false, true}};
        for (const auto& s : steps) {
            clock.set(kT0.addSecs(s.hours * 3600));
            const ctsync::OneResult r = ctsync::syncOnce(db, s.ok ? fine : failing);
            QVERIFY(r.ran && !r.busy);
            QCOMPARE(r.ok, s.ok);
            QVERIFY2(r.longFailure == s.told, qPrintable(QString::number(s.hours)));
        }
        QCOMPARE(tmp.count(u"sync_log"_s), int(std::size(steps)));
        QVERIFY(ctsync::syncOnce(db, failing).summary.contains(u"拒绝连接"_s));
    }

    // One sync of a database at a time: the background finds ctdb's lock and does
    // nothing (logs nothing); once it is let go, the sync runs.
    void oneSyncAtATime()
    {
        TempDb tmp;
        adodb::Connection& db = tmp.check();
        addAccount(db);
        const auto realRun = [](adodb::Connection& c, const ctsync::state::Account&) {
            return ctsync::run(c, {}, {QTimeZone::systemTimeZone(), kT0.date(), kT0});
        };
        {
            const ctsync::RunLock held(tmp.file(), 0);
            QVERIFY_THROWS_EXCEPTION(ctsync::Busy, ctsync::RunLock(tmp.file(), 0));
            const ctsync::OneResult r = ctsync::syncOnce(db, realRun);
            QVERIFY(r.ran && r.busy && !r.ok);
            QCOMPARE(tmp.count(u"sync_log"_s), 0);
        }
        // Let go: the sync itself runs (and fails here, as no collection is set up).
        const ctsync::OneResult r = ctsync::syncOnce(db, realRun);
        QVERIFY(!r.busy && !r.ok);
        QVERIFY(r.summary.contains(u"ctdb sync setup"_s));
        QCOMPARE(tmp.count(u"sync_log"_s), 1);
        ctsync::RunLock again(tmp.file(), 0);
    }

    // A slow sync runs on a thread of its own: the owner's timers keep firing meanwhile.
    void aSlowSyncDelaysNoTick()
    {
        TempDb tmp;
        addAccount(tmp.check());
        std::atomic<bool> release = false;
        std::atomic<bool> inside = false;
        std::atomic<bool> otherThread = false;
        QThread* const mine = QThread::currentThread();
        ctsync::Background::Settings s;
        s.connectionText = cardmodul::connectionText();
        s.dbFile = tmp.file();
        s.intervals.first = std::chrono::milliseconds(0);
        s.attempt = [&](adodb::Connection&, const ctsync::state::Account&) {
            otherThread = QThread::currentThread() != mine;
            inside = true;
            while (!release)
                QThread::msleep(5); // the slow sync, until the test lets it end
            return ctsync::Report{};
        };
        ctsync::Background b(s);
        QSignalSpy synced(&b, &ctsync::Background::synced);
        b.start();
        QTRY_VERIFY_WITH_TIMEOUT(inside, 20000);
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&] { ++ticks; });
        tick.start(1);
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= 3, 20000);
        QVERIFY(synced.isEmpty());
        release = true;
        QTRY_COMPARE_WITH_TIMEOUT(synced.size(), 1, 20000);
        QVERIFY(otherThread);
        QCOMPARE(synced.first().at(0).toBool(), true);
    }
};

QTEST_GUILESS_MAIN(tst_syncbackground)
#include "tst_syncbackground.moc"
