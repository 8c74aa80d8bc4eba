// The bridge's pure logic: origins, request heads, the kernel's socket tables,
// request checking and path grants.
#include "bridge/AuditLog.h"
#include "bridge/Origins.h"
#include "bridge/PeerUid.h"
#include "bridge/PromptWords.h"
#include "bridge/Protocol.h"
#include "bridge/RequestHead.h"
#include "core/PathGrants.h"

#include "BridgeFixture.h"

#include <QDateTime>

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
    // `serialized`: as a browser writes an Origin header, so that it may be echoed.
    const struct {
        const char *in;
        const char *out;
        bool serialized;
    } rows[] = {
        {"https://CMS.Example.org", "https://cms.example.org", true},
        {"https://cms.example.org:443/", "https://cms.example.org", false},
        {"https://cms.example.org:8443", "https://cms.example.org:8443", true},
        {"http://localhost:80", "http://localhost", true},
        {"http://127.0.0.1:8080", "http://127.0.0.1:8080", true},
        {"http://[::1]:8080", "http://[::1]:8080", true},
        {"null", "", true},
        {"", "", false},
        {"file:///home/me/page.html", "", false},
        {"ftp://cms.example.org", "", true},
        {"https://cms.example.org/admin", "", false},
        {"https://user@cms.example.org", "", false},
        {"https://cms.example.org?x=1", "", false},
        {"https://a.example, https://b.example", "", false},
        {"http://localhost:8080\rSet-Cookie: a=1", "", false},
        {"http://local\thost:8080", "", false},
        {"http://localhost:8080\x01", "", false},
        {"http://localhost:", "http://localhost", false},
        {"http://localhost:123456", "", false},
        {"http://localhost:99999", "", false},
        {"http://localhost:08080", "http://localhost:8080", false},
        {"http://localhost:0", "http://localhost:0", true},
        {"http://[::1]x:8080", "", false},
        {"://localhost", "", false},
        {"1http://localhost", "", false},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(normalizeOrigin(QString::fromUtf8(r.in)), QString::fromUtf8(r.out)) << r.in;
        EXPECT_EQ(isSerializedOrigin(r.in), r.serialized) << r.in;
    }
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
    EXPECT_EQ(kernelAddress(QHostAddress(QStringLiteral("::ffff:127.0.0.1")), 8080),
              QByteArray("0000000000000000FFFF00000100007F:1F90"));
    EXPECT_FALSE(peerUid(QHostAddress(QStringLiteral("127.0.0.1")), 1, QHostAddress(QStringLiteral("127.0.0.1")), 1));


    // Only the client's own end, established, tells its owner: a socket its
    // program closed is listed under uid 0 (FIN_WAIT2, TIME_WAIT).
    const QByteArray table =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
        "   0: 0100007F:B90D 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 100 1\n"
        "   1: 0100007F:9C40 0100007F:B90D 05 00000000:00000000 00:00000000 00000000     0        0 0 3\n"
        "   2: 0100007F:9C41 0100007F:B90D 06 00000000:00000000 03:00000000 00000000     0        0 0 3\n"
        "   3: 0100007F:9C42 0100007F:B90D 01 00000000:00000000 00:00000000 00000000 65534        0 101 1\n"
        "   4: 0100007F:B90D 0100007F:9C42 01 00000000:00000000 00:00000000 00000000     0        0 102 1\n"
        "   5: 0100007F:9C43 0100007F:B90D 08 00000000:00000000 00:00000000 00000000  1000        0 103 1\n";
    const struct {
        const char *local;
        const char *remote;
        std::optional<uint> uid;
    } rows[] = {
        {"0100007F:9C40", "0100007F:B90D", std::nullopt}, // closed at once: FIN_WAIT2
        {"0100007F:9C41", "0100007F:B90D", std::nullopt}, // TIME_WAIT
        {"0100007F:9C42", "0100007F:B90D", 65534u},
        {"0100007F:B90D", "0100007F:9C43", std::nullopt}, // the other way round
        {"0100007F:9C43", "0100007F:B90D", std::nullopt}, // CLOSE_WAIT: its owner may have gone
        {"0100007F:9C44", "0100007F:B90D", std::nullopt},
        {"0100007F:B90D", "00000000:0000", std::nullopt}, // the listener
    };
    for (const auto &r : rows)
        EXPECT_EQ(ownerIn(table, r.local, r.remote), r.uid) << r.local << " " << r.remote;
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
    f.close();
    // A log that cannot be written (here a link planted in its place): the service
    // says so once, and the log counts what it lost when it takes lines again.
    static QStringList warnings;
    const QtMessageHandler before = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &m) { warnings << m; });
    QFile::remove(path);
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("elsewhere")), path));
    log.write(QStringLiteral("lost 1"));
    log.write(QStringLiteral("lost 2"));
    qInstallMessageHandler(before);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].contains(QStringLiteral("cannot write the audit log %1").arg(path))) << warnings[0].toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("elsewhere"))));
    QFile::remove(path);
    log.write(QStringLiteral("written again"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray again = f.readAll();
    EXPECT_TRUE(again.contains(" 2 entries could not be written to this log\n") && again.endsWith(" written again\n")) << again.constData();
}

// 100,000 refusals spread over a day from 40 origins, one of them no browser's,
// between the records of 200 sessions: every session record stays, every refusal
// is counted, and the files stay small.
TEST(AuditLog, AFloodOfRefusalsNeitherPushesSessionsOutNorGoesUncounted)
{
    // Minutes of 60 s, not of the tests' short ticks: a day has 1440 of them.
    qunsetenv("TESSARIX_TICK_MS");
    ASSERT_EQ(AuditLog::minute(), 60000);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bridge.log"));
    qint64 now = QDateTime(QDate(2026, 12, 9), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    {
        AuditLog log(path);
        log.setClock([&now] { return now; });
        for (int i = 0; i < 100000; ++i) {
            if (i % 500 == 0)
                log.write(QStringLiteral("session %1 %2 origin=https://cms.example").arg(i / 1000).arg(i % 1000 ? u"end" : u"start"));
            // Half of them from one origin.
            const QByteArray origin = i % 40 == 39 ? QByteArray("http://x\r\nforged: 1")
                                                   : "https://o" + QByteArray::number(i % 2 ? i % 40 : 0) + ".example";
            log.refused(QStringLiteral("127.0.0.1"), origin, QStringLiteral("refused 127.0.0.1 403: origin %1 is not trusted").arg(AuditLog::shown(origin)));
            now += 864; // a day in all
        }
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".1")));
    EXPECT_LT(QFileInfo(path).size(), 8 * 1024 * 1024);
    for (int s = 0; s < 100; ++s)
        for (const char *what : {"start", "end"})
            EXPECT_TRUE(text.contains(QStringLiteral("session %1 %2 origin").arg(s).arg(QLatin1String(what)))) << s << what;
    EXPECT_EQ(tx::test::refusalsCounted(text), 100000);
    EXPECT_TRUE(text.contains(QStringLiteral("more refused from https://o0.example (127.0.0.1")));
    EXPECT_TRUE(text.contains(QStringLiteral("more refused from other origins")));
    EXPECT_TRUE(text.contains(QStringLiteral("today's refusal lines are full")));
    EXPECT_TRUE(text.contains(QStringLiteral("http://x\\x0d\\x0aforged: 1")));
    EXPECT_EQ(text.count(u'\n'), text.count(QStringLiteral("Z "))) << "one line an entry";
    // The day's refusals take 512 KiB, and then one line a minute.
    EXPECT_LT(text.size(), 1024 * 1024);
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
