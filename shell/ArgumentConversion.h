#pragma once
// Argument and result conversion as automation does it between a script's values
// and a member's declared types. Failures throw tx::AutomationError (13 type
// mismatch, 6 overflow).
#include "shell/com/TypeInfo.h"

#include <QVariant>

namespace tx::shell::convert {

// A number becomes its decimal text, a boolean "True" or "False", a missing value
// "". Anything else (null, objects) is 13.
QString toString(const QVariant &v);

// A number rounds half to even and must fit 32 bits (else 6); a numeric string
// converts the same way; any other string is 13; true is -1.
int32_t toInt32(const QVariant &v);

bool toBool(const QVariant &v);

// The value of a declared type, ready to hand to the member (or to the script).
QVariant to(com::VarType type, const QVariant &v);

} // namespace tx::shell::convert
