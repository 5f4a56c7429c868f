// The database file locked by another process: at start-up, under every write of the
// windows, and while the diary window opens. The user is told once that the file is
// locked, nothing is written meanwhile, and the same action succeeds once the lock is
// gone.

#include "app/modul/tables.h"
#include "cards/cardmain.h"
#include "diary/dailyfrm.h"
#include "meetings/meetfrm.h"
#include "platform/clock.h"
#include "platform/grid.h"
#include "tests/faults/faultkit.h"
#include "tests/support/testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using faults::LockHolder;
using msgbox::Buttons;
using msgbox::Icon;
using testsupport::box;
using testsupport::TempDb;

namespace {
const QDateTime kNow(QDate(2026, 12, 8), QTime(10, 0));
const QString kLocked =
    u"程序运行错误：5数据库文件正被另一个程序锁定，请稍后再试（database is locked）"_s;
const QString kYesterday = u"请记昨天的工作日记！"_s;
const QString kDiarySaved = u"日记记录成功！"_s;
constexpr int kBusyMs = 300;

// Everything the file holds, table by table.
QList<QStringList> everything(TempDb& db)
{
    QList<QStringList> all;
    for (const QString& t : {u"cardtab"_s, u"meet_tab"_s, u"daily_tab"_s, u"daily_hist"_s}) {
        all << QStringList{t};
        all += db.rows(u"select * from "_s + t + u" order by 1"_s);
    }
    return all;
}
} // namespace

class tst_lockedfile : public testsupport::BoxTest {
    Q_OBJECT
    std::unique_ptr<TempDb> m_db;
    std::unique_ptr<ctclock::FixedClock> m_clock;

    void initTest() override
    {
        adodb::Connection::setBusyTimeout(kBusyMs);
        m_clock = std::make_unique<ctclock::FixedClock>(kNow);
        m_db = std::make_unique<TempDb>();
        QStringList card{cardmodul::namcode(u"张三"_s)};
        for (int c = 2; c < tables::kCardColumns; ++c)
            card << u"旧%1"_s.arg(c);
        QVariantList params;
        for (const QString& v : card)
            params << v;
        QStringList cols;
        for (int c = 1; c < tables::kCardColumns; ++c)
            cols << tables::cardColumns()[std::size_t(c)];
        m_db->exec(
            u"insert into cardtab (%1) values (?%2)"_s.arg(cols.join(u','), u",?"_s.repeated(20)),
            params);
        m_db->exec(u"insert into meet_tab (record_date,meet_cont,meet_addr,meet_date,go_hour,"
                   "go_second) values ('2026-12-08','周会','三楼','2026-12-09',9,30)"_s);
        m_db->exec(u"insert into daily_tab values ('2026-12-07', '昨天写了')"_s);
    }
    void cleanupTest() override
    {
        m_db.reset();
        m_clock.reset();
        adodb::Connection::setBusyTimeout(3000);
    }

private Q_SLOTS:
    // Another program writing holds the file when the program starts: one Connection
    // Error box that says so; ctdb check says so too; the file is untouched.
    void lockedAtStartUp()
    {
        const QByteArray before = faults::digest(m_db->file());
        LockHolder holder(m_db->file(), LockHolder::Kind::Exclusive);
        QVERIFY2(holder.holding(), qPrintable(holder.problem()));
        boxes().expect(
            box(u"数据库文件“%1”正被另一个程序锁定，请稍后再试（database is locked）。"_s.arg(
                    m_db->file()),
                Buttons::OK, Icon::Exclamation, false, u"Connection Error"_s));
        cardmodul::preopen();
        QVERIFY(!cardmodul::opendb());
        CT_VERIFY_BOXES(boxes());
        const faults::Run check = faults::ctdbCheck(m_db->dir());
        QCOMPARE(check.code, 1);
        QVERIFY2(check.err.contains(u"正被另一个程序锁定"_s), qPrintable(check.err));
        holder.release();
        QCOMPARE(faults::digest(m_db->file()), before);
        // The next window that opens finds the file free.
        QVERIFY(cardmodul::windowdb());
    }

