#include <tessel/geometry/line_segment.h>

#include <tessel/geometry/detail/truncate.h>

#include <cmath>

LineSegment::LineSegment() = default;
LineSegment::LineSegment(Vector2f start_, Vector2f end_) : start(start_), end(end_) {}

Vector2f LineSegment::Mid() const { return start + (end - start) * 0.5f; }

int LineSegment::Length() const {
    const float dx = end.x - start.x;
    const float dy = end.y - start.y;
    return tessel::detail::truncToInt(std::sqrt(dx * dx + dy * dy));
}
