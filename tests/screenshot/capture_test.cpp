// The ScreenShot control's capture on a real X server: the JPEG it writes from
// the selection, the upload of it, and what happens when the grab, the save or
// the upload fails or the page drops the control.
#include "ScreenShotFixture.h"

#include "core/Activity.h"
#include "core/AutomationError.h"
#include "platform/Jpeg.h"
#include "platform/ScreenGrab.h"
#include "platform/Ui.h"
#include "screenshot/Form1.h"
#include "screenshot/ScreenShot.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <sys/stat.h>

using tx::OverlayHandle;
using namespace tx::test;

class ScreenShotCaptureTest : public ScreenShotFixture {
    Q_OBJECT
private slots:
    void initTestCase() { setUpScreen(); }
    void init() { setUpTest(); }

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

    // The Wayland grab, against a stand-in portal: what the desktop answers, and
    // what the capture makes of it.
    void portalGrab_data()
    {
        using A = StandInPortal::Answer;
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("named"); // for A::Uri: "http", "link", "text", "gone"
        QTest::addColumn<qreal>("scale");   // the picture against the screen; 0: square
        QTest::addColumn<QString>("reason"); // empty: captured
        QTest::newRow("picture") << int(A::Picture) << QString() << 1.0 << QString();
        QTest::newRow("picture at twice the pixels") << int(A::Picture) << QString() << 2.0 << QString();
        QTest::newRow("refused") << int(A::Refusal) << QString() << 1.0 << QStringLiteral("the desktop refused the screenshot");
        QTest::newRow("no portal") << int(A::NoService) << QString() << 1.0
                                   << QStringLiteral("no screenshot portal: install xdg-desktop-portal-gnome or -kde");
        QTest::newRow("portal without screenshots") << int(A::NoInterface) << QString() << 1.0
                                                    << QStringLiteral("no screenshot portal");
        QTest::newRow("no answer, question taken back") << int(A::Nothing) << QString() << 1.0
                                                        << QStringLiteral("did not answer");
        QTest::newRow("not a local file") << int(A::Uri) << QStringLiteral("http") << 1.0
                                          << QStringLiteral("named no local picture file");
        QTest::newRow("a link is neither read nor removed") << int(A::Uri) << QStringLiteral("link") << 1.0
                                                            << QStringLiteral("cannot be read");
        QTest::newRow("not a picture, removed") << int(A::Uri) << QStringLiteral("text") << 1.0
                                                << QStringLiteral("is not a picture");
        QTest::newRow("a pipe is not waited on") << int(A::Uri) << QStringLiteral("pipe") << 1.0
                                                 << QStringLiteral("not a file of this user's");
        QTest::newRow("file gone") << int(A::Uri) << QStringLiteral("gone") << 1.0 << QStringLiteral("cannot be read");
        QTest::newRow("another shape") << int(A::Picture) << QString() << 0.0
                                       << QStringLiteral("the desktop's picture is 300x300");
    }
    void portalGrab()
    {
        QFETCH(int, answer);
        QFETCH(QString, named);
        QFETCH(qreal, scale);
        QFETCH(QString, reason);
        StandInPortal &p = usePortal();
        QVERIFY(p.isValid());
        p.answer(StandInPortal::Answer(answer), 50);
        p.picture = scale > 0 ? patternImage((QSizeF(screen.size()) * scale).toSize(), scale)
                              : patternImage(QSize(300, 300));
        const QString file = temp.path() + QStringLiteral("/portal-") + named;
        const QString target = temp.path() + QStringLiteral("/linked.png");
        if (named == u"http")
            p.uri = QStringLiteral("http://example.invalid/shot.png");
        else if (!named.isEmpty())
            p.uri = QUrl::fromLocalFile(file).toString();
        if (named == u"link") {
            QVERIFY(patternImage(screen.size()).save(target, "PNG"));
            QVERIFY(QFile::link(target, file));
        } else if (named == u"pipe") {
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        } else if (named == u"text") {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("not a picture") > 0);
        }

