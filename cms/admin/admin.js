// The editor's page: every control runs on the editor's computer through the
// Tessarix bridge; this page only drives them with tessarix.js.
"use strict";

const $ = (id) => document.getElementById(id);
const scripts = document.body.dataset.scripts;
let tx = null;
const open = {};  // task → the control it keeps while its window is open

function say(code, text) {
  const state = $("state");
  state.dataset.code = code;
  state.className = "state " + (code === "connected" ? "ok" : code === "connecting" ? "" : "error");
  state.textContent = text;
}

function log(task, text, isError) {
  const li = document.createElement("li");
  li.textContent = text;
  if (isError)
    li.className = "error";
  $(task + "-log").append(li);
}

function failureText(e) {
  const origin = location.origin;
  switch (e.code) {
  case "not-running":
    return "Tessarix is not running on this computer.\n" +
      "Start it with the command  tessarix serve  (or log out and in again if it is set to start " +
      "with your session), then press Connect.";
  case "origin-refused":
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
    return "The control reported an error: " + e.description + " (" + e.number + ")";
  default:
    return e.message;
  }
}

function setBusy(busy) {
  for (const b of document.querySelectorAll(".task button"))
    b.disabled = busy || !tx;
}

async function connect() {
  $("connect").disabled = true;
  say("connecting", "Connecting…");
  try {
    if (tx)
      tx.close();
    tx = null;
    tx = await Tessarix.connect({ port: Number($("port").value) });
    tx.on("close", (e) => {
      tx = null;
      setBusy(false);
      say(e.code, failureText(e));
    });
    say("connected", "Connected to Tessarix " + tx.status.version + ".");
  } catch (e) {
    tx = null;
    say(e.code || "error", failureText(e));
  } finally {
    $("connect").disabled = false;
    setBusy(false);
  }
}

function followProgress(task, control, preferred) {
  const bar = $(task + "-progress");
  bar.value = 0;
  let child = null;
  control.on("progress", (e) => {
    if (child === null || e.child === preferred)
      child = e.child;
    if (e.child === child)
      bar.value = e.value;
    bar.dataset.events = String(Number(bar.dataset.events || 0) + 1);
  });
  control.on("log", (e) => log(task, e.text));
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

// One task at a time: a control's call runs until its work is done.
async function run(task, work) {
  if (!tx)
    return;
  setBusy(true);
  $(task).dataset.state = "running";
  let state = "done";
  try {
    await work();
  } catch (e) {
    log(task, failureText(e), true);
    state = "failed";
  }
  // The list shows what the task stored by the time the task shows as ended.
  await refreshArticles();
  $(task).dataset.state = state;
  setBusy(false);
}

async function uploadFile() {
  const paths = await tx.choose({ folder: false, multiple: false });
  if (paths.length === 0)
    return;
  const f = await tx.create("Tessarix5.FileUpload");
  try {
    followProgress("file", f, "pbFile");
    await f.StartUpload($("folder").value, $("upload-url").value, paths[0], 0);
    const stored = await f.get("NewFileName");
    log("file", paths[0] + " → " + stored);
  } finally {
    await f.release();
  }
}

// A control whose work is started from its own window: the task ends when the
// editor closes that window.
async function withWindow(task, progId, init, preferred) {
  const c = await tx.create(progId);
  open[task] = c;
  followProgress(task, c, preferred);
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
  } finally {
    connection.off("close", lost);
    delete open[task];
    if (tx)
      await c.release().catch(() => {});
  }
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
    return;
  const o = await tx.create("Tessarix5.OfficeImport");
  try {
    followProgress("office", o, "pbFile");
    const column = Number($("column").value) || 0;
    await o.Init($("upload-url").value, $("post-url").value, $("folder").value, column, $("user").value);
    for (const path of paths) {
      const ext = path.slice(path.lastIndexOf(".") + 1).toLowerCase();
      const member = importers[ext];
      if (!member) {
        log("office", path + ": not an office document or text file", true);
        continue;
      }
      try {
        const colId = member === "ImportTxtFile" ? column : String(column);
        const result = await o[member](path, colId, $("user").value);
        log("office", path + " imported (" + result + ")");
      } catch (e) {
        if (e.code !== "automation")
          throw e;
        log("office", path + ": " + failureText(e), true);
      }
    }
  } finally {
    await o.release();
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
  $("file-go").onclick = () => run("file", uploadFile);
  $("tree-go").onclick = () => run("tree", () => withWindow("tree", "Tessarix5.MultiUpload",
    (m) => m.StartUpload($("folder").value, $("upload-url").value), "pb"));
  $("office-go").onclick = () => run("office", importOffice);
  $("pictures-go").onclick = () => run("pictures", () => withWindow("pictures", "Tessarix5.ImageImport",
    (i) => i.Init($("upload-url").value, $("post-url").value, $("folder").value, column(),
                  $("user").value, $("watermark").value), "pbFile"));
  // For tools that drive the controls' windows (tests, demos): the connection and
  // the controls whose windows are open.
  window.tessarixAdmin = { connection: () => tx, open };
  connect();
}

start();
