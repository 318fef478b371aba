#include <korvan/sequence/detail/shapes/circle.h>

#include <cmath>
#include <limits>

namespace korvan::detail {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kRadiansPerDegree = 0.017453292519943295;

struct CirclePlan {
    Vector2f centre;
    float radius;
    double theta;  // degrees between neighbouring points
    std::uint32_t count;
};

std::optional<CirclePlan> Plan(const Vector2f corners[3], float stepLength) {
    const Vector2f& c0 = corners[0];
    const Vector2f& c1 = corners[1];
    const Vector2f& c2 = corners[2];
    const float half = (c0 - c1).Length() / 2.0f;
    const float radius = half > 1.0f ? half : 1.0f;
    const double theta = 360.0 / (2.0 * radius * kPi) * stepLength;
    if (!(theta > 0.0) || !std::isfinite(theta)) return std::nullopt;
    const double steps = std::trunc(360.0 / theta);
    // Also refuses NaN: a non-finite radius leaves theta 0 or NaN above, or steps NaN here.
    if (!(steps >= 0.0) || steps + 1.0 > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    const Vector2f centre = c0 + (c1 - c0) / 2.0f + (c2 - c1) / 2.0f;
    if (!std::isfinite(centre.x) || !std::isfinite(centre.y)) return std::nullopt;
    return CirclePlan{centre, radius, theta, static_cast<std::uint32_t>(steps) + 1};
}

}  // namespace

std::optional<std::uint64_t> CircleOutlineCount(const Vector2f corners[3], float stepLength) {
    const std::optional<CirclePlan> plan = Plan(corners, stepLength);
    if (!plan) return std::nullopt;
    return plan->count;
}

std::vector<RPOINTF> CircleOutlinePoints(const Vector2f corners[3], float stepLength) {
    const std::optional<CirclePlan> plan = Plan(corners, stepLength);
    if (!plan) return {};
    std::vector<RPOINTF> points;
    points.reserve(plan->count);
    double angle = 0.0;
    for (std::uint32_t i = 0; i < plan->count; ++i) {
        const double radians = angle * kRadiansPerDegree;
        points.emplace_back(plan->centre.x + plan->radius * std::cos(radians),
                            plan->centre.y + plan->radius * std::sin(radians));
        angle += plan->theta;
    }
    return points;
}

}  // namespace korvan::detail
