#include "shell/ObjectSafety.h"

#include <QString>

namespace tx::shell::safety {
namespace {

using namespace tx::com;

struct Flags {
    bool scripting = true;
    bool initializing = true;
};

Flags &flags()
{
    thread_local Flags f;
    return f;
}

enum class Group { None, Scripting, Initialisation };

// The interface is compared by its registry text, as the interface's contract
// states it; IDispatchEx sits in different groups for Get and Set.
Group groupOf(const Guid &riid, bool forSet)
{
    const QString text = riid.toString();
    if (text == u"{00020400-0000-0000-C000-000000000046}") // IDispatch
        return Group::Scripting;
    if (text == u"{A6EF9860-C720-11D0-9337-00A0C90DCAA9}") // IDispatchEx
        return forSet ? Group::Scripting : Group::Initialisation;
    if (text == u"{0000010A-0000-0000-C000-000000000046}" // IPersistStorage
        || text == u"{00000109-0000-0000-C000-000000000046}" // IPersistStream
        || text == u"{37D84F60-42CB-11CE-8135-00AA004BB851}") // IPersistPropertyBag
        return Group::Initialisation;
    return Group::None;
}

} // namespace

HRESULT getOptions(const Guid *riid, uint32_t *supported, uint32_t *enabled)
{
    // A missing out-pointer is a caller's fault; E_FAIL keeps to the two codes
    // this interface ever returns.
    if (!supported)
        return E_FAIL;
    *supported = 3;
    if (!riid)
        return S_OK;
    const Group group = groupOf(*riid, false);
    if (group != Group::None && !enabled)
        return E_FAIL;
    switch (group) {
    case Group::Scripting: *enabled = flags().scripting ? 1 : 0; return S_OK;
    case Group::Initialisation: *enabled = flags().initializing ? 2 : 0; return S_OK;
    case Group::None: break;
    }
    return E_NOINTERFACE;
}

HRESULT setOptions(const Guid *riid, uint32_t optionSetMask, uint32_t enabledOptions)
{
    if (!riid)
        return S_OK;
    const uint32_t wanted = optionSetMask & enabledOptions;
    switch (groupOf(*riid, true)) {
    case Group::Scripting: return wanted == 1 && flags().scripting ? S_OK : E_FAIL;
    case Group::Initialisation: return wanted == 2 && flags().initializing ? S_OK : E_FAIL;
    case Group::None: break;
    }
    return E_NOINTERFACE;
}

bool safeForScripting() { return flags().scripting; }
bool safeForInitializing() { return flags().initializing; }

void setFlagsForTesting(bool scripting, bool initializing)
{
    flags() = Flags{scripting, initializing};
}

} // namespace tx::shell::safety
