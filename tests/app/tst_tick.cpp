// The 30-second tick of the main window: the meeting reminder at its minutes, the diary
// window while yesterday's entry is missing, and the evening prompt for today's entry.

#include "app/mainfrm.h"
#include "modul/cardmodul.h"
#include "platform/clock.h"
#include "tests/support/testsupport.h"

#include <QTest>

using namespace Qt::StringLiterals;
using msgbox::Buttons;
using msgbox::Icon;
using testsupport::box;
using testsupport::TempDb;

namespace {
const QDate kToday(2026, 12, 8);
const QString kTodayText = u"2026-12-08"_s;
const QString kPrompt = u"请写今天工作日记"_s;

msgbox::Box reminder(const QString& text)
{
    return box(text, Buttons::OK, Icon::None, true);
}

QString line(int n, int h, int m, const QString& topic)
{
    return u"\n%1、请您在 %2： %3分钟，参加%4！"_s.arg(n).arg(h).arg(m).arg(topic);
}
} // namespace

class tst_tick : public testsupport::BoxTest {
    Q_OBJECT
    std::unique_ptr<TempDb> m_db;
    std::unique_ptr<ctclock::FixedClock> m_clock;
    std::unique_ptr<mainfrm> m_w;
    int m_diaryOpened = 0;

    void at(int h, int m, QDate d = kToday) { m_clock->set(QDateTime(d, QTime(h, m, 15))); }
    void meeting(const QVariant& date, const QVariant& h, const QVariant& m, const QVariant& topic)
    {
        m_db->exec(u"insert into meet_tab(record_date, meet_cont, meet_addr, meet_date, go_hour, "
                   "go_second) values('2026-12-01', ?, '会议室', ?, ?, ?)"_s,
                   {topic, date, h, m});
    }
    void diaryFor(const QDate& d)
    {
        m_db->exec(u"insert into daily_tab values(?, 'x')"_s, {cardmodul::datetext(d)});
    }

    void initTest() override
    {
        m_db = std::make_unique<TempDb>();
        m_db->openShared();
        m_clock = std::make_unique<ctclock::FixedClock>(QDateTime(kToday, QTime(9, 0)));
        m_w = std::make_unique<mainfrm>();
        m_diaryOpened = 0;
        m_w->setOpener(mainfrm::Window::Log, [this](QWidget*) { ++m_diaryOpened; });
        diaryFor(kToday.addDays(-1));
        diaryFor(kToday);
    }
    void cleanupTest() override
    {
        m_w.reset();
        m_clock.reset();
        m_db.reset();
    }

private Q_SLOTS:
    void reminder_dueAcrossTheHour_data()
    {
        QTest::addColumn<int>("gh");
        QTest::addColumn<int>("gm");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("m");
        QTest::addColumn<bool>("shown");
        struct Case {
            int gh, gm, h, m;
            bool shown;
        };
        const Case cases[] = {
            {9, 30, 8, 50, false},  {9, 30, 8, 55, true},  {9, 30, 9, 0, true},
            {9, 30, 9, 10, true},   {9, 30, 9, 20, true},  {9, 30, 9, 30, true},
            {9, 30, 9, 40, true},   {9, 30, 9, 50, false}, {9, 55, 9, 20, false},
            {9, 55, 9, 30, true},   {9, 55, 9, 40, true},  {9, 55, 9, 50, true},
            {9, 55, 9, 55, true},   {9, 55, 10, 0, true},  {9, 55, 10, 10, false},
            {9, 5, 8, 20, false},   {9, 5, 8, 30, true},   {9, 5, 8, 40, true},
            {9, 5, 8, 50, true},    {9, 5, 8, 55, true},   {9, 5, 9, 0, true},
            {9, 5, 9, 10, true},    {9, 5, 9, 20, false},  {10, 0, 9, 20, false},
            {10, 0, 9, 30, true},   {10, 0, 9, 40, true},  {10, 0, 9, 50, true},
            {10, 0, 9, 55, true},   {10, 0, 10, 0, true},  {10, 0, 10, 10, true},
            {10, 0, 10, 20, false}, {10, 0, 11, 0, false}, {9, 30, 7, 55, false},
        };
        for (const Case& c : cases)
            QTest::addRow("%02d:%02d at %02d:%02d", c.gh, c.gm, c.h, c.m)
                << c.gh << c.gm << c.h << c.m << c.shown;
    }
    void reminder_dueAcrossTheHour()
    {
        QFETCH(int, gh);
        QFETCH(int, gm);
        QFETCH(int, h);
        QFETCH(int, m);
        QFETCH(bool, shown);
        meeting(kTodayText, gh, gm, u"评审"_s);
        meeting(u"2026-12-09"_s, gh, gm, u"明天的"_s); // another day: never announced
        at(h, m);
        if (shown)
            boxes().expect(reminder(line(1, gh, gm, u"评审"_s)));
        m_w->Timer1_Timer();
        CT_VERIFY_BOXES(boxes());
        QCOMPARE(m_diaryOpened, 0);
    }

