import _thread
import json
import pathlib
import threading

import numpy as np
import pytest

import korvan

EXAMPLES = pathlib.Path(__file__).resolve().parents[3] / "examples" / "sequences"
O = korvan.OutputPorts


def dwell(laser, x, y, **kw):
    return korvan.SequencePoint(x, y, laser_ids=[laser], intensities=[10000], use_calibration=False, **kw)


def test_uploaded_points_run_where_they_were_placed(sim, dev, laser):
    first = dwell(laser, 20000, 30000, repeat_count=9)
    duration, light = dev.get_timing(first)
    assert light == 10
    second = dwell(laser, 40000, 10000, start_tick=duration)
    dev.run([first, second], timeout=5)
    records = sim.timeline()
    table = sim.timeline_array()
    assert len(table) == len(records) and table["time_us"][-1] == records[-1].time_us
    assert list(table["event"]) == [int(r.event) for r in records]
    x = table["value"][table["event"] == int(korvan.TimelineEvent.MirrorX)]
    y = table["value"][table["event"] == int(korvan.TimelineEvent.MirrorY)]
    assert {20000, 40000} <= set(x) and {30000, 10000} <= set(y)
    lit = [r for r in records if r.event == korvan.TimelineEvent.Line and r.value == 1]
    assert len(lit) == 2 and records[-1].event_name == "run_end"


def test_every_element_kind_compiles_and_outputs_run(sim, dev, laser):
    elements = [
        dwell(laser, 1000, 1000, stamps=[(0, 5000), (5, 10000)], repeat_count=9),
        korvan.SequenceLine((2000, 2000), (6000, 2000), laser_ids=[laser], intensities=[8000], start_tick=200),
        korvan.SequenceEllipse(10000, 10000, 4000, 4000, fill=True, fill_path=True, laser_ids=[laser],
                               intensities=[9000], start_tick=400),
        korvan.SequencePolygon(np.array([[20000, 20000], [24000, 20000], [22000, 24000]]), fill=True,
                               laser_ids=[laser], intensities=[9000], start_tick=6000),
        korvan.SequenceSetTTL(O.TTLOutput1, 1, start_tick=10),
        korvan.SequencePulseTTL(O.TTLOutput2, start_tick=20),
        korvan.SequenceSetAnalog(O.LaserOutput2, 5000, start_tick=30),
    ]
    analysis = dev.analyze(elements)
    assert analysis.ok, analysis.reason
    assert [t.start_tick for t in analysis.elements][:4] == [0, 200, 400, 6000]
    assert dev.calc_memory_usage(elements) == analysis.memory_usage == len(analysis.image)
    dev.run(elements, timeout=10)
    events = {r.event_name for r in sim.timeline()}
    assert {"pulse", "analog", "line", "mirror_x"} <= events


@pytest.mark.parametrize("elements, failed", [
    (lambda l: [dwell(l, 0, 0, repeat_count=99), dwell(l, 100, 100, start_tick=5)], 1),
    (lambda l: [dwell(l, 0, 0), korvan.SequenceJump(0, 1, start_tick=50)], 1),
    (lambda l: [korvan.SequencePoint(0, 0, laser_ids=[999], use_calibration=False)], 0),
])
def test_refused_sequences_name_the_element(dev, laser, elements, failed):
    analysis = korvan.analyze_sequence(elements(laser))
    assert (analysis.result, analysis.failed_element) == (4, failed) and analysis.reason
    with pytest.raises(korvan.KorvanError) as raised:
        dev.upload(elements(laser))
    assert raised.value.code == 4 and f"element {failed}" in str(raised.value)


def test_upload_reports_progress_and_the_callback_can_cancel(dev, laser):
    elements = [dwell(laser, 1000 + i, 1000, start_tick=200 * i) for i in range(200)]
    calls = []
    dev.upload(elements, progress=lambda done, total: calls.append((done, total)))
    total = dev.calc_memory_usage(elements)
    assert calls[-1] == (total, total) and [d for d, _ in calls] == sorted(d for d, _ in calls)
    with pytest.raises(korvan.KorvanError) as raised:
        dev.upload(elements, progress=lambda done, total: False)
    assert raised.value.code == 1 and raised.value.failure == "Cancelled"
    assert korvan.result_text(1) in str(raised.value)

    def fail(done, total):
        raise RuntimeError("stop here")
    with pytest.raises(RuntimeError, match="stop here"):
        dev.upload(elements, progress=fail)


def test_ctrl_c_interrupts_the_wait_and_stops_the_sequence(sim, dev, laser):
    number = dev.upload([dwell(laser, 5000, 5000, repeat_count=999)])
    dev.start_sequence(number, runs=0)
    threading.Timer(0.2, _thread.interrupt_main).start()
    with pytest.raises(KeyboardInterrupt):
        dev.wait(timeout=20)
    assert dev.state == korvan.State.Idle and not sim.sequence_active


