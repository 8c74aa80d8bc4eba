#pragma once
// The screen grab: the primary screen as it is now, in physical pixels. An X11
// session is grabbed directly; a Wayland session hands no screen to its clients,
// so there the desktop's screenshot portal is asked.
#include "core/AutomationError.h"

#include <QImage>
#include <QRect>
#include <functional>

class QObject;

class QWidget;

namespace tx::screen {

// The desktop refused the grab, has no screenshot portal, or did not answer: the
// capture ends as if cancelled, and the person is told `description`.
struct GrabDeclined : AutomationError {
    using AutomationError::AutomationError;
};

// Whether the running session is a Wayland one: Qt's platform, or the session's
// own variables (an X client under Xwayland sees only its own X windows).
bool waylandSession();

// The primary screen's geometry in logical (device-independent) pixels; an
// automation error when there is no screen.
QRect primaryGeometry();

// Shows `window` (laid out at primaryGeometry()) over the primary screen. A Wayland
// client cannot place a window, so there it is shown full screen on that screen.
void showOverPrimary(QWidget *window);

// The primary screen's picture. Its size is the screen's physical size and its
// devicePixelRatio is set, so it paints at primaryGeometry().size(). Throws an
// automation error (440) that says why when the platform refuses the grab (no
// display, a null picture); in a Wayland session GrabDeclined for what the portal
// answers short of a picture. The portal's wait pumps events and ends once
// `owner` (the control) is released, with a GrabDeclined of no description.
QImage grabPrimary(const QObject *owner = nullptr);

// A picture of the desktop from the portal made to fit the primary screen: the
// primary's part cut out when it shows the whole `desktop` (every screen, in
// logical pixels), then scaled to the primary's physical pixels. A picture of
// another shape is refused with the grab's error rather than squashed.
QImage fitDesktopPicture(QImage picture, QRect primary, QRect desktop, qreal ratio);

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
