#pragma once
// What the program's windows share: their place on the screen.

class QWidget;

namespace form {

// Moves the window (its frame included) to the middle of the screen's free area.
void centre(QWidget* w);

} // namespace form
