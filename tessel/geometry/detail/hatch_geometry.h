#pragma once
// Primitives of the hatch fill.
#include <tessel/geometry/vector2f.h>

#include <cstdint>
#include <vector>

namespace tessel::detail {

// Intersection of segment p1-p2 with segment p3-p4, computed in double. An
// intersection that lands exactly on an endpoint yields that endpoint
// unchanged. False for parallel, collinear or zero-length segments.
bool intersectSegments(Vector2f p1, Vector2f p2, Vector2f p3, Vector2f p4, Vector2f* out);

// Crossing-number test on the polygon's vertices truncated to integers; the
// hatch fill asks it whether the midpoint of a candidate piece is inside.
class IntegerPolygon {
public:
    explicit IntegerPolygon(const std::vector<Vector2f>& polygon);
    bool contains(Vector2f q) const;

private:
    std::vector<std::int32_t> xs_;
    std::vector<std::int32_t> ys_;
};

}  // namespace tessel::detail
