#pragma once
// The scripting-safety answers every public class gives. Pure logic over two
// flags kept per thread (safe for scripting, safe for initialising), both true
// from the first use on a thread.
#include "shell/com/Guid.h"
#include "shell/com/Result.h"

namespace tx::shell::safety {

com::HRESULT getOptions(const com::Guid *riid, uint32_t *supported, uint32_t *enabled);
com::HRESULT setOptions(const com::Guid *riid, uint32_t optionSetMask, uint32_t enabledOptions);

// The current thread's flags. Nothing in the library clears them; tests use
// setFlagsForTesting to reach the answers for cleared flags.
bool safeForScripting();
bool safeForInitializing();
void setFlagsForTesting(bool scripting, bool initializing);

} // namespace tx::shell::safety
