#include <tessel/geometry/bounding_box.h>
#include <tessel/geometry/point_in_polygon.h>

#include <gtest/gtest.h>

namespace {

void expectBox(const rectanglef& r, float x, float y, float w, float h) {
    EXPECT_EQ(r.x, x);
    EXPECT_EQ(r.y, y);
    EXPECT_EQ(r.width, w);
    EXPECT_EQ(r.height, h);
}

TEST(GeometryBoundingBox, TruncatesTowardZero) {
    expectBox(GetBoundingBox(std::vector<Vector2f>{}), 0, 0, 1, 1);
    expectBox(GetBoundingBox(std::vector<pointf>{}), 0, 0, 1, 1);
    expectBox(GetBoundingBox(std::vector<Vector2f>{Vector2f(2.7f, -1.5f)}), 2, -1, 0, 0);
    expectBox(GetBoundingBox(std::vector<pointf>{pointf(5.9f, 3.2f), pointf(-2.5f, 10.99f), pointf(1, -7.8f)}), -2, -7,
              7, 17);
    // A negative fraction just below the truncated minimum still counts, but
    // truncates back onto it.
    expectBox(GetBoundingBox(std::vector<Vector2f>{Vector2f(0, 0), Vector2f(-0.5f, 4)}), 0, 0, 0, 4);
}

class GeometryPointInPolygon : public ::testing::Test {
protected:
    std::vector<pointf> square{pointf(0, 0), pointf(10, 0), pointf(10, 10), pointf(0, 10)};
};

TEST_F(GeometryPointInPolygon, SquareInsideOutsideAndBoundary) {
    EXPECT_TRUE(IsPointInPolygon(pointf(5, 5), square));
    EXPECT_FALSE(IsPointInPolygon(pointf(15, 5), square));
    EXPECT_TRUE(IsPointInPolygon(pointf(10, 5), square));
    EXPECT_TRUE(IsPointInPolygon(pointf(0, 5), square));
    EXPECT_TRUE(IsPointInPolygon(pointf(5, 10), square));
    EXPECT_TRUE(IsPointInPolygon(pointf(0, 0), square));
    EXPECT_TRUE(IsPointInPolygon(pointf(10, 10), square));
    EXPECT_FALSE(IsPointInPolygon(pointf(-5, 5), square));
    EXPECT_FALSE(IsPointInPolygon(pointf(5, -0.5f), square));
    EXPECT_FALSE(IsPointInPolygon(pointf(5, 11), square));
}

TEST_F(GeometryPointInPolygon, DegenerateVertexLists) {
    EXPECT_FALSE(IsPointInPolygon(pointf(0, 0), {}));  // used to throw
    EXPECT_FALSE(IsPointInPolygon(pointf(1, 1), {pointf(1, 1)}));
    EXPECT_TRUE(IsPointInPolygon(pointf(1, 1), {pointf(1, 1), pointf(5, 5)}));  // a vertex
}

TEST_F(GeometryPointInPolygon, ConcaveNotch) {
    // A U shape: the notch between the arms is outside.
    const std::vector<pointf> u{pointf(0, 0),   pointf(30, 0),  pointf(30, 30), pointf(20, 30),
                                pointf(20, 10), pointf(10, 10), pointf(10, 30), pointf(0, 30)};
    EXPECT_TRUE(IsPointInPolygon(pointf(5, 20), u));
    EXPECT_TRUE(IsPointInPolygon(pointf(25, 20), u));
    EXPECT_TRUE(IsPointInPolygon(pointf(15, 5), u));
    EXPECT_FALSE(IsPointInPolygon(pointf(15, 20), u));
    EXPECT_TRUE(IsPointInPolygon(pointf(15, 10), u));  // on the notch's floor
}

}  // namespace
