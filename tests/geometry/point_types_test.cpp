#include <tessel/geometry/calibration_point.h>
#include <tessel/geometry/line_segment.h>
#include <tessel/geometry/pointf.h>
#include <tessel/geometry/rectangle.h>
#include <tessel/geometry/rpointf.h>
#include <tessel/geometry/tag_point.h>
#include <tessel/geometry/vector2f.h>

#include <gtest/gtest.h>

#include <cmath>
#include <type_traits>

namespace {

// Sequence elements copy these with memcpy-like semantics and korvan lays
// them out in arrays: they must stay plain values.
static_assert(std::is_trivially_copyable_v<RPOINTF>);
static_assert(std::is_trivially_copyable_v<pointf>);
static_assert(std::is_trivially_copyable_v<Vector2f>);
static_assert(std::is_trivially_copyable_v<LineSegment>);
static_assert(std::is_trivially_copyable_v<rectanglef>);
static_assert(std::is_trivially_copyable_v<rectangle>);
static_assert(std::is_trivially_copyable_v<CalibrationPoint>);
static_assert(sizeof(Vector2f) == 2 * sizeof(float) && sizeof(pointf) == sizeof(Vector2f));
static_assert(sizeof(RPOINTF) == 2 * sizeof(double));
static_assert(sizeof(tagPOINT) == 8);

TEST(GeometryPointf, DistanceAndTolerantEquality) {
    const pointf p(3.0f, 4.0f);
    EXPECT_FLOAT_EQ(p.Distancef(pointf(0, 0)), 5.0f);
    EXPECT_FLOAT_EQ(pointf(1, 1).YDistance(p), -3.0f);
    EXPECT_TRUE(pointf(0.5f, 1.0f) == pointf(std::nextafter(0.5f, 1.0f), 1.0f));
    EXPECT_FALSE(pointf(1.0f, 1.0f) == pointf(std::nextafter(1.0f, 2.0f), 1.0f));
}

TEST(GeometrySegment, LengthTruncatesAndMidIsHalfway) {
    EXPECT_EQ(LineSegment(Vector2f(0, 0), Vector2f(0.9f, 0.9f)).Length(), 1);
    EXPECT_EQ(LineSegment(Vector2f(0, 0), Vector2f(0.5f, 0.5f)).Length(), 0);
    EXPECT_EQ(LineSegment(Vector2f(10, 10), Vector2f(7, 6)).Length(), 5);
    EXPECT_EQ(LineSegment().Length(), 0);
    const Vector2f mid = LineSegment(Vector2f(-2, 4), Vector2f(6, 0)).Mid();
    EXPECT_FLOAT_EQ(mid.x, 2.0f);
    EXPECT_FLOAT_EQ(mid.y, 2.0f);
}

}  // namespace
