// tessarix-cms against requests that are too large, ambiguous or cut short: each
// refused with a reason, nothing kept, nothing left behind.
#include "CmsServerFixture.h"

TEST_F(CmsServer, AmbiguousRequestsAreRefusedWithAReason)
{
    ASSERT_EQ(post(server->port(), "/upload.asp", {file("n.txt", kFile), field("curPath", "/nul/")}).status, 200);
    // A NUL would end the file name early while the content type came from the whole.
    for (const char *path : {"/files/nul/n.txt%00.html", "/files/nul/n.txt%00", "/%00"}) {
        const Response r = sendRaw(server->port(), std::string("GET ") + path + " HTTP/1.1\r\nHost: x\r\n\r\n");
        EXPECT_EQ(r.status, 500) << path;
        EXPECT_EQ(r.body.find("file bytes"), std::string::npos) << path;
    }
    const std::string body = multipartBody("b", {file("twice.txt", kFile)});
    std::string request = postRequest("/upload.asp", "b", body);
    request.insert(request.find("Content-Length"), "Content-Type: multipart/form-data; boundary=c\r\n");
    const Response r = sendRaw(server->port(), request);
    EXPECT_EQ(r.status, 500);
    EXPECT_NE(r.body.find("more than one Content-Type"), std::string::npos) << r.body;
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("/files/twice.txt")));
}

namespace {

constexpr long long kKeptLimit = 16LL * 1024 * 1024;

// What the server keeps of a request: names and file names as sent, text values.
long long keptBytes(const std::vector<Part> &parts)
{
    long long n = 0;
    for (const Part &p : parts)
        n += static_cast<long long>(p.name.size()) + (p.fileName ? (long long)p.fileName->size() : (long long)p.data.size());
    return n;
}

// An upload whose last field makes the kept bytes come to `total`.
std::vector<Part> keptUpTo(long long total)
{
    std::vector<Part> parts{file("a.txt", kFile), field("curPath", "/lim/"), field("filler", "")};
    parts.back().data.assign(static_cast<std::size_t>(total - keptBytes(parts)), 'v');
    return parts;
}

std::vector<Part> withParts(int count)
{
    std::vector<Part> parts{file("a.txt", kFile)};
    while (int(parts.size()) < count)
        parts.push_back(field("f", ""));
    return parts;
}

}  // namespace

