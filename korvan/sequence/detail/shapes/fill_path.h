#pragma once
// One continuous path that fills an ellipse or circle with concentric rings.
#include <korvan/calibration/calibration.h>
#include <korvan/export.h>
#include <tessel/geometry/rpointf.h>
#include <tessel/geometry/vector2f.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace korvan::detail {

/// Number of points FillPathPoints gives at most (an ellipse ring can lose a point, see
/// EllipseOutlinePoints), found without building them. Empty when the ring count or a ring's
/// count is not finite or does not fit a signed 32-bit integer. Counting stops as soon as the
/// points so far exceed `stopAbove` and returns that partial number (a huge path would
/// otherwise cost one step-length evaluation per ring just to be refused).
KORVAN_API std::optional<std::uint64_t> FillPathCount(const Vector2f corners[3], bool circle,
                                                      const Calibration& calibration,
                                                      std::uint64_t stopAbove = UINT64_MAX);

/// The fill path of the ellipse (or, with `circle`, the circle) in the rectangle with
/// consecutive corners c0, c1, c2, in camera coordinates. With s the step length at c0 and S
/// the shorter side, R = trunc(S / 2s), plus 1 when (trunc(S) / 2) mod trunc(s) is not 0. The
/// path starts at the centre (circle) or with the centre segment along the major axis, taken
/// through LinePositions unmapped with the scan step size as step (ellipse); then rings
/// 1..R, each one s larger on every side, outlined by the circle or ellipse rules at the step
/// length at the ring's first corner. Finally the path runs back over its own points from the
/// second-to-last to the second, so it ends next to its start (N points become 2N - 2).
/// Empty when FillPathCount is empty.
KORVAN_API std::vector<RPOINTF> FillPathPoints(const Vector2f corners[3], bool circle, const Calibration& calibration);

}  // namespace korvan::detail
