#!/usr/bin/env bash
# Installs, with apt-get, only the build and test packages this machine lacks.
set -euo pipefail
need=()
for pkg in g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev libtiff-dev \
           python3-dev python3-numpy python3-pytest pybind11-dev \
           libcli11-dev nlohmann-json3-dev libpng-dev librsvg2-bin clang-format; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
[ ${#need[@]} -eq 0 ] && exit 0
echo "installing: ${need[*]}" >&2
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
$sudo_cmd apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${need[@]}" >&2
