// Debian's Chromium, headless, driven by playwright-core, with the flags that keep it off
// the network; and a wait for the frame that shows one of Ovra's pages.
import { spawn } from "node:child_process";
import path from "node:path";
import { chromium } from "playwright-core";

export const launch = () =>
  chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });

export async function frameShowing(page, resource) {
  for (let i = 0; i < 400; ++i) {
    const frame = page.frames().find((f) => f.url().split(/[?#]/)[0].endsWith("/" + resource));
    if (frame) return frame;
    await page.waitForTimeout(50);
  }
  throw new Error(`no frame shows ${resource}`);
}

// Starts `ovra` on a home folder; resolves with the process and the address it prints.
export function startOvra(build, home, extra = []) {
  const host = spawn(path.join(build, "host/ovra"), ["--home", home, ...extra],
                     { stdio: ["ignore", "pipe", "ignore"] });
  return new Promise((resolve, reject) => {
    let out = "";
    host.stdout.on("data", (chunk) => {
      out += chunk;
      const found = out.match(/http:\/\/127\.0\.0\.1:\d+\/\?key=[0-9a-f]+/);
      if (found) resolve({ host, address: found[0] });
    });
    host.on("exit", (code) => reject(new Error(`ovra ended early with ${code}`)));
  });
}

// A page whose console errors and uncaught exceptions are collected in `page.problems`.
export async function watchedPage(context) {
  const page = await context.newPage();
  page.problems = [];
  page.on("console", (m) => {
    // The sign-in host is refused on purpose in the tests (no network).
    if (m.type() === "error" && !/ERR_FAILED|ERR_INTERNET/.test(m.text())) page.problems.push(m.text());
  });
  page.on("pageerror", (e) => page.problems.push(e.message));
  return page;
}
