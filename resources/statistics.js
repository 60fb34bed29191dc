// The figures the pages show, worked out from what the reader read: each person's counts,
// the overview, a person's rhythm and habits, month-by-month series and the yearly arcs.
// No DOM here, so every figure can be checked in node.
import { max, median as middle } from "d3-array";
import { dayOf, hourOf, monthOf, weekdayOf, yearOf, localYear } from "./calendar.js";
import { SMS, CALL, THREAD, directionOf } from "./reader.js";

const QUIET = 6 * 3600;  // a conversation starts after six quiet hours

// The model the pages draw: what was read (readBridge), the contacts joined to the timeline by
// uid (or by position), each person's counts, and the overview.
export function buildModel(read) {
  const { tl, local, contacts } = read;
  const byUid = new Map(contacts.map((c) => [Number(c.uid), c]));
  const people = [];
  const total = { people: 0, sent: 0, received: 0, calls: 0, callTime: 0, threads: 0,
                  first: NaN, last: NaN, busiestDay: NaN, busiestCount: 0, events: tl.count };
  const perDay = new Map();
  for (let p = 0; p < tl.uids.length; ++p) {
    const contact = byUid.get(tl.uids[p]) ?? contacts[p];
    const person = {
      index: p, uid: tl.uids[p], name: contact?.name || `Contact ${tl.uids[p]}`,
      emoticons: contact?.emoticons ?? {}, from: tl.starts[p], to: tl.starts[p + 1],
      sent: 0, received: 0, calls: 0, callsIn: 0, callsOut: 0, unanswered: 0, callTime: 0,
      threads: 0, first: NaN, last: NaN,
    };
    for (let i = person.from; i < person.to; ++i) {
      const ty = tl.type[i], f = tl.flag[i], d = tl.duration[i], t = tl.time[i];
      if (ty === SMS) {
        if (f === 3) ++person.sent; else if (f === 2) ++person.received;
      } else if (ty === CALL) {
        ++person.calls;
        if (f === 4) ++person.callsIn; else if (f === 5) ++person.callsOut;
        if (d === 0) ++person.unanswered; else if (d > 0) person.callTime += d;
      } else if (ty === THREAD) {
        ++person.threads;
      }
      if (Number.isFinite(t)) {
        if (!(t >= person.first)) person.first = t;
        if (!(t <= person.last)) person.last = t;
        const day = dayOf(local[i]);
        perDay.set(day, (perDay.get(day) ?? 0) + 1);
      }
    }
    person.messages = person.sent + person.received;
    person.volume = person.to - person.from;
    person.balance = person.messages ? person.sent / person.messages : NaN;
    person.search = fold(person.name);
    people.push(person);
    total.sent += person.sent; total.received += person.received;
    total.calls += person.calls; total.callTime += person.callTime;
    total.threads += person.threads;
    if (!(person.first >= total.first)) total.first = person.first;
    if (!(person.last <= total.last)) total.last = person.last;
  }
  total.people = people.length;
  for (const [day, n] of perDay) {
    if (n > total.busiestCount) { total.busiestCount = n; total.busiestDay = day; }
  }
  return { ...read, people, total };
}

// Lower case without accents, for search.
export const fold = (s) => s.normalize("NFD").replace(/[\u0300-\u036f]/g, "").toLowerCase();

const median = (xs) => middle(xs) ?? NaN;

