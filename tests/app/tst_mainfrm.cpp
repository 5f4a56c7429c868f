// The main window: start-up with and without a database, the menus, the windows it
// opens, close requests, and the session-end guard.

#include "app/mainfrm.h"
#include "app/shutdown.h"
#include "app/startup.h"
#include "modul/cardmodul.h"
#include "platform/clock.h"
#include "platform/instance.h"
#include "tests/support/testsupport.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace Qt::StringLiterals;
using testsupport::box;
using testsupport::TempDb;

namespace {
const QString kDiaryPrompt = u"请写今天工作日记"_s;

QStringList itemsOf(QMenu* m)
{
    QStringList out;
    for (QAction* a : m->actions())
        out << a->text();
    return out;
}
} // namespace

class tst_mainfrm : public testsupport::BoxTest {
    Q_OBJECT
    QTemporaryDir m_runtime;
    void initTest() override
    {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
        shutdown::canexit = false;
    }

private Q_SLOTS:
    // The program's start: with a database no box, the window shown with its timer
    // running and Exit disabled; without one the two boxes in order, then the window.
    void startup_data()
    {
        QTest::addColumn<bool>("withDatabase");
        QTest::newRow("database") << true;
        QTest::newRow("no database") << false;
    }
    void startup()
    {
        QFETCH(bool, withDatabase);
        TempDb db(withDatabase);
        if (!withDatabase) {
            boxes().expect(testsupport::missingDatabase(db.file()));
            boxes().expect(box(u"数据连接错误"_s));
        }
        ct::SingleInstance instance;
        const auto w = shell::start(instance);
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QCOMPARE(cardmodul::dbopen, withDatabase);
        QVERIFY(!w->MnExit->isEnabled());
        QVERIFY(w->Timer1->isActive());
        QCOMPARE(w->Timer1->interval(), 30000);
        QCOMPARE(w->windowTitle(), u"澄桐工作管理"_s);
        QVERIFY(!shutdown::canexit);
        if (withDatabase) {
            QCOMPARE(cardmodul::dbconn().Execute(u"delete from cardtab"_s), 0);
        } else {
            QVERIFY(!QFile::exists(db.file()));
            for (QAction* a : w->menuBar()->actions())
                QVERIFY(a->isEnabled());
            for (const char* p : {"Picture1", "Picture2", "Picture3"})
                QVERIFY(testsupport::child<QToolButton>(w.get(), p)->isEnabled());
        }
    }

    // A second start asks the running copy to come to the front and ends before it
    // touches the database: no window, no box, nothing opened. It runs in a process of
    // its own, as in life, while this one answers.
    void secondStart_raisesTheFirstAndEndsWithoutTheDatabase()
    {
        TempDb db;
        ct::SingleInstance first;
        QCOMPARE(first.claim(), ct::SingleInstance::Claim::First);
        QSignalSpy raised(&first, &ct::SingleInstance::raiseRequested);
        testsupport::Forked child([] {
            bool shown = false;
            msgbox::setResponder([&shown](const msgbox::Box&) {
                shown = true;
                return msgbox::Result::OK;
            });
            ct::SingleInstance second;
            const bool ended = !shell::start(second);
            return ended && !shown && !cardmodul::dbconn().isOpen() ? 0 : 1;
        });
        QVERIFY(raised.wait(30000));
        QCOMPARE(child.wait(), 0);
    }

    // On Wayland only the launcher's activation token lets the running copy take the
    // front: a second start without one is answered with a note that the program already
    // runs. On X11 the window comes back either way. The window is restored in each case.
    void secondStart_withoutATokenOnWayland_saysItRuns_data()
    {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QByteArray>("token");
        QTest::addColumn<QStringList>("notes");
        const QStringList none;
        const QStringList runs{u"澄桐工作管理已在运行"_s};
        QTest::newRow("X11") << u"xcb"_s << QByteArray() << none;
        QTest::newRow("X11, a token") << u"xcb"_s << "t-1"_ba << none;
        QTest::newRow("Wayland, a token") << u"wayland"_s << "t-1"_ba << none;
        QTest::newRow("Wayland") << u"wayland"_s << QByteArray() << runs;
        QTest::newRow("Wayland, not a token") << u"wayland"_s << "t 1"_ba << runs;
    }
    void secondStart_withoutATokenOnWayland_saysItRuns()
    {
        QFETCH(QString, platform);
        QFETCH(QByteArray, token);
        QFETCH(QStringList, notes);
        TempDb db;
        testsupport::Notes seen(platform);
        ct::SingleInstance first;
        const auto w = shell::start(first);
        QVERIFY(w);
        w->setWindowState(Qt::WindowMinimized);
        testsupport::Forked child([&token] {
            ct::SingleInstance second;
            second.setActivationToken(token);
            return second.claim() == ct::SingleInstance::Claim::Raised ? 0 : 1;
        });
        QCOMPARE(child.wait(), 0); // the first copy answers while the second waits
        QTRY_VERIFY(!w->isMinimized());
        QCOMPARE(seen.texts(), notes);
        QVERIFY(qEnvironmentVariableIsEmpty("XDG_ACTIVATION_TOKEN")); // never handed on
    }

