#!/usr/bin/env bash
# Builds the tools and runs the main job on the built-in virtual device:
#   ./scripts/demo.sh            demo on the virtual device (no real serial port is touched)
#   ./scripts/demo.sh --hardware the same job on real hardware found by port enumeration
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
if [ ! -f build/default/build.ninja ]; then
  cmake --preset default >/dev/null
fi
cmake --build --preset default --target korvan_tool korvan-sim >/dev/null
# The pictures go beside the build, out of the source tree.
exec build/default/bin/korvan demo --preview build/korvan-demo.svg --dose build/korvan-demo-dose.png "$@"
