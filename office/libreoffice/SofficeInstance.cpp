#include "SofficeInstance.h"

#include "UnoText.h"
#include "UnoWorker.h"
#include "core/AutomationError.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameReplace.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/theGlobalEventBroadcaster.hpp>
#include <cppuhelper/bootstrap.hxx>

#include <cerrno>
#include <mutex>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace tx::office::lo {
namespace {

using css::uno::Reference;

constexpr int kRestartAfter = 200; // documents; LibreOffice does not give memory back
constexpr int kQuitWaitMs = 10000;
constexpr int kBackgroundStartMs = 60000;
constexpr int kExitRestart = 81;   // soffice asks to be started again (new profile)
const char *const kPipeDir = "/tmp"; // where the office creates its pipes

[[noreturn]] void cannotStart(const QString &reason)
{
    raiseRuntime(ErrCantCreateObject, QStringLiteral("soffice: ") + reason);
}

// Closes a descriptor when the scope ends.
struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Waits until one of `fds` is readable or `ms` passed.
void waitFor(std::initializer_list<int> fds, int ms)
{
    pollfd p[4];
    nfds_t n = 0;
    for (int fd : fds)
        if (fd >= 0 && n < 4)
            p[n++] = pollfd{fd, POLLIN, 0};
    ::poll(p, n, ms);
}

// Turns one of the office's switches off (an office without it lacks its work).
void switchOff(const Reference<css::uno::XComponentContext> &context, const char *node, const char *name)
{
    try {
        auto provider = css::configuration::theDefaultProvider::get(context);
        css::beans::PropertyValue path;
        path.Name = "nodepath";
        path.Value <<= rtl::OUString::createFromAscii(node);
        css::uno::Sequence<css::uno::Any> args(1);
        args.getArray()[0] <<= path;
        Reference<css::container::XNameReplace> group(
            provider->createInstanceWithArguments("com.sun.star.configuration.ConfigurationUpdateAccess", args),
            css::uno::UNO_QUERY_THROW);
        group->replaceByName(rtl::OUString::createFromAscii(name), css::uno::Any(false));
        Reference<css::util::XChangesBatch>(group, css::uno::UNO_QUERY_THROW)->commitChanges();
    } catch (const css::uno::Exception &) {
    }
}

void configure(const Reference<css::uno::XComponentContext> &context)
{
    // A writer view builds a window for every comment from a dialog description
    // that the headless packages do not ship: building it ends the whole office
    // (std::terminate on NoSuchElementException), at the load or the save of any
    // document with comments. Views without comment windows need no description;
    // the comments themselves stay in the document and its HTML.
    switchOff(context, "/org.openoffice.Office.Writer/Content/Display", "Note");
    // Spelling as the text is laid out is work for a writer at a screen: here
    // it only holds up the page calls that wait for the layout.
    switchOff(context, "/org.openoffice.Office.Linguistic/SpellChecking", "IsSpellAuto");
    // Nor are its words collected for completing them as they are typed.
    switchOff(context, "/org.openoffice.Office.Writer/AutoFunction/Completion", "CollectWords");
}

// An empty folder of this user's only at `path`, whatever was there: a link
// there is removed, never followed (what it points to is not ours to empty).
bool freshPrivateFolder(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            QDir(path).removeRecursively(); // removes links inside, not their targets
        else
            ::unlink(native.constData());
    }
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    return ::lstat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()
        && (st.st_mode & 077) == 0;
}

} // namespace

QString sofficePath()
{
    const QString env = qEnvironmentVariable("TESSARIX_SOFFICE");
    return env.isEmpty() ? QStringLiteral("/usr/lib/libreoffice/program/soffice.bin") : env;
}

