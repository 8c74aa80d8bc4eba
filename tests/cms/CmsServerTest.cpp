// tessarix-cms as the controls meet it: what it stores, where, under which name,
// and what it answers; pictures checked by decoding what was stored.
#include "CmsServerFixture.h"

#include <csignal>


TEST_F(CmsServer, StoresUnderTheFolderWithTheBareName)
{
    struct Case {
        std::vector<Part> fields;
        std::string fileName;
        QString address;
    };
    const std::vector<Case> cases = {
        {{field("curPath", "/news/"), field("contentid", "-1")}, "C:\\docs\\a.txt", "/files/news/a.txt"},
        {{field("path", "/tree/sub/")}, "C:\\t\\b.txt", "/files/tree/sub/b.txt"},
        {{field("CURPATH", "./x//y/."), field("path", "/ignored/")}, "c.txt", "/files/x/y/c.txt"},
        {{field("curPath", "\\win\\style\\")}, "..\\..\\d.txt", "/files/win/style/d.txt"},
        {{}, "/home/u/e f&g.txt", "/files/e%20f%26g.txt"},
    };
    for (const Case &c : cases) {
        std::vector<Part> parts{file(c.fileName, kFile)};
        parts.insert(parts.end(), c.fields.begin(), c.fields.end());
        const Response r = post(server->port(), "/upload.asp", parts);
        EXPECT_EQ(r.status, 200) << c.fileName;
        EXPECT_EQ(answer(r), c.address);
        QString onDisk = QString(c.address).replace(QStringLiteral("%20"), QStringLiteral(" "));
        onDisk.replace(QStringLiteral("%26"), QStringLiteral("&"));
        EXPECT_EQ(readAll(root + onDisk), kFile) << onDisk.toStdString();
    }
    // The same bytes come back at the address, with a content type.
    httplib::Client client("127.0.0.1", server->port());
    const auto got = client.Get("/files/news/a.txt");
    ASSERT_TRUE(got);
    EXPECT_EQ(got->status, 200);
    EXPECT_EQ(got->body, kFile);
    EXPECT_EQ(got->get_header_value("Content-Type"), "text/plain");
    // Uploaded files are never run as the server's own pages.
    EXPECT_EQ(got->get_header_value("Content-Security-Policy"), "sandbox");
    EXPECT_EQ(got->get_header_value("X-Content-Type-Options"), "nosniff");
}

TEST_F(CmsServer, TraversalIsRefusedAndStoresNothing)
{
    const std::vector<std::vector<Part>> requests = {
        {file("a.txt", kFile), field("curPath", "../escape/")},
        {file("a.txt", kFile), field("curPath", "/news/../../escape/")},
        {file("a.txt", kFile), field("curPath", "..\\..\\etc\\")},
        {file("a.txt", kFile), field("path", "/a/..")},
        {file("C:\\dir\\..", kFile), field("curPath", "/")},
        {file("x/..", kFile)},
        {file("C:\\dir\\", kFile)},
        {file("a\x01.txt", kFile)},
        {field("curPath", "/news/")},  // no file at all
    };
    for (const auto &parts : requests) {
        const Response r = post(server->port(), "/cms/upload.asp", parts);
        EXPECT_EQ(r.status, 500) << parts.front().data;
        EXPECT_FALSE(r.body.empty()) << "a short reason";
    }
    EXPECT_EQ(storedFiles(), QStringList());
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/escape")));
    // Nor can a stored file's address reach outside files/.
    httplib::Client client("127.0.0.1", server->port());
    for (const char *path : {"/files/../cms.sqlite", "/files/%2e%2e/cms.sqlite", "/files/"}) {
        const auto got = client.Get(path);
        ASSERT_TRUE(got);
        EXPECT_EQ(got->status, 500) << path;
    }
}

