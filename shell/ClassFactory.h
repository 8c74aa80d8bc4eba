#pragma once
// The class factory of one public class.
#include "shell/RefCounted.h"
#include "shell/com/Interfaces.h"

namespace tx::shell {

class ClassFactory final : public RefCounted<com::IClassFactory> {
public:
    explicit ClassFactory(const com::ClassInfo &info); // one reference

    com::HRESULT QueryInterface(const com::Guid &iid, void **out) override;
    com::HRESULT CreateInstance(com::IUnknown *outer, const com::Guid &iid, void **out) override;
    com::HRESULT LockServer(bool lock) override;

private:
    ~ClassFactory() override;

    const com::ClassInfo &info;
};

} // namespace tx::shell
