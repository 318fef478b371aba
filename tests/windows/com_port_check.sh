#!/usr/bin/env bash
# The Win32 COM path against the virtual device: the Linux korvan-sim on a pseudo-terminal,
# linked as COM7 in the Wine prefix, found and connected by the cross-built com_identify.exe.
# Runs only through scripts/wine_test.sh --run, which provides the masked namespace and prefix.
#   scripts/wine_test.sh --run tests/windows/com_port_check.sh [build/default] [build/windows]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
linux_build="${1:-$root/build/default}"
windows_build="${2:-$root/build/windows}"
port=COM7

[ "$(stat -c '%t,%T' /dev/ttyS0 2>/dev/null)" = "1,3" ] || { echo "not inside wine_test.sh" >&2; exit 1; }
[ -n "${WINEPREFIX:-}" ] || { echo "no WINEPREFIX" >&2; exit 1; }

out="$(mktemp)"
"$linux_build/bin/korvan-sim" >"$out" 2>&1 &
sim=$!
link="$WINEPREFIX/dosdevices/${port,,}"
cleanup() { kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -f "$link" "$out"; }
trap cleanup EXIT

pty=""
for _ in $(seq 100); do
  pty="$(sed -n 's/^Virtual device .* on port \(.*\)$/\1/p' "$out")"
  [ -n "$pty" ] && break
  sleep 0.05
done
[ -n "$pty" ] || { echo "korvan-sim did not start:"; cat "$out"; exit 1; } >&2
case "$pty" in /*) ;; *) pty="/dev/$pty" ;; esac
ln -sfn "$pty" "$link"
echo "$port -> $pty"

start=$(date +%s%N)
TESSEL_NO_HARDWARE_PORTS=1 TESSEL_EXTRA_PORTS="$port" timeout 120 \
  "$root/scripts/wine_test.sh" --exec "$windows_build/bin/com_identify.exe" "$port"
echo "com_identify took $(( ($(date +%s%N) - start) / 1000000 )) ms"
