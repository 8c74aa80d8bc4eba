// The streaming multipart reader: any boundary, any split of the bytes, heads as
// the controls write them, and bodies that are cut short or malformed; and the
// bounds of the picture work.
#include "cms/MultipartParser.h"
#include "cms/PictureWork.h"
#include "cms/Refused.h"
#include "core/CodePage.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace tx::cms;

namespace {

struct Recorder : PartSink {
    struct Part {
        PartHead head;
        std::string data;
        bool ended = false;
    };
    std::vector<Part> parts;
    void beginPart(const PartHead &head) override { parts.push_back({head, {}, false}); }
    void partData(const char *data, std::size_t size) override { parts.back().data.append(data, size); }
    void endPart() override { parts.back().ended = true; }
};

std::string bodyWith(const std::string &boundary, const std::string &fileBytes)
{
    const std::string d = "--" + boundary;
    return "preamble to ignore\r\n" + d + "\r\n"
        + "Content-Disposition: form-data; name=\"a.jpg\"; filename=\"C:\\pics\\a.jpg\"\r\n"
        + "Content-Type: text/plain\r\n\r\n" + fileBytes + "\r\n" + d + "  \r\n"
        + "Content-Disposition: form-data; name=\"curPath\"\r\n\r\n/news/\r\n" + d + "\r\n"
        + "Content-Disposition: form-data; name=\"empty\"\r\n\r\n\r\n" + d + "--\r\nepilogue";
}

Recorder parseInPieces(const std::string &boundary, const std::string &body, std::size_t piece, bool *complete)
{
    Recorder rec;
    MultipartParser parser(boundary, rec);
    for (std::size_t at = 0; at < body.size(); at += piece)
        parser.feed(body.data() + at, std::min(piece, body.size() - at));
    *complete = parser.complete();
    return rec;
}

} // namespace

TEST(MultipartParser, AnyBoundaryAnySplit)
{
    const std::vector<std::string> boundaries = {
        "---------------------------7d1c934a05c4", "x", "AaB03x", "a.b+c(d)?*", "----_1"};
    for (const std::string &b : boundaries) {
        // Near misses of the delimiter inside the content must stay content.
        const std::string file = std::string("\0\x01 bin\r\n--", 10) + b.substr(0, b.size() - 1)
            + "\r\n-" + b + "\n--" + b + "x\r\r\n";
        const std::string body = bodyWith(b, file);
        for (std::size_t piece : {body.size(), std::size_t(1), std::size_t(2), std::size_t(3),
                                  std::size_t(7), std::size_t(64)}) {
            SCOPED_TRACE("boundary " + b + ", pieces of " + std::to_string(piece));
            bool complete = false;
            const Recorder rec = parseInPieces(b, body, piece, &complete);
            EXPECT_TRUE(complete);
            ASSERT_EQ(rec.parts.size(), 3u);
            EXPECT_TRUE(rec.parts[0].head.isFile);
            EXPECT_EQ(rec.parts[0].head.name, "a.jpg");
            EXPECT_EQ(rec.parts[0].head.fileName, "C:\\pics\\a.jpg");
            EXPECT_EQ(rec.parts[0].data, file);
            EXPECT_EQ(rec.parts[1].head.name, "curPath");
            EXPECT_FALSE(rec.parts[1].head.isFile);
            EXPECT_EQ(rec.parts[1].data, "/news/");
            EXPECT_EQ(rec.parts[2].data, "");
            for (const auto &p : rec.parts)
                EXPECT_TRUE(p.ended);
        }
    }
}

TEST(MultipartParser, CutShortIsNeverComplete)
{
    const std::string body = bodyWith("b", "0123456789");
    // Every proper prefix up to the closing "--" leaves the body incomplete.
    const std::size_t closing = body.find("--b--") + 5;
    for (std::size_t len = 0; len < closing; ++len) {
        bool complete = true;
        parseInPieces("b", body.substr(0, len), 5, &complete);
        EXPECT_FALSE(complete) << "prefix of " << len << " bytes";
    }
}

