// FileUpload against the loopback server: what goes on the wire and how each kind
// of answer ends the wait.
#include "core/AutomationError.h"
#include "core/CodePage.h"
#include "core/Pump.h"
#include "platform/TcpClient.h"
#include "platform/Ui.h"
#include "support/TestHttpServer.h"
#include "upload/FileUpload.h"
#include "upload/ResponseFramer.h"
#include "upload/UploadMachinery.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProgressBar>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tx;
using test::TestHttpServer;

namespace {

class Exchange : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::reset();
        qputenv("TEMP", dir.path().toUtf8());
        file = dir.filePath(QStringLiteral("中文.txt"));
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write("hello");
    }
    QTemporaryDir dir;
    QString file;
    TestHttpServer server;
    FileUpload control;
};

} // namespace

TEST_F(Exchange, SendsHeadFieldsAndFileAndTakesTheAnswer)
{
    server.setMode(TestHttpServer::Mode::Ok, "/files/news/a.txt");
    control.StartUpload(QStringLiteral("news"), server.url(), file, -1);
    EXPECT_EQ(control.NewFileName(), QStringLiteral("/files/news/a.txt"));
    ASSERT_EQ(server.requests.size(), 1);
    const auto &r = server.requests[0];
    EXPECT_EQ(r.requestLine(), "POST /upload.asp HTTP/1.1");
    EXPECT_EQ(r.header("Host"), "127.0.0.1:" + QByteArray::number(server.port()));
    EXPECT_EQ(r.header("Content-Length").toLongLong(), r.body.size());
    const auto parts = r.parts();
    ASSERT_EQ(parts.size(), 3);
    // The file first: bare name as the part's name, the full path with "\" as filename.
    EXPECT_EQ(parts[0].name, codepage::encode(QStringLiteral("中文.txt")));
    EXPECT_EQ(parts[0].filename, codepage::encode(QString(file).replace(QLatin1Char('/'), QLatin1Char('\\'))));
    EXPECT_EQ(parts[0].data, "hello");
    EXPECT_EQ(parts[1].name, "curPath");
    EXPECT_EQ(parts[1].data, "news/");
    EXPECT_EQ(parts[2].name, "contentid");
    EXPECT_EQ(parts[2].data, "-1");
    EXPECT_EQ(control.findChild<QProgressBar *>(QStringLiteral("pbFile"))->value(), 100);
}

TEST_F(Exchange, CurPathGetsOneTrailingSlash)
{
    for (const auto &[sf, sent] : {std::pair{"", "/"}, {"/a/", "/a/"}, {"/a", "/a/"}}) {
        control.StartUpload(QString::fromUtf8(sf), server.url(), file, 7);
        EXPECT_EQ(server.requests.last().field("curPath"), QByteArray(sent));
    }
    EXPECT_EQ(server.requests.size(), 3);
}

TEST_F(Exchange, WholeAnswerIsCollectedHoweverItArrives)
{
    const QByteArray name = "/files/" + QByteArray(300, 'x') + ".jpg";
    for (auto mode : {TestHttpServer::Mode::Split, TestHttpServer::Mode::Chunked}) {
        control.setNewFileName(QString());
        server.setMode(mode, name);
        server.setPieceSize(3);
        control.StartUpload(QStringLiteral("/"), server.url(), file, 1);
        EXPECT_EQ(control.NewFileName(), QString::fromLatin1(name));
    }
    // A head without an empty line, then the close: the answer from the fourth
    // character on.
    server.setMode(TestHttpServer::Mode::CloseAfterHead, "HTTP/1.1 200 OK");
    control.StartUpload(QStringLiteral("/"), server.url(), file, 1);
    EXPECT_EQ(control.NewFileName(), QStringLiteral("P/1.1 200 OK"));
}

