// The figures the pages show, worked out from the prepared timeline (timeline.js) within the
// chosen date range: each person's counts, the overview, a person's rhythm and habits,
// month-by-month series and the yearly arcs. No DOM here, so every figure can be checked in
// node.
import { max, median as middle } from "d3-array";
import { dayOf, dayStart, hourOf, monthOf, monthFirstDay, weekdayOf, yearOf, localYear } from "./calendar.js";

const monthStartUtc = (m) => new Date(monthFirstDay(m) * 86400000);
import { CALL, THREAD, channelsOf, directionOf, emoticonsOf, isMessage, readContacts } from "./reader.js";
import { KINDS, SENT, RECEIVED, CALLS, THREADS, lowerBound, prepareTimeline } from "./timeline.js";

// A conversation starts after six quiet hours; a reply within them is a quick one.
export const QUIET = 6 * 3600;

// The model the pages draw: the prepared timeline, the contacts joined to it by uid (or by
// position), one record per person, and the figures of the whole span (no range). TIMELINE is
// the timeline text or its prepareTimeline; CONTACTS the contact rows' text or readContacts.
export function buildModel(timeline, contacts) {
  const tl = typeof timeline === "string" ? prepareTimeline(timeline || "[]") : timeline;
  if (typeof contacts !== "object") contacts = readContacts(contacts);
  const byUid = new Map(contacts.map((c) => [Number(c.uid), c]));
  const people = [];
  for (let p = 0; p < tl.uids.length; ++p) {
    const contact = byUid.get(tl.uids[p]) ?? contacts[p];
    people.push({ index: p, uid: tl.uids[p], name: contact?.name || `Contact ${tl.uids[p]}`,
                  contact, from: tl.starts[p], to: tl.starts[p + 1], timedTo: tl.timedTo[p],
                  label: "", detail: "" });
  }
  const model = { tl, people, range: null, damaged: tl.damaged, total: null };
  applyRange(model, null);
  model.hasThreads = model.total.threads > 0;
  model.channels = channelsOf(tl.type);
  tellApart(model);
  return model;
}

// Lower case without accents, for search; worked out for a person when first needed.
export const fold = (s) => s.normalize("NFD").replace(/[\u0300-\u036f]/g, "").toLowerCase();
export const searchText = (p) => (p.search ??= fold(p.name));

// A person's emoticons, read from their contact row when first asked for.
export const emoticonsOfPerson = (p) => emoticonsOf(p.contact);

// People who share a name get a detail that tells them apart: the month they were first in
// touch, or their contact number when that month is shared too.
function tellApart(model) {
  const byName = new Map();
  for (const p of model.people) {
    const same = byName.get(p.name);
    if (same) same.push(p); else byName.set(p.name, [p]);
  }
  const format = new Intl.DateTimeFormat(undefined, { year: "numeric", month: "short", timeZone: "UTC" });
  const months = new Map();
  const monthText = (m) => {
    if (!months.has(m)) months.set(m, format.format(monthStartUtc(m)));
    return months.get(m);
  };
  for (const same of byName.values()) {
    if (same.length < 2) {
      same[0].label = same[0].name;
      continue;
    }
    const monthOfFirst = (p) => (p.from < p.timedTo ? monthOf(dayOf(model.tl.local[p.from])) : NaN);
    const count = new Map();
    for (const p of same) count.set(monthOfFirst(p), (count.get(monthOfFirst(p)) ?? 0) + 1);
    for (const p of same) {
      const m = monthOfFirst(p);
      const since = Number.isFinite(m) ? `since ${monthText(m)}` : "";
      p.detail = count.get(m) > 1 || !since ? `contact no. ${p.uid}` : since;
      p.label = `${p.name} (${p.detail})`;
    }
  }
}

