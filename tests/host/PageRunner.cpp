#include "PageRunner.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>

namespace tx::test {

PageRunner::PageRunner() : env(QProcessEnvironment::systemEnvironment())
{
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TESSARIX_TICK_MS"), QStringLiteral("10"));
    // As on a machine without a desktop session.
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
}

PageRun PageRunner::tessarix(const QStringList &args)
{
    QProcess p;
    p.setProcessEnvironment(env);
    QSignalSpy finished(&p, &QProcess::finished);
    p.start(QStringLiteral(TX_TESSARIX), args);
    PageRun r;
    if (!finished.wait(120000)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

PageRun PageRunner::run(const QString &source)
{
    const QString page = home.path() + QStringLiteral("/page.js");
    QFile f(page);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(source.toUtf8());
    f.close();
    return tessarix({QStringLiteral("run"), page});
}

} // namespace tx::test
