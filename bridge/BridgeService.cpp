#include "bridge/BridgeService.h"

#include "bridge/AuditLog.h"
#include "bridge/FrameGuard.h"
#include "bridge/OriginPrompt.h"
#include "bridge/PeerUid.h"
#include "bridge/Protocol.h"
#include "core/Pump.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <malloc.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tx::bridge {
namespace {

constexpr int kHeadDeadlineMs = 5000;
constexpr int kLingerMs = 2000;
constexpr char kExamined[] = "tx.examined";
constexpr char kHeadSize[] = "tx.head-size";
constexpr char kOrigin[] = "tx.origin";

QByteArray statusText(int status)
{
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 408: return "Request Timeout";
    case 426: return "Upgrade Required";
    case 431: return "Request Header Fields Too Large";
    default: return "Error";
    }
}

QString clientOf(const QTcpSocket *s) { return s->peerAddress().toString() + QLatin1Char('|') + QString::number(s->peerPort()); }

bool hasToken(const QByteArray &list, const char *token)
{
    for (const QByteArray &t : list.split(','))
        if (t.trimmed() == token)
            return true;
    return false;
}

} // namespace

BridgeService::BridgeService(ServeOptions opts, OriginList &list, AuditLog &log)
    : options(opts), origins(list), audit(log), sockets(QStringLiteral("tessarix"), QWebSocketServer::NonSecureMode)
{
    sockets.setSupportedSubprotocols({QString::fromLatin1(kSubprotocol)});
    connect(&v4, &QTcpServer::newConnection, this, [this] { acceptFrom(v4); });
    connect(&v6, &QTcpServer::newConnection, this, [this] { acceptFrom(v6); });
    connect(&sockets, &QWebSocketServer::newConnection, this, &BridgeService::onWebSocket);
    // The counts of refusals are written at the end of their minute even when
    // nothing else comes.
    refusalMinute.setInterval(int(AuditLog::minute()));
    connect(&refusalMinute, &QTimer::timeout, this, [this] { audit.flush(); });
    refusalMinute.start();
}

BridgeService::~BridgeService() { qDeleteAll(sessions); }

bool BridgeService::listen(QString *error, bool *inUse)
{
    *inUse = false;
    if (!v4.listen(QHostAddress::LocalHost, options.port)) {
        *inUse = v4.serverError() == QAbstractSocket::AddressInUseError;
        *error = v4.errorString();
        return false;
    }
    boundPort = v4.serverPort();
    // A machine without IPv6 has no ::1; the IPv4 address still serves.
    if (!v6.listen(QHostAddress::LocalHostIPv6, boundPort) && v6.serverError() == QAbstractSocket::AddressInUseError) {
        *inUse = true;
        *error = v6.errorString();
        v4.close();
        return false;
    }
    return true;
}

void BridgeService::acceptFrom(QTcpServer &server)
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // Another account on this machine never gets a word from us.
        const auto uid = peerUid(socket->peerAddress(), socket->peerPort(), socket->localAddress(), socket->localPort());
        if (!uid || *uid != ::getuid()) {
            audit.refused(socket->peerAddress().toString(), {},
                          QStringLiteral("refused %1: %2").arg(socket->peerAddress().toString(),
                                                              uid ? QStringLiteral("connection from uid %1").arg(*uid)
                                                                  : QStringLiteral("connection of unknown owner")));
            socket->abort();
            continue;
        }
        socket->setReadBufferSize(kMaxHead);
        auto *deadline = new QTimer(socket);
        deadline->setObjectName(QStringLiteral("head-deadline"));
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, [this, socket] {
            if (!socket->property(kExamined).toBool())
                refuse(socket, 408, QStringLiteral("no request head within 5 s"));
        });
        deadline->start(kHeadDeadlineMs);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { examine(socket); });
        examine(socket);
    }
}

// Peeks, so that the bytes stay for the WebSocket server if the request goes there.
void BridgeService::examine(QTcpSocket *socket)
{
    if (socket->property(kExamined).toBool())
        return;
    const RequestHead head = parseRequestHead(socket->peek(kMaxHead));
    switch (head.state) {
    case RequestHead::State::Incomplete:
        return;
    case RequestHead::State::TooLarge:
        socket->setProperty(kExamined, true);
        refuse(socket, 431, QStringLiteral("request head over 8 KiB"));
        return;
    case RequestHead::State::Malformed:
        socket->setProperty(kExamined, true);
        refuse(socket, 400, QStringLiteral("malformed request head"));
        return;
    case RequestHead::State::Complete:
        socket->setProperty(kExamined, true);
        socket->setProperty(kHeadSize, qint64(head.size));
        socket->setProperty(kOrigin, head.header("origin"));
        if (QTimer *t = socket->findChild<QTimer *>(QStringLiteral("head-deadline")))
            t->stop();
        route(socket, head);
        return;
    }
}

