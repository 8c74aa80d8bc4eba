#include "hostcore/ComponentLoader.h"

#include "core/AutomationError.h"
#include "core/LibraryFolder.h"
#include "shell/com/Registry.h"

#include <QFileInfo>
#include <QHash>
#include <dlfcn.h>

namespace tx::host {
namespace {

using namespace tx::com;

[[noreturn]] void cannotCreate(const QString &progId, const QString &why)
{
    raiseRuntime(ErrCantCreateObject, why.isEmpty() ? progId : progId + QStringLiteral(" (") + why + u')');
}

QString resultText(HRESULT hr) { return QStringLiteral("0x%1").arg(uint32_t(hr), 8, 16, QLatin1Char('0')); }

// The class id of a ProgID from the library's own type library.
Guid classFromTypeLibrary(const ServerLibrary &lib, const QString &progId)
{
    void *out = nullptr;
    HRESULT hr = lib.getClassObject(&LIBID_Tessarix5, &IID_ITypeLibrary, &out);
    if (failed(hr) || !out)
        cannotCreate(progId, QStringLiteral("no type library in %1").arg(lib.path));
    auto *typeLib = static_cast<ITypeLibrary *>(out);
    const ClassInfo *info = nullptr;
    hr = typeLib->FindClass(progId, &info);
    const Guid clsid = succeeded(hr) && info ? info->clsid : Guid{};
    typeLib->Release();
    // Only "Tessarix5.<Class>" names a class; a bare class name does not.
    if (clsid.isNull() || info->progId().compare(progId, Qt::CaseInsensitive) != 0)
        cannotCreate(progId, QString());
    return clsid;
}

} // namespace

QString bundledLibraryPath()
{
    return privateLibraryFolder() + QStringLiteral("/libPelliform.so");
}

const ServerLibrary *loadServer(const QString &path, QString *error)
{
    static QHash<QString, ServerLibrary> loaded;
    const QString key = QFileInfo(path).absoluteFilePath();
    if (auto it = loaded.constFind(key); it != loaded.constEnd())
        return &*it;
    // RTLD_NODELETE: whatever happens, code of a live object is never unmapped.
    void *handle = dlopen(QFile::encodeName(key).constData(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        if (error)
            *error = QString::fromLocal8Bit(dlerror());
        return nullptr;
    }
    ServerLibrary lib;
    lib.path = key;
    lib.getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    lib.canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
    lib.registerServer = reinterpret_cast<DllRegisterServerFn>(dlsym(handle, "DllRegisterServer"));
    lib.unregisterServer = reinterpret_cast<DllUnregisterServerFn>(dlsym(handle, "DllUnregisterServer"));
    if (!lib.getClassObject || !lib.canUnloadNow || !lib.registerServer || !lib.unregisterServer) {
        if (error)
            *error = QStringLiteral("%1 is not an in-process server").arg(key);
        return nullptr;
    }
    return &*loaded.insert(key, lib);
}

IDispatch *createObject(const QString &progId)
{
    const auto entry = registry::lookupProgId(progId);
    const QString path = entry ? entry->library : bundledLibraryPath();
    QString error;
    const ServerLibrary *lib = loadServer(path, &error);
    if (!lib)
        cannotCreate(progId, error);
    const Guid clsid = entry ? entry->clsid : classFromTypeLibrary(*lib, progId);

    void *out = nullptr;
    HRESULT hr = lib->getClassObject(&clsid, &IID_IClassFactory, &out);
    if (failed(hr) || !out)
        cannotCreate(progId, QStringLiteral("no class factory, %1").arg(resultText(hr)));
    auto *factory = static_cast<IClassFactory *>(out);
    out = nullptr;
    hr = factory->CreateInstance(nullptr, IID_IDispatch, &out);
    factory->Release();
    if (failed(hr) || !out)
        cannotCreate(progId, QStringLiteral("the class factory failed, %1").arg(resultText(hr)));
    return static_cast<IDispatch *>(out);
}

} // namespace tx::host
