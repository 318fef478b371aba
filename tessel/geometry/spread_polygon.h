#pragma once
// Covers the area of a polygon with axis-aligned rectangles.
#include <tessel/export.h>
#include <tessel/geometry/pointf.h>
#include <tessel/geometry/rectangle.h>

#include <vector>

/// Splits area into quadrants, recursively, and appends to *out every
/// quadrant that the polygon covers and whose sides are below 240; quadrants
/// with a side of 3 or less are dropped. A quadrant counts as covered when
/// its four corners are inside and at most tolerance percent of a sample
/// grid (about one sample per 3 units) misses, with no miss allowed when the
/// grid has fewer than 100 samples. Neighbours of equal extent are then merged
/// while the union stays below 255 on each side; the merge also takes in
/// rectangles that *out held before the call.
///
/// Works with four threads, one per quadrant of area, and returns when all
/// have ended. Nothing happens when out is null or area is not finite or has
/// a side of 3 or less. The caller must not touch *out during the call.
TESSEL_API void BeginSpreadPolygon(std::vector<pointf> polygon, std::vector<rectanglef>* out, rectanglef area,
                                   int tolerance);
