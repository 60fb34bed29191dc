// The no-data page: the detailed log, as text.
import { showLog } from "./log.js";

showLog(document.getElementById("log"), window.appController?.getDetailedLog() ?? "");
