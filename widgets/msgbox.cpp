#include "widgets/msgbox.h"

#include "platform/appinfo.h"

#include <QApplication>
#include <QGridLayout>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

using namespace Qt::StringLiterals;

namespace msgbox {

namespace {
Responder g_responder;
int g_showing = 0;

// Room beside the title for the window manager's icon and buttons.
constexpr int kTitleRoom = 130;

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

namespace {
QWidget* shownWindow(QWidget* w)
{
    if (!w)
        return nullptr;
    w = w->window();
    return w->isVisible() && !w->isMinimized() ? w : nullptr;
}
} // namespace

QWidget* owner()
{
    if (QWidget* w = shownWindow(QApplication::activeModalWidget()))
        return w;
    if (QWidget* w = shownWindow(QApplication::activeWindow()))
        return w;
    QWidget* main = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!shownWindow(w) || (w->windowType() != Qt::Window && w->windowType() != Qt::Dialog))
            continue;
        if (w->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            return w;
        if (!main && qobject_cast<QMainWindow*>(w))
            main = w;
    }
    return main;
}

Result show(const Box& in)
{
    Box box = in;
    if (box.title.isEmpty())
        box.title = appinfo::title();
    ShowingGuard guard;
    if (g_responder)
        return g_responder(box);

    QWidget* parent = owner();
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
    if (box.systemModal)
        mb.setWindowModality(Qt::ApplicationModal);
    // A system-modal box stays in front of every window, those of other programs
    // included; a box of a window that stays on top must stay on top too, or it opens
    // behind that window.
    if (box.systemModal || (parent && parent->windowFlags().testFlag(Qt::WindowStaysOnTopHint)))
        mb.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // Wide enough for the desktop to show the whole title.
    if (auto* grid = qobject_cast<QGridLayout*>(mb.layout()))
        grid->addItem(new QSpacerItem(mb.fontMetrics().horizontalAdvance(box.title) + kTitleRoom, 0,
                                      QSizePolicy::Minimum, QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
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
