#include "util/FileUtils.h"

#include "core/AutomationError.h"
#include "core/CodePage.h"
#include "util/Text.h"
#include "util/UserFiles.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringList>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tx::util {
namespace {

// A text file read whole: more than this is no article, and reading it would
// take the page's memory (a sparse file can claim any size).
constexpr qint64 kMaxTextFile = qint64(256) << 20;

bool isSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

bool folderExists(const QString &path)
{
    struct stat st {};
    return ::stat(native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Another program may make the same folder between our look and our mkdir: a
// folder that stands afterwards is what was wanted.
void createFolder(const QString &path)
{
    if (::mkdir(native(path).constData(), 0777) == 0)
        return;
    const int err = errno;
    if (err == EEXIST && folderExists(path))
        return;
    throw fileError(err, path);
}

// Removes everything below the open folder `dir` (named `path` for errors),
// making each folder writable first so that read-only entries go too.
void removeContents(int dirFd, const QString &path)
{
    DIR *d = ::fdopendir(dirFd);
    if (!d) {
        const int err = errno;
        ::close(dirFd);
        throw fileError(err, path);
    }
    struct Closer {
        DIR *d;
        ~Closer() { ::closedir(d); }
    } closer{d};
    while (dirent *e = ::readdir(d)) {
        const char *name = e->d_name;
        if (qstrcmp(name, ".") == 0 || qstrcmp(name, "..") == 0)
            continue;
        const QString child = path + QLatin1Char('/') + QFile::decodeName(name);
        struct stat st {};
        if (::fstatat(dirfd(d), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            throw fileError(errno, child);
        if (S_ISDIR(st.st_mode)) {
            ::fchmodat(dirfd(d), name, st.st_mode | S_IRWXU, 0);
            const int fd = ::openat(dirfd(d), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0)
                throw fileError(errno, child);
            removeContents(fd, child);
            if (::unlinkat(dirfd(d), name, AT_REMOVEDIR) != 0)
                throw fileError(errno, child);
        } else if (::unlinkat(dirfd(d), name, 0) != 0) {
            throw fileError(errno, child);
        }
    }
}

// The text of the open file `fd` (closed here), named `path` in errors.
QString textOf(int fd, const QString &path);

bool isValidUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString ignored = decoder.decode(bytes);
    return !decoder.hasError();
}

} // namespace

QString GetTempFile(const QString &folder, const QString &prefix)
{
    QString dir = folder;
    if (!dir.isEmpty() && !isSeparator(dir.back()))
        dir += QLatin1Char('/');
    const QString stem = dir + prefix.left(3);
    // Like the system's own temporary names: a 16-bit number in hexadecimal, tried
    // upwards from a random start until a name is free.
    const quint32 start = QRandomGenerator::global()->bounded(1u, 0x10000u);
    for (quint32 n = 0; n < 0xFFFF; ++n) {
        const quint32 unique = (start + n - 1) % 0xFFFF + 1;
        const QString path = stem + QString::number(unique, 16).toUpper() + QStringLiteral(".tmp");
        const int fd = ::open(native(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            break;
    }
    throw runtimeError(ErrPathFileAccess, folder);
}

void MakeFolders(const QString &path)
{
    if (path.isEmpty())
        return;
    QStringList parts;
    qsizetype from = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i == path.size() || isSeparator(path[i])) {
            parts << path.mid(from, i - from);
            from = i + 1;
        }
    }
    // An absolute path starts at the root; a relative one at its first element.
    QString current = parts.front().isEmpty() ? QStringLiteral("/") : parts.front();
    if (!folderExists(current))
        createFolder(current);
    for (qsizetype i = 1; i < parts.size(); ++i) {
        if (parts[i].isEmpty())
            continue;
        if (!current.endsWith(QLatin1Char('/')))
            current += QLatin1Char('/');
        current += parts[i];
        if (!folderExists(current))
            createFolder(current);
    }
}

QString ToBackslash(const QString &text)
{
    QString out = text;
    return out.replace(QLatin1Char('/'), QLatin1Char('\\'));
}

void RemoveFolder(const QString &path)
{
    QString p = path;
    if (p.size() > 1 && isSeparator(p.back()))
        p.chop(1);
    const QByteArray n = native(p);
    struct stat st {};
    if (::lstat(n.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw runtimeError(ErrPathNotFound, p);
    // A wrong path from a caller must never empty the whole file system.
    if (isSeparator(p.front()) && p.size() == 1)
        throw runtimeError(ErrPathFileAccess, p);
    ::chmod(n.constData(), st.st_mode | S_IRWXU);
    const int fd = ::open(n.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        throw fileError(errno, p);
    removeContents(fd, p);
    if (::rmdir(n.constData()) != 0)
        throw fileError(errno, p);
}

QString GetFileName(const QString &path)
{
    const QString p = ToBackslash(path);
    const QStringView t = trimSpaces(p);
    const qsizetype slash = t.lastIndexOf(QLatin1Char('\\'));
    return (slash < 0 ? t : t.sliced(slash + 1)).toString();
}

QString ReadTextFile(const QString &path)
{
    try {
        return ReadExistingTextFile(path);
    } catch (const AutomationError &) {
        return {};
    }
}

QString ReadExistingTextFile(const QString &path)
{
    // POSIX, for the reason of a failure: a folder opens, but cannot be read;
    // a pipe or a device would never end (and must not block the open).
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw fileError(errno, path);
    return textOf(fd, path);
}

QString ReadUserTextFile(const QString &path)
{
    return textOf(userfiles::openOrThrow(path, O_RDONLY | O_NONBLOCK), path);
}

namespace {

QString textOf(int fd, const QString &path)
{
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw fileError(EACCES, path);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        throw fileError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, path);
    if (st.st_size > kMaxTextFile)
        throw fileError(EFBIG, path);
    // Bounded again while read: the file may grow after the look at its size.
    QByteArray bytes;
    bytes.reserve(qsizetype(st.st_size));
    char chunk[1 << 16];
    qint64 got = 0;
    while ((got = file.read(chunk, sizeof chunk)) > 0) {
        bytes.append(chunk, qsizetype(got));
        if (bytes.size() > kMaxTextFile)
            throw fileError(EFBIG, path);
    }
    if (got < 0 || file.error() != QFileDevice::NoError)
        throw fileError(EIO, path);
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF") || isValidUtf8(bytes)) {
        if (bytes.startsWith("\xEF\xBB\xBF"))
            bytes.remove(0, 3);
        text = QString::fromUtf8(bytes);
    } else {
        text = codepage::decode(bytes);
    }
    QString out;
    out.reserve(text.size() + text.size() / 16 + 2);
    qsizetype lineStart = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        out += QStringView(text).sliced(lineStart, i - lineStart);
        out += QLatin1String("\r\n");
        if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n'))
            ++i;
        lineStart = i + 1;
    }
    if (lineStart < n) {
        out += QStringView(text).sliced(lineStart);
        out += QLatin1String("\r\n");
    }
    return out;
}

} // namespace

QString GetFileExt(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

} // namespace tx::util
