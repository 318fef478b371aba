"""Python interface of the laser scanning device SDK.

Devices (list, identify, connect by port name or serial number), lasers and calibrations,
sequences (element objects or the command-line tool's sequence files), previews, TIFF/BigTIFF
image stacks as numpy arrays, and the virtual device for tests and notebooks. Result codes
other than success raise KorvanError, which carries `code` and `operation`.
"""
import os as _os
import tempfile as _tempfile

from ._korvan import *  # noqa: F401,F403
from ._korvan import KorvanError, LoadedSequence, __doc__ as _native_doc  # noqa: F401
from ._korvan import _schedule
from ._korvan import preview as _preview

del _native_doc


def _svg_of(draw):
    """The SVG `draw(path)` writes, or None when it cannot draw (Jupyter then shows the repr)."""
    with _tempfile.TemporaryDirectory() as folder:
        path = _os.path.join(folder, "preview.svg")
        try:
            draw(path)
        except (KorvanError, ValueError):
            return None
        with open(path, encoding="utf-8") as svg:
            return svg.read()


class ElementList(list):
    """A list of sequence elements that Jupyter shows as its preview (beam paths, as
    korvan.preview draws them). Everything that takes an element list takes it."""

    def __repr__(self):
        return "ElementList(" + list.__repr__(self) + ")"

    def _repr_svg_(self):
        """The preview as SVG text, None when the elements do not compile."""
        return _svg_of(lambda path: _preview(list(self), path))


def schedule(elements, gap=0, device=None, jump_targets=None):
    """Copies of `elements` with start ticks laid out as a sequence file lays them out: every
    element whose start_tick is 0 starts where the previous beam element or loop ends (`gap`
    ticks later); output elements (TTL, analog) run beside the beam and do not move the next
    start. Elements with a start_tick other than 0 keep it. Timings are those of `device` (its
    tick time and lasers), or of the default tick time without one. `jump_targets` maps the
    index of a jump in the list to the index of the element it goes back to; its target_tick
    is then that element's laid-out start. Returns an ElementList; raises KorvanError when a
    start or jump cannot be laid out."""
    return ElementList(_schedule(list(elements), gap, device, jump_targets))


def _loaded_svg(self):
    """The preview as SVG text, None when it cannot be drawn."""
    return _svg_of(self.preview)


LoadedSequence._repr_svg_ = _loaded_svg
