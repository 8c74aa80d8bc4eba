#include "officeimport/ConversionSteps.h"
#include "platform/office/WorkFolders.h"

#include "officeimport/NumericText.h"
#include "platform/AutomationError.h"
#include "platform/TempFolder.h"
#include "util/FileUtils.h"

#include <QFile>
#include <sys/stat.h>

namespace tx::conversion {

QString workFolder()
{
    return temp::folder() + QStringLiteral("/doc2html/");
}

void makeWorkFolder(const QString &folder)
{
    QString path = folder;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode))
        raiseRuntime(ErrPermissionDenied, path + QStringLiteral(" is a symbolic link"));
    util::MakeFolders(folder);
}

int32_t checkColumnId(const QString &colID)
{
    return toInt32(colID);
}

QString filesFolder(const QString &tmpFile)
{
    return office::supportingFolder(tmpFile);
}

void deleteFile(const QString &path)
{
    temp::removeFile(path);
}

} // namespace tx::conversion
