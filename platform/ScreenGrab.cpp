#include "platform/ScreenGrab.h"

#include "core/AutomationError.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace tx::screen {
namespace {

std::function<QImage()> &grabOverride()
{
    static std::function<QImage()> f;
    return f;
}

[[noreturn]] void refuse(const QString &why)
{
    throw AutomationError(ErrAutomation, QStringLiteral("Tessarix5"),
                          QStringLiteral("The screen cannot be captured: %1").arg(why));
}

QScreen *primary()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        refuse(QStringLiteral("there is no graphical session"));
    QScreen *s = QGuiApplication::primaryScreen();
    if (!s)
        refuse(QStringLiteral("there is no screen"));
    return s;
}

bool waylandSession()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ||
           qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

bool allBlack(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            if ((line[x] & 0xFFFFFF) != 0)
                return false;
    }
    return true;
}

} // namespace

void fitToScreen(QImage &image, QSize logical, qreal ratio)
{
    const auto fits = [ratio](int physical, int logicalSide) {
        return logicalSide > 0 && std::abs(physical - logicalSide * ratio) < std::max(ratio, 1.0);
    };
    if (ratio <= 0 || !fits(image.width(), logical.width()) || !fits(image.height(), logical.height()))
        refuse(QStringLiteral("the picture is %1x%2 pixels, the screen %3x%4 at a ratio of %5")
                   .arg(image.width())
                   .arg(image.height())
                   .arg(logical.width())
                   .arg(logical.height())
                   .arg(ratio));
    // Whatever ratio the platform left on it, it paints at the screen's logical size.
    image.setDevicePixelRatio(ratio);
}

QRect primaryGeometry()
{
    return primary()->geometry();
}

void setGrabOverride(std::function<QImage()> grab)
{
    grabOverride() = std::move(grab);
}

QImage grabPrimary()
{
    QImage image;
    if (grabOverride()) {
        image = grabOverride()();
    } else {
        QScreen *s = primary();
        const QString platform = QGuiApplication::platformName();
        // These platforms have no display of their own: a "grab" would be a black
        // canvas with this process's windows on it, not what the user sees.
        if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
            refuse(QStringLiteral("the Qt platform \"%1\" has no display to grab").arg(platform));
        image = s->grabWindow(0).toImage();
        if (!image.isNull())
            fitToScreen(image, s->geometry().size(), s->devicePixelRatio());
    }
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
        refuse(waylandSession()
                   ? QStringLiteral("the Wayland session refused the grab (no screen-capture portal)")
                   : QStringLiteral("the platform returned no picture"));
    }
    // Xwayland and portal-less compositors answer a refused grab with black pixels.
    if (!grabOverride() && waylandSession() && allBlack(image))
        refuse(QStringLiteral("the Wayland session returned only black (no screen-capture portal)"));
    return image;
}

} // namespace tx::screen