TEST_F(Exchange, ErrorAnswersAndSilence)
{
    control.setNewFileName(QStringLiteral("old"));
    server.setMode(TestHttpServer::Mode::Error500);
    control.StartUpload(QStringLiteral("/"), server.url(), file, 1);
    EXPECT_EQ(control.NewFileName(), QStringLiteral("Error"));

    // A length of 1500 counts as "500" too.
    control.setNewFileName(QStringLiteral("old"));
    server.setMode(TestHttpServer::Mode::Raw, "HTTP/1.1 302 Found\r\nContent-Length: 1500\r\n\r\n" + QByteArray(1500, 'x'));
    control.StartUpload(QStringLiteral("/"), server.url(), file, 1);
    EXPECT_EQ(control.NewFileName(), QStringLiteral("Error"));

    // The server drops the connection: the wait ends at once, the answer stays.
    control.setNewFileName(QStringLiteral("old"));
    server.setMode(TestHttpServer::Mode::Drop);
    QElapsedTimer clock;
    clock.start();
    control.StartUpload(QStringLiteral("/"), server.url(), file, 1);
    EXPECT_EQ(control.NewFileName(), QStringLiteral("old"));
    EXPECT_EQ(control.machinery().outcome(), UploadMachinery::Outcome::ClosedWithoutAnswer);
    EXPECT_LT(clock.elapsed(), 1500);

    // Closed before the announced end: a piece of an answer is no answer, even
    // when the piece holds "200 OK".
    for (const QByteArray cut : {"HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n/up/a",
                                 "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n/up/a\r\n"}) {
        server.setMode(TestHttpServer::Mode::CloseAfterHead, cut);
        control.StartUpload(QStringLiteral("/"), server.url(), file, 1);
        EXPECT_EQ(control.NewFileName(), QStringLiteral("old")) << cut.constData();
        EXPECT_EQ(control.machinery().outcome(), UploadMachinery::Outcome::ClosedWithoutAnswer);
    }

    // What is handed on of each answer: its status line and first body line, also
    // from a server that ends its lines with a bare LF.
    QStringList relayed;
    QObject::connect(&control.machinery(), &UploadMachinery::answerReceived,
                     [&relayed](const QString &status, const QString &line, const QString &) {
                         relayed << status + QLatin1Char('|') + line;
                     });
    for (const auto &[raw, seen] :
         {std::pair{"HTTP/1.1 500 Broken\r\nX: 1\r\n\r\nreason\r\nmore", "HTTP/1.1 500 Broken|reason"},
          {"HTTP/1.1 500 Broken\nX: 1\n\nreason\nmore", "HTTP/1.1 500 Broken|reason"},
          {"HTTP/1.1 500 Broken\n\r\nreason", "HTTP/1.1 500 Broken|reason"}}) {
        relayed.clear();
        server.setMode(TestHttpServer::Mode::CloseAfterHead, raw);
        control.StartUpload(QStringLiteral("/"), server.url(), file, 1);
        EXPECT_EQ(relayed.join(u'/').toStdString(), seen) << raw;
    }
    control.setNewFileName(QStringLiteral("old"));

    // A 200 without "OK" on a kept-alive connection is no answer: the wait runs
    // to its 300 ticks.
    server.setMode(TestHttpServer::Mode::Raw, "HTTP/1.1 200 Fine\r\nContent-Length: 2\r\n\r\nno");
    control.StartUpload(QStringLiteral("/"), server.url(), file, 1);
    EXPECT_EQ(control.NewFileName(), QStringLiteral("old"));
    EXPECT_EQ(control.machinery().outcome(), UploadMachinery::Outcome::TimedOut);
}