Reference<css::uno::XComponentContext> localContext()
{
    // Each office kind has its own worker; they bootstrap one runtime.
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    static Reference<css::uno::XComponentContext> ctx;
    if (ctx.is())
        return ctx;
    // Bootstrapping without it crashes inside the URE.
    const QByteArray rc = "vnd.sun.star.pathname:"
        + QFile::encodeName(QFileInfo(QStringLiteral("/usr/lib/libreoffice/program/fundamentalrc")).absoluteFilePath());
    ::setenv("URE_BOOTSTRAP", rc.constData(), 0);
    try {
        ctx = cppu::defaultBootstrap_InitialComponentContext();
    } catch (const css::uno::Exception &e) {
        cannotStart(QStringLiteral("the UNO runtime does not start: ") + qs(e.Message));
    } catch (const std::exception &e) {
        cannotStart(QStringLiteral("the UNO runtime does not start: ") + QString::fromLocal8Bit(e.what()));
    }
    return ctx;
}

void closeConnections()
{
    try {
        auto factory = css::bridge::BridgeFactory::create(localContext());
        const css::uno::Sequence<Reference<css::bridge::XBridge>> all = factory->getExistingBridges();
        for (const Reference<css::bridge::XBridge> &bridge : all)
            if (Reference<css::lang::XComponent> c{bridge, css::uno::UNO_QUERY}; c.is())
                c->dispose(); // joins the connection's reader and writer
    } catch (const css::uno::Exception &) {
    }
}

SofficeInstance::SofficeInstance(QString kind, UnoWorker &w) : worker(w), kindName(std::move(kind))
{
    // Another prefix (tests) gets its own profile too: two instances on one
    // profile would hand their work to each other.
    const QString prefix = qEnvironmentVariable("TESSARIX_OFFICE_INSTANCE");
    pipe = (prefix.isEmpty() ? QStringLiteral("tessarix-%1").arg(::getuid()) : prefix) + QLatin1Char('-') + kindName;
    stem = QStringLiteral("lo-") + (prefix.isEmpty() ? kindName : pipe);
    const int restart = qEnvironmentVariableIntValue("TESSARIX_OFFICE_RESTART_AFTER");
    restartAfter = restart > 0 ? restart : kRestartAfter;
    baseDir = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/tessarix");
}

QByteArray SofficeInstance::pipePath() const
{
    // The office puts the user's id in the name only when it can look the user
    // up; a uid without a passwd entry (containers) gets a pipe without it.
    const QByteArray user = ::getpwuid(::getuid()) ? QByteArray::number(::getuid()) + "_" : QByteArray();
    return QByteArray(kPipeDir) + "/OSL_PIPE_" + user + pipe.toUtf8();
}

bool SofficeInstance::pipeOwnedByOther() const
{
    struct stat st {};
    return ::lstat(pipePath().constData(), &st) == 0 && st.st_uid != ::getuid();
}

bool SofficeInstance::tryConnect()
{
    // Documents go only to an office of this user.
    if (pipeOwnedByOther())
        return false;
    try {
        auto resolver = css::bridge::UnoUrlResolver::create(localContext());
        Reference<css::uno::XInterface> remote = resolver->resolve(
            ou(QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipe)));
        context.set(remote, css::uno::UNO_QUERY_THROW);
        desktop = css::frame::Desktop::create(context);
        configure(context);
        worker.drainAtExit();
        return true;
    } catch (const css::uno::Exception &) {
        forget();
        return false;
    }
}

bool SofficeInstance::connect(bool mayRestart)
{
    if (context.is() && !answers()) {
        forget();
        kill();
    }
    if (!context.is()) {
        if (!tryConnect())
            return false;
        std::lock_guard lock(pidMutex);
        if (pid == 0) {
            // Another process's instance: never reaped or waited for as a child.
            const pid_t p = readPidFile();
            if (p > 0 && sameInstance(p)) {
                pid = p;
                ownChild = false;
            }
        }
    }
    // A worn instance, or one whose temporary folder went under it (a cleaner of
    // the cache; its next long load would end it), is restarted, but only once
    // nobody uses it. The folder is known only for an instance on this cache
    // folder's profile: one started under another (another HOME) keeps its own.
    const bool stale = conversions >= restartAfter || (onOurProfile() && !QFileInfo(tempFolder()).isDir());
    return !(mayRestart && stale && terminateIfUnused());
}

