// Sessions against each other and against their limits: processes apart, a
// killed worker, objects released at the end, and a user who is not us.
#include "BridgeFixture.h"

#include "support/TestHttpServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <csignal>
#include <iostream>
#include <unistd.h>

using namespace tx::test;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

namespace {

const QString kOrigin = QStringLiteral("http://127.0.0.1:8080");
constexpr qint64 kOutOfMemory = qint64(int32_t(0x800A0007u));

// A kernel figure of a process's memory ("VmRSS", "VmHWM") in KiB.
qint64 memoryKib(qint64 pid, const QByteArray &field)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    return -1;
}

// A page on a bare connection: it reads the replies to its first requests, then
// sends more and reads nothing until told to; then what the service closed it with.
class DeafPage {
public:
    bool open(quint16 port, const QByteArray &upgrade)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (!waitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }))
            return false;
        socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 64 * 1024);
        socket.write(upgrade);
        waitFor([&] {
            got += socket.readAll();
            return got.contains("\r\n\r\n") || socket.state() == QAbstractSocket::UnconnectedState;
        });
        const bool switched = got.startsWith("HTTP/1.1 101");
        got = got.mid(got.indexOf("\r\n\r\n") + 4);
        return switched;
    }
    // Sends the requests and reads their replies.
    bool exchange(const QList<QJsonObject> &requests)
    {
        for (const QJsonObject &r : requests)
            send(r);
        const bool answered = waitFor([&] {
            got += socket.readAll();
            return framesIn(got).size() >= requests.size();
        });
        got.clear();
        return answered;
    }
    // Sends the requests; nothing is read any more.
    void sendDeaf(const QList<QJsonObject> &requests)
    {
        socket.setReadBufferSize(4096);
        for (const QJsonObject &r : requests)
            send(r);
    }
    // Whether replies reach it (it takes none of them).
    bool replied()
    {
        return waitFor([&] { return socket.bytesAvailable() > 0; });
    }
    // Reads all that waited, up to the service's close frame: its code and reason.
    std::pair<int, QString> closing()
    {
        socket.setReadBufferSize(0);
        std::pair<int, QString> close{-1, QString()};
        waitFor([&] {
            got += socket.readAll();
            for (const auto &[code, payload] : framesIn(got))
                if (code == 0x8 && payload.size() >= 2)
                    close = {quint8(payload[0]) << 8 | quint8(payload[1]), QString::fromUtf8(payload.mid(2))};
            return close.first >= 0 || socket.state() == QAbstractSocket::UnconnectedState;
        }, 20000);
        return close;
    }

