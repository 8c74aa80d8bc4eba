// fuzz-deps: tx_bridge
// The listener's look at a request head: whatever arrives, the state is decided
// by the bytes up to the head's end alone (what follows, or how much of it has
// come, changes nothing), a complete head has a token method and lower-case token
// names, routing and the Host check take any head, and a handshake passes only
// when it is one this service speaks.
#include "bridge/RequestHead.h"

#include <cstdint>
#include <cstdlib>

namespace {

using tx::bridge::RequestHead;

bool same(const RequestHead &a, const RequestHead &b)
{
    return a.state == b.state && a.method == b.method && a.target == b.target && a.version == b.version
        && a.size == b.size && a.headers == b.headers;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const RequestHead head = tx::bridge::parseRequestHead(bytes);
    const qsizetype end = bytes.left(tx::bridge::kMaxHead).indexOf("\r\n\r\n");
    switch (head.state) {
    case RequestHead::State::Incomplete:
    case RequestHead::State::TooLarge:
        if (end >= 0 || (head.state == RequestHead::State::TooLarge) != (size >= size_t(tx::bridge::kMaxHead)))
            std::abort();
        break;
    case RequestHead::State::Malformed:
    case RequestHead::State::Complete: {
        if (end < 0)
            std::abort();
        // The same head with nothing after it, and with more after it.
        const QByteArray exact = bytes.left(end + 4);
        if (!same(tx::bridge::parseRequestHead(exact), head)
            || !same(tx::bridge::parseRequestHead(exact + "GET / HTTP/1.1\r\n\r\n"), head))
            std::abort();
        break;
    }
    }
    if (head.state == RequestHead::State::Complete) {
        if (head.method.isEmpty() || head.method.contains(' ') || head.target.contains(' '))
            std::abort();
        for (auto it = head.headers.cbegin(); it != head.headers.cend(); ++it) {
            const QByteArray &name = it.key();
            if (name.isEmpty() || name != name.toLower() || name.contains(':') || name.contains('\n'))
                std::abort();
            if (it.value().contains('\n'))
                std::abort();
        }
    } else if (!head.method.isEmpty() && head.state != RequestHead::State::Malformed) {
        std::abort();
    }
    if ((head.state == RequestHead::State::Complete) != (head.size == end + 4 && end >= 0))
        std::abort();
    const tx::bridge::Route route = tx::bridge::routeOf(head);
    if (route == tx::bridge::Route::Upgrade && !head.isWebSocketUpgrade())
        std::abort();
    // A handshake let through is one of version 13 over HTTP/1.1 with a 16-byte key.
    int status = 0;
    const QString problem = tx::bridge::handshakeProblem(head, &status);
    if (problem.isEmpty()) {
        const auto key = QByteArray::fromBase64Encoding(head.header("sec-websocket-key"),
                                                        QByteArray::AbortOnBase64DecodingErrors);
        if (head.version != "HTTP/1.1" || !key || key.decoded.size() != 16
            || head.header("sec-websocket-version") != "13")
            std::abort();
    } else if (status != 400 && status != 426) {
        std::abort();
    }
    const bool ours = tx::bridge::hostIsOurs(head.header("host"), 8877);
    if (ours && !head.has("host"))
        std::abort();
    return 0;
}