bool SofficeInstance::onOurProfile()
{
    pid_t p;
    {
        std::lock_guard lock(pidMutex);
        p = pid;
    }
    return p > 0 && commandLineOf(p).contains(profileArgument() + '\0');
}

void SofficeInstance::keepTempFolder()
{
    if (!onOurProfile())
        return;
    // The office made its own folder in it when it started and goes on using
    // that one: made again, empty, in case they went, so loads that need
    // temporary files still work for whoever keeps the instance in use.
    const QString tmp = tempFolder();
    if (QFileInfo(tmp).isDir()) {
        tempFolders = QDir(tmp).entryList({QStringLiteral("lu*")}, QDir::Dirs | QDir::Hidden);
        return;
    }
    if (!freshPrivateFolder(tmp))
        return;
    for (const QString &name : std::as_const(tempFolders))
        ::mkdir(QFile::encodeName(tmp + "/" + name).constData(), 0700);
}

QString SofficeInstance::tempFolder() const
{
    return baseDir + "/" + stem + ".tmp";
}

int SofficeInstance::openDocuments()
{
    try {
        if (!desktop.is())
            return -1;
        Reference<css::container::XEnumeration> all = documents();
        int n = 0;
        while (all->hasMoreElements()) {
            all->nextElement();
            ++n;
        }
        return n;
    } catch (const css::uno::Exception &) {
        return -1;
    }
}

Reference<css::container::XEnumeration> SofficeInstance::documents()
{
    // Not the desktop's components: those are the documents shown in a window,
    // and a text document is shown only when a call needs its layout.
    Reference<css::container::XEnumerationAccess> all(css::frame::theGlobalEventBroadcaster::get(context),
                                                      css::uno::UNO_QUERY_THROW);
    return all->createEnumeration();
}

bool SofficeInstance::terminateIfUnused()
{
    Lock lock(*this, true);
    if (openDocuments() != 0)
        return false;
    terminate();
    return true;
}

SofficeInstance::Lock::Lock(const SofficeInstance &instance, bool exclusive)
{
    if (!QDir().mkpath(instance.baseDir))
        return;
    fd = ::open(QFile::encodeName(instance.baseDir + "/" + instance.stem + ".lock").constData(),
                O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 && ::flock(fd, exclusive ? LOCK_EX : LOCK_SH) != 0) {
        ::close(fd);
        fd = -1;
    }
}

SofficeInstance::Lock::~Lock()
{
    if (fd >= 0)
        ::close(fd);
}

void SofficeInstance::start(int limitMs)
{
    // Outside the lock: restarting a worn instance takes it itself.
    if (connect())
        return;
    if (!QDir().mkpath(baseDir))
        cannotStart(QStringLiteral("cannot create %1").arg(baseDir));
    // Two processes never start two instances on one pipe.
    Fd lock{::open(QFile::encodeName(baseDir + "/" + stem + ".lock").constData(),
                   O_CREAT | O_RDWR | O_CLOEXEC, 0600)};
    if (lock.fd < 0 || ::flock(lock.fd, LOCK_EX) != 0)
        cannotStart(QStringLiteral("cannot lock %1/%2.lock: %3").arg(baseDir, stem, QString::fromLocal8Bit(strerror(errno))));
    if (connect(false)) // started by another process meanwhile; the lock is held
        return;
    if (pipeOwnedByOther())
        cannotStart(QStringLiteral("the pipe %1 belongs to another user").arg(pipe));
    if (::access(QFile::encodeName(sofficePath()).constData(), X_OK) != 0)
        cannotStart(QStringLiteral("%1 is not installed (%2)").arg(sofficePath(), QString::fromLocal8Bit(strerror(errno))));
    localContext();
    // Started by startWithoutWaiting(), it may just not accept yet.
    if (!alive())
        spawn();
    try {
        waitForPipe(limitMs);
    } catch (...) {
        kill();
        throw;
    }
}

