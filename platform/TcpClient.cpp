#include "platform/TcpClient.h"

#include "platform/TlsTrust.h"
#include "util/HttpStatus.h"

#include <QNetworkProxy>
#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <malloc.h>

namespace tx {
namespace {

TcpClient::ConnectObserver &observer()
{
    static TcpClient::ConnectObserver o;
    return o;
}

QString hostPort(const QString &host, int port)
{
    return (host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host) + QLatin1Char(':')
        + QString::number(port);
}

// A proxy's answer to CONNECT is a head like any other; a longer one is not one.
constexpr qsizetype kMaxTunnelHead = 64 * 1024;

// TLS copies every chunk through buffers of a megabyte or more that are taken and
// given back at once; with the allocator's adaptive limits each one was mapped,
// faulted in and returned to the system again, which cost more than the
// encryption. Fixed limits keep them in the heap (at most 8 MiB held back).
void keepBuffersMapped()
{
    static const bool once = [] {
        mallopt(M_MMAP_THRESHOLD, 4 << 20);
        mallopt(M_TRIM_THRESHOLD, 8 << 20);
        return true;
    }();
    Q_UNUSED(once);
}

} // namespace

void TcpClient::setConnectObserver(ConnectObserver o)
{
    observer() = std::move(o);
}

TcpClient::TcpClient(QObject *parent) : QObject(parent) {}

TcpClient::~TcpClient()
{
    if (socket) {
        socket->disconnect(this);
        socket->abort();
    }
}

int TcpClient::State() const
{
    if (failed)
        return sckError;
    if (!socket)
        return sckClosed;
    if (peerClosed)
        return sckClosing;
    switch (socket->state()) {
    case QAbstractSocket::UnconnectedState: return sckClosed;
    case QAbstractSocket::HostLookupState: return sckResolvingHost;
    case QAbstractSocket::ConnectingState: return sckConnecting;
    // Connected only once the tunnel and the TLS session stand.
    case QAbstractSocket::ConnectedState: return stage == Stage::Ready ? sckConnected : sckConnecting;
    case QAbstractSocket::ClosingState: return sckClosing;
    default: return sckOpen;
    }
}

QString TcpClient::target() const
{
    return hostPort(current.host, current.port);
}

QString TcpClient::viaProxy(const QString &what) const
{
    return QStringLiteral("The proxy %1 %2").arg(current.proxy.shown(), what);
}

void TcpClient::Connect()
{
    Close();
    current = Route{Secure, RemoteHost, RemotePort, proxyFor(Secure, RemoteHost, RemotePort)};
    if (observer())
        observer()(current);
    stage = Stage::Tcp;
    if (!current.proxy.unusable.isEmpty()) {
        failLater(sckProxyFailed, QStringLiteral("No connection to %1: %2").arg(target(), current.proxy.unusable));
        return;
    }
    if (current.secure && !QSslSocket::supportsSsl()) {
        failLater(sckSecureFailed, QStringLiteral("No secure connection to %1: Qt's TLS backend is missing "
                                                  "(the OpenSSL plugin of libqt6network6, with libssl3)")
                                       .arg(target()));
        return;
    }
    if (current.secure) {
        keepBuffersMapped();
        auto *s = new QSslSocket();
        s->setSslConfiguration(tls::clientConfiguration());
        // Both the name sent (SNI) and the name verified, also inside a tunnel.
        s->setPeerVerifyName(current.host);
        connect(s, &QSslSocket::encrypted, this, [this, s] {
            if (secure == s)
                stage = Stage::Ready;
        });
        connect(s, &QSslSocket::sslErrors, this, [this, s](const QList<QSslError> &errors) {
            if (secure != s)
                return;
            sslErrors = errors;
            // A certificate that names the address in an IP entry holds that name.
            bool onlyAddress = !errors.isEmpty();
            for (const QSslError &e : errors)
                onlyAddress = onlyAddress && e.error() == QSslError::HostNameMismatch
                    && tls::holdsAddress(e.certificate(), current.host);
            if (onlyAddress)
                s->ignoreSslErrors(errors);
        });
        connect(s, &QSslSocket::encryptedBytesWritten, this, [this, s] {
            if (secure == s)
                refill();
        });
        secure = s;
        socket.reset(s);
    } else {
        socket = std::make_unique<QTcpSocket>();
    }
    // Proxies are ours to choose: Qt's default would take the environment as it reads it.
    if (current.proxy.kind == ProxyServer::Kind::Socks5)
        socket->setProxy(QNetworkProxy(QNetworkProxy::Socks5Proxy, current.proxy.host, quint16(current.proxy.port),
                                       current.proxy.user, current.proxy.password));
    else
        socket->setProxy(QNetworkProxy::NoProxy);
    // Small requests go out at once; large bodies are chunked by us anyway.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QTcpSocket *s = socket.get();
    connect(s, &QTcpSocket::connected, this, [this, s] {
        if (socket.get() == s)
            onConnected();
    });
    connect(s, &QTcpSocket::readyRead, this, [this, s] {
        if (socket.get() != s)
            return;
        if (stage == Stage::Tunnel)
            onTunnelData();
        else if (stage == Stage::Ready)
            emit DataArrival(s->bytesAvailable());
    });
    connect(s, &QTcpSocket::bytesWritten, this, &TcpClient::onBytesWritten);
    connect(s, &QTcpSocket::errorOccurred, this, &TcpClient::onSocketError);
    connect(s, &QTcpSocket::disconnected, this, [this, s] {
        if (socket.get() != s)
            return;
        if (stage != Stage::Ready) {
            fail(current.proxy.direct() ? sckSecureFailed : sckProxyFailed,
                 QStringLiteral("The connection to %1 was closed before it stood").arg(target()));
            return;
        }
        peerClosed = true;
        emit PeerClosed();
    });
    if (current.proxy.kind == ProxyServer::Kind::Http)
        s->connectToHost(current.proxy.host, quint16(current.proxy.port));
    else
        s->connectToHost(current.host, quint16(current.port));
}

void TcpClient::onConnected()
{
    if (current.secure && current.proxy.kind == ProxyServer::Kind::Http) {
        stage = Stage::Tunnel;
        tunnelHead.clear();
        QByteArray request = "CONNECT " + target().toUtf8() + " HTTP/1.1\r\nHost: " + target().toUtf8() + "\r\n";
        const QByteArray auth = current.proxy.authorization();
        if (!auth.isEmpty())
            request += "Proxy-Authorization: " + auth + "\r\n";
        socket->write(request + "\r\n");
        return;
    }
    if (current.secure)
        startHandshake();
    else
        stage = Stage::Ready;
}

void TcpClient::startHandshake()
{
    stage = Stage::Handshake;
    sslErrors.clear();
    secure->startClientEncryption();
}

void TcpClient::onTunnelData()
{
    tunnelHead += socket->readAll();
    const qsizetype end = tunnelHead.indexOf("\r\n\r\n");
    if (end < 0) {
        if (tunnelHead.size() > kMaxTunnelHead)
            fail(sckProxyFailed, viaProxy(QStringLiteral("answered the tunnel to %1 with a head longer than 64 KiB")
                                              .arg(target())));
        return;
    }
    const QByteArray statusLine = tunnelHead.left(tunnelHead.indexOf("\r\n"));
    // Only an HTTP status of three digits opens the tunnel; what else came is
    // shown cut short, as the proxy's words, not ours.
    const int code = http::statusCode(statusLine);
    if (code < 200 || code > 299) {
        QString shown = QString::fromLatin1(statusLine.left(200));
        for (QChar &ch : shown)
            if (ch.category() == QChar::Other_Control)
                ch = QLatin1Char('?');
        fail(sckProxyFailed, viaProxy(QStringLiteral("refused the tunnel to %1: %2").arg(target(), shown)));
        return;
    }
    // The server speaks only after our hello: anything more is not the tunnel.
    if (tunnelHead.size() > end + 4) {
        fail(sckProxyFailed, viaProxy(QStringLiteral("sent data of its own in the tunnel to %1").arg(target())));
        return;
    }
    tunnelHead.clear();
    startHandshake();
}

void TcpClient::connectTimedOut()
{
    if (!socket || failed || stage == Stage::Ready || !slowConnect())
        return;
    switch (stage) {
    case Stage::Tunnel:
        fail(sckProxyFailed, viaProxy(QStringLiteral("did not answer the tunnel to %1").arg(target())));
        break;
    case Stage::Handshake:
        fail(sckSecureFailed, tls::describeFailure(current.host, current.port, {},
                                                   QStringLiteral("no answer to the handshake")));
        break;
    default:
        fail(sckTimedout, current.proxy.direct() ? QStringLiteral("Connection to %1 timed out").arg(target())
                                                 : viaProxy(QStringLiteral("did not accept the connection")));
        break;
    }
}

void TcpClient::Close()
{
    ++generation;
    stream.reset();
    streamTotal = streamRead = streamQueued = plainQueued = 0;
    peerClosed = false;
    failed = false;
    stage = Stage::Tcp;
    tunnelHead.clear();
    chunks.clear();
    secure = nullptr;
    if (socket) {
        // Deleted later: Close may run inside one of the socket's own signals.
        QTcpSocket *s = socket.release();
        s->disconnect(this);
        s->abort();
        s->deleteLater();
    }
}

void TcpClient::SendData(const QByteArray &bytes)
{
    if (!socket || State() != sckConnected)
        return;
    plainQueued += bytes.size();
    socket->write(bytes);
}

void TcpClient::SendStream(std::unique_ptr<ByteSource> source)
{
    if (!socket || State() != sckConnected)
        return;
    stream = std::move(source);
    streamTotal = stream->size();
    streamRead = streamQueued = 0;
    refill();
}

QByteArray TcpClient::GetData()
{
    return socket && stage == Stage::Ready ? socket->readAll() : QByteArray();
}

qint64 TcpClient::pending() const
{
    return socket->bytesToWrite() + (secure ? secure->encryptedBytesToWrite() : 0);
}

// Keeps at most two chunks queued in the socket (plain and encrypted together):
// enough to keep the wire busy, little enough that memory stays flat whatever
// the body's size.
void TcpClient::refill()
{
    while (stream && socket && pending() < 2 * kChunk) {
        if (streamRead >= streamTotal) {
            stream.reset();
            break;
        }
        // Half chunks over TLS: four in flight let encryption and the wire overlap
        // in the same memory.
        const qint64 want = qMin(secure ? kChunk / 2 : kChunk, streamTotal - streamRead);
        QByteArray &chunk = freeChunk(want);
        const qint64 got = stream->read(chunk.data(), want);
        if (got <= 0) {
            const QString why = got < 0 ? stream->error()
                                        : QStringLiteral("the body ended before its announced length");
            fail(sckSourceFailed, why);
            return;
        }
        chunk.truncate(got);
        streamRead += got;
        streamQueued += got;
        // Written as a whole array, the socket's buffer shares the chunk instead of
        // copying it.
        socket->write(chunk);
    }
}

// A chunk the socket no longer holds, sized `size`: the few in flight are reused
// instead of being allocated and faulted in for every megabyte.
QByteArray &TcpClient::freeChunk(qint64 size)
{
    auto it = std::find_if(chunks.begin(), chunks.end(), [](const QByteArray &c) { return c.isDetached(); });
    if (it == chunks.end())
        it = chunks.emplace(chunks.end(), size, Qt::Uninitialized);
    it->resize(size);
    return *it;
}

void TcpClient::onBytesWritten(qint64 n)
{
    if (sender() != socket.get() || stage != Stage::Ready)
        return; // the proxy's CONNECT is none of the owner's bytes
    // Head bytes first, in queue order, then the streamed body.
    const qint64 plain = qMin(n, plainQueued);
    plainQueued -= plain;
    n -= plain;
    if (n > 0 && streamTotal > 0) {
        streamQueued -= n;
        const qint64 sent = streamRead - streamQueued;
        emit SendProgress(sent, streamTotal - sent);
    }
    refill();
}

void TcpClient::fail(int number, const QString &description)
{
    Close();
    failed = true;
    emit Error(number, description);
}

void TcpClient::failLater(int number, const QString &description)
{
    // Reported from the event loop, as a socket reports its failures.
    const quint64 g = generation;
    failed = true;
    QTimer::singleShot(0, this, [this, g, number, description] {
        if (generation == g)
            emit Error(number, description);
    });
}

void TcpClient::onSocketError()
{
    QTcpSocket *s = qobject_cast<QTcpSocket *>(sender());
    if (!s || s != socket.get())
        return;
    const QAbstractSocket::SocketError error = s->error();
    if (stage == Stage::Handshake || error == QAbstractSocket::SslHandshakeFailedError) {
        fail(sckSecureFailed, tls::describeFailure(current.host, current.port, sslErrors, s->errorString()));
        return;
    }
    if (stage == Stage::Tunnel) {
        fail(sckProxyFailed, error == QAbstractSocket::RemoteHostClosedError
                                 ? viaProxy(QStringLiteral("closed the connection without answering the tunnel to %1")
                                                .arg(target()))
                                 : viaProxy(QStringLiteral("failed during the tunnel to %1: %2")
                                                .arg(target(), s->errorString())));
        return;
    }
    // Through a proxy, a failure before the connection stands is the proxy's.
    const QString prefix = !current.proxy.direct() && stage != Stage::Ready
        ? QStringLiteral("The proxy %1: ").arg(current.proxy.shown())
        : QString();
    switch (error) {
    case QAbstractSocket::RemoteHostClosedError:
        return; // an orderly close is not an error; PeerClosed reports it
    case QAbstractSocket::ConnectionRefusedError:
        emit Error(sckConnectionRefused, prefix + QStringLiteral("Connection is forcefully rejected"));
        break;
    case QAbstractSocket::HostNotFoundError:
        emit Error(sckHostNotFound, prefix + QStringLiteral("Authoritative answer: Host not found"));
        break;
    case QAbstractSocket::SocketTimeoutError:
        emit Error(sckTimedout, prefix + QStringLiteral("Connection timed out"));
        break;
    default:
        emit Error(sckConnectionReset, prefix + s->errorString());
        break;
    }
    if (s == socket.get() && s->state() != QAbstractSocket::ConnectedState)
        failed = true;
}

} // namespace tx
