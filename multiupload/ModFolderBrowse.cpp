#include "multiupload/ModFolderBrowse.h"

#include "platform/Ui.h"

namespace tx::ModFolder_Browse {

QString BrowseForFolder()
{
    const QString folder = ui::browseForFolder();
    return folder.isEmpty() ? QString() : AddBackslash(folder);
}

QString AddBackslash(const QString &path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

} // namespace tx::ModFolder_Browse
