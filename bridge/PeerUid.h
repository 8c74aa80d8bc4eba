#pragma once
// Which local account a loopback connection comes from: the owner of the
// client's socket, read from the kernel's tables /proc/net/tcp and tcp6.
#include <QHostAddress>
#include <optional>

namespace tx::bridge {

// The uid owning the socket whose local end is peer:peerPort and whose remote end
// is local:localPort; nothing when no such socket is listed as established.
std::optional<uint> peerUid(const QHostAddress &peer, quint16 peerPort, const QHostAddress &local,
                            quint16 localPort);

// The same looked up in the text of one such table. Only an established socket
// tells its owner: one closed by its program (FIN_WAIT2, TIME_WAIT) is listed
// under uid 0 whoever had it.
std::optional<uint> ownerIn(const QByteArray &table, const QByteArray &localEnd, const QByteArray &remoteEnd);

// The kernel's spelling of an address and port in those tables ("0100007F:1F90").
QByteArray kernelAddress(const QHostAddress &address, quint16 port);

} // namespace tx::bridge
