// The service end to end: a real `tessarix serve` and its workers, reached over
// raw sockets and a WebSocket client.
#include "BridgeFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <algorithm>
#include <csignal>
#include <unistd.h>

using namespace tx::test;

namespace {

const QString kOrigin = QStringLiteral("http://localhost:8080");
constexpr qint64 kTypeMismatch = qint64(int32_t(0x800A000Du));
constexpr qint64 kInvalidCall = qint64(int32_t(0x800A0005u));
constexpr qint64 kFileNotFound = qint64(int32_t(0x800A0035u));
constexpr qint64 kPermissionDenied = qint64(int32_t(0x800A0046u));
constexpr qint64 kObjectNotSet = qint64(int32_t(0x800A005Bu));
constexpr qint64 kCantCreate = qint64(int32_t(0x800A01ADu));
constexpr qint64 kNoSuchMember = qint64(int32_t(0x800A01B6u));
constexpr qint64 kWrongCount = qint64(int32_t(0x800A01C1u)); // 449: argument not optional

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bridge.started());
        ASSERT_EQ(bridge.tessarix({QStringLiteral("trust"), kOrigin}).status, 0);
    }
    QByteArray host() const { return "Host: 127.0.0.1:" + QByteArray::number(bridge.port()) + "\r\n"; }
    // A trusted page's upgrade over a bare socket; the answer's head.
    QByteArray upgradeBare(QTcpSocket &socket)
    {
        socket.connectToHost(QHostAddress::LocalHost, bridge.port());
        if (!socket.waitForConnected(5000))
            return {};
        socket.write(bridge.upgradeRequest(host() + "Origin: " + kOrigin.toUtf8() + "\r\n"));
        QByteArray head;
        waitFor([&] { head += socket.readAll(); return head.contains("\r\n\r\n"); });
        return head;
    }

    Bridge bridge;
};

QString statusLine(const QByteArray &answer) { return QString::fromLatin1(answer.left(answer.indexOf("\r\n"))); }

