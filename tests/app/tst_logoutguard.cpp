// The log-off guard on desktops that ask over D-Bus rather than XSMP: the logout
// inhibitor held through a stand-in session manager on a private session bus.

#include "app/mainfrm.h"
#include "app/shutdown.h"
#include "modul/cardmodul.h"
#include "platform/clock.h"
#include "tests/support/testsupport.h"
#include "widgets/session.h"

#include <QApplication>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;
using testsupport::TempDb;

namespace {
const QString kReason = u"请写今天工作日记"_s;
const QString kService = u"org.gnome.SessionManager"_s;

QDateTime at(int h, int m, QDate d = QDate(2026, 12, 8))
{
    return QDateTime(d, QTime(h, m));
}
} // namespace

class tst_logoutguard : public testsupport::BoxTest {
    Q_OBJECT
    QTemporaryDir m_tmp;
    QProcess m_sm;

    QString logFile() const { return m_tmp.filePath(u"calls.log"_s); }

    // The calls the stand-in received, "ready" lines left out.
    QStringList calls() const
    {
        QFile f(logFile());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList out = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
        out.removeAll(u"ready"_s);
        return out;
    }
    static bool registered()
    {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(kService);
    }
    bool startStandin()
    {
        m_sm.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        testsupport::endsWithThisProcess(m_sm);
        m_sm.start(u"/usr/bin/python3"_s,
                   {QStringLiteral(CT_TEST_SOURCE_DIR "/sm_standin.py"), logFile()});
        if (!m_sm.waitForStarted())
            return false;
        return QTest::qWaitFor([] { return registered(); }, 10000);
    }
    void stopStandin()
    {
        if (m_sm.state() == QProcess::NotRunning)
            return;
        m_sm.terminate();
        m_sm.waitForFinished();
        QVERIFY(QTest::qWaitFor([] { return !registered(); }, 10000));
    }
    // The one Inhibit call the program should make; returns its cookie.
    static QString inhibitLine(quint32 xid = 0)
    {
        return u"Inhibit ctwork %1 %2 1 -> "_s.arg(xid).arg(kReason);
    }

    void initTest() override
    {
        QFile::remove(logFile());
        QVERIFY(startStandin());
    }
    void cleanupTest() override { stopStandin(); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(QDBusConnection::sessionBus().isConnected()); }
    void inhibitor_holdsOnceAndReleases()
    {
        ct::LogoutInhibitor inh(u"ctwork"_s, kReason);
        inh.set(true, 42);
        QVERIFY(inh.held());
        inh.set(true, 42); // a second tick holds no second inhibitor
        QCOMPARE(calls().size(), 1);
        QVERIFY(calls()[0].startsWith(inhibitLine(42)));
        const QString cookie = calls()[0].section(u" -> "_s, 1);
        inh.set(false);
        QVERIFY(!inh.held());
        inh.set(false);
        QCOMPARE(calls(), QStringList({calls()[0], u"Uninhibit "_s + cookie}));
    }

    void inhibitor_releasedWhenDestroyed()
    {
        {
            ct::LogoutInhibitor inh(u"ctwork"_s, kReason);
            inh.set(true);
        }
        QCOMPARE(calls().size(), 2);
        QVERIFY(calls()[1].startsWith(u"Uninhibit "_s));
    }

    void inhibitor_serviceAbsent_nothingHeld_thenHeldWhenItComes()
    {
        stopStandin();
        ct::LogoutInhibitor inh(u"ctwork"_s, kReason);
        inh.set(true);
        QVERIFY(!inh.held());
        inh.set(false);
        QVERIFY(calls().isEmpty());
        // The desktop's session manager starts after the program: the next tick holds.
        QVERIFY(startStandin());
        inh.set(true);
        QVERIFY(inh.held());
        QCOMPARE(calls().size(), 1);
    }

    void inhibitor_serviceRestarts_heldAnew()
    {
        ct::LogoutInhibitor inh(u"ctwork"_s, kReason);
        inh.set(true);
        QVERIFY(inh.held());
        stopStandin(); // the inhibitor went with it
        QTRY_VERIFY(!inh.held());
        QVERIFY(startStandin());
        inh.set(true);
        QVERIFY(inh.held());
        QCOMPARE(calls().size(), 2);
        QVERIFY(calls()[1].startsWith(inhibitLine()));
    }

