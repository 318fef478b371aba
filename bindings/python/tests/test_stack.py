import struct

import numpy as np
import pytest

import korvan


def write_stack(path, images, descriptions, order="<", big=False):
    """A minimal multi-page TIFF (or BigTIFF) writer: one uncompressed strip per image."""
    sample_format = {"u": 1, "i": 2, "f": 3}[images[0].dtype.kind]
    word, count, offset = ("Q", "Q", "Q") if big else ("I", "H", "I")
    entry = order + ("HHQ8s" if big else "HHI4s")
    out = bytearray(b"II" if order == "<" else b"MM")
    out += struct.pack(order + "HHHQ", 43, 8, 0, 0) if big else struct.pack(order + "HI", 42, 0)
    link = 8 if big else 4  # where the offset of the next directory goes
    for image, text in zip(images, descriptions):
        height, width = image.shape
        data_at = len(out)
        out += image.astype(image.dtype.newbyteorder(order)).tobytes()
        text_at = len(out)
        out += text.encode() + b"\0"
        if len(out) % 2:
            out += b"\0"
        value = lambda fmt, v: struct.pack(order + fmt, v).ljust(8 if big else 4, b"\0")  # noqa: E731
        # Text short enough for the entry's own field lives there, else at its offset.
        ascii_field = lambda t, at: (t.encode() + b"\0").ljust(8 if big else 4, b"\0") \
            if len(t.encode()) < (8 if big else 4) else value(offset, at)  # noqa: E731
        tags = [(256, 4, 1, value("I", width)), (257, 4, 1, value("I", height)),
                (258, 3, 1, value("H", image.dtype.itemsize * 8)), (259, 3, 1, value("H", 1)),
                (262, 3, 1, value("H", 1)), (270, 2, len(text.encode()) + 1, ascii_field(text, text_at)),
                (273, 16 if big else 4, 1, value(word, data_at)), (277, 3, 1, value("H", 1)),
                (278, 4, 1, value("I", height)), (279, 16 if big else 4, 1, value(word, image.nbytes)),
                (339, 3, 1, value("H", sample_format))]
        struct.pack_into(order + offset, out, link, len(out))
        out += struct.pack(order + count, len(tags))
        for tag in tags:
            out += struct.pack(entry, *tag)
        link = len(out)
        out += struct.pack(order + offset, 0)
    path.write_bytes(bytes(out))


@pytest.mark.parametrize("dtype, order, big", [
    (np.uint16, "<", False), (np.uint16, ">", True), (np.uint8, ">", False),
    (np.int32, "<", True), (np.float32, ">", False), (np.float64, "<", True),
])
def test_stack_reads_into_an_array_of_the_file_type_and_shape(tmp_path, dtype, order, big):
    rng = np.random.default_rng(3)
    images = [(rng.random((5, 7)) * 200 - (0 if np.dtype(dtype).kind == "u" else 100)).astype(dtype)
              for _ in range(3)]
    path = tmp_path / "stack.tif"
    write_stack(path, images, ["first", "zweite Ebene \u00e4", "third"], order, big)
    with korvan.TiffStack(str(path)) as stack:
        assert stack.shape == (3, 5, 7) and stack.dtype == np.dtype(dtype)
        pixels = stack.read()
        assert stack.descriptions == ["first", "zweite Ebene \u00e4", "third"]
    np.testing.assert_array_equal(pixels, np.stack(images))
    assert pixels.flags.owndata and pixels.dtype.byteorder in "<=|"


def test_single_image_and_array_outlives_the_stack(tmp_path):
    image = np.arange(12, dtype=np.uint16).reshape(3, 4)
    write_stack(tmp_path / "one.tif", [image], ["only"])
    stack = korvan.TiffStack(str(tmp_path / "one.tif"))
    pixels = stack.read()
    stack.close()
    del stack
    np.testing.assert_array_equal(pixels, image)
    np.testing.assert_array_equal(korvan.read_stack(str(tmp_path / "one.tif")), image)


def test_unreadable_files_raise_with_the_reason(tmp_path):
    bad = tmp_path / "bad.tif"
    bad.write_bytes(b"not a tiff at all")
    with pytest.raises(ValueError, match="bad.tif"):
        korvan.TiffStack(str(bad))
    with pytest.raises(ValueError):
        korvan.TiffStack(str(tmp_path / "missing.tif"))
