// The cost of a page's bridge call beyond building its text, measured from the page: the
// main page of a generated home asks for its timeline over the bridge, and each answer says
// (Server-Timing) how long the text took to build on the host's main thread.
//
//   node bench/browser/bridge_bench.mjs [BUILD_DIR] [--contacts N --sms N --calls N]
// Defaults: build/, 5,000 contacts, 200,000 messages, 50,000 calls; 9 calls, median shown.
import { spawn, execFileSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { launch, frameShowing } from "../../tests/browser/chromium.mjs";

const args = process.argv.slice(2);
const build = path.resolve(args[0] && !args[0].startsWith("--") ? args.shift() : "build");
const size = { contacts: "5000", sms: "200000", calls: "50000" };
for (let i = 0; i + 1 < args.length; i += 2) size[args[i].replace(/^--/, "")] = args[i + 1];
const home = fs.mkdtempSync(path.join(os.tmpdir(), "ovra-bridge-"));
execFileSync(path.join(build, "tools/ovra-sample-backup"),
             ["--out", home, "--contacts", size.contacts, "--sms", size.sms, "--calls", size.calls]);

const host = spawn(path.join(build, "host/ovra"), ["--home", home], { stdio: ["ignore", "pipe", "ignore"] });
const address = await new Promise((resolve) => {
  let out = "";
  host.stdout.on("data", (c) => {
    out += c;
    const m = out.match(/http:\/\/127\.0\.0\.1:\d+\/\?key=[0-9a-f]+/);
    if (m) resolve(m[0]);
  });
});
const browser = await launch();
try {
  const page = await browser.newPage();
  await page.goto(address);
  await (await frameShowing(page, "loading.html")).click("#skip");
  const main = await frameShowing(page, "main.html");
  await main.waitForLoadState();
  const runs = await main.evaluate(() => {
    const call = location.pathname.replace(/^\/page\/(\d+)\/.*$/, "/call/$1/getTimeLine");
    const out = [];
    for (let i = 0; i < 9; ++i) {
      const start = performance.now();
      const x = new XMLHttpRequest();
      x.open("POST", call, false);
      x.send("");
      const total = performance.now() - start;
      const build = Number(/dur=([0-9.]+)/.exec(x.getResponseHeader("Server-Timing"))[1]);
      out.push({ total, build, bytes: x.responseText.length });
    }
    return out;
  });
  const median = (xs) => xs.slice().sort((a, b) => a - b)[xs.length >> 1];
  const total = median(runs.map((r) => r.total));
  const built = median(runs.map((r) => r.build));
  const extra = median(runs.map((r) => (r.total - r.build) / r.build));
  console.log(`timeline ${runs[0].bytes} bytes; median over ${runs.length} calls:`);
  console.log(`  build ${built.toFixed(1)} ms, whole call from the page ${total.toFixed(1)} ms`);
  console.log(`  transfer adds ${(100 * extra).toFixed(0)}% to the build (goal: at most 20%)`);
} finally {
  await browser.close();
  host.kill("SIGTERM");
  fs.rmSync(home, { recursive: true, force: true });
}
