// Ovra in a real browser: the host serves a generated backup's pages on loopback, and
// headless Chromium (driven by playwright-core) does what a person would: open the printed
// address, skip the sign-in, read the main page, resize the window, follow a link out.
// Run by ctest with OVRA_BUILD_DIR set.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { launch, frameShowing, startOvra } from "./chromium.mjs";

const build = process.env.OVRA_BUILD_DIR;
const home = fs.mkdtempSync(path.join(os.tmpdir(), "ovra-browser-"));
let host, address, browser;

before(async () => {
  execFileSync(path.join(build, "tools/ovra-sample-backup"), ["--out", home]);
  ({ host, address } = await startOvra(build, home));
  browser = await launch();
});

after(async () => {
  await browser?.close();
  fs.rmSync(home, { recursive: true, force: true });
});

test("a person skips the sign-in and reads the same data the headless run prints", async () => {
  const headless = JSON.parse(execFileSync(path.join(build, "host/ovra"),
                                           ["--headless", "--home", home],
                                           { stdio: ["ignore", "pipe", "ignore"] }));
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
  // No network here: the sign-in host is refused, as it would be offline.
  await context.route("https://graph.facebook.com/**", (route) => route.abort());
  const page = await context.newPage();
  await page.goto(address);
  assert.equal(new URL(page.url()).search, "", "the secret leaves the address bar");

  // The loading page and the sign-in pane, side by side.
  const loading = await frameShowing(page, "loading.html");
  await page.getByText("When it is done, paste the address").waitFor();
  await page.getByRole("link", { name: "Open the sign-in page" }).waitFor();
  await page.getByText("No network: the sign-in page cannot be reached.").waitFor();
  // Both panes follow the window.
  await page.setViewportSize({ width: 1000, height: 600 });
  await page.waitForFunction(() => {
    const f = document.querySelector('iframe[src$="/loading.html"]').getBoundingClientRect();
    const pane = document.querySelector(".o").getBoundingClientRect();
    return f.height === 600 && pane.height === 600 && pane.right === 1000 && f.width < 600;
  });

  await loading.click("#skip");
  const main = await frameShowing(page, "main.html");
  await main.waitForLoadState();
  const bridge = await main.evaluate(() => ({
    methods: Object.keys(appController).sort().join(),
    contacts: appController.getContacts(), timeline: appController.getTimeLine(),
    detailedLog: appController.getDetailedLog() }));
  assert.deepEqual(bridge, { methods: "getContacts,getDetailedLog,getTimeLine,ignoreFacebook",
                             contacts: headless.contacts, timeline: headless.timeline,
                             detailedLog: headless.detailedLog });

  // The visualizer area follows the window, and the page follows the area.
  await page.setViewportSize({ width: 900, height: 600 });
  await page.waitForFunction(() => {
    const f = document.querySelector('iframe[src$="/main.html"]');
    return f && f.getBoundingClientRect().width === 900 && f.getBoundingClientRect().height === 600;
  });

  // A link out to the web opens in a new tab of the browser (served here: no network).
  await context.route("http://example.org/**", (route) => route.fulfill({ body: "elsewhere" }));
  const opened = context.waitForEvent("page");
  await main.evaluate(() => window.open("http://example.org/about", "_blank"));
  const tab = await opened;
  assert.equal((await tab.waitForLoadState(), tab.url()), "http://example.org/about");
  await context.close();
});

test("ovra ends cleanly on SIGTERM", async () => {
  const ended = new Promise((resolve) => host.on("exit", (code, signal) => resolve({ code, signal })));
  host.kill("SIGTERM");
  assert.deepEqual(await ended, { code: 0, signal: null });
});