    // Where boxes cannot stay on top (Wayland) a reminder also goes out as an urgent
    // desktop note with the box's text, before the box; on X11 the box alone.
    void reminders_alsoNotesOnWayland_data()
    {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("m");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("noted");
        const QString meet = line(1, 9, 30, u"评审"_s);
        QTest::newRow("meeting, X11") << u"xcb"_s << 9 << 20 << meet << false;
        QTest::newRow("meeting, Wayland") << u"wayland"_s << 9 << 20 << meet << true;
        QTest::newRow("meeting, Wayland EGL") << u"wayland-egl"_s << 9 << 20 << meet << true;
        QTest::newRow("evening prompt, X11") << u"xcb"_s << 18 << 25 << kPrompt << false;
        QTest::newRow("evening prompt, Wayland") << u"wayland"_s << 18 << 25 << kPrompt << true;
    }
    void reminders_alsoNotesOnWayland()
    {
        QFETCH(QString, platform);
        QFETCH(int, h);
        QFETCH(int, m);
        QFETCH(QString, text);
        QFETCH(bool, noted);
        meeting(kTodayText, 9, 30, u"评审"_s);
        m_db->exec(u"delete from daily_tab where daily_date=?"_s, {kTodayText});
        at(h, m);
        testsupport::Notes notes(platform);
        const QStringList expected = noted ? QStringList{u"!"_s + text} : QStringList{};
        QStringList beforeTheBox;
        boxes().expect(reminder(text), msgbox::Result::OK, [&] { beforeTheBox = notes.texts(); });
        m_w->Timer1_Timer();
        CT_VERIFY_BOXES(boxes());
        QCOMPARE(beforeTheBox, expected);
        QCOMPARE(notes.texts(), expected);
    }

    void reminder_exampleMessage()
    {
        meeting(kTodayText, 9, 30, u"项目评审"_s);
        meeting(kTodayText, 14, 0, u"下午"_s);
        meeting(kTodayText, 9, 40, u"例会"_s);
        at(9, 10);
        boxes().expect(reminder(
            u"\n1、请您在 9： 30分钟，参加项目评审！\n3、请您在 9： 40分钟，参加例会！"_s));
        m_w->Timer1_Timer();
        CT_VERIFY_BOXES(boxes());
    }

    // One tick reads the clock once: a tick that begins a second before midnight is a
    // tick of that day all through, whatever the clock says a moment later.
    void tick_usesOneTimeThroughout()
    {
        m_db->exec(u"delete from daily_tab where daily_date = ?"_s, {kTodayText});
        meeting(kTodayText, 23, 58, u"夜班交接"_s);
        int reads = 0;
        ctclock::setSource([&reads] {
            // The first read is 23:50:59 on the 8th; every later one is past midnight.
            return reads++ == 0 ? QDateTime(kToday, QTime(23, 50, 59))
                                : QDateTime(kToday.addDays(1), QTime(0, 0, 1));
        });
        boxes().expect(reminder(line(1, 23, 58, u"夜班交接"_s)));
        m_w->Timer1_Timer();
        ctclock::setSource([this] { return QDateTime(kToday, QTime(9, 0)); });
        // Yesterday (the 7th) has its entry: read as the 9th, the 8th would have been
        // missing and the diary window would have opened.
        QCOMPARE(m_diaryOpened, 0);
        QCOMPARE(reads, 1);
    }

