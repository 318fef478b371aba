#pragma once
#include <tessel/geometry/detail/truncate.h>
#include <tessel/geometry/rectangle.h>

#include <cstddef>
#include <cstdint>

namespace tessel::detail {

// Shared by both GetBoundingBox overloads and the hatch fill; P has float x, y.
template <typename P>
rectanglef boundingBox(const P* points, std::size_t count) {
    if (count == 0) return rectanglef(0.0f, 0.0f, 1.0f, 1.0f);
    std::int32_t minX = truncToInt(points[0].x);
    std::int32_t maxX = minX;
    std::int32_t minY = truncToInt(points[0].y);
    std::int32_t maxY = minY;
    for (std::size_t i = 0; i < count; ++i) {
        const P& p = points[i];
        if (static_cast<float>(minX) > p.x) minX = truncToInt(p.x);
        if (p.x > static_cast<float>(maxX)) maxX = truncToInt(p.x);
        if (static_cast<float>(minY) > p.y) minY = truncToInt(p.y);
        if (p.y > static_cast<float>(maxY)) maxY = truncToInt(p.y);
    }
    return rectanglef(static_cast<float>(minX), static_cast<float>(minY), static_cast<float>(wrapSub(maxX, minX)),
                      static_cast<float>(wrapSub(maxY, minY)));
}

}  // namespace tessel::detail
