// The card window: the list it fills, lookup and picking, adding, changing, deleting and
// stepping, with every message box in order and the table's rows afterwards.

#include "app/mainfrm.h"
#include "cards/cardmain.h"
#include "modul/cardtab.h"
#include "modul/tables.h"
#include "tests/support/testsupport.h"
#include "widgets/grid.h"
#include "widgets/twips.h"

#include <QAbstractItemModelTester>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using cardmodul::namcode;
using msgbox::Buttons;
using msgbox::Result;
using testsupport::box;
using testsupport::TempDb;

namespace {
const QString kLast = u"已经是最后一条记录，请重新查询！"_s;
const QString kFirst = u"已经上最上一条记录，请重新查询！"_s;
const QString kNotSaved = u"名片未保存，清重新输入相关信息！"_s;
const QString kAdded = u"纪录被成功增加"_s;
const QString kSame = u"相同姓名的人已存在，是否增加！"_s;

QStringList boxTexts(const cardmain& f)
{
    QStringList out;
    for (int c = 0; c < tables::kCardColumns; ++c)
        out << f.boxText(c);
    return out;
}

QStringList rowTexts(const cardmain& f, int r)
{
    QStringList out;
    for (int c = 0; c < tables::kCardColumns; ++c)
        out << f.MSFcard->grid()->TextMatrix(r, c);
    return out;
}

// The card list's heading row, as designed.
const QStringList kHeadings = {
    u"序号"_s,     u"姓名"_s,      u"单位"_s,     u"职称"_s,       u"性别"_s,     u"民族"_s,
    u"年龄"_s,     u"血型"_s,      u"单位地址"_s, u"办公室电话"_s, u"传真号码"_s, u"单位邮编"_s,
    u"单位网址"_s, u"EMAIL地址"_s, u"手机"_s,     u"呼机"_s,       u"家庭地址"_s, u"家庭电话"_s,
    u"家庭邮编"_s, u"QQ号"_s,      u"网名"_s,     u"说明"_s};
} // namespace

class tst_cardmain : public testsupport::BoxTest {
    Q_OBJECT
    std::unique_ptr<TempDb> m_db;

    qint64 card(const QString& name, const QString& phone = u"010-1"_s, const QString& mobile = {})
    {
        m_db->exec(u"insert into cardtab (full_nam, off_nam, o_phone, mobile, note) "
                   "values (?, ?, ?, ?, ?)"_s,
                   QVariantList{namcode(name), QString(u"单位"_s + name), phone, mobile,
                                QString(u"说明"_s + name)});
        return m_db->check().lastInsertId();
    }
    void cards(int n)
    {
        for (int i = 1; i <= n; ++i)
            card(u"人%1"_s.arg(i));
    }
    QList<QStringList> stored(const QString& cols = u"*"_s)
    {
        return m_db->rows(u"select "_s + cols + u" from cardtab order by serno"_s);
    }
    // The window as the program opens it.
    std::unique_ptr<cardmain> open()
    {
        auto f = std::make_unique<cardmain>();
        new QAbstractItemModelTester(
            f->MSFcard->grid(), QAbstractItemModelTester::FailureReportingMode::QtTest, f.get());
        f->Form_Load();
        return f;
    }
    void expect(const QString& text, Buttons b = Buttons::OK, Result answer = Result::OK)
    {
        expectBox(text, b, answer);
    }
    static void fillCard(cardmain& f, const QString& name, const QString& phone)
    {
        f.nametxt->setText(name);
        f.o_phonetxt->setText(phone);
    }

    void initTest() override
    {
        m_db = std::make_unique<TempDb>();
        m_db->openShared();
    }
    void cleanupTest() override { m_db.reset(); }

private Q_SLOTS:

    // ---- the window and its fill -------------------------------------------------------

