#!/usr/bin/env bash
# Installs what is missing, builds, and runs Ovra headless. Without --home it first
# generates the sample backup into sample-home/ and reads that.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
build=${OVRA_BUILD_DIR:-build}
if [[ " $* " != *" --home "* ]]; then
  rm -rf sample-home
  "$build/tools/ovra-sample-backup" --out sample-home >/dev/null
  set -- --home sample-home "$@"
fi
exec "$build/host/ovra" --headless "$@"
