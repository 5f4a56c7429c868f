// The windows as the desktop shows them: one Song face at 9 points everywhere, keys as
// on the designed desktop, the diary ready for writing, the meeting grid's designed
// widths wide enough for its dates and times, the manual without a sideways scroll bar.

#include "app/mainfrm.h"
#include "cards/cardmain.h"
#include "diary/dailyfrm.h"
#include "help/frmabout.h"
#include "help/helpfrm.h"
#include "meetings/meetfrm.h"
#include "platform/appinfo.h"
#include "platform/clock.h"
#include "tests/support/testsupport.h"
#include "widgets/form.h"
#include "widgets/grid.h"
#include "widgets/twips.h"

#include <QApplication>
#include <QFontInfo>
#include <QIcon>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using testsupport::TempDb;

namespace {
using Make = std::function<std::unique_ptr<QDialog>()>;
template <typename T> Make make()
{
    return [] { return std::make_unique<T>(); };
}
} // namespace

Q_DECLARE_METATYPE(Make)

class tst_desktop : public testsupport::BoxTest {
    Q_OBJECT
    std::unique_ptr<TempDb> m_db;

    void initTest() override
    {
        m_db = std::make_unique<TempDb>();
        m_db->openShared();
    }
    void cleanupTest() override { m_db.reset(); }

    static void windows()
    {
        QTest::addColumn<Make>("make");
        QTest::newRow("名片管理") << make<cardmain>();
        QTest::newRow("会议/约会") << make<meetfrm>();
        QTest::newRow("工作日志") << make<dailyfrm>();
        QTest::newRow("澄桐工作管理软件使用说明书") << make<helpfrm>();
        QTest::newRow("关于 澄桐工作管理") << make<frmAbout>();
    }

private Q_SLOTS:
    void initTestCase() { form::useSongFont(); }

    void everyWindow_showsOneSongFaceAtNinePoints_data() { windows(); }
    void everyWindow_showsOneSongFaceAtNinePoints()
    {
        QFETCH(Make, make);
        const auto w = make();
        QCOMPARE(QFontInfo(w->font()).pointSize(), 9);
        QList<QWidget*> all = w->findChildren<QWidget*>();
        all << w.get();
        for (QWidget* c : std::as_const(all)) {
            const QFontInfo fi(c->font());
            QVERIFY2(fi.family() == u"Noto Serif CJK SC"_s,
                     qPrintable(c->objectName() + u": "_s + fi.family()));
        }
        QMessageBox box;
        QCOMPARE(QFontInfo(box.font()).family(), u"Noto Serif CJK SC"_s);
        QMenuBar bar;
        QCOMPARE(QFontInfo(bar.font()).family(), u"Noto Serif CJK SC"_s);
    }

    // Esc, which a dialog takes for its cancel key, leaves every window open.
    void everyWindow_staysOpenOnEscape_data() { windows(); }
    void everyWindow_staysOpenOnEscape()
    {
        QFETCH(Make, make);
        const auto w = make();
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : w.get();
        QTest::keyClick(focus, Qt::Key_Escape);
        QTest::keyClick(w.get(), Qt::Key_Escape);
        QVERIFY(w->isVisible());
    }

