// tessarix.js: the page's side of `tessarix serve`. No dependencies. Load it as a
// classic script (it defines the global `Tessarix`) or import it from a module
// (`import "…/tessarix.js"`, or `import { Tessarix } from "…/tessarix.mjs"`).
(function (global) {
  "use strict";

  var PROTOCOL = "tessarix.1";
  var DEFAULT_PORT = 47373;
  var START_COMMAND = "tessarix serve";

  class TessarixError extends Error {
    constructor(code, message, detail) {
      super(message);
      this.name = "TessarixError";
      this.code = code;
      if (detail) {
        this.number = detail.number;
        this.source = detail.source;
        this.description = detail.description;
      }
    }
  }

  function automationError(e) {
    var description = e && e.description != null ? String(e.description) : "";
    var number = e && typeof e.number === "number" ? e.number : 0;
    return new TessarixError("automation", description || ("automation error " + number), {
      number: number,
      source: e && e.source != null ? String(e.source) : "",
      description: description
    });
  }

  // The browser reports a refused local-network request exactly like a closed port;
  // only the permission's state tells them apart. Its name changed between releases.
  async function localNetworkDenied() {
    var perms = global.navigator && global.navigator.permissions;
    if (!perms || typeof perms.query !== "function")
      return false;
    var names = ["local-network-access", "loopback-network", "local-network"];
    for (var i = 0; i < names.length; i++) {
      try {
        var status = await perms.query({ name: names[i] });
        if (status.state === "denied")
          return true;
      } catch (e) {
        // this browser does not know the name
      }
    }
    return false;
  }

  async function accessFailure(host, port) {
    if (await localNetworkDenied()) {
      return new TessarixError("access-denied",
        "The browser refused this page access to apps on this device. " +
        "Allow \"access other apps and services on this device\" for this site in the " +
        "browser's site settings, then try again.");
    }
    return new TessarixError("not-running",
      "The Tessarix bridge is not running on " + host + ":" + port + ". Start it with `" +
      startCommand(port) + "` and try again.");
  }

  function startCommand(port) {
    return START_COMMAND + (port !== DEFAULT_PORT ? " --port " + port : "");
  }

  async function readStatus(host, port, timeoutMs) {
    // Something else on the port may take the request and never answer.
    var abort = typeof AbortController === "function" ? new AbortController() : null;
    var timedOut = false;
    var timer = abort ? setTimeout(function () { timedOut = true; abort.abort(); }, timeoutMs) : null;
    var response, status = null;
    try {
      response = await fetch("http://" + host + ":" + port + "/status",
                             { mode: "cors", cache: "no-store", credentials: "omit",
                               signal: abort ? abort.signal : undefined });
      status = await response.json().catch(function () { return null; });
    } catch (e) {
      if (timedOut) {
        throw new TessarixError("protocol", "Port " + port + " on " + host + " did not answer within " +
          Math.round(timeoutMs / 1000) + " s as a Tessarix bridge would: another program may hold it, or " +
          "the bridge there is stuck. Start the bridge with `" + startCommand(port) + "` (or choose " +
          "another port with --port and enter it here).");
      }
      throw await accessFailure(host, port);
    } finally {
      clearTimeout(timer);
    }
    if (!response.ok || !status || typeof status !== "object")
      throw new TessarixError("protocol", "Port " + port + " on " + host + " is not a Tessarix bridge.");
    if (status.protocol !== PROTOCOL) {
      throw new TessarixError("protocol", "The bridge on port " + port + " speaks " +
        JSON.stringify(status.protocol) + "; this page needs " + PROTOCOL + ". Update Tessarix.");
    }
    return status;
  }

  function originRefused(denied) {
    var origin = global.location ? global.location.origin : "this page's origin";
    var e = new TessarixError("origin-refused", denied
      ? "This site (" + origin + ") was denied in the question the Tessarix bridge asked on this " +
        "computer. To trust it, run `tessarix trust " + origin + "` and try again."
      : "The Tessarix bridge does not trust " + origin + ". To allow it, run `tessarix trust " +
        origin + "` and reload the page.");
    e.denied = !!denied;
    return e;
  }

  // While the socket waits for the bridge to let it in, the bridge may be asking the
  // user on the desktop; /status says so. Reports each change of `question`.
  function watchQuestion(host, port, onWaiting) {
    var stopped = false, last = null, timer = null;
    async function look() {
      if (stopped)
        return;
      try {
        var status = await readStatus(host, port, 5000);
        if (!stopped && status.question !== last) {
          last = status.question;
          if (onWaiting)
            onWaiting(status);
        }
      } catch (e) {
        // the socket's own end tells what went wrong
      }
      if (!stopped)
        timer = setTimeout(look, 1000);
    }
    timer = setTimeout(look, 300);
    return {
      stop: function () { stopped = true; clearTimeout(timer); },
      last: function () { return last; }
    };
  }

  function openSocket(host, port, trusted, onWaiting) {
    return new Promise(function (resolve, reject) {
      var ws;
      try {
        ws = new WebSocket("ws://" + host + ":" + port + "/", PROTOCOL);
      } catch (e) {
        reject(new TessarixError("protocol", "Cannot open the bridge's socket: " + e.message));
        return;
      }
      var opened = false;
      var watch = onWaiting ? watchQuestion(host, port, onWaiting) : null;
      ws.onopen = function () {
        opened = true;
        if (watch)
          watch.stop();
        if (ws.protocol !== PROTOCOL) {
          ws.close();
          reject(new TessarixError("protocol", "The bridge did not agree to " + PROTOCOL + "."));
          return;
        }
        resolve(ws);
      };
      ws.onclose = async function (ev) {
        if (opened)
          return;
        if (watch)
          watch.stop();
        if (trusted) {
          reject(new TessarixError("connection-lost", "The bridge closed the connection" +
            (ev.reason ? ": " + ev.reason : "") + "."));
          return;
        }
        // A handshake refused with 403 shows the page nothing but a closed socket;
        // /status tells a denied question from an origin never asked about.
        var question = watch ? watch.last() : null;
        try {
          question = (await readStatus(host, port, 5000)).question;
        } catch (e) {
          // keep what was seen last
        }
        reject(originRefused(question === "denied"));
      };
    });
  }

  var RESERVED = { get: 1, set: 1, on: 1, off: 1, show: 1, release: 1 };

  class Connection {
    constructor(ws, status) {
      this.status = status;
      this._ws = ws;
      this._nextId = 1;
      this._pending = new Map();
      this._objects = new Map();  // object id → handlers by event name
      this._listeners = { close: [], box: [] };
      this._closed = null;
      var self = this;
      ws.onmessage = function (ev) { self._receive(ev.data); };
      ws.onclose = function (ev) {
        self._lost("The connection to the Tessarix bridge was closed" +
          (ev.reason ? ": " + ev.reason : "") + ".");
      };
      ws.onerror = function () {};
    }

    _lost(message) {
      if (this._closed)
        return;
      this._closed = new TessarixError("connection-lost", message);
      var pending = this._pending;
      this._pending = new Map();
      pending.forEach(function (p) { p.reject(this._closed); }, this);
      var err = this._closed;
      this._listeners.close.forEach(function (cb) { cb(err); });
    }

    _receive(text) {
      var msg;
      try {
        msg = JSON.parse(text);
      } catch (e) {
        this._lost("The bridge sent a message that is not JSON.");
        this._ws.close(1002);
        return;
      }
      if (msg && msg.id != null && this._pending.has(msg.id)) {
        var p = this._pending.get(msg.id);
        this._pending.delete(msg.id);
        if (msg.error)
          p.reject(automationError(msg.error));
        else
          p.resolve(msg.result);
        return;
      }
      if (msg && typeof msg.event === "string") {
        var handlers = this._objects.get(msg.object);
        var list = (handlers && handlers[msg.event]) || [];
        // Every box also reaches the connection: one of no known object only there.
        if (msg.event === "box")
          list = list.concat(this._listeners.box);
        list.slice().forEach(function (cb) {
          try {
            cb(msg);
          } catch (e) {
            setTimeout(function () { throw e; });  // the page's own fault, reported as such
          }
        });
      }
    }

    // One request of the protocol; resolves with its result.
    request(type, fields) {
      if (this._closed)
        return Promise.reject(this._closed);
      var id = this._nextId++;
      var msg = Object.assign({ id: id, type: type }, fields);
      var self = this;
      return new Promise(function (resolve, reject) {
        self._pending.set(id, { resolve: resolve, reject: reject });
        try {
          self._ws.send(JSON.stringify(msg));
        } catch (e) {
          self._pending.delete(id);
          reject(new TessarixError("protocol", "Cannot send to the bridge: " + e.message));
        }
      });
    }

    async create(progId) {
      var result = await this.request("create", { progId: String(progId) });
      var objectId = result && typeof result === "object" ? result.object : result;
      return this._proxy(objectId, String(progId));
    }

    async choose(options) {
      var o = options || {};
      var fields = { folder: !!o.folder, multiple: !!o.multiple };
      if (o.filter != null)
        fields.filter = String(o.filter);
      return this.request("choose", fields);
    }

    on(name, cb) {
      if (name !== "close" && name !== "box")
        throw new TypeError("unknown connection event " + name);
      this._listeners[name].push(cb);
      return this;
    }

    off(name, cb) {
      var list = this._listeners[name] || [];
      var i = list.indexOf(cb);
      if (i >= 0)
        list.splice(i, 1);
      return this;
    }

    close() {
      this._ws.close(1000);
      this._lost("The page closed the connection.");
    }

    get closed() { return !!this._closed; }

    _proxy(objectId, progId) {
      var conn = this;
      var handlers = {};
      this._objects.set(objectId, handlers);
      var own = {
        get: function (name) { return conn.request("get", { object: objectId, member: String(name) }); },
        set: function (name, value) {
          return conn.request("put", { object: objectId, member: String(name), value: value });
        },
        on: function (event, cb) {
          (handlers[event] = handlers[event] || []).push(cb);
          return proxy;
        },
        off: function (event, cb) {
          var list = handlers[event] || [];
          var i = list.indexOf(cb);
          if (i >= 0)
            list.splice(i, 1);
          return proxy;
        },
        show: function () { return conn.request("show", { object: objectId }); },
        release: function () {
          conn._objects.delete(objectId);
          return conn.request("release", { object: objectId });
        }
      };
      var members = new Map();
      var proxy = new Proxy(Object.create(null), {
        get: function (target, key) {
          // Not a promise, not an iterable, not serialisable: `await` and the
          // console must not turn a property read into a call.
          if (typeof key === "symbol" || key === "then" || key === "toJSON")
            return undefined;
          if (key === "objectId")
            return objectId;
          if (key === "progId")
            return progId;
          if (key === "toString")
            return function () { return "[" + progId + " #" + objectId + "]"; };
          if (Object.prototype.hasOwnProperty.call(RESERVED, key))
            return own[key];
          if (!members.has(key)) {
            members.set(key, function () {
              return conn.request("call", { object: objectId, member: key,
                                            args: Array.prototype.slice.call(arguments) });
            });
          }
          return members.get(key);
        },
        set: function () { return false; },  // writes go through set(name, value)
        has: function (target, key) { return key !== "then" && typeof key === "string"; }
      });
      return proxy;
    }
  }

  async function connect(options) {
    var o = options || {};
    var port = o.port == null ? DEFAULT_PORT : Number(o.port);
    var host = o.host || "127.0.0.1";
    if (!(port > 0 && port < 65536 && Math.floor(port) === port))
      throw new TessarixError("protocol", "Not a port number: " + o.port);
    var status = await readStatus(host, port, o.statusTimeout == null ? 5000 : Number(o.statusTimeout));
    if (typeof o.onWaiting === "function" && status.question === "open")
      o.onWaiting(status);
    var ws = await openSocket(host, port, status.originTrusted === true,
                              typeof o.onWaiting === "function" ? o.onWaiting : null);
    return new Connection(ws, status);
  }

  var Tessarix = { connect: connect, TessarixError: TessarixError, PROTOCOL: PROTOCOL,
                   DEFAULT_PORT: DEFAULT_PORT };
  global.Tessarix = Tessarix;
  global.TessarixError = TessarixError;
})(typeof globalThis !== "undefined" ? globalThis : this);
