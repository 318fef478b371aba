#include <tessel/geometry/bounding_box.h>

#include <tessel/geometry/detail/bounding_box.h>

rectanglef GetBoundingBox(std::vector<Vector2f> points) {
    return tessel::detail::boundingBox(points.data(), points.size());
}

rectanglef GetBoundingBox(std::vector<pointf> points) {
    return tessel::detail::boundingBox(points.data(), points.size());
}
