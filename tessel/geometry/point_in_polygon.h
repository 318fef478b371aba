#pragma once
// Point against polygon, boundary counted as inside.
#include <tessel/export.h>
#include <tessel/geometry/pointf.h>

#include <vector>

/// True when point lies inside the polygon (vertices in order, closed by the
/// edge from the last vertex back to the first) or on its boundary. A
/// polygon of fewer than two vertices contains nothing.
TESSEL_API bool IsPointInPolygon(pointf point, std::vector<pointf> polygon);
