// Ovra in a real browser, as a person uses it, in headless Chromium on generated homes: the
// sample (six years of a life), a large one, a copy of the sample with empty and non-numeric
// flags, an empty home and one where nobody reaches five events. What a page shows is checked
// against an independent count of the bridge's texts. Screenshots of every view, at two sizes
// and in both themes, go to OVRA_BUILD_DIR/screenshots.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import crypto from "node:crypto";
import fs from "node:fs";
import path from "node:path";
import { build, close, countTimeline, figure, fullName, isoDay, makeHome, open, pngSize, screenshots,
         statsOf, timelineEvents, tmp, utcDay, withOvra } from "./steps.mjs";

before(open);
after(close);

const inTop = () => {
  const f = document.querySelector("iframe").getBoundingClientRect();
  return f.width === innerWidth && f.height === innerHeight;
};

// Chooses each of the first rows and compares the figures shown with the count.
async function checkFigures(main, rows) {
  const { timeline, contacts } = await main.evaluate(() => ({
    timeline: appController.getTimeLine(), contacts: JSON.parse(appController.getContacts()) }));
  const counts = countTimeline(timeline);
  for (let k = 0; k < rows; ++k) {
    await main.click(`#list [data-at="${k}"]`);
    const name = await main.textContent("#person-name"), rank = await main.textContent(`#list [data-at="${k}"] .rank`);
    const stats = await statsOf(main, "person-stats");
    const uid = await main.evaluate((k) => String(window.ovraModel.people.find((p) => p.rank === k + 1).uid), k);
    const row = contacts.find((c) => String(Number(c[0])) === uid);
    const want = counts.get(uid);
    assert.equal(fullName(row), name);
    assert.equal(rank, String(k + 1));
    assert.deepEqual([stats["Events"], stats["Messages you sent"], stats["Messages they sent"],
                      stats["Calls"].split(" ")[0], stats["Unanswered calls"]].map(figure),
                     [want.events, want.sent, want.received, want.calls, want.unanswered], name);
  }
  return contacts;
}

