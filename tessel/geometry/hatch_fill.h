#pragma once
// Hatch fill: cuts a polygon into parallel 45-degree lines.
#include <tessel/export.h>
#include <tessel/geometry/line_segment.h>
#include <tessel/geometry/vector2f.h>

#include <vector>

/// Fills the polygon (vertices in order, closed by the edge from the last
/// back to the first; not modified) with lines x + y = constant, spacing
/// apart along the x axis (spacing/sqrt(2) perpendicular), and returns the
/// parts of each line inside the polygon. One row per line that crosses the
/// interior, in scan order; each row holds at least one segment, each segment
/// runs from its end with the smaller x to its end with the larger x.
///
/// Never returns null. A polygon of fewer than three vertices, or a spacing
/// that is zero, negative, not a number, or too small to advance the scan
/// at the polygon's coordinates, gives an empty result.
/// The caller owns the result and releases it with Free.
TESSEL_API std::vector<std::vector<LineSegment>>* FragmentToLines(const std::vector<Vector2f>& polygon, float spacing);

/// Releases a result of FragmentToLines and sets the pointer to null; a null
/// pointer is accepted.
TESSEL_API void Free(std::vector<std::vector<LineSegment>>*& rows);
