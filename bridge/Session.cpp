#include "bridge/Session.h"

#include "bridge/AuditLog.h"
#include "bridge/FrameGuard.h"
#include "bridge/Protocol.h"
#include "core/Settings.h"

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
// What may wait for the page to read it, with the line being read; beyond it the
// worker's lines stay with the worker, which waits (the channel holds one piece).
constexpr qint64 kMaxUnread = 2 * 1024 * 1024;
constexpr qint64 kChannelPiece = 64 * 1024;
// Ticks (60 s) a page may take nothing of what waits for it.
constexpr int kStallTicks = 600;

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

Session::Session(int id, QWebSocket *ws, QTcpSocket *tcp, SessionOptions opts, AuditLog &log, FrameGuard *guard)
    : number(id), socket(ws), wire(tcp), options(std::move(opts)), audit(log), started(QDateTime::currentDateTimeUtc()),
      frames(guard), peer(ws->peerAddress().toString())
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
    stalled.setSingleShot(true);
    stalled.setInterval(kStallTicks * settings::tickMs());
    connect(&stalled, &QTimer::timeout, this, &Session::onPageStalled);
    if (wire)
        connect(wire, &QTcpSocket::bytesWritten, this, &Session::onPageRead);
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
    channel.setReadBufferSize(kChannelPiece);
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
    // While the page lags, the rest stays in the channel and the worker waits. A
    // line longer than the limit is still read whole once the page has taken the rest.
    while (socketGone || unread() + partial.size() < kMaxUnread || unread() == 0) {
        const QByteArray piece = channel.read(kChannelPiece);
        if (piece.isEmpty())
            return;
        if (!workerFault.isEmpty())
            continue;
        partial += piece;
        qsizetype from = 0;
        for (qsizetype end; (end = partial.indexOf('\n', from)) >= 0; from = end + 1)
            takeLine(QByteArray::fromRawData(partial.constData() + from, end - from));
        // Kept compact: what waits is the rest of one line, not the room of many.
        if (from > 0)
            partial = from == partial.size() ? QByteArray() : partial.sliced(from);
        if (partial.size() > kMaxWorkerLine) {
            workerFault = QStringLiteral("the session's worker wrote a line over %1 MiB").arg(kMaxWorkerLine / (1024 * 1024));
            partial.clear();
            worker.kill();
        }
    }
}

void Session::takeLine(const QByteArray &line)
{
    const QJsonObject o = QJsonDocument::fromJson(line).object();
    if (o.contains(QStringLiteral("reply"))) {
        queued = qMax(0, queued - 1);
        const QByteArray key = idKey(o.value(QStringLiteral("reply"))[QStringLiteral("id")]);
        if (auto it = sizes.find(key); it != sizes.end() && !it->isEmpty()) {
            queuedBytes -= it->takeFirst();
            if (it->isEmpty())
                sizes.erase(it);
        }
        sendToPage(o.value(QStringLiteral("reply")).toObject());
    } else if (o.contains(QStringLiteral("event"))) {
        sendToPage(o.value(QStringLiteral("event")).toObject());
    } else if (o.contains(QStringLiteral("audit"))) {
        audit.write(QStringLiteral("session %1 %2").arg(number).arg(o.value(QStringLiteral("audit")).toString()));
    } else if (o.contains(QStringLiteral("refused"))) {
        audit.refused(peer, options.origin.toUtf8(),
                      QStringLiteral("session %1 refused %2").arg(number).arg(o.value(QStringLiteral("refused")).toString()));
    } else if (o.contains(QStringLiteral("ended"))) {
        ended = o.value(QStringLiteral("ended")).toObject();
    }
}

void Session::sendToPage(const QJsonObject &message)
{
    if (socketGone)
        return;
    socket->sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    if (!stalled.isActive() && unread() > 0)
        stalled.start();
}

qint64 Session::unread() const { return wire ? wire->bytesToWrite() : 0; }

// Some of what waited went out: the page's clock starts again, and the worker
// may go on once there is room.
void Session::onPageRead()
{
    if (unread() == 0)
        stalled.stop();
    else
        stalled.start();
    if (unread() < kMaxUnread)
        onWorkerOutput();
}

// The close waits behind what the page never read; the connection goes after a while.
void Session::onPageStalled()
{
    if (socketGone || unread() == 0)
        return;
    // Closing already (the page's close, or ours for another reason): it waited
    // behind what the page does not take, and the page takes nothing.
    if (!endReason.isEmpty()) {
        if (wire)
            wire->abort();
        return;
    }
    endReason = QStringLiteral("the page read nothing for %1 s").arg(kStallTicks * settings::tickMs() / 1000);
    audit.write(QStringLiteral("session %1 closing: %2").arg(number).arg(endReason));
    socket->close(QWebSocketProtocol::CloseCodePolicyViolated, endReason);
    QTimer::singleShot(kEndMs, this, [this] {
        if (wire)
            wire->abort();
    });
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
    stalled.stop();
    sendToWorker({{QStringLiteral("end"), true}});
    endDeadline.start(kEndMs);
    // Nothing waits for the page any more: the worker is read (and not held) to its end.
    onWorkerOutput();
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
        // Disconnected follows, unless the page never answers the close (nor
        // reads it): its connection goes with the session.
        QTimer::singleShot(kEndMs, this, [this] {
            socketGone = true;
            if (wire)
                wire->abort();
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
