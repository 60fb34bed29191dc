// The top of the main page and the accounts: the overview's figures in the date range, the
// story in a few sentences (each link leading to its view), and how the events read add up.
import { accounts } from "./log.js";
import { MIN_EVENTS } from "./reader.js";
import { story } from "./story.js";
import { number, day, duration, el, fillStats, inWords, linkButton } from "./ui.js";
import { EXPLAIN } from "./words.js";

const $ = (id) => document.getElementById(id);

// The overview; ACTIONS: {openDay(day), go(target)}.
export function drawOverview(model, actions) {
  const t = model.total;
  const busiest = () => {
    if (!Number.isFinite(t.busiestDay)) return "none";
    const box = document.createDocumentFragment();
    box.append(linkButton(`${day(t.busiestDay)}`, () => actions.openDay(t.busiestDay)),
               ` ${number.format(t.busiestCount)} events`);
    if (t.busiestTies > 1) {
      box.append(el("span", `, first of ${number.format(t.busiestTies)} such days`, "aside"));
    }
    return box;
  };
  const events = document.createDocumentFragment();
  const addUp = linkButton("how they add up", () => actions.go({ tab: "log" }));
  addUp.classList.add("add-up");
  events.append(number.format(t.events), " ", addUp);
  fillStats($("overview"), [
    ["People", number.format(t.people), EXPLAIN.people],
    ["Events", events, EXPLAIN.event],
    ["Messages", `${number.format(t.sent)} sent, ${number.format(t.received)} received`],
    ["Calls", `${number.format(t.calls)} (${duration(t.callTime)})`],
    ...(t.threads ? [["Social-network messages", number.format(t.threads), EXPLAIN.threads]] : []),
    ["Busiest day", busiest(), EXPLAIN.busiest],
  ]);
}

// The story's sentences, each link a button that goes to its view.
export function drawStory(model, go) {
  const box = $("story");
  const parts = story(model).flatMap((sentence) => [...sentence, " "]);
  box.replaceChildren(...parts.map((part) =>
    (typeof part === "string" ? part : linkButton(part.text, () => go(part.go)))));
  box.hidden = !parts.length;
}

// How the events read add up, from the reading summary and the model, into the accounts
// table: every message and call read is with a person shown, with a person below the
// threshold, from a number not in the contacts, or without a number.
export function drawAccounts(model, summary) {
  const a = accounts(model, summary);
  const n = (x) => number.format(x);
  const few = inWords(MIN_EVENTS);
  const rows = [];
  if (!a) {
    rows.push(["Events shown", `${n(model.tl.count)}, with ${n(model.people.length)} people; ` +
               "the reading gives no totals to set them against"]);
  } else {
    rows.push(["Messages and calls read from the backups", n(a.read)]);
    rows.push([`… with the ${n(a.people)} people shown`, n(a.shown)]);
    rows.push([`… with ${n(a.fewerPeople)} people who have fewer than ${few} events`, n(a.fewer)]);
    rows.push(["… from numbers not in your contacts", n(a.unknown)]);
    if (a.noNumber) rows.push(["… without a number", n(a.noNumber)]);
    if (a.threads) rows.push(["Social-network messages with the people shown (not in the backups)", n(a.threads)]);
    rows.push(["Contacts read", n(a.contacts)]);
    rows.push([`… with ${few} or more events, shown`, n(a.people)]);
    rows.push([`… with fewer than ${few} events, not shown`, n(a.fewerPeople)]);
    if (a.silent) rows.push(["… with no message or call", n(a.silent)]);
  }
  $("accounts").tBodies[0].replaceChildren(...rows.map(([what, figure]) => {
    const row = el("tr"), th = el("th", what);
    th.scope = "row";
    row.append(th, el("td", figure));
    return row;
  }));
  return a;
}
