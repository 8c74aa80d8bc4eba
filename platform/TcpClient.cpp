#include "platform/TcpClient.h"

#include <QTcpSocket>

namespace tx {

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
    case QAbstractSocket::ConnectedState: return sckConnected;
    case QAbstractSocket::ClosingState: return sckClosing;
    default: return sckOpen;
    }
}

void TcpClient::Connect()
{
    Close();
    socket = std::make_unique<QTcpSocket>();
    // Small requests go out at once; large bodies are chunked by us anyway.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QTcpSocket *s = socket.get();
    connect(s, &QTcpSocket::readyRead, this, [this, s] {
        if (socket.get() == s)
            emit DataArrival(s->bytesAvailable());
    });
    connect(s, &QTcpSocket::bytesWritten, this, &TcpClient::onBytesWritten);
    connect(s, &QTcpSocket::errorOccurred, this, &TcpClient::onSocketError);
    connect(s, &QTcpSocket::disconnected, this, [this, s] {
        if (socket.get() != s)
            return;
        peerClosed = true;
        emit PeerClosed();
    });
    s->connectToHost(RemoteHost, quint16(RemotePort));
}

void TcpClient::Close()
{
    stream.reset();
    streamTotal = streamRead = streamQueued = plainQueued = 0;
    peerClosed = false;
    failed = false;
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
    if (!socket || socket->state() != QAbstractSocket::ConnectedState)
        return;
    plainQueued += bytes.size();
    socket->write(bytes);
}

void TcpClient::SendStream(std::unique_ptr<ByteSource> source)
{
    if (!socket || socket->state() != QAbstractSocket::ConnectedState)
        return;
    stream = std::move(source);
    streamTotal = stream->size();
    streamRead = streamQueued = 0;
    refill();
}

QByteArray TcpClient::GetData()
{
    return socket ? socket->readAll() : QByteArray();
}

// Keeps at most two chunks queued in the socket: enough to keep the wire busy,
// little enough that memory stays flat whatever the body's size.
void TcpClient::refill()
{
    while (stream && socket && socket->bytesToWrite() < 2 * kChunk) {
        if (streamRead >= streamTotal) {
            stream.reset();
            break;
        }
        const qint64 want = qMin(kChunk, streamTotal - streamRead);
        chunk.resize(want);
        const qint64 got = stream->read(chunk.data(), want);
        if (got <= 0) {
            const QString why = got < 0 ? stream->error()
                                        : QStringLiteral("the body ended before its announced length");
            fail(sckSourceFailed, why);
            return;
        }
        streamRead += got;
        streamQueued += got;
        socket->write(chunk.constData(), got);
    }
}

void TcpClient::onBytesWritten(qint64 n)
{
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

void TcpClient::onSocketError()
{
    QTcpSocket *s = qobject_cast<QTcpSocket *>(sender());
    if (!s || s != socket.get())
        return;
    switch (s->error()) {
    case QAbstractSocket::RemoteHostClosedError:
        return; // an orderly close is not an error; PeerClosed reports it
    case QAbstractSocket::ConnectionRefusedError:
        emit Error(sckConnectionRefused, QStringLiteral("Connection is forcefully rejected"));
        break;
    case QAbstractSocket::HostNotFoundError:
        emit Error(sckHostNotFound, QStringLiteral("Authoritative answer: Host not found"));
        break;
    case QAbstractSocket::SocketTimeoutError:
        emit Error(sckTimedout, QStringLiteral("Connection timed out"));
        break;
    default:
        emit Error(sckConnectionReset, s->errorString());
        break;
    }
    if (s->state() != QAbstractSocket::ConnectedState)
        failed = true;
}

} // namespace tx
