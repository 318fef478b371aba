#include <tessel/geometry/bounding_box.h>
#include <tessel/geometry/hatch_fill.h>

#include "random_polygon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>

namespace {

using Rows = std::vector<std::vector<LineSegment>>;
using geometry_test::distanceToBoundary;
using geometry_test::randomStarPolygon;
using geometry_test::referenceInside;

// Owns a fill result for the length of a test.
struct Fill {
    Fill(const std::vector<Vector2f>& polygon, float spacing) : rows(FragmentToLines(polygon, spacing)) {}
    ~Fill() { Free(rows); }
    Rows* rows;
};

const std::vector<Vector2f> kSquare{Vector2f(0, 0), Vector2f(10, 0), Vector2f(10, 10), Vector2f(0, 10)};

TEST(GeometryHatchFill, SquareRowsRunAlongDiagonals) {
    Fill fill(kSquare, 2.0f);
    ASSERT_NE(fill.rows, nullptr);
    // Lines x + y = 2 .. 18; x + y = 0 and 20 only touch a corner.
    ASSERT_EQ(fill.rows->size(), 9u);
    for (std::size_t k = 0; k < 9; ++k) {
        const float c = 2.0f * static_cast<float>(k + 1);
        const auto& row = (*fill.rows)[k];
        ASSERT_EQ(row.size(), 1u) << "row " << k;
        const LineSegment& s = row[0];
        EXPECT_EQ(s.start.x, std::max(0.0f, c - 10));
        EXPECT_EQ(s.start.y, std::min(10.0f, c));
        EXPECT_EQ(s.end.x, std::min(10.0f, c));
        EXPECT_EQ(s.end.y, std::max(0.0f, c - 10));
    }
}

TEST(GeometryHatchFill, ConcavePolygonGivesTwoSegmentsPerCrossingRow) {
    const std::vector<Vector2f> u{Vector2f(0, 0),   Vector2f(30, 0),  Vector2f(30, 30), Vector2f(20, 30),
                                  Vector2f(20, 10), Vector2f(10, 10), Vector2f(10, 30), Vector2f(0, 30)};
    Fill fill(u, 3.0f);
    std::size_t split = 0;
    for (const auto& row : *fill.rows) {
        ASSERT_FALSE(row.empty());
        for (std::size_t i = 0; i + 1 < row.size(); ++i) EXPECT_LE(row[i].end.x, row[i + 1].start.x);
        if (row.size() == 2) ++split;
        EXPECT_LE(row.size(), 2u);
    }
    EXPECT_GT(split, 3u);
}

TEST(GeometryHatchFill, DegenerateInputsGiveEmptyResult) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float spacing : {0.0f, -1.0f, -0.0f, nan, std::numeric_limits<float>::infinity()}) {
        Fill fill(kSquare, spacing);
        ASSERT_NE(fill.rows, nullptr);
        EXPECT_TRUE(fill.rows->empty()) << spacing;
    }
    for (const auto& polygon : {std::vector<Vector2f>{}, std::vector<Vector2f>{Vector2f(1, 1)},
                                std::vector<Vector2f>{Vector2f(0, 0), Vector2f(10, 10)}}) {
        Fill fill(polygon, 1.0f);
        ASSERT_NE(fill.rows, nullptr);
        EXPECT_TRUE(fill.rows->empty());
    }
    // A polygon smaller than a unit yields no piece of length one.
    Fill tiny({Vector2f(5, 5), Vector2f(5.5f, 5), Vector2f(5.5f, 5.5f)}, 0.1f);
    EXPECT_TRUE(tiny.rows->empty());
}

TEST(GeometryHatchFill, SpacingLostInRoundingEndsInsteadOfLooping) {
    // At 1e9 a float step of 1 vanishes; the walk could never reach its end.
    const std::vector<Vector2f> distant{Vector2f(1e9f, 1e9f), Vector2f(1e9f + 512, 1e9f), Vector2f(1e9f, 1e9f + 512)};
    Fill fill(distant, 1.0f);
    ASSERT_NE(fill.rows, nullptr);
    EXPECT_TRUE(fill.rows->empty());
    // Non-finite coordinates are no reason to hang or crash either.
    Fill odd({Vector2f(0, 0), Vector2f(std::nanf(""), 5), Vector2f(10, 10)}, 1.0f);
    EXPECT_NE(odd.rows, nullptr);
}

