#include "platform/Picture.h"

#include "core/AutomationError.h"

#include <QFileInfo>
#include <QImageReader>

namespace tx::picture {
namespace {

void checkExists(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || info.isDir())
        raiseRuntime(ErrFileNotFound, path);
}

} // namespace

QSize pixelSize(const QString &path)
{
    checkExists(path);
    QImageReader reader(path);
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
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    if (!reader.size().isValid())
        return {};
    if (box.isValid())
        reader.setScaledSize(box);
    return reader.read();
}

} // namespace tx::picture
