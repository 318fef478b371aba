#pragma once
// How far one scan step reaches in camera space at a given camera point.
#include <korvan/calibration/calibration.h>
#include <korvan/export.h>
#include <tessel/geometry/vector2f.h>

namespace korvan::detail {

/// Camera-space length of one scan step at `cameraPoint`: the point is mapped to a device
/// position d (truncated), d and d + (scanStepSize, 0) are mapped back to camera points a and b
/// (each truncated), and the result is |a - b|, never below 1.0. A result that is not a number
/// (a degenerate calibration) also gives 1.0, so shapes never get a step of zero or NaN.
KORVAN_API float StepLengthAt(Vector2f cameraPoint, const Calibration& calibration);

}  // namespace korvan::detail
