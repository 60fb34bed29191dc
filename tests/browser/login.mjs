// Plays the person at the sign-in pane: node login.mjs ADDRESS ENDED_ON. Opens Ovra's
// address, pastes the address the sign-in ended on, then waits for the loading page and
// the main page, whose timeline must hold the social-network thread. Exits 0 when it does.
import { launch, frameShowing } from "./chromium.mjs";

const [address, endedOn] = process.argv.slice(2);
const browser = await launch();
const seen = [];
try {
  const page = await browser.newPage({ viewport: { width: 1000, height: 700 } });
  page.on("framenavigated", (f) => seen.push(f.url().split("/").pop()));
  await page.goto(address);
  await page.getByText("When it is done, paste the address").waitFor();
  await page.locator("input").fill(endedOn);
  await page.getByRole("button", { name: "Done" }).click();
  const main = await frameShowing(page, "main.html");
  await main.waitForLoadState();
  const timeline = await main.evaluate(() => appController.getTimeLine());
  if (!timeline.includes('"facebook_message",1300000000,')) throw new Error(timeline);
  if (seen.indexOf("loading.html") < 0 || seen.indexOf("main.html") < seen.indexOf("loading.html")) {
    throw new Error("pages seen: " + seen.join(" "));
  }
} catch (e) {
  console.error(String(e));
  process.exitCode = 1;
} finally {
  await browser.close();
}
