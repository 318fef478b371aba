// Laser records: defaults, copies that own their calibration, comparison, intensity control.
#include <korvan/device/detail/device_access.h>
#include <korvan/device/korvan.h>
#include <korvan/device/laser.h>

#include <gtest/gtest.h>

#include <utility>

namespace {

Laser Sample() {
    Laser laser;
    laser.id = 7;
    laser.port = LaserOutput3;
    laser.switchOnDelay = 11;
    laser.switchOffDelay = 12;
    laser.intensityDelay = 13;
    laser.minIntensity = 1000;
    laser.maxIntensity = 9000;
    laser.intensity = 500;
    laser.pulseFrequency = 2000;
    laser.warmUpTime = 40;
    laser.activeLevel = 0;
    laser.calibration->scanStepSize = 25;
    return laser;
}

TEST(Laser, StartsAsAContinuousLaserWithAnIdentityGrid) {
    Laser laser;
    EXPECT_EQ(laser.port, NoOutput);
    EXPECT_EQ(laser.activeLevel, 1);
    EXPECT_EQ(laser.intensity, 0u);
    EXPECT_EQ(laser.warmUpTime, 0u);
    ASSERT_NE(laser.calibration, nullptr);
    EXPECT_EQ(laser.calibration->pointCount, 16u);
    EXPECT_EQ(laser.calibration->scanStepSize, 100u);
    EXPECT_TRUE(laser == Laser());
}

TEST(Laser, CopiesOwnTheirCalibrationAndCompareByContent) {
    const Laser original = Sample();
    Laser copy(original);
    EXPECT_NE(copy.calibration, original.calibration);
    EXPECT_TRUE(copy == original);

    Laser assigned;
    assigned = original;
    EXPECT_NE(assigned.calibration, original.calibration);
    EXPECT_TRUE(assigned == original);
    Laser& self = assigned;
    assigned = self;
    EXPECT_TRUE(assigned == original) << "self-assignment keeps the laser whole";

    copy.calibration->SetCalibrationPoint(0, RPOINTF{1, 1}, RPOINTF{2, 2});
    EXPECT_FALSE(copy == original) << "calibrations are compared by content";
    Laser other(original);
    other.warmUpTime = 0;
    EXPECT_TRUE(other != original);
}

TEST(Laser, CopyTruncatesCalibrationPointsButMoveKeepsThem) {
    Laser laser = Sample();
    ASSERT_EQ(laser.calibration->SetCalibrationPoint(5, RPOINTF{10.75, 3.5}, RPOINTF{100.25, 7.5}), 0u);
    Calibration* kept = laser.calibration;

    Laser copy(laser);
    EXPECT_FLOAT_EQ(copy.calibration->calibrationPoints[5].camera.x, 10.0f);
    EXPECT_FLOAT_EQ(copy.calibration->calibrationPoints[5].device.y, 7.0f);

    Laser moved(std::move(laser));
    EXPECT_EQ(moved.calibration, kept);
    EXPECT_EQ(laser.calibration, nullptr);
    EXPECT_FLOAT_EQ(moved.calibration->calibrationPoints[5].camera.x, 10.75f);
    copy = std::move(moved);
    EXPECT_EQ(copy.calibration, kept);
}

TEST(Laser, IntensityIsControllableOnlyOverARange) {
    Laser laser;
    laser.minIntensity = 4000;
    laser.maxIntensity = 4001;
    EXPECT_EQ(laser.CanChangeIntensity(), 1);
    laser.maxIntensity = 4000;
    EXPECT_EQ(laser.CanChangeIntensity(), 0);
}

TEST(Laser, KorvanCopiesOwnTheirCalibrationLaser) {
    Korvan first;
    Korvan second(first);
    Laser& a = korvan::detail::DeviceAccess::CalibrationLaser(first);
    Laser& b = korvan::detail::DeviceAccess::CalibrationLaser(second);
    EXPECT_TRUE(a == Laser());
    EXPECT_NE(a.calibration, b.calibration);
    second = first;
    EXPECT_NE(a.calibration, b.calibration);
}

}  // namespace
