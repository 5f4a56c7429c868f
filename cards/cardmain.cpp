#include "cards/cardmain.h"

#include "modul/cardmodul.h"
#include "modul/cardtab.h"
#include "modul/tables.h"
#include "widgets/form.h"
#include "widgets/grid.h"
#include "widgets/modulboxes.h"
#include "widgets/msgbox.h"
#include "widgets/topmost.h"
#include "widgets/twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {
const QString kLast = u"已经是最后一条记录，请重新查询！"_s;
const QString kFirst = u"已经上最上一条记录，请重新查询！"_s;
} // namespace

cardmain::cardmain(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"cardmain"_s);
    setWindowTitle(u"名片管理"_s);
    setAccessibleName(u"名片管理"_s);
    twips::resizeClient(this, 6510, 4695);

    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(u"SSTab1"_s);
    twips::place(SSTab1, 0, 0, 6495, 4695);
    QWidget* pages[4];
    const QString captions[4] = {u"基本资料"_s, u"联络资料"_s, u"其他"_s, u"名片总览"_s};
    for (int i = 0; i < 4; ++i) {
        pages[i] = new QWidget;
        pages[i]->setObjectName(u"page%1"_s.arg(i));
        pages[i]->setAccessibleName(captions[i]);
        SSTab1->addTab(pages[i], captions[i]);
    }
    // Positions on a page are designed relative to the tab control, tabs included.
    const QPoint page(0, -SSTab1->tabBar()->sizeHint().height());

    // In twips. `label`: where the label of the box starts (form::Control).
    // clang-format off
    form::build(pages[0], {
        // member        object name     caption        left   top  width height  label
        {&sernotxt,      "sernotxt",     u"序号"_s,     1440,   600, 2415, 375},
        {&nametxt,       "nametxt",      u"姓  名"_s,   1440,  1080, 2415, 375,    345},
        {&off_namtxt,    "off_namtxt",   u"单  位"_s,   1440,  1560, 2415, 375,    345},
        {&statustxt,     "statustxt",    u"职  务"_s,   1440,  2040, 2415, 375,    345},
        {&glendertxt,    "glendertxt",   u"性  别"_s,   1440,  2520, 2415, 375,    345},
        {&nationtxt,     "nationtxt",    u"民  族"_s,   1440,  3000, 2415, 375,    345},
        {&agetxt,        "agetxt",       u"年  龄"_s,   1440,  3480, 2415, 375,    345},
        {&blood_typtxt,  "blood_typtxt", u"血  型"_s,   1440,  3960, 2415, 375,    345},
        {&Newcmd,        "Newcmd",       u"添加名片"_s, 4440,   840, 1335, 375},
        {&Command2,      "Command2",     u"名片修改"_s, 4440,  1320, 1335, 375},
        {&Command3,      "Command3",     u"删除名片"_s, 4440,  1800, 1335, 375},
        {&Command7,      "Command7",     u"名片查询"_s, 4440,  2280, 1335, 375},
        {&Command5,      "Command5",     u"下一条"_s,   4440,  2760, 1335, 375},
        {&Command6,      "Command6",     u"上一条"_s,   4440,  3240, 1335, 375},
        {&Command4,      "Command4",     u"退  出"_s,   4440,  3720, 1335, 375},
    }, page);
    form::build(pages[1], {
        {&off_addrtxt,   "off_addrtxt",  u"单位地址"_s, 1080,   720, 2055, 375,    120},
        {&fax_codetxt,   "fax_codetxt",  u"传真号码"_s, 1080,  1200, 2055, 375,    120},
        {&web_addrtxt,   "web_addrtxt",  u"单位网址"_s, 1080,  1680, 2055, 375,    120},
        {&mobiletxt,     "mobiletxt",    u"手   机"_s,  1080,  2160, 2055, 375,    120},
        {&home_addrtxt,  "home_addrtxt", u"家庭地址"_s, 1080,  2640, 2055, 375,    120},
        {&h_ziptxt,      "h_ziptxt",     u"家庭邮编"_s, 1080,  3120, 2055, 375,    120},
        {&web_namtxt,    "web_namtxt",   u"网    名"_s, 1080,  3600, 2055, 375,    120},
        {&o_phonetxt,    "o_phonetxt",   u"单位电话"_s, 4200,   720, 2175, 375,   3240},
        {&off_ziptxt,    "off_ziptxt",   u"单位邮编"_s, 4200,  1200, 2175, 375,   3240},
        {&mail_addrtxt,  "mail_addrtxt", u"E_MAIL"_s,   4200,  1680, 2175, 375,   3240},
        {&call_codetxt,  "call_codetxt", u"呼    机"_s, 4200,  2160, 2175, 375,   3240},
        {&h_phonetxt,    "h_phonetxt",   u"家庭电话"_s, 4200,  2640, 2175, 375,   3240},
        {&qqtxt,         "qqtxt",        u"QQ号"_s,     4200,  3120, 2175, 375,   3240},
    }, page);
    form::build(pages[2], {
        {form::label,    "Label_other",  u" 备  注"_s,   120,   480, 1500,  240},
        {&othertxt,      "othertxt",     u" 备  注"_s,   120,   720, 6135, 3735},
    }, page);
    form::build(pages[3], {
        {&findnamtxt,    "findnamtxt",   u"姓名："_s,   1680,   600, 2175, 375,    960},
        {&findnamcmd,    "findnamcmd",   u"查  找"_s,   4200,   600, 1335, 375},
        {&MSFcard,       "MSFcard",      u"名片列表"_s,    0,  1320, 6495, 3375},
    }, page);
    // clang-format on
    pages[2]->findChild<QLabel*>(u"Label_other"_s)->setBuddy(othertxt);
    QPalette pal = sernotxt->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Window)); // the system menu colour
    sernotxt->setPalette(pal);
    form::limitTyping(nametxt, 10); // a longer stored name is still shown whole
    MSFcard->grid()->setCols(tables::kCardColumns);
    MSFcard->grid()->setRows(2);

    connect(Newcmd, &QPushButton::clicked, this, &cardmain::Newcmd_Click);
    connect(Command2, &QPushButton::clicked, this, &cardmain::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &cardmain::Command3_Click);
    connect(Command7, &QPushButton::clicked, this, &cardmain::Command7_Click);
    connect(Command5, &QPushButton::clicked, this, &cardmain::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &cardmain::Command6_Click);
    connect(Command4, &QPushButton::clicked, this, &cardmain::Command4_Click);
    connect(findnamcmd, &QPushButton::clicked, this, &cardmain::findnamcmd_Click);
    connect(MSFcard, &ct::GridView::Click, this, &cardmain::MSFcard_Click);

    m_lines = {sernotxt,    nametxt,      off_namtxt,  statustxt,    glendertxt,   nationtxt,
               agetxt,      blood_typtxt, off_addrtxt, o_phonetxt,   fax_codetxt,  off_ziptxt,
               web_addrtxt, mail_addrtxt, mobiletxt,   call_codetxt, home_addrtxt, h_phonetxt,
               h_ziptxt,    qqtxt,        web_namtxt};

    SSTab1->setCurrentIndex(0);
    form::centre(this);
    form::useDesignedKeys(this);
}