TEST_F(CmsServer, PlantedLinksAreNeitherServedNorWrittenThrough)
{
    const QString outside = dir.path() + QStringLiteral("/outside");
    ASSERT_TRUE(QDir().mkpath(outside + QStringLiteral("/sub")));
    QFile secret(outside + QStringLiteral("/secret.txt"));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly) && secret.write("secret") == 6);
    secret.close();
    QFile::copy(secret.fileName(), outside + QStringLiteral("/sub/inner.txt"));
    ASSERT_EQ(post(server->port(), "/upload.asp", {file("seed.txt", kFile)}).status, 200);  // files/ exists
    ASSERT_TRUE(QFile::link(secret.fileName(), root + QStringLiteral("/files/link.txt")));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/sub"), root + QStringLiteral("/files/linkdir")));

    httplib::Client client("127.0.0.1", server->port());
    for (const char *path : {"/files/link.txt", "/files/linkdir/inner.txt"}) {
        const auto got = client.Get(path);
        ASSERT_TRUE(got);
        EXPECT_EQ(got->status, 500) << path;
        EXPECT_EQ(got->body.find("secret"), std::string::npos) << path;
    }
    // A name taken by a link is taken: the upload goes beside it.
    const Response r = post(server->port(), "/upload.asp", {file("link.txt", "new"), field("curPath", "/")});
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(answer(r), QStringLiteral("/files/link(1).txt"));
    EXPECT_EQ(post(server->port(), "/upload.asp", {file("x.txt", "new"), field("curPath", "/linkdir/")}).status, 500);
    EXPECT_EQ(readAll(secret.fileName()), "secret");
    EXPECT_EQ(QDir(outside + QStringLiteral("/sub")).entryList(QDir::Files), QStringList{QStringLiteral("inner.txt")});
}


TEST_F(CmsServer, AnyBoundaryIsRead)
{
    int n = 0;
    for (const std::string boundary : {"AaB03x", "x", "----WebKitFormBoundary7MA4YWxkTrZu0gW"}) {
        const std::string name = "b" + std::to_string(++n) + ".txt";
        const Response r = post(server->port(), "/upload.asp", {file(name, kFile), field("curPath", "/n/")}, boundary);
        EXPECT_EQ(r.status, 200) << boundary;
        EXPECT_EQ(readAll(root + QStringLiteral("/files/n/") + QString::fromStdString(name)), kFile);
    }
    // A quoted boundary parameter.
    const std::string body = multipartBody("q b", {file("q.txt", kFile)});
    std::string request = postRequest("/upload.asp", "\"q b\"", body);
    EXPECT_EQ(sendRaw(server->port(), request).status, 200);
    // No boundary, or another type: refused.
    request = postRequest("/upload.asp", "", body);
    EXPECT_EQ(sendRaw(server->port(), request).status, 500);
}

TEST_F(CmsServer, CutShortRequestLeavesNoFile)
{
    const std::string body = multipartBody("b", {file("big.bin", std::string(200000, 'z')), field("curPath", "/c/")});
    struct Case {
        std::string request;
        bool closes;
        const char *what;
    };
    const std::vector<Case> cases = {
        {postRequest("/upload.asp", "b", body.substr(0, 100000), (long long)body.size()), true,
         "connection closed mid-file"},
        {postRequest("/upload.asp", "b", body.substr(0, body.size() - 8)), false, "no closing delimiter"},
        {postRequest("/upload.asp", "b", body.substr(0, body.find("--b\r\nContent-Disposition: form-data; name=\"curPath\""))),
         false, "file part complete, fields missing"},
    };
    for (const Case &c : cases) {
        const Response r = sendRaw(server->port(), c.request, c.closes);
        EXPECT_EQ(r.status, c.closes ? 0 : 500) << c.what;
        EXPECT_EQ(storedFiles(), QStringList()) << c.what;
    }
    // The server still works afterwards.
    EXPECT_EQ(post(server->port(), "/upload.asp", {file("ok.txt", kFile)}).status, 200);
}

TEST_F(CmsServer, SameNameNeverOverwrites)
{
    const std::vector<std::string> contents = {"first", "second", "third"};
    const QStringList expected = {"/files/d/a.jpg", "/files/d/a(1).jpg", "/files/d/a(2).jpg"};
    for (std::size_t i = 0; i < contents.size(); ++i) {
        const Response r = post(server->port(), "/upload.asp", {file("C:\\x\\a.jpg", contents[i]), field("curPath", "/d/")});
        ASSERT_EQ(r.status, 200);
        EXPECT_EQ(answer(r), expected[int(i)]);
        EXPECT_EQ(readAll(root + expected[int(i)]), contents[i]);
    }
}