// Sets the date range, {fromDay, toDay} on the wall clock, both included, or null for all,
// and works out each person's counts and the overview in it: two binary searches per person
// and a walk over the days table.
export function applyRange(model, range) {
  const { tl } = model;
  if (range) {
    range = { fromDay: range.fromDay, toDay: range.toDay,
              from: dayStart(range.fromDay), to: dayStart(range.toDay + 1) };
  }
  model.range = range;
  const { sent, received, calls, callTime } = tl.cum;
  const total = { people: 0, events: 0, sent: 0, received: 0, calls: 0, callTime: 0,
                  threads: 0, first: NaN, last: NaN };
  for (const p of model.people) {
    const lo = range ? lowerBound(tl.time, range.from, p.from, p.timedTo) : p.from;
    const hi = range ? lowerBound(tl.time, range.to, lo, p.timedTo) : p.to;
    p.lo = lo; p.hi = hi;
    p.volume = hi - lo;
    p.sent = sent[hi] - sent[lo];
    p.received = received[hi] - received[lo];
    p.calls = calls[hi] - calls[lo];
    p.callTime = callTime[hi] - callTime[lo];
    p.messages = p.sent + p.received;
    p.balance = p.messages ? p.sent / p.messages : NaN;
    const timedHi = Math.min(hi, p.timedTo);
    p.first = lo < timedHi ? tl.time[lo] : NaN;
    p.last = lo < timedHi ? tl.time[timedHi - 1] : NaN;
    if (!p.volume) continue;
    ++total.people;
    total.events += p.volume; total.sent += p.sent; total.received += p.received;
    total.calls += p.calls; total.callTime += p.callTime;
    if (!(p.first >= total.first)) total.first = p.first;
    if (!(p.last <= total.last)) total.last = p.last;
  }
  // Events without a time count only when no range is chosen.
  if (range) {
    const [d0, d1] = dayWindow(model);
    for (let d = d0; d < d1; ++d) total.threads += tl.perDay[d * KINDS + THREADS];
  } else {
    total.threads = tl.threads;
  }
  Object.assign(total, busiestDay(model));
  model.total = total;
  return model;
}

// The rows of the days table in the range: [first, end).
function dayWindow(model) {
  const { tl, range } = model;
  if (!tl.days) return [0, 0];
  if (!range) return [0, tl.days];
  const d0 = Math.max(0, range.fromDay - tl.firstDay);
  const d1 = Math.min(tl.days, range.toDay - tl.firstDay + 1);
  return [d0, Math.max(d0, d1)];
}

// The busiest day in the range, its count, and how many days have that count.
function busiestDay(model) {
  const { tl } = model;
  const [d0, d1] = dayWindow(model);
  let best = NaN, count = 0, ties = 0;
  for (let d = d0; d < d1; ++d) {
    let n = 0;
    for (let k = 0; k < KINDS; ++k) n += tl.perDay[d * KINDS + k];
    if (n > count) { count = n; best = d + tl.firstDay; ties = 1; } else if (n && n === count) ++ties;
  }
  return { busiestDay: best, busiestCount: count, busiestTies: ties };
}

const median = (xs) => middle(xs) ?? NaN;

