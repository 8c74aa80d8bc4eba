#include "support/TestProxy.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace tx::test {

TestProxy::TestProxy(QObject *parent) : QObject(parent)
{
    server = new QTcpServer(this);
    server->listen(QHostAddress::LocalHost, 0);
    connect(server, &QTcpServer::newConnection, this, &TestProxy::onConnection);
}

TestProxy::~TestProxy() = default;

quint16 TestProxy::port() const { return server->serverPort(); }

QString TestProxy::url(const QString &credentials) const
{
    return QStringLiteral("http://") + (credentials.isEmpty() ? QString() : credentials + QLatin1Char('@'))
        + QStringLiteral("127.0.0.1:") + QString::number(port());
}

void TestProxy::requireCredentials(const QByteArray &user, const QByteArray &password)
{
    wantedAuth = "Basic " + (user + ':' + password).toBase64();
}

void TestProxy::onConnection()
{
    while (QTcpSocket *s = server->nextPendingConnection()) {
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        connect(s, &QTcpSocket::readyRead, this, [this, s] { onData(s); });
    }
}

void TestProxy::onData(QTcpSocket *client)
{
    if (client->property("txPiped").toBool())
        return;
    QByteArray buf = client->property("txBuf").toByteArray() + client->readAll();
    const qsizetype end = buf.indexOf("\r\n\r\n");
    if (end < 0) {
        client->setProperty("txBuf", buf);
        return;
    }
    const QByteArray head = buf.left(end + 4);
    heads.append(head);
    client->setProperty("txPiped", true);
    if (quiet)
        return;
    QByteArray auth;
    for (const QByteArray &line : head.split('\n'))
        if (line.toLower().startsWith("proxy-authorization:"))
            auth = line.mid(20).trimmed();
    if (!refusal.isEmpty() || (!wantedAuth.isEmpty() && auth != wantedAuth)) {
        const QByteArray status = refusal.isEmpty() ? QByteArray("HTTP/1.1 407 Proxy Authentication Required") : refusal;
        client->write(status + "\r\nProxy-Authenticate: Basic realm=\"test\"\r\nContent-Length: 0\r\n\r\n");
        client->disconnectFromHost();
        return;
    }
    pipe(client, head, buf.mid(end + 4));
}

void TestProxy::pipe(QTcpSocket *client, const QByteArray &head, const QByteArray &rest)
{
    const QByteArray requestLine = head.left(head.indexOf("\r\n"));
    const QList<QByteArray> words = requestLine.split(' ');
    const bool tunnel = words.value(0) == "CONNECT";
    QString host;
    int port = 0;
    QByteArray forward;
    if (tunnel) {
        const QByteArray target = words.value(1);
        host = QString::fromLatin1(target.left(target.lastIndexOf(':')));
        port = target.mid(target.lastIndexOf(':') + 1).toInt();
    } else {
        // Absolute form in, origin form out, without what was the proxy's alone.
        const QUrl url(QString::fromLatin1(words.value(1)));
        host = url.host();
        port = url.port(80);
        const QByteArray path = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
        forward = words.value(0) + ' ' + (path.isEmpty() ? "/" : path) + ' ' + words.value(2) + "\r\n";
        for (const QByteArray &line : head.mid(requestLine.size() + 2).split('\n')) {
            const QByteArray l = line.trimmed();
            if (!l.isEmpty() && !l.toLower().startsWith("proxy-authorization:"))
                forward += l + "\r\n";
        }
        forward += "\r\n" + rest;
    }
    auto *upstream = new QTcpSocket(client);
    upstream->setProxy(QNetworkProxy::NoProxy);
    const QPointer<QTcpSocket> c(client);
    connect(upstream, &QTcpSocket::connected, this, [c, upstream, tunnel, forward, rest] {
        if (!c)
            return;
        if (tunnel) {
            c->write("HTTP/1.1 200 Connection established\r\n\r\n");
            if (!rest.isEmpty())
                upstream->write(rest);
        } else {
            upstream->write(forward);
        }
    });
    connect(upstream, &QTcpSocket::readyRead, this, [c, upstream] {
        if (c)
            c->write(upstream->readAll());
    });
    connect(upstream, &QTcpSocket::disconnected, this, [c] {
        if (c)
            c->disconnectFromHost();
    });
    connect(upstream, &QTcpSocket::errorOccurred, this, [c, upstream] {
        if (c && upstream->state() != QAbstractSocket::ConnectedState) {
            c->write("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
            c->disconnectFromHost();
        }
    });
    connect(client, &QTcpSocket::readyRead, upstream, [client, upstream] { upstream->write(client->readAll()); });
    connect(client, &QTcpSocket::disconnected, upstream, [upstream] { upstream->disconnectFromHost(); });
    // Every name is the loopback here: test servers listen nowhere else.
    Q_UNUSED(host);
    upstream->connectToHost(QHostAddress::LocalHost, quint16(port));
}

} // namespace tx::test
