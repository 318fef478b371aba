#pragma once
// Integer-truncated bounding box of a point list.
#include <tessel/export.h>
#include <tessel/geometry/pointf.h>
#include <tessel/geometry/rectangle.h>
#include <tessel/geometry/vector2f.h>

#include <vector>

/// The box (minX, minY, maxX - minX, maxY - minY) with every extreme truncated
/// toward zero to an integer, so a point with a negative fractional coordinate
/// may lie outside the box by less than one unit. An empty list gives (0, 0, 1, 1).
TESSEL_API rectanglef GetBoundingBox(std::vector<Vector2f> points);
TESSEL_API rectanglef GetBoundingBox(std::vector<pointf> points);