TEST_F(Exchange, OtherStatusesAndEndlessAnswersFailAtOnce)
{
    const QByteArray endless(ResponseFramer::kMaxResponse + 1024, 'x');
    const struct {
        QByteArray answer; // on a connection kept open
        const char *reason;
    } cases[] = {
        {"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found", "HTTP/1.1 404 Not Found"},
        {"HTTP/1.1 302 Found\r\nLocation: /login.asp\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 302 Found"},
        {"HTTP/1.1 401 Unauthorized\r\nContent-Length: 4\r\n\r\nauth", "HTTP/1.1 401 Unauthorized"},
        // Its body is still to come: the head decides.
        {"HTTP/1.1 413 Request Entity Too Large\r\nContent-Length: 100\r\n\r\n<html>",
         "HTTP/1.1 413 Request Entity Too Large"},
        {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 502 Bad Gateway\r\n\r\n", "HTTP/1.1 502 Bad Gateway"},
        // Complete in one piece, with "200 OK" in a header or the body: the status decides.
        {"HTTP/1.1 404 Not Found\r\nContent-Length: 6\r\n\r\n200 OK", "HTTP/1.1 404 Not Found"},
        {"HTTP/1.1 302 Found\r\nX-Note: 200 OK\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 302 Found"},
        {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nX: 200 OK\r\n\r\n"
         "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n",
         "HTTP/1.1 403 Forbidden"},
        // No end to the head, or a body beyond the cap: reading stops there.
        {"HTTP/1.1 200 OK\r\nX-Long: " + QByteArray(70 * 1024, 'y'), "HTTP/1.1 200 OK\r\n应答头超过 64 KiB"},
        {QByteArray(70 * 1024, 'z'), "应答头超过 64 KiB"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999\r\n\r\n" + endless, "HTTP/1.1 200 OK\r\n应答超过 16 MiB"},
        {"HTTP/1.1 200 OK\r\n\r\n" + endless, "HTTP/1.1 200 OK\r\n应答超过 16 MiB"},
    };
    server.setKeepBodies(false);
    for (const auto &c : cases) {
        control.setNewFileName(QStringLiteral("old"));
        server.setMode(TestHttpServer::Mode::Raw, c.answer);
        QElapsedTimer clock;
        clock.start();
        control.StartUpload(QStringLiteral("/"), server.url(), file, 1);
        const QByteArray row = c.answer.left(40);
        EXPECT_EQ(control.NewFileName(), QStringLiteral("Error")) << row.constData();
        EXPECT_EQ(control.machinery().outcome(), UploadMachinery::Outcome::ErrorAnswer) << row.constData();
        EXPECT_EQ(control.machinery().outcomeReason(), QString::fromUtf8(c.reason)) << row.constData();
        EXPECT_LT(clock.elapsed(), 2000) << row.constData(); // 300 ticks are 3 s here
    }
}

TEST_F(Exchange, OneAnswerOneReactionWhenTheReactionPumps)
{
    // The reaction pumps as a message box does; the server closes meanwhile.
    int reactions = 0;
    UploadMachinery m(nullptr, nullptr,
                      UploadMachinery::Profile{QStringLiteral("/upload.asp"), true, false, [&](const QString &) {
                                                   ++reactions;
                                                   pump::forMs(150);
                                               }});
    server.setMode(TestHttpServer::Mode::Error500ThenClose);
    m.ParseUploadUrl(server.url());
    m.sendFile(QStringLiteral("/"), file, 1);
    EXPECT_EQ(reactions, 1);
    EXPECT_EQ(m.answer, QStringLiteral("Error"));
    EXPECT_EQ(m.outcome(), UploadMachinery::Outcome::ErrorAnswer);
    EXPECT_EQ(m.outcomeReason(), QStringLiteral("HTTP/1.1 500 Internal Server Error"));
}

TEST_F(Exchange, NoServerListeningEndsAfterTheConnectTicks)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 closedPort = probe.serverPort();
    probe.close();
    control.setNewFileName(QStringLiteral("old"));
    control.StartUpload(QStringLiteral("/"), QStringLiteral("http://127.0.0.1:%1/upload.asp").arg(closedPort), file, 1);
    EXPECT_EQ(control.NewFileName(), QStringLiteral("old"));
    EXPECT_EQ(control.machinery().outcome(), UploadMachinery::Outcome::NoConnection);
    EXPECT_TRUE(control.machinery().bDone);
    // The refused connection is reported by the socket's own message box.
    ASSERT_FALSE(ui::messageBoxes().isEmpty());
    EXPECT_EQ(ui::messageBoxes().last().text, QStringLiteral("Connection is forcefully rejected"));
}

TEST_F(Exchange, BadInputFailsBeforeAnythingIsSent)
{
    try {
        control.StartUpload(QStringLiteral("/"), server.url(), dir.filePath(QStringLiteral("missing.txt")), 1);
        FAIL();
    } catch (const AutomationError &e) {
        EXPECT_EQ(scriptNumber(e.number), int32_t(0x800A0035));
        EXPECT_TRUE(e.description.contains(QStringLiteral("missing.txt")));
    }
    EXPECT_THROW(control.StartUpload(QStringLiteral("/"), QStringLiteral("ftp://x/"), file, 1), AutomationError);
    // A URL that would add its own lines to the request head.
    EXPECT_THROW(control.StartUpload(QStringLiteral("/"), server.url(QStringLiteral("/u.asp\r\nX-Injected: 1")), file, 1),
                 AutomationError);
    EXPECT_TRUE(server.requests.isEmpty());
    // A space in the path cannot split the request line.
    control.StartUpload(QStringLiteral("/"), server.url(QStringLiteral("/up load.asp")), file, 1);
    ASSERT_EQ(server.requests.size(), 1);
    EXPECT_EQ(server.requests[0].requestLine(), "POST /up%20load.asp HTTP/1.1");
    EXPECT_TRUE(server.requests[0].header("X-Injected").isEmpty());
}

TEST_F(Exchange, GetFileSize)
{
    EXPECT_EQ(control.GetFileSize(file), 5);
    const QString empty = dir.filePath(QStringLiteral("empty"));
    QFile(empty).open(QIODevice::WriteOnly);
    EXPECT_EQ(control.GetFileSize(empty), 0);
    // Sparse: over the 32-bit range is an overflow, never a wrong number.
    const QString big = dir.filePath(QStringLiteral("big"));
    QFile b(big);
    b.open(QIODevice::WriteOnly);
    ASSERT_TRUE(b.resize(qint64(5) << 30));
    try {
        control.GetFileSize(big);
        FAIL();
    } catch (const AutomationError &e) {
        EXPECT_EQ(e.number, ErrOverflow);
    }
    // Only a regular file has a size to send: a FIFO or a device is none.
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);
    for (const QString &none : {dir.filePath(QStringLiteral("nope")), dir.path(), dir.filePath(QStringLiteral("fifo")),
                                QStringLiteral("/dev/zero")}) {
        try {
            control.GetFileSize(none);
            ADD_FAILURE() << none.toStdString();
        } catch (const AutomationError &e) {
            EXPECT_EQ(e.number, ErrFileNotFound) << none.toStdString();
        }
    }
}

