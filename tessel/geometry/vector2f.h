#pragma once
// Two-component float vector with the algebra the sequence compiler uses.
// All arithmetic is single precision; the exact rounding steps matter,
// because compiled sequences depend on these numbers bit for bit.
// Angles are in degrees.
#include <tessel/export.h>
#include <tessel/geometry/pointf.h>
#include <tessel/geometry/rpointf.h>
#include <tessel/geometry/tag_point.h>

#include <string>

class TESSEL_API Vector2f {
public:
    float x;
    float y;

    /// (0, 0).
    Vector2f();
    Vector2f(float x, float y);
    Vector2f(const Vector2f& other) = default;
    Vector2f& operator=(const Vector2f& other) = default;
    Vector2f(pointf p);
    /// Each integer rounded to the nearest float.
    Vector2f(tagPOINT p);
    /// Each double rounded to the nearest float.
    Vector2f(RPOINTF p);

    /// Both components equal within fltEquals.
    bool operator==(Vector2f o) const;
    Vector2f operator+(Vector2f o) const;
    Vector2f operator-(Vector2f o) const;
    /// Adds s to both components.
    Vector2f operator+(float s) const;
    /// Subtracts s from both components.
    Vector2f operator-(float s) const;
    /// Dot product.
    float operator*(Vector2f o) const;
    Vector2f operator*(float s) const;
    /// A zero divisor is not guarded.
    Vector2f operator/(float s) const;

    /// (-x, -y); this vector is unchanged.
    Vector2f Negate() const;
    float Length() const;
    /// Scales this vector to length 1; a zero vector stays unchanged.
    void Normalize();
    /// "{x ; y}", each coordinate formatted by convertFloat.
    std::string ToString() const;

    /// Normalised copy of a; a zero vector gives (0, 0).
    static Vector2f Normalize(Vector2f a);
    /// (a*b)/|b|; |b| = 0 is not guarded.
    static float ScalarProjection(Vector2f a, Vector2f b);
    /// Projection of a onto b: b*((a*b)/|b|^2).
    static Vector2f VectorProjection(Vector2f a, Vector2f b);
    /// (-a.y, a.x).
    static Vector2f GetLeftPerp(Vector2f a);
    /// (a.y, -a.x).
    static Vector2f GetRightPerp(Vector2f a);
    static Vector2f GetLeftNormal(Vector2f a);
    static Vector2f GetRightNormal(Vector2f a);
    /// p rotated about center by angle degrees; positive turns +x toward +y.
    static Vector2f Rotate(float angle, Vector2f center, Vector2f p);
    /// Cross product of (b - a) and (p - a), truncated to an integer: positive
    /// when p lies on the side a->b turns toward when rotated from +x to +y,
    /// negative on the other side, 0 on the line or within one unit of area.
    static int Location(Vector2f a, Vector2f b, Vector2f p);
    /// True when p lies within 5.0 of the line through a and b and its foot
    /// falls on the segment a-b (ends included). a == b gives false.
    static bool IsPointNearbyLine(Vector2f p, Vector2f a, Vector2f b);
    /// |a - b| <= radius.
    static bool IsPointNearbyPoint(Vector2f a, Vector2f b, int radius);
    static float GetDistanceF(Vector2f a, Vector2f b);
    /// Signed a.x - b.x.
    static float GetXDistanceF(Vector2f a, Vector2f b);
    /// Signed a.y - b.y.
    static float GetYDistanceF(Vector2f a, Vector2f b);
    /// Signed angle from a to b in (-180, 180], positive when b lies turned
    /// from a toward +y. Collinear or zero vectors give 0 when their unit
    /// vectors are identical and 180 otherwise.
    static float Angle(Vector2f a, Vector2f b);
    /// Unsigned angle between a and b in [0, 180]; NaN for a zero vector.
    static float AngleEX(Vector2f a, Vector2f b);
    /// b mirrored across the vertical line through a.
    static Vector2f FlipH(Vector2f a, Vector2f b);
    /// b mirrored across the horizontal line through a.
    static Vector2f FlipV(Vector2f a, Vector2f b);
};
