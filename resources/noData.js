// The no-data page: the detailed log, as text.
import { logLines } from "./ovra-data.js";
import { el } from "./view.js";

const text = window.appController?.getDetailedLog() ?? "";
document.getElementById("log").replaceChildren(...logLines(text).map((line) => el("li", line)));
