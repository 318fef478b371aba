"""Type hints of the korvan module (the extension korvan._korvan, re-exported here)."""
from __future__ import annotations

import enum
import os
from typing import Callable, Iterable, Literal, Optional, Sequence, Union

import numpy as np
import numpy.typing as npt

Point = tuple[float, float]
Progress = Optional[Callable[[int, int], Optional[bool]]]
Elements = Union[Iterable["SequenceObject"], "LoadedSequence"]
PathLike = Union[str, os.PathLike[str]]

library_version: str
RESULT_SUCCESS: int
RESULT_COMMUNICATION_ERROR: int
RESULT_INVALID_ARGUMENT: int
RESULT_MEMORY_TOO_SMALL: int
RESULT_SEQUENCE_INVALID: int
RESULT_NOT_POSSIBLE_NOW: int

def result_text(code: int) -> str: ...

class KorvanError(RuntimeError):
    """A result code other than success; `pointer` is set for faults in sequence files."""
    code: int
    code_name: str
    failure: Optional[str]
    operation: str
    pointer: str

class KorvanFileNotFoundError(FileNotFoundError, KorvanError):
    """A file an operation needs does not exist (errno ENOENT, `filename` set)."""

class OutputPorts(enum.IntEnum):
    NoOutput = 0
    LaserOutput1 = 2
    LaserOutput2 = 3
    LaserOutput3 = 4
    LaserOutput4 = 5
    TTLOutput1 = 6
    TTLOutput2 = 7
    MirrorY = 254
    MirrorX = 255

class InputPorts(enum.IntEnum):
    Input0 = 0
    Input1 = 1
    Input2 = 2
    Input3 = 3
    NoInput = 255

class TriggerBehaviour(enum.IntEnum):
    Trigger1 = 1
    Trigger2 = 2

class State(enum.IntEnum):
    Idle = 0
    Calibrating = 1
    Running = 2
    NotReady = 3
    NotConnected = 4
    Defragmenting = 5
    ActiveA = 7
    ActiveB = 8
    WaitingForUser = 9
    ActiveC = 10

class ScanMode(enum.IntEnum):
    ScanModeDefault = 0
    ScanModeShort = 1

class TimelineEvent(enum.IntEnum):
    RunStart = 0
    RunEnd = 1
    ListEnd = 2
    Stop = 3
    MirrorX = 4
    MirrorY = 5
    Line = 6
    Pulse = 7
    Analog = 8
    WaitInput = 9
    WaitUser = 10
    WaitReleased = 11
    Jump = 12

def is_sequence_active(state: State) -> bool: ...

# ---- Devices ------------------------------------------------------------------------------

class DeviceInfo:
    port_name: str
    serial_number: str
    description: str
    revision: int
    bootloader_version: int
    firmware_version: int
    device_type: int
    device_sub_type: int

def list_ports() -> list[str]:
    """The serial port names enumeration lists (TESSEL_EXTRA_PORTS, TESSEL_NO_HARDWARE_PORTS apply)."""
def search() -> list[DeviceInfo]:
    """Asks every listed port for a device of this kind; their identities."""
def update_firmware(port: str, image: bytes, parameter: int = 0, progress: Progress = None,
                    timeout_ms: int = 1000) -> None:
    """Writes a raw firmware image through the bootloader (interpreter lock released)."""

