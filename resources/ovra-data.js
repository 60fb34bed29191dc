// What the pages know about a communication life, derived from the two texts the controller
// gives: the contact rows and the timeline. Reads the timeline once into typed arrays and
// works on those; no DOM here, so the figures can be checked outside a browser.

export const SMS = 0, CALL = 1, THREAD = 2, OTHER = 3;
const TYPES = { sms: SMS, call: CALL, facebook_message: THREAD };
const QUIET = 6 * 3600;  // a conversation starts after six quiet hours

// Reads "[uid],[type,time,flag,duration,...],..." into typed arrays, one run of events per
// person. A value that is empty or not a number is kept as NaN; text that stops making sense
// ends the reading with what was read so far (and `damaged` set), never an exception.
export function readTimeline(text) {
  const n = text.length;
  let cap = Math.max(16, Math.ceil(n / 20));
  let type = new Uint8Array(cap), time = new Float64Array(cap);
  let flag = new Float64Array(cap), duration = new Float64Array(cap);
  const uids = [], starts = [0];
  let count = 0, pos = 0, damaged = false;

  const grow = () => {
    cap *= 2;
    const widen = (a) => { const b = new a.constructor(cap); b.set(a); return b; };
    type = widen(type); time = widen(time); flag = widen(flag); duration = widen(duration);
  };
  const skipSpace = () => {
    while (pos < n && text.charCodeAt(pos) <= 32) ++pos;
  };
  const at = () => (pos < n ? text.charCodeAt(pos) : -1);
  const expect = (c) => {
    skipSpace();
    if (at() !== c) return false;
    ++pos;
    return true;
  };
  // A bare value up to the next ',' or ']': its number, or NaN when it is empty or not one.
  const bare = () => {
    skipSpace();
    let value = 0, digits = 0, sign = 1, ok = true;
    const from = pos;
    if (text.charCodeAt(pos) === 45) { sign = -1; ++pos; }
    for (; pos < n; ++pos) {
      const c = text.charCodeAt(pos);
      if (c === 44 || c === 93) break;
      if (c >= 48 && c <= 57) { value = value * 10 + (c - 48); ++digits; } else ok = false;
    }
    if (ok && digits) return sign * value;
    const token = text.slice(from, pos).trim();
    return token !== "" && Number.isFinite(Number(token)) ? Number(token) : NaN;
  };
  // A quoted value; undefined when the quote never closes.
  const quoted = () => {
    let out = "";
    let from = ++pos;
    for (; pos < n; ++pos) {
      const c = text.charCodeAt(pos);
      if (c === 92) { out += text.slice(from, pos); ++pos; from = pos; continue; }
      if (c === 34) { out += text.slice(from, pos); ++pos; return out; }
    }
    return undefined;
  };

  if (!expect(91)) return finish(true);
  skipSpace();
  if (at() === 93) return finish(false);
  for (;;) {
    if (!expect(91)) { damaged = true; break; }
    const uid = bare();
    if (!expect(93) || !expect(44) || !expect(91)) { damaged = true; break; }
    let slot = 0;
    skipSpace();
    if (at() === 93) ++pos;
    else {
      for (;;) {
        skipSpace();
        if (slot === 0) {
          if (count === cap) grow();
          type[count] = OTHER; time[count] = flag[count] = duration[count] = NaN;
        }
        if (at() === 34) {
          const s = quoted();
          if (s === undefined) { damaged = true; break; }
          if (slot === 0) type[count] = TYPES[s] ?? OTHER;
        } else {
          const v = bare();
          if (slot === 1) time[count] = v;
          else if (slot === 2) flag[count] = v;
          else if (slot === 3) duration[count] = v;
        }
        if (++slot === 4) { slot = 0; ++count; }
        skipSpace();
        if (at() === 44) { ++pos; continue; }
        if (at() === 93) { ++pos; break; }
        damaged = true;
        break;
      }
      if (slot !== 0) ++count;  // a short last event keeps the values it has
    }
    uids.push(uid);
    starts.push(count);
    if (damaged) break;
    skipSpace();
    if (at() === 44) { ++pos; continue; }
    if (at() !== 93) damaged = true;
    break;
  }
  return finish(damaged);

  function finish(bad) {
    return { uids, starts: Uint32Array.from(starts), count, damaged: bad,
             type: type.subarray(0, count), time: time.subarray(0, count),
             flag: flag.subarray(0, count), duration: duration.subarray(0, count) };
  }
}

// The contact rows: uid, first, middle and last name, the emoticon JSON text. Rows that are
// not lists are passed over; a damaged emoticon text counts as none.
export function readContacts(text) {
  let rows;
  try { rows = JSON.parse(text || "[]"); } catch { return []; }
  if (!Array.isArray(rows)) return [];
  return rows.filter(Array.isArray).map((row) => {
    let emoticons = {};
    try {
      const parsed = JSON.parse(typeof row[9] === "string" ? row[9] : "{}");
      if (parsed && typeof parsed === "object" && !Array.isArray(parsed)) emoticons = parsed;
    } catch { /* none */ }
    const name = [row[1], row[2], row[3]].filter((p) => typeof p === "string" && p.trim())
                                          .join(" ");
    return { uid: String(row[0] ?? ""), name, emoticons };
  });
}

