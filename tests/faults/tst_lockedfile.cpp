// The database file locked by another process: at start-up, under every write of the
// windows, and while the diary window opens. The user is told once that the file is
// locked, nothing is written meanwhile, and the same action succeeds once the lock is
// gone.

#include "diary/dailyfrm.h"
#include "platform/clock.h"
#include "tests/faults/faultkit.h"
#include "tests/faults/saves.h"
#include "tests/support/testsupport.h"

#include <QLineEdit>
#include <QPlainTextEdit>
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
        faults::seedRows(m_db->check());
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
        cardmodul::preopen(cardmodul::tellDamage);
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
        for (const QString& w : faults::saveNames()) {
            QTest::addRow("%s, another program writes", qPrintable(w)) << w << true;
            QTest::addRow("%s, another program reads", qPrintable(w)) << w << false;
        }
    }
    void writeWhileLocked()
    {
        QFETCH(QString, write);
        QFETCH(bool, exclusive);
        m_db->openShared();
        faults::Save save = faults::prepareSave(write);
        const QList<QStringList> before = faults::everything(m_db->check());
        const QByteArray bytes = faults::digest(m_db->file());
        {
            LockHolder holder(m_db->file(),
                              exclusive ? LockHolder::Kind::Exclusive : LockHolder::Kind::Shared);
            QVERIFY2(holder.holding(), qPrintable(holder.problem()));
            for (const msgbox::Box& b : std::as_const(save.asked))
                boxes().expect(b);
            boxes().expect(box(kLocked));
            save.act();
            CT_VERIFY_BOXES(boxes());
            QCOMPARE(faults::digest(m_db->file()), bytes);
        }
        QCOMPARE(faults::everything(m_db->check()), before);
        QCOMPARE(faults::filesIn(m_db->dir()), QStringList{cardmodul::kDbFileName});
        const faults::Run check = faults::ctdbCheck(m_db->dir());
        QVERIFY2(check.code == 0, qPrintable(check.err));

        // Tried again as the box says: stored, once.
        boxes().reset();
        for (const msgbox::Box& b : std::as_const(save.asked))
            boxes().expect(b);
        boxes().expect(box(save.done));
        save.act();
        CT_VERIFY_BOXES(boxes());
        QVERIFY(save.inFile(m_db->check()));
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
        // A wait long enough for any lock that ends, or one the lock surely outlasts.
        cardmodul::setPatienceMs(outlastsTheWait ? 600 : 120000);
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
