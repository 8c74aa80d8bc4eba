#pragma once
// The TCP client control the upload machinery talks to: remote host and port, a
// state number, Connect / Close / SendData / GetData, and the events DataArrival,
// SendProgress and Error, all delivered on the owner's thread while it pumps.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class QTcpSocket;

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
    };

    explicit TcpClient(QObject *parent = nullptr);
    ~TcpClient() override;

    QString RemoteHost;
    int RemotePort = 0;

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
    void refill();
    void onBytesWritten(qint64 n);
    void onSocketError();
    void fail(int number, const QString &description);

    std::unique_ptr<QTcpSocket> socket;
    std::unique_ptr<ByteSource> stream;
    qint64 streamTotal = 0;
    qint64 streamRead = 0;    // bytes taken from the source
    qint64 streamQueued = 0;  // of those, bytes not yet written to the wire
    qint64 plainQueued = 0;   // bytes of SendData not yet written
    QByteArray chunk;
    bool peerClosed = false;
    bool failed = false;
};

} // namespace tx
