#include "host/automation/AutomationTiming.h"

#include "host/PageHost.h"
#include "hostcore/ScriptErrors.h"
#include "core/AutomationError.h"
#include "core/Pump.h"

#include <QTimer>

namespace tx::host {

void AutomationTiming::after(int ms, const QJSValue &fn)
{
    if (!fn.isCallable()) {
        raise(runtimeError(ErrTypeMismatch, QStringLiteral("automation.after needs a function")));
        return;
    }
    QTimer::singleShot(qMax(0, ms), this, [this, fn]() mutable {
        if (const std::optional<QJSValue> thrown = callCatching(engine(), fn))
            host.reportUncaught(*thrown);
    });
}

void AutomationTiming::pump(int ms) { tx::pump::forMs(qMax(0, ms)); }

} // namespace tx::host
