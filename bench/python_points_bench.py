"""Elements from a numpy array, laid out and compiled: the time for 100,000 points.

Not a test: it prints the figures (best of a few runs) for each step. Build the target
korvan_python first, then

    PYTHONPATH=build/default/python python3 bench/python_points_bench.py [COUNT]
"""
import os
import sys
import time

os.environ.setdefault("TESSEL_NO_HARDWARE_PORTS", "1")
os.environ.setdefault("TESSEL_EXTRA_PORTS", "")

import numpy as np  # noqa: E402

import korvan  # noqa: E402


def best_of(runs, step):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        result = step()
        times.append(time.perf_counter() - start)
    return min(times), result


count = int(sys.argv[1]) if len(sys.argv) > 1 else 100_000
xy = np.random.default_rng(1).uniform(1000, 64000, size=(count, 2))
with korvan.VirtualDevice() as sim, korvan.Device(sim.port_name) as dev:
    laser = dev.add_laser(korvan.OutputPorts.LaserOutput1, min_intensity=0, max_intensity=10000)
    built_s, points = best_of(3, lambda: korvan.points(xy, laser=laser, intensity=8000, use_calibration=False))
    laid_s, scheduled = best_of(3, lambda: korvan.schedule(points, device=dev))
    compiled_s, analysis = best_of(3, lambda: dev.analyze(scheduled))
    assert analysis.ok, analysis.reason
    dev.remove_laser(laser)
print(f"{count} points: built {built_s * 1000:.0f} ms, laid out {laid_s * 1000:.0f} ms, "
      f"compiled {compiled_s * 1000:.0f} ms, together {(built_s + laid_s + compiled_s) * 1000:.0f} ms "
      f"({analysis.memory_usage} bytes)")
