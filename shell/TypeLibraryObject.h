#pragma once
// The type library as an object of the library (see ITypeLibrary).
#include "shell/RefCounted.h"
#include "shell/com/Interfaces.h"

namespace tx::shell {

class TypeLibraryObject final : public RefCounted<com::ITypeLibrary> {
public:
    TypeLibraryObject(); // one reference

    com::HRESULT QueryInterface(const com::Guid &iid, void **out) override;
    uint32_t ClassCount() override;
    const com::ClassInfo *ClassAt(uint32_t index) override;
    com::HRESULT FindClass(const QString &nameOrProgId, const com::ClassInfo **info) override;

private:
    ~TypeLibraryObject() override;
};

} // namespace tx::shell