    // Each write of the windows while another program holds a lock: one run-error box
    // that says the file is locked, nothing written, the file unchanged; then the same
    // action, tried again, is stored once.
    void writeWhileLocked_data()
    {
        QTest::addColumn<QString>("write");
        QTest::addColumn<bool>("exclusive");
        for (const QString& w : {u"card add"_s, u"card change"_s, u"card delete"_s,
                                 u"meeting add"_s, u"meeting change"_s, u"diary save"_s}) {
            QTest::addRow("%s, another program writes", qPrintable(w)) << w << true;
            QTest::addRow("%s, another program reads", qPrintable(w)) << w << false;
        }
    }
    void writeWhileLocked()
    {
        QFETCH(QString, write);
        QFETCH(bool, exclusive);
        m_db->openShared();
        std::function<void()> act;
        QList<msgbox::Box> asked; // the questions before the write
        QString done;             // the success box
        std::unique_ptr<QDialog> window;
        if (write.startsWith(u"card")) {
            auto* f = new cardmain;
            window.reset(f);
            f->Form_Load();
            f->MSFcard->setRow(1);
            f->MSFcard_Click();
            if (write == u"card add") {
                f->nametxt->setText(u"李四"_s);
                f->o_phonetxt->setText(u"6666"_s);
                act = [f] { f->Newcmd_Click(); };
                done = u"纪录被成功增加"_s;
            } else if (write == u"card change") {
                f->mobiletxt->setText(u"13900000000"_s);
                asked << box(u"确定修改：张三 的通讯地址！"_s, Buttons::OKCancel);
                act = [f] { f->Command2_Click(); };
                done = u"修改成功！"_s;
            } else {
                asked << box(u"确定删除名片—姓名：张三"_s, Buttons::OKCancel);
                act = [f] { f->Command3_Click(); };
                done = u"记录被成功删除"_s;
            }
        } else if (write.startsWith(u"meeting")) {
            auto* f = new meetfrm;
            window.reset(f);
            f->Form_Load();
            f->meettxt->setText(u"周会"_s);
            f->addrtxt->setText(u"五楼"_s);
            f->meetdaytxt->setText(u"2026-12-10"_s);
            f->hCombo->setEditText(u"8"_s);
            f->sCombo->setEditText(u"15"_s);
            if (write == u"meeting add") {
                act = [f] { f->addcmd_Click(); };
                done = u"纪录增加成功！"_s;
            } else {
                f->Check1->click();
                act = [f] { f->revisecmd_Click(); };
                done = u"成功修改纪录！"_s;
            }
        } else {
            auto* f = new dailyfrm;
            window.reset(f);
            QVERIFY(f->Form_Load());
            f->logtxt->setPlainText(u"今天的工作"_s);
            act = [f] { f->dailycmd_Click(); };
            done = kDiarySaved;
        }
        const QList<QStringList> before = everything(*m_db);
        const QByteArray bytes = faults::digest(m_db->file());
        {
            LockHolder holder(m_db->file(),
                              exclusive ? LockHolder::Kind::Exclusive : LockHolder::Kind::Shared);
            QVERIFY2(holder.holding(), qPrintable(holder.problem()));
            for (const msgbox::Box& b : std::as_const(asked))
                boxes().expect(b);
            boxes().expect(box(kLocked));
            act();
            CT_VERIFY_BOXES(boxes());
            QCOMPARE(faults::digest(m_db->file()), bytes);
        }
        QCOMPARE(everything(*m_db), before);
        QCOMPARE(faults::filesIn(m_db->dir()), QStringList{cardmodul::kDbFileName});
        const faults::Run check = faults::ctdbCheck(m_db->dir());
        QVERIFY2(check.code == 0, qPrintable(check.err));

        // Tried again as the box says: stored, once.
        boxes().reset();
        for (const msgbox::Box& b : std::as_const(asked))
            boxes().expect(b);
        boxes().expect(box(done));
        act();
        CT_VERIFY_BOXES(boxes());
        const QList<QStringList> after = everything(*m_db);
        QVERIFY(after != before);
        if (write == u"card add")
            QCOMPARE(m_db->count(u"cardtab"_s), 2);
        else if (write == u"card change")
            QCOMPARE(m_db->rows(u"select mobile from cardtab"_s),
                     (QList<QStringList>{{u"13900000000"_s}}));
        else if (write == u"card delete")
            QCOMPARE(m_db->count(u"cardtab"_s), 0);
        else if (write == u"meeting add")
            QCOMPARE(m_db->count(u"meet_tab"_s), 2);
        else if (write == u"meeting change")
            QCOMPARE(m_db->rows(u"select meet_addr, meet_date from meet_tab"_s),
                     (QList<QStringList>{{u"五楼"_s, u"2026-12-10"_s}}));
        else
            QCOMPARE(m_db->rows(u"select daily_desc from daily_tab where daily_date=?"_s,
                                {u"2026-12-08"_s}),
                     (QList<QStringList>{{u"今天的工作"_s}}));
    }

