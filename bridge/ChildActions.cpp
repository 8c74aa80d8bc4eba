#include "bridge/ChildActions.h"

#include "hostcore/ChildHandle.h"
#include "hostcore/WidgetActions.h"
#include "core/AutomationError.h"

#include <QWidget>

namespace tx::bridge {

using namespace tx::host;

QJsonValue childAction(QObject *control, const QJsonArray &args)
{
    const QString name = args.at(1).toString();
    const QString what = args.at(2).toString();
    const QJsonValue value = args.at(3);
    auto *w = name.isEmpty() ? nullptr : control->findChild<QWidget *>(name, Qt::FindChildrenRecursively);
    if (!w)
        raiseRuntime(ErrInvalidCall, QStringLiteral("%1 has no child control named \"%2\"").arg(control->objectName(), name));
    if (what == u"click")
        clickWidget(w);
    else if (what == u"setChecked")
        checkWidget(w, value.toBool());
    else if (what == u"setText")
        typeText(w, value.toString());
    else if (what == u"select")
        selectIndex(w, value.toInt(-1));
    else {
        const ChildHandle handle(w, nullptr);
        const char *const readings[] = {"text", "value", "items", "enabled", "checked", "visible"};
        for (const char *r : readings)
            if (what == QLatin1String(r))
                return QJsonValue::fromVariant(handle.property(r));
        raiseRuntime(ErrInvalidCall, QStringLiteral("child: no action or reading \"%1\"").arg(what));
    }
    return QJsonValue();
}

} // namespace tx::bridge