void SofficeInstance::startWithoutWaiting()
{
    if (!QDir().mkpath(baseDir))
        return;
    Fd lock{::open(QFile::encodeName(baseDir + "/" + stem + ".lock").constData(), O_CREAT | O_RDWR | O_CLOEXEC, 0600)};
    if (lock.fd < 0 || ::flock(lock.fd, LOCK_EX) != 0)
        return;
    struct stat st {};
    if (::lstat(pipePath().constData(), &st) == 0 || alive())
        return;
    {
        std::lock_guard guard(pidMutex);
        const pid_t p = readPidFile();
        if (p > 0 && sameInstance(p))
            return; // another process's instance, starting
    }
    if (::access(QFile::encodeName(sofficePath()).constData(), X_OK) != 0)
        return;
    spawn();
    // On a new profile the office only makes it and asks to be started again;
    // seen to here, so the first call finds it running. Without a UNO call,
    // which may not run while the process is leaving.
    try {
        waitForPipe(kBackgroundStartMs, false);
    } catch (const AutomationError &) {
        kill(); // the first call starts it and says why it did not start
    }
}

void SofficeInstance::spawn()
{
    const QByteArray exe = QFile::encodeName(sofficePath());
    const QByteArray profile = profileArgument();
    const QByteArray accept = "--accept=pipe,name=" + pipe.toUtf8() + ";urp;";
    const QByteArray log = QFile::encodeName(baseDir + "/" + stem + ".log");
    // A temporary folder of its own: the instance outlives the process that
    // started it and serves others, and that process's temporary folder may
    // go with it (a test's, a session's); a large document then aborts the
    // office in the middle of its load. What a killed instance left is removed.
    const QString tmp = tempFolder();
    if (!freshPrivateFolder(tmp))
        cannotStart(QStringLiteral("cannot create %1 as a folder of its own").arg(tmp));
    const QByteArray tmpDir = QFile::encodeName(tmp);
    const QByteArray tmpVars[] = {"TMPDIR=" + tmpDir, "TMP=" + tmpDir, "TEMP=" + tmpDir};
    std::vector<const char *> argv = {exe.constData(), "--headless", "--invisible", "--norestore",
                                      "--nologo", "--nodefault", "--nocrashreport",
                                      profile.constData(), accept.constData(), nullptr};
    std::vector<char *> env;
    for (char **e = environ; *e; ++e)
        if (std::strncmp(*e, "URE_BOOTSTRAP=", 14) != 0 && std::strncmp(*e, "TMPDIR=", 7) != 0
            && std::strncmp(*e, "TMP=", 4) != 0 && std::strncmp(*e, "TEMP=", 5) != 0)
            env.push_back(*e);
    for (const QByteArray &v : tmpVars)
        env.push_back(const_cast<char *>(v.constData()));
    env.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, log.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID); // its own group, killed as one
    pid_t child = 0;
    const int rc = posix_spawn(&child, exe.constData(), &files, &attr,
                               const_cast<char *const *>(argv.data()), env.data());
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        cannotStart(QStringLiteral("cannot run %1: %2").arg(sofficePath(), QString::fromLocal8Bit(strerror(rc))));
    {
        std::lock_guard lock(pidMutex);
        pid = child;
        ownChild = true;
    }
    QFile pidFile(baseDir + "/" + stem + ".pid");
    if (pidFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        pidFile.write(QByteArray::number(child));
}

