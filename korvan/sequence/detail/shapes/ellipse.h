#pragma once
// Outline points of an ellipse given by three consecutive corners of its bounding rectangle,
// built from two pencils of lines through the ends of its major axis.
#include <korvan/export.h>
#include <tessel/geometry/rpointf.h>
#include <tessel/geometry/vector2f.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace korvan::detail {

/// Number of points EllipseOutlinePoints gives at most: n + 2h with n = trunc(2 S / stepLength)
/// (S the short side) and h = n / 2, or 0 when n or h is 0. Empty when 2 S / stepLength is not
/// finite or n does not fit a signed 32-bit integer.
KORVAN_API std::optional<std::uint64_t> EllipseOutlineCount(const Vector2f corners[3], float stepLength);

/// Points of the ellipse inscribed in the rectangle with consecutive corners c0, c1, c2. The
/// corners are relabelled K0..K3 so that K0K1 is a long side; list A runs along the sides of
/// the rectangle twice as wide as the short side, seen from P (midpoint of K3K0), list B the
/// same from Q (midpoint of K1K2), and point i is where line P-A[i] meets line Q-B[h + i]
/// (wrapping), solved in double by Cramer's rule. The outline starts at P for even n, runs
/// over the K0K1 half to Q and back, and ends one point short of its start.
/// Empty when n or h is 0. Only a degenerate input can make two of the lines parallel; such a
/// pair gives no point, so the list is then shorter than EllipseOutlineCount.
KORVAN_API std::vector<RPOINTF> EllipseOutlinePoints(const Vector2f corners[3], float stepLength);

}  // namespace korvan::detail
