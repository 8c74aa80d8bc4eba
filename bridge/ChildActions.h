#pragma once
// The automation message "child" of a session run with --automation: what a
// person does on a control's form (click, tick, type, choose a line) and what the
// form shows, by the child's name, as `automation.child` does in the page host.
#include <QJsonArray>
#include <QJsonValue>

class QObject;

namespace tx::bridge {

// args: [object, child name, what, value]. `what` is an action (click, setChecked,
// setText, select) or a reading (text, value, items, enabled, checked, visible).
// Throws AutomationError for a missing child or an action its kind cannot take.
QJsonValue childAction(QObject *control, const QJsonArray &args);

} // namespace tx::bridge
