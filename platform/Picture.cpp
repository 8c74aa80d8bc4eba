#include "platform/Picture.h"

#include "core/AutomationError.h"
#include "util/UserFiles.h"

#include <QFile>
#include <QImageReader>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tx::picture {
namespace {

// The picture opened as every user's file is (never blocking on a FIFO), or
// false: a missing file, a folder or anything else that is no regular file (a
// FIFO whose writer never writes, a device without end) is error 53 when `raise`.
bool openPicture(const QString &path, QFile &file, bool raise)
{
    QString why;
    const int fd = path.isEmpty() ? -1 : userfiles::open(path, O_RDONLY | O_NONBLOCK, &why);
    const int err = errno;
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        if (raise)
            raiseRuntime(ErrFileNotFound, path);
        return false;
    }
    if (fd < 0) {
        if (!raise)
            return false;
        if (!why.isEmpty())
            throw userfiles::openError(err, path, why);
        raiseRuntime(ErrFileNotFound, path);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

} // namespace

QSize pixelSize(const QString &path)
{
    QFile file;
    openPicture(path, file, true);
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        throw AutomationError(kErrInvalidPicture, QStringLiteral("Tessarix5"),
                              QStringLiteral("Invalid picture: ") + path);
    return size;
}

qint64 himetricFromPixels(qint64 pixels)
{
    // pixels × 2540 / 96, halves away from zero.
    const qint64 scaled = pixels * 2540;
    return scaled >= 0 ? (scaled + 48) / 96 : -((-scaled + 48) / 96);
}

HimetricSize himetricSize(const QString &path)
{
    const QSize px = pixelSize(path);
    return HimetricSize{himetricFromPixels(px.width()), himetricFromPixels(px.height())};
}

QImage loadScaled(const QString &path, const QSize &box)
{
    QFile file;
    if (!openPicture(path, file, false))
        return {};
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    if (!reader.size().isValid())
        return {};
    if (box.isValid())
        reader.setScaledSize(box);
    return reader.read();
}

} // namespace tx::picture