TEST_F(CmsServer, LimitsCrossedByOneByteOrPartAreRefusedAtOnce)
{
    std::vector<Part> nameOver = keptUpTo(kKeptLimit);
    nameOver.push_back(field("z", ""));  // the name is the byte too many
    struct Case {
        const char *what;
        std::vector<Part> parts;
        bool refused;
        const char *reason;
    };
    const std::vector<Case> cases = {
        {"kept bytes at the limit", keptUpTo(kKeptLimit), false, ""},
        {"a value one byte over", keptUpTo(kKeptLimit + 1), true, "bytes"},
        {"a name one byte over", nameOver, true, "bytes"},
        {"parts at the limit", withParts(1000), false, ""},
        {"one part over", withParts(1001), true, "parts"},
    };
    for (const Case &c : cases) {
        const std::string body = multipartBody("b", c.parts);
        std::string sent = body;
        if (c.refused) {
            // Sent up to where the limit is passed and no further, the whole length
            // announced: a server that read on would wait for the rest.
            const std::size_t lastHead = body.rfind("Content-Disposition");
            sent = c.parts.back().data.empty() ? body.substr(0, body.find("\r\n\r\n", lastHead) + 4)
                                               : body.substr(0, body.size() - 4);
        }
        const Response r = sendRaw(server->port(), postRequest("/upload.asp", "b", sent, (long long)body.size()));
        EXPECT_EQ(r.status, c.refused ? 500 : 200) << c.what;
        if (c.refused) {
            EXPECT_NE(r.body.find(c.reason), std::string::npos) << c.what << ": " << r.body;
            EXPECT_EQ(storedFiles(), QStringList()) << c.what;
        } else {
            EXPECT_EQ(answer(r), QStringLiteral("/files/") + (c.parts.size() > 3 ? "" : "lim/") + "a.txt") << c.what;
            QFile::remove(root + answer(r));
        }
    }

    // What the HTTP library itself would keep: the head (many short header lines or
    // one long one), the body of another method, a chunked body's size lines. Each
    // is sent up to the byte too many; a server that read on would wait for the rest.
    // A GET head of exactly `total` bytes, filled with header lines of about `line` bytes.
    const auto headOf = [](std::size_t total, std::size_t line) {
        std::string head = "GET / HTTP/1.1\r\nHost: x\r\n";
        const std::size_t left = total - head.size() - 2;
        const std::size_t lines = std::max<std::size_t>(1, left / line);
        for (std::size_t i = 0; i < lines; ++i) {
            const std::size_t length = i == 0 ? left - (lines - 1) * line : line;
            head += "X-F:" + std::string(length - 6, 'h') + "\r\n";
        }
        return head + "\r\n";
    };
    constexpr std::size_t kHead = 64 * 1024;
    const std::string chunkedHead = "POST /upload.asp HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; "
                                    "boundary=b\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string pipelined = multipartBody("b", {file("p.txt", kFile)});
    struct Raw {
        const char *what;
        std::string request;
        const char *reason;  // empty: served
    };
    const std::vector<Raw> raw = {
        // The library alone keeps any number of short header lines: these rows fail
        // when its server no longer calls the bounded reader.
        {"a head at the limit", headOf(kHead, 100), ""},
        {"short header lines one byte over", headOf(kHead + 1, 100), "head"},
        {"one long header line over", "GET / HTTP/1.1\r\nHost: x\r\nX-F:" + std::string(kHead, 'h'), "head"},
        {"a request line over", "GET /" + std::string(kHead, 'p'), "head"},
        {"a body on another method", "PUT /files/x HTTP/1.1\r\nHost: x\r\nContent-Length: 1000000000\r\n\r\nabc",
         "PUT"},
        {"a chunk size line without end", chunkedHead + "5" + std::string(100000, ' '), "Transfer-Encoding"},
        // One request per connection: what follows a refused one is never served.
        {"an upload sent after a refused request", postRequest("/nowhere.asp", "b", pipelined)
                                                       + postRequest("/upload.asp", "b", pipelined), "no script"},
    };
    for (const Raw &c : raw) {
        const Response r = sendRaw(server->port(), c.request);
        EXPECT_EQ(r.status, *c.reason ? 500 : 200) << c.what;
        EXPECT_NE(r.body.find(*c.reason ? c.reason : "<html"), std::string::npos) << c.what << ": " << r.body;
    }
    EXPECT_EQ(storedFiles(), QStringList());
}

TEST_F(CmsServer, FullDiskLeavesNothingBehind)
{
    EXPECT_EQ(server->stop(), 0) << "a stop right after the start ends the server too";
    server = std::make_unique<CmsProcess>(root, QStringList{}, 256 * 1024);
    ASSERT_NE(server->port(), 0);
    const std::string big(600 * 1024, 'd');
    for (const char *path : {"/upload.asp", "/cms/upload.asp"}) {
        const Response r = post(server->port(), path, {file("big.bin", big), field("curPath", "/full/")});
        EXPECT_EQ(r.status, 500) << path;
        EXPECT_FALSE(r.body.empty());
        EXPECT_EQ(storedFiles(), QStringList()) << "no partial file, in files/ or .incoming/";
    }
    // The server lives on and stores what fits.
    EXPECT_EQ(post(server->port(), "/upload.asp", {file("small.txt", kFile)}).status, 200);
    EXPECT_EQ(storedFiles(), QStringList{QStringLiteral("files/small.txt")});
}
