#pragma once
// Umbrella header: the whole public interface of tessel.
#include <tessel/export.h>
#include <tessel/version.h>

// Serial ports
#include <tessel/serial/communicator.h>
#include <tessel/serial/rs232.h>
#include <tessel/serial/receive_buffer.h>
#include <tessel/serial/rs232_async.h>
#include <tessel/serial/serial_types.h>

// Bootloader protocol, CRC and firmware update
#include <tessel/bootloader/ascii_bootloader.h>
#include <tessel/bootloader/ascii_protocol.h>
#include <tessel/bootloader/bootloader.h>
#include <tessel/bootloader/crc_ccitt.h>

// Geometry and the camera-device mapping
#include <tessel/geometry/bounding_box.h>
#include <tessel/geometry/calibration_point.h>
#include <tessel/geometry/coordinate_transformation.h>
#include <tessel/geometry/float_compare.h>
#include <tessel/geometry/hatch_fill.h>
#include <tessel/geometry/line_segment.h>
#include <tessel/geometry/point_in_polygon.h>
#include <tessel/geometry/pointf.h>
#include <tessel/geometry/rectangle.h>
#include <tessel/geometry/rpointf.h>
#include <tessel/geometry/spread_polygon.h>
#include <tessel/geometry/tag_point.h>
#include <tessel/geometry/tag_rect.h>
#include <tessel/geometry/vector2f.h>

// INI store, conversions, progress display
#include <tessel/config/conversions.h>
#include <tessel/config/ini_file.h>
#include <tessel/config/progress_bar.h>

// TIFF and BigTIFF image stacks
#include <tessel/tiff/big_tiff_reader.h>
#include <tessel/tiff/tiff_stack_reader.h>
