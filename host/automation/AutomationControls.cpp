#include "host/automation/AutomationControls.h"

#include "hostcore/ChildHandle.h"
#include "hostcore/DispatchBridge.h"
#include "host/PageHost.h"
#include "core/AutomationError.h"
#include "shell/com/TypeInfoJson.h"

#include <QJSEngine>
#include <QWidget>

namespace tx::host {

QWidget *childWidget(PageHost &host, const QJSValue &control, const QString &name)
{
    QObject *root = host.controlOf(control);
    if (!root)
        raiseRuntime(ErrTypeMismatch, QStringLiteral("not a control of this page"));
    auto *w = root->findChild<QWidget *>(name, Qt::FindChildrenRecursively);
    if (!w || name.isEmpty())
        raiseRuntime(ErrInvalidCall,
                     QStringLiteral("%1 has no child control named \"%2\"").arg(root->objectName(), name));
    return w;
}

QJSValue AutomationControls::child(const QJSValue &control, const QString &name)
{
    try {
        return engine().newQObject(new ChildHandle(childWidget(host, control, name), host.bridgeOf(control)));
    } catch (const AutomationError &e) {
        raise(e);
        return {};
    }
}

QJSValue AutomationControls::typeInfo(const QJSValue &object)
{
    const DispatchBridge *bridge = host.bridgeOf(object);
    if (!bridge || !bridge->typeInfo()) {
        raise(runtimeError(ErrTypeMismatch, QStringLiteral("not an object of the component")));
        return {};
    }
    return engine().toScriptValue(com::classJson(*bridge->typeInfo()).toVariantMap());
}

} // namespace tx::host
