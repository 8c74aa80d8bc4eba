#include "upload/ResponseFramer.h"

#include <gtest/gtest.h>

using namespace tx;

namespace {

// Feeds `bytes` in pieces of `size`; returns whether the framer completed.
bool feedInPieces(ResponseFramer &f, const QByteArray &bytes, int size)
{
    for (qsizetype i = 0; i < bytes.size(); i += size)
        f.feed(QByteArrayView(bytes.constData() + i, qMin<qsizetype>(size, bytes.size() - i)));
    return f.complete();
}

} // namespace

TEST(ResponseFramer, FramesByLengthChunksOrClose)
{
    const QByteArray byLength = "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n/up/a.jpg";
    const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\n/up/\r\n5;x=y\r\na.jpg\r\n0\r\n\r\n";
    for (int piece : {1, 3, 7, 1000}) {
        ResponseFramer a;
        EXPECT_TRUE(feedInPieces(a, byLength, piece));
        EXPECT_EQ(a.response(), byLength);

        ResponseFramer b;
        EXPECT_TRUE(feedInPieces(b, chunked, piece));
        EXPECT_EQ(b.response(), "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n/up/a.jpg");
    }
    // Without a length the body runs to the close.
    ResponseFramer c;
    c.feed("HTTP/1.0 200 OK\r\n\r\n/up/");
    EXPECT_FALSE(c.complete());
    c.feed("a.jpg");
    c.closed();
    EXPECT_TRUE(c.complete());
    EXPECT_EQ(c.response(), "HTTP/1.0 200 OK\r\n\r\n/up/a.jpg");
}

TEST(ResponseFramer, IncompleteAndOddResponses)
{
    ResponseFramer partial;
    partial.feed("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
    EXPECT_FALSE(partial.complete()); // a time-out now counts as no answer

    ResponseFramer headOnly; // closed after a head without its empty line
    headOnly.feed("HTTP/1.1 200 OK\r\nX: y");
    headOnly.closed();
    EXPECT_EQ(headOnly.response(), "HTTP/1.1 200 OK\r\nX: y");

    ResponseFramer interim;
    interim.feed("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    EXPECT_TRUE(interim.complete());
    EXPECT_EQ(interim.response(), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    // Only a status line the controls read as 1xx is passed over as interim.
    for (const QByteArray line : {"HTTP/1.1 +100 Continue", " HTTP/1.1 100 Continue", "<html> 100 x", "HTTP/1.1 001 x"}) {
        ResponseFramer notInterim;
        notInterim.feed(line + "\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
        EXPECT_EQ(notInterim.statusLine(), line);
        EXPECT_EQ(notInterim.statusCode(), 0) << line.constData();
        EXPECT_FALSE(notInterim.complete()) << line.constData();
    }

    // Bodiless by status, whatever the headers announce and however it arrives.
    for (const QByteArray status : {"204 OK", "304 Not Modified"}) {
        const QByteArray head = "HTTP/1.1 " + status + "\r\nContent-Length: 9\r\n\r\n";
        for (int piece : {1, 4, 1000}) {
            ResponseFramer noBody;
            EXPECT_TRUE(feedInPieces(noBody, head + "/up/a.jpg", piece)) << status.constData() << piece;
            EXPECT_EQ(noBody.response(), head) << piece;
        }
    }
}

TEST(ResponseFramer, CloseBeforeTheAnnouncedEndIsNoAnswer)
{
    const struct {
        const char *bytes;
        bool cut;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", true},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\n/up/\r\n", true},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\n/u", true},
        {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc", false},
        {"HTTP/1.0 200 OK\r\n\r\nabc", false}, // no length: the close ends it
        {"HTTP/1.1 200 OK", false},                // a head without its empty line
    };
    for (const auto &c : cases) {
        ResponseFramer f;
        f.feed(c.bytes);
        f.closed();
        EXPECT_TRUE(f.complete());
        EXPECT_EQ(f.cutShort(), c.cut) << c.bytes;
    }
}
