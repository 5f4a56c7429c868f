#include "platform/form.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace form {

void centre(QWidget* w)
{
    const QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    QRect r = w->frameGeometry();
    r.moveCenter(s->availableGeometry().center());
    w->move(r.topLeft());
}

} // namespace form
