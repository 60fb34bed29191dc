// Ovra in a real browser, as a person uses it, in headless Chromium on generated homes: the
// sample (six years of a life), a large one, and a copy of the sample whose databases hold
// empty and non-numeric flags and durations. The figures a page shows are checked against an
// independent count from the timeline text. Screenshots go to OVRA_BUILD_DIR/screenshots.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import crypto from "node:crypto";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { launch, frameShowing, startOvra, watchedPage } from "./chromium.mjs";

const build = process.env.OVRA_BUILD_DIR;
const shots = path.join(build, "screenshots");
const tmp = fs.mkdtempSync(path.join(os.tmpdir(), "ovra-pages-"));
let browser;

before(async () => {
  fs.mkdirSync(shots, { recursive: true });
  browser = await launch();
});
after(async () => {
  await browser?.close();
  fs.rmSync(tmp, { recursive: true, force: true });
});

function makeHome(name, ...args) {
  const home = path.join(tmp, name);
  execFileSync(path.join(build, "tools/ovra-sample-backup"), ["--out", home, ...args]);
  return home;
}

// Per uid: messages sent and received, calls and unanswered calls, read with a plain split.
function countTimeline(text) {
  const out = new Map();
  for (const [, uid, body] of text.matchAll(/\[(\d+)\],\[([^\]]*)\]/g)) {
    const v = body.split(","), c = { sent: 0, received: 0, calls: 0, unanswered: 0 };
    for (let i = 0; i + 3 < v.length; i += 4) {
      if (v[i] === '"sms"' && v[i + 2] === "3") ++c.sent;
      if (v[i] === '"sms"' && v[i + 2] === "2") ++c.received;
      if (v[i] === '"call"') ++c.calls, c.unanswered += v[i + 3] === "0";
    }
    out.set(uid, c);
  }
  return out;
}

// Opens Ovra on HOME as a person would: the secret leaves the address bar, the loading
// page stands beside the sign-in pane (offline here), the sign-in is skipped. Runs `check`
// on the page and the frame that shows SHOWS, then ends Ovra, which must exit cleanly.
async function withOvra(home, shows, check, { shot } = {}) {
  const { host, address } = await startOvra(build, home);
  const ended = new Promise((resolve) => host.on("exit", (code, signal) => resolve({ code, signal })));
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 }, acceptDownloads: true });
  await context.route("https://graph.facebook.com/**", (route) => route.abort());
  try {
    const page = await watchedPage(context);
    await page.goto(address);
    assert.equal(new URL(page.url()).search, "");
    const loading = await frameShowing(page, "loading.html");
    await loading.locator("#log li").first().waitFor();
    await page.getByRole("link", { name: "Open the sign-in page" }).waitFor();
    await page.getByText("No network: the sign-in page cannot be reached.").waitFor();
    if (shot) {
      // The waiting page, served the way the loading page is.
      const waiting = await watchedPage(context);
      await waiting.goto(loading.url().replace("loading.html", "loading_afterFacebook.html"));
      await screenshots(waiting, "loading_afterFacebook");
      assert.deepEqual(waiting.problems, []);
      // Both panes follow the window.
      await screenshots(page, "loading", () => {
        const f = document.querySelector('iframe[src$="/loading.html"]').getBoundingClientRect();
        const pane = document.querySelector(".o").getBoundingClientRect();
        return f.height === innerHeight && pane.height === innerHeight &&
               pane.right === innerWidth && f.width < innerWidth / 2 + 1;
      });
    }
    await loading.click("#skip");
    const frame = await frameShowing(page, shows);
    await frame.locator(shows === "main.html" ? "#person-stats dd" : "#log li").first().waitFor();
    await check(page, frame, context);
    assert.deepEqual(page.problems, []);
  } finally {
    await context.close();
    host.kill("SIGTERM");
    assert.deepEqual(await ended, { code: 0, signal: null });
  }
}

// Screenshots at both sizes; with `laidOut`, first waits until it holds in the top page.
async function screenshots(page, name, laidOut) {
  for (const [w, h] of [[1280, 800], [640, 400]]) {
    await page.setViewportSize({ width: w, height: h });
    if (laidOut) await page.waitForFunction(laidOut);
    await page.waitForTimeout(400);
    await page.screenshot({ path: path.join(shots, `${name}-${w}x${h}.png`) });
  }
  await page.setViewportSize({ width: 1280, height: 800 });
}

// Chooses each of the first rows and compares the figures shown with the count.
async function checkFigures(main, rows) {
  const { timeline, contacts } = await main.evaluate(() => ({
    timeline: appController.getTimeLine(), contacts: JSON.parse(appController.getContacts()) }));
  const counts = countTimeline(timeline);
  for (let k = 0; k < rows; ++k) {
    await main.click(`#list [data-at="${k}"]`);
    const shown = await main.evaluate(() => ({
      name: document.getElementById("person-name").textContent,
      stats: Object.fromEntries([...document.querySelectorAll("#person-stats > div")].map(
        (d) => [d.firstChild.textContent, Number(d.lastChild.textContent.split(" ")[0].replace(/\D/g, ""))])) }));
    const row = contacts.find((c) => [c[1], c[2], c[3]].filter(Boolean).join(" ") === shown.name);
    const want = counts.get(String(Number(row[0])));
    assert.deepEqual([shown.stats["Messages you sent"], shown.stats["Messages they sent"],
                      shown.stats["Calls"], shown.stats["Unanswered calls"]],
                     [want.sent, want.received, want.calls, want.unanswered], shown.name);
  }
  return contacts;
}

