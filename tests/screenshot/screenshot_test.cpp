// The ScreenShot control on a real X server: a window painting a known pattern
// fills the screen, and the overlay is driven through its automation handle.
#include "platform/Activity.h"
#include "platform/AutomationError.h"
#include "platform/Jpeg.h"
#include "platform/Overlay.h"
#include "platform/ScreenGrab.h"
#include "platform/Ui.h"
#include "screenshot/Form1.h"
#include "screenshot/ScreenShot.h"
#include "support/TestHttpServer.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QJSEngine>
#include <QAbstractButton>
#include <QMessageBox>
#include <QTcpServer>
#include <QTimer>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using tx::OverlayHandle;
using tx::test::TestHttpServer;
using Script = std::function<void(OverlayHandle &)>;

namespace {

// Smooth, so that JPEG's error stays small; a red line or text would not.
QRgb pattern(int x, int y)
{
    return qRgb(x * 255 / 1100, y * 255 / 800, 128);
}

QImage patternImage(QSize size, qreal ratio = 1.0)
{
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, pattern(int(x / ratio), int(y / ratio)));
    img.setDevicePixelRatio(ratio);
    return img;
}

class PatternWindow : public QWidget {
public:
    explicit PatternWindow(const QRect &g)
        : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint), picture(patternImage(g.size()))
    {
        setGeometry(g);
    }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).drawImage(0, 0, picture); }

private:
    QImage picture;
};

int channelError(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// Largest channel difference between `img` and the pattern from (x0, y0), the
// pattern sampled every 1/ratio pixel.
int worstError(const QImage &img, int x0, int y0, qreal ratio = 1.0)
{
    int worst = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            worst = std::max(worst, channelError(img.pixel(x, y), pattern(int((x0 + x) / ratio), int((y0 + y) / ratio))));
    return worst;
}

struct JpegInfo {
    bool baseline = false;
    bool progressive = false;
    bool quality100 = false; // every quantisation step is 1
};

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

} // namespace

class ScreenShotTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir temp;
    std::unique_ptr<PatternWindow> background;
    std::unique_ptr<TestHttpServer> server;
    QRect screen;

    QString jpegPath() const { return temp.path() + QStringLiteral("/screenshot.jpg"); }

    // One BeginScreenShot with `script` as the overlay's handler; the control's
    // FileName afterwards.
    QString shoot(const Script &script, const QString &sf = QStringLiteral("/pic"))
    {
        tx::overlay::setHandler(script);
        tx::ScreenShot shot;
        shot.BeginScreenShot(sf, server->url(), 7);
        tx::overlay::setHandler(nullptr);
        return shot.FileName();
    }

    static void draw(OverlayHandle &h, QPoint from, QPoint to)
    {
        h.press(from.x(), from.y());
        h.move((from.x() + to.x()) / 2, (from.y() + to.y()) / 2);
        h.move(to.x(), to.y());
        h.release(to.x(), to.y());
    }

    tx::overlay::Ending lastEnding() const { return tx::overlay::records().last().ending; }

