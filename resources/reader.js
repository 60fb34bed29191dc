// The reader: the controller's two texts, the timeline and the contact rows, read once into
// typed arrays and plain records that every view and figure works from. No DOM and no
// library here, so the waiting pages can load it and the reading can be checked in node.

export const SMS = 0, CALL = 1, THREAD = 2, OTHER = 3, WHATSAPP = 4;
const TYPES = { sms: SMS, call: CALL, facebook_message: THREAD, whatsapp: WHATSAPP };
// A message someone wrote, on the phone's own channel or the messenger's.
export const isMessage = (type) => type === SMS || type === WHATSAPP;
// The controller lists only the people with at least this many events; the pages' words
// say so from here.
export const MIN_EVENTS = 5;

// Where the last call of scanBare stopped; a small integer, so that keeping it outside the hot
// loop allocates nothing (a number kept there would be boxed on every write).
let bareEnd = 0;

// A bare value from POS up to the next ',' or ']' (or the end): its number, or NaN when it is
// empty or not one. Sets bareEnd to the position of the ',' or ']'.
function scanBare(text, pos, n) {
  const from = pos;
  let value = 0, digits = 0, sign = 1, c = text.charCodeAt(pos);
  if (c === 45) { sign = -1; c = text.charCodeAt(++pos); }
  while (c >= 48 && c <= 57) {
    value = value * 10 + (c - 48);
    ++digits;
    c = text.charCodeAt(++pos);
  }
  if (digits && (c === 44 || c === 93)) {
    bareEnd = pos;
    return sign * value;
  }
  while (pos < n && c !== 44 && c !== 93) c = text.charCodeAt(++pos);
  bareEnd = pos;
  const token = text.slice(from, pos).trim();
  return token !== "" && Number.isFinite(Number(token)) ? Number(token) : NaN;
}

// Reads "[uid],[type,time,flag,duration,...],..." into typed arrays, one run of events per
// person. A value that is empty or not a number is kept as NaN; text that stops making sense
// ends the reading with what was read so far (and `damaged` set), never an exception.
export function readTimeline(text) {
  const n = text.length;
  let cap = Math.max(16, Math.ceil(n / 18));
  let type = new Uint8Array(cap), time = new Float64Array(cap);
  let flag = new Float64Array(cap), duration = new Float64Array(cap);
  const uids = [], starts = [0];
  let count = 0, pos = 0, damaged = false, c = 0;

  const grow = () => {
    cap *= 2;
    const widen = (a) => { const b = new a.constructor(cap); b.set(a); return b; };
    type = widen(type); time = widen(time); flag = widen(flag); duration = widen(duration);
  };
  // Skips white space from P; returns the position of the next other character.
  const skip = (p) => {
    while (p < n && text.charCodeAt(p) <= 32) ++p;
    return p;
  };

  pos = skip(0);
  if (text.charCodeAt(pos) !== 91) return finish(true);
  pos = skip(pos + 1);
  if (text.charCodeAt(pos) === 93) return finish(false);
  people: for (;;) {
    // "[uid],["
    pos = skip(pos);
    if (text.charCodeAt(pos) !== 91) { damaged = true; break; }
    const uid = scanBare(text, skip(pos + 1), n);
    pos = bareEnd;
    if (text.charCodeAt(pos) !== 93) { damaged = true; break; }
    pos = skip(pos + 1);
    if (text.charCodeAt(pos) !== 44) { damaged = true; break; }
    pos = skip(pos + 1);
    if (text.charCodeAt(pos) !== 91) { damaged = true; break; }
    pos = skip(pos + 1);
    let slot = 0;
    if (text.charCodeAt(pos) === 93) ++pos;
    else {
      for (;;) {
        if (slot === 0) {
          if (count === cap) grow();
          type[count] = OTHER; time[count] = flag[count] = duration[count] = NaN;
        }
        c = text.charCodeAt(pos);
        if (c === 34) {
          // The type, between quotation marks: the usual three are told by their first
          // letters, anything else is read in full with its escapes.
          // (Compared by character codes: the bridge's text may arrive as two-byte text, on
          // which a search for one-byte text is slow.)
          let ty = -1;
          const c1 = text.charCodeAt(pos + 1);
          if (c1 === 115 && text.charCodeAt(pos + 2) === 109 && text.charCodeAt(pos + 3) === 115 &&
              text.charCodeAt(pos + 4) === 34) {
            ty = SMS;  // "sms"
            pos += 5;
          } else if (c1 === 99 && text.charCodeAt(pos + 2) === 97 && text.charCodeAt(pos + 3) === 108 &&
                     text.charCodeAt(pos + 4) === 108 && text.charCodeAt(pos + 5) === 34) {
            ty = CALL;  // "call"
            pos += 6;
          } else if (c1 === 102 && text.charCodeAt(pos + 17) === 34 &&
                     text.slice(pos + 1, pos + 17) === "facebook_message") {
            ty = THREAD;
            pos += 18;
          } else {
            let out = "", from = ++pos;
            for (; pos < n; ++pos) {
              c = text.charCodeAt(pos);
              if (c === 92) { out += text.slice(from, pos); from = ++pos; continue; }
              if (c === 34) break;
            }
            if (pos >= n) { damaged = true; break; }
            out += text.slice(from, pos++);
            ty = TYPES[out] ?? OTHER;
          }
          if (slot === 0) type[count] = ty;
        } else {
          const value = scanBare(text, pos, n);
          pos = bareEnd;
          if (slot === 1) time[count] = value;
          else if (slot === 2) flag[count] = value;
          else if (slot === 3) duration[count] = value;
        }
        if (++slot === 4) { slot = 0; ++count; }
        c = text.charCodeAt(pos);
        if (c <= 32) c = text.charCodeAt(pos = skip(pos));
        if (c === 44) { pos = skip(pos + 1); continue; }
        if (c === 93) { ++pos; break; }
        damaged = true;
        break;
      }
      if (slot !== 0) ++count;  // a short last event keeps the values it has
    }
    uids.push(uid);
    starts.push(count);
    if (damaged) break;
    pos = skip(pos);
    c = text.charCodeAt(pos);
    if (c === 44) { ++pos; continue people; }
    if (c !== 93) damaged = true;
    break;
  }
  return finish(damaged);

  function finish(bad) {
    return { uids, starts: Uint32Array.from(starts), count, damaged: bad,
             type: type.subarray(0, count), time: time.subarray(0, count),
             flag: flag.subarray(0, count), duration: duration.subarray(0, count) };
  }
}

