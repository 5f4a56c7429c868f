#include "platform/msgbox.h"

#include "platform/appinfo.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace msgbox {

namespace {
Responder g_responder;
int g_showing = 0;

struct ShowingGuard {
    ShowingGuard() { ++g_showing; }
    ~ShowingGuard() { --g_showing; }
    ShowingGuard(const ShowingGuard&) = delete;
    ShowingGuard& operator=(const ShowingGuard&) = delete;
};
} // namespace

void setResponder(Responder responder)
{
    g_responder = std::move(responder);
}

bool hasResponder()
{
    return bool(g_responder);
}

bool isShowing()
{
    return g_showing > 0;
}

Result show(const Box& in)
{
    Box box = in;
    if (box.title.isEmpty())
        box.title = appinfo::title();
    ShowingGuard guard;
    if (g_responder)
        return g_responder(box);

    QWidget* parent = nullptr;
    if (!box.systemModal)
        parent = QApplication::activeWindow();
    QMessageBox mb(parent);
    mb.setText(box.text);
    mb.setWindowTitle(box.title);
    switch (box.icon) {
    case Icon::None:
        mb.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Exclamation:
        mb.setIcon(QMessageBox::Warning);
        break;
    case Icon::Critical:
        mb.setIcon(QMessageBox::Critical);
        break;
    case Icon::Information:
        mb.setIcon(QMessageBox::Information);
        break;
    case Icon::Question:
        mb.setIcon(QMessageBox::Question);
        break;
    }
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    switch (box.buttons) {
    case Buttons::OK:
        ok = mb.addButton(u"确定"_s, QMessageBox::AcceptRole);
        break;
    case Buttons::OKCancel:
        ok = mb.addButton(u"确定"_s, QMessageBox::AcceptRole);
        cancel = mb.addButton(u"取消"_s, QMessageBox::RejectRole);
        break;
    case Buttons::YesNo:
        yes = mb.addButton(u"是(&Y)"_s, QMessageBox::YesRole);
        no = mb.addButton(u"否(&N)"_s, QMessageBox::NoRole);
        break;
    }
    mb.setDefaultButton(ok ? ok : yes);
    if (cancel)
        mb.setEscapeButton(cancel);
    else if (no)
        mb.setEscapeButton(no);
    else
        mb.setEscapeButton(ok);
    if (box.systemModal) {
        // Stays in front of every window, those of other programs included.
        mb.setWindowModality(Qt::ApplicationModal);
        mb.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    mb.exec();
    QAbstractButton* clicked = mb.clickedButton();
    if (clicked == ok)
        return Result::OK;
    if (clicked == yes)
        return Result::Yes;
    if (clicked == no)
        return Result::No;
    if (clicked == cancel)
        return Result::Cancel;
    // Closed by its frame: the escape answer.
    return cancel ? Result::Cancel : (no ? Result::No : Result::OK);
}

QString describe(const Box& b)
{
    static const char* buttons[] = {"OK", "OKCancel", "YesNo"};
    static const char* icons[] = {"None", "Exclamation", "Critical", "Information", "Question"};
    return u"[%1] \"%2\" %3 icon=%4%5"_s.arg(
        b.title, b.text, QLatin1StringView(buttons[int(b.buttons)]),
        QLatin1StringView(icons[int(b.icon)]), b.systemModal ? u" system-modal"_s : QString());
}

} // namespace msgbox
