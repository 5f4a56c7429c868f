// The meeting window: opening, the date check, modify mode, picking a row, adding,
// changing and searching, with every message box in order and the table afterwards.

#include "meetings/meetfrm.h"
#include "modul/cardmodul.h"
#include "modul/meettab.h"
#include "platform/clock.h"
#include "tests/support/testsupport.h"
#include "widgets/grid.h"
#include "widgets/twips.h"

#include <QAbstractItemModelTester>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using testsupport::box;
using testsupport::TempDb;

namespace {
const QString kAdded = u"纪录增加成功！"_s;
const QString kChanged = u"成功修改纪录！"_s;
const QString kNotModify = u"你没在修改模式下，请选中修改选择框！"_s;
const QString kNoKind = u"请选择一种查询方式！"_s;
const QString kBadDate = u"输入日期不是有效的日期格式，日起格式参看纪录日期格式！"_s;
const QString kEarly = u"会议日期不能小于记录日期！"_s;
const QString kRunError = u"程序运行错误："_s;
const QDateTime kNow(QDate(2026, 12, 8), QTime(9, 0));
} // namespace

class tst_meetfrm : public testsupport::BoxTest {
    Q_OBJECT
    std::unique_ptr<TempDb> m_db;
    std::unique_ptr<ctclock::FixedClock> m_clock;
    std::unique_ptr<meetfrm> m_f;

    void meeting(const QString& record, const QString& topic, const QString& place,
                 const QString& date, const QVariant& h, const QVariant& m)
    {
        m_db->exec(u"insert into meet_tab (record_date,meet_cont,meet_addr,meet_date,go_hour,"
                   "go_second) values (?,?,?,?,?,?)"_s,
                   {record, topic, place, date, h, m});
    }
    QList<QStringList> stored()
    {
        return m_db->rows(u"select record_date,meet_cont,meet_addr,meet_date,go_hour,go_second "
                          "from meet_tab order by meet_serno"_s);
    }
    meetfrm& f() { return *m_f; }
    meetfrm& open()
    {
        m_f = std::make_unique<meetfrm>();
        m_f->Form_Load();
        return *m_f;
    }
    QStringList gridRow(int r)
    {
        QStringList out;
        for (int c = 0; c < m_f->MSFmeet->grid()->Cols(); ++c)
            out << m_f->MSFmeet->grid()->TextMatrix(r, c);
        return out;
    }
    QList<QStringList> gridRows()
    {
        QList<QStringList> out;
        for (int r = 1; r < m_f->MSFmeet->grid()->Rows(); ++r)
            out << gridRow(r).mid(1); // without the serial number
        return out;
    }
    void find(QRadioButton* kind, QLineEdit* box, const QString& text)
    {
        kind->setChecked(true);
        box->setText(text);
        m_f->findcmd_Click();
    }
    void fill(const QString& topic, const QString& place, const QString& date, const QString& h,
              const QString& m)
    {
        m_f->meettxt->setText(topic);
        m_f->addrtxt->setText(place);
        m_f->meetdaytxt->setText(date);
        m_f->hCombo->setEditText(h);
        m_f->sCombo->setEditText(m);
    }
    QStringList fields()
    {
        return {m_f->recorddaytxt->text(), m_f->meettxt->text(),       m_f->addrtxt->text(),
                m_f->meetdaytxt->text(),   m_f->hCombo->currentText(), m_f->sCombo->currentText()};
    }

    void initTest() override
    {
        m_clock = std::make_unique<ctclock::FixedClock>(kNow);
        m_db = std::make_unique<TempDb>();
        m_db->openShared();
    }
    void cleanupTest() override
    {
        m_f.reset();
        m_db.reset();
        m_clock.reset();
    }

private Q_SLOTS:

