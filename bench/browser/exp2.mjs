import { spawn } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
const build = path.resolve("build");
const home = process.argv[2];
const host = spawn(path.join(build, "host/ovra"), ["--home", home], { stdio: ["ignore", "pipe", "ignore"] });
const address = await new Promise((resolve) => {
  let out = "";
  host.stdout.on("data", (c) => { out += c; const m = out.match(/http:\/\/127\.0\.0\.1:\d+\/\?key=[0-9a-f]+/); if (m) resolve(m[0]); });
});
const profile = fs.mkdtempSync(path.join(os.tmpdir(), "ovra-cdp-"));
const chrome = spawn("/usr/bin/chromium", ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
  "--disable-background-networking", "--disable-component-update", "--disable-sync",
  `--user-data-dir=${profile}`, "--remote-debugging-port=0", "about:blank"], { stdio: ["ignore", "ignore", "pipe"] });
const wsUrl = await new Promise((resolve) => {
  let err = "";
  chrome.stderr.on("data", (c) => { err += c; const m = err.match(/ws:\/\/\S+/); if (m) resolve(m[0]); });
});
const ws = new WebSocket(wsUrl);
await new Promise((r) => ws.addEventListener("open", r));
let next = 0; const waiting = new Map();
ws.addEventListener("message", (e) => { const m = JSON.parse(e.data); if (m.id && waiting.has(m.id)) { waiting.get(m.id)(m); waiting.delete(m.id); } });
const send = (method, params = {}, sessionId) => new Promise((resolve) => { const id = ++next; waiting.set(id, resolve); ws.send(JSON.stringify({ id, method, params, sessionId })); });
const { result: { targetId } } = await send("Target.createTarget", { url: address });
const { result: { sessionId } } = await send("Target.attachToTarget", { targetId, flatten: true });
const evaluate = async (expr) => { const r = await send("Runtime.evaluate", { expression: expr, awaitPromise: true, returnByValue: true }, sessionId); if (r.result?.exceptionDetails) console.log(JSON.stringify(r.result.exceptionDetails).slice(0,400)); return r.result?.result?.value; };
const frameWith = (name) => `[...document.querySelectorAll("iframe")].find(f => (f.contentWindow.location.pathname||"").endsWith("/${name}") && f.contentDocument.readyState === "complete")`;
for (let i = 0; i < 200 && !(await evaluate(`!!(${frameWith("loading.html")})`)); ++i) await new Promise((r) => setTimeout(r, 50));
await evaluate(`${frameWith("loading.html")}.contentDocument.querySelector("#skip").click()`);
for (let i = 0; i < 400 && !(await evaluate(`!!(${frameWith("main.html")})`)); ++i) await new Promise((r) => setTimeout(r, 50));
const runs = await evaluate(`(() => { const w = ${frameWith("main.html")}.contentWindow; const out = [];
  for (let i = 0; i < 9; ++i) { const s = performance.now(); const t = w.appController.getTimeLine(); out.push([performance.now() - s, t.length]); }
  const call = w.location.pathname.replace(/^\\/page\\/(\\d+)\\/.*$/, "/call/$1/getTimeLine"); const o2 = [];
  for (let i = 0; i < 9; ++i) { const s = performance.now(); const x = new w.XMLHttpRequest(); x.open("POST", call, false); x.send(""); const n = x.responseText.length; o2.push([performance.now() - s, Number(/dur=([0-9.]+)/.exec(x.getResponseHeader("Server-Timing"))[1])]); }
  return [out.map(r=>r[0]), o2]; })()`);
const t2 = await evaluate(`(async () => { const w = ${frameWith("main.html")}.contentWindow; const out = [];
  const call = "/call/" + w.location.pathname.split("/")[2] + "/getTimeLine";
  for (const u of [call, "big.txt", call, "big.txt", call, "big.txt"]) { const s = w.performance.now(); const r = await w.fetch(u, {method: u === call ? "POST" : "GET"}); const t = await r.text(); const e = w.performance.now();
   const pe = w.performance.getEntriesByType("resource").pop(); out.push({u: u.slice(-8), total: e - s, ttfb: pe.responseStart - pe.requestStart, body: pe.responseEnd - pe.responseStart, text: e - pe.responseEnd, st: r.headers.get("Server-Timing")}); }
  return out; })()`);
console.log(JSON.stringify(t2, null, 0));
console.log(JSON.stringify(runs));
ws.close(); chrome.kill(); host.kill("SIGTERM");
