// The pages' reading of the controller's texts and the figures derived from them, outside a
// browser. Run with TZ=UTC so that days and hours are the same everywhere.
import { test } from "node:test";
import assert from "node:assert/strict";
import * as data from "../../resources/reader.js";
import * as calendar from "../../resources/calendar.js";
import * as stats from "../../resources/statistics.js";
import { accounts, hasLines, logLines, readLog, readSummary, readingStatus } from "../../resources/log.js";
import { csvName, rankingCsv } from "../../resources/export.js";

const plain = (tl) => ({ uids: tl.uids, starts: [...tl.starts], damaged: tl.damaged,
                         events: [...tl.type].map((ty, i) => [ty, tl.time[i], tl.flag[i], tl.duration[i]]) });
const { SMS, CALL, OTHER } = data;

test("the timeline text, as documented and as it may arrive", () => {
  const cases = [
    ["[]", { uids: [], starts: [0], damaged: false, events: [] }],
    ['[[7],["sms",100,2,0,"call",160,4,35]]',
     { uids: [7], starts: [0, 2], damaged: false, events: [[SMS, 100, 2, 0], [CALL, 160, 4, 35]] }],
    // Empty and non-numeric stored values are kept as missing; an unknown type is kept too.
    ['[[7],["sms",100,,0,"call",160,4,],[8],["mail",1e3,x7,-]]',
     { uids: [7, 8], starts: [0, 2, 3], damaged: false,
       events: [[SMS, 100, NaN, 0], [CALL, 160, 4, NaN], [OTHER, 1000, NaN, NaN]] }],
    ['[ [1] , [ ] , [2],["s\\"ms",5,3,0] ]',
     { uids: [1, 2], starts: [0, 0, 1], damaged: false, events: [[OTHER, 5, 3, 0]] }],
    // Cut short: what was read stays.
    ['[[7],["sms",100,2,0,"call",1', { uids: [7], starts: [0, 2], damaged: true,
                                      events: [[SMS, 100, 2, 0], [CALL, 1, NaN, NaN]] }],
    ["no timeline", { uids: [], starts: [0], damaged: true, events: [] }],
  ];
  for (const [text, want] of cases) assert.deepEqual(plain(data.readTimeline(text)), want, text);
});

test("contacts join the timeline by number, and a person's figures", () => {
  const h = 3600, d0 = 14004 * 86400;  // a Monday, midnight
  const timeline = `[[7],["sms",${d0 + 10 * h},2,0,"sms",${d0 + 10 * h + 300},3,0,` +
    `"sms",${d0 + 10 * h + 1200},2,0,"sms",${d0 + 17 * h + 1200},3,0,` +
    `"call",${d0 + 86400 + 9 * h},4,0,"call",${d0 + 86400 + 9 * h + 60},5,120,` +
    `"sms",${d0 + 3 * 86400},x,0,"facebook_message",${d0 + 5 * 86400},0,0],[9],["call",${d0},4,30]]`;
  const contacts = JSON.stringify([["007", "Ann", "", "Lee", 0, 0, 0, 0, 0, '{"smiling":[5,6],"sad":[7]}', 0, 0],
                                  ["9", "", "", "", 0, 0, 0, 0, 0, "{broken", 0, 0]]);
  const model = stats.buildModel(timeline, contacts);
  const [ann, other] = model.people;
  const d = stats.personDetail(model, ann);
  assert.deepEqual([ann.name, ann.sent, ann.received, ann.calls, d.callsIn, d.callsOut,
                    d.unanswered, ann.callTime, d.threads, ann.balance],
                   ["Ann Lee", 2, 2, 2, 1, 1, 1, 120, 1, 0.5]);
  assert.deepEqual([other.name, stats.emoticonsOfPerson(other)], ["Contact 9", {}]);
  assert.deepEqual([model.total.people, model.total.busiestDay, model.total.busiestCount],
                   [2, 14004, 5]);

  // Starts: the first message (them), 17:20 after seven quiet hours (you), the next morning's
  // call (them); the odd flag and the thread count for nobody.
  assert.deepEqual(d.started, { you: 1, them: 2 });
  assert.deepEqual([d.replyYou, d.replyThem, d.streak, d.streakEnd], [300, 900, 2, 14005]);
  assert.deepEqual([d.callMedian, d.callLongest], [120, 120]);
  assert.equal(d.heat[1 * 24 + 10], 3);  // Monday, ten o'clock
  assert.deepEqual(d.emoticons.map((e) => [e.name, e.times.length]), [["smiling", 2], ["sad", 1]]);
  const months = stats.monthlySeries(model, ann);
  assert.deepEqual([months.months, months.sent, months.received, months.calls, months.threads],
                   [[(2008 - 1970) * 12 + 4], [2], [2], [2], [1]]);
  assert.deepEqual(stats.emoticonYears(d.emoticons),
                   { first: 1970, last: 1970, rows: [{ name: "smiling", times: 2, perYear: [2] },
                                                     { name: "sad", times: 1, perYear: [1] }] });
});

