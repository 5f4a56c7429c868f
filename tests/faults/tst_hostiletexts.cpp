// Hostile texts in every box that reaches the database: the card window's boxes, the
// meeting window's boxes, the diary text, and the searches. Each text is stored and read
// back exactly and found by the searches that should find it and by no other, or it is
// refused with a clear message and nothing is written.

#include "cards/cardmain.h"
#include "diary/dailyfrm.h"
#include "meetings/meetfrm.h"
#include "modul/cardtab.h"
#include "modul/tables.h"
#include "platform/clock.h"
#include "tests/faults/faultkit.h"
#include "tests/support/testsupport.h"
#include "widgets/grid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;
using msgbox::Buttons;
using msgbox::Icon;
using testsupport::box;
using testsupport::TempDb;

namespace {
const QDateTime kNow(QDate(2026, 12, 8), QTime(10, 0));
const QString kLone = u"张"_s + QChar(0xD800) + u"三"_s;

// The texts, and whether they can be stored as they are.
void addTexts()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("storable");
    QTest::newRow("apostrophe") << u"'"_s << true;
    QTest::newRow("quote") << u"\""_s << true;
    QTest::newRow("percent") << u"%"_s << true;
    QTest::newRow("underscore") << u"_"_s << true;
    QTest::newRow("backslash") << u"\\"_s << true;
    QTest::newRow("semicolon") << u";"_s << true;
    QTest::newRow("comment") << u"--"_s << true;
    QTest::newRow("injection") << u"'; drop table cardtab;--"_s << true;
    QTest::newRow("U+0000 inside") << u"甲"_s + QChar(0) + u"乙"_s << true;
    QTest::newRow("U+FEFF first") << QChar(0xFEFF) + u"会议"_s << true;
    QTest::newRow("U+FFFE first") << QChar(0xFFFE) + u"会议"_s << true;
    QTest::newRow("name coding to U+FFFE") << QChar(0xFFC5) + u"李四"_s << true;
    QTest::newRow("emoji with skin tones") << u"👍🏽👩🏿‍💻"_s << true;
    QTest::newRow("right to left") << u"שלום مرحبا"_s + QChar(0x202E) + u"abc"_s << true;
    QTest::newRow("lone surrogate") << kLone << false;
}

const QString kRefused = u"程序运行错误：3421文本中第 2 个字符（U+%1）是不成对的代理码元，无法按"
                         "原样保存，什么也没有写入。请删去这个字符后再试。"_s;

// The text, its first character and the rest: what a search may be given of it.
QStringList partsOf(const QString& text)
{
    const qsizetype first = text.size() > 1 && text[0].isHighSurrogate() ? 2 : 1;
    QStringList parts{text};
    if (text.size() > first)
        parts << text.left(first) << text.mid(first);
    return parts;
}

QList<QStringList> sorted(QList<QStringList> rows)
{
    std::sort(rows.begin(), rows.end());
    return rows;
}

QStringList sorted(QStringList l)
{
    l.sort();
    return l;
}
} // namespace

class tst_hostiletexts : public testsupport::BoxTest {
    Q_OBJECT
    std::unique_ptr<TempDb> m_db;
    std::unique_ptr<ctclock::FixedClock> m_clock;

    void initTest() override
    {
        m_clock = std::make_unique<ctclock::FixedClock>(kNow);
        m_db = std::make_unique<TempDb>();
        m_db->openShared();
    }
    void cleanupTest() override
    {
        m_db.reset();
        m_clock.reset();
    }

    // The stored names, decoded.
    QStringList storedNames()
    {
        QStringList names;
        for (const QStringList& r : m_db->rows(u"select full_nam from cardtab"_s))
            names << cardmodul::namcode(r[0]);
        return names;
    }

private Q_SLOTS:
    // ---- the card window ----------------------------------------------------------------

