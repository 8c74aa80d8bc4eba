// The selection frame's arithmetic, table-driven.
#include "screenshot/SelectionGeometry.h"

#include <QtTest>

using tx::selection::Frame;
using tx::selection::PixelRect;
Q_DECLARE_METATYPE(Frame)
Q_DECLARE_METATYPE(PixelRect)

class GeometryTest : public QObject {
    Q_OBJECT
private slots:
    void resizedInEveryQuadrant_data()
    {
        QTest::addColumn<float>("x");
        QTest::addColumn<float>("y");
        QTest::addColumn<Frame>("expected");
        const Frame previous{1, 2, 3, 4};
        // Anchor at (100, 50).
        QTest::newRow("down right") << 130.f << 70.f << Frame{100, 50, 30, 20};
        QTest::newRow("down left") << 70.f << 70.f << Frame{70, 50, 30, 20};
        QTest::newRow("up right") << 130.f << 30.f << Frame{100, 30, 30, 20};
        QTest::newRow("up left") << 70.f << 30.f << Frame{70, 30, 30, 20};
        QTest::newRow("level x keeps") << 100.f << 70.f << previous;
        QTest::newRow("level y keeps") << 130.f << 50.f << previous;
    }
    void resizedInEveryQuadrant()
    {
        QFETCH(float, x);
        QFETCH(float, y);
        QFETCH(Frame, expected);
        QCOMPARE(tx::selection::resized(Frame{1, 2, 3, 4}, 100, 50, x, y), expected);
    }

    void insideUsesNearestIntegersAndOpenFarEdges_data()
    {
        QTest::addColumn<float>("x");
        QTest::addColumn<float>("y");
        QTest::addColumn<bool>("in");
        QTest::newRow("top left corner") << 10.f << 20.f << true;
        QTest::newRow("right edge is outside") << 30.f << 25.f << false;
        QTest::newRow("bottom edge is outside") << 15.f << 40.f << false;
        QTest::newRow("29.4 rounds in") << 29.4f << 25.f << true;
        QTest::newRow("29.5 rounds to even 30") << 29.5f << 25.f << false;
        QTest::newRow("9.5 rounds to even 10") << 9.5f << 25.f << true;
        QTest::newRow("left of it") << 9.f << 25.f << false;
    }
    void insideUsesNearestIntegersAndOpenFarEdges()
    {
        QFETCH(float, x);
        QFETCH(float, y);
        QFETCH(bool, in);
        QCOMPARE(tx::selection::inside(PixelRect{10, 20, 30, 40}, x, y), in);
    }

    void pixelRectRoundsEachSideHalfAwayFromZero_data()
    {
        QTest::addColumn<Frame>("frame");
        QTest::addColumn<PixelRect>("expected");
        QTest::newRow("whole") << Frame{10, 20, 200, 100} << PixelRect{10, 20, 210, 120};
        QTest::newRow("halves up") << Frame{10.5f, 20.5f, 100.5f, 49.5f} << PixelRect{11, 21, 112, 71};
        QTest::newRow("quarters") << Frame{0.25f, 0.75f, 100.25f, 49.75f} << PixelRect{0, 1, 100, 51};
        QTest::newRow("size kept whatever the corner") << Frame{1.5f, 2.5f, 2.5f, 3.5f} << PixelRect{2, 3, 5, 7};
    }
    void pixelRectRoundsEachSideHalfAwayFromZero()
    {
        QFETCH(Frame, frame);
        QFETCH(PixelRect, expected);
        QCOMPARE(tx::selection::pixelRect(frame), expected);
    }

    void emptyFrameContainsNothing()
    {
        const PixelRect rc = tx::selection::pixelRect(Frame{50, 50, 0, 0});
        QVERIFY(!tx::selection::inside(rc, 50, 50));
    }

    void labelIsCentred()
    {
        const QPointF p = tx::selection::labelPosition(Frame{10, 20, 200, 100}, QSizeF(50, 16));
        QCOMPARE(p, QPointF(85, 62));
    }
};

int runGeometryTests(int argc, char **argv)
{
    GeometryTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "geometry_test.moc"
