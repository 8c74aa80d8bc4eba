#include "support/TestHttpServer.h"

#include <QHostAddress>
#include <QFile>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace tx::test {

QByteArray ReceivedRequest::requestLine() const
{
    return head.left(head.indexOf("\r\n"));
}

QByteArray ReceivedRequest::header(const QByteArray &name) const
{
    const QList<QByteArray> lines = head.split('\n');
    for (const QByteArray &l : lines) {
        const qsizetype c = l.indexOf(':');
        if (c > 0 && l.left(c).trimmed().toLower() == name.toLower())
            return l.mid(c + 1).trimmed();
    }
    return {};
}

QByteArray ReceivedRequest::boundary() const
{
    const QByteArray ct = header("Content-Type");
    const qsizetype i = ct.indexOf("boundary=");
    return i < 0 ? QByteArray() : ct.mid(i + 9).trimmed();
}

QList<MultipartPart> ReceivedRequest::parts() const
{
    QList<MultipartPart> out;
    const QByteArray delim = "--" + boundary();
    qsizetype pos = body.indexOf(delim);
    while (pos >= 0) {
        qsizetype start = pos + delim.size();
        if (body.mid(start, 2) == "--")
            break;
        start += 2; // CR LF
        const qsizetype headEnd = body.indexOf("\r\n\r\n", start);
        const qsizetype next = body.indexOf("\r\n" + delim, headEnd);
        if (headEnd < 0 || next < 0)
            break;
        MultipartPart p;
        const QByteArray h = body.mid(start, headEnd - start);
        for (const QByteArray &line : h.split('\n')) {
            const QByteArray l = line.trimmed();
            if (l.startsWith("Content-Type:"))
                p.contentType = l.mid(13).trimmed();
            const qsizetype n = l.indexOf("name=\"");
            if (n >= 0 && l.startsWith("Content-Disposition")) {
                const qsizetype e = l.indexOf('"', n + 6);
                p.name = l.mid(n + 6, e - n - 6);
                const qsizetype f = l.indexOf("filename=\"");
                if (f >= 0)
                    p.filename = l.mid(f + 10, l.lastIndexOf('"') - f - 10);
            }
        }
        p.data = body.mid(headEnd + 4, next - headEnd - 4);
        out.append(p);
        pos = next + 2;
    }
    return out;
}

QByteArray ReceivedRequest::field(const QByteArray &name) const
{
    for (const MultipartPart &p : parts())
        if (p.name == name)
            return p.data;
    return {};
}

TestHttpServer::TestHttpServer(QObject *parent) : QObject(parent)
{
    server = new QTcpServer(this);
    server->listen(QHostAddress::LocalHost, 0);
    connect(server, &QTcpServer::newConnection, this, &TestHttpServer::onConnection);
}

TestHttpServer::~TestHttpServer() = default;

quint16 TestHttpServer::port() const { return server->serverPort(); }

QString TestHttpServer::url(const QString &path) const
{
    return QStringLiteral("%1://%2:%3%4").arg(scheme, urlHost).arg(port()).arg(path);
}

bool TestHttpServer::useTls(const QString &certFile, const QString &keyFile, const QString &host)
{
    QFile keyIn(keyFile);
    if (!keyIn.open(QIODevice::ReadOnly))
        return false;
    const QSslKey key(&keyIn, QSsl::Ec);
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(certFile);
    if (key.isNull() || chain.isEmpty())
        return false;
    auto *tls = new QSslServer(this);
    QSslConfiguration c = QSslConfiguration::defaultConfiguration();
    c.setLocalCertificateChain(chain);
    c.setPrivateKey(key);
    c.setPeerVerifyMode(QSslSocket::VerifyNone);
    tls->setSslConfiguration(c);
    connect(tls, &QSslServer::pendingConnectionAvailable, this, &TestHttpServer::onConnection);
    connect(tls, &QSslServer::errorOccurred, this, [this] { ++refusedHandshakes; });
    delete server;
    server = tls;
    server->listen(QHostAddress::LocalHost, 0);
    scheme = QStringLiteral("https");
    urlHost = host;
    return true;
}

void TestHttpServer::setMode(Mode m, const QByteArray &p)
{
    mode = m;
    if (!p.isNull())
        payload = p;
}

QByteArray TestHttpServer::okResponse(const QByteArray &body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + QByteArray::number(body.size())
           + "\r\n\r\n" + body;
}

