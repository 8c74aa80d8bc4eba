#include "host/automation/AutomationOverlay.h"

#include "hostcore/ScriptErrors.h"
#include "core/AutomationError.h"
#include "platform/Overlay.h"

#include <QJSEngine>

namespace tx::host {

AutomationOverlay::~AutomationOverlay()
{
    tx::overlay::setHandler(nullptr);
}

void AutomationOverlay::onOverlay(const QJSValue &fn)
{
    if (fn.isNull() || fn.isUndefined()) {
        tx::overlay::setHandler(nullptr);
        return;
    }
    if (!fn.isCallable()) {
        raise(runtimeError(ErrTypeMismatch, QStringLiteral("automation.onOverlay needs a function")));
        return;
    }
    // The handler runs inside BeginScreenShot; what the page's function throws
    // closes the overlay and reaches the page, unchanged, from BeginScreenShot.
    tx::overlay::setHandler([this, fn](tx::OverlayHandle &handle) {
        if (const std::optional<QJSValue> thrown = callCatching(engine(), fn, {engine().newQObject(&handle)}))
            throw thrownThroughMember(*thrown, QStringLiteral("automation.onOverlay"));
    });
}

} // namespace tx::host
