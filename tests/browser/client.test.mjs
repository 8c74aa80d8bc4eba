// tessarix.js against a scripted bridge (fetch and WebSocket stand-ins): how each
// failure is told apart, and the proxy's behaviour. Runs on plain node, no browser.
import test from "node:test";
import assert from "node:assert/strict";
import { fileURLToPath } from "node:url";
import path from "node:path";

const here = path.dirname(fileURLToPath(import.meta.url));
globalThis.location = { origin: "https://cms.example" };
await import(path.join(here, "../../bridge/tessarix.js"));
const { Tessarix, TessarixError } = globalThis;

// The bridge as the page sees it: the /status answer (or a thrown fetch), and a
// socket that opens, is refused, or answers requests through `reply`.
function scene({ status, fetchFails = false, fetchHangs = false, permission = "prompt", socket = "open", reply } = {}) {
  const sent = [];
  let ws = null;
  globalThis.navigator = {
    permissions: { query: async ({ name }) => {
      if (name !== "local-network-access")
        throw new TypeError("unknown permission");
      return { state: permission };
    } }
  };
  globalThis.fetch = async (url, init) => {
    if (fetchHangs)
      return new Promise((_, reject) => init.signal.addEventListener("abort", () => reject(new Error("aborted"))));
    if (fetchFails)
      throw new TypeError("Failed to fetch");
    return { ok: true, json: async () => status ?? { version: "1.0", protocol: "tessarix.1", originTrusted: true } };
  };
  globalThis.WebSocket = class {
    constructor(url, protocol) {
      ws = this;
      this.url = url;
      this.protocol = socket === "other-protocol" ? "" : protocol;
      setTimeout(() => {
        if (socket === "refused")
          this.onclose({ code: 1006, reason: "" });
        else
          this.onopen();
      });
    }
    send(text) {
      const msg = JSON.parse(text);
      sent.push(msg);
      if (reply)
        setTimeout(() => reply(msg, (m) => this.onmessage({ data: JSON.stringify(m) })));
    }
    close() { setTimeout(() => this.onclose({ code: 1000, reason: "" })); }
  };
  return { sent, socket: () => ws };
}

async function failure(promise) {
  try {
    await promise;
  } catch (e) {
    assert.ok(e instanceof TessarixError, "a TessarixError: " + e);
    return e;
  }
  assert.fail("no failure");
}

test("connect tells each failure apart and says what to do", async (t) => {
  const cases = [
    { name: "nothing listens", scene: { fetchFails: true }, code: "not-running", says: /tessarix serve --port 4000/ },
    { name: "browser refused", scene: { fetchFails: true, permission: "denied" }, code: "access-denied",
      says: /other apps and services on this device/ },
    { name: "origin not trusted", scene: { status: { version: "1", protocol: "tessarix.1", originTrusted: false },
      socket: "refused" }, code: "origin-refused", says: /tessarix trust https:\/\/cms\.example/ },
    { name: "another protocol", scene: { status: { version: "9", protocol: "tessarix.9" } }, code: "protocol",
      says: /tessarix\.9/ },
    { name: "not a bridge", scene: { status: "hello" }, code: "protocol", says: /not a Tessarix bridge/ },
    { name: "subprotocol refused", scene: { socket: "other-protocol" }, code: "protocol", says: /tessarix\.1/ },
    { name: "something else holds the port and never answers", scene: { fetchHangs: true }, code: "protocol",
      says: /Port 4000 .*did not answer.*tessarix serve --port 4000/ },
    { name: "the user denied the site", scene: { status: { version: "1", protocol: "tessarix.1", originTrusted: false,
      question: "denied" }, socket: "refused" }, code: "origin-refused", says: /was denied.*tessarix trust https:\/\/cms\.example/ },
    { name: "trusted, then closed", scene: { socket: "refused" }, code: "connection-lost", says: /closed/ },
  ];
  for (const c of cases) {
    await t.test(c.name, async () => {
      scene(c.scene);
      const e = await failure(Tessarix.connect({ port: 4000, statusTimeout: 30 }));
      assert.equal(e.code, c.code);
      assert.match(e.message, c.says);
    });
  }
  await t.test("the question on the desktop is reported while the socket waits", async () => {
    scene({ status: { version: "1", protocol: "tessarix.1", originTrusted: false, question: "open" }, socket: "refused" });
    const seen = [];
    const e = await failure(Tessarix.connect({ onWaiting: (status) => seen.push(status.question) }));
    assert.deepEqual(seen, ["open"]);
    assert.equal(e.code, "origin-refused");
    assert.equal(e.denied, false);
  });
  await t.test("a bad port is refused before anything is asked", async () => {
    const e = await failure(Tessarix.connect({ port: 70000 }));
    assert.equal(e.code, "protocol");
  });
});

