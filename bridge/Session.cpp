#include "bridge/Session.h"

#include "bridge/AuditLog.h"
#include "bridge/FrameGuard.h"
#include "bridge/Protocol.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QWebSocket>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tx::bridge {
namespace {

constexpr int kPingMs = 30000;
constexpr int kEndMs = 5000;
// Far beyond any reply or event; a worker gone wrong must not fill our memory.
constexpr qint64 kMaxWorkerLine = 32 * 1024 * 1024;

QString workerEndText(int code, QProcess::ExitStatus status, QProcess::ProcessError error)
{
    if (error == QProcess::FailedToStart)
        return QStringLiteral("the session's worker could not start");
    if (status == QProcess::CrashExit)
        return QStringLiteral("the session's worker crashed");
    return QStringLiteral("the session's worker ended (exit %1)").arg(code);
}

// Replies name their request by its id; a page may use one id twice.
QByteArray idKey(const QJsonValue &id) { return QJsonDocument(QJsonArray{id}).toJson(QJsonDocument::Compact); }

} // namespace

Session::Session(int id, QWebSocket *ws, SessionOptions opts, AuditLog &log, FrameGuard *guard)
    : number(id), socket(ws), options(std::move(opts)), audit(log), started(QDateTime::currentDateTimeUtc()), frames(guard),
      peer(ws->peerAddress().toString())
{
    socket->setParent(this);
    socket->setMaxAllowedIncomingMessageSize(kMaxMessage);
    connect(socket, &QWebSocket::textMessageReceived, this, &Session::onFrame);
    connect(socket, &QWebSocket::binaryMessageReceived, this, [this] {
        socket->sendTextMessage(QString::fromUtf8(errorReply(QJsonValue(), protocolError(QStringLiteral("binary frames are not part of the protocol")))));
    });
    connect(socket, &QWebSocket::disconnected, this, &Session::onSocketGone);
    // Our close frame goes out: as the answer to the page's, or first.
    connect(socket, &QWebSocket::aboutToClose, this, [this] {
        if (endReason.isEmpty())
            endReason = QStringLiteral("closed by the %1 (%2%3)")
                            .arg(frames && frames->pageCloseRead() ? u"page" : u"service")
                            .arg(int(socket->closeCode()))
                            .arg(socket->closeReason().isEmpty() ? QString() : QStringLiteral(" ") + socket->closeReason());
    });
    if (frames) {
        connect(frames, &FrameGuard::unmaskedFrame, this, &Session::onUnmasked);
        // A close frame would wait behind what the page does not read: dropped at once.
        connect(frames, &FrameGuard::pingsUnread, this, [this] {
            endReason = QStringLiteral("dropped by the service (the page pinged without reading the answers)");
            socket->abort();
        });
    }
    ping.setInterval(kPingMs);
    connect(&ping, &QTimer::timeout, socket, [this] { socket->ping(); });
    ping.start();
    endDeadline.setSingleShot(true);
    connect(&endDeadline, &QTimer::timeout, this, [this] { worker.kill(); });
    audit.write(QStringLiteral("session %1 start origin=%2").arg(number).arg(options.origin));
    startWorker();
    if (frames && frames->broken())
        onUnmasked();
    else if (frames && frames->takenWithHead())
        socket->close(QWebSocketProtocol::CloseCodeProtocolError, QStringLiteral("frames came before the handshake was answered"));
}

void Session::onUnmasked()
{
    socket->close(QWebSocketProtocol::CloseCodeProtocolError, QStringLiteral("frames from a page must be masked"));
}

Session::~Session()
{
    if (worker.state() != QProcess::NotRunning) {
        worker.kill();
        worker.waitForFinished(1000);
    }
}

void Session::startWorker()
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        socket->close(QWebSocketProtocol::CloseCodeBadOperation, QStringLiteral("no channel to a worker"));
        return;
    }
    const int childEnd = fds[1];
    // The worker finds the service's end of the channel on descriptor 3.
    worker.setChildProcessModifier([childEnd] {
        if (childEnd == 3)
            ::fcntl(3, F_SETFD, 0);
        else
            ::dup2(childEnd, 3);
    });
    worker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    worker.setInputChannelMode(QProcess::ForwardedInputChannel);
    worker.setStandardOutputFile(QProcess::nullDevice());
    connect(&worker, &QProcess::finished, this, &Session::onWorkerFinished);
    connect(&worker, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            onWorkerFinished(-1, QProcess::CrashExit);
    });
    QStringList args{QStringLiteral("bridge-worker"), QStringLiteral("--origin"), options.origin};
    if (options.automation)
        args << QStringLiteral("--automation");
    if (options.anyPath)
        args << QStringLiteral("--any-path");
    worker.start(options.program.isEmpty() ? QCoreApplication::applicationFilePath() : options.program, args);
    ::close(childEnd);
    channel.setSocketDescriptor(fds[0]);
    connect(&channel, &QLocalSocket::readyRead, this, &Session::onWorkerOutput);
}