TEST(MultipartParser, BoundaryFromContentType)
{
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"multipart/form-data; boundary=---------------------------7d1c934a05c4",
         "---------------------------7d1c934a05c4"},
        {"Multipart/Form-Data; charset=utf-8; BOUNDARY=\"a b;c\"", "a b;c"},
        {"multipart/form-data;boundary=xyz", "xyz"},
        {"multipart/mixed; boundary=x", std::nullopt},
        {"multipart/form-data", std::nullopt},
        {"multipart/form-data; boundary=\"\"", std::nullopt},
        {"application/x-www-form-urlencoded", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto &[type, expected] : cases)
        EXPECT_EQ(boundaryOf(type), expected) << type;
}

TEST(MultipartParser, PartHeads)
{
    tx::codepage::select(QStringLiteral("936"));
    const QByteArray gbk = tx::codepage::encode(u"C:\\资料\\新闻.txt");
    struct Case {
        std::string block;
        QString name, fileName;
        bool isFile;
    };
    const std::vector<Case> cases = {
        {"Content-Disposition: form-data; name=\"a.jpg\"; filename=\"C:\\d\\a.jpg\"\r\nContent-Type: text/plain",
         "a.jpg", "C:\\d\\a.jpg", true},
        {"content-disposition: FORM-DATA; NAME=curPath", "curPath", "", false},
        {"Content-Disposition: form-data; name=\"a%22b\"; filename=\"x%0Ay%0d%2F\"", "a\"b", "x\ny\r%2F", true},
        {"Content-Disposition: form-data; name=\"n\"; filename=\"" + gbk.toStdString() + "\"", "n",
         QString::fromUtf16(u"C:\\资料\\新闻.txt"), true},
        {"Content-Disposition: form-data; name=\"semi;colon\"", "semi;colon", "", false},
    };
    for (const Case &c : cases) {
        const PartHead head = parsePartHead(c.block);
        EXPECT_EQ(head.name, c.name) << c.block;
        EXPECT_EQ(head.fileName, c.fileName) << c.block;
        EXPECT_EQ(head.isFile, c.isFile) << c.block;
    }
    for (const std::string bad : {"Content-Disposition: attachment; name=\"x\"",
                                  "Content-Disposition: form-data; filename=\"x\"", "", "Content-Type: text/plain"})
        EXPECT_THROW(parsePartHead(bad), Refused) << bad;
}

TEST(MultipartParser, MalformedBodiesAreRefused)
{
    const std::vector<std::string> bodies = {
        "--b\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\nv\r\n--bogus\r\n",  // not a delimiter line
        "--b\r\n\r\nno head\r\n--b--",                                             // part without a name
        "--b" + std::string(300, ' '),                                             // endless delimiter line
        "--b\r\nX: " + std::string(20000, 'h'),                                     // endless part head
        // The same limits when the line's end has come in the same read.
        "--b" + std::string(300, ' ') + "\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\nv\r\n--b--",
        "--b\r\nContent-Disposition: form-data; name=\"x\"\r\nX: " + std::string(20000, 'h') + "\r\n\r\nv\r\n--b--",
    };
    for (const std::string &body : bodies) {
        Recorder rec;
        MultipartParser parser("b", rec);
        EXPECT_THROW(parser.feed(body.data(), body.size()), Refused) << body.substr(0, 40);
    }
}

TEST(PictureWork, ThumbnailNeverLargerThanThePictureNorSixteenMegapixels)
{
    struct Case {
        QSize picture;
        int width, height;
        QSize expected;
    };
    const std::vector<Case> cases = {
        {{400, 300}, 100, 75, {100, 75}},        // smaller: as asked
        {{400, 300}, 400, 300, {400, 300}},      // the picture's own size
        {{400, 300}, 401, 300, {400, 299}},      // one over: shrunk, ratio kept
        {{400, 300}, 800, 150, {400, 75}},
        {{400, 300}, 100, 600, {50, 300}},
        {{3, 2}, 10000, 10000, {2, 2}},
        {{1, 1}, 32767, 1, {1, 1}},              // never below one pixel
        {{5000, 4000}, 5000, 4000, {4472, 3577}},
        {{10000, 10000}, 10000, 10000, {4000, 4000}},
    };
    for (const Case &c : cases) {
        const QSize got = tx::cms::picture::thumbnailSize(c.picture, c.width, c.height);
        EXPECT_EQ(got, c.expected) << c.width << "x" << c.height << " of " << c.picture.width() << "x" << c.picture.height();
        EXPECT_LE(static_cast<long long>(got.width()) * got.height(), tx::cms::picture::kMaxThumbnailPixels);
    }
}
