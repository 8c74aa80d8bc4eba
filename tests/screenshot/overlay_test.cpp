// The ScreenShot overlay on a real X server: drawing, moving and cancelling the
// frame, the inputs it ignores, and errors and re-entry from its handler.
#include "ScreenShotFixture.h"

#include "core/AutomationError.h"
#include "screenshot/Form1.h"
#include "screenshot/ScreenShot.h"

#include <QApplication>
#include <QJSEngine>
#include <QtTest>

using tx::OverlayHandle;
using namespace tx::test;

class ScreenShotOverlayTest : public ScreenShotFixture {
    Q_OBJECT
private slots:
    void initTestCase() { setUpScreen(); }
    void init() { setUpTest(); }

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
        bool labelHidden = false, frameHidden = false, fullScreen = false;
        shoot([&](OverlayHandle &h) {
            auto *w = qobject_cast<QWidget *>(h.parent());
            geometry = w->geometry();
            frameless = w->windowFlags() & Qt::FramelessWindowHint;
            caption = h.label();
            frameHidden = !h.frame().value(QStringLiteral("visible")).toBool();
            labelHidden = w->findChild<QWidget *>(QStringLiteral("LblPos"))->isHidden();
            if (QGuiApplication::platformName().startsWith(u"wayland")) {
                // Focus is the compositor's to give (a headless one has no seat);
                // the overlay asks for the whole screen instead of placing itself.
                fullScreen = w->windowState() & Qt::WindowFullScreen;
            } else {
                // No window manager: the overlay takes the focus itself.
                QTRY_COMPARE(QApplication::activeWindow(), w);
                fullScreen = true;
            }
            h.key(27);
        });
        QCOMPARE(geometry, screen);
        QVERIFY(fullScreen);
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

    void cleanupTestCase() { tearDownScreen(); }
};

int runOverlayTests(int argc, char **argv)
{
    ScreenShotOverlayTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "overlay_test.moc"
