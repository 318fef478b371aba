#!/usr/bin/env bash
# Installs the Python module as a user would, into fresh virtual environments, and runs it from
# outside the repository: `pip install ./bindings/python`, a wheel from `pip wheel` and
# `pip install .` from the repository root, each in its own venv made with --system-site-packages
# (Debian's numpy, setuptools and pybind11; no index).
#   ./scripts/python_install_test.sh [python]      (default /usr/bin/python3)
# The CMake build folder (KORVAN_PIP_BUILD_DIR, default build/pip-test) is kept between runs. Its
# compile flags match the default preset's, and ccache compares paths relative to the repository,
# so after `cmake --build build/default` the objects come from ccache and only linking remains.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
python=${1:-/usr/bin/python3}
export TESSEL_NO_HARDWARE_PORTS=1
export KORVAN_PIP_BUILD_DIR=${KORVAN_PIP_BUILD_DIR:-$root/build/pip-test}
export KORVAN_PIP_CMAKE_ARGS="-DCMAKE_BUILD_TYPE=RelWithDebInfo ${KORVAN_PIP_CMAKE_ARGS:-}"
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
export PIP_NO_INDEX=1 PIP_DISABLE_PIP_VERSION_CHECK=1
unset PYTHONPATH LD_LIBRARY_PATH
start=$(date +%s)
work=$(mktemp -d /tmp/korvan-pip-test.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Uses the installed module from a folder where no `korvan` package lies beside it: a virtual
# device, a sequence run on it, and the timeline it recorded.
smoke() {
  (cd "$work" && "$1" - "$2" <<'PY'
import os, sys
import korvan
assert os.path.realpath(korvan.__file__).startswith(os.path.realpath(sys.argv[1])), korvan.__file__
with korvan.VirtualDevice() as sim, korvan.Device("123-4567") as dev:
    laser = dev.add_laser(korvan.OutputPorts.LaserOutput1, max_intensity=10000)
    dots = [korvan.SequencePoint(20000 + 5000 * i, 30000, laser_ids=[laser], intensities=[8000],
                                 repeat_count=19, use_calibration=False, start_tick=200 * i)
            for i in range(4)]
    dev.run(dots)
    assert len(sim.timeline_array()) > 0
print("korvan", korvan.__file__, "ran a sequence on the virtual device")
PY
  )
}

echo "== pip install ./bindings/python =="
"$python" -m venv --system-site-packages "$work/venv-install"
"$work/venv-install/bin/pip" install -q --no-build-isolation ./bindings/python
smoke "$work/venv-install/bin/python" "$work/venv-install"

echo "== pip wheel ./bindings/python =="
"$work/venv-install/bin/pip" wheel -q --no-build-isolation --no-deps -w "$work/wheels" ./bindings/python
wheel=$(ls "$work"/wheels/korvan-*.whl)
"$python" - "$wheel" <<'PY'
import sys, zipfile
names = zipfile.ZipFile(sys.argv[1]).namelist()
for wanted in ("korvan/libkorvan.so.0", "korvan/libtessel.so.0", "korvan/__init__.pyi", "korvan/py.typed"):
    assert wanted in names, f"{wanted} missing from the wheel: {names}"
assert any(n.startswith("korvan/_korvan") and n.endswith(".so") for n in names), names
PY
"$python" -m venv --system-site-packages "$work/venv-wheel"
"$work/venv-wheel/bin/pip" install -q --no-deps "$wheel"
# The bundled libraries, not ones from the build tree or the system, satisfy the extension.
ext=$(ls "$work"/venv-wheel/lib/python3*/site-packages/korvan/_korvan*.so)
if ldd "$ext" | grep -E "not found|libkorvan|libtessel" | grep -v "$work/venv-wheel"; then
  echo "the wheel's extension resolves libraries outside its package" >&2
  exit 1
fi
smoke "$work/venv-wheel/bin/python" "$work/venv-wheel"
echo "== pip install . (repository root) =="
"$python" -m venv --system-site-packages "$work/venv-root"
"$work/venv-root/bin/pip" install -q --no-build-isolation .
smoke "$work/venv-root/bin/python" "$work/venv-root"
echo "python install test passed in $(( $(date +%s) - start )) s"