    // Enter on the focused exit button presses it; Enter in a text box does nothing.
    void exitButtons_pressedByEnter()
    {
        cardmain card;
        card.show();
        QVERIFY(QTest::qWaitForWindowActive(&card));
        card.nametxt->setFocus();
        QTest::keyClick(card.nametxt, Qt::Key_Return);
        QVERIFY(card.isVisible());
        card.Command4->setFocus();
        QTest::keyClick(card.Command4, Qt::Key_Return);
        QVERIFY(!card.isVisible());

        meetfrm meet;
        meet.show();
        QVERIFY(QTest::qWaitForWindowActive(&meet));
        meet.exitcmd->setFocus();
        QTest::keyClick(meet.exitcmd, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(!meet.isVisible());
    }

    // The diary opens with the focus in its text; Tab there moves on and types nothing.
    void diary_opensInItsTextAndTabMovesOn()
    {
        m_db->exec(u"insert into daily_tab values('2026-12-07', 'x')"_s);
        const ctclock::FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(9, 0)));
        dailyfrm f;
        QVERIFY(f.Form_Load());
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        QCOMPARE(QApplication::focusWidget(), f.logtxt);
        QTest::keyClicks(f.logtxt, u"meeting at nine"_s);
        QTest::keyClick(f.logtxt, Qt::Key_Tab);
        QCOMPARE(f.logtxt->toPlainText(), u"meeting at nine"_s);
        QVERIFY(QApplication::focusWidget() != f.logtxt);
    }

    // The designed widths hold the longest date and time whole, without eliding.
    void meetingGrid_designedWidthsHoldDatesAndTimes()
    {
        m_db->exec(u"insert into meet_tab (record_date,meet_cont,meet_addr,meet_date,go_hour,"
                   "go_second) values ('2026-12-08','评审','二楼','2026-12-28',23,55)"_s);
        meetfrm f;
        f.Form_Load();
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.Option1->setChecked(true);
        f.meetdaytxt->setText(u"2026-12-28"_s);
        f.findcmd_Click();
        ct::GridView* g = f.MSFmeet;
        QCOMPARE(g->grid()->TextMatrix(1, 5), u"23：55"_s);
        for (int col : {1, 4, 5}) {
            const QModelIndex i = g->grid()->index(0, col);
            QStyleOptionViewItem option;
            option.initFrom(g->viewport());
            option.font = g->font();
            option.fontMetrics = QFontMetrics(option.font);
            const int need = g->itemDelegate()->sizeHint(option, i).width();
            QVERIFY2(need <= g->columnWidth(col),
                     qPrintable(u"column %1 needs %2 px, has %3"_s.arg(col).arg(need).arg(
                         g->columnWidth(col))));
            QCOMPARE(g->columnWidth(col), twips::toPx(meetfrm::kGridTwips[std::size_t(col)]));
        }
    }

    // The main window's pictures and the program icon come drawn at twice their size too,
    // for screens that show two pixels for one.
    void images_shipAtTwiceTheirSize()
    {
        mainfrm main;
        QList<std::pair<QIcon, QSize>> icons{{main.windowIcon(), QSize(64, 64)}};
        const std::pair<const char*, QSize> shortcuts[] = {
            {"Picture1", QSize(48, 36)}, {"Picture2", QSize(40, 40)}, {"Picture3", QSize(40, 36)}};
        for (const auto& [name, size] : shortcuts)
            icons << std::pair{testsupport::child<QToolButton>(&main, name)->icon(), size};
        for (const auto& [icon, size] : std::as_const(icons)) {
            const QList<QSize> sizes = icon.availableSizes();
            QVERIFY2(sizes.contains(size) && sizes.contains(size * 2),
                     qPrintable(u"%1 sizes, the first %2 wide"_s.arg(sizes.size())
                                    .arg(sizes.value(0).width())));
            const QImage one = icon.pixmap(size, 1.0).toImage();
            const QImage two = icon.pixmap(size, 2.0).toImage();
            QCOMPARE(two.size(), size * 2);
            // Drawn afresh, not the small one enlarged.
            QVERIFY(two != one.scaled(size * 2).convertToFormat(two.format()));
        }
    }

    // At its designed size the manual's pages need no sideways scrolling.
    void help_noHorizontalScrollBarAtTheDesignedSize()
    {
        appinfo::setExeDir(QStringLiteral(CT_HELP_SOURCE_DIR));
        helpfrm f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(f.size(), QSize(twips::toPx(10485), twips::toPx(5550)));
        QTextBrowser* v = f.WebBrowser1;
        QTRY_VERIFY(v->verticalScrollBar()->maximum() > 0); // the manual is shown
        const QSizeF page = v->document()->size();          // laid out to its end
        QVERIFY2(page.width() <= v->viewport()->width(),
                 qPrintable(u"the page is %1 px wide, the view %2"_s.arg(page.width())
                                .arg(v->viewport()->width())));
        // The bars follow the page laid out to its end (both set at once).
        QTRY_COMPARE(v->verticalScrollBar()->maximum() + v->viewport()->height(),
                     page.toSize().height());
        QCOMPARE(v->horizontalScrollBar()->maximum(), 0);
        appinfo::setExeDir({});
    }
};

QTEST_MAIN(tst_desktop)
#include "tst_desktop.moc"
