// What the page tests share: generated homes, Ovra opened on one as a person would, an
// independent count of the bridge's texts with plain string splits, and screenshots of a view
// at both sizes in both themes. The browser runs in UTC, so days are counted as UTC days.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { launch, frameShowing, startOvra, watchedPage } from "./chromium.mjs";

export const build = process.env.OVRA_BUILD_DIR;
export const shots = path.join(build, "screenshots");
export const tmp = fs.mkdtempSync(path.join(os.tmpdir(), "ovra-pages-"));
let browser;

export async function open() {
  fs.rmSync(shots, { recursive: true, force: true });
  fs.mkdirSync(shots, { recursive: true });
  browser = await launch();
}
export async function close() {
  await browser?.close();
  fs.rmSync(tmp, { recursive: true, force: true });
}

export function makeHome(name, ...args) {
  const home = path.join(tmp, name);
  execFileSync(path.join(build, "tools/ovra-sample-backup"), ["--out", home, ...args]);
  return home;
}

// Every event of the timeline text, read with plain splits: {uid, type, time, flag, duration}.
export function timelineEvents(text) {
  const out = [];
  for (const [, uid, body] of text.matchAll(/\[(\d+)\],\[([^\]]*)\]/g)) {
    const v = body.split(",");
    for (let i = 0; i + 3 < v.length; i += 4) {
      out.push({ uid, type: v[i].replaceAll('"', ""), time: Number(v[i + 1]), flag: v[i + 2], duration: v[i + 3] });
    }
  }
  return out;
}

// Per uid: messages sent and received, calls and unanswered calls, and all events.
export function countTimeline(text) {
  const out = new Map();
  for (const e of timelineEvents(text)) {
    if (!out.has(e.uid)) out.set(e.uid, { sent: 0, received: 0, calls: 0, unanswered: 0, events: 0 });
    const c = out.get(e.uid);
    ++c.events;
    if (e.type === "sms" && e.flag === "3") ++c.sent;
    if (e.type === "sms" && e.flag === "2") ++c.received;
    if (e.type === "call") ++c.calls, c.unanswered += e.duration === "0";
  }
  return out;
}

export const fullName = (row) => [row[1], row[2], row[3]].filter(Boolean).join(" ");
export const utcDay = (t) => Math.floor(t / 86400);
// Days since 1970 of "YYYY-MM-DD".
export const isoDay = (text) => Date.parse(`${text}T00:00:00Z`) / 86400000;
export const figure = (text) => Number(String(text).replace(/[^\d]/g, ""));

// Opens Ovra on HOME as a person would: the secret leaves the address bar, the loading page
// stands beside the sign-in pane (offline here), the sign-in is skipped. Runs `check` on the
// page and the frame that shows SHOWS (and the loading frame), then ends Ovra, which must exit
// cleanly. Nothing leaves the machine before the person acts (context.outside), no request fails.
export async function withOvra(home, shows, check) {
  const { host, address } = await startOvra(build, home);
  const ended = new Promise((resolve) => host.on("exit", (code, signal) => resolve({ code, signal })));
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 }, acceptDownloads: true,
                                             timezoneId: "UTC", locale: "en-US" });
  await context.route("https://graph.facebook.com/**", (route) => route.abort());
  const own = new URL(address).origin, failed = [];
  context.outside = [];  // addresses asked off Ovra
  context.on("request", (r) => new URL(r.url()).origin !== own && context.outside.push(r.url()));
  // Files and routes only: a page's call may outlive its view (the loading page polls while the
  // skip replaces it), and is answered "not found" then.
  context.on("response", (r) => r.status() >= 400 && !new URL(r.url()).pathname.startsWith("/call/") &&
                                failed.push(`${r.status()} ${r.url()}`));
  try {
    const page = await watchedPage(context);
    await page.goto(address);
    assert.equal(new URL(page.url()).search, "");
    const loading = await frameShowing(page, "loading.html");
    await loading.locator("#log li").first().waitFor();
    await page.getByRole("link", { name: "Open the sign-in page" }).waitFor();
    assert.deepEqual(context.outside, []);
    const before = await check.loading?.(page, loading, context);
    await loading.click("#skip");
    const frame = await frameShowing(page, shows);
    await frame.locator(shows === "main.html" ? "#person-stats dd" : "#log li").first().waitFor();
    await check(page, frame, context, before);
    assert.deepEqual(page.problems, []);
    assert.deepEqual(failed, []);
  } finally {
    await context.close();
    host.kill("SIGTERM");
    assert.deepEqual(await ended, { code: 0, signal: null });
  }
}

// Screenshots of what PAGE shows at both sizes, light and dark, as NAME-THEME-WxH.png; with
// `laidOut`, first waits until it holds in the top page.
export async function screenshots(page, name, laidOut) {
  await page.mouse.move(1, 1);
  for (const theme of ["light", "dark"]) {
    await page.emulateMedia({ colorScheme: theme });
    for (const [w, h] of [[1280, 800], [640, 400]]) {
      await page.setViewportSize({ width: w, height: h });
      if (laidOut) await page.waitForFunction(laidOut);
      await page.waitForTimeout(350);
      await page.screenshot({ path: path.join(shots, `${name}-${theme}-${w}x${h}.png`) });
    }
  }
  await page.emulateMedia({ colorScheme: "light" });
  await page.setViewportSize({ width: 1280, height: 800 });
  await page.waitForTimeout(200);
}

// The PNG's width and height, from its header.
export function pngSize(file) {
  const bytes = fs.readFileSync(file);
  assert.equal(bytes.subarray(1, 4).toString(), "PNG");
  return [bytes.readUInt32BE(16), bytes.readUInt32BE(20)];
}

// The stats shown in a <dl>, term -> text.
export const statsOf = (frame, id) => frame.evaluate((id) => Object.fromEntries(
  [...document.querySelectorAll(`#${id} > div`)].map((d) => [d.querySelector("dt").textContent,
                                                            d.querySelector("dd").textContent])), id);
