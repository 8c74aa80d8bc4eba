#include "upload/UploadMachinery.h"

#include "core/Activity.h"
#include "core/AutomationError.h"
#include "core/CodePage.h"
#include "core/Pump.h"
#include "core/Settings.h"
#include "platform/TcpClient.h"
#include "platform/Ui.h"
#include "upload/MultipartBody.h"
#include "upload/UploadUrl.h"
#include "util/UserFiles.h"

#include <QFileInfo>
#include <QProgressBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tx {

UploadMachinery::UploadMachinery(QObject *owner, QProgressBar *progress, Profile p)
    : QObject(owner), pbFile(progress), profile(std::move(p))
{
    Winsock1 = new TcpClient(this);
    Winsock1->setObjectName(QStringLiteral("Winsock1"));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(settings::tickMs());
    connect(Timer1, &QTimer::timeout, this, &UploadMachinery::onTick);
    connect(Winsock1, &TcpClient::DataArrival, this, &UploadMachinery::onData);
    connect(Winsock1, &TcpClient::PeerClosed, this, &UploadMachinery::onPeerClosed);
    connect(Winsock1, &TcpClient::SendProgress, this, &UploadMachinery::onSendProgress);
    connect(Winsock1, &TcpClient::Error, this, &UploadMachinery::onError);

    strHost = QStringLiteral("127.0.0.1");
    strPort = QStringLiteral("80");
    strUploadPath = profile.defaultPath;
    applyHostAndPort();
    // Ticking from creation, as the control's timer does.
    Timer1->start();
}

UploadMachinery::~UploadMachinery() = default;

CompondFile &UploadMachinery::objPackage()
{
    if (!package)
        package = std::make_unique<CompondFile>();
    return *package;
}

void UploadMachinery::applyHostAndPort()
{
    Winsock1->RemoteHost = strHost;
    Winsock1->RemotePort = strPort.toInt();
    Winsock1->Secure = bSecure;
}

void UploadMachinery::ParseUploadUrl(const QString &url)
{
    const UploadUrl parts = parseUploadUrl(url);
    bSecure = parts.secure;
    strHost = parts.host;
    strPort = parts.port;
    strUploadPath = parts.path;
    applyHostAndPort();
}

void UploadMachinery::routeArticles(const QString &uploadUrl, const QString &postUrl, QString &postPath)
{
    ParseUploadUrl(postUrl);
    postPath = strUploadPath;
    ParseUploadUrl(uploadUrl);
}

QByteArray UploadMachinery::BuildRequestHead(qint64 contentLength, const QByteArray &boundary,
                                             const TcpClient *via) const
{
    const bool absolute = via && via->route().absoluteForm();
    const QString target = absolute ? QStringLiteral("http://") + strHost + QLatin1Char(':') + strPort + strUploadPath
                                    : strUploadPath;
    const QByteArray auth = absolute ? via->route().proxy.authorization() : QByteArray();
    const QString proxyAuth = auth.isEmpty() ? QString()
                                             : QStringLiteral("Proxy-Authorization: ") + QString::fromLatin1(auth)
            + QStringLiteral("\r\n");
    const QString head = QStringLiteral("POST ") + target + QStringLiteral(" HTTP/1.1\r\n")
        + QStringLiteral("Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
                         "application/msword, application/vnd.ms-excel, */*\r\n")
        + QStringLiteral("Accept-Language: zh-cn\r\n")
        + QStringLiteral("Content-Type: multipart/form-data; boundary=") + QString::fromLatin1(boundary)
        + QStringLiteral("\r\n")
        + QStringLiteral("User-Agent: Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0)\r\n")
        + QStringLiteral("Host: ") + strHost + QLatin1Char(':') + strPort + QStringLiteral("\r\n") + proxyAuth
        + QStringLiteral("Content-Length: ") + QString::number(contentLength) + QStringLiteral("\r\n")
        + QStringLiteral("Connection: Keep-Alive\r\n\r\n");
    return codepage::encode(head);
}

