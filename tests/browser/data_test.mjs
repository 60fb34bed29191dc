// The pages' reading of the controller's texts and the figures derived from them, outside a
// browser. Run with TZ=UTC so that days and hours are the same everywhere.
import { test } from "node:test";
import assert from "node:assert/strict";
import * as data from "../../resources/reader.js";
import * as calendar from "../../resources/calendar.js";
import * as stats from "../../resources/statistics.js";
import { hasLines, logLines } from "../../resources/log.js";
import { rankingCsv } from "../../resources/export.js";

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
  const model = stats.buildModel(data.readBridge(timeline, contacts));
  const [ann, other] = model.people;
  assert.deepEqual([ann.name, ann.sent, ann.received, ann.calls, ann.callsIn, ann.callsOut,
                    ann.unanswered, ann.callTime, ann.threads, ann.balance],
                   ["Ann Lee", 2, 2, 2, 1, 1, 1, 120, 1, 0.5]);
  assert.deepEqual([other.name, other.emoticons], ["Contact 9", {}]);
  assert.deepEqual([model.total.people, model.total.busiestDay, model.total.busiestCount],
                   [2, 14004, 5]);

  const d = stats.personDetail(model, ann);
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
  const model = stats.buildModel(data.readBridge(`[[1],[${events.join(",")}]]`, contacts));
  const d = stats.personDetail(model, model.people[0]);
  assert.deepEqual([d.callLongest, d.callMedian], [999, 500]);
  const years = stats.emoticonYears(d.emoticons);
  assert.deepEqual([years.first, years.last, years.rows[0].perYear.reduce((a, b) => a + b)], [2001, 2004, n]);
  assert.equal(stats.monthlySeries(model, null).calls.reduce((a, b) => a + b), n);
});

test("the detailed log is read as text and the ranking is written as CSV", () => {
  // Whether a line was logged yet is told by the log's form, whatever its words.
  assert.deepEqual(["No valid backup folders found", "", "x<br/>", "a<BR>b"].map(hasLines),
                   [false, false, true, true]);
  assert.deepEqual(logLines("Read backup of Anna&#39;s &lt;b&gt;phone&lt;/b&gt;<br/>Error &quot;x&quot; in a&amp;b<br/>"),
                   ["Read backup of Anna's <b>phone</b>", 'Error "x" in a&b']);
  const csv = rankingCsv([{ name: 'A "B", C', sent: 1, received: 2, calls: 3, unanswered: 0,
                                 callTime: 9, threads: 0, first: 0, last: NaN, balance: NaN }]);
  assert.equal(csv.split("\r\n")[1], '"A ""B"", C","1","2","3","0","9","0","1970-01-01T00:00:00.000Z","",""');
});
