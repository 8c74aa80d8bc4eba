#pragma once
// A running `tessarix serve --automation --port 0` under a fresh per-user home,
// raw-socket requests to it, and pages: WebSocket clients of the protocol.
#include <QJsonArray>
#include <QJsonObject>
#include <QHostAddress>
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWebSocket>
#include <functional>
#include <memory>

namespace tx::test {

// How many refusals an audit log records: its refusal lines and the counts of
// the lines that say "N more refused".
inline qint64 refusalsCounted(const QString &log)
{
    qint64 n = 0;
    static const QRegularExpression line(QStringLiteral("^\\S+ (?:(\\d+) more refused|refused |session \\d+ refused )"),
                                         QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(log); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        n += m.captured(1).isEmpty() ? 1 : m.captured(1).toLongLong();
    }
    return n;
}

// Pumps events until `done` or `ms` passed; whether `done` held.
bool waitFor(const std::function<bool()> &done, int ms = 10000);

struct CommandRun {
    int status = -1;
    QString out;
    QString err;
};

class Bridge {
public:
    Bridge();
    ~Bridge();
    bool started() const { return listening != 0; }
    quint16 port() const { return listening; }
    qint64 pid() const { return service.processId(); }
    QString originsFile() const;
    QString auditLog() const;
    QProcessEnvironment environment() const { return env; }

    CommandRun tessarix(const QStringList &args);
    // Sends the bytes on a fresh connection and returns all that comes back
    // before the service closes it.
    QByteArray raw(const QByteArray &request, bool ipv6 = false);
    QByteArray raw(const QByteArray &request, const QHostAddress &to);
    // An upgrade request for /, with the given extra header lines.
    QByteArray upgradeRequest(const QByteArray &headers) const;
    QJsonObject status();
    qint64 workerPid(int session);

private:
    QTemporaryDir home;
    QProcessEnvironment env;
    QProcess service;
    quint16 listening = 0;
};

class Page {
public:
    Page(quint16 port, const QString &origin, bool subprotocol = true);
    bool open(); // connected within the deadline
    QWebSocket &socket() { return ws; }

    // Sends the request (an id is added) and returns its reply.
    QJsonObject request(QJsonObject message, int ms = 20000);
    void sendOnly(QJsonObject message);
    QJsonObject waitReply(int id, int ms = 20000);
    QJsonValue result(const QJsonObject &message); // the result, or fails the test on an error
    qint64 errorNumber(const QJsonObject &reply) const;

    // Shorthands.
    int create(const QString &progId);
    QJsonObject call(int object, const QString &member, const QJsonArray &args = {});
    QJsonObject get(int object, const QString &member);

    QList<QJsonObject> events;
    QList<QJsonObject> replies;
    bool closed = false;

private:
    QWebSocket ws;
    QString origin;
    quint16 port;
    bool subprotocol;
    int nextId = 1;
};

} // namespace tx::test