    // A meeting leaving five minutes later would be due at any minute; only the
    // reminder's minutes announce it: not at m, but at the reminder minute just before.
    void reminder_onlyAtItsMinutes_data()
    {
        QTest::addColumn<int>("m");
        for (int m : {1, 5, 9, 15, 25, 31, 35, 45, 49, 54, 56, 59})
            QTest::addRow("9:%02d", m) << m;
    }
    void reminder_onlyAtItsMinutes()
    {
        QFETCH(int, m);
        const QTime leaves = QTime(9, m).addSecs(5 * 60);
        meeting(kTodayText, leaves.hour(), leaves.minute(), u"评审"_s);
        at(9, m);
        m_w->Timer1_Timer();
        CT_VERIFY_BOXES(boxes());
        const int before = m >= 55 ? 55 : m - m % 10;
        boxes().expect(reminder(line(1, leaves.hour(), leaves.minute(), u"评审"_s)));
        at(9, before);
        m_w->Timer1_Timer();
    }

    void reminder_doesNotWrapPastMidnight()
    {
        meeting(kTodayText, 23, 55, u"夜里"_s);
        for (int m : {0, 5, 10}) {
            at(0, m, kToday.addDays(1));
            diaryFor(kToday.addDays(1));
            m_w->Timer1_Timer();
            m_db->exec(u"delete from daily_tab where daily_date='2026-12-09'"_s);
        }
        CT_VERIFY_BOXES(boxes());
        at(23, 50);
        boxes().expect(reminder(line(1, 23, 55, u"夜里"_s)));
        m_w->Timer1_Timer();
        CT_VERIFY_BOXES(boxes());
    }

    // A row without a topic or without a usable time is passed over; the other due
    // meetings are still announced with their row numbers.
    void reminder_skipsBadRows()
    {
        meeting(kTodayText, 9, 30, QVariant());
        meeting(kTodayText, u"九"_s, 30, u"坏钟点"_s);
        meeting(kTodayText, 9, QVariant(), u"没有分钟"_s);
        meeting(kTodayText, 9, 35, u""_s);
        meeting(kTodayText, 9, 40, u"例会 'A' 100%"_s);
        at(9, 20);
        boxes().expect(reminder(line(4, 9, 35, QString()) + line(5, 9, 40, u"例会 'A' 100%"_s)));
        m_w->Timer1_Timer();
        CT_VERIFY_BOXES(boxes());
    }

    void reminder_numbersPast32767Rows()
    {
        m_db->exec(
            u"with recursive c(x) as (select 1 union all select x + 1 from c where x < 33000) "
            "insert into meet_tab(meet_date, go_hour, go_second, meet_cont) "
            "select ?, 3, 0, 'early' from c"_s,
            {kTodayText});
        meeting(kTodayText, 9, 30, u"最后"_s);
        at(9, 20);
        boxes().expect(reminder(line(33001, 9, 30, u"最后"_s)));
        m_w->Timer1_Timer();
        CT_VERIFY_BOXES(boxes());
    }

    void reminder_silentWithoutTable()
    {
        meeting(kTodayText, 9, 30, u"评审"_s);
        m_db->exec(u"drop table meet_tab"_s);
        at(9, 20);
        m_w->Timer1_Timer();
        CT_VERIFY_BOXES(boxes());
    }

    // A tick that comes while the reminder of an earlier tick is still on screen starts
    // nothing; the next tick after it is answered runs again.
    void tick_whileTheReminderIsOpen_startsNoSecondRun()
    {
        meeting(kTodayText, 9, 30, u"评审"_s);
        at(9, 20);
        boxes().expect(reminder(line(1, 9, 30, u"评审"_s)), msgbox::Result::OK,
                       [this] { m_w->Timer1_Timer(); });
        m_w->Timer1_Timer();
        CT_VERIFY_BOXES(boxes());
        boxes().expect(reminder(line(1, 9, 30, u"评审"_s)));
        m_w->Timer1_Timer();
        CT_VERIFY_BOXES(boxes());
    }

    // The reminder comes first, then the diary window; the evening prompt last, judged by
    // the time the tick began even when the diary window kept it waiting.
    void tick_runsItsStepsInOrder()
    {
        m_db->exec(u"delete from daily_tab"_s);
        QStringList order;
        m_w->setOpener(mainfrm::Window::Log, [&](QWidget*) {
            order << u"diary"_s;
            at(17, 31); // the user took six minutes
        });
        meeting(kTodayText, 17, 40, u"晚会"_s);
        boxes().expect(reminder(line(1, 17, 40, u"晚会"_s)), msgbox::Result::OK,
                       [&] { order << u"reminder"_s; });
        at(17, 20);
        m_w->Timer1_Timer();
        QCOMPARE(order, (QStringList{u"reminder"_s, u"diary"_s}));
        CT_VERIFY_BOXES(boxes());

        order.clear();
        boxes().expect(box(kPrompt, Buttons::OK, Icon::None, true), msgbox::Result::OK,
                       [&] { order << u"prompt"_s; });
        at(17, 25);
        m_w->Timer1_Timer();
        QCOMPARE(order, (QStringList{u"diary"_s, u"prompt"_s}));
        CT_VERIFY_BOXES(boxes());
    }

