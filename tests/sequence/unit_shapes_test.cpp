#include <korvan/sequence/detail/shapes/circle.h>
#include <korvan/sequence/detail/shapes/ellipse.h>
#include <korvan/sequence/detail/shapes/fill_path.h>
#include <korvan/sequence/detail/shapes/polygon_fill.h>
#include <korvan/sequence/detail/shapes/polygon_outline.h>
#include <korvan/sequence/detail/shapes/step_length.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace korvan::detail;

namespace {

constexpr double kDegree = 3.141592653589793 / 180.0;

/// A three-point calibration with device = scale * camera everywhere.
Calibration Scaled(float scale, unsigned int step) {
    Calibration c(3);
    c.SetCalibrationPoint(0, RPOINTF(0.0, 0.0), RPOINTF(0.0, 0.0));
    c.SetCalibrationPoint(1, RPOINTF(1000.0, 0.0), RPOINTF(1000.0 * scale, 0.0));
    c.SetCalibrationPoint(2, RPOINTF(0.0, 1000.0), RPOINTF(0.0, 1000.0 * scale));
    c.scanStepSize = step;
    return c;
}

Calibration Identity(unsigned int step) { return Scaled(1.0f, step); }

/// Three consecutive corners of a width x height rectangle centred at `centre`, turned by
/// `degrees`; c0 -> c1 runs along the width.
struct Box {
    Vector2f c[3];
    Vector2f centre;
    double angle;
    Box(Vector2f centre, float width, float height, double degrees) : centre(centre), angle(degrees * kDegree) {
        const Vector2f along(float(std::cos(angle)), float(std::sin(angle)));
        const Vector2f across(-along.y, along.x);
        c[0] = centre - along * (width / 2) - across * (height / 2);
        c[1] = c[0] + along * width;
        c[2] = c[1] + across * height;
    }
    /// x^2/a^2 + y^2/b^2 of p in the ellipse's own frame (a along the width).
    double Level(RPOINTF p, double a, double b) const {
        const double dx = p.x - centre.x, dy = p.y - centre.y;
        const double x = dx * std::cos(angle) + dy * std::sin(angle);
        const double y = -dx * std::sin(angle) + dy * std::cos(angle);
        return x * x / (a * a) + y * y / (b * b);
    }
};

double Distance(RPOINTF a, RPOINTF b) { return std::hypot(a.x - b.x, a.y - b.y); }

/// Even-odd inside test in double.
bool Inside(const std::vector<Vector2f>& polygon, Vector2f p) {
    bool inside = false;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const Vector2f a = polygon[i], b = polygon[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < double(b.x - a.x) * (p.y - a.y) / double(b.y - a.y) + a.x)
            inside = !inside;
    }
    return inside;
}

TEST(StepLength, IsOneScanStepMappedBackToCameraSpaceAndNeverBelowOne) {
    struct {
        float scale;
        unsigned int step;
        float expected;
    } cases[] = {{1.0f, 100, 100.0f}, {2.0f, 100, 50.0f}, {0.5f, 100, 200.0f}, {2.0f, 1, 1.0f}, {4.0f, 1, 1.0f}};
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(StepLengthAt(Vector2f(321.7f, 45.2f), Scaled(c.scale, c.step)), c.expected) << c.scale;
}

TEST(CircleOutline, CountsFollowTheAngularStepAndAHugeCircleIsRefusedUnbuilt) {
    struct {
        float side, step;
        std::uint64_t count;
    } cases[] = {{100, 1, 315}, {2000, 100, 63}, {1, 100, 1}};
    for (const auto& c : cases) {
        const Box box(Vector2f(5000, 5000), c.side, c.side, 0);
        EXPECT_EQ(CircleOutlinePoints(box.c, c.step).size(), c.count) << c.side;
        EXPECT_EQ(CircleOutlineCount(box.c, c.step), c.count) << c.side;
    }
    const Box huge(Vector2f(0, 0), 1e12f, 1e12f, 0);
    EXPECT_FALSE(CircleOutlineCount(huge.c, 1.0f).has_value());
    EXPECT_TRUE(CircleOutlinePoints(huge.c, 1.0f).empty());
    EXPECT_FALSE(CircleOutlineCount(huge.c, 0.0f).has_value());
}

TEST(CircleOutline, PointsLieOnTheCircleOneStepApartFromAngleZero) {
    for (double degrees : {0.0, 30.0, -75.0}) {
        const Box box(Vector2f(400, 300), 200, 200, degrees);
        const std::vector<RPOINTF> points = CircleOutlinePoints(box.c, 3.0f);
        ASSERT_EQ(points.size(), 210u);  // trunc(2 pi 100 / 3) + 1
        EXPECT_NEAR(points[0].x, 500.0, 1e-3);
        EXPECT_NEAR(points[0].y, 300.0, 1e-3);
        for (std::size_t i = 1; i < points.size(); ++i) {
            EXPECT_NEAR(Distance(points[i], RPOINTF(400.0, 300.0)), 100.0, 1e-3) << i;
            EXPECT_NEAR(Distance(points[i], points[i - 1]), 3.0, 1e-3) << i;
        }
    }
}