void BridgeService::route(QTcpSocket *socket, const RequestHead &head)
{
    // A name other than the loopback's could be one rebound by a foreign page.
    if (!hostIsOurs(head.header("host"), boundPort)) {
        refuse(socket, 403, QStringLiteral("Host \"%1\" is not this service").arg(AuditLog::shown(head.header("host"))));
        return;
    }
    // Echoed into a header below: only what a browser could have sent.
    const QByteArray origin = head.header("origin");
    if (head.has("origin") && !isSerializedOrigin(origin)) {
        refuse(socket, 403, QStringLiteral("Origin \"%1\" is not an origin").arg(AuditLog::shown(origin)));
        return;
    }
    const QList<QByteArray> cors = head.has("origin")
                                       ? QList<QByteArray>{"Access-Control-Allow-Origin: " + origin, "Vary: Origin"}
                                       : QList<QByteArray>{};
    switch (routeOf(head)) {
    case Route::Status:
        answer(socket, 200, QJsonDocument(status(head)).toJson(QJsonDocument::Compact),
               cors + QList<QByteArray>{"Content-Type: application/json", "Cache-Control: no-store"});
        return;
    case Route::Preflight:
        answer(socket, 204, {},
               cors + QList<QByteArray>{"Access-Control-Allow-Methods: GET", "Access-Control-Allow-Private-Network: true",
                                        "Access-Control-Max-Age: 600"});
        return;
    case Route::Script: {
        QFile script(QStringLiteral(":/bridge/tessarix.js"));
        script.open(QIODevice::ReadOnly);
        answer(socket, 200, script.readAll(),
               {"Content-Type: text/javascript; charset=utf-8", "Access-Control-Allow-Origin: *", "Cache-Control: no-cache"});
        return;
    }
    case Route::Upgrade:
        upgrade(socket, head);
        return;
    case Route::NotFound:
        answer(socket, 404, "not found\n", {"Content-Type: text/plain"});
        return;
    }
}

QJsonObject BridgeService::status(const RequestHead &head)
{
    QJsonObject o{{QStringLiteral("version"), QStringLiteral(TESSARIX_VERSION)},
                  {QStringLiteral("protocol"), QString::fromLatin1(kSubprotocol)}};
    if (head.has("origin")) {
        const QString origin = normalizeOrigin(QString::fromUtf8(head.header("origin")));
        const bool trusted = origins.find(origin) != nullptr;
        if (trusted && prompt)
            prompt->forget(origin);
        o.insert(QStringLiteral("originTrusted"), trusted);
        // Whether the user is being asked about the page's origin, or said no.
        o.insert(QStringLiteral("question"),
                 stateName(prompt && !origin.isEmpty() ? prompt->state(origin) : OriginPrompt::State::None));
        return o;
    }
    // A local tool (no browser sends a request without an Origin here).
    QJsonArray list;
    for (const Session *s : sessions)
        list.append(s->describe());
    o.insert(QStringLiteral("sessions"), list);
    o.insert(QStringLiteral("port"), boundPort);
    o.insert(QStringLiteral("automation"), options.automation);
    return o;
}

void BridgeService::upgrade(QTcpSocket *socket, const RequestHead &head)
{
    int code = 0;
    if (const QString problem = handshakeProblem(head, &code); !problem.isEmpty()) {
        refuse(socket, code, problem, code == 426 ? QList<QByteArray>{"Sec-WebSocket-Version: 13"} : QList<QByteArray>{});
        return;
    }
    if (!head.has("origin")) {
        refuse(socket, 403, QStringLiteral("WebSocket without an Origin"));
        return;
    }
    const QString raw = QString::fromUtf8(head.header("origin"));
    const QString origin = normalizeOrigin(raw);
    if (origin.isEmpty()) {
        refuse(socket, 403, QStringLiteral("Origin \"%1\" cannot be trusted").arg(raw));
        return;
    }
    if (!hasToken(head.header("sec-websocket-protocol"), kSubprotocol)) {
        refuse(socket, 400, QStringLiteral("WebSocket from %1 without the subprotocol %2").arg(origin, QLatin1String(kSubprotocol)));
        return;
    }
    if (const TrustedOrigin *t = origins.find(origin)) {
        if (prompt)
            prompt->forget(origin);
        admit(socket, origin, t->anyPath);
        return;
    }
    if (!options.prompt || !prompt) {
        refuse(socket, 403, QStringLiteral("origin %1 is not trusted").arg(origin));
        return;
    }
    QPointer<QTcpSocket> waiting(socket);
    prompt->ask(origin, socket, [this, waiting, origin](OriginPrompt::Verdict verdict) {
        if (!waiting || waiting->state() != QAbstractSocket::ConnectedState)
            return;
        switch (verdict) {
        case OriginPrompt::Verdict::Always:
            if (!origins.find(origin)) {
                QString error;
                if (!origins.trust({origin, false}, &error))
                    audit.write(QStringLiteral("cannot add %1 to the origins: %2").arg(origin, error));
                else
                    audit.write(QStringLiteral("trusted %1 (asked)").arg(origin));
            }
            [[fallthrough]];
        case OriginPrompt::Verdict::Once:
            admit(waiting, origin, false);
            return;
        case OriginPrompt::Verdict::Denied:
            refuse(waiting, 403, QStringLiteral("origin %1 denied by the user").arg(origin));
            return;
        case OriginPrompt::Verdict::Busy:
            refuse(waiting, 403, QStringLiteral("origin %1 not asked about: the user is being asked about another").arg(origin));
            return;
        case OriginPrompt::Verdict::Crowded:
            refuse(waiting, 403,
                   QStringLiteral("origin %1: %2 connections already wait for the user's answer").arg(origin).arg(kMaxSessions));
            return;
        }
    });
}