void UploadMachinery::UploadFile()
{
    // The body is streamed from a snapshot of the package; nothing is written to
    // a shared file, so two uploads at once cannot spoil each other's body.
    std::unique_ptr<MultipartBody> body;
    try {
        body = MultipartBody::snapshot(objPackage());
    } catch (const FileChangedError &e) {
        beginExchange();
        abandonChangedFile(e.description);
        return;
    }
    if (ownerGone())
        return;
    beginExchange();
    Winsock1->Connect();
    intTick = 0;
    Timer1->start();
    const int ticks = Winsock1->slowConnect() ? kSlowConnectTicks : kConnectTicks;
    // A connection that has failed (refused, a handshake or a proxy that said no)
    // will not stand later: the wait ends with it.
    if (!pump::until(this, [this, ticks] {
            const int state = Winsock1->State();
            return state == TcpClient::sckConnected || state == TcpClient::sckError || intTick >= ticks;
        })
        && ownerGone())
        return;
    if (Winsock1->State() != TcpClient::sckConnected)
        Winsock1->connectTimedOut();
    if (ownerGone())
        return;
    Timer1->stop();
    intTick = 0;
    Timer1->start();
    if (Winsock1->State() == TcpClient::sckConnected) {
        const QByteArray head = BuildRequestHead(body->size(), body->boundaryToken(), Winsock1);
        Winsock1->SendData(head);
        Winsock1->SendStream(std::move(body));
    } else {
        lastOutcome = Outcome::NoConnection;
        bDone = true;
    }
}

void UploadMachinery::beginExchange()
{
    // A connection still open from an earlier exchange is closed first, so nothing
    // of its answer can arrive after this point.
    closeConnection();
    // Each exchange starts with its own state: a done flag or an outcome left by
    // an earlier one would make this one's answer go unheard.
    bDone = false;
    lastOutcome = Outcome::None;
    lastStatusLine.clear();
    answerRelayed = false;
    framer.reset();
}

void UploadMachinery::waitForAnswerOnly()
{
    if (!pump::until(this, [this] { return bDone || intTick >= kAnswerTicks; }) && ownerGone())
        return;
    if (!bDone && lastOutcome == Outcome::None)
        lastOutcome = Outcome::TimedOut;
}

void UploadMachinery::closeConnection()
{
    if (Winsock1->State() == TcpClient::sckClosed)
        return;
    Winsock1->Close();
    intTick = 0;
    Timer1->start();
    pump::until(this, [this] { return Winsock1->State() == TcpClient::sckClosed || intTick >= kConnectTicks; });
    intTick = 0;
    Timer1->stop();
}

void UploadMachinery::WaitForAnswer()
{
    waitForAnswerOnly();
    closeConnection();
    // A changed file was not sent; its bar must not say it was.
    if (lastOutcome != Outcome::FileChanged)
        setProgress(100);
    pump::once();
}

UploadMachinery::LocalFile UploadMachinery::lookupFile(const QString &localfile)
{
    QString why;
    const int fd = localfile.isEmpty() ? -1 : userfiles::open(localfile, O_PATH, &why);
    const int err = errno;
    struct stat st {};
    const bool folder = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    if (fd >= 0)
        ::close(fd);
    if (fd < 0 && !why.isEmpty())
        throw userfiles::openError(err, localfile, why);
    if (fd < 0 || folder)
        raiseRuntime(ErrFileNotFound, localfile);
    const QFileInfo info(localfile); // the names only
    return LocalFile{info.fileName(), info.absoluteFilePath()};
}

void UploadMachinery::sendFile(const QString &sf, const QString &localfile, int contentid)
{
    QString folder = sf;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    const LocalFile file = lookupFile(localfile);
    setProgress(0);
    pump::once();
    CompondFile &pkg = objPackage();
    pkg.RemoveAll();
    pkg.addFormData(QStringLiteral("curPath"), folder);
    pkg.addFormData(QStringLiteral("contentid"), QString::number(contentid));
    pkg.AddUploadFile(file.name, file.path);
    bDone = false;
    UploadFile();
    WaitForAnswer();
}

