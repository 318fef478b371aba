#pragma once
// The hatch lines of a filled polygon, in the serpentine order the beam draws them.
#include <korvan/calibration/calibration.h>
#include <korvan/export.h>
#include <tessel/geometry/line_segment.h>
#include <tessel/geometry/rpointf.h>

#include <vector>

namespace korvan::detail {

/// Hatch segments of the polygon in drawing order, in device coordinates, each drawn from its
/// `start` to its `end`. The vertices are mapped camera -> device over the calibration and
/// truncated toward zero, then cut by FragmentToLines with the scan step size as spacing.
/// Rows are taken in order; an even row (counting from 0) keeps its segments and their
/// direction (smaller x first), an odd row is reversed and each of its segments runs from its
/// larger-x end back, so the beam travels in a serpentine.
/// When no row results (no points, a polygon below one step, fewer than three vertices),
/// the result is empty and `*noRows` (if given) is set true, otherwise false.
KORVAN_API std::vector<LineSegment> HatchSerpentine(const RPOINTF* points, unsigned int count,
                                                    const Calibration& calibration, bool* noRows);

}  // namespace korvan::detail
