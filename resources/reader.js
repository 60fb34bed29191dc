// The reader: the controller's two texts, the timeline and the contact rows, read once into
// typed arrays and plain records that every view and figure works from. No DOM and no
// library here, so the waiting pages can load it and the reading can be checked in node.

export const SMS = 0, CALL = 1, THREAD = 2, OTHER = 3;
const TYPES = { sms: SMS, call: CALL, facebook_message: THREAD };
// The controller lists only the people with at least this many events; the pages' words
// say so from here.
export const MIN_EVENTS = 5;

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

// Each event's time on the viewer's wall clock, as seconds since 1970 read as if that clock
// were UTC (calendar.js counts days, months and years on it); NaN stays NaN. The zone's
// offset is asked of the browser once per hour of data.
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

// Which way an event went: 1 from you, -1 to you, 0 unknown (threads, odd flags).
export function directionOf(type, flag) {
  if (type === SMS) return flag === 3 ? 1 : flag === 2 ? -1 : 0;
  if (type === CALL) return flag === 5 ? 1 : flag === 4 ? -1 : 0;
  return 0;
}

// Everything the pages draw from, read once: the timeline's typed arrays, each event's time
// on the viewer's wall clock, and the contacts.
export function readBridge(timelineText, contactsText) {
  const tl = readTimeline(timelineText || "[]");
  return { tl, local: localTimes(tl.time), contacts: readContacts(contactsText),
           damaged: tl.damaged };
}
