#pragma once
// One page's session in the service: its WebSocket and its worker process. Frames
// are checked here (shape, queue limit) and handed to the worker in arrival
// order; its replies and events go back as they come, as fast as the page reads
// them: what waits for the page is bounded, and beyond it the worker waits. A
// worker that dies ends only its own session, with a close reason.
#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QLocalSocket>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QTcpSocket>
#include <QTimer>

class QWebSocket;

namespace tx::bridge {

class AuditLog;
class FrameGuard;

struct SessionOptions {
    QString origin;
    bool anyPath = false;
    bool automation = false;
    QString program; // the worker's; empty: this program
};

class Session : public QObject {
    Q_OBJECT
public:
    // Takes the socket; `wire` is the connection under it, `frames` watches what
    // the page sends on it.
    Session(int id, QWebSocket *socket, QTcpSocket *wire, SessionOptions options, AuditLog &audit,
            FrameGuard *frames = nullptr);
    ~Session() override;

    int id() const { return number; }
    QJsonObject describe() const; // for /status to a local tool

signals:
    void finished(tx::bridge::Session *session);

private:
    void startWorker();
    void onFrame(const QString &text);
    void onWorkerOutput();
    void takeLine(const QByteArray &line);
    void sendToPage(const QJsonObject &message);
    qint64 unread() const; // bytes sent that the page has not taken yet
    void onPageRead();
    void onPageStalled();
    void onWorkerFinished(int code, QProcess::ExitStatus status);
    void onSocketGone();
    void onUnmasked();
    void sendToWorker(const QJsonObject &o);
    void finish();

    int number;
    QWebSocket *socket;
    QPointer<QTcpSocket> wire;
    SessionOptions options;
    AuditLog &audit;
    QDateTime started;
    QProcess worker;
    QLocalSocket channel;
    QTimer ping;
    QTimer endDeadline;
    QTimer stalled; // runs while the page has bytes to take and takes none
    QByteArray partial; // of the worker's line being read
    int queued = 0;
    qint64 queuedBytes = 0;
    QHash<QByteArray, QList<qint64>> sizes; // of waiting requests, by id
    bool socketGone = false;
    bool workerGone = false;
    bool done = false;
    QString endReason;
    QString workerFault; // why the service ended the worker itself
    QJsonObject ended;
    QPointer<FrameGuard> frames;
    QString peer;
};

} // namespace tx::bridge
