"""Photostimulation of a few cells on the virtual device, notebook-sized.

A ring of target cells (camera pixels) is stimulated one after the other: each gets a short
train of dwells at its centre, then a filled spot around it, with a TTL pulse to the camera
at the start of each cell. The laser is calibrated first against the virtual camera, so the
targets land where the camera saw them. The preview (beam paths and light dose) is written
next to the timeline's summary.

    PYTHONPATH=build/default/python python3 examples/python/photostimulation.py [OUTPUT_DIR]
"""
import math
import os
import pathlib
import sys

# Only the virtual device below is listed; no real serial port is touched.
os.environ.setdefault("TESSEL_NO_HARDWARE_PORTS", "1")

import numpy as np  # noqa: E402

import korvan  # noqa: E402

out = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
out.mkdir(parents=True, exist_ok=True)

with korvan.VirtualDevice() as sim, korvan.Device("123-4567") as dev:
    camera = sim.camera(noise_pixels=0.3, seed=7)
    laser = dev.add_laser(korvan.OutputPorts.LaserOutput1, switch_on_delay=200, switch_off_delay=100,
                          intensity_delay=50, max_intensity=10000)

    # 1. Calibrate: a 4 x 4 grid of mirror positions, the spot found by the camera at each.
    dev.set_laser_intensity(laser, 2000)
    dev.start_calibration(16, laser)
    for i in range(16):
        dev.move_absolute(4000 + (i % 4) * 19178, 4000 + (i // 4) * 19178)
        dev.set_calibration_point(i, camera.look())
    dev.save_calibration(str(out / "laser1.ini"), laser)
    quality = korvan.Calibration.load(str(out / "laser1.ini")).assess()
    print(f"calibration: leave-one-out max {quality.leave_one_out_max:.0f} device units, "
          f"{'sound' if quality.looks_sound() else 'record again'}")

    # 2. The pattern, in camera pixels: six cells on a ring around the image centre.
    cells = [(640 + 180 * math.cos(a), 512 + 180 * math.sin(a)) for a in np.linspace(0, 2 * math.pi, 7)[:-1]]
    # No start ticks: korvan.schedule lays the elements out back to back as a sequence file
    # would, with a short pause after each beam element; the camera pulse rides along beside it.
    pattern = []
    for x, y in cells:
        pattern.append(korvan.SequencePulseTTL(korvan.OutputPorts.TTLOutput1))
        pattern.append(korvan.SequencePoint(x, y, laser_ids=[laser], intensities=[8000], repeat_count=39,
                                            stamps=[(0, 8000), (20, 4000)]))
        pattern.append(korvan.SequenceEllipse(x - 15, y - 15, 30, 30, fill=True, fill_path=True,
                                              laser_ids=[laser], intensities=[5000]))
    elements = korvan.schedule(pattern, gap=20, device=dev)  # in a notebook, `elements` shows its preview

    analysis = dev.analyze(elements)
    tick = max(t.start_tick + t.duration for t in analysis.elements)
    print(f"{len(elements)} elements, {analysis.memory_usage} bytes, {tick * analysis.tick_time / 1000:.1f} ms")

    # 3. Upload with a progress report, run once, follow it to the end (Ctrl-C stops it).
    dev.run(elements, progress=lambda done, total: print(f"\ruploading {100 * done // total:3d} %", end=""))
    print()

    # 4. What the device executed, as a numpy structured array.
    timeline = sim.timeline_array()
    lit = timeline[(timeline["event"] == int(korvan.TimelineEvent.Line)) & (timeline["channel"] == 6)]
    pulses = timeline[timeline["event"] == int(korvan.TimelineEvent.Pulse)]
    print(f"executed: {len(timeline)} records, laser switched {len(lit)} times, {len(pulses)} camera pulses, "
          f"ended at {timeline['time_us'][-1] / 1000:.1f} ms")

    try:  # the timeline plots in two lines, where matplotlib is installed
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        plt = None
    if plt is not None:
        x = timeline[timeline["event"] == int(korvan.TimelineEvent.MirrorX)]
        plt.step(x["time_us"] / 1000, x["value"], where="post")
        plt.savefig(out / "photostimulation-mirror-x.png")
        print(f"plot: {out / 'photostimulation-mirror-x.png'}")

    # 5. The preview: beam paths and the light dose.
    summary = korvan.preview(elements, str(out / "photostimulation.svg"), str(out / "photostimulation-dose.png"))
    print(f"preview: {out / 'photostimulation.svg'}, {out / 'photostimulation-dose.png'} "
          f"({summary['lit_us'] / 1000:.1f} ms of light)")
    dev.remove_laser(laser)
    assert len(pulses) == len(cells), "every cell starts with a camera pulse"