private:
    // A text frame, masked as a page's must be (a mask of zeros leaves the text as it is).
    void send(const QJsonObject &message)
    {
        const QByteArray text = QJsonDocument(message).toJson(QJsonDocument::Compact);
        QByteArray frame("\x81", 1);
        if (text.size() < 126) {
            frame += char(0x80 | text.size());
        } else if (text.size() < 65536) {
            frame += char(0x80 | 126);
            frame += char(text.size() >> 8);
            frame += char(text.size() & 0xff);
        } else {
            frame += char(0x80 | 127);
            for (int i = 7; i >= 0; --i)
                frame += char((quint64(text.size()) >> (8 * i)) & 0xff);
        }
        socket.write(frame + QByteArray(4, '\0') + text);
    }
    // The whole frames the service sent (it masks nothing): opcode and payload.
    static QList<std::pair<int, QByteArray>> framesIn(const QByteArray &in)
    {
        QList<std::pair<int, QByteArray>> out;
        const auto byte = [&](qsizetype i) { return quint64(quint8(in[i])); };
        for (qsizetype at = 0; at + 2 <= in.size();) {
            quint64 size = byte(at + 1) & 0x7f;
            qsizetype head = 2;
            if (size >= 126) {
                head = size == 126 ? 4 : 10;
                if (at + head > in.size())
                    break;
                size = 0;
                for (qsizetype i = at + 2; i < at + head; ++i)
                    size = size << 8 | byte(i);
            }
            if (at + head + qsizetype(size) > in.size())
                break;
            out.append({int(byte(at) & 0x0f), in.mid(at + head, qsizetype(size))});
            at += head + qsizetype(size);
        }
        return out;
    }

    QTcpSocket socket;
    QByteArray got;
};

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

    // A client that pings and reads none of the pongs is dropped after about 1 MiB
    // of them, not answered without end (400 rounds would be 52 MB).
    QTcpSocket pinger;
    pinger.setReadBufferSize(4096);
    pinger.connectToHost(QHostAddress::LocalHost, bridge.port());
    ASSERT_TRUE(pinger.waitForConnected(5000));
    pinger.write(bridge.upgradeRequest("Host: 127.0.0.1:" + QByteArray::number(bridge.port()) + "\r\nOrigin: " + kOrigin.toUtf8() + "\r\n"));
    QByteArray switched;
    ASSERT_TRUE(waitFor([&] { switched += pinger.readAll(); return switched.contains("\r\n\r\n"); }));
    ASSERT_TRUE(switched.startsWith("HTTP/1.1 101")) << switched.constData();
    QByteArray pings; // masked with a key of zeros
    for (int i = 0; i < 1000; ++i)
        pings += QByteArray("\x89\xfd\0\0\0\0", 6) + QByteArray(125, 'p');
    int rounds = 0;
    EXPECT_TRUE(waitFor([&] {
        if (pinger.state() == QAbstractSocket::ConnectedState && pinger.bytesToWrite() < pings.size() && rounds < 400) {
            pinger.write(pings);
            ++rounds;
        }
        return pinger.state() == QAbstractSocket::UnconnectedState;
    }, 60000)) << rounds;
    EXPECT_LT(rounds, 400);
    ASSERT_TRUE(waitFor([&] { return bridge.auditLog().contains(QStringLiteral("session 2 end")); }));
    EXPECT_TRUE(bridge.auditLog().contains(QStringLiteral("session 2 end origin=%1 reason=dropped by the service (the page pinged").arg(kOrigin)))
        << bridge.auditLog().toStdString();
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

