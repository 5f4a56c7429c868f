#pragma once
// What the program's windows share: their controls made from a table of the design, their
// place on the screen, their typeface and the keys as the designed desktop has them.

#include <QPoint>
#include <QString>

#include <initializer_list>
#include <variant>

class QCheckBox;
class QComboBox;
class QFont;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace ct {
class GridView;
}

namespace form {

// A label that no member holds.
struct PlainLabel {};
inline constexpr PlainLabel label{};
inline constexpr int kNoLabel = -1;

// One control of a form as designed: the member that holds it, its object name, its
// caption and its place in twips. The caption is a label's text, a button's or frame's text
// and accessible name, and the accessible name of any other control. A control with a
// `labelLeft` gets a label "Label_<name>" showing the caption, on its line and as high,
// from labelLeft to 60 twips short of the control.
struct Control {
    std::variant<PlainLabel, QLabel**, QLineEdit**, QPlainTextEdit**, QComboBox**, QPushButton**,
                 QRadioButton**, QCheckBox**, QGroupBox**, ct::GridView**>
        member;
    const char* name;
    QString caption;
    int left, top, width, height;
    int labelLeft = kNoLabel;
};

// Makes the controls on `parent`, in the order given (which is the tab order), each placed
// at its twips turned into pixels and moved by `offset` pixels. As everywhere in the
// program, push buttons are no default buttons, a combo box takes typed text as typed
// (no completion, nothing added to its list) and Tab leaves a multi-line text.
void build(QWidget* parent, std::initializer_list<Control> controls, QPoint offset = {});

// Shrinks the window to the screen's free area when it is larger (frame included), then
// moves it to the middle of that area.
void centre(QWidget* w);

// The designed typeface: 9-point 宋体, a Song (Ming) face. Where no 宋体 is installed,
// Debian's Noto Serif CJK SC stands in for it.
QFont songFont();
// Makes songFont the application's font, and lets every font that names 宋体 find the same
// face, so every window and message box shows one face at one size.
void useSongFont();

// Keys as on the designed desktop for the window and its controls: Esc closes nothing;
// Enter on a focused push or tool button presses it; Enter anywhere else does nothing
// (no default button is pressed for it).
void useDesignedKeys(QWidget* window);

// At most `limit` characters can be typed or pasted into the box. A longer text that the
// program sets stays whole: it can be shortened by typing, not lengthened.
void limitTyping(QLineEdit* box, int limit);
// Sets the box's text as the program does: whole, whatever its typing limit.
void setText(QLineEdit* box, const QString& text);

} // namespace form