TEST_F(CmsServer, ConcurrentUploadsOfOneNameGetDistinctFiles)
{
    constexpr int kUploads = 8;
    std::vector<Response> answers(kUploads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kUploads; ++i)
        threads.emplace_back([&, i] {
            answers[i] = post(server->port(), "/upload.asp",
                              {file("same.txt", "content " + std::to_string(i)), field("curPath", "/c/")});
        });
    for (auto &t : threads)
        t.join();
    QSet<QString> addresses;
    for (int i = 0; i < kUploads; ++i) {
        ASSERT_EQ(answers[i].status, 200);
        addresses.insert(answer(answers[i]));
        EXPECT_EQ(readAll(root + answer(answers[i])), "content " + std::to_string(i));
    }
    EXPECT_EQ(addresses.size(), kUploads);
}

TEST_F(CmsServer, GbkNamesAndUtf8Folder)
{
    const std::string gbkName = tx::codepage::encode(u"C:\\资料\\新闻稿.txt").toStdString();
    const Response r = post(server->port(), "/upload.asp",
                            {Part{tx::codepage::encode(u"新闻稿.txt").toStdString(), gbkName, kFile},
                             field("curPath", QString::fromUtf16(u"/栏目/").toStdString())});
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(answer(r), QString::fromUtf16(u"/files/栏目/新闻稿.txt")) << "the answer is in the legacy code page";
    EXPECT_EQ(readAll(root + QString::fromUtf16(u"/files/栏目/新闻稿.txt")), kFile);
}

namespace {

// The rectangle of pixels that are no longer white.
QRect changedArea(const QImage &image)
{
    QRect area;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != QColor(Qt::white))
                area |= QRect(x, y, 1, 1);
    return area;
}

int countNear(const QImage &image, QColor c)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor p = image.pixelColor(x, y);
            n += std::abs(p.red() - c.red()) + std::abs(p.green() - c.green()) + std::abs(p.blue() - c.blue()) < 60;
        }
    return n;
}

std::vector<Part> pictureForm(const std::string &fileName, const std::string &bytes, bool thumb, int w, int h,
                              bool mark, int position, const std::string &background = "16711680",
                              const std::string &ink = "255")
{
    std::vector<Part> parts{file(fileName, bytes), field("curpath", "/pics/"), field("contentid", "-1"),
                            field("Thumbnail", thumb ? "Yes" : "No")};
    if (thumb)
        for (const Part &p : {field("bili", "-1"), field("ThumbnailWidth", std::to_string(w)),
                              field("ThumbnailHeight", std::to_string(h)), field("ThumbnailAlt", "Click"),
                              field("ThumbnailTarget", "about:blank")})
            parts.push_back(p);
    parts.push_back(field("WaterMark", mark ? "Yes" : "No"));
    if (mark)
        for (const Part &p : {field("WMText", QString::fromUtf16(u"样例 Mark").toStdString()),
                              field("WMPosition", std::to_string(position)), field("wmColor", ink),
                              field("wmBkColor", background)})
            parts.push_back(p);
    return parts;
}

} // namespace

TEST_F(CmsServer, WatermarkAtEachPosition)
{
    QImage white(240, 120, QImage::Format_RGB32);
    white.fill(Qt::white);
    const std::string png = imageBytes(white, "PNG");
    struct Case {
        int position;
        QPoint inside;  // a point the stamp must cover
        QString name;
        std::string background = "16711680";
        QColor box = Qt::blue;
        std::string ink = "255";
        QColor text = Qt::red, outline = Qt::white;
    };
    // Red text on a red box (both defaults of the picture form) stays readable
    // through its outline; yellow is light though its hue's lightness is middling.
    const std::vector<Case> cases = {{1, {8, 8}, "tl"}, {16, {120, 60}, "c"}, {256, {231, 111}, "br"},
                                     {1, {8, 8}, "same", "255", Qt::red},
                                     {1, {8, 8}, "yellow", "65535", Qt::yellow, "65535", Qt::yellow, Qt::black}};
    for (const Case &c : cases) {
        const std::string name = c.name.toStdString() + ".png";
        const Response r = post(server->port(), "/cms/upload.asp",
                                pictureForm(name, png, false, 0, 0, true, c.position, c.background, c.ink));
        ASSERT_EQ(r.status, 200) << r.body;
        const QString address = "/files/pics/" + c.name + ".png";
        EXPECT_EQ(answer(r), "<img src=" + address + ">");
        const QImage stored(root + address);
        ASSERT_EQ(stored.size(), white.size());
        const QRect area = changedArea(stored);
        EXPECT_TRUE(area.contains(c.inside)) << c.position;
        EXPECT_LT(area.width(), 240) << "a stamp, not a fill";
        // 0xBBGGRR: 16711680 is blue, 255 is red.
        EXPECT_GT(countNear(stored, c.box), 100) << "the background";
        EXPECT_GT(countNear(stored, c.text), 10) << "the text";
        EXPECT_GT(countNear(stored.copy(area), c.outline), 10) << c.name.toStdString() << ": the outline";
    }
}

