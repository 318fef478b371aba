#include <tessel/geometry/point_in_polygon.h>

#include <tessel/geometry/detail/point_in_polygon.h>
#include <tessel/geometry/detail/truncate.h>

namespace tessel::detail {

// Counts crossings to the right (R) and to the left (L) of q. A point on an
// edge is counted on one side only, which makes the parities differ.
bool pointInPolygon(pointf q, const pointf* v, std::size_t count) {
    if (count < 2) return false;
    unsigned right = 0;
    unsigned left = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t j = (i + 1 == count) ? 0 : i + 1;
        const float xi = v[i].x, yi = v[i].y, xj = v[j].x, yj = v[j].y;
        if (xi == q.x && yi == q.y) return true;
        const float n = (xi - q.x) * (yj - q.y) - (yi - q.y) * (xj - q.x);
        // Not yj - yi: this is the established formula, and it has the sign of
        // yj - yi on every edge that straddles q.y.
        const float d = (yj - q.y) - (yi - yj);
        if ((yi > q.y) != (yj > q.y)) {
            if ((truncToInt(n) > 0) == (truncToInt(d) >= 0)) ++right;
        }
        if ((yi < q.y) != (yj < q.y)) {
            if ((truncToInt(n) < 0) == (truncToInt(d) <= 0)) ++left;
        }
    }
    if ((right % 2) != (left % 2)) return true;
    return (right % 2) == 1;
}

}  // namespace tessel::detail

bool IsPointInPolygon(pointf point, std::vector<pointf> polygon) {
    // An empty polygon used to throw out_of_range; it simply contains nothing.
    return tessel::detail::pointInPolygon(point, polygon.data(), polygon.size());
}
