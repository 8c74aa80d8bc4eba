// The bridge's pure logic: origins, request heads, the kernel's socket tables,
// request checking and path grants.
#include "bridge/AuditLog.h"
#include "bridge/Origins.h"
#include "bridge/PeerUid.h"
#include "bridge/PromptWords.h"
#include "bridge/Protocol.h"
#include "bridge/RequestHead.h"
#include "core/PathGrants.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tx::bridge;
using tx::PathGrants;

TEST(Origins, NormalisedToSchemeHostAndPort)
{
    const struct {
        const char *in;
        const char *out;
    } rows[] = {
        {"https://CMS.Example.org", "https://cms.example.org"},
        {"https://cms.example.org:443/", "https://cms.example.org"},
        {"https://cms.example.org:8443", "https://cms.example.org:8443"},
        {"http://localhost:80", "http://localhost"},
        {"http://127.0.0.1:8080", "http://127.0.0.1:8080"},
        {"http://[::1]:8080", "http://[::1]:8080"},
        {"null", ""},
        {"", ""},
        {"file:///home/me/page.html", ""},
        {"ftp://cms.example.org", ""},
        {"https://cms.example.org/admin", ""},
        {"https://user@cms.example.org", ""},
        {"https://cms.example.org?x=1", ""},
        {"https://a.example, https://b.example", ""},
    };
    for (const auto &r : rows)
        EXPECT_EQ(normalizeOrigin(QString::fromUtf8(r.in)), QString::fromUtf8(r.out)) << r.in;
    EXPECT_TRUE(isLoopbackOrigin(QStringLiteral("http://localhost:8080")));
    EXPECT_TRUE(isLoopbackOrigin(QStringLiteral("http://127.0.0.2")));
    EXPECT_TRUE(isLoopbackOrigin(QStringLiteral("http://[::1]:8080")));
    EXPECT_FALSE(isLoopbackOrigin(QStringLiteral("http://localhost.example.org")));
}

TEST(Origins, ListFileIsPrivateAndReadAgainWhenChanged)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tessarix/origins"));
    OriginList list(path);
    QString error;
    ASSERT_TRUE(list.trust({QStringLiteral("https://a.example"), false}, &error)) << error.toStdString();
    ASSERT_TRUE(list.trust({QStringLiteral("https://b.example"), true}, &error));
    ASSERT_TRUE(list.trust({QStringLiteral("https://a.example"), true}, &error)); // replaced, not doubled
    struct stat st{};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    OriginList other(path);
    ASSERT_EQ(other.entries().size(), 2);
    EXPECT_TRUE(other.find(QStringLiteral("https://a.example"))->anyPath);

    bool was = false;
    ASSERT_TRUE(list.untrust(QStringLiteral("https://a.example"), &was, &error));
    EXPECT_TRUE(was);
    EXPECT_EQ(other.find(QStringLiteral("https://a.example")), nullptr);
    ASSERT_TRUE(list.untrust(QStringLiteral("https://a.example"), &was, &error));
    EXPECT_FALSE(was);

    // A list others may write is no word of this user's.
    ::chmod(QFile::encodeName(path).constData(), 0666);
    OriginList loose(path);
    EXPECT_EQ(loose.find(QStringLiteral("https://b.example")), nullptr);
    EXPECT_FALSE(loose.problem().isEmpty());
    EXPECT_FALSE(loose.trust({QStringLiteral("https://c.example"), false}, &error));
}

