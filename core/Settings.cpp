#include "core/Settings.h"

#include <QtGlobal>

namespace tx::settings {

int tickMs()
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue("TESSARIX_TICK_MS", &ok);
    if (!ok || v <= 0)
        return 100;
    return v < 5 ? 5 : v;
}

} // namespace tx::settings
