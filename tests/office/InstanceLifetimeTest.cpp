// The LibreOffice instances' lives: killed, worn, hung, stopped, outliving the
// process that started them, started in the background.
#include "LoTestFixture.h"
#include "OfficeSamples.h"
#include "PageByPage.h"
#include "core/AutomationError.h"
#include "office/OfficeBackend.h"
#include "office/OfficeConstants.h"
#include "office/LeaveOffice.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <pwd.h>
#include <unistd.h>
#include <iostream>
#include <functional>
#include <optional>

using namespace tx::office;

namespace lotest {

TEST_F(LibreOfficeTest, AKilledInstanceIsReplaced)
{
    {
        auto w = word();
        auto doc = w->DocumentsOpen(sampleDir + "/three.docx");
        const pid_t pid = writerPid();
        ASSERT_GT(pid, 0);
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
        try {
            doc->BuiltInDocumentProperties(wdPropertyPages);
            FAIL() << "a dead instance answered";
        } catch (const tx::AutomationError &e) {
            EXPECT_EQ(e.number, tx::ErrAutomation);
            EXPECT_TRUE(e.description.contains("went away")) << e.description.toStdString();
        }
    }
    // Killed between two calls: the next one starts afresh.
    word()->DocumentsOpen(sampleDir + "/three.docx")->Close(false, false);
    const pid_t pid = writerPid();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    auto w = word();
    auto doc = w->DocumentsOpen(sampleDir + "/three.docx");
    EXPECT_EQ(doc->BuiltInDocumentProperties(wdPropertyPages), 3);
    doc->Close(false, false);
    EXPECT_NE(writerPid(), pid);

    // A document and a kept page document of a killed instance, used after its
    // replacement started, fail as gone and leave the replacement and its
    // documents alone.
    // (A page document is made in the office only when it is saved without pages
    // of an export in it.)
    auto page = w->DocumentsAdd();
    page->SaveAs(work + "/htmK1.tmp", wdFormatHTML);
    page->Close({}, {});
    QFile::remove(work + "/htmK1.tmp");
    auto stale = w->DocumentsOpen(sampleDir + "/three.docx");
    ASSERT_EQ(::kill(writerPid(), SIGKILL), 0);
    auto other = word();
    auto live = other->DocumentsOpen(sampleDir + "/twelve.docx");
    const pid_t replacement = writerPid();
    for (const auto &use : std::initializer_list<std::function<void()>>{
             [&] { stale->BuiltInDocumentProperties(wdPropertyPages); },
             [&] { w->DocumentsAdd()->SaveAs(work + "/htmK1.tmp", wdFormatHTML); }}) {
        try {
            use();
            ADD_FAILURE() << "a document of a killed instance answered";
        } catch (const tx::AutomationError &e) {
            EXPECT_TRUE(e.description.contains("went away")) << e.description.toStdString();
        }
    }
    try {
        EXPECT_EQ(live->BuiltInDocumentProperties(wdPropertyPages), 12);
        live->Close(false, false);
    } catch (const tx::AutomationError &e) {
        ADD_FAILURE() << e.description.toStdString();
    }
    EXPECT_EQ(writerPid(), replacement);
    stale.reset();
    w.reset();
    other->DocumentsOpen(sampleDir + "/three.docx")->Close(false, false); // after the releases
    EXPECT_EQ(leftovers(work), QStringList());
}

// Also after paged conversions, whose last page document the application keeps
// until it goes.
TEST_F(LibreOfficeTest, AnInstanceIsRestartedAfterManyDocuments)
{
    for (bool paged : {false, true}) {
        word()->DocumentsOpen(sampleDir + "/three.docx")->Close(false, false);
        const pid_t first = writerPid();
        ASSERT_GT(first, 0);
        int opened = 0;
        while (writerPid() == first && opened <= 2 * kRestartAfter) {
            auto w = word();
            if (paged) {
                EXPECT_EQ(pageByPage(*w, sampleDir + "/three.docx", work + "/htmF6.tmp").count, 3);
            } else {
                auto doc = w->DocumentsOpen(sampleDir + "/three.docx");
                EXPECT_EQ(doc->BuiltInDocumentProperties(wdPropertyPages), 3);
                doc->Close(false, false);
            }
            ++opened;
        }
        EXPECT_NE(writerPid(), first) << paged;
        EXPECT_LE(opened, kRestartAfter + 1) << paged;
        EXPECT_FALSE(QFile::exists(QStringLiteral("/proc/%1").arg(first))) << "the worn instance is still there";
    }
    QDir(work).removeRecursively();
    QDir().mkpath(work);
}

// The instance serves other processes after the one that started it ended and
// took its temporary folder along; loading a long document needs temporary files.
TEST_F(LibreOfficeTest, AnInstanceOutlivesTheTemporaryFolderOfItsStarter)
{
    const QString fodt = sampleDir + "/long.fodt";
    const QString docx = sampleDir + "/long.docx";
    samples::writeText(fodt, 300, 0);
    {
        auto doc = word()->DocumentsOpen(fodt);
        doc->SaveAs(docx, wdFormatXMLDocument);
        doc->Close(false, false);
    }
    const pid_t pid = writerPid();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    std::optional<QTemporaryDir> gone(std::in_place);
    qputenv("TMPDIR", QFile::encodeName(gone->path()));
    auto w = word();
    qunsetenv("TMPDIR");
    gone.reset();
    const QString html = work + "/htmE5.tmp";
    try {
        auto doc = w->DocumentsOpen(docx);
        doc->SaveAs(html, wdFormatHTML);
        doc->Close(false, false);
    } catch (const tx::AutomationError &e) {
        FAIL() << e.description.toStdString();
    }
    EXPECT_TRUE(readText(html).contains("Marker page 300"));
    QFile::remove(html);

    // Its folder's name taken by a link (or a file) when the next instance
    // starts: the link goes, never what it points to, and the folder is the
    // instance's own again.
    const QString tmp = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/tessarix/lo-"
        + qEnvironmentVariable("TESSARIX_OFFICE_INSTANCE") + "-writer.tmp";
    QTemporaryDir elsewhere;
    QFile kept(elsewhere.path() + "/kept.txt");
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.close();
    for (bool link : {true, false}) {
        ASSERT_EQ(::kill(writerPid(), SIGKILL), 0);
        w.reset();
        QDir(tmp).removeRecursively();
        QFile::remove(tmp);
        if (link)
            ASSERT_TRUE(QFile::link(elsewhere.path(), tmp));
        else
            ASSERT_TRUE(QFile(tmp).open(QIODevice::WriteOnly));
        w = word();
        try {
            auto doc = w->DocumentsOpen(docx);
            EXPECT_EQ(doc->BuiltInDocumentProperties(wdPropertyPages), 300);
            doc->Close(false, false);
        } catch (const tx::AutomationError &e) {
            ADD_FAILURE() << e.description.toStdString();
        }
        EXPECT_TRUE(kept.exists());
        const QFileInfo folder(tmp);
        EXPECT_TRUE(folder.isDir() && !folder.isSymLink()) << link;
        EXPECT_EQ(folder.permissions().toInt() & 0x0077, 0) << link;
    }

    // Its folder removed under the running instance (a cleaner of the cache),
    // while nobody uses it (it is restarted) and while a document is open in it.
    for (bool inUse : {false, true}) {
        std::unique_ptr<WordDocument> held;
        if (inUse)
            held = w->DocumentsOpen(sampleDir + "/three.docx");
        QDir(tmp).removeRecursively();
        auto other = word();
        try {
            auto doc = other->DocumentsOpen(docx);
            doc->SaveAs(html, wdFormatHTML);
            doc->Close(false, false);
            if (held)
                held->Close(false, false);
        } catch (const tx::AutomationError &e) {
            ADD_FAILURE() << inUse << " " << e.description.toStdString();
        }
        EXPECT_TRUE(readText(html).contains("Marker page 300")) << inUse;
        QFile::remove(html);
    }
}

TEST_F(LibreOfficeTest, AnInstanceThatDoesNotAnswerInTimeIsStopped)
{
    auto w = word();
    backend().setCallTimeLimitMs(1);
    QElapsedTimer t;
    t.start();
    try {
        w->DocumentsOpen(sampleDir + "/twelve.docx");
        FAIL() << "no time-out";
    } catch (const tx::AutomationError &e) {
        EXPECT_EQ(e.number, tx::ErrAutomation);
        EXPECT_TRUE(e.description.contains("did not answer")) << e.description.toStdString();
    }
    EXPECT_LT(t.elapsed(), 20000);
    backend().setCallTimeLimitMs(kDefaultCallTimeLimitMs);
    EXPECT_EQ(leftovers(work), QStringList());
    auto again = word();
    auto doc = again->DocumentsOpen(sampleDir + "/twelve.docx");
    EXPECT_EQ(doc->BuiltInDocumentProperties(wdPropertyPages), 12);
    doc->Close(false, false);
}

TEST_F(LibreOfficeTest, AHungInstanceIsKilledAndReaped)
{
    {
        auto w = word();
        auto doc = w->DocumentsOpen(sampleDir + "/three.docx");
        const pid_t pid = writerPid();
        ASSERT_GT(pid, 0);
        ASSERT_EQ(::kill(pid, SIGSTOP), 0);
        backend().setCallTimeLimitMs(2000);
        QElapsedTimer t;
        t.start();
        try {
            doc->BuiltInDocumentProperties(wdPropertyPages);
            FAIL() << "a stopped instance answered";
        } catch (const tx::AutomationError &e) {
            EXPECT_EQ(e.number, tx::ErrAutomation);
            EXPECT_TRUE(e.description.contains("did not answer within 2 s")) << e.description.toStdString();
        }
        EXPECT_LT(t.elapsed(), 15000);
        EXPECT_FALSE(QFile::exists(QStringLiteral("/proc/%1").arg(pid))) << "not killed and reaped";
        backend().setCallTimeLimitMs(kDefaultCallTimeLimitMs);
    }
    auto w = word();
    auto doc = w->DocumentsOpen(sampleDir + "/three.docx");
    EXPECT_EQ(doc->BuiltInDocumentProperties(wdPropertyPages), 3);
    doc->Close(false, false);
    EXPECT_EQ(leftovers(work), QStringList());
}

// Each kind has its own worker: a spreadsheet call that comes in through the
// message pump while the writer hangs is answered at once, and the healthy
// spreadsheet instance is neither blamed nor stopped.
TEST_F(LibreOfficeTest, AHungWriterHoldsUpNoOtherKind)
{
    auto xl = backend().attachExcel();
    if (!xl)
        xl = backend().createExcel();
    xl->WorkbooksOpen(sampleDir + "/three.xlsx")->Close(); // warm
    const pid_t calc = instancePid("calc");
    auto w = word();
    auto doc = w->DocumentsOpen(sampleDir + "/three.docx");
    const pid_t pid = writerPid();
    ASSERT_GT(pid, 0);
    backend().setCallTimeLimitMs(4000);
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    std::optional<int> sheets;
    QString sheetError;
    double sheetMs = 0;
    QTimer::singleShot(200, [&] {
        QElapsedTimer t;
        t.start();
        try {
            auto book = xl->WorkbooksOpen(sampleDir + "/three.xlsx");
            sheets = book->WorksheetsCount();
            book->Close();
        } catch (const tx::AutomationError &e) {
            sheetError = e.description;
        }
        sheetMs = ms(t);
    });
    try {
        doc->BuiltInDocumentProperties(wdPropertyPages);
        ADD_FAILURE() << "a stopped writer answered";
    } catch (const tx::AutomationError &e) {
        EXPECT_TRUE(e.description.contains("soffice (writer) did not answer")) << e.description.toStdString();
    }
    backend().setCallTimeLimitMs(kDefaultCallTimeLimitMs);
    EXPECT_EQ(sheets, 3) << sheetError.toStdString();
    EXPECT_LT(sheetMs, 3000);
    auto book = xl->WorkbooksOpen(sampleDir + "/three.xlsx");
    EXPECT_EQ(book->WorksheetsCount(), 3);
    book->Close();
    EXPECT_EQ(instancePid("calc"), calc) << "the spreadsheet instance was replaced";
}

// The child side of the next test: leaves a document open as the process ends,
// another not yet shown in a window (as a whole import holds it before its
// export), and a page document its application keeps for the next page.
int exitWithOpenDocument(const QString &file, Leaving how)
{
    auto w = word();
    auto unshown = w->DocumentsOpen(file);
    auto doc = w->DocumentsOpen(file);
    doc->WindowsSelection(1)->GoTo(wdGoToPage, 2);
    // A page document in use and another kept by the application for the next.
    auto sel = doc->WindowsSelection(1);
    sel->EndKey(wdStory, wdExtend);
    sel->Copy();
    auto page = w->DocumentsAdd();
    page->WindowsSelection(1)->Paste();
    auto kept = w->DocumentsAdd();
    kept->WindowsSelection(1)->Paste();
    kept->Close({}, {});
    if (how == Leaving::Killed) // in the middle of an import: nothing of this process runs any more
        ::kill(::getpid(), SIGKILL);
    if (how == Leaving::Abandoning) { // a bridge worker whose page went away
        closeOfficeDocumentsBeforeLeaving();
        ::_exit(0);
    }
    return 0; // the documents and the application are released on the way out
}

TEST_F(LibreOfficeTest, AProcessEndsCleanlyWithDocumentsStillOpen)
{
    word()->DocumentsOpen(sampleDir + "/three.docx")->Close(false, false); // warm
    // Every third child is killed with its documents open, pages copied in the
    // office (a page document in use, another kept) or cut from the export:
    // the next process to open a document closes them and removes the copies.
    // Another third leaves at once, as a bridge worker whose page went away,
    // closing its documents itself.
    for (int i = 0; i < 10; ++i) {
        const bool killed = i % 3 == 1;
        const bool abandoning = i % 3 == 2;
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (i % 2 == 1)
            env.insert("TESSARIX_OFFICE_PAGE_COPY", "1");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {killed ? "--killed-with-open-document" : abandoning ? "--abandoned-with-open-document" : "--exit-with-open-document",
                     sampleDir + "/three.docx"});
        ASSERT_TRUE(child.waitForFinished(60000));
        EXPECT_EQ(child.exitStatus(), killed ? QProcess::CrashExit : QProcess::NormalExit) << "round " << i;
        EXPECT_EQ(child.exitCode(), killed ? SIGKILL : 0) << "round " << i;
        if (killed) {
            EXPECT_NE(leftovers(work), QStringList()) << "round " << i;
            word()->DocumentsOpen(sampleDir + "/three.docx")->Close(false, false);
        }
        EXPECT_EQ(leftovers(work), QStringList()) << "documents left open are closed, round " << i;
    }
    // Nothing of the children is left in the instance either: an unused one ends.
    const pid_t pid = writerPid();
    backend().shutdown();
    EXPECT_FALSE(QFile::exists(QStringLiteral("/proc/%1").arg(pid))) << "documents left in the instance";
}