TEST(RequestHead, ParsedAndRoutedBeforeAnswering)
{
    const struct {
        QByteArray bytes;
        RequestHead::State state;
        Route route;
    } rows[] = {
        {"GET /status HTTP/1.1\r\nHost: x\r\n\r\n", RequestHead::State::Complete, Route::Status},
        {"GET /status?x=1 HTTP/1.1\r\n\r\n", RequestHead::State::Complete, Route::Status},
        {"GET /tessarix.js HTTP/1.0\r\n\r\n", RequestHead::State::Complete, Route::Script},
        {"OPTIONS /status HTTP/1.1\r\n\r\n", RequestHead::State::Complete, Route::Preflight},
        {"GET / HTTP/1.1\r\nUpgrade: WebSocket\r\nConnection: keep-alive, Upgrade\r\n\r\n", RequestHead::State::Complete, Route::Upgrade},
        {"GET / HTTP/1.1\r\nUpgrade: websocket\r\n\r\n", RequestHead::State::Complete, Route::NotFound},
        {"DELETE /status HTTP/1.1\r\n\r\n", RequestHead::State::Complete, Route::NotFound},
        {"GET /status HTTP/1.1\r\nHost: x\r\n", RequestHead::State::Incomplete, Route::NotFound},
        {"GET /status\r\n\r\n", RequestHead::State::Malformed, Route::NotFound},
        {"GET /status HTTP/1.1\r\nno colon\r\n\r\n", RequestHead::State::Malformed, Route::NotFound},
        {"G(T /status HTTP/1.1\r\n\r\n", RequestHead::State::Malformed, Route::NotFound},
        {"GET /status HTTP/1.1\r\nX: " + QByteArray(kMaxHead, 'a'), RequestHead::State::TooLarge, Route::NotFound},
    };
    for (const auto &r : rows) {
        const RequestHead head = parseRequestHead(r.bytes);
        EXPECT_EQ(int(head.state), int(r.state)) << r.bytes.left(60).constData();
        if (head.state == RequestHead::State::Complete) {
            EXPECT_EQ(int(routeOf(head)), int(r.route)) << r.bytes.constData();
        }
    }
    const RequestHead twice = parseRequestHead("GET / HTTP/1.1\r\nOrigin: a\r\norigin: b\r\n\r\n");
    EXPECT_EQ(twice.header("origin"), QByteArray("a, b"));
    EXPECT_TRUE(hostIsOurs("127.0.0.1:47373", 47373));
    EXPECT_TRUE(hostIsOurs("[::1]:47373", 47373));
    EXPECT_TRUE(hostIsOurs("LocalHost:47373", 47373));
    EXPECT_FALSE(hostIsOurs("localhost", 47373));
    EXPECT_FALSE(hostIsOurs("evil.example:47373", 47373));
    EXPECT_FALSE(hostIsOurs("127.0.0.1:47373, evil", 47373));
}

TEST(PeerUid, KernelSpellingOfAddresses)
{
    // As /proc/net/tcp prints them on this (little-endian) machine.
    EXPECT_EQ(kernelAddress(QHostAddress(QStringLiteral("127.0.0.1")), 8080), QByteArray("0100007F:1F90"));
    EXPECT_EQ(kernelAddress(QHostAddress(QStringLiteral("::1")), 47373), QByteArray("00000000000000000000000001000000:B90D"));
    EXPECT_FALSE(peerUid(QHostAddress(QStringLiteral("127.0.0.1")), 1, QHostAddress(QStringLiteral("127.0.0.1")), 1));
}

TEST(Protocol, RequestsAreCheckedBeforeTheWorkerSeesThem)
{
    const struct {
        const char *frame;
        bool ok;
        int number; // of the error
    } rows[] = {
        {R"({"id":1,"type":"create","progId":"Tessarix5.Helper"})", true, 0},
        {R"({"id":"a","type":"call","object":3,"member":"X","args":[1,"s",null,true]})", true, 0},
        {R"({"id":1,"type":"call","object":3,"member":"X"})", true, 0},
        {R"({"id":1,"type":"put","object":3,"member":"X","value":null})", true, 0},
        {R"({"id":1,"type":"put","object":3,"member":"X"})", false, 13},
        {R"({"id":1,"type":"choose","folder":true})", true, 0},
        {R"({"id":1,"type":"choose","folder":"yes"})", false, 13},
        {R"({"id":1,"type":"get","object":0,"member":"X"})", false, 13},
        {R"({"id":1,"type":"get","object":1e12,"member":"X"})", false, 13},
        {R"({"id":1,"type":"create"})", false, 13},
        {R"({"id":null,"type":"create","progId":"x"})", false, 13},
        {R"({"id":{},"type":"create","progId":"x"})", false, 13},
        {R"({"id":1,"type":"exec"})", false, 5},
        {R"({"id":1})", false, 5},
        {R"([1])", false, 5},
        {R"({"id":1,)", false, 5},
    };
    for (const auto &r : rows) {
        const Checked c = checkRequest(r.frame);
        EXPECT_EQ(c.request.has_value(), r.ok) << r.frame;
        if (!r.ok) {
            EXPECT_EQ(c.error.number, r.number) << r.frame;
        }
    }
    const QByteArray e = errorReply(1, limitError(QStringLiteral("x")));
    EXPECT_TRUE(e.contains(R"("number":-2146828281)")) << e.constData();
    EXPECT_EQ(errorReply(QJsonValue(), protocolError(QStringLiteral("x"))).left(10), QByteArray(R"({"error":{)"));
}

