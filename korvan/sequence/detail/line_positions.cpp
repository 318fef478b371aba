#include <korvan/sequence/detail/line_positions.h>

#include <cmath>

namespace korvan::detail {
namespace {

// Whole steps along the line: below 1 for a single position.
float StepCount(Vector2f start, Vector2f end, float step) {
    return step > 0.0f ? std::trunc((end - start).Length() / step) : 0.0f;
}

}  // namespace

std::uint64_t LinePositionCount(Vector2f start, Vector2f end, float step) {
    const float steps = StepCount(start, end, step);
    if (!(steps >= 1.0f)) return std::isnan(steps) ? 0 : 1;
    if (steps > 4.0e9f) return 0;
    return static_cast<std::uint64_t>(steps) + 2;
}

std::vector<Vector2f> LinePositions(Vector2f start, Vector2f end, float step) {
    const std::uint64_t count = LinePositionCount(start, end, step);
    if (count <= 1) return {start};
    const Vector2f direction = Vector2f::Normalize(end - start);
    std::vector<Vector2f> positions;
    positions.reserve(count);
    for (std::uint64_t k = 0; k + 1 < count; ++k)
        positions.push_back(start + direction * (static_cast<float>(k) * step));
    positions.push_back(end);
    return positions;
}

}  // namespace korvan::detail
