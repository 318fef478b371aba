#!/usr/bin/env bash
# The Windows build and its checks (CI): cross-builds the windows preset with MinGW-w64, runs its
# whole test suite under Wine, then the Win32 COM path against the Linux virtual device (byte
# traces compared with the Linux tool's), the COM scan order, and the progress window under a
# virtual display (screenshot in build/windows/artifacts/). Wine only ever starts through
# scripts/wine_test.sh, which masks the machine's serial devices first. The COM path check needs
# the Linux build (build/default: korvan-sim and korvan), which the README's test command makes.
set -euo pipefail
cd "$(dirname "$0")/.."
# Through pipes: a Wine program may reopen a log file given as its output and truncate it.
exec > >(cat) 2> >(cat >&2)
./scripts/setup.sh --windows
start=$(date +%s)
[ -f build/windows/build.ninja ] || cmake --preset windows >/dev/null
cmake --build --preset windows
echo "windows build: $(( $(date +%s) - start )) s"
./scripts/wine_test.sh
./scripts/wine_test.sh --run tests/windows/com_port_check.sh
./scripts/wine_test.sh --run tests/windows/com_order_check.sh
# The display must be there before the Wine server starts, so xvfb-run comes first.
xvfb-run -a ./scripts/wine_test.sh --run ctest --test-dir build/windows -R Win32ProgressWindow --output-on-failure
xvfb-run -a ./scripts/wine_test.sh --run tests/windows/progress_window_check.sh
echo "windows build and checks: $(( $(date +%s) - start )) s"