// The child side of the next test: starts the writer in the background and
// waits (pumping) until its pipe is there.
int startInBackground()
{
    backend().startInBackground();
    const QByteArray pipe = "/tmp/OSL_PIPE_" + QByteArray::number(::getuid()) + "_"
        + qgetenv("TESSARIX_OFFICE_INSTANCE") + "-writer";
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QFile::exists(QString::fromLocal8Bit(pipe)) || t.elapsed() > 40000)
            loop.quit();
    });
    poll.start(100);
    loop.exec();
    return QFile::exists(QString::fromLocal8Bit(pipe)) ? 0 : 1;
}

// The child side of the next test but one: a first import right after the
// background start, as a page makes it; 0 when it took the normal time.
int importAfterBackgroundStart(const QString &file)
{
    QElapsedTimer t;
    t.start();
    backend().startInBackground();
    try {
        auto doc = word()->DocumentsOpen(file);
        if (doc->BuiltInDocumentProperties(wdPropertyPages) != 3)
            return 2;
        doc->Close(false, false);
    } catch (const tx::AutomationError &e) {
        std::cerr << e.description.toStdString() << std::endl;
        return 2;
    }
    std::cout << "[timing] first import after the background start: " << ms(t) << " ms" << std::endl;
    backend().shutdown();
    return t.elapsed() < 30000 ? 0 : 3;
}