// Everything the person view shows of one person in the range, from their events in it (in
// time order).
export function personDetail(model, person) {
  const { tl } = model;
  const heat = new Uint32Array(7 * 24);
  const started = { you: 0, them: 0 };
  const replies = { you: [], them: [] };
  const durations = [];
  let callsIn = 0, callsOut = 0, unanswered = 0, threads = 0;
  let prev = -1, lastDay = NaN, run = 0, streak = 0, streakEnd = NaN, activeDays = 0;
  const hi = Math.min(person.hi, person.timedTo);
  for (let i = person.lo; i < person.hi; ++i) {
    const ty = tl.type[i], f = tl.flag[i];
    if (ty === CALL) {
      if (f === 4) ++callsIn; else if (f === 5) ++callsOut;
      if (tl.duration[i] === 0) ++unanswered;
      else if (tl.duration[i] > 0) durations.push(tl.duration[i]);
    } else if (ty === THREAD) ++threads;
    if (i >= hi) continue;

    const day = dayOf(tl.local[i]);
    ++heat[weekdayOf(day) * 24 + hourOf(tl.local[i])];
    if (day !== lastDay) {
      run = day === lastDay + 1 ? run + 1 : 1;
      ++activeDays;
      if (run > streak) { streak = run; streakEnd = day; }
      lastDay = day;
    }
    const dir = directionOf(ty, f);
    const gap = prev < 0 ? Infinity : tl.time[i] - tl.time[prev];
    if (gap > QUIET && dir) ++started[dir > 0 ? "you" : "them"];
    // A reply on either channel answers a message on either.
    if (prev >= 0 && gap <= QUIET && isMessage(ty) && isMessage(tl.type[prev])) {
      const before = directionOf(tl.type[prev], tl.flag[prev]);
      if (before && dir && before !== dir) replies[dir > 0 ? "you" : "them"].push(gap);
    }
    prev = i;
  }
  const range = model.range;
  const emoticons = Object.entries(emoticonsOfPerson(person))
    .filter(([, times]) => Array.isArray(times))
    .map(([name, times]) => ({ name, times: times.filter((t) => Number.isFinite(t) &&
                                                        (!range || (t >= range.from && t < range.to))) }))
    .filter((e) => e.times.length)
    .sort((a, b) => b.times.length - a.times.length || (a.name < b.name ? -1 : 1));
  return {
    heat, started, streak, streakEnd, activeDays, callsIn, callsOut, unanswered, threads,
    replyYou: median(replies.you), replyThem: median(replies.them),
    callMedian: median(durations), callLongest: max(durations) ?? NaN,
    emoticons,
  };
}

// The months the range spans (or the data, without one) as [first, last] month numbers.
export function monthSpan(model) {
  const { tl, range } = model;
  if (range) return [monthOf(range.fromDay), monthOf(range.toDay)];
  if (!tl.days) return [1, 0];
  return [monthOf(tl.firstDay), monthOf(tl.firstDay + tl.days - 1)];
}

function emptySeries(lo, hi) {
  const len = Math.max(0, hi - lo + 1);
  return { months: Array.from({ length: len }, (_, k) => lo + k),
           sent: new Array(len).fill(0), received: new Array(len).fill(0),
           calls: new Array(len).fill(0), threads: new Array(len).fill(0) };
}

// Month by month in the range, for a person or, with none, everyone (from the days table):
// month numbers (monthOf) and, for each month, messages sent and received, calls and
// social-network messages.
export function monthlySeries(model, person) {
  const { tl } = model;
  const [lo, hi] = monthSpan(model);
  const out = emptySeries(lo, hi);
  if (!person) {
    const [d0, d1] = dayWindow(model);
    for (let d = d0; d < d1; ++d) {
      const k = monthOf(d + tl.firstDay) - lo, row = d * KINDS;
      out.sent[k] += tl.perDay[row + SENT];
      out.received[k] += tl.perDay[row + RECEIVED];
      out.calls[k] += tl.perDay[row + CALLS];
      out.threads[k] += tl.perDay[row + THREADS];
    }
    return out;
  }
  const end = Math.min(person.hi, person.timedTo);
  for (let i = person.lo; i < end; ++i) {
    const k = monthOf(dayOf(tl.local[i])) - lo, ty = tl.type[i];
    if (isMessage(ty)) {
      const dir = directionOf(ty, tl.flag[i]);
      if (dir > 0) ++out.sent[k]; else if (dir < 0) ++out.received[k];
    } else if (ty === CALL) ++out.calls[k];
    else if (ty === THREAD) ++out.threads[k];
  }
  return out;
}

// Everyone's rhythm in the range: events by day of week (0 Sunday) × 24 + hour.
export function everyoneHeat(model) {
  const { tl } = model;
  const heat = new Uint32Array(7 * 24);
  const [d0, d1] = dayWindow(model);
  for (let d = d0; d < d1; ++d) {
    const row = weekdayOf(d + tl.firstDay) * 24;
    for (let h = 0; h < 24; ++h) heat[row + h] += tl.perHour[d * 24 + h];
  }
  return heat;
}

