// The editor's page: every control runs on the editor's computer through the
// Tessarix bridge; this page only drives them with tessarix.js, and shows what the
// controls' forms show (answers, boxes, log lines, progress) as it happens.
"use strict";

const $ = (id) => document.getElementById(id);
const scripts = document.body.dataset.scripts;
let tx = null;
let running = null;  // the task that runs now: one at a time
const open = {};     // task → the control it keeps while its window is open
const chosenOn = new WeakMap();  // connection → the files chosen through it
const titles = { file: "Upload a file", tree: "Upload a folder tree", office: "Import office documents",
                 pictures: "Publish pictures", capture: "Capture the screen" };

const plurals = new Intl.PluralRules("en");
function count(n, one, many) {
  return n + " " + (plurals.select(n) === "one" ? one : (many || one + "s"));
}

// Automation error numbers as the component's documentation writes them.
function hex(n) {
  return "0x" + (Number(n) >>> 0).toString(16).toUpperCase().padStart(8, "0");
}

function say(code, text) {
  const state = $("state");
  state.dataset.code = code;
  state.className = "state " + (code === "connected" ? "ok" : code === "connecting" ? "" :
                                code === "question" ? "wait" : "error");
  state.textContent = text;
}

function log(task, text, kind) {
  const li = document.createElement("li");
  li.textContent = text;
  if (kind)
    li.className = kind;
  $(task + "-log").append(li);
  return li;
}

function summary(task, text, failed) {
  const s = $(task + "-summary");
  s.textContent = text;
  s.className = "summary" + (failed ? " failed" : "");
}

function failureText(e) {
  const origin = location.origin;
  switch (e.code) {
  case "not-running":
    return "Tessarix is not running on this computer.\n" +
      "Start it with the command  tessarix serve" + (Number($("port").value) !== Tessarix.DEFAULT_PORT
        ? " --port " + $("port").value : "") +
      "  (or log out and in again if it is set to start with your session), then press Connect.";
  case "origin-refused":
    if (e.denied) {
      return "This site (" + origin + ") was denied when Tessarix asked on this computer.\n" +
        "To trust it, run the command  tessarix trust " + origin + "  and press Connect.";
    }
    return "Tessarix on this computer does not trust this site (" + origin + ").\n" +
      "If this is your CMS, allow it with the command  tessarix trust " + origin +
      "  and press Connect. No restart is needed.";
  case "access-denied":
    return "Your browser did not let this page reach apps on this computer.\n" +
      "Click the site icon left of the address, allow access to apps and services on this " +
      "device (local network access), then press Connect.";
  case "connection-lost":
    return "The connection to Tessarix was lost (" + e.message + ").\nPress Connect to open it again.";
  case "automation":
    return "The control reported error " + hex(e.number) + ": " + (e.description || "no description") +
      (e.source ? " (" + e.source + ")" : "");
  default:
    return e.message;
  }
}

// A control's own error line, "(number)[source]description;", with the number in hex.
function logText(text) {
  const m = /^\((-?\d+)\)\[([^\]]*)\](.*?);?$/s.exec(text);
  return m ? "Error " + hex(m[1]) + (m[2] ? " from " + m[2] : "") + ": " + m[3] : text;
}

// Why a button cannot be pressed now, next to it and read with it.
function explain() {
  for (const task of Object.keys(titles)) {
    const button = $(task + "-go");
    let why = "";
    if (!tx)
      why = "Waits for the connection to Tessarix (see above).";
    else if (running === task)
      why = open[task] ? "Running: close its window when you are done." : "Running…";
    else if (running)
      why = "Waits for “" + titles[running] + "” to finish" + (open[running] ? " (close its window)." : ".");
    button.disabled = why !== "";
    $(task + "-why").textContent = why;
  }
  // A Retry waits like the task buttons do.
  for (const retry of document.querySelectorAll("button.retry:not([data-used])")) {
    retry.disabled = !tx || running !== null;
    retry.title = !tx ? "Waits for the connection to Tessarix." :
      running ? "Waits for “" + titles[running] + "” to finish." : "";
  }
}

async function connect() {
  $("connect").disabled = true;
  say("connecting", "Connecting…");
  try {
    if (tx)
      tx.close();
    tx = null;
    explain();
    tx = await Tessarix.connect({
      port: Number($("port").value),
      onWaiting: (status) => {
        if (status.question === "open") {
          say("question", "Tessarix is asking on this computer's screen whether this site may use it.\n" +
            "Answer the question there: Allow once, or Always for this site.");
        }
      }
    });
    tx.on("close", (e) => {
      tx = null;
      explain();
      say(e.code, failureText(e));
    });
    say("connected", "Connected to Tessarix " + tx.status.version + ".");
  } catch (e) {
    tx = null;
    say(e.code || "error", failureText(e));
  } finally {
    $("connect").disabled = false;
    explain();
  }
}

