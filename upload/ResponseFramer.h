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
    // A head not ended within kMaxHead, or a response beyond kMaxResponse:
    // complete, and no answer. Nothing more is kept.
    bool overflow() const { return over; }
    // The head of the final (not interim) answer has ended.
    bool headComplete() const { return stage != Stage::Head; }
    // The first line of the answer once its CR LF has come, else empty; and its
    // status code, 0 while there is none or the line is not an HTTP status line.
    QByteArray statusLine() const;
    int statusCode() const;
    // Status line, headers, the empty line and the decoded body, as far as known.
    QByteArray response() const;

    static constexpr qsizetype kMaxHead = 64 << 10;
    static constexpr qsizetype kMaxResponse = 16 << 20;

private:
    enum class Stage { Head, Length, Chunked, UntilClose };
    void parseHead();
    void overflowed();
    void decodeChunks();

    Stage stage = Stage::Head;
    QByteArray raw;  // bytes not yet consumed
    QByteArray head; // through the empty line
    QByteArray body; // decoded
    qint64 remaining = 0;
    bool done = false;
    bool cut = false;
    bool over = false;
};

} // namespace tx
