#pragma once
// What runs on each control that script holds, for the two rules of the dispatch
// boundary. Every wait pumps events, so a page's timer, a callback, a person's
// click or a deferred deletion can run inside any member call of a control:
// - while a script call or a person's long operation (a start button's walk,
//   batch or import loop) runs, further script calls are refused as busy;
// - a control is never destroyed while anything of it is on the stack: its last
//   release takes effect when the outermost scope ends, and its waits end at their
//   next event.
// The shell adopts each control it hands out; objects that are part of no adopted
// control pass every check.
#include <QObject>
#include <optional>

namespace tx {
struct AutomationError;
}

namespace tx::activity {

// 0x80040001 "控件正忙，请稍后再试。", with the class name as its source.
AutomationError busyError(const QString &source);

// How a person is told that the control is busy (the platform shows the busy box).
using BusyNotice = void (*)(const QString &text);
void setBusyNotice(BusyNotice notice);

enum class Kind {
    Keep,          // keeps the control: a property read, a handler, a wait
    ScriptCall,    // a method call or property write from script
    UserOperation, // a person's long operation
};

void adopt(QObject *control);
// The control's last reference went: it is destroyed (deferred) once no scope of
// it runs; meanwhile its waits end and it shows no box.
void release(QObject *control);

// Marks something of the control that `part` belongs to as running, for its life.
class Scope {
public:
    explicit Scope(const QObject *part, Kind kind = Kind::Keep);
    ~Scope();
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;

private:
    QObject *control;
    Kind kind;
};

// A person starts a long operation on the control (a start button). Refused while a
// script call of the control runs, with the busy notice, and quietly once the control
// is released; false then. `running`, when given, is cleared when the control is
// released meanwhile, so that the operation's loop stops.
class UserOperation {
public:
    explicit UserOperation(const QObject *part, bool *running = nullptr);
    ~UserOperation();
    UserOperation(const UserOperation &) = delete;
    UserOperation &operator=(const UserOperation &) = delete;
    explicit operator bool() const { return scope.has_value(); }

private:
    std::optional<Scope> scope;
    QObject *control = nullptr;
    bool *running = nullptr;
};

// A script call or a person's long operation of the control runs.
bool busy(const QObject *part);
bool scriptCallRunning(const QObject *part);
// False once the control was released.
bool stands(const QObject *part);
// The control that the innermost running scope belongs to was released: boxes
// stay unshown.
bool quiet();
// The adopted control that the innermost running scope belongs to, or nullptr: for
// telling which control a box was shown for. Compared, never dereferenced.
const QObject *innermost();

} // namespace tx::activity
