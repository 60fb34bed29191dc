// The loading page: the lines of the detailed log as they come, and the skip button.
import { hasLines, showLog } from "./log.js";
import { fillLines } from "./ui.js";

const app = window.appController;
const log = document.getElementById("log");
const status = document.getElementById("status");
let shown = "";

function poll() {
  const text = app.getDetailedLog();
  if (text === shown) return;
  shown = text;
  // The log grows by whole lines; until its first, the controller answers a sentence instead.
  if (hasLines(text)) showLog(log, text);
  else fillLines(log, ["Looking for backups…"]);
}

document.getElementById("skip").addEventListener("click", (e) => {
  if (!app) return;
  e.target.disabled = true;
  status.textContent = "Going on without Facebook…";
  app.ignoreFacebook();
});

if (app) {
  poll();
  setInterval(poll, 700);
} else {
  status.textContent = "This page is shown by Ovra: open the address that Ovra printed.";
}
