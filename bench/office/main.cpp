// bench_office: a 10-page .docx imported with ImportDocFileOnePage into a loopback
// sink while the office instance is warm, against `soffice --headless
// --convert-to html` of the same file with a profile of its own (a cold start),
// alternately, three times each; plus the first, cold import.
#include "office/OfficeSamples.h"
#include "officeimport/OfficeImport.h"
#include "platform/AutomationError.h"
#include "platform/office/OfficeBackend.h"
#include "support/TestHttpServer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int kRounds = 3;

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
    QApplication app(argc, argv);

    // The document, made by the peer itself; this also creates its profile.
    samples::writeText(root + "/ten.fodt", 10, 2);
    convertCold(root + "/cli-profile", root + "/ten.fodt", root, "docx");
    const QString docx = root + "/ten.docx";

    // A cold first import: no instance of ours is running.
    if (tx::office::backend().attachWord())
        tx::office::backend().shutdown();
    tx::test::TestHttpServer server;
    server.setMode(tx::test::TestHttpServer::Mode::Ok, "/upload/picture.png");
    server.setKeepBodies(false);
    tx::OfficeImport control;
    control.Init(server.url("/upload.asp"), server.url("/article.asp"), "/bench", 1, "bench");

    auto import = [&] {
        QElapsedTimer t;
        t.start();
        try {
            control.ImportDocFileOnePage(docx, "1", "bench");
        } catch (const tx::AutomationError &e) {
            std::fprintf(stderr, "import failed: %s\n", qPrintable(e.description));
            std::exit(2);
        }
        return t.nsecsElapsed() / 1e9;
    };
    const double first = import();

    QList<double> warm, cold;
    for (int i = 0; i < kRounds; ++i) {
        warm << import();
        cold << convertCold(root + "/cli-profile", docx, root + "/cli-out", "html");
    }
    tx::office::backend().shutdown();

    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    std::printf("first (cold) import:          %.3f s\n", first);
    std::printf("warm import, median of %d:     %.3f s\n", kRounds, median(warm));
    std::printf("soffice --convert-to html:    %.3f s (median of %d)\n", median(cold), kRounds);
    std::printf("ratio warm/cold:              %.3f (target <= 0.1)\n", median(warm) / median(cold));
    std::printf("peak memory: this process %ld MB, largest soffice child %ld MB\n", self.ru_maxrss / 1024,
                children.ru_maxrss / 1024);
    return 0;
}
