#include "host/ScriptGlue.h"

namespace tx::host {

QString scriptGlue()
{
    return QStringLiteral(R"JS(
(function (host, areas, global) {
    "use strict";
    const bridgeKey = "__tessarixBridge__";
    // Names the script engine itself asks for (printing, JSON, promises); an
    // object answers them only when its type library has them.
    const engineNames = new Set(["toString", "valueOf", "toJSON", "then", "constructor", "toLocaleString"]);

    // An unknown member. The engine loses an exception thrown by a Proxy's get
    // trap when the member is being called, so the trap hands back a value that
    // throws the error on every use instead: a call, or a conversion.
    function missing(error) {
        const thrower = function () { throw error; };
        thrower.toString = thrower;
        thrower.valueOf = thrower;
        thrower.toJSON = thrower;
        return thrower;
    }

    function wrap(bridge) {
        const progId = bridge.progId();
        return new Proxy({}, {
            get(target, name) {
                if (name === bridgeKey) return bridge;
                if (typeof name !== "string") return undefined;
                if (engineNames.has(name) && !bridge.has(name))
                    return name === "toString" ? () => "[object " + progId + "]" : undefined;
                const r = bridge.get(name);
                if ("missing" in r) return missing(r.missing);
                if ("method" in r) {
                    const id = r.method;
                    return function () { return bridge.call(id, Array.prototype.slice.call(arguments)); };
                }
                return r.value;
            },
            set(target, name, value) {
                if (typeof name !== "string") return false;
                bridge.set(name, value);
                return true;
            },
            has(target, name) {
                return typeof name === "string" && (name === bridgeKey || bridge.has(name));
            }
        });
    }

    function text(v) {
        if (v !== null && typeof v === "object") {
            if (v[bridgeKey]) return "[object " + v[bridgeKey].progId() + "]";
            try { return JSON.stringify(v); } catch (e) { return String(v); }
        }
        return String(v);
    }
    function line(args) { return Array.prototype.map.call(args, text).join(" "); }

    global.ActiveXObject = function ActiveXObject(progId) {
        return wrap(host.create(String(progId)));
    };
    global.console = {
        log: function () { host.print(line(arguments)); },
        info: function () { host.print(line(arguments)); },
        warn: function () { host.printError(line(arguments)); },
        error: function () { host.printError(line(arguments)); }
    };
    const automation = {};
    for (const area of areas) {
        for (const name of area.functionNames())
            automation[name] = function () { return area[name].apply(area, arguments); };
    }
    global.automation = automation;
    return wrap;
})
)JS");
}

} // namespace tx::host
