#pragma once
// One member call through a dispatch interface, engine-neutral: the page host's
// script objects and the browser bridge's sessions both call members here, so a
// control is reached one way only. Failures are the AutomationError a page sees.
#include "shell/com/Interfaces.h"

#include <QVariant>

namespace tx::host {

// The member's dispatch id; 438 naming it when the object has no such member.
int32_t memberId(com::IDispatch *object, const QString &name);

// Invoke with the arguments in call order. The call holds its own reference to
// the object while the member runs (it may pump events long enough for the
// caller to drop its own). Throws tx::AutomationError.
QVariant invokeMember(com::IDispatch *object, int32_t dispid, uint16_t flags, const QVariantList &args);

// The control's own QObject (its form), or nullptr for an object without one.
QObject *controlOf(com::IDispatch *object);

} // namespace tx::host