TEST_F(ServiceTest, EveryRequestIsDecidedBeforeAnythingIsAnswered)
{
    const QByteArray port = QByteArray::number(bridge.port());
    const QByteArray origin = "Origin: http://localhost:8080\r\n";
    const QByteArray trusted = bridge.upgradeRequest(host() + origin);
    const auto changed = [&trusted](const char *from, const char *to) { return QByteArray(trusted).replace(from, to); };
    const QByteArray key = "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n";
    struct Row {
        const char *name;
        QByteArray request;
        const char *status;
        bool ipv6 = false;
        const char *header = nullptr; // a header line the answer must have
        const char *to = nullptr;     // the address connected to, when not the default
    } rows[] = {
        {"status", "GET /status HTTP/1.1\r\n" + host() + "\r\n", "HTTP/1.1 200"},
        {"status over ::1", "GET /status HTTP/1.1\r\nHost: [::1]:" + port + "\r\n\r\n", "HTTP/1.1 200", true},
        // A dual-stack client socket is listed among the IPv6 ones: still ours.
        {"status from an IPv4-mapped address", "GET /status HTTP/1.1\r\n" + host() + "\r\n", "HTTP/1.1 200", false, nullptr,
         "::ffff:127.0.0.1"},
        {"script", "GET /tessarix.js HTTP/1.1\r\nHost: localhost:" + port + "\r\n\r\n", "HTTP/1.1 200"},
        {"preflight", "OPTIONS /status HTTP/1.1\r\n" + host() + origin + "\r\n", "HTTP/1.1 204"},
        {"unknown path", "GET /etc/passwd HTTP/1.1\r\n" + host() + "\r\n", "HTTP/1.1 404"},
        {"post", "POST /status HTTP/1.1\r\n" + host() + "Content-Length: 0\r\n\r\n", "HTTP/1.1 404"},
        {"rebound host", "GET /status HTTP/1.1\r\nHost: attacker.example:" + port + "\r\n\r\n", "HTTP/1.1 403"},
        {"upgrade, no origin", bridge.upgradeRequest(host()), "HTTP/1.1 403"},
        {"host on another port", "GET /status HTTP/1.1\r\nHost: 127.0.0.1:1\r\n\r\n", "HTTP/1.1 403"},
        {"no host", "GET /status HTTP/1.1\r\n\r\n", "HTTP/1.1 403"},
        {"host with a suffix", "GET /status HTTP/1.1\r\nHost: 127.0.0.1:" + port + ".evil.example\r\n\r\n", "HTTP/1.1 403"},
        {"host with a final dot", "GET /status HTTP/1.1\r\nHost: localhost.:" + port + "\r\n\r\n", "HTTP/1.1 403"},
        {"host port with a leading zero", "GET /status HTTP/1.1\r\nHost: 127.0.0.1:0" + port + "\r\n\r\n", "HTTP/1.1 403"},
        {"two hosts, lower and upper case", "GET /status HTTP/1.1\r\nhost: 127.0.0.1:" + port + "\r\nHOST: evil.example\r\n\r\n",
         "HTTP/1.1 403"},
        {"upgrade, rebound host", bridge.upgradeRequest("Host: attacker.example:" + port + "\r\n" + origin), "HTTP/1.1 403"},
        {"upgrade, null origin", bridge.upgradeRequest(host() + "Origin: null\r\n"), "HTTP/1.1 403"},
        {"upgrade, untrusted origin", bridge.upgradeRequest(host() + "Origin: http://localhost:8081\r\n"), "HTTP/1.1 403"},
        {"upgrade, origin with a user", bridge.upgradeRequest(host() + "Origin: http://me@localhost:8080\r\n"), "HTTP/1.1 403"},
        {"upgrade, origin with a bare CR", bridge.upgradeRequest(host() + "Origin: http://localhost:8080\rX: 1\r\n"), "HTTP/1.1 403"},
        {"upgrade, origin on another scheme", bridge.upgradeRequest(host() + "Origin: https://localhost:8080\r\n"), "HTTP/1.1 403"},
        {"upgrade, two origins", bridge.upgradeRequest(host() + origin + "Origin: http://evil.example\r\n"), "HTTP/1.1 403"},
        // An Origin that no browser writes is never echoed, nor taken for another.
        {"status, origin with a CR", "GET /status HTTP/1.1\r\n" + host() + "Origin: http://localhost:8081\rInjected: 1\r\n\r\n",
         "HTTP/1.1 403"},
        {"preflight, origin with a CR", "OPTIONS /status HTTP/1.1\r\n" + host() + "Origin: http://localhost:8081\rInjected: 1\r\n\r\n",
         "HTTP/1.1 403"},
        {"status, origin with a path", "GET /status HTTP/1.1\r\n" + host() + "Origin: http://localhost:8081/Injected\r\n\r\n",
         "HTTP/1.1 403"},
        {"preflight, origin with a tab", "OPTIONS /status HTTP/1.1\r\n" + host() + "Origin: http://localhost:8081\tInjected\r\n\r\n",
         "HTTP/1.1 403"},
        {"status, origin with \\x01", "GET /status HTTP/1.1\r\n" + host() + "Origin: http://localhost:8081\x01Injected\r\n\r\n",
         "HTTP/1.1 403"},
        {"upgrade, origin with a path", changed("Origin: http://localhost:8080", "Origin: http://localhost:8080/Injected"), "HTTP/1.1 403"},
        {"status, origin on port 99999", "GET /status HTTP/1.1\r\n" + host() + "Origin: http://localhost:99999\r\n\r\n", "HTTP/1.1 403"},
        {"preflight, origin port with a leading zero", "OPTIONS /status HTTP/1.1\r\n" + host() + "Origin: http://localhost:08081\r\n\r\n",
         "HTTP/1.1 403"},
        {"status, an opaque origin", "GET /status HTTP/1.1\r\n" + host() + "Origin: null\r\n\r\n", "HTTP/1.1 200", false,
         "Access-Control-Allow-Origin: null"},
        // Handshakes outside the protocol, each with its reason.
        {"upgrade over HTTP/1.0", changed("GET / HTTP/1.1", "GET / HTTP/1.0"), "HTTP/1.1 400"},
        {"upgrade over HTTP/1.9", changed("GET / HTTP/1.1", "GET / HTTP/1.9"), "HTTP/1.1 400"},
        {"upgrade without a key", changed(key.constData(), ""), "HTTP/1.1 400"},
        {"upgrade, key without its padding", changed(key.constData(), "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ\r\n"), "HTTP/1.1 400"},
        {"upgrade, key of 15 bytes", changed(key.constData(), "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25j\r\n"), "HTTP/1.1 400"},
        {"upgrade, key not base64", changed(key.constData(), "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ=!\r\n"), "HTTP/1.1 400"},
        {"upgrade, key of 17 bytes", changed(key.constData(), "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZSE=\r\n"), "HTTP/1.1 400"},
        {"upgrade, key with bits beyond its 16 bytes", changed(key.constData(), "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZR==\r\n"),
         "HTTP/1.1 400"},
        {"upgrade, key with a space", changed(key.constData(), "Sec-WebSocket-Key: dGhlIHNhbXB sZSBub25jZQ=\r\n"), "HTTP/1.1 400"},
        {"upgrade, two keys", changed(key.constData(), key + key), "HTTP/1.1 400"},
        {"upgrade, versions 13 and 8", changed("Sec-WebSocket-Version: 13", "Sec-WebSocket-Version: 13, 8"), "HTTP/1.1 400"},
        {"upgrade, version 013", changed("Sec-WebSocket-Version: 13", "Sec-WebSocket-Version: 013"), "HTTP/1.1 400"},
        {"upgrade, version twice", changed("Sec-WebSocket-Version: 13\r\n", "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Version: 13\r\n"),
         "HTTP/1.1 400"},
        {"upgrade with a body", changed("Sec-WebSocket-Version: 13\r\n", "Sec-WebSocket-Version: 13\r\nContent-Length: 5\r\n") + "hello",
         "HTTP/1.1 400"},
        {"upgrade with a chunked body",
         changed("Sec-WebSocket-Version: 13\r\n", "Sec-WebSocket-Version: 13\r\nTransfer-Encoding: chunked\r\n") + "5\r\nhello\r\n0\r\n\r\n",
         "HTTP/1.1 400"},
        {"upgrade, WebSocket version 8", changed("Sec-WebSocket-Version: 13", "Sec-WebSocket-Version: 8"), "HTTP/1.1 426", false,
         "Sec-WebSocket-Version: 13"},
        {"upgrade without a WebSocket version", changed("Sec-WebSocket-Version: 13\r\n", ""), "HTTP/1.1 400"},
        {"upgrade, trusted", trusted, "HTTP/1.1 101"},
        {"upgrade, default port spelled", bridge.upgradeRequest(host() + "Origin: http://LOCALHOST:8080\r\n"), "HTTP/1.1 101"},
        {"head over 8 KiB", "GET /status HTTP/1.1\r\n" + host() + "X: " + QByteArray(9000, 'a') + "\r\n\r\n", "HTTP/1.1 431"},
        {"garbage", "\x16\x03\x01 hello\r\n\r\n", "HTTP/1.1 400"},
    };
    qint64 refused = 0;
    for (const Row &r : rows) {
        const QByteArray answer = r.to ? bridge.raw(r.request, QHostAddress(QString::fromLatin1(r.to))) : bridge.raw(r.request, r.ipv6);
        EXPECT_TRUE(answer.startsWith(r.status)) << r.name << ": " << statusLine(answer).toStdString();
        const QByteArray head = answer.left(answer.indexOf("\r\n\r\n") + 2);
        EXPECT_FALSE(head.contains("Injected")) << r.name;
        if (r.header) {
            EXPECT_TRUE(head.contains(QByteArray(r.header) + "\r\n")) << r.name << ": " << head.constData();
        }
        // A refusal says why in one line, and is audited.
        const QByteArray body = answer.mid(head.size() + 2);
        if (!answer.startsWith("HTTP/1.1 1") && !answer.startsWith("HTTP/1.1 2")) {
            EXPECT_TRUE(body.endsWith('\n') && body.count('\n') == 1 && body.size() > 1) << r.name << ": " << body.constData();
            refused += answer.startsWith("HTTP/1.1 404") ? 0 : 1;
        }
    }
    // Without a subprotocol the page would not speak ours.
    const QByteArray noSub = "GET / HTTP/1.1\r\n" + host() + origin +
                             "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                             "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";
    EXPECT_TRUE(bridge.raw(noSub).startsWith("HTTP/1.1 400"));
    ++refused;
    const QString log = bridge.auditLog();
    EXPECT_TRUE(log.contains(QStringLiteral("refused 127.0.0.1 403: origin http://localhost:8081 is not trusted"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("WebSocket without an Origin")));
    EXPECT_TRUE(log.contains(QStringLiteral("refused 127.0.0.1 400: a WebSocket handshake is an HTTP/1.1 request"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("Origin \"http://localhost:8081\\x0dInjected: 1\" is not an origin"))) << log.toStdString();
    // The rest in the counts of their minute.
    EXPECT_TRUE(waitFor([&] { return refusalsCounted(bridge.auditLog()) == refused; }, 30000))
        << refused << " refused:\n" << bridge.auditLog().toStdString();
}

TEST_F(ServiceTest, StatusTellsABrowserOnlyWhatItNeeds)
{
    const QByteArray answer = bridge.raw("GET /status HTTP/1.1\r\n" + host() + "Origin: http://localhost:8081\r\n\r\n");
    EXPECT_TRUE(answer.contains("Access-Control-Allow-Origin: http://localhost:8081\r\n"));
    const QJsonObject o = QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4)).object();
    EXPECT_EQ(o.value(QStringLiteral("originTrusted")), QJsonValue(false));
    EXPECT_EQ(o.value(QStringLiteral("protocol")).toString(), QStringLiteral("tessarix.1"));
    EXPECT_FALSE(o.contains(QStringLiteral("sessions")));
    EXPECT_TRUE(bridge.status().contains(QStringLiteral("sessions")));
}

