#pragma once
// Looks at the frames a page sends before the WebSocket reads them: a frame from
// a page must be masked, and the page's close frame tells who closed first. It
// only peeks; the bytes stay for the WebSocket. Positions count from the first
// byte of the connection, as the kernel counts them, so what the WebSocket has
// read already needs no guessing.
#include <QObject>
#include <QPointer>
#include <QTcpSocket>

namespace tx::bridge {

class FrameGuard : public QObject {
    Q_OBJECT
public:
    // Watches `socket` from byte `start` (the end of the request head) on. Made
    // before anything else connects to the socket's readyRead, so it always looks first.
    FrameGuard(QTcpSocket *socket, qint64 start);

    // An unmasked frame came (or bytes went by unseen): the session is to close with 1002.
    bool broken() const { return failed; }
    // The page's close frame came and the WebSocket has read it: the page closed first.
    bool pageCloseRead() const;

signals:
    void unmaskedFrame();

private:
    enum class Part { Header, Length, Mask, Payload };
    void look();
    void feed(const char *data, qint64 size);
    void fail();
    qint64 taken() const; // bytes of the connection the socket has taken from the kernel

    QPointer<QTcpSocket> socket;
    qint64 seen;  // the position up to which frames were looked at
    Part part = Part::Header;
    QByteArray field; // the bytes of the part read so far
    qint64 need = 2;  // how many the part has
    bool close = false;
    qint64 payload = 0;
    qint64 closeEnd = -1; // where the page's close frame ends
    bool failed = false;
};

} // namespace tx::bridge
