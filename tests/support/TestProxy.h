#pragma once
// A small HTTP proxy for tests: CONNECT tunnels and requests in absolute form,
// optional Basic credentials, a refusal on demand; it records every head it saw.
// Every host name it is asked for is taken to be the loopback.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;

namespace tx::test {

class TestProxy : public QObject {
    Q_OBJECT
public:
    explicit TestProxy(QObject *parent = nullptr);
    ~TestProxy() override;

    quint16 port() const;
    // "http://[user:password@]127.0.0.1:port", as a proxy variable holds it.
    QString url(const QString &credentials = QString()) const;
    // Only requests with these credentials pass; others get 407.
    void requireCredentials(const QByteArray &user, const QByteArray &password);
    // Answers every request with this status line and closes (empty: forwards).
    void refuseWith(const QByteArray &statusLine) { refusal = statusLine; }
    // Takes every request and never answers.
    void stayQuiet() { quiet = true; }

    QList<QByteArray> heads; // each request head as it came, through the empty line

private:
    void onConnection();
    void onData(QTcpSocket *client);
    void pipe(QTcpSocket *client, const QByteArray &head, const QByteArray &rest);

    QTcpServer *server = nullptr;
    QByteArray wantedAuth;
    QByteArray refusal;
    bool quiet = false;
};

} // namespace tx::test
