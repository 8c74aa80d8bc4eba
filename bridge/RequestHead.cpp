#include "bridge/RequestHead.h"

#include <QList>

namespace tx::bridge {
namespace {

bool hasToken(const QByteArray &list, const char *token)
{
    for (const QByteArray &t : list.split(','))
        if (t.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool isTokenChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           QByteArray("!#$%&'*+-.^_`|~").contains(c);
}

} // namespace

bool RequestHead::isWebSocketUpgrade() const
{
    return hasToken(header("upgrade"), "websocket") && hasToken(header("connection"), "upgrade");
}

RequestHead parseRequestHead(const QByteArray &bytes)
{
    RequestHead head;
    const QByteArray window = bytes.left(kMaxHead);
    const qsizetype end = window.indexOf("\r\n\r\n");
    if (end < 0) {
        head.state = bytes.size() >= kMaxHead ? RequestHead::State::TooLarge : RequestHead::State::Incomplete;
        return head;
    }
    head.state = RequestHead::State::Malformed;
    const QList<QByteArray> lines = window.left(end).split('\n');
    const QList<QByteArray> request = lines.first().trimmed().split(' ');
    if (request.size() != 3 || !request[2].startsWith("HTTP/1.") || request[0].isEmpty())
        return head;
    for (char c : request[0])
        if (!isTokenChar(c))
            return head;
    head.method = request[0];
    head.target = request[1];
    head.version = request[2];
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return head;
        const QByteArray name = line.left(colon).toLower();
        for (char c : name)
            if (!isTokenChar(c))
                return head;
        const QByteArray value = line.mid(colon + 1).trimmed();
        auto it = head.headers.find(name);
        if (it == head.headers.end())
            head.headers.insert(name, value);
        else
            *it += ", " + value;
    }
    head.size = end + 4;
    head.state = RequestHead::State::Complete;
    return head;
}

Route routeOf(const RequestHead &head)
{
    QByteArray path = head.target;
    if (const qsizetype q = path.indexOf('?'); q >= 0)
        path.truncate(q);
    if (head.method == "GET" && head.isWebSocketUpgrade())
        return Route::Upgrade;
    if (head.method == "GET" && path == "/status")
        return Route::Status;
    if (head.method == "GET" && path == "/tessarix.js")
        return Route::Script;
    // A browser asks before a public page may reach the loopback address.
    if (head.method == "OPTIONS" && (path == "/status" || path == "/tessarix.js"))
        return Route::Preflight;
    return Route::NotFound;
}

QString handshakeProblem(const RequestHead &head, int *status)
{
    *status = 400;
    if (head.version != "HTTP/1.1")
        return QStringLiteral("a WebSocket handshake is an HTTP/1.1 request");
    // What follows the head would be taken for frames of the page.
    if (head.has("transfer-encoding") || (head.has("content-length") && head.header("content-length") != "0"))
        return QStringLiteral("a WebSocket handshake has no body");
    if (!head.has("sec-websocket-key"))
        return QStringLiteral("WebSocket handshake without Sec-WebSocket-Key");
    // The base64 of 16 bytes: 22 characters and "==", spelled as it encodes back.
    const QByteArray key = head.header("sec-websocket-key");
    const auto decoded = QByteArray::fromBase64Encoding(key, QByteArray::AbortOnBase64DecodingErrors);
    if (key.size() != 24 || !decoded || decoded.decoded.size() != 16 || decoded.decoded.toBase64() != key)
        return QStringLiteral("Sec-WebSocket-Key is not the base64 of 16 bytes");
    if (!head.has("sec-websocket-version"))
        return QStringLiteral("WebSocket handshake without Sec-WebSocket-Version");
    // One version number, 0 to 255 without leading zeros; a list or "013" is no version.
    const QByteArray version = head.header("sec-websocket-version");
    bool number = false;
    const int n = version.toInt(&number);
    if (!number || n < 0 || n > 255 || QByteArray::number(n) != version)
        return QStringLiteral("Sec-WebSocket-Version is not one version number");
    if (version != "13") {
        *status = 426;
        return QStringLiteral("this service speaks WebSocket version 13");
    }
    return {};
}

bool hostIsOurs(const QByteArray &host, quint16 port)
{
    const QByteArray suffix = ':' + QByteArray::number(port);
    for (const char *name : {"127.0.0.1", "[::1]", "localhost"})
        if (host.compare(name + suffix, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace tx::bridge