// Far from the origin with a fractional spacing the two walking points
// collect different rounding, so the scan line is no longer exactly
// x + y = constant. Every step whose line clearly crosses the polygon must
// still give its row: the piece of the segment between the walking points
// inside the polygon. The hexagon has no edge on its bounding box, so the
// walking points never sit on an edge (where rounding decides).
TEST(GeometryHatchFill, FarFromOriginEveryCrossingStepHasItsRow) {
    struct Case {
        float x0, y0, spacing;
    };
    for (const Case& c : {Case{100, 20000, 0.1f}, Case{100, 30000, 0.3f}, Case{100, 20000, 0.45f}}) {
        std::vector<Vector2f> hexagon;
        for (const auto& [dx, dy] : {std::pair{300, 0}, {1000, 100}, {1200, 700}, {800, 1200}, {100, 1000}, {0, 400}}) {
            hexagon.emplace_back(c.x0 + static_cast<float>(dx), c.y0 + static_cast<float>(dy));
        }
        Fill fill(hexagon, c.spacing);
        const float s = c.spacing;
        const float xEnd = (1200 + 2 * s) + (c.x0 - s);
        const float yEnd = 2 * s + 1200 + (c.y0 - s);
        Vector2f p(c.x0, c.y0);
        Vector2f q(c.x0, c.y0);
        std::size_t next = 0;
        std::size_t expected = 0;
        const auto closeTo = [](Vector2f a, Vector2f b) {
            return std::fabs(a.x - b.x) < 0.05f && std::fabs(a.y - b.y) < 0.05f;
        };
        while (p.y < yEnd || p.x < xEnd || q.y < yEnd || q.x < xEnd) {
            // Clip P-Q to the counter-clockwise hexagon in double (Cyrus-Beck).
            const double dx = static_cast<double>(q.x) - p.x;
            const double dy = static_cast<double>(q.y) - p.y;
            double t0 = 0, t1 = 1;
            for (std::size_t i = 0; i < hexagon.size(); ++i) {
                const Vector2f& a = hexagon[i];
                const Vector2f& b = hexagon[(i + 1) % hexagon.size()];
                const double ex = static_cast<double>(b.x) - a.x, ey = static_cast<double>(b.y) - a.y;
                // Inside is left of the edge: ex * (y - a.y) - ey * (x - a.x) >= 0.
                const double at0 = ex * (p.y - static_cast<double>(a.y)) - ey * (p.x - static_cast<double>(a.x));
                const double slope = ex * dy - ey * dx;
                if (slope == 0) {
                    if (at0 < 0) t1 = -1;
                } else if (slope > 0) {
                    t0 = std::max(t0, -at0 / slope);
                } else {
                    t1 = std::min(t1, -at0 / slope);
                }
            }
            // Pieces whose middle lies within a unit or two of the boundary are
            // left to the midpoint test on whole units.
            const double tm = (t0 + t1) / 2;
            if (t1 - t0 > 0 && distanceToBoundary(hexagon, p.x + tm * dx, p.y + tm * dy) > 2) {
                ++expected;
                // The row runs from its end with the smaller x.
                const double ta = dx >= 0 ? t0 : t1, tb = dx >= 0 ? t1 : t0;
                const Vector2f from(static_cast<float>(p.x + ta * dx), static_cast<float>(p.y + ta * dy));
                const Vector2f to(static_cast<float>(p.x + tb * dx), static_cast<float>(p.y + tb * dy));
                // Rows of steps too short to judge may lie between; skip over them.
                while (next < fill.rows->size() && !closeTo((*fill.rows)[next][0].start, from)) ++next;
                ASSERT_LT(next, fill.rows->size()) << "no row for the step at P = " << p.ToString();
                ASSERT_EQ((*fill.rows)[next].size(), 1u);
                EXPECT_TRUE(closeTo((*fill.rows)[next][0].end, to))
                    << (*fill.rows)[next][0].end.ToString() << " " << to.ToString();
                ++next;
            }
            if (p.y < yEnd)
                p.y += s;
            else
                p.x += s;
            if (q.x < xEnd)
                q.x += s;
            else
                q.y += s;
        }
        EXPECT_GT(expected, static_cast<std::size_t>(1500 / s));
    }
}

TEST(GeometryHatchFill, FreeAcceptsNullAndClearsPointer) {
    Rows* rows = nullptr;
    Free(rows);
    EXPECT_EQ(rows, nullptr);
    rows = FragmentToLines(kSquare, 1.0f);
    EXPECT_FALSE(rows->empty());
    Free(rows);
    EXPECT_EQ(rows, nullptr);
}

// The pieces of the line x + y = c inside the polygon, as x ranges,
// computed independently in double.
std::vector<std::pair<double, double>> referencePieces(const std::vector<Vector2f>& polygon, double c) {
    std::vector<double> xs;
    const std::size_t n = polygon.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double x1 = polygon[i].x, y1 = polygon[i].y;
        const double x2 = polygon[(i + 1) % n].x, y2 = polygon[(i + 1) % n].y;
        const double f1 = x1 + y1 - c, f2 = x2 + y2 - c;
        if ((f1 > 0) != (f2 > 0)) xs.push_back(x1 + (x2 - x1) * f1 / (f1 - f2));
    }
    std::sort(xs.begin(), xs.end());
    std::vector<std::pair<double, double>> pieces;
    for (std::size_t i = 0; i + 1 < xs.size(); i += 2) pieces.emplace_back(xs[i], xs[i + 1]);
    return pieces;
}

