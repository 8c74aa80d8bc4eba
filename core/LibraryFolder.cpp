#include "core/LibraryFolder.h"

#include <QDir>
#include <QFileInfo>
#include <dlfcn.h>

namespace tx {

QString privateLibraryFolder()
{
    const QFileInfo program(QStringLiteral("/proc/self/exe"));
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&privateLibraryFolder), &info) && info.dli_fname && *info.dli_fname) {
        const QFileInfo self(QString::fromLocal8Bit(info.dli_fname));
        if (self.canonicalFilePath() != program.canonicalFilePath())
            return self.canonicalPath();
    }
    // Linked into the program itself: the libraries are where a build tree puts them.
    return QDir::cleanPath(program.canonicalPath() + QStringLiteral("/../lib"));
}

} // namespace tx
