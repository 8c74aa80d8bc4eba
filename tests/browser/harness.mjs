// What every browser case needs: the reference CMS (HTTP and HTTPS), the bridge
// under a fresh home, the system's chromium headless, and a clean end. A case
// that cannot run here exits with 77 and says why (CTest shows it as skipped).
import { spawn, spawnSync } from "node:child_process";
import { createRequire } from "node:module";
import crypto from "node:crypto";
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";

export const SKIP = 77;
export const HOSTS = ["cms.test", "other.test"];

export class Skip extends Error {}

const cleanups = [];
export function atEnd(fn) { cleanups.unshift(fn); }
export async function cleanup() {
  for (const fn of cleanups.splice(0)) {
    try {
      await fn();
    } catch (e) {
      // the rest still runs
    }
  }
}

export function workDir() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), "tessarix-browser-"));
  atEnd(() => fs.rmSync(dir, { recursive: true, force: true }));
  return dir;
}

export function deadline(ms, what) {
  const end = Date.now() + ms;
  return async (check) => {
    for (;;) {
      const value = await check();
      if (value)
        return value;
      if (Date.now() > end)
        throw new Error("timed out waiting for " + what);
      await new Promise((r) => setTimeout(r, 50));
    }
  };
}

export async function freePort() {
  const server = net.createServer();
  await new Promise((r) => server.listen(0, "127.0.0.1", r));
  const { port } = server.address();
  await new Promise((r) => server.close(r));
  return port;
}

function start(bin, args, env) {
  const child = spawn(bin, args, { env: { ...process.env, ...env }, stdio: ["ignore", "pipe", "pipe"] });
  let out = "", err = "";
  child.stdout.on("data", (d) => { out += d; });
  child.stderr.on("data", (d) => { err += d; });
  child.output = () => out;
  child.errors = () => err;
  atEnd(() => new Promise((resolve) => {
    if (child.exitCode !== null || child.signalCode !== null)
      return resolve();
    child.once("exit", resolve);
    child.kill("SIGTERM");
  }));
  return child;
}

// A self-signed certificate for the test host names and the loopback address (the
// controls post to the address), and the hash of its key that chromium is told to
// accept; the controls trust it as its own CA (Bridge.trustCertificate).
export function certificate(dir) {
  const cert = path.join(dir, "cert.pem"), key = path.join(dir, "key.pem");
  const made = spawnSync("openssl", ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
    "-out", cert, "-days", "2", "-subj", "/CN=cms.test",
    "-addext", "subjectAltName=" + HOSTS.map((h) => "DNS:" + h).concat(["IP:127.0.0.1"]).join(",")], { encoding: "utf8" });
  if (made.status !== 0)
    throw new Error("openssl: " + made.stderr);
  const spki = new crypto.X509Certificate(fs.readFileSync(cert)).publicKey.export({ type: "spki", format: "der" });
  return { cert, key, spki: crypto.createHash("sha256").update(spki).digest("base64") };
}

