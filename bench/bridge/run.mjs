// node run.mjs BIN: what the bridge adds, seen from a page in chromium. Prints the
// median round trip of 1,000 `get` calls and of create+release, and a 1 GiB
// StartUpload from the page against the same upload run by `tessarix run`, to the
// same loopback sink (ratio host/bridge of the times; 1.0 means the bridge adds
// nothing to the body's path). BENCH_UPLOAD_MB changes the size.
import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import { Bridge, cleanup, connectionState, launchBrowser, startCms, workDir, atEnd } from "../../tests/browser/harness.mjs";

const bin = process.argv[2];
const sizeMb = Number(process.env.BENCH_UPLOAD_MB || 1024);
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

async function sink() {
  const child = spawn(path.join(bin, "bench-sink"), [], { stdio: ["ignore", "pipe", "inherit"] });
  atEnd(() => child.kill());
  const port = await new Promise((resolve) => child.stdout.once("data", (d) => resolve(Number(String(d).trim()))));
  return "http://127.0.0.1:" + port + "/upload.asp";
}

// The host's own time for the call, without its start-up.
function hostUpload(dir, url, file) {
  const page = path.join(dir, "page.js");
  fs.writeFileSync(page, `var u = new ActiveXObject("Tessarix5.FileUpload");
var t0 = Date.now();
u.StartUpload("/", ${JSON.stringify(url)}, ${JSON.stringify(file)}, 1);
console.log(Date.now() - t0);
if (u.NewFileName != "/files/ok") throw new Error("no answer: " + u.NewFileName);
`);
  // A temporary folder of its own, like the bridge's worker: no other run's body file.
  const temp = path.join(dir, "host-temp");
  fs.mkdirSync(temp, { recursive: true, mode: 0o700 });
  const r = spawnSync(path.join(bin, "tessarix"), ["run", page],
                      { encoding: "utf8", env: { ...process.env, QT_QPA_PLATFORM: "offscreen", TEMP: temp } });
  if (r.status !== 0)
    throw new Error("tessarix run: " + r.stderr);
  return Number(r.stdout.trim().split("\n").at(-1));
}

async function main() {
  const dir = workDir();
  const big = path.join(dir, "big.bin");
  fs.writeFileSync(big, "");
  fs.truncateSync(big, sizeMb * 1024 * 1024);
  const url = await sink();
  const cms = await startCms(bin, path.join(dir, "site"));
  const origin = "http://127.0.0.1:" + cms.httpPort;
  const bridge = new Bridge(bin, dir);
  bridge.trust(origin);
  await bridge.start();
  const browser = await launchBrowser(dir, null);
  const page = await browser.newPage();
  await page.goto(origin + "/admin/?port=" + bridge.port);
  const state = await connectionState(page);
  if (state.code !== "connected")
    throw new Error("the page did not connect: " + state.text);

  const calls = await page.evaluate(async () => {
    const tx = window.tessarixAdmin.connection();
    const f = await tx.create("Tessarix5.FileUpload");
    const get = [], cycle = [];
    for (let i = 0; i < 1000; ++i) {
      const t0 = performance.now();
      await f.get("NewFileName");
      get.push(performance.now() - t0);
    }
    for (let i = 0; i < 200; ++i) {
      const t0 = performance.now();
      const o = await tx.create("Tessarix5.FileUpload");
      await o.release();
      cycle.push(performance.now() - t0);
    }
    await f.release();
    return { get, cycle };
  });

  const bridgeTimes = [], hostTimes = [];
  for (let i = 0; i < 3; ++i) {
    await page.evaluate((file) => window.tessarixAdmin.connection().request("automation",
      { name: "answerFileDialogs", args: [[[file]]] }), big);
    bridgeTimes.push(await page.evaluate(async (sinkUrl) => {
      const tx = window.tessarixAdmin.connection();
      const [file] = await tx.choose();
      const f = await tx.create("Tessarix5.FileUpload");
      const t0 = performance.now();
      await f.StartUpload("/", sinkUrl, file, 1);
      const ms = performance.now() - t0;
      if (await f.get("NewFileName") !== "/files/ok")
        throw new Error("no answer from the sink");
      await f.release();
      return ms;
    }, url));
    hostTimes.push(hostUpload(dir, url, big));
  }
  const b = median(bridgeTimes), h = median(hostTimes);
  console.log(`get round trip, median of 1000: ${median(calls.get).toFixed(3)} ms (target <= 1 ms)`);
  console.log(`create+release round trip, median of 200: ${median(calls.cycle).toFixed(3)} ms`);
  console.log(`upload of ${sizeMb} MiB: from the page ${(b / 1000).toFixed(2)} s, tessarix run ${(h / 1000).toFixed(2)} s; ` +
              `ratio run/page ${(h / b).toFixed(2)} (target >= 0.95)`);
}

try {
  await main();
} catch (e) {
  console.error("bench-bridge: " + (e.stack || e));
  process.exitCode = 1;
} finally {
  await cleanup();
}
