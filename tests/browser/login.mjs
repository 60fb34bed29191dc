// Plays the person at the sign-in pane: node login.mjs ADDRESS ENDED_ON. Opens Ovra's address,
// presses Done on nothing, on an address with no sign-in, then twice on the address the sign-in
// ended on (each press answered, one posted), then waits for the loading page and
// the main page, whose timeline must hold the social-network thread; the access token in
// the pasted address must never come back to the browser. Exits 0 when all holds.
import { launch, frameShowing } from "./chromium.mjs";

const [address, endedOn] = process.argv.slice(2);
const browser = await launch();
const seen = [];
try {
  const page = await browser.newPage({ viewport: { width: 1000, height: 700 } });
  page.on("framenavigated", (f) => seen.push(f.url().split("/").pop()));
  await page.goto(address);
  // Every view tree the top page is sent.
  await page.evaluate(() => events.addEventListener("message", (e) => (window.trees ||= []).push(e.data)));
  const posted = [];
  page.on("request", (r) => r.url().includes("/loaded/") && r.postData() && posted.push(r.postData()));
  const field = page.getByLabel("When it is done, paste the address");
  const done = page.getByRole("button", { name: "Done" }), status = page.getByRole("status");
  await done.click();
  await status.getByText("Paste the address the sign-in page ended on first.").waitFor();
  await field.fill(endedOn.split("#")[0] + "#error=access_denied");
  await done.click();
  await status.getByText("That address holds no sign-in: paste the one the sign-in page ended on.").waitFor();
  await field.fill(endedOn);  // both presses before the pane can go
  const second = await done.evaluate((b) => (b.click(), b.click(), b.form.nextSibling.textContent));
  if (second !== "The sign-in is already done.") throw new Error("a second press: " + second);
  const main = await frameShowing(page, "main.html");
  await main.waitForLoadState();
  const timeline = await main.evaluate(() => appController.getTimeLine());
  if (!timeline.includes('"facebook_message",1300000000,')) throw new Error(timeline);
  const token = /access_token=([^&]+)/.exec(endedOn)[1];
  const trees = await page.evaluate(() => window.trees.join("\n"));
  if (!trees.includes("loading.html") || trees.includes(token) ||
      page.frames().some((f) => f.url().includes(token))) {
    throw new Error("the token came back to the browser, or no tree was seen: " + trees);
  }
  if (posted.join() !== endedOn) throw new Error("posted: " + posted.join(" "));
  if (seen.indexOf("loading.html") < 0 || seen.indexOf("main.html") < seen.indexOf("loading.html")) {
    throw new Error("pages seen: " + seen.join(" "));
  }
} catch (e) {
  console.error(String(e));
  process.exitCode = 1;
} finally {
  await browser.close();
}
