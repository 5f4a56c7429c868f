#pragma once
// What the program's windows share: their place on the screen, their typeface and the
// keys as the designed desktop has them.

class QFont;
class QLineEdit;
class QString;
class QWidget;

namespace form {

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
