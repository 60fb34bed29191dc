// The no-data page: why there is nothing to show, told apart by the detailed log (no backup
// found, naming the folder when the log does; backups that could not be read; or backups
// read with nobody reaching the threshold), and the log itself as text.
import { readLog, readingStatus, showLog } from "./log.js";
import { MIN_EVENTS } from "./reader.js";
import { inWords } from "./ui.js";

const $ = (id) => document.getElementById(id);
const text = window.appController?.getDetailedLog() ?? "";
const log = readLog(text);
const status = readingStatus(log);
const threshold = inWords(MIN_EVENTS);
for (const node of document.querySelectorAll(".threshold")) node.textContent = threshold;

let why;
if (log.backups.length) {
  $("title").textContent = `Backups read, but nobody with ${threshold} or more events`;
  why = `Read ${status.summary}, but you have fewer than ${threshold} with each of them.`;
} else if (log.problems.length) {
  $("title").textContent = "Backups found, but none could be read";
  why = "The log below says what stood in the way.";
} else {
  $("title").textContent = "No backup found";
  why = log.finished
    ? `No backup found in ${log.finished.folder}.`
    : "No backup found in Library/Application Support/MobileSync/Backup in your home folder.";
}
$("why").textContent = why;
document.body.classList.toggle("nothing-found", !log.backups.length);
showLog($("log"), text);
