#pragma once
// The screen grab: the primary screen as it is now, in physical pixels.
#include <QImage>
#include <QRect>
#include <functional>

namespace tx::screen {

// The primary screen's geometry in logical (device-independent) pixels; an
// automation error when there is no screen.
QRect primaryGeometry();

// The primary screen's picture. Its size is the screen's physical size and its
// devicePixelRatio is set, so it paints at primaryGeometry().size(). Throws an
// automation error (440) that says why when the platform refuses the grab: no
// display, a null picture, or a Wayland session that hands out only black.
QImage grabPrimary();

// Checks that a grab of the screen has the screen's physical size on both axes
// (its logical size times `ratio`, to within one logical pixel, as fractional
// ratios round) and makes it paint at the logical size. A picture of another area
// is refused with the grab's error rather than squashed onto the screen.
void fitToScreen(QImage &image, QSize logical, qreal ratio);

// Replaces the real grab (tests, the page host). The function's picture is
// checked like a real one: a null QImage is a refusal. An empty function restores
// the real grab.
void setGrabOverride(std::function<QImage()> grab);

} // namespace tx::screen
