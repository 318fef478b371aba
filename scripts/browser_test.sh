#!/usr/bin/env bash
# The studio's page in a real browser: starts `korvan studio --virtual` from BUILD_DIR on
# 127.0.0.1 with an empty folder, runs the browser scenario in headless Debian chromium
# (tests/studio/browser, playwright-core from its lockfile) and stops the studio with Ctrl-C,
# which must end it with exit code 130. Screenshots, one per step, go to BUILD_DIR/studio-screens
# (or STUDIO_SCREENS=DIR). --bench runs the page's drawing benchmark against such a studio instead.
# usage: scripts/browser_test.sh [--bench] [BUILD_DIR]   (default build/default)
set -euo pipefail
cd "$(dirname "$0")/.."
mode=test
build=build/default
for arg in "$@"; do
  case "$arg" in
    --bench) mode=bench ;;
    -*) echo "usage: $0 [--bench] [BUILD_DIR]" >&2; exit 2 ;;
    *) build="$arg" ;;
  esac
done
build=$(cd "$build" && pwd)
korvan="$build/tools/korvan"
[ -x "$korvan" ] || korvan="$build/bin/korvan"
[ -x "$korvan" ] || { echo "no korvan in $build: build the korvan_tool target first" >&2; exit 1; }

if ! [ -x /usr/bin/chromium ] || ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  ./scripts/setup.sh --browser
fi
(cd tests/studio/browser && npm ci --no-audit --no-fund --loglevel=error)

folder=$(mktemp -d)
log=$(mktemp)
screens="${STUDIO_SCREENS:-$build/studio-screens}"
rm -rf "$screens"
mkdir -p "$screens"
# Never a real serial port: the studio's virtual device lives on a pseudo-terminal.
TESSEL_NO_HARDWARE_PORTS=1 "$korvan" studio --virtual --listen 127.0.0.1:0 --folder "$folder" >"$log" 2>&1 &
pid=$!
# Ctrl-C must end the studio within seconds; one that hangs is killed and fails the test.
interrupt() {
  kill -INT "$pid" 2>/dev/null || true
  for _ in $(seq 150); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  echo "the studio did not end within 15 s of Ctrl-C; killing it" >&2
  kill -KILL "$pid" 2>/dev/null || true
}
cleanup() {
  if kill -0 "$pid" 2>/dev/null; then
    interrupt
    wait "$pid" || true
  fi
  rm -rf "$folder" "$log"
}
trap cleanup EXIT

url=""
for _ in $(seq 100); do
  url=$(grep -o 'http://127\.0\.0\.1:[0-9]*/?token=[0-9a-f]*' "$log" || true)
  [ -n "$url" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$url" ]; then
  echo "the studio printed no address:" >&2
  cat "$log" >&2
  exit 1
fi

export STUDIO_URL="$url" STUDIO_FOLDER="$folder" STUDIO_SCREENS="$screens"
status=0
if [ "$mode" = bench ]; then
  node tests/studio/browser/bench/studio_page_bench.mjs || status=$?
else
  (cd tests/studio/browser && node --test --test-concurrency=1 --test-reporter=tap scenario.test.mjs) || status=$?
fi

interrupt
code=0
wait "$pid" || code=$?
if [ "$code" -ne 130 ]; then
  echo "the studio ended with exit code $code after Ctrl-C, not 130:" >&2
  cat "$log" >&2
  status=1
fi
echo "screenshots: $screens"
exit "$status"