TEST_F(CmsServer, ThumbnailAnswersALinkAroundIt)
{
    QImage picture(400, 300, QImage::Format_RGB32);
    picture.fill(QColor(10, 200, 30));
    const std::string jpeg = imageBytes(picture, "JPEG");

    Response r = post(server->port(), "/cms/upload.asp", pictureForm("C:\\p\\t.jpg", jpeg, true, 100, 75, false, 0));
    ASSERT_EQ(r.status, 200) << r.body;
    EXPECT_EQ(answer(r), "<a href=/files/pics/t.jpg target=about:blank><img src=/files/pics/t_thumb.jpg alt=Click></a>");
    EXPECT_EQ(readAll(root + "/files/pics/t.jpg"), jpeg) << "stored unchanged without a watermark";
    const QImage thumb(root + "/files/pics/t_thumb.jpg");
    EXPECT_EQ(thumb.size(), QSize(100, 75));
    EXPECT_LT(std::abs(thumb.pixelColor(50, 37).green() - 200), 20);

    // A thumbnail size of 0 x 0 (a tiny picture at 10 %) means no thumbnail.
    r = post(server->port(), "/cms/upload.asp", pictureForm("C:\\p\\t.jpg", jpeg, true, 0, 0, false, 0));
    EXPECT_EQ(answer(r), "<img src=/files/pics/t(1).jpg>");
    // Watermark and thumbnail together: the thumbnail shows the stamp too.
    r = post(server->port(), "/cms/upload.asp", pictureForm("w.jpg", jpeg, true, 200, 150, true, 1));
    EXPECT_EQ(answer(r), "<a href=/files/pics/w.jpg target=about:blank><img src=/files/pics/w_thumb.jpg alt=Click></a>");
    EXPECT_GT(countNear(QImage(root + "/files/pics/w_thumb.jpg"), Qt::blue), 50);
    // Never larger than the picture (keeping the asked ratio): a 10000 x 10000
    // thumbnail of a 3 x 2 picture is 2 x 2; 800 x 150 of 400 x 300 is 400 x 75.
    QImage tiny(3, 2, QImage::Format_RGB32);
    tiny.fill(Qt::red);
    r = post(server->port(), "/cms/upload.asp", pictureForm("tiny.png", imageBytes(tiny, "PNG"), true, 10000, 10000, false, 0));
    ASSERT_EQ(r.status, 200) << r.body;
    EXPECT_EQ(QImage(root + "/files/pics/tiny_thumb.png").size(), QSize(2, 2));
    r = post(server->port(), "/cms/upload.asp", pictureForm("tiny.bmp", imageBytes(tiny, "BMP"), true, 10000, 10000, false, 0));
    ASSERT_EQ(r.status, 200) << r.body;
    EXPECT_EQ(QImage(root + "/files/pics/tiny_thumb(1).png").size(), QSize(2, 2));
    r = post(server->port(), "/cms/upload.asp", pictureForm("wide.jpg", jpeg, true, 800, 150, false, 0));
    ASSERT_EQ(r.status, 200) << r.body;
    EXPECT_EQ(QImage(root + "/files/pics/wide_thumb.jpg").size(), QSize(400, 75));

    // Not a picture, a bad field value, or a picture of more than 100 megapixels
    // (refused from its header): nothing stored.
    QImage huge(10001, 10000, QImage::Format_Mono);
    huge.fill(0);
    const std::string hugePng = imageBytes(huge, "PNG");
    huge = QImage();
    const auto before = storedFiles();
    const Response hugeAnswer = post(server->port(), "/cms/upload.asp", pictureForm("huge.png", hugePng, true, 100, 100, false, 0));
    EXPECT_EQ(hugeAnswer.status, 500);
    EXPECT_NE(hugeAnswer.body.find("pixels"), std::string::npos) << hugeAnswer.body;
    // An uncompressed picture far shorter than its header says would be decoded
    // into the full size all the same (86 bytes: 400 MB and seconds of scaling).
    std::string cutBmp = imageBytes(tiny, "BMP");
    for (int at : {18, 22})
        for (int i = 0; i < 4; ++i)
            cutBmp[std::size_t(at + i)] = char((10000 >> (8 * i)) & 0xFF);
    const Response cut = post(server->port(), "/cms/upload.asp", pictureForm("cut.bmp", cutBmp, true, 100, 100, false, 0));
    EXPECT_EQ(cut.status, 500);
    EXPECT_NE(cut.body.find("shorter"), std::string::npos) << cut.body;
    EXPECT_EQ(post(server->port(), "/cms/upload.asp", pictureForm("n.jpg", "not a picture", true, 10, 10, false, 0)).status, 500);
    EXPECT_EQ(post(server->port(), "/cms/upload.asp", pictureForm("n.jpg", jpeg, false, 0, 0, true, 7)).status, 500);
    EXPECT_EQ(storedFiles(), before);
}