class Device:
    """Handle on one device; a context manager that ends a calibration run and disconnects."""
    def __init__(self, target: Optional[str] = None, *, keep_baud_rate: bool = False) -> None: ...
    def connect(self, target: str) -> None: ...
    def disconnect(self) -> None: ...
    def __enter__(self) -> Device: ...
    def __exit__(self, *args: object) -> bool: ...
    @property
    def info(self) -> DeviceInfo: ...
    @property
    def state(self) -> State: ...
    def get_state(self) -> tuple[State, int, int]: ...
    @property
    def last_device_error(self) -> int: ...
    def clear_last_device_error(self) -> None: ...
    def acknowledge_wait_for_user(self) -> None: ...
    def stop(self) -> None: ...
    def delete_all_sequences(self) -> None: ...
    def set_output_default(self, port: OutputPorts, level: int) -> None: ...
    def get_output_default(self, port: OutputPorts) -> int: ...
    def set_tick_time(self, microseconds: int) -> None: ...
    def set_scan_mode(self, mode: ScanMode) -> None: ...
    def move_absolute(self, x: int, y: int) -> None: ...
    def move_relative(self, dx: int, dy: int) -> None: ...
    @property
    def actual_position(self) -> tuple[int, int]: ...
    def stored_sequences(self) -> list[tuple[int, int]]: ...
    def available_memory(self) -> tuple[int, int]: ...
    def delete_sequence(self, sequence_number: int) -> None: ...
    user_data: bytes
    def add_laser(self, port: OutputPorts, *, switch_on_delay: int = 0, switch_off_delay: int = 0,
                  intensity_delay: int = 0, min_intensity: int = 0, max_intensity: int = 10000,
                  pulse_frequency: int = 0, active_level: Literal[0, 1] = 1, warm_up_time: int = 0) -> int: ...
    def remove_laser(self, laser_id: int) -> None: ...
    def get_laser(self, laser_id: int) -> LaserDefinition: ...
    def get_port_for_laser(self, laser_id: int) -> OutputPorts: ...
    def set_port_for_laser(self, laser_id: int, port: OutputPorts) -> None: ...
    def get_laser_step_size(self, laser_id: int) -> int: ...
    def set_laser_step_size(self, laser_id: int, step_size: int) -> None: ...
    def set_laser_on_off(self, laser_id: int, on: bool) -> None: ...
    def set_laser_intensity(self, laser_id: int, intensity: int) -> None: ...
    def start_calibration(self, point_count: int, laser_id: int) -> None: ...
    def set_calibration_intensity(self, intensity: int) -> None: ...
    def set_calibration_point(self, index: int, camera: Point, device: Optional[Point] = None) -> None: ...
    def reset_calibration(self, laser_id: int) -> None: ...
    def get_device_coordinates(self, camera: Point, laser_id: int) -> Point: ...
    def load_calibration(self, path: PathLike, laser_id: int) -> None: ...
    def save_calibration(self, path: PathLike, laser_id: int) -> None: ...
    # Sequences
    def upload(self, elements: Elements, progress: Progress = None) -> int: ...
    def calc_memory_usage(self, elements: Elements) -> int: ...
    def get_timing(self, element: SequenceObject) -> tuple[int, int]: ...
    def analyze(self, elements: Elements) -> SequenceAnalysis: ...
    def start_sequence(self, sequence_number: int, input: InputPorts = ..., trigger: TriggerBehaviour = ...,
                       runs: int = 1) -> None: ...
    def wait(self, timeout: Optional[float] = None, poll_interval: float = 0.02) -> bool: ...
    def run(self, elements: Elements, runs: int = 1, progress: Progress = None,
            timeout: Optional[float] = None) -> int: ...
    def load_sequence_file(self, path: PathLike) -> LoadedSequence: ...

class LaserDefinition:
    id: int
    port: OutputPorts
    switch_on_delay: int
    switch_off_delay: int
    intensity_delay: int
    min_intensity: int
    max_intensity: int
    intensity: int
    pulse_frequency: int
    warm_up_time: int
    active_level: int
    intensity_controlled: bool
    step_size: int
    calibration: Calibration

# ---- Calibration --------------------------------------------------------------------------

class CalibrationPointQuality:
    leave_one_out_device: float
    leave_one_out_pixels: float
    affine_deviation: float
    in_folded_cell: bool

class CalibrationQuality:
    result: int
    point_count: int
    grid_size: int
    grid_spacing: float
    grid_spacing_pixels: float
    leave_one_out_mean: float
    leave_one_out_max: float
    leave_one_out_mean_pixels: float
    leave_one_out_max_pixels: float
    worst_point: int
    scale_x: float
    scale_y: float
    rotation_degrees: float
    skew_degrees: float
    mirrored: bool
    affine_max_deviation: float
    affine_max_deviation_pixels: float
    affine_worst_point: int
    folded_cells: list[int]
    points: list[CalibrationPointQuality]
    def looks_sound(self) -> bool: ...