    void window_hasItsControlsAsDesigned()
    {
        auto f = open();
        QCOMPARE(f->windowTitle(), u"名片管理"_s);
        QVERIFY(f->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(f->SSTab1->count(), 4);
        QStringList tabs;
        for (int i = 0; i < 4; ++i)
            tabs << f->SSTab1->tabText(i);
        QCOMPARE(tabs, (QStringList{u"基本资料"_s, u"联络资料"_s, u"其他"_s, u"名片总览"_s}));
        QCOMPARE(f->SSTab1->currentIndex(), 0);
        QCOMPARE(f->sernotxt->palette().color(QPalette::Base),
                 f->sernotxt->palette().color(QPalette::Window));
        QCOMPARE(f->MSFcard->grid()->Rows(), 2);
        QCOMPARE(f->MSFcard->grid()->Cols(), 22);
        QCOMPARE(rowTexts(*f, 0), kHeadings);
        QCOMPARE(boxTexts(*f), QStringList(22, QString()));

        const QList<std::pair<const char*, QString>> buttons = {
            {"Newcmd", u"添加名片"_s},   {"Command2", u"名片修改"_s}, {"Command3", u"删除名片"_s},
            {"Command7", u"名片查询"_s}, {"Command5", u"下一条"_s},   {"Command6", u"上一条"_s},
            {"Command4", u"退  出"_s},   {"findnamcmd", u"查  找"_s}};
        for (const auto& [name, caption] : buttons) {
            auto* b = testsupport::child<QPushButton>(f.get(), name);
            QCOMPARE(b->text(), caption);
            QCOMPARE(b->accessibleName(), caption);
        }
    }

    void window_namesEveryBoxByItsLabel_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("label");
        const char* names[] = {"nametxt",      "off_namtxt",  "statustxt",    "glendertxt",
                               "nationtxt",    "agetxt",      "blood_typtxt", "off_addrtxt",
                               "o_phonetxt",   "fax_codetxt", "off_ziptxt",   "web_addrtxt",
                               "mail_addrtxt", "mobiletxt",   "call_codetxt", "home_addrtxt",
                               "h_phonetxt",   "h_ziptxt",    "qqtxt",        "web_namtxt",
                               "othertxt",     "findnamtxt"};
        const QStringList labels = {
            u"姓  名"_s, u"单  位"_s,   u"职  务"_s,   u"性  别"_s,   u"民  族"_s,   u"年  龄"_s,
            u"血  型"_s, u"单位地址"_s, u"单位电话"_s, u"传真号码"_s, u"单位邮编"_s, u"单位网址"_s,
            u"E_MAIL"_s, u"手   机"_s,  u"呼    机"_s, u"家庭地址"_s, u"家庭电话"_s, u"家庭邮编"_s,
            u"QQ号"_s,   u"网    名"_s, u" 备  注"_s,  u"姓名："_s};
        for (int i = 0; i < labels.size(); ++i)
            QTest::newRow(names[i]) << QString::fromLatin1(names[i]) << labels[i];
    }
    void window_namesEveryBoxByItsLabel()
    {
        QFETCH(QString, box);
        QFETCH(QString, label);
        cardmain f;
        auto* w = f.findChild<QWidget*>(box);
        QVERIFY(w);
        QCOMPARE(w->accessibleName(), label);
        bool buddy = false;
        for (QLabel* l : f.findChildren<QLabel*>())
            buddy = buddy || (l->buddy() == w && l->text() == label);
        QVERIFY(buddy);
    }

    void load_emptyTable_showsHeadingsOverOneEmptyRow()
    {
        auto f = open();
        QCOMPARE(f->cardnum, 0);
        QCOMPARE(f->nownum, -1);
        QCOMPARE(f->MSFcard->grid()->Rows(), 2);
        QCOMPARE(rowTexts(*f, 0), kHeadings);
        QCOMPARE(rowTexts(*f, 1), QStringList(22, QString()));
    }

    void load_listsEveryCardWithItsNameDecoded()
    {
        const qint64 a = card(u"张三"_s);
        card(u"李四"_s);
        card(u"王五"_s);
        m_db->exec(u"update cardtab set off_nam = null where serno = ?"_s, {a});
        auto f = open();
        QCOMPARE(f->cardnum, 3);
        QCOMPARE(f->nownum, 2);
        QCOMPARE(f->MSFcard->grid()->Rows(), 4);
        QCOMPARE(rowTexts(*f, 0), kHeadings);
        QCOMPARE(f->MSFcard->grid()->TextMatrix(1, 0), QString::number(a));
        QCOMPARE(f->MSFcard->grid()->TextMatrix(1, 1), u"张三"_s);
        QCOMPARE(f->MSFcard->grid()->TextMatrix(1, 2), QString()); // Null
        QCOMPARE(f->MSFcard->grid()->TextMatrix(1, 9), u"010-1"_s);
        QCOMPARE(f->MSFcard->grid()->TextMatrix(3, 1), u"王五"_s);
        QCOMPARE(f->MSFcard->grid()->TextMatrix(3, 21), u"说明王五"_s);
        QCOMPARE(boxTexts(*f), QStringList(22, QString()));
    }

