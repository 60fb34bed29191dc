// The no-data page: the threshold in its words, and the detailed log as text.
import { showLog } from "./log.js";
import { MIN_EVENTS } from "./reader.js";
import { inWords } from "./ui.js";

document.getElementById("threshold").textContent = inWords(MIN_EVENTS);
showLog(document.getElementById("log"), window.appController?.getDetailedLog() ?? "");
