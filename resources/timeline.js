// The timeline made ready for questions of "when": each person's run of events put in time
// order once, so that the events of any date range are found by two binary searches per
// person; running totals over the runs, so that a person's counts in a range are two
// subtractions; and a table of every day's events by kind and by hour, so that everyone's
// months, rhythm and busiest day in a range never revisit the events. No DOM here.
import { SMS, CALL, THREAD, localTimes, readTimeline } from "./reader.js";

// The kinds of the days table.
export const SENT = 0, RECEIVED = 1, CALLS = 2, THREADS = 3, OTHERS = 4, KINDS = 5;

const SCRATCH = { keys: new Float64Array(0) };

// Puts the events FROM..TO of every array in ARRAYS in the order of TIME (events without a
// time last, ties in their order of arrival). Most runs arrive in order or nearly; the rest
// are sorted on packed keys (time and position in one number), natively.
function sortRun(time, arrays, from, to) {
  let ordered = true;
  let lo = Infinity, hi = -Infinity, whole = true;
  for (let i = from; i < to; ++i) {
    const t = time[i];
    if (i > from && !(time[i - 1] <= t) && !Number.isNaN(t)) ordered = false;
    if (t < lo) lo = t;
    if (t > hi) hi = t;
    if (Number.isFinite(t) && !Number.isInteger(t)) whole = false;
  }
  if (ordered) return;
  const len = to - from;
  const scale = 2 ** Math.ceil(Math.log2(len + 1));
  const span = Number.isFinite(hi) ? hi - lo + 1 : 0;
  let order;
  if (whole && (span + 1) * scale < 2 ** 53) {
    if (SCRATCH.keys.length < len) SCRATCH.keys = new Float64Array(len);
    const keys = SCRATCH.keys.subarray(0, len);
    for (let k = 0; k < len; ++k) {
      const t = time[from + k];
      keys[k] = (Number.isFinite(t) ? t - lo : span) * scale + k;
    }
    keys.sort();
    order = new Uint32Array(len);
    for (let k = 0; k < len; ++k) order[k] = keys[k] % scale;
  } else {
    const rank = (t) => (Number.isNaN(t) ? Infinity : t);
    order = Uint32Array.from({ length: len }, (_, k) => k)
      .sort((a, b) => rank(time[from + a]) - rank(time[from + b]) || a - b);
  }
  for (const a of arrays) {
    const copy = a.slice(from, to);
    for (let k = 0; k < len; ++k) a[from + k] = copy[order[k]];
  }
}

// The first position in FROM..TO whose time is at least T (times ascending there).
export function lowerBound(time, t, from, to) {
  let lo = from, hi = to;
  while (lo < hi) {
    const mid = (lo + hi) >>> 1;
    if (time[mid] < t) lo = mid + 1; else hi = mid;
  }
  return lo;
}

// The timeline text read and made ready. Returns the reader's arrays (each run in time
// order), `local` (wall-clock seconds), `timedTo` (per person, the end of the events with a
// time), running totals `cum` over all events, and the days table: `firstDay`, `days`,
// `perDay` (days × KINDS) and `perHour` (days × 24).
export function prepareTimeline(text) {
  const tl = readTimeline(text);
  const { type, time, flag, duration, starts, count } = tl;
  const people = tl.uids.length;
  const timedTo = new Uint32Array(people);
  for (let p = 0; p < people; ++p) {
    const from = starts[p], to = starts[p + 1];
    sortRun(time, [time, type, flag, duration], from, to);
    let end = to;
    while (end > from && Number.isNaN(time[end - 1])) --end;
    timedTo[p] = end;
  }
  const local = localTimes(time);

  const sent = new Uint32Array(count + 1), received = new Uint32Array(count + 1);
  const calls = new Uint32Array(count + 1), callTime = new Float64Array(count + 1);
  let firstDay = Infinity, lastDay = -Infinity;
  for (let i = 0; i < count; ++i) {
    const ty = type[i], f = flag[i];
    sent[i + 1] = sent[i] + (ty === SMS && f === 3 ? 1 : 0);
    received[i + 1] = received[i] + (ty === SMS && f === 2 ? 1 : 0);
    calls[i + 1] = calls[i] + (ty === CALL ? 1 : 0);
    callTime[i + 1] = callTime[i] + (ty === CALL && duration[i] > 0 ? duration[i] : 0);
    const day = Math.floor(local[i] / 86400);
    if (day < firstDay) firstDay = day;
    if (day > lastDay) lastDay = day;
  }
  const days = firstDay <= lastDay ? lastDay - firstDay + 1 : 0;
  const perDay = new Uint32Array(days * KINDS), perHour = new Uint32Array(days * 24);
  for (let i = 0; i < count; ++i) {
    const l = local[i];
    if (!Number.isFinite(l)) continue;
    const day = Math.floor(l / 86400), d = day - firstDay, ty = type[i], f = flag[i];
    const kind = ty === SMS ? (f === 3 ? SENT : f === 2 ? RECEIVED : OTHERS)
      : ty === CALL ? CALLS : ty === THREAD ? THREADS : OTHERS;
    ++perDay[d * KINDS + kind];
    ++perHour[d * 24 + Math.floor((l - day * 86400) / 3600)];
  }
  return { ...tl, local, timedTo, cum: { sent, received, calls, callTime },
           firstDay: days ? firstDay : NaN, days, perDay, perHour };
}
