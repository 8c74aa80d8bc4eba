#include "shell/ClassFactory.h"

#include "shell/ControlObject.h"
#include "shell/Controls.h"
#include "shell/Module.h"

namespace tx::shell {

using namespace tx::com;

ClassFactory::ClassFactory(const ClassInfo &info) : info(info) { module::objectCreated(); }

ClassFactory::~ClassFactory() { module::objectDestroyed(); }

HRESULT ClassFactory::QueryInterface(const Guid &iid, void **out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!(iid == IID_IUnknown || iid == IID_IClassFactory))
        return E_NOINTERFACE;
    *out = static_cast<IClassFactory *>(this);
    AddRef();
    return S_OK;
}

HRESULT ClassFactory::CreateInstance(IUnknown *outer, const Guid &iid, void **out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    QObject *control = nullptr;
    try {
        control = createControl(info);
    } catch (...) {
        return E_FAIL; // a control's start-up never throws across the boundary
    }
    if (!control)
        return E_UNEXPECTED;
    auto *object = new ControlObject(info, control);
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
}

HRESULT ClassFactory::LockServer(bool lock)
{
    module::lock(lock);
    return S_OK;
}

} // namespace tx::shell
