#pragma once
// The class factory of one public class.
#include "shell/com/Interfaces.h"

#include <atomic>

namespace tx::shell {

class ClassFactory final : public com::IClassFactory {
public:
    explicit ClassFactory(const com::ClassInfo &info); // one reference

    com::HRESULT QueryInterface(const com::Guid &iid, void **out) override;
    uint32_t AddRef() override;
    uint32_t Release() override;
    com::HRESULT CreateInstance(com::IUnknown *outer, const com::Guid &iid, void **out) override;
    com::HRESULT LockServer(bool lock) override;

private:
    ~ClassFactory();

    const com::ClassInfo &info;
    std::atomic<uint32_t> refs{1};
};

} // namespace tx::shell