test("the messenger's messages count as messages, and a reply on one channel answers the other", () => {
  const d0 = 14004 * 86400, contacts = JSON.stringify([["007", "Ann", "", "Lee", 0, 0, 0, 0, 0, "{}", 0, 0]]);
  const model = stats.buildModel(`[[7],["sms",${d0},2,0,"whatsapp",${d0 + 60},3,0,"whatsapp",${d0 + 200},2,0,` +
                                 `"call",${d0 + 300},5,40]]`, contacts);
  const ann = model.people[0], d = stats.personDetail(model, ann);
  assert.deepEqual([ann.sent, ann.received, ann.calls, d.replyYou, d.replyThem, stats.monthlySeries(model, ann).sent], [1, 2, 1, 60, 140, [1]]);
  // What the charts say they count: the messenger's channel by name, the calls of both.
  assert.deepEqual([data.channelWords(model.channels, "events"), data.channelWords(model.channels, "messages"),
                    data.channelWords({ sms: true, calls: true, threads: true }, "events")],
                   ["text messages, WhatsApp messages and calls (phone and WhatsApp)",
                    "text messages and WhatsApp messages", "text messages, calls and social-network messages"]);
});

test("the calendar on the viewer's wall clock, and a person with 150,000 events", (t) => {
  // Month and year edges, before and after 1970, a leap day; weekdays from Sunday.
  const at = (y, m, d, s = 0) => calendar.dayOf(Date.UTC(y, m, d) / 1000 + s);
  const months = [[at(1970, 0, 1), 0], [at(1969, 11, 31, 86399), -1], [at(2016, 1, 29), 553],
                  [at(2016, 2, 1), 554], [at(2016, 11, 31, 86399), 563]];
  for (const [day, month] of months) assert.equal(calendar.monthOf(day), month, String(day));
  assert.deepEqual([calendar.weekdayOf(at(2016, 1, 29)), calendar.yearOf(at(1969, 11, 31)),
                    calendar.hourOf(Date.UTC(2016, 1, 29, 23, 59) / 1000)], [1, 1969, 23]);
  // Across a change to summer time in Berlin: local hours and months, not UTC's.
  t.after(() => { process.env.TZ = "UTC"; });
  process.env.TZ = "Europe/Berlin";
  const local = data.localTimes([Date.UTC(2021, 2, 28, 0, 30) / 1000, Date.UTC(2021, 2, 28, 1, 30) / 1000,
                                 Date.UTC(2021, 2, 31, 22, 30) / 1000]);
  assert.deepEqual([...local].map(calendar.hourOf), [1, 3, 0]);
  assert.equal(calendar.monthOf(calendar.dayOf(local[2])), (2021 - 1970) * 12 + 3);
  process.env.TZ = "UTC";

  // Beyond what a spread into Math.max or Math.min can take.
  const n = 150000, events = [];
  for (let i = 0; i < n; ++i) events.push(`"call",${1e9 + i * 600},4,${i % 1000}`);
  const times = Array.from({ length: n }, (_, i) => 1e9 + i * 600);
  const contacts = JSON.stringify([["1", "Big", "", "", 0, 0, 0, 0, 0, JSON.stringify({ wink: times }), 0, 0]]);
  const model = stats.buildModel(`[[1],[${events.join(",")}]]`, contacts);
  const d = stats.personDetail(model, model.people[0]);
  assert.deepEqual([d.callLongest, d.callMedian], [999, 500]);
  const years = stats.emoticonYears(d.emoticons);
  assert.deepEqual([years.first, years.last, years.rows[0].perYear.reduce((a, b) => a + b)], [2001, 2004, n]);
  assert.equal(stats.monthlySeries(model, null).calls.reduce((a, b) => a + b), n);
});

