#include "hostcore/DispatchBridge.h"

#include "hostcore/MemberInvoke.h"
#include "hostcore/ScriptErrors.h"
#include "core/AutomationError.h"

#include <QJSEngine>

namespace tx::host {

using namespace tx::com;

DispatchBridge::DispatchBridge(QJSEngine &engine, IDispatch *dispatch) : engine(engine), object(dispatch)
{
    if (failed(object->GetTypeInfo(&info)))
        info = nullptr;
}

DispatchBridge::~DispatchBridge() { object->Release(); }

QString DispatchBridge::progId() const { return info ? info->progId() : QString(); }

QObject *DispatchBridge::control() const { return controlOf(object); }

bool DispatchBridge::has(const QString &name)
{
    int32_t id = -1;
    return succeeded(object->GetIDsOfNames(&name, 1, &id));
}

QJSValue DispatchBridge::get(const QString &name)
{
    int32_t id = -1;
    if (failed(object->GetIDsOfNames(&name, 1, &id))) {
        const AutomationError e = runtimeError(ErrNoSuchMember, name);
        QJSValue r = engine.newObject();
        r.setProperty(QStringLiteral("missing"), errorObject(engine, e.number, e.source, e.description));
        return r;
    }
    const MemberInfo *m = info ? info->member(id) : nullptr;
    if (m && !m->isProperty()) {
        QJSValue r = engine.newObject();
        r.setProperty(QStringLiteral("method"), id);
        return r;
    }
    QJSValue r = engine.newObject();
    r.setProperty(QStringLiteral("value"), invoke(id, DISPATCH_PROPERTYGET, {}));
    return r;
}

void DispatchBridge::set(const QString &name, const QJSValue &value)
{
    int32_t id = -1;
    if (failed(object->GetIDsOfNames(&name, 1, &id))) {
        throwScriptError(engine, runtimeError(ErrNoSuchMember, name));
        return;
    }
    invoke(id, DISPATCH_PROPERTYPUT, {toArgument(value)});
}

QJSValue DispatchBridge::call(int dispid, const QJSValue &args)
{
    QVariantList list;
    const int n = args.property(QStringLiteral("length")).toInt();
    for (int i = 0; i < n; ++i)
        list.append(toArgument(args.property(quint32(i))));
    return invoke(dispid, DISPATCH_METHOD, list);
}

QJSValue DispatchBridge::invoke(int32_t dispid, uint16_t flags, const QVariantList &args)
{
    // invokeMember holds its own reference while the member runs.
    const ThrownValues thrownByHooks;
    try {
        const QVariant result = invokeMember(object, dispid, flags, args);
        return result.isValid() ? engine.toScriptValue(result) : QJSValue();
    } catch (const AutomationError &e) {
        if (const std::optional<QJSValue> thrown = thrownByHooks.take(e.number, e.source, e.description))
            engine.throwError(*thrown);
        else
            throwScriptError(engine, e);
        return {};
    }
}

ObjectHold::ObjectHold(const DispatchBridge *bridge) : object(bridge ? bridge->dispatch() : nullptr)
{
    if (object)
        object->AddRef();
}

ObjectHold::~ObjectHold()
{
    if (object)
        object->Release();
}

QVariant toArgument(const QJSValue &v)
{
    if (v.isUndefined())
        return {};
    if (v.isNull())
        return QVariant::fromValue(nullptr);
    if (v.isBool())
        return v.toBool();
    if (v.isNumber())
        return v.toNumber();
    if (v.isString())
        return v.toString();
    // Objects, arrays, functions: no automation type takes them.
    return QVariant::fromValue(v);
}

} // namespace tx::host
