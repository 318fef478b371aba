#!/usr/bin/env bash
# The Win32 COM path against the virtual device: the Linux korvan-sim on a pseudo-terminal,
# linked as COM7 in the Wine prefix. First com_identify.exe finds and connects it; then
# korvan.exe runs list, info, run and flash through it with the serial trace on, and the same
# commands run by the Linux korvan against a fresh Linux korvan-sim must exchange the same
# bytes (tests/windows/serial_trace_compare.py says what it normalises). Exit 0 only when
# everything passed and every trace matched.
# Runs only through scripts/wine_test.sh --run, which provides the masked namespace and prefix.
#   scripts/wine_test.sh --run tests/windows/com_port_check.sh [build/default] [build/windows]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
linux_build="${1:-$root/build/default}"
windows_build="${2:-$root/build/windows}"
port=COM7
began=$(date +%s%N)

[ "$(stat -c '%t,%T' /dev/ttyS0 2>/dev/null)" = "1,3" ] || { echo "not inside wine_test.sh" >&2; exit 1; }
[ -n "${WINEPREFIX:-}" ] || { echo "no WINEPREFIX" >&2; exit 1; }

work="$(mktemp -d)"
link="$WINEPREFIX/dosdevices/${port,,}"
sim=""
stop_sim() {
  [ -n "$sim" ] || return 0
  kill "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
  sim=""
}
cleanup() { stop_sim; rm -f "$link"; rm -rf "$work"; }
trap cleanup EXIT

# start_sim NAME: a fresh korvan-sim, so both platforms meet a device in the same state; sets pty.
start_sim() {
  local out="$work/$1.sim"
  "$linux_build/bin/korvan-sim" --serial 777-0001 --time-scale 0 >"$out" 2>&1 &
  sim=$!
  pty=""
  for _ in $(seq 100); do
    pty="$(sed -n 's/^Virtual device .* on port \(.*\)$/\1/p' "$out")"
    [ -n "$pty" ] && return 0
    sleep 0.05
  done
  { echo "korvan-sim did not start:"; cat "$out"; } >&2
  exit 1
}

# The Windows name of a host path (Wine maps the host's root to drive Z:).
windows_path() { local p="Z:$1"; echo "${p//\//\\}"; }

ms_since() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }

export TESSEL_NO_HARDWARE_PORTS=1

start_sim identify
case "$pty" in /*) ;; *) pty="/dev/$pty" ;; esac
ln -sfn "$pty" "$link"
echo "$port -> $pty"
start=$(date +%s%N)
TESSEL_EXTRA_PORTS="$port" timeout 120 "$root/scripts/wine_test.sh" --exec "$windows_build/bin/com_identify.exe" "$port"
echo "com_identify took $(ms_since "$start") ms"
stop_sim

# 600 bytes: three blocks of the virtual bootloader's 256.
python3 -c 'import sys; sys.stdout.buffer.write(bytes(i * 7 % 256 for i in range(600)))' >"$work/firmware.bin"
sequence="$root/examples/sequences/points-and-line.json"
verbs=(list info run flash)

# run_verbs PLATFORM PORT TOOL PATH-MAPPER...: the four commands, each with its own trace file.
run_verbs() {
  local platform="$1" device="$2" map="$3"
  shift 3
  local verb args
  for verb in "${verbs[@]}"; do
    case "$verb" in
      list) args=(list) ;;
      info) args=(info "$device") ;;
      run) args=(run "$($map "$sequence")" --device "$device") ;;
      flash) args=(flash "$($map "$work/firmware.bin")" --device "$device" --yes) ;;
    esac
    local start
    start=$(date +%s%N)
    if ! TESSEL_EXTRA_PORTS="$device" TESSEL_TRACE="$($map "$work/$platform-$verb.trace")" timeout 120 \
        "$@" "${args[@]}" >"$work/$platform-$verb.out" 2>&1; then
      echo "$platform korvan ${args[*]} failed:" >&2
      cat "$work/$platform-$verb.out" >&2
      exit 1
    fi
    echo "$platform: korvan $verb took $(ms_since "$start") ms"
  done
}
same_path() { echo "$1"; }

start_sim windows
case "$pty" in /*) ;; *) pty="/dev/$pty" ;; esac
ln -sfn "$pty" "$link"
run_verbs windows "$port" windows_path "$root/scripts/wine_test.sh" --exec "$windows_build/bin/korvan.exe"
stop_sim
rm -f "$link"

start_sim linux
run_verbs linux "$pty" same_path "$linux_build/bin/korvan"
stop_sim

failed=0
for verb in "${verbs[@]}"; do
  if summary="$(python3 "$root/tests/windows/serial_trace_compare.py" "$work/linux-$verb.trace" "$work/windows-$verb.trace")"; then
    echo "trace of $verb: $summary"
  else
    echo "trace of $verb: DIFFERENT (Linux first, Windows second)"
    echo "$summary"
    failed=1
  fi
done
echo "com_port_check: $([ $failed = 0 ] && echo passed || echo FAILED) in $(ms_since "$began") ms"
exit $failed
