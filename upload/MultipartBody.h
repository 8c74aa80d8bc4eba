#pragma once
// A snapshot of a package as the byte stream of its multipart body. Taking the
// snapshot opens the files and fixes their lengths, so the page may change the
// package while the body streams; the length is known before the first byte.
#include "core/AutomationError.h"
#include "platform/TcpClient.h"

#include <QByteArray>
#include <QString>
#include <ctime>
#include <memory>
#include <vector>

namespace tx {

class CompondFile;

// A file part that changed between being measured and being read whole: the body
// can no longer be what its head announced.
struct FileChangedError : AutomationError {
    explicit FileChangedError(const QString &path);
    QString path;
};

class MultipartBody : public ByteSource {
public:
    // The boundary token of the request head; the delimiter line is "--" + token.
    static QByteArray baseToken();

    // Opens every file part (a missing file is error 53 naming it) and chooses a
    // boundary that occurs nowhere in the parts.
    static std::unique_ptr<MultipartBody> snapshot(const CompondFile &package);
    ~MultipartBody() override;

    QByteArray boundaryToken() const { return token; }
    qint64 size() const override { return total; }
    qint64 read(char *buf, qint64 max) override;
    QString error() const override { return failure; }

    // How a name travels in a part head: '"', CR and LF percent-escaped.
    static QString escapeName(const QString &name);
    // The filename parameter: the full local path with "/" written as "\".
    static QString wireFileName(const QString &path);
    // What the user is told about a file that changed while it was read.
    static QString changedText(const QString &path);

private:
    struct Segment {
        QByteArray bytes; // text, or empty for a file segment
        int fd = -1;
        qint64 length = 0;
        QString path;
        timespec mtime{}; // as measured, with the length
    };
    MultipartBody() = default;
    bool changedSince(const Segment &s);

    std::vector<Segment> segments;
    QByteArray token;
    qint64 total = 0;
    size_t current = 0;
    qint64 offset = 0;
    QString failure;
};

// Smallest suffix n >= 0 such that the delimiter with "_n" appended (nothing for
// 0) occurs in none of the given byte runs or files. Exposed for tests.
class BoundaryScan {
public:
    explicit BoundaryScan(const QByteArray &delimiter);
    void scanBytes(const char *data, qint64 size);
    // Scans `length` bytes of a file window by window (read, never mapped, so a
    // file cut short cannot fault). Short when the file ended early.
    enum class Scan { Whole, Short, Failed };
    Scan scanFile(int fd, qint64 length);
    // -1 when every candidate is taken (data built to defeat the choice).
    int suffix() const;

private:
    void note(const char *after, qint64 avail);
    QByteArray delim;
    bool any = false;
    std::vector<bool> blocked;
};

} // namespace tx
