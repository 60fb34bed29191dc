// Debian's Chromium, headless, driven by playwright-core, with the flags that keep it off
// the network; and a wait for the frame that shows one of Ovra's pages.
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
