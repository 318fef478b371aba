#include <korvan/sequence/detail/shapes/polygon_outline.h>

#include <korvan/sequence/detail/line_positions.h>
#include <tessel/geometry/coordinate_transformation.h>

#include <cmath>

namespace korvan::detail {

std::vector<Vector2f> DeviceVertices(const RPOINTF* points, unsigned int count, const Calibration& calibration) {
    std::vector<Vector2f> vertices;
    if (points == nullptr) return vertices;
    vertices.reserve(count);
    for (unsigned int i = 0; i < count; ++i) {
        const Vector2f device = CoordinateTransformation::TransformCameraToDeviceCoordinates(
            Vector2f(points[i]), calibration.calibrationPoints, calibration.pointCount);
        vertices.emplace_back(std::trunc(device.x), std::trunc(device.y));
    }
    return vertices;
}

namespace {

/// Positions contributed by an edge of `positions` positions: all but the shared last one.
std::uint64_t Contributed(std::uint64_t positions) { return positions >= 2 ? positions - 1 : positions; }

std::optional<std::uint64_t> CountOf(const std::vector<Vector2f>& vertices, float step) {
    if (vertices.size() == 1) return 1;
    std::uint64_t total = 0;
    for (std::size_t k = 0; k + 1 < vertices.size(); ++k) {
        const std::uint64_t edge = LinePositionCount(vertices[k], vertices[k + 1], step);
        if (edge == 0) return std::nullopt;  // too long to count
        total += Contributed(edge);
    }
    return total;
}

}  // namespace

std::optional<std::uint64_t> PolygonOutlineCount(const RPOINTF* points, unsigned int count,
                                                 const Calibration& calibration) {
    return CountOf(DeviceVertices(points, count, calibration), static_cast<float>(calibration.scanStepSize));
}

std::vector<Vector2f> PolygonOutlinePositions(const RPOINTF* points, unsigned int count,
                                              const Calibration& calibration) {
    const std::vector<Vector2f> vertices = DeviceVertices(points, count, calibration);
    const float step = static_cast<float>(calibration.scanStepSize);
    const std::optional<std::uint64_t> total = CountOf(vertices, step);
    if (!total) return {};
    if (vertices.size() == 1) return vertices;
    std::vector<Vector2f> path;
    path.reserve(*total);
    for (std::size_t k = 0; k + 1 < vertices.size(); ++k) {
        const std::vector<Vector2f> edge = LinePositions(vertices[k], vertices[k + 1], step);
        path.insert(path.end(), edge.begin(), edge.begin() + static_cast<std::ptrdiff_t>(Contributed(edge.size())));
    }
    return path;
}

}  // namespace korvan::detail