QString cardmain::boxText(int c) const
{
    return c == 21 ? othertxt->toPlainText() : m_lines[std::size_t(c)]->text();
}

void cardmain::setBoxText(int c, const QString& text)
{
    if (c == 21)
        othertxt->setPlainText(text);
    else
        form::setText(m_lines[std::size_t(c)], text);
}

void cardmain::writeHeadings()
{
    ct::GridModel* g = MSFcard->grid();
    g->clearTexts();
    for (int j = 0; j < tables::kCardColumns && j < g->Cols(); ++j)
        g->setTextMatrix(0, j, tables::cardHeadings()[std::size_t(j)]);
}

void cardmain::showRows(adodb::Recordset& rs, int n)
{
    if (n == 0)
        return;
    try {
        ct::CellTable rows = rs.takeRows();
        cardtab::decodeNames(rows);
        MSFcard->grid()->setBody(std::move(rows));
        MSFcard->setHighlightOnlyWithFocus(true);
    } catch (const adodb::Error&) {
        // passed over, as every step of a fill
    }
}

void cardmain::Form_Load()
{
    cardnum = 0;
    topmost::make(this);
    writeHeadings();
    if (!cardmodul::windowdb()) {
        return;
    }
    adodb::Recordset rs;
    int n = 0;
    try {
        cardtab::openAll(cardmodul::dbconn(), rs);
        n = cardmodul::reccount(rs);
    } catch (const adodb::Error&) {
        n = 0;
    }
    cardnum = n;
    nownum = n - 1;
    showRows(rs, n);
    rs.Close();
}

void cardmain::resizeEvent(QResizeEvent* e)
{
    QDialog::resizeEvent(e);
    Form_Resize();
}

void cardmain::Form_Resize()
{
    const QRect outer = frameGeometry();
    const int w = twips::fromPx(outer.width());
    const int h = twips::fromPx(outer.height());
    SSTab1->resize(twips::toPx(w), twips::toPx(h));
    if (w > 10) {
        MSFcard->resize(twips::toPx(w - 10), MSFcard->height());
        othertxt->resize(twips::toPx(w - 10), othertxt->height());
    }
}

void cardmain::Command4_Click()
{
    reject();
}

void cardmain::Command7_Click()
{
    SSTab1->setCurrentIndex(3);
}