TEST_F(CmsServer, ArticleStoredAndShown)
{
    const std::string sep = "----abcdefghijklmnopqrstuvwxyz----";
    const std::string title = QString::fromUtf16(u"春天 <b>news</b> & co").toStdString();
    const std::vector<Part> form = {
        field("columnid", "12"), field("issueid", "0"), field("objecttype", "1"), field("title", title),
        field("content", "<p>Page one</p>" + sep + "<p>Page two <img src=/files/pics/a.jpg></p>" + sep),
        field("author", "Li"), field("curpath", "/news/")};
    Response r = post(server->port(), "/cms/savepost.asp", form);
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "1");
    r = post(server->port(), "/news/post.asp", form);
    EXPECT_EQ(r.body, "2") << "the --post-path script";
    EXPECT_EQ(post(server->port(), "/cms/savepost.asp", {field("other", "x")}).status, 500);

    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open((root + "/cms.sqlite").toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "SELECT columnid, title, author, curpath, pages FROM articles WHERE id = 1", -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)), "12");
    EXPECT_EQ(reinterpret_cast<const char *>(sqlite3_column_text(st, 1)), title);
    EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(st, 2)), "Li");
    EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(st, 3)), "/news/");
    EXPECT_EQ(sqlite3_column_int(st, 4), 2);
    sqlite3_finalize(st);
    sqlite3_close(db);

    httplib::Client client("127.0.0.1", server->port());
    const auto list = client.Get("/");
    ASSERT_TRUE(list);
    const std::string escaped = QString::fromUtf16(u"春天 &lt;b&gt;news&lt;/b&gt; &amp; co").toStdString();
    EXPECT_NE(list->body.find(escaped), std::string::npos);
    EXPECT_EQ(list->body.find("<b>news"), std::string::npos);
    EXPECT_NE(list->body.find("<a href=\"/article/1\">"), std::string::npos);
    const auto page = client.Get("/article/1");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("Page 2 of 2"), std::string::npos);
    EXPECT_NE(page->body.find("&lt;p&gt;Page two &lt;img src=/files/pics/a.jpg&gt;"), std::string::npos);
    EXPECT_EQ(page->body.find(sep), std::string::npos);
    EXPECT_EQ(client.Get("/article/99")->status, 500);

    // Quotes and spaces stay inside the attribute and the heading they are shown in.
    r = post(server->port(), "/cms/savepost.asp",
             {field("title", "say \"hi\" & 'bye'"), field("content", "<p title=\"a b\" onclick='x'>q</p>" + sep)});
    ASSERT_EQ(r.body, "3");
    const auto quoted = client.Get("/article/3");
    ASSERT_TRUE(quoted);
    EXPECT_NE(quoted->body.find("<h1>say &quot;hi&quot; &amp; &#39;bye&#39;</h1>"), std::string::npos);
    EXPECT_NE(quoted->body.find("<iframe sandbox srcdoc=\"&lt;meta charset=&quot;utf-8&quot;&gt;&lt;p title=&quot;a "
                                "b&quot; onclick=&#39;x&#39;&gt;q&lt;/p&gt;\" title=\"Page 1 of 1\"></iframe>"),
              std::string::npos)
        << quoted->body;
    EXPECT_NE(client.Get("/")->body.find("<a href=\"/article/3\">say &quot;hi&quot;"), std::string::npos);
}

