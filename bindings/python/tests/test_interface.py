"""The module as Python users meet it: enumerations, docstrings, signatures and the type stub."""
import ast
import enum
import inspect
import pathlib
import re

import numpy as np
import pytest

import korvan

ENUMS = ["OutputPorts", "InputPorts", "TriggerBehaviour", "State", "ScanMode", "TimelineEvent"]


@pytest.mark.parametrize("name", ENUMS)
def test_enumerations_are_int_enums_that_compare_with_ints_and_numpy(name):
    cls = getattr(korvan, name)
    assert issubclass(cls, enum.IntEnum) and cls.__module__ == "korvan"
    values = np.array([m.value for m in cls], dtype=np.int64)
    for member in cls:
        assert member == member.value and hash(member) == hash(member.value)
        np.testing.assert_array_equal(values == member, values == member.value)


def test_enumerations_are_taken_as_ints_and_come_back_as_members(dev):
    laser = dev.add_laser(int(korvan.OutputPorts.LaserOutput2))
    try:
        port = dev.get_port_for_laser(laser)
        assert port is korvan.OutputPorts.LaserOutput2
    finally:
        dev.remove_laser(laser)
    assert korvan.is_sequence_active(2) and not korvan.is_sequence_active(korvan.State.Idle)
    with pytest.raises(TypeError):
        dev.set_output_default(1, 0)  # 1 is no output port
    with pytest.raises(TypeError):
        dev.set_output_default(True, 0)


def test_timeline_events_select_rows_of_the_timeline_array(sim, dev, laser):
    dev.run([korvan.SequencePoint(30000, 30000, laser_ids=[laser], intensities=[5000], use_calibration=False)])
    table = sim.timeline_array()
    moves = table[table["event"] == korvan.TimelineEvent.MirrorX]
    assert len(moves) > 0
    assert [r.event for r in sim.timeline()].count(korvan.TimelineEvent.MirrorX) == len(moves)
