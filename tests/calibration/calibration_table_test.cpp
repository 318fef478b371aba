#include <korvan/calibration/calibration.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

std::vector<float> Xs(const Calibration& c) {
    std::vector<float> out;
    for (unsigned int i = 0; i < c.pointCount; ++i) out.push_back(c.calibrationPoints[i].device.x);
    return out;
}
std::vector<float> Ys(const Calibration& c) {
    std::vector<float> out;
    for (unsigned int i = 0; i < c.pointCount; ++i) out.push_back(c.calibrationPoints[i].camera.y);
    return out;
}

TEST(CalibrationGrid, GridsRunRowByRowWithXFastest) {
    Calibration c;
    EXPECT_EQ(c.pointCount, 16u);
    EXPECT_EQ(c.scanStepSize, 100u);
    const float g[] = {0, 21845, 43690, 65535};
    for (unsigned int i = 0; i < 16; ++i) {
        EXPECT_EQ(c.calibrationPoints[i].device.x, g[i % 4]) << i;
        EXPECT_EQ(c.calibrationPoints[i].device.y, g[i / 4]) << i;
        EXPECT_EQ(c.calibrationPoints[i].camera.x, g[i % 4]) << i;
        EXPECT_EQ(c.calibrationPoints[i].camera.y, g[i / 4]) << i;
    }
    ASSERT_EQ(c.Init(9), 0u);
    EXPECT_EQ(Xs(c), (std::vector<float>{0, 32767, 65535, 0, 32767, 65535, 0, 32767, 65535}));
    EXPECT_EQ(Ys(c), (std::vector<float>{0, 0, 0, 32767, 32767, 32767, 65535, 65535, 65535}));
    ASSERT_EQ(c.Init(4), 0u);
    EXPECT_EQ(Xs(c), (std::vector<float>{0, 65535, 0, 65535}));
    ASSERT_EQ(c.Init(3), 0u);
    EXPECT_EQ(Xs(c), (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(Ys(c), (std::vector<float>{0, 89522, 179044}));
    ASSERT_EQ(c.Init(1), 0u);  // no spacing to divide by: the point starts at the origin
    EXPECT_EQ(c.calibrationPoints[0].device.x, 0.0f);
    EXPECT_EQ(c.calibrationPoints[0].camera.y, 0.0f);
}

TEST(CalibrationGrid, InvalidCountsLeaveTheTable) {
    Calibration c(9);
    c.scanStepSize = 7;
    for (unsigned int bad : {0u, 2u, 5u, 15u}) {
        EXPECT_EQ(c.Init(bad), 2u) << bad;
        EXPECT_EQ(c.pointCount, 9u);
        EXPECT_EQ(c.calibrationPoints[1].device.x, 32767.0f);
    }
    EXPECT_EQ(c.scanStepSize, 7u);
    EXPECT_EQ(Calibration(7).pointCount, 16u);
}

TEST(CalibrationPoints, SetRejectsOutOfRangeValues) {
    Calibration c;
    EXPECT_EQ(c.SetCalibrationPoint(16, RPOINTF(1.0, 1.0), RPOINTF(1.0, 1.0)), 2u);
    EXPECT_EQ(c.SetCalibrationPoint(0, RPOINTF(1.0, 1.0), RPOINTF(65535.5, 1.0)), 2u);
    EXPECT_EQ(c.SetCalibrationPoint(0, RPOINTF(-1.0, 1.0), RPOINTF(1.0, 1.0)), 2u);
    EXPECT_EQ(c.SetCalibrationPoint(0, RPOINTF(1.0, 1.0), RPOINTF(1.0, -0.5)), 2u);
    EXPECT_EQ(c.SetCalibrationPoint(0, RPOINTF(std::nan(""), 1.0), RPOINTF(1.0, 1.0)), 2u);
    EXPECT_EQ(c.SetCalibrationPoint(0, RPOINTF(1.0, HUGE_VAL), RPOINTF(1.0, 1.0)), 2u);
    EXPECT_EQ(c.calibrationPoints[0].device.x, 0.0f);
    EXPECT_EQ(c.SetCalibrationPoint(15, RPOINTF(640.25, 480.0), RPOINTF(65535.0, 0.0)), 0u);
    EXPECT_EQ(c.calibrationPoints[15].camera.x, 640.25f);
    EXPECT_EQ(c.calibrationPoints[15].device.y, 0.0f);
}

// Device positions are whole mirror steps; camera points keep what the camera measured.
TEST(CalibrationPoints, CloneKeepsSubPixelCameraPointsAndDropsInvalidPoints) {
    Calibration c;
    c.scanStepSize = 250;
    c.calibrationPoints[1] = CalibrationPoint(Vector2f(10.9f, 20.5f), Vector2f(30.99f, 40.1f));
    c.calibrationPoints[2] = CalibrationPoint(Vector2f(-3.0f, 1.0f), Vector2f(5.0f, 5.0f));     // negative camera
    c.calibrationPoints[3] = CalibrationPoint(Vector2f(1.0f, 1.0f), Vector2f(70000.0f, 5.0f));  // beyond range
    c.calibrationPoints[4] = CalibrationPoint(Vector2f(-0.5f, 1.25f), Vector2f(5.0f, 5.0f));    // counts as 0
    c.calibrationPoints[5] = CalibrationPoint(Vector2f(INFINITY, 1.0f), Vector2f(5.0f, 5.0f));  // not finite
    c.calibrationPoints[6] = CalibrationPoint(Vector2f(1.0f, 1.0f), Vector2f(65535.9f, 5.0f));  // truncates into range
    std::unique_ptr<Calibration> copy(c.Clone());
    EXPECT_EQ(copy->scanStepSize, 250u);
    EXPECT_EQ(copy->calibrationPoints[1].camera.x, 10.9f);
    EXPECT_EQ(copy->calibrationPoints[1].camera.y, 20.5f);
    EXPECT_EQ(copy->calibrationPoints[1].device, Vector2f(30, 40));
    EXPECT_EQ(copy->calibrationPoints[2].device, Vector2f(43690, 0));  // grid value kept
    EXPECT_EQ(copy->calibrationPoints[3].device, Vector2f(65535, 0));
    EXPECT_EQ(copy->calibrationPoints[4].camera.x, 0.0f);
    EXPECT_EQ(copy->calibrationPoints[4].camera.y, 1.25f);
    EXPECT_EQ(copy->calibrationPoints[5].device, Vector2f(21845, 21845));
    EXPECT_EQ(copy->calibrationPoints[6].device, Vector2f(65535, 5));
    EXPECT_NE(copy->calibrationPoints, c.calibrationPoints);
}

TEST(CalibrationPoints, CopiesOwnTheirTablesAndCompareByContent) {
    Calibration a(9);
    Calibration b(a);
    EXPECT_TRUE(a == b);
    b.SetCalibrationPoint(4, RPOINTF(1.0, 2.0), RPOINTF(3.0, 4.0));
    EXPECT_FALSE(a == b);
    a = b;
    EXPECT_TRUE(a == b);
    EXPECT_NE(a.calibrationPoints, b.calibrationPoints);
    a = a;
    EXPECT_TRUE(a == b);
    b.scanStepSize = 5;
    EXPECT_FALSE(a == b);
    EXPECT_FALSE(Calibration(4) == Calibration(9));
}

TEST(CalibrationMapping, IdentityGridMapsBothWaysWithTruncation) {
    Calibration c;
    RPOINTF d = c.DeviceCoordinates(RPOINTF(1000.7, 30000.2));
    EXPECT_EQ(d.x, 1000.0);
    EXPECT_EQ(d.y, 30000.0);
    RPOINTF back = c.CameraCoordinates(RPOINTF(65535.0, 12.9));
    EXPECT_EQ(back.x, 65535.0);
    EXPECT_EQ(back.y, 12.0);
}

TEST(CalibrationMapping, ScaledGridDoublesCameraCoordinates) {
    Calibration c(9);
    for (unsigned int i = 0; i < 9; ++i) {
        double cx = (i % 3) * 100.0, cy = (i / 3) * 100.0;
        ASSERT_EQ(c.SetCalibrationPoint(i, RPOINTF(cx, cy), RPOINTF(2 * cx + 1000, 2 * cy + 500)), 0u);
    }
    RPOINTF d = c.DeviceCoordinates(RPOINTF(150.0, 75.0));
    EXPECT_EQ(d.x, 1300.0);
    EXPECT_EQ(d.y, 650.0);
    RPOINTF cam = c.CameraCoordinates(RPOINTF(1300.0, 650.0));
    EXPECT_EQ(cam.x, 150.0);
    EXPECT_EQ(cam.y, 75.0);
}

}  // namespace
