#include "host/PageHost.h"

#include "host/automation/AutomationArea.h"
#include "hostcore/ComponentLoader.h"
#include "hostcore/DispatchBridge.h"
#include "hostcore/ScriptErrors.h"
#include "host/ScriptGlue.h"
#include "core/AutomationError.h"
#include "platform/Ui.h"

#include <QApplication>
#include <QFile>
#include <QJSEngine>
#include <QTextStream>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>

namespace tx::host {

PageHost::PageHost(bool interactive) : isInteractive(interactive), js(std::make_unique<QJSEngine>())
{
    ui::setInteractive(interactive);
    ui::setEcho(!interactive);
    js->installExtensions(QJSEngine::GarbageCollectionExtension);
    QJSEngine::setObjectOwnership(this, QJSEngine::CppOwnership);
    QJSValue areas = js->newArray();
    quint32 i = 0;
    for (AutomationArea *area : createAutomationAreas(*this))
        areas.setProperty(i++, js->newQObject(area));
    QJSValue install = js->evaluate(scriptGlue(), QStringLiteral("tessarix-glue.js"));
    wrapper = install.call({js->newQObject(this), areas, js->globalObject()});
    if (!wrapper.isCallable())
        qFatal("page host glue: %s", qPrintable(wrapper.toString()));
}

PageHost::~PageHost() { releaseAll(); }

void PageHost::releaseAll()
{
    if (window) {
        // Qt parents never own a control: take them back before the window goes.
        for (QWidget *w : window->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            w->setParent(nullptr);
        delete window.data();
    }
    // The engine's end deletes every bridge, which releases every object; the
    // controls go with the deferred deletions.
    wrapper = QJSValue();
    js.reset();
    // Bridges the collector left for deferred deletion, then their controls.
    for (int round = 0; round < 2; ++round)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int PageHost::runFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("tessarix: cannot read %1: %2").arg(path, f.errorString()));
        return 1;
    }
    return runSource(QString::fromUtf8(f.readAll()), path);
}

int PageHost::runSource(const QString &source, const QString &fileName)
{
    QStringList stack;
    const QJSValue result = js->evaluate(source, fileName, 1, &stack);
    if (result.isError() || !stack.isEmpty())
        reportUncaught(result, stack);
    if (isInteractive && window && window->isVisible() && !failed)
        QApplication::exec();
    return failed ? 1 : 0;
}

void PageHost::reportUncaught(const QJSValue &exception, const QStringList &stack)
{
    failed = true;
    printError(describeUncaught(exception, stack));
}

QJSValue PageHost::create(const QString &progId)
{
    try {
        return js->newQObject(newBridge(createObject(progId)));
    } catch (const AutomationError &e) {
        throwScriptError(*js, e);
        return {};
    }
}

DispatchBridge *PageHost::newBridge(com::IDispatch *object)
{
    auto *bridge = new DispatchBridge(*js, object);
    if (isInteractive)
        show(bridge->control());
    return bridge;
}

QJSValue PageHost::wrap(com::IDispatch *object)
{
    return wrapper.call({js->newQObject(newBridge(object))});
}

void PageHost::show(QObject *control)
{
    auto *widget = qobject_cast<QWidget *>(control);
    if (!widget)
        return;
    if (!window) {
        window = new QWidget;
        window->setWindowTitle(QStringLiteral("Tessarix5"));
        new QVBoxLayout(window);
    }
    // The controls place their children themselves and have no size hint: each
    // keeps the size it was designed with, one below the other.
    widget->setMinimumSize(widget->size());
    window->layout()->addWidget(widget);
    window->adjustSize();
    window->show();
}

DispatchBridge *PageHost::bridgeOf(const QJSValue &object) const
{
    if (!object.isObject())
        return nullptr;
    return qobject_cast<DispatchBridge *>(object.property(QLatin1String(kBridgeKey)).toQObject());
}

QObject *PageHost::controlOf(const QJSValue &object) const
{
    DispatchBridge *bridge = bridgeOf(object);
    return bridge ? bridge->control() : nullptr;
}

void PageHost::print(const QString &line)
{
    QTextStream out(stdout);
    out << line << Qt::endl;
}

void PageHost::printError(const QString &line)
{
    QTextStream err(stderr);
    err << line << Qt::endl;
}

} // namespace tx::host
