#include "officeimport/LinkedPicture.h"

#include "core/AutomationError.h"
#include "util/UserFiles.h"

#include <QByteArray>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tx {
namespace {

bool isPicture(const QByteArray &head)
{
    if (head.startsWith("\xFF\xD8\xFF") || head.startsWith("\x89PNG\r\n\x1A\n") || head.startsWith("GIF87a")
        || head.startsWith("GIF89a") || (head.startsWith("BM") && head.size() >= 14)
        || (head.startsWith("RIFF") && head.mid(8, 4) == "WEBP"))
        return true;
    // SVG is text: an XML prologue, comments or a doctype may come first.
    QByteArray text = head.startsWith("\xEF\xBB\xBF") ? head.mid(3) : head;
    text = text.trimmed().toLower();
    return (text.startsWith("<?xml") || text.startsWith("<svg") || text.startsWith("<!--") || text.startsWith("<!doctype"))
        && text.contains("<svg");
}

[[noreturn]] void refuse(const QString &link, const QString &why)
{
    raiseRuntime(ErrFileNotFound, link + QStringLiteral(" (") + why + QLatin1Char(')'));
}

} // namespace

void checkLinkedPicture(const QString &path, const QString &link)
{
    // Looked at before it is opened: opening a device or a FIFO can act on it.
    // Both opens are held to the session's grants, as every read of a user's file.
    const auto opened = [&link](const QString &p, int flags) {
        QString why;
        const int fd = userfiles::open(p, flags, &why);
        if (fd < 0)
            refuse(link, !why.isEmpty() ? why
                         : errno == ENOENT ? QStringLiteral("no such file")
                                           : QString::fromLocal8Bit(strerror(errno)));
        return fd;
    };
    struct Close {
        int fd;
        ~Close() { ::close(fd); }
    };
    struct stat before {};
    {
        const Close looked{opened(path, O_PATH)};
        if (::fstat(looked.fd, &before) != 0 || !S_ISREG(before.st_mode))
            refuse(link, QStringLiteral("not a regular file"));
    }
    const int fd = opened(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    const Close closing{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != before.st_dev || st.st_ino != before.st_ino)
        refuse(link, QStringLiteral("not a regular file"));
    if (st.st_size > kMaxLinkedPicture)
        refuse(link, QStringLiteral("larger than 100 MiB"));
    QByteArray head(4096, '\0');
    ssize_t got = -1;
    do
        got = ::read(fd, head.data(), size_t(head.size()));
    while (got < 0 && errno == EINTR);
    head.truncate(got < 0 ? 0 : qsizetype(got));
    if (!isPicture(head))
        refuse(link, QStringLiteral("not a picture"));
}

} // namespace tx
