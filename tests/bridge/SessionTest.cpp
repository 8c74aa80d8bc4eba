// Sessions against each other and against their limits: processes apart, a
// killed worker, objects released at the end, and a user who is not us.
#include "BridgeFixture.h"

#include "support/TestHttpServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <csignal>
#include <unistd.h>

using namespace tx::test;

namespace {

const QString kOrigin = QStringLiteral("http://127.0.0.1:8080");
constexpr qint64 kOutOfMemory = qint64(int32_t(0x800A0007u));

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bridge.started());
        // Any path: these sessions upload files the test made itself.
        ASSERT_EQ(bridge.tessarix({QStringLiteral("trust"), QStringLiteral("--any-path"), kOrigin}).status, 0);
    }
    Bridge bridge;
};

TEST_F(SessionTest, ALongUploadInOneTabNeverDelaysAnotherAndAKilledWorkerEndsOnlyItsOwn)
{
    TestHttpServer silent;
    silent.setMode(TestHttpServer::Mode::Silent);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("big.bin")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(256 * 1024, 'x'));
    file.close();

    Page slow(bridge.port(), kOrigin);
    Page quick(bridge.port(), kOrigin);
    ASSERT_TRUE(slow.open());
    ASSERT_TRUE(quick.open());
    const int upload = slow.create(QStringLiteral("Tessarix5.FileUpload"));
    const int other = quick.create(QStringLiteral("Tessarix5.FileUpload"));
    // The server never answers: the call waits for its answer time-out.
    slow.sendOnly({{"id", 1000}, {"type", "call"}, {"object", upload}, {"member", "StartUpload"},
                   {"args", QJsonArray{"", silent.url(), file.fileName(), 1}}});
    ASSERT_TRUE(waitFor([&] { return !silent.requests.isEmpty(); }));

    // The form's progress bar reaches the page while the body goes out.
    EXPECT_TRUE(waitFor([&] {
        for (const QJsonObject &e : slow.events)
            if (e[QStringLiteral("event")] == QStringLiteral("progress") && e[QStringLiteral("child")] == QStringLiteral("pbFile") &&
                e[QStringLiteral("object")].toInt() == upload)
                return true;
        return false;
    }, 5000));
    // Within the waiting session, reads are answered at once too (the call
    // itself waits 3 s for its answer).
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(slow.get(upload, QStringLiteral("NewFileName")).contains(QStringLiteral("result")));
    EXPECT_LT(clock.elapsed(), 1000) << "a read behind a waiting call";
    clock.restart();
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(quick.get(other, QStringLiteral("NewFileName")).contains(QStringLiteral("result")));
    EXPECT_LT(clock.elapsed(), 2000) << "20 reads in the other tab";

    // Released by the page while its call waits: the call finishes first.
    EXPECT_TRUE(slow.request({{"type", "release"}, {"object", upload}}).value(QStringLiteral("result")).isNull());
    EXPECT_TRUE(slow.get(upload, QStringLiteral("NewFileName")).contains(QStringLiteral("error")));
    EXPECT_FALSE(slow.waitReply(1000).isEmpty());
    const int second = slow.create(QStringLiteral("Tessarix5.FileUpload"));
    ASSERT_GT(second, 0);

    // Killed in the middle of another call: only its own session ends.
    // A port written as a fraction: the audit names the port connected to.
    slow.sendOnly({{"id", 2000}, {"type", "call"}, {"object", second}, {"member", "StartUpload"},
                   {"args", QJsonArray{"", QStringLiteral("http://127.0.0.1:%1.0/upload.asp").arg(silent.port()),
                                       file.fileName(), 1}}});
    ASSERT_TRUE(waitFor([&] { return silent.requests.size() == 2; }));
    const qint64 pid = bridge.workerPid(1);
    ASSERT_GT(pid, 0);
    ::kill(pid_t(pid), SIGKILL);
    // Requests written to the dead worker's channel must not take the service down.
    for (int i = 0; i < 50; ++i)
        slow.sendOnly({{"type", "get"}, {"object", second}, {"member", "NewFileName"}});
    ASSERT_TRUE(waitFor([&] { return slow.closed; }));
    EXPECT_EQ(int(slow.socket().closeCode()), 1011);
    EXPECT_TRUE(slow.socket().closeReason().contains(QStringLiteral("worker"))) << slow.socket().closeReason().toStdString();
    EXPECT_TRUE(quick.get(other, QStringLiteral("NewFileName")).contains(QStringLiteral("result")));
    EXPECT_FALSE(quick.closed);
    EXPECT_TRUE(waitFor([&] { return bridge.auditLog().contains(QStringLiteral("session 1 end")); }));
    const QString audit = bridge.auditLog();
    EXPECT_EQ(audit.count(QStringLiteral("upload target http://127.0.0.1:%1\n").arg(silent.port())), 2) << audit.toStdString();
    EXPECT_EQ(audit.count(QStringLiteral("upload target")), 2) << audit.toStdString();
}