    void cardWindow_data() { addTexts(); }
    void cardWindow()
    {
        QFETCH(QString, text);
        QFETCH(bool, storable);
        for (const QString& n : {u"张三"_s, u"O'Brien"_s, u"50%"_s, u"a_b"_s, u"c;d"_s})
            m_db->exec(u"insert into cardtab (full_nam, o_phone) values (?, '1')"_s,
                       {cardmodul::namcode(n)});
        cardmain f;
        f.Form_Load();
        for (int c = 2; c < tables::kCardColumns; ++c)
            f.setBoxText(c, text);
        f.nametxt->insert(text); // as typed or pasted: the typing limit applies
        QStringList typed;
        for (int c = 0; c < tables::kCardColumns; ++c)
            typed << f.boxText(c);
        // Only the name box has a limit (10 units), and it never keeps half a character.
        QVERIFY(text.startsWith(typed[1]));
        QCOMPARE(typed[1].size(), text.left(10).size() - (text.left(10).back().isHighSurrogate()));
        QCOMPARE(typed.mid(2), QStringList(tables::kCardColumns - 2, text));

        if (!storable) {
            const QByteArray bytes = faults::digest(m_db->file());
            // The name is checked first, coded: the unit shown is the coded one.
            boxes().expect(box(kRefused.arg(QString::number(0xD800 ^ 0x3B, 16).toUpper())));
            f.Newcmd_Click();
            CT_VERIFY_BOXES(boxes());
            QCOMPARE(m_db->count(u"cardtab"_s), 5);
            QCOMPARE(faults::digest(m_db->file()), bytes);
            QCOMPARE(f.boxText(1), typed[1]); // the boxes keep what was typed
            f.findnamtxt->setText(text);
            f.findnamcmd_Click(); // the lookup passes over the failure: nothing listed
            QCOMPARE(f.cardnum, 0);
            return;
        }
        boxes().expect(box(u"纪录被成功增加"_s));
        f.Newcmd_Click();
        CT_VERIFY_BOXES(boxes());
        const QList<QStringList> stored = m_db->rows(u"select * from cardtab where serno = 6"_s);
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored[0][1], cardmodul::namcode(typed[1]));
        QCOMPARE(stored[0].mid(2), typed.mid(2));

        // Found by the name lookup with every text that is part of its name, and the
        // others found exactly as their names contain the text.
        const QStringList names = storedNames();
        for (const QString& part : partsOf(typed[1])) {
            if (part.trimmed().isEmpty())
                continue;
            f.findnamtxt->setText(part);
            f.findnamcmd_Click();
            QStringList found;
            for (int r = 1; r <= f.cardnum; ++r)
                found << f.MSFcard->grid()->TextMatrix(r, 1);
            QStringList expected;
            for (const QString& n : names)
                if (n.contains(part))
                    expected << n;
            QCOMPARE(sorted(found), sorted(expected));
        }
        // Picked in the list, the card fills the boxes exactly as they were typed.
        f.findnamtxt->setText(typed[1]);
        f.findnamcmd_Click();
        int row = 0;
        for (int r = 1; r <= f.cardnum; ++r)
            if (f.MSFcard->grid()->TextMatrix(r, 0) == u"6")
                row = r;
        QVERIFY(row > 0);
        f.MSFcard->setRow(row);
        f.MSFcard_Click();
        typed[0] = u"6"_s;
        for (int c = 0; c < tables::kCardColumns; ++c)
            QCOMPARE(f.boxText(c), typed[c]);

        // Changed: the contact boxes as typed.
        const QString changed = text + u"改"_s;
        for (int c = 8; c <= 20; ++c)
            f.setBoxText(c, changed);
        boxes().expect(box(u"确定修改："_s + cardtab::trimBlanks(typed[1]) + u" 的通讯地址！"_s,
                           Buttons::OKCancel));
        boxes().expect(box(u"修改成功！"_s));
        f.Command2_Click();
        CT_VERIFY_BOXES(boxes());
        QCOMPARE(m_db->rows(u"select off_addr, web_nam, note from cardtab where serno = 6"_s),
                 (QList<QStringList>{{changed, changed, text}}));

