#!/usr/bin/env bash
# Installs what Ovra needs on a Debian machine (only what is missing), then configures
# and builds the project into build/ (or $OVRA_BUILD_DIR). Safe to run again and again.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake g++ clang pkg-config make
  libsqlite3-dev libplist-dev libssl-dev libcurl4-openssl-dev libcpp-httplib-dev
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev rapidjson-dev
  libclang-rt-14-dev sqlite3 clang-format
  nodejs chromium
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}" >&2
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The npm packages (the browser tests' driver), as the committed lockfile pins them.
if ! cmp -s package-lock.json node_modules/.ovra-installed-lock 2>/dev/null; then
  echo "setup: installing npm packages" >&2
  npm ci --no-audit --no-fund --loglevel=error >&2
  cp package-lock.json node_modules/.ovra-installed-lock
fi

build_dir=${OVRA_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=${OVRA_BUILD_TYPE:-RelWithDebInfo} ${OVRA_CMAKE_ARGS:-} >/dev/null
cmake --build "$build_dir" -j"$(nproc)" >&2  # progress on stderr: run.sh prints its result on stdout
