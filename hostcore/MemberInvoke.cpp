#include "hostcore/MemberInvoke.h"

#include "core/AutomationError.h"

namespace tx::host {

using namespace tx::com;

int32_t memberId(IDispatch *object, const QString &name)
{
    int32_t id = -1;
    if (failed(object->GetIDsOfNames(&name, 1, &id)))
        throw runtimeError(ErrNoSuchMember, name);
    return id;
}

QObject *controlOf(IDispatch *object)
{
    void *out = nullptr;
    if (failed(object->QueryInterface(IID_IControlObject, &out)) || !out)
        return nullptr;
    auto *c = static_cast<IControlObject *>(out);
    QObject *control = c->controlObject();
    c->Release();
    return control;
}

QVariant invokeMember(IDispatch *object, int32_t dispid, uint16_t flags, const QVariantList &args)
{
    QVariant result;
    ExcepInfo excep;
    object->AddRef();
    const HRESULT hr = object->Invoke(dispid, flags, args, &result, &excep);
    object->Release();
    if (hr == DISP_E_EXCEPTION)
        throw AutomationError(excep.scode, excep.source, excep.description);
    if (failed(hr))
        throw runtimeError(runtimeErrorFor(hr));
    return result;
}

} // namespace tx::host