        bool handlerRan = false;
        const QString name = shoot([&](OverlayHandle &h) {
            handlerRan = true;
            draw(h, {10, 20}, {210, 120});
            h.doubleClick(50, 50);
        });
        const auto boxes = tx::ui::messageBoxes();
        if (reason.isEmpty()) {
            QCOMPARE(name, QStringLiteral("/files/shot.jpg"));
            QVERIFY(boxes.isEmpty());
            QCOMPARE(p.requests.size(), 1);
            QCOMPARE(p.requests.first().value(QStringLiteral("interactive")), QVariant(false));
            QVERIFY2(!QFile::exists(p.saved.last()), "the desktop's picture was left behind");
            const QImage img(jpegPath());
            QCOMPARE(img.size(), QSize(200, 100));
            QVERIFY2(worstError(img, 10, 20) <= 8, qPrintable(QString::number(worstError(img, 10, 20))));
            QCOMPARE(server->requests.size(), 1);
            return;
        }
        QVERIFY(name.isEmpty());
        QVERIFY2(!handlerRan, "the overlay showed without a picture");
        QVERIFY(server->requests.isEmpty());
        QCOMPARE(lastEnding(), tx::overlay::Ending::Declined);
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.first().text.startsWith(QStringLiteral("The screen cannot be captured: ")) &&
                     boxes.first().text.contains(reason),
                 qPrintable(boxes.first().text));
        if (answer == int(StandInPortal::Answer::Nothing))
            QTRY_COMPARE(p.closed, 1);
        if (named == u"link")
            QVERIFY(QFileInfo(file).isSymLink() && QFile::exists(target));
        if (named == u"pipe")
            QVERIFY(QFileInfo::exists(file)); // not ours to remove
        if (named == u"text" || scale == 0)
            QVERIFY(!QFile::exists(named == u"text" ? file : p.saved.last()));
    }

    // While the desktop asks the person, events run: another capture is refused as
    // busy without touching this one, and a released control ends the wait at once.
    void portalWaitUnderReentry_data()
    {
        QTest::addColumn<bool>("release");
        QTest::newRow("another capture meanwhile") << false;
        QTest::newRow("control released meanwhile") << true;
    }
    void portalWaitUnderReentry()
    {
        QFETCH(bool, release);
        StandInPortal &p = usePortal();
        QVERIFY(p.isValid());
        p.answer(StandInPortal::Answer::Picture, release ? 5000 : 300);
        auto *shot = new tx::ScreenShot;
        QPointer<tx::ScreenShot> alive(shot);
        tx::activity::adopt(shot);
        int busy = 0;
        QTimer meanwhile;
        meanwhile.setSingleShot(true);
        connect(&meanwhile, &QTimer::timeout, this, [&] {
            if (release) {
                tx::activity::release(shot);
                return;
            }
            tx::ScreenShot other;
            try {
                other.BeginScreenShot(QStringLiteral("/other"), server->url(), 9);
            } catch (const tx::AutomationError &e) {
                busy = e.number == tx::kErrBusy ? busy + 1 : -1000;
            }
        });
        meanwhile.start(50);
        tx::overlay::setHandler([](OverlayHandle &h) { draw(h, {10, 20}, {60, 60}), h.doubleClick(30, 30); });
        QElapsedTimer clock;
        clock.start();
        {
            const tx::activity::Scope call(shot, tx::activity::Kind::ScriptCall);
            shot->BeginScreenShot(QStringLiteral("/pic"), server->url(), 7);
            QVERIFY(alive);
        }
        tx::overlay::setHandler(nullptr);
        QVERIFY(tx::ui::messageBoxes().isEmpty());
        if (release) {
            QVERIFY2(clock.elapsed() < 4000, "the wait outlived its control");
            QTRY_COMPARE(p.closed, 1);
            QVERIFY(server->requests.isEmpty());
            QCOMPARE(lastEnding(), tx::overlay::Ending::Declined);
            QTRY_VERIFY(!alive);
        } else {
            QCOMPARE(busy, 1);
            QCOMPARE(p.requests.size(), 1);
            QCOMPARE(server->requests.size(), 1);
            QCOMPARE(server->requests.first().field("curPath"), QByteArray("/pic/"));
            QCOMPARE(shot->FileName(), QStringLiteral("/files/shot.jpg"));
            tx::activity::release(shot);
        }
    }

    void desktopPictureFitsThePrimaryScreen_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QRect>("primary");
        QTest::addColumn<QRect>("desktop");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QSize>("fitted"); // empty: declined
        const QRect one(0, 0, 1024, 768);
        QTest::newRow("same pixels") << QSize(1024, 768) << one << one << 1.0 << QSize(1024, 768);
        QTest::newRow("more pixels than the screen") << QSize(2048, 1536) << one << one << 1.0 << QSize(1024, 768);
        QTest::newRow("fractional scale, ratio rounded up") << QSize(1920, 1080) << QRect(0, 0, 1280, 720)
                                                            << QRect(0, 0, 1280, 720) << 2.0 << QSize(2560, 1440);
        QTest::newRow("two screens, the primary's part") << QSize(2048, 768) << QRect(1024, 0, 1024, 768)
                                                         << QRect(0, 0, 2048, 768) << 1.0 << QSize(1024, 768);
        QTest::newRow("another shape") << QSize(1000, 1000) << one << one << 1.0 << QSize();
        QTest::newRow("no picture") << QSize() << one << one << 1.0 << QSize();
    }
    void desktopPictureFitsThePrimaryScreen()
    {
        QFETCH(QSize, picture);
        QFETCH(QRect, primary);
        QFETCH(QRect, desktop);
        QFETCH(qreal, ratio);
        QFETCH(QSize, fitted);
        // Left half red, right half blue: the part cut out shows which screen it is.
        QImage in;
        if (picture.isValid()) {
            in = QImage(picture, QImage::Format_ARGB32);
            in.fill(Qt::red);
            QPainter(&in).fillRect(picture.width() / 2, 0, picture.width() - picture.width() / 2, picture.height(),
                                   Qt::blue);
        }
        try {
            const QImage out = tx::screen::fitDesktopPicture(in, primary, desktop, ratio);
            QVERIFY(fitted.isValid());
            QCOMPARE(out.size(), fitted);
            QCOMPARE(out.devicePixelRatio(), ratio);
            QCOMPARE(out.format(), QImage::Format_RGB32);
            if (primary != desktop)
                QCOMPARE(QColor(out.pixel(out.width() / 2, 10)), QColor(Qt::blue));
        } catch (const tx::screen::GrabDeclined &e) {
            QVERIFY2(!fitted.isValid(), qPrintable(e.description));
        }
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
            bool looked = false, overlayShown = true, grabbed = true, cursor = true, boxOnTop = false, plain = false;
        } seen;
        const auto look = [&seen](QWidget *box) {
            seen.looked = true;
            seen.overlayShown = false;
            for (QWidget *w : QApplication::topLevelWidgets())
                seen.overlayShown = seen.overlayShown || (w->objectName() == u"Form1" && w->isVisible());
            seen.grabbed = QWidget::keyboardGrabber() || QWidget::mouseGrabber();
            seen.cursor = QGuiApplication::overrideCursor() != nullptr;
            seen.boxOnTop = box && QApplication::activeModalWidget() == box && box->isVisible();
            seen.plain = !box || qobject_cast<QMessageBox *>(box)->textFormat() == Qt::PlainText;
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
            QVERIFY2(seen.plain, "the box would show markup in its text as markup");
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

    void cleanupTestCase() { tearDownScreen(); }
};

int runCaptureTests(int argc, char **argv)
{
    ScreenShotCaptureTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "capture_test.moc"
