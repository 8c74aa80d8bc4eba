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
    QByteArray version; // "HTTP/1.1"
    qsizetype size = 0; // of the whole head, its empty line included
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

// What is wrong with a WebSocket upgrade's request line or its WebSocket headers
// (empty when nothing), and the status to refuse it with: 400, or 426 for a
// WebSocket version other than ours.
QString handshakeProblem(const RequestHead &head, int *status);

// The Host header names this service: 127.0.0.1, [::1] or localhost with our port.
bool hostIsOurs(const QByteArray &host, quint16 port);

} // namespace tx::bridge