// Events per year in the range, from the days table: [[year, events], ...] in order.
export function yearTotals(model) {
  const { tl } = model;
  const years = new Map();
  const [d0, d1] = dayWindow(model);
  for (let d = d0; d < d1; ++d) {
    let n = 0;
    for (let k = 0; k < KINDS; ++k) n += tl.perDay[d * KINDS + k];
    if (!n) continue;
    const y = yearOf(d + tl.firstDay);
    years.set(y, (years.get(y) ?? 0) + n);
  }
  return [...years].sort((a, b) => a[0] - b[0]);
}

// The TOP people with the most events in the range, most first (ties by their order), found
// in one pass that keeps the few best.
export function leaders(model, top) {
  const best = [];
  const ahead = (a, b) => a.volume > b.volume || (a.volume === b.volume && a.index < b.index);
  for (const p of model.people) {
    if (!p.volume || (best.length === top && !ahead(p, best[top - 1]))) continue;
    let k = best.length === top ? top - 1 : best.length;
    while (k > 0 && ahead(p, best[k - 1])) {
      best[k] = best[k - 1];
      --k;
    }
    best[k] = p;
  }
  return best;
}

// For each year in the range, who rose and who faded among your `top` people, by events
// against the year before.
export function arcs(model, top = 12, shown = 3) {
  const { tl } = model;
  const first = leaders(model, top);
  const years = new Map();  // year -> Map(person -> events)
  for (const person of first) {
    const end = Math.min(person.hi, person.timedTo);
    for (let i = person.lo; i < end; ++i) {
      const year = yearOf(dayOf(tl.local[i]));
      let row = years.get(year);
      if (!row) years.set(year, (row = new Map()));
      row.set(person, (row.get(person) ?? 0) + 1);
    }
  }
  const order = [...years.keys()].sort((a, b) => a - b);
  const out = [];
  for (let k = 1; k < order.length; ++k) {
    const now = years.get(order[k]), before = years.get(order[k - 1]) ?? new Map();
    const change = first.map((p) => ({ person: p, delta: (now.get(p) ?? 0) - (before.get(p) ?? 0) }));
    const rose = change.filter((c) => c.delta > 0).sort((a, b) => b.delta - a.delta);
    const faded = change.filter((c) => c.delta < 0).sort((a, b) => a.delta - b.delta);
    out.push({ year: order[k], rose: rose.slice(0, shown), faded: faded.slice(0, shown) });
  }
  return out;
}

// A person's emoticons year by year, in the viewer's time zone: the years they span, and
// for each emoticon (the most used first, at most `shown`) its count per year.
export function emoticonYears(emoticons, shown = 12) {
  let first = Infinity, last = -Infinity;
  for (const e of emoticons) {
    for (const t of e.times) {
      const year = localYear(t);
      if (year < first) first = year;
      if (year > last) last = year;
    }
  }
  if (first > last) return { first: NaN, last: NaN, rows: [] };
  const rows = emoticons.slice(0, shown).map((e) => {
    const perYear = new Array(last - first + 1).fill(0);
    for (const t of e.times) {
      const year = localYear(t);
      if (year >= first && year <= last) ++perYear[year - first];
    }
    return { name: e.name, times: e.times.length, perYear };
  });
  return { first, last, rows };
}

// The events of one wall-clock day, everyone's, in time order: [{person, i}].
export function eventsOfDay(model, day) {
  const { tl } = model;
  const from = dayStart(day), to = dayStart(day + 1), out = [];
  for (const p of model.people) {
    const lo = lowerBound(tl.time, from, p.from, p.timedTo);
    for (let i = lo; i < p.timedTo && tl.time[i] < to; ++i) out.push({ person: p, i });
  }
  return out.sort((a, b) => tl.time[a.i] - tl.time[b.i] || a.person.index - b.person.index);
}
