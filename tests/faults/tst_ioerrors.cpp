// Injected I/O errors: through one save of each window the n-th write, or the n-th sync,
// fails, for n = 1, 2, … until the save needs no more. After each the user has seen the
// run-error box, and the file, opened again past the failing layer, is sound and holds
// everything but the failed save.

#include "platform/clock.h"
#include "tests/faults/faultkit.h"
#include "tests/faults/faultvfs.h"
#include "tests/faults/saves.h"
#include "tests/support/testsupport.h"

#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;
using faultvfs::Op;
using testsupport::box;
using testsupport::TempDb;

namespace {
const QDateTime kNow(QDate(2026, 12, 8), QTime(10, 0));

QStringList integrity(adodb::Connection& c)
{
    adodb::Recordset rs;
    rs.Open(u"PRAGMA integrity_check"_s, c);
    QStringList out;
    for (; !rs.eof(); rs.MoveNext())
        out << rs.Fields(0).text();
    return out;
}
} // namespace

class tst_ioerrors : public testsupport::BoxTest {
    Q_OBJECT
    int m_injected = 0;
    QString m_problem; // what went wrong in the last save, if anything

    // One save with the n-th call of op failing. True when the save made fewer calls
    // than n (and so went through), or something went wrong (m_problem says what).
    bool saveFailingAt(const QString& name, Op op, int n)
    {
        faultvfs::install();
        TempDb db;
        faults::seedRows(db.check());
        db.openShared();
        faults::Save save = faults::prepareSave(name);
        const QList<QStringList> before = faults::everything(db.check());
        for (const msgbox::Box& b : std::as_const(save.asked))
            boxes().expect(b);
        boxes().expectBeginning(box(QString())); // the save's own box, read below
        faultvfs::failNth(op, n);
        save.act();
        faultvfs::disarm();
        const bool struck = faultvfs::failed();
        [&] { CT_VERIFY_BOXES(boxes()); }();
        const QString shown = boxes().seen().isEmpty() ? QString() : boxes().seen().last().text;
        boxes().reset();
        save.window.reset();
        cardmodul::resetdb();

        // Opened again through the engine's own file layer.
        faultvfs::uninstall();
        adodb::Connection c;
        c.Open(cardmodul::connectionText());
        const QString where =
            u"%1, %2 %3: "_s.arg(name, op == Op::Write ? u"write"_s : u"sync"_s).arg(n);
        if (integrity(c) != QStringList{u"ok"_s})
            m_problem = where + integrity(c).join(u"; "_s);
        if (struck) {
            ++m_injected;
            static const QRegularExpression runError(
                u"^程序运行错误：(\\d+)读写数据库文件时出错，操作没有完成。请检查磁盘后再试（.+）$"_s);
            const auto m = runError.match(shown);
            if (!m.hasMatch() || (m.captured(1).toInt() & 0xff) != 10)
                m_problem = where + u"shown “"_s + shown + u"”"_s;
            else if (faults::everything(c) != before || save.inFile(c))
                m_problem = where + u"the rows changed"_s;
        } else if (shown != save.done || !save.inFile(c)) {
            m_problem = where + u"the save without a failure: “"_s + shown + u"”"_s;
        }
        return !struck || !m_problem.isEmpty();
    }

private Q_SLOTS:
    void initTestCase() { faultvfs::install(); }
    void cleanupTestCase() { faultvfs::uninstall(); }

    void failedWriteOrSync_losesOnlyThatSave_data()
    {
        QTest::addColumn<QString>("save");
        QTest::addColumn<bool>("sync");
        for (const QString& s : faults::saveNames()) {
            QTest::addRow("%s, a write fails", qPrintable(s)) << s << false;
            QTest::addRow("%s, a sync fails", qPrintable(s)) << s << true;
        }
    }
    void failedWriteOrSync_losesOnlyThatSave()
    {
        QFETCH(QString, save);
        QFETCH(bool, sync);
        ctclock::FixedClock clock(kNow);
        m_injected = 0;
        m_problem.clear();
        int n = 1;
        while (!saveFailingAt(save, sync ? Op::Sync : Op::Write, n))
            QVERIFY2(++n < 500, "the save never ends");
        QVERIFY2(m_problem.isEmpty(), qPrintable(m_problem));
        qInfo("%d failures injected, one at each call", m_injected);
        // A save writes its journal and the file and syncs both.
        QVERIFY(m_injected >= 2);
    }
};

QTEST_MAIN(tst_ioerrors)
#include "tst_ioerrors.moc"
