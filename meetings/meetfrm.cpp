#include "meetings/meetfrm.h"

#include "modul/cardmodul.h"
#include "modul/meettab.h"
#include "platform/clock.h"
#include "widgets/form.h"
#include "widgets/grid.h"
#include "widgets/modulboxes.h"
#include "widgets/msgbox.h"
#include "widgets/topmost.h"
#include "widgets/twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>

#include <stdexcept>

using namespace Qt::StringLiterals;

// The grid's column widths as designed, under the headings tables::meetHeadings(); every
// search sets them.
const std::array<int, tables::kMeetListColumns> meetfrm::kGridTwips{
    {500, 1100, 2000, 2000, 1100, 1000}};

meetfrm::meetfrm(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"meetfrm"_s);
    setWindowTitle(u"会议/约会"_s);
    setAccessibleName(u"会议/约会"_s);
    setFont(form::songFont());
    twips::resizeClient(this, 6210, 5340);

    // In twips. `label`: where the label of the control starts (form::Control).
    // clang-format off
    form::build(this, {
        // member        object name     caption              left   top  width height  label
        {&Frame1,        "Frame1",       u"查找方式"_s,          0,   120, 4095,  615}});
    form::build(Frame1, {
        {&Option1,       "Option1",      u"会议日期"_s,        120,   240, 1215,  300},
        {&Option2,       "Option2",      u"会议主题"_s,       1440,   240, 1215,  300},
        {&Option3,       "Option3",      u"会议地点"_s,       2760,   240, 1215,  300}});
    form::build(this, {
        {&Frame2,        "Frame2",       u"修改方式"_s,       4200,   120, 1575,  615}});
    form::build(Frame2, {
        {&Check1,        "Check1",       u"修改记录"_s,        120,   240, 1335,  300}});
    form::build(this, {
        {&recorddaytxt,  "recorddaytxt", u"纪录日期："_s,     1440,   960, 2655,  375,    240},
        {&meettxt,       "meettxt",      u"会议主题："_s,     1440,  1440, 2655,  375,    240},
        {&addrtxt,       "addrtxt",      u"会议地点："_s,     1440,  1920, 2655,  375,    240},
        {&meetdaytxt,    "meetdaytxt",   u"会议日期："_s,     1440,  2400, 2655,  375,    240},
        {&hCombo,        "hCombo",       u"出发时间："_s,     1440,  2880,  855,  375,    240},
        {form::label,    "Label_h",      u"时"_s,             2340,  2880,  300,  375},
        {&sCombo,        "sCombo",       u"出发时间（分）"_s, 2760,  2880,  855,  375},
        {form::label,    "Label_s",      u"分"_s,             3660,  2880,  300,  375},
        {&addcmd,        "addcmd",       u"新  增"_s,         4440,   840, 1455,  495},
        {&findcmd,       "findcmd",      u"查  找"_s,         4440,  1440, 1455,  495},
        {&revisecmd,     "revisecmd",    u"修  改"_s,         4440,  2040, 1455,  495},
        {&exitcmd,       "exitcmd",      u"退  出"_s,         4440,  2640, 1455,  495},
        {&MSFmeet,       "MSFmeet",      u"会议列表"_s,        120,  3480, 6015, 1815},
        {&Picture1,      "Picture1",     {},                   120,  3480, 6015, 1815}});
    // clang-format on
    hCombo->addItems({u"6"_s,  u"7"_s,  u"8"_s,  u"9"_s,  u"10"_s, u"11"_s, u"12"_s, u"13"_s,
                      u"14"_s, u"15"_s, u"16"_s, u"17"_s, u"18"_s, u"19"_s, u"20"_s, u"21"_s,
                      u"22"_s, u"23"_s, u"0"_s,  u"1"_s,  u"2"_s,  u"3"_s,  u"4"_s,  u"5"_s});
    sCombo->addItems({u"00"_s, u"05"_s, u"10"_s, u"15"_s, u"20"_s, u"25"_s, u"30"_s, u"35"_s,
                      u"40"_s, u"45"_s, u"50"_s, u"55"_s});
    for (QComboBox* c : {hCombo, sCombo}) { // both start empty
        c->setCurrentIndex(-1);
        c->setEditText({});
    }
    meetdaytxt->installEventFilter(this);
    MSFmeet->grid()->setCols(tables::kMeetListColumns);
    MSFmeet->grid()->setRows(2);
    MSFmeet->setFocusPolicy(Qt::NoFocus); // hidden under the picture until the first search

    // Covers the grid until the first search.
    Picture1->setAccessibleName(u"会议图片"_s);
    Picture1->setAlignment(Qt::AlignCenter);
    Picture1->setAutoFillBackground(true);
    Picture1->setFrameShape(QFrame::StyledPanel);
    // The larger drawing of the picture, enlarged to fill the grid's place.
    const QPixmap pm = QIcon(u":/images/meeting.png"_s).pixmap(QSize(80, 80));
    if (!pm.isNull())
        Picture1->setPixmap(
            pm.scaled(Picture1->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    Picture1->raise();

    connect(Check1, &QCheckBox::toggled, this, &meetfrm::Check1_Click);
    connect(addcmd, &QPushButton::clicked, this, &meetfrm::addcmd_Click);
    connect(findcmd, &QPushButton::clicked, this, &meetfrm::findcmd_Click);
    connect(revisecmd, &QPushButton::clicked, this, &meetfrm::revisecmd_Click);
    connect(exitcmd, &QPushButton::clicked, this, &meetfrm::exitcmd_Click);
    connect(MSFmeet, &ct::GridView::Click, this, &meetfrm::MSFmeet_Click);

    form::centre(this);
    form::useDesignedKeys(this);
}

void meetfrm::Form_Load()
{
    topmost::make(this);
    if (!cardmodul::windowdb()) {
        // The window stays open without a record date; the main window stays minimised.
        return;
    }
    recorddaytxt->setText(cardmodul::datetext(ctclock::today()));
}

void meetfrm::MSFmeet_Click()
{
    const ct::GridModel* g = MSFmeet->grid();
    const int r = MSFmeet->Row();
    try {
        recorddaytxt->setText(g->TextMatrix(r, 1));
        meettxt->setText(g->TextMatrix(r, 2));
        addrtxt->setText(g->TextMatrix(r, 3));
        meetdaytxt->setText(g->TextMatrix(r, 4));
        const QString time = g->TextMatrix(r, 5);
        const qsizetype colon = time.indexOf(u'：');
        if (colon >= 0) {
            hCombo->setEditText(time.left(colon));
            sCombo->setEditText(time.mid(colon + 1));
        }
    } catch (const std::out_of_range&) {
        // the current row is always a grid row
    }
}

void meetfrm::Check1_Click()
{
    const bool modify = Check1->isChecked();
    recorddaytxt->setEnabled(!modify);
    meettxt->setEnabled(!modify);
}

bool meetfrm::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == meetdaytxt && e->type() == QEvent::FocusOut) {
        // Focus that moves to another control of this window, not to a box or another window.
        const Qt::FocusReason why = static_cast<QFocusEvent*>(e)->reason();
        if (why != Qt::ActiveWindowFocusReason && why != Qt::PopupFocusReason)
            meetdaytxt_LostFocus();
    }
    return QDialog::eventFilter(watched, e);
}

