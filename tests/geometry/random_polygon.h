#pragma once
// Seeded random simple polygons for property tests.
#include <tessel/geometry/vector2f.h>

#include <cstdint>
#include <vector>

namespace geometry_test {

// A star-shaped (hence simple) polygon around center with vertices at
// increasing angles and radii in [minRadius, maxRadius], rounded to whole
// units when integral is set.
std::vector<Vector2f> randomStarPolygon(std::uint32_t seed, int vertices, Vector2f center, float minRadius,
                                        float maxRadius, bool integral);

// Reference inside test in double (even-odd ray cast); boundary undefined.
bool referenceInside(const std::vector<Vector2f>& polygon, double x, double y);

// Distance from (x, y) to the nearest edge.
double distanceToBoundary(const std::vector<Vector2f>& polygon, double x, double y);

}  // namespace geometry_test
