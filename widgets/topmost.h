#pragma once
class QWidget;
namespace topmost {
// Keeps the window above all other windows, those of other programs included.
void make(QWidget* w);
} // namespace topmost
