#include "imageimport/ArticleComposer.h"

#include "util/PageSeparator.h"
#include "util/FileUtils.h"

namespace tx::image {

QString titleByPictureName(const QString &path)
{
    QString name = util::GetFileName(path);
    const QString ext = util::GetFileExt(name);
    name.replace(QLatin1Char('.') + ext, QString(), Qt::CaseSensitive);
    return name;
}

QString fragmentFromAnswer(const QString &answer)
{
    QString f = answer;
    f.replace(QStringLiteral("Click"), QStringLiteral("点击看大图"), Qt::CaseSensitive);
    return f;
}

bool ArticleComposer::addPicture(ArticleMode mode, const QString &fragment, const QString &title)
{
    switch (mode) {
    case ArticleMode::OnePic:
        strContent = fragment + PAGE_SEPARATOR;
        return true;
    case ArticleMode::OneCPaging:
        strContent += fragment + PAGE_SEPARATOR;
        return false;
    case ArticleMode::OneC:
        strContent += QStringLiteral("<p align=center>") + fragment + QStringLiteral("</p><P align=center>")
            + title + QStringLiteral("</P>");
        return false;
    }
    return false;
}

bool ArticleComposer::finish(ArticleMode mode)
{
    if (mode == ArticleMode::OnePic)
        return false;
    if (mode == ArticleMode::OneC)
        strContent += PAGE_SEPARATOR;
    return true;
}

} // namespace tx::image