void cardmain::findnamcmd_Click()
{
    const QString coded = cardmodul::namcode(cardtab::trimBlanks(findnamtxt->text()));
    adodb::Recordset rs;
    int n = 0;
    try {
        cardtab::openByName(cardmodul::dbconn(), rs, coded);
        n = cardmodul::reccount(rs);
    } catch (const adodb::Error&) {
        n = 0;
    }
    cardnum = n;
    nownum = n;
    writeHeadings();
    showRows(rs, n);
    rs.Close();
}

void cardmain::copyRow(int r)
{
    const ct::GridModel* g = MSFcard->grid();
    try {
        for (int c = 0; c < tables::kCardColumns; ++c) {
            setBoxText(c, g->TextMatrix(r, c));
            if (c == 0)
                sernotxt->setEnabled(false);
        }
    } catch (const std::out_of_range&) {
        throw adodb::Error(381, u"下标越界：名片列表没有第 %1 行。"_s.arg(r));
    }
}

void cardmain::emptyBoxes()
{
    for (int c = 0; c < tables::kCardColumns; ++c) {
        setBoxText(c, {});
        if (c == 0)
            sernotxt->setEnabled(false);
    }
}

void cardmain::MSFcard_Click()
{
    const int r = MSFcard->Row();
    nownum = r;
    try {
        copyRow(r);
    } catch (const adodb::Error&) {
        // the current row is always a data row
    }
}

void cardmain::Newcmd_Click()
{
    bool acceptable = true;
    if (nametxt->text().isEmpty()) {
        msgbox::show(u"姓名不能为空"_s);
        acceptable = false;
    }
    if (o_phonetxt->text().isEmpty()) {
        msgbox::show(u"单位联系电话不能为空！"_s);
        acceptable = false;
    }
    if (!acceptable) {
        msgbox::show(u"名片未保存，清重新输入相关信息！"_s);
        return;
    }
    try {
        const QString coded = cardmodul::namcode(cardtab::trimBlanks(nametxt->text()));
        bool store = true;
        if (cardmodul::namexist(coded))
            store = msgbox::show(u"相同姓名的人已存在，是否增加！"_s, msgbox::Buttons::YesNo) ==
                    msgbox::Result::Yes;
        if (store) {
            QStringList values{coded};
            for (int c = 2; c < tables::kCardColumns; ++c)
                values << cardtab::trimBlanks(boxText(c));
            cardtab::add(cardmodul::dbconn(), values);
            msgbox::show(u"纪录被成功增加"_s);
        }
        for (int c = 1; c < tables::kCardColumns; ++c)
            setBoxText(c, {});
    } catch (const adodb::Error& e) {
        cardmodul::runError(e);
    }
}

void cardmain::Command2_Click()
{
    try {
        const QString question =
            u"确定修改："_s + cardtab::trimBlanks(nametxt->text()) + u" 的通讯地址！"_s;
        if (msgbox::show(question, msgbox::Buttons::OKCancel) != msgbox::Result::OK)
            return;
        const qint64 serno = cardtab::serialNumber(sernotxt->text());
        QStringList contacts;
        for (int c = 8; c <= 20; ++c) // off_addr .. web_nam, as typed
            contacts << boxText(c);
        // A card deleted meanwhile is not reported as changed: the typed details would be lost.
        if (cardtab::change(cardmodul::dbconn(), serno, contacts) == 0)
            throw adodb::Error(adodb::ErrNoCurrentRow,
                               u"没有序号为 %1 的名片，修改未保存。"_s.arg(serno));
        msgbox::show(u"修改成功！"_s);
    } catch (const adodb::Error& e) {
        cardmodul::runError(e);
    }
}

void cardmain::Command3_Click()
{
    try {
        if (msgbox::show(u"确定删除名片—姓名："_s + nametxt->text(), msgbox::Buttons::OKCancel) !=
            msgbox::Result::OK)
            return;
        cardtab::remove(cardmodul::dbconn(), cardtab::serialNumber(sernotxt->text()));
        msgbox::show(u"记录被成功删除"_s);
    } catch (const adodb::Error& e) {
        cardmodul::runError(e);
    }
}

void cardmain::Command5_Click()
{
    try {
        if (nownum > 0 && nownum < cardnum) {
            copyRow(nownum + 1);
            ++nownum;
        } else {
            // An empty list shows empty boxes, never its heading row.
            if (cardnum == 0)
                emptyBoxes();
            else
                copyRow(cardnum);
            msgbox::show(kLast);
        }
    } catch (const adodb::Error& e) {
        cardmodul::runError(e);
    }
}

void cardmain::Command6_Click()
{
    try {
        if (nownum > 1) {
            copyRow(nownum - 1);
            --nownum;
        } else {
            copyRow(1);
            msgbox::show(kFirst);
        }
    } catch (const adodb::Error& e) {
        cardmodul::runError(e);
    }
}
