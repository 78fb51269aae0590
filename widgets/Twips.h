#pragma once

#include <QRect>
#include <QWidget>

namespace widgets {

// Window layouts are given in twips, 1/1440 inch: 15 twips make one logical pixel at 96 dots
// per inch. Qt's device-independent pixels scale that on high-density screens.
constexpr int twipsToPixels(int twips)
{
    return (twips + 7) / 15;
}

// A control's place in twips: left, top, width, height.
struct TwipsRect
{
    int left;
    int top;
    int width;
    int height;
};

// Names a control and puts it at its place inside its parent. Every form places its controls
// through this one helper. The accessible name is what assistive technology calls the control;
// buttons need none, their caption is their name.
inline void place(
    QWidget *control, const char *name, TwipsRect rect, const QString &accessibleName = QString())
{
    control->setObjectName(QString::fromLatin1(name));
    if (!accessibleName.isEmpty())
        control->setAccessibleName(accessibleName);
    control->setGeometry(twipsToPixels(rect.left), twipsToPixels(rect.top),
        twipsToPixels(rect.width), twipsToPixels(rect.height));
}

} // namespace widgets
