#pragma once
// Single precision point with a little arithmetic; used by the polygon
// tests (IsPointInPolygon, BeginSpreadPolygon).
#include <tessel/export.h>

class TESSEL_API pointf {
public:
    float x;
    float y;

    /// (0, 0).
    pointf();
    pointf(float x, float y);

    /// Both coordinates equal within fltEquals.
    bool operator==(pointf o) const;
    pointf operator+(pointf o) const;
    pointf operator-(pointf o) const;
    pointf operator*(float s) const;
    /// Dot product.
    float operator*(pointf o) const;
    /// A zero divisor is not guarded (gives infinities or NaN).
    pointf operator/(float s) const;

    /// Euclidean distance to o.
    float Distancef(pointf o) const;
    /// Signed x - o.x.
    float XDistance(pointf o) const;
    /// Signed y - o.y.
    float YDistance(pointf o) const;
};
