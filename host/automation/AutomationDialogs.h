#pragma once
// Queued answers and records of message boxes and file and folder dialogs.
#include "host/automation/AutomationArea.h"

#include <QList>

namespace tx::host {

class AutomationDialogs : public AutomationArea {
    Q_OBJECT
public:
    using AutomationArea::AutomationArea;

    Q_INVOKABLE void answerMessageBoxes(const QJSValue &answers);   // ["Yes", "No", "OK", "Cancel"]
    Q_INVOKABLE QJSValue messageBoxes() const;                       // [{text, title, buttons, icon}]
    Q_INVOKABLE void answerFileDialogs(const QJSValue &answers);    // [[path, ...], [], ...]
    Q_INVOKABLE void answerFolderDialogs(const QJSValue &answers);  // [path or ""]
    Q_INVOKABLE QJSValue fileDialogs() const;                        // [{filter, flags, maxFileSize}]

private:
    template <typename Record, typename Fill>
    QJSValue records(const QList<Record> &list, Fill fill) const;
};

} // namespace tx::host