TEST(EllipseOutline, WideEllipseStartsAtTheMidpointOfSideC1C2) {
    const Vector2f corners[3] = {Vector2f(0, 0), Vector2f(100, 0), Vector2f(100, 40)};
    const std::vector<RPOINTF> points = EllipseOutlinePoints(corners, 4.0f);
    ASSERT_EQ(points.size(), 40u);  // n = 20, h = 10: |A| = 40
    EXPECT_EQ(EllipseOutlineCount(corners, 4.0f), 40u);
    EXPECT_NEAR(points[0].x, 100.0, 1e-9);
    EXPECT_NEAR(points[0].y, 20.0, 1e-9);
    // Halfway round it reaches the other end of the major axis.
    EXPECT_NEAR(points[20].x, 0.0, 1e-6);
    EXPECT_NEAR(points[20].y, 20.0, 1e-6);
}

TEST(EllipseOutline, PointsLieOnTheEllipseInItsOwnFrame) {
    // For odd n the two pencils no longer pair up exactly: the points stay within a step.
    struct {
        float width, height, step;
        double degrees;
        std::size_t count;
        double tolerance;  // radial distance from the ellipse
    } cases[] = {{100, 40, 4, 0, 40, 1e-3},
                 {40, 100, 4, 0, 40, 1e-3},
                 {300, 122, 5, 30, 96, 1e-3},
                 {91, 250, 3, -110, 120, 1e-3},
                 {100, 42, 4, 15, 41, 4}};
    for (const auto& c : cases) {
        const Box box(Vector2f(700, 500), c.width, c.height, c.degrees);
        const std::vector<RPOINTF> points = EllipseOutlinePoints(box.c, c.step);
        EXPECT_EQ(points.size(), c.count) << c.width << "x" << c.height;
        const double minor = std::min(c.width, c.height) / 2;
        for (const RPOINTF& p : points) {
            const double off = std::fabs(std::sqrt(box.Level(p, c.width / 2, c.height / 2)) - 1) * minor;
            EXPECT_LE(off, c.tolerance) << c.width << "x" << c.height;
        }
    }
}

TEST(EllipseOutline, AShortSideBelowOneStepGivesNoPoints) {
    for (float height : {0.0f, 3.0f, 7.9f}) {  // n = 0, 1, 1: h = 0
        const Box box(Vector2f(200, 200), 100, height, 20);
        EXPECT_TRUE(EllipseOutlinePoints(box.c, 8.0f).empty()) << height;
        EXPECT_EQ(EllipseOutlineCount(box.c, 8.0f), 0u) << height;
    }
}

TEST(FillPath, StaysInsideStartsAtTheCentreAndEndsNextToItsStart) {
    struct {
        float width, height;
        double degrees;
        bool circle;
        float grow;  // a remainder of the short side makes the last ring up to a step larger
    } cases[] = {{96, 96, 0, true, 0},    {100, 40, 0, false, 0}, {40, 100, 0, false, 0},
                 {160, 80, 35, false, 0}, {100, 42, 0, false, 4}, {90, 90, 0, true, 4}};
    const Calibration calibration = Identity(4);
    for (const auto& c : cases) {
        const Box box(Vector2f(1000, 1000), c.width, c.height, c.degrees);
        const std::vector<RPOINTF> path = FillPathPoints(box.c, c.circle, calibration);
        ASSERT_GE(path.size(), 3u);
        EXPECT_EQ(FillPathCount(box.c, c.circle, calibration), path.size());
        const double a = c.width / 2 + c.grow, b = c.height / 2 + c.grow;
        double outermost = 0;
        for (const RPOINTF& p : path) {
            EXPECT_LE(box.Level(p, a, b), 1.0 + 1e-4) << c.width << "x" << c.height;
            outermost = std::max(outermost, box.Level(p, c.width / 2, c.height / 2));
        }
        EXPECT_GT(outermost, 0.95) << "the rings reach the outline";
        // An ellipse starts on its major axis, the shortened long side's half away at most.
        const double reach = std::fabs(c.width - c.height) / 2 + 4;
        EXPECT_LE(Distance(path.front(), RPOINTF(1000.0, 1000.0)), c.circle ? 1e-3 : reach);
        EXPECT_EQ(path.back().x, path[1].x);
        EXPECT_EQ(path.back().y, path[1].y);
        EXPECT_LE(Distance(path.back(), path.front()), 4.0 + 1e-3);
    }
}

TEST(FillPath, CountingAHugePathStopsEarly) {
    const Box box(Vector2f(0, 0), 1e8f, 1e8f, 0);
    const std::optional<std::uint64_t> count = FillPathCount(box.c, true, Identity(1), 100000);
    ASSERT_TRUE(count.has_value());
    EXPECT_GT(*count, 100000u);
}

