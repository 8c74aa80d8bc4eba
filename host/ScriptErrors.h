#pragma once
// Automation errors as page scripts see them: an Error whose message is the
// description, with number (signed 32-bit, as the script boundary maps it),
// source and description.
#include <QJSValue>

class QJSEngine;

namespace tx {
struct AutomationError;
}

namespace tx::host {

QJSValue errorObject(QJSEngine &engine, int32_t number, const QString &source, const QString &description);
// Throws into the running script (from C++ called by it).
void throwScriptError(QJSEngine &engine, const AutomationError &e);
void throwScriptError(QJSEngine &engine, int32_t number, const QString &source, const QString &description);

// One line for standard error about an uncaught exception.
QString describeUncaught(const QJSValue &exception, const QStringList &stack = {});

} // namespace tx::host
