#pragma once
// The TCP client control the upload machinery talks to: remote host and port, a
// state number, Connect / Close / SendData / GetData, and the events DataArrival,
// SendProgress and Error, all delivered on the owner's thread while it pumps.
// In its secure mode it speaks TLS (the peer always verified); it goes through the
// proxy the environment or the desktop names. The states, events and byte counts
// stay those of a plain connection.
#include "platform/ProxyRoute.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslError>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QTcpSocket;
class QSslSocket;

namespace tx {

// A body that is produced while the socket drains, so that a large upload never
// sits in memory whole.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual qint64 size() const = 0;
    // Fills up to `max` bytes; returns the count, 0 at the end, or -1 on a failure
    // described by error().
    virtual qint64 read(char *buf, qint64 max) = 0;
    virtual QString error() const = 0;
};

class TcpClient : public QObject {
    Q_OBJECT
public:
    enum StateNumber {
        sckClosed = 0,
        sckOpen = 1,
        sckResolvingHost = 4,
        sckConnecting = 6,
        sckConnected = 7,
        sckClosing = 8,
        sckError = 9,
    };
    // Error numbers of the control, as its Error event reports them.
    enum ErrorNumber {
        sckConnectionRefused = 10061,
        sckTimedout = 10060,
        sckHostNotFound = 11001,
        sckConnectAborted = 10053,
        sckConnectionReset = 10054,
        sckSourceFailed = 10101, // a streamed body could not be read whole
        sckSecureFailed = 10102, // the TLS handshake was refused
        sckProxyFailed = 10103,  // the proxy refused or did not answer
    };

    // Where a connection goes: the server, and the proxy that carries it.
    struct Route {
        bool secure = false;
        QString host;
        int port = 0;
        ProxyServer proxy;
        QString scheme() const { return secure ? QStringLiteral("https") : QStringLiteral("http"); }
        // Through an http proxy a plain request names its server in the request line.
        bool absoluteForm() const { return !secure && proxy.kind == ProxyServer::Kind::Http; }
    };
    // Told of every connection as it is started (the bridge audits it).
    using ConnectObserver = std::function<void(const Route &)>;
    static void setConnectObserver(ConnectObserver observer);

    explicit TcpClient(QObject *parent = nullptr);
    ~TcpClient() override;

    QString RemoteHost;
    int RemotePort = 0;
    bool Secure = false; // TLS to RemoteHost, verified against its name

    // The route of the last Connect.
    const Route &route() const { return current; }
    // A connection that needs more than a TCP handshake on the loopback (TLS, a
    // proxy): the owner gives it longer to stand.
    bool slowConnect() const { return current.secure || !current.proxy.direct(); }
    // The owner gave up waiting for the connection: a tunnel or handshake still
    // under way is reported as an Error naming where it stalled.
    void connectTimedOut();

    int State() const;
    void Connect();
    // Drops the connection at once; queued data is discarded. The state is 0 after.
    void Close();
    // Queues bytes; returns before they are on the wire.
    void SendData(const QByteArray &bytes);
    // Queues a body that is read in chunks as the socket drains; SendProgress
    // counts its bytes. A source that fails ends the connection with an Error.
    void SendStream(std::unique_ptr<ByteSource> source);
    // Every byte that has arrived and not been taken yet.
    QByteArray GetData();

    // Chunk size of streamed bodies (the largest single cost of throughput).
    static constexpr qint64 kChunk = 1 << 20;

signals:
    void DataArrival(qint64 bytesTotal);
    void SendProgress(qint64 bytesSent, qint64 bytesRemaining);
    void Error(int number, const QString &description);
    // The peer closed its side; the state is sckClosing until Close().
    void PeerClosed();

private:
    enum class Stage { Tcp, Tunnel, Handshake, Ready };
    void refill();
    QByteArray &freeChunk(qint64 size);
    qint64 pending() const;
    void onConnected();
    void onTunnelData();
    void startHandshake();
    void onBytesWritten(qint64 n);
    void onSocketError();
    void fail(int number, const QString &description);
    void failLater(int number, const QString &description);
    QString target() const; // host:port of the server
    QString viaProxy(const QString &what) const;

    std::unique_ptr<QTcpSocket> socket;
    QSslSocket *secure = nullptr; // the same socket, in secure mode
    Route current;
    Stage stage = Stage::Tcp;
    QByteArray tunnelHead;
    QList<QSslError> sslErrors;
    quint64 generation = 0;
    std::unique_ptr<ByteSource> stream;
    qint64 streamTotal = 0;
    qint64 streamRead = 0;    // bytes taken from the source
    qint64 streamQueued = 0;  // of those, bytes not yet written to the wire
    qint64 plainQueued = 0;   // bytes of SendData not yet written
    std::vector<QByteArray> chunks; // bodies' chunks, shared with the socket while queued
    bool peerClosed = false;
    bool failed = false;
};

} // namespace tx
