#pragma once
// One dispatch call on a control: the member of the type library, reached by name
// through the control's meta-object (Q_INVOKABLE methods, Q_PROPERTYs).
#include "shell/com/TypeInfo.h"

#include <QVariant>

class QObject;

namespace tx::shell {

// Checks the argument count (450, 449), converts the arguments (13, 6), fills in
// optional ones, and calls the member. A member that the control does not have
// (not built yet) is 438. Throws tx::AutomationError, including the member's own.
QVariant callMember(QObject *control, const com::MemberInfo &member, uint16_t flags, const QVariantList &args);

// Whether the control carries the member (for a property: readable, and
// writable when the type library says get and put).
bool hasMember(const QObject *control, const com::MemberInfo &member);

} // namespace tx::shell
