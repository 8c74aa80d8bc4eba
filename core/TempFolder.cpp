#include "core/TempFolder.h"

#include "core/AutomationError.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tx::temp {

QString folder()
{
    QString t = qEnvironmentVariable("TEMP");
    if (!t.isEmpty()) {
        while (t.size() > 1 && t.endsWith(QLatin1Char('/')))
            t.chop(1);
        return t;
    }
    QString base = qEnvironmentVariable("TMPDIR");
    if (base.isEmpty())
        base = QStringLiteral("/tmp");
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    const QString dir = base + QStringLiteral("/tessarix-%1").arg(getuid());
    const QByteArray native = QFile::encodeName(dir);
    if (mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        throw fileError(errno, dir);
    struct stat st {};
    if (lstat(native.constData(), &st) != 0)
        throw fileError(errno, dir);
    if (!S_ISDIR(st.st_mode) || st.st_uid != getuid())
        throw runtimeError(ErrPermissionDenied, dir + QStringLiteral(" (not a private folder of this user)"));
    return dir;
}

int createNoFollow(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        throw fileError(errno, path);
    return fd;
}

bool removeFile(const QString &path)
{
    if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
        return true;
    return false;
}

} // namespace tx::temp
