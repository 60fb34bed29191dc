#!/usr/bin/env bash
# Installs what is missing, builds, and runs Ovra: it serves the pages on loopback, prints
# their address and opens it in the browser where a desktop session is present; Ctrl-C
# ends it. With --headless it prints the pages' texts as JSON instead. Without --home or
# --backups it first generates the sample backup into sample-home/ and reads that.
set -euo pipefail
# Folders named relative to where run.sh was started, made absolute before it moves.
started_in=$PWD
absolute() { if [[ $1 == /* || -z $1 ]]; then printf '%s' "$1"; else printf '%s/%s' "$started_in" "$1"; fi; }
args=() own_data= folder_next=
for arg in "$@"; do
  if [[ -n $folder_next ]]; then
    arg=$(absolute "$arg") folder_next=
  else
    case $arg in
      --home | --backups) own_data=1 folder_next=1 ;;
      --home=* | --backups=*) own_data=1 arg="${arg%%=*}=$(absolute "${arg#*=}")" ;;
    esac
  fi
  args+=("$arg")
done
set -- ${args[@]+"${args[@]}"}
cd "$(dirname "$0")"
scripts/setup.sh
build=${OVRA_BUILD_DIR:-build}
if [[ -z $own_data ]]; then
  rm -rf sample-home
  "$build/tools/ovra-sample-backup" --out sample-home >/dev/null
  set -- --home sample-home "$@"
fi
if [[ " $* " != *" --headless "* && " $* " != *" --open "* ]] &&
   [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  set -- --open "$@"
fi
exec "$build/host/ovra" "$@"
