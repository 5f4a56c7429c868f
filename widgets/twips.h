#pragma once
// Sizes as designed are in twips (1440 per inch); the screen's logical DPI turns them
// into pixels.

#include <QRect>

class QWidget;

namespace twips {

int toPx(int twips);
int fromPx(int px);
QRect rect(int left, int top, int width, int height);
void place(QWidget* w, int left, int top, int width, int height);
void resizeClient(QWidget* w, int width, int height);

} // namespace twips