void TestHttpServer::onConnection()
{
    while (QTcpSocket *s = server->nextPendingConnection()) {
        ++connections;
        s->setProperty("txBuf", QByteArray());
        s->setProperty("txNeed", qint64(-1));
        s->setProperty("txGot", qint64(0));
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        if (rateMs <= 0) {
            connect(s, &QTcpSocket::readyRead, this, [this, s] { onData(s, s->readAll()); });
            continue;
        }
        // Qt stops taking bytes from the kernel while its buffer is full, so the
        // client's send window closes.
        s->setReadBufferSize(qMax<qint64>(rateBytes, 4096));
        s->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 64 * 1024);
        auto *drain = new QTimer(s);
        connect(drain, &QTimer::timeout, this, [this, s] { onReadable(s); });
        drain->start(rateMs);
    }
}

void TestHttpServer::onReadable(QTcpSocket *s)
{
    if (rateBytes == 0 && s->property("txStarted").toBool())
        return;
    s->setProperty("txStarted", true);
    const QByteArray bytes = s->read(qMax<qint64>(rateBytes, 4096));
    if (!bytes.isEmpty())
        onData(s, bytes);
}

void TestHttpServer::onData(QTcpSocket *s, const QByteArray &bytes)
{
    QByteArray buf = s->property("txBuf").toByteArray() + bytes;
    qint64 need = s->property("txNeed").toLongLong();
    qint64 got = s->property("txGot").toLongLong();
    if (need < 0) {
        const qsizetype end = buf.indexOf("\r\n\r\n");
        if (end < 0) {
            s->setProperty("txBuf", buf);
            return;
        }
        ReceivedRequest r;
        r.head = buf.left(end + 4);
        need = r.header("Content-Length").toLongLong();
        requests.append(r);
        buf.remove(0, end + 4);
        got = 0;
        bodyBytes = 0;
    }
    ReceivedRequest &r = requests.last();
    got += buf.size();
    bodyBytes = got;
    if (keepBodies)
        r.body += buf;
    buf.clear();
    s->setProperty("txBuf", buf);
    s->setProperty("txNeed", need);
    s->setProperty("txGot", got);
    if (got >= need) {
        s->setProperty("txNeed", qint64(-1));
        // A copy: an answer callback that pumps may see more requests arrive.
        answer(s, ReceivedRequest(r));
    }
}

void TestHttpServer::writeInPieces(QTcpSocket *s, QByteArray data, bool closeAfter)
{
    QPointer<QTcpSocket> guard(s);
    if (!guard)
        return;
    const QByteArray piece = data.left(pieceSize);
    data.remove(0, piece.size());
    s->write(piece);
    s->flush();
    if (data.isEmpty()) {
        if (closeAfter)
            s->disconnectFromHost();
        return;
    }
    QTimer::singleShot(2, this, [this, guard, data, closeAfter] {
        if (guard)
            writeInPieces(guard, data, closeAfter);
    });
}

void TestHttpServer::answer(QTcpSocket *s, const ReceivedRequest &r)
{
    if (custom) {
        // The callback may pump events, and the client may close (and the socket
        // be deleted) meanwhile.
        const QPointer<QTcpSocket> guard(s);
        const QByteArray out = custom(int(requests.size()) - 1, r);
        if (out.isNull() || !guard) // silent, or nobody left to answer
            return;
        s->write(out);
        s->disconnectFromHost();
        return;
    }
    switch (mode) {
    case Mode::Ok:
        s->write(okResponse(payload));
        break;
    case Mode::Error500:
        s->write("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 5\r\n\r\nerror");
        break;
    case Mode::NotFound404:
        s->write("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found");
        // Keeps the connection open, as a keep-alive server does.
        return;
    case Mode::Split:
        writeInPieces(s, okResponse(payload), false);
        return;
    case Mode::Chunked: {
        QByteArray out = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
        for (qsizetype i = 0; i < payload.size(); i += 4) {
            const QByteArray c = payload.mid(i, 4);
            out += QByteArray::number(c.size(), 16) + "\r\n" + c + "\r\n";
        }
        out += "0\r\n\r\n";
        writeInPieces(s, out, false);
        return;
    }
    case Mode::Silent:
        return;
    case Mode::Drop:
        s->disconnectFromHost();
        return;
    case Mode::Raw:
        s->write(payload);
        break;
    case Mode::CloseAfterHead:
        s->write(payload);
        s->disconnectFromHost();
        return;
    case Mode::Error500ThenClose: {
        // The close comes a moment later, while the client reacts to the answer.
        s->write("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 5\r\n\r\nerror");
        s->flush();
        const QPointer<QTcpSocket> guard(s);
        QTimer::singleShot(30, this, [guard] {
            if (guard)
                guard->disconnectFromHost();
        });
        return;
    }
    }
    s->flush();
}

} // namespace tx::test
