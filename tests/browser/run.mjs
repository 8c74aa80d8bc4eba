// node run.mjs CASE BIN SAMPLES_SCRIPT: one real-browser case against the bridge and
// the reference CMS. Prints "1 passed, 0 failed", or the reason; exits 77 to skip.
import { spawnSync } from "node:child_process";
import crypto from "node:crypto";
import fs from "node:fs";
import net from "node:net";
import path from "node:path";
import {
  assert, atEnd, Bridge, certificate, cleanup, connectionState, deadline, launchBrowser, Skip, SKIP,
  startCms, workDir,
} from "./harness.mjs";

const [caseName, bin, makeSamples] = process.argv.slice(2);

// Runs in the page: one request of the protocol on the editor page's connection.
async function pageRequest(page, type, fields) {
  return page.evaluate((t, f) => window.tessarixAdmin.connection().request(t, f), type, fields);
}

const automation = (page, name, ...args) => pageRequest(page, "automation", { name, args });

async function openEditor(browser, url) {
  const page = await browser.newPage();
  const errors = [];
  page.on("pageerror", (e) => errors.push(e.message));
  await page.goto(url, { waitUntil: "domcontentloaded" });
  page.scriptErrors = errors;
  return page;
}

// Presses a task's button and waits for the task to end; its log lines.
async function runTask(page, task, timeout = 180000) {
  await page.$eval("#" + task, (s) => { delete s.dataset.state; });
  await page.click("#" + task + "-go");
  await page.waitForFunction((t) => ["done", "failed"].includes(document.getElementById(t).dataset.state),
                             { timeout }, task);
  const [state, log] = await page.$eval("#" + task, (s) =>
    [s.dataset.state, [...s.querySelectorAll(".log li")].map((li) => li.textContent)]);
  assert(state === "done", task + " failed: " + log.join(" | "));
  return log;
}

async function progressSeen(page, task) {
  return page.$eval("#" + task + "-progress", (p) => ({ events: Number(p.dataset.events || 0), value: p.value }));
}

function samples(dir) {
  const out = path.join(dir, "samples");
  const r = spawnSync("bash", [makeSamples, bin, out], { encoding: "utf8" });
  assert(r.status === 0, "samples: " + r.stderr);
  return out;
}

// The .docx of the sample report, made by a soffice of its own.
function docx(sampleDir, dir) {
  const profile = path.join(dir, "soffice-profile");
  const r = spawnSync("soffice", ["--headless", "--norestore", "-env:UserInstallation=file://" + profile,
    "--convert-to", "docx", "--outdir", path.join(sampleDir, "office"), path.join(sampleDir, "office/report.fodt")],
  { encoding: "utf8", timeout: 300000 });
  if (r.error && r.error.code === "ENOENT")
    throw new Skip("no office program (soffice) to make a .docx");
  const file = path.join(sampleDir, "office/report.docx");
  assert(fs.existsSync(file), "soffice made no .docx: " + (r.error ? r.error.message : r.stderr));
  return file;
}

function sameBytes(a, b) {
  return fs.readFileSync(a).equals(fs.readFileSync(b));
}

async function setting(page, id, value) {
  await page.$eval("#" + id, (e, v) => { e.value = v; }, value);
}

