// Uploads over TLS and through a proxy: what is trusted, what each refusal says,
// and what the proxy and the server each get to see.
#include <QFileInfo>
#include "core/Pump.h"
#include "platform/TcpClient.h"
#include "platform/Ui.h"
#include "support/TestHttpServer.h"
#include "support/TestPki.h"
#include "support/TestProxy.h"
#include "upload/FileUpload.h"
#include "upload/UploadMachinery.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProgressBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tx;
using test::TestHttpServer;
using test::TestProxy;

namespace {

const char *const kProxyVars[] = {"https_proxy", "HTTPS_PROXY", "http_proxy", "HTTP_PROXY", "all_proxy",
                                  "ALL_PROXY",   "no_proxy",    "NO_PROXY",   "SSL_CERT_FILE", "SSL_CERT_DIR"};

class Secure : public ::testing::Test {
protected:
    static void SetUpTestSuite() { pki = new test::TestPki; }
    static void TearDownTestSuite() { delete pki; }
    void SetUp() override
    {
        ASSERT_TRUE(pki->ok());
        ui::reset();
        for (const char *v : kProxyVars)
            qunsetenv(v);
        qputenv("SSL_CERT_FILE", pki->caFile().toUtf8());
        file = dir.filePath(QStringLiteral("a.txt"));
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write("hello");
    }
    void TearDown() override
    {
        for (const char *v : kProxyVars)
            qunsetenv(v);
    }
    QString lastBox() const { return ui::messageBoxes().isEmpty() ? QString() : ui::messageBoxes().last().text; }

    static test::TestPki *pki;
    QTemporaryDir dir;
    QString file;
    TestHttpServer server;
    FileUpload control;
};

test::TestPki *Secure::pki = nullptr;

} // namespace

