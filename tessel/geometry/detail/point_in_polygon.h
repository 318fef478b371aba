#pragma once
#include <tessel/geometry/pointf.h>

#include <cstddef>

namespace tessel::detail {

// IsPointInPolygon without copying the vertex list; the rectangle cover calls
// it for every sample.
bool pointInPolygon(pointf q, const pointf* vertices, std::size_t count);

}  // namespace tessel::detail
