#!/usr/bin/env bash
# Installs, with apt-get, only the build and test packages this machine lacks.
# --windows (or KORVAN_SETUP_WINDOWS=1) adds the MinGW-w64 cross compiler, the
# GoogleTest sources it builds from, Wine for running the tests, and a virtual display
# with a screenshot tool for the progress window's check; Linux-only machines skip
# those (about 1 GB). --browser adds Debian's chromium, and Node.js with npm where the machine
# has none, for the studio's browser tests (scripts/browser_test.sh); nothing else needs them.
set -euo pipefail
windows="${KORVAN_SETUP_WINDOWS:-0}"
browser=0
for arg in "$@"; do
  case "$arg" in
    --windows) windows=1 ;;
    --browser) browser=1 ;;
    *) echo "usage: $0 [--windows] [--browser]" >&2; exit 2 ;;
  esac
done
packages=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev libtiff-dev
          python3-dev python3-numpy python3-pytest pybind11-dev
          python3-venv python3-pip python3-setuptools python3-wheel
          libcli11-dev nlohmann-json3-dev libstb-dev libcpp-httplib-dev libpng-dev librsvg2-bin clang-format python3-clang locales ccache)
if [ "$windows" = 1 ]; then
  # util-linux brings unshare, which scripts/wine_test.sh needs to mask the serial devices;
  # xvfb and imagemagick give the progress window a display and take its screenshot.
  packages+=(g++-mingw-w64-x86-64-posix googletest wine64 wine util-linux xvfb imagemagick)
fi
if [ "$browser" = 1 ]; then
  packages+=(chromium)
  # A Node.js from elsewhere brings its own npm, which Debian's npm package would fight with.
  command -v node >/dev/null || packages+=(nodejs)
  command -v npm >/dev/null || packages+=(npm)
fi
need=()
for pkg in "${packages[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
if [ ${#need[@]} -ne 0 ]; then
  echo "installing: ${need[*]}" >&2
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${need[@]}" >&2
fi
# A locale with a decimal comma, so the test that calibration files ignore it runs.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "generating the locale de_DE.UTF-8" >&2
  $sudo_cmd localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
