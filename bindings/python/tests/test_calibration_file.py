import pytest

import korvan


def point_file(tmp_path, drop=None, value=None):
    """A 2 x 2 calibration file; the key `drop` is left out, or given `value` when one is named."""
    lines = ["[Spot]", "ScanStepSize=100", "[Calibration]", "PointCNT=4"]
    for i in range(4):
        for k, name in enumerate(("CamX", "CamY", "DevX", "DevY")):
            key = f"P{i}{name}"
            if key == drop:
                if value is not None:
                    lines.append(f"{key}={value}")
                continue
            lines.append(f"{key}={1000 * i + 10 * k}.5")
    path = tmp_path / "laser.ini"
    path.write_text("\n".join(lines) + "\n")
    return str(path)


@pytest.mark.parametrize("drop, value, words", [
    ("P2CamY", None, "P2CamY is missing"),
    ("P1DevX", "abc", "P1DevX=abc is not a number"),
    ("P1DevY", "65536", "P1DevY=65536 lies outside the device range 0..65535"),
])
def test_a_refused_file_raises_saying_why(tmp_path, drop, value, words):
    path = point_file(tmp_path, drop, value)
    with pytest.raises(korvan.KorvanError) as raised:
        korvan.Calibration.load(path)
    assert str(raised.value) == f"calibration file {path}: {words}"
    assert (raised.value.code, raised.value.operation) == (5, "load_calibration")


def test_a_decimal_comma_reads_as_a_point(tmp_path):
    table = korvan.Calibration.load(point_file(tmp_path, "P3DevX", "42,356"))
    assert table.points[3][1][0] == pytest.approx(42.356, abs=1e-4)


def test_a_missing_file_is_named_as_such(tmp_path, dev, laser):
    path = str(tmp_path / "gone.ini")
    expected = f"cannot read calibration file {path}: no such file"
    with pytest.raises(korvan.KorvanError) as raised:
        korvan.Calibration.load(path)
    assert str(raised.value) == expected
    before = dev.get_device_coordinates((1234.5, 4321.5), laser)
    with pytest.raises(korvan.KorvanError) as raised:
        dev.load_calibration(path, laser)
    assert str(raised.value) == expected
    with pytest.raises(korvan.KorvanError) as raised:
        dev.load_calibration(point_file(tmp_path, "P0CamX"), laser)
    assert "P0CamX is missing" in str(raised.value)
    assert dev.get_device_coordinates((1234.5, 4321.5), laser) == before
