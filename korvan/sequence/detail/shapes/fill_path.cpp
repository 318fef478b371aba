#include <korvan/sequence/detail/shapes/fill_path.h>

#include <korvan/sequence/detail/line_positions.h>
#include <korvan/sequence/detail/shapes/circle.h>
#include <korvan/sequence/detail/shapes/ellipse.h>
#include <korvan/sequence/detail/shapes/step_length.h>

#include <cmath>
#include <limits>

namespace korvan::detail {

namespace {

struct FillPlan {
    Vector2f u;  // one step along c0 -> c1
    Vector2f v;  // one step along c1 -> c2
    std::int32_t rings;
    Vector2f k[3];          // working corners before the first ring
    Vector2f segmentStart;  // an ellipse's centre segment; a circle's centre (start == end)
    Vector2f segmentEnd;
};

std::optional<FillPlan> Plan(const Vector2f corners[3], bool circle, const Calibration& calibration) {
    const Vector2f& c0 = corners[0];
    const Vector2f& c1 = corners[1];
    const Vector2f& c2 = corners[2];
    const Vector2f c3 = c0 + (c2 - c1);
    const float s = StepLengthAt(c0, calibration);
    FillPlan plan{};
    plan.u = Vector2f::Normalize(c1 - c0) * s;
    plan.v = Vector2f::Normalize(c2 - c1) * s;
    const float a = (c1 - c0).Length();
    const float b = (c2 - c1).Length();
    const float shortSide = b > a ? a : b;

    const float half = std::trunc(0.5f * shortSide / s);
    // Negated so that NaN is refused too; R + 1 must fit 32 bits and the whole sides 64.
    if (!(half >= 0.0f && half < 2.0e9f) || !(shortSide < 1.0e18f) || !(s < 1.0e18f)) return std::nullopt;
    const auto wholeSide = static_cast<std::int64_t>(std::trunc(shortSide));
    const auto wholeStep = static_cast<std::int64_t>(std::trunc(s));  // s >= 1
    plan.rings = static_cast<std::int32_t>(half) + ((wholeSide / 2) % wholeStep != 0 ? 1 : 0);

    const float rings = static_cast<float>(plan.rings);
    const float beyond = static_cast<float>(plan.rings + 1);
    if (circle) {
        const Vector2f centre = c0 + (c1 - c0) / 2.0f + (c2 - c1) / 2.0f;
        plan.k[0] = plan.k[1] = plan.k[2] = centre;
        plan.segmentStart = plan.segmentEnd = centre;
    } else if (b <= a) {
        const Vector2f m03 = (c0 + c3) / 2.0f;
        const Vector2f m12 = (c1 + c2) / 2.0f;
        plan.segmentStart = m03 + plan.u * beyond;
        plan.segmentEnd = m12 - plan.u * beyond;
        plan.k[0] = m03 + plan.u * rings;
        plan.k[1] = plan.k[2] = m12 - plan.u * rings;
    } else {
        const Vector2f m32 = (c3 + c2) / 2.0f;
        const Vector2f m01 = (c0 + c1) / 2.0f;
        plan.segmentStart = m32 - plan.v * beyond;
        plan.segmentEnd = m01 + plan.v * beyond;
        plan.k[0] = plan.k[1] = m01 + plan.v * rings;
        plan.k[2] = m32 - plan.v * rings;
    }
    return plan;
}

/// Calls visit(corners, stepLength) for rings 1..R from the centre outwards; stops and
/// returns false as soon as visit does.
template <typename Visit>
bool ForEachRing(const FillPlan& plan, const Calibration& calibration, Visit&& visit) {
    Vector2f k[3] = {plan.k[0], plan.k[1], plan.k[2]};
    for (std::int32_t ring = 1; ring <= plan.rings; ++ring) {
        k[0] = k[0] - plan.v - plan.u;
        k[1] = k[1] - plan.v + plan.u;
        k[2] = k[2] + plan.v + plan.u;
        if (!visit(k, StepLengthAt(k[0], calibration))) return false;
    }
    return true;
}

std::optional<std::uint64_t> RingCount(const Vector2f corners[3], bool circle, float stepLength) {
    return circle ? CircleOutlineCount(corners, stepLength) : EllipseOutlineCount(corners, stepLength);
}

std::optional<std::uint64_t> CentreCount(const FillPlan& plan, bool circle, const Calibration& calibration) {
    if (circle) return 1;
    // 0 marks a segment too long to count.
    const std::uint64_t count =
        LinePositionCount(plan.segmentStart, plan.segmentEnd, static_cast<float>(calibration.scanStepSize));
    if (count == 0) return std::nullopt;
    return count;
}

}  // namespace

std::optional<std::uint64_t> FillPathCount(const Vector2f corners[3], bool circle, const Calibration& calibration,
                                           std::uint64_t stopAbove) {
    const std::optional<FillPlan> plan = Plan(corners, circle, calibration);
    if (!plan) return std::nullopt;
    std::optional<std::uint64_t> total = CentreCount(*plan, circle, calibration);
    if (!total) return std::nullopt;
    const bool valid = ForEachRing(*plan, calibration, [&](const Vector2f k[3], float stepLength) {
        const std::optional<std::uint64_t> ring = RingCount(k, circle, stepLength);
        if (ring) *total += *ring;
        return ring.has_value() && *total <= stopAbove;
    });
    if (*total > stopAbove) return total;
    if (!valid) return std::nullopt;
    return *total >= 3 ? 2 * *total - 2 : *total;
}

std::vector<RPOINTF> FillPathPoints(const Vector2f corners[3], bool circle, const Calibration& calibration) {
    const std::optional<FillPlan> plan = Plan(corners, circle, calibration);
    if (!plan || !CentreCount(*plan, circle, calibration)) return {};
    std::vector<RPOINTF> path;
    if (circle) {
        path.emplace_back(plan->segmentStart.x, plan->segmentStart.y);
    } else {
        // The centre segment is already in camera space: its positions are not mapped.
        const float step = static_cast<float>(calibration.scanStepSize);
        for (const Vector2f& p : LinePositions(plan->segmentStart, plan->segmentEnd, step)) path.emplace_back(p.x, p.y);
    }
    const bool valid = ForEachRing(*plan, calibration, [&](const Vector2f k[3], float stepLength) {
        if (!RingCount(k, circle, stepLength)) return false;
        const std::vector<RPOINTF> ring =
            circle ? CircleOutlinePoints(k, stepLength) : EllipseOutlinePoints(k, stepLength);
        path.insert(path.end(), ring.begin(), ring.end());
        return true;
    });
    if (!valid) return {};
    // Run back to the start so that a repeated path continues without a jump.
    const std::size_t count = path.size();
    if (count >= 3) {
        path.reserve(2 * count - 2);
        for (std::size_t i = count - 2; i >= 1; --i) path.push_back(path[i]);
    }
    return path;
}

}  // namespace korvan::detail
