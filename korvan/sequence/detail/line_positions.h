#pragma once
// The positions a line is scanned through: one scan step apart from `start` along the line.
// Shared by lines, polygon outlines and the fill path of ellipses.
#include <tessel/geometry/vector2f.h>

#include <cstdint>
#include <vector>

namespace korvan::detail {

/// With n = |end - start| / step truncated: one position (`start`) when n is below 1, else
/// n + 2 positions, position k at start + direction * (k * step). The last of them would lie up
/// to one step beyond `end`; it is placed on `end` exactly, so a line never overshoots.
/// A step of 0 gives the single position `start`.
std::vector<Vector2f> LinePositions(Vector2f start, Vector2f end, float step);

}  // namespace korvan::detail

namespace korvan::detail {

/// The number of positions LinePositions gives, without making them; 0 when the line is too
/// long to count in 32 bits (the caller rejects it).
std::uint64_t LinePositionCount(Vector2f start, Vector2f end, float step);

}  // namespace korvan::detail
