#include "host/Registrar.h"

#include "hostcore/ComponentLoader.h"
#include "shell/com/Registry.h"

#include <QFileInfo>
#include <QTextStream>

namespace tx::host {
namespace {

using namespace tx::com;

const ServerLibrary *load(const QString &path)
{
    QString error;
    const ServerLibrary *lib = loadServer(path, &error);
    if (!lib)
        QTextStream(stderr) << "tessarix: cannot load " << path << ": " << error << Qt::endl;
    return lib;
}

int report(HRESULT hr, const QString &what)
{
    if (succeeded(hr)) {
        QTextStream(stdout) << what << Qt::endl;
        return 0;
    }
    QTextStream(stderr) << "tessarix: failed (0x" << QString::number(uint32_t(hr), 16) << ")" << Qt::endl;
    return 1;
}

// A damaged registry file holds other servers' entries: it is neither rewritten
// nor taken for an empty one.
bool registryReadable()
{
    const QString damage = registry::damage();
    if (damage.isEmpty())
        return true;
    QTextStream(stderr) << "tessarix: the registry file " << registry::filePath() << " could not be read ("
                        << damage << "); nothing was changed" << Qt::endl;
    return false;
}

} // namespace

int registerServer(const QString &path)
{
    if (!registryReadable())
        return 1;
    const QString file = path.isEmpty() ? bundledLibraryPath() : QFileInfo(path).absoluteFilePath();
    const ServerLibrary *lib = load(file);
    if (!lib)
        return 1;
    return report(lib->registerServer(),
                  QStringLiteral("registered %1 in %2").arg(lib->path, registry::filePath()));
}

int unregisterServer()
{
    if (!registryReadable())
        return 1;
    const QString registered = registry::libraryOf(LIBID_Tessarix5);
    const ServerLibrary *lib = nullptr;
    if (!registered.isEmpty() && QFileInfo::exists(registered))
        lib = load(registered);
    if (!lib)
        lib = load(bundledLibraryPath());
    if (!lib)
        return 1;
    return report(lib->unregisterServer(), QStringLiteral("unregistered %1").arg(lib->path));
}

} // namespace tx::host
