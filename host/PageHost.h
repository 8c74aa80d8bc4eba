#pragma once
// Runs one page script: a JavaScript engine with ActiveXObject, console and the
// automation API. Non-interactive unless asked: boxes and dialogs take queued
// answers or their defaults and are echoed to standard error.
#include <QJSValue>
#include <QObject>
#include <QPointer>
#include <memory>

class QJSEngine;
class QWidget;

namespace tx::com {
class IDispatch;
}

namespace tx::host {

class DispatchBridge;

class PageHost : public QObject {
    Q_OBJECT
public:
    explicit PageHost(bool interactive = false);
    ~PageHost() override;

    // The page's exit status: 0, or 1 after an uncaught exception (printed to
    // standard error). Interactive, it returns when the page's window closes.
    int runFile(const QString &path);
    int runSource(const QString &source, const QString &fileName = QStringLiteral("page.js"));

    QJSEngine &engine() { return *js; }
    bool interactive() const { return isInteractive; }

    // A page object for a component object (takes over the caller's reference).
    QJSValue wrap(com::IDispatch *object);

    // The control behind a page's object (its Proxy), or nullptr for anything else.
    QObject *controlOf(const QJSValue &object) const;
    DispatchBridge *bridgeOf(const QJSValue &object) const;

    // An exception that no script code caught (for example in an after() callback).
    void reportUncaught(const QJSValue &exception, const QStringList &stack = {});

    // Called from the page.
    Q_INVOKABLE QJSValue create(const QString &progId);
    Q_INVOKABLE void print(const QString &line);
    Q_INVOKABLE void printError(const QString &line);

private:
    DispatchBridge *newBridge(com::IDispatch *object);
    void show(QObject *control);
    void releaseAll();

    bool isInteractive;
    bool failed = false;
    std::unique_ptr<QJSEngine> js;
    QJSValue wrapper; // the glue's wrap(bridge)
    QPointer<QWidget> window;
};

} // namespace tx::host
