#include <tessel/geometry/float_compare.h>
#include <tessel/geometry/vector2f.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

void expectVector(Vector2f v, float x, float y) {
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
}

TEST(GeometryTolerance, AbsoluteEpsilon) {
    EXPECT_TRUE(fltEquals(0.5f, std::nextafter(0.5f, 1.0f)));
    EXPECT_FALSE(fltEquals(1.0f, std::nextafter(1.0f, 2.0f)));  // exactly epsilon apart: not below it
    EXPECT_FALSE(fltEquals(1000.0f, 1000.0001f));               // one ulp apart at 1000 is far beyond epsilon
    EXPECT_FALSE(fltEquals(0.0f, 2e-7f));
    EXPECT_TRUE(dblEquals(0.1 + 0.2, 0.3));
    EXPECT_FALSE(dblEquals(1e6, std::nextafter(1e6, 2e6)));
    EXPECT_FALSE(fltEquals(std::nanf(""), std::nanf("")));
}

TEST(GeometryVector, ComparisonIsTolerantAndNegateIsACopy) {
    const Vector2f a(1.5f, -2.0f);
    expectVector(a.Negate(), -1.5f, 2.0f);
    expectVector(a, 1.5f, -2.0f);
    EXPECT_TRUE(Vector2f(0.5f, 2.0f) == Vector2f(0.5f + 5e-8f, 2.0f));
    EXPECT_FALSE(Vector2f(1.0f, 2.0f) == Vector2f(1.0f, 2.001f));
    EXPECT_TRUE(std::isinf((a / 0.0f).x));  // not guarded, and no trap
}

TEST(GeometryVector, ConversionsRoundToNearestFloat) {
    const Vector2f fromDouble(RPOINTF(0.1, 16777217.0));
    EXPECT_EQ(fromDouble.x, 0.1f);
    EXPECT_EQ(fromDouble.y, 16777216.0f);  // halfway case rounds to even
    const Vector2f fromInt(tagPOINT{16777217, -3});
    EXPECT_EQ(fromInt.x, 16777216.0f);
    EXPECT_EQ(fromInt.y, -3.0f);
    const Vector2f fromPointf(pointf(2.5f, -1.0f));
    expectVector(fromPointf, 2.5f, -1.0f);
    const RPOINTF widened(0.1f, 0.2f);
    EXPECT_EQ(widened.x, static_cast<double>(0.1f));
    const RPOINTF exact(2147483647, -2147483647 - 1);
    EXPECT_EQ(exact.x, 2147483647.0);
    EXPECT_EQ(exact.y, -2147483648.0);
}

TEST(GeometryVector, NormalizeKeepsZeroVector) {
    Vector2f zero;
    zero.Normalize();
    expectVector(zero, 0.0f, 0.0f);
    expectVector(Vector2f::Normalize(Vector2f()), 0.0f, 0.0f);
    Vector2f v(3.0f, -4.0f);
    v.Normalize();
    expectVector(v, 0.6f, -0.8f);
    expectVector(Vector2f::Normalize(Vector2f(0.0f, -7.0f)), 0.0f, -1.0f);
    expectVector(Vector2f::GetLeftNormal(Vector2f(2.0f, 0.0f)), 0.0f, 1.0f);
    expectVector(Vector2f::GetRightNormal(Vector2f(2.0f, 0.0f)), 0.0f, -1.0f);
    expectVector(Vector2f::GetLeftNormal(Vector2f()), 0.0f, 0.0f);
    expectVector(Vector2f::VectorProjection(Vector2f(3, 4), Vector2f(0, 10)), 0.0f, 4.0f);
    EXPECT_FLOAT_EQ(Vector2f::ScalarProjection(Vector2f(3, 4), Vector2f(-2, 0)), -3.0f);
}

TEST(GeometryVector, SignedAngle) {
    EXPECT_FLOAT_EQ(Vector2f::Angle(Vector2f(1, 0), Vector2f(0, 1)), 90.0f);
    EXPECT_FLOAT_EQ(Vector2f::Angle(Vector2f(0, 1), Vector2f(1, 0)), -90.0f);
    EXPECT_FLOAT_EQ(Vector2f::Angle(Vector2f(1, 0), Vector2f(1, 1)), 45.0f);
    EXPECT_FLOAT_EQ(Vector2f::Angle(Vector2f(1, 0), Vector2f(-1, -1)), -135.0f);
    // The collinear and zero cases fall back to comparing unit vectors.
    EXPECT_EQ(Vector2f::Angle(Vector2f(1, 0), Vector2f(2, 0)), 0.0f);
    EXPECT_EQ(Vector2f::Angle(Vector2f(1, 0), Vector2f(-3, 0)), 180.0f);
    EXPECT_EQ(Vector2f::Angle(Vector2f(0, 0), Vector2f(1, 0)), 180.0f);
    EXPECT_EQ(Vector2f::Angle(Vector2f(0, 0), Vector2f(0, 0)), 0.0f);
}

