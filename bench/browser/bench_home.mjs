// What the browser benchmarks share: the build folder and the size of the home from the
// command line ([BUILD_DIR] [--contacts N --sms N --calls N --format old|modern]
// [--home DIR]; defaults build/ and the later format's 20,000 contacts, 1,000,000 messages,
// 250,000 calls), a generated home of that size, and Ovra serving it. With --home the home
// is made in DIR once and kept, so later runs skip the generator (a minute or more).
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { startOvra } from "../../tests/browser/chromium.mjs";

export async function serveGeneratedHome(argv) {
  const args = argv.slice();
  const build = path.resolve(args[0] && !args[0].startsWith("--") ? args.shift() : "build");
  const size = { contacts: "20000", sms: "1000000", calls: "250000", format: "modern", home: "" };
  for (let i = 0; i + 1 < args.length; i += 2) size[args[i].replace(/^--/, "")] = args[i + 1];
  const keep = Boolean(size.home);
  const home = keep ? path.resolve(size.home) : fs.mkdtempSync(path.join(os.tmpdir(), "ovra-bench-"));
  if (!keep || !fs.existsSync(path.join(home, "Library"))) {
    execFileSync(path.join(build, "tools/ovra-sample-backup"),
                 ["--out", home, "--contacts", size.contacts, "--sms", size.sms,
                  "--calls", size.calls, "--format", size.format]);
  }
  const { host, address } = await startOvra(build, home);
  const done = () => {
    host.kill("SIGTERM");
    if (!keep) fs.rmSync(home, { recursive: true, force: true });
  };
  return { size, address, done };
}