    void inhibitor_withoutBus_doesNothing()
    {
        ct::LogoutInhibitor inh(u"ctwork"_s, kReason, QDBusConnection(u"not connected"_s));
        inh.set(true);
        QVERIFY(!inh.held());
        QVERIFY(calls().isEmpty());
    }

    void guard_holdsFromFiveWhileTodaysEntryIsMissing_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<int>("entry"); // 0 none, 1 today's, 2 yesterday's only, -1 no database
        QTest::addColumn<bool>("held");
        QTest::newRow("16:59, none") << at(16, 59) << 0 << false;
        QTest::newRow("17:00, none") << at(17, 0) << 0 << true;
        QTest::newRow("23:59, none") << at(23, 59) << 0 << true;
        QTest::newRow("17:00, yesterday's only") << at(17, 0) << 2 << true;
        QTest::newRow("17:00, today's") << at(17, 0) << 1 << false;
        QTest::newRow("00:30, none") << at(0, 30) << 0 << false;
        QTest::newRow("20:00, no database") << at(20, 0) << -1 << false;
    }
    void guard_holdsFromFiveWhileTodaysEntryIsMissing()
    {
        QFETCH(QDateTime, now);
        QFETCH(int, entry);
        QFETCH(bool, held);
        TempDb db(entry >= 0);
        if (entry >= 0)
            db.openShared();
        if (entry > 0)
            db.exec(u"insert into daily_tab values(?, ?)"_s,
                    {cardmodul::datetext(now.date().addDays(entry == 1 ? 0 : -1)), u"写了"_s});
        ctclock::FixedClock clock(now);
        QObject owner;
        shutdown::winhook(&owner);
        // The first evaluation runs once events run: wait for an event posted after it.
        bool after = false;
        QTimer::singleShot(0, &owner, [&after] { after = true; });
        QTRY_VERIFY(after);
        QCOMPARE(calls().size(), held ? 1 : 0);
        if (held)
            QVERIFY(calls()[0].startsWith(inhibitLine()));
        shutdown::holdLogout(now);
        QCOMPARE(calls().size(), held ? 1 : 0);
        CT_VERIFY_BOXES(boxes());
    }

    // Start-up holds it, the tick re-evaluates: writing the entry releases it, and so does
    // the next day's morning.
    void mainWindow_startupAndTick()
    {
        TempDb db;
        ctclock::FixedClock clock(at(17, 30));
        db.exec(u"insert into daily_tab values(?, ?)"_s,
                {cardmodul::datetext(QDate(2026, 12, 7)), u"昨天"_s});
        mainfrm w;
        w.Form_Load();
        QTRY_COMPARE(calls().size(), 1);
        QVERIFY(calls()[0].startsWith(inhibitLine()));
        clock.set(at(17, 31));
        w.Timer1_Timer();
        QCOMPARE(calls().size(), 1);

        db.exec(u"insert into daily_tab values(?, ?)"_s,
                {cardmodul::datetext(QDate(2026, 12, 8)), u"今天"_s});
        clock.set(at(17, 32));
        w.Timer1_Timer();
        QCOMPARE(calls().size(), 2);
        QVERIFY(calls()[1].startsWith(u"Uninhibit "_s));

        // The next evening without an entry holds it again; midnight releases it.
        clock.set(at(18, 1, QDate(2026, 12, 9)));
        w.Timer1_Timer();
        QCOMPARE(calls().size(), 3);
        clock.set(at(0, 1, QDate(2026, 12, 10)));
        w.Timer1_Timer();
        QCOMPARE(calls().size(), 4);
        QVERIFY(calls()[3].startsWith(u"Uninhibit "_s));
        CT_VERIFY_BOXES(boxes());
    }
};

// The whole test talks to a session bus of its own.
int main(int argc, char** argv)
{
    QProcess bus;
    testsupport::endsWithThisProcess(bus); // also when the test is killed
    bus.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s});
    if (!bus.waitForStarted() || !bus.waitForReadyRead(10000)) {
        std::fputs("cannot start a private dbus-daemon\n", stderr);
        return 1;
    }
    const QByteArray address = bus.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    int rc = 0;
    {
        QApplication app(argc, argv);
        tst_logoutguard t;
        rc = QTest::qExec(&t, argc, argv);
    }
    bus.terminate();
    bus.waitForFinished();
    return rc;
}
#include "tst_logoutguard.moc"
