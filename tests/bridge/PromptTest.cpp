// An origin not on the list, with someone at the screen: the handshake waits
// while the user is asked, one question at a time, and the answer decides. Also
// the in-process service with a worker program of our own.
#include "BridgeFixture.h"

#include "bridge/AuditLog.h"
#include "bridge/BridgeService.h"
#include "bridge/OriginPrompt.h"
#include "platform/QuestionBox.h"
#include "platform/Ui.h"

#include <QApplication>
#include <QJsonDocument>
#include <QMessageBox>
#include <QPushButton>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

using namespace tx::bridge;
using namespace tx::test;
namespace ui = tx::ui;

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

// What /status tells a page of `origin` about its question.
QString questionFor(quint16 port, const QByteArray &origin)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    s.write("GET /status HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\nOrigin: " + origin + "\r\n\r\n");
    QByteArray got;
    waitFor([&] {
        got += s.readAll();
        return s.state() == QAbstractSocket::UnconnectedState;
    }, 5000);
    return QJsonDocument::fromJson(got.mid(got.indexOf("\r\n\r\n") + 4)).object().value(QStringLiteral("question")).toString();
}

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

// The service in this process, asking about the origins not on its list.
struct AskingService {
    static ServeOptions asking()
    {
        ServeOptions options;
        options.port = 0;
        options.automation = true; // the workers run without a display
        options.prompt = true;
        options.workerProgram = QStringLiteral(TX_TESSARIX);
        return options;
    }
    AskingService() { service.setPrompt(&prompt); }
    bool listen()
    {
        QString error;
        bool inUse = false;
        return service.listen(&error, &inUse);
    }
    QTemporaryDir dir;
    OriginList origins{dir.filePath(QStringLiteral("origins"))};
    AuditLog audit{dir.filePath(QStringLiteral("bridge.log"))};
    OriginPrompt prompt;
    BridgeService service{asking(), origins, audit};
};

TEST(Prompt, TheHandshakeWaitsForTheUsersAnswerAskedOncePerOrigin)
{
    AskingService asking;
    OriginList &origins = asking.origins;
    BridgeService &service = asking.service;
    // The real box, as the user sees it.
    ui::setInteractive(true);
    struct Back {
        ~Back() { ui::setInteractive(false); }
    } back;
    ASSERT_TRUE(asking.listen());

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
    Client e(service.port(), "http://localhost:9003");
    EXPECT_TRUE(waitFor([] { return !boxes().isEmpty(); }));
    boxes().first()->close(); // closed without an answer: Deny
    ASSERT_TRUE(waitFor([&] { return e.answered(); }));
    EXPECT_TRUE(e.got.startsWith("HTTP/1.1 403"));
}

