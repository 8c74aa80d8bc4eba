// tessarix: runs back-office page scripts and registers the component.
//   tessarix run [--interactive] PAGE.js
//   tessarix register [PATH-TO-LIBRARY]
//   tessarix unregister
//   tessarix serve | trust | untrust (the browser bridge, see bridge/)
//   tessarix --version
#include "bridge/BridgeCommands.h"
#include "host/PageHost.h"
#include "host/Registrar.h"
#include "platform/QtTranslations.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int usage()
{
    QTextStream(stderr) << "usage: tessarix run [--interactive] PAGE.js\n"
                           "       tessarix register [PATH-TO-LIBRARY]\n"
                           "       tessarix unregister\n"
                           "       tessarix serve [--port N] [--automation] [--if-not-running]\n"
                           "       tessarix trust [--any-path] ORIGIN | trust --list | untrust ORIGIN\n"
                           "       tessarix --version\n";
    return 2;
}

// Without a session's runtime folder Qt warns on every run, into the page's
// output; it gets the private folder Qt would pick itself, when that is ours alone.
void provideRuntimeFolder()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const QByteArray dir = QFile::encodeName(QDir::tempPath()) + "/runtime-" + QByteArray::number(getuid());
    if (::mkdir(dir.constData(), 0700) != 0 && errno != EEXIST)
        return;
    struct stat st {};
    if (::lstat(dir.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
        (st.st_mode & 0777) != 0700)
        return;
    qputenv("XDG_RUNTIME_DIR", dir);
}

int run(int argc, char **argv)
{
    provideRuntimeFolder();
    // Without a display the widgets still work, off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tx::ui::installQtTranslations();
    const QStringList args = app.arguments().mid(2);
    bool interactive = false;
    QString page;
    for (const QString &a : args) {
        if (a == u"--interactive")
            interactive = true;
        else if (page.isEmpty() && !a.startsWith(u"--"))
            page = a;
        else
            return usage();
    }
    if (page.isEmpty())
        return usage();
    int status = 0;
    {
        tx::host::PageHost host(interactive);
        status = host.runFile(page);
    }
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tessarix %s\n", TESSARIX_VERSION);
        return 0;
    }
    if (argc > 1 && tx::bridge::isBridgeCommand(argv[1]))
        return tx::bridge::runBridgeCommand(argc, argv);
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (command == u"run")
        return run(argc, argv);
    if (command == u"register" || command == u"unregister") {
        QCoreApplication app(argc, argv);
        const QStringList rest = app.arguments().mid(2);
        if (command == u"register" && rest.size() <= 1)
            return tx::host::registerServer(rest.value(0));
        if (command == u"unregister" && rest.isEmpty())
            return tx::host::unregisterServer();
    }
    return usage();
}