    // More cards than a 16-bit count holds.
    void load_andLookup_countPast32767()
    {
        m_db->exec(
            u"with recursive n(x) as (select 1 union all select x + 1 from n where x < 40000) "
            "insert into cardtab (full_nam, o_phone) select ?, x from n"_s,
            {namcode(u"同名"_s)});
        auto f = open();
        QCOMPARE(f->cardnum, 40000);
        QCOMPARE(f->nownum, 39999);
        QCOMPARE(f->MSFcard->grid()->Rows(), 40001);
        f->findnamtxt->setText(u"同"_s);
        f->findnamcmd_Click();
        QCOMPARE(f->cardnum, 40000);
        QCOMPARE(f->nownum, 40000);
        expect(kLast);
        f->Command5_Click();
        QCOMPARE(f->o_phonetxt->text(), u"40000"_s);
    }

    void load_withoutDatabase_showsBothBoxesAndHeadings()
    {
        m_db.reset();
        m_db = std::make_unique<TempDb>(false);
        boxes().expect(testsupport::missingDatabase(m_db->file()));
        boxes().expect(box(u"Database not found!, Please place the database with the same path "
                           "as the .exe file"_s,
                           Buttons::OK, msgbox::Icon::Exclamation, false,
                           u"Database not found!"_s));
        auto f = open();
        QCOMPARE(f->cardnum, 0);
        QCOMPARE(f->MSFcard->grid()->Rows(), 2);
        QCOMPARE(rowTexts(*f, 0), kHeadings);
        QVERIFY(f->Newcmd->isEnabled());
    }

    void load_retriesTheConnectionWhenStartupFailed()
    {
        card(u"张三"_s);
        cardmodul::resetdb(); // start-up could not open it; now the file is there
        auto f = open();
        QCOMPARE(f->cardnum, 1);
    }

    void resize_tabTakesOuterSizeListAndRemarksTenTwipsLess()
    {
        auto f = open();
        f->show();
        f->resize(700, 500);
        QTRY_COMPARE(f->size(), QSize(700, 500));
        const QRect outer = f->frameGeometry();
        QCOMPARE(f->SSTab1->size(), outer.size());
        const int w = twips::toPx(twips::fromPx(outer.width()) - 10);
        QCOMPARE(f->MSFcard->width(), w);
        QCOMPARE(f->othertxt->width(), w);
        QCOMPARE(f->SSTab1->pos(), QPoint(0, 0));
    }

    void command4_closesAndMainWindowOpensCardWindowModally()
    {
        card(u"张三"_s);
        mainfrm w;
        w.setOpener(mainfrm::Window::Card, [](QWidget*) {
            cardmain f;
            f.Form_Load();
            f.exec();
        });
        w.show();
        bool seen = false;
        testsupport::whenModal([&](QWidget* m) {
            auto* f = qobject_cast<cardmain*>(m);
            seen = f && f->cardnum == 1 && f->isModal() && f->isVisible() &&
                   (f->windowFlags() & Qt::WindowStaysOnTopHint) &&
                   w.windowState().testFlag(Qt::WindowMinimized);
            if (f)
                f->Command4->click();
        });
        w.MnCard_Click();
        QVERIFY(seen);
        QVERIFY(w.windowState().testFlag(Qt::WindowMinimized));
    }

    // ---- lookup and picking -------------------------------------------------------------

    void command7_turnsToTheListPageAndKeepsEverything()
    {
        card(u"张三"_s);
        auto f = open();
        f->agetxt->setText(u"30"_s);
        f->Command7_Click();
        QCOMPARE(f->SSTab1->currentIndex(), 3);
        QCOMPARE(f->agetxt->text(), u"30"_s);
        QCOMPARE(f->cardnum, 1);
        QCOMPARE(f->nownum, 0);
    }

