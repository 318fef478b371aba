#include <tessel/geometry/coordinate_transformation.h>

#include <tessel/geometry/detail/truncate.h>

#include <cmath>
#include <cstdint>

namespace {

using Field = Vector2f CalibrationPoint::*;

// Side length of a valid grid; 0 for an invalid size, 1 for the three-entry table.
std::int64_t gridSide(unsigned int count) {
    if (count < 3) return 0;
    if (count == 3) return 1;
    const float root = std::sqrt(static_cast<float>(count));
    const std::int32_t side = tessel::detail::truncToInt(root);
    if (static_cast<float>(side) != root) return 0;
    return side;
}

// Index of the entry whose source lies nearest to the point. Squared
// distances order the entries as the distances do; among equal distances the
// first one wins.
std::int64_t nearestEntry(Vector2f point, const CalibrationPoint* table, unsigned int count, Field source) {
    std::int64_t best = 0;
    float bestDistance = 0.0f;
    for (unsigned int i = 0; i < count; ++i) {
        const Vector2f& s = table[i].*source;
        const float dx = point.x - s.x;
        const float dy = point.y - s.y;
        const float distance = dx * dx + dy * dy;
        if (i == 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

// The neighbour of entry k one stride toward the point, falling back to the
// other side at either end of the table.
std::int64_t neighbour(std::int64_t k, std::int64_t stride, bool towardLarger, std::int64_t count) {
    std::int64_t n = towardLarger ? k + stride : k - stride;
    if (n < 0) n = k + stride;
    if (n >= count) n = k - stride;
    return n;
}

// The affine map that takes the sources of p0, p1, p2 to their targets,
// applied to the point; double arithmetic throughout.
Vector2f solveAffine(Vector2f point, const CalibrationPoint& p0, const CalibrationPoint& p1, const CalibrationPoint& p2,
                     Field source, Field target) {
    const double x0 = (p0.*source).x, y0 = (p0.*source).y;
    const double x1 = (p1.*source).x, y1 = (p1.*source).y;
    const double x2 = (p2.*source).x, y2 = (p2.*source).y;
    const double X0 = (p0.*target).x, Y0 = (p0.*target).y;
    const double X1 = (p1.*target).x, Y1 = (p1.*target).y;
    const double X2 = (p2.*target).x, Y2 = (p2.*target).y;

    const double det = (y0 - y2) * (x0 - x1) - (y0 - y1) * (x0 - x2);
    double b = 0.0;
    double d = 0.0;
    if (det != 0.0) {
        b = ((X0 - X2) * (x0 - x1) - (X0 - X1) * (x0 - x2)) / det;
        d = ((Y0 - Y2) * (x0 - x1) - (Y0 - Y1) * (x0 - x2)) / det;
    }
    double a;
    double c;
    if (x0 - x1 != 0.0) {
        a = ((X0 - X1) - (y0 - y1) * b) / (x0 - x1);
        c = ((Y0 - Y1) - (y0 - y1) * d) / (x0 - x1);
    } else {
        a = ((X0 - X2) - (y0 - y2) * b) / (x0 - x2);
        c = ((Y0 - Y2) - (y0 - y2) * d) / (x0 - x2);
    }
    const double e = X0 - x0 * a - y0 * b;
    const double f = Y0 - x0 * c - y0 * d;
    const double x = point.x;
    const double y = point.y;
    return Vector2f(static_cast<float>(a * x + b * y + e), static_cast<float>(c * x + d * y + f));
}

Vector2f transform(Vector2f point, const CalibrationPoint* table, unsigned int count, Field source, Field target) {
    const std::int64_t side = gridSide(count);
    if (side == 0 || table == nullptr) return Vector2f(0.0f, 0.0f);
    if (count == 3) return solveAffine(point, table[0], table[1], table[2], source, target);

    const std::int64_t k = nearestEntry(point, table, count, source);
    const Vector2f& s = table[k].*source;
    const std::int64_t h = neighbour(k, 1, point.x > s.x, count);
    const std::int64_t v = neighbour(k, side, point.y > s.y, count);
    return solveAffine(point, table[k], table[h], table[v], source, target);
}

}  // namespace

Vector2f CoordinateTransformation::TransformCameraToDeviceCoordinates(Vector2f point, CalibrationPoint* table,
                                                                      unsigned int count) {
    return transform(point, table, count, &CalibrationPoint::camera, &CalibrationPoint::device);
}

Vector2f CoordinateTransformation::TransformDeviceToCameraCoordinates(Vector2f point, CalibrationPoint* table,
                                                                      unsigned int count) {
    return transform(point, table, count, &CalibrationPoint::device, &CalibrationPoint::camera);
}
