#pragma once
// What a calibration point may hold: the one rule that setting a point, copying a table and
// loading a file all apply.
#include <cfloat>
#include <cmath>

namespace korvan::detail {

constexpr double kDeviceMax = 65535.0;

/// A mirror position on one axis: 0..65535 (not a number fails too).
inline bool IsDeviceCoordinate(double v) { return v >= 0.0 && v <= kDeviceMax; }

/// A camera pixel on one axis: not negative and small enough to stay finite as a float.
inline bool IsCameraCoordinate(double v) { return v >= 0.0 && v <= FLT_MAX; }

}  // namespace korvan::detail
