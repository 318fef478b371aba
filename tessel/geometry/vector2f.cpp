#include <tessel/geometry/vector2f.h>

#include <tessel/config/conversions.h>
#include <tessel/geometry/detail/truncate.h>
#include <tessel/geometry/float_compare.h>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 6.283185307179586;

// Radians to degrees the way the angle functions have always done it:
// multiplied by 360 in float, divided by 2*pi in double.
float toDegrees(float radians) { return static_cast<float>(static_cast<double>(radians * 360.0f) / kTwoPi); }

}  // namespace

Vector2f::Vector2f() : x(0.0f), y(0.0f) {}
Vector2f::Vector2f(float x_, float y_) : x(x_), y(y_) {}
Vector2f::Vector2f(pointf p) : x(p.x), y(p.y) {}
Vector2f::Vector2f(tagPOINT p) : x(static_cast<float>(p.x)), y(static_cast<float>(p.y)) {}
Vector2f::Vector2f(RPOINTF p) : x(static_cast<float>(p.x)), y(static_cast<float>(p.y)) {}

bool Vector2f::operator==(Vector2f o) const { return fltEquals(x, o.x) && fltEquals(y, o.y); }
Vector2f Vector2f::operator+(Vector2f o) const { return Vector2f(x + o.x, y + o.y); }
Vector2f Vector2f::operator-(Vector2f o) const { return Vector2f(x - o.x, y - o.y); }
Vector2f Vector2f::operator+(float s) const { return Vector2f(x + s, y + s); }
Vector2f Vector2f::operator-(float s) const { return Vector2f(x - s, y - s); }
float Vector2f::operator*(Vector2f o) const { return x * o.x + y * o.y; }
Vector2f Vector2f::operator*(float s) const { return Vector2f(x * s, y * s); }
Vector2f Vector2f::operator/(float s) const { return Vector2f(x / s, y / s); }

Vector2f Vector2f::Negate() const { return Vector2f(-x, -y); }

float Vector2f::Length() const { return std::sqrt(x * x + y * y); }

void Vector2f::Normalize() {
    const float length = Length();
    if (length == 0.0f) return;
    x /= length;
    y /= length;
}

std::string Vector2f::ToString() const { return "{" + convertFloat(x) + " ; " + convertFloat(y) + "}"; }

Vector2f Vector2f::Normalize(Vector2f a) {
    a.Normalize();
    return a;
}

float Vector2f::ScalarProjection(Vector2f a, Vector2f b) { return (a * b) / b.Length(); }

Vector2f Vector2f::VectorProjection(Vector2f a, Vector2f b) {
    const float length = b.Length();
    return b * ((a * b) / (length * length));
}

Vector2f Vector2f::GetLeftPerp(Vector2f a) { return Vector2f(-a.y, a.x); }
Vector2f Vector2f::GetRightPerp(Vector2f a) { return Vector2f(a.y, -a.x); }
Vector2f Vector2f::GetLeftNormal(Vector2f a) { return Normalize(GetLeftPerp(a)); }
Vector2f Vector2f::GetRightNormal(Vector2f a) { return Normalize(GetRightPerp(a)); }

Vector2f Vector2f::Rotate(float angle, Vector2f center, Vector2f p) {
    const float theta = static_cast<float>(static_cast<double>(angle) * kPi) / 180.0f;
    const float c = std::cos(theta);
    const float s = std::sin(theta);
    const float dx = p.x - center.x;
    const float dy = p.y - center.y;
    return Vector2f(center.x + dx * c - dy * s, center.y + dx * s + dy * c);
}

int Vector2f::Location(Vector2f a, Vector2f b, Vector2f p) {
    const float cross = (p.y - a.y) * (b.x - a.x) - (b.y - a.y) * (p.x - a.x);
    return tessel::detail::truncToInt(cross);
}

bool Vector2f::IsPointNearbyLine(Vector2f p, Vector2f a, Vector2f b) {
    const Vector2f d = b - a;
    const float length = d.Length();
    const Vector2f ap = p - a;
    const float t = (ap * d) / length;
    const float r = ap.Length();
    const float h = std::sqrt(r * r - t * t);
    // NaN (a == b, or a radicand rounded below zero) fails every comparison.
    return h <= 5.0f && 0.0f <= t && t <= length;
}

bool Vector2f::IsPointNearbyPoint(Vector2f a, Vector2f b, int radius) {
    return (a - b).Length() <= static_cast<float>(radius);
}

float Vector2f::GetDistanceF(Vector2f a, Vector2f b) { return (a - b).Length(); }
float Vector2f::GetXDistanceF(Vector2f a, Vector2f b) { return a.x - b.x; }
float Vector2f::GetYDistanceF(Vector2f a, Vector2f b) { return a.y - b.y; }

float Vector2f::Angle(Vector2f a, Vector2f b) {
    const float cross = a.x * b.y - a.y * b.x;
    const float dot = a.x * b.x + a.y * b.y;
    const float r = std::acos(dot / (a.Length() * b.Length()));
    const float sign = cross / std::fabs(cross);
    const float t = r * sign;
    if (!std::isnan(t)) return toDegrees(t);
    // Collinear, zero or rounding past +-1: decide by the unit vectors alone.
    const Vector2f na = Normalize(a);
    const Vector2f nb = Normalize(b);
    return (na.x == nb.x && na.y == nb.y) ? 0.0f : 180.0f;
}

float Vector2f::AngleEX(Vector2f a, Vector2f b) {
    const float dot = a.x * b.x + a.y * b.y;
    return toDegrees(std::acos(dot / (a.Length() * b.Length())));
}

Vector2f Vector2f::FlipH(Vector2f a, Vector2f b) { return Vector2f(a.x - (b.x - a.x), b.y); }
Vector2f Vector2f::FlipV(Vector2f a, Vector2f b) { return Vector2f(b.x, a.y - (b.y - a.y)); }
