#pragma once
// Message boxes. Every box of the program goes through here, so tests can see and answer
// each one: text, title, buttons, icon and whether it is system-modal.

#include <QString>

#include <functional>

class QWidget;

namespace msgbox {

enum class Buttons { OK, OKCancel, YesNo };
enum class Icon { None, Exclamation, Critical, Information, Question };
enum class Result { OK, Cancel, Yes, No };

struct Box {
    QString text;
    Buttons buttons = Buttons::OK;
    QString title; // empty: the application title
    Icon icon = Icon::None;
    bool systemModal = false;
    bool operator==(const Box&) const = default;
};

// Shows the box and waits for the answer.
Result show(const Box& box);
inline Result show(const QString& text, Buttons buttons = Buttons::OK)
{
    return show(Box{text, buttons, {}, Icon::None, false});
}

// Test seam: while a responder is set, boxes are passed to it instead of being shown.
using Responder = std::function<Result(const Box&)>;
void setResponder(Responder responder);
bool hasResponder();

// True while a box is on screen (or being answered by the responder).
bool isShowing();

// The window a box belongs to: the top-most window of the program that is active or
// modal, else a shown window that stays on top, else the shown main window; null when
// no window of the program is shown. A box is transient for it and stands in front of it.
QWidget* owner();

QString describe(const Box& box); // one line, for test failure messages

} // namespace msgbox
