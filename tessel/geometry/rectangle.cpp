#include <tessel/geometry/rectangle.h>

rectanglef::rectanglef() : x(0.0f), y(0.0f), width(0.0f), height(0.0f) {}
rectanglef::rectanglef(float x_, float y_, float width_, float height_)
    : x(x_), y(y_), width(width_), height(height_) {}

rectangle::rectangle() : x(0), y(0), width(0), height(0) {}
rectangle::rectangle(std::int32_t x_, std::int32_t y_, std::int32_t width_, std::int32_t height_)
    : x(x_), y(y_), width(width_), height(height_) {}
