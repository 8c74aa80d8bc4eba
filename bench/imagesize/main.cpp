// Reads the pixel sizes of many large JPEGs through the picture loader (headers
// only) and, in the same run, decodes them fully with Qt; prints the ratio.
//   bench_imagesize [--count N] [--width W] [--height H] [--folder DIR] [--keep]
// The defaults run in seconds. The pictures it makes are removed at the end unless
// --keep is given; pictures already in the folder are used and never removed.
#include "platform/Picture.h"
#include "core/TempFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <cstdio>
#include <sys/resource.h>

namespace {

int argValue(const QStringList &args, const QString &name, int fallback)
{
    const qsizetype i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : fallback;
}

// A smooth picture with some texture, so the JPEG is of ordinary photo size.
QImage makePicture(int w, int h, int seed)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int t = ((x * 7 + y * 13 + seed * 31) ^ (x >> 3)) & 0xFF;
            line[x] = qRgb((x * 255 / w + seed) & 0xFF, (y * 255 / h) & 0xFF, t);
        }
    }
    return img;
}

// What the run made, removed when it ends unless the user keeps it.
struct Made {
    QStringList files;
    QString folder; // created by this run, empty when it was there
    bool keep = false;

    ~Made()
    {
        if (keep)
            return;
        for (const QString &f : files)
            QFile::remove(f);
        if (!folder.isEmpty())
            QDir().rmdir(folder);
    }
};

bool ensurePictures(const QString &folder, int count, int w, int h, QStringList &paths, Made &made)
{
    if (!QFileInfo(folder).isDir()) {
        if (!QDir().mkpath(folder))
            return false;
        made.folder = folder;
    }
    QImage base;
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QStringLiteral("/p%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
        paths << path;
        if (QFileInfo(path).size() > 0)
            continue;
        if (base.isNull())
            base = makePicture(w, h, 0);
        // One pixel differs per file, so no two files are the same.
        base.setPixel(i % w, 0, qRgb(i & 0xFF, 0, 0));
        const QString part = path + QStringLiteral(".part");
        made.files << part;
        if (!base.save(part, "JPG", 90) || !QFile::rename(part, path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return false;
        }
        made.files.last() = path;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // Pictures need no display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int count = argValue(args, QStringLiteral("--count"), 40);
    const int w = argValue(args, QStringLiteral("--width"), 3000);
    const int h = argValue(args, QStringLiteral("--height"), 2000);
    if (count <= 0 || w <= 0 || h <= 0) {
        std::fprintf(stderr, "--count, --width and --height take positive numbers\n");
        return 2;
    }
    const qsizetype fi = args.indexOf(QStringLiteral("--folder"));
    const QString folder = fi >= 0 && fi + 1 < args.size()
        ? args[fi + 1]
        : tx::temp::folder() + QStringLiteral("/imagesize-bench-%1x%2").arg(w).arg(h);

    QElapsedTimer clock;
    clock.start();
    Made made;
    made.keep = args.contains(QStringLiteral("--keep"));
    QStringList paths;
    if (!ensurePictures(folder, count, w, h, paths, made))
        return 1;
    std::printf("pictures: %d JPEGs of %dx%d in %s (ready in %.1f s)\n", count, w, h, qPrintable(folder),
                clock.elapsed() / 1000.0);

    // Headers through the loader. Warm the file cache first so both sides read
    // from memory and only the work on the pictures is compared.
    for (const QString &p : paths)
        tx::picture::pixelSize(p);
    clock.restart();
    qint64 headerPixels = 0;
    for (const QString &p : paths) {
        const QSize s = tx::picture::pixelSize(p);
        headerPixels += qint64(s.width()) * s.height();
    }
    const qint64 headerNs = clock.nsecsElapsed();

    clock.restart();
    qint64 decodedPixels = 0;
    for (const QString &p : paths) {
        const QImage img(p);
        decodedPixels += qint64(img.width()) * img.height();
    }
    const qint64 decodeNs = clock.nsecsElapsed();

    if (headerPixels != decodedPixels) {
        std::fprintf(stderr, "sizes differ: %lld vs %lld pixels\n", qlonglong(headerPixels), qlonglong(decodedPixels));
        return 1;
    }
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("loader (headers): %.3f ms for %d pictures (%.1f us each)\n", headerNs / 1e6, count,
                headerNs / 1e3 / count);
    std::printf("full decode (Qt): %.1f ms for %d pictures (%.1f ms each)\n", decodeNs / 1e6, count,
                decodeNs / 1e6 / count);
    std::printf("ratio loader / decode: %.5f (target <= 0.02)\n", double(headerNs) / double(decodeNs));
    std::printf("peak memory: %ld MiB\n", usage.ru_maxrss / 1024);
    if (!made.keep && !made.files.isEmpty())
        std::printf("removing the %lld pictures made (--keep keeps them)\n", qlonglong(made.files.size()));
    return 0;
}
