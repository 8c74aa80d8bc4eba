#include "cms/PictureWork.h"

#include "cms/ReceivedForm.h"
#include "cms/Refused.h"
#include "platform/CjkFont.h"

#include <QBuffer>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <mutex>

namespace tx::cms {
namespace {

bool yes(const ReceivedForm &form, const QString &name)
{
    return form.field(name).value_or(QString()).trimmed().compare(u"Yes", Qt::CaseInsensitive) == 0;
}

long long number(const ReceivedForm &form, const QString &name, long long low, long long high)
{
    const QString text = form.field(name).value_or(QString()).trimmed();
    bool ok = false;
    const long long value = text.toLongLong(&ok);
    if (!ok || value < low || value > high)
        throw Refused("bad " + name.toStdString() + " value");
    return value;
}

// An uncompressed BMP must hold the rows its header announces; the reader would
// make the full picture of a short file all the same (86 bytes: 400 MB).
void refuseCutBitmap(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray h = file.read(34);
    if (h.size() < 34 || !h.startsWith("BM"))
        return;
    const auto le = [&h](int at, int bytes) {
        quint64 v = 0;
        for (int i = bytes - 1; i >= 0; --i)
            v = (v << 8) | quint8(h[at + i]);
        return v;
    };
    const quint64 infoSize = le(14, 4), compression = le(30, 4);
    if (infoSize < 40 || (compression != 0 && compression != 3 && compression != 6))
        return;  // compressed rows have no fixed length
    const qint64 width = qint32(le(18, 4)), height = qint32(le(22, 4));
    const quint64 rowBytes = (quint64(std::llabs(width)) * le(28, 2) + 31) / 32 * 4;
    const quint64 offset = le(10, 4), length = quint64(file.size());
    // Divided, not multiplied: a header may make the product overflow.
    if (offset > length || (rowBytes > 0 && quint64(std::llabs(height)) > (length - offset) / rowBytes))
        throw Refused("the picture is shorter than its header says");
}

// Fonts and painting are shared state in Qt; the server's threads take turns.
std::mutex paintMutex;

} // namespace

bool PictureRequest::isPictureUpload(const ReceivedForm &form)
{
    return form.has(QStringLiteral("Thumbnail")) || form.has(QStringLiteral("WaterMark"));
}

PictureRequest PictureRequest::fromForm(const ReceivedForm &form)
{
    PictureRequest r;
    r.watermark = yes(form, QStringLiteral("WaterMark"));
    if (r.watermark) {
        r.text = form.field(QStringLiteral("WMText")).value_or(QString());
        r.position = static_cast<int>(number(form, QStringLiteral("WMPosition"), 0, 65535));
        if (r.position != 1 && r.position != 16 && r.position != 256)
            throw Refused("bad WMPosition value");
        r.color = picture::fromBgr(static_cast<unsigned>(number(form, QStringLiteral("wmColor"), 0, 0xFFFFFF)));
        r.background = picture::fromBgr(static_cast<unsigned>(number(form, QStringLiteral("wmBkColor"), 0, 0xFFFFFF)));
    }
    r.thumbnail = yes(form, QStringLiteral("Thumbnail"));
    if (r.thumbnail) {
        // The control computes the size in 16 bits and may ask for 0 x 0.
        r.thumbWidth = static_cast<int>(number(form, QStringLiteral("ThumbnailWidth"), -32768, 32767));
        r.thumbHeight = static_cast<int>(number(form, QStringLiteral("ThumbnailHeight"), -32768, 32767));
        r.alt = form.field(QStringLiteral("ThumbnailAlt")).value_or(QString());
        r.target = form.field(QStringLiteral("ThumbnailTarget")).value_or(QString());
    }
    return r;
}

namespace picture {

QColor fromBgr(unsigned value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

QByteArray formatOf(const QString &path)
{
    return QImageReader::imageFormat(path);
}

QImage load(const QString &path)
{
    QImageReader reader(path);
    const QSize size = reader.size();
    if (size.isValid() && static_cast<long long>(size.width()) * size.height() > kMaxPicturePixels)
        throw Refused("the picture has more than " + std::to_string(kMaxPicturePixels) + " pixels");
    if (reader.format() == "bmp")
        refuseCutBitmap(path);
    // Enough for the largest picture taken (4 bytes a pixel), and no more when the
    // header would not tell its size.
    reader.setAllocationLimit(static_cast<int>(kMaxPicturePixels * 4 / (1024 * 1024) + 1));
    QImage image = reader.read();
    if (image.isNull())
        throw Refused("the file is not a picture that can be read");
    return image;
}

namespace {
// How light a colour looks (sRGB relative luminance): the hue's lightness calls
// yellow and blue equally light.
double luminance(const QColor &c)
{
    const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}
} // namespace

void stamp(QImage &image, const PictureRequest &request)
{
    if (request.text.isEmpty() || image.isNull())
        return;
    std::lock_guard lock(paintMutex);
    if (image.format() != QImage::Format_ARGB32_Premultiplied && image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                              : QImage::Format_RGB32);
    const int side = std::min(image.width(), image.height());
    const int pad = std::max(2, side / 50);
    QFont font(ui::cjkFamily()); // Chinese watermarks need a CJK face
    int px = std::clamp(side / 10, 8, 96);
    font.setPixelSize(px);
    // Shrink until the stamp fits the picture's width.
    while (px > 6 && QFontMetrics(font).horizontalAdvance(request.text) + 4 * pad > image.width()) {
        px = px * 9 / 10;
        font.setPixelSize(px);
    }
    const QFontMetrics metrics(font);
    const QSize box(metrics.horizontalAdvance(request.text) + 2 * pad, metrics.height() + 2 * pad);
    QPoint at(pad, pad);
    if (request.position == 16)
        at = QPoint((image.width() - box.width()) / 2, (image.height() - box.height()) / 2);
    else if (request.position == 256)
        at = QPoint(image.width() - box.width() - pad, image.height() - box.height() - pad);
    const QRect rect(at, box);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect, request.background);
    // A thin outline in black or white, whichever stands out from the text: the
    // text stays readable on any box, also one of its own colour.
    QPainterPath text;
    text.addText(rect.x() + (rect.width() - metrics.horizontalAdvance(request.text)) / 2.0,
                 rect.y() + (rect.height() - metrics.height()) / 2.0 + metrics.ascent(), font, request.text);
    const QColor outline = luminance(request.color) > 0.4 ? Qt::black : Qt::white; // red keeps its white
    painter.strokePath(text, QPen(outline, std::max(1.0, px / 8.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.fillPath(text, request.color);
}

QSize thumbnailSize(QSize picture, int width, int height)
{
    double w = std::max(width, 1), h = std::max(height, 1);
    const double fit = std::min({1.0, picture.width() / w, picture.height() / h});
    w *= fit;
    h *= fit;
    if (w * h > double(kMaxThumbnailPixels)) {
        const double shrink = std::sqrt(double(kMaxThumbnailPixels) / (w * h));
        w *= shrink;
        h *= shrink;
    }
    // Down, so that rounding never passes either bound.
    return QSize(std::max(1, int(std::floor(w + 1e-9))), std::max(1, int(std::floor(h + 1e-9))));
}

QImage thumbnail(const QImage &image, int width, int height)
{
    return image.scaled(thumbnailSize(image.size(), width, height), Qt::IgnoreAspectRatio,
                        Qt::SmoothTransformation);
}

QByteArray encode(const QImage &image, QByteArray &format)
{
    if (!QImageWriter::supportedImageFormats().contains(format))
        format = "png";
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (format == "jpeg")
        writer.setQuality(90);
    if (!writer.write(image))
        throw Refused("cannot write the picture: " + writer.errorString().toStdString());
    return bytes;
}

QString extensionOf(const QByteArray &format)
{
    if (format == "jpeg")
        return QStringLiteral("jpg");
    return QString::fromLatin1(format);
}

} // namespace picture
} // namespace tx::cms
