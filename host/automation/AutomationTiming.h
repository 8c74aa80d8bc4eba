#pragma once
// automation.after(ms, fn) and automation.pump(ms).
#include "host/automation/AutomationArea.h"

namespace tx::host {

class AutomationTiming : public AutomationArea {
    Q_OBJECT
public:
    using AutomationArea::AutomationArea;

    // Runs fn once, ms later, from the event loop: also from the loop that a
    // member or a click handler pumps while it waits.
    Q_INVOKABLE void after(int ms, const QJSValue &fn);
    Q_INVOKABLE void pump(int ms);
};

} // namespace tx::host