TEST(PathGrants, OnlyWhatWasChosenAndWhatLiesBelowAChosenFolder)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("chosen/sub")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/etc"), root + QStringLiteral("/chosen/etc-link")));
    ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("outside/inner")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/outside/inner"), root + QStringLiteral("/chosen/inner-link")));
    PathGrants grants;
    grants.grant(root + QStringLiteral("/chosen"));
    grants.grant(QStringLiteral("/data/one.doc"));
    grants.grant(QStringLiteral("relative.doc"));
    const struct {
        QString path;
        bool allowed;
    } rows[] = {
        {root + QStringLiteral("/chosen"), true},
        {root + QStringLiteral("/chosen/sub/x.doc"), true},
        // Backslashes: refused unless inside whether or not they separate.
        {root + QStringLiteral("\\chosen\\sub\\x.doc"), false},
        {root + QStringLiteral("/chosen/sub\\x.doc"), true},
        {root + QStringLiteral("/chosen/a\\b\\c/../../x"), false},
        {root + QStringLiteral("/chosen/../other.doc"), false},
        {root + QStringLiteral("/chosenother/x.doc"), false},
        {root + QStringLiteral("/chosen/etc-link/passwd"), false},
        // ".." after a link leaves where the link leads, not the folder holding it.
        {root + QStringLiteral("/chosen/inner-link/../secret.doc"), false},
        // A file not there yet is judged by the folder that will hold it.
        {root + QStringLiteral("/chosen/inner-link/new.doc"), false},
        {root + QStringLiteral("/chosen/sub/new.doc"), true},
        {root + QStringLiteral("/chosen/new/deeper.doc"), true},
        {QStringLiteral("/data/one.doc"), true},
        {QStringLiteral("/data/one.doc.bak"), false},
        {QStringLiteral("relative.doc"), false},
        {QStringLiteral("/data"), false},
    };
    for (const auto &r : rows)
        EXPECT_EQ(grants.allows(r.path), r.allowed) << r.path.toStdString();
}

TEST(AuditLog, PrivateOneLineAnEntryAndRotatedKeepingOneOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("state/tessarix/bridge.log"));
    AuditLog log(path, 100);
    log.write(QStringLiteral("first\nforged entry"));
    struct stat st{};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count('\n'), 1);
    f.close();
    for (int i = 0; i < 10; ++i)
        log.write(QStringLiteral("entry %1 with some words to fill the file").arg(i));
    EXPECT_TRUE(QFile::exists(path + QStringLiteral(".1")));
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".2")));
    EXPECT_LT(QFileInfo(path).size(), 200);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("entry 9"));
}

// The question about a new origin speaks the user's language; both versions name
// the origin in the title and the text, and keep Deny last (the default).
TEST(PromptWords, InTheUsersLanguage)
{
    const struct {
        const char *locale;
        const char16_t *deny;
    } rows[] = {{"zh_CN", u"拒绝"}, {"zh_TW", u"拒绝"}, {"en_US", u"Deny"}, {"de_DE", u"Deny"}, {"C", u"Deny"}};
    const QString origin = QStringLiteral("https://cms.example");
    for (const auto &r : rows) {
        const PromptWords w = promptWords(origin, QLocale(QString::fromLatin1(r.locale)));
        ASSERT_EQ(w.buttons.size(), 3) << r.locale;
        EXPECT_EQ(w.buttons.last(), QString::fromUtf16(r.deny)) << r.locale;
        EXPECT_TRUE(w.title.contains(origin) && w.text.contains(origin)) << r.locale;
    }
}
