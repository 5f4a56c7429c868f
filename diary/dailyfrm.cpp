#include "diary/dailyfrm.h"

#include "modul/cardmodul.h"
#include "modul/dailytab.h"
#include "platform/clock.h"
#include "widgets/form.h"
#include "widgets/modulboxes.h"
#include "widgets/msgbox.h"
#include "widgets/notify.h"
#include "widgets/topmost.h"
#include "widgets/twips.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace Qt::StringLiterals;

dailyfrm::dailyfrm(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"dailyfrm"_s);
    setWindowTitle(u"工作日志"_s);
    setModal(true);
    QFont f = font();
    f.setFamilies({u"宋体"_s, u"SimSun"_s, u"Noto Serif CJK SC"_s, u"Noto Sans CJK SC"_s});
    setFont(f);

    // clang-format off
    form::build(this, {
        // member    object name  caption        left  top  width height
        {&Label1,    "Label1",    u"日 期："_s,   120,  240,  720,  315},
        {&datetxt,   "datetxt",   u"日 期："_s,   840,  240, 1335,  315},
        {&Frame1,    "Frame1",    {},            2640,    0, 1455,  930}});
    form::build(Frame1, {
        {&Option1,   "Option1",   u"新增"_s,      120,   60, 1215,  270},
        {&Option2,   "Option2",   u"查询"_s,      120,  345, 1215,  270},
        {&Option3,   "Option3",   u"昨日"_s,      120,  630, 1215,  270}});
    form::build(this, {
        {&dailycmd,  "dailycmd",  u"确   定"_s,  4560,  240, 1215,  495},
        {&logtxt,    "logtxt",    u"日记内容"_s,    0,  960, 6015, 3255}});
    // clang-format on
    Label1->setBuddy(datetxt);
    // The frame's caption lies out of view; only the three options show.
    Frame1->setFlat(true);
    Frame1->setAccessibleName(u"日记方式"_s);
    auto* group = new QButtonGroup(this);
    group->addButton(Option1);
    group->addButton(Option2);
    group->addButton(Option3);
    connect(Option1, &QRadioButton::clicked, this, &dailyfrm::Option1_Click);
    connect(Option2, &QRadioButton::clicked, this, &dailyfrm::Option2_Click);
    connect(dailycmd, &QPushButton::clicked, this, &dailyfrm::dailycmd_Click);
    logtxt->setFocus(); // the window opens ready for writing
    form::useDesignedKeys(this);

    twips::resizeClient(this, 5985, 4215);
}

bool dailyfrm::Form_Load()
{
    topmost::make(this);
    if (!cardmodul::windowdb()) {
        return false;
    }
    const QDate today = ctclock::today();
    bool yest = false;
    try {
        // Another program's lock (a backup of a large file) gets a long wait: a check
        // that fails would ask for yesterday's entry although it is there.
        yest = cardmodul::patiently([today] { return cardmodul::yestexist(today); });
    } catch (const adodb::Error&) {
        yest = false; // an unreadable check counts as a missing entry
    }
    if (yest) {
        datetxt->setText(cardmodul::datetext(today));
        datetxt->setEnabled(false);
        Option1->setChecked(true);
        Option1_Click();
        Option3->setEnabled(false);
        showStoredEntry(today);
    } else {
        datetxt->setText(cardmodul::datetext(today.addDays(-1)));
        datetxt->setEnabled(false);
        Option1->setEnabled(false);
        Option2->setEnabled(false);
        notify::remind(u"请记昨天的工作日记！"_s);
        Option3->setChecked(true);
    }
    return true;
}

void dailyfrm::showStoredEntry(const QDate& day)
{
    // Today's entry, when there is one, is shown to be edited: saving again saves the
    // whole entry, never only what was written since.
    std::optional<dailytab::Entry> stored;
    try {
        cardmodul::patiently([&stored, day] {
            stored = dailytab::find(cardmodul::dbconn(), cardmodul::datetext(day));
            return true;
        });
    } catch (const adodb::Error&) {
        return; // not readable now: a save keeps the stored text in the history
    }
    if (stored && stored->desc)
        logtxt->setPlainText(*stored->desc);
}

void dailyfrm::Option1_Click()
{
    datetxt->setText(cardmodul::datetext(ctclock::today()));
    datetxt->setEnabled(false);
}

void dailyfrm::Option2_Click()
{
    datetxt->setEnabled(true);
}

void dailyfrm::dailycmd_Click()
{
    try {
        if (Option1->isChecked()) {
            dailytab::save(cardmodul::dbconn(), datetxt->text(), logtxt->toPlainText(),
                           dailytab::Save::Replace, ctclock::now());
            msgbox::show(u"日记记录成功！"_s);
        } else if (Option2->isChecked()) {
            const auto e =
                dailytab::find(cardmodul::dbconn(), cardmodul::normdate(datetxt->text()));
            if (!e) {
                msgbox::show({u"没有找到纪录，请注意日期格式为2003-08-30 ！"_s,
                              msgbox::Buttons::OK,
                              {},
                              msgbox::Icon::None,
                              true});
                return;
            }
            datetxt->setText(e->date);
            logtxt->setPlainText(e->desc.value_or(QString()));
        } else if (Option3->isChecked()) {
            // Asked for because the check said it was missing: should it be there after all
            // (a lock hid it), the new text goes after the stored one.
            dailytab::save(cardmodul::dbconn(), datetxt->text(), logtxt->toPlainText(),
                           dailytab::Save::Append, ctclock::now());
            msgbox::show({u"日记记录成功！"_s, msgbox::Buttons::OK, {}, msgbox::Icon::None, true});
            Option3->setEnabled(false);
            Option1->setEnabled(true);
            Option2->setEnabled(true);
            Option1->setChecked(true);
            Option1_Click();
            logtxt->clear();
        }
    } catch (const adodb::Error& e) {
        cardmodul::runError(e);
    }
}
