#include <tessel/geometry/point_in_polygon.h>
#include <tessel/geometry/spread_polygon.h>

#include "random_polygon.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

std::vector<pointf> toPointf(const std::vector<Vector2f>& polygon) {
    std::vector<pointf> out;
    for (const Vector2f& v : polygon) out.emplace_back(v.x, v.y);
    return out;
}

bool mergeable(const rectanglef& a, const rectanglef& b) {
    const bool side = a.y == b.y && a.height == b.height && (b.x == a.x + a.width || a.x == b.x + b.width) &&
                      a.width + b.width < 255 && a.height < 255;
    const bool stacked = a.x == b.x && a.width == b.width && (b.y == a.y + a.height || a.y == b.y + b.height) &&
                         a.height + b.height < 255 && a.width < 255;
    return side || stacked;
}

double overlap(const rectanglef& a, const rectanglef& b) {
    const double w = std::min(a.x + a.width, b.x + b.width) - std::max(a.x, b.x);
    const double h = std::min(a.y + a.height, b.y + b.height) - std::max(a.y, b.y);
    return (w > 0 && h > 0) ? w * h : 0.0;
}

void expectWellFormedCover(const std::vector<rectanglef>& rects) {
    for (std::size_t i = 0; i < rects.size(); ++i) {
        EXPECT_LT(rects[i].width, 255.0f);
        EXPECT_LT(rects[i].height, 255.0f);
        for (std::size_t j = i + 1; j < rects.size(); ++j) {
            EXPECT_FALSE(mergeable(rects[i], rects[j])) << i << " and " << j << " should have been merged";
            EXPECT_EQ(overlap(rects[i], rects[j]), 0.0) << i << " and " << j << " overlap";
        }
    }
}

TEST(GeometrySpreadPolygon, SmallOrInvalidAreaAddsNothing) {
    const std::vector<pointf> square{pointf(0, 0), pointf(100, 0), pointf(100, 100), pointf(0, 100)};
    std::vector<rectanglef> out{rectanglef(1, 2, 3, 4)};
    BeginSpreadPolygon(square, &out, rectanglef(0, 0, 3, 100), 0);
    BeginSpreadPolygon(square, &out, rectanglef(0, 0, 100, 2), 0);
    BeginSpreadPolygon(square, &out, rectanglef(0, 0, INFINITY, 100), 0);
    BeginSpreadPolygon(square, &out, rectanglef(0, 0, std::nanf(""), 100), 0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].height, 4.0f);
    BeginSpreadPolygon(square, nullptr, rectanglef(0, 0, 100, 100), 0);  // no crash
}

TEST(GeometrySpreadPolygon, SquareIsCoveredWithoutGapsOrOverlaps) {
    const std::vector<pointf> square{pointf(0, 0), pointf(100, 0), pointf(100, 100), pointf(0, 100)};
    std::vector<rectanglef> out;
    BeginSpreadPolygon(square, &out, rectanglef(0, 0, 100, 100), 0);
    ASSERT_FALSE(out.empty());
    double area = 0;
    for (const rectanglef& r : out) {
        EXPECT_TRUE(IsPointInPolygon(pointf(r.x, r.y), square));
        EXPECT_TRUE(IsPointInPolygon(pointf(r.x + r.width, r.y + r.height), square));
        area += static_cast<double>(r.width) * r.height;
    }
    // The square matches the area exactly, so the four quadrants are covered whole.
    EXPECT_DOUBLE_EQ(area, 100.0 * 100.0);
    expectWellFormedCover(out);
}

TEST(GeometrySpreadPolygon, EarlierRectanglesTakePartInTheMerge) {
    const std::vector<pointf> square{pointf(0, 0), pointf(100, 0), pointf(100, 100), pointf(0, 100)};
    // A strip just right of the area, as tall as the square: it joins the column beside it only
    // when the merge looks at what *out held before the call.
    std::vector<rectanglef> out{rectanglef(100, 0, 50, 100)};
    BeginSpreadPolygon(square, &out, rectanglef(0, 0, 100, 100), 0);
    double area = 0;
    bool joined = false;
    for (const rectanglef& r : out) {
        area += static_cast<double>(r.width) * r.height;
        joined = joined || (r.x < 100 && r.x + r.width > 100);
    }
    EXPECT_DOUBLE_EQ(area, 150.0 * 100.0);
    EXPECT_TRUE(joined);
    expectWellFormedCover(out);
}

class GeometrySpreadProperties : public ::testing::TestWithParam<std::tuple<std::uint32_t, int>> {};

TEST_P(GeometrySpreadProperties, RectanglesLieInsideWithinTolerance) {
    const auto [seed, tolerance] = GetParam();
    const auto polygon = geometry_test::randomStarPolygon(seed, 14, Vector2f(256, 256), 120, 250, false);
    std::vector<rectanglef> out;
    BeginSpreadPolygon(toPointf(polygon), &out, rectanglef(0, 0, 512, 512), tolerance);
    ASSERT_FALSE(out.empty());
    expectWellFormedCover(out);
    for (const rectanglef& r : out) {
        // Corners are always tested; in between, up to tolerance percent of the
        // cover's samples (3 units apart) may miss. On a finer grid a notch that
        // falls between those samples shows too, hence the extra 10 percent.
        int misses = 0;
        const int steps = 24;
        for (int i = 0; i <= steps; ++i) {
            for (int j = 0; j <= steps; ++j) {
                const double x = r.x + r.width * i / steps;
                const double y = r.y + r.height * j / steps;
                if (!geometry_test::referenceInside(polygon, x, y) &&
                    geometry_test::distanceToBoundary(polygon, x, y) > 1e-3) {
                    ++misses;
                }
            }
        }
        const double share = 100.0 * misses / ((steps + 1) * (steps + 1));
        EXPECT_LE(share, tolerance + 10.0) << "rectangle " << r.x << "," << r.y << " " << r.width << "x" << r.height;
    }
}

INSTANTIATE_TEST_SUITE_P(Seeded, GeometrySpreadProperties,
                         ::testing::Combine(::testing::Values(11u, 12u, 13u), ::testing::Values(0, 10)));

}  // namespace