    void load_showsTodayAndEmptyFields()
    {
        meetfrm& f = open();
        QCOMPARE(f.windowTitle(), u"会议/约会"_s);
        QCOMPARE(f.recorddaytxt->text(), u"2026-12-08"_s);
        for (QLineEdit* e : {f.meettxt, f.addrtxt, f.meetdaytxt})
            QVERIFY(e->text().isEmpty());
        QVERIFY(f.hCombo->currentText().isEmpty());
        QVERIFY(f.sCombo->currentText().isEmpty());
        for (QRadioButton* o : {f.Option1, f.Option2, f.Option3})
            QVERIFY(!o->isChecked());
        QVERIFY(!f.Check1->isChecked());
        QVERIFY(f.Picture1->isVisibleTo(&f));
        QCOMPARE(f.Picture1->geometry(), f.MSFmeet->geometry());
        QVERIFY(f.children().indexOf(f.Picture1) > f.children().indexOf(f.MSFmeet));
        QCOMPARE(f.hCombo->count(), 24);
        QCOMPARE(f.hCombo->itemText(0), u"6"_s);
        QCOMPARE(f.hCombo->itemText(18), u"0"_s);
        QCOMPARE(f.hCombo->itemText(23), u"5"_s);
        QCOMPARE(f.sCombo->count(), 12);
        QCOMPARE(f.sCombo->itemText(1), u"05"_s);
        QCOMPARE(f.sCombo->itemText(11), u"55"_s);
    }

    void controls_haveCaptionsAndNames()
    {
        meetfrm& f = open();
        QCOMPARE(f.Frame1->title(), u"查找方式"_s);
        QCOMPARE(f.Frame2->title(), u"修改方式"_s);
        const QList<std::pair<QAbstractButton*, QString>> captions = {
            {f.Option1, u"会议日期"_s}, {f.Option2, u"会议主题"_s}, {f.Option3, u"会议地点"_s},
            {f.Check1, u"修改记录"_s},  {f.addcmd, u"新  增"_s},    {f.findcmd, u"查  找"_s},
            {f.revisecmd, u"修  改"_s}, {f.exitcmd, u"退  出"_s}};
        for (const auto& [b, caption] : captions) {
            QCOMPARE(b->text(), caption);
            QCOMPARE(b->accessibleName(), caption);
        }
        const QList<std::pair<QWidget*, QString>> labels = {{f.recorddaytxt, u"纪录日期："_s},
                                                            {f.meettxt, u"会议主题："_s},
                                                            {f.addrtxt, u"会议地点："_s},
                                                            {f.meetdaytxt, u"会议日期："_s},
                                                            {f.hCombo, u"出发时间："_s}};
        for (const auto& [w, label] : labels) {
            QCOMPARE(w->accessibleName(), label);
            bool buddied = false;
            for (QLabel* l : f.findChildren<QLabel*>())
                buddied = buddied || (l->buddy() == w && l->text() == label);
            QVERIFY2(buddied, qPrintable(label));
        }
        QCOMPARE(f.hCombo->lineEdit()->accessibleName(), u"出发时间："_s);
        QVERIFY(!f.sCombo->lineEdit()->accessibleName().isEmpty());
        // Buttons stand in one column, in order from the top.
        QVERIFY(f.addcmd->y() < f.findcmd->y());
        QVERIFY(f.findcmd->y() < f.revisecmd->y());
        QVERIFY(f.revisecmd->y() < f.exitcmd->y());
    }

    void load_withoutDatabase_warnsAndLeavesNoRecordDate()
    {
        m_db.reset(); // before the next one: it points the program directory back
        m_db = std::make_unique<TempDb>(false);
        boxes().expect(testsupport::missingDatabase(m_db->file()));
        boxes().expect(box(u"Database not found!, Please place the database with the same path "
                           "as the .exe file"_s,
                           msgbox::Buttons::OK, msgbox::Icon::Exclamation, false,
                           u"Database not found!"_s));
        meetfrm& f = open();
        QVERIFY(f.recorddaytxt->text().isEmpty());
        QVERIFY(!cardmodul::dbopen);
    }

    void load_reopensWhenNotOpenYet()
    {
        cardmodul::resetdb();
        meetfrm& f = open();
        QCOMPARE(f.recorddaytxt->text(), u"2026-12-08"_s);
        QVERIFY(!cardmodul::dbopen); // the window does not set it
    }

