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
    // Bytes the page sent before our answer to its handshake were read with the
    // handshake and never reached the WebSocket: asked once the WebSocket is made.
    bool takenWithHead() const;

signals:
    void unmaskedFrame();
    // A ping came while much of what we sent waits for the page to read it: every
    // ping is answered, so a page that pings and never reads would fill our memory.
    void pingsUnread();

private:
    enum class Part { Header, Length, Mask, Payload };
    void look();
    void feed(const char *data, qint64 size);
    void fail();
    qint64 taken() const; // bytes of the connection the socket has taken from the kernel

    QPointer<QTcpSocket> socket;
    const qint64 headEnd;
    qint64 seen; // the position up to which frames were looked at
    Part part = Part::Header;
    QByteArray field; // the bytes of the part read so far
    qint64 need = 2;  // how many the part has
    bool close = false;
    qint64 payload = 0;
    qint64 closeEnd = -1; // where the page's close frame ends
    bool failed = false;
    bool pingsPiled = false;
};

} // namespace tx::bridge