// An untrusted origin (or many) cannot fill the screen with questions nor ask
// again after a no; a question whose pages have left goes unanswered.
TEST(Prompt, OneQuestionAtATimeAndANoHolds)
{
    qputenv("TESSARIX_TICK_MS", "10"); // 60 s to answer are 6 s
    AskingService service;
    OriginList &origins = service.origins;
    ASSERT_TRUE(service.listen());
    QString error;
    const quint16 port = service.service.port();
    const auto asking = [] { return ui::openQuestions().size(); };

    // Six origins at once: one question; its origin's tabs wait for it, the others
    // are refused meanwhile.
    std::vector<std::unique_ptr<Client>> tabs;
    tabs.push_back(std::make_unique<Client>(port, "http://localhost:9100"));
    ASSERT_TRUE(waitFor([&] { return asking() == 1; }));
    tabs.push_back(std::make_unique<Client>(port, "http://localhost:9100"));
    for (int i = 1; i <= 5; ++i)
        tabs.push_back(std::make_unique<Client>(port, "http://localhost:910" + QByteArray::number(i)));
    ASSERT_TRUE(waitFor([&] { return std::all_of(tabs.begin() + 2, tabs.end(), [](const auto &t) { return t->answered(); }); }));
    for (size_t i = 2; i < tabs.size(); ++i)
        EXPECT_TRUE(tabs[i]->got.startsWith("HTTP/1.1 403")) << i;
    EXPECT_EQ(asking(), 1);
    EXPECT_FALSE(tabs[0]->answered() || tabs[1]->answered());
    EXPECT_EQ(questionFor(port, "http://localhost:9100"), QStringLiteral("open"));
    EXPECT_EQ(questionFor(port, "http://localhost:9101"), QStringLiteral("none"));
    {
        // A flood from the asking origin: as many connections wait as may have
        // sessions (its two tabs among them), the rest are refused at once.
        std::vector<std::unique_ptr<Client>> flood;
        for (int i = 0; i < 40; ++i)
            flood.push_back(std::make_unique<Client>(port, "http://localhost:9100"));
        const auto refused = [&] {
            return std::count_if(flood.begin(), flood.end(), [](const auto &c) { return c->got.startsWith("HTTP/1.1 403"); });
        };
        ASSERT_TRUE(waitFor([&] { return refused() == 40 - 14; })) << refused();
        EXPECT_EQ(asking(), 1);
        EXPECT_FALSE(tabs[0]->answered() || tabs[1]->answered());
    }

    // Its pages leave: the question goes, and an Always given after is nobody's.
    const int stale = ui::openQuestions().first().number;
    tabs[0]->socket.abort();
    tabs[1]->socket.abort();
    ASSERT_TRUE(waitFor([&] { return asking() == 0; }));
    EXPECT_FALSE(ui::answerQuestion(stale, 1));
    EXPECT_FALSE(origins.find(QStringLiteral("http://localhost:9100")));
    EXPECT_EQ(questionFor(port, "http://localhost:9100"), QStringLiteral("none"));

    // Deny, the box closed, no answer in time: each holds for its origin, which is
    // not asked about again.
    const struct {
        const char *origin;
        int answer; // a button, -1 closed, -2 none
    } rows[] = {{"http://localhost:9101", 2}, {"http://localhost:9102", -1}, {"http://localhost:9103", -2}};
    for (const auto &r : rows) {
        Client page(port, r.origin);
        ASSERT_TRUE(waitFor([&] { return asking() == 1; })) << r.origin;
        if (r.answer > -2) {
            ASSERT_TRUE(ui::answerQuestion(ui::openQuestions().first().number, r.answer));
        }
        ASSERT_TRUE(waitFor([&] { return page.answered(); }, 20000)) << r.origin;
        EXPECT_TRUE(page.got.startsWith("HTTP/1.1 403")) << r.origin;
        EXPECT_EQ(questionFor(port, r.origin), QStringLiteral("denied")) << r.origin;
        Client again(port, r.origin);
        ASSERT_TRUE(waitFor([&] { return again.answered(); }, 5000)) << r.origin;
        EXPECT_TRUE(again.got.startsWith("HTTP/1.1 403")) << r.origin;
        EXPECT_EQ(asking(), 0) << r.origin;
    }

    // Until the user trusts the origin: then it is let in, and once taken off the
    // list again it is asked about anew.
    ASSERT_TRUE(origins.trust({QStringLiteral("http://localhost:9101"), false}, &error)) << error.toStdString();
    Client trusted(port, "http://localhost:9101");
    ASSERT_TRUE(waitFor([&] { return trusted.answered(); }));
    EXPECT_TRUE(trusted.got.startsWith("HTTP/1.1 101"));
    EXPECT_EQ(questionFor(port, "http://localhost:9101"), QStringLiteral("none"));
    bool was = false;
    ASSERT_TRUE(origins.untrust(QStringLiteral("http://localhost:9101"), &was, &error));
    Client anew(port, "http://localhost:9101");
    ASSERT_TRUE(waitFor([&] { return asking() == 1; }));
    ASSERT_TRUE(ui::answerQuestion(ui::openQuestions().first().number, 1)); // Always
    ASSERT_TRUE(waitFor([&] { return anew.answered(); }));
    EXPECT_TRUE(anew.got.startsWith("HTTP/1.1 101"));
    EXPECT_TRUE(origins.find(QStringLiteral("http://localhost:9101")));
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
