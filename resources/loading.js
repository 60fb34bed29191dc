// The loading page: the lines of the detailed log as they come, and the skip button.
import { showLog } from "./log.js";
import { fillLines } from "./ui.js";

const app = window.appController;
const log = document.getElementById("log");
const status = document.getElementById("status");
let shown = "";

function poll() {
  const text = app.getDetailedLog();
  if (text === shown) return;
  shown = text;
  // Before the first backup is read the controller says that none was found yet.
  if (text === "No valid backup folders found") fillLines(log, ["Looking for backups…"]);
  else showLog(log, text);
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
