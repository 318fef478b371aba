#include <tessel/geometry/hatch_fill.h>

#include <tessel/geometry/detail/bounding_box.h>
#include <tessel/geometry/detail/hatch_geometry.h>

#include <algorithm>
#include <cmath>

namespace {

using Rows = std::vector<std::vector<LineSegment>>;
using tessel::detail::IntegerPolygon;

// Drops points until every pair (0,1), (2,3), ... is a real piece of the
// interior: its midpoint inside and its length at least one unit. This
// removes the doubled point where a line passes through a vertex, tangent
// touches and slivers. Removing the first point of a failing pair shifts
// only the points after it, so the pairs before it need no second look.
void keepInteriorPairs(std::vector<Vector2f>& points, const IntegerPolygon& inside) {
    std::size_t i = 0;
    while (i + 1 < points.size()) {
        const Vector2f u = points[i];
        const Vector2f v = points[i + 1];
        const Vector2f mid = u + (v - u) * 0.5f;
        if (!inside.contains(mid) || LineSegment(u, v).Length() == 0) {
            points.erase(points.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            i += 2;
        }
    }
}

// Advances one walking coordinate; false when the spacing is lost in float
// rounding at this magnitude, which would never let the walk end.
bool step(float& coordinate, float spacing) {
    const float next = coordinate + spacing;
    if (next == coordinate) return false;
    coordinate = next;
    return true;
}

}  // namespace

Rows* FragmentToLines(const std::vector<Vector2f>& polygon, float spacing) {
    auto* rows = new Rows();
    // Fewer than three vertices enclose nothing: every midpoint test fails.
    if (polygon.size() < 3 || !(spacing > 0.0f)) return rows;

    const rectanglef box = tessel::detail::boundingBox(polygon.data(), polygon.size());
    const float s = spacing;
    const float xEnd = (box.width + 2 * s) + (box.x - s);
    const float yEnd = 2 * s + box.height + (box.y - s);

    const IntegerPolygon inside(polygon);
    const std::size_t count = polygon.size();
    // x + y of every vertex: an edge whose ends both lie well clear of the
    // current line on one side cannot meet it, and the exact intersection
    // (which would reject it too) is skipped. P and Q accumulate their own
    // rounding, so "the line" is the band between their two sums.
    std::vector<double> diagonal(count);
    for (std::size_t i = 0; i < count; ++i) diagonal[i] = static_cast<double>(polygon[i].x) + polygon[i].y;
    std::vector<Vector2f> points;
    // P walks up the side x = bx and then along the far y side, Q along the
    // side y = by and then up the far x side; both stay on one line x + y = c.
    Vector2f p(box.x, box.y);
    Vector2f q(box.x, box.y);
    while (p.y < yEnd || p.x < xEnd || q.y < yEnd || q.x < xEnd) {
        points.clear();
        const double lineP = static_cast<double>(p.x) + p.y;
        const double lineQ = static_cast<double>(q.x) + q.y;
        const double margin = 1.0 + std::max(std::fabs(lineP), std::fabs(lineQ)) * 1e-6;
        const double low = std::min(lineP, lineQ) - margin;
        const double high = std::max(lineP, lineQ) + margin;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t j = i + 1 == count ? 0 : i + 1;
            if ((diagonal[i] > high && diagonal[j] > high) || (diagonal[i] < low && diagonal[j] < low)) continue;
            Vector2f hit;
            if (tessel::detail::intersectSegments(p, q, polygon[i], polygon[j], &hit)) points.push_back(hit);
        }
        std::sort(points.begin(), points.end(), [](const Vector2f& a, const Vector2f& b) { return a.x < b.x; });
        keepInteriorPairs(points, inside);
        if (points.size() >= 2) {
            std::vector<LineSegment>& row = rows->emplace_back();
            row.reserve(points.size() / 2);
            for (std::size_t i = 0; i + 1 < points.size(); i += 2) row.emplace_back(points[i], points[i + 1]);
        }
        const bool advanced = (p.y < yEnd ? step(p.y, s) : step(p.x, s)) && (q.x < xEnd ? step(q.x, s) : step(q.y, s));
        if (!advanced) {
            rows->clear();
            break;
        }
    }
    return rows;
}

void Free(Rows*& rows) {
    delete rows;
    rows = nullptr;
}
