#pragma once
// Which local account a loopback connection comes from: the owner of the
// client's socket, read from the kernel's tables /proc/net/tcp and tcp6.
#include <QHostAddress>
#include <optional>

namespace tx::bridge {

// The uid owning the socket whose local end is peer:peerPort and whose remote end
// is local:localPort; nothing when no such socket is listed.
std::optional<uint> peerUid(const QHostAddress &peer, quint16 peerPort, const QHostAddress &local,
                            quint16 localPort);

// The kernel's spelling of an address and port in those tables ("0100007F:1F90").
QByteArray kernelAddress(const QHostAddress &address, quint16 port);

} // namespace tx::bridge
