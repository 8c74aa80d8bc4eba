#pragma once
// The image import's picture work: a text watermark stamped on the picture and a
// thumbnail of a given size.
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

namespace tx::cms {

class ReceivedForm;

struct PictureRequest {
    bool watermark = false;
    QString text;
    int position = 1;  // 1 top left, 16 centre, 256 bottom right
    QColor color;
    QColor background;
    bool thumbnail = false;
    int thumbWidth = 0;
    int thumbHeight = 0;
    QString alt;
    QString target;

    // True when the form carries the image import's "Thumbnail" or "WaterMark" field.
    static bool isPictureUpload(const ReceivedForm &form);
    // Throws Refused on a value that is no number or out of range.
    static PictureRequest fromForm(const ReceivedForm &form);
    bool wantsThumbnail() const { return thumbnail && thumbWidth > 0 && thumbHeight > 0; }
};

namespace picture {

// The colour values of the controls are 0xBBGGRR.
QColor fromBgr(unsigned value);
// The format the file's bytes are in ("jpeg", "png", "gif" ...), empty when none.
QByteArray formatOf(const QString &path);
inline constexpr long long kMaxPicturePixels = 100'000'000;
inline constexpr long long kMaxThumbnailPixels = 16'000'000;

// Loads the picture; throws Refused when it cannot be read, or when its header
// says it has more than kMaxPicturePixels (before anything is decoded).
QImage load(const QString &path);
void stamp(QImage &image, const PictureRequest &request);
// The size a thumbnail asked as width x height gets for a picture of `picture`:
// never larger than the picture on either side (a larger one shrinks, keeping the
// asked ratio) and never over kMaxThumbnailPixels; at least 1 x 1.
QSize thumbnailSize(QSize picture, int width, int height);
QImage thumbnail(const QImage &image, int width, int height);
// The picture in that format, or in PNG when Qt cannot write it (GIF); format is
// updated to what was written. Throws Refused on failure.
QByteArray encode(const QImage &image, QByteArray &format);
// The usual file extension of a format written by encode().
QString extensionOf(const QByteArray &format);

} // namespace picture
} // namespace tx::cms
