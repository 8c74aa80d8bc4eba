#pragma once
// The component object of one public class: a reference-counted dispatch
// interface with object safety over the control it owns.
#include "shell/RefCounted.h"
#include "shell/com/Interfaces.h"

#include <QPointer>

namespace tx::shell {

class ControlObject final : public RefCounted<com::IDispatch, com::IObjectSafety, com::IControlObject> {
public:
    // Takes ownership of `control` (which has no Qt parent); starts with one reference.
    ControlObject(const com::ClassInfo &info, QObject *control);

    com::HRESULT QueryInterface(const com::Guid &iid, void **out) override;

    com::HRESULT GetTypeInfo(const com::ClassInfo **info) override;
    com::HRESULT GetIDsOfNames(const QString *names, uint32_t count, int32_t *dispids) override;
    com::HRESULT Invoke(int32_t dispid, uint16_t flags, const QVariantList &args, QVariant *result,
                        com::ExcepInfo *excep) override;

    com::HRESULT GetInterfaceSafetyOptions(const com::Guid *riid, uint32_t *supported, uint32_t *enabled) override;
    com::HRESULT SetInterfaceSafetyOptions(const com::Guid *riid, uint32_t optionSetMask,
                                           uint32_t enabledOptions) override;

    QObject *controlObject() override;

private:
    ~ControlObject() override;

    const com::ClassInfo &info;
    QPointer<QObject> control;
};

} // namespace tx::shell