// A page of a trusted origin that breaks the protocol, then a flood of refused
// requests: the sessions' records stay in the log, each saying who closed, and
// every refusal is counted without a line each.
TEST_F(ServiceTest, AHostilePageIsClosedAndItsFloodCountedNotWritten)
{
    {
        Page page(bridge.port(), kOrigin);
        ASSERT_TRUE(page.open());
        ASSERT_GT(page.create(QStringLiteral("Tessarix5.Helper")), 0);
        page.socket().close(QWebSocketProtocol::CloseCodeGoingAway, QStringLiteral("tab closed"));
        ASSERT_TRUE(waitFor([&] { return page.closed; }));
    }
    // A frame without a mask, after a masked one; only the first is taken.
    QTcpSocket raw;
    QByteArray got = upgradeBare(raw);
    ASSERT_TRUE(got.startsWith("HTTP/1.1 101")) << got.constData();
    const QByteArray request = R"({"id":1,"type":"create","progId":"Tessarix5.Helper"})";
    QByteArray masked = "\x81" + QByteArray(1, char(0x80 | request.size())) + QByteArray("\x01\x02\x03\x04", 4);
    for (qsizetype i = 0; i < request.size(); ++i)
        masked += char(request[i] ^ "\x01\x02\x03\x04"[i % 4]);
    raw.write(masked);
    ASSERT_TRUE(waitFor([&] { got += raw.readAll(); return got.contains("\"result\""); })) << got.constData();
    raw.write("\x81" + QByteArray(1, char(request.size())) + request);
    ASSERT_TRUE(waitFor([&] { got += raw.readAll(); return raw.state() == QAbstractSocket::UnconnectedState; }));
    const qsizetype close = got.indexOf("\x88");
    ASSERT_GE(close, 0) << got.toHex().constData();
    EXPECT_EQ(got.mid(close + 2, 2), QByteArray("\x03\xea", 2)) << "1002";
    EXPECT_EQ(got.count("\"result\""), 1);
    // A page whose connection breaks without a close.
    QTcpSocket broken;
    ASSERT_TRUE(upgradeBare(broken).startsWith("HTTP/1.1 101"));
    broken.abort();
    // A frame sent with the head, before the answer: the handshake took it, so it is
    // never answered; the page is told so instead of waiting.
    QTcpSocket early;
    early.connectToHost(QHostAddress::LocalHost, bridge.port());
    ASSERT_TRUE(early.waitForConnected(5000));
    early.write(bridge.upgradeRequest(host() + "Origin: " + kOrigin.toUtf8() + "\r\n") + masked);
    QByteArray told;
    ASSERT_TRUE(waitFor([&] { told += early.readAll(); return early.state() == QAbstractSocket::UnconnectedState || told.contains("answered"); }));
    EXPECT_TRUE(told.startsWith("HTTP/1.1 101")) << told.constData();
    EXPECT_TRUE(told.contains("\x88\x2f\x03\xea" "frames came before the handshake was answered")) << told.toHex().constData();
    early.abort();

    // Refused in many ways from many origins, over a few connections at a time.
    const QByteArray port = QByteArray::number(bridge.port());
    const auto refusedRequest = [&](int i) -> QByteArray {
        const QByteArray origin = "Origin: https://o" + QByteArray::number(i % 40) + ".example\r\n";
        switch (i % 4) {
        case 0: return bridge.upgradeRequest(host() + origin);
        case 1: return "GET /status HTTP/1.1\r\n" + host() + "Origin: http://x\rInjected: " + QByteArray::number(i) + "\r\n\r\n";
        case 2: return QByteArray(bridge.upgradeRequest(host() + origin)).replace("Version: 13", "Version: 8");
        default: return "GET /status HTTP/1.1\r\nHost: rebound" + QByteArray::number(i) + ".example:" + port + "\r\n" + origin + "\r\n";
        }
    };
    constexpr int kFlood = 1000;
    constexpr int kAtOnce = 25;
    QElapsedTimer flood;
    flood.start();
    for (int first = 0; first < kFlood; first += kAtOnce) {
        std::vector<std::unique_ptr<QTcpSocket>> sockets;
        for (int i = first; i < first + kAtOnce; ++i) {
            sockets.push_back(std::make_unique<QTcpSocket>());
            QTcpSocket *s = sockets.back().get();
            QObject::connect(s, &QTcpSocket::connected, s, [s, r = refusedRequest(i)] { s->write(r); });
            QObject::connect(s, &QTcpSocket::readyRead, s, [s] { s->readAll(); });
            s->connectToHost(QHostAddress::LocalHost, bridge.port());
        }
        ASSERT_TRUE(waitFor([&] {
            return std::all_of(sockets.begin(), sockets.end(),
                               [](const auto &s) { return s->state() == QAbstractSocket::UnconnectedState; });
        })) << first;
    }
    // The fixture's tick makes a minute of 6 s.
    const qint64 minutes = flood.elapsed() / 6000 + 2;
    {
        Page after(bridge.port(), kOrigin);
        ASSERT_TRUE(after.open());
    }
    // The counts of the last minute come at its end.
    ASSERT_TRUE(waitFor([&] { return refusalsCounted(bridge.auditLog()) == kFlood; }, 30000))
        << refusalsCounted(bridge.auditLog()) << "\n" << bridge.auditLog().toStdString();
    ASSERT_TRUE(waitFor([&] { return bridge.auditLog().contains(QStringLiteral("session 5 end")); }));
    const QString log = bridge.auditLog();
    EXPECT_TRUE(log.contains(QStringLiteral("session 1 end origin=%1 reason=closed by the page (1001 tab closed)").arg(kOrigin)))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("session 2 end origin=%1 reason=closed by the service (1002 ").arg(kOrigin)))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("session 1 create Tessarix5.Helper")));
    EXPECT_TRUE(log.contains(QStringLiteral("session 3 end origin=%1 reason=the page's connection ended without a close").arg(kOrigin)))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("session 4 end origin=%1 reason=closed by the service (1002 frames came before").arg(kOrigin)))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("session 5 start")));
    EXPECT_LE(log.count(QStringLiteral(" refused 127.0.0.1 ")), minutes * 16 * 3) << "a line for each refusal";
    EXPECT_TRUE(log.contains(QStringLiteral("more refused from other origins")));
    EXPECT_FALSE(log.contains(QStringLiteral("\nInjected"))) << "a line forged by a page";
}