TEST_F(SessionTest, ClosingThePageReleasesEveryObject)
{
    {
        Page page(bridge.port(), kOrigin);
        ASSERT_TRUE(page.open());
        for (const char *progId : {"Tessarix5.FileUpload", "Tessarix5.MultiUpload", "Tessarix5.Helper"})
            page.create(QString::fromLatin1(progId));
        // A line the control adds to its log reaches the page as an event.
        QTemporaryDir dir;
        QFile picture(dir.filePath(QStringLiteral("p.jpg")));
        ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
        picture.write("not really a picture");
        picture.close();
        const int images = page.create(QStringLiteral("Tessarix5.ImageImport"));
        page.result(page.call(images, QStringLiteral("Init"),
                              {"http://127.0.0.1:1/upload.asp", "http://127.0.0.1:1/post.asp", "/", 1, "me", ""}));
        page.result(page.call(images, QStringLiteral("StartUpload"), {picture.fileName()}));
        ASSERT_TRUE(waitFor([&] { return !page.events.isEmpty(); }, 5000));
        const QJsonObject log = page.events.last();
        EXPECT_EQ(log[QStringLiteral("event")].toString(), QStringLiteral("log"));
        EXPECT_EQ(log[QStringLiteral("child")].toString(), QStringLiteral("lstLog"));
        EXPECT_EQ(log[QStringLiteral("object")].toInt(), images);
        EXPECT_FALSE(log[QStringLiteral("text")].toString().isEmpty());

        // Each answer an upload received, its first body line cut at 1 KiB, and each
        // box once answered, both naming their object.
        const auto eventOf = [&](const char *name) {
            for (qsizetype i = page.events.size() - 1; i >= 0; --i)
                if (page.events[i][QStringLiteral("event")].toString() == QLatin1String(name))
                    return page.events[i];
            return QJsonObject();
        };
        TestHttpServer failing;
        const QByteArray body = QByteArray(6000, 'r') + "\r\nsecond line";
        failing.setMode(TestHttpServer::Mode::Raw, "HTTP/1.1 500 Internal Server Error\r\nContent-Length: "
                                                       + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        const int second = page.create(QStringLiteral("Tessarix5.ImageImport"));
        page.result(page.call(second, QStringLiteral("Init"), {failing.url(), failing.url("/post.asp"), "/", 1, "me", ""}));
        page.result(page.call(second, QStringLiteral("StartUpload"), {picture.fileName()}));
        const QJsonObject answer = eventOf("answer");
        EXPECT_EQ(answer[QStringLiteral("object")].toInt(), second);
        EXPECT_EQ(answer[QStringLiteral("status")].toString(), QStringLiteral("HTTP/1.1 500 Internal Server Error"));
        EXPECT_EQ(answer[QStringLiteral("line")].toString(), QString(1024, u'r'));
        EXPECT_EQ(answer[QStringLiteral("file")].toString(), picture.fileName());
        // The control logs the whole answer; the page gets its start.
        const QString logged = eventOf("log")[QStringLiteral("text")].toString();
        EXPECT_EQ(logged.size(), 4097) << logged.left(40).toStdString();
        EXPECT_TRUE(logged.endsWith(QStringLiteral("r…")));
        page.result(page.request({{"type", "automation"}, {"name", "answerFileDialogs"},
                                  {"args", QJsonArray{QJsonArray{QJsonArray{picture.fileName() + ".txt"}}}}}));
        page.result(page.request({{"type", "automation"}, {"name", "child"},
                                  {"args", QJsonArray{images, "btnAddFile", "click"}}}));
        const QJsonObject box = eventOf("box");
        EXPECT_EQ(box[QStringLiteral("object")].toInt(), images);
        EXPECT_TRUE(box[QStringLiteral("text")].toString().contains(QStringLiteral("不可识别的图片格式")))
            << QJsonDocument(box).toJson().toStdString();
        EXPECT_EQ(box[QStringLiteral("buttons")].toString(), QStringLiteral("OK"));
        EXPECT_EQ(box[QStringLiteral("answer")].toString(), QStringLiteral("OK"));
        EXPECT_FALSE(box[QStringLiteral("title")].toString().isEmpty());
        page.socket().close();
        ASSERT_TRUE(waitFor([&] { return page.closed; }));
    }
    ASSERT_TRUE(waitFor([&] { return bridge.auditLog().contains(QStringLiteral("session 1 end")); }));
    EXPECT_TRUE(bridge.auditLog().contains(QStringLiteral("objects-released=yes"))) << bridge.auditLog().toStdString();
    EXPECT_TRUE(waitFor([&] { return bridge.status().value(QStringLiteral("sessions")).toArray().isEmpty(); }));
}

TEST_F(SessionTest, LimitsCrossedByOne)
{
    Page page(bridge.port(), kOrigin);
    ASSERT_TRUE(page.open());
    // 64 objects, not 65.
    for (int i = 0; i < 64; ++i)
        ASSERT_GT(page.create(QStringLiteral("Tessarix5.Helper")), 0) << i;
    const QJsonObject refused = page.request({{"type", "create"}, {"progId", "Tessarix5.Helper"}});
    EXPECT_EQ(page.errorNumber(refused), kOutOfMemory);
    page.request({{"type", "release"}, {"object", 1}});
    EXPECT_GT(page.create(QStringLiteral("Tessarix5.Helper")), 0);

    const qint64 pid = bridge.workerPid(1);
    ASSERT_GT(pid, 0);
    // 16 MiB of requests wait for a stopped worker, not more.
    ::kill(pid_t(pid), SIGSTOP);
    const QString big(1000 * 1000, QLatin1Char('v'));
    for (int i = 0; i < 16; ++i)
        page.sendOnly({{"id", 3000 + i}, {"type", "put"}, {"object", 2}, {"member", "x"}, {"value", big}});
    const QJsonObject heavy = page.request({{"type", "put"}, {"object", 2}, {"member", "x"}, {"value", big}}, 5000);
    EXPECT_EQ(page.errorNumber(heavy), kOutOfMemory);
    ::kill(pid_t(pid), SIGCONT);
    ASSERT_FALSE(page.waitReply(3015).isEmpty());

    // 256 requests wait; the 257th is refused at once.
    ::kill(pid_t(pid), SIGSTOP);
    for (int i = 0; i < 256; ++i)
        page.sendOnly({{"id", 5000 + i}, {"type", "get"}, {"object", 2}, {"member", "x"}});
    const QJsonObject over = page.request({{"type", "get"}, {"object", 2}, {"member", "x"}}, 5000);
    EXPECT_EQ(page.errorNumber(over), kOutOfMemory);
    ::kill(pid_t(pid), SIGCONT);
    EXPECT_TRUE(page.waitReply(5255).contains(QStringLiteral("error")));

    // A message over 1 MiB closes the session with a reason.
    page.socket().sendTextMessage(QString(1024 * 1024 + 1, QLatin1Char('x')));
    ASSERT_TRUE(waitFor([&] { return page.closed; }));
    EXPECT_EQ(int(page.socket().closeCode()), 1009);
    // The service closed, not the page.
    ASSERT_TRUE(waitFor([&] { return bridge.auditLog().contains(QStringLiteral("session 1 end")); }));
    EXPECT_TRUE(bridge.auditLog().contains(QStringLiteral("reason=closed by the service (1009"))) << bridge.auditLog().toStdString();
}

TEST_F(SessionTest, SixteenSessionsAndNotSeventeen)
{
    std::vector<std::unique_ptr<Page>> pages;
    for (int i = 0; i < 16; ++i) {
        pages.push_back(std::make_unique<Page>(bridge.port(), kOrigin));
        ASSERT_TRUE(pages.back()->open()) << i;
    }
    Page extra(bridge.port(), kOrigin);
    extra.open();
    ASSERT_TRUE(waitFor([&] { return extra.closed; }));
    EXPECT_TRUE(extra.socket().closeReason().contains(QStringLiteral("too many sessions")));
    EXPECT_GT(pages.front()->create(QStringLiteral("Tessarix5.Helper")), 0);
}

TEST_F(SessionTest, AnotherAccountIsRefusedBeforeAnythingElse)
{
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    const QString bash = QStandardPaths::findExecutable(QStringLiteral("bash"));
    if (::getuid() != 0 || setpriv.isEmpty() || bash.isEmpty())
        GTEST_SKIP() << "needs root, setpriv and bash to connect as another user";
    const QString script = QStringLiteral("exec 3<>/dev/tcp/127.0.0.1/%1; printf 'GET /status HTTP/1.1\\r\\nHost: 127.0.0.1:%1\\r\\n\\r\\n' >&3; cat <&3")
                               .arg(bridge.port());
    const CommandRun r = [&] {
        QProcess p;
        p.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                          bash, QStringLiteral("-c"), script});
        waitFor([&] { return p.state() == QProcess::NotRunning; }, 20000);
        return CommandRun{p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }();
    // Not a byte of an answer.
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_TRUE(bridge.auditLog().contains(QStringLiteral("connection from uid 65534")));
}

} // namespace
