#include "bridge/FrameGuard.h"

#include <cstddef>
#include <linux/sockios.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace tx::bridge {
namespace {

// The kernel's TCP states in which the peer's FIN has come.
constexpr int kTimeWait = 6;
constexpr int kCloseWait = 8;
constexpr int kLastAck = 9;
constexpr int kClosing = 11;
// What may wait for the page to read when it pings. No browser pings; a client that
// does and reads nothing is stopped here, one read of the socket's worth of pongs later.
constexpr qint64 kMaxUnreadAtPing = 1024 * 1024;

} // namespace

FrameGuard::FrameGuard(QTcpSocket *s, qint64 start) : QObject(s), socket(s), headEnd(start), seen(start)
{
    connect(socket, &QTcpSocket::readyRead, this, &FrameGuard::look);
    look();
}

qint64 FrameGuard::taken() const
{
    const int fd = socket ? int(socket->socketDescriptor()) : -1;
    if (fd < 0)
        return -1;
    // What the kernel received, less what still waits in it; asked until no byte
    // came in between.
    for (int i = 0; i < 8; ++i) {
        tcp_info before{};
        tcp_info after{};
        socklen_t size = sizeof before;
        socklen_t size2 = sizeof after;
        int waiting = 0;
        if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &before, &size) != 0 || ::ioctl(fd, SIOCINQ, &waiting) != 0 ||
            ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &after, &size2) != 0 ||
            size < offsetof(tcp_info, tcpi_bytes_received) + sizeof before.tcpi_bytes_received)
            return -1;
        // The peer's FIN counts as a byte received, but never reaches the socket.
        const int state = after.tcpi_state;
        const bool finReceived = state == kCloseWait || state == kLastAck || state == kClosing || state == kTimeWait;
        if (before.tcpi_bytes_received == after.tcpi_bytes_received)
            return qint64(after.tcpi_bytes_received) - waiting - (finReceived ? 1 : 0);
    }
    return -1;
}

bool FrameGuard::pageCloseRead() const
{
    if (closeEnd < 0)
        return false;
    const qint64 end = taken();
    return end < 0 || end - socket->bytesAvailable() >= closeEnd;
}

bool FrameGuard::takenWithHead() const
{
    const qint64 end = taken();
    return end >= 0 && end - socket->bytesAvailable() > headEnd;
}

void FrameGuard::look()
{
    if (failed || !socket)
        return;
    const qint64 end = taken();
    if (end < 0)
        return;
    const qint64 available = socket->bytesAvailable();
    const qint64 start = end - available;
    if (seen < start) {
        fail(); // the WebSocket read bytes that were never looked at
        return;
    }
    if (end <= seen)
        return;
    const qint64 fresh = end - seen;
    // The middle of a long frame needs no copy.
    if (part == Part::Payload && payload > fresh) {
        payload -= fresh;
        seen = end;
        return;
    }
    const QByteArray bytes = socket->peek(available);
    feed(bytes.constData() + (seen - start), qMin(fresh, qint64(bytes.size()) - (seen - start)));
}

void FrameGuard::feed(const char *data, qint64 size)
{
    qint64 i = 0;
    while (i < size && !failed) {
        if (part == Part::Payload) {
            const qint64 n = qMin(payload, size - i);
            payload -= n;
            i += n;
            seen += n;
        } else {
            field += data[i++];
            ++seen;
            if (field.size() < need)
                continue;
            const auto byte = [this](int k) { return quint64(uchar(field[k])); };
            if (part == Part::Header) {
                if (!(byte(1) & 0x80)) {
                    fail();
                    return;
                }
                close = (byte(0) & 0x0f) == 0x8;
                if ((byte(0) & 0x0f) == 0x9 && !pingsPiled && socket->bytesToWrite() > kMaxUnreadAtPing) {
                    pingsPiled = true;
                    emit pingsUnread();
                    return;
                }
                payload = qint64(byte(1) & 0x7f);
                part = payload == 126 || payload == 127 ? Part::Length : Part::Mask;
                need = payload == 126 ? 2 : payload == 127 ? 8 : 4;
            } else if (part == Part::Length) {
                quint64 length = 0;
                for (int k = 0; k < need; ++k)
                    length = length << 8 | byte(k);
                payload = qint64(length & ~(quint64(1) << 63));
                part = Part::Mask;
                need = 4;
            } else {
                part = Part::Payload;
            }
            field.clear();
        }
        if (part == Part::Payload && payload == 0) {
            if (close && closeEnd < 0)
                closeEnd = seen;
            part = Part::Header;
            need = 2;
        }
    }
}

void FrameGuard::fail()
{
    failed = true;
    emit unmaskedFrame();
}

} // namespace tx::bridge