void UploadMachinery::sendFileWithPackage(const QString &localfile)
{
    const LocalFile file = lookupFile(localfile);
    setProgress(0);
    pump::once();
    objPackage().AddUploadFile(file.name, file.path);
    bDone = false;
    UploadFile();
    WaitForAnswer();
}

void UploadMachinery::postPackage(const QString &path)
{
    bDone = false;
    const QString kept = strUploadPath;
    strUploadPath = path;
    try {
        UploadFile();
    } catch (...) {
        strUploadPath = kept;
        throw;
    }
    strUploadPath = kept;
    WaitForAnswer();
}

int UploadMachinery::roundHalfEven(double v)
{
    return int(std::nearbyint(v)); // the default rounding mode: ties to even
}

void UploadMachinery::setProgress(double percent)
{
    if (pbFile)
        pbFile->setValue(roundHalfEven(qBound(0.0, percent, 100.0)));
}

void UploadMachinery::onTick()
{
    ++intTick;
}

void UploadMachinery::onData()
{
    framer.feed(Winsock1->GetData());
    evaluate(false);
}

void UploadMachinery::onPeerClosed()
{
    framer.feed(Winsock1->GetData());
    framer.closed();
    evaluate(true);
}

void UploadMachinery::evaluate(bool peerClosed)
{
    const activity::Scope handler(this);
    if (ownerGone())
        return;
    if (bDone)
        return;
    if (framer.overflow()) {
        // Reading stops here: an answer without end is no answer.
        const QString line = codepage::decode(framer.statusLine().left(200));
        const QString why = framer.headComplete() ? QStringLiteral("应答超过 %1 MiB").arg(ResponseFramer::kMaxResponse >> 20)
                                                  : QStringLiteral("应答头超过 %1 KiB").arg(ResponseFramer::kMaxHead >> 10);
        const QString shown = line.isEmpty() ? why : line + QStringLiteral("\r\n") + why;
        framer.reset();
        failAnswer(shown, shown);
        return;
    }
    // Any status but 200 and 500 is a failure as soon as its head is in: a real
    // server's redirect, refusal or gateway error will not become an answer.
    const int code = framer.statusCode();
    if (!framer.complete()) {
        if (framer.headComplete() && code >= 200 && code != 200 && code != 500) {
            const QString text = codepage::decode(framer.response());
            failAnswer(text.left(text.indexOf(QLatin1String("\r\n"))), text);
        }
        return;
    }
    if (framer.cutShort()) {
        // Closed before the length or the last chunk it announced: a piece of an
        // answer is no answer.
        bDone = true;
        lastOutcome = Outcome::ClosedWithoutAnswer;
        return;
    }
    const QString text = codepage::decode(framer.response());
    if (!answerRelayed) {
        // Handed on before any reaction to it runs: a reaction may show a box.
        answerRelayed = true;
        // Lines end at a LF, with or without its CR: some servers send bare LFs.
        const auto lineAt = [&text](qsizetype from) {
            const qsizetype end = text.indexOf(QLatin1Char('\n'), from);
            QString line = text.mid(from, std::min<qsizetype>(end < 0 ? text.size() - from : end - from,
                                                              kRelayedAnswerChars + 1));
            if (line.endsWith(QLatin1Char('\r')))
                line.chop(1);
            return std::pair{line.left(kRelayedAnswerChars), end};
        };
        const auto [status, statusEnd] = lineAt(0);
        QString line;
        for (qsizetype at = statusEnd; at >= 0;) {
            const auto [field, end] = lineAt(at + 1);
            if (field.isEmpty()) {
                if (end >= 0)
                    line = lineAt(end + 1).first;
                break;
            }
            at = end;
        }
        const auto &files = objPackage().files();
        emit answerReceived(status, line, files.isEmpty() ? QString() : files.first().m_filename());
    }
    // A status that is neither 200 nor 500 fails however its pieces fell: a
    // "200 OK" in its headers or body must not turn it into a success.
    const bool otherStatus = code >= 200 && code != 200 && code != 500;
    const bool ok = !otherStatus && text.contains(QLatin1String("200 OK"));
    const bool failed = !ok && (text.contains(QLatin1String("500"))
                                || (profile.notFoundIsError && text.contains(QLatin1String("404"))) || otherStatus);
    if (ok) {
        // The exchange is over before any reaction runs.
        bDone = true;
        Timer1->stop();
        intTick = 0;
        Winsock1->Close();
        lastOutcome = Outcome::Answered;
        lastStatusLine = text.left(text.indexOf(QLatin1String("\r\n")));
        if (profile.keepsAnswer) {
            const qsizetype p = text.indexOf(QLatin1String("\r\n\r\n"));
            answer = p < 0 ? text.mid(3) : text.mid(p + 4);
        }
        return;
    }
    if (failed) {
        failAnswer(text.left(text.indexOf(QLatin1String("\r\n"))), text);
        return;
    }
    if (peerClosed) {
        // Nothing more can arrive: the wait ends now, the answer unchanged.
        bDone = true;
        lastOutcome = Outcome::ClosedWithoutAnswer;
    }
}