        // Deleted: that card alone.
        boxes().expect(box(u"确定删除名片—姓名："_s + typed[1], Buttons::OKCancel));
        boxes().expect(box(u"记录被成功删除"_s));
        f.Command3_Click();
        CT_VERIFY_BOXES(boxes());
        QCOMPARE(sorted(storedNames()),
                 sorted({u"张三"_s, u"O'Brien"_s, u"50%"_s, u"a_b"_s, u"c;d"_s}));
    }

    // ---- the meeting window -------------------------------------------------------------

    void meetingWindow_data() { addTexts(); }
    void meetingWindow()
    {
        QFETCH(QString, text);
        QFETCH(bool, storable);
        const QList<QStringList> others = {
            {u"2026-12-01"_s, u"周会"_s, u"三楼"_s, u"2026-12-09"_s},
            {u"2026-12-01"_s, u"进度50%"_s, u"100%会议室"_s, u"2026-12-10"_s},
            {u"2026-12-02"_s, u"a_b讨论"_s, u"x_y"_s, u"2026-12-11"_s},
            {u"2026-12-02"_s, u"O'Brien来访"_s, u"d'Or"_s, u"2026-12-12"_s}};
        for (const QStringList& o : others)
            m_db->exec(u"insert into meet_tab (record_date,meet_cont,meet_addr,meet_date,"
                       "go_hour,go_second) values (?,?,?,?,9,0)"_s,
                       {o[0], o[1], o[2], o[3]});
        auto stored = [this] {
            return m_db->rows(u"select record_date,meet_cont,meet_addr,meet_date,go_hour,"
                              "go_second from meet_tab order by meet_serno"_s);
        };
        const QList<QStringList> before = stored();
        auto f = std::make_unique<meetfrm>();
        f->Form_Load();
        f->recorddaytxt->setText(text);
        f->meettxt->setText(text);
        f->addrtxt->setText(text);
        f->meetdaytxt->setText(text);
        f->hCombo->setEditText(u"9"_s);
        f->sCombo->setEditText(u"30"_s);
        if (!storable) {
            const QByteArray bytes = faults::digest(m_db->file());
            const QString refused = kRefused.arg(u"D800"_s);
            boxes().expect(box(refused));
            f->addcmd_Click();
            for (QRadioButton* kind : {f->Option1, f->Option2, f->Option3}) {
                kind->setChecked(true);
                boxes().expect(box(refused));
                f->findcmd_Click();
            }
            CT_VERIFY_BOXES(boxes());
            QCOMPARE(stored(), before);
            QCOMPARE(faults::digest(m_db->file()), bytes);
            QCOMPARE(f->meettxt->text(), text);
            return;
        }
        boxes().expect(box(u"纪录增加成功！"_s));
        f->addcmd_Click();
        CT_VERIFY_BOXES(boxes());
        QCOMPARE(stored(),
                 before + QList<QStringList>({{text, text, text, text, u"9"_s, u"30"_s}}));

        // Each search lists exactly the meetings it should: the date search the meetings
        // of that date text, topic and place searches those that contain the text.
        const QList<QStringList> all = stored();
        for (int kind = 0; kind < 3; ++kind) {
            for (const QString& part : partsOf(text)) {
                if (kind == 0 && part != text)
                    continue;
                auto w = std::make_unique<meetfrm>();
                w->Form_Load();
                QRadioButton* option[] = {w->Option1, w->Option2, w->Option3};
                QLineEdit* field[] = {w->meetdaytxt, w->meettxt, w->addrtxt};
                option[kind]->setChecked(true);
                field[kind]->setText(part);
                w->findcmd_Click();
                QList<QStringList> found;
                for (int r = 1; r < w->MSFmeet->grid()->Rows(); ++r) {
                    QStringList row;
                    for (int c = 1; c <= 4; ++c)
                        row << w->MSFmeet->grid()->TextMatrix(r, c);
                    found << row;
                }
                QList<QStringList> expected;
                for (const QStringList& m : all) {
                    const QString& column = m[kind == 0 ? 3 : kind == 1 ? 1 : 2];
                    if (kind == 0 ? column == part : column.contains(part))
                        expected << m.mid(0, 4);
                }
                QCOMPARE(sorted(found), sorted(expected));
            }
        }

        // Changed by record date and topic: place, date and time as typed.
        f->Check1->click();
        f->meettxt->setText(text); // the save emptied it
        f->sCombo->setEditText(u"30"_s);
        f->addrtxt->setText(text + u"改"_s);
        f->meetdaytxt->setText(text + u"改"_s);
        f->hCombo->setEditText(u"10"_s);
        boxes().expect(box(u"成功修改纪录！"_s));
        f->revisecmd_Click();
        CT_VERIFY_BOXES(boxes());
        const QStringList revised{text, text, text + u"改"_s, text + u"改"_s, u"10"_s, u"30"_s};
        QCOMPARE(stored(), before + QList<QStringList>{revised});

        // The hour and minute boxes take whole numbers only: the text is refused.
        const QList<QStringList> changed = stored();
        for (QComboBox* time : {f->hCombo, f->sCombo}) {
            f->hCombo->setEditText(u"9"_s);
            f->sCombo->setEditText(u"30"_s);
            time->setEditText(text);
            const bool hour = time == f->hCombo;
            boxes().expect(box(u"程序运行错误：3464数据类型不匹配：出发时间的%1“%2”不是 0 到 %3 "
                               "的整数。"_s.arg(hour ? u"时"_s : u"分"_s, time->currentText(),
                                                hour ? u"23"_s : u"59"_s)));
            f->addcmd_Click();
            CT_VERIFY_BOXES(boxes());
        }
        QCOMPARE(stored(), changed);
    }

    // ---- the diary ----------------------------------------------------------------------

    void diary_data()
    {
        addTexts();
        QString mb;
        for (int i = 0; mb.size() < (1 << 20) / 3; ++i)
            mb += u"第%1段：日记内容，写得很长。'%_;\\\n"_s.arg(i);
        QTest::newRow("1 MB text") << mb << true;
        QStringList lines;
        for (int i = 1; i <= 10000; ++i)
            lines << u"第%1行"_s.arg(i);
        QTest::newRow("10,000 lines") << lines.join(u'\n') << true;
    }
    void diary()
    {
        QFETCH(QString, text);
        QFETCH(bool, storable);
        m_db->exec(u"insert into daily_tab values ('2026-12-07', '昨天写了')"_s);
        dailyfrm f;
        QVERIFY(f.Form_Load());
        f.logtxt->setPlainText(text);
        const QString typed = f.logtxt->toPlainText();
        QCOMPARE(typed, text);
        const auto stored = [this] {
            return m_db->rows(u"select daily_date, daily_desc from daily_tab order by 1"_s);
        };
        if (!storable) {
            const QByteArray bytes = faults::digest(m_db->file());
            boxes().expect(box(kRefused.arg(u"D800"_s)));
            f.dailycmd_Click();
            CT_VERIFY_BOXES(boxes());
            QCOMPARE(stored(), (QList<QStringList>{{u"2026-12-07"_s, u"昨天写了"_s}}));
            QCOMPARE(faults::digest(m_db->file()), bytes);
            QCOMPARE(f.logtxt->toPlainText(), text);
            return;
        }
        boxes().expect(box(u"日记记录成功！"_s));
        f.dailycmd_Click();
        CT_VERIFY_BOXES(boxes());
        QCOMPARE(stored(),
                 (QList<QStringList>{{u"2026-12-07"_s, u"昨天写了"_s}, {u"2026-12-08"_s, text}}));

        // Looked up by its date: the text exactly; looked up by the text: nothing.
        f.Option2->click();
        f.logtxt->clear();
        f.datetxt->setText(u"2026-12-08"_s);
        f.dailycmd_Click();
        QCOMPARE(f.logtxt->toPlainText(), text);
        f.datetxt->setText(text.left(100));
        boxes().expect(
            box(u"没有找到纪录，请注意日期格式为2003-08-30 ！"_s, Buttons::OK, Icon::None, true));
        f.dailycmd_Click();
        CT_VERIFY_BOXES(boxes());
        QCOMPARE(faults::ctdbCheck(m_db->dir()).code, 0);
    }
};

QTEST_MAIN(tst_hostiletexts)
#include "tst_hostiletexts.moc"