const cases = {
  // The editor's page on a trusted HTTPS origin, every task through the bridge.
  async editor() {
    const dir = workDir();
    const tls = certificate(dir);
    const sampleDir = samples(dir);
    const report = docx(sampleDir, dir);
    const cms = await startCms(bin, path.join(dir, "site"), { tls });
    const origin = "https://cms.test:" + cms.httpsPort;
    const bridge = new Bridge(bin, dir);
    bridge.trust(origin);
    await bridge.start();
    const browser = await launchBrowser(dir, tls);
    const page = await openEditor(browser, origin + "/admin/?port=" + bridge.port);
    const state = await connectionState(page);
    assert(state.code === "connected", "not connected: " + state.text);
    await setting(page, "folder", "/editor/");

    // A file.
    const one = path.join(sampleDir, "tree/s/t/d.bin");
    await automation(page, "answerFileDialogs", [[one]]);
    const fileLog = await runTask(page, "file");
    const stored = / → (\S+)$/.exec(fileLog.at(-1))[1];
    assert(sameBytes(path.join(cms.root, decodeURIComponent(stored)), one), "the stored file differs: " + stored);
    const fp = await progressSeen(page, "file");
    assert(fp.events > 0 && fp.value === 100, "file progress: " + JSON.stringify(fp));

    // A folder tree, through the folder upload's own window.
    await automation(page, "answerFolderDialogs", [path.join(sampleDir, "tree")]);
    await automation(page, "answerMessageBoxes", ["OK"]);
    await page.click("#tree-go");
    const tree = await deadline(90000, "the folder window")(() =>
      page.evaluate(() => window.tessarixAdmin.open.tree && window.tessarixAdmin.open.tree.objectId));
    await automation(page, "child", tree, "Command1", "click");
    await automation(page, "child", tree, "Command2", "click");
    await automation(page, "closeWindow", tree);
    await page.waitForFunction(() => document.getElementById("tree").dataset.state === "done", { timeout: 180000 });
    for (const f of ["a.txt", "b.txt", "s/c.txt", "s/t/d.bin"])
      assert(sameBytes(path.join(cms.root, "files/editor", f), path.join(sampleDir, "tree", f)), "tree file " + f);
    const tp = await progressSeen(page, "tree");
    assert(tp.events > 0, "no progress from the folder upload");

    // A Word document becomes a paged article.
    await automation(page, "answerFileDialogs", [[report]]);
    const officeLog = await runTask(page, "office", 400000);
    assert(officeLog.some((l) => l.includes("report.docx imported")), "office: " + officeLog.join(" | "));

    // Two pictures, one article each, through the picture window.
    const pics = path.join(sampleDir, "pictures");
    await automation(page, "answerFileDialogs", [[path.join(pics, "sea.jpg"), path.join(pics, "hills.jpg")]]);
    await automation(page, "answerMessageBoxes", ["Yes"]);
    await page.click("#pictures-go");
    const images = await deadline(90000, "the picture window")(() =>
      page.evaluate(() => window.tessarixAdmin.open.pictures && window.tessarixAdmin.open.pictures.objectId));
    await automation(page, "child", images, "btnAddFile", "click");
    await automation(page, "child", images, "opOnePic", "click");
    await automation(page, "child", images, "btnBegin", "click");
    await automation(page, "closeWindow", images);
    await page.waitForFunction(() => document.getElementById("pictures").dataset.state === "done", { timeout: 180000 });
    const pictureLog = await page.$$eval("#pictures-log li", (l) => l.map((li) => li.textContent));
    const pp = await progressSeen(page, "pictures");
    assert(pp.events > 0, "no progress from the picture batch");

    // What the server stored, as its own list and the page's list show it.
    const titles = await page.$$eval("#articles td a", (as) => as.map((a) => a.textContent));
    for (const t of ["report", "sea", "hills"])
      assert(titles.includes(t), "no article " + t + " in " + titles.join(", ") + "; pictures: " + pictureLog.join(" | "));
    const list = await (await fetch("http://127.0.0.1:" + cms.httpPort + "/")).text();
    assert(/report/.test(list) && /sea/.test(list) && /hills/.test(list), "the CMS does not list every article");
    assert(page.scriptErrors.length === 0, "page errors: " + page.scriptErrors.join(" | "));
  },

  // The shortest whole session, run against an installed tree too: a trusted page
  // on the server's own origin connects and uploads one file, in a worker of the
  // same program as the bridge.
  async session() {
    const dir = workDir();
    const one = path.join(dir, "one.bin");
    fs.writeFileSync(one, crypto.randomBytes(200000));
    const cms = await startCms(bin, path.join(dir, "site"));
    const origin = "http://127.0.0.1:" + cms.httpPort;
    const bridge = new Bridge(bin, dir);
    bridge.trust(origin);
    await bridge.start();
    const browser = await launchBrowser(dir, null);
    const page = await openEditor(browser, origin + "/admin/?port=" + bridge.port);
    const state = await connectionState(page);
    assert(state.code === "connected", "not connected: " + state.text);
    await setting(page, "folder", "/session/");
    await automation(page, "answerFileDialogs", [[one]]);
    const log = await runTask(page, "file");
    const stored = / → (\S+)$/.exec(log.at(-1))[1];
    assert(sameBytes(path.join(cms.root, decodeURIComponent(stored)), one), "the stored file differs: " + stored);
    const { sessions } = await bridge.status();
    assert(sessions.length === 1, "expected one session: " + JSON.stringify(sessions));
    const worker = fs.readlinkSync("/proc/" + sessions[0].pid + "/exe");
    assert(worker === fs.realpathSync(bridge.bin), "the worker runs " + worker + ", not " + bridge.bin);
    assert(page.scriptErrors.length === 0, "page errors: " + page.scriptErrors.join(" | "));
  },

  // An origin not on the list sees the refusal; `tessarix trust` lets it in with the
  // same bridge still running.
  async untrusted() {
    const dir = workDir();
    const cms = await startCms(bin, path.join(dir, "site"));
    const bridge = await new Bridge(bin, dir).start();
    const browser = await launchBrowser(dir, null);
    const origin = "http://127.0.0.1:" + cms.httpPort;
    const page = await openEditor(browser, origin + "/admin/?port=" + bridge.port);
    let state = await connectionState(page);
    assert(state.code === "origin-refused", "expected the refusal: " + state.code + " " + state.text);
    assert(state.text.includes("tessarix trust " + origin), "the refusal does not say what to do: " + state.text);
    bridge.trust(origin);
    await page.click("#connect");
    state = await connectionState(page);
    assert(state.code === "connected", "not connected after trust: " + state.text);
  },

  // No bridge at all: the page says how to start it.
  async "not-running"() {
    const dir = workDir();
    const cms = await startCms(bin, path.join(dir, "site"));
    const browser = await launchBrowser(dir, null);
    const server = net.createServer();
    await new Promise((r) => server.listen(0, "127.0.0.1", r));
    const port = server.address().port;
    await new Promise((r) => server.close(r));
    const page = await openEditor(browser, "http://127.0.0.1:" + cms.httpPort + "/admin/?port=" + port);
    const state = await connectionState(page);
    assert(state.code === "not-running", "expected not-running: " + state.code + " " + state.text);
    assert(state.text.includes("tessarix serve"), "the page does not name the command: " + state.text);
    // The module form is the same library.
    const module = await page.evaluate(async () => {
      const m = await import("/admin/tessarix.mjs");
      return [typeof m.connect, m.default === window.Tessarix, m.TessarixError === window.TessarixError];
    });
    assert(module.join() === "function,true,true", "tessarix.mjs: " + module.join());
  },

  // A page that calls itself a public address needs the browser's local-network
  // permission: granted it connects, denied it says so.
  async "public-address"() {
    const dir = workDir();
    const tls = certificate(dir);
    const cms = await startCms(bin, path.join(dir, "site"), { tls, publicAddress: true });
    const origin = "https://cms.test:" + cms.httpsPort;
    const bridge = new Bridge(bin, dir);
    bridge.trust(origin);
    await bridge.start();
    const browser = await launchBrowser(dir, tls);
    const cdp = await browser.target().createCDPSession();
    const names = ["local-network-access", "loopback-network", "local-network"];
    const permit = async (setting) => {
      let done = 0;
      for (const name of names) {
        try {
          await cdp.send("Browser.setPermission", { permission: { name }, setting, origin });
          ++done;
        } catch (e) {
          // this browser does not have that permission
        }
      }
      return done;
    };
    if (await permit("granted") === 0)
      throw new Skip("this chromium has no local-network permission");
    const url = origin + "/admin/?port=" + bridge.port;
    const page = await openEditor(browser, url);
    let state = await connectionState(page);
    assert(state.code === "connected", "not connected with the permission: " + state.text);
    await permit("denied");
    await page.reload({ waitUntil: "domcontentloaded" });
    state = await connectionState(page);
    assert(state.code === "access-denied", "expected access-denied: " + state.code + " " + state.text);
  },

  // One tab's long upload never slows another's calls; closing it ends its worker
  // alone.
  async "two-tabs"() {
    const dir = workDir();
    const cms = await startCms(bin, path.join(dir, "site"));
    const origin = "http://127.0.0.1:" + cms.httpPort;
    const bridge = new Bridge(bin, dir);
    bridge.trust(origin);
    await bridge.start();
    // A sink that takes the body slowly, so the upload is still running when the
    // tab closes.
    let received = 0, sinkClosed = false;
    const sink = net.createServer((s) => {
      s.on("data", (d) => {
        received += d.length;
        s.pause();
        setTimeout(() => s.resume(), 20);
      });
      s.on("close", () => { sinkClosed = true; });
    });
    await new Promise((r) => sink.listen(0, "127.0.0.1", r));
    atEnd(() => new Promise((r) => sink.close(r)));
    const big = path.join(dir, "big.bin");
    fs.closeSync(fs.openSync(big, "w"));
    fs.truncateSync(big, 256 << 20);

    const browser = await launchBrowser(dir, null);
    const url = origin + "/admin/?port=" + bridge.port;
    const a = await openEditor(browser, url);
    const b = await openEditor(browser, url);
    for (const p of [a, b])
      assert((await connectionState(p)).code === "connected", "a tab did not connect");

    await automation(a, "answerFileDialogs", [[big]]);
    await a.evaluate((sinkUrl) => {
      const tx = window.tessarixAdmin.connection();
      window.longUpload = (async () => {
        const [file] = await tx.choose();
        const f = await tx.create("Tessarix5.FileUpload");
        return f.StartUpload("/big/", sinkUrl, file, 0).catch((e) => e.code);
      })();
    }, "http://127.0.0.1:" + sink.address().port + "/upload.asp");
    await deadline(20000, "the long upload to start")(() => received > 0);
    // The busy tab's own session still answers at once while its upload waits.
    const sameTab = await a.evaluate(async () => {
      const t0 = performance.now();
      const read = window.tessarixAdmin.connection().request("automation", { name: "messageBoxes", args: [] });
      await Promise.race([read, new Promise((r) => setTimeout(r, 5000))]);
      return performance.now() - t0;
    });
    assert(sameTab < 2000, "a read in the uploading tab waited " + sameTab + " ms");

    const times = await b.evaluate(async () => {
      const tx = window.tessarixAdmin.connection();
      const f = await tx.create("Tessarix5.FileUpload");
      const out = [];
      for (let i = 0; i < 50; ++i) {
        const t0 = performance.now();
        await f.get("NewFileName");
        out.push(performance.now() - t0);
      }
      await f.release();
      return out.sort((x, y) => x - y);
    });
    const median = times[25], worst = times[49];
    // Loose bounds for a loaded machine: a session held up by the other tab's
    // upload would wait for that whole upload.
    assert(median < 100 && worst < 2000, "calls in the other tab were slow: median " + median + " ms, worst " + worst + " ms");
    assert(received < (256 << 20), "the long upload ended too soon to test anything");

    const before = (await bridge.status()).sessions.length;
    assert(before === 2, "expected two sessions, the bridge has " + before);
    await a.close();
    await deadline(20000, "the closed tab's session to end")(async () =>
      (await bridge.status()).sessions.length === 1 && sinkClosed);
    const after = await b.evaluate(async () => {
      const tx = window.tessarixAdmin.connection();
      const f = await tx.create("Tessarix5.FileUpload");
      await f.set("NewFileName", "still here");
      return f.get("NewFileName");
    });
    assert(after === "still here", "the other tab stopped working: " + after);

    // The bridge goes away (an upgrade, a log-out): the page says so and offers to
    // connect again.
    bridge.process.kill("SIGTERM");
    await b.waitForFunction(() => document.getElementById("state").dataset.code === "connection-lost",
                            { timeout: 30000 });
    assert(!(await b.$eval("#connect", (c) => c.disabled)), "no way to connect again");
  },
};

async function main() {
  const run = cases[caseName];
  if (!run) {
    console.error("unknown case " + caseName + "; cases: " + Object.keys(cases).join(", "));
    return 2;
  }
  try {
    if (caseName !== "not-running")
      Bridge.check(bin);
    await run();
    console.log("1 passed, 0 failed");
    return 0;
  } catch (e) {
    if (e instanceof Skip) {
      console.log("SKIPPED (" + caseName + "): " + e.message);
      return SKIP;
    }
    console.error("FAIL (" + caseName + "): " + (e.stack || e));
    console.log("0 passed, 1 failed");
    return 1;
  } finally {
    await cleanup();
  }
}

process.exitCode = await main();
