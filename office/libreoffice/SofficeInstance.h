#pragma once
// One headless soffice per application kind, on its own per-user pipe: found by
// connecting to the pipe, started under a lock file, killed and reaped when hung.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <mutex>
#include <sys/types.h>

namespace tx::office::lo {

class UnoWorker;

class SofficeInstance {
public:
    // kind: "writer", "calc", "impress"; `worker` makes this kind's calls.
    SofficeInstance(QString kind, UnoWorker &worker);

    const QString &kind() const { return kindName; }

    // Worker thread only. connect(): true when an instance answers on the pipe
    // (an unused instance that is worn out by many conversions or lost its
    // temporary folder is ended first, when `mayRestart`, and false returned).
    // start(): connect, or start one and wait up to `limitMs`; throws error 429
    // naming soffice and the reason.
    bool connect(bool mayRestart = true);
    void start(int limitMs);
    // Starts the office process unless one runs or is starting, and waits for
    // its pipe (a new profile makes it start twice), never for the caller.
    // No UNO call: the process may be leaving when the job runs.
    void startWithoutWaiting();
    // Ends the instance politely (Quit), killing it if it will not go.
    void terminate();
    // Ends it only while no process has a document open in it, since every
    // control and process of this user shares it; true when it was ended.
    bool terminateIfUnused();
    // Documents open in the instance, of every process; -1 when it cannot tell.
    int openDocuments();
    // All of them, shown in a window or not.
    css::uno::Reference<css::container::XEnumeration> documents();
    // Held by every process while it loads a document (shared) and while it
    // starts or ends the instance (exclusive), so that nothing is loaded into an
    // instance that is about to go.
    class Lock {
    public:
        Lock(const SofficeInstance &instance, bool exclusive);
        ~Lock();
        Lock(const Lock &) = delete;
        Lock &operator=(const Lock &) = delete;

    private:
        int fd = -1;
    };
    // Before a load: its temporary folder made again when it went while in use.
    void keepTempFolder();
    // Started on this cache folder's profile (ours, or adopted from a process
    // of the same cache folder), so its temporary folder is the one here.
    bool onOurProfile();
    void forget(); // drops the connection (after the instance died)
    bool answers(); // the instance is there and takes calls
    void countConversion() { ++conversions; }

    css::uno::Reference<css::uno::XComponentContext> context;
    css::uno::Reference<css::frame::XDesktop2> desktop;

    // Any thread: SIGKILL to the instance's process group, then reap it when it
    // is this process's child. The next call starts a fresh one.
    void kill();
    bool alive();

private:
    bool tryConnect();
    QString tempFolder() const; // its TMPDIR, of its own
    bool pipeOwnedByOther() const;
    bool sameInstance(pid_t p) const;
    static QByteArray commandLineOf(pid_t p); // NUL-separated, empty when gone
    QByteArray profileArgument() const;       // the office's argument naming our profile
    pid_t readPidFile() const;
    void spawn();
    QByteArray pipePath() const;
    // Until the instance accepts (connectToo: connected) or only until its pipe
    // is there; throws error 429 when it ends or the limit passes first.
    void waitForPipe(int limitMs, bool connectToo = true);
    bool reapIfExited(int *status);

    UnoWorker &worker;
    QString kindName;
    QString pipe;    // tessarix-<uid>-<kind>
    QString baseDir; // <cache>/tessarix
    QString stem;    // lo-<kind>: its profile, lock, pid and log files
    QStringList tempFolders; // what the office made in its temporary folder
    int conversions = 0;
    int restartAfter = 200; // TESSARIX_OFFICE_RESTART_AFTER for tests

    std::mutex pidMutex;
    pid_t pid = 0;
    bool ownChild = false;
};

// The local UNO context of this process, bootstrapped once on the worker.
css::uno::Reference<css::uno::XComponentContext> localContext();

// At exit: closes this process's connections to every instance and waits for
// their threads. The instances and their documents stay for other processes.
void closeConnections();

// Where soffice.bin is: TESSARIX_SOFFICE or LibreOffice's program folder.
QString sofficePath();

} // namespace tx::office::lo
