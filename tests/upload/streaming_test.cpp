// The body streams from a snapshot: large files, a package changed mid-send, a
// file that changes length, and a second upload cutting the first short.
#include "platform/Pump.h"
#include "platform/TcpClient.h"
#include "platform/Ui.h"
#include "support/TestHttpServer.h"
#include "upload/FileUpload.h"
#include "upload/UploadMachinery.h"

#include <QDateTime>
#include <QFile>
#include <functional>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

TEST_F(Streaming, FileChangedWhileSentIsAbandoned)
{
    // Rewritten in place at the same length, or shortened: either way the bytes
    // sent are no longer one version of the file.
    const std::vector<std::pair<const char *, std::function<void()>>> changes = {
        {"rewritten in place", [this] {
             QFile f(big);
             ASSERT_TRUE(f.open(QIODevice::ReadWrite));
             f.seek(20 << 20);
             f.write("changed");
         }},
        {"shrinks", [this] { QFile::resize(big, 1000); }},
    };
    for (const auto &[what, change] : changes) {
        SCOPED_TRACE(what);
        ui::reset();
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
        f.close();
        control.setNewFileName(QStringLiteral("old"));
        bool changed = false;
        const auto watch = QObject::connect(control.machinery().Winsock1, &TcpClient::SendProgress, &control, [&] {
            if (!changed) {
                changed = true;
                change();
            }
        });
        control.StartUpload(QStringLiteral("/"), server.url(), big, 3);
        QObject::disconnect(watch);
        ASSERT_TRUE(changed);
        EXPECT_EQ(control.NewFileName(), QStringLiteral("old"));
        EXPECT_EQ(control.machinery().outcome(), UploadMachinery::Outcome::FileChanged);
        EXPECT_EQ(control.machinery().outcomeReason(), QStringLiteral("文件在上传过程中被修改"));
        ASSERT_FALSE(ui::messageBoxes().isEmpty());
        EXPECT_TRUE(ui::messageBoxes().last().text.contains(QStringLiteral("big.bin")));
    }
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
