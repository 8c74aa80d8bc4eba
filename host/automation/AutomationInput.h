#pragma once
// What a person brings from outside the page: files dropped from a file manager,
// and the clipboard.
#include "host/automation/AutomationArea.h"

namespace tx::host {

class AutomationInput : public AutomationArea {
    Q_OBJECT
public:
    using AutomationArea::AutomationArea;

    // Drags a file list (text/uri-list) over the child and drops it; false when the
    // child does not accept it (as a person's drop would do nothing).
    Q_INVOKABLE bool dropFiles(const QJSValue &control, const QString &childName, const QJSValue &paths);
    Q_INVOKABLE void setClipboardFiles(const QJSValue &paths);
    Q_INVOKABLE void setClipboardText(const QString &text);
};

} // namespace tx::host
