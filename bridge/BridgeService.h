#pragma once
// The listener of `tessarix serve`: plain TCP on 127.0.0.1 and ::1. It peeks at
// each request head and decides before anything is answered: /status,
// /tessarix.js, a WebSocket upgrade (handed to the WebSocket server only when
// every check passed), anything else 404.
#include "bridge/Origins.h"
#include "bridge/RequestHead.h"
#include "bridge/Session.h"

#include <QHash>
#include <QJsonObject>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>
#include <QWebSocketServer>

class QTcpSocket;

namespace tx::bridge {

class AuditLog;
class FrameGuard;
class OriginPrompt;

inline constexpr quint16 kDefaultPort = 47373;

struct ServeOptions {
    quint16 port = kDefaultPort; // 0: any free port
    bool automation = false;
    bool prompt = false;         // ask the user about an origin not on the list
    QString workerProgram;       // the program run as each session's worker; empty: this one
};

class BridgeService : public QObject {
    Q_OBJECT
public:
    BridgeService(ServeOptions options, OriginList &origins, AuditLog &audit);
    ~BridgeService() override;

    // False with `inUse` when another program holds the port.
    bool listen(QString *error, bool *inUse);
    quint16 port() const { return boundPort; }

    // What asks the user about an origin not on the list (with options.prompt).
    void setPrompt(OriginPrompt *p) { prompt = p; }

private:
    void acceptFrom(QTcpServer &server);
    void examine(QTcpSocket *socket);
    void route(QTcpSocket *socket, const RequestHead &head);
    void upgrade(QTcpSocket *socket, const RequestHead &head);
    void admit(QTcpSocket *socket, const QString &origin, bool anyPath);
    // Answers with the reason as the body, and audits it.
    void refuse(QTcpSocket *socket, int status, const QString &reason, const QList<QByteArray> &headers = {});
    void answer(QTcpSocket *socket, int status, const QByteArray &body, const QList<QByteArray> &headers = {});
    void onWebSocket();
    QJsonObject status(const RequestHead &head);

    ServeOptions options;
    OriginList &origins;
    AuditLog &audit;
    QTcpServer v4;
    QTcpServer v6;
    QWebSocketServer sockets;
    quint16 boundPort = 0;
    struct Admitted {
        QString origin;
        bool anyPath = false;
        QPointer<QTcpSocket> wire;
        QPointer<FrameGuard> frames;
    };
    QHash<QString, Admitted> admitted; // by the client's address and port
    QList<Session *> sessions;
    int nextSession = 1;
    OriginPrompt *prompt = nullptr;
    QTimer refusalMinute;
};

// Whether this user's bridge answers /status on the port.
bool bridgeAnswersOn(quint16 port);

} // namespace tx::bridge