def test_sequence_file_loads_runs_and_previews(sim, dev, tmp_path):
    loaded = dev.load_sequence_file(str(EXAMPLES / "points-and-line.json"))
    assert list(loaded.laser_ids) == ["green"] and loaded.pointers[2] == "/elements/2"
    assert [type(e).__name__ for e in loaded.elements] == ["SequencePoint", "SequencePoint", "SequenceLine"]
    dev.run(loaded, timeout=10)
    assert sim.timeline()[-1].event_name == "run_end"
    summary = loaded.preview(str(tmp_path / "p.svg"), str(tmp_path / "p.png"))
    assert summary["lit_us"] > 0
    assert (tmp_path / "p.svg").read_text().lstrip().startswith("<")
    assert (tmp_path / "p.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    ids = list(loaded.laser_ids.values())
    del loaded
    with pytest.raises(korvan.KorvanError):
        dev.remove_laser(ids[0])  # the file's lasers went with it


@pytest.mark.parametrize("change, pointer", [
    (lambda doc: doc["elements"][1].update(colour="red"), "/elements/1"),
    (lambda doc: doc["lasers"][0].update(port="laser9"), "/lasers/0/port"),
])
def test_bad_sequence_files_are_reported_with_their_pointer(tmp_path, change, pointer):
    doc = json.loads((EXAMPLES / "points-and-line.json").read_text())
    change(doc)
    path = tmp_path / "bad.json"
    path.write_text(json.dumps(doc))
    with pytest.raises(korvan.KorvanError) as raised:
        korvan.check_sequence_file(str(path))
    assert raised.value.pointer.startswith(pointer)
    assert korvan.check_sequence_file(str(EXAMPLES / "points-and-line.json")).ok


def test_a_wait_for_the_user_holds_until_acknowledged(sim, dev, laser):
    number = dev.upload([dwell(laser, 1000, 1000), korvan.SequenceWaitUser(7, start_tick=300),
                         dwell(laser, 2000, 2000, start_tick=301)])
    dev.start_sequence(number)
    assert dev.wait(timeout=0.3) is False
    assert dev.state == korvan.State.WaitingForUser
    dev.acknowledge_wait_for_user()
    assert dev.wait(timeout=5)
    names = [(r.event_name, r.value) for r in sim.timeline()]
    released = names.index(("wait_released", 0))
    assert ("mirror_x", 2000) in names[released:] and ("mirror_x", 2000) not in names[:released]


def test_checking_a_file_at_another_tick_time_leaves_enumeration_as_it_was(sim, tmp_path):
    # Such a file is compiled offline at its own tick time: no virtual device, no enumeration change.
    doc = json.loads((EXAMPLES / "points-and-line.json").read_text())
    doc["tickTime"] = 20
    path = tmp_path / "fast.json"
    path.write_text(json.dumps(doc))
    fast, normal = korvan.check_sequence_file(str(path)), korvan.check_sequence_file(str(EXAMPLES / "points-and-line.json"))
    assert fast.ok and normal.ok
    assert [d.port_name for d in korvan.search()] == [sim.port_name]


def test_checking_a_file_changes_neither_scan_mode_nor_lasers_of_the_process(dev):
    # shapes.json asks for the short scan mode and a laser on LaserOutput2, which this process has.
    own = dev.add_laser(korvan.OutputPorts.LaserOutput2)
    try:
        assert korvan.check_sequence_file(str(EXAMPLES / "shapes.json")).ok
        point = korvan.SequencePoint(100, 100, laser_ids=[own], use_calibration=False, repeat_count=19)
        assert dev.get_timing(point) == (120, 20)  # the mirrors keep their full 100-tick lead
    finally:
        dev.remove_laser(own)



def test_preview_tells_the_light_time_check_tells(tmp_path):
    # A pulsed laser and outputs beside the beam: the executor shows each pulse as one tick, the
    # compiler counts its period; the preview tells the compiler's figure, as `korvan check` does,
    # and outputs, waits and jumps add nothing to it.
    path = str(EXAMPLES / "outputs-and-waits.json")
    analysis = korvan.check_sequence_file(path)
    light = sum(e.illumination for e in analysis.elements) * analysis.tick_time
    assert korvan.preview(path, str(tmp_path / "f.svg"))["lit_us"] == light


def test_a_preview_that_cannot_be_written_raises_oserror(dev, tmp_path):
    path = EXAMPLES / "points-and-line.json"
    with pytest.raises(OSError, match="no-such-folder"):
        korvan.preview(path, tmp_path / "no-such-folder" / "p.svg")
    with pytest.raises(OSError, match="no-such-folder"):
        dev.load_sequence_file(path).preview(tmp_path / "p.svg", tmp_path / "no-such-folder" / "p.png")


def test_positions_outside_the_mirror_field_are_warned_about(dev, laser):
    inside = dwell(laser, 100, 200)
    outside = dwell(laser, 70000, 5, start_tick=1000)
    line = korvan.SequenceLine((70000, 100), (80000, 100), laser_ids=[laser], start_tick=2000)
    with pytest.warns(UserWarning) as caught:
        analysis = korvan.analyze_sequence([inside, outside, line])
    assert analysis.ok
    messages = [str(w.message) for w in caught]
    assert len(messages) == 2
    assert messages[0].startswith("element 1: position (70000, 5) lies outside the mirror field")
    assert [c["element"] for c in analysis.clamped_positions] == [1, 2]
    assert analysis.clamped_positions[0]["used"] == (65535, 5)