struct HatchCase {
    std::uint32_t seed;
    int vertices;
    float spacing;
};

class GeometryHatchProperties : public ::testing::TestWithParam<HatchCase> {};

TEST_P(GeometryHatchProperties, RowsAreInsideOrderedEvenlySpacedAndComplete) {
    const HatchCase& p = GetParam();
    const auto polygon = randomStarPolygon(p.seed, p.vertices, Vector2f(600, 500), 80, 400, true);
    const rectanglef box = GetBoundingBox(polygon);
    const double origin = static_cast<double>(box.x) + box.y;
    Fill fill(polygon, p.spacing);
    ASSERT_FALSE(fill.rows->empty());

    std::map<long, const std::vector<LineSegment>*> rowOfLine;
    for (const auto& row : *fill.rows) {
        ASSERT_FALSE(row.empty());
        const double line = static_cast<double>(row[0].start.x) + row[0].start.y;
        // The row lies on x + y = origin + k * spacing for a whole k, later rows further out.
        const double k = (line - origin) / p.spacing;
        ASSERT_NEAR(k, std::round(k), 1e-3) << "line " << line;
        ASSERT_TRUE(rowOfLine.empty() || rowOfLine.rbegin()->first < std::lround(k)) << "line " << line;
        rowOfLine[std::lround(k)] = &row;

        for (std::size_t i = 0; i < row.size(); ++i) {
            const LineSegment& s = row[i];
            EXPECT_NEAR(static_cast<double>(s.end.x) + s.end.y, line, 1e-3);
            EXPECT_LT(s.start.x, s.end.x);
            if (i + 1 < row.size()) EXPECT_LE(s.end.x, row[i + 1].start.x);
            const double mx = (static_cast<double>(s.start.x) + s.end.x) / 2;
            const double my = (static_cast<double>(s.start.y) + s.end.y) / 2;
            // The midpoint test works on whole units, so a verdict may be off by one unit in x and y.
            EXPECT_TRUE(referenceInside(polygon, mx, my) || distanceToBoundary(polygon, mx, my) < std::sqrt(2.0))
                << "midpoint (" << mx << ", " << my << ")";
        }
    }

    // Completeness: on lines without thin features, every piece whose middle
    // lies clearly inside is in the fill. Left out are lines through a vertex
    // (an edge lying on such a line leaves an unpaired point and the piece
    // after it is dropped) and lines with pieces or gaps narrower than 3 units
    // (the midpoint test works on whole units and may misjudge them, which
    // shifts the pairing around them).
    const long lastLine = std::lround((box.width + box.height) / p.spacing);
    std::size_t checked = 0;
    for (long k = 1; k <= lastLine; ++k) {
        const double line = origin + static_cast<double>(k) * p.spacing;
        const bool throughVertex = std::any_of(polygon.begin(), polygon.end(), [&](const Vector2f& v) {
            return std::fabs(static_cast<double>(v.x) + v.y - line) < 1e-3;
        });
        const auto pieces = referencePieces(polygon, line);
        bool thin = false;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            thin =
                thin || pieces[i].second - pieces[i].first < 3 || (i > 0 && pieces[i].first - pieces[i - 1].second < 3);
        }
        if (throughVertex || thin) continue;
        ++checked;
        for (const auto& [from, to] : pieces) {
            const double mx = (from + to) / 2;
            if (distanceToBoundary(polygon, mx, line - mx) < 1.5) continue;
            const auto found = rowOfLine.find(k);
            ASSERT_NE(found, rowOfLine.end()) << "no row for line " << line;
            const auto& row = *found->second;
            EXPECT_TRUE(std::any_of(row.begin(), row.end(),
                                    [&](const LineSegment& s) {
                                        return std::fabs(s.start.x - from) < 1e-2 && std::fabs(s.end.x - to) < 1e-2;
                                    }))
                << "piece " << from << ".." << to << " of line " << line << " missing";
        }
    }
    EXPECT_GT(checked, static_cast<std::size_t>(lastLine) / 4) << "too few lines checked to mean anything";
}

INSTANTIATE_TEST_SUITE_P(Seeded, GeometryHatchProperties,
                         ::testing::Values(HatchCase{1, 12, 7.0f}, HatchCase{2, 40, 5.0f}, HatchCase{3, 200, 11.5f},
                                           HatchCase{4, 7, 3.0f}, HatchCase{5, 500, 20.0f}, HatchCase{6, 60, 1.0f}));

}  // namespace
