#include "helper/Helper.h"

#include "helper/ClipBoard.h"
#include "util/FileUtils.h"

namespace tx {

Helper::Helper(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("Helper"));
}

bool Helper::ClipBoardHaveFile()
{
    return !GetClipFiles().isEmpty();
}

QString Helper::GetClipFiles()
{
    // One read of the clipboard: the list read is empty when no file list is
    // offered, so asking for the format first would only read it twice.
    QStringList files;
    if (ClipBoard::ReadClipboardFiles(files) == 0)
        return {};
    QString result;
    for (const QString &path : files) {
        const QString ext = getFileExtName(path).toLower();
        if (ext == u"gif" || ext == u"jpg" || ext == u"png" || ext == u"jpeg") {
            if (!result.isEmpty())
                result += QStringLiteral("||");
            result += path;
        }
    }
    return result;
}

QString Helper::getFileExtName(const QString &FileName)
{
    return util::GetFileExt(FileName);
}

} // namespace tx
