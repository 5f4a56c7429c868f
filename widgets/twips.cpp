#include "widgets/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace twips {

namespace {
double dpi()
{
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->logicalDotsPerInchX() : 96.0;
}
} // namespace

int toPx(int t)
{
    return int(std::lround(t * dpi() / 1440.0));
}

int fromPx(int px)
{
    return int(std::lround(px * 1440.0 / dpi()));
}

QRect rect(int left, int top, int width, int height)
{
    return QRect(toPx(left), toPx(top), toPx(width), toPx(height));
}

void place(QWidget* w, int left, int top, int width, int height)
{
    w->setGeometry(rect(left, top, width, height));
}

void resizeClient(QWidget* w, int width, int height)
{
    w->resize(toPx(width), toPx(height));
}

} // namespace twips