// tessarix-cms on free ports; with a certificate, its pages over HTTPS too.
export async function startCms(bin, root, { tls = null, publicAddress = false } = {}) {
  const args = ["--port", "0", "--root", root];
  if (tls)
    args.push("--tls", tls.cert, tls.key);
  if (publicAddress)
    args.push("--public-address");
  const child = start(path.join(bin, "tessarix-cms"), args, { QT_QPA_PLATFORM: "offscreen" });
  const lines = await deadline(15000, "tessarix-cms to start")(() => {
    if (child.exitCode !== null)
      throw new Error("tessarix-cms exited: " + child.errors());
    const l = child.output().split("\n").filter((s) => s.startsWith("listening on "));
    return l.length >= (tls ? 2 : 1) && l;
  });
  const port = (line) => Number(/:(\d+)\//.exec(line)[1]);
  return { root, httpPort: port(lines[0]), httpsPort: tls ? port(lines[1]) : 0, process: child };
}

// The bridge as its user runs it: its own home, configuration and state folders.
export class Bridge {
  constructor(bin, dir) {
    this.bin = path.join(bin, "tessarix");
    this.home = path.join(dir, "home");
    fs.mkdirSync(this.home, { recursive: true, mode: 0o700 });
    this.env = {
      HOME: this.home,
      XDG_CONFIG_HOME: path.join(this.home, ".config"),
      XDG_STATE_HOME: path.join(this.home, ".local/state"),
      XDG_RUNTIME_DIR: path.join(this.home, "run"),
      TEMP: path.join(this.home, "temp"),
      QT_QPA_PLATFORM: "offscreen",
    };
    for (const d of ["run", "temp"])
      fs.mkdirSync(path.join(this.home, d), { mode: 0o700 });
  }

  // Skips the case when this build has no bridge.
  static check(bin) {
    const tessarix = path.join(bin, "tessarix");
    if (!fs.existsSync(tessarix))
      throw new Skip("no tessarix binary in " + bin);
    const r = spawnSync(tessarix, ["serve", "--help"], { encoding: "utf8", timeout: 20000,
                                                          env: { ...process.env, QT_QPA_PLATFORM: "offscreen" } });
    if (!/--automation/.test(r.stdout + r.stderr))
      throw new Skip("this tessarix has no bridge (tessarix serve)");
  }

  run(...args) {
    const r = spawnSync(this.bin, args, { env: { ...process.env, ...this.env }, encoding: "utf8" });
    if (r.status !== 0)
      throw new Error("tessarix " + args.join(" ") + ": " + r.stdout + r.stderr);
    return r.stdout;
  }

  trust(origin) { this.run("trust", origin); }

  // The controls' uploads trust this certificate alone, as a user's own CA.
  trustCertificate(cert) {
    this.env.SSL_CERT_FILE = cert;
    this.env.SSL_CERT_DIR = "";
  }

  async start() {
    this.port = await freePort();
    this.process = start(this.bin, ["serve", "--port", String(this.port), "--automation"], this.env);
    await deadline(20000, "the bridge to answer")(async () => {
      if (this.process.exitCode !== null)
        throw new Error("the bridge exited: " + this.process.errors());
      return this.status().catch(() => null);
    });
    return this;
  }

  // What a local tool sees (no Origin): the sessions too.
  async status() {
    const answer = await fetch("http://127.0.0.1:" + this.port + "/status");
    return answer.json();
  }
}

export async function launchBrowser(dir, tls) {
  const require = createRequire(import.meta.url);
  let puppeteer;
  try {
    puppeteer = require("puppeteer-core");
  } catch (e) {
    throw new Skip("puppeteer-core is not installed (run npm ci in tests/browser)");
  }
  const executablePath = ["/usr/bin/chromium", "/usr/bin/chromium-browser"].find((p) => fs.existsSync(p));
  if (!executablePath)
    throw new Skip("no chromium installed");
  const args = [
    // Only the test's own names resolve, to this machine; nothing leaves it.
    "--host-resolver-rules=" + HOSTS.map((h) => "MAP " + h + " 127.0.0.1").join(", ") +
      ", EXCLUDE 127.0.0.1, EXCLUDE localhost, MAP * ~NOTFOUND",
    "--no-first-run", "--no-default-browser-check", "--disable-background-networking",
    "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage",
  ];
  if (process.getuid && process.getuid() === 0)
    args.push("--no-sandbox");
  if (tls)
    args.push("--ignore-certificate-errors-spki-list=" + tls.spki);
  const browser = await puppeteer.launch({
    executablePath, headless: true, args, userDataDir: path.join(dir, "profile"),
    protocolTimeout: 120000,
  });
  atEnd(() => browser.close());
  return browser;
}

// The editor's page state line once it stopped saying "connecting".
export async function connectionState(page) {
  await page.waitForFunction(() => document.getElementById("state").dataset.code !== "connecting",
                             { timeout: 90000 });
  return page.$eval("#state", (s) => ({ code: s.dataset.code, text: s.textContent }));
}

export function assert(condition, message) {
  if (!condition)
    throw new Error(message);
}