class Calibration:
    scan_step_size: int
    point_count: int
    def __init__(self, point_count: int = 16) -> None: ...
    @staticmethod
    def load(path: PathLike) -> Calibration: ...
    def save(self, path: PathLike) -> None: ...
    def init(self, point_count: int) -> None: ...
    def set_calibration_point(self, index: int, camera: Point, device: Point) -> None: ...
    @property
    def points(self) -> list[tuple[Point, Point]]: ...
    def device_coordinates(self, camera: Point) -> Point: ...
    def camera_coordinates(self, device: Point) -> Point: ...
    def assess(self) -> CalibrationQuality: ...

# ---- Sequences ----------------------------------------------------------------------------

class SequenceObject:
    start_tick: int
    repeat_count: int
    laser_ids: list[int]
    intensities: list[int]
    @property
    def is_illumination(self) -> bool: ...
    def copy(self) -> SequenceObject: ...

class SequencePoint(SequenceObject):
    position: Point
    use_calibration: bool
    switch_laser_on: bool
    set_intensity: bool
    switch_laser_off: bool
    wait_for_mirror: bool
    stamps: list[tuple[int, int]]
    def __init__(self, x: float, y: float, stamps: Optional[Sequence[tuple[int, int]]] = None, *,
                 use_calibration: bool = ..., switch_laser_on: bool = ..., set_intensity: bool = ...,
                 switch_laser_off: bool = ..., wait_for_mirror: bool = ..., start_tick: int = 0,
                 repeat_count: int = 0, laser_ids: Sequence[int] = ..., intensities: Sequence[int] = ...) -> None: ...

class SequenceLine(SequenceObject):
    start: Point
    end: Point
    def __init__(self, start: Point, end: Point, *, start_tick: int = 0, repeat_count: int = 0,
                 laser_ids: Sequence[int] = ..., intensities: Sequence[int] = ...) -> None: ...

class SequenceEllipse(SequenceObject):
    fill: bool
    fill_path: bool
    @property
    def corners(self) -> tuple[Point, Point, Point]: ...
    def __init__(self, x: float, y: float, width: float, height: float, fill: bool = False,
                 fill_path: bool = False, *, start_tick: int = 0, repeat_count: int = 0,
                 laser_ids: Sequence[int] = ..., intensities: Sequence[int] = ...) -> None: ...
    @staticmethod
    def from_corners(corners: Sequence[Point], fill: bool = False, **kwargs: object) -> SequenceEllipse: ...

class SequencePolygon(SequenceObject):
    fill: bool
    points: npt.NDArray[np.float64]
    def __init__(self, points: Union[Sequence[Point], npt.ArrayLike], fill: bool = False, *, start_tick: int = 0,
                 repeat_count: int = 0, laser_ids: Sequence[int] = ..., intensities: Sequence[int] = ...) -> None: ...

class SequenceJump(SequenceObject):
    target_tick: int
    counter: int
    def __init__(self, target_tick: int, repeat_count: int, counter: int = 2, *, start_tick: int = 0) -> None: ...

class SequenceWaitTTL(SequenceObject):
    port: InputPorts
    trigger: TriggerBehaviour
    def __init__(self, port: InputPorts, trigger: TriggerBehaviour = ..., *, start_tick: int = 0) -> None: ...

class SequenceWaitUser(SequenceObject):
    value: int
    def __init__(self, value: int = 0, *, start_tick: int = 0) -> None: ...

class SequenceSetTTL(SequenceObject):
    port: OutputPorts
    value: int
    def __init__(self, port: OutputPorts, value: int, *, start_tick: int = 0) -> None: ...

class SequencePulseTTL(SequenceObject):
    port: OutputPorts
    def __init__(self, port: OutputPorts, *, start_tick: int = 0) -> None: ...

class SequenceSetAnalog(SequenceObject):
    port: OutputPorts
    value: int
    def __init__(self, port: OutputPorts, value: int, *, start_tick: int = 0) -> None: ...

class SequenceElementTiming:
    start_tick: int
    duration: int
    illumination: int

