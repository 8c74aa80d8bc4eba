#include "host/automation/AutomationArea.h"

#include "host/automation/AutomationControls.h"
#include "host/automation/AutomationDialogs.h"
#include "host/automation/AutomationInput.h"
#include "host/automation/AutomationOverlay.h"
#include "host/automation/AutomationTiming.h"
#include "host/PageHost.h"
#include "hostcore/ScriptErrors.h"

#include <QMetaMethod>

namespace tx::host {

AutomationArea::AutomationArea(PageHost &host) : QObject(&host), host(host) {}

QStringList AutomationArea::functionNames() const
{
    QStringList names;
    const QMetaObject *mo = metaObject();
    for (int i = AutomationArea::staticMetaObject.methodCount(); i < mo->methodCount(); ++i) {
        const QMetaMethod m = mo->method(i);
        if (m.methodType() == QMetaMethod::Method && m.access() == QMetaMethod::Public &&
            !names.contains(QString::fromLatin1(m.name())))
            names << QString::fromLatin1(m.name());
    }
    return names;
}

QJSEngine &AutomationArea::engine() const { return host.engine(); }

void AutomationArea::raise(const AutomationError &e) const { throwScriptError(host.engine(), e); }

std::vector<AutomationArea *> createAutomationAreas(PageHost &host)
{
    return {
        new AutomationControls(host),
        new AutomationDialogs(host),
        new AutomationInput(host),
        new AutomationTiming(host),
        new AutomationOverlay(host),
    };
}

} // namespace tx::host
