#include "bridge/BridgeCommands.h"

#include "bridge/AuditLog.h"
#include "bridge/BridgeService.h"
#include "bridge/OriginPrompt.h"
#include "bridge/Origins.h"
#include "bridge/Worker.h"
#include "platform/QtTranslations.h"
#include "platform/Ui.h"

#include <QApplication>
#include <QTextStream>
#include <csignal>
#include <cstring>
#include <malloc.h>

namespace tx::bridge {
namespace {

int usage()
{
    QTextStream(stderr) << "usage: tessarix serve [--port N] [--automation] [--if-not-running]\n"
                           "       tessarix trust [--any-path] ORIGIN\n"
                           "       tessarix trust --list\n"
                           "       tessarix untrust ORIGIN\n";
    return 2;
}

bool hasDisplay() { return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"); }

int serve(int argc, char **argv)
{
    ServeOptions options;
    bool ifNotRunning = false;
    for (int i = 2; i < argc; ++i) {
        const QByteArray a = argv[i];
        if (a == "--port" && i + 1 < argc) {
            bool ok = false;
            const uint port = QByteArray(argv[++i]).toUInt(&ok);
            if (!ok || port > 65535)
                return usage();
            options.port = quint16(port);
        } else if (a == "--automation") {
            options.automation = true;
        } else if (a == "--if-not-running") {
            ifNotRunning = true;
        } else {
            return usage();
        }
    }
    QTextStream err(stderr);
    if (!hasDisplay() && !options.automation) {
        err << "tessarix serve: no display; the controls' windows and dialogs need one "
               "(--automation runs without, answering boxes and dialogs from queues)\n";
        return 1;
    }
    if (!hasDisplay() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A worker that dies while we write to it must cost only its own session.
    ::signal(SIGPIPE, SIG_IGN);
    // A page's replies are large and short-lived: each gets its own mapping, given
    // back when it is freed, rather than heap that stays with the process.
    ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    QApplication app(argc, argv);
    ui::installQtTranslations();
    app.setQuitOnLastWindowClosed(false);
    options.prompt = hasDisplay() && !options.automation;
    ui::setInteractive(options.prompt); // the trust question is a real box
    OriginList origins;
    AuditLog audit;
    OriginPrompt prompt; // outlives the service that hands it questions
    BridgeService service(options, origins, audit);
    service.setPrompt(&prompt);
    QString error;
    bool inUse = false;
    if (!service.listen(&error, &inUse)) {
        if (inUse && bridgeAnswersOn(options.port)) {
            if (!ifNotRunning)
                err << "tessarix serve: already running on 127.0.0.1:" << options.port << "\n";
            return 0;
        }
        if (inUse)
            err << "tessarix serve: port " << options.port
                << " is held by another program; choose another with --port\n";
        else
            err << "tessarix serve: " << error << "\n";
        return 1;
    }
    audit.write(QStringLiteral("service start port=%1%2").arg(service.port()).arg(options.automation ? " automation" : ""));
    QTextStream(stdout) << "tessarix serve: listening on 127.0.0.1:" << service.port() << " and [::1]:" << service.port()
                        << Qt::endl;
    const int status = app.exec();
    audit.write(QStringLiteral("service stop"));
    return status;
}

int trust(int argc, char **argv, bool add)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    OriginList origins;
    QStringList args = app.arguments().mid(2);
    if (add && args == QStringList{QStringLiteral("--list")}) {
        if (!origins.problem().isEmpty())
            err << "tessarix trust: " << origins.problem() << "\n";
        for (const TrustedOrigin &e : origins.entries())
            out << e.origin << (e.anyPath ? " (any local path)" : "") << "\n";
        return 0;
    }
    const bool anyPath = add && args.removeAll(QStringLiteral("--any-path")) > 0;
    if (args.size() != 1 || args[0].startsWith(u"--"))
        return usage();
    const QString origin = normalizeOrigin(args[0]);
    if (origin.isEmpty()) {
        err << "tessarix: \"" << args[0] << "\" is not an origin (scheme://host[:port], http or https)\n";
        return 1;
    }
    QString error;
    if (!add) {
        bool was = false;
        if (!origins.untrust(origin, &was, &error)) {
            err << "tessarix untrust: " << error << "\n";
            return 1;
        }
        out << (was ? "no longer trusted: " : "was not trusted: ") << origin << "\n";
        return 0;
    }
    // A remote back office must come over HTTPS: anyone on the way could inject script.
    if (origin.startsWith(u"http://") && !isLoopbackOrigin(origin)) {
        err << "tessarix trust: " << origin << " is plain http on another machine; only https origins "
               "(or http on this machine) can be trusted\n";
        return 1;
    }
    if (!origins.trust({origin, anyPath}, &error)) {
        err << "tessarix trust: " << error << "\n";
        return 1;
    }
    out << "trusted: " << origin << (anyPath ? " (any local path)" : "") << "\n";
    return 0;
}

} // namespace

bool isBridgeCommand(const char *command)
{
    for (const char *c : {"serve", "trust", "untrust", "bridge-worker"})
        if (std::strcmp(command, c) == 0)
            return true;
    return false;
}

int runBridgeCommand(int argc, char **argv)
{
    const QByteArray command = argv[1];
    if (command == "serve")
        return serve(argc, argv);
    if (command == "trust" || command == "untrust")
        return trust(argc, argv, command == "trust");
    return workerMain(argc, argv);
}

} // namespace tx::bridge
