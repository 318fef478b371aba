#pragma once
// The scan positions of a polygon outline (also ellipse outlines and fill paths).
#include <korvan/calibration/calibration.h>
#include <korvan/export.h>
#include <tessel/geometry/rpointf.h>
#include <tessel/geometry/vector2f.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace korvan::detail {

/// The points mapped camera -> device over the calibration, each coordinate truncated toward
/// zero; empty for null points.
std::vector<Vector2f> DeviceVertices(const RPOINTF* points, unsigned int count, const Calibration& calibration);

/// Number of positions PolygonOutlinePositions gives, found without building them. Empty when
/// an edge is too long (or not a number) for LinePositionCount to count.
KORVAN_API std::optional<std::uint64_t> PolygonOutlineCount(const RPOINTF* points, unsigned int count,
                                                            const Calibration& calibration);

/// Device positions along the open polyline points[0] .. points[count - 1]: every vertex is
/// mapped camera -> device over the calibration and truncated toward zero; each edge k -> k + 1
/// runs through LinePositions with the scan step size as step and is appended without its last
/// position when it has two or more (the next edge starts there). That also drops the last
/// edge's final position: the path ends on that edge's last full step (or on the vertex itself
/// when the edge length is a whole number of steps). No edge closes the polygon; repeat
/// points[0] at the end for a closed outline.
/// A single point gives its one mapped position, so a one-point outline dwells there like a
/// line shorter than a step. No points (or null) gives none; so does an edge too long to count.
/// Every position is built: check PolygonOutlineCount against the image limit first.
KORVAN_API std::vector<Vector2f> PolygonOutlinePositions(const RPOINTF* points, unsigned int count,
                                                         const Calibration& calibration);

}  // namespace korvan::detail