    // The diary window opens while another program holds the file. A lock that ends
    // within the window's wait: yesterday's entry is found. One that outlasts it: the
    // window asks for yesterday's entry, and the save adds to the entry the lock hid.
    void diaryOpensDuringALock_data()
    {
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<bool>("outlastsTheWait");
        QTest::newRow("lock ends within the wait") << 800 << false;
        QTest::newRow("lock outlasts the wait") << 1500 << true;
    }
    void diaryOpensDuringALock()
    {
        QFETCH(int, holdMs);
        QFETCH(bool, outlastsTheWait);
        m_db->openShared();
        const int patience = cardmodul::patienceMs();
        cardmodul::setPatienceMs(outlastsTheWait ? 600 : 5000);
        LockHolder holder(m_db->file(), LockHolder::Kind::Exclusive);
        QVERIFY2(holder.holding(), qPrintable(holder.problem()));
        QTimer::singleShot(holdMs, this, [&holder] { holder.release(); });
        if (outlastsTheWait)
            boxes().expect(box(kYesterday, Buttons::OK, Icon::None, true));
        dailyfrm f;
        QVERIFY(f.Form_Load());
        cardmodul::setPatienceMs(patience);
        CT_VERIFY_BOXES(boxes());
        QCOMPARE(f.datetxt->text(), outlastsTheWait ? u"2026-12-07"_s : u"2026-12-08"_s);
        QTRY_VERIFY_WITH_TIMEOUT(!holder.holding(), 5000);

        f.logtxt->setPlainText(u"补记"_s);
        boxes().expect(box(kDiarySaved, Buttons::OK, Icon::None, outlastsTheWait));
        f.dailycmd_Click();
        CT_VERIFY_BOXES(boxes());
        if (outlastsTheWait) {
            QCOMPARE(m_db->rows(u"select daily_date, daily_desc from daily_tab order by 1"_s),
                     (QList<QStringList>{{u"2026-12-07"_s, u"昨天写了\n\n补记"_s}}));
            QCOMPARE(m_db->rows(u"select daily_desc from daily_hist"_s),
                     (QList<QStringList>{{u"昨天写了"_s}}));
        } else {
            QCOMPARE(m_db->rows(u"select daily_date, daily_desc from daily_tab order by 1"_s),
                     (QList<QStringList>{{u"2026-12-07"_s, u"昨天写了"_s},
                                         {u"2026-12-08"_s, u"补记"_s}}));
        }
        QCOMPARE(faults::ctdbCheck(m_db->dir()).code, 0);
    }
};

QTEST_MAIN(tst_lockedfile)
#include "tst_lockedfile.moc"