// This program again, starting the writer in the background under the cache
// folder `cache` and the instance name `instance`; its exit code.
int startedInBackground(const QString &cache, const QString &instance)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CACHE_HOME", cache);
    env.insert("TESSARIX_OFFICE_INSTANCE", instance);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"--start-in-background"});
    return child.waitForFinished(60000) ? child.exitCode() : -1;
}

// On a new profile the office makes it and asks to be started again: the
// background start sees to that too, so the first import finds it running.
TEST_F(LibreOfficeTest, ABackgroundStartOnANewProfileEndsRunning)
{
    QTemporaryDir cache;
    // A pipe name of this run only: a killed instance leaves its pipe's file.
    const QString instance = qEnvironmentVariable("TESSARIX_OFFICE_INSTANCE") + "-new" + QString::number(::getpid());
    EXPECT_EQ(startedInBackground(cache.path(), instance), 0) << "no instance running";
    if (const pid_t pid = instancePidIn(cache.path(), instance, "writer"); pid > 0)
        ::kill(-pid, SIGKILL);
    QFile::remove("/tmp/OSL_PIPE_" + QString::number(::getuid()) + "_" + instance + "-writer");
}

// A uid without a passwd entry, as in many containers: the office names its
// pipe without the uid then, and the first import must not wait for a pipe
// of another name.
TEST_F(LibreOfficeTest, AUidWithoutAPasswdEntryImportsAtTheNormalSpeed)
{
    if (::getuid() != 0 || !QFileInfo(QStringLiteral("/usr/bin/setpriv")).isExecutable())
        GTEST_SKIP() << "runs as root, with setpriv, to take on a uid of nobody";
    uid_t uid = 42420;
    while (::getpwuid(uid))
        ++uid;
    QTemporaryDir home;
    ASSERT_EQ(::chown(QFile::encodeName(home.path()).constData(), uid, uid), 0);
    const QString file = home.path() + "/three.docx";
    ASSERT_TRUE(QFile::copy(sampleDir + "/three.docx", file));
    ASSERT_EQ(::chown(QFile::encodeName(file).constData(), uid, uid), 0);
    const QString instance = qEnvironmentVariable("TESSARIX_OFFICE_INSTANCE") + "-nobody";
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CACHE_HOME", home.path() + "/cache");
    env.insert("TESSARIX_TEST_SCRATCH", home.path());
    env.insert("TESSARIX_OFFICE_INSTANCE", instance);
    env.remove("TMPDIR");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer t;
    t.start();
    child.start(QStringLiteral("/usr/bin/setpriv"),
                {QStringLiteral("--reuid=%1").arg(uid), QStringLiteral("--regid=%1").arg(uid), "--clear-groups", "--",
                 QCoreApplication::applicationFilePath(), "--import-after-background-start", file});
    EXPECT_TRUE(child.waitForFinished(120000));
    EXPECT_EQ(child.exitCode(), 0) << "took " << ms(t) << " ms";
    if (const pid_t pid = instancePidIn(home.path() + "/cache", instance, "writer"); pid > 0)
        ::kill(-pid, SIGKILL);
    QFile::remove("/tmp/OSL_PIPE_" + instance + "-writer");
}

