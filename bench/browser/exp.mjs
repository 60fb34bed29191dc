import { spawn } from "node:child_process";
import path from "node:path";
import { launch, frameShowing } from "../../tests/browser/chromium.mjs";
const build = path.resolve("build");
const home = process.argv[2];
const host = spawn(path.join(build, "host/ovra"), ["--home", home], { stdio: ["ignore", "pipe", "ignore"] });
const address = await new Promise((resolve) => {
  let out = "";
  host.stdout.on("data", (c) => { out += c; const m = out.match(/http:\/\/127\.0\.0\.1:\d+\/\?key=[0-9a-f]+/); if (m) resolve(m[0]); });
});
console.log(address);
const browser = await launch();
try {
  const page = await browser.newPage();
  await page.goto(address);
  await (await frameShowing(page, "loading.html")).click("#skip");
  const main = await frameShowing(page, "main.html");
  await main.waitForLoadState();
  const runs = await main.evaluate(async () => {
    const call = location.pathname.replace(/^\/page\/(\d+)\/.*$/, "/call/$1/getTimeLine");
    const out = {sync: [], fetchText: [], fetchBuf: [], asyncXhr: []};
    const dur = (h) => Number(/dur=([0-9.]+)/.exec(h)[1]);
    for (let i = 0; i < 7; ++i) {
      let s = performance.now();
      const x = new XMLHttpRequest(); x.open("POST", call, false); x.send("");
      const n = x.responseText.length;
      out.sync.push([performance.now() - s, dur(x.getResponseHeader("Server-Timing")), n]);
      s = performance.now();
      let r = await fetch(call, {method: "POST"}); let t = await r.text();
      out.fetchText.push([performance.now() - s, dur(r.headers.get("Server-Timing")), t.length]);
      s = performance.now();
      r = await fetch("big.txt"); t = await r.text();
      out.asyncXhr.push([performance.now() - s, 0, t.length]);
      s = performance.now();
      r = await fetch(call, {method: "POST"}); let b = await r.arrayBuffer();
      out.fetchBuf.push([performance.now() - s, dur(r.headers.get("Server-Timing")), b.byteLength]);
    }
    return out;
  });
  for (const [k, v] of Object.entries(runs)) {
    if (!v.length) continue;
    const med = (i) => v.map((r) => r[i]).sort((a, b) => a - b)[v.length >> 1];
    console.log(k, "total", med(0).toFixed(1), "build", med(1).toFixed(1), "bytes", v[0][2]);
  }
} finally { await browser.close(); host.kill("SIGTERM"); }
