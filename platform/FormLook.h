#pragma once
// How the controls' forms write: their sizes are laid out in twips for a 9-point
// simplified-Chinese face, so they get one, whatever the desktop's default font.
#include "platform/CjkFont.h"

#include <QLatin1String>
#include <QRect>
#include <QWidget>

#include <utility>

namespace tx::ui {

inline constexpr int kFormPointSize = 9;

// Form positions and sizes are given in twips, 15 to a pixel at 96 dpi.
inline constexpr int kTwipsPerPixel = 15;
inline QRect fromTwips(int left, int top, int width, int height)
{
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel);
}
inline QRect fromTwips(const QRect &twips)
{
    return fromTwips(twips.x(), twips.y(), twips.width(), twips.height());
}

// Puts a new child widget, named as the form names it, at `pixels` in `parent`.
template <class W, class... Args> W *placeChild(QWidget *parent, const char *name, const QRect &pixels, Args &&...args)
{
    auto *w = new W(std::forward<Args>(args)..., parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(pixels);
    return w;
}

// Gives a control's form (and every child in it) the 9-point face, and its buttons,
// check boxes and options the sizes the form was laid out for; then gives what the
// face would cut off or draw over (a drop-down list's items, options running into
// each other, a frame's title) the room it needs.
void applyFormLook(QWidget *form);

} // namespace tx::ui
