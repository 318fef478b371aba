#pragma once
// Outline points of a circle given by three consecutive corners of its bounding square.
#include <korvan/export.h>
#include <tessel/geometry/rpointf.h>
#include <tessel/geometry/vector2f.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace korvan::detail {

/// Number of points CircleOutlinePoints gives for these corners and step length:
/// N = trunc(360 / theta) + 1 with theta = 360 / (2 r pi) * stepLength degrees. Empty when
/// theta is not a positive finite number or N does not fit a signed 32-bit integer, so a
/// caller can refuse a huge circle before any point is built.
KORVAN_API std::optional<std::uint64_t> CircleOutlineCount(const Vector2f corners[3], float stepLength);

/// Points of the circle inscribed in the square with consecutive corners c0, c1, c2:
/// radius max(1, |c0 - c1| / 2), centre c0 + (c1 - c0)/2 + (c2 - c1)/2, point i at angle
/// i * theta from the +x axis (theta as above, accumulated in double), so the first point lies at
/// angle 0 and the last at most at 360 degrees. Radius and centre are float; angles and the
/// points are double. Empty when CircleOutlineCount is empty.
KORVAN_API std::vector<RPOINTF> CircleOutlinePoints(const Vector2f corners[3], float stepLength);

}  // namespace korvan::detail
