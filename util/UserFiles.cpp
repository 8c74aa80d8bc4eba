#include "util/UserFiles.h"

#include "core/CodePage.h"
#include "core/PathGrants.h"
#include "core/TempFolder.h"

#include <QStringList>
#include <cerrno>
#include <fcntl.h>
#include <linux/openat2.h>
#include <optional>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tx::userfiles {
namespace {

bool noOpenat2 = false;

constexpr char16_t kRawFirst = 0xDC80;
constexpr char16_t kRawLast = 0xDCFF;

// The length of the valid UTF-8 sequence at `p` (at most `left` bytes), or 0.
int utf8Length(const uchar *p, qsizetype left)
{
    const uchar c = p[0];
    int n = 0;
    char32_t min = 0;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2, min = 0x80;
    else if (c >= 0xE0 && c <= 0xEF)
        n = 3, min = 0x800;
    else if (c >= 0xF0 && c <= 0xF4)
        n = 4, min = 0x10000;
    else
        return 0;
    if (left < n)
        return 0;
    char32_t u = c & (0x7F >> n);
    for (int i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        u = (u << 6) | (p[i] & 0x3F);
    }
    if (u < min || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF))
        return 0;
    return n;
}

// Calls `text` for each run of ordinary characters and `raw` for each run of
// raw bytes, in order.
template <typename Text, typename Raw>
void splitRaw(QStringView s, Text text, Raw raw)
{
    qsizetype from = 0;
    QByteArray bytes;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && QChar::isLowSurrogate(s[i + 1].unicode())) {
            ++i;
            continue;
        }
        if (c < kRawFirst || c > kRawLast)
            continue;
        if (i > from)
            text(s.sliced(from, i - from));
        bytes.clear();
        while (i < s.size() && s[i].unicode() >= kRawFirst && s[i].unicode() <= kRawLast)
            bytes.append(char(s[i++].unicode() - 0xDC00));
        raw(bytes);
        from = i--;
    }
    if (from < s.size())
        text(s.sliced(from));
}

std::optional<QByteArray> beneath(const QByteArray &path, const QByteArray &root)
{
    QByteArray rest;
    if (path == root)
        return rest;
    if (root == "/" && path.startsWith('/'))
        rest = path.mid(1);
    else if (path.startsWith(root + '/'))
        rest = path.mid(root.size() + 1);
    else
        return std::nullopt;
    while (rest.startsWith('/'))
        rest.remove(0, 1);
    return rest;
}

// Our own work files (an office's export, a stamped picture, a grab) are read
// from the temporary folder when they are named there, as the controls name
// them; never through a link from elsewhere, so that a granted file swapped for
// a link into it cannot reach another run's work file. No page can name it: the
// grants' rule on arguments does not take it.
struct WorkFolder {
    QByteArray spelt; // as the controls name it
    QByteArray real;  // without links, the root it is opened beneath
    std::optional<QByteArray> holds(const QByteArray &native) const
    {
        if (real.isEmpty())
            return std::nullopt;
        if (std::optional<QByteArray> rest = beneath(native, real))
            return rest;
        return spelt.isEmpty() ? std::nullopt : beneath(native, spelt);
    }
};

long openat2(int dir, const char *path, const open_how &how)
{
    return ::syscall(SYS_openat2, dir, path, &how, sizeof how);
}

// The root itself (a granted file or folder), or `rest` resolved beneath it:
// no link may lead out, nor may "..".
int openBeneath(const QByteArray &root, const QByteArray &rest, int flags)
{
    open_how how{};
    how.flags = quint64(unsigned(flags));
    if (rest.isEmpty()) {
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        return int(openat2(AT_FDCWD, root.constData(), how));
    }
    open_how top{};
    top.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    top.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const int dir = int(openat2(AT_FDCWD, root.constData(), top));
    if (dir < 0)
        return -1;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const int fd = int(openat2(dir, rest.constData(), how));
    const int err = errno;
    ::close(dir);
    errno = err;
    return fd;
}

// Where the kernel has no openat2: the file opened as named, then judged by
// where its descriptor really leads.
int openAndReadBack(const QByteArray &native, int flags, const QList<QByteArray> &roots, const WorkFolder &work)
{
    const int fd = ::open(native.constData(), flags);
    if (fd < 0)
        return -1;
    char real[PATH_MAX + 1];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t n = ::readlink(link.constData(), real, PATH_MAX);
    if (n > 0) {
        const QByteArray at(real, qsizetype(n));
        for (const QByteArray &r : roots)
            if (beneath(at, r))
                return fd;
        if (work.holds(native) && beneath(at, work.real))
            return fd;
    }
    ::close(fd);
    errno = EXDEV;
    return -1;
}

