#include "bridge/PeerUid.h"

#include <QFile>
#include <QList>
#include <cstring>

namespace tx::bridge {
namespace {

// The kernel prints each 32-bit word of the address as it lies in memory.
QByteArray words(const quint8 *bytes, int count)
{
    QByteArray out;
    for (int i = 0; i < count; i += 4) {
        quint32 w = 0;
        std::memcpy(&w, bytes + i, 4);
        out += QByteArray::number(w, 16).rightJustified(8, '0').toUpper();
    }
    return out;
}

constexpr char kEstablished[] = "01";

std::optional<uint> findIn(const char *table, const QByteArray &localEnd, const QByteArray &remoteEnd)
{
    QFile f(QString::fromLatin1(table));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return ownerIn(f.readAll(), localEnd, remoteEnd);
}

} // namespace

std::optional<uint> ownerIn(const QByteArray &table, const QByteArray &localEnd, const QByteArray &remoteEnd)
{
    const QList<QByteArray> lines = table.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> cols = lines[i].simplified().split(' ');
        // sl local rem st queues tr retrnsmt uid ...
        if (cols.size() > 7 && cols[1] == localEnd && cols[2] == remoteEnd && cols[3] == kEstablished) {
            bool ok = false;
            const uint uid = cols[7].toUInt(&ok);
            if (ok)
                return uid;
        }
    }
    return std::nullopt;
}

QByteArray kernelAddress(const QHostAddress &address, quint16 port)
{
    QByteArray host;
    bool v4 = false;
    const quint32 ip4 = address.toIPv4Address(&v4);
    if (v4 && address.protocol() == QAbstractSocket::IPv4Protocol) {
        const quint8 bytes[4] = {quint8(ip4 >> 24), quint8(ip4 >> 16), quint8(ip4 >> 8), quint8(ip4)};
        host = words(bytes, 4);
    } else {
        const Q_IPV6ADDR ip6 = address.toIPv6Address();
        host = words(ip6.c, 16);
    }
    return host + ':' + QByteArray::number(port, 16).rightJustified(4, '0').toUpper();
}

std::optional<uint> peerUid(const QHostAddress &peer, quint16 peerPort, const QHostAddress &local, quint16 localPort)
{
    if (peer.protocol() == QAbstractSocket::IPv6Protocol)
        return findIn("/proc/net/tcp6", kernelAddress(peer, peerPort), kernelAddress(local, localPort));
    if (const auto uid = findIn("/proc/net/tcp", kernelAddress(peer, peerPort), kernelAddress(local, localPort)))
        return uid;
    // A client on a dual-stack socket reaches 127.0.0.1 by its IPv4-mapped
    // address, and its end is listed with the IPv6 sockets.
    return findIn("/proc/net/tcp6", kernelAddress(QHostAddress(peer.toIPv6Address()), peerPort),
                  kernelAddress(QHostAddress(local.toIPv6Address()), localPort));
}

} // namespace tx::bridge