    // Ticks that come while the diary window of an earlier tick is open start nothing:
    // no second diary window, no reminder or prompt behind it.
    void tick_whileTheDiaryIsOpen_startsNoSecondRun()
    {
        m_db->exec(u"delete from daily_tab"_s);
        meeting(kTodayText, 17, 30, u"评审"_s);
        at(17, 25);
        int nested = 0;
        m_w->setOpener(mainfrm::Window::Log, [&](QWidget*) {
            ++m_diaryOpened;
            for (int m : {25, 30}) {
                at(17, m);
                m_w->Timer1_Timer();
                ++nested;
            }
            at(17, 25);
        });
        boxes().expect(box(kPrompt, Buttons::OK, Icon::None, true));
        m_w->Timer1_Timer();
        QCOMPARE(nested, 2);
        QCOMPARE(m_diaryOpened, 1);
        CT_VERIFY_BOXES(boxes());
    }

    void yesterdayMissing_opensTheDiaryOnEveryTick()
    {
        m_db->exec(u"delete from daily_tab where daily_date='2026-12-07'"_s);
        at(9, 1);
        m_w->Timer1_Timer();
        QCOMPARE(m_diaryOpened, 1);
        QVERIFY(m_w->windowState().testFlag(Qt::WindowMinimized));
        m_w->Timer1_Timer();
        QCOMPARE(m_diaryOpened, 2);
        diaryFor(kToday.addDays(-1));
        m_w->Timer1_Timer();
        QCOMPARE(m_diaryOpened, 2);
    }

    void yesterdayMissing_onFirstDays_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::newRow("1 March") << QDate(2027, 3, 1);
        QTest::newRow("1 January") << QDate(2027, 1, 1);
    }
    void yesterdayMissing_onFirstDays()
    {
        QFETCH(QDate, today);
        at(9, 1, today);
        diaryFor(today);
        m_w->Timer1_Timer();
        QCOMPARE(m_diaryOpened, 1);
        diaryFor(today.addDays(-1)); // 28 February, 31 December
        m_w->Timer1_Timer();
        QCOMPARE(m_diaryOpened, 1);
    }

    void eveningPrompt_data()
    {
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("m");
        QTest::addColumn<bool>("shown");
        QTest::newRow("16:25") << 16 << 25 << false;
        QTest::newRow("17:24") << 17 << 24 << false;
        QTest::newRow("17:25") << 17 << 25 << true;
        QTest::newRow("17:26") << 17 << 26 << false;
        QTest::newRow("20:25") << 20 << 25 << true;
        QTest::newRow("23:25") << 23 << 25 << true;
        QTest::newRow("17:55") << 17 << 55 << false;
    }
    void eveningPrompt()
    {
        QFETCH(int, h);
        QFETCH(int, m);
        QFETCH(bool, shown);
        m_db->exec(u"delete from daily_tab where daily_date=?"_s, {kTodayText});
        at(h, m);
        if (shown)
            boxes().expect(box(kPrompt, Buttons::OK, Icon::None, true));
        m_w->Timer1_Timer();
        CT_VERIFY_BOXES(boxes());
        // Not once today's entry is written.
        diaryFor(kToday);
        m_w->Timer1_Timer();
        CT_VERIFY_BOXES(boxes());
    }

    // With the diary table unreadable both checks count as missing: the diary window
    // opens and the evening prompt comes; the reminder stays silent.
    void brokenDiaryTable_countsAsMissing()
    {
        m_db->exec(u"drop table daily_tab"_s);
        at(18, 25);
        boxes().expect(box(kPrompt, Buttons::OK, Icon::None, true));
        m_w->Timer1_Timer();
        QCOMPARE(m_diaryOpened, 1);
        CT_VERIFY_BOXES(boxes());
    }
};

QTEST_MAIN(tst_tick)
#include "tst_tick.moc"
