#include "host/automation/AutomationTiming.h"

#include "host/PageHost.h"
#include "platform/AutomationError.h"
#include "platform/Pump.h"

#include <QTimer>

namespace tx::host {

void AutomationTiming::after(int ms, const QJSValue &fn)
{
    if (!fn.isCallable()) {
        raise(runtimeError(ErrTypeMismatch, QStringLiteral("automation.after needs a function")));
        return;
    }
    QTimer::singleShot(qMax(0, ms), this, [this, fn]() mutable {
        const QJSValue r = fn.call();
        if (r.isError())
            host.reportUncaught(r);
    });
}

void AutomationTiming::pump(int ms) { tx::pump::forMs(qMax(0, ms)); }

} // namespace tx::host