    void dateCheck_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("meet");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << u"2003-8-5"_s << QString() << QString();
        QTest::newRow("no date") << u"2003-8-5"_s << u"abc"_s << kBadDate;
        QTest::newRow("no such day") << u"2003-8-5"_s << u"2003-2-30"_s << kBadDate;
        QTest::newRow("two-digit year") << u"2003-8-5"_s << u"03-8-30"_s << kBadDate;
        QTest::newRow("later") << u"2003-8-5"_s << u"2003-8-30"_s << QString();
        QTest::newRow("earlier") << u"2003-8-30"_s << u"2003-8-5"_s << kEarly;
        QTest::newRow("same day") << u"2003-8-5"_s << u"2003/08/05"_s << QString();
        QTest::newRow("blanks") << u" 2003-8-30 "_s << u" 2003-8-5 "_s << kEarly;
        QTest::newRow("record no date") << u"abc"_s << u"2003-8-5"_s << QString();
    }
    void dateCheck()
    {
        QFETCH(QString, record);
        QFETCH(QString, meet);
        QFETCH(QString, message);
        meetfrm& f = open();
        f.recorddaytxt->setText(record);
        f.meetdaytxt->setText(meet);
        if (!message.isEmpty())
            boxes().expect(box(message));
        f.meetdaytxt_LostFocus();
        QCOMPARE(f.meetdaytxt->text(), meet); // kept as typed
        if (!message.isEmpty())
            QCOMPARE(f.focusWidget(), f.meetdaytxt);
    }

    // Tabbing away from a bad date runs the check once and puts the focus back.
    void dateCheck_onLeavingTheBox()
    {
        meetfrm& f = open();
        f.show();
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.meetdaytxt->setFocus();
        QTRY_VERIFY(f.meetdaytxt->hasFocus());
        f.meetdaytxt->setText(u"abc"_s);
        boxes().expect(box(kBadDate));
        f.hCombo->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(f.meetdaytxt->hasFocus());
        QCOMPARE(boxes().seen().size(), 1);
    }

    void modifyMode_disablesRecordDateAndTopicOnly()
    {
        meetfrm& f = open();
        f.Check1->click();
        QVERIFY(!f.recorddaytxt->isEnabled());
        QVERIFY(!f.meettxt->isEnabled());
        for (QWidget* w : std::initializer_list<QWidget*>{f.addrtxt, f.meetdaytxt, f.hCombo,
                                                          f.sCombo, f.addcmd, f.findcmd})
            QVERIFY(w->isEnabled());
        f.Check1->click();
        QVERIFY(f.recorddaytxt->isEnabled());
        QVERIFY(f.meettxt->isEnabled());
    }

    void pick_copiesRowAndSplitsTime_data()
    {
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("minute");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("h");
        QTest::addColumn<QString>("m");
        QTest::newRow("14:30") << 14 << 30 << u"14：30"_s << u"14"_s << u"30"_s;
        QTest::newRow("8:05") << 8 << 5 << u"8：05"_s << u"8"_s << u"05"_s;
        QTest::newRow("7:00") << 7 << 0 << u"7：00"_s << u"7"_s << u"00"_s;
        QTest::newRow("0:59") << 0 << 59 << u"0：59"_s << u"0"_s << u"59"_s;
    }
    void pick_copiesRowAndSplitsTime()
    {
        QFETCH(int, hour);
        QFETCH(int, minute);
        QFETCH(QString, cell);
        QFETCH(QString, h);
        QFETCH(QString, m);
        meeting(u"2026-12-01"_s, u"例会"_s, u"三楼"_s, u"2026-12-09"_s, hour, minute);
        meetfrm& f = open();
        QAbstractItemModelTester tester(f.MSFmeet->grid());
        f.Check1->click(); // picking fills the disabled boxes too
        find(f.Option2, f.meettxt, u"例"_s);
        QCOMPARE(gridRow(1).at(5), cell);
        f.MSFmeet->setRow(1);
        f.MSFmeet_Click();
        QCOMPARE(fields(),
                 (QStringList{u"2026-12-01"_s, u"例会"_s, u"三楼"_s, u"2026-12-09"_s, h, m}));
    }

    void add_storesTheFieldsAndEmptiesAllButTheRecordDate()
    {
        meetfrm& f = open();
        fill(u"年终总结"_s, u"会议室"_s, u"2026-12-8"_s, u"14"_s, u"05"_s);
        boxes().expect(box(kAdded), msgbox::Result::OK, [this] { QCOMPARE(stored().size(), 1); });
        f.addcmd_Click();
        QCOMPARE(stored(), (QList<QStringList>{{u"2026-12-08"_s, u"年终总结"_s, u"会议室"_s,
                                                u"2026-12-08"_s, u"14"_s, u"5"_s}}));
        QCOMPARE(m_db->rows(u"select typeof(go_hour), typeof(go_second) from meet_tab"_s),
                 (QList<QStringList>{{u"integer"_s, u"integer"_s}}));
        QCOMPARE(fields(), (QStringList{u"2026-12-08"_s, {}, {}, {}, {}, {}}));
        // A meeting typed without leading zeros is reminded on its day.
        QVERIFY(cardmodul::meetmessage(QDateTime(QDate(2026, 12, 8), QTime(14, 0)))
                    .contains(u"年终总结"_s));
    }

    void add_keepsEveryCharacter()
    {
        meetfrm& f = open();
        const QString topic = u"O'Brien 的 50% _会_; --"_s;
        fill(topic, u"楼'下"_s, u"明天"_s, u"9"_s, u"30"_s);
        boxes().expect(box(kAdded));
        f.addcmd_Click();
        QCOMPARE(stored(), (QList<QStringList>{
                               {u"2026-12-08"_s, topic, u"楼'下"_s, u"明天"_s, u"9"_s, u"30"_s}}));
    }

    void add_withoutTime_storesNoTime()
    {
        meetfrm& f = open();
        fill(u"待定"_s, u"某处"_s, u"2026-12-10"_s, {}, {});
        boxes().expect(box(kAdded));
        f.addcmd_Click();
        QCOMPARE(stored(), (QList<QStringList>{{u"2026-12-08"_s, u"待定"_s, u"某处"_s,
                                                u"2026-12-10"_s, u"<NULL>"_s, u"<NULL>"_s}}));
        find(f.Option1, f.meetdaytxt, u"2026-12-10"_s);
        QCOMPARE(gridRow(1).at(5), u"："_s);
    }

    void add_badTime_isRefusedAndKeepsTheFields_data()
    {
        QTest::addColumn<QString>("h");
        QTest::addColumn<QString>("m");
        QTest::newRow("hour text") << u"abc"_s << u"00"_s;
        QTest::newRow("hour 24") << u"24"_s << u"00"_s;
        QTest::newRow("hour negative") << u"-1"_s << u"00"_s;
        QTest::newRow("minute 60") << u"8"_s << u"60"_s;
        QTest::newRow("minute fraction") << u"8"_s << u"1.5"_s;
    }
    void add_badTime_isRefusedAndKeepsTheFields()
    {
        QFETCH(QString, h);
        QFETCH(QString, m);
        meetfrm& f = open();
        fill(u"主题"_s, u"地点"_s, u"2026-12-10"_s, h, m);
        const QStringList before = fields();
        f.addcmd_Click();
        QCOMPARE(boxes().seen().size(), 1);
        QVERIFY(boxes().seen().at(0).text.startsWith(kRunError + u"3464"_s));
        boxes().reset();
        QCOMPARE(fields(), before);
        QCOMPARE(m_db->count(u"meet_tab"_s), 0);
    }

    // Typed keys give exactly the typed text (no completion from the lists), and that
    // text is stored.
    void time_typedKeysAreStoredAsTyped_data()
    {
        QTest::addColumn<QString>("hour");
        QTest::addColumn<QString>("minute");
        QTest::newRow("1 and 5") << u"1"_s << u"5"_s;
        QTest::newRow("2 and 0") << u"2"_s << u"0"_s;
        QTest::newRow("12 and 3") << u"12"_s << u"3"_s;
        QTest::newRow("0 and 59") << u"0"_s << u"59"_s;
    }
    void time_typedKeysAreStoredAsTyped()
    {
        QFETCH(QString, hour);
        QFETCH(QString, minute);
        meetfrm& f = open();
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        fill(u"评审"_s, u"二楼"_s, u"2026-12-08"_s, {}, {});
        f.hCombo->setFocus();
        QTest::keyClicks(f.hCombo, hour);
        f.sCombo->setFocus();
        QTest::keyClicks(f.sCombo, minute);
        QCOMPARE(f.hCombo->currentText(), hour);
        QCOMPARE(f.sCombo->currentText(), minute);
        expectBox(kAdded);
        f.addcmd_Click();
        QCOMPARE(stored(), (QList<QStringList>{{u"2026-12-08"_s, u"评审"_s, u"二楼"_s,
                                                u"2026-12-08"_s, QString::number(hour.toInt()),
                                                QString::number(minute.toInt())}}));
    }

    void time_pickingFromTheListStillWorks()
    {
        meetfrm& f = open();
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.hCombo->setFocus();
        QTest::keyClick(f.hCombo, Qt::Key_Down); // the first hour of the list
        QCOMPARE(f.hCombo->currentText(), u"6"_s);
        f.sCombo->showPopup();
        QAbstractItemView* list = f.sCombo->view();
        QTRY_VERIFY(list->isVisible());
        list->setCurrentIndex(list->model()->index(3, 0));
        QTest::keyClick(list, Qt::Key_Return);
        QTRY_VERIFY(!list->isVisible());
        QCOMPARE(f.sCombo->currentText(), u"15"_s);
    }

    // The grid under the picture takes no focus until a search uncovers it.
    void grid_takesNoFocusUntilTheFirstSearch()
    {
        meeting(u"2026-12-01"_s, u"甲"_s, u"一"_s, u"2026-12-09"_s, 8, 5);
        meetfrm& f = open();
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.meettxt->setFocus();
        for (int i = 0; i < 30; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY(QApplication::focusWidget() != f.MSFmeet);
        }
        find(f.Option1, f.meetdaytxt, u"2026-12-09"_s);
        QVERIFY(f.MSFmeet->focusPolicy() & Qt::TabFocus);
        f.MSFmeet->setFocus();
        QCOMPARE(QApplication::focusWidget(), f.MSFmeet);
    }

    void add_doesNotRefreshTheGrid()
    {
        meeting(u"2026-12-01"_s, u"甲"_s, u"一"_s, u"2026-12-09"_s, 8, 0);
        meetfrm& f = open();
        find(f.Option2, f.meettxt, {});
        fill(u"乙"_s, u"二"_s, u"2026-12-09"_s, u"9"_s, u"00"_s);
        boxes().expect(box(kAdded));
        f.addcmd_Click();
        QCOMPARE(f.MSFmeet->grid()->Rows(), 2);
        find(f.Option2, f.meettxt, {});
        QCOMPARE(f.MSFmeet->grid()->Rows(), 3);
    }

    void revise_outsideModifyMode_sendsNothing()
    {
        meeting(u"2026-12-01"_s, u"甲"_s, u"一"_s, u"2026-12-09"_s, 8, 0);
        meetfrm& f = open();
        f.recorddaytxt->setText(u"2026-12-01"_s);
        fill(u"甲"_s, u"别处"_s, u"2026-12-10"_s, u"9"_s, u"00"_s);
        boxes().expect(box(kNotModify));
        f.revisecmd_Click();
        QCOMPARE(stored().at(0).at(2), u"一"_s);
    }

    void revise_changesEveryMeetingOfTheRecordDateAndTopic()
    {
        meeting(u"2026-12-01"_s, u"甲"_s, u"一"_s, u"2026-12-09"_s, 8, 0);
        meeting(u"2026-12-01"_s, u"甲"_s, u"二"_s, u"2026-12-11"_s, 10, 30);
        meeting(u"2026-12-02"_s, u"甲"_s, u"三"_s, u"2026-12-09"_s, 8, 0);
        meeting(u"2026-12-01"_s, u"乙"_s, u"四"_s, u"2026-12-09"_s, 8, 0);
        meetfrm& f = open();
        find(f.Option1, f.meetdaytxt, u"2026-12-09"_s);
        f.MSFmeet->setRow(1);
        f.MSFmeet_Click();
        f.Check1->click();
        f.addrtxt->setText(u"新'址"_s);
        f.meetdaytxt->setText(u"2026-12-9"_s);
        f.hCombo->setEditText(u"15"_s);
        f.sCombo->setEditText(u"05"_s);
        const QStringList before = fields();
        boxes().expect(box(kChanged));
        f.revisecmd_Click();
        QCOMPARE(fields(), before);
        const QStringList changed{u"2026-12-01"_s, u"甲"_s, u"新'址"_s,
                                  u"2026-12-09"_s, u"15"_s, u"5"_s};
        QCOMPARE(stored(), (QList<QStringList>{
                               changed,
                               changed,
                               {u"2026-12-02"_s, u"甲"_s, u"三"_s, u"2026-12-09"_s, u"8"_s, u"0"_s},
                               {u"2026-12-01"_s, u"乙"_s, u"四"_s, u"2026-12-09"_s, u"8"_s, u"0"_s},
                           }));
        // The grid shows the change only after the next search.
        QCOMPARE(gridRow(1).at(3), u"一"_s);
    }

    void revise_matchingNoMeeting_isReportedAsNotSaved()
    {
        meeting(u"2026-12-01"_s, u"甲"_s, u"一"_s, u"2026-12-09"_s, 8, 0);
        meetfrm& f = open();
        fill(u"丙"_s, u"别处"_s, u"2026-12-10"_s, u"9"_s, u"00"_s);
        f.Check1->click();
        boxes().expect(box(kRunError + u"3021没有纪录日期为“2026-12-08”、会议主题为“丙”的会议，"
                                       "修改未保存。"_s));
        f.revisecmd_Click();
        QCOMPARE(stored().at(0).at(2), u"一"_s);
    }

    void find_withoutKind_showsBoxAndKeepsThePicture()
    {
        meetfrm& f = open();
        boxes().expect(box(kNoKind));
        f.findcmd_Click();
        QVERIFY(f.Picture1->isVisibleTo(&f));
    }

    // A search that finds nothing still writes the headings and the column widths, and
    // leaves the rows of the last search that found some.
    void find_writesHeadingsAndWidthsEvenWhenNothingIsFound()
    {
        const QStringList headings{u"序号"_s,     u"纪录日期"_s, u"会议主题"_s,
                                   u"会议地址"_s, u"会议日期"_s, u"出发时间"_s};
        const int widths[] = {500, 1100, 2000, 2000, 1100, 1000};
        auto headingsAndWidthsWritten = [&] {
            QCOMPARE(gridRow(0), headings);
            for (int j = 0; j < 6; ++j)
                QCOMPARE(f().MSFmeet->columnWidth(j), twips::toPx(widths[j]));
        };
        meeting(u"2026-12-01"_s, u"甲"_s, u"一"_s, u"2026-12-09"_s, 8, 5);
        meetfrm& f = open();
        QCOMPARE(gridRow(0), QStringList(6, QString())); // nothing written before a search
        find(f.Option1, f.meetdaytxt, u"2030-01-01"_s);  // the first search finds nothing
        QVERIFY(!f.Picture1->isVisibleTo(&f));
        headingsAndWidthsWritten();
        QCOMPARE(gridRow(1), QStringList(6, QString()));

        find(f.Option1, f.meetdaytxt, u"2026-12-9"_s);
        const QStringList found = gridRow(1);
        QCOMPARE(found.mid(1),
                 (QStringList{u"2026-12-01"_s, u"甲"_s, u"一"_s, u"2026-12-09"_s, u"8：05"_s}));
        for (int j = 0; j < 6; ++j) { // disturbed, to see the next search write them again
            f.MSFmeet->grid()->setTextMatrix(0, j, u"x"_s);
            f.MSFmeet->setColumnWidth(j, 3);
        }
        find(f.Option1, f.meetdaytxt, u"2030-01-01"_s);
        headingsAndWidthsWritten();
        QCOMPARE(gridRow(1), found); // the previous rows stay
    }

    void find_byKind_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("topics");
        QTest::newRow("date") << 1 << u"2026-12-09"_s << QStringList{u"周会"_s, u"50%折扣"_s};
        QTest::newRow("date typed short")
            << 1 << u"2026/12/9"_s << QStringList{u"周会"_s, u"50%折扣"_s};
        QTest::newRow("date as text") << 1 << u"下周"_s << QStringList{u"a_b"_s};
        QTest::newRow("topic part") << 2 << u"会"_s << QStringList{u"周会"_s, u"O'会"_s};
        QTest::newRow("topic empty lists all")
            << 2 << QString() << QStringList{u"周会"_s, u"50%折扣"_s, u"a_b"_s, u"O'会"_s};
        QTest::newRow("topic percent is literal") << 2 << u"%"_s << QStringList{u"50%折扣"_s};
        QTest::newRow("topic underscore is literal") << 2 << u"_"_s << QStringList{u"a_b"_s};
        QTest::newRow("topic apostrophe") << 2 << u"O'"_s << QStringList{u"O'会"_s};
        QTest::newRow("place part") << 3 << u"楼"_s << QStringList{u"周会"_s, u"50%折扣"_s};
        QTest::newRow("place blanks count") << 3 << u" 楼"_s << QStringList{u"50%折扣"_s};
    }
    void find_byKind()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QStringList, topics);
        meeting(u"2026-12-01"_s, u"周会"_s, u"三楼"_s, u"2026-12-09"_s, 9, 0);
        meeting(u"2026-12-01"_s, u"50%折扣"_s, u"商场 楼下"_s, u"2026-12-09"_s, 10, 0);
        meeting(u"2026-12-01"_s, u"a_b"_s, u"家"_s, u"下周"_s, 11, 0);
        meeting(u"2026-12-01"_s, u"O'会"_s, u"外地"_s, u"2026-12-10"_s, 12, 0);
        meetfrm& f = open();
        QRadioButton* kinds[] = {f.Option1, f.Option2, f.Option3};
        QLineEdit* texts[] = {f.meetdaytxt, f.meettxt, f.addrtxt};
        find(kinds[kind - 1], texts[kind - 1], text);
        QStringList got;
        for (const QStringList& r : gridRows())
            got << r.at(1);
        QCOMPARE(got, topics);
    }

    void find_nullInAFoundRow_showsAnEmptyCell()
    {
        meeting(u"2026-12-01"_s, {}, u"某地"_s, u"2026-12-09"_s, QVariant(), 5);
        m_db->exec(u"update meet_tab set meet_cont = null"_s);
        meetfrm& f = open();
        find(f.Option1, f.meetdaytxt, u"2026-12-09"_s);
        QCOMPARE(gridRows(), (QList<QStringList>{
                                 {u"2026-12-01"_s, {}, u"某地"_s, u"2026-12-09"_s, u"：05"_s}}));
    }

    void find_listsMoreThan32767Rows()
    {
        m_db->exec(u"with recursive n(i) as (select 1 union all select i + 1 from n where i < "
                   "40000) insert into meet_tab (record_date,meet_cont,meet_addr,meet_date,"
                   "go_hour,go_second) select '2026-12-01', 'm' || i, 'p', '2026-12-09', 8, 0 "
                   "from n"_s);
        meetfrm& f = open();
        find(f.Option1, f.meetdaytxt, u"2026-12-09"_s);
        QCOMPARE(f.MSFmeet->grid()->Rows(), 40001);
        QCOMPARE(gridRow(40000).at(2), u"m40000"_s);
    }

    void exit_closesWithoutSaving()
    {
        meetfrm& f = open();
        fill(u"甲"_s, u"一"_s, u"2026-12-09"_s, u"8"_s, u"00"_s);
        f.show();
        f.exitcmd->click();
        QVERIFY(!f.isVisible());
        QCOMPARE(m_db->count(u"meet_tab"_s), 0);
    }
};

QTEST_MAIN(tst_meetfrm)
#include "tst_meetfrm.moc"