void meetfrm::meetdaytxt_LostFocus()
{
    if (m_checkingDate || meetdaytxt->text().isEmpty())
        return;
    m_checkingDate = true;
    const auto meetDay = cardmodul::parseDate(meetdaytxt->text());
    if (!meetDay) {
        msgbox::show(u"输入日期不是有效的日期格式，日起格式参看纪录日期格式！"_s);
        meetdaytxt->setFocus(Qt::OtherFocusReason);
    } else {
        // A record date that is no date is not compared (nothing to compare it with).
        const auto recordDay = cardmodul::parseDate(recorddaytxt->text().trimmed());
        if (recordDay && *recordDay > *meetDay) {
            msgbox::show(u"会议日期不能小于记录日期！"_s);
            meetdaytxt->setFocus(Qt::OtherFocusReason);
        }
    }
    m_checkingDate = false;
}

void meetfrm::exitcmd_Click()
{
    reject();
}

void meetfrm::addcmd_Click()
{
    try {
        meettab::add(cardmodul::dbconn(),
                     {recorddaytxt->text(), meettxt->text(), addrtxt->text(), meetdaytxt->text(),
                      hCombo->currentText(), sCombo->currentText()});
        msgbox::show(u"纪录增加成功！"_s);
        meettxt->clear();
        addrtxt->clear();
        meetdaytxt->clear();
        hCombo->setEditText({});
        sCombo->setEditText({});
    } catch (const adodb::Error& e) {
        cardmodul::runError(e);
    }
}

void meetfrm::revisecmd_Click()
{
    if (!Check1->isChecked()) {
        msgbox::show(u"你没在修改模式下，请选中修改选择框！"_s);
        return;
    }
    try {
        const meettab::Meeting m{recorddaytxt->text(),  meettxt->text(),
                                 addrtxt->text(),       meetdaytxt->text(),
                                 hCombo->currentText(), sCombo->currentText()};
        // A change that reaches no meeting is not reported as done: the edits would be lost.
        if (meettab::change(cardmodul::dbconn(), m) == 0)
            throw adodb::Error(adodb::ErrNoCurrentRow,
                               u"没有纪录日期为“%1”、会议主题为“%2”的会议，修改未保存。"_s.arg(
                                   m.recordDate, m.topic));
        msgbox::show(u"成功修改纪录！"_s);
    } catch (const adodb::Error& e) {
        cardmodul::runError(e);
    }
}

void meetfrm::findcmd_Click()
{
    void (*open)(adodb::Connection&, adodb::Recordset&, const QString&) = nullptr;
    QString text;
    if (Option1->isChecked()) {
        open = meettab::openByDate;
        text = meetdaytxt->text();
    } else if (Option2->isChecked()) {
        open = meettab::openByTopic;
        text = meettxt->text();
    } else if (Option3->isChecked()) {
        open = meettab::openByPlace;
        text = addrtxt->text();
    } else {
        msgbox::show(u"请选择一种查询方式！"_s);
        return;
    }
    Picture1->hide();
    MSFmeet->setFocusPolicy(Qt::StrongFocus);
    ct::GridModel* g = MSFmeet->grid();
    for (int j = 0; j < tables::kMeetListColumns; ++j) {
        if (j < g->Cols())
            g->setTextMatrix(0, j, tables::meetHeadings()[std::size_t(j)]);
        MSFmeet->setColWidthTwips(j, kGridTwips[std::size_t(j)]);
    }
    adodb::Recordset rs;
    try {
        open(cardmodul::dbconn(), rs, text);
        const int n = cardmodul::reccount(rs);
        if (n > 0) {
            g->setBody(meettab::gridRows(rs.rows()));
            MSFmeet->setHighlightOnlyWithFocus(true);
        }
    } catch (const adodb::Error& e) {
        cardmodul::runError(e);
    }
    rs.Close();
}
