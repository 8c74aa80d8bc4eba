#pragma once
// The upload machinery every upload control owns one of: it parses the upload URL,
// sends one multipart POST over the control's TCP client, waits for the answer in
// the event loop, counts ticks for its time-outs and feeds the progress bar.
#include "upload/CompondFile.h"
#include "upload/ResponseFramer.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QProgressBar;
class QTimer;

namespace tx {

class TcpClient;

class UploadMachinery : public QObject {
    Q_OBJECT
public:
    // How the last upload ended.
    enum class Outcome { None, Answered, ErrorAnswer, NoConnection, TimedOut, ClosedWithoutAnswer, FileChanged, Abandoned };

    // What tells the four controls' uploads apart.
    struct Profile {
        QString defaultPath;          // "/upload.asp" or "/cms/upload.asp"
        bool keepsAnswer = true;      // the folder upload keeps none
        bool notFoundIsError = false; // "404" counts as a failure like "500"
        // Runs on an error answer with the whole received text, before the answer
        // becomes "Error" (when the control keeps one).
        std::function<void(const QString &received)> onErrorAnswer;
    };

    static constexpr int kConnectTicks = 6;
    // TLS, or a proxy (its CONNECT among it), to a distant server: 10 s.
    static constexpr int kSlowConnectTicks = 100;
    static constexpr int kAnswerTicks = 300;

    UploadMachinery(QObject *owner, QProgressBar *progress, Profile profile);
    ~UploadMachinery() override;

    // The fields the controls share with their machinery.
    QString strHost;
    QString strPort;
    QString strUploadPath;
    bool bSecure = false; // https
    QString strPakFile; // stays empty: the body streams from a snapshot, no file is written
    qint64 intTick = 0;
    bool bDone = false;
    QString answer; // NewFileName or strAnswer
    TcpClient *Winsock1 = nullptr;
    QTimer *Timer1 = nullptr;
    QProgressBar *pbFile = nullptr;

    // The package, created on first use and kept.
    CompondFile &objPackage();
    Outcome outcome() const { return lastOutcome; }
    // Why the last upload did not end with a "200 OK" answer, in the words the
    // controls show: "无法连接到服务器", "服务器没有应答", "连接被关闭，没有应答",
    // "文件在上传过程中被修改", or the status line of an error answer. Empty after
    // an answer.
    QString outcomeReason() const;

    // Splits an http or https URL into host, port and path and applies them (and
    // the secure mode) to the socket; 0x80040000 "错误的URL" for any other scheme,
    // error 13 for a port that is not a number. Nothing changes on failure.
    void ParseUploadUrl(const QString &url);
    // The import controls' routing: articles go to the host and port of the upload
    // URL with the path of the post URL. Parses the post URL and stores its path
    // in `postPath`, then parses the upload URL; a failure stops at that step.
    void routeArticles(const QString &uploadUrl, const QString &postUrl, QString &postPath);
    // Through an http proxy (`via`) the request line carries the absolute URL and
    // the proxy's credentials are added; nothing else changes.
    QByteArray BuildRequestHead(qint64 contentLength, const QByteArray &boundary,
                                const TcpClient *via = nullptr) const;
    // Snapshots the package, connects and starts streaming head and body. Starts a
    // new exchange: done flag and outcome are cleared first. A file that changes
    // while it is measured ends it at once (outcome FileChanged, with a box).
    void UploadFile();
    // Waits for the answer or the time-out, closes the socket, sets the bar to 100.
    // While the body is being written the count restarts with every byte written,
    // so the 300 ticks are those without progress, then those after the last byte.
    void WaitForAnswer();
    // The parts of that wait: the answer wait alone, and the closing wait alone.
    void waitForAnswerOnly();
    void closeConnection();

    // One file with the fields "curPath" (sf, with a "/" appended when missing) and
    // "contentid", sent and waited for.
    void sendFile(const QString &sf, const QString &localfile, int contentid);
    // One file added to the package as it stands, sent and waited for.
    void sendFileWithPackage(const QString &localfile);
    // The package as it stands posted to `path` on the current host and port.
    void postPackage(const QString &path);

    struct LocalFile {
        QString name; // bare file name
        QString path; // full path
    };
    // The file as the file-system object reports it; error 53 naming a missing one.
    static LocalFile lookupFile(const QString &localfile);

    void setProgress(double percent);
    static int roundHalfEven(double v);

    // At most this many characters of an answer's status line and first body line
    // are handed on by answerReceived.
    static constexpr int kRelayedAnswerChars = 1024;

signals:
    // Each answer received, once per exchange, before the controls react to it:
    // its status line, the first line of its body, and the local file the request
    // carried (empty for an article post). For those who watch the form from
    // outside (the browser bridge); the controls themselves do not use it.
    void answerReceived(const QString &statusLine, const QString &firstBodyLine, const QString &file);

private:
    void onTick();
    void onData();
    void onPeerClosed();
    void onSendProgress(qint64 sent, qint64 remaining);
    void onError(int number, const QString &description);
    void beginExchange();
    void abandonChangedFile(const QString &message);
    void evaluate(bool peerClosed);
    // Ends the exchange as an error answer: the control's reaction with `received`.
    void failAnswer(const QString &statusLine, const QString &received);
    void applyHostAndPort();
    // True, with the exchange ended quietly and its answer not taken, once the
    // owning control has been released.
    bool ownerGone();

    Profile profile;
    std::unique_ptr<CompondFile> package;
    ResponseFramer framer;
    Outcome lastOutcome = Outcome::None;
    QString lastStatusLine;
    bool answerRelayed = false;
};

} // namespace tx
