import os

# Enumeration must reach only the virtual devices the tests start, never a real serial port.
os.environ["TESSEL_NO_HARDWARE_PORTS"] = "1"
os.environ["TESSEL_EXTRA_PORTS"] = ""

import pytest  # noqa: E402

import korvan  # noqa: E402


@pytest.fixture
def sim():
    with korvan.VirtualDevice() as device:
        yield device


@pytest.fixture
def dev(sim):
    with korvan.Device(sim.port_name) as device:
        yield device


@pytest.fixture
def laser(dev):
    laser_id = dev.add_laser(korvan.OutputPorts.LaserOutput1, min_intensity=0, max_intensity=10000)
    yield laser_id
    dev.remove_laser(laser_id)
