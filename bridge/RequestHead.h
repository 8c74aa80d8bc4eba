#pragma once
// The head of one HTTP request as the listener peeks at it, before anything is
// answered: request line and headers, and what the listener should do with it.
#include <QByteArray>
#include <QHash>
#include <QString>

namespace tx::bridge {

inline constexpr int kMaxHead = 8 * 1024;

struct RequestHead {
    enum class State { Incomplete, TooLarge, Malformed, Complete };
    State state = State::Incomplete;
    QByteArray method;
    QByteArray target;
    QHash<QByteArray, QByteArray> headers; // names in lower case; repeated ones joined by ", "

    bool has(const char *name) const { return headers.contains(name); }
    QByteArray header(const char *name) const { return headers.value(name); }
    // Upgrade: websocket, with Connection naming upgrade.
    bool isWebSocketUpgrade() const;
};

// Parses what has arrived so far (at most kMaxHead bytes are looked at).
RequestHead parseRequestHead(const QByteArray &bytes);

enum class Route { Status, Script, Preflight, Upgrade, NotFound };
Route routeOf(const RequestHead &head);

// The Host header names this service: 127.0.0.1, [::1] or localhost with our port.
bool hostIsOurs(const QByteArray &host, quint16 port);

} // namespace tx::bridge
