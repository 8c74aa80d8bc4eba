#pragma once
// automation.onOverlay(fn): fn receives the capture overlay's handle when it opens.
#include "host/automation/AutomationArea.h"

namespace tx::host {

class AutomationOverlay : public AutomationArea {
    Q_OBJECT
public:
    using AutomationArea::AutomationArea;
    ~AutomationOverlay() override;

    // A function, or null to forget the handler.
    Q_INVOKABLE void onOverlay(const QJSValue &fn);
};

} // namespace tx::host