// The editor's page over HTTP and HTTPS: where it tells the controls to post (the
// port and scheme it came by), its policy, the library beside it, and escaped
// titles; the HTTPS port takes the scripts through the same bounded reader, and a
// certificate that cannot be used stops the server with a reason.
TEST_F(CmsServer, EditorPageOverHttpAndHttps)
{
    // A refused body is left unread and the connection closed: the client's write
    // of its rest must fail, not end this process.
    std::signal(SIGPIPE, SIG_IGN);
    const QString cert = dir.path() + "/cert.pem", key = dir.path() + "/key.pem";
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=localhost",
                   "-keyout", key, "-out", cert});
    ASSERT_TRUE(openssl.waitForFinished(60000) && openssl.exitCode() == 0) << "openssl is needed for this test";

    const std::string hostile = "<script>alert(1)</script>";
    post(server->port(), "/cms/savepost.asp", {field("title", hostile), field("content", "x")});

    CmsProcess tls(dir.path() + "/root2", {"--tls", cert, key, "--public-address"});
    ASSERT_NE(tls.tlsPort(), 0);
    ASSERT_NE(tls.tlsPort(), tls.port());

    struct Case {
        const char *what;
        httplib::Result result;
        std::string scripts;
        bool publicAddress;
    };
    httplib::Client plain("127.0.0.1", server->port());
    httplib::SSLClient secure("127.0.0.1", tls.tlsPort());
    secure.enable_server_certificate_verification(false);
    Case cases[] = {{"http", plain.Get("/admin/"), "http://127.0.0.1:" + std::to_string(server->port()), false},
                    {"https", secure.Get("/admin/"), "https://127.0.0.1:" + std::to_string(tls.tlsPort()), true}};
    for (Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.result);
        EXPECT_EQ(c.result->status, 200);
        EXPECT_NE(c.result->body.find("data-scripts=\"" + c.scripts + "\""), std::string::npos)
            << "the controls post where the page came from";
        const std::string csp = c.result->get_header_value("Content-Security-Policy");
        EXPECT_NE(csp.find("script-src 'self'"), std::string::npos) << csp;
        EXPECT_NE(csp.find("ws://127.0.0.1:*"), std::string::npos) << csp;
        EXPECT_EQ(csp.find("treat-as-public-address") != std::string::npos, c.publicAddress) << csp;
    }
    EXPECT_EQ(cases[0].result->body.find(hostile), std::string::npos) << "titles are escaped";
    EXPECT_NE(cases[0].result->body.find("&lt;script&gt;"), std::string::npos);

    const auto library = secure.Get("/admin/tessarix.js");
    ASSERT_TRUE(library);
    EXPECT_EQ(library->get_header_value("Content-Type"), "text/javascript; charset=utf-8");
    EXPECT_EQ(library->body, readAll(QStringLiteral(SOURCE_DIR "/bridge/tessarix.js")));
    EXPECT_EQ(plain.Get("/admin")->status, 302);
    EXPECT_EQ(plain.Get("/admin/../cms.sqlite")->status, 500);
    EXPECT_EQ(plain.Get("/admin/missing.js")->status, 500);

    const auto refused = secure.Post("/upload.asp", "x", "text/plain");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 500);
    EXPECT_NE(refused->body.find("multipart/form-data"), std::string::npos) << refused->body;
    const Response stored = post(tls.port(), "/upload.asp", {field("curPath", "/a/"), file("x.txt", kFile)});
    EXPECT_EQ(stored.status, 200) << "the plain port still takes uploads";
    EXPECT_EQ(tls.stop(), 0);

    const struct {
        QStringList args;
        int exitCode;
        const char *says;
    } refusals[] = {
        {{"--tls", key, cert}, 1, "certificate"},        // key and certificate swapped
        {{"--tls", cert}, 2, "usage"},                   // the key missing
        {{"--public-address"}, 2, "usage"},              // nothing to make public without --tls
        {{"--tls-port", "8443"}, 2, "usage"},
    };
    for (const auto &r : refusals) {
        SCOPED_TRACE(r.args.join(' ').toStdString());
        QProcess bad;
        bad.start(QStringLiteral(CMS_BINARY), QStringList{"--port", "0", "--root", dir.path() + "/root3"} + r.args);
        ASSERT_TRUE(bad.waitForFinished(15000));
        EXPECT_EQ(bad.exitCode(), r.exitCode);
        EXPECT_NE(bad.readAllStandardError().indexOf(r.says), -1);
    }
}
