// An origin not on the list, with someone at the screen: the handshake waits
// while the user is asked, once per origin, and the answer decides. Also the
// in-process service with a worker program of our own.
#include "BridgeFixture.h"

#include "bridge/AuditLog.h"
#include "bridge/BridgeService.h"
#include "bridge/OriginPrompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tx::bridge;
using namespace tx::test;

namespace {

struct Client {
    QTcpSocket socket;
    QByteArray got;
    Client(quint16 port, const QByteArray &origin)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { got += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.write("GET / HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\nOrigin: " + origin +
                     "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                     "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Protocol: tessarix.1\r\n\r\n");
    }
    bool answered() const { return got.contains("\r\n\r\n"); }
};

QList<QMessageBox *> boxes()
{
    QList<QMessageBox *> out;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            out << box;
    return out;
}

void press(QMessageBox *box, const QString &label)
{
    for (QAbstractButton *b : box->buttons())
        if (b->text() == label) {
            b->click();
            return;
        }
    ADD_FAILURE() << "no button " << label.toStdString();
}

TEST(Prompt, TheHandshakeWaitsForTheUsersAnswerAskedOncePerOrigin)
{
    QTemporaryDir dir;
    OriginList origins(dir.filePath(QStringLiteral("origins")));
    AuditLog audit(dir.filePath(QStringLiteral("bridge.log")));
    OriginPrompt prompt;
    ServeOptions options;
    options.port = 0;
    options.automation = true; // the workers run without a display
    options.prompt = true;
    options.workerProgram = QStringLiteral(TX_TESSARIX);
    BridgeService service(options, origins, audit);
    service.setAsk([&prompt](const QString &origin, OriginPrompt::Decide decide) { prompt.ask(origin, std::move(decide)); });
    QString error;
    bool inUse = false;
    ASSERT_TRUE(service.listen(&error, &inUse)) << error.toStdString();

    // Two tabs of one origin: one question, Deny by default, naming the origin.
    Client a(service.port(), "http://localhost:9000");
    Client b(service.port(), "http://localhost:9000");
    ASSERT_TRUE(waitFor([] { return !boxes().isEmpty(); }));
    waitFor([&] { return false; }, 300);
    ASSERT_EQ(boxes().size(), 1);
    QMessageBox *box = boxes().first();
    EXPECT_TRUE(box->windowTitle().contains(QStringLiteral("http://localhost:9000")));
    EXPECT_GE(box->width(), box->fontMetrics().horizontalAdvance(box->windowTitle()) + 100) << "room for the title";
    EXPECT_TRUE(box->text().contains(QStringLiteral("http://localhost:9000")));
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    ASSERT_TRUE(box->defaultButton());
    EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("Deny"));
    EXPECT_FALSE(a.answered()) << "nothing is answered while the user decides";
    press(box, QStringLiteral("Always"));
    ASSERT_TRUE(waitFor([&] { return a.answered() && b.answered(); }));
    EXPECT_TRUE(a.got.startsWith("HTTP/1.1 101"));
    EXPECT_TRUE(b.got.startsWith("HTTP/1.1 101"));
    EXPECT_TRUE(origins.find(QStringLiteral("http://localhost:9000")));

    // Deny.
    Client c(service.port(), "http://localhost:9001");
    ASSERT_TRUE(waitFor([] { return !boxes().isEmpty(); }));
    press(boxes().first(), QStringLiteral("Deny"));
    ASSERT_TRUE(waitFor([&] { return c.answered(); }));
    EXPECT_TRUE(c.got.startsWith("HTTP/1.1 403"));

    // Allow once: this connection only; the next one is asked again.
    // A second connection waiting on the same question is not let in with it.
    Client d(service.port(), "http://localhost:9002");
    ASSERT_TRUE(waitFor([] { return !boxes().isEmpty(); }));
    Client d2(service.port(), "http://localhost:9002");
    waitFor([&] { return false; }, 300);
    press(boxes().first(), QStringLiteral("Allow once"));
    ASSERT_TRUE(waitFor([&] { return d.answered(); }));
    EXPECT_TRUE(d.got.startsWith("HTTP/1.1 101"));
    EXPECT_FALSE(origins.find(QStringLiteral("http://localhost:9002")));
    ASSERT_TRUE(waitFor([] { return !boxes().isEmpty(); })) << "the other connection is asked about again";
    EXPECT_FALSE(d2.answered());
    press(boxes().first(), QStringLiteral("Deny"));
    ASSERT_TRUE(waitFor([&] { return d2.answered(); }));
    EXPECT_TRUE(d2.got.startsWith("HTTP/1.1 403"));
    Client e(service.port(), "http://localhost:9002");
    EXPECT_TRUE(waitFor([] { return !boxes().isEmpty(); }));
    boxes().first()->close(); // closed without an answer: Deny
    ASSERT_TRUE(waitFor([&] { return e.answered(); }));
    EXPECT_TRUE(e.got.startsWith("HTTP/1.1 403"));
}

// A worker gone wrong that writes one endless line must not fill the service's
// memory: its session ends with a reason and the service goes on.
TEST(Prompt, AWorkerWritingGarbageEndsOnlyItsSession)
{
    QTemporaryDir dir;
    const QString fake = dir.filePath(QStringLiteral("worker.sh"));
    QFile script(fake);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nhead -c 100000000 /dev/zero >&3 2>/dev/null\nexec cat <&3 >/dev/null\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    OriginList origins(dir.filePath(QStringLiteral("origins")));
    QString error;
    ASSERT_TRUE(origins.trust({QStringLiteral("http://localhost:9000"), false}, &error)) << error.toStdString();
    AuditLog audit(dir.filePath(QStringLiteral("bridge.log")));
    ServeOptions options;
    options.port = 0;
    options.automation = true;
    options.workerProgram = fake;
    BridgeService service(options, origins, audit);
    bool inUse = false;
    ASSERT_TRUE(service.listen(&error, &inUse)) << error.toStdString();
    Page page(service.port(), QStringLiteral("http://localhost:9000"));
    ASSERT_TRUE(page.open());
    ASSERT_TRUE(waitFor([&] { return page.closed; }, 20000));
    EXPECT_EQ(page.socket().closeCode(), QWebSocketProtocol::CloseCodeBadOperation);
    EXPECT_TRUE(page.socket().closeReason().contains(QStringLiteral("worker"))) << page.socket().closeReason().toStdString();
    Client after(service.port(), "http://localhost:9000");
    ASSERT_TRUE(waitFor([&] { return after.answered(); }));
    EXPECT_TRUE(after.got.startsWith("HTTP/1.1 101"));
}

} // namespace
