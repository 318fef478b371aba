// The output default commands of a laser definition, byte by byte.
#include <support/wire_session_fixture.h>
#include <support/process_state_guard.h>

namespace devicetest {
namespace {

class DeviceWireLasers : public WireTest {
protected:
    unsigned int Add(OutputPorts port, int activeLevel) {
        Laser laser;
        laser.port = port;
        laser.maxIntensity = 10000;
        laser.activeLevel = activeLevel;
        return DefineLaser(session, std::move(laser), &id);
    }
    ProcessStateGuard processState_;
    unsigned int id = 0;
};

TEST_F(DeviceWireLasers, ReadsTheDefaultAndWritesTheOffLevelOnlyWhenDifferent) {
    Open(16);
    StateStep(0);
    StateStep(0);
    Step({0xFD, 0x08}, {0xFD, 0xFF, 0x08, 0x01});
    StateStep(0);
    Step({0xFE, 0x08, 0x00}, {0xFE, 0xFF});
    EXPECT_EQ(Add(LaserOutput3, 1), 0u);

    StateStep(0);
    StateStep(0);
    Step({0xFD, 0x06}, {0xFD, 0xFF, 0x06, 0x01});
    EXPECT_EQ(Add(LaserOutput1, 0), 0u);
}

TEST_F(DeviceWireLasers, FailedDefaultCommandsAreReturnedAndAddNothing) {
    Open(16);
    StateStep(0);
    StateStep(0);
    Step({0xFD, 0x09}, {0xFD, 0x00, 0x09, 0x01});
    EXPECT_EQ(Add(LaserOutput4, 1), 1u);
    EXPECT_TRUE(korvan::detail::ProcessWide().laserList.empty());
}

TEST_F(DeviceWireLasers, Firmware5OnlyQueriesTheState) {
    Open(5);
    StateStep(0);
    EXPECT_EQ(Add(LaserOutput2, 1), 0u);
}

}  // namespace
}  // namespace devicetest
