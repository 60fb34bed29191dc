// The timeline made ready for questions of "when": each person's run of events put in time
// order once, so that the events of any date range are found by two binary searches per
// person; running totals over the runs, so that a person's counts in a range are two
// subtractions; and a table of every day's events by kind and by hour, so that everyone's
// months, rhythm and busiest day in a range never revisit the events. No DOM here.
import { CALL, THREAD, isMessage, localTimes, readTimeline } from "./reader.js";

// The kinds of the days table.
export const SENT = 0, RECEIVED = 1, CALLS = 2, THREADS = 3, OTHERS = 4, KINDS = 5;

const LIMIT = 2 ** 31 + 2 * 86400;

// Whether time X comes before time Y: times without a value (NaN) come last.
const before = (x, y) => (y !== y ? x === x : x < y);

// The positions of the events in the order of TIME within each person's run (ties in their
// order of arrival), or null when every run is in order already. A person's events usually
// arrive as one ordered run per kind, so runs that are already in order are merged: one
// merge for two runs (the usual messages, then calls), passes of merges for more. One loop
// over everyone, so that it is made fast as one.
function orderRuns(time, starts, people, count) {
  const order = new Uint32Array(count);
  let spare = null, bounds = null, moved = false;
  for (let p = 0; p < people; ++p) {
    const from = starts[p], to = starts[p + 1];
    let runs = 1, mid = from;
    for (let i = from + 1; i < to; ++i) {
      if (before(time[i], time[i - 1])) {
        if (runs === 1) mid = i;
        ++runs;
      }
    }
    if (runs === 1) {
      for (let i = from; i < to; ++i) order[i] = i;
      continue;
    }
    moved = true;
    if (runs === 2) {
      let a = from, b = mid, o = from;
      while (a < mid && b < to) order[o++] = before(time[b], time[a]) ? b++ : a++;
      while (a < mid) order[o++] = a++;
      while (b < to) order[o++] = b++;
      continue;
    }
    if (!bounds) {
      bounds = new Uint32Array(count + 2);
      spare = new Uint32Array(count);
    }
    let nb = 0;
    bounds[nb++] = from;
    for (let i = from + 1; i < to; ++i) if (before(time[i], time[i - 1])) bounds[nb++] = i;
    bounds[nb++] = to;
    for (let i = from; i < to; ++i) order[i] = i;
    let src = order, dst = spare;
    while (nb > 2) {
      let w = 1;
      for (let k = 0; k + 1 < nb; k += 2) {
        const lo = bounds[k], m = bounds[k + 1], hi = k + 2 < nb ? bounds[k + 2] : m;
        let a = lo, b = m, o = lo;
        while (a < m && b < hi) dst[o++] = before(time[src[b]], time[src[a]]) ? src[b++] : src[a++];
        while (a < m) dst[o++] = src[a++];
        while (b < hi) dst[o++] = src[b++];
        bounds[w++] = hi;
      }
      nb = w;
      const t = src;
      src = dst;
      dst = t;
    }
    if (src !== order) for (let i = from; i < to; ++i) order[i] = src[i];
  }
  return moved ? order : null;
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
// time), running totals `cum` over all events, the number of social-network messages
// `threads`, and the days table: `firstDay`, `days`,
// `perDay` (days × KINDS) and `perHour` (days × 24).
export function prepareTimeline(text) {
  const tl = readTimeline(text);
  const { type, time, flag, duration, starts, count } = tl;
  const people = tl.uids.length;
  // Each person's run in time order: one permutation for all, applied to every column (the
  // wall-clock column, filled afterwards, lends its room for the copies).
  const local = new Float64Array(count);
  const order = orderRuns(time, starts, people, count);
  if (order) {
    for (const column of [time, flag, duration]) {
      local.set(column);
      for (let i = 0; i < count; ++i) column[i] = local[order[i]];
    }
    const narrow = type.slice();
    for (let i = 0; i < count; ++i) type[i] = narrow[order[i]];
  }
  const timedTo = new Uint32Array(people);
  for (let p = 0; p < people; ++p) {
    let end = starts[p + 1];
    while (end > starts[p] && Number.isNaN(time[end - 1])) --end;
    timedTo[p] = end;
  }
  localTimes(time, local);

  // The days table spans the times a phone can store (32-bit seconds); a time beyond them,
  // from a damaged text, is counted everywhere but there.
  let firstDay = Infinity, lastDay = -Infinity;
  for (let i = 0; i < count; ++i) {
    const l = local[i];
    if (l < firstDay && l > -LIMIT) firstDay = l;
    if (l > lastDay && l < LIMIT) lastDay = l;
  }
  firstDay = Math.floor(firstDay / 86400);
  lastDay = Math.floor(lastDay / 86400);
  const days = firstDay <= lastDay ? lastDay - firstDay + 1 : 0;
  const perDay = new Uint32Array(days * KINDS), perHour = new Uint32Array(days * 24);
  const sent = new Uint32Array(count + 1), received = new Uint32Array(count + 1);
  const calls = new Uint32Array(count + 1), callTime = new Float64Array(count + 1);
  let s = 0, r = 0, c = 0, ct = 0, threads = 0;
  for (let i = 0; i < count; ++i) {
    const ty = type[i], f = flag[i];
    let kind = OTHERS;
    if (isMessage(ty)) {
      if (f === 3) { ++s; kind = SENT; } else if (f === 2) { ++r; kind = RECEIVED; }
    } else if (ty === CALL) {
      ++c;
      kind = CALLS;
      if (duration[i] > 0) ct += duration[i];
    } else if (ty === THREAD) {
      kind = THREADS;
      ++threads;
    }
    sent[i + 1] = s; received[i + 1] = r; calls[i + 1] = c; callTime[i + 1] = ct;
    const l = local[i];
    if (l > -LIMIT && l < LIMIT) {
      const day = Math.floor(l / 86400), d = day - firstDay;
      ++perDay[d * KINDS + kind];
      ++perHour[d * 24 + Math.floor((l - day * 86400) / 3600)];
    }
  }
  return { ...tl, local, timedTo, cum: { sent, received, calls, callTime }, threads,
           firstDay: days ? firstDay : NaN, days, perDay, perHour };
}

