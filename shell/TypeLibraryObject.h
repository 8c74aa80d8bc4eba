#pragma once
// The type library as an object of the library (see ITypeLibrary).
#include "shell/com/Interfaces.h"

#include <atomic>

namespace tx::shell {

class TypeLibraryObject final : public com::ITypeLibrary {
public:
    TypeLibraryObject(); // one reference

    com::HRESULT QueryInterface(const com::Guid &iid, void **out) override;
    uint32_t AddRef() override;
    uint32_t Release() override;
    uint32_t ClassCount() override;
    const com::ClassInfo *ClassAt(uint32_t index) override;
    com::HRESULT FindClass(const QString &nameOrProgId, const com::ClassInfo **info) override;

private:
    ~TypeLibraryObject();
    std::atomic<uint32_t> refs{1};
};

} // namespace tx::shell