class SequenceAnalysis:
    result: int
    failed_element: int
    reason: str
    elements: list[SequenceElementTiming]
    image: bytes
    memory_usage: int
    main_list_length: int
    clamped_positions: list[dict[str, object]]
    tick_time: int
    ok: bool

class LoadedSequence:
    def _repr_svg_(self) -> Optional[str]: ...
    path: str
    description: str
    tick_time: int
    laser_ids: dict[str, int]
    elements: list[SequenceObject]
    pointers: list[str]
    analysis: SequenceAnalysis
    end_tick: int
    def preview(self, svg: PathLike, png: PathLike = "") -> dict[str, object]: ...

def analyze_sequence(elements: Elements) -> SequenceAnalysis: ...
def check_sequence_file(path: PathLike) -> SequenceAnalysis: ...
def preview(source: Union[PathLike, Elements], svg: PathLike, png: PathLike = "") -> dict[str, object]:
    """Draws a sequence file or element list; returns end_us, lit_us, stays, moves, truncated."""

# ---- Image stacks -------------------------------------------------------------------------

class TiffStack:
    def __init__(self, path: PathLike) -> None: ...
    def __enter__(self) -> TiffStack: ...
    def __exit__(self, *args: object) -> bool: ...
    def close(self) -> None: ...
    @property
    def shape(self) -> tuple[int, ...]: ...
    @property
    def dtype(self) -> np.dtype: ...
    @property
    def image_count(self) -> int: ...
    def read(self) -> np.ndarray: ...
    def description(self, index: int) -> Optional[str]: ...
    @property
    def descriptions(self) -> list[Optional[str]]: ...
    @property
    def metadata(self) -> Optional[str]: ...

def read_stack(path: PathLike) -> np.ndarray: ...
def tiff_reader_version() -> str: ...

# ---- The virtual device -------------------------------------------------------------------

class TimelineRecord:
    time_us: int
    event: TimelineEvent
    event_name: str
    list: str
    channel: int
    value: int

class VirtualCamera:
    def look(self) -> Optional[Point]: ...
    def set_active_level(self, laser_output: int, level: int) -> None: ...
    def device_to_camera(self, x: float, y: float) -> Point: ...
    def camera_to_device(self, x: float, y: float) -> Point: ...

class VirtualDevice:
    def __init__(self, *, serial_number: str = "123-4567", firmware_version: int = 16, time_scale: float = 0.0,
                 timeline_capacity: int = 1048576, timeline_path: PathLike = "", discoverable: bool = True) -> None: ...
    def __enter__(self) -> VirtualDevice: ...
    def __exit__(self, *args: object) -> bool: ...
    def stop(self) -> None: ...
    @property
    def port_name(self) -> str: ...
    def set_input(self, port: int, high: bool) -> None: ...
    def timeline(self) -> list[TimelineRecord]: ...
    def timeline_array(self) -> np.ndarray: ...
    @property
    def timeline_dropped(self) -> int: ...
    def clear_timeline(self) -> None: ...
    def wait_until_idle(self, timeout: float = 5.0) -> bool: ...
    @property
    def sequence_active(self) -> bool: ...
    def camera(self, *, scale_x: float = 0.0125, scale_y: float = 0.0125, rotation_degrees: float = 3.0,
               center_x: float = 640.0, center_y: float = 512.0, distortion: float = 0.005,
               noise_pixels: float = 0.0, seed: int = 1) -> VirtualCamera: ...

# Start ticks laid out, elements from numpy arrays, notebook previews.
class ElementList(list[SequenceObject]):
    def _repr_svg_(self) -> Optional[str]: ...

def schedule(elements: Iterable[SequenceObject], gap: int = 0, device: Optional[Device] = None,
             jump_targets: Optional[dict[int, int]] = None) -> ElementList: ...
def points(array: npt.ArrayLike, *, laser: Union[int, Sequence[int], None] = None,
           intensity: Union[int, Sequence[int]] = 10000, repeat_count: int = 0,
           use_calibration: bool = True) -> list[SequencePoint]: ...
def polygon(array: npt.ArrayLike, fill: bool = False, *, laser: Union[int, Sequence[int], None] = None,
            intensity: Union[int, Sequence[int]] = 10000, repeat_count: int = 0) -> SequencePolygon: ...
