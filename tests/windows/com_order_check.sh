#!/usr/bin/env bash
# The port scan's fallback order with real COM names: COM12, COM5 and COM9 are registered as
# Wine ports (in that order) leading to /dev/null, the Wine server is restarted so that they
# exist as DOS devices, and the scan must list them as COM5, COM9, COM12. Only COM5 and up.
# Runs only through scripts/wine_test.sh --run, which provides the masked namespace and prefix:
#   scripts/wine_test.sh --run tests/windows/com_order_check.sh [build/windows]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
windows_build="${1:-$root/build/windows}"
ports=(COM12 COM5 COM9)

# This script calls wine and wineserver itself, so it checks for itself that it runs in the private
# mount namespace wine_test.sh makes (unshare --mount) and that /dev/ttyS0 there is the null device.
[ "${KORVAN_WINE_INSIDE:-}" = 1 ] || { echo "not inside wine_test.sh's unshare --mount namespace" >&2; exit 1; }
[ "$(stat -c '%t,%T' /dev/ttyS0 2>/dev/null)" = "1,3" ] || { echo "not inside wine_test.sh" >&2; exit 1; }
[ -n "${WINEPREFIX:-}" ] || { echo "no WINEPREFIX" >&2; exit 1; }

key='HKLM\Software\Wine\Ports'
cleanup() {
  for port in "${ports[@]}"; do
    wine reg delete "$key" /v "$port" /f </dev/null >/dev/null 2>&1 || true
    rm -f "$WINEPREFIX/dosdevices/${port,,}"
  done
}
trap cleanup EXIT
for port in "${ports[@]}"; do
  wine reg add "$key" /v "$port" /d /dev/null /f </dev/null >/dev/null 2>&1
done
# The ports become DOS devices when the server starts; still inside the masked namespace.
wineserver -k
wineserver -w
wineserver -p >>"$windows_build/wine-server.log" 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

KORVAN_LINKED_COM_PORTS="$(IFS=,; echo "${ports[*]}")" TESSEL_NO_HARDWARE_PORTS=1 timeout 120 \
  "$root/scripts/wine_test.sh" --exec "$windows_build/bin/win32_platform_tests.exe" \
  --gtest_filter='Win32PortOrder.*' 2>&1 | tee /dev/stderr | grep -q '^\[  PASSED  \] 1 test'