function bytes(n) {
  const units = ["B", "KB", "MB", "GB"];
  let i = 0;
  for (; n >= 1000 && i < units.length - 1; ++i)
    n /= 1000;
  return (i === 0 ? n : n.toFixed(1)) + " " + units[i];
}

function duration(s) {
  if (s < 60)
    return count(Math.max(1, Math.round(s)), "second");
  if (s < 3600)
    return count(Math.round(s / 60), "minute");
  return count(Math.round(s / 3600), "hour");
}

// Speed and time left from the bar's values; bytes only where the size is known.
function meter(task) {
  const out = $(task + "-rate");
  let start = 0, size = null;
  return {
    size(n) { size = n; },
    value(v) {
      const now = performance.now();
      if (v <= 0 || !start) {
        start = now;
        out.textContent = "";
        return;
      }
      const seconds = (now - start) / 1000;
      if (v >= 100 || seconds < 1) {
        if (v >= 100)
          out.textContent = "";
        return;
      }
      const done = v / 100;
      const parts = [];
      if (size)
        parts.push(bytes(size * done / seconds) + "/s");
      parts.push("about " + duration(seconds * (1 - done) / done) + " left");
      out.textContent = parts.join(" · ");
    },
    say(text) { out.textContent = text; }
  };
}

function host(url) {
  try {
    return new URL(url).host;
  } catch (e) {
    return url;
  }
}

function reasonOf(answer, boxes) {
  if (answer && !/200 OK/.test(answer.status))
    return answer.status + (answer.line ? " — " + answer.line : "");
  if (answer)
    return "the server's answer was empty";
  const box = boxes.find((b) => b.icon === "critical" || b.icon === "exclamation" || b.icon === "");
  return box ? box.text : "no answer from the server (it could not be reached, closed the connection, or did not answer in time)";
}

// Follows one control of a task: its bar, its log lines, the answers its uploads
// received and the boxes it showed. `seen` keeps them for the task to judge.
function follow(task, control, preferred) {
  const bar = $(task + "-progress");
  const rate = meter(task);
  bar.value = 0;
  delete bar.dataset.failed;
  bar.removeAttribute("aria-valuetext");
  let child = null;
  const seen = { answers: [], boxes: [], rate, onAnswer: null, onBox: null };
  control.on("progress", (e) => {
    if (child === null || e.child === preferred)
      child = e.child;
    if (e.child === child) {
      bar.value = e.value;
      rate.value(e.value);
    }
    bar.dataset.events = String(Number(bar.dataset.events || 0) + 1);
  });
  control.on("log", (e) => {
    const text = logText(e.text);
    log(task, text, text !== e.text ? "error" : "");
  });
  control.on("answer", (e) => {
    seen.answers.push(e);
    if (!e.file && /200 OK/.test(e.status))
      articleStored(task, e.line);
    if (seen.onAnswer)
      seen.onAnswer(e);
  });
  control.on("box", (e) => {
    seen.boxes.push(e);
    if (seen.onBox)
      seen.onBox(e);
    else
      log(task, e.title + ": " + e.text + (e.buttons !== "OK" ? " — " + e.answer : ""),
          e.icon === "critical" || e.icon === "exclamation" ? "error" : "");
  });
  return seen;
}

async function refreshArticles() {
  try {
    const answer = await fetch("/admin/articles", { cache: "no-store" });
    if (answer.ok)
      $("article-list").innerHTML = await answer.text();  // the server escapes every stored text
  } catch (e) {
    // the list stays as it was
  }
}

// An article post was answered: the list shows it at once, and the newest is linked.
async function articleStored(task, id) {
  const number = /^\s*(\d+)/.exec(id || "");
  log(task, number ? "Article " + number[1] + " stored." : "Article stored.", "ok");
  await refreshArticles();
  if (!number)
    return;
  const newest = $("newest");
  newest.textContent = "Newest: ";
  const a = document.createElement("a");
  a.href = "/article/" + number[1];
  a.target = "_blank";
  const row = [...document.querySelectorAll("#articles tr")].find((tr) => tr.cells[0] &&
    tr.cells[0].textContent === number[1]);
  a.textContent = row && row.cells[1] ? row.cells[1].textContent : "article " + number[1];
  newest.append(a);
}

// One task at a time: a control's call runs until its work is done. A task's work
// answers "failed" when what it did failed without an exception.
async function run(task, work) {
  if (!tx || running)
    return;
  running = task;
  explain();
  $(task).dataset.state = "running";
  summary(task, "");
  let state = "done";
  try {
    if (await work() === "failed")
      state = "failed";
  } catch (e) {
    log(task, failureText(e), "error");
    summary(task, "Failed: " + failureText(e), true);
    state = "failed";
  }
  // The list shows what the task stored by the time the task shows as ended.
  await refreshArticles();
  $(task).dataset.state = state;
  running = null;
  explain();
}

