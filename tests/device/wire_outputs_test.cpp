// Outputs, tick time and mirror motion on the wire.
#include <support/wire_session_fixture.h>

#include <korvan/device/detail/process_state.h>

namespace devicetest {
namespace {

using DeviceWireOutputs = WireTest;

TEST_F(DeviceWireOutputs, AnalogAndDigitalUseTheirOwnCodes) {
    Open();
    Step({0x39, 0x05, 0x12, 0x34}, {0x39, 0xFF});
    EXPECT_EQ(SetAnalog(session, LaserOutput2, 0x1234), 0u);
    Step({0x39, 0x02, 0xFF, 0xFF}, {0x39, 0xFF});
    EXPECT_EQ(SetAnalog(session, MirrorX, 0xFFFF), 0u);
    Step({0x38, 0x00, 0x01}, {0x38, 0xFF});
    EXPECT_EQ(SetDigital(session, TTLOutput1, 1), 0u);
    Step({0x38, 0x09, 0x00}, {0x38, 0x01});
    EXPECT_EQ(SetDigital(session, LaserOutput4, 0x100), 1u) << "low byte of the level; refused";
}

TEST_F(DeviceWireOutputs, PortsWithoutTheNeededCodeAreRejectedWithoutTraffic) {
    Open();
    for (unsigned char port : {0, 1, 8, 254, 255}) {
        EXPECT_EQ(SetDigital(session, port, 1), 2u) << int(port);
    }
    for (unsigned char port : {0, 1, 6, 7, 8}) {
        EXPECT_EQ(SetAnalog(session, port, 1), 2u) << int(port);
    }
    int level = 0;
    EXPECT_EQ(SetOutputDefault(session, MirrorX, 1), 2u);
    EXPECT_EQ(GetOutputDefault(session, NoOutput, &level), 2u);
    EXPECT_EQ(GetOutputDefault(session, LaserOutput1, nullptr), 2u);
}

TEST_F(DeviceWireOutputs, OutputDefaults) {
    Open();
    StateStep(0);
    Step({0xFE, 0x07, 0x00}, {0xFE, 0xFF});
    EXPECT_EQ(SetOutputDefault(session, LaserOutput2, 0), 0u);
    int level = -1;
    StateStep(0);
    Step({0xFD, 0x01}, {0xFD, 0xFF, 0x01, 0x01});
    EXPECT_EQ(GetOutputDefault(session, TTLOutput2, &level), 0u);
    EXPECT_EQ(level, 1);
    StateStep(0);
    Step({0xFD, 0x01}, {0xFD, 0xFF, 0x00, 0x00});
    EXPECT_EQ(GetOutputDefault(session, TTLOutput2, &level), 1u) << "reply names another line";
    EXPECT_EQ(level, 1);
    StateStep(1);
    EXPECT_EQ(SetOutputDefault(session, LaserOutput2, 0), 5u);
}

TEST_F(DeviceWireOutputs, TickTime) {
    Open();
    StateStep(0);
    Step({0xDE, 0x00, 0x00, 0x00, 0x32}, {0xDE, 0xFF});
    EXPECT_EQ(SetTickTime(session, 50), 0u);
    StateStep(0);
    Step({0xDE, 0x00, 0x01, 0x86, 0xA0}, {0xDE, 0xFF});
    EXPECT_EQ(SetTickTime(session, 100000), 0u);
    EXPECT_EQ(session.tickTime, 100000u);
    StateStep(0);
    Step({0xDE, 0x00, 0x00, 0x00, 0x0A}, {0xDE, 0x00});
    EXPECT_EQ(SetTickTime(session, 10), 1u);
    StateStep(1);
    EXPECT_EQ(SetTickTime(session, 20), 5u);
    EXPECT_EQ(SetTickTime(session, 0), 2u) << "ticks of no length cannot time anything";
    EXPECT_EQ(session.tickTime, 100000u);
}

TEST_F(DeviceWireOutputs, ScanModeSetsTheProcessWideLead) {
    auto& mode = korvan::detail::ProcessWide().scanMode;
    const ScanMode saved = mode;
    EXPECT_EQ(Korvan().SetScanMode(ScanModeShort), 0u);
    EXPECT_EQ(mode, ScanModeShort);
    EXPECT_EQ(Korvan().SetScanMode(static_cast<ScanMode>(2)), 0u);
    EXPECT_EQ(mode, ScanModeShort);
    EXPECT_EQ(Korvan().SetScanMode(ScanModeDefault), 0u);
    EXPECT_EQ(mode, ScanModeDefault);
    mode = saved;
}

TEST_F(DeviceWireOutputs, MoveAbsoluteChecksRangeAfterTheState) {
    Open();
    StateStep(0);
    Step({0x39, 0x02, 0xFF, 0xFF}, {0x39, 0xFF});
    Step({0x39, 0x03, 0x00, 0x00}, {0x39, 0xFF});
    EXPECT_EQ(MoveAbsolute(session, calibration, 65535, 0), 0u);
    StateStep(0);
    EXPECT_EQ(MoveAbsolute(session, calibration, 65536, 0), 2u);
    StateStep(0);
    EXPECT_EQ(MoveAbsolute(session, calibration, static_cast<unsigned int>(-1), 5), 2u);
    StateStep(1);
    EXPECT_EQ(MoveAbsolute(session, calibration, 1, 1), 5u);
    StateStep(0);
    Step({0x39, 0x02, 0x00, 0x01}, {0x39, 0x00});
    EXPECT_EQ(MoveAbsolute(session, calibration, 1, 2), 1u) << "the first failure ends the move";
}

TEST_F(DeviceWireOutputs, ActualPositionAndRelativeMoves) {
    Open();
    tagPOINT p{-1, -1};
    StateStep(0);
    Step({0x3A, 0x02}, {0x3A, 0xFF, 0x00, 0x05});
    Step({0x3A, 0x03}, {0x3A, 0xFF, 0x12, 0x34});
    EXPECT_EQ(GetActualPosition(session, calibration, &p), 0u);
    EXPECT_EQ(p.x, 5);
    EXPECT_EQ(p.y, 0x1234);

    // MoveRelative, GetActualPosition and MoveAbsolute each query the state.
    StateStep(0);
    StateStep(0);
    Step({0x3A, 0x02}, {0x3A, 0xFF, 0x00, 0x05});
    Step({0x3A, 0x03}, {0x3A, 0xFF, 0x00, 0x00});
    EXPECT_EQ(MoveRelative(session, calibration, -10, 0), 2u) << "x would be -5: no move";

    StateStep(0);
    StateStep(0);
    Step({0x3A, 0x02}, {0x3A, 0xFF, 0x00, 0x05});
    Step({0x3A, 0x03}, {0x3A, 0xFF, 0x00, 0x00});
    StateStep(0);
    Step({0x39, 0x02, 0x00, 0x0A}, {0x39, 0xFF});
    Step({0x39, 0x03, 0xFF, 0xFF}, {0x39, 0xFF});
    EXPECT_EQ(MoveRelative(session, calibration, 5, 65535), 0u);

    EXPECT_EQ(GetActualPosition(session, calibration, nullptr), 2u);
    StateStep(0);
    Step({0x3A, 0x02}, {0x3A, 0xFF, 0x00, 0x07});
    Step({0x3A, 0x03}, {0x3B, 0xFF, 0x00, 0x00});
    EXPECT_EQ(GetActualPosition(session, calibration, &p), 1u);
    EXPECT_EQ(p.x, 7) << "x is written before y fails";
}

TEST_F(DeviceWireOutputs, RelativeMoveDoesNotOverflow) {
    Open();
    StateStep(0);
    StateStep(0);
    Step({0x3A, 0x02}, {0x3A, 0xFF, 0xFF, 0xFF});
    Step({0x3A, 0x03}, {0x3A, 0xFF, 0x00, 0x00});
    EXPECT_EQ(MoveRelative(session, calibration, 2147483647, 0), 2u);
}

}  // namespace
}  // namespace devicetest
