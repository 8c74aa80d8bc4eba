#include "ScreenShotFixture.h"

#include "platform/Jpeg.h"
#include "platform/ScreenGrab.h"
#include "platform/Ui.h"
#include "screenshot/ScreenShot.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QtTest>
#include <algorithm>
#include <cstdlib>

namespace tx::test {

QRgb pattern(int x, int y)
{
    return qRgb(x * 255 / 1100, y * 255 / 800, 128);
}

QImage patternImage(QSize size, qreal ratio)
{
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, pattern(int(x / ratio), int(y / ratio)));
    img.setDevicePixelRatio(ratio);
    return img;
}

PatternWindow::PatternWindow(const QRect &g)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint), picture(patternImage(g.size()))
{
    setGeometry(g);
}

void PatternWindow::paintEvent(QPaintEvent *)
{
    QPainter(this).drawImage(0, 0, picture);
}

int channelError(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

int worstError(const QImage &img, int x0, int y0, qreal ratio)
{
    int worst = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            worst = std::max(worst, channelError(img.pixel(x, y), pattern(int((x0 + x) / ratio), int((y0 + y) / ratio))));
    return worst;
}

JpegInfo inspect(const QByteArray &b)
{
    JpegInfo info;
    bool sawTable = false, allOnes = true;
    qsizetype i = 2;
    while (i + 4 <= b.size() && uchar(b[i]) == 0xFF) {
        const uchar marker = uchar(b[i + 1]);
        const int len = (uchar(b[i + 2]) << 8) | uchar(b[i + 3]);
        if (marker == 0xC0)
            info.baseline = true;
        if (marker == 0xC2)
            info.progressive = true;
        if (marker == 0xDB) {
            for (qsizetype t = i + 4; t < i + 2 + len; t += 65) {
                sawTable = true;
                for (int k = 1; k <= 64; ++k)
                    allOnes = allOnes && uchar(b[t + k]) == 1;
            }
        }
        if (marker == 0xDA)
            break;
        i += 2 + len;
    }
    info.quality100 = sawTable && allOnes;
    return info;
}

void ScreenShotFixture::setUpScreen()
{
    QVERIFY(temp.isValid());
    qputenv("TEMP", QFile::encodeName(temp.path()));
    screen = tx::screen::primaryGeometry();
    nativeWayland = tx::screen::waylandSession();
    if (nativeWayland)
        usePortal(); // the compositor hands out no screen; the pattern comes from the portal
    background = std::make_unique<PatternWindow>(screen);
    background->show();
    // Wait until the X server really shows the pattern.
    QTRY_VERIFY_WITH_TIMEOUT(channelError(tx::screen::grabPrimary().pixel(300, 200), pattern(300, 200)) == 0, 10000);
}

void ScreenShotFixture::setUpTest()
{
    server = std::make_unique<TestHttpServer>();
    server->setMode(TestHttpServer::Mode::Ok, "/files/shot.jpg");
    tx::ui::reset();
    tx::overlay::reset();
    tx::jpeg::setInjectedFailure(0);
    tx::screen::setGrabOverride(nullptr);
    if (!nativeWayland)
        qunsetenv("XDG_SESSION_TYPE");
    else
        usePortal();
}

StandInPortal &ScreenShotFixture::usePortal()
{
    if (!portal)
        portal = std::make_unique<StandInPortal>();
    if (!nativeWayland)
        qputenv("XDG_SESSION_TYPE", "wayland");
    const qreal ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
    portal->picture = patternImage((QSizeF(screen.size()) * ratio).toSize(), ratio);
    portal->answer(StandInPortal::Answer::Picture);
    return *portal;
}

void ScreenShotFixture::tearDownScreen()
{
    tx::overlay::reset();
    tx::screen::setGrabOverride(nullptr);
    if (!nativeWayland)
        qunsetenv("XDG_SESSION_TYPE");
    background.reset(); // the next class shows its own
}

QString ScreenShotFixture::shoot(const Script &script, const QString &sf)
{
    tx::overlay::setHandler(script);
    tx::ScreenShot shot;
    shot.BeginScreenShot(sf, server->url(), 7);
    tx::overlay::setHandler(nullptr);
    return shot.FileName();
}

void ScreenShotFixture::draw(OverlayHandle &h, QPoint from, QPoint to)
{
    h.press(from.x(), from.y());
    h.move((from.x() + to.x()) / 2, (from.y() + to.y()) / 2);
    h.move(to.x(), to.y());
    h.release(to.x(), to.y());
}

} // namespace tx::test
