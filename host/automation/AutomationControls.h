#pragma once
// automation.child(control, name): handles on a control's child widgets, and
// automation.typeInfo(object): the object's class in the type library.
#include "host/automation/AutomationArea.h"

class QWidget;

namespace tx::host {

// The child widget named `name` (its objectName) of a page's control; throws an
// AutomationError naming what is missing.
QWidget *childWidget(PageHost &host, const QJSValue &control, const QString &name);

class AutomationControls : public AutomationArea {
    Q_OBJECT
public:
    using AutomationArea::AutomationArea;

    Q_INVOKABLE QJSValue child(const QJSValue &control, const QString &name);
    Q_INVOKABLE QJSValue typeInfo(const QJSValue &object);
};

} // namespace tx::host
