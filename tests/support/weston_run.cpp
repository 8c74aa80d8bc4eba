// Runs a command as a client of a Wayland compositor that needs no screen:
// weston's headless backend on a socket in a runtime folder of its own, like
// xvfb-run for X. The command's exit status is this program's; 77 (skipped) when
// the compositor does not come up.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

namespace {

const char kConfig[] = "[core]\n"
                       "idle-time=0\n"
                       "[shell]\n"
                       "panel-position=none\n"
                       "background-color=0xff000000\n"
                       "[input-method]\n"
                       "path=/bin/true\n";

int fail(const QString &why)
{
    QTextStream(stderr) << "weston_run: " << why << Qt::endl;
    return 77;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return fail(QStringLiteral("usage: weston_run COMMAND [ARGS...]"));
    QTemporaryDir runtime;
    if (!runtime.isValid() || !QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner |
                                                                         QFileDevice::WriteOwner |
                                                                         QFileDevice::ExeOwner))
        return fail(QStringLiteral("no runtime folder"));
    QFile config(runtime.filePath(QStringLiteral("weston.ini")));
    if (!config.open(QIODevice::WriteOnly) || config.write(kConfig) <= 0)
        return fail(QStringLiteral("cannot write weston.ini"));
    config.close();

    const QString socket = QStringLiteral("tessarix-wayland");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    QProcess weston;
    weston.setProcessEnvironment(env);
    weston.setProcessChannelMode(QProcess::MergedChannels);
    weston.setStandardOutputFile(runtime.filePath(QStringLiteral("weston.log")));
    weston.start(QStringLiteral("weston"),
                 {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--socket=") + socket,
                  QStringLiteral("--width=1024"), QStringLiteral("--height=768"),
                  QStringLiteral("--config=") + config.fileName()});
    if (!weston.waitForStarted(10000))
        return fail(QStringLiteral("weston does not start (is it installed?)"));

    // Up once its socket is there; the wait is the event loop's, with a deadline.
    const QString socketPath = runtime.filePath(socket);
    QFileSystemWatcher watcher({runtime.path()});
    QTimer deadline;
    deadline.setSingleShot(true);
    QEventLoop waitUp;
    const auto check = [&] {
        if (QFileInfo::exists(socketPath) || weston.state() == QProcess::NotRunning)
            waitUp.quit();
    };
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, check);
    QObject::connect(&weston, &QProcess::finished, &waitUp, &QEventLoop::quit);
    QObject::connect(&deadline, &QTimer::timeout, &waitUp, &QEventLoop::quit);
    deadline.start(15000);
    QTimer::singleShot(0, check);
    waitUp.exec();
    if (!QFileInfo::exists(socketPath)) {
        weston.kill();
        weston.waitForFinished(5000);
        QFile log(runtime.filePath(QStringLiteral("weston.log")));
        if (log.open(QIODevice::ReadOnly))
            QTextStream(stderr) << log.readAll();
        return fail(QStringLiteral("weston did not come up"));
    }

    env.insert(QStringLiteral("WAYLAND_DISPLAY"), socket);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    QProcess command;
    command.setProcessEnvironment(env);
    command.setProcessChannelMode(QProcess::ForwardedChannels);
    command.setInputChannelMode(QProcess::ForwardedInputChannel);
    QEventLoop waitDone;
    QObject::connect(&command, &QProcess::finished, &waitDone, &QEventLoop::quit);
    QObject::connect(&command, &QProcess::errorOccurred, &waitDone, &QEventLoop::quit);
    command.start(args.takeFirst(), args);
    if (command.state() != QProcess::NotRunning || command.error() == QProcess::UnknownError)
        waitDone.exec();
    const int status = command.exitStatus() == QProcess::NormalExit && command.error() != QProcess::FailedToStart
                           ? command.exitCode()
                           : 1;
    weston.terminate();
    if (!weston.waitForFinished(5000)) {
        weston.kill();
        weston.waitForFinished(5000);
    }
    return status;
}
