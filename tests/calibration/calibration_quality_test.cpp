// The calibration quality report on tables whose faults are known.
#include <korvan/calibration/calibration_quality.h>

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>

namespace {

constexpr double kPi = 3.14159265358979323846;

/// A 4 x 4 table over device positions 4000 .. 61534 seen by a camera turned by 3 degrees, at
/// 0.0125 pixels per device unit, with a mild barrel of lens distortion.
Calibration CameraLikeTable() {
    Calibration table(16);
    for (unsigned int i = 0; i < 16; ++i) {
        const double dx = 4000 + (i % 4) * 19178.0, dy = 4000 + (i / 4) * 19178.0;
        const double a = 3 * kPi / 180, sx = (dx - 32767.5) * 0.0125, sy = (dy - 32767.5) * 0.0125;
        const double ux = sx * std::cos(a) - sy * std::sin(a), uy = sx * std::sin(a) + sy * std::cos(a);
        const double grow = 1 + 0.005 * (ux * ux + uy * uy) / (512.0 * 512.0);
        table.calibrationPoints[i] =
            CalibrationPoint(Vector2f(float(640 + ux * grow), float(512 + uy * grow)), Vector2f(float(dx), float(dy)));
    }
    return table;
}

TEST(CalibrationQuality, RecoversTheAffinePartOfAnAffineTable) {
    struct Case {
        double scaleX, scaleY, degrees;  // a negative scaleY mirrors
    };
    for (const Case c : {Case{1, 1, 0}, Case{40, 60, 30}, Case{50, -50, -100}, Case{80, 79, 3}}) {
        Calibration table(9);
        const double cs = std::cos(c.degrees * kPi / 180), sn = std::sin(c.degrees * kPi / 180);
        for (unsigned int i = 0; i < 9; ++i) {
            const double x = 100 + (i % 3) * 200.0, y = 50 + (i / 3) * 150.0;
            const double dx = 30000 + cs * c.scaleX * (x - 300) * 0.1 - sn * c.scaleY * (y - 200) * 0.1;
            const double dy = 30000 + sn * c.scaleX * (x - 300) * 0.1 + cs * c.scaleY * (y - 200) * 0.1;
            table.calibrationPoints[i] = CalibrationPoint(Vector2f(float(x), float(y)), Vector2f(float(dx), float(dy)));
        }
        const CalibrationQuality q = AssessCalibration(table);
        ASSERT_EQ(q.result, 0u);
        EXPECT_NEAR(q.scaleX, c.scaleX * 0.1, 1e-3) << c.degrees;
        EXPECT_NEAR(q.scaleY, std::fabs(c.scaleY) * 0.1, 1e-3) << c.degrees;
        EXPECT_NEAR(q.rotationDegrees, c.degrees, 1e-3);
        EXPECT_NEAR(q.skewDegrees, 0, 1e-3);
        EXPECT_EQ(q.mirrored, c.scaleY < 0);
        EXPECT_LT(q.affineMaxDeviation, 0.05);
        EXPECT_LT(q.leaveOneOutMax, 0.05);
        EXPECT_TRUE(q.foldedCells.empty()) << "a mirrored camera folds nothing";
        EXPECT_TRUE(q.LooksSound());
    }
}

TEST(CalibrationQuality, ACameraWithMildDistortionPasses) {
    const CalibrationQuality q = AssessCalibration(CameraLikeTable());
    EXPECT_EQ(q.gridSize, 4u);
    EXPECT_NEAR(q.gridSpacing, 19178, 1);
    EXPECT_NEAR(q.rotationDegrees, -3, 0.05);
    EXPECT_GT(q.affineMaxDeviation, 10) << "the distortion is there";
    EXPECT_TRUE(q.LooksSound()) << q.leaveOneOutMax;
}

TEST(CalibrationQuality, EverySwappedPairIsCaughtAndOnlyItsCellsFold) {
    for (unsigned int i = 0; i < 16; ++i) {
        for (unsigned int j = i + 1; j < 16; ++j) {
            Calibration table = CameraLikeTable();
            std::swap(table.calibrationPoints[i].camera, table.calibrationPoints[j].camera);
            const CalibrationQuality q = AssessCalibration(table);
            SCOPED_TRACE(::testing::Message() << "swapped " << i << " and " << j);
            EXPECT_FALSE(q.LooksSound());
            // A corner swapped with its diagonal neighbour leaves three points that a mirrored
            // map fits exactly, so only the fold shows it.
            const bool bothStandOut = q.points[i].leaveOneOutDevice > 0.25 * q.gridSpacing &&
                                      q.points[j].leaveOneOutDevice > 0.25 * q.gridSpacing;
            EXPECT_TRUE(bothStandOut || !q.foldedCells.empty());
            const bool neighbours = (j == i + 1 && i % 4 != 3) || j == i + 4;
            if (neighbours) EXPECT_FALSE(q.foldedCells.empty());
            for (unsigned int cell : q.foldedCells) {
                const std::set<unsigned int> corners{cell, cell + 1, cell + 4, cell + 5};
                EXPECT_TRUE(corners.count(i) || corners.count(j)) << "cell " << cell;
            }
        }
    }
}

TEST(CalibrationQuality, TablesWithoutAGrid) {
    Calibration three(3);
    three.SetCalibrationPoint(0, RPOINTF(0.0, 0.0), RPOINTF(100.0, 100.0));
    three.SetCalibrationPoint(1, RPOINTF(10.0, 0.0), RPOINTF(300.0, 100.0));
    three.SetCalibrationPoint(2, RPOINTF(0.0, 10.0), RPOINTF(100.0, 400.0));
    const CalibrationQuality q = AssessCalibration(three);
    EXPECT_EQ(q.result, 0u);
    EXPECT_NEAR(q.scaleY, 30, 1e-9);
    EXPECT_EQ(q.worstPoint, -1) << "three points cannot predict each other";

    Calibration line(4);
    for (unsigned int i = 0; i < 4; ++i) line.SetCalibrationPoint(i, RPOINTF(i * 1.0, i * 2.0), RPOINTF(i * 9.0, 5.0));
    EXPECT_EQ(AssessCalibration(line).result, 2u);
    three.calibrationPoints[1].device.x = NAN;
    EXPECT_EQ(AssessCalibration(three).result, 2u);
}

}  // namespace
