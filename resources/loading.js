// The loading page: where the reading stands (still reading, or finished and what was found,
// or no backup at all), the lines of the detailed log as they come, and the skip button.
import { hasLines, readLog, readSummary, readingStatus, showLog } from "./log.js";
import { fillLines } from "./ui.js";

const app = window.appController;
const $ = (id) => document.getElementById(id);
let shown = null, timer = null;

function poll() {
  // The summary first: once it says the reading finished, the log read after it is whole.
  const summaryText = app.getReadingSummary();
  const text = app.getDetailedLog();
  if (text + summaryText === shown) return;
  shown = text + summaryText;
  const summary = readSummary(summaryText);
  const status = readingStatus(readLog(text), summary);
  $("reading").textContent = status.text;
  document.body.classList.toggle("read", status.done);
  if (status.done) {
    // Without a contact nothing can be shown, signed in or not: say so at once.
    const nobody = !status.found || !summary.contacts;
    $("title").textContent = status.found ? "Your backups are read" : "No backup found";
    $("skip").textContent = nobody ? "See what to do" : "Show them without Facebook";
    clearInterval(timer);  // nothing more is read
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
  timer = setInterval(poll, 700);
  poll();
} else {
  $("status").textContent = "This page is shown by Ovra: open the address that Ovra printed.";
}
