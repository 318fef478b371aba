// The pure pieces of the device protocol: command table, port codes and state translation.
#include <korvan/device/detail/command_table.h>
#include <korvan/device/detail/port_codes.h>
#include <korvan/device/detail/state_translation.h>
#include <korvan/device/korvan.h>

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace korvan::detail;

TEST(DeviceUnitCommandTable, CodesAreUniqueAndRepliesCarryEchoAndStatus) {
    std::set<std::uint8_t> codes;
    for (const Command& c : kAllCommands) {
        EXPECT_TRUE(codes.insert(c.code).second) << "duplicate code " << int(c.code);
        EXPECT_GE(c.replyLength, c.statusByte ? 2 : 1) << int(c.code);
    }
    EXPECT_EQ(codes.size(), 22u);
    EXPECT_FALSE(kStateQuery.statusByte);
    EXPECT_FALSE(kReadUserData.statusByte);
    EXPECT_EQ(StateReplyLength(15), 7);
    EXPECT_EQ(StateReplyLength(16), 9);
}

TEST(DeviceUnitPortCodes, EveryPortValue) {
    for (unsigned int port = 0; port < 300; ++port) {
        const auto digital = DigitalLineCode(port);
        const auto analog = AnalogChannelCode(port);
        if (port >= LaserOutput1 && port <= LaserOutput4) {
            EXPECT_EQ(*digital, port + 4);
            EXPECT_EQ(*analog, port + 2);
        } else if (port == TTLOutput1 || port == TTLOutput2) {
            EXPECT_EQ(*digital, port - 6);
            EXPECT_FALSE(analog);
        } else if (port == MirrorX || port == MirrorY) {
            EXPECT_FALSE(digital);
            EXPECT_EQ(*analog, port == MirrorX ? 2 : 3);
        } else {
            EXPECT_FALSE(digital) << port;
            EXPECT_FALSE(analog) << port;
        }
    }
}

TEST(DeviceUnitStateTranslation, BothTables) {
    const State before16[] = {Idle, Running, NotReady, Running, Defragmenting, NotReady, Running, Running, Running};
    const State from16[] = {Idle,     Running, NotReady, ActiveB, Defragmenting,
                            NotReady, ActiveA, ActiveA,  ActiveC, WaitingForUser};
    for (std::uint8_t code = 0; code < 9; ++code) {
        EXPECT_EQ(*TranslateDeviceState(code, 15), before16[code]) << int(code);
        EXPECT_EQ(*TranslateDeviceState(code, 0), before16[code]) << int(code);
    }
    for (std::uint8_t code = 0; code < 10; ++code) {
        EXPECT_EQ(*TranslateDeviceState(code, 16), from16[code]) << int(code);
    }
    EXPECT_FALSE(TranslateDeviceState(9, 15));
    EXPECT_FALSE(TranslateDeviceState(10, 16));
    EXPECT_FALSE(TranslateDeviceState(255, 99));
}

TEST(DeviceUnitState, IsSequenceActive) {
    for (unsigned int v = 0; v <= 11; ++v) {
        const bool active = v == Running || (v >= ActiveA && v <= ActiveC);
        EXPECT_EQ(IsSequenceActive(static_cast<State>(v)), active) << v;
    }
}

}  // namespace
