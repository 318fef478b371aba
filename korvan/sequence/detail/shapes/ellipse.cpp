#include <korvan/sequence/detail/shapes/ellipse.h>

#include <cmath>
#include <limits>

namespace korvan::detail {

namespace {

struct EllipseFrame {
    Vector2f k[4];  // K0K1 a long side, K1K2 a short side
    std::int32_t n;
    std::int32_t h;
};

std::optional<EllipseFrame> Frame(const Vector2f corners[3], float stepLength) {
    const Vector2f& c0 = corners[0];
    const Vector2f& c1 = corners[1];
    const Vector2f& c2 = corners[2];
    const Vector2f c3 = c0 + (c2 - c1);
    const float a = (c1 - c0).Length();
    const float b = (c2 - c1).Length();
    EllipseFrame frame{};
    float shortSide;
    if (b <= a) {
        frame.k[0] = c1, frame.k[1] = c0, frame.k[2] = c3, frame.k[3] = c2;
        shortSide = b;
    } else {
        frame.k[0] = c0, frame.k[1] = c3, frame.k[2] = c2, frame.k[3] = c1;
        shortSide = a;
    }
    const float ratio = 2.0f * shortSide / stepLength;
    // The negated test also refuses NaN.
    if (!(std::fabs(ratio) < static_cast<float>(std::numeric_limits<std::int32_t>::max()))) return std::nullopt;
    frame.n = static_cast<std::int32_t>(ratio);
    frame.h = frame.n / 2;
    return frame;
}

/// `count` points starting at `first`, each the previous plus `step`.
void AppendRun(std::vector<Vector2f>& list, Vector2f first, Vector2f step, std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i, first = first + step) list.push_back(first);
}

/// Where the line through p0, p1 meets the line through q0, q1; false when they are parallel.
bool Intersect(Vector2f p0, Vector2f p1, Vector2f q0, Vector2f q1, RPOINTF& out) {
    // Each line as A x + B y + C = 0.
    const double a1 = double(p1.y) - p0.y, b1 = double(p0.x) - p1.x;
    const double c1 = double(p0.y) * p1.x - double(p0.x) * p1.y;
    const double a2 = double(q1.y) - q0.y, b2 = double(q0.x) - q1.x;
    const double c2 = double(q0.y) * q1.x - double(q0.x) * q1.y;
    const double det = a1 * b2 - a2 * b1;
    if (det == 0.0) return false;
    out = RPOINTF((b1 * c2 - b2 * c1) / det, (a2 * c1 - a1 * c2) / det);
    return true;
}

}  // namespace

std::optional<std::uint64_t> EllipseOutlineCount(const Vector2f corners[3], float stepLength) {
    const std::optional<EllipseFrame> frame = Frame(corners, stepLength);
    if (!frame) return std::nullopt;
    if (frame->n <= 0 || frame->h <= 0) return 0;
    return std::uint64_t(frame->n) + 2 * std::uint64_t(frame->h);
}

std::vector<RPOINTF> EllipseOutlinePoints(const Vector2f corners[3], float stepLength) {
    const std::optional<EllipseFrame> frame = Frame(corners, stepLength);
    if (!frame || frame->n <= 0 || frame->h <= 0) return {};
    const Vector2f* k = frame->k;
    const std::int32_t n = frame->n;
    const std::int32_t h = frame->h;
    const auto nf = static_cast<float>(n);
    const auto hf = static_cast<float>(h);

    std::vector<Vector2f> listA;
    listA.reserve(std::size_t(n) + 2 * std::size_t(h));
    AppendRun(listA, k[0] + (k[0] - k[3]) / 2.0f, (k[1] - k[0]) / hf, h);
    AppendRun(listA, k[1] + (k[1] - k[2]) / 2.0f, (k[2] - k[1]) * 2.0f / nf, n);
    AppendRun(listA, k[2] + (k[2] - k[1]) / 2.0f, (k[3] - k[2]) / hf, h);

    std::vector<Vector2f> listB;
    listB.reserve(listA.size());
    AppendRun(listB, k[3] + (k[3] - k[0]) / 2.0f, (k[0] - k[3]) * 2.0f / nf, n);
    AppendRun(listB, k[0] + (k[0] - k[3]) / 2.0f, (k[1] - k[0]) / hf, h);
    AppendRun(listB, k[2] + (k[2] - k[1]) / 2.0f, (k[3] - k[2]) / hf, h);

    const Vector2f p = (k[3] + k[0]) / 2.0f;
    const Vector2f q = (k[1] + k[2]) / 2.0f;
    std::vector<RPOINTF> points;
    points.reserve(listA.size());
    std::size_t j = static_cast<std::size_t>(h);
    for (const Vector2f& a : listA) {
        RPOINTF point;
        if (Intersect(p, a, q, listB[j], point)) points.push_back(point);
        j = j + 1 == listB.size() ? 0 : j + 1;
    }
    return points;
}

}  // namespace korvan::detail
