#include <tessel/geometry/pointf.h>

#include <tessel/geometry/float_compare.h>

#include <cmath>

pointf::pointf() : x(0.0f), y(0.0f) {}
pointf::pointf(float x_, float y_) : x(x_), y(y_) {}

bool pointf::operator==(pointf o) const { return fltEquals(x, o.x) && fltEquals(y, o.y); }
pointf pointf::operator+(pointf o) const { return pointf(x + o.x, y + o.y); }
pointf pointf::operator-(pointf o) const { return pointf(x - o.x, y - o.y); }
pointf pointf::operator*(float s) const { return pointf(x * s, y * s); }
float pointf::operator*(pointf o) const { return x * o.x + y * o.y; }
pointf pointf::operator/(float s) const { return pointf(x / s, y / s); }

float pointf::Distancef(pointf o) const {
    const float dx = x - o.x;
    const float dy = y - o.y;
    return std::sqrt(dx * dx + dy * dy);
}

float pointf::XDistance(pointf o) const { return x - o.x; }
float pointf::YDistance(pointf o) const { return y - o.y; }
