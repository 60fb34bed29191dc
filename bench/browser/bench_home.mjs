// What the browser benchmarks share: the build folder and the size of the home from the
// command line ([BUILD_DIR] [--contacts N --sms N --calls N]; defaults build/ and 5,000
// contacts, 200,000 messages, 50,000 calls), a generated home of that size, and Ovra
// serving it.
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { startOvra } from "../../tests/browser/chromium.mjs";

export async function serveGeneratedHome(argv) {
  const args = argv.slice();
  const build = path.resolve(args[0] && !args[0].startsWith("--") ? args.shift() : "build");
  const size = { contacts: "5000", sms: "200000", calls: "50000" };
  for (let i = 0; i + 1 < args.length; i += 2) size[args[i].replace(/^--/, "")] = args[i + 1];
  const home = fs.mkdtempSync(path.join(os.tmpdir(), "ovra-bench-"));
  execFileSync(path.join(build, "tools/ovra-sample-backup"),
               ["--out", home, "--contacts", size.contacts, "--sms", size.sms, "--calls", size.calls]);
  const { host, address } = await startOvra(build, home);
  const done = () => {
    host.kill("SIGTERM");
    fs.rmSync(home, { recursive: true, force: true });
  };
  return { size, address, done };
}
