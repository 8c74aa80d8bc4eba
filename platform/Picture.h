#pragma once
// The picture loader the image import uses: a picture's size read from the file's
// header (nothing is decoded) and, for the preview only, the decoded picture.
// The kind is taken from the file's content, never from its name.
#include <QImage>
#include <cstdint>
#include <QSize>
#include <QString>

namespace tx::picture {

// Error number of a file that no picture reader understands.
inline constexpr int32_t kErrInvalidPicture = 481;

// The size in pixels from the header. A missing file is error 53, a file that is
// no readable picture error 481, both naming the path.
QSize pixelSize(const QString &path);

// HIMETRIC units (hundredths of a millimetre) of a pixel length at 96 dots per
// inch, rounded to the nearest unit as the platform's picture object reports it.
qint64 himetricFromPixels(qint64 pixels);

struct HimetricSize {
    qint64 width = 0;
    qint64 height = 0;
};
// pixelSize() in HIMETRIC units; the same errors.
HimetricSize himetricSize(const QString &path);

// The picture decoded straight to `box` (proportions not kept), so a large photo
// is never held at full size. A null image when it cannot be read.
QImage loadScaled(const QString &path, const QSize &box);

} // namespace tx::picture
