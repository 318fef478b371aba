import pathlib
import re

import numpy as np
import pytest

import korvan

EXAMPLES = pathlib.Path(__file__).resolve().parents[3] / "examples" / "sequences"


@pytest.fixture
def file_dev(dev):
    """The device for loading files: a file sets the process's scan mode, which later tests must
    not inherit."""
    yield dev
    dev.set_scan_mode(korvan.ScanMode.ScanModeDefault)


def jump_targets_of(path):
    """Jump index -> targetElement, read from the file's element lines (one element a line)."""
    lines = [line for line in path.read_text().splitlines() if '"type"' in line]
    return {i: int(m.group(1)) for i, line in enumerate(lines) if (m := re.search(r'"targetElement":\s*(\d+)', line))}


@pytest.mark.parametrize("name", sorted(p.name for p in EXAMPLES.glob("*.json")))
def test_schedule_lays_out_as_the_file_format_does(file_dev, name):
    # The example files give no start but the first one's 0, so their elements with start ticks
    # cleared are what a Python user would schedule.
    dev, path = file_dev, EXAMPLES / name
    loaded = dev.load_sequence_file(str(path))
    expected = loaded.elements
    unplaced = [e.copy() for e in expected]
    for e in unplaced:
        e.start_tick = 0
        if isinstance(e, korvan.SequenceJump):
            e.target_tick = 0
    scheduled = korvan.schedule(unplaced, device=dev, jump_targets=jump_targets_of(path))
    assert [e.start_tick for e in scheduled] == [e.start_tick for e in expected]
    jumps = [(s.target_tick, x.target_tick) for s, x in zip(scheduled, expected) if isinstance(x, korvan.SequenceJump)]
    assert all(a == b for a, b in jumps)
    assert dev.analyze(scheduled).ok
    assert all(e.start_tick == 0 for e in unplaced), "the elements given are left as they were"


def test_gap_separates_beam_elements_and_outputs_ride_along(dev, laser):
    def spot(x):
        return korvan.SequencePoint(x, 1000, laser_ids=[laser], intensities=[5000], use_calibration=False,
                                    repeat_count=x % 7)

    elements = [spot(1000), korvan.SequencePulseTTL(korvan.OutputPorts.TTLOutput1), spot(3000), spot(5003),
                korvan.SequenceSetTTL(korvan.OutputPorts.TTLOutput2, 1), spot(9001)]
    for gap in (0, 1, 37):
        scheduled = korvan.schedule(elements, gap=gap, device=dev)
        timing = dev.analyze(scheduled).elements
        beam = [i for i, e in enumerate(scheduled) if e.is_illumination]
        for before, after in zip(beam, beam[1:]):
            assert timing[after].start_tick == timing[before].start_tick + timing[before].duration + gap
        # An output starts where the next beam element would, and does not push it on.
        assert scheduled[1].start_tick == scheduled[2].start_tick
        assert scheduled[4].start_tick == scheduled[5].start_tick


def test_given_starts_are_kept_and_the_next_follows_them(dev, laser):
    first = korvan.SequencePoint(1000, 1000, laser_ids=[laser], intensities=[5000], use_calibration=False)
    late = korvan.SequencePoint(2000, 1000, laser_ids=[laser], intensities=[5000], use_calibration=False,
                                start_tick=500)
    after = korvan.SequencePoint(3000, 1000, laser_ids=[laser], intensities=[5000], use_calibration=False)
    scheduled = korvan.schedule([first, late, after], device=dev)
    assert [e.start_tick for e in scheduled] == [0, 500, 500 + dev.get_timing(late)[0]]


@pytest.mark.parametrize("targets, fault", [
    ({0: 0}, ValueError),        # not a jump
    ({5: 0}, ValueError),        # no such element
    ({1: 1}, korvan.KorvanError),  # a jump to itself goes nowhere back
])
def test_bad_jump_targets_are_refused(dev, laser, targets, fault):
    point = korvan.SequencePoint(1000, 1000, laser_ids=[laser], intensities=[5000], use_calibration=False)
    with pytest.raises(fault):
        korvan.schedule([point, korvan.SequenceJump(0, 1)], device=dev, jump_targets=targets)


def test_points_from_an_array_match_points_made_one_by_one(laser):
    xy = np.array([[10.5, 20.0], [30000, 40000.25], [0, 65535]])
    bulk = korvan.points(xy, laser=laser, intensity=7000, repeat_count=4, use_calibration=False)
    single = [korvan.SequencePoint(x, y, laser_ids=[laser], intensities=[7000], repeat_count=4,
                                   use_calibration=False) for x, y in xy]
    for a, b in zip(bulk, single, strict=True):
        assert (a.position, a.laser_ids, a.intensities, a.repeat_count, a.use_calibration, a.start_tick) == \
               (b.position, b.laser_ids, b.intensities, b.repeat_count, b.use_calibration, b.start_tick)
    assert korvan.analyze_sequence(korvan.schedule(bulk)).ok
    two = korvan.points(xy[:1], laser=[laser, 7], intensity=[100, 200])[0]
    assert two.laser_ids == [laser, 7, 0, 0] and two.intensities == [100, 200, 0, 0]


@pytest.mark.parametrize("array, kw", [
    (np.zeros((3, 3)), {}),
    (np.zeros(4), {}),
    (np.zeros((2, 2)), {"laser": [1, 2], "intensity": [1, 2, 3]}),
    (np.zeros((2, 2)), {"laser": [1, 2, 3, 4, 5]}),
])
def test_points_refuse_misshapen_input(array, kw):
    with pytest.raises(ValueError):
        korvan.points(array, **kw)


def test_polygon_from_an_array_keeps_its_points():
    xy = np.column_stack([np.linspace(100, 900, 50), np.linspace(200, 300, 50)])
    polygon = korvan.polygon(xy, fill=False, laser=1, intensity=3000)
    np.testing.assert_array_equal(polygon.points, xy)
    assert polygon.laser_ids[0] == 1 and polygon.intensities[0] == 3000


def test_notebook_previews_are_svg(file_dev, laser):
    dev = file_dev
    elements = korvan.schedule([korvan.SequencePoint(x, 1000, laser_ids=[laser], intensities=[5000],
                                                     use_calibration=False) for x in (1000, 9000)], device=dev)
    assert elements._repr_svg_().lstrip().startswith(("<svg", "<?xml"))
    loaded = dev.load_sequence_file(str(EXAMPLES / "shapes.json"))
    assert "<svg" in loaded._repr_svg_()
    overlapping = korvan.ElementList(korvan.SequencePoint(1000, 1000, laser_ids=[laser], intensities=[5000],
                                                          use_calibration=False) for _ in range(2))
    assert overlapping._repr_svg_() is None, "what does not compile falls back to the text repr"
