#include "host/automation/AutomationOverlay.h"

#include "platform/AutomationError.h"
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
    // The handler runs inside BeginScreenShot; an error of the page's function
    // closes the overlay and reaches the page as the member's error.
    tx::overlay::setHandler([this, fn](tx::OverlayHandle &handle) {
        QJSValue call = fn;
        const QJSValue r = call.call({engine().newQObject(&handle)});
        if (r.isError())
            throw AutomationError(ErrAutomation, QStringLiteral("automation.onOverlay"),
                                  r.property(QStringLiteral("message")).toString());
    });
}

} // namespace tx::host
