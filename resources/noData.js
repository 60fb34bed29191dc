// The no-data page: why there is nothing to show, told apart by the reading summary and the
// detailed log (no backup found in the folder looked in, named whole; backups that could not
// be read; or backups read with nobody reaching the threshold), and the log itself as text.
import { readLog, readSummary, readingStatus, showLog } from "./log.js";
import { MIN_EVENTS } from "./reader.js";
import { inWords } from "./ui.js";

const $ = (id) => document.getElementById(id);
const app = window.appController;
// The summary first: once it says the reading finished, the log read after it is whole.
const summary = readSummary(app?.getReadingSummary());
const text = app?.getDetailedLog() ?? "";
const log = readLog(text);
const status = readingStatus(log, summary);
const threshold = inWords(MIN_EVENTS);
for (const node of document.querySelectorAll(".threshold")) node.textContent = threshold;
const folder = summary?.finished ? summary.folder : null;

let why;
if (status.found) {
  $("title").textContent = `Backups read, but nobody with ${threshold} or more events`;
  why = `Read ${status.summary}, but you have fewer than ${threshold} with each of them.`;
} else if (log.problems.length) {
  $("title").textContent = "Backups found, but none could be read";
  why = `${folder ? `In ${folder}: t` : "T"}he log below says what stood in the way.`;
} else {
  $("title").textContent = "No backup found";
  why = folder !== null ? `No backup found in ${folder}.`
    : "No backup found in Library/Application Support/MobileSync/Backup in your home folder.";
}
$("why").textContent = why;
document.body.classList.toggle("nothing-found", !status.found);
showLog($("log"), text);
