// The diary window: opening in yesterday or new mode, the three confirm modes, the
// look-up, one entry per date, and the tick that opens the window by itself.

#include "app/mainfrm.h"
#include "diary/dailyfrm.h"
#include "modul/cardmodul.h"
#include "modul/dailytab.h"
#include "platform/clock.h"
#include "tests/support/testsupport.h"
#include "widgets/twips.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using msgbox::Buttons;
using msgbox::Icon;
using testsupport::box;
using testsupport::TempDb;

namespace {
const QString kYesterday = u"请记昨天的工作日记！"_s;
const QString kSaved = u"日记记录成功！"_s;
const QString kNotFound = u"没有找到纪录，请注意日期格式为2003-08-30 ！"_s;
const QDateTime kNow(QDate(2026, 12, 8), QTime(10, 0));

struct State {
    QString date;
    bool dateEnabled;
    bool o1, o2, o3; // enabled
    int chosen;      // 1..3, 0 for none
    bool operator==(const State&) const = default;
};

State stateOf(const dailyfrm& f)
{
    int chosen = f.Option1->isChecked()   ? 1
                 : f.Option2->isChecked() ? 2
                 : f.Option3->isChecked() ? 3
                                          : 0;
    return {f.datetxt->text(),      f.datetxt->isEnabled(), f.Option1->isEnabled(),
            f.Option2->isEnabled(), f.Option3->isEnabled(), chosen};
}
} // namespace

QT_BEGIN_NAMESPACE
namespace QTest {
template <> char* toString(const State& s)
{
    return qstrdup(QStringLiteral("%1 enabled=%2 options=%3%4%5 chosen=%6")
                       .arg(s.date)
                       .arg(s.dateEnabled)
                       .arg(s.o1)
                       .arg(s.o2)
                       .arg(s.o3)
                       .arg(s.chosen)
                       .toUtf8()
                       .constData());
}
} // namespace QTest
QT_END_NAMESPACE

class tst_dailyfrm : public testsupport::BoxTest {
    Q_OBJECT
    std::unique_ptr<ctclock::FixedClock> m_clock;
    void initTest() override { m_clock = std::make_unique<ctclock::FixedClock>(kNow); }
    void cleanupTest() override { m_clock.reset(); }

private Q_SLOTS:
    void open_withYesterdayMissing_asksForYesterdaysEntry()
    {
        TempDb db;
        db.exec(u"insert into daily_tab values('2026-12-08', 'today')"_s);
        boxes().expect(box(kYesterday, Buttons::OK, Icon::None, true));
        dailyfrm f;
        QVERIFY(f.Form_Load());
        QCOMPARE(stateOf(f), (State{u"2026-12-07"_s, false, false, false, true, 3}));
        QCOMPARE(f.windowTitle(), u"工作日志"_s);
        CT_VERIFY_BOXES(boxes());

        // Writing it stores yesterday's row and switches to new mode with an empty text.
        f.logtxt->setPlainText(u"昨天的事"_s);
        boxes().expect(box(kSaved, Buttons::OK, Icon::None, true));
        f.dailycmd->click();
        CT_VERIFY_BOXES(boxes());
        QCOMPARE(stateOf(f), (State{u"2026-12-08"_s, false, true, true, false, 1}));
        QCOMPARE(f.logtxt->toPlainText(), QString());
        QCOMPARE(
            db.rows(u"select * from daily_tab order by daily_date"_s),
            (QList<QStringList>{{u"2026-12-07"_s, u"昨天的事"_s}, {u"2026-12-08"_s, u"today"_s}}));
    }

