#include "host/Registrar.h"

#include "host/ComponentLoader.h"
#include "shell/com/Registry.h"

#include <QFileInfo>
#include <QJsonObject>
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

} // namespace

int registerServer(const QString &path)
{
    const QString file = path.isEmpty() ? bundledLibraryPath() : QFileInfo(path).absoluteFilePath();
    const ServerLibrary *lib = load(file);
    if (!lib)
        return 1;
    return report(lib->registerServer(),
                  QStringLiteral("registered %1 in %2").arg(lib->path, registry::filePath()));
}

int unregisterServer()
{
    const QJsonObject libs = registry::load().value(QStringLiteral("TypeLib")).toObject();
    const QString registered =
        libs.value(LIBID_Tessarix5.toString()).toObject().value(QStringLiteral("library")).toString();
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
