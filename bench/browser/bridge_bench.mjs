// The cost of a page's bridge call beyond building its text, measured from the page: the
// main page of a generated home asks for its timeline over the bridge, and each answer says
// (Server-Timing) how long the text took to build on the host's main thread.
//
//   node bench/browser/bridge_bench.mjs [BUILD_DIR] [--contacts N --sms N --calls N]
// Defaults: build/, 5,000 contacts, 200,000 messages, 50,000 calls; 9 calls, median shown.
import { launch, frameShowing } from "../../tests/browser/chromium.mjs";
import { serveGeneratedHome } from "./bench_home.mjs";

const { size, address, done } = await serveGeneratedHome(process.argv.slice(2));
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
  done();
}
