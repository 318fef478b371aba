// Switching lasers and starting calibration runs, byte by byte.
#include <support/wire_session_fixture.h>
#include <support/process_state_guard.h>

#include <korvan/device/detail/process_state.h>

#include <cmath>
#include <tuple>

namespace devicetest {
namespace {

class DeviceWireSwitching : public WireTest {
protected:
    /// Puts a laser straight into the list (AddLaser would talk to the peer).
    Laser& Define(unsigned int id, OutputPorts port, unsigned int minIntensity, unsigned int maxIntensity,
                  unsigned int pulseFrequency = 0, int activeLevel = 1) {
        Laser laser;
        laser.id = id;
        laser.port = port;
        laser.minIntensity = minIntensity;
        laser.maxIntensity = maxIntensity;
        laser.pulseFrequency = pulseFrequency;
        laser.activeLevel = activeLevel;
        auto& list = korvan::detail::ProcessWide().laserList;
        list.push_back(std::move(laser));
        return list.back();
    }
    ProcessStateGuard processState_;
};

TEST_F(DeviceWireSwitching, IntensityBecomesTheTruncatedAnalogLevel) {
    Open();
    struct Case {
        unsigned int min, max, intensity;
        Bytes analog;  // the set-analog request for laser output 2 (channel 5)
    };
    const Case cases[] = {
        {1000, 3000, 5000, {0x39, 0x05, 0x33, 0x33}},  // 2000 x 6.5535 = 13107
        {0, 10000, 10000, {0x39, 0x05, 0xFF, 0xFF}},
        {0, 1000, 9, {0x39, 0x05, 0x00, 0x00}},        // 0.9 truncates to 0 before scaling
        {2500, 2600, 3333, {0x39, 0x05, 0x40, 0xD8}},  // 2533 (truncated) x 6.5535 = 16600.0
    };
    for (const Case& c : cases) {
        korvan::detail::ProcessWide().laserList.clear();
        Define(1, LaserOutput2, c.min, c.max);
        StateStep(0);
        Step(c.analog, {0x39, 0xFF});
        EXPECT_EQ(SetLaserIntensity(session, 1, c.intensity), 0u) << c.intensity;
    }
}

TEST_F(DeviceWireSwitching, IntensityWhileASequenceRunsIsOnlyStored) {
    Open();
    Laser& laser = Define(1, LaserOutput1, 0, 10000);
    StateStep(1);
    EXPECT_EQ(SetLaserIntensity(session, 1, 4000), 0u);
    EXPECT_EQ(laser.intensity, 4000u);
    StateStep(0);
    EXPECT_EQ(SetLaserIntensity(session, 1, 10001), 2u);
    EXPECT_EQ(laser.intensity, 4000u);
}

TEST_F(DeviceWireSwitching, RefusalsBeforeAnyTraffic) {
    Open();
    // Nothing is scripted: TearDown fails on any byte sent.
    EXPECT_EQ(SetLaserOnOff(session, 1, 1), 5u) << "no laser defined";
    Define(1, LaserOutput1, 0, 10000);
    Define(2, LaserOutput2, 0, 10000, 1000);
    Define(3, LaserOutput3, 5000, 5000);
    EXPECT_EQ(SetLaserOnOff(session, 9, 1), 2u);
    EXPECT_EQ(SetLaserOnOff(session, 2, 1), 2u) << "pulsed";
    EXPECT_EQ(SetLaserIntensity(session, 2, 100), 2u) << "pulsed";
    EXPECT_EQ(SetLaserIntensity(session, 3, 100), 5u) << "no intensity range";
    EXPECT_EQ(calibration.SetPoint(session, 0, RPOINTF(1, 1), RPOINTF(1, 1)), 5u) << "no run";
    RPOINTF out;
    EXPECT_EQ(korvan::detail::GetDeviceCoordinates(RPOINTF(1, 1), nullptr, 1), 2u);
    EXPECT_EQ(korvan::detail::GetDeviceCoordinates(RPOINTF(std::nan(""), 1.0), &out, 1), 2u);
}

TEST_F(DeviceWireSwitching, OnAndOffUseTheActiveLevel) {
    Open();
    Define(1, LaserOutput1, 0, 10000, 0, 1);
    Define(2, LaserOutput4, 0, 10000, 0, 0);
    const std::tuple<unsigned int, int, Bytes> cases[] = {
        {1, 1, {0x38, 0x06, 0x01}},
        {1, 0, {0x38, 0x06, 0x00}},
        {2, 1, {0x38, 0x09, 0x00}},
        {2, 0, {0x38, 0x09, 0x01}},
    };
    for (const auto& [id, on, request] : cases) {
        StateStep(0);
        Step(request, {0x38, 0xFF});
        EXPECT_EQ(SetLaserOnOff(session, id, on), 0u);
    }
    StateStep(1);
    EXPECT_EQ(SetLaserOnOff(session, 1, 1), 5u) << "not while a sequence runs";
}

TEST_F(DeviceWireSwitching, AnInvalidPointCountNeverLightsTheLaser) {
    Open();
    Define(1, LaserOutput1, 0, 10000);
    StateStep(0);
    EXPECT_EQ(calibration.Start(session, 10, 1), 2u);
    EXPECT_EQ(session.state, Idle);
}

TEST_F(DeviceWireSwitching, ACalibrationRunLightsMovesAndStops) {
    Open();
    Laser& laser = Define(1, LaserOutput1, 0, 10000);
    laser.intensity = 5000;
    StateStep(0);
    Step({0x39, 0x04, 0x7F, 0xFF}, {0x39, 0xFF});  // the laser's own intensity first
    StateStep(0);
    Step({0x38, 0x06, 0x01}, {0x38, 0xFF});
    ASSERT_EQ(calibration.Start(session, 4, 1), 0u);
    EXPECT_EQ(session.state, Calibrating);

    // A move: dark while the mirrors travel, back at the run's intensity at the spot.
    StateStep(0);
    StateStep(0);
    Step({0x38, 0x06, 0x00}, {0x38, 0xFF});
    Step({0x39, 0x02, 0x01, 0x00}, {0x39, 0xFF});
    Step({0x39, 0x03, 0x02, 0x00}, {0x39, 0xFF});
    StateStep(0);
    StateStep(0);
    Step({0x38, 0x06, 0x00}, {0x38, 0xFF});
    Step({0x39, 0x04, 0x7F, 0xFF}, {0x39, 0xFF});
    StateStep(0);
    Step({0x38, 0x06, 0x01}, {0x38, 0xFF});
    EXPECT_EQ(MoveAbsolute(session, calibration, 0x100, 0x200), 0u);

    StateStep(0);
    StateStep(0);
    Step({0x38, 0x06, 0x00}, {0x38, 0xFF});
    StateStep(0);
    EXPECT_EQ(Stop(session, calibration), 0u);
}

}  // namespace
}  // namespace devicetest
