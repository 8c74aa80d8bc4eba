#include "upload/MultipartBody.h"

#include "core/AutomationError.h"
#include "core/CodePage.h"
#include "upload/CompondFile.h"
#include "upload/Utf8.h"
#include "util/UserFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tx {
namespace {

constexpr int kMaxSuffix = 4096;
constexpr qint64 kWindow = qint64(1) << 20; // bytes of a file read at once
constexpr qint64 kLookAhead = 12;             // bytes read after a delimiter hit

int openPart(const QString &path, qint64 *length, timespec *mtime)
{
    // O_NONBLOCK so a FIFO never blocks the open; only regular files are parts.
    const int fd = userfiles::openOrThrow(path, O_RDONLY | O_NONBLOCK);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw runtimeError(ErrPathFileAccess, userfiles::shown(path) + QStringLiteral(" (not a regular file)"));
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    *length = st.st_size;
    *mtime = st.st_mtim;
    return fd;
}

// Reads until `want` bytes or the end of the file; -1 on an error.
qint64 readFully(int fd, char *buf, qint64 want, qint64 offset)
{
    qint64 got = 0;
    while (got < want) {
        const ssize_t n = ::pread(fd, buf + got, size_t(want - got), offset + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

} // namespace

BoundaryScan::BoundaryScan(const QByteArray &delimiter) : delim(delimiter), blocked(kMaxSuffix, false) {}

// A hit followed by "_" and digits blocks every number its digits begin with, so
// that no chosen delimiter is even a prefix of text in the data.
void BoundaryScan::note(const char *after, qint64 avail)
{
    any = true;
    if (avail < 2 || after[0] != '_')
        return;
    int n = 0;
    for (qint64 i = 1; i < avail && i <= 5; ++i) {
        const char c = after[i];
        if (c < '0' || c > '9')
            break;
        n = n * 10 + (c - '0');
        if (n >= kMaxSuffix)
            break;
        blocked[size_t(n)] = true;
    }
}

void BoundaryScan::scanBytes(const char *data, qint64 size)
{
    const char *p = data;
    const char *end = data + size;
    while (p < end) {
        const void *hit = memmem(p, size_t(end - p), delim.constData(), size_t(delim.size()));
        if (!hit)
            break;
        const char *h = static_cast<const char *>(hit);
        const char *after = h + delim.size();
        note(after, qMin<qint64>(kLookAhead, end - after));
        p = h + 1;
    }
}

BoundaryScan::Scan BoundaryScan::scanFile(int fd, qint64 length)
{
    const qint64 overlap = delim.size() + kLookAhead;
    QByteArray window(qMin(kWindow + overlap, length), Qt::Uninitialized);
    for (qint64 start = 0; start < length; start += kWindow) {
        const qint64 len = qMin(kWindow + overlap, length - start);
        const qint64 got = readFully(fd, window.data(), len, start);
        if (got < 0)
            return Scan::Failed;
        if (got < len)
            return Scan::Short;
        const char *base = window.constData();
        // Hits are counted in the window where they begin.
        const char *ownEnd = base + qMin(kWindow, len);
        const char *p = base;
        while (p < ownEnd) {
            const void *hit = memmem(p, size_t(base + len - p), delim.constData(), size_t(delim.size()));
            if (!hit || static_cast<const char *>(hit) >= ownEnd)
                break;
            const char *h = static_cast<const char *>(hit);
            const char *after = h + delim.size();
            note(after, qMin<qint64>(kLookAhead, base + len - after));
            p = h + 1;
        }
    }
    return Scan::Whole;
}

int BoundaryScan::suffix() const
{
    if (!any)
        return 0;
    for (int n = 1; n < kMaxSuffix; ++n)
        if (!blocked[size_t(n)])
            return n;
    return -1;
}

QByteArray MultipartBody::baseToken()
{
    return QByteArray(27, '-') + "7d1c934a05c4";
}

QString MultipartBody::escapeName(const QString &name)
{
    QString out;
    out.reserve(name.size());
    for (QChar c : name) {
        switch (c.unicode()) {
        case '"': out += QStringLiteral("%22"); break;
        case '\r': out += QStringLiteral("%0D"); break;
        case '\n': out += QStringLiteral("%0A"); break;
        default: out += c;
        }
    }
    return out;
}

FileChangedError::FileChangedError(const QString &p)
    : AutomationError(ErrPathFileAccess, QStringLiteral("Tessarix5"), MultipartBody::changedText(p)), path(p)
{
}

QString MultipartBody::changedText(const QString &path)
{
    return QStringLiteral("文件在上传过程中被修改：") + userfiles::shown(path);
}

QString MultipartBody::wireFileName(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return p;
}

std::unique_ptr<MultipartBody> MultipartBody::snapshot(const CompondFile &package)
{
    std::unique_ptr<MultipartBody> body(new MultipartBody);
    struct Part {
        QByteArray head; // without the delimiter line
        QByteArray value;
        int fd = -1;
        qint64 length = 0;
        QString path;
        timespec mtime{};
    };
    std::vector<Part> parts;
    // Files close with the body, also when a later part fails to open.
    struct Closer {
        std::vector<Part> &p;
        bool keep = false;
        ~Closer() { if (!keep) for (Part &x : p) if (x.fd >= 0) ::close(x.fd); }
    } closer{parts};

    for (const UploadFile &f : package.files()) {
        Part part;
        part.path = f.m_filename();
        const QString head = QStringLiteral("Content-Disposition: form-data; name=\"")
                             + escapeName(f.m_name()) + QStringLiteral("\"; filename=\"")
                             + escapeName(wireFileName(part.path)) + QStringLiteral("\"\r\nContent-Type: ")
                             + f.m_content_type() + QStringLiteral("\r\n\r\n");
        // A name found on disk that is no UTF-8 goes as its own bytes.
        part.head = userfiles::legacyBytes(head);
        parts.push_back(part);
        parts.back().fd = openPart(parts.back().path, &parts.back().length, &parts.back().mtime);
    }
    for (const FormData &d : package.fields()) {
        Part part;
        part.head = codepage::encode(QStringLiteral("Content-Disposition: form-data; name=\"")
                                     + escapeName(d.DataName()) + QStringLiteral("\"\r\n\r\n"));
        part.value = EncodeText(d.DataValue(), 65001).bytes;
        parts.push_back(part);
    }

    const QByteArray base = baseToken();
    BoundaryScan scan("--" + base);
    for (const Part &p : parts) {
        scan.scanBytes(p.head.constData(), p.head.size());
        scan.scanBytes(p.value.constData(), p.value.size());
        if (p.fd < 0)
            continue;
        switch (scan.scanFile(p.fd, p.length)) {
        case BoundaryScan::Scan::Whole:
            break;
        case BoundaryScan::Scan::Short:
            throw FileChangedError(p.path);
        case BoundaryScan::Scan::Failed:
            throw fileError(errno, p.path);
        }
    }
    const int n = scan.suffix();
    if (n < 0)
        throw runtimeError(ErrInvalidCall, QStringLiteral("no multipart boundary fits the data"));
    body->token = n == 0 ? base : base + '_' + QByteArray::number(n);
    const QByteArray delimLine = "--" + body->token + "\r\n";

    auto addText = [&body](const QByteArray &b) {
        if (b.isEmpty())
            return;
        if (!body->segments.empty() && body->segments.back().fd < 0) {
            body->segments.back().bytes += b;
            body->segments.back().length += b.size();
        } else
            body->segments.push_back(Segment{b, -1, b.size(), {}, {}});
        body->total += b.size();
    };
    for (Part &p : parts) {
        addText(delimLine + p.head + p.value);
        if (p.fd >= 0) {
            body->segments.push_back(Segment{{}, p.fd, p.length, p.path, p.mtime});
            body->total += p.length;
            p.fd = -1; // the body owns it now
        }
        addText("\r\n");
    }
    addText("--" + body->token + "--\r\n");
    return body;
}

MultipartBody::~MultipartBody()
{
    for (Segment &s : segments)
        if (s.fd >= 0)
            ::close(s.fd);
}

// A file that grew, shrank or was rewritten since it was measured: the bytes read
// so far may already be a mix of old and new.
bool MultipartBody::changedSince(const Segment &s)
{
    struct stat st {};
    if (fstat(s.fd, &st) != 0)
        return false; // a read error will tell
    return st.st_size != s.length || st.st_mtim.tv_sec != s.mtime.tv_sec || st.st_mtim.tv_nsec != s.mtime.tv_nsec;
}

qint64 MultipartBody::read(char *buf, qint64 max)
{
    qint64 done = 0;
    while (done < max && current < segments.size()) {
        Segment &s = segments[current];
        if (offset == s.length) {
            if (s.fd >= 0 && s.length == 0 && changedSince(s)) {
                failure = changedText(s.path);
                return -1;
            }
            ++current;
            offset = 0;
            continue;
        }
        const qint64 want = qMin(max - done, s.length - offset);
        if (s.fd < 0) {
            memcpy(buf + done, s.bytes.constData() + offset, size_t(want));
            done += want;
            offset += want;
            continue;
        }
        // Looked at once more before the file's last bytes go out: a change after
        // the snapshot must not reach the server as if the file were whole.
        if (offset + want == s.length && changedSince(s)) {
            failure = changedText(s.path);
            return -1;
        }
        const qint64 got = readFully(s.fd, buf + done, want, offset);
        if (got < 0) {
            failure = QStringLiteral("%1: %2").arg(s.path, QString::fromLocal8Bit(strerror(errno)));
            return -1;
        }
        if (got < want) {
            failure = changedText(s.path);
            return -1;
        }
        done += got;
        offset += got;
    }
    return done;
}

} // namespace tx
