#!/usr/bin/env bash
# The progress window for real: progress_window_demo.exe shows it at 40 % under a virtual X
# display, a screenshot of the whole screen is kept as build/windows/artifacts/progress_window.png,
# and the row through the middle of the progress control must be about 40 % fill colour and
# 60 % another colour (so a blank, black, empty or full picture fails).
# Runs only through scripts/wine_test.sh, which provides the masked namespace and prefix:
#   xvfb-run -a scripts/wine_test.sh --run tests/windows/progress_window_check.sh [build/windows]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
windows_build="${1:-$root/build/windows}"
percent=40

[ "$(stat -c '%t,%T' /dev/ttyS0 2>/dev/null)" = "1,3" ] || { echo "not inside wine_test.sh" >&2; exit 1; }
[ -n "${WINEPREFIX:-}" ] || { echo "no WINEPREFIX" >&2; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY (run under xvfb-run -a)" >&2; exit 1; }
command -v import >/dev/null || { echo "imagemagick is missing (scripts/setup.sh --windows)" >&2; exit 1; }

artifacts="$windows_build/artifacts"
mkdir -p "$artifacts"
shot="$artifacts/progress_window.png"
rm -f "$shot"
out="$(mktemp)"
demo=""
cleanup() { [ -n "$demo" ] && kill "$demo" 2>/dev/null; rm -f "$out"; }
trap cleanup EXIT

start=$(date +%s%N)
# Standard error goes to a file: a console there would get the terminal bar instead.
"$root/scripts/wine_test.sh" --exec "$windows_build/bin/progress_window_demo.exe" "$percent" 5000 >"$out" 2>"$out.err" &
demo=$!
line=""
for _ in $(seq 300); do
  line="$(grep -m1 '^shown ' "$out" || true)"
  [ -n "$line" ] && break
  kill -0 "$demo" 2>/dev/null || break
  sleep 0.1
done
[ -n "$line" ] || { echo "no progress window appeared:"; cat "$out" "$out.err"; exit 1; } >&2
echo "window up after $(( ($(date +%s%N) - start) / 1000000 )) ms: $line"
read -r _ wx wy ww wh cx cy cw ch position <<<"$line"
sleep 0.5  # let the X server draw what the window painted
import -window root "$shot"
wait "$demo" || { echo "progress_window_demo.exe failed ($?)" >&2; exit 1; }
demo=""
rm -f "$out.err"

# The row through the middle of the control, one colour per pixel, in order.
row="$(convert "$shot" -crop "${cw}x1+${cx}+$((cy + ch / 2))" +repage txt:- | grep -o '#[0-9A-Fa-f]\{6\}')"
fill="$(sed -n "$((cw / 10 + 1))p" <<<"$row")"   # at a tenth of the width
empty="$(sed -n "$((cw * 9 / 10))p" <<<"$row")"             # at nine tenths
filled=$(grep -c "^$fill\$" <<<"$row" || true)
echo "window ${ww}x${wh} at ($wx,$wy), control ${cw}x${ch} at ($cx,$cy), position $position"
echo "fill $fill: $filled of $cw pixels; unfilled $empty"
[ "$fill" != "$empty" ] || { echo "the bar's fill and its empty part look the same" >&2; exit 1; }
low=$((cw * (percent - 8) / 100)); high=$((cw * (percent + 8) / 100))
if [ "$filled" -lt "$low" ] || [ "$filled" -gt "$high" ]; then
  echo "expected $low..$high pixels of fill for $percent %" >&2
  exit 1
fi
echo "progress window check passed; screenshot: $shot"
