"""Python interface of the laser scanning device SDK.

Devices (list, identify, connect by port name or serial number), lasers and calibrations,
sequences (element objects or the command-line tool's sequence files), previews, TIFF/BigTIFF
image stacks as numpy arrays, and the virtual device for tests and notebooks. Result codes
other than success raise KorvanError, which carries `code` and `operation`.
"""
from ._korvan import *  # noqa: F401,F403
from ._korvan import KorvanError, __doc__ as _native_doc  # noqa: F401

del _native_doc
