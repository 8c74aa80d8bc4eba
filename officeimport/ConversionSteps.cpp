#include "officeimport/ConversionSteps.h"
#include "office/WorkFolders.h"

#include "officeimport/HtmlCleaner.h"
#include "officeimport/ImportErrors.h"
#include "officeimport/NumericText.h"
#include "core/AutomationError.h"
#include "core/TempFolder.h"
#include "util/FileUtils.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
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
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash > 0)
        util::MakeFolders(path.left(slash));
    // The user's documents pass through it: for the user's eyes only.
    if (!office::makePrivateFolder(path))
        throw fileError(errno, path);
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

WorkFiles::~WorkFiles()
{
    for (const QString &f : files)
        ignoringErrors([&] { deleteFile(f); });
    for (const QString &d : folders)
        ignoringErrors([&] {
            if (QFileInfo(d).isDir())
                util::RemoveFolder(d);
        });
}

void raiseForUser(const office::OfficeFailure &failure, const QString &fileDoc)
{
    if (failure.kind == office::OfficeFailure::Kind::Stopped)
        throw importerror::officeStopped(fileDoc);
    throw importerror::cannotOpen(fileDoc);
}

QString documentFolder(const QString &fileDoc)
{
    return QFileInfo(fileDoc).absolutePath();
}

QString startWorkFile(HtmlCleaner &cleaner, WorkFiles &work, const QString &fileDoc)
{
    const QString folder = workFolder();
    cleaner.strPicFolder = folder;
    makeWorkFolder(folder);
    const QString file = util::GetTempFile(folder, QStringLiteral("html"));
    work.addFile(file);
    work.addFolder(filesFolder(file));
    work.addFolder(office::slidesFolder(file));
    cleaner.strPicRoot = filesFolder(file);
    cleaner.strDocFolder = documentFolder(fileDoc);
    return file;
}

} // namespace tx::conversion
