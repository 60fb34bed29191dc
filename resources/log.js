// The detailed log: an HTML fragment of whole lines, each ending in "<br/>", read back as
// plain text (no markup in it is ever drawn), and what its lines say: the backups read and
// the running totals. The controller's reading summary says whether and where the reading
// finished and how the events read divide up. No DOM here but in showLog.
import { el } from "./ui.js";

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

// The lines the pages understand. A backup read, with the running totals after it:
const READ = /^Read backup of (.*)\. In total so far: (\d+) contacts and (\d+) communication events$/;
const PROBLEM = /^Error |cannot be|not read|: not read$/;

// What the log says: {lines, backups: [{device, contacts, events}], contacts, events (the
// last running totals, NaN before any backup), problems: lines}.
export function readLog(html) {
  const lines = hasLines(html) ? logLines(html) : [];
  const out = { lines, backups: [], contacts: NaN, events: NaN, problems: [] };
  for (const line of lines) {
    let m;
    if ((m = READ.exec(line))) {
      out.backups.push({ device: m[1], contacts: Number(m[2]), events: Number(m[3]) });
      out.contacts = Number(m[2]);
      out.events = Number(m[3]);
    } else if (PROBLEM.test(line)) {
      out.problems.push(line);
    }
  }
  return out;
}

// The controller's reading summary (getReadingSummary's text) as an object, or null when it
// is missing or not a JSON object. See AppController::getReadingSummary for its members.
export function readSummary(text) {
  try {
    const summary = JSON.parse(String(text ?? ""));
    return summary && typeof summary === "object" && !Array.isArray(summary) ? summary : null;
  } catch {
    return null;
  }
}

// How the events read add up, from the reading summary once the events are matched: read
// from the backups = with the people shown + with people below the threshold + from numbers
// not in the contacts + without a number. The contacts divide the same way: shown, below the
// threshold, and without any event. Social-network messages come from elsewhere and are
// counted apart, from the model. Null before the matching.
export function accounts(model, summary) {
  if (!summary?.matched) return null;
  const { events: read, shown, people, fewer, fewerPeople, unknown, noNumber, contacts } = summary;
  return { read, shown, people, fewer, fewerPeople, unknown, noNumber, contacts,
           silent: contacts - people - fewerPeople, threads: model.tl.threads };
}

// The whole log in LIST, one item a line; lines that tell of a problem are marked.
export function showLog(list, html) {
  const log = readLog(html);
  const items = document.createDocumentFragment();
  for (const line of log.lines.length ? log.lines : logLines(html)) {
    const item = el("li", line);
    if (log.problems.includes(line)) item.className = "problem-line";
    items.append(item);
  }
  list.replaceChildren(items);
  return log;
}

const plural = (n, one, many) => `${n.toLocaleString()} ${n === 1 ? one : many}`;

// Where the reading stands, in words, from the log and the reading summary: {done, found,
// summary, text}. `done` is the summary's word; `found` counts the backups read (the log's
// until the end, the summary's then), the devices come from the log's lines.
export function readingStatus(log, summary) {
  const done = Boolean(summary?.finished);
  const last = log.backups.at(-1);
  const found = done ? summary.backups : log.backups.length;
  const contacts = done ? summary.contacts : last?.contacts;
  const events = done ? summary.events : last?.events;
  const devices = log.backups.map((b) => b.device).join(", ");
  const words = found ? `${plural(found, "backup", "backups")}${devices ? ` (${devices})` : ""}, ` +
    `with ${plural(contacts, "contact", "contacts")} and ` +
    `${plural(events, "message or call", "messages and calls")}` : "";
  if (done) {
    if (!found) {
      return { done, found, summary: words, text: `No backup found in ${summary.folder}.` +
               (log.problems.length ? " What was there could not be read (see below)." : "") };
    }
    return { done, found, summary: words, text: `Reading finished: read ${words}.` };
  }
  if (!found) return { done, found, summary: words, text: "Looking for backups…" };
  return { done, found, summary: words, text: `So far: ${words}.` };
}
