// The detailed log: an HTML fragment of whole lines, each ending in "<br/>", read back as
// plain text (no markup in it is ever drawn), and what its lines say: the backups read and
// the running totals, whether and where the reading finished, and how the events were
// matched. No DOM here but in showLog.
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
// The end of the reading, naming the folder read: "Finished reading DIR: N backup(s) read"
// ("no backup read" when there was none).
const FINISHED = /^Finished reading (.+): (no|\d+) backups? read$/;
// The reading found no backup at all in the folder it looked in.
const NONE_FOUND = /^No valid backup folders found in (.+)$/;
// How the events were matched with the contacts.
const MATCHED = new RegExp("^Matched (\\d+) communication events: (\\d+) to the (\\d+) people shown, " +
                           "(\\d+) to people with fewer than five events, (\\d+) from numbers or " +
                           "names not in the contacts, (\\d+) without a number$");
const PROBLEM = /^Error |cannot be|not read|: not read$/;

// What the log says: {lines, backups: [{device, contacts, events}], contacts, events (the
// last running totals, NaN before any backup), finished: {folder, read} or null, matched:
// {events, shown, people, fewer, unknown, noNumber} or null, problems: lines}.
export function readLog(html) {
  const lines = hasLines(html) ? logLines(html) : [];
  const out = { lines, backups: [], contacts: NaN, events: NaN, finished: null, matched: null,
                problems: [] };
  for (const line of lines) {
    let m;
    if ((m = READ.exec(line))) {
      out.backups.push({ device: m[1], contacts: Number(m[2]), events: Number(m[3]) });
      out.contacts = Number(m[2]);
      out.events = Number(m[3]);
    } else if ((m = FINISHED.exec(line))) {
      out.finished = { folder: m[1], read: m[2] === "no" ? 0 : Number(m[2]) };
    } else if ((m = NONE_FOUND.exec(line))) {
      out.finished = { folder: m[1], read: 0 };
    } else if ((m = MATCHED.exec(line))) {
      const [events, shown, people, fewer, unknown, noNumber] = m.slice(1).map(Number);
      out.matched = { events, shown, people, fewer, unknown, noNumber };
    } else if (PROBLEM.test(line)) {
      out.problems.push(line);
    }
  }
  return out;
}

// How the events read add up: read from the backups (the log's last running total, which
// counts messages and calls), with the people shown (the timeline's messages and calls),
// and the rest, split by the log's matching line when it has one. Social-network messages
// come from elsewhere and are counted apart. Null without a running total.
export function accounts(model, log) {
  const { tl, people } = model, threads = tl.threads;
  const shown = tl.count - threads;
  const contacts = log.contacts;
  const out = { read: log.events, shown, threads, people: people.length, contacts,
                fewerPeople: Number.isFinite(contacts) ? Math.max(0, contacts - people.length) : NaN,
                rest: log.events - shown, unknown: NaN, fewer: NaN, noNumber: NaN };
  if (log.matched) Object.assign(out, { unknown: log.matched.unknown, fewer: log.matched.fewer,
                                        noNumber: log.matched.noNumber });
  return Number.isFinite(log.events) ? out : null;
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

// Where the reading stands, in words, from what the log says: {done, found, text}. `done`
// is known only from the line that ends the reading; `found` counts the backups read.
export function readingStatus(log) {
  const last = log.backups.at(-1);
  const found = log.backups.length;
  const devices = log.backups.map((b) => b.device).join(", ");
  const summary = last ? `${plural(found, "backup", "backups")} (${devices}), ` +
    `with ${plural(last.contacts, "contact", "contacts")} and ` +
    `${plural(last.events, "message or call", "messages and calls")}` : "";
  if (log.finished) {
    if (!found) {
      return { done: true, found, summary, text: `No backup found in ${log.finished.folder}.` +
               (log.problems.length ? " What was there could not be read (see below)." : "") };
    }
    return { done: true, found, summary, text: `Reading finished: read ${summary}.` };
  }
  if (!found) return { done: false, found, summary, text: "Looking for backups…" };
  return { done: false, found, summary, text: `So far: ${summary}.` };
}
