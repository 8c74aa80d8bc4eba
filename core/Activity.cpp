#include "core/Activity.h"

#include "core/AutomationError.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHash>
#include <vector>

namespace tx::activity {
namespace {

struct State {
    int scriptCalls = 0;
    int userOperations = 0;
    int scopes = 0;
    bool released = false;
    std::vector<bool *> runningFlags;
};

QHash<const QObject *, State> &states()
{
    static QHash<const QObject *, State> s;
    return s;
}

// Controls of the running scopes, innermost last (nullptr: part of no control).
std::vector<QObject *> &stack()
{
    static std::vector<QObject *> s;
    return s;
}

QObject *controlOf(const QObject *part)
{
    const QHash<const QObject *, State> &s = states();
    for (const QObject *o = part; o; o = o->parent())
        if (s.contains(o))
            return const_cast<QObject *>(o);
    return nullptr;
}

State *stateOf(const QObject *part)
{
    QObject *c = controlOf(part);
    return c ? &states()[c] : nullptr;
}

// A deferred deletion that arrives while a scope of the control runs (posted by
// anyone, run by any wait) is held back until the outermost scope ends.
class DeletionHold : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::DeferredDelete)
            return false;
        auto it = states().find(watched);
        if (it == states().end() || it->scopes == 0)
            return false;
        it->released = true;
        return true;
    }
};

DeletionHold *hold()
{
    static QObject *app = nullptr;
    static DeletionHold *h = nullptr;
    if (app != QCoreApplication::instance()) {
        app = QCoreApplication::instance();
        h = app ? new DeletionHold(app) : nullptr;
    }
    return h;
}

BusyNotice &busyNotice()
{
    static BusyNotice n = nullptr;
    return n;
}

void destroy(QObject *control)
{
    if (QCoreApplication::instance())
        control->deleteLater();
    else
        delete control;
}

} // namespace

AutomationError busyError(const QString &source)
{
    return AutomationError(kErrBusy, source, QStringLiteral("控件正忙，请稍后再试。"));
}

void setBusyNotice(BusyNotice notice)
{
    busyNotice() = notice;
}

void adopt(QObject *control)
{
    if (!control || states().contains(control))
        return;
    states().insert(control, State{});
    QObject::connect(control, &QObject::destroyed, [control] { states().remove(control); });
    if (DeletionHold *h = hold())
        control->installEventFilter(h);
}

void release(QObject *control)
{
    if (!control)
        return;
    auto it = states().find(control);
    if (it == states().end()) {
        destroy(control);
        return;
    }
    it->released = true;
    for (bool *running : it->runningFlags)
        *running = false;
    if (it->scopes == 0)
        destroy(control);
}

Scope::Scope(const QObject *part, Kind k) : control(controlOf(part)), kind(k)
{
    stack().push_back(control);
    State *s = control ? &states()[control] : nullptr;
    if (!s)
        return;
    ++s->scopes;
    if (kind == Kind::ScriptCall)
        ++s->scriptCalls;
    else if (kind == Kind::UserOperation)
        ++s->userOperations;
}

Scope::~Scope()
{
    stack().pop_back();
    if (!control)
        return;
    auto it = states().find(control);
    if (it == states().end())
        return;
    --it->scopes;
    if (kind == Kind::ScriptCall)
        --it->scriptCalls;
    else if (kind == Kind::UserOperation)
        --it->userOperations;
    if (it->scopes == 0 && it->released)
        destroy(control);
}

UserOperation::UserOperation(const QObject *part, bool *flag) : control(controlOf(part)), running(flag)
{
    if (!stands(part))
        return;
    if (scriptCallRunning(part)) {
        if (BusyNotice notice = busyNotice())
            notice(busyError(QString()).description);
        return;
    }
    scope.emplace(part, Kind::UserOperation);
    if (control && running)
        states()[control].runningFlags.push_back(running);
}

UserOperation::~UserOperation()
{
    if (!control || !running || !scope)
        return;
    auto it = states().find(control);
    if (it != states().end())
        std::erase(it->runningFlags, running);
}

bool busy(const QObject *part)
{
    const State *s = stateOf(part);
    return s && (s->scriptCalls > 0 || s->userOperations > 0);
}

bool scriptCallRunning(const QObject *part)
{
    const State *s = stateOf(part);
    return s && s->scriptCalls > 0;
}

bool stands(const QObject *part)
{
    const State *s = stateOf(part);
    return !s || !s->released;
}

bool quiet()
{
    // The entries are adopted controls: looked up, never dereferenced (one that
    // someone deleted outright counts as gone).
    for (auto it = stack().rbegin(); it != stack().rend(); ++it) {
        if (!*it)
            continue;
        const auto state = states().constFind(*it);
        return state == states().constEnd() || state->released;
    }
    return false;
}

const QObject *innermost()
{
    for (auto it = stack().rbegin(); it != stack().rend(); ++it)
        if (*it)
            return *it;
    return nullptr;
}

} // namespace tx::activity
