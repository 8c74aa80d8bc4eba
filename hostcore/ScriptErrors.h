#pragma once
// Automation errors as page scripts see them: an Error whose message is the
// description, with number (signed 32-bit, as the script boundary maps it),
// source and description.
#include <QJSValue>
#include <optional>
#include <tuple>

class QJSEngine;

namespace tx {
struct AutomationError;
}

namespace tx::host {

QJSValue errorObject(QJSEngine &engine, int32_t number, const QString &source, const QString &description);
// Throws into the running script (from C++ called by it).
void throwScriptError(QJSEngine &engine, const AutomationError &e);
void throwScriptError(QJSEngine &engine, int32_t number, const QString &source, const QString &description);

// Calls a page's function from C++ (a timer, a hook). Whatever it throws, an Error
// or any other value, comes back as the thrown value; nullopt when it returned.
std::optional<QJSValue> callCatching(QJSEngine &engine, const QJSValue &fn, const QJSValueList &args = {});

// A value that a page's hook threw inside a member call, as the member's error: an
// automation error keeps its number, source and description. The innermost
// ThrownValues keeps the value itself, so that the member's caller gets it back
// unchanged.
AutomationError thrownThroughMember(const QJSValue &thrown, const QString &hook);

// Lives across one member call from script.
class ThrownValues {
public:
    ThrownValues();
    ~ThrownValues();
    ThrownValues(const ThrownValues &) = delete;
    ThrownValues &operator=(const ThrownValues &) = delete;
    // The value behind the error the call ended with; nullopt for any other error.
    std::optional<QJSValue> take(int32_t number, const QString &source, const QString &description) const;

private:
    friend AutomationError thrownThroughMember(const QJSValue &, const QString &);
    ThrownValues *outer;
    QJSValue value;
    std::optional<std::tuple<int32_t, QString, QString>> error;
};

// One line for standard error about an uncaught exception.
QString describeUncaught(const QJSValue &exception, const QStringList &stack = {});

} // namespace tx::host
