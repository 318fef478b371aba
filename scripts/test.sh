#!/usr/bin/env bash
# Builds and runs the whole test suite: ./scripts/test.sh [preset]  (default, debug, asan, tsan)
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
# Tests reach only pseudo-terminals and the virtual device, never a real serial port.
export TESSEL_NO_HARDWARE_PORTS=1
cmake --workflow --preset "${1:-default}"