void SofficeInstance::waitForPipe(int limitMs, bool connectToo)
{
    QDeadlineTimer deadline(limitMs);
    Fd notify{::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)};
    if (notify.fd >= 0)
        ::inotify_add_watch(notify.fd, kPipeDir, IN_CREATE);
    bool restarted = false;
    for (;;) {
        pid_t p;
        {
            std::lock_guard lock(pidMutex);
            p = pid;
        }
        if (p <= 0)
            cannotStart(QStringLiteral("it was stopped during start-up"));
        Fd exited{int(::syscall(SYS_pidfd_open, p, 0))};
        struct stat st {};
        if (connectToo ? tryConnect() : ::lstat(pipePath().constData(), &st) == 0)
            return;
        int status = 0;
        if (reapIfExited(&status)) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == kExitRestart && !restarted) {
                restarted = true;
                spawn();
                continue;
            }
            cannotStart(QStringLiteral("it ended during start-up (status %1); see %2/%3.log")
                            .arg(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status))
                            .arg(baseDir, stem));
        }
        if (deadline.hasExpired())
            cannotStart(QStringLiteral("it did not open its pipe %1 within %2 s").arg(pipe).arg(limitMs / 1000.0));
        // Woken by the pipe's creation or the process's end; the cap covers a
        // pipe that exists before it accepts.
        waitFor({notify.fd, exited.fd}, int(qMin<qint64>(deadline.remainingTime(), 250)));
        char drain[4096];
        while (notify.fd >= 0 && ::read(notify.fd, drain, sizeof drain) > 0) {
        }
    }
}

bool SofficeInstance::reapIfExited(int *status)
{
    std::lock_guard lock(pidMutex);
    if (pid <= 0 || !ownChild)
        return false;
    if (::waitpid(pid, status, WNOHANG) != pid)
        return false;
    pid = 0;
    return true;
}

void SofficeInstance::terminate()
{
    try {
        if (desktop.is())
            desktop->terminate();
    } catch (const css::uno::Exception &) {
        // The bridge goes away while the office quits.
    }
    forget();
    pid_t p;
    {
        std::lock_guard lock(pidMutex);
        p = pid;
    }
    if (p <= 0)
        return;
    Fd exited{int(::syscall(SYS_pidfd_open, p, 0))};
    QDeadlineTimer deadline(kQuitWaitMs);
    int status = 0;
    while (alive() && !deadline.hasExpired())
        waitFor({exited.fd}, int(qMin<qint64>(deadline.remainingTime(), 250)));
    if (alive())
        kill();
    reapIfExited(&status);
    QFile::remove(baseDir + "/" + stem + ".pid");
}

void SofficeInstance::forget()
{
    context.clear();
    desktop.clear();
    conversions = 0;
}

bool SofficeInstance::sameInstance(pid_t p) const
{
    return commandLineOf(p).contains("name=" + pipe.toUtf8() + ";");
}

QByteArray SofficeInstance::commandLineOf(pid_t p)
{
    QFile cmd(QStringLiteral("/proc/%1/cmdline").arg(p));
    return cmd.open(QIODevice::ReadOnly) ? cmd.readAll() : QByteArray();
}

QByteArray SofficeInstance::profileArgument() const
{
    return "-env:UserInstallation=" + QUrl::fromLocalFile(baseDir + "/" + stem).toEncoded();
}

bool SofficeInstance::answers()
{
    try {
        if (!desktop.is())
            return false;
        Reference<css::container::XIndexAccess> frames(desktop->getFrames(), css::uno::UNO_QUERY_THROW);
        frames->getCount();
        return true;
    } catch (const css::uno::Exception &) {
        return false;
    }
}

pid_t SofficeInstance::readPidFile() const
{
    QFile f(baseDir + "/" + stem + ".pid");
    return f.open(QIODevice::ReadOnly) ? pid_t(f.readAll().trimmed().toLongLong()) : 0;
}

bool SofficeInstance::alive()
{
    std::lock_guard lock(pidMutex);
    if (pid <= 0)
        return false;
    if (ownChild) {
        const pid_t r = ::waitpid(pid, nullptr, WNOHANG);
        if (r == pid) {
            pid = 0;
            return false;
        }
        if (r == 0)
            return true;
        ownChild = false; // not this process's child after all
    }
    return ::kill(pid, 0) == 0 && sameInstance(pid);
}

void SofficeInstance::kill()
{
    std::lock_guard lock(pidMutex);
    if (pid <= 0)
        return;
    if (ownChild || sameInstance(pid)) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        if (ownChild)
            ::waitpid(pid, nullptr, 0);
    }
    pid = 0;
    QFile::remove(baseDir + "/" + stem + ".pid");
}

} // namespace tx::office::lo
