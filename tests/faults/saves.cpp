#include "tests/faults/saves.h"

#include "cards/cardmain.h"
#include "diary/dailyfrm.h"
#include "meetings/meetfrm.h"
#include "modul/cardmodul.h"
#include "modul/tables.h"
#include "tests/support/testsupport.h"
#include "widgets/grid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

using namespace Qt::StringLiterals;
using testsupport::box;

namespace faults {

namespace {
QList<QStringList> rows(adodb::Connection& conn, const QString& sql)
{
    adodb::Recordset rs;
    rs.Open(sql, conn);
    QList<QStringList> out;
    for (; !rs.eof(); rs.MoveNext()) {
        QStringList row;
        for (int c = 0; c < rs.fieldCount(); ++c)
            row << (rs.Fields(c).isNull() ? u"<NULL>"_s : rs.Fields(c).text());
        out << row;
    }
    return out;
}

int count(adodb::Connection& conn, const QString& table)
{
    return rows(conn, u"select count(*) from "_s + table).value(0).value(0).toInt();
}
} // namespace

void seedRows(adodb::Connection& conn)
{
    QStringList cols;
    QVariantList values{cardmodul::namcode(u"张三"_s)};
    for (int c = 1; c < tables::kCardColumns; ++c) {
        cols << tables::cardColumns()[std::size_t(c)];
        if (c > 1)
            values << u"旧%1"_s.arg(c);
    }
    conn.Execute(
        u"insert into cardtab (%1) values (?%2)"_s.arg(cols.join(u','), u",?"_s.repeated(20)),
        values);
    conn.Execute(u"insert into meet_tab (record_date,meet_cont,meet_addr,meet_date,go_hour,"
                 "go_second) values ('2026-12-08','周会','三楼','2026-12-09',9,30)"_s);
    conn.Execute(u"insert into daily_tab values ('2026-12-07', '昨天写了')"_s);
}

QList<QStringList> everything(adodb::Connection& conn)
{
    QList<QStringList> all;
    for (const QString& t : {u"cardtab"_s, u"meet_tab"_s, u"daily_tab"_s, u"daily_hist"_s}) {
        all << QStringList{t};
        all += rows(conn, u"select * from "_s + t + u" order by 1"_s);
    }
    return all;
}

QStringList saveNames()
{
    return {u"card add"_s,    u"card change"_s,    u"card delete"_s,
            u"meeting add"_s, u"meeting change"_s, u"diary save"_s};
}

Save prepareSave(const QString& name)
{
    Save s;
    s.name = name;
    if (name.startsWith(u"card")) {
        auto* f = new cardmain;
        s.window.reset(f);
        f->Form_Load();
        f->MSFcard->setRow(1);
        f->MSFcard_Click();
        if (name == u"card add") {
            f->nametxt->setText(u"李四"_s);
            f->o_phonetxt->setText(u"6666"_s);
            s.act = [f] { f->Newcmd_Click(); };
            s.done = u"纪录被成功增加"_s;
            s.inFile = [](adodb::Connection& c) { return count(c, u"cardtab"_s) == 2; };
        } else if (name == u"card change") {
            f->mobiletxt->setText(u"13900000000"_s);
            s.asked << box(u"确定修改：张三 的通讯地址！"_s, msgbox::Buttons::OKCancel);
            s.act = [f] { f->Command2_Click(); };
            s.done = u"修改成功！"_s;
            s.inFile = [](adodb::Connection& c) {
                return rows(c, u"select mobile from cardtab"_s) ==
                       QList<QStringList>{{u"13900000000"_s}};
            };
        } else {
            s.asked << box(u"确定删除名片—姓名：张三"_s, msgbox::Buttons::OKCancel);
            s.act = [f] { f->Command3_Click(); };
            s.done = u"记录被成功删除"_s;
            s.inFile = [](adodb::Connection& c) { return count(c, u"cardtab"_s) == 0; };
        }
    } else if (name.startsWith(u"meeting")) {
        auto* f = new meetfrm;
        s.window.reset(f);
        f->Form_Load();
        f->meettxt->setText(u"周会"_s);
        f->addrtxt->setText(u"五楼"_s);
        f->meetdaytxt->setText(u"2026-12-10"_s);
        f->hCombo->setEditText(u"8"_s);
        f->sCombo->setEditText(u"15"_s);
        if (name == u"meeting add") {
            s.act = [f] { f->addcmd_Click(); };
            s.done = u"纪录增加成功！"_s;
            s.inFile = [](adodb::Connection& c) { return count(c, u"meet_tab"_s) == 2; };
        } else {
            f->Check1->click();
            s.act = [f] { f->revisecmd_Click(); };
            s.done = u"成功修改纪录！"_s;
            s.inFile = [](adodb::Connection& c) {
                return rows(c, u"select meet_addr, meet_date from meet_tab"_s) ==
                       QList<QStringList>{{u"五楼"_s, u"2026-12-10"_s}};
            };
        }
    } else {
        auto* f = new dailyfrm;
        s.window.reset(f);
        f->Form_Load();
        f->logtxt->setPlainText(u"今天的工作"_s);
        s.act = [f] { f->dailycmd_Click(); };
        s.done = u"日记记录成功！"_s;
        s.inFile = [](adodb::Connection& c) {
            return rows(c, u"select daily_desc from daily_tab where daily_date='2026-12-08'"_s) ==
                   QList<QStringList>{{u"今天的工作"_s}};
        };
    }
    return s;
}

} // namespace faults
