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
    m_pageTop = SSTab1->tabBar()->sizeHint().height();

    // Page 0: the basic details and the buttons.
    QWidget* p0 = pages[0];
    sernotxt = edit(p0, "sernotxt", {}, 0, 1440, 600, 2415);
    sernotxt->setAccessibleName(u"序号"_s);
    {
        QPalette pal = sernotxt->palette();
        pal.setColor(QPalette::Base, pal.color(QPalette::Window)); // the system menu colour
        sernotxt->setPalette(pal);
    }
    nametxt = edit(p0, "nametxt", u"姓  名"_s, 345, 1440, 1080, 2415);
    form::limitTyping(nametxt, 10); // a longer stored name is still shown whole
    off_namtxt = edit(p0, "off_namtxt", u"单  位"_s, 345, 1440, 1560, 2415);
    statustxt = edit(p0, "statustxt", u"职  务"_s, 345, 1440, 2040, 2415);
    glendertxt = edit(p0, "glendertxt", u"性  别"_s, 345, 1440, 2520, 2415);
    nationtxt = edit(p0, "nationtxt", u"民  族"_s, 345, 1440, 3000, 2415);
    agetxt = edit(p0, "agetxt", u"年  龄"_s, 345, 1440, 3480, 2415);
    blood_typtxt = edit(p0, "blood_typtxt", u"血  型"_s, 345, 1440, 3960, 2415);

    Newcmd = button(p0, "Newcmd", u"添加名片"_s, 4440, 840);
    Command2 = button(p0, "Command2", u"名片修改"_s, 4440, 1320);
    Command3 = button(p0, "Command3", u"删除名片"_s, 4440, 1800);
    Command7 = button(p0, "Command7", u"名片查询"_s, 4440, 2280);
    Command5 = button(p0, "Command5", u"下一条"_s, 4440, 2760);
    Command6 = button(p0, "Command6", u"上一条"_s, 4440, 3240);
    Command4 = button(p0, "Command4", u"退  出"_s, 4440, 3720);
    connect(Newcmd, &QPushButton::clicked, this, &cardmain::Newcmd_Click);
    connect(Command2, &QPushButton::clicked, this, &cardmain::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &cardmain::Command3_Click);
    connect(Command7, &QPushButton::clicked, this, &cardmain::Command7_Click);
    connect(Command5, &QPushButton::clicked, this, &cardmain::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &cardmain::Command6_Click);
    connect(Command4, &QPushButton::clicked, this, &cardmain::Command4_Click);

    // Page 1: contact details, two columns of seven rows (the last right one empty).
    QWidget* p1 = pages[1];
    const int rows[7] = {720, 1200, 1680, 2160, 2640, 3120, 3600};
    off_addrtxt = edit(p1, "off_addrtxt", u"单位地址"_s, 120, 1080, rows[0], 2055);
    fax_codetxt = edit(p1, "fax_codetxt", u"传真号码"_s, 120, 1080, rows[1], 2055);
    web_addrtxt = edit(p1, "web_addrtxt", u"单位网址"_s, 120, 1080, rows[2], 2055);
    mobiletxt = edit(p1, "mobiletxt", u"手   机"_s, 120, 1080, rows[3], 2055);
    home_addrtxt = edit(p1, "home_addrtxt", u"家庭地址"_s, 120, 1080, rows[4], 2055);
    h_ziptxt = edit(p1, "h_ziptxt", u"家庭邮编"_s, 120, 1080, rows[5], 2055);
    web_namtxt = edit(p1, "web_namtxt", u"网    名"_s, 120, 1080, rows[6], 2055);
    o_phonetxt = edit(p1, "o_phonetxt", u"单位电话"_s, 3240, 4200, rows[0], 2175);
    off_ziptxt = edit(p1, "off_ziptxt", u"单位邮编"_s, 3240, 4200, rows[1], 2175);
    mail_addrtxt = edit(p1, "mail_addrtxt", u"E_MAIL"_s, 3240, 4200, rows[2], 2175);
    call_codetxt = edit(p1, "call_codetxt", u"呼    机"_s, 3240, 4200, rows[3], 2175);
    h_phonetxt = edit(p1, "h_phonetxt", u"家庭电话"_s, 3240, 4200, rows[4], 2175);
    qqtxt = edit(p1, "qqtxt", u"QQ号"_s, 3240, 4200, rows[5], 2175);

    // Page 2: remarks.
    QWidget* p2 = pages[2];
    auto* otherLabel = new QLabel(u" 备  注"_s, p2);
    otherLabel->setObjectName(u"Label_other"_s);
    otherLabel->setGeometry(twips::toPx(120), twips::toPx(480) - m_pageTop, twips::toPx(1500),
                            twips::toPx(240));
    othertxt = new QPlainTextEdit(p2);
    othertxt->setObjectName(u"othertxt"_s);
    othertxt->setAccessibleName(u" 备  注"_s);
    othertxt->setTabChangesFocus(true);
    othertxt->setGeometry(twips::toPx(120), twips::toPx(720) - m_pageTop, twips::toPx(6135),
                          twips::toPx(3735));
    otherLabel->setBuddy(othertxt);

    // Page 3: the lookup and the card list.
    QWidget* p3 = pages[3];
    findnamtxt = edit(p3, "findnamtxt", u"姓名："_s, 960, 1680, 600, 2175);
    findnamcmd = button(p3, "findnamcmd", u"查  找"_s, 4200, 600);
    connect(findnamcmd, &QPushButton::clicked, this, &cardmain::findnamcmd_Click);
    MSFcard = new ct::GridView(p3);
    MSFcard->setObjectName(u"MSFcard"_s);
    MSFcard->setAccessibleName(u"名片列表"_s);
    MSFcard->grid()->setCols(tables::kCardColumns);
    MSFcard->grid()->setRows(2);
    MSFcard->setGeometry(0, twips::toPx(1320) - m_pageTop, twips::toPx(6495), twips::toPx(3375));
    connect(MSFcard, &ct::GridView::Click, this, &cardmain::MSFcard_Click);

    m_lines = {sernotxt,    nametxt,      off_namtxt,  statustxt,    glendertxt,   nationtxt,
               agetxt,      blood_typtxt, off_addrtxt, o_phonetxt,   fax_codetxt,  off_ziptxt,
               web_addrtxt, mail_addrtxt, mobiletxt,   call_codetxt, home_addrtxt, h_phonetxt,
               h_ziptxt,    qqtxt,        web_namtxt};

    SSTab1->setCurrentIndex(0);
    form::centre(this);
    form::useDesignedKeys(this);
}

QLineEdit* cardmain::edit(QWidget* page, const char* name, const QString& label, int labelLeft,
                          int left, int top, int width)
{
    auto* e = new QLineEdit(page);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(twips::toPx(left), twips::toPx(top) - m_pageTop, twips::toPx(width),
                   twips::toPx(375));
    if (!label.isEmpty()) {
        auto* l = new QLabel(label, page);
        l->setObjectName(u"Label_"_s + e->objectName());
        l->setGeometry(twips::toPx(labelLeft), twips::toPx(top) - m_pageTop,
                       twips::toPx(left - labelLeft - 60), twips::toPx(375));
        l->setBuddy(e);
        e->setAccessibleName(label);
    }
    return e;
}

QPushButton* cardmain::button(QWidget* page, const char* name, const QString& caption, int left,
                              int top)
{
    auto* b = new QPushButton(caption, page);
    b->setObjectName(QString::fromLatin1(name));
    b->setAccessibleName(caption);
    b->setAutoDefault(false);
    b->setGeometry(twips::toPx(left), twips::toPx(top) - m_pageTop, twips::toPx(1335),
                   twips::toPx(375));
    return b;
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
