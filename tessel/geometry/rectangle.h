#pragma once
// Axis-aligned rectangles: rectanglef from its corner with the smallest
// coordinates plus width and height; rectangle holds four integers in the
// order its constructor receives them.
#include <tessel/export.h>

#include <cstdint>

class TESSEL_API rectanglef {
public:
    float x;
    float y;
    float width;
    float height;

    /// All zero.
    rectanglef();
    rectanglef(float x, float y, float width, float height);
};

class TESSEL_API rectangle {
public:
    std::int32_t x;
    std::int32_t y;
    std::int32_t width;
    std::int32_t height;

    /// All zero.
    rectangle();
    rectangle(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
};
