#include "platform/ScreenGrab.h"

#include "platform/ScreenPortal.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace tx::screen {
namespace {

std::function<QImage()> &grabOverride()
{
    static std::function<QImage()> f;
    return f;
}

QString prefixed(const QString &why)
{
    return QStringLiteral("The screen cannot be captured: %1").arg(why);
}

[[noreturn]] void refuse(const QString &why)
{
    throw AutomationError(ErrAutomation, QStringLiteral("Tessarix5"), prefixed(why));
}

[[noreturn]] void decline(const QString &why)
{
    throw GrabDeclined(ErrAutomation, QStringLiteral("Tessarix5"), why.isEmpty() ? QString() : prefixed(why));
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

QRect desktopGeometry()
{
    QRect all;
    for (const QScreen *s : QGuiApplication::screens())
        all |= s->geometry();
    return all;
}

// Within 1 %: the same shape, whatever the scale.
bool sameShape(QSizeF a, QSizeF b)
{
    return a.height() > 0 && b.height() > 0 &&
           std::abs(a.width() / a.height() - b.width() / b.height()) <= 0.01 * (b.width() / b.height());
}

QImage grabFromPortal(const QObject *owner, QScreen *s)
{
    portal::Result r = portal::request(owner);
    if (r.outcome != portal::Outcome::Picture)
        decline(r.why); // an abandoned request has no reason: nobody is told
    QImage image = fitDesktopPicture(std::move(r.image), s->geometry(), desktopGeometry(), s->devicePixelRatio());
    fitToScreen(image, s->geometry().size(), s->devicePixelRatio());
    return image;
}

} // namespace

bool waylandSession()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ||
           qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

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

QImage fitDesktopPicture(QImage picture, QRect primary, QRect desktop, qreal ratio)
{
    const auto wrongShape = [&](QSize shape) {
        return GrabDeclined(ErrAutomation, QStringLiteral("Tessarix5"),
                            prefixed(QStringLiteral("the desktop's picture is %1x%2 pixels, the screen %3x%4")
                                         .arg(picture.width())
                                         .arg(picture.height())
                                         .arg(shape.width())
                                         .arg(shape.height())));
    };
    if (picture.isNull() || primary.isEmpty() || ratio <= 0)
        throw wrongShape(primary.size());
    picture.setDevicePixelRatio(1.0);
    // Every screen in one picture: the primary's part of it, at the picture's scale.
    if (desktop.isValid() && desktop != primary && desktop.contains(primary) &&
        sameShape(picture.size(), desktop.size())) {
        const qreal scale = qreal(picture.width()) / desktop.width();
        const QRectF part(QPointF(primary.topLeft() - desktop.topLeft()) * scale, QSizeF(primary.size()) * scale);
        picture = picture.copy(part.toAlignedRect() & picture.rect());
    }
    if (!sameShape(picture.size(), primary.size()))
        throw wrongShape(primary.size());
    const QSize physical(int(std::lround(primary.width() * ratio)), int(std::lround(primary.height() * ratio)));
    if (picture.size() != physical)
        picture = picture.scaled(physical, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    picture = picture.convertToFormat(QImage::Format_RGB32);
    picture.setDevicePixelRatio(ratio);
    return picture;
}

void showOverPrimary(QWidget *window)
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        window->show();
        return;
    }
    window->winId(); // makes the native window, so its screen can be chosen
    if (QWindow *w = window->windowHandle())
        w->setScreen(QGuiApplication::primaryScreen());
    window->showFullScreen();
}

QRect primaryGeometry()
{
    return primary()->geometry();
}

void setGrabOverride(std::function<QImage()> grab)
{
    grabOverride() = std::move(grab);
}

QImage grabPrimary(const QObject *owner)
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
        if (waylandSession())
            return grabFromPortal(owner, s);
        image = s->grabWindow(0).toImage();
        if (!image.isNull())
            fitToScreen(image, s->geometry().size(), s->devicePixelRatio());
    }
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        refuse(QStringLiteral("the platform returned no picture"));
    return image;
}

} // namespace tx::screen