QJsonObject Session::describe() const
{
    return {{QStringLiteral("id"), number},
            {QStringLiteral("origin"), options.origin},
            {QStringLiteral("started"), started.toString(Qt::ISODate)},
            {QStringLiteral("pid"), qint64(worker.processId())},
            {QStringLiteral("queued"), queued}};
}

void Session::onFrame(const QString &text)
{
    const Checked checked = checkRequest(text.toUtf8());
    if (!checked.request) {
        socket->sendTextMessage(QString::fromUtf8(errorReply(checked.id, checked.error)));
        return;
    }
    const qint64 size = text.size();
    if (queued >= kMaxQueued || queuedBytes + size > kMaxQueuedBytes) {
        socket->sendTextMessage(QString::fromUtf8(errorReply(
            checked.id, limitError(QStringLiteral("at most %1 requests (%2 MiB) wait in a session")
                                       .arg(kMaxQueued)
                                       .arg(kMaxQueuedBytes / (1024 * 1024))))));
        return;
    }
    ++queued;
    queuedBytes += size;
    sizes[idKey(checked.id)].append(size);
    sendToWorker({{QStringLiteral("request"), checked.request->message}});
}

void Session::sendToWorker(const QJsonObject &o)
{
    channel.write(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n');
    channel.flush();
}

void Session::onWorkerOutput()
{
    while (channel.canReadLine()) {
        const QJsonObject o = QJsonDocument::fromJson(channel.readLine()).object();
        if (o.contains(QStringLiteral("reply"))) {
            queued = qMax(0, queued - 1);
            const QByteArray key = idKey(o.value(QStringLiteral("reply"))[QStringLiteral("id")]);
            if (auto it = sizes.find(key); it != sizes.end() && !it->isEmpty()) {
                queuedBytes -= it->takeFirst();
                if (it->isEmpty())
                    sizes.erase(it);
            }
        } else if (o.contains(QStringLiteral("audit"))) {
            audit.write(QStringLiteral("session %1 %2").arg(number).arg(o.value(QStringLiteral("audit")).toString()));
            continue;
        } else if (o.contains(QStringLiteral("refused"))) {
            audit.refused(peer, options.origin.toUtf8(),
                          QStringLiteral("session %1 refused %2").arg(number).arg(o.value(QStringLiteral("refused")).toString()));
            continue;
        } else if (o.contains(QStringLiteral("ended"))) {
            ended = o.value(QStringLiteral("ended")).toObject();
            continue;
        } else if (!o.contains(QStringLiteral("event"))) {
            continue;
        }
        if (!socketGone) {
            const QJsonObject message = o.value(o.contains(QStringLiteral("reply")) ? QStringLiteral("reply") : QStringLiteral("event")).toObject();
            socket->sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
        }
    }
    if (channel.bytesAvailable() > kMaxWorkerLine && workerFault.isEmpty()) {
        workerFault = QStringLiteral("the session's worker wrote a line over %1 MiB").arg(kMaxWorkerLine / (1024 * 1024));
        channel.readAll();
        worker.kill();
    }
}

void Session::onSocketGone()
{
    if (socketGone)
        return;
    socketGone = true;
    ping.stop();
    if (endReason.isEmpty())
        endReason = QStringLiteral("the page's connection ended without a close");
    if (workerGone) {
        finish();
        return;
    }
    sendToWorker({{QStringLiteral("end"), true}});
    endDeadline.start(kEndMs);
}

void Session::onWorkerFinished(int code, QProcess::ExitStatus status)
{
    if (workerGone)
        return;
    workerGone = true;
    endDeadline.stop();
    onWorkerOutput();
    if (!socketGone) {
        socket->close(QWebSocketProtocol::CloseCodeBadOperation,
                      workerFault.isEmpty() ? workerEndText(code, status, worker.error()) : workerFault);
        // Disconnected follows, unless the page never answers the close.
        QTimer::singleShot(kEndMs, this, [this] {
            socketGone = true;
            finish();
        });
        return;
    }
    finish();
}

void Session::finish()
{
    if (done)
        return;
    done = true;
    QString line = QStringLiteral("session %1 end origin=%2 reason=%3").arg(number).arg(options.origin, endReason);
    if (ended.contains(QStringLiteral("released")))
        line += QStringLiteral(" objects-released=%1").arg(ended.value(QStringLiteral("released")).toBool() ? u"yes" : u"no");
    audit.write(line);
    emit finished(this);
}

} // namespace tx::bridge
