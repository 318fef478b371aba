#!/usr/bin/env bash
# One house style (.clang-format) for every tracked C and C++ source.
#   ./scripts/format.sh          rewrites the files in place
#   ./scripts/format.sh --check  lists unformatted files and fails (CI runs this)
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
if [ "${1:-}" = "--check" ]; then
  clang-format --dry-run -Werror "${files[@]}"
  echo "formatting: ${#files[@]} files as .clang-format says"
else
  clang-format -i "${files[@]}"
fi