    void menus_haveTheirCaptionsInOrder()
    {
        TempDb db;
        mainfrm w;
        const QList<QAction*> top = w.menuBar()->actions();
        QCOMPARE(top.size(), 3);
        QCOMPARE(top[0]->text(), u"File"_s);
        QCOMPARE(top[1]->text(), u"功能模块"_s);
        QCOMPARE(top[2]->text(), u"帮助"_s);
        QCOMPARE(itemsOf(top[0]->menu()),
                 (QStringList{u"Open"_s, u"Print"_s, u"---------"_s, u"退出"_s}));
        QCOMPARE(itemsOf(top[1]->menu()),
                 (QStringList{u"名片管理"_s, u"会议约会"_s, u"日志纪录"_s}));
        QCOMPARE(itemsOf(top[2]->menu()), (QStringList{u"操作指南"_s, u"版本信息"_s}));
        QCOMPARE(testsupport::child<QToolButton>(&w, "Picture1")->text(), u"名片管理"_s);
        QCOMPARE(testsupport::child<QToolButton>(&w, "Picture2")->text(), u"约会会议"_s);
        QCOMPARE(testsupport::child<QToolButton>(&w, "Picture3")->text(), u"工作日记"_s);
        // From left to right: cards, meetings, diary.
        QVERIFY(testsupport::child<QToolButton>(&w, "Picture1")->x() <
                testsupport::child<QToolButton>(&w, "Picture2")->x());
        QVERIFY(testsupport::child<QToolButton>(&w, "Picture2")->x() <
                testsupport::child<QToolButton>(&w, "Picture3")->x());
    }