test("a control: calls, properties, events, errors and the lost connection", async () => {
  let pendingUpload = null;
  const s = scene({
    reply(msg, answer) {
      if (msg.type === "create")
        return answer({ id: msg.id, result: { object: 7 } });
      if (msg.type === "call" && msg.member === "StartUpload") {
        answer({ event: "progress", object: 7, child: "pbFile", value: 40 });
        answer({ event: "progress", object: 8, child: "pbFile", value: 99 });  // another object's
        answer({ event: "answer", object: 7, status: "HTTP/1.1 500 Internal Server Error", line: "full", file: "/tmp/x" });
        answer({ event: "box", object: 7, text: "t", title: "T", icon: "critical", buttons: "OK", answer: "OK" });
        answer({ event: "box", text: "of nobody", title: "T", icon: "", buttons: "OK", answer: "OK" });
        pendingUpload = msg;  // never answered: the socket closes first
        return;
      }
      if (msg.type === "call")
        return answer({ id: msg.id, error: { number: -2147221503, source: "FileUpload", description: "busy" } });
      if (msg.type === "get")
        return answer({ id: msg.id, result: "new.txt" });
      answer({ id: msg.id, result: null });
    }
  });
  const tx = await Tessarix.connect();
  assert.equal(s.socket().url, "ws://127.0.0.1:47373/");

  const f = await tx.create("Tessarix5.FileUpload");
  // `await` on the proxy itself must not call a member named "then".
  assert.equal(f.then, undefined);
  assert.equal(f[Symbol.iterator], undefined);
  assert.equal(f.objectId, 7);
  assert.equal(await Promise.resolve(f), f);
  assert.equal(String(f), "[Tessarix5.FileUpload #7]");

  const progress = [], answers = [], boxes = [], allBoxes = [];
  f.on("progress", (e) => progress.push(e.value));
  f.on("answer", (e) => answers.push(e.line));
  f.on("box", (e) => boxes.push(e.text));
  tx.on("box", (e) => allBoxes.push(e.text));
  assert.equal(await f.get("NewFileName"), "new.txt");
  await f.set("NewFileName", "x");
  const busy = await failure(f.TestOK());
  assert.deepEqual([busy.code, busy.number, busy.source, busy.description], ["automation", -2147221503, "FileUpload", "busy"]);

  const upload = f.StartUpload("/a/", "http://h/upload.asp", "/tmp/x", 0);
  await new Promise((r) => setTimeout(r, 5));
  assert.deepEqual(progress, [40]);
  assert.deepEqual([answers, boxes, allBoxes], [["full"], ["t"], ["t", "of nobody"]]);
  assert.deepEqual(pendingUpload.args, ["/a/", "http://h/upload.asp", "/tmp/x", 0]);
  const kinds = s.sent.map((m) => [m.type, m.member ?? m.progId]);
  assert.deepEqual(kinds.slice(0, 4), [["create", "Tessarix5.FileUpload"], ["get", "NewFileName"],
                                      ["put", "NewFileName"], ["call", "TestOK"]]);
  assert.equal(new Set(s.sent.map((m) => m.id)).size, s.sent.length, "every request has its own id");

  let closedWith = null;
  tx.on("close", (e) => { closedWith = e; });
  s.socket().onclose({ code: 1001, reason: "bridge upgraded" });
  const lost = await failure(upload);
  assert.equal(lost.code, "connection-lost");
  assert.match(lost.message, /bridge upgraded/);
  assert.equal(closedWith, lost);
  // Afterwards every call fails at once rather than waiting forever.
  assert.equal((await failure(f.get("NewFileName"))).code, "connection-lost");
});

test("a handler's own error does not stop the others", async () => {
  const s = scene({ reply: (msg, answer) => answer({ id: msg.id, result: 3 }) });
  const tx = await Tessarix.connect();
  const m = await tx.create("Tessarix5.MultiUpload");
  const seen = [];
  const thrown = [];
  const realSetTimeout = globalThis.setTimeout;
  globalThis.setTimeout = (fn) => { try { fn(); } catch (e) { thrown.push(e); } };
  m.on("log", () => { throw new Error("page bug"); });
  m.on("log", (e) => seen.push(e.text));
  s.socket().onmessage({ data: JSON.stringify({ event: "log", object: 3, child: "List1", text: "done" }) });
  globalThis.setTimeout = realSetTimeout;
  assert.deepEqual(seen, ["done"]);
  assert.equal(thrown.length, 1);
  assert.deepEqual(await tx.choose({ folder: true }).catch(() => null), 3);
  assert.deepEqual(s.sent.at(-1), { id: s.sent.at(-1).id, type: "choose", folder: true, multiple: false });
});
