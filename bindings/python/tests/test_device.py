import gc
import threading

import pytest

import korvan


def test_unknown_serial_number_says_so_and_how_many_ports_were_tried(sim):
    with pytest.raises(korvan.KorvanError) as raised:
        korvan.Device("999-9999")
    assert raised.value.code == 1
    assert str(raised.value).endswith("no device with serial number 999-9999 found (1 port tried)")


def test_search_finds_the_virtual_device_and_opens_it_by_serial_number(sim):
    found = korvan.search()
    assert [(d.port_name, d.serial_number) for d in found] == [(sim.port_name, "123-4567")]
    with korvan.Device("123-4567") as dev:
        assert dev.info.port_name == sim.port_name
        assert dev.state == korvan.State.Idle
    assert dev.state == korvan.State.NotConnected


@pytest.mark.parametrize("call, code, operation", [
    (lambda d: d.move_absolute(65536, 0), 2, "move_absolute"),
    (lambda d: d.remove_laser(4000), 2, "remove_laser"),
    (lambda d: setattr(d, "user_data", b""), 2, "set_user_data"),
    (lambda d: d.acknowledge_wait_for_user(), 5, "acknowledge_wait_for_user"),
    (lambda d: d.connect("999-9999"), 1, "connect"),
])
def test_result_codes_raise_korvan_error(dev, call, code, operation):
    with pytest.raises(korvan.KorvanError) as raised:
        call(dev)
    assert (raised.value.code, raised.value.operation) == (code, operation)


def test_user_data_and_moves_reach_the_device(dev):
    dev.user_data = bytes(range(60))
    assert dev.user_data == bytes(range(60))
    dev.move_absolute(1000, 64000)
    dev.move_relative(-500, 500)
    assert dev.actual_position == (500, 64500)


def test_calibration_run_with_the_virtual_camera(sim, dev, laser, tmp_path):
    camera = sim.camera(noise_pixels=0.3, seed=7)
    dev.set_laser_intensity(laser, 2000)
    dev.start_calibration(16, laser)
    for i in range(16):
        dev.move_absolute(4000 + (i % 4) * 19178, 4000 + (i // 4) * 19178)
        spot = camera.look()
        assert spot is not None
        dev.set_calibration_point(i, spot)
    assert camera.look() is None  # the last point ends the run, laser off
    path = str(tmp_path / "laser.ini")
    dev.save_calibration(path, laser)
    quality = korvan.Calibration.load(path).assess()
    assert quality.looks_sound() and quality.point_count == 16 and not quality.folded_cells
    mapped = dev.get_device_coordinates((400, 300), laser)
    truth = camera.camera_to_device(400, 300)
    assert abs(mapped[0] - truth[0]) < 100 and abs(mapped[1] - truth[1]) < 100


def test_leaving_the_block_switches_a_calibrating_laser_off(sim, dev, laser):
    camera = sim.camera()
    with dev:
        dev.start_calibration(4, laser)
        assert camera.look() is not None
    assert camera.look() is None
    assert dev.state == korvan.State.NotConnected


def test_objects_released_in_any_order_do_not_crash(tmp_path):
    sim = korvan.VirtualDevice()
    camera = sim.camera()
    dev = korvan.Device(sim.port_name)
    loaded = dev.load_sequence_file(str(_examples() / "points-and-line.json"))
    sim.stop()
    del sim
    gc.collect()
    assert camera.look() is None  # the device object lives on behind the camera
    with pytest.raises(korvan.KorvanError) as raised:
        dev.move_absolute(0, 0)
    assert raised.value.code == 1
    del dev
    gc.collect()
    assert loaded.laser_ids  # the device handle lives on behind the loaded sequence
    del loaded, camera


def test_calls_from_threads_are_serialised(dev):
    errors = []

    def move(x):
        try:
            for _ in range(20):
                dev.move_absolute(x, x)
        except Exception as e:  # pragma: no cover - reported below
            errors.append(e)

    threads = [threading.Thread(target=move, args=(x,)) for x in (1000, 2000, 3000)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []


def _examples():
    import pathlib
    return pathlib.Path(__file__).resolve().parents[3] / "examples" / "sequences"


def test_firmware_update_reports_progress_and_the_device_answers_again(sim):
    image = bytes(range(256)) * 10
    seen = []
    korvan.update_firmware(sim.port_name, image, progress=lambda done, total: seen.append((done, total)))
    assert seen[-1] == (len(image), len(image))
    assert [d.port_name for d in korvan.search()] == [sim.port_name]