test("the sample: the four pages, the bridge, a person's figures, search, keyboard, exports", async () => {
  const home = makeHome("small");
  const headless = JSON.parse(execFileSync(path.join(build, "host/ovra"), ["--headless", "--home", home],
                                           { stdio: ["ignore", "pipe", "ignore"] }));
  await withOvra(home, "main.html", async (page, main, context) => {
    // The page reads exactly what the headless run prints, through exactly four methods.
    assert.deepEqual(await main.evaluate(() => ({
      methods: Object.keys(appController).sort().join(), contacts: appController.getContacts(),
      timeline: appController.getTimeLine(), detailedLog: appController.getDetailedLog() })),
                     { methods: "getContacts,getDetailedLog,getTimeLine,ignoreFacebook",
                       contacts: headless.contacts, timeline: headless.timeline,
                       detailedLog: headless.detailedLog });
    // The visualizer area follows the window, and the page follows the area.
    await screenshots(page, "main", () => {
      const f = document.querySelector('iframe[src$="/main.html"]').getBoundingClientRect();
      return f.width === innerWidth && f.height === innerHeight;
    });
    await page.emulateMedia({ colorScheme: "dark" });
    await page.waitForTimeout(400);
    await page.screenshot({ path: path.join(shots, "main-dark-1280x800.png") });
    await page.emulateMedia({ colorScheme: "light" });

    const contacts = await checkFigures(main, 4);
    // Search folds case and accents; the count line says how many match.
    const names = contacts.map((c) => [c[1], c[2], c[3]].filter(Boolean).join(" "));
    const fold = (s) => s.normalize("NFD").replace(/[\u0300-\u036f]/g, "").toLowerCase();
    await main.fill("#search", "ZOE");
    const matching = names.filter((n) => fold(n).includes("zoe"));
    assert.ok(matching.length > 0);
    await main.getByText(`${matching.length} of ${names.length} people match`).waitFor();
    assert.deepEqual((await main.locator("#list .name").allTextContents()).sort(), matching.sort());
    await main.fill("#search", "");

    // The keyboard alone reaches every control, and arrows move through the ranking and tabs.
    const reached = new Set();
    await main.locator("body").focus();
    for (let i = 0; i < 10; ++i) {
      await page.keyboard.press("Tab");
      reached.add(await main.evaluate(() => document.activeElement.id));
    }
    for (const id of ["search", "sort", "export-csv", "list", "tab-person", "export-png"]) {
      assert.ok(reached.has(id), `${id} is reached by Tab (${[...reached]})`);
    }
    await main.focus("#list");
    await page.keyboard.press("End");
    assert.equal(await main.getAttribute("#list", "aria-activedescendant"), `person-${names.length - 1}`);
    await main.focus("#tab-person");
    await page.keyboard.press("ArrowRight");
    assert.equal(await main.isVisible("#arcs"), true);
    await page.keyboard.press("ArrowRight");
    assert.notEqual(await main.textContent("#log"), "");

    // The ranking as CSV, the chart as PNG.
    await page.keyboard.press("ArrowRight");
    const [csv] = await Promise.all([page.waitForEvent("download"), main.click("#export-csv")]);
    const lines = fs.readFileSync(await csv.path(), "utf8").trim().split("\r\n");
    assert.equal(lines.length, names.length + 1);
    const [png] = await Promise.all([page.waitForEvent("download"), main.click("#export-png")]);
    assert.equal(fs.readFileSync(await png.path()).subarray(1, 4).toString(), "PNG");

    // A link out to the web opens in a new tab of the browser (served here: no network).
    await context.route("http://example.org/**", (route) => route.fulfill({ body: "elsewhere" }));
    const opened = context.waitForEvent("page");
    await main.evaluate(() => window.open("http://example.org/about", "_blank"));
    const tab = await opened;
    await tab.waitForLoadState();
    assert.equal(tab.url(), "http://example.org/about");
  }, { shot: true });
});

test("empty and non-numeric flags and durations, and a home with nobody to show", async () => {
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
  await withOvra(empty, "noData.html", async (page, noData) => {
    await noData.getByText("No valid backup folders found").waitFor();
    await noData.getByText("at least five messages or calls").waitFor();
    await screenshots(page, "noData");
  });
});

test("the large home: 5,000 contacts draw, and the figures still match", async () => {
  const home = makeHome("large", "--contacts", "5000", "--sms", "200000", "--calls", "50000");
  await withOvra(home, "main.html", async (page, main) => {
    await checkFigures(main, 2);
    await main.fill("#search", "emma");
    await main.getByText(/ of 4,999 people match|of 5,000 people match/).waitFor();
  });
});
