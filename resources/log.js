// The detailed log, the view of "What was read": an HTML fragment of whole lines, each ending
// in "<br/>", read back as plain text; no markup in it is ever drawn.
import { fillLines } from "./ui.js";

const LINE_END = /<br\s*\/?>/i;
const ENTITIES = { amp: "&", lt: "<", gt: ">", quot: '"', apos: "'", "#39": "'" };

// The fragment's lines as text, its entities read back. A text without a line end (the
// controller's sentence for an empty log) is one line.
export function logLines(html) {
  return String(html ?? "").split(LINE_END).map((line) =>
    line.replace(/&(amp|lt|gt|quot|apos|#39);/g, (_, e) => ENTITIES[e]).trim()).filter(Boolean);
}

// Whether anything was logged yet: the log grows by whole lines only.
export const hasLines = (html) => LINE_END.test(String(html ?? ""));

export function showLog(list, html) {
  fillLines(list, logLines(html));
}
