#include "imageimport/UploadFields.h"

#include "imageimport/ThumbnailSize.h"

namespace tx::image {

Fields pictureFields(const QString &curPath, const PictureSettings &s, int w0, int h0)
{
    Fields f;
    f.append({QStringLiteral("curpath"), curPath});
    f.append({QStringLiteral("contentid"), QStringLiteral("-1")});
    if (s.thumbnail) {
        const QSize size = thumbnailSize(s.scaleText, s.widthText, s.heightText, w0, h0);
        f.append({QStringLiteral("Thumbnail"), QStringLiteral("Yes")});
        f.append({QStringLiteral("bili"), QStringLiteral("-1")});
        f.append({QStringLiteral("ThumbnailWidth"), QString::number(size.width())});
        f.append({QStringLiteral("ThumbnailHeight"), QString::number(size.height())});
        // The server writes this as the thumbnail's alt text; the answer's "Click"
        // is turned into the Chinese caption afterwards.
        f.append({QStringLiteral("ThumbnailAlt"), QStringLiteral("Click")});
        f.append({QStringLiteral("ThumbnailTarget"), QStringLiteral("about:blank")});
    } else {
        f.append({QStringLiteral("Thumbnail"), QStringLiteral("No")});
    }
    if (s.watermark) {
        f.append({QStringLiteral("WaterMark"), QStringLiteral("Yes")});
        f.append({QStringLiteral("WMText"), s.stampText});
        f.append({QStringLiteral("WMPosition"), QString::number(s.position)});
        f.append({QStringLiteral("wmColor"), QString::number(s.color)});
        f.append({QStringLiteral("wmBkColor"), QString::number(s.bkColor)});
    } else {
        f.append({QStringLiteral("WaterMark"), QStringLiteral("No")});
    }
    return f;
}

Fields articleFields(const ArticleFields &a)
{
    return {
        {QStringLiteral("columnid"), QString::number(a.columnId)},
        {QStringLiteral("issueid"), a.issueId},
        {QStringLiteral("objecttype"), a.objectType},
        {QStringLiteral("title"), a.title},
        {QStringLiteral("content"), a.content},
        {QStringLiteral("author"), a.author},
    };
}

} // namespace tx::image
