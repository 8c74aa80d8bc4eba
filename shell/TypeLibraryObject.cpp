#include "shell/TypeLibraryObject.h"

#include "shell/Catalogue.h"
#include "shell/Module.h"

namespace tx::shell {

using namespace tx::com;

TypeLibraryObject::TypeLibraryObject() { module::objectCreated(); }
TypeLibraryObject::~TypeLibraryObject() { module::objectDestroyed(); }

HRESULT TypeLibraryObject::QueryInterface(const Guid &iid, void **out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!(iid == IID_IUnknown || iid == IID_ITypeLibrary))
        return E_NOINTERFACE;
    *out = static_cast<ITypeLibrary *>(this);
    AddRef();
    return S_OK;
}

uint32_t TypeLibraryObject::ClassCount() { return uint32_t(typeLibrary().classes.size()); }

const ClassInfo *TypeLibraryObject::ClassAt(uint32_t index)
{
    const auto &classes = typeLibrary().classes;
    return index < classes.size() ? &classes[index] : nullptr;
}

HRESULT TypeLibraryObject::FindClass(const QString &nameOrProgId, const ClassInfo **info)
{
    if (!info)
        return E_POINTER;
    *info = shell::findClass(nameOrProgId);
    return *info ? S_OK : CLASS_E_CLASSNOTAVAILABLE;
}

} // namespace tx::shell
