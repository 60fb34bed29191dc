// The story of the data in a few sentences, worked out from the model in the date range:
// who has been most constant, who rose and who faded, the busiest year, the usual hours.
// Each sentence is a list of parts, text or a link to the view that shows it; no DOM here.
import { dayOf, monthOf } from "./calendar.js";
import { everyoneHeat, leaders, monthSpan, yearTotals } from "./statistics.js";
import { lowerBound } from "./timeline.js";
import { MIN_EVENTS } from "./reader.js";
import { date, number, percent } from "./ui.js";

// How many of the first people are weighed for constancy.
const WEIGHED = 40;

// The person in touch in the largest share of the range's months (among the first people).
export function mostConstant(model) {
  const { tl } = model;
  let best = null;
  for (const p of leaders(model, WEIGHED)) {
    const end = Math.min(p.hi, p.timedTo);
    if (p.lo >= end) continue;
    let months = 0, last = NaN;
    for (let i = p.lo; i < end; ++i) {
      const m = monthOf(dayOf(tl.local[i]));
      if (m !== last) { ++months; last = m; }
    }
    if (!best || months > best.months) best = { person: p, months };
  }
  return best;
}

// Who gained the most events and who lost the most between the range's first and second
// halves (of time), among people with at least five events in it.
export function roseAndFaded(model) {
  const { tl, total } = model;
  const from = model.range?.from ?? total.first, to = model.range?.to ?? total.last;
  if (!(to > from)) return null;
  const mid = from + (to - from) / 2;
  let rose = null, faded = null;
  for (const p of model.people) {
    if (p.volume < MIN_EVENTS) continue;
    const end = Math.min(p.hi, p.timedTo);
    const before = lowerBound(tl.time, mid, p.lo, end) - p.lo, after = end - p.lo - before;
    const change = { person: p, before, after, delta: after - before };
    if (change.delta > 0 && (!rose || change.delta > rose.delta)) rose = change;
    if (change.delta < 0 && (!faded || change.delta < faded.delta)) faded = change;
  }
  return { mid, rose, faded };
}

// The shortest run of consecutive hours (across midnight too) that holds at least half of
// the events: [first hour, hours, share].
export function usualHours(model) {
  const heat = everyoneHeat(model), perHour = new Array(24).fill(0);
  let all = 0;
  heat.forEach((n, k) => { perHour[k % 24] += n; all += n; });
  if (!all) return null;
  for (let len = 1; len <= 24; ++len) {
    let best = -1, most = -1;
    for (let start = 0; start < 24; ++start) {
      let n = 0;
      for (let k = 0; k < len; ++k) n += perHour[(start + k) % 24];
      if (n > most) { most = n; best = start; }
    }
    if (most * 2 >= all) return [best, len, most / all];
  }
  return null;
}

// The sentences: each a list of parts, a part being text or {text, go}, where `go` says what
// to show: {tab, person, other, anchor}.
export function story(model) {
  const { total } = model;
  const n = (x) => number.format(x);
  const out = [];
  if (!total.events) return out;
  const constant = mostConstant(model);
  if (constant) {
    const [m0, m1] = monthSpan(model);
    out.push([{ text: constant.person.label, go: { tab: "person", person: constant.person } },
              ` has been the most constant, in touch in ${n(constant.months)} of ${n(m1 - m0 + 1)} months.`]);
  }
  const change = roseAndFaded(model);
  if (change?.rose || change?.faded) {
    const { rose, faded } = change, parts = [];
    const who = (c) => ({ text: c.person.label, go: { tab: "person", person: c.person } });
    parts.push(`Since ${date(change.mid)}, `);
    if (rose) parts.push(who(rose), ` rose (${n(rose.before)} → ${n(rose.after)} events)`);
    if (rose && faded) parts.push(" and ");
    if (faded) parts.push(who(faded), ` faded (${n(faded.before)} → ${n(faded.after)})`);
    if (rose && faded) {
      parts.push(": ", { text: "compare them",
                         go: { tab: "compare", person: rose.person, other: faded.person } });
    }
    out.push([...parts, "."]);
  }
  const years = yearTotals(model);
  if (years.length > 1) {
    const [year, events] = years.reduce((a, b) => (b[1] > a[1] ? b : a));
    out.push(["The busiest year was ", { text: String(year), go: { tab: "everyone", anchor: "all-volume" } },
              ` (${n(events)} events).`]);
  }
  const hours = usualHours(model);
  if (hours) {
    const [start, len, share] = hours;
    const at = (h) => `${String(h).padStart(2, "0")}:00`;
    out.push([`${percent(share)} of all events fall `,
              { text: `between ${at(start)} and ${at((start + len) % 24)}`,
                go: { tab: "everyone", anchor: "all-heat" } },
              "."]);
  }
  return out;
}