// Everything the person view shows, from one person's events.
export function personDetail(model, person) {
  const { tl, local } = model;
  const order = [];
  for (let i = person.from; i < person.to; ++i) if (Number.isFinite(tl.time[i])) order.push(i);
  order.sort((a, b) => tl.time[a] - tl.time[b]);

  const heat = new Uint32Array(7 * 24);
  const days = new Set();
  const started = { you: 0, them: 0 };
  const replies = { you: [], them: [] };
  const durations = [];
  let prev = -1;
  for (const i of order) {
    const day = dayOf(local[i]);
    const hour = hourOf(local[i]);
    ++heat[weekdayOf(day) * 24 + hour];
    days.add(day);
    const ty = tl.type[i], dir = directionOf(ty, tl.flag[i]);
    if (ty === CALL && tl.duration[i] > 0) durations.push(tl.duration[i]);

    const gap = prev < 0 ? Infinity : tl.time[i] - tl.time[prev];
    if (gap > QUIET && dir) ++started[dir > 0 ? "you" : "them"];
    if (prev >= 0 && gap <= QUIET && ty === SMS && tl.type[prev] === SMS) {
      const before = directionOf(SMS, tl.flag[prev]);
      if (before && dir && before !== dir) replies[dir > 0 ? "you" : "them"].push(gap);
    }
    prev = i;
  }

  const sortedDays = [...days].sort((a, b) => a - b);
  let streak = sortedDays.length ? 1 : 0, run = 1, streakEnd = sortedDays[0];
  for (let k = 1; k < sortedDays.length; ++k) {
    run = sortedDays[k] === sortedDays[k - 1] + 1 ? run + 1 : 1;
    if (run > streak) { streak = run; streakEnd = sortedDays[k]; }
  }

  const emoticons = Object.entries(person.emoticons)
    .filter(([, times]) => Array.isArray(times))
    .map(([name, times]) => ({ name, times: times.filter(Number.isFinite) }))
    .sort((a, b) => b.times.length - a.times.length || (a.name < b.name ? -1 : 1));

  return {
    heat, started, streak, streakEnd,
    replyYou: median(replies.you), replyThem: median(replies.them),
    callMedian: median(durations), callLongest: max(durations) ?? NaN,
    emoticons,
  };
}

// Month by month for a person, or everyone with none: month numbers (monthOf) and, for
// each month, messages sent and received, calls and threads.
export function monthlySeries(model, person) {
  const { tl, local } = model;
  const from = person ? person.from : 0, to = person ? person.to : tl.count;
  let lo = Infinity, hi = -Infinity;
  for (let i = from; i < to; ++i) {
    if (!Number.isFinite(local[i])) continue;
    const m = monthOf(dayOf(local[i]));
    if (m < lo) lo = m;
    if (m > hi) hi = m;
  }
  if (lo > hi) return { months: [], sent: [], received: [], calls: [], threads: [] };
  const len = hi - lo + 1;
  const out = { months: Array.from({ length: len }, (_, k) => lo + k),
                sent: new Array(len).fill(0), received: new Array(len).fill(0),
                calls: new Array(len).fill(0), threads: new Array(len).fill(0) };
  for (let i = from; i < to; ++i) {
    if (!Number.isFinite(local[i])) continue;
    const k = monthOf(dayOf(local[i])) - lo, ty = tl.type[i];
    if (ty === SMS) {
      const dir = directionOf(ty, tl.flag[i]);
      if (dir > 0) ++out.sent[k]; else if (dir < 0) ++out.received[k];
    } else if (ty === CALL) ++out.calls[k];
    else if (ty === THREAD) ++out.threads[k];
  }
  return out;
}

// For each year, who rose and who faded among your `top` people, by events against the
// year before.
export function arcs(model, top = 12, shown = 3) {
  const leaders = [...model.people].sort((a, b) => b.volume - a.volume).slice(0, top);
  const years = new Map();  // year -> Map(person -> events)
  for (const person of leaders) {
    for (let i = person.from; i < person.to; ++i) {
      if (!Number.isFinite(model.local[i])) continue;
      const year = yearOf(dayOf(model.local[i]));
      let row = years.get(year);
      if (!row) years.set(year, (row = new Map()));
      row.set(person, (row.get(person) ?? 0) + 1);
    }
  }
  const order = [...years.keys()].sort((a, b) => a - b);
  const out = [];
  for (let k = 1; k < order.length; ++k) {
    const now = years.get(order[k]), before = years.get(order[k - 1]);
    const change = leaders.map((p) => ({ person: p, delta: (now.get(p) ?? 0) - (before.get(p) ?? 0) }));
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
