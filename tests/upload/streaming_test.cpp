// The body streams from a snapshot: large files, a package changed mid-send, a
// file that changes length, and a second upload cutting the first short.
#include "core/Pump.h"
#include "platform/TcpClient.h"
#include "platform/Ui.h"
#include "support/TestHttpServer.h"
#include "upload/FileUpload.h"
#include "upload/UploadMachinery.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProgressBar>
#include <QTemporaryDir>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tx;
using test::TestHttpServer;

namespace {

class Streaming : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::reset();
        qputenv("TEMP", dir.path().toUtf8());
        big = dir.filePath(QStringLiteral("big.bin"));
        writeBig();
    }
    void writeBig()
    {
        QFile f(big);
        f.open(QIODevice::WriteOnly);
        QByteArray block(1 << 20, 'a');
        for (int i = 0; i < 24; ++i) {
            block[0] = char('A' + i);
            f.write(block);
        }
    }
    QTemporaryDir dir;
    QString big;
    TestHttpServer server;
    FileUpload control;
};

} // namespace

TEST_F(Streaming, PackageEmptiedWhileTheBodyStreams)
{
    bool emptied = false;
    QObject::connect(control.machinery().Winsock1, &TcpClient::SendProgress, &control, [&] {
        if (!emptied) {
            emptied = true;
            control.machinery().objPackage().RemoveAll();
        }
    });
    control.StartUpload(QStringLiteral("/"), server.url(), big, 3);
    ASSERT_TRUE(emptied);
    EXPECT_EQ(control.NewFileName(), QStringLiteral("/files/a.txt"));
    const auto &r = server.requests.last();
    EXPECT_EQ(r.header("Content-Length").toLongLong(), r.body.size());
    const auto parts = r.parts();
    ASSERT_EQ(parts.size(), 3);
    EXPECT_EQ(parts[0].data.size(), 24 << 20);
    EXPECT_EQ(parts[0].data.at(23 << 20), 'X');
}

TEST_F(Streaming, FileThatChangesWhileSentIsAbandoned)
{
    const struct {
        const char *name;
        std::function<void()> change;
    } cases[] = {
        {"shrinks", [&] { QFile::resize(big, 1000); }},
        {"grows", [&] {
             QFile f(big);
             f.open(QIODevice::Append);
             f.write("more");
         }},
        {"same length, rewritten", [&] {
             QFile f(big);
             f.open(QIODevice::ReadWrite);
             f.write("changed");
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeBig();
        // Measured long ago, so that a rewrite shows in the modification time.
        const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(big).constData(), old, 0), 0);
        ui::reset();
        FileUpload control;
        control.setNewFileName(QStringLiteral("old"));
        bool changed = false;
        QObject::connect(control.machinery().Winsock1, &TcpClient::SendProgress, &control, [&] {
            if (!changed) {
                changed = true;
                c.change();
            }
        });
        const qsizetype before = server.requests.size();
        control.StartUpload(QStringLiteral("/"), server.url(), big, 3);
        ASSERT_TRUE(changed);
        EXPECT_EQ(control.NewFileName(), QStringLiteral("old"));
        EXPECT_EQ(control.machinery().outcome(), UploadMachinery::Outcome::FileChanged);
        EXPECT_EQ(control.machinery().outcomeReason(), QStringLiteral("文件在上传过程中被修改"));
        // One box naming the file; the server never got a whole body to answer.
        ASSERT_EQ(ui::messageBoxes().size(), 1);
        EXPECT_EQ(ui::messageBoxes().last().text, QStringLiteral("文件在上传过程中被修改：") + big);
        if (server.requests.size() > before) {
            EXPECT_LT(server.bodyBytes, server.requests.last().header("Content-Length").toLongLong());
        }
        EXPECT_LT(control.findChild<QProgressBar *>(QStringLiteral("pbFile"))->value(), 100);
        EXPECT_EQ(control.machinery().Winsock1->State(), TcpClient::sckClosed);
    }
}

// The answer time-out is for the server's answer, not for the sending: a body
// that takes longer than it to write goes through while bytes keep moving, and
// only a send that stops moving for the whole time-out is given up.
TEST_F(Streaming, SlowReaderLongerThanTheTimeOut)
{
    qputenv("TESSARIX_TICK_MS", "5");
    const int timeoutMs = UploadMachinery::kAnswerTicks * 5;
    const struct {
        const char *name;
        qint64 bytesPer10ms;
        UploadMachinery::Outcome outcome;
    } cases[] = {
        {"slow", 64 * 1024, UploadMachinery::Outcome::Answered},
        {"stops reading", 0, UploadMachinery::Outcome::TimedOut},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TestHttpServer slow;
        slow.setKeepBodies(false);
        slow.setReadRate(c.bytesPer10ms, 10);
        FileUpload control;
        control.setNewFileName(QStringLiteral("old"));
        QElapsedTimer clock;
        clock.start();
        control.StartUpload(QStringLiteral("/"), slow.url(), big, 3);
        EXPECT_GT(clock.elapsed(), timeoutMs); // else this proves nothing
        EXPECT_EQ(control.machinery().outcome(), c.outcome);
        if (c.outcome == UploadMachinery::Outcome::Answered) {
            EXPECT_EQ(control.NewFileName(), QStringLiteral("/files/a.txt"));
            EXPECT_EQ(slow.bodyBytes, slow.requests.last().header("Content-Length").toLongLong());
        } else {
            EXPECT_EQ(control.NewFileName(), QStringLiteral("old"));
            EXPECT_LT(clock.elapsed(), timeoutMs * 4);
        }
    }
    qputenv("TESSARIX_TICK_MS", "10");
}

TEST_F(Streaming, SecondUploadClosesTheFirst)
{
    server.setMode(TestHttpServer::Mode::Silent);
    control.machinery().ParseUploadUrl(server.url());
    control.AddUploadFile(QStringLiteral("big.bin"), big);
    control.UploadFile(); // streams, nobody waits
    server.setMode(TestHttpServer::Mode::Ok, "/files/second");
    control.StartUpload(QStringLiteral("/"), server.url(), big, 4);
    EXPECT_EQ(control.NewFileName(), QStringLiteral("/files/second"));
    EXPECT_EQ(server.connections, 2);
}
