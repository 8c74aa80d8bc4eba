#pragma once
// Collects an HTTP response from the pieces in which it arrives: the status line
// and headers, then a body framed by Content-Length, by chunked transfer coding
// (decoded here) or by the server closing the connection.
#include <QByteArray>
#include <QByteArrayView>

namespace tx {

class ResponseFramer {
public:
    void reset();
    void feed(QByteArrayView piece);
    // The peer closed: whatever has arrived is the whole response, unless the
    // head announced more (a length or chunks) than came.
    void closed();

    bool complete() const { return done; }
    // Closed before the announced end: what came is not an answer.
    bool cutShort() const { return cut; }
    bool empty() const { return head.isEmpty() && raw.isEmpty(); }
    // Status line, headers, the empty line and the decoded body, as far as known.
    QByteArray response() const;

    // Responses larger than this are cut here and taken as complete.
    static constexpr qsizetype kMaxResponse = 16 << 20;

private:
    enum class Stage { Head, Length, Chunked, UntilClose };
    void parseHead();
    void decodeChunks();

    Stage stage = Stage::Head;
    QByteArray raw;  // bytes not yet consumed
    QByteArray head; // through the empty line
    QByteArray body; // decoded
    qint64 remaining = 0;
    bool done = false;
    bool cut = false;
};

} // namespace tx