TEST_F(ServiceTest, TheAllowListIsReadAgainWhenItChanges)
{
    {
        Page page(bridge.port(), kOrigin);
        ASSERT_TRUE(page.open());
    }
    ASSERT_EQ(bridge.tessarix({QStringLiteral("untrust"), kOrigin}).status, 0);
    Page refused(bridge.port(), kOrigin);
    EXPECT_FALSE(refused.open());
    // Edited by hand while the service runs.
    QFile f(bridge.originsFile());
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("HTTP://localhost:8080/\n");
    f.close();
    Page again(bridge.port(), kOrigin);
    EXPECT_TRUE(again.open());
    // Plain http from another machine is never trusted; https is.
    EXPECT_EQ(bridge.tessarix({QStringLiteral("trust"), QStringLiteral("http://cms.example.org")}).status, 1);
    EXPECT_EQ(bridge.tessarix({QStringLiteral("trust"), QStringLiteral("https://cms.example.org:443")}).status, 0);
    const CommandRun list = bridge.tessarix({QStringLiteral("trust"), QStringLiteral("--list")});
    EXPECT_TRUE(list.out.contains(QStringLiteral("https://cms.example.org\n"))) << list.out.toStdString();
    EXPECT_EQ(QFile(bridge.originsFile()).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup), 0);
}