// Seconds in the viewer's time zone for each event time (NaN stays NaN); the zone's offset is
// looked up once per hour of data.
export function localTimes(time) {
  const out = new Float64Array(time.length);
  const offsets = new Map();
  for (let i = 0; i < time.length; ++i) {
    const t = time[i];
    if (!Number.isFinite(t)) { out[i] = NaN; continue; }
    const hour = Math.floor(t / 3600);
    let off = offsets.get(hour);
    if (off === undefined) {
      off = new Date(hour * 3600000).getTimezoneOffset() * 60;
      offsets.set(hour, off);
    }
    out[i] = t - off;
  }
  return out;
}

export const dayOf = (local) => Math.floor(local / 86400);
export const weekdayOf = (day) => (((day + 4) % 7) + 7) % 7;  // 0 Sunday; day 0 was a Thursday
// Year and month (0-11) of a day count since 1970, by the civil calendar.
export function yearMonthOf(day) {
  const z = day + 719468, era = Math.floor(z / 146097), doe = z - era * 146097;
  const yoe = Math.floor((doe - Math.floor(doe / 1460) + Math.floor(doe / 36524) -
                          Math.floor(doe / 146096)) / 365);
  const doy = doe - (365 * yoe + Math.floor(yoe / 4) - Math.floor(yoe / 100));
  const mp = Math.floor((5 * doy + 2) / 153);
  const month = mp < 10 ? mp + 2 : mp - 10;
  return { year: yoe + era * 400 + (month < 2 ? 1 : 0), month };
}
export const monthIndexOf = (local) => {
  const { year, month } = yearMonthOf(dayOf(local));
  return year * 12 + month;
};

// Which way an event went: 1 from you, -1 to you, 0 unknown (threads, odd flags).
export function directionOf(type, flag) {
  if (type === SMS) return flag === 3 ? 1 : flag === 2 ? -1 : 0;
  if (type === CALL) return flag === 5 ? 1 : flag === 4 ? -1 : 0;
  return 0;
}

// The model the pages draw: the timeline, the contacts joined to it by uid (or by position),
// each person's counts, and the overview.
export function buildModel(timelineText, contactsText) {
  const tl = readTimeline(timelineText || "[]");
  const contacts = readContacts(contactsText);
  const byUid = new Map(contacts.map((c) => [Number(c.uid), c]));
  const local = localTimes(tl.time);
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
  return { tl, local, people, total, damaged: tl.damaged };
}

// Lower case without accents, for search.
export const fold = (s) => s.normalize("NFD").replace(/[\u0300-\u036f]/g, "").toLowerCase();

const median = (xs) => {
  if (!xs.length) return NaN;
  const s = Float64Array.from(xs).sort();
  return s.length % 2 ? s[s.length >> 1] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
};

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
    const hour = Math.floor((local[i] - day * 86400) / 3600);
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
    callMedian: median(durations), callLongest: durations.length ? Math.max(...durations) : NaN,
    emoticons,
  };
}

// Month by month for everyone: [month indices, sent, received, calls, threads].
export function monthlySeries(model, person) {
  const { tl, local } = model;
  const from = person ? person.from : 0, to = person ? person.to : tl.count;
  let lo = Infinity, hi = -Infinity;
  for (let i = from; i < to; ++i) {
    if (!Number.isFinite(local[i])) continue;
    const m = monthIndexOf(local[i]);
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
    const k = monthIndexOf(local[i]) - lo, ty = tl.type[i];
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
      const year = yearMonthOf(dayOf(model.local[i])).year;
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

// The detailed log as lines of plain text: the fragment's "<br/>" ends lines, its entities
// are read back; no markup in it is ever drawn.
export function logLines(html) {
  const entities = { amp: "&", lt: "<", gt: ">", quot: '"', apos: "'", "#39": "'" };
  return String(html ?? "").split(/<br\s*\/?>/i).map((line) =>
    line.replace(/&(amp|lt|gt|quot|apos|#39);/g, (_, e) => entities[e]).trim()).filter(Boolean);
}

// The ranking as CSV, with every field quoted.
export function rankingCsv(people) {
  const q = (v) => `"${String(v).replace(/"/g, '""')}"`;
  const iso = (t) => (Number.isFinite(t) ? new Date(t * 1000).toISOString() : "");
  const lines = [["name", "messages sent", "messages received", "calls", "unanswered calls",
                  "call seconds", "social threads", "first contact", "last contact",
                  "share you sent"].map(q).join(",")];
  for (const p of people) {
    lines.push([p.name, p.sent, p.received, p.calls, p.unanswered, p.callTime, p.threads,
                iso(p.first), iso(p.last),
                Number.isFinite(p.balance) ? p.balance.toFixed(3) : ""].map(q).join(","));
  }
  return lines.join("\r\n") + "\r\n";
}