void UploadMachinery::failAnswer(const QString &statusLine, const QString &received)
{
    // The exchange is over before any reaction runs: a reaction that pumps (a
    // message box) must not see this answer again when the peer closes.
    bDone = true;
    Timer1->stop();
    intTick = 0;
    Winsock1->Close();
    lastOutcome = Outcome::ErrorAnswer;
    lastStatusLine = statusLine;
    if (profile.keepsAnswer)
        answer = QStringLiteral("Error");
    if (profile.onErrorAnswer) {
        try {
            profile.onErrorAnswer(received);
        } catch (const std::exception &) {
            // The reaction is a message or a log line; nothing to undo.
        }
    }
}

void UploadMachinery::onSendProgress(qint64 sent, qint64 remaining)
{
    // Bytes are moving: the count restarts, so only a send that makes no progress
    // for the whole answer time-out is given up, and the answer's own 30 s start
    // when the last byte has been written.
    intTick = 0;
    const qint64 all = sent + remaining;
    if (all > 0)
        setProgress(double(sent) * 100.0 / double(all));
}

void UploadMachinery::abandonChangedFile(const QString &message)
{
    // Settled before the box, which pumps.
    bDone = true;
    lastOutcome = Outcome::FileChanged;
    ui::messageBox(message);
}

void UploadMachinery::onError(int number, const QString &description)
{
    const activity::Scope handler(this);
    if (ownerGone())
        return;
    // The body could not be read whole (the socket is closed already): the
    // server will never answer it.
    if (number == TcpClient::sckSourceFailed)
        abandonChangedFile(description);
    else
        ui::messageBox(description);
}

bool UploadMachinery::ownerGone()
{
    if (activity::stands(this))
        return false;
    bDone = true;
    lastOutcome = Outcome::Abandoned;
    Timer1->stop();
    if (Winsock1->State() != TcpClient::sckClosed)
        Winsock1->Close();
    return true;
}

QString UploadMachinery::outcomeReason() const
{
    switch (lastOutcome) {
    case Outcome::NoConnection:
        return QStringLiteral("无法连接到服务器");
    case Outcome::TimedOut:
        return QStringLiteral("服务器没有应答");
    case Outcome::ClosedWithoutAnswer:
        return QStringLiteral("连接被关闭，没有应答");
    case Outcome::FileChanged:
        return QStringLiteral("文件在上传过程中被修改");
    case Outcome::ErrorAnswer:
        return lastStatusLine;
    case Outcome::Abandoned:
        return QStringLiteral("上传被放弃");
    case Outcome::None:
    case Outcome::Answered:
        break;
    }
    return {};
}

} // namespace tx