TEST_F(Exchange, TwoControlsOneAfterTheOtherAndByHand)
{
    FileUpload second;
    server.setAnswerFor([](int i, const test::ReceivedRequest &) {
        return TestHttpServer::okResponse("/files/" + QByteArray::number(i));
    });
    control.StartUpload(QStringLiteral("/"), server.url(), file, 1);
    second.StartUpload(QStringLiteral("/"), server.url(), file, 2);
    EXPECT_EQ(control.NewFileName(), QStringLiteral("/files/0"));
    EXPECT_EQ(second.NewFileName(), QStringLiteral("/files/1"));

    // By hand on the same control, after its StartUpload, as a page does: nothing
    // waits; the answer lands while the page is idle. Nothing is written to the
    // temporary folder, so one that cannot be made does not matter.
    qunsetenv("TEMP");
    const QString tmp = dir.filePath(QStringLiteral("tmp"));
    QDir().mkpath(tmp);
    QFile(tmp + QStringLiteral("/tessarix-%1").arg(getuid())).open(QIODevice::WriteOnly); // a file in the way
    qputenv("TMPDIR", tmp.toUtf8());
    control.addFormData(QStringLiteral("a"), QStringLiteral("b"));
    const QString other = dir.filePath(QStringLiteral("other.txt"));
    QFile(other).open(QIODevice::WriteOnly);
    control.AddUploadFile(QStringLiteral("x"), other);
    control.UploadFile();
    EXPECT_EQ(control.NewFileName(), QStringLiteral("/files/0"));
    QElapsedTimer clock;
    clock.start();
    while (control.NewFileName() != QStringLiteral("/files/2") && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(control.NewFileName(), QStringLiteral("/files/2"));
    EXPECT_EQ(control.machinery().outcome(), UploadMachinery::Outcome::Answered);
    EXPECT_EQ(server.requests.last().field("a"), "b");
    qunsetenv("TMPDIR");
}
