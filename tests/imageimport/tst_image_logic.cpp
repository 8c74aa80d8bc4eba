// Thumbnail sizes, titles, fragments and the picture loader's sizes: everything
// of the image import that needs no form.
#include "imageimport/ArticleComposer.h"
#include "imageimport/ThumbnailSize.h"
#include "core/AutomationError.h"
#include "platform/Picture.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tx;
using namespace tx::image;

namespace {

int errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const AutomationError &e) {
        return e.number;
    }
    return 0;
}

} // namespace

class ImageLogic : public QObject {
    Q_OBJECT
private slots:
    void thumbnail_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::addColumn<int>("w0");
        QTest::addColumn<int>("h0");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("both given") << "指定宽度和高度" << "100" << " 50 " << 800 << 600 << QSize(100, 50);
        QTest::newRow("height kept 800x600") << "指定高度，约束比例" << "x" << "120" << 800 << 600 << QSize(160, 120);
        QTest::newRow("width kept 800x600") << "指定宽度，约束比例" << "160" << "x" << 800 << 600 << QSize(160, 120);
        QTest::newRow("25%") << "25%" << "x" << "x" << 800 << 600 << QSize(200, 150);
        QTest::newRow("3x3 at 10%") << "10%" << "" << "" << 3 << 3 << QSize(0, 0);
        QTest::newRow("half to even down") << "50%" << "" << "" << 5 << 7 << QSize(2, 4);
        QTest::newRow("width kept rounds") << "指定宽度，约束比例" << "100" << "" << 300 << 200 << QSize(100, 67);
        QTest::newRow("unknown text") << "75%" << "" << "" << 640 << 480 << QSize(640, 480);
    }
    void thumbnail()
    {
        QFETCH(QString, mode);
        QFETCH(QString, width);
        QFETCH(QString, height);
        QFETCH(int, w0);
        QFETCH(int, h0);
        QFETCH(QSize, expected);
        QCOMPARE(thumbnailSize(mode, width, height, w0, h0), expected);
    }

    void thumbnailFailures_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("width");
        QTest::addColumn<int>("w0");
        QTest::addColumn<int>("error");
        QTest::newRow("letter O") << "指定宽度，约束比例" << "16O" << 800 << 13;
        QTest::newRow("empty") << "指定宽度和高度" << "" << 800 << 13;
        QTest::newRow("beyond 16 bits") << "指定宽度和高度" << "40000" << 800 << 6;
        QTest::newRow("zero picture width") << "指定宽度，约束比例" << "160" << 0 << 11;
        QTest::newRow("zero over zero") << "指定宽度，约束比例" << "0" << 0 << 6;
    }
    void thumbnailFailures()
    {
        QFETCH(QString, mode);
        QFETCH(QString, width);
        QFETCH(int, w0);
        QFETCH(int, error);
        QCOMPARE(errorOf([&] { thumbnailSize(mode, width, QStringLiteral("120"), w0, 600); }), error);
    }

    void titles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("title");
        QTest::newRow("backslashes") << "C:\\pics\\sea.jpg" << "sea";
        QTest::newRow("doubled extension") << "/p/x.jpg.jpg" << "x";
        QTest::newRow("extension inside") << "/p/ab.jpgcd.jpg" << "abcd";
        QTest::newRow("capitals kept") << "/p/Sea.JPG" << "Sea";
        QTest::newRow("other case stays") << "/p/a.jpg.JPG" << "a.jpg";
    }
    void titles()
    {
        QFETCH(QString, path);
        QFETCH(QString, title);
        QCOMPARE(titleByPictureName(path), title);
    }

    void clickReplaced()
    {
        QCOMPARE(fragmentFromAnswer(QStringLiteral("<img alt=Click src=Click.jpg>click")),
                 QStringLiteral("<img alt=点击看大图 src=点击看大图.jpg>click"));
    }

    void loaderSizes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSize>("size");
        QTest::newRow("jpg") << "a.jpg" << QSize(800, 600);
        QTest::newRow("png named gif") << "b.gif" << QSize(3, 3);
        QTest::newRow("bmp") << "c.bmp" << QSize(17, 9);
    }
    void loaderSizes()
    {
        QFETCH(QString, file);
        QFETCH(QSize, size);
        QTemporaryDir dir;
        const QString path = dir.filePath(file);
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        // The reader goes by content: "b.gif" is really a PNG.
        QVERIFY(image.save(path, file == u"b.gif" ? "PNG" : nullptr));
        QCOMPARE(picture::pixelSize(path), size);
        const picture::HimetricSize h = picture::himetricSize(path);
        QCOMPARE(pixelsFromHimetric(h.width), size.width());
        QCOMPARE(pixelsFromHimetric(h.height), size.height());
    }

    void loaderFailures()
    {
        QTemporaryDir dir;
        QFile text(dir.filePath("bad.jpg"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a picture");
        text.close();
        QCOMPARE(errorOf([&] { picture::pixelSize(dir.filePath("bad.jpg")); }), picture::kErrInvalidPicture);
        QCOMPARE(errorOf([&] { picture::pixelSize(dir.filePath("missing.jpg")); }), int(ErrFileNotFound));
        QCOMPARE(errorOf([&] { picture::pixelSize(dir.path()); }), int(ErrFileNotFound));
        QVERIFY(picture::loadScaled(dir.filePath("bad.jpg"), QSize(10, 10)).isNull());
        // Only a regular file is a picture: a FIFO whose writer never writes, or a
        // device without end, must not hold the import up.
        const QByteArray fifo = QFile::encodeName(dir.filePath("fifo.jpg"));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        const int writer = ::open(fifo.constData(), O_RDWR | O_NONBLOCK);
        QVERIFY(writer >= 0);
        for (const QString &special : {dir.filePath("fifo.jpg"), QStringLiteral("/dev/zero")}) {
            QCOMPARE(errorOf([&] { picture::pixelSize(special); }), int(ErrFileNotFound));
            QVERIFY(picture::loadScaled(special, QSize(10, 10)).isNull());
        }
        ::close(writer);
    }

    void himetric()
    {
        QCOMPARE(picture::himetricFromPixels(800), 21167);
        QCOMPARE(picture::himetricFromPixels(3), 79);
        QCOMPARE(pixelsFromHimetric(picture::himetricFromPixels(6000)), 6000);
        QCOMPARE(errorOf([] { pixelsFromHimetric(picture::himetricFromPixels(40000)); }), int(ErrOverflow));
    }
};

QTEST_GUILESS_MAIN(ImageLogic)
#include "tst_image_logic.moc"
