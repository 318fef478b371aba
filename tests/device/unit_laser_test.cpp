// Laser records: defaults, copies that own their calibration, comparison, intensity control.
#include <korvan/calibration/detail/calibration_run.h>
#include <korvan/device/korvan.h>
#include <korvan/device/laser.h>

#include <support/process_state_guard.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <tuple>
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

auto Fields(const LaserSettings& s) {
    return std::make_tuple(s.port, s.switchOnDelay, s.switchOffDelay, s.intensityDelay, s.minIntensity, s.maxIntensity,
                           s.pulseFrequency, s.activeLevel, s.warmUpTime);
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

// A copy keeps sub-pixel camera points and whole-step device points; a move keeps the table itself.
TEST(Laser, CopyTruncatesDevicePointsButMoveKeepsThem) {
    Laser laser = Sample();
    ASSERT_EQ(laser.calibration->SetCalibrationPoint(5, RPOINTF{10.75, 3.5}, RPOINTF{100.25, 7.5}), 0u);
    Calibration* kept = laser.calibration;

    Laser copy(laser);
    EXPECT_FLOAT_EQ(copy.calibration->calibrationPoints[5].camera.x, 10.75f);
    EXPECT_FLOAT_EQ(copy.calibration->calibrationPoints[5].device.x, 100.0f);
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

// A Korvan copies its calibration run: each copy must own its laser and working table.
TEST(Laser, CalibrationRunCopiesOwnTheirCalibrationLaser) {
    korvan::detail::CalibrationRun first;
    korvan::detail::CalibrationRun second(first);
    const Laser& a = first.CalibrationLaser();
    const Laser& b = second.CalibrationLaser();
    EXPECT_TRUE(a == Laser());
    EXPECT_NE(a.calibration, b.calibration);
    second = first;
    EXPECT_NE(a.calibration, b.calibration);
}

// Refused points change nothing and send nothing: the session has no line open.
TEST(CalibrationRunUnit, RefusedPointsLeaveTheWorkingTable) {
    korvan::detail::Session session;
    korvan::detail::CalibrationRun run;
    const double nan = std::nan("");
    struct Case {
        const char* what;
        unsigned int index;
        RPOINTF camera, device;
        unsigned int expected;
    };
    const Case cases[] = {
        {"no run", 0, RPOINTF(1.0, 1.0), RPOINTF(1.0, 1.0), 5u},
        {"camera not finite", 0, RPOINTF(nan, 1.0), RPOINTF(1.0, 1.0), 2u},
        {"device not finite", 0, RPOINTF(1.0, 1.0), RPOINTF(1.0, static_cast<double>(INFINITY)), 2u},
        {"negative pixel", 0, RPOINTF(-1.0, 1.0), RPOINTF(1.0, 1.0), 2u},
        {"beyond the mirrors", 0, RPOINTF(1.0, 1.0), RPOINTF(65536.0, 1.0), 2u},
        {"index beyond the count", 16, RPOINTF(1.0, 1.0), RPOINTF(1.0, 1.0), 2u},
    };
    for (const Case& c : cases) {
        // As a started run leaves it; only the first case sees no run.
        session.state = &c == &cases[0] ? Idle : Calibrating;
        EXPECT_EQ(run.SetPoint(session, c.index, c.camera, c.device), c.expected) << c.what;
        EXPECT_TRUE(*run.CalibrationLaser().calibration == Calibration(16)) << c.what;
        EXPECT_EQ(session.state, &c == &cases[0] ? Idle : Calibrating) << c.what;
    }
}

TEST(Laser, GetLaserCopiesTheWholeDefinitionAndItsTable) {
    testsupport::ProcessStateGuard processState;
    Korvan k;
    Laser none;
    EXPECT_EQ(k.GetLaser(1, &none), korvan::ResultNotPossibleNow);  // empty list
    unsigned int first = 0, id = 0;
    ASSERT_EQ(k.AddLaser(1, 2, 3, LaserOutput1, 0, 10000, 0, &first), 0u);
    ASSERT_EQ(k.AddLaser(11, 12, 13, LaserOutput3, 1000, 9000, 2000, &id, 0, 40), 0u);
    ASSERT_EQ(k.SetLaserStepSize(id, 25), 0u);
    Calibration table(9);
    ASSERT_EQ(table.SetCalibrationPoint(4, RPOINTF(100, 200), RPOINTF(30000, 31000)), 0u);
    table.scanStepSize = 25;
    *korvan::detail::ProcessWide().laserList.back().calibration = table;

    Laser got;
    ASSERT_EQ(k.GetLaser(id, &got), korvan::ResultSuccess);
    Laser expected = Sample();
    expected.id = id;
    expected.intensity = 0;  // never set
    *expected.calibration = table;
    EXPECT_TRUE(got == expected);
    // The copy is the caller's: changing it leaves the laser alone.
    got.calibration->scanStepSize = 3;
    int step = 0;
    ASSERT_EQ(k.GetLaserStepSize(id, &step), 0u);
    EXPECT_EQ(step, 25);

    EXPECT_EQ(k.GetLaser(id + 5, &got), korvan::ResultInvalidArgument);
    EXPECT_EQ(k.GetLaser(id, nullptr), korvan::ResultInvalidArgument);
}

// A laser made from settings gives them back, whatever they are; id, intensity and table are a
// fresh laser's.
TEST(Laser, SettingsRoundTripThroughALaser) {
    std::mt19937 random(7);
    std::uniform_int_distribution<unsigned int> any(0, 20000);
    for (int round = 0; round < 50; ++round) {
        LaserSettings s;
        s.port = static_cast<OutputPorts>(any(random) % 5 == 0 ? NoOutput : LaserOutput1 + any(random) % 4);
        s.switchOnDelay = any(random);
        s.switchOffDelay = any(random);
        s.intensityDelay = any(random);
        s.minIntensity = any(random);
        s.maxIntensity = any(random);
        s.pulseFrequency = any(random);
        s.activeLevel = static_cast<int>(any(random) % 2);
        s.warmUpTime = any(random);
        const Laser laser(s);
        EXPECT_EQ(Fields(laser.Settings()), Fields(s)) << round;
        EXPECT_EQ(laser.id, 0u);
        EXPECT_EQ(laser.intensity, 0u);
        EXPECT_TRUE(*laser.calibration == *Laser().calibration);
    }
}

// Every call form of AddLaser against every active level: the positional overloads are told
// apart by the type of their last argument alone, so a literal 0 or 500 means an active level
// and 0u or 500u a warm-up time. Levels other than 0 and 1 are refused and define nothing.
TEST(Laser, AddLaserCallFormsAndActiveLevels) {
    testsupport::ProcessStateGuard processState;
    Korvan k;
    using Call = std::function<unsigned int(unsigned int*)>;
    struct Form {
        const char* what;
        Call add;
        unsigned int result;
        int activeLevel;
        unsigned int warmUpTime;
    };
    std::vector<Form> forms = {
        {"(..., &id)", [&](unsigned int* id) { return k.AddLaser(1, 2, 3, NoOutput, 0, 10000, 0, id); }, 0, 1, 0},
        {"(..., &id, 0)", [&](unsigned int* id) { return k.AddLaser(1, 2, 3, NoOutput, 0, 10000, 0, id, 0); }, 0, 0, 0},
        {"(..., &id, 0u)", [&](unsigned int* id) { return k.AddLaser(1, 2, 3, NoOutput, 0, 10000, 0, id, 0u); }, 0, 1,
         0},
        {"(..., &id, 500u)", [&](unsigned int* id) { return k.AddLaser(1, 2, 3, NoOutput, 0, 10000, 0, id, 500u); }, 0,
         1, 500},
        {"(..., &id, 0, 40u)", [&](unsigned int* id) { return k.AddLaser(1, 2, 3, NoOutput, 0, 10000, 0, id, 0, 40u); },
         0, 0, 40},
        {"settings", [&](unsigned int* id) { return k.AddLaser(LaserSettings{}, id); }, 0, 1, 0},
    };
    for (int level : {-1, 0, 1, 2, 500}) {
        const bool valid = level == 0 || level == 1;
        const unsigned int expected = valid ? 0u : 2u;
        forms.push_back(
            {"(..., &id, level)",
             [&k, level](unsigned int* id) { return k.AddLaser(1, 2, 3, NoOutput, 0, 10000, 0, id, level); }, expected,
             level, 0});
        forms.push_back(
            {"(..., &id, level, 7u)",
             [&k, level](unsigned int* id) { return k.AddLaser(1, 2, 3, NoOutput, 0, 10000, 0, id, level, 7u); },
             expected, level, 7});
        forms.push_back({"settings with level",
                         [&k, level](unsigned int* id) {
                             LaserSettings s;
                             s.port = NoOutput;
                             s.activeLevel = level;
                             return k.AddLaser(s, id);
                         },
                         expected, level, 0});
    }
    for (const Form& f : forms) {
        SCOPED_TRACE(::testing::Message() << f.what << " active level " << f.activeLevel);
        const auto before = korvan::detail::ProcessWide().laserList.size();
        unsigned int id = 0;
        ASSERT_EQ(f.add(&id), f.result);
        if (f.result != 0) {
            EXPECT_EQ(korvan::detail::ProcessWide().laserList.size(), before) << "no laser is defined";
            continue;
        }
        Laser got;
        ASSERT_EQ(k.GetLaser(id, &got), 0u);
        EXPECT_EQ(got.activeLevel, f.activeLevel);
        EXPECT_EQ(got.warmUpTime, f.warmUpTime);
        EXPECT_EQ(got.OffLevel(), f.activeLevel == 0 ? 1 : 0);
        ASSERT_EQ(k.RemoveLaser(id), 0u);
    }
}

// The settings overload defines what the positional one does with the same fields, and
// GetLaser gives those fields back.
TEST(Laser, SettingsOverloadDefinesTheSameLaser) {
    testsupport::ProcessStateGuard processState;
    Korvan k;
    const LaserSettings s = Sample().Settings();
    unsigned int byFields = 0, byPosition = 0;
    ASSERT_EQ(k.AddLaser(s, &byFields), 0u);
    Laser first;
    ASSERT_EQ(k.GetLaser(byFields, &first), 0u);
    EXPECT_EQ(Fields(first.Settings()), Fields(s));
    ASSERT_EQ(k.RemoveLaser(byFields), 0u);
    ASSERT_EQ(k.AddLaser(11, 12, 13, LaserOutput3, 1000, 9000, 2000, &byPosition, 0, 40u), 0u);
    Laser second;
    ASSERT_EQ(k.GetLaser(byPosition, &second), 0u);
    EXPECT_TRUE(first == second);
    EXPECT_EQ(k.AddLaser(s, nullptr), 2u);
}

}  // namespace
