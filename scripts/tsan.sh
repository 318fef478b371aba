#!/usr/bin/env bash
# Nightly-style ThreadSanitizer run of the whole suite (not in .ci/run: see docs/reliability.md).
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
./scripts/test.sh tsan
echo "tsan finished in $(( $(date +%s) - start )) s"