// The overview and "What was read" account for every event the log says was read: with the
// people shown (counted on the timeline), below the threshold, unknown numbers, no number.
async function figuresAddUp(page, main, events, log) {
  const overview = await statsOf(main, "overview");
  assert.equal(figure(overview["Events"].split(" ")[0]), events.length);
  const [, contacts, read] = /(\d+) contacts and (\d+) communication events<br\/>$/.exec(log).map(Number);
  await main.getByRole("button", { name: "how they add up" }).click();
  assert.equal(await main.getAttribute("#tab-log", "aria-selected"), "true");
  const accounts = await main.evaluate(() => [...document.querySelectorAll("#accounts tr")].map(
    (r) => [r.querySelector("th").textContent, r.querySelector("td").textContent]));
  const row = (start) => figure(accounts.find(([what]) => what.startsWith(start))?.[1] ?? "0");
  const shown = events.filter((e) => e.type !== "facebook_message").length;
  const people = new Set(events.map((e) => e.uid)).size;
  assert.equal(row("Messages and calls read"), read);
  assert.equal(row(`… with the ${people.toLocaleString("en-US")} people shown`), shown);
  const fewer = accounts.find(([what]) => /^… with [\d,]+ people who have fewer than five/.test(what));
  assert.equal(shown + figure(fewer[1]) + row("… from numbers not in your contacts") + row("… without a number"), read);
  assert.equal(row("Contacts read"), contacts);
  // The whole log, each line readable as text.
  assert.deepEqual(await main.locator("#log li").allTextContents(),
                   log.split("<br/>").filter(Boolean).map((l) => l.replace(/&#39;/g, "'")));
}

// Every chart says what it shows: a title, axes with units and whole numbers from zero, a
// legend; the sample's sparse months as bars. The heatmap reads out a cell's count.
async function chartsSayWhatTheyShow(page, main, events) {
  await main.click("#tab-person");
  await main.click('#list [data-at="0"]');
  const uid = await main.evaluate(() => String(window.ovraModel.people.find((p) => p.rank === 1).uid));
  const mine = events.filter((e) => e.uid === uid);
  const chart = await main.evaluate(() => {
    const u = document.getElementById("person-volume").uplot;
    return { title: document.getElementById("person-volume").previousElementSibling.textContent,
             labels: u.axes.slice(1).map((a) => a.label), zero: u.axes.slice(1).map((a) => a._splits[0]),
             ticks: u.axes.slice(1).flatMap((a) => a._values), bars: u.bars, months: u.data[0].length,
             busiest: Math.max(...u.data.slice(1).flat()),
             legend: [...document.querySelectorAll("#person-volume .u-legend .u-label")].map((l) => l.textContent),
             total: u.data.slice(1).flat().reduce((a, b) => a + (b ?? 0), 0) };
  });
  assert.match(chart.title, /month by month/i);
  assert.ok(chart.labels.every((l) => / per month$/.test(l)), chart.labels.join());
  assert.deepEqual(chart.zero, chart.zero.map(() => 0));
  assert.ok(chart.ticks.every((t) => /^[\d,]*$/.test(t)), chart.ticks.join());
  // Sparse months (few of them, or few events in each) as bars, busy ones as lines.
  assert.equal(chart.bars, chart.months <= 24 || chart.busiest <= 10);
  assert.ok(chart.legend.includes("Messages you sent"), chart.legend.join());
  assert.equal(chart.total, mine.filter((e) => e.type === "call" || ["2", "3"].includes(e.flag)).length);

  // The heatmap: a key, and the count of the cell in focus, as counted here.
  assert.match(await main.locator("#person-heat .heat-key").textContent(), /^Fewer1/);
  await main.focus("#person-heat canvas");
  const at = (weekday, hour) => mine.filter((e) => new Date(e.time * 1000).getUTCDay() === weekday &&
                                                   new Date(e.time * 1000).getUTCHours() === hour).length;
  assert.equal(await main.textContent("#person-heat .heat-readout"), `Monday, 12:00–13:00: ${at(1, 12)} events`);
  await page.keyboard.press("ArrowDown");
  await page.keyboard.press("ArrowRight");
  assert.equal(await main.textContent("#person-heat .heat-readout"), `Tuesday, 13:00–14:00: ${at(2, 13)} events`);
  const box = await main.locator("#person-heat canvas").boundingBox();
  await page.mouse.move(box.x + box.width - 10, box.y + box.height - 10);
  assert.match(await main.textContent("#person-heat .heat-readout"), /^Sunday, 23:00–00:00: \d+ events$/);

  // The emoticons' year bars carry their years.
  if (await main.isVisible("#person-emoticons")) {
    assert.match(await main.textContent("#emoticon-years"), /^Year by year, \d{4} to \d{4}$/);
    assert.match(await main.getAttribute("#person-emoticons canvas >> nth=0", "aria-label"), /^\d{4}: \d+(, \d{4}: \d+)*$/);
  }
  // The PNG holds the chart and, above and below it, its title, dates and legend.
  const [png] = await Promise.all([page.waitForEvent("download"), main.click("#export-png")]);
  const [, height] = pngSize(await png.path());
  const drawn = await main.evaluate(() => document.getElementById("person-volume").uplot.ctx.canvas.height);
  assert.ok(height > drawn + 60, `${height} against ${drawn}`);
  assert.match(png.suggestedFilename(), /^ovra-.+\.png$/);
}

// The measures that are not obvious explain themselves on focus; the busiest day says when it
// is the first of several and opens that day.
async function wordsWhereNeeded(page, main, events) {
  const explained = { "Events": /one message or one call/, "Who starts": /six quiet hours/,
                      "Quick replies (median)": /within six hours/, "Longest run of days": /days in a row/ };
  for (const [term, words] of Object.entries(explained)) {
    const dt = main.locator("#person-stats dt", { hasText: term });
    await dt.focus();
    const tip = main.locator(`#${await dt.getAttribute("aria-describedby")}`);
    assert.equal(await tip.isVisible(), true, term);
    assert.match(await tip.textContent(), words);
  }
  const perDay = new Map();
  for (const e of events) perDay.set(utcDay(e.time), (perDay.get(utcDay(e.time)) ?? 0) + 1);
  const most = Math.max(...perDay.values()), ties = [...perDay.values()].filter((n) => n === most).length;
  const first = Math.min(...[...perDay].filter(([, n]) => n === most).map(([d]) => d));
  const busiest = (await statsOf(main, "overview"))["Busiest day"];
  const n = (x) => x.toLocaleString("en-US");
  assert.match(busiest, new RegExp(`${n(most)} events${ties > 1 ? `, first of ${n(ties)} such days` : "$"}`));
  await main.locator("#overview dd button.link").last().click();
  await main.locator("#day[open]").waitFor();
  assert.equal(await main.locator("#day-events tbody tr").count(), most);
  assert.match(await main.textContent("#day-title"),
               new RegExp(new Date(first * 86400000).toLocaleDateString("en-US", { month: "long", day: "numeric", year: "numeric", timeZone: "UTC" })));
  assert.match(await main.textContent("#day-events tbody"), /(message|call)/);
  return first;
}

// Choosing a person anywhere shows them; a search keeps ranks; bars follow the sort; a search
// that matches nobody empties the panel; the CSV says what it holds.
async function listAndPanelInStep(page, main, names) {
  await main.click("#tab-everyone");
  await main.click('#list [data-at="1"]');
  assert.equal(await main.getAttribute("#tab-person", "aria-selected"), "true");
  assert.equal(await main.textContent("#person-name"), await main.textContent('#list [data-at="1"] .name'));

  const ranks = new Map((await main.evaluate(() => window.ovraModel.people.map((p) => [p.name, p.rank]))));
  await main.fill("#search", "a");
  const rows = await main.evaluate(() => [...document.querySelectorAll("#list .row")].map(
    (r) => [r.querySelector(".name").textContent, Number(r.querySelector(".rank").textContent)]));
  for (const [name, rank] of rows) assert.equal(rank, ranks.get(name), name);
  await main.fill("#search", "");

  await main.selectOption("#sort", "calls");
  const bars = await main.evaluate(() => [...document.querySelectorAll("#list .row")].map((r) => {
    const p = window.ovraModel.people.find((q) => q.rank === Number(r.querySelector(".rank").textContent));
    return [p.calls, parseFloat(r.querySelector(".bar").style.width)];
  }));
  for (const [calls, width] of bars) assert.ok(Math.abs(width - Math.max(1, (100 * calls) / bars[0][0])) < 0.5);
  await main.selectOption("#sort", "volume");

  const [all] = await Promise.all([page.waitForEvent("download"), main.click("#export-csv")]);
  const lines = fs.readFileSync(await all.path(), "utf8").trim().split("\r\n");
  assert.equal(all.suggestedFilename(), "ovra-ranking.csv");
  assert.equal(lines.length, names.length + 1);
  assert.match(lines[0], /^"rank","name","told apart by","events","messages you sent",/);
  const start = names[0].slice(0, 2);
  await main.fill("#search", start);
  const [some] = await Promise.all([page.waitForEvent("download"), main.click("#export-csv")]);
  assert.equal(some.suggestedFilename(), `ovra-ranking-matching-${start.replace(/[^\p{L}\p{N}]+/gu, "-")}.csv`);

  await main.fill("#search", "nobody by this name");
  assert.equal(await main.textContent("#person-name"), "Nobody matches the search");
  assert.equal(await main.locator("#person-stats > div").count(), 0);
  assert.equal(await main.isVisible("#person-volume"), false);
  assert.equal(await main.isDisabled("#export-png"), true);
  assert.equal(await main.isDisabled("#export-csv"), true);
  await main.fill("#search", "");
  assert.equal(await main.isDisabled("#export-png"), false);
}

// A date range from the fields and from the everyone chart, followed by every figure; two
// people compared; the story's links.
async function whenAndWithWhom(page, main, events) {
  const days = events.map((e) => utcDay(e.time));
  const lo = Math.min(...days), hi = Math.max(...days), a = lo + Math.floor((hi - lo) / 3), b = lo + Math.floor((hi - lo) / 2);
  const iso = (d) => new Date(d * 86400000).toISOString().slice(0, 10);
  await main.fill("#range-from", iso(a));
  await main.fill("#range-to", iso(b));
  await main.locator("#range-to").dispatchEvent("change");
  const inside = events.filter((e) => utcDay(e.time) >= a && utcDay(e.time) <= b);
  assert.equal(figure((await statsOf(main, "overview"))["Events"].split(" ")[0]), inside.length);
  assert.match(await main.textContent("#range-text"), /^Showing .+ to .+ only$/);
  assert.match(await main.textContent("#list-count"), /in these dates/);
  const uid = await main.evaluate(() => String(window.ovraModel.people.find((p) => p.rank === 1).uid));
  assert.equal(figure((await statsOf(main, "person-stats"))["Events"]), inside.filter((e) => e.uid === uid).length);
  await screenshots(page, "main-range", inTop);
  await main.click("#range-clear");
  assert.equal(await main.textContent("#range-text"), "Showing all dates");
  assert.equal(figure((await statsOf(main, "overview"))["Events"].split(" ")[0]), events.length);

  // Dragging across the everyone chart chooses the months under the drag.
  await main.click("#tab-everyone");
  const over = await main.locator("#all-volume .u-over").boundingBox();
  await page.mouse.move(over.x + over.width * 0.3, over.y + over.height / 2);
  await page.mouse.down();
  await page.mouse.move(over.x + over.width * 0.6, over.y + over.height / 2, { steps: 5 });
  await page.mouse.up();
  const [from, to] = [isoDay(await main.inputValue("#range-from")), isoDay(await main.inputValue("#range-to"))];
  assert.ok(from > lo && to < hi && from < to, `${from} ${to}`);
  const dragged = events.filter((e) => utcDay(e.time) >= from && utcDay(e.time) <= to).length;
  assert.equal(figure((await statsOf(main, "overview"))["Events"].split(" ")[0]), dragged);
  await main.click("#range-clear");

  // Two people side by side: the third in the ranking beside the first.
  await main.click('#list [data-at="0"]');
  const first = await main.textContent("#person-name"), third = await main.textContent('#list [data-at="2"] .name');
  await main.click("#compare-with");
  await main.fill("#compare-search", third);
  await main.click(`#compare-suggestions button >> text="${third}"`);
  const table = await main.evaluate(() => [...document.querySelectorAll("#compare-table tr")].map(
    (r) => [...r.children].map((c) => c.firstChild.textContent)));
  assert.deepEqual(table[0], ["Measure", first, third]);
  const [, x, y] = table.find((r) => r[0] === "Events");
  const uids = await main.evaluate(() => Object.fromEntries(window.ovraModel.people.map((p) => [p.label, String(p.uid)])));
  assert.deepEqual([figure(x), figure(y)], [first, third].map((n) => events.filter((e) => e.uid === uids[n]).length));
  assert.deepEqual(await main.evaluate(() => document.getElementById("compare-volume").uplot.axes[1].label), "events per month");

  // The story: its links lead to the person, the comparison and the views they speak of.
  const links = main.locator("#story button.link");
  assert.ok(await links.count() >= 3);
  const constant = await links.first().textContent();
  await links.first().click();
  assert.equal(await main.textContent("#person-name"), constant);
  const compare = main.locator("#story button.link", { hasText: "compare them" });
  if (await compare.count()) {
    await compare.click();
    assert.equal(await main.getAttribute("#tab-compare", "aria-selected"), "true");
  }
}

test("the sample, as a person meets it: every view, figure and explanation", async () => {
  const home = makeHome("small");
  const headless = JSON.parse(execFileSync(path.join(build, "host/ovra"), ["--headless", "--home", home],
                                           { stdio: ["ignore", "pipe", "ignore"] }));
  const check = async (page, main, context) => {
    // The page reads exactly what the headless run prints, through exactly five methods.
    assert.deepEqual(await main.evaluate(() => ({
      methods: Object.keys(appController).sort().join(), contacts: appController.getContacts(),
      timeline: appController.getTimeLine(), detailedLog: appController.getDetailedLog() })),
                     { methods: "getContacts,getDetailedLog,getReadingSummary,getTimeLine,ignoreFacebook",
                       contacts: headless.contacts, timeline: headless.timeline,
                       detailedLog: headless.detailedLog });
    // The worker asked for the timeline itself, where the bridge said it is answered.
    assert.deepEqual(await main.evaluate(() => [new URL(appController.getTimeLine.address).pathname
      .replace(/\d+/, "ID"), performance.getEntriesByName("ovra-prepared-beside").length]),
                     ["/call/ID/getTimeLine", 1]);
    const events = timelineEvents(headless.timeline);
    const names = JSON.parse(headless.contacts).map(fullName);
    await screenshots(page, "main-person", inTop);
    const contacts = await checkFigures(main, 4);
    assert.equal(contacts.length, names.length);
    await figuresAddUp(page, main, events, headless.detailedLog);
    await screenshots(page, "main-log", inTop);
    await chartsSayWhatTheyShow(page, main, events);
    await wordsWhereNeeded(page, main, events);
    await screenshots(page, "main-day", inTop);
    await page.keyboard.press("Escape");
    await listAndPanelInStep(page, main, names);
    await whenAndWithWhom(page, main, events);
    await screenshots(page, "main-compare", inTop);
    await main.click("#tab-everyone");
    await screenshots(page, "main-everyone", inTop);

    // Search folds case and accents (a name with an accent, typed without it and in capitals);
    // the count line says how many match.
    const fold = (s) => s.normalize("NFD").replace(/[\u0300-\u036f]/g, "").toLowerCase();
    const accented = names.find((n) => fold(n) !== n.toLowerCase()) ?? names[0];
    const typed = fold(accented).split(" ")[0].toUpperCase();
    await main.fill("#search", typed);
    const matching = names.filter((n) => fold(n).includes(typed.toLowerCase()));
    assert.ok(matching.length > 0);
    await main.getByText(`${matching.length} of ${names.length} people match`).waitFor();
    assert.deepEqual((await main.locator("#list .name").allTextContents()).sort(), matching.sort());
    await main.fill("#search", "");

    // The keyboard alone reaches every control, and arrows move through the ranking and tabs.
    const reached = new Set();
    await main.click("#tab-person");
    await main.evaluate(() => document.activeElement.blur());
    for (let i = 0; i < 60; ++i) {
      await page.keyboard.press("Tab");
      reached.add(await main.evaluate(() => document.activeElement.id));
    }
    for (const id of ["range-from", "range-to", "search", "sort", "export-csv", "list", "tab-person", "export-png", "compare-with"]) {
      assert.ok(reached.has(id), `${id} is reached by Tab (${[...reached]})`);
    }
    await main.focus("#list");
    await page.keyboard.press("End");
    assert.equal(await main.getAttribute("#list", "aria-activedescendant"), `person-${names.length - 1}`);
    await main.focus("#tab-person");
    await page.keyboard.press("ArrowRight");
    await page.keyboard.press("ArrowRight");
    assert.equal(await main.isVisible("#arcs"), true);

    // A link out to the web opens in a new tab of the browser (served here: no network).
    await context.route("http://example.org/**", (route) => route.fulfill({ body: "elsewhere" }));
    const opened = context.waitForEvent("page");
    await main.evaluate(() => window.open("http://example.org/about", "_blank"));
    const tab = await opened;
    await tab.waitForLoadState();
    assert.equal(tab.url(), "http://example.org/about");
  };
  // The loading page says what was read so far; the waiting page after it, and both panes
  // following the window. The sign-in address is behind a toggle; opened, it is all that goes out.
  check.loading = async (page, loading, context) => {
    const [, device, people, read] = /^Read backup of (.*)\. In total so far: (\d+) contacts and (\d+)/.exec(headless.detailedLog);
    const n = (text) => Number(text).toLocaleString("en-US");
    await loading.getByText(`Reading finished: read 1 backup (${device.replace("&#39;", "'")}), with ${n(people)} contacts and ${n(read)} messages and calls.`, { exact: true }).waitFor();
    const waiting = await context.newPage();
    await waiting.goto(loading.url().replace("loading.html", "loading_afterFacebook.html"));
    await screenshots(waiting, "loading_afterFacebook");
    await waiting.close();
    await screenshots(page, "loading", () => {
      const f = document.querySelector('iframe[src$="/loading.html"]').getBoundingClientRect();
      const pane = document.querySelector(".o").getBoundingClientRect();
      return f.height === innerHeight && pane.height === innerHeight && pane.right === innerWidth &&
             f.width < innerWidth / 2 + 1;
    });
    const shown = page.locator(".o details .u"), opened = context.waitForEvent("page");
    assert.equal(await shown.isVisible(), false);
    await page.getByText("Show the address").click();
    await page.getByRole("link", { name: "Open the sign-in page" }).click();
    await (await opened).close();
    assert.deepEqual(context.outside, [await shown.textContent()]);
  };
  await withOvra(home, "main.html", check);
});

test("empty and non-numeric flags; a home with no backup; backups with nobody to show", async () => {
  const home = makeHome("damaged");
  const stored = (name) => crypto.createHash("sha1").update(name).digest("hex");
  const find = (dir, file) => fs.readdirSync(dir, { recursive: true }).find((f) => f.endsWith(file));
  const backup = path.join(home, "Library/Application Support/MobileSync/Backup");
  const sql = (db, text) => execFileSync("sqlite3", [path.join(backup, find(backup, stored(db))), text]);
  sql("HomeDomain-Library/SMS/sms.db", "UPDATE message SET flags='' WHERE rowid % 5 = 0; UPDATE message SET flags='x7' WHERE rowid % 7 = 0;");
  sql("WirelessDomain-Library/CallHistory/call_history.db", "UPDATE call SET duration='' WHERE rowid % 3 = 0; UPDATE call SET flags='-' WHERE rowid % 4 = 0;");
  await withOvra(home, "main.html", async (page, main) => {
    assert.match(await main.evaluate(() => appController.getTimeLine()), /,,.*,x7,/);
    await checkFigures(main, 3);
  });

  const empty = path.join(tmp, "empty");
  fs.mkdirSync(empty);
  // Nothing could ever be shown: the loading page says so without a click, and the no-data
  // page names the whole folder.
  const folder = `${empty}/Library/Application Support/MobileSync/Backup`;
  const nothing = async (page, noData) => {
    await noData.getByRole("heading", { name: "No backup found" }).waitFor();
    assert.equal(await noData.textContent("#why"), `No backup found in ${folder}.`);
    await noData.getByText("No valid backup folders found").waitFor();
    await noData.getByText("at least five messages or calls").waitFor();
    await screenshots(page, "noData-empty");
  };
  nothing.loading = async (page, loading) => {
    await loading.getByRole("heading", { name: "No backup found" }).waitFor();
    assert.equal(await loading.textContent("#reading"), `No backup found in ${folder}.`);
    assert.equal(await loading.textContent("#skip"), "See what to do");
  };
  await withOvra(empty, "noData.html", nothing);

  const few = makeHome("few", "--sms", "8", "--calls", "2");
  await withOvra(few, "noData.html", async (page, noData) => {
    await noData.getByRole("heading", { name: "Backups read, but nobody with five or more events" }).waitFor();
    assert.match(await noData.textContent("#why"),
                 /^Read 1 backup \(.+\), with \d+ contacts and 10 messages and calls, but you have fewer than five with each of them\.$/);
    await screenshots(page, "noData-few");
  });
});

test("the large home: 5,000 contacts draw, figures match, namesakes told apart, a range", async () => {
  const home = makeHome("large", "--contacts", "5000", "--sms", "200000", "--calls", "50000");
  await withOvra(home, "main.html", async (page, main) => {
    const { timeline, log } = await main.evaluate(() => ({ timeline: appController.getTimeLine(),
                                                          log: appController.getDetailedLog() }));
    await figuresAddUp(page, main, timelineEvents(timeline), log);
    await main.click("#tab-person");
    const contacts = await checkFigures(main, 2);
    await main.fill("#search", "emma");
    await main.getByText(/ of [\d,]+ people match/).waitFor();
    // People who share a name: each row says which one it is, and no two say the same.
    const byName = new Map();
    for (const row of contacts) byName.set(fullName(row), (byName.get(fullName(row)) ?? 0) + 1);
    const [shared] = [...byName].find(([, n]) => n > 1);
    await main.fill("#search", shared);
    const figures = await main.locator("#list .row .figure").allTextContents();
    const exact = (await main.locator("#list .row .name").allTextContents()).filter((n) => n === shared).length;
    assert.ok(exact > 1);
    const details = figures.map((f) => f.split(" · ")[1]).filter(Boolean);
    assert.equal(new Set(details).size, details.length);
    await main.fill("#search", "");
    // A range: the ranking and the overview follow it.
    const events = timelineEvents(timeline);
    const a = utcDay(events[0].time) - 200, b = a + 365;
    await main.fill("#range-from", new Date(a * 86400000).toISOString().slice(0, 10));
    await main.fill("#range-to", new Date(b * 86400000).toISOString().slice(0, 10));
    await main.locator("#range-to").dispatchEvent("change");
    const inside = events.filter((e) => utcDay(e.time) >= a && utcDay(e.time) <= b);
    assert.equal(figure((await statsOf(main, "overview"))["Events"].split(" ")[0]), inside.length);
    const people = new Set(inside.map((e) => e.uid)).size;
    assert.match(await main.textContent("#list-count"), new RegExp(`^${people.toLocaleString("en-US")} people in these dates`));
  });
});

test("an encrypted backup: a wrong password, then the right one, and its people are shown", async () => {
  const size = ["--story", "none", "--seed", "3"];
  const plain = makeHome("plain", ...size);
  const locked = makeHome("locked", ...size, "--password", "Ωmega 2");
  const peopleLine = (main) => main.locator("#list-count").textContent();
  let plainPeople;
  await withOvra(plain, "main.html", async (page, main) => { plainPeople = await peopleLine(main); });
  assert.match(plainPeople, /\d+ people/);
  const unlocked = async (page, main) => assert.equal(await peopleLine(main), plainPeople);
  unlocked.loading = async (page) => {
    const pane = page.locator("#password");
    const unlock = page.getByRole("button", { name: "Unlock" });
    await pane.getByText("The backup of Anna's iPhone is encrypted. Its password:").waitFor();
    await page.locator("#password-field").fill("omega 2");
    await unlock.click();
    await pane.getByText("That password did not unlock the backup.").waitFor();
    await page.locator("#password-field").fill("Ωmega 2");
    await unlock.click();
    await pane.waitFor({ state: "detached" });
  };
  await withOvra(locked, "main.html", unlocked);
});

test("a later backup with the messenger: each chart names the channels it counts", async () => {
  const home = makeHome("messenger", "--format", "modern");
  await withOvra(home, "main.html", async (page, main) => {
    const counted = "Counts text messages, WhatsApp messages and calls (phone and WhatsApp).";
    await main.locator("#list .row").first().click();
    assert.deepEqual(await main.locator("#view-person h3 .counts").allTextContents()
                       .then((lines) => [...new Set(lines)]), [counted, "Counts text messages and WhatsApp messages."]);
    const legend = await main.locator("#person-volume .u-legend .u-label").allTextContents();
    assert.ok(legend.includes("Messages you sent (texts and WhatsApp)"), legend.join());
    await screenshots(page, "main-messenger");
  });
});
