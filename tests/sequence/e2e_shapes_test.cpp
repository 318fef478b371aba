// Shapes end to end: what the virtual device executed lies on the shape and covers it.
#include "sequence_sim_fixture.h"

#include <tessel/geometry/point_in_polygon.h>

#include <cmath>
#include <map>
#include <set>

using namespace sequencetest;

namespace {

constexpr double kStep = 100;  // the laser's scan step size, in device units

// Distance from p to the segment a-b.
double SegmentDistance(std::pair<double, double> p, RPOINTF a, RPOINTF b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double t = std::clamp(((p.first - a.x) * dx + (p.second - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(p.first - (a.x + t * dx), p.second - (a.y + t * dy));
}

bool InsideOrNear(std::pair<double, double> p, const std::vector<RPOINTF>& polygon) {
    // Ray casting, then the border within one step.
    bool inside = false;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const RPOINTF a = polygon[i], b = polygon[j];
        if ((a.y > p.second) != (b.y > p.second) && p.first < (b.x - a.x) * (p.second - a.y) / (b.y - a.y) + a.x)
            inside = !inside;
    }
    if (inside) return true;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++)
        if (SegmentDistance(p, polygon[i], polygon[j]) <= kStep) return true;
    return false;
}

}  // namespace

TEST_F(SequenceRun, FilledPolygonIsLitInsideRowByRow) {
    // Camera = device through the identity grid, so the polygon is in device units.
    std::vector<RPOINTF> polygon{{10000.0, 10000.0}, {14000.0, 10500.0}, {13000.0, 13000.0}, {10500.0, 12000.0}};
    SequencePolygon filled(polygon.data(), static_cast<unsigned>(polygon.size()), 1);
    filled.laserIds[0] = laser;
    const auto lit = LitPositions(Execute({&filled}));
    ASSERT_GT(lit.size(), 100u);
    // Hatch rows run at 45 degrees (x + y constant), one step apart along x.
    std::map<long, std::vector<double>> rows;  // by (x + y) / step, the x of each lit position
    for (const auto& p : lit) {
        EXPECT_TRUE(InsideOrNear(p, polygon)) << p.first << ", " << p.second;
        rows[std::lround((p.first + p.second) / kStep)].push_back(p.first);
    }
    long previous = rows.begin()->first - 1;
    for (const auto& row : rows) EXPECT_EQ(row.first, ++previous) << "a row is missing";
    EXPECT_LE(rows.begin()->first * kStep - 20000.0, kStep);   // from the lowest vertex (x + y)
    EXPECT_LE(26000.0 - rows.rbegin()->first * kStep, kStep);  // to the highest
    // Serpentine: the first row runs toward larger x, the second back.
    const auto& first = rows.begin()->second;
    const auto& second = std::next(rows.begin())->second;
    EXPECT_TRUE(std::is_sorted(first.begin(), first.end()));
    EXPECT_TRUE(std::is_sorted(second.rbegin(), second.rend()));
}

TEST_F(SequenceRun, CircleIsLitOnItsOutline) {
    SequenceEllipse circle(20000, 30000, 4000, 4000, 0);
    circle.laserIds[0] = laser;
    const auto lit = LitPositions(Execute({&circle}));
    ASSERT_GT(lit.size(), 100u);
    std::set<int> quadrants;
    for (const auto& p : lit) {
        const double dx = p.first - 22000, dy = p.second - 32000;
        EXPECT_NEAR(std::hypot(dx, dy), 2000.0, kStep) << p.first << ", " << p.second;
        quadrants.insert((dx >= 0 ? 1 : 0) + (dy >= 0 ? 2 : 0));
    }
    EXPECT_EQ(quadrants.size(), 4u);  // all the way round
}
