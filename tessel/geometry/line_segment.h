#pragma once
// A straight segment between two points; the rows of a hatch fill are made
// of these.
#include <tessel/export.h>
#include <tessel/geometry/vector2f.h>

class TESSEL_API LineSegment {
public:
    Vector2f start;
    Vector2f end;

    /// Both ends at (0, 0).
    LineSegment();
    LineSegment(Vector2f start, Vector2f end);
    LineSegment(const LineSegment& other) = default;
    LineSegment(LineSegment&& other) = default;
    LineSegment& operator=(const LineSegment& other) = default;
    LineSegment& operator=(LineSegment&& other) = default;

    /// start + (end - start) * 0.5.
    Vector2f Mid() const;
    /// The float length truncated toward zero: a segment shorter than 1 has length 0.
    int Length() const;
};
