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

namespace {
constexpr int kRowHeight = 375;
} // namespace

meetfrm::meetfrm(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"meetfrm"_s);
    setWindowTitle(u"会议/约会"_s);
    setAccessibleName(u"会议/约会"_s);
    setFont(form::songFont());
    twips::resizeClient(this, 6210, 5340);

    Frame1 = new QGroupBox(u"查找方式"_s, this);
    Frame1->setObjectName(u"Frame1"_s);
    Frame1->setAccessibleName(u"查找方式"_s);
    twips::place(Frame1, 0, 120, 4095, 615);
    const std::pair<QRadioButton**, const char*> options[] = {
        {&Option1, "Option1"}, {&Option2, "Option2"}, {&Option3, "Option3"}};
    const QString optionCaptions[] = {u"会议日期"_s, u"会议主题"_s, u"会议地点"_s};
    for (int i = 0; i < 3; ++i) {
        auto* o = new QRadioButton(optionCaptions[i], Frame1);
        o->setObjectName(QString::fromLatin1(options[i].second));
        o->setAccessibleName(optionCaptions[i]);
        twips::place(o, 120 + i * 1320, 240, 1215, 300);
        *options[i].first = o;
    }

    Frame2 = new QGroupBox(u"修改方式"_s, this);
    Frame2->setObjectName(u"Frame2"_s);
    Frame2->setAccessibleName(u"修改方式"_s);
    twips::place(Frame2, 4200, 120, 1575, 615);
    Check1 = new QCheckBox(u"修改记录"_s, Frame2);
    Check1->setObjectName(u"Check1"_s);
    Check1->setAccessibleName(u"修改记录"_s);
    twips::place(Check1, 120, 240, 1335, 300);
    connect(Check1, &QCheckBox::toggled, this, &meetfrm::Check1_Click);

    recorddaytxt = edit("recorddaytxt", u"纪录日期："_s, 960);
    meettxt = edit("meettxt", u"会议主题："_s, 1440);
    addrtxt = edit("addrtxt", u"会议地点："_s, 1920);
    meetdaytxt = edit("meetdaytxt", u"会议日期："_s, 2400);
    meetdaytxt->installEventFilter(this);

    hCombo =
        combo("hCombo", {u"6"_s,  u"7"_s,  u"8"_s,  u"9"_s,  u"10"_s, u"11"_s, u"12"_s, u"13"_s,
                         u"14"_s, u"15"_s, u"16"_s, u"17"_s, u"18"_s, u"19"_s, u"20"_s, u"21"_s,
                         u"22"_s, u"23"_s, u"0"_s,  u"1"_s,  u"2"_s,  u"3"_s,  u"4"_s,  u"5"_s},
              1440, 2880);
    auto* timeLabel = new QLabel(u"出发时间："_s, this);
    timeLabel->setObjectName(u"Label_hCombo"_s);
    twips::place(timeLabel, 240, 2880, 1140, kRowHeight);
    timeLabel->setBuddy(hCombo);
    // On Linux a combo box is named by its text; its edit carries the name for good.
    hCombo->setAccessibleName(u"出发时间："_s);
    hCombo->lineEdit()->setAccessibleName(u"出发时间："_s);
    auto* hourLabel = new QLabel(u"时"_s, this);
    hourLabel->setObjectName(u"Label_h"_s);
    twips::place(hourLabel, 2340, 2880, 300, kRowHeight);
    sCombo = combo("sCombo",
                   {u"00"_s, u"05"_s, u"10"_s, u"15"_s, u"20"_s, u"25"_s, u"30"_s, u"35"_s, u"40"_s,
                    u"45"_s, u"50"_s, u"55"_s},
                   2760, 2880);
    sCombo->setAccessibleName(u"出发时间（分）"_s);
    sCombo->lineEdit()->setAccessibleName(u"出发时间（分）"_s);
    auto* minuteLabel = new QLabel(u"分"_s, this);
    minuteLabel->setObjectName(u"Label_s"_s);
    twips::place(minuteLabel, 3660, 2880, 300, kRowHeight);

    addcmd = button("addcmd", u"新  增"_s, 840);
    findcmd = button("findcmd", u"查  找"_s, 1440);
    revisecmd = button("revisecmd", u"修  改"_s, 2040);
    exitcmd = button("exitcmd", u"退  出"_s, 2640);
    connect(addcmd, &QPushButton::clicked, this, &meetfrm::addcmd_Click);
    connect(findcmd, &QPushButton::clicked, this, &meetfrm::findcmd_Click);
    connect(revisecmd, &QPushButton::clicked, this, &meetfrm::revisecmd_Click);
    connect(exitcmd, &QPushButton::clicked, this, &meetfrm::exitcmd_Click);

    MSFmeet = new ct::GridView(this);
    MSFmeet->setObjectName(u"MSFmeet"_s);
    MSFmeet->setAccessibleName(u"会议列表"_s);
    MSFmeet->grid()->setCols(tables::kMeetListColumns);
    MSFmeet->grid()->setRows(2);
    twips::place(MSFmeet, 120, 3480, 6015, 1815);
    MSFmeet->setFocusPolicy(Qt::NoFocus); // hidden under the picture until the first search
    connect(MSFmeet, &ct::GridView::Click, this, &meetfrm::MSFmeet_Click);

    // Covers the grid until the first search.
    Picture1 = new QLabel(this);
    Picture1->setObjectName(u"Picture1"_s);
    Picture1->setAccessibleName(u"会议图片"_s);
    Picture1->setAlignment(Qt::AlignCenter);
    Picture1->setAutoFillBackground(true);
    Picture1->setFrameShape(QFrame::StyledPanel);
    twips::place(Picture1, 120, 3480, 6015, 1815);
    // The larger drawing of the picture, enlarged to fill the grid's place.
    const QPixmap pm = QIcon(u":/images/meeting.png"_s).pixmap(QSize(80, 80));
    if (!pm.isNull())
        Picture1->setPixmap(
            pm.scaled(Picture1->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    Picture1->raise();

    form::centre(this);
    form::useDesignedKeys(this);
}

QLineEdit* meetfrm::edit(const char* name, const QString& label, int top)
{
    auto* e = new QLineEdit(this);
    e->setObjectName(QString::fromLatin1(name));
    twips::place(e, 1440, top, 2655, kRowHeight);
    auto* l = new QLabel(label, this);
    l->setObjectName(u"Label_"_s + e->objectName());
    twips::place(l, 240, top, 1140, kRowHeight);
    l->setBuddy(e);
    e->setAccessibleName(label);
    return e;
}

QComboBox* meetfrm::combo(const char* name, const QStringList& items, int left, int top)
{
    auto* c = new QComboBox(this);
    c->setObjectName(QString::fromLatin1(name));
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setCompleter(nullptr); // typed keys give exactly the typed text
    c->addItems(items);
    c->setCurrentIndex(-1);
    c->setEditText({});
    twips::place(c, left, top, 855, kRowHeight);
    return c;
}

QPushButton* meetfrm::button(const char* name, const QString& caption, int top)
{
    auto* b = new QPushButton(caption, this);
    b->setObjectName(QString::fromLatin1(name));
    b->setAccessibleName(caption);
    b->setAutoDefault(false);
    twips::place(b, 4440, top, 1455, 495);
    return b;
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
        MSFmeet->setColWidthTwips(j, meettab::widthsTwips()[std::size_t(j)]);
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