TEST_F(ServiceTest, EveryMessageKindAndItsErrors)
{
    Page page(bridge.port(), kOrigin);
    ASSERT_TRUE(page.open());
    const int upload = page.create(QStringLiteral("Tessarix5.FileUpload"));
    const int helper = page.create(QStringLiteral("tessarix5.helper"));
    EXPECT_GT(upload, 0);
    EXPECT_NE(upload, helper);

    EXPECT_EQ(page.result(page.get(upload, QStringLiteral("NewFileName"))).toString(), QString());
    EXPECT_TRUE(page.result(page.request({{"type", "put"}, {"object", upload}, {"member", "newfilename"}, {"value", "a.jpg"}})).isNull());
    EXPECT_EQ(page.result(page.get(upload, QStringLiteral("NewFileName"))).toString(), QStringLiteral("a.jpg"));
    EXPECT_EQ(page.result(page.call(helper, QStringLiteral("getFileExtName"), {QStringLiteral("x/y.JPG")})).toString(),
              QStringLiteral("JPG"));

    struct Row {
        const char *name;
        QJsonObject message;
        qint64 number;
    } rows[] = {
        {"unknown member", {{"type", "call"}, {"object", upload}, {"member", "Format"}}, kNoSuchMember},
        {"call of a property", {{"type", "call"}, {"object", upload}, {"member", "NewFileName"}}, kNoSuchMember},
        {"get of a method", {{"type", "get"}, {"object", upload}, {"member", "TestOK"}}, kNoSuchMember},
        {"wrong argument count", {{"type", "call"}, {"object", helper}, {"member", "getFileExtName"}, {"args", QJsonArray{}}},
         kWrongCount},
        {"argument of no type", {{"type", "call"}, {"object", helper}, {"member", "getFileExtName"}, {"args", QJsonArray{QJsonObject{}}}},
         kTypeMismatch},
        {"object of another session", {{"type", "get"}, {"object", 99}, {"member", "NewFileName"}}, kObjectNotSet},
        {"object id not a number", {{"type", "get"}, {"object", "1"}, {"member", "NewFileName"}}, kTypeMismatch},
        {"object id fractional", {{"type", "release"}, {"object", 1.5}}, kTypeMismatch},
        {"args not an array", {{"type", "call"}, {"object", helper}, {"member", "GetClipFiles"}, {"args", "x"}}, kTypeMismatch},
        {"unknown type", {{"type", "eval"}, {"code", "1"}}, kInvalidCall},
        {"no type", {{"object", 1}}, kInvalidCall},
        {"ProgID outside the catalogue", {{"type", "create"}, {"progId", "Scripting.FileSystemObject"}}, kCantCreate},
        {"private class", {{"type", "create"}, {"progId", "Tessarix5.CompondFile"}}, kCantCreate},
        {"automation without --automation is fine here", {{"type", "automation"}, {"name", "nothing"}}, kNoSuchMember},
        {"local path not chosen", {{"type", "call"}, {"object", upload}, {"member", "GetFileSize"}, {"args", QJsonArray{"/etc/passwd"}}},
         kPermissionDenied},
        {"local path escaping by ..", {{"type", "call"}, {"object", upload}, {"member", "AddUploadFile"}, {"args", QJsonArray{"f", "/tmp/../etc/passwd"}}},
         kPermissionDenied},
        // A number or a boolean becomes a relative name, read from the worker's folder.
        {"local path as a number", {{"type", "call"}, {"object", upload}, {"member", "GetFileSize"}, {"args", QJsonArray{1}}},
         kPermissionDenied},
        {"local path as a boolean", {{"type", "call"}, {"object", upload}, {"member", "GetFileSize"}, {"args", QJsonArray{true}}},
         kPermissionDenied},
        // A page's own words would fill the audit log and rotate away what it recorded.
        {"unknown member, a long name", {{"type", "call"}, {"object", upload}, {"member", QString(300000, QLatin1Char('M'))}},
         kNoSuchMember},
        {"put of an unknown member, a long name",
         {{"type", "put"}, {"object", upload}, {"member", QString(300000, QLatin1Char('M'))}, {"value", 1}}, kNoSuchMember},
    };
    for (const Row &r : rows) {
        const QJsonObject reply = page.request(r.message);
        EXPECT_EQ(page.errorNumber(reply), r.number) << r.name << ": " << QJsonDocument(reply).toJson().constData();
        EXPECT_FALSE(reply.value(QStringLiteral("error"))[QStringLiteral("description")].toString().isEmpty()) << r.name;
    }
    const QJsonObject denied = page.request(rows[14].message);
    EXPECT_TRUE(denied.value("error")["description"].toString().contains(QStringLiteral("p_filename")));

    // Frames that are no request at all are answered with id null.
    const QString deep = QString(5000, QLatin1Char('[')) + QString(5000, QLatin1Char(']'));
    for (const QString &frame : {QStringLiteral("{not json"), QStringLiteral("[1,2]"), QStringLiteral("{\"type\":\"get\"}"), deep}) {
        page.socket().sendTextMessage(frame);
        ASSERT_TRUE(waitFor([&] { return !page.replies.isEmpty(); }));
        const QJsonObject reply = page.replies.takeFirst();
        EXPECT_TRUE(reply.value(QStringLiteral("id")).isNull()) << frame.toStdString();
        EXPECT_TRUE(reply.contains(QStringLiteral("error"))) << frame.toStdString();
    }
    page.socket().sendBinaryMessage("{}");
    ASSERT_TRUE(waitFor([&] { return !page.replies.isEmpty(); }));
    EXPECT_EQ(page.errorNumber(page.replies.takeFirst()), kInvalidCall);

    // A chosen file, and everything under a chosen folder, may be named.
    QTemporaryDir dir;
    QFile picked(dir.filePath(QStringLiteral("picked.txt")));
    ASSERT_TRUE(picked.open(QIODevice::WriteOnly));
    picked.write("12345");
    picked.close();
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    QFile inner(dir.filePath(QStringLiteral("sub/inner.txt")));
    ASSERT_TRUE(inner.open(QIODevice::WriteOnly));
    inner.write("123");
    inner.close();
    page.result(page.request({{"type", "automation"}, {"name", "answerFileDialogs"}, {"args", QJsonArray{QJsonArray{QJsonArray{picked.fileName()}}}}}));
    page.result(page.request({{"type", "automation"}, {"name", "answerFolderDialogs"}, {"args", QJsonArray{QJsonArray{dir.filePath(QStringLiteral("sub"))}}}}));
    EXPECT_EQ(page.result(page.request({{"type", "choose"}})).toArray(), QJsonArray{picked.fileName()});
    EXPECT_EQ(page.result(page.call(upload, QStringLiteral("GetFileSize"), {picked.fileName()})).toInt(), 5);
    EXPECT_EQ(page.result(page.request({{"type", "choose"}, {"folder", true}})).toArray(),
              QJsonArray{dir.filePath(QStringLiteral("sub"))});
    EXPECT_EQ(page.result(page.call(upload, QStringLiteral("GetFileSize"), {dir.filePath(QStringLiteral("sub/inner.txt"))})).toInt(), 3);
    EXPECT_EQ(page.errorNumber(page.call(upload, QStringLiteral("GetFileSize"), {dir.filePath(QStringLiteral("other.txt"))})),
              kPermissionDenied);
    EXPECT_EQ(page.result(page.request({{"type", "choose"}})).toArray(), QJsonArray{}); // cancelled

    // What is judged is the file opened, not the text. A NUL ends the name the
    // kernel sees at a link leading out; a granted file swapped for such a link
    // after it was added is refused when the upload opens it.
    QTemporaryDir away;
    QFile secret(away.filePath(QStringLiteral("secret.txt")));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("secret!");
    secret.close();
    ASSERT_TRUE(QFile::link(secret.fileName(), dir.filePath(QStringLiteral("sub/out-link"))));
    const QString nul = dir.filePath(QStringLiteral("sub/out-link")) + QChar(0);
    const struct {
        const char *member;
        QJsonArray args;
    } nuls[] = {{"GetFileSize", {nul}}, {"AddUploadFile", {"f", nul}}};
    for (const auto &r : nuls) {
        const QJsonObject reply = page.call(upload, QLatin1String(r.member), r.args);
        EXPECT_EQ(page.errorNumber(reply), kFileNotFound) << r.member << QJsonDocument(reply).toJson().constData();
        EXPECT_TRUE(reply.value("error")["description"].toString().contains(QStringLiteral("NUL"))) << r.member;
    }
    EXPECT_TRUE(page.result(page.call(upload, QStringLiteral("AddUploadFile"), {"f", inner.fileName()})).isNull());
    ASSERT_TRUE(QFile::remove(inner.fileName()));
    ASSERT_TRUE(QFile::link(secret.fileName(), inner.fileName()));
    const QJsonObject swapped = page.call(upload, QStringLiteral("UploadFile"));
    EXPECT_EQ(page.errorNumber(swapped), kPermissionDenied) << QJsonDocument(swapped).toJson().constData();
    EXPECT_TRUE(swapped.value("error")["description"].toString().contains(QStringLiteral("outside")));

    // show: a form in its own window; a window-less object has none.
    EXPECT_TRUE(page.result(page.request({{"type", "show"}, {"object", upload}})).isNull());
    EXPECT_EQ(page.errorNumber(page.request({{"type", "show"}, {"object", helper}})), kInvalidCall);

    EXPECT_TRUE(page.result(page.request({{"type", "release"}, {"object", upload}})).isNull());
    EXPECT_EQ(page.errorNumber(page.get(upload, QStringLiteral("NewFileName"))), kObjectNotSet);
    EXPECT_EQ(page.errorNumber(page.request({{"type", "release"}, {"object", upload}})), kObjectNotSet);

    const QString log = bridge.auditLog();
    EXPECT_TRUE(log.contains(QStringLiteral("create Tessarix5.FileUpload as object 1")));
    EXPECT_TRUE(log.contains(QStringLiteral("call Helper.getFileExtName")));
    EXPECT_FALSE(log.contains(QStringLiteral("x/y.JPG"))) << "argument values stay out of the log";
    EXPECT_FALSE(log.contains(QString(100, QLatin1Char('M')))) << "unknown member names stay out of the log";
    EXPECT_TRUE(log.contains(QStringLiteral("session 1 refused call FileUpload.GetFileSize: argument p_filename names a path not given")))
        << "a path refused is audited";
}

} // namespace

