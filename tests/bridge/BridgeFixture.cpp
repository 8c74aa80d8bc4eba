#include "BridgeFixture.h"

#include "core/Pump.h"

#include <QFile>
#include <QJsonDocument>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocketHandshakeOptions>
#include <gtest/gtest.h>

namespace tx::test {

bool waitFor(const std::function<bool()> &done, int ms)
{
    bool late = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&late] { late = true; });
    deadline.start(ms);
    // Conditions that depend on other processes need a look now and then.
    QTimer tick;
    tick.start(20);
    pump::until([&] { return late || done(); });
    return done();
}

Bridge::Bridge() : env(QProcessEnvironment::systemEnvironment())
{
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), home.path() + QStringLiteral("/state"));
    env.insert(QStringLiteral("TEMP"), home.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TESSARIX_TICK_MS"), QStringLiteral("10"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    service.setProcessEnvironment(env);
    service.setProcessChannelMode(QProcess::SeparateChannels);
    service.start(QStringLiteral(TX_TESSARIX),
                  {QStringLiteral("serve"), QStringLiteral("--automation"), QStringLiteral("--port"), QStringLiteral("0")});
    QByteArray out;
    waitFor([&] {
        out += service.readAllStandardOutput();
        return out.contains('\n') || service.state() == QProcess::NotRunning;
    });
    const qsizetype at = out.indexOf("127.0.0.1:");
    if (at >= 0)
        listening = quint16(out.mid(at + 10).split(' ').first().toUInt());
}

Bridge::~Bridge()
{
    service.terminate();
    if (!service.waitForFinished(5000))
        service.kill();
    service.waitForFinished(5000);
}

QString Bridge::originsFile() const { return home.path() + QStringLiteral("/config/tessarix/origins"); }

QString Bridge::auditLog() const
{
    QFile f(home.path() + QStringLiteral("/state/tessarix/bridge.log"));
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

CommandRun Bridge::tessarix(const QStringList &args)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TX_TESSARIX), args);
    CommandRun r;
    if (!waitFor([&] { return p.state() == QProcess::NotRunning; }, 60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QByteArray Bridge::raw(const QByteArray &request, bool ipv6)
{
    return raw(request, QHostAddress(ipv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost));
}

QByteArray Bridge::raw(const QByteArray &request, const QHostAddress &to)
{
    QTcpSocket s;
    s.connectToHost(to, listening);
    QByteArray got;
    bool sent = false;
    waitFor([&] {
        if (!sent && s.state() == QAbstractSocket::ConnectedState) {
            s.write(request);
            sent = true;
        }
        got += s.readAll();
        // A switch to the WebSocket protocol keeps the connection open.
        return (sent && s.state() == QAbstractSocket::UnconnectedState) ||
               (got.startsWith("HTTP/1.1 101") && got.contains("\r\n\r\n"));
    }, 15000);
    return got + s.readAll();
}

QByteArray Bridge::upgradeRequest(const QByteArray &headers) const
{
    return "GET / HTTP/1.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Protocol: tessarix.1\r\n" +
           headers + "\r\n";
}

QJsonObject Bridge::status()
{
    const QByteArray answer =
        raw("GET /status HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(listening) + "\r\n\r\n");
    return QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4)).object();
}

qint64 Bridge::workerPid(int session)
{
    for (const QJsonValue &s : status().value(QStringLiteral("sessions")).toArray())
        if (s[QStringLiteral("id")].toInt() == session)
            return qint64(s[QStringLiteral("pid")].toDouble());
    return 0;
}

Page::Page(quint16 p, const QString &o, bool sub) : ws(o), origin(o), port(p), subprotocol(sub)
{
    QObject::connect(&ws, &QWebSocket::textMessageReceived, [this](const QString &text) {
        const QJsonObject o = QJsonDocument::fromJson(text.toUtf8()).object();
        (o.contains(QStringLiteral("event")) ? events : replies).append(o);
    });
    QObject::connect(&ws, &QWebSocket::disconnected, [this] { closed = true; });
}

bool Page::open()
{
    QNetworkRequest request(QUrl(QStringLiteral("ws://127.0.0.1:%1/").arg(port)));
    QWebSocketHandshakeOptions options;
    if (subprotocol)
        options.setSubprotocols({QStringLiteral("tessarix.1")});
    ws.open(request, options);
    waitFor([this] { return ws.state() == QAbstractSocket::ConnectedState || closed; }, 15000);
    return ws.state() == QAbstractSocket::ConnectedState;
}

void Page::sendOnly(QJsonObject message)
{
    if (!message.contains(QStringLiteral("id")))
        message.insert(QStringLiteral("id"), nextId++);
    ws.sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
}

QJsonObject Page::waitReply(int id, int ms)
{
    QJsonObject found;
    waitFor([&] {
        for (qsizetype i = 0; i < replies.size(); ++i)
            if (replies[i].value(QStringLiteral("id")).toInt(-1) == id) {
                found = replies.takeAt(i);
                return true;
            }
        return closed;
    }, ms);
    return found;
}

QJsonObject Page::request(QJsonObject message, int ms)
{
    const int id = nextId++;
    message.insert(QStringLiteral("id"), id);
    sendOnly(message);
    return waitReply(id, ms);
}

QJsonValue Page::result(const QJsonObject &reply)
{
    EXPECT_TRUE(reply.contains(QStringLiteral("result"))) << QJsonDocument(reply).toJson().constData();
    return reply.value(QStringLiteral("result"));
}

qint64 Page::errorNumber(const QJsonObject &reply) const
{
    return qint64(reply.value(QStringLiteral("error"))[QStringLiteral("number")].toDouble());
}

int Page::create(const QString &progId)
{
    return result(request({{QStringLiteral("type"), QStringLiteral("create")}, {QStringLiteral("progId"), progId}})).toInt();
}

QJsonObject Page::call(int object, const QString &member, const QJsonArray &args)
{
    return request({{QStringLiteral("type"), QStringLiteral("call")},
                    {QStringLiteral("object"), object},
                    {QStringLiteral("member"), member},
                    {QStringLiteral("args"), args}});
}

QJsonObject Page::get(int object, const QString &member)
{
    return request({{QStringLiteral("type"), QStringLiteral("get")},
                    {QStringLiteral("object"), object},
                    {QStringLiteral("member"), member}});
}

} // namespace tx::test
