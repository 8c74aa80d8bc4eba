#include "shell/MemberCall.h"

#include "core/AutomationError.h"
#include "shell/ArgumentConversion.h"
#include "shell/com/Interfaces.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <QObject>

namespace tx::shell {
namespace {

using namespace tx::com;

QMetaType metaTypeOf(VarType t)
{
    switch (t) {
    case VarType::String: return QMetaType::fromType<QString>();
    case VarType::Int32: return QMetaType::fromType<int>();
    case VarType::Bool: return QMetaType::fromType<bool>();
    case VarType::Void: break;
    }
    return QMetaType::fromType<void>();
}

QMetaMethod findMethod(const QMetaObject *mo, const MemberInfo &m)
{
    for (int i = mo->methodCount() - 1; i >= 0; --i) {
        const QMetaMethod method = mo->method(i);
        if (method.access() == QMetaMethod::Public && method.name() == m.name &&
            method.parameterCount() == int(m.params.size()) &&
            (method.methodType() == QMetaMethod::Method || method.methodType() == QMetaMethod::Slot))
            return method;
    }
    return {};
}

QMetaProperty findProperty(const QMetaObject *mo, const MemberInfo &m)
{
    const int i = mo->indexOfProperty(m.name);
    return i < 0 ? QMetaProperty() : mo->property(i);
}

[[noreturn]] void notBuilt(const MemberInfo &m)
{
    raiseRuntime(ErrNoSuchMember, QLatin1String(m.name));
}

[[noreturn]] void signatureMismatch(const MemberInfo &m)
{
    throw AutomationError(ErrAutomation, QStringLiteral("Tessarix5"),
                          QStringLiteral("Automation error: %1 does not match the type library").arg(QLatin1String(m.name)));
}

// The control's own result, in the declared result type.
QVariant result(const MemberInfo &m, const QVariant &raw)
{
    return m.result == VarType::Void ? QVariant() : convert::to(m.result, raw);
}

// qt_metacall is called directly so that a member's AutomationError unwinds only
// through our own (moc-generated) frames up to the dispatch boundary, never
// through QtCore.
QVariant invokeMethod(QObject *control, const QMetaMethod &method, const MemberInfo &m, const QVariantList &args)
{
    QVariantList values;
    values.reserve(qsizetype(m.params.size()));
    for (size_t i = 0; i < m.params.size(); ++i) {
        const ParamInfo &p = m.params[i];
        if (method.parameterMetaType(int(i)) != metaTypeOf(p.type))
            signatureMismatch(m);
        if (qsizetype(i) < args.size())
            values.append(convert::to(p.type, args[qsizetype(i)]));
        else
            values.append(p.type == VarType::Int32 ? QVariant(p.defaultValue) : convert::to(p.type, {}));
    }
    const QMetaType returnType = method.returnMetaType();
    QVariant ret = returnType.id() == QMetaType::Void ? QVariant() : QVariant(returnType);
    std::vector<void *> argv(values.size() + 1);
    argv[0] = ret.isValid() ? ret.data() : nullptr;
    for (qsizetype i = 0; i < values.size(); ++i)
        argv[size_t(i + 1)] = values[i].data();
    control->qt_metacall(QMetaObject::InvokeMetaMethod, method.methodIndex(), argv.data());
    return ret;
}

QVariant readProperty(QObject *control, const QMetaProperty &prop)
{
    QVariant value(prop.metaType());
    int status = -1;
    void *argv[] = {value.data(), nullptr, &status};
    control->qt_metacall(QMetaObject::ReadProperty, prop.propertyIndex(), argv);
    return value;
}

void writeProperty(QObject *control, const QMetaProperty &prop, const QVariant &v)
{
    QVariant value = v;
    if (!value.convert(prop.metaType()))
        raiseRuntime(ErrTypeMismatch);
    int status = -1;
    int flags = 0;
    void *argv[] = {value.data(), nullptr, &status, &flags};
    control->qt_metacall(QMetaObject::WriteProperty, prop.propertyIndex(), argv);
}

QVariant callProperty(QObject *control, const MemberInfo &m, uint16_t flags, const QVariantList &args)
{
    const QMetaObject *mo = control->metaObject();
    const QMetaProperty prop = findProperty(mo, m);
    if (flags & DISPATCH_PROPERTYPUT) {
        if (m.kind != MemberKind::PropertyGetPut)
            raiseRuntime(ErrNoSuchMember, QLatin1String(m.name));
        if (!prop.isValid() || !prop.isWritable())
            notBuilt(m);
        if (args.size() != 1)
            raiseRuntime(ErrWrongArgCount);
        const QVariant value = convert::to(m.result, args[0]);
        writeProperty(control, prop, value);
        return {};
    }
    if (!args.isEmpty())
        raiseRuntime(ErrWrongArgCount);
    if (prop.isValid() && prop.isReadable())
        return result(m, readProperty(control, prop));
    // A getter written as a parameterless invokable serves as well.
    const MemberInfo getter{m.dispid, m.name, MemberKind::Method, {}, m.result};
    const QMetaMethod method = findMethod(mo, getter);
    if (!method.isValid())
        notBuilt(m);
    return result(m, invokeMethod(control, method, getter, {}));
}

} // namespace

bool hasMember(const QObject *control, const MemberInfo &m)
{
    const QMetaObject *mo = control->metaObject();
    if (m.kind == MemberKind::Method)
        return findMethod(mo, m).isValid();
    const QMetaProperty prop = findProperty(mo, m);
    if (m.kind == MemberKind::PropertyGetPut)
        return prop.isValid() && prop.isReadable() && prop.isWritable();
    return (prop.isValid() && prop.isReadable()) ||
           findMethod(mo, MemberInfo{m.dispid, m.name, MemberKind::Method, {}, m.result}).isValid();
}

QVariant callMember(QObject *control, const MemberInfo &m, uint16_t flags, const QVariantList &args)
{
    if (m.isProperty())
        return callProperty(control, m, flags, args);
    if (flags & DISPATCH_PROPERTYPUT)
        raiseRuntime(ErrNoSuchMember, QLatin1String(m.name));
    const QMetaMethod method = findMethod(control->metaObject(), m);
    if (!method.isValid())
        notBuilt(m);
    if (args.size() > qsizetype(m.params.size()))
        raiseRuntime(ErrWrongArgCount);
    if (args.size() < m.requiredCount())
        raiseRuntime(ErrArgNotOptional);
    return result(m, invokeMethod(control, method, m, args));
}

} // namespace tx::shell