// Pages that ask for 1 MB replies and never read them: the service holds a few
// MiB for each and leaves the rest with its worker, closes each page once it has
// taken nothing for the time allowed, and gives the memory back afterwards.
TEST_F(SessionTest, PagesThatReadNothingCostTheServiceLittleAndAreClosed)
{
    const qint64 pid = bridge.pid();
    ASSERT_FALSE(bridge.status().isEmpty());
    const qint64 start = memoryKib(pid, "VmRSS");
    ASSERT_GT(start, 0);
    const QByteArray upgrade = bridge.upgradeRequest("Host: 127.0.0.1:" + QByteArray::number(bridge.port()) +
                                                     "\r\nOrigin: " + kOrigin.toUtf8() + "\r\n");
    const QString big(1000 * 1000, QLatin1Char('v'));
    int closed = 0;
    for (const int count : {1, 16}) {
        std::vector<std::unique_ptr<DeafPage>> pages;
        for (int i = 0; i < count; ++i) {
            pages.push_back(std::make_unique<DeafPage>());
            ASSERT_TRUE(pages.back()->open(bridge.port(), upgrade)) << i;
        }
        QList<QJsonObject> gets;
        for (int i = 0; i < 60; ++i)
            gets.append({{"id", 3 + i}, {"type", "get"}, {"object", 1}, {"member", "NewFileName"}});
        for (const auto &page : pages) {
            ASSERT_TRUE(page->exchange({{{"id", 1}, {"type", "create"}, {"progId", "Tessarix5.FileUpload"}},
                                        {{"id", 2}, {"type", "put"}, {"object", 1}, {"member", "NewFileName"}, {"value", big}}}));
            page->sendDeaf(gets);
        }
        // Among many, one also sends a message over the limit: the service's close
        // (1009) waits behind what it does not read, and it goes all the same.
        if (count > 1) {
            ASSERT_TRUE(pages.back()->replied());
            waitFor([] { return false; }, 1500); // until the service holds what cannot go out
            pages.back()->sendDeaf({{{"id", 99}, {"type", "put"}, {"object", 1}, {"member", "x"}, {"value", big + big}}});
        }
        // The sessions are numbered as the pages were let in.
        for (const auto &page : pages) {
            const bool over = count > 1 && page == pages.back();
            const QString line = over ? QStringLiteral("session %1 end origin=%2 reason=closed by the service (1009")
                                            .arg(++closed)
                                            .arg(kOrigin)
                                      : QStringLiteral("session %1 closing: the page read nothing for 6 s").arg(++closed);
            ASSERT_TRUE(waitFor([&] { return bridge.auditLog().contains(line); }, 60000)) << bridge.auditLog().toStdString();
            const auto [code, reason] = page->closing();
            if (over)
                continue; // cut off: its close never went out
            EXPECT_EQ(code, 1008) << line.toStdString();
            EXPECT_EQ(reason, QStringLiteral("the page read nothing for 6 s"));
        }
        const qint64 peak = memoryKib(pid, "VmHWM");
        pages.clear();
        ASSERT_TRUE(waitFor([&] { return bridge.status().value(QStringLiteral("sessions")).toArray().isEmpty(); }, 30000));
        if (!kSanitized) { // the sanitizer's allocator keeps what is freed for a while
            EXPECT_LT(peak, (count == 1 ? 64 : 96) * 1024) << count << " pages";
            EXPECT_TRUE(waitFor([&] { return memoryKib(pid, "VmRSS") < start + 8 * 1024; }, 10000))
                << memoryKib(pid, "VmRSS") - start << " KiB more than at the start, after " << count << " pages";
        }
        std::cout << "[ bench    ] service memory, " << count << " deaf pages: start " << start / 1024 << " MiB, peak "
                  << peak / 1024 << " MiB, after " << memoryKib(pid, "VmRSS") / 1024 << " MiB" << std::endl;
    }
}

TEST_F(SessionTest, AnotherAccountIsRefusedBeforeAnythingElse)
{
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    const QString bash = QStandardPaths::findExecutable(QStringLiteral("bash"));
    if (::getuid() != 0 || setpriv.isEmpty() || bash.isEmpty())
        GTEST_SKIP() << "needs root, setpriv and bash to connect as another user";
    const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(bridge.port()) + "\r\n";
    // A request that waits for its answer, then six handshakes of a trusted origin,
    // each closed at once: a socket its program closed is listed as root's.
    const QString script = QStringLiteral("trap '' PIPE; exec 3<>/dev/tcp/127.0.0.1/%1; printf '%s' \"$2\" >&3; cat <&3; "
                                          "for i in 1 2 3 4 5 6; do exec 3<>/dev/tcp/127.0.0.1/%1; printf '%s' \"$1\" >&3 2>/dev/null; exec 3>&-; done")
                               .arg(bridge.port());
    const CommandRun r = [&] {
        QProcess p;
        p.start(setpriv, {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"),
                          bash, QStringLiteral("-c"), script, QStringLiteral("client"),
                          QString::fromLatin1(bridge.upgradeRequest(host + "Origin: " + kOrigin.toUtf8() + "\r\n")),
                          QString::fromLatin1("GET /status HTTP/1.1\r\n" + host + "\r\n")});
        waitFor([&] { return p.state() == QProcess::NotRunning; }, 20000);
        return CommandRun{p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }();
    // Not a byte of an answer, no session and no worker.
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    // Our own request is judged after theirs.
    EXPECT_TRUE(bridge.status().value(QStringLiteral("sessions")).toArray().isEmpty());
    EXPECT_TRUE(bridge.auditLog().contains(QStringLiteral("connection from uid 65534")));
    EXPECT_FALSE(bridge.auditLog().contains(QStringLiteral("session"))) << bridge.auditLog().toStdString();
}

} // namespace
