#include <tessel/geometry/detail/hatch_geometry.h>

#include <tessel/geometry/detail/truncate.h>

#include <cmath>

namespace tessel::detail {

bool intersectSegments(Vector2f p1, Vector2f p2, Vector2f p3, Vector2f p4, Vector2f* out) {
    const double x1 = p1.x, y1 = p1.y, x2 = p2.x, y2 = p2.y;
    const double x3 = p3.x, y3 = p3.y, x4 = p4.x, y4 = p4.y;
    const double denom = (x1 - x2) * (y3 - y4) - (x3 - x4) * (y1 - y2);
    if (denom == 0.0) return false;
    const double d1 = x1 * y2 - y1 * x2;
    const double d2 = x3 * y4 - y3 * x4;
    const double px = ((x3 - x4) * d1 - (x1 - x2) * d2) / denom;
    const double py = ((y3 - y4) * d1 - (y1 - y2) * d2) / denom;
    for (const Vector2f* end : {&p1, &p2, &p3, &p4}) {
        if (px == end->x && py == end->y) {
            *out = *end;
            return true;
        }
    }
    // Non-finite vertices give NaN here; such a point must not reach the sort.
    if (std::isnan(px) || std::isnan(py)) return false;
    auto outside = [](double v, double a, double b) { return v < (a < b ? a : b) || v > (a < b ? b : a); };
    if (outside(px, x1, x2) || outside(px, x3, x4) || outside(py, y1, y2) || outside(py, y3, y4)) {
        return false;
    }
    *out = Vector2f(static_cast<float>(px), static_cast<float>(py));
    return true;
}

IntegerPolygon::IntegerPolygon(const std::vector<Vector2f>& polygon) {
    xs_.reserve(polygon.size());
    ys_.reserve(polygon.size());
    for (const Vector2f& v : polygon) {
        xs_.push_back(truncToInt(v.x));
        ys_.push_back(truncToInt(v.y));
    }
}

bool IntegerPolygon::contains(Vector2f q) const {
    const std::size_t count = xs_.size();
    if (count < 3) return false;
    const std::int32_t qy = truncToInt(q.y);
    std::int32_t prevX = xs_[count - 1];
    std::int32_t prevY = ys_[count - 1];
    bool inside = false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t curX = xs_[i];
        const std::int32_t curY = ys_[i];
        std::int32_t x1 = curX, y1 = curY, x2 = prevX, y2 = prevY;
        if (curX > prevX) {
            x1 = prevX;
            y1 = prevY;
            x2 = curX;
            y2 = curY;
        }
        if ((static_cast<float>(curX) < q.x) == (q.x <= static_cast<float>(prevX))) {
            const std::int32_t lhs = wrapMul(wrapSub(qy, y1), wrapSub(x2, x1));
            const std::int32_t rhs = wrapMul(truncToInt(q.x - static_cast<float>(x1)), wrapSub(y2, y1));
            if (lhs < rhs) inside = !inside;
        }
        prevX = curX;
        prevY = curY;
    }
    return inside;
}

}  // namespace tessel::detail
