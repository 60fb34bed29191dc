#!/usr/bin/env bash
# Installs what is missing, builds, and runs Ovra: it serves the pages on loopback, prints
# their address and opens it in the browser where a desktop session is present; Ctrl-C
# ends it. With --headless it prints the pages' texts as JSON instead. Without --home it
# first generates the sample backup into sample-home/ and reads that.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
build=${OVRA_BUILD_DIR:-build}
if [[ " $* " != *" --home "* ]]; then
  rm -rf sample-home
  "$build/tools/ovra-sample-backup" --out sample-home >/dev/null
  set -- --home sample-home "$@"
fi
if [[ " $* " != *" --headless "* && " $* " != *" --open "* ]] &&
   [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  set -- --open "$@"
fi
exec "$build/host/ovra" "$@"
