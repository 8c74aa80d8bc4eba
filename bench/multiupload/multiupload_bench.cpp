// The folder upload of 1,000 files of 1 KiB to a loopback sink, against a shell
// loop that posts each file with `curl -F` to the same sink, in one run. Prints
// both times, the ratio ours/curl-loop and the peak memory.
#include "multiupload/MultiUpload.h"
#include "core/Pump.h"
#include "platform/Ui.h"
#include "support/TestHttpServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int kFiles = 1000;
constexpr int kFileSize = 1024;

bool makeFiles(const QString &folder)
{
    QByteArray bytes(kFileSize, 'x');
    for (int i = 0; i < kFiles; ++i) {
        QFile f(folder + QStringLiteral("/f%1.bin").arg(i, 4, 10, QLatin1Char('0')));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != kFileSize)
            return false;
    }
    return true;
}

double timeOurs(const QString &folder, tx::test::TestHttpServer &sink)
{
    tx::MultiUpload control;
    control.StartUpload(QStringLiteral("/bench/"), sink.url());
    tx::ui::queueFolderDialogAnswers({folder});
    control.findChild<QPushButton *>(QStringLiteral("Command1"))->click();
    QElapsedTimer t;
    t.start();
    control.findChild<QPushButton *>(QStringLiteral("Command2"))->click();
    return t.nsecsElapsed() / 1e9;
}

double timeCurlLoop(const QString &folder, tx::test::TestHttpServer &sink)
{
    // "Expect:" keeps curl from waiting for a 100 Continue that the sink never sends.
    const QString script = QStringLiteral(
        "for f in \"$1\"/*; do curl -s -o /dev/null -H 'Expect:' -F 'path=/bench/' -F \"file=@$f\" \"$2\" "
        "|| exit 1; done");
    QProcess shell;
    shell.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer t;
    t.start();
    shell.start(QStringLiteral("sh"), {QStringLiteral("-c"), script, QStringLiteral("sh"), folder, sink.url()});
    // The sink lives in this event loop, so the wait pumps it.
    tx::pump::until([&] { return shell.state() == QProcess::NotRunning; });
    const double s = t.nsecsElapsed() / 1e9;
    if (shell.exitStatus() != QProcess::NormalExit || shell.exitCode() != 0)
        return -1;
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !makeFiles(dir.path())) {
        std::fprintf(stderr, "cannot write the test files\n");
        return 1;
    }
    tx::test::TestHttpServer sink;
    sink.setKeepBodies(false);

    const double ours = timeOurs(dir.path(), sink);
    const qsizetype oursRequests = sink.requests.size();
    sink.requests.clear();
    const double curl = timeCurlLoop(dir.path(), sink);
    const qsizetype curlRequests = sink.requests.size();
    if (oursRequests != kFiles || curlRequests != kFiles || curl <= 0) {
        std::fprintf(stderr, "incomplete run: ours %lld requests, curl loop %lld requests\n",
                     static_cast<long long>(oursRequests), static_cast<long long>(curlRequests));
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("multiupload: %d files of %d bytes\n", kFiles, kFileSize);
    std::printf("  ours       %.3f s (%.2f ms per file)\n", ours, ours * 1000 / kFiles);
    std::printf("  curl loop  %.3f s (%.2f ms per file)\n", curl, curl * 1000 / kFiles);
    std::printf("  ratio ours/curl-loop %.3f (target <= 0.5)\n", ours / curl);
    std::printf("  peak memory %ld KiB\n", usage.ru_maxrss);
    return 0;
}