    void lookup_listsExactlyTheNamesContainingTheText_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("found");
        // Stored: 张三, 李四, dave, a;b, 50%, x_y, 欧阳 明, O'Neil, 😀笑
        QTest::newRow("part of a name") << u"三"_s << QStringList{u"张三"_s};
        QTest::newRow("d is no wildcard") << u"d"_s << QStringList{u"dave"_s};
        QTest::newRow("semicolon alone") << u";"_s << QStringList{u"a;b"_s};
        QTest::newRow("around the semicolon") << u";b"_s << QStringList{u"a;b"_s};
        QTest::newRow("whole name with semicolon") << u"a;b"_s << QStringList{u"a;b"_s};
        QTest::newRow("percent literally") << u"%"_s << QStringList{u"50%"_s};
        QTest::newRow("underscore literally") << u"_"_s << QStringList{u"x_y"_s};
        QTest::newRow("apostrophe") << u"O'N"_s << QStringList{u"O'Neil"_s};
        QTest::newRow("inner blank must match") << u"阳 明"_s << QStringList{u"欧阳 明"_s};
        QTest::newRow("outer blanks trimmed") << u"  李四 "_s << QStringList{u"李四"_s};
        QTest::newRow("emoji") << u"😀"_s << QStringList{u"😀笑"_s};
        QTest::newRow("nothing") << u"赵"_s << QStringList{};
        QTest::newRow("not consecutive") << u"张四"_s << QStringList{};
    }
    void lookup_listsExactlyTheNamesContainingTheText()
    {
        QFETCH(QString, search);
        QFETCH(QStringList, found);
        for (const QString& n : {u"张三"_s, u"李四"_s, u"dave"_s, u"a;b"_s, u"50%"_s, u"x_y"_s,
                                 u"欧阳 明"_s, u"O'Neil"_s, u"😀笑"_s})
            card(n);
        auto f = open();
        f->Command7_Click();
        f->findnamtxt->setText(search);
        f->findnamcmd_Click();
        QStringList got;
        for (int r = 1; r <= f->cardnum; ++r)
            got << f->MSFcard->grid()->TextMatrix(r, 1);
        QCOMPARE(got, found);
        QCOMPARE(f->nownum, f->cardnum);
        QCOMPARE(f->findnamtxt->text(), search);
        QCOMPARE(f->SSTab1->currentIndex(), 3);
        QCOMPARE(rowTexts(*f, 0), kHeadings);
    }

    void lookup_emptyOrBlankTextListsEveryNamedCard_data()
    {
        QTest::addColumn<QString>("search");
        QTest::newRow("empty") << QString();
        QTest::newRow("blanks") << u"   "_s;
    }
    void lookup_emptyOrBlankTextListsEveryNamedCard()
    {
        QFETCH(QString, search);
        cards(3);
        m_db->exec(u"insert into cardtab (full_nam, o_phone) values (null, '1')"_s);
        auto f = open();
        QCOMPARE(f->cardnum, 4);
        f->findnamtxt->setText(search);
        f->findnamcmd_Click();
        QCOMPARE(f->cardnum, 3);
        QCOMPARE(f->nownum, 3);
        QCOMPARE(f->MSFcard->grid()->TextMatrix(3, 1), u"人3"_s);
    }

    void lookup_findingNothingAfterTenLeavesTenEmptyRows()
    {
        cards(10);
        auto f = open();
        f->findnamtxt->setText(u"人"_s);
        f->findnamcmd_Click();
        QCOMPARE(f->cardnum, 10);
        f->findnamtxt->setText(u"无此人"_s);
        f->findnamcmd_Click();
        QCOMPARE(f->cardnum, 0);
        QCOMPARE(f->nownum, 0);
        QCOMPARE(f->MSFcard->grid()->Rows(), 11);
        QCOMPARE(rowTexts(*f, 0), kHeadings);
        for (int r = 1; r <= 10; ++r)
            QCOMPARE(rowTexts(*f, r), QStringList(22, QString()));

        // Picking one of the empty rows empties every box.
        f->nametxt->setText(u"旧"_s);
        f->othertxt->setPlainText(u"旧"_s);
        f->MSFcard->setRow(4);
        f->MSFcard_Click();
        QCOMPARE(f->nownum, 4);
        QCOMPARE(boxTexts(*f), QStringList(22, QString()));
        QVERIFY(!f->sernotxt->isEnabled());
    }

    void click_copiesTheRowAndStepsOnFromIt()
    {
        cards(5);
        auto f = open();
        f->show();
        f->Command7_Click();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
        const QRect cell = f->MSFcard->visualRect(f->MSFcard->grid()->index(2, 3));
        QTest::mouseClick(f->MSFcard->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(f->nownum, 3);
        QCOMPARE(boxTexts(*f), rowTexts(*f, 3));
        QCOMPARE(f->nametxt->text(), u"人3"_s);
        QCOMPARE(f->othertxt->toPlainText(), u"说明人3"_s);
        QVERIFY(!f->sernotxt->isEnabled());
        QCOMPARE(f->SSTab1->currentIndex(), 3);

        f->Command5_Click();
        QCOMPARE(f->nownum, 4);
        QCOMPARE(boxTexts(*f), rowTexts(*f, 4));
    }

    // ---- the name's input limit ----------------------------------------------------------

    // Ten characters can be typed or pasted, no more; the first ten stay.
    void name_typingAndPastingStopAtTen()
    {
        auto f = open();
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
        f->nametxt->setFocus();
        QTest::keyClicks(f->nametxt, u"Abdul Karim Ali"_s);
        QCOMPARE(f->nametxt->text(), u"Abdul Kari"_s);
        f->nametxt->clear();
        f->nametxt->insert(u"欧阳"_s);
        f->nametxt->setCursorPosition(1);
        f->nametxt->insert(u"0123456789"_s); // as a paste does
        QCOMPARE(f->nametxt->text(), u"欧01234567阳"_s);
        QCOMPARE(f->nametxt->cursorPosition(), 9);
    }

    // A longer stored name is shown whole by a click and by stepping, and the change and
    // delete questions name it whole; typing can shorten it but not lengthen it.
    void name_longerStoredNameIsShownWhole()
    {
        const QString longName = u"阿卜杜勒·穆罕默德·伊本·拉"_s; // 14 characters
        QCOMPARE(longName.size(), 14);
        card(u"张三"_s);
        card(longName);
        auto f = open();
        f->MSFcard->setRow(2);
        f->MSFcard_Click();
        QCOMPARE(f->nametxt->text(), longName);
        expect(u"确定修改："_s + longName + u" 的通讯地址！"_s, Buttons::OKCancel, Result::Cancel);
        f->Command2_Click();
        expect(u"确定删除名片—姓名："_s + longName, Buttons::OKCancel, Result::Cancel);
        f->Command3_Click();

        f->Command6_Click();
        QCOMPARE(f->nametxt->text(), u"张三"_s);
        f->Command5_Click();
        QCOMPARE(f->nametxt->text(), longName);

        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
        f->nametxt->setFocus();
        f->nametxt->end(false);
        QTest::keyClicks(f->nametxt, u"k"_s);
        QCOMPARE(f->nametxt->text(), longName);
        QTest::keyClick(f->nametxt, Qt::Key_Backspace);
        QCOMPARE(f->nametxt->text(), longName.left(13));
        QTest::keyClicks(f->nametxt, u"k"_s);
        QCOMPARE(f->nametxt->text(), longName.left(13));
    }

    // ---- adding -------------------------------------------------------------------------

    void add_missingNameOrPhoneStoresNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("phone");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("both empty")
            << QString() << QString()
            << QStringList{u"姓名不能为空"_s, u"单位联系电话不能为空！"_s, kNotSaved};
        QTest::newRow("phone empty")
            << u"张三"_s << QString() << QStringList{u"单位联系电话不能为空！"_s, kNotSaved};
        QTest::newRow("name empty")
            << QString() << u"1"_s << QStringList{u"姓名不能为空"_s, kNotSaved};
    }
    void add_missingNameOrPhoneStoresNothing()
    {
        QFETCH(QString, name);
        QFETCH(QString, phone);
        QFETCH(QStringList, shown);
        auto f = open();
        fillCard(*f, name, phone);
        f->mobiletxt->setText(u"139"_s);
        for (const QString& t : shown)
            expect(t);
        f->Newcmd->click();
        QCOMPARE(m_db->count(u"cardtab"_s), 0);
        QCOMPARE(f->nametxt->text(), name);
        QCOMPARE(f->mobiletxt->text(), u"139"_s);
    }

    void add_storesTrimmedValuesAndCodedName()
    {
        card(u"老人"_s);
        auto f = open();
        f->sernotxt->setText(u"77"_s);
        f->findnamtxt->setText(u"老"_s);
        fillCard(*f, u"  张 三 "_s, u"   "_s);
        f->agetxt->setText(u"三十"_s);
        f->mobiletxt->setText(u" 139\t"_s);
        f->othertxt->setPlainText(u"  第一行\n第二行  "_s);
        expect(kAdded);
        f->Newcmd_Click();
        const auto rows = stored(u"full_nam, o_phone, age, mobile, note, off_nam"_s);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[1], (QStringList{namcode(u"张 三"_s), QString(), u"三十"_s, u"139\t"_s,
                                       u"第一行\n第二行"_s, QString()}));
        // The 21 boxes are emptied; the serial number, the search text and the list stay.
        QStringList after = boxTexts(*f);
        QCOMPARE(after.takeFirst(), u"77"_s);
        QCOMPARE(after, QStringList(21, QString()));
        QCOMPARE(f->findnamtxt->text(), u"老"_s);
        QCOMPARE(f->cardnum, 1);
        QCOMPARE(f->MSFcard->grid()->Rows(), 2);
    }

    void add_duplicateNameAsks_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << u"张三"_s << true;
        QTest::newRow("no") << u"张三"_s << false;
        QTest::newRow("blanks around, yes") << u" 张三  "_s << true;
    }
    void add_duplicateNameAsks()
    {
        QFETCH(QString, typed);
        QFETCH(bool, yes);
        card(u"张三"_s);
        auto f = open();
        fillCard(*f, typed, u"1"_s);
        f->qqtxt->setText(u"123"_s);
        expect(kSame, Buttons::YesNo, yes ? Result::Yes : Result::No);
        if (yes)
            expect(kAdded);
        f->Newcmd_Click();
        const auto names = stored(u"full_nam"_s);
        QCOMPARE(names.size(), yes ? 2 : 1);
        for (const QStringList& n : names)
            QCOMPARE(n[0], namcode(u"张三"_s));
        QCOMPARE(f->nametxt->text(), QString()); // emptied either way
        QCOMPARE(f->qqtxt->text(), QString());
    }

    void add_blankNameIsAnEmptyStoredName()
    {
        m_db->exec(u"insert into cardtab (full_nam, o_phone) values ('', '1')"_s);
        auto f = open();
        fillCard(*f, u"   "_s, u"2"_s);
        expect(kSame, Buttons::YesNo, Result::Yes);
        expect(kAdded);
        f->Newcmd_Click();
        QCOMPARE(stored(u"full_nam, o_phone"_s).last(), (QStringList{QString(), u"2"_s}));
    }

    // Any character is stored and read back exactly; none changes what a statement does.
    void add_specialCharactersRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("apostrophe") << u"O'Neil"_s;
        QTest::newRow("percent underscore") << u"5%_x"_s;
        QTest::newRow("semicolon") << u"a;b"_s;
        QTest::newRow("quote") << u"\"引\""_s;
        QTest::newRow("emoji") << u"笑😀"_s;
        QTest::newRow("statement") << u"x');drop--"_s;
    }
    void add_specialCharactersRoundTrip()
    {
        QFETCH(QString, text);
        auto f = open();
        fillCard(*f, text, text);
        f->mail_addrtxt->setText(text);
        expect(kAdded);
        f->Newcmd_Click();
        const auto rows = stored(u"full_nam, o_phone, mail_addr"_s);
        QCOMPARE(rows, (QList<QStringList>{{namcode(text), text, text}}));
        // Looked up by its whole name, it comes back as typed.
        f->findnamtxt->setText(text);
        f->findnamcmd_Click();
        QCOMPARE(f->cardnum, 1);
        f->MSFcard->setRow(1);
        f->MSFcard_Click();
        QCOMPARE(f->nametxt->text(), text);
        QCOMPARE(f->mail_addrtxt->text(), text);
        // Changing and deleting it work on it alone.
        f->mobiletxt->setText(text);
        expect(u"确定修改："_s + text + u" 的通讯地址！"_s, Buttons::OKCancel);
        expect(u"修改成功！"_s);
        f->Command2_Click();
        QCOMPARE(stored(u"mobile"_s), (QList<QStringList>{{text}}));
        expect(u"确定删除名片—姓名："_s + text, Buttons::OKCancel);
        expect(u"记录被成功删除"_s);
        f->Command3_Click();
        QCOMPARE(m_db->count(u"cardtab"_s), 0);
    }

    void add_failureShowsTheRunErrorAndKeepsTheBoxes()
    {
        auto f = open();
        m_db->exec(u"drop table cardtab"_s);
        fillCard(*f, u"张三"_s, u"1"_s);
        f->Newcmd_Click();
        QCOMPARE(boxes().seen().size(), 1);
        QVERIFY(boxes().seen()[0].text.startsWith(u"程序运行错误："_s));
        QCOMPARE(f->nametxt->text(), u"张三"_s);
        boxes().reset();
    }

    // ---- changing and deleting -----------------------------------------------------------

    void change_cancelSendsNothing()
    {
        card(u"张三"_s, u"1"_s, u"139"_s);
        auto f = open();
        f->MSFcard->setRow(1);
        f->MSFcard_Click();
        f->mobiletxt->setText(u"186"_s);
        expect(u"确定修改：张三 的通讯地址！"_s, Buttons::OKCancel, Result::Cancel);
        f->Command2->click();
        QCOMPARE(stored(u"mobile"_s), (QList<QStringList>{{u"139"_s}}));
    }

    void change_writesOnlyTheContactsAsTyped()
    {
        card(u"张三"_s, u"1"_s, u"139"_s);
        card(u"李四"_s, u"2"_s, u"137"_s);
        auto f = open();
        f->MSFcard->setRow(1);
        f->MSFcard_Click();
        const QList<QStringList> before = stored();
        f->nametxt->setText(u"  王五 "_s);
        f->off_namtxt->setText(u"新单位"_s);
        f->agetxt->setText(u"99"_s);
        f->othertxt->setPlainText(u"新说明"_s);
        for (int c = 8; c <= 20; ++c)
            f->setBoxText(c, u" 新%1 "_s.arg(c));
        expect(u"确定修改：王五 的通讯地址！"_s, Buttons::OKCancel);
        expect(u"修改成功！"_s);
        f->Command2_Click();
        const QList<QStringList> after = stored();
        for (int c = 0; c < 22; ++c)
            QCOMPARE(after[0][c], c >= 8 && c <= 20 ? u" 新%1 "_s.arg(c) : before[0][c]);
        QCOMPARE(after[1], before[1]);
        // Neither the list nor the boxes change.
        QCOMPARE(f->MSFcard->grid()->TextMatrix(1, 14), u"139"_s);
        QCOMPARE(f->mobiletxt->text(), u" 新14 "_s);
    }

    // The card was deleted meanwhile: the typed details are not reported as saved.
    void change_ofAVanishedCardIsReportedAsAnError()
    {
        const qint64 s = card(u"张三"_s);
        auto f = open();
        f->MSFcard->setRow(1);
        f->MSFcard_Click();
        m_db->exec(u"delete from cardtab"_s);
        expect(u"确定修改：张三 的通讯地址！"_s, Buttons::OKCancel);
        expect(u"程序运行错误：3021没有序号为 %1 的名片，修改未保存。"_s.arg(s));
        f->Command2_Click();
    }

    void changeAndDelete_refuseASerialNumberThatIsNoWholeNumber_data()
    {
        QTest::addColumn<QString>("serno");
        QTest::addColumn<bool>("remove");
        QTest::newRow("change empty") << QString() << false;
        QTest::newRow("change injection") << u"1 or 1=1"_s << false;
        QTest::newRow("delete empty") << QString() << true;
        QTest::newRow("delete injection") << u"0 or 1=1"_s << true;
        QTest::newRow("delete letters") << u"abc"_s << true;
    }
    void changeAndDelete_refuseASerialNumberThatIsNoWholeNumber()
    {
        QFETCH(QString, serno);
        QFETCH(bool, remove);
        card(u"张三"_s, u"1"_s, u"139"_s);
        card(u"李四"_s, u"2"_s, u"137"_s);
        const QList<QStringList> before = stored();
        auto f = open();
        fillCard(*f, u"张三"_s, u"1"_s);
        f->mobiletxt->setText(u"000"_s);
        f->sernotxt->setText(serno);
        const QString error = u"程序运行错误：13类型不匹配：序号“%1”不是整数。"_s.arg(serno);
        if (remove) {
            expect(u"确定删除名片—姓名：张三"_s, Buttons::OKCancel);
            expect(error);
            f->Command3_Click();
        } else {
            expect(u"确定修改：张三 的通讯地址！"_s, Buttons::OKCancel);
            expect(error);
            f->Command2_Click();
        }
        QCOMPARE(stored(), before);
        QCOMPARE(f->mobiletxt->text(), u"000"_s);
    }

    void delete_cancelKeepsOkRemovesOnlyThatCard()
    {
        card(u"张三"_s);
        const qint64 s = card(u"李四"_s);
        auto f = open();
        f->MSFcard->setRow(2);
        f->MSFcard_Click();
        f->nametxt->setText(u" 李四 "_s);
        expect(u"确定删除名片—姓名： 李四 "_s, Buttons::OKCancel, Result::Cancel);
        f->Command3_Click();
        QCOMPARE(m_db->count(u"cardtab"_s), 2);
        expect(u"确定删除名片—姓名： 李四 "_s, Buttons::OKCancel);
        expect(u"记录被成功删除"_s);
        f->Command3->click();
        QCOMPARE(stored(u"full_nam"_s), (QList<QStringList>{{namcode(u"张三"_s)}}));
        // Deleting it again finds nothing and still reports success.
        expect(u"确定删除名片—姓名： 李四 "_s, Buttons::OKCancel);
        expect(u"记录被成功删除"_s);
        f->Command3_Click();
        QCOMPARE(f->sernotxt->text(), QString::number(s));
        QCOMPARE(f->cardnum, 2);
    }

    // ---- stepping -----------------------------------------------------------------------

    void step_afterLoad()
    {
        cards(4);
        auto f = open(); // nownum 3
        expect(kLast);
        f->Command6_Click();
        QCOMPARE(boxTexts(*f), rowTexts(*f, 2));
        QCOMPARE(f->nownum, 2);
        f->Command5_Click();
        f->Command5_Click();
        QCOMPARE(f->nownum, 4);
        QCOMPARE(boxTexts(*f), rowTexts(*f, 4));
        f->Command5_Click(); // at the end
        QCOMPARE(f->nownum, 4);
        QCOMPARE(boxTexts(*f), rowTexts(*f, 4));
        QVERIFY(!f->sernotxt->isEnabled());
    }

    void step_afterLookupAndAtTheTop()
    {
        cards(3);
        auto f = open();
        f->findnamcmd_Click(); // nownum 3
        expect(kLast);
        f->Command5_Click();
        QCOMPARE(boxTexts(*f), rowTexts(*f, 3));
        QCOMPARE(f->nownum, 3);
        f->Command6_Click();
        f->Command6_Click();
        QCOMPARE(f->nownum, 1);
        QCOMPARE(boxTexts(*f), rowTexts(*f, 1));
        expect(kFirst);
        f->Command6_Click();
        QCOMPARE(f->nownum, 1);
        QCOMPARE(boxTexts(*f), rowTexts(*f, 1));
    }

    void step_oneCardShowsItWithEitherEndMessage_data()
    {
        QTest::addColumn<bool>("lookup");
        QTest::newRow("after load, nownum 0") << false;
        QTest::newRow("after lookup, nownum 1") << true;
    }
    void step_oneCardShowsItWithEitherEndMessage()
    {
        QFETCH(bool, lookup);
        card(u"张三"_s);
        auto f = open();
        if (lookup)
            f->findnamcmd_Click();
        const int now = f->nownum;
        expect(kLast);
        f->Command5_Click();
        QCOMPARE(f->nametxt->text(), u"张三"_s);
        expect(kFirst);
        f->setBoxText(1, {});
        f->Command6_Click();
        QCOMPARE(f->nametxt->text(), u"张三"_s);
        QCOMPARE(f->nownum, now);
    }

    // On a list without cards the boxes are emptied, never filled with the headings.
    void step_onAnEmptyListEmptiesTheBoxes_data()
    {
        QTest::addColumn<bool>("next");
        QTest::newRow("next") << true;
        QTest::newRow("previous") << false;
    }
    void step_onAnEmptyListEmptiesTheBoxes()
    {
        QFETCH(bool, next);
        auto f = open();
        QCOMPARE(f->nownum, -1);
        for (int c = 0; c < 22; ++c)
            f->setBoxText(c, u"x"_s);
        expect(next ? kLast : kFirst);
        if (next)
            f->Command5->click();
        else
            f->Command6->click();
        QCOMPARE(boxTexts(*f), QStringList(22, QString()));
        QCOMPARE(f->nownum, -1);
        QVERIFY(!f->sernotxt->isEnabled());
    }

    void step_reachesADeletedCardUntilTheListIsFilledAgain()
    {
        card(u"张三"_s);
        card(u"李四"_s);
        card(u"王五"_s);
        auto f = open();
        f->MSFcard->setRow(2);
        f->MSFcard_Click();
        expect(u"确定删除名片—姓名：李四"_s, Buttons::OKCancel);
        expect(u"记录被成功删除"_s);
        f->Command3_Click();
        f->Command5_Click();
        f->Command6_Click();
        QCOMPARE(f->nametxt->text(), u"李四"_s);
        QCOMPARE(f->nownum, 2);
        f->findnamcmd_Click();
        QCOMPARE(f->cardnum, 2);
        QCOMPARE(f->MSFcard->grid()->TextMatrix(2, 1), u"王五"_s);
    }
};

QTEST_MAIN(tst_cardmain)
#include "tst_cardmain.moc"
