// Laser definitions through the public interface, with and without the virtual device.
#include <support/virtual_device_fixture.h>
#include <support/process_state_guard.h>

#include <korvan/device/detail/laser_lookup.h>

namespace devicetest {
namespace {

constexpr std::size_t kLine1 = 6, kLine2 = 7, kLine4 = 9, kTtl1 = 0;  // digital line codes

class LaserDefinitions : public SimTest {
protected:
    /// A continuous laser with an intensity range; returns the result, the id in `id`.
    unsigned int Add(OutputPorts port, int activeLevel = 1) {
        return k.AddLaser(10, 20, 30, port, 0, 10000, 0, &id, activeLevel);
    }
    unsigned int AddAndExpectId(OutputPorts port, unsigned int expected) {
        const unsigned int r = Add(port);
        EXPECT_EQ(id, expected);
        return r;
    }
    int Default(std::size_t line) {
        return Model([line](sim::DeviceModel& m) { return int(m.outputDefaults[line]); });
    }
    int DefaultWrites() { return sim.RequestCount(0xFE); }

    Korvan k;
    unsigned int id = 0;
};

TEST_F(LaserDefinitions, IdentifiersAreTheSmallestFreeOnes) {
    EXPECT_EQ(AddAndExpectId(NoOutput, 1), 0u);
    EXPECT_EQ(AddAndExpectId(NoOutput, 2), 0u);
    EXPECT_EQ(AddAndExpectId(NoOutput, 3), 0u);
    EXPECT_EQ(k.RemoveLaser(2), 0u);
    EXPECT_EQ(k.RemoveLaser(2), 2u);
    EXPECT_EQ(AddAndExpectId(NoOutput, 2), 0u);

    // List 2, 1 (in that order): a walk that does not restart would offer 2 again.
    ASSERT_EQ(k.RemoveLaser(3), 0u);
    ASSERT_EQ(k.RemoveLaser(1), 0u);
    ASSERT_EQ(AddAndExpectId(NoOutput, 1), 0u);
    EXPECT_EQ(AddAndExpectId(NoOutput, 3), 0u);

    const auto& list = korvan::detail::ProcessWide().laserList;
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].id, 2u);
    EXPECT_EQ(list[2].id, 3u);
    EXPECT_EQ(list[2].switchOffDelay, 20u);
    EXPECT_EQ(list[2].calibration->scanStepSize, 100u);
}

TEST_F(LaserDefinitions, EmptyListUnknownIdentifierAndNullPointers) {
    OutputPorts port = LaserOutput4;
    int step = 0;
    EXPECT_EQ(k.GetPortForLaser(1, &port), 5u);
    EXPECT_EQ(k.GetLaserStepSize(1, &step), 5u);
    EXPECT_EQ(k.SetPortForLaser(1, NoOutput), 5u);
    EXPECT_EQ(k.RemoveLaser(1), 2u);
    EXPECT_EQ(k.SetLaserStepSize(1, 0), 2u) << "the step size is checked before the lookup";

    ASSERT_EQ(Add(LaserOutput2), 0u);
    EXPECT_EQ(k.GetPortForLaser(id + 1, &port), 2u);
    EXPECT_EQ(k.SetLaserStepSize(id + 1, 50), 2u);
    EXPECT_EQ(k.SetLaserStepSize(id + 1, -1), 2u);
    EXPECT_EQ(k.GetPortForLaser(id, nullptr), 2u);
    EXPECT_EQ(k.GetLaserStepSize(id, nullptr), 2u);
    EXPECT_EQ(k.AddLaser(0, 0, 0, NoOutput, 0, 0, 0, nullptr), 2u);
    EXPECT_EQ(port, LaserOutput4) << "failed reads leave the output alone";

    ASSERT_EQ(k.GetPortForLaser(id, &port), 0u);
    EXPECT_EQ(port, LaserOutput2);
    ASSERT_EQ(k.SetLaserStepSize(id, 7), 0u);
    ASSERT_EQ(k.GetLaserStepSize(id, &step), 0u);
    EXPECT_EQ(step, 7);
}

TEST_F(LaserDefinitions, PortsAndIntensitiesAreValidated) {
    Model([](sim::DeviceModel& m) { m.outputDefaults[kTtl1] = 1; });
    ConnectByPort(k);
    ASSERT_EQ(Add(LaserOutput2), 0u);
    const unsigned int first = id;
    EXPECT_EQ(Add(LaserOutput2), 2u);
    EXPECT_EQ(Add(NoOutput), 0u);
    EXPECT_EQ(Add(NoOutput), 0u) << "any number of lasers may be on no output";
    EXPECT_EQ(Add(TTLOutput1), 2u);
    EXPECT_EQ(Default(kTtl1), 1) << "a refused laser leaves the TTL line's default alone";
    EXPECT_EQ(Add(MirrorX), 2u);

    EXPECT_EQ(k.AddLaser(0, 0, 0, LaserOutput3, 5000, 4000, 0, &id), 2u);
    EXPECT_EQ(k.AddLaser(0, 0, 0, LaserOutput3, 0, 10001, 0, &id), 2u);
    ASSERT_EQ(k.AddLaser(0, 0, 0, LaserOutput3, 10000, 10000, 0, &id), 0u);
    EXPECT_EQ(id, 4u) << "refused definitions take no identifier";
    Laser* laser = nullptr;
    ASSERT_EQ(korvan::detail::LookUpLaser(id, &laser), 0u);
    EXPECT_EQ(laser->CanChangeIntensity(), 0);

    EXPECT_EQ(k.SetPortForLaser(first, LaserOutput3), 2u) << "taken by another laser";
    EXPECT_EQ(k.SetPortForLaser(first, TTLOutput2), 2u);
    EXPECT_EQ(k.SetPortForLaser(first, LaserOutput2), 0u) << "its own port";
    EXPECT_EQ(k.SetPortForLaser(first, LaserOutput4), 0u);
    EXPECT_EQ(k.SetPortForLaser(id, LaserOutput2), 0u) << "freed by the move";
    OutputPorts port = NoOutput;
    ASSERT_EQ(k.GetPortForLaser(first, &port), 0u);
    EXPECT_EQ(port, LaserOutput4);
}