    void window_captionsLayoutAndNames()
    {
        TempDb db;
        db.exec(u"insert into daily_tab values('2026-12-07', 'x')"_s);
        dailyfrm f;
        QVERIFY(f.Form_Load());
        QCOMPARE(f.windowTitle(), u"工作日志"_s);
        QVERIFY(f.isModal());
        QVERIFY(f.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(f.font().families().contains(u"宋体"_s));
        QCOMPARE(f.Label1->text(), u"日 期："_s);
        QCOMPARE(f.Label1->buddy(), f.datetxt);
        QCOMPARE(f.Option1->text(), u"新增"_s);
        QCOMPARE(f.Option2->text(), u"查询"_s);
        QCOMPARE(f.Option3->text(), u"昨日"_s);
        QCOMPARE(f.dailycmd->text(), u"确   定"_s);
        for (QWidget* w : std::initializer_list<QWidget*>{f.datetxt, f.logtxt, f.Option1, f.Option2,
                                                          f.Option3, f.dailycmd})
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        // Options stacked in design order beside the date, the text box below them all.
        QVERIFY(f.Option1->y() < f.Option2->y() && f.Option2->y() < f.Option3->y());
        QVERIFY(f.datetxt->x() < f.Frame1->x() && f.Frame1->x() < f.dailycmd->x());
        QVERIFY(f.logtxt->y() > f.Frame1->geometry().bottom() - 2);
        QCOMPARE(f.size(), QSize(twips::toPx(5985), twips::toPx(4215)));
    }

    // Going back from query to new mode puts today's date back, disabled, and keeps the
    // text; query mode keeps both as they were.
    void modes_switchingKeepsTheText()
    {
        TempDb db;
        db.exec(u"insert into daily_tab values('2026-12-07', 'x')"_s);
        dailyfrm f;
        QVERIFY(f.Form_Load());
        f.logtxt->setPlainText(u"写了一半"_s);
        f.Option2->click();
        QCOMPARE(stateOf(f), (State{u"2026-12-08"_s, true, true, true, false, 2}));
        f.datetxt->setText(u"2026-11-30"_s);
        f.Option1->click();
        QCOMPARE(stateOf(f), (State{u"2026-12-08"_s, false, true, true, false, 1}));
        QCOMPARE(f.logtxt->toPlainText(), u"写了一半"_s);
        CT_VERIFY_BOXES(boxes());
    }

    void open_withYesterdayPresent_startsInNewMode()
    {
        TempDb db;
        db.exec(u"insert into daily_tab values('2026-12-07', 'x')"_s);
        dailyfrm f;
        QVERIFY(f.Form_Load());
        QCOMPARE(stateOf(f), (State{u"2026-12-08"_s, false, true, true, false, 1}));
        CT_VERIFY_BOXES(boxes());
    }

    void open_onFirstOfMonthAndYear_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("yesterday");
        QTest::newRow("1 March, leap year") << QDate(2028, 3, 1) << u"2028-02-29"_s;
        QTest::newRow("1 March") << QDate(2027, 3, 1) << u"2027-02-28"_s;
        QTest::newRow("1 January") << QDate(2027, 1, 1) << u"2026-12-31"_s;
    }
    void open_onFirstOfMonthAndYear()
    {
        QFETCH(QDate, today);
        QFETCH(QString, yesterday);
        m_clock->set(QDateTime(today, QTime(9, 0)));
        TempDb db;
        boxes().expect(box(kYesterday, Buttons::OK, Icon::None, true));
        dailyfrm f;
        QVERIFY(f.Form_Load());
        QCOMPARE(f.datetxt->text(), yesterday);
        CT_VERIFY_BOXES(boxes());
    }

    // On Wayland, where the box cannot stay on top, the request also goes out as a note.
    void yesterdayMissing_alsoANoteOnWayland()
    {
        TempDb db;
        testsupport::Notes notes(u"wayland"_s);
        boxes().expect(box(kYesterday, Buttons::OK, Icon::None, true));
        dailyfrm f;
        QVERIFY(f.Form_Load());
        CT_VERIFY_BOXES(boxes());
        QCOMPARE(notes.texts(), QStringList{u"!"_s + kYesterday});
    }

