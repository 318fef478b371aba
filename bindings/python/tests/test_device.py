import gc
import threading
import warnings

import pytest

import korvan


def test_unknown_serial_number_says_so_and_how_many_ports_were_tried(sim):
    with pytest.raises(korvan.KorvanError) as raised:
        korvan.Device("999-9999")
    assert raised.value.code == 1
    assert str(raised.value).endswith("no device with serial number 999-9999 found (1 port tried)")
    assert raised.value.failure == "NoConnection"


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


def test_a_missing_calibration_file_is_a_file_not_found_error_and_a_korvan_error(dev, laser, tmp_path):
    missing = tmp_path / "none.ini"
    for load in (lambda: korvan.Calibration.load(missing), lambda: dev.load_calibration(missing, laser)):
        with pytest.raises(FileNotFoundError) as raised:
            load()
        assert isinstance(raised.value, korvan.KorvanError)
        assert raised.value.filename == str(missing) and raised.value.operation == "load_calibration"


def test_paths_are_taken_as_path_objects(dev, laser, tmp_path):
    table = korvan.Calibration(9)
    table.set_calibration_point(4, (100, 200), (30000, 31000))
    table.save(tmp_path / "table.ini")
    assert korvan.Calibration.load(tmp_path / "table.ini").points == table.points
    dev.load_calibration(tmp_path / "table.ini", laser)
    dev.save_calibration(tmp_path / "again.ini", laser)
    assert korvan.Calibration.load(tmp_path / "again.ini").points == table.points


def test_errors_and_devices_show_what_they_are(sim, dev):
    with pytest.raises(korvan.KorvanError) as raised:
        dev.move_absolute(70000, 0)
    assert repr(raised.value).startswith("KorvanError(RESULT_INVALID_ARGUMENT (2), operation='move_absolute'")
    assert raised.value.code_name == "RESULT_INVALID_ARGUMENT" and raised.value.failure is None
    assert korvan.result_text(2) in str(raised.value)
    assert korvan.result_text(99) == "unknown result code"
    assert repr(dev) == f"Device(port_name='{sim.port_name}', serial_number='123-4567')"
    assert repr(korvan.Device()) == "Device(not connected)"


def test_lasers_default_to_intensity_control_and_elements_to_full_intensity(dev):
    laser = dev.add_laser(korvan.OutputPorts.LaserOutput2)
    try:
        assert dev.get_laser(laser).intensity_controlled
        point = korvan.SequencePoint(100, 100, laser_ids=[laser])
        assert point.intensities == [10000, 0, 0, 0]
        line = korvan.SequenceLine((0, 0), (10, 10), laser_ids=[laser, laser], intensities=[3000])
        assert line.intensities == [3000, 10000, 0, 0]
        assert korvan.SequenceSetAnalog(korvan.OutputPorts.LaserOutput3, 500).value == 500
    finally:
        dev.remove_laser(laser)


def test_an_intensity_for_a_laser_without_intensity_control_warns(dev):
    laser = dev.add_laser(korvan.OutputPorts.LaserOutput2, min_intensity=0, max_intensity=0)
    try:
        dimmed = [korvan.SequencePoint(1000, 1000, laser_ids=[laser], intensities=[3000], use_calibration=False)]
        for call in (korvan.analyze_sequence, dev.analyze, dev.upload):
            with pytest.warns(UserWarning, match=f"laser {laser} has no intensity control.*3000"):
                call(dimmed)
        full = [korvan.SequencePoint(1000, 1000, laser_ids=[laser], use_calibration=False)]
        with warnings.catch_warnings():
            warnings.simplefilter("error")
            korvan.analyze_sequence(full)
    finally:
        dev.remove_laser(laser)


def test_get_laser_gives_the_whole_definition(dev, tmp_path):
    laser = dev.add_laser(korvan.OutputPorts.LaserOutput3, switch_on_delay=11, switch_off_delay=12,
                          intensity_delay=13, min_intensity=1000, max_intensity=9000, active_level=0,
                          warm_up_time=40)
    try:
        dev.set_laser_step_size(laser, 25)
        table = korvan.Calibration(9)
        table.set_calibration_point(4, (100, 200), (30000, 31000))
        table.save(tmp_path / "t.ini")
        dev.load_calibration(tmp_path / "t.ini", laser)
        got = dev.get_laser(laser)
        assert (got.id, got.port, got.switch_on_delay, got.switch_off_delay, got.intensity_delay) == \
            (laser, korvan.OutputPorts.LaserOutput3, 11, 12, 13)
        assert (got.min_intensity, got.max_intensity, got.pulse_frequency, got.active_level, got.warm_up_time) == \
            (1000, 9000, 0, 0, 40)
        assert got.calibration.points == table.points and got.step_size == table.scan_step_size
        assert repr(got).startswith(f"LaserDefinition(id={laser}, port=OutputPorts.LaserOutput3, min_intensity=1000")
        with pytest.raises(korvan.KorvanError):
            dev.get_laser(laser + 7)
    finally:
        dev.remove_laser(laser)


@pytest.mark.parametrize("level", [-1, 0, 1, 2, 500])
def test_add_laser_takes_active_levels_0_and_1_only(dev, level):
    if level in (0, 1):
        laser = dev.add_laser(korvan.OutputPorts.LaserOutput2, active_level=level)
        try:
            assert dev.get_laser(laser).active_level == level
        finally:
            dev.remove_laser(laser)
        return
    with pytest.raises(korvan.KorvanError) as raised:
        dev.add_laser(korvan.OutputPorts.LaserOutput2, active_level=level)
    assert raised.value.code_name == "RESULT_INVALID_ARGUMENT"
    laser = dev.add_laser(korvan.OutputPorts.LaserOutput2)  # the refused one took no port
    dev.remove_laser(laser)


@pytest.mark.parametrize("max_intensity", [0, 10000])
def test_the_element_preview_lights_what_the_device_lights(dev, tmp_path, max_intensity):
    laser = dev.add_laser(korvan.OutputPorts.LaserOutput4, max_intensity=max_intensity)
    try:
        elements = [korvan.SequencePoint(30000, 30000, laser_ids=[laser], repeat_count=20, use_calibration=False)]
        summary = korvan.preview(elements, tmp_path / "p.svg")
        assert summary["lit_us"] > 0 and (tmp_path / "p.svg").exists()
    finally:
        dev.remove_laser(laser)
