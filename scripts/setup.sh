#!/usr/bin/env bash
# Installs, with apt-get, only the build and test packages this machine lacks.
set -euo pipefail
need=()
for pkg in g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev libtiff-dev \
           python3-dev python3-numpy python3-pytest pybind11-dev \
           python3-venv python3-pip python3-setuptools python3-wheel \
           libcli11-dev nlohmann-json3-dev libpng-dev librsvg2-bin clang-format python3-clang locales; do
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