namespace {

TEST_F(ServiceTest, OneBridgePerPortAndNoneWithoutADisplay)
{
    const QString port = QString::number(bridge.port());
    const CommandRun again = bridge.tessarix({QStringLiteral("serve"), QStringLiteral("--automation"), QStringLiteral("--port"), port});
    EXPECT_EQ(again.status, 0);
    EXPECT_TRUE(again.err.contains(QStringLiteral("already running on 127.0.0.1:") + port)) << again.err.toStdString();
    const CommandRun quiet = bridge.tessarix(
        {QStringLiteral("serve"), QStringLiteral("--automation"), QStringLiteral("--if-not-running"), QStringLiteral("--port"), port});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_FALSE(quiet.err.contains(QStringLiteral("already")));

    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost));
    const CommandRun busy = bridge.tessarix({QStringLiteral("serve"), QStringLiteral("--automation"), QStringLiteral("--port"),
                                             QString::number(other.serverPort())});
    EXPECT_EQ(busy.status, 1);
    EXPECT_TRUE(busy.err.contains(QStringLiteral("--port"))) << busy.err.toStdString();

    const CommandRun headless = bridge.tessarix({QStringLiteral("serve"), QStringLiteral("--port"), QStringLiteral("0")});
    EXPECT_EQ(headless.status, 1);
    EXPECT_TRUE(headless.err.contains(QStringLiteral("--automation")));
}

} // namespace