// The contact rows: uid, first, middle and last name, and the emoticon JSON text, which is
// read only when someone asks for it (emoticonsOf). Rows that are not lists are passed over.
export function readContacts(text) {
  let rows;
  try { rows = JSON.parse(text || "[]"); } catch { return []; }
  if (!Array.isArray(rows)) return [];
  return rows.filter(Array.isArray).map((row) => {
    const name = [row[1], row[2], row[3]].filter((p) => typeof p === "string" && p.trim())
                                          .join(" ");
    return { uid: String(row[0] ?? ""), name, emoticonText: typeof row[9] === "string" ? row[9] : "{}" };
  });
}

// A contact's emoticons: name -> times; a damaged emoticon text counts as none.
export function emoticonsOf(contact) {
  if (!contact) return {};
  if (!contact.emoticons) {
    contact.emoticons = {};
    try {
      const parsed = JSON.parse(contact.emoticonText);
      if (parsed && typeof parsed === "object" && !Array.isArray(parsed)) contact.emoticons = parsed;
    } catch { /* none */ }
  }
  return contact.emoticons;
}

// Each event's time on the viewer's wall clock, as seconds since 1970 read as if that clock
// were UTC (calendar.js counts days, months and years on it); NaN stays NaN. The zone's
// offset is asked of the browser once per hour of data, kept in a table over the data's
// span (or a map when the span is absurd). Writes into OUT when given.
export function localTimes(time, out = new Float64Array(time.length)) {
  let lo = Infinity, hi = -Infinity;
  for (let i = 0; i < time.length; ++i) {
    const t = time[i];
    if (t < lo) lo = t;
    if (t > hi) hi = t;
  }
  const first = Math.floor(lo / 3600), hours = Math.floor(hi / 3600) - first + 1;
  const UNKNOWN = 0x7fffffff;
  const table = hours > 0 && hours <= 4e6 ? new Int32Array(hours).fill(UNKNOWN) : null;
  const map = new Map();
  for (let i = 0; i < time.length; ++i) {
    const t = time[i];
    if (!Number.isFinite(t)) { out[i] = NaN; continue; }
    const hour = Math.floor(t / 3600);
    let off = table ? table[hour - first] : map.get(hour);
    if (off === undefined || off === UNKNOWN) {
      off = new Date(hour * 3600000).getTimezoneOffset() * 60;
      if (table) table[hour - first] = off; else map.set(hour, off);
    }
    out[i] = t - off;
  }
  return out;
}

// Which channels the timeline holds: the phone's text messages, the messenger's messages,
// calls, social-network messages.
export function channelsOf(type) {
  const seen = new Uint8Array(8);
  for (let i = 0; i < type.length; ++i) seen[type[i]] = 1;
  return { sms: seen[SMS] === 1, whatsapp: seen[WHATSAPP] === 1, calls: seen[CALL] === 1,
           threads: seen[THREAD] === 1 };
}

// The channels a chart counts, in words: WHAT is "messages" (those written on the phone or
// the messenger) or "events" (those, calls and social-network messages).
export function channelWords(channels, what) {
  const parts = [];
  if (channels.sms || !channels.whatsapp) parts.push("text messages");
  if (channels.whatsapp) parts.push("WhatsApp messages");
  if (what === "events") {
    parts.push(channels.whatsapp ? "calls (phone and WhatsApp)" : "calls");
    if (channels.threads) parts.push("social-network messages");
  }
  return parts.length < 2 ? parts.join("") : `${parts.slice(0, -1).join(", ")} and ${parts.at(-1)}`;
}

// Which way an event went: 1 from you, -1 to you, 0 unknown (threads, odd flags).
export function directionOf(type, flag) {
  if (isMessage(type)) return flag === 3 ? 1 : flag === 2 ? -1 : 0;
  if (type === CALL) return flag === 5 ? 1 : flag === 4 ? -1 : 0;
  return 0;
}