// A process under another cache folder (another HOME) started the instance this
// one attaches to: its temporary folder is not here, and it is used as it is,
// never restarted for a folder that is missing only from this cache.
TEST_F(LibreOfficeTest, AnInstanceOfAnotherCacheFolderIsUsedAsItIs)
{
    // Ours goes, quitting cleanly (a killed one leaves its pipe's file), so that
    // the other process starts the one on the pipe.
    word()->DocumentsOpen(sampleDir + "/three.docx")->Close(false, false);
    backend().shutdown();
    QTemporaryDir cache;
    const QString instance = qEnvironmentVariable("TESSARIX_OFFICE_INSTANCE");
    ASSERT_EQ(startedInBackground(cache.path(), instance), 0) << "no instance running";
    const pid_t other = instancePidIn(cache.path(), instance, "writer");
    ASSERT_GT(other, 0);
    QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/tessarix/lo-" + instance
         + "-writer.tmp")
        .removeRecursively();
    try {
        auto w = word();
        auto doc = w->DocumentsOpen(sampleDir + "/three.docx");
        EXPECT_EQ(doc->BuiltInDocumentProperties(wdPropertyPages), 3);
        doc->Close(false, false);
    } catch (const tx::AutomationError &e) {
        ADD_FAILURE() << e.description.toStdString();
    }
    EXPECT_EQ(::kill(other, 0), 0) << "the other process's instance was restarted";
    backend().shutdown();
    ::kill(-other, SIGKILL);
    QFile::remove("/tmp/OSL_PIPE_" + QString::number(::getuid()) + "_" + instance + "-writer");
}

TEST_F(LibreOfficeTest, CreateFailsAtOnceWhenSofficeIsMissingOrCannotStart)
{
    if (auto pp = backend().attachPowerPoint())
        pp->Quit();
    struct Case { QByteArray soffice; QString reason; };
    for (const Case &c : {Case{"/nonexistent/soffice.bin", "soffice: /nonexistent/soffice.bin is not installed"},
                          Case{"/bin/false", "soffice: it ended during start-up (status 1)"}}) {
        qputenv("TESSARIX_SOFFICE", c.soffice);
        if (c.soffice.startsWith("/nonexistent")) {
            EXPECT_EQ(backend().attachPowerPoint(), nullptr);
        }
        QElapsedTimer t;
        t.start();
        try {
            backend().createPowerPoint();
            ADD_FAILURE() << "started with " << c.soffice.constData();
        } catch (const tx::AutomationError &e) {
            EXPECT_EQ(e.number, tx::ErrCantCreateObject);
            EXPECT_TRUE(e.description.contains(c.reason)) << e.description.toStdString();
        }
        EXPECT_LT(t.elapsed(), 5000);
    }
    qunsetenv("TESSARIX_SOFFICE");
}

} // namespace lotest
