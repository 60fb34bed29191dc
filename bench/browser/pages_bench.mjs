// The main page on a large home, measured in the browser: from the page's load to the
// moment it can be used, then choosing a person and typing in the search field, each timed
// until the next frame is drawn.
//
//   node bench/browser/pages_bench.mjs [BUILD_DIR] [--contacts N --sms N --calls N]
// Defaults: build/, 5,000 contacts, 200,000 messages, 50,000 calls.
import { launch, frameShowing } from "../../tests/browser/chromium.mjs";
import { serveGeneratedHome } from "./bench_home.mjs";

const { size, address, done } = await serveGeneratedHome(process.argv.slice(2));
const browser = await launch();
try {
  const page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
  await page.goto(address);
  await (await frameShowing(page, "loading.html")).click("#skip");
  const main = await frameShowing(page, "main.html");
  await main.waitForFunction(() => performance.getEntriesByName("ovra-interactive").length);
  const figures = await main.evaluate(async () => {
    const frame = () => new Promise((r) => requestAnimationFrame(() => setTimeout(r, 0)));
    const timed = async (act) => {
      const start = performance.now();
      act();
      await frame();
      return performance.now() - start;
    };
    const select = [], search = [];
    for (let k = 0; k < 9; ++k) {
      select.push(await timed(() => document.querySelector(`#list [data-at="${k % 4}"]`).click()));
    }
    const field = document.getElementById("search");
    for (const text of ["e", "em", "emm", "emma", "emm", "em", "e", "", "z"]) {
      search.push(await timed(() => {
        field.value = text;
        field.dispatchEvent(new Event("input"));
      }));
    }
    // The page's own files come first (its modules and d3's), then the bridge's texts.
    const files = performance.getEntriesByType("resource").filter((e) => !e.name.includes("/call/"));
    const bridge = performance.getEntriesByType("resource").find((e) => e.name.includes("/call/"));
    return { interactive: performance.getEntriesByName("ovra-interactive")[0].startTime,
             files: files.length, filesLoaded: Math.max(...files.map((e) => e.responseEnd)),
             bridgeAsked: bridge?.startTime ?? NaN,
             people: document.getElementById("list-count").textContent, select, search };
  });
  const median = (xs) => xs.slice().sort((a, b) => a - b)[xs.length >> 1];
  const line = (name, xs) =>
    `  ${name}: median ${median(xs).toFixed(1)} ms, slowest ${Math.max(...xs).toFixed(1)} ms (goal: under 100 ms)`;
  console.log(`main page on ${size.contacts} contacts, ${size.sms} messages, ${size.calls} calls (${figures.people}):`);
  console.log(`  interactive ${figures.interactive.toFixed(0)} ms after the page's load began (goal: within 2000 ms)`);
  console.log(`  ${figures.files} files of the page loaded by ${figures.filesLoaded.toFixed(0)} ms; ` +
              `the bridge first asked at ${figures.bridgeAsked.toFixed(0)} ms`);
  console.log(line("choosing a person", figures.select));
  console.log(line("a search keystroke", figures.search));
  if (process.env.OVRA_BENCH_VERBOSE) console.log(JSON.stringify(figures));
} finally {
  await browser.close();
  done();
}
