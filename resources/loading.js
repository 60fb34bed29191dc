// The loading page: where the reading stands (still reading, or finished and what was found,
// or no backup at all), the lines of the detailed log as they come, and the skip button.
import { hasLines, readLog, readingStatus, showLog } from "./log.js";
import { fillLines } from "./ui.js";

const app = window.appController;
const $ = (id) => document.getElementById(id);
let shown = null;

function poll() {
  const text = app.getDetailedLog();
  if (text === shown) return;
  shown = text;
  const status = readingStatus(readLog(text));
  $("reading").textContent = status.text;
  document.body.classList.toggle("read", status.done);
  if (status.done) {
    $("title").textContent = status.found ? "Your backups are read" : "No backup found";
    $("skip").textContent = status.found ? "Show them without Facebook" : "See what to do";
  }
  // The log grows by whole lines; until its first, the controller answers a sentence instead.
  if (hasLines(text)) showLog($("log"), text);
  else fillLines($("log"), ["Nothing read yet."]);
}

$("skip").addEventListener("click", (e) => {
  if (!app) return;
  e.target.disabled = true;
  $("status").textContent = "Going on without Facebook…";
  app.ignoreFacebook();
});

if (app) {
  poll();
  setInterval(poll, 700);
} else {
  $("status").textContent = "This page is shown by Ovra: open the address that Ovra printed.";
}
