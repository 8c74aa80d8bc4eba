// bench_office: a .docx of at least 10 pages of running text imported whole and paged into a loopback sink
// while the office instance is warm, against `soffice --headless --convert-to
// html` of the same file with a profile of its own (a cold start), alternately,
// three times each; a .docx of at least 300 pages of running text paged, whole and cold-converted; and the
// first import, cold and 5 s after the control was created (started in the
// background by then).
#include "office/OfficeSamples.h"
#include "officeimport/OfficeImport.h"
#include "core/AutomationError.h"
#include "office/OfficeBackend.h"
#include "office/OfficeConstants.h"
#include "support/TestHttpServer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <memory>
#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int kRounds = 3;
constexpr int kTenPages = 10;
constexpr int kLongPages = 300;
constexpr int kParagraphsAPage = 6; // of running text, breaking across pages anywhere
constexpr int kIdleMs = 5000;

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs soffice the way people convert a file; returns the seconds it took.
double convertCold(const QString &profile, const QString &file, const QString &out, const char *to)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("soffice"),
            {"--headless", "-env:UserInstallation=" + QString::fromLatin1(QUrl::fromLocalFile(profile).toEncoded()),
             "--convert-to", QString::fromLatin1(to), "--outdir", out, file});
    if (!p.waitForFinished(180000) || p.exitCode() != 0) {
        std::fprintf(stderr, "soffice --convert-to failed: %s\n", p.readAll().constData());
        std::exit(2);
    }
    return t.nsecsElapsed() / 1e9;
}

// Lets the event loop run for `ms`, as a page does between two calls.
void idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir scratch;
    const QString root = scratch.path();
    QDir().mkpath(root + "/temp");
    QDir().mkpath(root + "/cli-out");
    qputenv("TEMP", QFile::encodeName(root + "/temp"));
    if (qEnvironmentVariableIsEmpty("TESSARIX_OFFICE_INSTANCE"))
        qputenv("TESSARIX_OFFICE_INSTANCE", "tessarix-bench");
    qunsetenv("TESSARIX_OFFICE_PRESTART");
    QApplication app(argc, argv);

    // The documents, made by the peer itself (this also creates its profile),
    // with paragraphs added until they have their pages in the fonts at hand.
    int tenPages = 0, longPages = 0;
    try {
        auto w = tx::office::backend().createWord();
        const auto make = [&](const QString &name, int pages) {
            int paragraphs = pages * kParagraphsAPage, n = 0;
            for (int tries = 0; tries < 4 && n < pages; ++tries) {
                if (n > 0)
                    paragraphs = paragraphs * pages / n + 1;
                samples::writeProse(root + "/" + name + ".fodt", paragraphs, false);
                convertCold(root + "/cli-profile", root + "/" + name + ".fodt", root, "docx");
                auto doc = w->DocumentsOpen(root + "/" + name + ".docx");
                n = doc->BuiltInDocumentProperties(tx::office::wdPropertyPages);
                doc->Close(false, false);
            }
            return n;
        };
        tenPages = make("ten", kTenPages);
        longPages = make("long", kLongPages);
    } catch (const tx::AutomationError &e) {
        std::fprintf(stderr, "page count failed: %s\n", qPrintable(e.description));
        return 2;
    }
    const QString ten = root + "/ten.docx";
    const QString longDoc = root + "/long.docx";
    std::printf("documents: %d and %d pages of running text\n", tenPages, longPages);
    tx::office::backend().shutdown();
    tx::test::TestHttpServer server;
    server.setMode(tx::test::TestHttpServer::Mode::Ok, "/upload/picture.png");
    server.setKeepBodies(false);

    auto timed = [&](tx::OfficeImport &control, const QString &file, bool paged) {
        QElapsedTimer t;
        t.start();
        try {
            if (paged)
                control.ImportDocFile(file, "1", "bench");
            else
                control.ImportDocFileOnePage(file, "1", "bench");
        } catch (const tx::AutomationError &e) {
            std::fprintf(stderr, "import failed: %s\n", qPrintable(e.description));
            std::exit(2);
        }
        return t.nsecsElapsed() / 1e9;
    };

    // The first control starts the office in the background; the page's first
    // import comes 5 s later.
    auto first = std::make_unique<tx::OfficeImport>();
    first->Init(server.url("/upload.asp"), server.url("/article.asp"), "/bench", 1, "bench");
    idle(kIdleMs);
    const double afterIdle = timed(*first, ten, false);
    first.reset();
    // A cold first import: no instance of ours is running, none was started.
    tx::office::backend().shutdown();
    tx::OfficeImport control;
    control.Init(server.url("/upload.asp"), server.url("/article.asp"), "/bench", 1, "bench");
    const double cold = timed(control, ten, false);

    QList<double> warm, peer, pagedTen;
    for (int i = 0; i < kRounds; ++i) {
        warm << timed(control, ten, false);
        pagedTen << timed(control, ten, true);
        peer << convertCold(root + "/cli-profile", ten, root + "/cli-out", "html");
    }
    const double pagedLong = timed(control, longDoc, true);
    const double wholeLong = timed(control, longDoc, false);
    const double peerLong = convertCold(root + "/cli-profile", longDoc, root + "/cli-out", "html");
    tx::office::backend().shutdown();

    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    std::printf("first import, cold:                    %.3f s\n", cold);
    std::printf("first import, %d s after the control:   %.3f s (ratio %.3f, target <= 0.2)\n", kIdleMs / 1000,
                afterIdle, afterIdle / cold);
    std::printf("%d pages whole, warm (median of %d):    %.3f s\n", tenPages, kRounds, median(warm));
    std::printf("%d pages paged, warm (median of %d):    %.3f s\n", tenPages, kRounds, median(pagedTen));
    std::printf("%d pages soffice --convert-to html:    %.3f s (median of %d)\n", tenPages, median(peer), kRounds);
    std::printf("ratio warm whole/cold convert:         %.3f (target <= 0.1)\n", median(warm) / median(peer));
    std::printf("%d pages paged:                       %.3f s (%.1f ms a page)\n", longPages, pagedLong,
                pagedLong * 1000 / longPages);
    std::printf("%d pages whole:                       %.3f s\n", longPages, wholeLong);
    std::printf("%d pages soffice --convert-to html:   %.3f s\n", longPages, peerLong);
    std::printf("ratio paged/cold convert (%d pages):  %.3f (target <= 1.0)\n", longPages, pagedLong / peerLong);
    const double linear = double(longPages) / tenPages;
    std::printf("paged %d pages / paged %d pages:      %.1f (linear: %.0f, target <= %.0f)\n", longPages, tenPages,
                pagedLong / median(pagedTen), linear, linear * 1.1);
    std::printf("peak memory: this process %ld MB, largest soffice child %ld MB\n", self.ru_maxrss / 1024,
                children.ru_maxrss / 1024);
    return 0;
}
