#include "shell/ControlObject.h"

#include "core/Activity.h"
#include "core/AutomationError.h"
#include "shell/MemberCall.h"
#include "shell/Module.h"
#include "shell/ObjectSafety.h"

#include <QObject>

namespace tx::shell {

using namespace tx::com;

ControlObject::ControlObject(const ClassInfo &info, QObject *control) : info(info), control(control)
{
    module::objectCreated();
    activity::adopt(control);
}

ControlObject::~ControlObject()
{
    if (!control) {
        module::objectDestroyed();
        return;
    }
    // The library stays counted as busy until the control is gone: when nothing
    // of it runs any more, which may be later than this last release.
    QObject::connect(control.data(), &QObject::destroyed, [] { module::objectDestroyed(); });
    activity::release(control.data());
}

HRESULT ControlObject::QueryInterface(const Guid &iid, void **out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == info.iid)
        *out = static_cast<IDispatch *>(this);
    else if (iid == IID_IObjectSafety)
        *out = static_cast<IObjectSafety *>(this);
    else if (iid == IID_IControlObject)
        *out = static_cast<IControlObject *>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

HRESULT ControlObject::GetTypeInfo(const ClassInfo **out)
{
    if (!out)
        return E_POINTER;
    *out = &info;
    return S_OK;
}

HRESULT ControlObject::GetIDsOfNames(const QString *names, uint32_t count, int32_t *dispids)
{
    if ((count && (!names || !dispids)))
        return E_POINTER;
    HRESULT hr = S_OK;
    for (uint32_t i = 0; i < count; ++i) {
        const MemberInfo *m = info.member(names[i]);
        dispids[i] = m ? m->dispid : -1;
        if (!m)
            hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

// The dispatch boundary: every failure of a member or of its arguments becomes an
// ExcepInfo here; no exception leaves the library.
HRESULT ControlObject::Invoke(int32_t dispid, uint16_t flags, const QVariantList &args, QVariant *result,
                              ExcepInfo *excep)
{
    const MemberInfo *m = info.member(dispid);
    if (!m)
        return DISP_E_MEMBERNOTFOUND;
    if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT)))
        return E_INVALIDARG;
    auto fail = [excep](int32_t number, const QString &source, const QString &description) {
        if (excep)
            *excep = ExcepInfo{scriptNumber(number), source, description};
        return DISP_E_EXCEPTION;
    };
    if (!control)
        return fail(ErrObjectNotSet, QStringLiteral("Tessarix5"), runtimeDescription(ErrObjectNotSet));
    // A member pumps events, so the page can call in again meanwhile; only reads
    // pass then. The call keeps the object (and so its control) until it returns.
    const bool changes = !m->isProperty() || (flags & DISPATCH_PROPERTYPUT);
    if (changes && activity::busy(control)) {
        const AutomationError busy = activity::busyError(QLatin1String(info.name));
        return fail(busy.number, busy.source, busy.description);
    }
    AddRef();
    const struct Hold {
        ControlObject *self;
        ~Hold() { self->Release(); }
    } hold{this};
    const activity::Scope running(control, changes ? activity::Kind::ScriptCall : activity::Kind::Keep);
    try {
        QVariant value = callMember(control, *m, flags, args);
        if (result)
            *result = std::move(value);
        return S_OK;
    } catch (const AutomationError &e) {
        return fail(e.number, e.source, e.description);
    } catch (const std::exception &e) {
        return fail(ErrAutomation, QStringLiteral("Tessarix5"),
                    runtimeDescription(ErrAutomation) + QStringLiteral(": ") + QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return fail(ErrAutomation, QStringLiteral("Tessarix5"), runtimeDescription(ErrAutomation));
    }
}

HRESULT ControlObject::GetInterfaceSafetyOptions(const Guid *riid, uint32_t *supported, uint32_t *enabled)
{
    return safety::getOptions(riid, supported, enabled);
}

HRESULT ControlObject::SetInterfaceSafetyOptions(const Guid *riid, uint32_t optionSetMask, uint32_t enabledOptions)
{
    return safety::setOptions(riid, optionSetMask, enabledOptions);
}

QObject *ControlObject::controlObject() { return control.data(); }

} // namespace tx::shell