void BridgeService::admit(QTcpSocket *socket, const QString &origin, bool anyPath)
{
    disconnect(socket, nullptr, this, nullptr);
    delete socket->findChild<QTimer *>(QStringLiteral("head-deadline"));
    socket->setReadBufferSize(0);
    const QString client = clientOf(socket);
    // First to connect to readyRead, so it looks at each frame before the WebSocket reads it.
    auto *frames = new FrameGuard(socket, socket->property(kHeadSize).toLongLong());
    admitted.insert(client, {origin, anyPath, socket, frames});
    // A handshake the WebSocket server rejects leaves no admission behind.
    connect(socket, &QObject::destroyed, this, [this, client] { admitted.remove(client); });
    sockets.handleConnection(socket);
}

void BridgeService::onWebSocket()
{
    while (QWebSocket *ws = sockets.nextPendingConnection()) {
        const QString client = ws->peerAddress().toString() + QLatin1Char('|') + QString::number(ws->peerPort());
        const auto it = admitted.constFind(client);
        if (it == admitted.constEnd()) {
            audit.refused(ws->peerAddress().toString(), ws->origin().toUtf8(),
                          QStringLiteral("refused %1: a WebSocket that was not admitted").arg(ws->peerAddress().toString()));
            ws->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("not admitted"));
            ws->deleteLater();
            continue;
        }
        const Admitted a = *it;
        admitted.erase(it);
        if (sessions.size() >= kMaxSessions) {
            audit.refused(ws->peerAddress().toString(), a.origin.toUtf8(), QStringLiteral("refused %1: too many sessions").arg(a.origin));
            ws->close(QWebSocketProtocol::CloseCodePolicyViolated,
                      QStringLiteral("too many sessions (at most %1)").arg(kMaxSessions));
            connect(ws, &QWebSocket::disconnected, ws, &QObject::deleteLater);
            continue;
        }
        auto *session =
            new Session(nextSession++, ws, a.wire, {a.origin, a.anyPath, options.automation, options.workerProgram}, audit, a.frames);
        sessions.append(session);
        connect(session, &Session::finished, this, [this](Session *s) {
            sessions.removeOne(s);
            // What the session held (a page's unread replies) goes back to the
            // system, not only to the heap, once it is gone.
            connect(s, &QObject::destroyed, this, [this] { QTimer::singleShot(0, this, [] { ::malloc_trim(0); }); });
            s->deleteLater();
        });
    }
}

void BridgeService::refuse(QTcpSocket *socket, int status, const QString &reason, const QList<QByteArray> &headers)
{
    const QString peer = socket->peerAddress().toString();
    audit.refused(peer, socket->property(kOrigin).toByteArray(), QStringLiteral("refused %1 %2: %3").arg(peer).arg(status).arg(reason));
    answer(socket, status, reason.toUtf8() + '\n', QList<QByteArray>{"Content-Type: text/plain; charset=utf-8"} + headers);
}

void BridgeService::answer(QTcpSocket *socket, int status, const QByteArray &body, const QList<QByteArray> &headers)
{
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + statusText(status) + "\r\n";
    for (const QByteArray &h : headers)
        out += h + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    socket->write(out);
    // Close only our half, and read what the client still sends until it closes
    // too: closing with unread bytes would reset the connection and lose the answer.
    socket->setReadBufferSize(0);
    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
        if (socket->bytesToWrite() == 0)
            ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
    });
    QTimer::singleShot(kLingerMs, socket, [socket] { socket->abort(); });
}

bool bridgeAnswersOn(quint16 port)
{
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    QByteArray answer;
    bool timedOut = false;
    QTimer::singleShot(3000, &probe, [&timedOut] { timedOut = true; });
    bool sent = false;
    pump::until([&] {
        if (!sent && probe.state() == QAbstractSocket::ConnectedState) {
            probe.write("GET /status HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\n\r\n");
            sent = true;
        }
        answer += probe.readAll();
        return timedOut || probe.state() == QAbstractSocket::UnconnectedState;
    });
    const qsizetype body = answer.indexOf("\r\n\r\n");
    const QJsonObject o = QJsonDocument::fromJson(answer.mid(body + 4)).object();
    return answer.startsWith("HTTP/1.1 200") && o.value(QStringLiteral("protocol")).toString() == QLatin1String(kSubprotocol);
}

} // namespace tx::bridge