TEST_F(LaserDefinitions, ConnectedToFirmware16TheDefaultGoesToTheOffLevel) {
    Model([](sim::DeviceModel& m) {
        m.outputDefaults[kLine1] = 1;
        m.outputDefaults[kLine4] = 1;
    });
    ConnectByPort(k);
    const int writes = DefaultWrites();
    ASSERT_EQ(Add(LaserOutput1), 0u);
    EXPECT_EQ(Default(kLine1), 0);
    ASSERT_EQ(Add(LaserOutput2, 0), 0u);
    EXPECT_EQ(Default(kLine2), 1) << "active low: off is 1";
    EXPECT_EQ(DefaultWrites(), writes + 2);

    ASSERT_EQ(k.RemoveLaser(1), 0u);
    ASSERT_EQ(Add(LaserOutput1), 0u);
    EXPECT_EQ(DefaultWrites(), writes + 2) << "a default already at the off level is only read";

    ASSERT_EQ(k.SetPortForLaser(id, LaserOutput4), 0u);
    EXPECT_EQ(Default(kLine4), 0);
}

TEST_F(LaserDefinitions, OlderFirmwareAndNoConnectionLeaveDefaultsAlone) {
    sim::Identity old;
    old.firmwareVersion = 5;
    sim.SetIdentity(old);
    Model([](sim::DeviceModel& m) { m.outputDefaults[kLine1] = 1; });
    ConnectByPort(k);
    ASSERT_EQ(Add(LaserOutput1), 0u);
    ASSERT_EQ(k.SetPortForLaser(id, LaserOutput2), 0u);
    EXPECT_EQ(sim.RequestCount(0xFD) + DefaultWrites(), 0);
    EXPECT_EQ(Default(kLine1), 1);

    ASSERT_EQ(k.Disconnect(), 0u);
    sim.SetIdentity(sim::Identity{});  // firmware 16
    Korvan other;
    ConnectByPort(other);
    ASSERT_EQ(other.Disconnect(), 0u);
    ASSERT_EQ(other.AddLaser(0, 0, 0, LaserOutput3, 0, 0, 0, &id, 2u), 0u);
    EXPECT_EQ(sim.RequestCount(0xFD) + DefaultWrites(), 0) << "nothing is sent while not connected";
}

TEST_F(LaserDefinitions, NotWhileASequenceRuns) {
    ConnectByPort(k);
    Model([](sim::DeviceModel& m) {
        m.memory.Fill(*m.memory.Reserve(10), std::vector<uint8_t>(10));
        m.runningSequence = 1;
    });
    EXPECT_EQ(Add(LaserOutput1), 5u);
    EXPECT_TRUE(korvan::detail::ProcessWide().laserList.empty());
}

// LaserSettings as it comes: a laser on LaserOutput1 whose intensity is set and lit at once.
TEST_F(LaserDefinitions, DefaultSettingsGiveAWorkingIntensityControlledLaser) {
    ConnectByPort(k);
    Model([](sim::DeviceModel& m) { m.outputDefaults[kLine1] = 1; });
    ASSERT_EQ(k.AddLaser(LaserSettings{}, &id), 0u);
    EXPECT_EQ(Default(kLine1), 0) << "an active-high laser's line rests low";
    ASSERT_EQ(k.SetLaserIntensity(id, 5000), 0u);
    EXPECT_EQ(Model([](sim::DeviceModel& m) { return int(m.analog[4]); }), 32767) << "half of the full range";
    ASSERT_EQ(k.SetLaserONOFF(id, 1), 0u);
    EXPECT_EQ(Model([](sim::DeviceModel& m) { return int(m.lineLevels[kLine1]); }), 1);
    ASSERT_EQ(k.SetLaserONOFF(id, 0), 0u);
    EXPECT_EQ(Model([](sim::DeviceModel& m) { return int(m.lineLevels[kLine1]); }), 0);
}

// A refused active level is refused before the state query: nothing reaches the device.
TEST_F(LaserDefinitions, ARefusedActiveLevelSendsNothing) {
    ConnectByPort(k);
    const int queries = sim.RequestCount(0x31), writes = DefaultWrites();  // state queries, default writes
    for (int level : {-1, 2, 500}) {
        LaserSettings settings;
        settings.activeLevel = level;
        EXPECT_EQ(k.AddLaser(settings, &id), 2u) << level;
        EXPECT_EQ(k.AddLaser(0, 0, 0, LaserOutput2, 0, 10000, 0, &id, level), 2u) << level;
    }
    EXPECT_EQ(sim.RequestCount(0x31), queries);
    EXPECT_EQ(DefaultWrites(), writes);
    EXPECT_TRUE(korvan::detail::ProcessWide().laserList.empty());
}

}  // namespace
}  // namespace devicetest
