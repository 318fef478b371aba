#include <tessel/geometry/coordinate_transformation.h>

#include <gtest/gtest.h>

#include <random>

namespace {

using CT = CoordinateTransformation;

std::vector<CalibrationPoint> scaledGrid(int n, float spacing, float scale) {
    std::vector<CalibrationPoint> grid;
    for (int row = 0; row < n; ++row) {
        for (int col = 0; col < n; ++col) {
            const Vector2f camera(col * spacing, row * spacing);
            grid.emplace_back(camera, camera * scale);
        }
    }
    return grid;
}

TEST(GeometryTransformation, RejectsTablesOfOtherSizes) {
    std::vector<CalibrationPoint> table = scaledGrid(3, 10, 2);
    for (unsigned count : {0u, 1u, 2u, 5u, 8u}) {
        const Vector2f r = CT::TransformCameraToDeviceCoordinates(Vector2f(5, 5), table.data(), count);
        EXPECT_EQ(r.x, 0.0f) << count;
        EXPECT_EQ(r.y, 0.0f) << count;
    }
    EXPECT_FLOAT_EQ(CT::TransformCameraToDeviceCoordinates(Vector2f(5, 5), table.data(), 4).x, 10.0f);
    EXPECT_FLOAT_EQ(CT::TransformCameraToDeviceCoordinates(Vector2f(5, 5), table.data(), 9).y, 10.0f);
    EXPECT_EQ(CT::TransformCameraToDeviceCoordinates(Vector2f(5, 5), nullptr, 9).x, 0.0f);
}

TEST(GeometryTransformation, ThreeEntriesDefineOneAffineMap) {
    CalibrationPoint table[] = {CalibrationPoint(Vector2f(0, 0), Vector2f(10, 20)),
                                CalibrationPoint(Vector2f(1, 0), Vector2f(12, 20)),
                                CalibrationPoint(Vector2f(0, 1), Vector2f(10, 23))};
    Vector2f d = CT::TransformCameraToDeviceCoordinates(Vector2f(1, 1), table, 3);
    EXPECT_FLOAT_EQ(d.x, 12.0f);
    EXPECT_FLOAT_EQ(d.y, 23.0f);
    d = CT::TransformCameraToDeviceCoordinates(Vector2f(-1, 2), table, 3);
    EXPECT_FLOAT_EQ(d.x, 8.0f);
    EXPECT_FLOAT_EQ(d.y, 26.0f);
    const Vector2f c = CT::TransformDeviceToCameraCoordinates(Vector2f(12, 23), table, 3);
    EXPECT_FLOAT_EQ(c.x, 1.0f);
    EXPECT_FLOAT_EQ(c.y, 1.0f);
}

TEST(GeometryTransformation, ScaledGridExtrapolatesLinearly) {
    std::vector<CalibrationPoint> grid = scaledGrid(3, 500, 2);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> coord(-800, 1800);  // grid spans 0..1000
    for (int i = 0; i < 500; ++i) {
        const Vector2f p(coord(rng), coord(rng));
        const Vector2f d = CT::TransformCameraToDeviceCoordinates(p, grid.data(), 9);
        EXPECT_NEAR(d.x, 2 * p.x, 1e-3f);
        EXPECT_NEAR(d.y, 2 * p.y, 1e-3f);
        const Vector2f c = CT::TransformDeviceToCameraCoordinates(p, grid.data(), 9);
        EXPECT_NEAR(c.x, p.x / 2, 1e-3f);
        EXPECT_NEAR(c.y, p.y / 2, 1e-3f);
    }
}

TEST(GeometryTransformation, TableEntriesMapToTheirTargets) {
    for (int n : {2, 4, 10}) {
        std::mt19937 rng(static_cast<unsigned>(n));
        std::uniform_real_distribution<float> jitter(-40, 40);
        std::vector<CalibrationPoint> grid;
        const float step = 65535.0f / static_cast<float>(n - 1);
        for (int row = 0; row < n; ++row) {
            for (int col = 0; col < n; ++col) {
                const Vector2f camera(col * 300.0f + jitter(rng), row * 300.0f + jitter(rng));
                const Vector2f device(col * step + jitter(rng), row * step * 0.9f + jitter(rng));
                grid.emplace_back(camera, device);
            }
        }
        for (const CalibrationPoint& entry : grid) {
            const Vector2f d = CT::TransformCameraToDeviceCoordinates(entry.camera, grid.data(), n * n);
            EXPECT_NEAR(d.x, entry.device.x, 0.02f);
            EXPECT_NEAR(d.y, entry.device.y, 0.02f);
            const Vector2f c = CT::TransformDeviceToCameraCoordinates(entry.device, grid.data(), n * n);
            EXPECT_NEAR(c.x, entry.camera.x, 1e-3f);
            EXPECT_NEAR(c.y, entry.camera.y, 1e-3f);
        }
    }
}

TEST(GeometryTransformation, NeighboursFollowThePointsSide) {
    // Each cell of a 2 x 2 grid gets its own map: the right half is stretched.
    CalibrationPoint table[] = {
        CalibrationPoint(Vector2f(0, 0), Vector2f(0, 0)), CalibrationPoint(Vector2f(10, 0), Vector2f(10, 0)),
        CalibrationPoint(Vector2f(0, 10), Vector2f(0, 10)), CalibrationPoint(Vector2f(10, 10), Vector2f(30, 10))};
    // Nearest entry 0: entries 0, 1, 2 give the identity.
    Vector2f d = CT::TransformCameraToDeviceCoordinates(Vector2f(2, 3), table, 4);
    EXPECT_FLOAT_EQ(d.x, 2.0f);
    EXPECT_FLOAT_EQ(d.y, 3.0f);
    // Nearest entry 3, neighbours toward the point 2 and 1: X = 3x + 2y - 20, Y = y.
    d = CT::TransformCameraToDeviceCoordinates(Vector2f(8, 9), table, 4);
    EXPECT_FLOAT_EQ(d.x, 3 * 8.0f + 2 * 9.0f - 20.0f);
    EXPECT_FLOAT_EQ(d.y, 9.0f);
}

}  // namespace