function markFailed(task, text) {
  const bar = $(task + "-progress");
  bar.dataset.failed = "true";
  bar.setAttribute("aria-valuetext", text);
}

async function uploadFile(chosen) {
  let path = chosen;
  // A connection may name only the files it chose: after a reconnect the bridge
  // has forgotten the earlier choice, so the editor chooses the file again.
  if (path && !chosenOn.get(tx)?.has(path)) {
    log("file", "Tessarix was reconnected since " + path + " was chosen: choose it again to upload it.");
    path = null;
  }
  if (!path) {
    const paths = await tx.choose({ folder: false, multiple: false });
    if (paths.length === 0)
      return "done";
    path = paths[0];
    if (!chosenOn.has(tx))
      chosenOn.set(tx, new Set());
    chosenOn.get(tx).add(path);
  }
  const url = $("upload-url").value;
  const f = await tx.create("Tessarix5.FileUpload");
  try {
    const seen = follow("file", f, "pbFile");
    try {
      seen.rate.size(await f.GetFileSize(path));
    } catch (e) {
      // over 2 GiB or gone: the upload itself will say so
    }
    // The control keeps its last name after a failure; empty tells one apart.
    await f.set("NewFileName", "");
    await f.StartUpload($("folder").value, url, path, 0);
    const stored = await f.get("NewFileName");
    if (stored === "" || stored === "Error") {
      const reason = reasonOf(seen.answers.at(-1), seen.boxes);
      const li = log("file", "Failed: " + path + " to " + host(url) + " — " + reason, "error");
      const retry = document.createElement("button");
      retry.type = "button";
      retry.className = "retry";
      retry.textContent = "Retry";
      retry.setAttribute("aria-label", "Retry uploading " + path);
      retry.onclick = () => {
        if (!tx || running)
          return;  // its title says what it waits for
        retry.disabled = true;
        retry.dataset.used = "true";
        run("file", () => uploadFile(path));
      };
      li.append(retry);
      explain();
      summary("file", "Upload failed: " + path + " — " + reason, true);
      markFailed("file", "failed");
      seen.rate.say("failed");
      return "failed";
    }
    summary("file", "Stored " + path + " as " + stored + ".");
    log("file", path + " → " + stored, "ok");
    return "done";
  } finally {
    await f.release();
  }
}

// A control whose work is started from its own window: the task ends when the
// editor closes that window.
async function withWindow(task, progId, init, preferred, watch) {
  const c = await tx.create(progId);
  open[task] = c;
  explain();
  const seen = follow(task, c, preferred);
  const verdict = watch ? watch(seen) : () => "done";
  const connection = tx;
  let lost = null;
  const ended = new Promise((resolve) => {
    c.on("closed", resolve);
    lost = resolve;
    connection.on("close", lost);
  });
  try {
    await init(c);
    await c.show();
    log(task, "The window is open; close it when you are done.");
    const why = await ended;
    if (why instanceof Tessarix.TessarixError)
      throw why;  // the connection went before the window closed
    return verdict();
  } finally {
    connection.off("close", lost);
    delete open[task];
    if (tx)
      await c.release().catch(() => {});
  }
}

// The folder upload: each file as the server answers it, the failed ones listed
// with their reasons (from the answers and from the boxes the window showed).
function watchTree(seen) {
  let stored = 0, expectBox = false;
  const failed = [];
  const fail = (text) => {
    failed.push(text);
    log("tree", "Failed: " + text, "error");
    $("tree-rate").textContent = count(failed.length, "file") + " failed";
    markFailed("tree", count(failed.length, "file") + " failed");
  };
  seen.onAnswer = (e) => {
    if (/200 OK/.test(e.status)) {
      ++stored;
      log("tree", "Stored " + e.file + (e.line ? " as " + e.line : ""), "ok");
    } else {
      fail(e.file + " — " + e.status + (e.line ? " — " + e.line : ""));
      expectBox = true;  // the window's own box about this answer follows
    }
  };
  seen.onBox = (e) => {
    const problem = e.icon === "critical" || e.icon === "exclamation";
    if (problem && expectBox)
      expectBox = false;
    else if (problem)
      fail(e.text.replace(/\n/g, " — "));
    else
      log("tree", e.text);
  };
  return () => {
    const total = stored + failed.length;
    if (total === 0) {
      summary("tree", "No file was uploaded.");
      return "done";
    }
    if (failed.length === 0) {
      summary("tree", count(stored, "file") + " stored.");
      return "done";
    }
    summary("tree", count(total, "file") + ": " + stored + " stored, " + failed.length + " failed:\n" +
      failed.join("\n"), true);
    return "failed";
  };
}