test("runs put in time order, and any date range agrees with a count of every event", () => {
  // Three people whose events arrive in several ordered runs each (and one without a time),
  // over three years; a pseudo-random but fixed draw.
  let seed = 7;
  const draw = (n) => (seed = (seed * 48271) % 2147483647) % n;
  const d0 = 14000 * 86400, kinds = [['"sms"', 2], ['"sms"', 3], ['"call"', 4], ['"call"', 5], ['"facebook_message"', 0]];
  const parts = [], events = [];
  for (const uid of [3, 5, 8]) {
    const runs = [];
    for (let r = 0; r < 1 + uid % 4; ++r) {
      const times = Array.from({ length: 20 + draw(40) }, () => d0 + draw(3 * 365 * 86400)).sort((a, b) => a - b);
      runs.push(...times.map((t) => [t, ...kinds[draw(5)], draw(3) * 60]));
    }
    if (uid === 5) runs.push([NaN, '"sms"', 2, 0]);
    events.push(...runs.map((e) => ({ uid, t: e[0], type: e[1], flag: e[2], duration: e[3] })));
    parts.push(`[${uid}],[${runs.map(([t, ty, f, d]) => `${ty},${Number.isNaN(t) ? "" : t},${f},${d}`).join(",")}]`);
  }
  const model = stats.buildModel(`[${parts.join(",")}]`, "[]");
  for (const p of model.people) {
    const times = [...model.tl.time.subarray(p.from, p.to)];
    const timed = times.filter(Number.isFinite);
    assert.deepEqual(timed, [...timed].sort((a, b) => a - b));
    assert.equal(times.length - timed.length, p.uid === 5 ? 1 : 0);
    assert.ok(Number.isNaN(times.at(-1)) === (p.uid === 5));
  }
  // The naive count: every event, its day on the wall clock (UTC here), and the range test.
  const dayOf = (t) => Math.floor(t / 86400);
  const check = (range) => {
    stats.applyRange(model, range);
    const inside = (e) => !range || (Number.isFinite(e.t) && dayOf(e.t) >= range.fromDay && dayOf(e.t) <= range.toDay);
    let busiest = 0;
    const perDay = new Map();
    for (const e of events.filter(inside)) {
      if (Number.isFinite(e.t)) perDay.set(dayOf(e.t), (perDay.get(dayOf(e.t)) ?? 0) + 1);
    }
    for (const n of perDay.values()) busiest = Math.max(busiest, n);
    for (const p of model.people) {
      const mine = events.filter((e) => e.uid === p.uid && inside(e));
      const count = (type, flag) => mine.filter((e) => e.type === type && (flag === undefined || e.flag === flag)).length;
      assert.deepEqual([p.volume, p.sent, p.received, p.calls, p.callTime],
                       [mine.length, count('"sms"', 3), count('"sms"', 2), count('"call"'),
                        mine.filter((e) => e.type === '"call"').reduce((a, e) => a + e.duration, 0)],
                       `${p.uid} in ${JSON.stringify(range)}`);
      const detail = stats.personDetail(model, p);
      assert.deepEqual([detail.callsIn, detail.threads], [count('"call"', 4), count('"facebook_message"')]);
    }
    const months = stats.monthlySeries(model, null);
    const sum = (k) => months[k].reduce((a, b) => a + b, 0);
    assert.deepEqual([sum("sent"), sum("calls"), model.total.busiestCount,
                      [...perDay.values()].filter((n) => n === busiest).length],
                     [model.total.sent, model.total.calls, busiest, model.total.busiestTies]);
    for (const p of model.people) {
      const own = stats.monthlySeries(model, p);
      assert.equal(own.months[0], months.months[0]);
    }
  };
  check(null);
  for (let k = 0; k < 12; ++k) {
    const a = 14000 + draw(1200), b = a + draw(400);
    check({ fromDay: a, toDay: b });
  }
  check({ fromDay: 10, toDay: 20 });  // before everything: nobody
  assert.equal(model.total.people, 0);
});

