#!/usr/bin/env bash
# Runs one libFuzzer harness of fuzz/: ./scripts/fuzz.sh NAME [SECONDS] [libFuzzer options...]
#   ./scripts/fuzz.sh list          the harnesses of this build
#   ./scripts/fuzz.sh all [SECONDS] every harness in turn (CI: a short run of each)
# Builds the fuzz preset first (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer).
# The corpus grows in build/fuzz/corpus/NAME, seeded from fuzz/corpus/NAME; crashes land in
# build/fuzz/artifacts/NAME. Exit status: 0 when nothing was found.
set -euo pipefail
cd "$(dirname "$0")/.."
name="${1:?usage: scripts/fuzz.sh NAME|list|all [SECONDS] [libFuzzer options...]}"
seconds="${2:-60}"
shift $(( $# >= 2 ? 2 : 1 ))
build=build/fuzz

need=()
for pkg in clang libclang-rt-14-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}" >&2
  sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${need[@]}" >&2
fi
./scripts/setup.sh
[ -f "$build/build.ninja" ] || cmake --preset fuzz >/dev/null
targets=$(cat "$build/fuzz_harnesses.txt" 2>/dev/null | tr ";" "\n" | sed "s/^/fuzz_/" | tr "\n" " ")
cmake --build --preset fuzz --target $targets >/dev/null

harnesses=$(cat "$build/fuzz_harnesses.txt" | tr ';' ' ')
case "$name" in
  list) echo "$harnesses" | tr ' ' '\n'; exit 0 ;;
  all)
    status=0
    for h in $harnesses; do "$0" "$h" "$seconds" "$@" || status=1; done
    exit $status ;;
esac
case " $harnesses " in *" $name "*) ;; *) echo "no harness '$name' (have: $harnesses)" >&2; exit 2 ;; esac

# Harnesses never touch a real serial port; enumeration runs against its test seam.
export TESSEL_NO_HARDWARE_PORTS=1
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
corpus="$build/corpus/$name"
artifacts="$build/artifacts/$name"
mkdir -p "$corpus" "$artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
echo "== fuzz $name for ${seconds} s =="
TMPDIR="$scratch" "$build/bin/fuzz_$name" "$corpus" "fuzz/corpus/$name" \
  -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$artifacts/" "$@"
