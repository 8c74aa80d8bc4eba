// tessarix-cms: the reference CMS server that the controls upload to.
#include "cms/CmsServer.h"

#include <QGuiApplication>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <pthread.h>
#include <string>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

void usage()
{
    std::fputs("usage: tessarix-cms --port N --root DIR [--post-path P]... [--host ADDRESS]\n"
               "                   [--tls CERT KEY [--tls-port N] [--public-address]]\n"
               "  --port 0 picks a free port; the address is printed on standard output.\n"
               "  --tls serves the pages and the scripts over HTTPS too (PEM files; the address\n"
               "  is the second line; /admin/ loaded there posts there). --public-address makes the\n"
               "  editor's page at /admin/ call itself a public address, as a remote one is.\n",
               stderr);
}

// "--name value" or "--name=value".
bool option(int argc, char **argv, int &i, const char *name, std::string &value)
{
    const std::size_t n = std::strlen(name);
    if (std::strncmp(argv[i], name, n) != 0)
        return false;
    if (argv[i][n] == '=') {
        value = argv[i] + n + 1;
        return true;
    }
    if (argv[i][n] != '\0' || i + 1 >= argc)
        return false;
    value = argv[++i];
    return true;
}

bool port(const std::string &value, int &port)
{
    try {
        std::size_t used = 0;
        port = std::stoi(value, &used);
        return used == value.size() && port >= 0 && port <= 65535;
    } catch (const std::exception &) {
        return false;
    }
}

bool parse(int argc, char **argv, tx::cms::ServerOptions &options)
{
    bool havePort = false;
    for (int i = 1; i < argc; ++i) {
        std::string value;
        if (option(argc, argv, i, "--port", value)) {
            havePort = port(value, options.port);
            if (!havePort)
                return false;
        } else if (option(argc, argv, i, "--root", value)) {
            options.root = QString::fromLocal8Bit(value.c_str());
        } else if (option(argc, argv, i, "--post-path", value)) {
            options.postPaths << QString::fromLocal8Bit(value.c_str());
        } else if (option(argc, argv, i, "--host", value)) {
            options.host = value;
        } else if (std::strcmp(argv[i], "--tls") == 0 && i + 2 < argc) {
            options.tlsCert = argv[++i];
            options.tlsKey = argv[++i];
        } else if (option(argc, argv, i, "--tls-port", value)) {
            if (!port(value, options.tlsPort))
                return false;
        } else if (std::strcmp(argv[i], "--public-address") == 0) {
            options.publicAddress = true;
        } else {
            return false;
        }
    }
    const bool tlsOptionsAlone = options.tlsCert.empty() && (options.tlsPort != 0 || options.publicAddress);
    return havePort && !options.root.isEmpty() && !tlsOptionsAlone;
}

} // namespace

int main(int argc, char **argv)
{
    tx::cms::ServerOptions options;
    if (!parse(argc, argv, options)) {
        usage();
        return 2;
    }
    // Every thread the server starts inherits this mask; the main thread alone
    // takes SIGINT and SIGTERM with sigwait() and stops the server cleanly.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a client that goes away is a failed write, not a death

    // Fonts and painting for the watermark need a GUI application, never a screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);

    try {
        tx::cms::CmsServer server(options);
        const int port = server.bind();
        std::printf("listening on http://%s:%d/\n", options.host.c_str(), port);
        if (server.tlsPort() > 0)
            std::printf("listening on https://%s:%d/ (the editor's page is /admin/)\n",
                        options.host.c_str(), server.tlsPort());
        std::fflush(stdout);

        bool failed = false;
        bool served = false;
        std::mutex m;
        std::condition_variable ended;
        std::thread serving([&] {
            const bool ok = server.run();
            if (!ok)
                ::kill(::getpid(), SIGTERM);  // wakes the sigwait below
            const std::lock_guard lock(m);
            failed = !ok;
            served = true;
            ended.notify_all();
        });
        int signal = 0;
        sigwait(&stopSignals, &signal);
        {
            // A stop that comes before the thread has begun to listen finds nothing
            // to stop, and the server would then serve on: repeat it until it ends.
            std::unique_lock lock(m);
            while (!served) {
                server.stop();
                ended.wait_for(lock, std::chrono::milliseconds(20));
            }
        }
        serving.join();
        if (failed) {
            std::fputs("tessarix-cms: the server stopped on an error\n", stderr);
            return 1;
        }
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "tessarix-cms: %s\n", e.what());
        return 1;
    }
}
