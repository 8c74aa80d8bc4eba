#pragma once
// A loopback HTTP server for tests, living in the test's own event loop. It reads
// each request whole (head + Content-Length body), records it, and answers as told:
// ok, 500, 404, split in pieces, chunked, silent, dropped, raw bytes, or a 500 and
// then a close; it can also read slowly, or stop reading, to hold a sender back.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QTcpServer;
class QTcpSocket;

namespace tx::test {

struct MultipartPart {
    QByteArray name;     // as sent (legacy code page bytes)
    QByteArray filename; // empty for a field
    QByteArray contentType;
    QByteArray data;
};

struct ReceivedRequest {
    QByteArray head; // through the empty line
    QByteArray body;
    QByteArray requestLine() const;
    QByteArray header(const QByteArray &name) const;
    QByteArray boundary() const;
    QList<MultipartPart> parts() const;
    // The value of the field or file part `name` (exact match), or empty.
    QByteArray field(const QByteArray &name) const;
};

class TestHttpServer : public QObject {
    Q_OBJECT
public:
    enum class Mode { Ok, Error500, NotFound404, Split, Chunked, Silent, Drop, Raw, CloseAfterHead, Error500ThenClose };

    explicit TestHttpServer(QObject *parent = nullptr);
    ~TestHttpServer() override;

    quint16 port() const;
    QString url(const QString &path = QStringLiteral("/upload.asp")) const;
    // Serves over TLS from now on, on a new port, with this certificate and key
    // (PEM files); url() then says https and names `host`. False when they do not load.
    bool useTls(const QString &certFile, const QString &keyFile, const QString &host = QStringLiteral("127.0.0.1"));
    // Handshakes that failed on this side (TLS only).
    int refusedHandshakes = 0;

    // The answer's body for Ok, Split and Chunked; the bytes for Raw.
    void setMode(Mode m, const QByteArray &payload = QByteArray());
    // Bytes per write in Split mode.
    void setPieceSize(int n) { pieceSize = n; }
    // Answers chosen per request (request index from 0); overrides the mode.
    void setAnswerFor(std::function<QByteArray(int index, const ReceivedRequest &)> f) { custom = std::move(f); }
    // Big uploads: count the body without keeping it.
    void setKeepBodies(bool keep) { keepBodies = keep; }
    // Reads at most `bytes` every `ms` milliseconds (0 bytes: stops reading after
    // the first piece), so that the client's writes back up; 0 ms reads freely.
    void setReadRate(qint64 bytes, int ms) { rateBytes = bytes; rateMs = ms; }

    QList<ReceivedRequest> requests;
    qint64 bodyBytes = 0; // of the last request, also when not kept
    int connections = 0;

    static QByteArray okResponse(const QByteArray &body);

private:
    void onConnection();
    void onReadable(QTcpSocket *s);
    void onData(QTcpSocket *s, const QByteArray &bytes);
    void answer(QTcpSocket *s, const ReceivedRequest &r);
    void writeInPieces(QTcpSocket *s, QByteArray data, bool closeAfter);

    QTcpServer *server = nullptr;
    QString scheme = QStringLiteral("http");
    QString urlHost = QStringLiteral("127.0.0.1");
    Mode mode = Mode::Ok;
    QByteArray payload = "/files/a.txt";
    int pieceSize = 3;
    bool keepBodies = true;
    qint64 rateBytes = 0;
    int rateMs = 0;
    std::function<QByteArray(int, const ReceivedRequest &)> custom;
};

} // namespace tx::test
