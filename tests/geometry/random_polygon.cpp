#include "random_polygon.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace geometry_test {

std::vector<Vector2f> randomStarPolygon(std::uint32_t seed, int vertices, Vector2f center, float minRadius,
                                        float maxRadius, bool integral) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> angle(0.0, 2 * M_PI);
    std::uniform_real_distribution<double> radius(minRadius, maxRadius);
    std::vector<double> angles(static_cast<std::size_t>(vertices));
    for (double& a : angles) a = angle(rng);
    std::sort(angles.begin(), angles.end());
    angles.erase(std::unique(angles.begin(), angles.end()), angles.end());
    std::vector<Vector2f> polygon;
    for (double a : angles) {
        const double r = radius(rng);
        double x = center.x + r * std::cos(a);
        double y = center.y + r * std::sin(a);
        if (integral) {
            x = std::round(x);
            y = std::round(y);
        }
        const Vector2f v(static_cast<float>(x), static_cast<float>(y));
        if (polygon.empty() || !(polygon.back() == v)) polygon.push_back(v);
    }
    return polygon;
}

bool referenceInside(const std::vector<Vector2f>& polygon, double x, double y) {
    bool inside = false;
    const std::size_t n = polygon.size();
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        const double xi = polygon[i].x, yi = polygon[i].y, xj = polygon[j].x, yj = polygon[j].y;
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
    }
    return inside;
}

double distanceToBoundary(const std::vector<Vector2f>& polygon, double x, double y) {
    double best = INFINITY;
    const std::size_t n = polygon.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Vector2f& a = polygon[i];
        const Vector2f& b = polygon[(i + 1) % n];
        const double dx = b.x - a.x, dy = b.y - a.y;
        const double len2 = dx * dx + dy * dy;
        double t = len2 > 0 ? ((x - a.x) * dx + (y - a.y) * dy) / len2 : 0.0;
        t = std::clamp(t, 0.0, 1.0);
        best = std::min(best, std::hypot(x - (a.x + t * dx), y - (a.y + t * dy)));
    }
    return best;
}

}  // namespace geometry_test
