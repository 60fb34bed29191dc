// Plays the person at the password pane: node password.mjs ADDRESS DEVICE WRONG RIGHT
// [SHOTS]. Types the wrong password, waits to be told it did not unlock, types the right
// one, then skips the next backup's question. Neither password may reach an address, the
// event stream or the page afterwards. With SHOTS, a folder, it leaves screenshots of the
// pane there (light and dark). Exits 0 when all holds.
import { launch } from "./chromium.mjs";

const [address, device, wrong, right, shots] = process.argv.slice(2);
const browser = await launch();
try {
  const page = await browser.newPage({ viewport: { width: 1000, height: 700 } });
  const urls = [];
  page.on("request", (r) => urls.push(r.url()));
  await page.goto(address);
  await page.evaluate(() => {
    window.seen = [];
    for (const kind of ["message", "password"]) events.addEventListener(kind, (e) => seen.push(e.data));
  });
  const pane = page.locator("#password");
  const unlock = page.getByRole("button", { name: "Unlock" });
  // The device's name is text, even where it looks like markup.
  await pane.getByText(`The backup of ${device} is encrypted. Its password:`, { exact: true }).waitFor();
  if (await pane.locator("b").count()) throw new Error("the device's name became markup");
  await page.locator("#password-field").fill(wrong);
  await unlock.click();
  await pane.getByText("That password did not unlock the backup.").waitFor();
  for (const scheme of shots ? ["light", "dark"] : []) {
    await page.emulateMedia({ colorScheme: scheme });
    await page.screenshot({ path: `${shots}/password-${scheme}.png` });
  }
  await page.locator("#password-field").fill(right);
  await Promise.all([page.waitForResponse((r) => r.url().endsWith("/unlock")), unlock.click()]);
  await pane.getByText("The backup of Second phone is encrypted").waitFor();
  await Promise.all([page.waitForResponse((r) => r.url().endsWith("/skip")),
                     page.getByRole("button", { name: "Skip" }).click()]);
  await pane.waitFor({ state: "detached" });
  const seen = await page.evaluate(() => window.seen.join("\n") + document.documentElement.outerHTML);
  for (const secret of [wrong, right]) {
    if (seen.includes(secret) || urls.some((u) => u.includes(secret))) {
      throw new Error("a password came back to the page or went into an address");
    }
  }
} catch (e) {
  console.error(String(e));
  process.exitCode = 1;
} finally {
  await browser.close();
}
