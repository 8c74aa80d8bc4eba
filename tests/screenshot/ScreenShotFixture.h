#pragma once
// What the ScreenShot tests on a real X server share: a window painting a known
// pattern fills the screen, a loopback server takes the uploads, and the overlay
// is driven through its automation handle.
#include "platform/Overlay.h"
#include "support/StandInPortal.h"
#include "support/TestHttpServer.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QTemporaryDir>
#include <QWidget>
#include <functional>
#include <memory>

namespace tx::test {

using Script = std::function<void(OverlayHandle &)>;

// Smooth, so that JPEG's error stays small; a red line or text would not.
QRgb pattern(int x, int y);
QImage patternImage(QSize size, qreal ratio = 1.0);

class PatternWindow : public QWidget {
public:
    explicit PatternWindow(const QRect &g);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QImage picture;
};

int channelError(QRgb a, QRgb b);
// Largest channel difference between `img` and the pattern from (x0, y0), the
// pattern sampled every 1/ratio pixel.
int worstError(const QImage &img, int x0, int y0, qreal ratio = 1.0);

struct JpegInfo {
    bool baseline = false;
    bool progressive = false;
    bool quality100 = false; // every quantisation step is 1
};

JpegInfo inspect(const QByteArray &b);

// Base of the test classes; each calls the set-up and tear-down below from its
// own initTestCase, init and cleanupTestCase.
class ScreenShotFixture : public QObject {
protected:
    QTemporaryDir temp;
    std::unique_ptr<PatternWindow> background;
    std::unique_ptr<TestHttpServer> server;
    std::unique_ptr<StandInPortal> portal;
    QRect screen;
    bool nativeWayland = false; // the session itself is Wayland: every grab asks the portal

    // TEMP set to the private folder, the pattern shown on the whole screen.
    void setUpScreen();
    // A fresh server answering "/files/shot.jpg", every scripted service reset.
    void setUpTest();
    void tearDownScreen();
    // The stand-in portal, answering with the pattern; on X11 the session is
    // made to look like a Wayland one until the next test.
    StandInPortal &usePortal();

    QString jpegPath() const { return temp.path() + QStringLiteral("/screenshot.jpg"); }

    // One BeginScreenShot with `script` as the overlay's handler; the control's
    // FileName afterwards.
    QString shoot(const Script &script, const QString &sf = QStringLiteral("/pic"));

    static void draw(OverlayHandle &h, QPoint from, QPoint to);

    tx::overlay::Ending lastEnding() const { return tx::overlay::records().last().ending; }
};

} // namespace tx::test
