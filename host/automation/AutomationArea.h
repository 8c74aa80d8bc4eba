#pragma once
// One area of the page's `automation` object. Every Q_INVOKABLE of a subclass
// becomes a function of `automation` under its own name; adding an area is one
// class and one line in createAutomationAreas().
#include <QJSValue>
#include <QObject>
#include <QStringList>
#include <vector>

class QJSEngine;

namespace tx {
struct AutomationError;
}

namespace tx::host {

class PageHost;

class AutomationArea : public QObject {
    Q_OBJECT
public:
    explicit AutomationArea(PageHost &host);

    // The names of the subclass's invokables.
    Q_INVOKABLE QStringList functionNames() const;

protected:
    QJSEngine &engine() const;
    void raise(const AutomationError &e) const; // into the running script
    PageHost &host;
};

// Every area of the automation API, parented to `host`.
std::vector<AutomationArea *> createAutomationAreas(PageHost &host);

} // namespace tx::host