TEST_F(Secure, UploadsVerifiedByAddressOrName)
{
    // A folder as a system store holds it: the CA only second in a bundle, a link
    // to the bundle, and files that are no certificate; another CA's file is
    // SSL_CERT_FILE. Each certificate is read once, none is lost.
    test::TestPki other;
    ASSERT_TRUE(other.ok());
    const QString store = dir.filePath(QStringLiteral("store"));
    ASSERT_TRUE(QDir().mkpath(store));
    const auto readAll = [](const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    QFile bundle(store + QStringLiteral("/bundle.crt"));
    ASSERT_TRUE(bundle.open(QIODevice::WriteOnly));
    bundle.write(readAll(other.caFile()) + "\n" + readAll(pki->caFile()));
    bundle.close();
    ASSERT_TRUE(QFile::link(bundle.fileName(), store + QStringLiteral("/0a1b2c3d.0")));
    QFile junk(store + QStringLiteral("/README"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("-----BEGIN CERTIFICATE-----\nnot one\n");
    junk.close();
    // Read before the others, a block the certificate parser gives up on.
    QFile broken(store + QStringLiteral("/00.pem"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("-----BEGIN CERTIFICATE-----not one-----END CERTIFICATE-----\n");
    broken.close();
    const struct {
        const char *host;
        const char *names;
        bool folder;    // trusted through SSL_CERT_DIR
        bool rewritten; // the bundle written over in place without the CA, the folder's time kept
    } cases[] = {{"127.0.0.1", "IP:127.0.0.1", false, false}, {"localhost", "DNS:localhost", false, false},
                 {"127.0.0.1", "IP:127.0.0.1", true, false}, {"127.0.0.1", "IP:127.0.0.1", true, true}};
    for (const auto &c : cases) {
        if (c.folder) {
            qputenv("SSL_CERT_FILE", other.caFile().toUtf8());
            qputenv("SSL_CERT_DIR", (QStringLiteral("/nowhere:") + store).toUtf8());
        }
        if (c.rewritten) {
            ASSERT_TRUE(bundle.open(QIODevice::ReadWrite | QIODevice::Truncate));
            bundle.write(readAll(other.caFile()));
            bundle.close();
        }
        const auto cert = pki->server(QString::fromLatin1(c.host), {QString::fromLatin1(c.names)});
        TestHttpServer tls;
        ASSERT_TRUE(tls.useTls(cert.cert, cert.key, QString::fromLatin1(c.host)));
        tls.setMode(TestHttpServer::Mode::Split, "/files/s.txt");
        control.setNewFileName(QString());
        control.StartUpload(QStringLiteral("/"), tls.url(), file, 1);
        if (c.rewritten) {
            EXPECT_EQ(control.NewFileName(), QString());
            EXPECT_TRUE(lastBox().contains(QStringLiteral("not trusted"))) << lastBox().toStdString();
            EXPECT_TRUE(tls.requests.isEmpty());
            continue;
        }
        EXPECT_EQ(control.NewFileName(), QStringLiteral("/files/s.txt")) << c.host << lastBox().toStdString();
        ASSERT_EQ(tls.requests.size(), 1);
        EXPECT_EQ(tls.requests[0].requestLine(), "POST /upload.asp HTTP/1.1");
        EXPECT_EQ(tls.requests[0].header("Host"), QByteArray(c.host) + ':' + QByteArray::number(tls.port()));
        EXPECT_EQ(tls.requests[0].field("a.txt"), "hello");
        EXPECT_EQ(control.findChild<QProgressBar *>(QStringLiteral("pbFile"))->value(), 100);
    }
}

TEST_F(Secure, RefusedHandshakesSendNothingAndSayWhy)
{
    test::TestPki other;
    const auto good = pki->server(QStringLiteral("good"), {QStringLiteral("IP:127.0.0.1")});
    const auto self = pki->selfSigned(QStringLiteral("self"), {QStringLiteral("IP:127.0.0.1")});
    const auto stranger = other.server(QStringLiteral("stranger"), {QStringLiteral("IP:127.0.0.1")});
    const auto named = pki->server(QStringLiteral("named"), {QStringLiteral("DNS:cms.example"), QStringLiteral("IP:10.1.2.3")});
    const auto expired = pki->server(QStringLiteral("expired"), {QStringLiteral("IP:127.0.0.1")}, -1);
    ASSERT_TRUE(other.ok() && pki->ok());
    const struct {
        test::TestCert cert;
        const char *trust; // SSL_CERT_FILE; null: the CA's
        const char *reason;
    } cases[] = {
        {self, nullptr, "the certificate is not trusted (self-signed)"},
        {stranger, nullptr, "the certificate is not trusted (unknown issuer \"Tessarix Test CA\")"},
        {named, nullptr, "the certificate is for cms.example, IP 10.1.2.3, not 127.0.0.1"},
        {expired, nullptr, "the certificate expired on "},
        // The system's store is replaced, not added to.
        {good, "other", "the certificate is not trusted (unknown issuer \"Tessarix Test CA\")"},
        // Nothing readable where the trust is named: the refusal says where to look.
        {good, "missing", "the certificate is not trusted (unknown issuer \"Tessarix Test CA\"); SSL_CERT_FILE and "
                          "SSL_CERT_DIR name no readable CA certificate"},
        {good, "folder", "the certificate is not trusted (unknown issuer \"Tessarix Test CA\"); SSL_CERT_FILE and "
                         "SSL_CERT_DIR name no readable CA certificate"},
    };
    for (const auto &c : cases) {
        const QString trust = !c.trust ? pki->caFile()
            : !qstrcmp(c.trust, "missing") ? pki->caFile() + QStringLiteral(".gone")
            : !qstrcmp(c.trust, "folder")  ? QFileInfo(pki->caFile()).absolutePath()
                                           : other.caFile();
        qputenv("SSL_CERT_FILE", trust.toUtf8());
        TestHttpServer tls;
        ASSERT_TRUE(tls.useTls(c.cert.cert, c.cert.key));
        control.setNewFileName(QStringLiteral("old"));
        QElapsedTimer clock;
        clock.start();
        control.StartUpload(QStringLiteral("/"), tls.url(), file, 1);
        EXPECT_LT(clock.elapsed(), 700) << c.reason; // the 100 ticks of the wait are 1 s here
        EXPECT_EQ(control.NewFileName(), QStringLiteral("old"));
        EXPECT_EQ(control.machinery().outcome(), UploadMachinery::Outcome::NoConnection);
        EXPECT_TRUE(tls.requests.isEmpty());
        const QString prefix = QStringLiteral("Secure connection to 127.0.0.1:%1 refused: ").arg(tls.port());
        EXPECT_TRUE(lastBox().startsWith(prefix + QString::fromUtf8(c.reason))) << lastBox().toStdString();
    }

    // A server that speaks nothing newer than TLS 1.0.
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    QProcess old;
    old.start(QStringLiteral("openssl"),
              {QStringLiteral("s_server"), QStringLiteral("-accept"), QStringLiteral("127.0.0.1:%1").arg(port),
               QStringLiteral("-cert"), good.cert, QStringLiteral("-key"), good.key, QStringLiteral("-tls1"),
               QStringLiteral("-cipher"), QStringLiteral("DEFAULT@SECLEVEL=0")});
    ASSERT_TRUE(old.waitForStarted());
    // It says ACCEPT once it listens.
    QByteArray said;
    QObject::connect(&old, &QProcess::readyReadStandardOutput, &old, [&] { said += old.readAllStandardOutput(); });
    QElapsedTimer up;
    up.start();
    QTimer deadline;
    deadline.start(50);
    pump::until([&] { return said.contains("ACCEPT") || up.elapsed() > 10000; });
    ASSERT_TRUE(said.contains("ACCEPT"));
    qputenv("SSL_CERT_FILE", pki->caFile().toUtf8());
    control.StartUpload(QStringLiteral("/"), QStringLiteral("https://127.0.0.1:%1/upload.asp").arg(port), file, 1);
    EXPECT_EQ(control.machinery().outcome(), UploadMachinery::Outcome::NoConnection);
    EXPECT_TRUE(lastBox().startsWith(QStringLiteral("Secure connection to 127.0.0.1:%1 refused: the server offers no "
                                                    "protocol accepted here (TLS 1.2 or newer)")
                                         .arg(port)))
        << lastBox().toStdString();
    old.kill();
    old.waitForFinished();

    // A server that takes the connection and never answers the hello: the longer
    // wait ends, saying so; a server that closes at once fails at once.
    for (const bool closes : {false, true}) {
        QTcpServer mute;
        mute.listen(QHostAddress::LocalHost, 0);
        QList<QTcpSocket *> held;
        QObject::connect(&mute, &QTcpServer::newConnection, &mute, [&] {
            QTcpSocket *s = mute.nextPendingConnection();
            if (closes)
                s->close();
            else
                held << s;
        });
        QElapsedTimer clock;
        clock.start();
        control.StartUpload(QStringLiteral("/"), QStringLiteral("https://127.0.0.1:%1/u.asp").arg(mute.serverPort()),
                            file, 1);
        EXPECT_EQ(control.machinery().outcome(), UploadMachinery::Outcome::NoConnection);
        EXPECT_TRUE(lastBox().startsWith(QStringLiteral("Secure connection to 127.0.0.1:%1 refused: ")
                                             .arg(mute.serverPort())) ||
                    lastBox().startsWith(QStringLiteral("The connection to 127.0.0.1:%1 was closed")
                                             .arg(mute.serverPort())))
            << lastBox().toStdString();
        if (closes)
            EXPECT_LT(clock.elapsed(), 700);
        else
            EXPECT_TRUE(lastBox().endsWith(QStringLiteral("no answer to the handshake"))) << lastBox().toStdString();
    }
}

TEST_F(Secure, ThroughTheProxyTheEnvironmentNames)
{
    const auto cert = pki->server(QStringLiteral("cms"), {QStringLiteral("DNS:cms.test")});
    TestHttpServer tls;
    ASSERT_TRUE(tls.useTls(cert.cert, cert.key, QStringLiteral("cms.test")));
    const QString plainUrl = QStringLiteral("http://cms.test:%1/upload.asp").arg(server.port());
    const QByteArray tlsTarget = "cms.test:" + QByteArray::number(tls.port());
    const QByteArray plainTarget = "cms.test:" + QByteArray::number(server.port());

    const struct {
        const char *var, *credentials; // the variable set to the proxy's URL
        bool secure;
        QByteArray noProxy;
        QByteArray proxySaw; // the first line the proxy got; empty: nothing
        bool auth;           // the proxy got credentials
    } cases[] = {
        {"https_proxy", "", true, {}, "CONNECT " + tlsTarget + " HTTP/1.1", false},
        {"HTTPS_PROXY", "user:pass", true, {}, "CONNECT " + tlsTarget + " HTTP/1.1", true},
        {"all_proxy", "", true, {}, "CONNECT " + tlsTarget + " HTTP/1.1", false},
        {"http_proxy", "user:pass", false, {}, "POST http://" + plainTarget + "/upload.asp HTTP/1.1", true},
        {"https_proxy", "", true, "localhost,.test:" + QByteArray::number(tls.port()), {}, false},
        {"https_proxy", "", true, "*", {}, false},
        // Upper case is what a CGI environment sets from a request's header.
        {"HTTP_PROXY", "", false, {}, {}, false},
    };
    for (const auto &c : cases) {
        TestProxy proxy;
        if (*c.credentials)
            proxy.requireCredentials("user", "pass");
        for (const char *v : kProxyVars)
            if (qstrcmp(v, "SSL_CERT_FILE"))
                qunsetenv(v);
        qputenv(c.var, proxy.url(QString::fromLatin1(c.credentials)).toUtf8());
        if (!c.noProxy.isEmpty())
            qputenv("no_proxy", c.noProxy);
        ui::reset();
        control.setNewFileName(QStringLiteral("old"));
        TestHttpServer &target = c.secure ? tls : server;
        const qsizetype before = target.requests.size();
        control.StartUpload(QStringLiteral("/"), c.secure ? tls.url() : plainUrl, file, 1);
        const std::string row = std::string(c.var) + " " + c.noProxy.toStdString();
        if (c.proxySaw.isEmpty()) {
            // Direct: the name is known to the proxy alone.
            EXPECT_TRUE(proxy.heads.isEmpty()) << row;
            EXPECT_EQ(control.machinery().outcome(), UploadMachinery::Outcome::NoConnection) << row;
            continue;
        }
        ASSERT_EQ(proxy.heads.size(), 1) << row << lastBox().toStdString();
        const QByteArray head = proxy.heads[0];
        EXPECT_EQ(head.left(head.indexOf("\r\n")), c.proxySaw) << row;
        EXPECT_EQ(head.contains("\r\nHost: cms.test:"), true) << row;
        EXPECT_EQ(head.contains("Proxy-Authorization: Basic " + QByteArray("user:pass").toBase64()), c.auth) << row;
        EXPECT_EQ(control.NewFileName(), QStringLiteral("/files/a.txt")) << row << lastBox().toStdString();
        ASSERT_EQ(target.requests.size(), before + 1) << row;
        const auto &got = target.requests.last();
        EXPECT_EQ(got.requestLine(), "POST /upload.asp HTTP/1.1") << row;
        EXPECT_TRUE(got.header("Proxy-Authorization").isEmpty()) << row;
        EXPECT_EQ(got.field("a.txt"), "hello");
    }
}

TEST_F(Secure, ProxyRefusalsNameTheProxyAndNeverTheSecret)
{
    const auto cert = pki->server(QStringLiteral("cms"), {QStringLiteral("DNS:cms.test")});
    TestHttpServer tls;
    ASSERT_TRUE(tls.useTls(cert.cert, cert.key, QStringLiteral("cms.test")));
    const struct {
        const char *refusal; // the proxy's own; null: it wants other credentials
        const char *shown;
    } cases[] = {
        {nullptr, "HTTP/1.1 407 Proxy Authentication Required"},
        {"HTTP/1.1 403 Forbidden", "HTTP/1.1 403 Forbidden"},
        {"HTTP/1.1 502 Bad Gateway", "HTTP/1.1 502 Bad Gateway"},
        // Not an HTTP status that opens a tunnel, however 2xx it looks.
        {"XYZ 200 Sure", "XYZ 200 Sure"},
        {"HTTP/1.1 +200 OK", "HTTP/1.1 +200 OK"},
        {"HTTP/1.1 403 \x1b[31mNo", "HTTP/1.1 403 ?[31mNo"},
    };
    for (const auto &c : cases) {
        TestProxy proxy;
        proxy.requireCredentials("user", "pass");
        if (c.refusal)
            proxy.refuseWith(c.refusal);
        qputenv("https_proxy", proxy.url(QStringLiteral("user:s3cret")).toUtf8());
        control.StartUpload(QStringLiteral("/"), tls.url(), file, 1);
        EXPECT_EQ(control.machinery().outcome(), UploadMachinery::Outcome::NoConnection);
        EXPECT_EQ(lastBox(), QStringLiteral("The proxy http://127.0.0.1:%1 refused the tunnel to cms.test:%2: %3")
                                 .arg(proxy.port())
                                 .arg(tls.port())
                                 .arg(QString::fromLatin1(c.shown)));
        EXPECT_FALSE(lastBox().contains(QStringLiteral("s3cret")));
        EXPECT_TRUE(tls.requests.isEmpty());
    }
    // A proxy that takes the CONNECT and says nothing: the longer connect wait
    // ends, naming it.
    {
        TestProxy quiet;
        quiet.stayQuiet();
        qputenv("https_proxy", quiet.url().toUtf8());
        control.StartUpload(QStringLiteral("/"), tls.url(), file, 1);
        EXPECT_EQ(control.machinery().outcome(), UploadMachinery::Outcome::NoConnection);
        EXPECT_EQ(lastBox(), QStringLiteral("The proxy http://127.0.0.1:%1 did not answer the tunnel to cms.test:%2")
                                 .arg(quiet.port())
                                 .arg(tls.port()));
        EXPECT_EQ(quiet.heads.size(), 1);
        EXPECT_TRUE(tls.requests.isEmpty());
        qunsetenv("https_proxy");
    }
    // Plain http: the proxy's 407 is the answer, a failure with its status.
    TestProxy proxy;
    proxy.requireCredentials("user", "pass");
    qputenv("http_proxy", proxy.url().toUtf8());
    control.StartUpload(QStringLiteral("/"), QStringLiteral("http://cms.test:%1/upload.asp").arg(server.port()), file, 1);
    EXPECT_EQ(control.NewFileName(), QStringLiteral("Error"));
    EXPECT_EQ(control.machinery().outcomeReason(), QStringLiteral("HTTP/1.1 407 Proxy Authentication Required"));
    EXPECT_TRUE(server.requests.isEmpty());
}