private slots:
    void initTestCase()
    {
        QVERIFY(temp.isValid());
        qputenv("TEMP", QFile::encodeName(temp.path()));
        screen = tx::screen::primaryGeometry();
        background = std::make_unique<PatternWindow>(screen);
        background->show();
        // Wait until the X server really shows the pattern.
        QTRY_VERIFY_WITH_TIMEOUT(channelError(tx::screen::grabPrimary().pixel(300, 200), pattern(300, 200)) == 0, 10000);
    }

    void init()
    {
        server = std::make_unique<TestHttpServer>();
        server->setMode(TestHttpServer::Mode::Ok, "/files/shot.jpg");
        tx::ui::reset();
        tx::overlay::reset();
        tx::jpeg::setInjectedFailure(0);
        tx::screen::setGrabOverride(nullptr);
    }

    void controlIsOnePixel()
    {
        tx::ScreenShot shot;
        QCOMPARE(shot.size(), QSize(1, 1));
    }

    void overlayCoversTheScreenWithFocus()
    {
        QRect geometry;
        bool frameless = false;
        QString caption;
        bool labelHidden = false, frameHidden = false;
        shoot([&](OverlayHandle &h) {
            auto *w = qobject_cast<QWidget *>(h.parent());
            geometry = w->geometry();
            frameless = w->windowFlags() & Qt::FramelessWindowHint;
            caption = h.label();
            frameHidden = !h.frame().value(QStringLiteral("visible")).toBool();
            labelHidden = w->findChild<QWidget *>(QStringLiteral("LblPos"))->isHidden();
            // No window manager: the overlay takes the focus itself.
            QTRY_COMPARE(QApplication::activeWindow(), w);
            h.key(27);
        });
        QCOMPARE(geometry, screen);
        QVERIFY(frameless);
        QCOMPARE(caption, QStringLiteral("选区尺寸显示"));
        QVERIFY(frameHidden && labelHidden);
        QVERIFY(!tx::Form1::isOpen());
    }

    void drawingInAnyDirectionGivesTheSameFrame_data()
    {
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::newRow("upper left to lower right") << QPoint(10, 20) << QPoint(210, 120);
        QTest::newRow("lower right to upper left") << QPoint(210, 120) << QPoint(10, 20);
        QTest::newRow("upper right to lower left") << QPoint(210, 20) << QPoint(10, 120);
        QTest::newRow("lower left to upper right") << QPoint(10, 120) << QPoint(210, 20);
    }
    void drawingInAnyDirectionGivesTheSameFrame()
    {
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        QVariantMap frame;
        QString label;
        QPointF textCentre;
        shoot([&](OverlayHandle &h) {
            draw(h, from, to);
            frame = h.frame();
            label = h.label();
            const auto *l = h.parent()->findChild<QWidget *>(QStringLiteral("LblPos"));
            const QFontMetricsF fm(l->font());
            textCentre = QPointF(l->x() + fm.horizontalAdvance(label) / 2, l->y() + fm.height() / 2);
            h.key(27);
        });
        QCOMPARE(frame.value("left").toInt(), 10);
        QCOMPARE(frame.value("top").toInt(), 20);
        QCOMPARE(frame.value("width").toInt(), 200);
        QCOMPARE(frame.value("height").toInt(), 100);
        QVERIFY(frame.value("visible").toBool());
        QCOMPARE(label, QStringLiteral("200x100"));
        // The caption's text is centred on the frame (the label keeps its size).
        QVERIFY2(qAbs(textCentre.x() - 110) <= 1 && qAbs(textCentre.y() - 70) <= 1,
                 qPrintable(QStringLiteral("%1,%2").arg(textCentre.x()).arg(textCentre.y())));
        QVERIFY(server->requests.isEmpty());
    }

    void movingClampsAtEveryEdge_data()
    {
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<QPoint>("corner");
        // Frame 200 x 100 at (100, 100), gripped at (150, 150).
        QTest::newRow("inside") << QPoint(170, 140) << QPoint(120, 90);
        QTest::newRow("left") << QPoint(-400, 160) << QPoint(0, 110);
        QTest::newRow("top") << QPoint(160, -400) << QPoint(110, 0);
        QTest::newRow("right") << QPoint(5000, 150) << QPoint(screen.width() - 200, 100);
        QTest::newRow("bottom") << QPoint(150, 5000) << QPoint(100, screen.height() - 100);
    }
    void movingClampsAtEveryEdge()
    {
        QFETCH(QPoint, to);
        QFETCH(QPoint, corner);
        QVariantMap frame;
        QString label;
        shoot([&](OverlayHandle &h) {
            draw(h, {100, 100}, {300, 200});
            h.press(150, 150);
            h.move(to.x(), to.y());
            h.release(to.x(), to.y());
            frame = h.frame();
            label = h.label();
            h.key(27);
        });
        QCOMPARE(QPoint(frame.value("left").toInt(), frame.value("top").toInt()), corner);
        QCOMPARE(QSize(frame.value("width").toInt(), frame.value("height").toInt()), QSize(200, 100));
        QCOMPARE(label, QStringLiteral("200x100"));
    }

    void pressOutsideAFinishedFrameStartsANewOne()
    {
        QVariantMap afterPress, afterMove;
        shoot([&](OverlayHandle &h) {
            draw(h, {100, 100}, {300, 200});
            h.press(500, 400);
            afterPress = h.frame();
            h.move(600, 450);
            afterMove = h.frame();
            h.key(27);
        });
        QCOMPARE(afterPress, (QVariantMap{{"left", 500}, {"top", 400}, {"width", 0}, {"height", 0}, {"visible", true}}));
        QCOMPARE(afterMove, (QVariantMap{{"left", 500}, {"top", 400}, {"width", 100}, {"height", 50}, {"visible", true}}));
    }

    void otherInputsDoNothing_data()
    {
        QTest::addColumn<int>("what");
        QTest::newRow("Enter") << 0;
        QTest::newRow("letter q") << 1;
        QTest::newRow("middle release") << 2;
        QTest::newRow("move with the right button") << 3;
        QTest::newRow("move with left and middle") << 4;
    }
    void otherInputsDoNothing()
    {
        QFETCH(int, what);
        QVariantMap before, after;
        bool open = false;
        shoot([&](OverlayHandle &h) {
            draw(h, {100, 100}, {300, 200});
            before = h.frame();
            switch (what) {
            case 0: h.key(13); break;
            case 1: h.key('q'); break;
            case 2: h.release(150, 150, 4); break;
            case 3: h.press(150, 150, 2), h.move(250, 250); break;
            case 4: h.press(150, 150, 1), h.press(150, 150, 4), h.move(250, 250); break;
            }
            after = h.frame();
            open = h.isOpen();
            h.key(27);
        });
        QVERIFY(open);
        QCOMPARE(after, before);
    }

    void scriptDrivesTheOverlayThroughTheHandle()
    {
        // The wiring that the page host's automation.onOverlay uses.
        QJSEngine engine;
        QJSValue fn = engine.evaluate(QStringLiteral(
            "(function (h) { h.press(10, 20); h.move(100, 100); h.move(210, 120); h.release(210, 120, 1);"
            " seen = h.frame.left + ',' + h.frame.top + ',' + h.frame.width + ',' + h.frame.height + ','"
            " + h.frame.visible + ' ' + h.label; h.doubleClick(50, 50); })"));
        QVERIFY(fn.isCallable());
        const QString name = shoot([&](OverlayHandle &h) {
            const QJSValue r = fn.call({engine.newQObject(&h)});
            if (r.isError())
                throw tx::AutomationError(tx::ErrAutomation, QStringLiteral("onOverlay"), r.toString());
        });
        QCOMPARE(engine.globalObject().property("seen").toString(), QStringLiteral("10,20,200,100,true 200x100"));
        QCOMPARE(name, QStringLiteral("/files/shot.jpg"));
        QCOMPARE(QImage(jpegPath()).size(), QSize(200, 100));
    }

    void handlerErrorReachesTheCaller()
    {
        tx::overlay::setHandler([](OverlayHandle &h) {
            h.press(10, 10);
            throw tx::AutomationError(tx::ErrAutomation, QStringLiteral("onOverlay"), QStringLiteral("boom"));
        });
        tx::ScreenShot shot;
        QVERIFY_THROWS_EXCEPTION(tx::AutomationError, shot.BeginScreenShot(QString(), server->url(), 0));
        QVERIFY(shot.FileName().isEmpty());
        QVERIFY(!tx::Form1::isOpen());
        QCOMPARE(lastEnding(), tx::overlay::Ending::Failed);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void jpegWriterStatuses_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("nullImage");
        QTest::addColumn<int>("injected");
        QTest::addColumn<int>("status");
        QTest::newRow("written") << QStringLiteral("ok.jpg") << false << 0 << 0;
        QTest::newRow("missing folder") << QStringLiteral("no/such/x.jpg") << false << 0 << int(tx::jpeg::DeviceError);
        QTest::newRow("a folder in the way") << QStringLiteral("dir.jpg") << false << 0 << int(tx::jpeg::DeviceError);
        QTest::newRow("null picture") << QStringLiteral("null.jpg") << true << 0 << int(tx::jpeg::InvalidImage);
        QTest::newRow("injected") << QStringLiteral("inj.jpg") << false << 7 << 7;
    }
    void jpegWriterStatuses()
    {
        QFETCH(QString, path);
        QFETCH(bool, nullImage);
        QFETCH(int, injected);
        QFETCH(int, status);
        QDir(temp.path()).mkpath(QStringLiteral("dir.jpg"));
        const QString full = temp.path() + u'/' + path;
        tx::jpeg::setInjectedFailure(injected);
        QCOMPARE(tx::jpeg::write(nullImage ? QImage() : patternImage(QSize(8, 8)), full), status);
        QCOMPARE(QFileInfo(full).isFile(), status == 0);
    }

    void doubleClickOutsideCapturesNothing()
    {
        bool stillOpen = false;
        QVariantMap frame;
        shoot([&](OverlayHandle &h) {
            draw(h, {100, 100}, {300, 200});
            h.doubleClick(600, 500);
            h.doubleClick(600, 500); // its press starts a frame of size 0 again
            stillOpen = h.isOpen();
            frame = h.frame();
            h.key(27);
        });
        QVERIFY(stillOpen);
        QCOMPARE(frame.value("width").toInt(), 0);
        QCOMPARE(frame.value("left").toInt(), 600);
        QVERIFY(server->requests.isEmpty());
        QCOMPARE(lastEnding(), tx::overlay::Ending::Cancelled);
    }

    void escAndRightClickCancel_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("Esc") << 0;
        QTest::newRow("right click outside") << 1;
        QTest::newRow("right click inside the frame") << 2;
        QTest::newRow("Esc while drawing") << 3;
    }
    void escAndRightClickCancel()
    {
        QFETCH(int, how);
        bool closedAfter = false, laterIgnored = false;
        const QString name = shoot([&](OverlayHandle &h) {
            draw(h, {100, 100}, {300, 200});
            switch (how) {
            case 0: h.key(27); break;
            case 1: h.press(700, 600, 2), h.release(700, 600, 2); break;
            case 2: h.press(150, 150, 2), h.release(150, 150, 2); break;
            case 3: h.press(400, 400), h.move(500, 500), h.key(27); break;
            }
            closedAfter = !h.isOpen();
            laterIgnored = !h.doubleClick(150, 150);
        });
        QVERIFY(closedAfter);
        QVERIFY(laterIgnored);
        QVERIFY(name.isEmpty());
        QVERIFY(server->requests.isEmpty());
        QCOMPARE(lastEnding(), tx::overlay::Ending::Cancelled);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void captureSavesExactlyTheSelectionAndUploadsIt()
    {
        const QString name = shoot([](OverlayHandle &h) {
            draw(h, {10, 20}, {210, 120});
            h.doubleClick(50, 50);
        });
        QCOMPARE(name, QStringLiteral("/files/shot.jpg"));
        QCOMPARE(lastEnding(), tx::overlay::Ending::Captured);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

        QFile f(jpegPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const JpegInfo info = inspect(bytes);
        QVERIFY(info.baseline && !info.progressive);
        QVERIFY(info.quality100);
        QImage img;
        QVERIFY(img.loadFromData(bytes, "JPEG"));
        QCOMPARE(img.size(), QSize(200, 100));
        // No frame line, no label: every pixel is the pattern's, within JPEG error.
        QVERIFY2(worstError(img, 10, 20) <= 6, qPrintable(QString::number(worstError(img, 10, 20))));

        QCOMPARE(server->requests.size(), 1);
        const tx::test::ReceivedRequest &r = server->requests.first();
        QCOMPARE(r.field("curPath"), QByteArray("/pic/"));
        QCOMPARE(r.field("contentid"), QByteArray("7"));
        QCOMPARE(r.field("screenshot.jpg"), bytes);
    }

    void secondCaptureReplacesTheFileWithoutFollowingALink()
    {
        QFile decoy(temp.path() + QStringLiteral("/decoy"));
        QVERIFY(decoy.open(QIODevice::WriteOnly) && decoy.write("keep") == 4);
        decoy.close();
        QFile::remove(jpegPath());
        QVERIFY(QFile::link(decoy.fileName(), jpegPath()));

        shoot([](OverlayHandle &h) { draw(h, {10, 20}, {60, 60}), h.doubleClick(30, 30); });
        QVERIFY(!QFileInfo(jpegPath()).isSymLink());
        QCOMPARE(QImage(jpegPath()).size(), QSize(50, 40));
        QVERIFY(decoy.open(QIODevice::ReadOnly));
        QCOMPARE(decoy.readAll(), QByteArray("keep"));

        shoot([](OverlayHandle &h) { draw(h, {300, 300}, {330, 320}), h.doubleClick(310, 310); });
        QCOMPARE(QImage(jpegPath()).size(), QSize(30, 20));
        QCOMPARE(server->requests.size(), 2);
    }

    void failedUploadLeavesFileNameEmpty_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("500") << int(TestHttpServer::Mode::Error500) << QByteArray();
        QTest::newRow("answer Error") << int(TestHttpServer::Mode::Ok) << QByteArray("Error");
    }
    void failedUploadLeavesFileNameEmpty()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, payload);
        server->setMode(TestHttpServer::Mode(mode), payload);
        const QString name = shoot([](OverlayHandle &h) { draw(h, {10, 20}, {60, 60}), h.doubleClick(30, 30); });
        QCOMPARE(server->requests.size(), 1);
        QVERIFY(name.isEmpty());
    }

    void failedSaveShowsTheMessageAndUploadsNothing()
    {
        QFile old(jpegPath());
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        tx::jpeg::setInjectedFailure(tx::jpeg::DeviceError);
        const QString name = shoot([](OverlayHandle &h) { draw(h, {10, 20}, {60, 60}), h.doubleClick(30, 30); });
        QVERIFY(name.isEmpty());
        QVERIFY(server->requests.isEmpty());
        QVERIFY(!QFile::exists(jpegPath())); // the old one was deleted, no new one
        const auto boxes = tx::ui::messageBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().text, QStringLiteral("保存图像发生了错误,错误号:2"));
        QCOMPARE(lastEnding(), tx::overlay::Ending::Failed);
        QVERIFY(!tx::Form1::isOpen());
    }

    void withoutAHandlerTheOverlayCancelsAtOnce()
    {
        tx::ScreenShot shot;
        shot.BeginScreenShot(QStringLiteral("/pic"), server->url(), 1);
        QVERIFY(shot.FileName().isEmpty());
        QCOMPARE(tx::overlay::records().size(), 1);
        QVERIFY(!tx::overlay::records().first().handled);
        QCOMPARE(lastEnding(), tx::overlay::Ending::AutoCancelled);
    }

    void handlerLeavingItOpenCancelsAndNestedCallIsBusy()
    {
        int nested = 0;
        const QString name = shoot([&](OverlayHandle &h) {
            draw(h, {10, 20}, {60, 60});
            try {
                tx::ScreenShot inner;
                inner.BeginScreenShot(QString(), server->url(), 0);
            } catch (const tx::AutomationError &e) {
                nested = e.number;
            }
        });
        QCOMPARE(nested, tx::kErrBusy);
        QVERIFY(name.isEmpty());
        QCOMPARE(lastEnding(), tx::overlay::Ending::AutoCancelled);
    }

    void refusedGrabFailsAtOnce()
    {
        tx::screen::setGrabOverride([] { return QImage(); });
        bool handlerRan = false;
        tx::overlay::setHandler([&](OverlayHandle &) { handlerRan = true; });
        tx::ScreenShot shot;
        try {
            shot.BeginScreenShot(QStringLiteral("/pic"), server->url(), 1);
            QFAIL("no error");
        } catch (const tx::AutomationError &e) {
            QCOMPARE(e.number, int(tx::ErrAutomation));
            QVERIFY2(e.description.contains(QStringLiteral("cannot be captured")), qPrintable(e.description));
        }
        QVERIFY(!handlerRan);
        QVERIFY(shot.FileName().isEmpty());
    }

    void highPixelRatioKeepsThePhysicalPixels()
    {
        tx::screen::setGrabOverride([this] { return patternImage(screen.size() * 2, 2.0); });
        const QString name = shoot([](OverlayHandle &h) {
            draw(h, {10, 20}, {210, 120});
            h.doubleClick(50, 50);
        });
        QCOMPARE(name, QStringLiteral("/files/shot.jpg"));
        const QImage img(jpegPath());
        QCOMPARE(img.size(), QSize(400, 200));
        QVERIFY(worstError(img, 20, 40, 2.0) <= 6);
    }

    void captionIsTheFramesWholePixels_data()
    {
        QTest::addColumn<QPointF>("from");
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<QRect>("frame");
        // Pointer positions between pixels, as a fractional screen scale gives them;
        // each side rounded half away from zero.
        QTest::newRow("100.5 x 50.25") << QPointF(10, 20) << QPointF(110.5, 70.25) << QRect(10, 20, 101, 50);
        QTest::newRow("halves and quarters") << QPointF(10.5, 20.25) << QPointF(111, 70.75) << QRect(11, 20, 101, 51);
        QTest::newRow("near the origin") << QPointF(0.25, 0.75) << QPointF(100.5, 50.5) << QRect(0, 1, 100, 50);
    }
    void captionIsTheFramesWholePixels()
    {
        QFETCH(QPointF, from);
        QFETCH(QPointF, to);
        QFETCH(QRect, frame);
        QVariantMap shown;
        QString label;
        const QString name = shoot([&](OverlayHandle &h) {
            h.press(from.x(), from.y());
            h.move(to.x(), to.y());
            h.release(to.x(), to.y());
            shown = h.frame();
            label = h.label();
            h.doubleClick(from.x() + 5, from.y() + 5);
        });
        QCOMPARE(QRect(shown.value("left").toInt(), shown.value("top").toInt(), shown.value("width").toInt(),
                       shown.value("height").toInt()),
                 frame);
        QCOMPARE(label, QStringLiteral("%1x%2").arg(frame.width()).arg(frame.height()));
        QCOMPARE(name, QStringLiteral("/files/shot.jpg"));
        QCOMPARE(QImage(jpegPath()).size(), frame.size()); // what the caption says is what is saved
    }

    void grabMustCoverTheScreen_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("logical");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<bool>("fits");
        QTest::newRow("same size") << QSize(1280, 1024) << QSize(1280, 1024) << 1.0 << true;
        QTest::newRow("twice") << QSize(2560, 2048) << QSize(1280, 1024) << 2.0 << true;
        QTest::newRow("fractional ratio, rounded sides") << QSize(1280, 1024) << QSize(853, 683) << 1.5 << true;
        QTest::newRow("another area, squashed") << QSize(1280, 1024) << QSize(1280, 800) << 1.0 << false;
        QTest::newRow("too narrow") << QSize(1000, 1024) << QSize(1280, 1024) << 1.0 << false;
        QTest::newRow("one pixel too tall") << QSize(1280, 1025) << QSize(1280, 1024) << 1.0 << false;
        QTest::newRow("ratio on one side only") << QSize(2560, 1024) << QSize(1280, 1024) << 2.0 << false;
    }
    void grabMustCoverTheScreen()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, logical);
        QFETCH(qreal, ratio);
        QFETCH(bool, fits);
        QImage image(picture, QImage::Format_RGB32);
        try {
            tx::screen::fitToScreen(image, logical, ratio);
            QVERIFY(fits);
            QCOMPARE(image.devicePixelRatio(), ratio);
        } catch (const tx::AutomationError &e) {
            QVERIFY2(!fits, qPrintable(e.description));
            QCOMPARE(e.number, int(tx::ErrAutomation));
            QVERIFY(e.description.contains(QStringLiteral("cannot be captured")));
        }
    }

    void uploadRunsAfterTheOverlayLetsGo_data()
    {
        QTest::addColumn<bool>("refused");
        QTest::newRow("answered") << false;
        QTest::newRow("refused, its box answered") << true;
    }
    void uploadRunsAfterTheOverlayLetsGo()
    {
        QFETCH(bool, refused);
        struct Seen {
            bool looked = false, overlayShown = true, grabbed = true, cursor = true, boxOnTop = false;
        } seen;
        const auto look = [&seen](QWidget *box) {
            seen.looked = true;
            seen.overlayShown = false;
            for (QWidget *w : QApplication::topLevelWidgets())
                seen.overlayShown = seen.overlayShown || (w->objectName() == u"Form1" && w->isVisible());
            seen.grabbed = QWidget::keyboardGrabber() || QWidget::mouseGrabber();
            seen.cursor = QGuiApplication::overrideCursor() != nullptr;
            seen.boxOnTop = box && QApplication::activeModalWidget() == box && box->isVisible();
        };
        QString url = server->url();
        QTimer boxWatch;
        if (refused) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            url = QStringLiteral("http://127.0.0.1:%1/upload.asp").arg(probe.serverPort());
            probe.close();
            connect(&boxWatch, &QTimer::timeout, this, [&] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                if (!box)
                    return;
                boxWatch.stop();
                look(box);
                box->button(QMessageBox::Ok)->click();
            });
            boxWatch.start(20);
        } else {
            server->setAnswerFor([&](int, const tx::test::ReceivedRequest &) {
                look(nullptr);
                return TestHttpServer::okResponse("/files/shot.jpg");
            });
        }
        tx::ui::setInteractive(true); // real grabs, real boxes
        tx::overlay::setHandler([](OverlayHandle &h) { draw(h, {10, 20}, {60, 60}), h.doubleClick(30, 30); });
        tx::ScreenShot shot;
        shot.BeginScreenShot(QStringLiteral("/pic"), url, 7);
        tx::ui::setInteractive(false);
        tx::overlay::setHandler(nullptr);

        QVERIFY(seen.looked);
        QVERIFY2(!seen.overlayShown, "the overlay still covers the desktop");
        QVERIFY2(!seen.grabbed, "the keyboard or the pointer is still grabbed");
        QVERIFY2(!seen.cursor, "the cross cursor is still set");
        QCOMPARE(QImage(jpegPath()).size(), QSize(50, 40));
        if (refused) {
            QVERIFY2(seen.boxOnTop, "the error box is not the one that takes input");
            QVERIFY(shot.FileName().isEmpty());
            QCOMPARE(tx::ui::messageBoxes().size(), 1);
        } else {
            QCOMPARE(shot.FileName(), QStringLiteral("/files/shot.jpg"));
        }
    }

    // The page drops the control while the overlay waits for the person, or while
    // its upload waits for a silent server: BeginScreenShot ends at once, quietly.
    void releasedControlEndsTheOverlay_data()
    {
        QTest::addColumn<bool>("uploading");
        QTest::newRow("waiting for the person") << false;
        QTest::newRow("uploading to a silent server") << true;
    }
    void releasedControlEndsTheOverlay()
    {
        QFETCH(bool, uploading);
        auto *shot = new tx::ScreenShot;
        QPointer<tx::ScreenShot> alive(shot);
        tx::activity::adopt(shot);
        bool rescued = false;
        QTimer drop, rescue;
        drop.setSingleShot(true);
        rescue.setSingleShot(true);
        connect(&drop, &QTimer::timeout, this, [shot] { tx::activity::release(shot); });
        // Without the fix the wait never ends by itself: Esc ends the overlay, and
        // the upload's own time-out (30 s) is far beyond this.
        connect(&rescue, &QTimer::timeout, this, [&rescued] {
            rescued = true;
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->objectName() == u"Form1" && w->isVisible())
                    QTest::keyClick(w, Qt::Key_Escape);
        });
        tx::ui::setInteractive(true);
        tx::overlay::setHandler([&](OverlayHandle &h) {
            if (uploading)
                draw(h, {10, 20}, {60, 60}), h.doubleClick(30, 30);
        });
        QElapsedTimer clock;
        clock.start();
        server->setAnswerFor([&drop](int, const tx::test::ReceivedRequest &) {
            drop.start(0);
            return QByteArray(); // silent
        });
        if (!uploading)
            drop.start(100);
        rescue.start(5000);
        {
            const tx::activity::Scope call(shot, tx::activity::Kind::ScriptCall);
            shot->BeginScreenShot(QStringLiteral("/pic"), server->url(), 7);
            QVERIFY(alive); // never freed under its own call
        }
        tx::ui::setInteractive(false);
        tx::overlay::setHandler(nullptr);
        QVERIFY2(!rescued, "the overlay's wait outlived its control");
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(!tx::Form1::isOpen());
        QVERIFY(tx::ui::messageBoxes().isEmpty());
        QTRY_VERIFY(!alive);
    }

    void recordsKeepTheLatestThousand()
    {
        for (int i = 0; i < 1005; ++i)
            tx::ui::messageBox(QString::number(i));
        for (int i = 0; i < 1002; ++i)
            tx::ui::openFiles({QString::number(i)});
        for (int i = 0; i < 1001; ++i)
            tx::overlay::record({i == 0, tx::overlay::Ending::Cancelled});
        const auto boxes = tx::ui::messageBoxes();
        QCOMPARE(boxes.size(), 1000);
        QCOMPARE(boxes.first().text, QStringLiteral("5"));
        QCOMPARE(boxes.last().text, QStringLiteral("1004"));
        const auto dialogs = tx::ui::fileDialogs();
        QCOMPARE(dialogs.size(), 1000);
        QCOMPARE(dialogs.first().filter, QStringLiteral("2"));
        const auto openings = tx::overlay::records();
        QCOMPARE(openings.size(), 1000);
        QVERIFY(!openings.first().handled); // the first one went
    }

    void cleanupTestCase()
    {
        tx::overlay::reset();
        tx::screen::setGrabOverride(nullptr);
    }
};

int runScreenShotTests(int argc, char **argv)
{
    ScreenShotTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "screenshot_test.moc"