test("the detailed log: read as text, its totals and how the events add up", () => {
  // Whether a line was logged yet is told by the log's form, whatever its words.
  assert.deepEqual(["No valid backup folders found", "", "x<br/>", "a<BR>b"].map(hasLines),
                   [false, false, true, true]);
  assert.deepEqual(logLines("Read backup of Anna&#39;s &lt;b&gt;phone&lt;/b&gt;<br/>Error &quot;x&quot; in a&amp;b<br/>"),
                   ["Read backup of Anna's <b>phone</b>", 'Error "x" in a&b']);

  const read = (device, contacts, events) =>
    `Read backup of ${device}. In total so far: ${contacts} contacts and ${events} communication events<br/>`;
  const two = readLog(read("Anna&#39;s iPhone", 12, 550) + 'Error "disk I/O error" executing query on file /x/y<br/>' +
                      read("Old: phone", 20, 700));
  assert.deepEqual([two.backups.length, two.contacts, two.events, two.problems.length], [2, 20, 700, 1]);
  assert.match(readingStatus(two, null).text, /^So far: 2 backups \(Anna's iPhone, Old: phone\), with 20 contacts and 700 messages and calls\.$/);
  // Finished: the summary's figures and the log's devices; a summary that is no object is none.
  const finished = { finished: true, folder: "/home/a b/x: y", backups: 2, contacts: 21, events: 701 };
  assert.equal(readingStatus(two, finished).text,
               "Reading finished: read 2 backups (Anna's iPhone, Old: phone), with 21 contacts and 701 messages and calls.");
  assert.equal(readingStatus(readLog(""), readSummary('{"finished":true,"folder":"/h/B","backups":0}')).text,
               "No backup found in /h/B.");
  assert.deepEqual([readSummary("[1]"), readSummary("{"), readSummary(undefined), readingStatus(readLog(""), null).done],
                   [null, null, null, false]);

  // 550 read: 3 with the person shown, the rest as the matching divided them; the thread is
  // counted apart. Before the matching there is nothing to add up.
  const model = stats.buildModel('[[1],["sms",5,3,0,"sms",6,2,0,"call",7,4,0,"facebook_message",8,0,0]]', "[]");
  const summary = { ...finished, contacts: 12, events: 550, matched: true, shown: 3, people: 1, fewer: 40,
                    fewerPeople: 6, unknown: 500, noNumber: 7 };
  const a = accounts(model, summary);
  assert.deepEqual([a.read, a.shown + a.fewer + a.unknown + a.noNumber, a.threads, a.silent], [550, 550, 1, 5]);
  assert.equal(accounts(model, { ...summary, matched: false }), null);
});

test("the ranking as CSV: rank, events and every measure; its name says what it holds", () => {
  const model = stats.buildModel('[[4],["sms",100,3,0,"sms",400,2,0,"call",90000,5,30,"call",90100,4,0]]',
                                 JSON.stringify([["4", 'A "B", C', "", "", 0, 0, 0, 0, 0, "{}", 0, 0]]));
  model.people[0].rank = 1;
  const [head, row] = rankingCsv(model, model.people).split("\r\n");
  const fields = (line) => line.slice(1, -1).split('","').map((f) => f.replace(/""/g, '"'));
  const columns = fields(head), values = fields(row);
  const at = (name) => values[columns.indexOf(name)];
  assert.deepEqual([columns.slice(0, 4), at("name"), at("events"), at("calls in"), at("unanswered calls"),
                    at("call seconds"), at("started by you"), at("median reply seconds, them"),
                    at("longest run of days"), at("first contact")],
                   [["rank", "name", "told apart by", "events"], 'A "B", C', "4", "1", "1", "30", "2", "300", "2",
                    "1970-01-01T00:01:40.000Z"]);
  assert.deepEqual([csvName("", null), csvName("Zoë J.", { fromDay: 0, toDay: 31 })],
                   ["ovra-ranking.csv", "ovra-ranking-matching-Zoë-J-1970-01-01-to-1970-02-01.csv"]);
});