    void open_withoutDatabase_warnsAndShowsNothing()
    {
        TempDb db(false);
        boxes().expect(testsupport::missingDatabase(db.file()));
        boxes().expect(box(
            u"Database not found!, Please place the database with the same path as the .exe file"_s,
            Buttons::OK, Icon::Exclamation, false, u"Database not found!"_s));
        dailyfrm f;
        QVERIFY(!f.Form_Load());
        CT_VERIFY_BOXES(boxes());
    }

    void newMode_savesTodayAndKeepsTheText()
    {
        TempDb db;
        db.exec(u"insert into daily_tab values('2026-12-07', 'x')"_s);
        dailyfrm f;
        QVERIFY(f.Form_Load());
        // Apostrophes, quotes, percent signs, emoji and line breaks are stored exactly.
        const QString text =
            u"客户's \"报价\" 100% _ ; -- 😀\n第二行\n\n第四行"_s + QString(5000, u'长');
        f.logtxt->setPlainText(text);
        boxes().expect(box(kSaved));
        f.dailycmd->click();
        CT_VERIFY_BOXES(boxes());
        QCOMPARE(f.logtxt->toPlainText(), text); // the text stays in the box
        const auto rows =
            db.rows(u"select daily_desc from daily_tab where daily_date='2026-12-08'"_s);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][0], text);

        // Saving again the same day replaces the entry: one row, the last text.
        f.logtxt->setPlainText(u"改过的"_s);
        boxes().expect(box(kSaved));
        f.dailycmd->click();
        CT_VERIFY_BOXES(boxes());
        QCOMPARE(db.rows(u"select daily_desc from daily_tab where daily_date='2026-12-08'"_s),
                 (QList<QStringList>{{u"改过的"_s}}));

        // And a look-up of today shows what was saved last.
        f.logtxt->clear();
        f.Option2->click();
        f.dailycmd->click();
        QCOMPARE(f.logtxt->toPlainText(), u"改过的"_s);
        CT_VERIFY_BOXES(boxes());
    }

    // Today's stored entry is shown when the window opens in new mode, so saving again
    // saves the whole edited entry; every text a save replaces is kept in the history.
    void newMode_showsTodaysEntryAndKeepsWhatItReplaces()
    {
        TempDb db;
        db.exec(u"insert into daily_tab values('2026-12-07', '昨天')"_s);
        db.exec(u"insert into daily_tab values('2026-12-08', '上午的工作')"_s);
        dailyfrm f;
        QVERIFY(f.Form_Load());
        QCOMPARE(f.logtxt->toPlainText(), u"上午的工作"_s);
        f.logtxt->setPlainText(u"上午的工作\n下午的工作"_s);
        boxes().expect(box(kSaved));
        f.dailycmd->click();
        QCOMPARE(db.rows(u"select daily_desc from daily_tab where daily_date='2026-12-08'"_s),
                 (QList<QStringList>{{u"上午的工作\n下午的工作"_s}}));

        // Looking up another day and saving in new mode writes that day's text over
        // today's; today's text is still there in the history.
        f.Option2->click();
        f.datetxt->setText(u"2026-12-07"_s);
        f.dailycmd->click();
        f.Option1->click();
        boxes().expect(box(kSaved));
        f.dailycmd->click();
        QCOMPARE(db.rows(u"select daily_desc from daily_tab where daily_date='2026-12-08'"_s),
                 (QList<QStringList>{{u"昨天"_s}}));
        QCOMPARE(db.rows(u"select daily_desc, replaced_at from daily_hist "
                         "where daily_date='2026-12-08' order by hist_serno"_s),
                 (QList<QStringList>{{u"上午的工作"_s, u"2026-12-08 10:00:00"_s},
                                     {u"上午的工作\n下午的工作"_s, u"2026-12-08 10:00:00"_s}}));

        // The history brings any earlier text back; the one it replaces is kept too.
        const auto versions = dailytab::history(db.check(), u"2026-12-08"_s);
        QCOMPARE(versions.size(), 2);
        QVERIFY(dailytab::restore(db.check(), versions[1].serno, kNow));
        QCOMPARE(db.rows(u"select daily_desc from daily_tab where daily_date='2026-12-08'"_s),
                 (QList<QStringList>{{u"上午的工作\n下午的工作"_s}}));
        QCOMPARE(dailytab::history(db.check(), u"2026-12-08"_s).size(), 3);
    }

    // A lock held for a while by another program when the window opens: the check waits
    // for it (the program stays responsive meanwhile) and finds yesterday's entry.
    void open_waitsOutALockOnTheFile()
    {
        TempDb db;
        db.exec(u"insert into daily_tab values('2026-12-07', '昨天写了')"_s);
        db.openShared();
        db.exec(u"begin exclusive"_s);
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start(50);
        QTimer::singleShot(1500, this, [&db] { db.exec(u"rollback"_s); });
        dailyfrm f;
        QVERIFY(f.Form_Load());
        QCOMPARE(stateOf(f), (State{u"2026-12-08"_s, false, true, true, false, 1}));
        // A 50 ms timer over a 1.5 s wait: a few of its ticks prove the loop ran, however
        // slowly a loaded machine runs it.
        QVERIFY2(ticks >= 3, "events ran while the check waited");
    }

    // A lock that outlasts the wait counts as a missing entry, as before; the save in
    // yesterday mode then finds yesterday's entry and adds the new text after it.
    void yesterdayMode_addsToAnEntryALockHid()
    {
        TempDb db;
        db.exec(u"insert into daily_tab values('2026-12-07', '昨天写了')"_s);
        db.openShared();
        const int patience = cardmodul::patienceMs();
        cardmodul::setPatienceMs(400);
        db.exec(u"begin exclusive"_s);
        boxes().expect(box(kYesterday, Buttons::OK, Icon::None, true));
        dailyfrm f;
        QVERIFY(f.Form_Load());
        db.exec(u"rollback"_s);
        cardmodul::setPatienceMs(patience);
        QCOMPARE(stateOf(f), (State{u"2026-12-07"_s, false, false, false, true, 3}));
        f.logtxt->setPlainText(u"补记"_s);
        boxes().expect(box(kSaved, Buttons::OK, Icon::None, true));
        f.dailycmd->click();
        QCOMPARE(db.rows(u"select daily_desc from daily_tab where daily_date='2026-12-07'"_s),
                 (QList<QStringList>{{u"昨天写了\n\n补记"_s}}));
        QCOMPARE(db.rows(u"select daily_desc from daily_hist"_s),
                 (QList<QStringList>{{u"昨天写了"_s}}));
    }

    void query_findsByTypedDate_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("found");
        QTest::newRow("date text") << u"2026-11-03"_s << true;
        QTest::newRow("one-digit month and day") << u"2026-11-3"_s << true;
        QTest::newRow("slashes") << u"2026/11/03"_s << true;
        QTest::newRow("no entry") << u"2026-11-04"_s << false;
        QTest::newRow("not a date") << u"昨天"_s << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("apostrophe") << u"2026-11-03' or '1'='1"_s << false;
    }
    void query_findsByTypedDate()
    {
        QFETCH(QString, typed);
        QFETCH(bool, found);
        TempDb db;
        db.exec(u"insert into daily_tab values('2026-12-07', 'x')"_s);
        db.exec(u"insert into daily_tab values('2026-11-03', ?)"_s, {u"那天\n的事"_s});
        dailyfrm f;
        QVERIFY(f.Form_Load());
        f.Option2->click();
        QVERIFY(f.datetxt->isEnabled());
        QCOMPARE(f.datetxt->text(), u"2026-12-08"_s); // the text is kept
        f.datetxt->setText(typed);
        f.logtxt->setPlainText(u"草稿"_s);
        if (!found)
            boxes().expect(box(kNotFound, Buttons::OK, Icon::None, true));
        f.dailycmd->click();
        CT_VERIFY_BOXES(boxes());
        QCOMPARE(f.datetxt->text(), found ? u"2026-11-03"_s : typed);
        QCOMPARE(f.logtxt->toPlainText(), found ? u"那天\n的事"_s : u"草稿"_s);
        QCOMPARE(db.count(u"daily_tab"_s), 2);

        // Back to new mode: today's date, the text stays.
        const QString shown = f.logtxt->toPlainText();
        f.Option1->click();
        QCOMPARE(stateOf(f), (State{u"2026-12-08"_s, false, true, true, false, 1}));
        QCOMPARE(f.logtxt->toPlainText(), shown);
    }

    void query_entryWithoutText_showsEmpty()
    {
        TempDb db;
        db.exec(u"insert into daily_tab values('2026-12-07', null)"_s);
        dailyfrm f;
        QVERIFY(f.Form_Load());
        f.Option2->click();
        f.datetxt->setText(u"2026-12-07"_s);
        f.logtxt->setPlainText(u"草稿"_s);
        f.dailycmd->click();
        QCOMPARE(f.logtxt->toPlainText(), QString());
        CT_VERIFY_BOXES(boxes());
    }

    void failure_showsTheRunErrorAndKeepsTheBoxes()
    {
        TempDb db;
        db.exec(u"insert into daily_tab values('2026-12-07', 'x')"_s);
        dailyfrm f;
        QVERIFY(f.Form_Load());
        f.logtxt->setPlainText(u"写不进去"_s);
        // Another program holds a write lock on the file.
        adodb::Connection::setBusyTimeout(100);
        db.exec(u"begin exclusive"_s);
        boxes().expect(box(
            u"程序运行错误：5数据库文件正被另一个程序锁定，请稍后再试（database is locked）"_s));
        f.dailycmd->click();
        db.exec(u"rollback"_s);
        adodb::Connection::setBusyTimeout(5000);
        QCOMPARE(stateOf(f), (State{u"2026-12-08"_s, false, true, true, false, 1}));
        QCOMPARE(f.logtxt->toPlainText(), u"写不进去"_s);
        CT_VERIFY_BOXES(boxes());
    }

    // The main window's tick opens the diary window while yesterday's entry is missing,
    // on every tick, until it is written.
    void tick_opensTheDiaryUntilYesterdayIsWritten()
    {
        TempDb db;
        db.openShared();
        mainfrm w;
        int opened = 0;
        bool writeIt = false;
        w.setOpener(mainfrm::Window::Log, [&](QWidget*) {
            ++opened;
            dailyfrm f;
            QVERIFY(f.Form_Load());
            if (writeIt) {
                f.logtxt->setPlainText(u"补写"_s);
                f.dailycmd->click();
            }
        });
        boxes().expect(box(kYesterday, Buttons::OK, Icon::None, true));
        w.Timer1_Timer();
        QCOMPARE(opened, 1);
        QVERIFY(w.isMinimized() || w.windowState().testFlag(Qt::WindowMinimized));
        boxes().expect(box(kYesterday, Buttons::OK, Icon::None, true));
        boxes().expect(box(kSaved, Buttons::OK, Icon::None, true));
        writeIt = true;
        w.Timer1_Timer();
        QCOMPARE(opened, 2);
        w.Timer1_Timer();
        QCOMPARE(opened, 2);
        QCOMPARE(db.rows(u"select * from daily_tab"_s),
                 (QList<QStringList>{{u"2026-12-07"_s, u"补写"_s}}));
        CT_VERIFY_BOXES(boxes());
    }
};

QTEST_MAIN(tst_dailyfrm)
#include "tst_dailyfrm.moc"
