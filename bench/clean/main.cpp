// Cleans generated office HTML of 5 MB and 20 MB and, in the same run, parses the
// same files with `xmllint --html --noout` (libxml2's HTML parser). Prints MB/s of
// both, the ratio ours/xmllint, the 20 MB / 5 MB time ratio and peak memory.
// Times are CPU seconds (user + system, the best of three runs): on a shared
// machine the wall clock measures the neighbours more than the code. Wall
// seconds are printed beside them.
// Usage: bench_clean [small-MB large-MB]
#include "OfficeHtmlGenerator.h"
#include "officeimport/HtmlCleaner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <sys/resource.h>

namespace {

constexpr int kRepeats = 3;
constexpr double kMB = 1024.0 * 1024.0;

struct Run {
    double seconds = 1e9; // CPU
    double wall = 1e9;
    int pictures = 0;
    qsizetype bodyLength = 0;
};

double cpuSeconds(int who)
{
    rusage u {};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Reading and decoding the file count, as they do for xmllint.
Run cleanFile(const QString &path)
{
    Run best;
    for (int r = 0; r < kRepeats; ++r) {
        QElapsedTimer timer;
        timer.start();
        const double cpu0 = cpuSeconds(RUSAGE_SELF);
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        tx::HtmlCleaner cleaner;
        int pictures = 0;
        cleaner.setPictureUpload([&pictures](const QString &, const QString &local, int) {
            ++pictures;
            return QStringLiteral("/upload/%1").arg(local.section(QLatin1Char('/'), -1));
        });
        // Mapped rather than read: the file's bytes are decoded once, not copied first.
        const uchar *bytes = f.map(0, f.size());
        if (!bytes)
            return {};
        cleaner.strSourceHtml = QString::fromUtf8(reinterpret_cast<const char *>(bytes), f.size());
        f.unmap(const_cast<uchar *>(bytes));
        cleaner.strPicFolder = QStringLiteral("/tmp/doc2html/");
        cleaner.strCurPath = QStringLiteral("/articles");
        cleaner.CleanHtml();
        const double s = cpuSeconds(RUSAGE_SELF) - cpu0;
        if (s < best.seconds)
            best = {s, timer.nsecsElapsed() / 1e9, pictures, cleaner.strCleanBody.size()};
    }
    return best;
}

Run xmllintFile(const QString &path)
{
    Run best;
    for (int r = 0; r < kRepeats; ++r) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        const double cpu0 = cpuSeconds(RUSAGE_CHILDREN);
        p.start(QStringLiteral("xmllint"), {QStringLiteral("--html"), QStringLiteral("--noout"), path});
        if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit)
            return {};
        const double s = cpuSeconds(RUSAGE_CHILDREN) - cpu0;
        if (s < best.seconds)
            best = {s, timer.nsecsElapsed() / 1e9, 0, 0};
    }
    return best;
}

long peakKb(int who)
{
    rusage u {};
    getrusage(who, &u);
    return u.ru_maxrss;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // A fixed threshold keeps glibc from raising it after the first large free:
    // otherwise later runs of the small size reuse warm memory that the large one
    // (past the highest threshold) never can, and the sizes are not compared alike.
    // Every run pays for fresh memory, as a one-off import does.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    const int small = argc > 2 ? atoi(argv[1]) : 5;
    const int large = argc > 2 ? atoi(argv[2]) : 20;
    QTemporaryDir dir;
    if (!dir.isValid() || small <= 0 || large <= 0) {
        std::fprintf(stderr, "usage: bench_clean [small-MB large-MB]\n");
        return 2;
    }

    double ours[2] = {0, 0};
    double theirs[2] = {0, 0};
    const int sizes[2] = {small, large};
    for (int i = 0; i < 2; ++i) {
        const QString path = dir.filePath(QStringLiteral("report%1.htm").arg(sizes[i]));
        const QByteArray html = officeHtml(qsizetype(sizes[i] * kMB));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(html) != html.size())
            return 1;
        f.close();
        const double mb = html.size() / kMB;
        const Run r = cleanFile(path);
        const Run x = xmllintFile(path);
        const bool haveXmllint = x.seconds < 1e9;
        ours[i] = r.seconds;
        theirs[i] = haveXmllint ? x.seconds : 0;
        std::printf("%3d MB: cleaner %.3f s CPU, %.3f s wall (%.1f MB/s, %d pictures, body %lld units)",
                    sizes[i], r.seconds, r.wall, mb / r.seconds, r.pictures,
                    static_cast<long long>(r.bodyLength));
        if (haveXmllint)
            std::printf("; xmllint %.3f s CPU, %.3f s wall (%.1f MB/s); ratio ours/xmllint %.2f\n", x.seconds,
                        x.wall, mb / x.seconds, x.seconds / r.seconds);
        else
            std::printf("; xmllint not available\n");
    }
    const double growth = ours[1] / ours[0];
    const double expected = double(large) / small;
    std::printf("time %d MB / %d MB: %.2f (linear would be %.1f, target <= %.1f)\n", large, small, growth,
                expected, expected * 1.1);
    if (theirs[1] > 0)
        std::printf("speed ratio ours/xmllint at %d MB: %.2f (target >= 5)\n", large, theirs[1] / ours[1]);
    std::printf("peak memory: bench %ld KiB, xmllint %ld KiB\n", peakKb(RUSAGE_SELF), peakKb(RUSAGE_CHILDREN));
    return 0;
}
