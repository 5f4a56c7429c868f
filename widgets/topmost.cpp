#include "widgets/topmost.h"

#include <QWidget>

namespace topmost {

void make(QWidget* w)
{
    const bool visible = w->isVisible();
    w->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (visible)
        w->show(); // changing flags hides a shown window
}

} // namespace topmost