TEST(PolygonOutline, EdgesShareTheirEndsAndTheOutlineStaysOpen) {
    const Calibration calibration = Identity(100);
    const RPOINTF square[] = {{100.0, 100.0}, {1100.0, 100.0}, {1100.0, 1050.0}, {100.0, 1050.0}};
    const std::vector<Vector2f> path = PolygonOutlinePositions(square, 4, calibration);
    ASSERT_EQ(path.size(), 11u + 10u + 11u);
    EXPECT_EQ(PolygonOutlineCount(square, 4, calibration), path.size());
    EXPECT_EQ(path.front(), Vector2f(100, 100));
    EXPECT_EQ(path.back(), Vector2f(100, 1050));
    // A whole number of steps puts an edge's last full step on its end, which the next edge
    // starts from again: the corner is visited twice.
    EXPECT_EQ(path[10], Vector2f(1100, 100));
    EXPECT_EQ(path[11], Vector2f(1100, 100));
    for (std::size_t i = 1; i < path.size(); ++i) {
        EXPECT_LE((path[i] - path[i - 1]).Length(), 100.0f + 1e-3f) << i;
        EXPECT_FALSE(path[i].x == 100 && path[i].y > 100 && path[i].y < 1050) << "closing edge drawn";
    }
}

TEST(PolygonOutline, VerticesAreMappedAndTruncatedAndTheLastPartialStepIsDropped) {
    const Calibration calibration = Scaled(2.0f, 100);
    const RPOINTF edge[] = {{10.7, 20.2}, {300.3, 20.2}};  // device (21, 40) -> (600, 40)
    const std::vector<Vector2f> path = PolygonOutlinePositions(edge, 2, calibration);
    ASSERT_EQ(path.size(), 6u);
    for (std::size_t i = 0; i < path.size(); ++i) EXPECT_EQ(path[i], Vector2f(21.0f + 100.0f * i, 40)) << i;

    const std::vector<Vector2f> single = PolygonOutlinePositions(edge, 1, calibration);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0], Vector2f(21, 40));
    EXPECT_TRUE(PolygonOutlinePositions(edge, 0, calibration).empty());
    EXPECT_TRUE(PolygonOutlinePositions(nullptr, 3, calibration).empty());
}

TEST(PolygonFill, TheSecondOfThreeRowsRunsBackwards) {
    // An arrow whose notch at (8, 8) cuts the rows x + y = 20 and 30 in two; x + y = 40 only
    // touches two corners.
    const RPOINTF arrow[] = {{0.0, 0.0}, {40.0, 0.0}, {8.0, 8.0}, {0.0, 40.0}};
    bool noRows = true;
    const std::vector<LineSegment> segments = HatchSerpentine(arrow, 4, Identity(10), &noRows);
    EXPECT_FALSE(noRows);
    const float third = 20.0f / 3, twoThirds = 40.0f / 3;
    const LineSegment expected[] = {{Vector2f(0, 10), Vector2f(10, 0)},                      // row 0
                                    {Vector2f(20, 0), Vector2f(twoThirds, third)},           // row 1: far piece
                                    {Vector2f(third, twoThirds), Vector2f(0, 20)},           // first, reversed
                                    {Vector2f(0, 30), Vector2f(third / 2, 30 - third / 2)},  // row 2
                                    {Vector2f(30 - third / 2, third / 2), Vector2f(30, 0)}};
    ASSERT_EQ(segments.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_LT((segments[i].start - expected[i].start).Length(), 1e-3f) << i;
        EXPECT_LT((segments[i].end - expected[i].end).Length(), 1e-3f) << i;
    }
}

TEST(PolygonFill, SegmentsLieInsideTheMappedPolygonAndAlternateDirection) {
    const Calibration calibration = Scaled(2.0f, 100);
    std::vector<RPOINTF> camera;
    std::vector<Vector2f> device;
    for (int i = 0; i < 14; ++i) {  // a star: alternately far and near corners
        const double angle = i * 360.0 / 14 * kDegree, radius = i % 2 ? 900.0 : 2500.0;
        camera.emplace_back(5000 + radius * std::cos(angle), 5000 + radius * std::sin(angle));
        device.emplace_back(std::trunc(float(camera.back().x * 2)), std::trunc(float(camera.back().y * 2)));
    }
    bool noRows = true;
    const std::vector<LineSegment> segments = HatchSerpentine(camera.data(), 14, calibration, &noRows);
    ASSERT_FALSE(noRows);
    ASSERT_GT(segments.size(), 50u);
    int turns = 0;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const LineSegment& s = segments[i];
        EXPECT_TRUE(Inside(device, s.Mid())) << i;
        if (i > 0 && (s.end.x > s.start.x) != (segments[i - 1].end.x > segments[i - 1].start.x)) ++turns;
    }
    EXPECT_GT(turns, 20) << "rows alternate direction";

    const RPOINTF tiny[] = {{100.0, 100.0}, {120.0, 100.0}, {110.0, 115.0}};  // below one step
    EXPECT_TRUE(HatchSerpentine(tiny, 3, calibration, &noRows).empty());
    EXPECT_TRUE(noRows);
}

}  // namespace