// The picture batch: each picture as stored, each failure with its reason.
function watchPictures(seen) {
  let stored = 0, failed = 0;
  seen.onAnswer = (e) => {
    if (!e.file)
      return;
    if (/200 OK/.test(e.status)) {
      ++stored;
      log("pictures", "Picture stored: " + e.file, "ok");
    } else {
      ++failed;
      log("pictures", "Failed: " + e.file + " — " + e.status + (e.line ? " — " + e.line : ""), "error");
      markFailed("pictures", count(failed, "picture") + " failed");
    }
  };
  return () => {
    if (stored + failed === 0)
      return "done";
    summary("pictures", count(stored, "picture") + " stored" + (failed ? ", " + failed + " failed." : "."),
            failed > 0);
    return failed ? "failed" : "done";
  };
}

const importers = {
  doc: "ImportDocFile", docx: "ImportDocFile", rtf: "ImportDocFile", odt: "ImportDocFile",
  xls: "ImportXlsFile", xlsx: "ImportXlsFile", ods: "ImportXlsFile",
  ppt: "ImportPPTFile", pptx: "ImportPPTFile", odp: "ImportPPTFile",
  txt: "ImportTxtFile"
};

async function importOffice() {
  const paths = await tx.choose({ folder: false, multiple: true });
  if (paths.length === 0)
    return "done";
  const o = await tx.create("Tessarix5.OfficeImport");
  let imported = 0, failed = 0;
  try {
    const seen = follow("office", o, "pbFile");
    // Article posts get no Retry: one that timed out may have been stored.
    seen.onAnswer = (e) => {
      if (!e.file)
        return;
      if (/200 OK/.test(e.status))
        log("office", "Picture stored: " + e.file + (e.line ? " as " + e.line : ""), "ok");
      else
        log("office", "Failed: picture " + e.file + " — " + e.status + (e.line ? " — " + e.line : ""), "error");
    };
    const column = Number($("column").value) || 0;
    await o.Init($("upload-url").value, $("post-url").value, $("folder").value, column, $("user").value);
    for (const path of paths) {
      const ext = path.slice(path.lastIndexOf(".") + 1).toLowerCase();
      const member = importers[ext];
      if (!member) {
        ++failed;
        log("office", path + ": not an office document or text file", "error");
        continue;
      }
      try {
        const colId = member === "ImportTxtFile" ? column : String(column);
        const result = await o[member](path, colId, $("user").value);
        ++imported;
        log("office", path + " imported as " + count(Number(result) || 0, "article"), "ok");
      } catch (e) {
        if (e.code !== "automation")
          throw e;
        ++failed;
        log("office", path + ": " + failureText(e), "error");
      }
    }
  } finally {
    await o.release();
  }
  summary("office", count(imported, "document") + " imported" + (failed ? ", " + failed + " failed." : "."),
          failed > 0);
  return failed ? "failed" : "done";
}

async function capture() {
  const s = await tx.create("Tessarix5.ScreenShot");
  try {
    follow("capture", s, "pbFile");
    await s.BeginScreenShot($("folder").value, $("upload-url").value, 0);
    const name = await s.get("FileName");
    if (!name) {
      summary("capture", "Nothing was captured (the capture was cancelled).");
      return "done";
    }
    log("capture", "Captured and stored as " + name, "ok");
    summary("capture", "Stored the capture as " + name + ".");
    return "done";
  } finally {
    await s.release();
  }
}

function start() {
  const params = new URLSearchParams(location.search);
  if (params.get("port"))
    $("port").value = params.get("port");
  $("upload-url").value = scripts + "/upload.asp";
  $("post-url").value = scripts + "/cms/savepost.asp";
  const column = () => Number($("column").value) || 0;
  $("connect").onclick = connect;
  $("refresh").onclick = refreshArticles;
  $("file-go").onclick = () => run("file", () => uploadFile(null));
  $("tree-go").onclick = () => run("tree", () => withWindow("tree", "Tessarix5.MultiUpload",
    (m) => m.StartUpload($("folder").value, $("upload-url").value), "pb", watchTree));
  $("office-go").onclick = () => run("office", importOffice);
  $("pictures-go").onclick = () => run("pictures", () => withWindow("pictures", "Tessarix5.ImageImport",
    (i) => i.Init($("upload-url").value, $("post-url").value, $("folder").value, column(),
                  $("user").value, $("watermark").value), "pbFile", watchPictures));
  $("capture-go").onclick = () => run("capture", capture);
  // For tools that drive the controls' windows (tests, demos): the connection and
  // the controls whose windows are open.
  window.tessarixAdmin = { connection: () => tx, open };
  explain();
  connect();
}

start();
