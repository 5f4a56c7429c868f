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

    Label1 = new QLabel(u"日 期："_s, this);
    Label1->setObjectName(u"Label1"_s);
    twips::place(Label1, 120, 240, 720, 315);
    datetxt = new QLineEdit(this);
    datetxt->setObjectName(u"datetxt"_s);
    twips::place(datetxt, 840, 240, 1335, 315);
    Label1->setBuddy(datetxt);
    datetxt->setAccessibleName(u"日 期："_s);

    // The frame's caption lies out of view; only the three options show.
    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(u"Frame1"_s);
    Frame1->setFlat(true);
    twips::place(Frame1, 2640, 0, 1455, 930);
    Frame1->setAccessibleName(u"日记方式"_s);
    auto option = [this](const char* name, const QString& caption, int top) {
        auto* o = new QRadioButton(caption, Frame1);
        o->setObjectName(QString::fromLatin1(name));
        o->setAccessibleName(caption);
        twips::place(o, 120, top, 1215, 270);
        return o;
    };
    Option1 = option("Option1", u"新增"_s, 60);
    Option2 = option("Option2", u"查询"_s, 345);
    Option3 = option("Option3", u"昨日"_s, 630);
    auto* group = new QButtonGroup(this);
    group->addButton(Option1);
    group->addButton(Option2);
    group->addButton(Option3);
    connect(Option1, &QRadioButton::clicked, this, &dailyfrm::Option1_Click);
    connect(Option2, &QRadioButton::clicked, this, &dailyfrm::Option2_Click);

    dailycmd = new QPushButton(u"确   定"_s, this);
    dailycmd->setObjectName(u"dailycmd"_s);
    dailycmd->setAccessibleName(u"确   定"_s);
    dailycmd->setAutoDefault(false);
    twips::place(dailycmd, 4560, 240, 1215, 495);
    connect(dailycmd, &QPushButton::clicked, this, &dailyfrm::dailycmd_Click);

    logtxt = new QPlainTextEdit(this);
    logtxt->setObjectName(u"logtxt"_s);
    logtxt->setAccessibleName(u"日记内容"_s);
    twips::place(logtxt, 0, 960, 6015, 3255);
    logtxt->setTabChangesFocus(true);
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