    // Menu items and shortcuts open their window; cards, meetings and diary minimise the
    // main window first, help and About do not.
    void openers_minimiseForTheWorkWindowsOnly_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("window");
        QTest::addColumn<bool>("minimised");
        using W = mainfrm::Window;
        QTest::newRow("名片管理 menu") << u"MnCard"_s << int(W::Card) << true;
        QTest::newRow("card picture") << u"Picture1"_s << int(W::Card) << true;
        QTest::newRow("会议约会 menu") << u"MnMeet"_s << int(W::Meet) << true;
        QTest::newRow("meeting picture") << u"Picture2"_s << int(W::Meet) << true;
        QTest::newRow("日志纪录 menu") << u"MnLog"_s << int(W::Log) << true;
        QTest::newRow("diary picture") << u"Picture3"_s << int(W::Log) << true;
        QTest::newRow("操作指南") << u"MnHelpCont"_s << int(W::Help) << false;
        QTest::newRow("版本信息") << u"MnVer"_s << int(W::About) << false;
    }

    void openers_minimiseForTheWorkWindowsOnly()
    {
        QFETCH(QString, how);
        QFETCH(int, window);
        QFETCH(bool, minimised);
        TempDb db;
        mainfrm w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QList<int> opened;
        bool minimisedWhenOpened = false;
        for (int i = 0; i < int(mainfrm::Window::Count); ++i)
            w.setOpener(mainfrm::Window(i), [&, i](QWidget*) {
                opened << i;
                minimisedWhenOpened = w.isMinimized();
            });
        if (auto* a = w.findChild<QAction*>(how))
            a->trigger();
        else
            testsupport::child<QToolButton>(&w, qPrintable(how))->click();
        QCOMPARE(opened, QList<int>{window});
        QCOMPARE(minimisedWhenOpened, minimised);
        QCOMPARE(w.isMinimized(), minimised); // nothing restores it afterwards
    }

    void closeRequest_onlyMinimisesUntilTheSessionMayEnd()
    {
        TempDb db;
        db.openShared();
        mainfrm w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(!w.close());
        QVERIFY(w.isVisible());
        QVERIFY(w.isMinimized());
        w.MnExit_Click();
        QVERIFY(w.isVisible());

        ctclock::FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(10, 0)));
        QVERIFY(shutdown::winhookproc()); // an allowed session end, even one that did not end
        QVERIFY(shutdown::canexit);
        QVERIFY(w.close());
        QVERIFY(!w.isVisible());
        CT_VERIFY_BOXES(boxes());
    }

    // mayInteract: the session manager gave leave to ask the user. Without it the session
    // end cannot be refused, so no box is shown and the program ends with the session.
    void guard_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<bool>("entryToday");
        QTest::addColumn<bool>("mayInteract");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("16:59 without entry") << QTime(16, 59, 59) << false << true << true;
        QTest::newRow("17:00 without entry") << QTime(17, 0) << false << true << false;
        QTest::newRow("23:59 without entry") << QTime(23, 59) << false << true << false;
        QTest::newRow("17:00 with entry") << QTime(17, 0) << true << true << true;
        QTest::newRow("09:00 with entry") << QTime(9, 0) << true << true << true;
        QTest::newRow("16:59 without entry, no leave") << QTime(16, 59) << false << false << true;
        QTest::newRow("17:00 without entry, no leave") << QTime(17, 0) << false << false << true;
        QTest::newRow("23:59 without entry, no leave") << QTime(23, 59) << false << false << true;
        QTest::newRow("17:00 with entry, no leave") << QTime(17, 0) << true << false << true;
    }

    void guard()
    {
        QFETCH(QTime, time);
        QFETCH(bool, entryToday);
        QFETCH(bool, mayInteract);
        QFETCH(bool, allowed);
        TempDb db;
        db.openShared();
        ctclock::FixedClock clock(QDateTime(QDate(2026, 12, 8), time));
        db.exec(u"insert into daily_tab values('2026-12-07', '昨天')"_s);
        if (entryToday)
            db.exec(u"insert into daily_tab values('2026-12-08', '今天')"_s);
        if (!allowed)
            boxes().expect(box(kDiaryPrompt, msgbox::Buttons::OK, msgbox::Icon::None, true));
        QCOMPARE(shutdown::winhookproc(mayInteract), allowed);
        QCOMPARE(shutdown::canexit, allowed);
        CT_VERIFY_BOXES(boxes());
    }

    // A refused end holds the program; a later query without leave lets it go, and the main
    // window then closes as the session's Die asks.
    void guard_refusedThenWithoutLeave_letsTheWindowClose()
    {
        TempDb db;
        db.openShared();
        ctclock::FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(17, 30)));
        boxes().expect(box(kDiaryPrompt, msgbox::Buttons::OK, msgbox::Icon::None, true));
        mainfrm w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(!shutdown::winhookproc(true));
        QVERIFY(!w.close());
        QVERIFY(shutdown::winhookproc(false));
        QVERIFY(w.close());
    }

    void guard_allowsOnceTodaysEntryIsWritten()
    {
        TempDb db;
        db.openShared();
        ctclock::FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(18, 30)));
        boxes().expect(box(kDiaryPrompt, msgbox::Buttons::OK, msgbox::Icon::None, true));
        QVERIFY(!shutdown::winhookproc());
        QVERIFY(!shutdown::canexit);
        db.exec(u"insert into daily_tab values('2026-12-08', '写好了')"_s);
        QVERIFY(shutdown::winhookproc());
        QVERIFY(shutdown::canexit);
        CT_VERIFY_BOXES(boxes());
    }

    // When the database cannot be read the query still gets a prompt answer: end allowed.
    void guard_withBrokenDatabase_letsTheSessionEnd()
    {
        TempDb db(false);
        ctclock::FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(20, 0)));
        QVERIFY(shutdown::winhookproc());
        QVERIFY(shutdown::canexit);
        CT_VERIFY_BOXES(boxes());
    }
};

QTEST_MAIN(tst_mainfrm)
#include "tst_mainfrm.moc"
