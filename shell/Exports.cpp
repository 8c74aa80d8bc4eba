// The four entry points of the in-process server; the only symbols the library
// exports.
#include "shell/Catalogue.h"
#include "shell/ClassFactory.h"
#include "shell/Module.h"
#include "shell/Registration.h"
#include "shell/TypeLibraryObject.h"

#include <QFileInfo>
#include <dlfcn.h>

using namespace tx::com;

#define TX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

QString libraryPath()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(&libraryPath), &info) || !info.dli_fname)
        return {};
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).canonicalFilePath();
}

} // namespace

TX_EXPORT HRESULT DllGetClassObject(const Guid *clsid, const Guid *iid, void **out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!clsid || !iid)
        return E_INVALIDARG;
    if (*clsid == LIBID_Tessarix5) {
        auto *lib = new tx::shell::TypeLibraryObject;
        const HRESULT hr = lib->QueryInterface(*iid, out);
        lib->Release();
        return hr;
    }
    const ClassInfo *info = tx::shell::findClass(*clsid);
    if (!info)
        return CLASS_E_CLASSNOTAVAILABLE;
    auto *factory = new tx::shell::ClassFactory(*info);
    const HRESULT hr = factory->QueryInterface(*iid, out);
    factory->Release();
    return hr;
}

TX_EXPORT HRESULT DllCanUnloadNow()
{
    return tx::shell::module::canUnload() ? S_OK : S_FALSE;
}

TX_EXPORT HRESULT DllRegisterServer()
{
    try {
        return tx::shell::registerServer(libraryPath());
    } catch (...) {
        return E_UNEXPECTED;
    }
}

TX_EXPORT HRESULT DllUnregisterServer()
{
    try {
        return tx::shell::unregisterServer();
    } catch (...) {
        return E_UNEXPECTED;
    }
}