TEST(GeometryVector, UnsignedAngle) {
    EXPECT_FLOAT_EQ(Vector2f::AngleEX(Vector2f(1, 0), Vector2f(0, -1)), 90.0f);
    EXPECT_FLOAT_EQ(Vector2f::AngleEX(Vector2f(1, 0), Vector2f(-1, 0)), 180.0f);
    EXPECT_TRUE(std::isnan(Vector2f::AngleEX(Vector2f(0, 0), Vector2f(1, 0))));
}

TEST(GeometryVector, RotateTurnsTowardPositiveY) {
    const Vector2f r = Vector2f::Rotate(90.0f, Vector2f(0, 0), Vector2f(1, 0));
    EXPECT_NEAR(r.x, 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(r.y, 1.0f);
    const Vector2f about = Vector2f::Rotate(180.0f, Vector2f(10, 10), Vector2f(12, 10));
    EXPECT_NEAR(about.x, 8.0f, 1e-5f);
    EXPECT_NEAR(about.y, 10.0f, 1e-5f);
    const Vector2f back =
        Vector2f::Rotate(-30.0f, Vector2f(1, 2), Vector2f::Rotate(30.0f, Vector2f(1, 2), Vector2f(5, 7)));
    EXPECT_NEAR(back.x, 5.0f, 1e-5f);
    EXPECT_NEAR(back.y, 7.0f, 1e-5f);
}

TEST(GeometryVector, LocationReturnsTruncatedCross) {
    EXPECT_EQ(Vector2f::Location(Vector2f(0, 0), Vector2f(10, 0), Vector2f(5, 3)), 30);
    EXPECT_EQ(Vector2f::Location(Vector2f(0, 0), Vector2f(10, 0), Vector2f(5, -3)), -30);
    EXPECT_EQ(Vector2f::Location(Vector2f(0, 0), Vector2f(10, 0), Vector2f(5, 0.05f)), 0);
    EXPECT_EQ(Vector2f::Location(Vector2f(0, 0), Vector2f(10, 0), Vector2f(5, 0.15f)), 1);
    EXPECT_EQ(Vector2f::Location(Vector2f(0, 0), Vector2f(10, 0), Vector2f(5, -0.15f)), -1);
}

TEST(GeometryVector, PointNearLine) {
    const Vector2f a(0, 0);
    const Vector2f b(10, 0);
    EXPECT_TRUE(Vector2f::IsPointNearbyLine(Vector2f(5, 5), a, b));
    EXPECT_TRUE(Vector2f::IsPointNearbyLine(Vector2f(5, -5), a, b));
    EXPECT_FALSE(Vector2f::IsPointNearbyLine(Vector2f(5, 5.01f), a, b));
    EXPECT_TRUE(Vector2f::IsPointNearbyLine(Vector2f(0, 3), a, b));
    EXPECT_FALSE(Vector2f::IsPointNearbyLine(Vector2f(10.01f, 0), a, b));
    EXPECT_FALSE(Vector2f::IsPointNearbyLine(Vector2f(-0.5f, 1), a, b));
    EXPECT_FALSE(Vector2f::IsPointNearbyLine(Vector2f(0, 0), a, a));  // no line
}

TEST(GeometryVector, PointNearPointAndDistances) {
    EXPECT_TRUE(Vector2f::IsPointNearbyPoint(Vector2f(1, 1), Vector2f(1, 1), 0));
    EXPECT_FALSE(Vector2f::IsPointNearbyPoint(Vector2f(1, 1), Vector2f(1, 1.0001f), 0));
    EXPECT_TRUE(Vector2f::IsPointNearbyPoint(Vector2f(0, 0), Vector2f(3, 4), 5));
    EXPECT_FALSE(Vector2f::IsPointNearbyPoint(Vector2f(0, 0), Vector2f(3, 4), 4));
    EXPECT_FLOAT_EQ(Vector2f::GetDistanceF(Vector2f(1, 1), Vector2f(4, 5)), 5.0f);
    EXPECT_FLOAT_EQ(Vector2f::GetXDistanceF(Vector2f(1, 1), Vector2f(4, 5)), -3.0f);
    EXPECT_FLOAT_EQ(Vector2f::GetYDistanceF(Vector2f(1, 1), Vector2f(4, 5)), -4.0f);
}

TEST(GeometryVector, FlipsAndText) {
    expectVector(Vector2f::FlipH(Vector2f(10, 0), Vector2f(13, 7)), 7.0f, 7.0f);
    expectVector(Vector2f::FlipV(Vector2f(0, 10), Vector2f(3, 13)), 3.0f, 7.0f);
    EXPECT_EQ(Vector2f(1.5f, -2.0f).ToString(), "{1.5 ; -2}");
    EXPECT_EQ(Vector2f(1234567.0f, 0.00001f).ToString(), "{1.23457e+06 ; 1e-05}");
}

}  // namespace