int openGranted(const QString &path, const QByteArray &native, int flags, const QStringList &granted,
                const WorkFolder &work)
{
    QList<QByteArray> roots;
    for (const QString &g : granted)
        roots << nativeName(g);
    if (noOpenat2)
        return openAndReadBack(native, flags, roots, work);
    // As named, and as resolved (a path through a link to a granted folder); the
    // kernel then resolves it once more, beneath the root.
    QList<QByteArray> candidates{native};
    if (!hasRawBytes(path))
        candidates << nativeName(cleanLocalPath(path));
    int err = EXDEV;
    for (const QByteArray &r : roots) {
        for (const QByteArray &c : candidates) {
            const std::optional<QByteArray> rest = beneath(c, r);
            if (!rest)
                continue;
            const int fd = openBeneath(r, *rest, flags);
            if (fd >= 0)
                return fd;
            if (errno == ENOSYS) {
                noOpenat2 = true;
                return openAndReadBack(native, flags, roots, work);
            }
            // A link leading out, or the granted file now a link: outside.
            if (errno != EXDEV && !(errno == ELOOP && !(flags & O_NOFOLLOW)))
                err = errno;
            break;
        }
    }
    if (const std::optional<QByteArray> rest = work.holds(native)) {
        const int fd = openBeneath(work.real, *rest, flags);
        if (fd >= 0 || (errno != EXDEV && errno != ELOOP))
            return fd;
    }
    errno = err;
    return -1;
}

} // namespace

QByteArray nativeName(QStringView path)
{
    QByteArray out;
    splitRaw(path, [&](QStringView t) { out += t.toUtf8(); }, [&](const QByteArray &b) { out += b; });
    return out;
}

QString fromNative(QByteArrayView bytes)
{
    // Name by name: one that is no UTF-8 as a whole keeps every byte of it (a
    // legacy name may hold runs that would pass for UTF-8).
    QString out;
    out.reserve(bytes.size());
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    qsizetype start = 0;
    while (start <= bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && p[end] != '/')
            ++end;
        bool valid = true;
        for (qsizetype i = start; valid && i < end;) {
            const int n = utf8Length(p + i, end - i);
            valid = n > 0;
            i += n;
        }
        if (valid) {
            out += QString::fromUtf8(reinterpret_cast<const char *>(p + start), end - start);
        } else {
            for (qsizetype i = start; i < end; ++i)
                out += p[i] < 0x80 ? QChar(p[i]) : QChar(char16_t(0xDC00 + p[i]));
        }
        if (end < bytes.size())
            out += QLatin1Char('/');
        start = end + 1;
    }
    return out;
}

bool hasRawBytes(QStringView path)
{
    bool raw = false;
    splitRaw(path, [](QStringView) {}, [&](const QByteArray &) { raw = true; });
    return raw;
}

QString shown(QStringView path)
{
    QString out;
    splitRaw(path, [&](QStringView t) { out += t; }, [&](const QByteArray &b) {
        const QString text = codepage::decode(b);
        if (!text.contains(QChar::ReplacementCharacter) && codepage::encode(text) == b) {
            out += text;
            return;
        }
        for (char c : b)
            out += QStringLiteral("\\x") + QString::number(uchar(c), 16).toUpper().rightJustified(2, QLatin1Char('0'));
    });
    return out;
}

QByteArray legacyBytes(QStringView text)
{
    QByteArray out;
    splitRaw(text, [&](QStringView t) { out += codepage::encode(t); }, [&](const QByteArray &b) { out += b; });
    return out;
}

int open(const QString &path, int flags, QString *why)
{
    if (why)
        why->clear();
    // The kernel would stop at it and open another file than the one named.
    if (path.contains(QChar(0))) {
        if (why)
            *why = QStringLiteral("the name holds a NUL character");
        errno = ENOENT;
        return -1;
    }
    flags |= O_CLOEXEC;
    const QByteArray native = nativeName(path);
    const PathGrants *grants = PathGrants::installed();
    if (!grants)
        return ::open(native.constData(), flags);
    WorkFolder work;
    try {
        const QString folder = temp::folder();
        work.spelt = nativeName(folder);
        work.real = nativeName(cleanLocalPath(folder));
    } catch (const AutomationError &) {
    }
    const int fd = openGranted(path, native, flags, grants->roots(), work);
    if (fd < 0 && errno == EXDEV) {
        if (why)
            *why = QStringLiteral("outside the files and folders given to this page");
        errno = EACCES;
    }
    return fd;
}

AutomationError openError(int err, const QString &path, const QString &why)
{
    AutomationError e = fileError(err, shown(path));
    if (!why.isEmpty())
        e.description += QStringLiteral(" (") + why + QLatin1Char(')');
    return e;
}

int openOrThrow(const QString &path, int flags)
{
    QString why;
    const int fd = open(path, flags, &why);
    if (fd < 0)
        throw openError(errno, path, why);
    return fd;
}

void judgeByRealPath(bool on)
{
    noOpenat2 = on;
}

void copyTo(const QString &source, const QString &target)
{
    const int in = openOrThrow(source, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    struct Close {
        int fd;
        ~Close() { if (fd >= 0) ::close(fd); }
    } closeIn{in};
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode))
        throw openError(ENOENT, source, QStringLiteral("not a regular file"));
    ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) & ~O_NONBLOCK);
    const QByteArray out = nativeName(target);
    Close closeOut{::open(out.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)};
    if (closeOut.fd < 0)
        throw fileError(errno, target);
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        int err = n < 0 ? errno : 0;
        for (ssize_t off = 0; err == 0 && off < n;) {
            const ssize_t w = ::write(closeOut.fd, buf + off, size_t(n - off));
            if (w < 0 && errno != EINTR)
                err = errno;
            off += qMax<ssize_t>(w, 0);
        }
        if (err != 0) {
            ::unlink(out.constData());
            throw fileError(err, n < 0 ? source : target);
        }
        if (n == 0)
            return;
    }
}

} // namespace tx::userfiles
