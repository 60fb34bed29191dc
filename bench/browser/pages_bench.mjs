// The main page on a large home, measured in the browser: from the page's load to the moment
// it can be used (and how much of that the bridge took), then choosing a person, typing in the
// search field and changing the date range, each timed until the next frame is drawn; and the
// tab's JavaScript heap once the page is drawn.
//
//   node bench/browser/pages_bench.mjs [BUILD_DIR] [--contacts N --sms N --calls N
//                                       --format old|modern] [--home DIR]
// Defaults: build/, a later-format home of 20,000 contacts, 1,000,000 messages and 250,000
// calls (--home DIR keeps the generated home there for the next run).
import { launch, frameShowing } from "../../tests/browser/chromium.mjs";
import { serveGeneratedHome } from "./bench_home.mjs";

const { size, address, done } = await serveGeneratedHome(process.argv.slice(2));
const browser = await launch();
try {
  const page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
  await page.goto(address);
  await (await frameShowing(page, "loading.html")).click("#skip");
  const main = await frameShowing(page, "main.html");
  await main.waitForFunction(() => performance.getEntriesByName("ovra-interactive").length, null,
                             { timeout: 120000 });
  const figures = await main.evaluate(async () => {
    const frame = () => new Promise((r) => requestAnimationFrame(() => setTimeout(r, 0)));
    const timed = async (act) => {
      const start = performance.now();
      act();
      await frame();
      return performance.now() - start;
    };
    const mark = (name) => performance.getEntriesByName(name)[0].startTime;
    await frame();
    const select = [], search = [], range = [];
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
    field.value = "";
    field.dispatchEvent(new Event("input"));
    // Ranges of a year, then of a month, moved along the data, and back to all dates.
    const from = document.getElementById("range-from"), to = document.getElementById("range-to");
    const first = Date.parse(from.min), last = Date.parse(to.max), day = 86400000;
    const iso = (t) => new Date(t).toISOString().slice(0, 10);
    for (let k = 0; k < 9; ++k) {
      const start = first + ((last - first) * k) / 10, length = k % 2 ? 30 * day : 365 * day;
      range.push(await timed(() => {
        from.value = iso(start);
        to.value = iso(Math.min(last, start + length));
        to.dispatchEvent(new Event("change"));
      }));
    }
    range.push(await timed(() => document.getElementById("range-clear").click()));
    const files = performance.getEntriesByType("resource").filter((e) => !e.name.includes("/call/"));
    // The model's typed arrays live outside the JavaScript heap: their bytes, each buffer once.
    const tl = window.ovraModel.tl, buffers = new Set();
    for (const a of [tl.type, tl.time, tl.flag, tl.duration, tl.local, tl.starts, tl.timedTo, tl.perDay,
                     tl.perHour, ...Object.values(tl.cum)]) buffers.add(a.buffer);
    const arrays = [...buffers].reduce((sum, b) => sum + b.byteLength, 0);
    return { interactive: mark("ovra-interactive"), asked: mark("ovra-bridge-asked"),
             answered: mark("ovra-bridge-answered"), built: mark("ovra-model-built"),
             beside: performance.getEntriesByName("ovra-prepared-beside")[0]?.startTime ?? NaN,
             files: files.length, filesLoaded: Math.max(...files.map((e) => e.responseEnd)),
             people: document.getElementById("list-count").textContent, select, search, range, arrays };
  });
  // The heap of the page's JavaScript (all frames of the tab share it), after a collection.
  const cdp = await page.context().newCDPSession(page);
  await cdp.send("HeapProfiler.collectGarbage");
  const heap = await cdp.send("Runtime.getHeapUsage");

  const median = (xs) => xs.slice().sort((a, b) => a - b)[xs.length >> 1];
  const line = (name, xs, goal) =>
    `  ${name}: median ${median(xs).toFixed(1)} ms, slowest ${Math.max(...xs).toFixed(1)} ms (goal: under ${goal} ms)`;
  const f = figures;
  console.log(`main page on ${size.contacts} contacts, ${size.sms} messages, ${size.calls} calls, ` +
              `${size.format} format (${f.people}):`);
  console.log(`  interactive ${f.interactive.toFixed(0)} ms after the page's load began (goal: within 1000 ms)`);
  console.log(`    ${f.files} files of the page loaded by ${f.filesLoaded.toFixed(0)} ms; the bridge asked at ` +
              `${f.asked.toFixed(0)} ms and answered both texts ${(f.answered - f.asked).toFixed(0)} ms later;`);
  console.log(`    the timeline ${Number.isFinite(f.beside) ? `prepared by the worker at ${f.beside.toFixed(0)} ms`
                                                : "prepared on the page (no worker)"};`);
  console.log(`    the page's own work: ${(f.built - f.answered).toFixed(0)} ms reading the texts into the model, ` +
              `${(f.interactive - f.built).toFixed(0)} ms drawing`);
  console.log(line("choosing a person", f.select, 100));
  console.log(line("a search keystroke", f.search, 100));
  console.log(line("a date-range change", f.range, 200));
  console.log(`  JavaScript heap: ${(heap.usedSize / 1e6).toFixed(0)} MB used of ${(heap.totalSize / 1e6).toFixed(0)} MB, ` +
              `and the timeline's typed arrays beside it: ${(f.arrays / 1e6).toFixed(0)} MB`);
  if (process.env.OVRA_BENCH_VERBOSE) console.log(JSON.stringify(figures));
} finally {
  await browser.close();
  done();
}
