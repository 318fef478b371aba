#!/usr/bin/env bash
# Runs the Windows build's programs under Wine, and only ever that way.
#
#   scripts/wine_test.sh [ctest arguments...]   ctest of build/windows (the windows preset)
#   scripts/wine_test.sh --run COMMAND...       any command, with the same prefix and server
#   scripts/wine_test.sh --exec PROGRAM.exe ... wine PROGRAM, only from inside the above (the
#                                               Windows build's test launcher; refuses elsewhere)
#
# Wine links COM1 (sometimes COM2) to /dev/ttyS0 by itself whenever it starts, and /dev/ttyS0
# may be the machine's console. So everything runs in a private mount namespace in which
# every serial device is /dev/null, the script refuses to go on unless /dev/ttyS0 is then the
# null device (1,3), and the Wine server is started only inside it: a server started outside
# would be shared through its socket and undo the mask. The prefix is private to the build
# folder (KORVAN_WINE_PREFIX overrides it). Tests link only COM5 and up themselves.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KORVAN_WINDOWS_BUILD:-$root/build/windows}"

masked() { [ "$(stat -c '%t,%T' /dev/ttyS0 2>/dev/null)" = "1,3" ]; }

if [ "${1:-}" = "--exec" ]; then
  shift
  if [ "${KORVAN_WINE_INSIDE:-}" != 1 ] || [ -z "${WINEPREFIX:-}" ] || ! masked; then
    echo "wine_test: refusing to start Wine outside scripts/wine_test.sh (serial devices not masked)" >&2
    exit 1
  fi
  exec wine "$@"
fi

if [ "${KORVAN_WINE_INSIDE:-}" != 1 ]; then
  command -v unshare >/dev/null || { echo "wine_test: unshare is missing (util-linux)" >&2; exit 1; }
  [ -d "$build" ] || { echo "wine_test: no Windows build at $build (cmake --preset windows)" >&2; exit 1; }
  exec unshare --mount --propagation private env KORVAN_WINE_INSIDE=1 bash "$0" "$@"
fi

# --- inside the private namespace from here on ---
for dev in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*; do
  [ -e "$dev" ] || continue
  mount --bind /dev/null "$dev"
done
if ! masked; then
  echo "wine_test: /dev/ttyS0 is not masked by the null device here; Wine is not started" >&2
  exit 1
fi

export WINEPREFIX="${KORVAN_WINE_PREFIX:-$build/wine-prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH=win64
# No Mono or Gecko installers for a test prefix.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$WINEPREFIX"

first=0
[ -f "$WINEPREFIX/system.reg" ] || first=1
start=$(date +%s.%N)
# A persistent server, warmed by one trivial program, so that Wine's start-up services do not
# hold ctest's pipes open (each test would otherwise wait about 3 s for them).
# The server outlives this shell's output; its closing report goes to a log of its own.
wineserver -p >>"$build/wine-server.log" 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine cmd /c exit </dev/null >/dev/null 2>&1
echo "wine_test: server up in $(echo "$(date +%s.%N) - $start" | bc) s (new prefix: $first)" >&2

if [ "${1:-}" = "--run" ]; then
  shift
  "$@"
else
  export TESSEL_NO_HARDWARE_PORTS=1
  # A failed case runs once more: Wine's own loader now and then aborts a program at exit
  # ("Inconsistency detected by ld.so: dl-fini.c") after every case in it passed.
  ctest --test-dir "$build" -j2 --timeout 120 --output-on-failure --no-tests=error --repeat until-pass:2 "$@"
fi
