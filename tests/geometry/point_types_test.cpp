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

TEST(GeometryPointf, Arithmetic) {
  const pointf p(3.0f, 4.0f);
  const pointf o(1.0f, 1.0f);
  EXPECT_FLOAT_EQ((p + o).x, 4.0f);
  EXPECT_FLOAT_EQ((p - o).y, 3.0f);
  EXPECT_FLOAT_EQ((p * 2.0f).y, 8.0f);
  EXPECT_FLOAT_EQ(p * o, 7.0f);
  EXPECT_FLOAT_EQ((p / 2.0f).x, 1.5f);
  EXPECT_FLOAT_EQ(p.Distancef(o), std::sqrt(13.0f));
  EXPECT_FLOAT_EQ(p.XDistance(o), 2.0f);
  EXPECT_FLOAT_EQ(o.YDistance(p), -3.0f);
  EXPECT_TRUE(p == pointf(3.0f + 1e-7f, 4.0f));
  EXPECT_FALSE(p == o);
  EXPECT_EQ(pointf().x, 0.0f);
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

TEST(GeometryRectangle, FieldsInConstructorOrder) {
  const rectanglef f(1.5f, 2.5f, 3.0f, 4.0f);
  EXPECT_EQ(f.x, 1.5f);
  EXPECT_EQ(f.height, 4.0f);
  const rectangle r(-1, 2, 30, 40);
  EXPECT_EQ(r.x, -1);
  EXPECT_EQ(r.width, 30);
  EXPECT_EQ(rectangle().height, 0);
  EXPECT_EQ(rectanglef().width, 0.0f);
}

TEST(GeometryCalibrationPoint, HoldsCameraThenDevice) {
  const CalibrationPoint p(Vector2f(1, 2), Vector2f(3, 4));
  const CalibrationPoint copy = p.Clone();
  EXPECT_EQ(copy.camera.y, 2.0f);
  EXPECT_EQ(copy.device.x, 3.0f);
  EXPECT_EQ(CalibrationPoint().device.y, 0.0f);
}

}  // namespace
