#pragma once
// One script reference to a component object. The page sees it through a Proxy
// (see ScriptGlue) that sends every member name, in any letter case, to
// GetIDsOfNames and then Invoke. Owned by the script engine: when the garbage
// collector (or the engine's end) deletes it, it releases its reference.
#include "shell/com/Interfaces.h"

#include <QJSValue>
#include <QObject>
#include <QVariant>

class QJSEngine;

namespace tx::host {

class DispatchBridge : public QObject {
    Q_OBJECT
public:
    // Takes over the caller's reference.
    DispatchBridge(QJSEngine &engine, com::IDispatch *dispatch);
    ~DispatchBridge() override;

    // {value} of a property, {method: dispid}, or {missing: error 438} for a name
    // the object does not have.
    Q_INVOKABLE QJSValue get(const QString &name);
    Q_INVOKABLE bool has(const QString &name);
    Q_INVOKABLE void set(const QString &name, const QJSValue &value);
    Q_INVOKABLE QJSValue call(int dispid, const QJSValue &args);
    Q_INVOKABLE QString progId() const;

    com::IDispatch *dispatch() const { return object; }
    const com::ClassInfo *typeInfo() const { return info; }
    // The control behind the object (borrowed), or nullptr.
    QObject *control() const;

private:
    QJSValue invoke(int32_t dispid, uint16_t flags, const QVariantList &args);

    QJSEngine &engine;
    com::IDispatch *object;
    const com::ClassInfo *info = nullptr;
};

// A reference to a bridge's object for the life of the hold: a person's action on
// the object's control keeps the object as a member call does, so that a page
// dropping its own reference meanwhile cannot end it. Holds nothing for nullptr.
class ObjectHold {
public:
    explicit ObjectHold(const DispatchBridge *bridge);
    ~ObjectHold();
    ObjectHold(const ObjectHold &) = delete;
    ObjectHold &operator=(const ObjectHold &) = delete;

private:
    com::IDispatch *object;
};

// A script value as an automation argument (undefined = missing/empty).
QVariant toArgument(const QJSValue &v);

} // namespace tx::host
