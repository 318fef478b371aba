// The state query and what is built on it: errors, acknowledge, stop, delete all, keep-alive.
#include <support/wire_session_fixture.h>

#include <korvan/device/detail/keep_alive.h>

#include <chrono>
#include <thread>

namespace devicetest {
namespace {

using DeviceWireState = WireTest;

TEST_F(DeviceWireState, Firmware15ReadsSevenBytesWithoutStatusWord) {
    Open(15);
    StateStep(1, 0, 3);
    State s = Idle;
    unsigned int counter = 99;
    unsigned short word = 0xABCD;
    EXPECT_EQ(Query(&s, &counter, &word), 0u);
    EXPECT_EQ(s, Running);
    EXPECT_EQ(counter, 2u);
    EXPECT_EQ(word, 0xABCD) << "no status word before firmware 16";
}

TEST_F(DeviceWireState, Firmware16ReadsNineBytesWithStatusWord) {
    Open(16);
    StateStep(0, 0, 0, 0x1234);
    State s = NotConnected;
    unsigned int counter = 99;
    unsigned short word = 0;
    EXPECT_EQ(Query(&s, &counter, &word), 0u);
    EXPECT_EQ(s, Idle);
    EXPECT_EQ(word, 0x1234);
    StateStep(2, 0, 0, 0x0001);
    EXPECT_EQ(Query(&s, &counter, nullptr), 0u) << "a null status word is skipped";
    EXPECT_EQ(s, NotReady);
}

TEST_F(DeviceWireState, TranslationDependsOnFirmware) {
    Open(15);
    State s = Idle;
    StateStep(3);
    EXPECT_EQ(Query(&s), 0u);
    EXPECT_EQ(s, Running);
    session.firmwareVersion = 16;
    StateStep(3);
    EXPECT_EQ(Query(&s), 0u);
    EXPECT_EQ(s, ActiveB);
    StateStep(9);
    EXPECT_EQ(Query(&s), 0u);
    EXPECT_EQ(s, WaitingForUser);
}

TEST_F(DeviceWireState, UnknownCodeClosesThePort) {
    Open(15);
    StateStep(9);  // code 9 exists only from firmware 16
    State s = Idle;
    EXPECT_EQ(Query(&s), 1u);
    EXPECT_EQ(s, NotConnected);
    EXPECT_FALSE(PortOpen());
}

TEST_F(DeviceWireState, WrongEchoOfStateQueryClosesThePort) {
    Open();
    Step({0x31}, {0x32, 0, 0, 0, 0, 0, 0, 0, 0});
    State s = Idle;
    EXPECT_EQ(Query(&s), 1u);
    EXPECT_EQ(s, NotConnected);
    EXPECT_FALSE(PortOpen());
}

TEST_F(DeviceWireState, SequenceCounterCountsFromOneOnlyWhileActive) {
    Open();
    State s = Idle;
    unsigned int counter = 77;
    StateStep(1, 0, 0);
    EXPECT_EQ(Query(&s, &counter), 0u);
    EXPECT_EQ(counter, 0u);
    StateStep(6, 0, 5);
    EXPECT_EQ(Query(&s, &counter), 0u);
    EXPECT_EQ(s, ActiveA);
    EXPECT_EQ(counter, 4u);
    StateStep(0, 0, 7);
    EXPECT_EQ(Query(&s, &counter), 0u);
    EXPECT_EQ(counter, 0u) << "idle ignores the counter";
    StateStep(1, 0, 0x01020304);
    EXPECT_EQ(Query(&s, &counter), 0u);
    EXPECT_EQ(counter, 0x01020303u) << "big-endian";
}

TEST_F(DeviceWireState, NullOutputsGiveTwoWithoutTraffic) {
    Open();
    State s = Idle;
    unsigned int counter = 0;
    EXPECT_EQ(Query(nullptr), 2u);
    EXPECT_EQ(Query(&s, nullptr), 2u);
    EXPECT_EQ(Query(nullptr, &counter, nullptr), 2u);
    EXPECT_TRUE(PortOpen());
}

TEST_F(DeviceWireState, CalibrationSticksUntilTheDeviceLeavesIdleAndRunning) {
    Open();
    session.state = Calibrating;
    State s = Idle;
    StateStep(0);
    EXPECT_EQ(Query(&s), 0u);
    EXPECT_EQ(s, Calibrating);
    StateStep(8);
    EXPECT_EQ(Query(&session.state), 0u);
    EXPECT_EQ(session.state, Calibrating);
    StateStep(4);
    EXPECT_EQ(Query(&session.state), 0u);
    EXPECT_EQ(session.state, Defragmenting);
    StateStep(0);
    EXPECT_EQ(Query(&s), 0u);
    EXPECT_EQ(s, Idle) << "the calibration has ended";
}

TEST_F(DeviceWireState, ErrorBitsAccumulateUntilCleared) {
    Open();
    StateStep(0, 0x01);
    EXPECT_EQ(CollectDeviceErrors(session), 0x01);
    StateStep(0, 0x04);
    EXPECT_EQ(CollectDeviceErrors(session), 0x05);
    Step({0x4F}, {0x4F, 0x00});
    EXPECT_EQ(ClearDeviceErrors(session), 1u);
    EXPECT_EQ(session.lastDeviceError, 0x05) << "a refused clear keeps the bits";
    Step({0x4F}, {0x4F, 0xFF});
    EXPECT_EQ(ClearDeviceErrors(session), 0u);
    EXPECT_EQ(session.lastDeviceError, 0);
    StateStep(0, 0x02);
    EXPECT_EQ(CollectDeviceErrors(session), 0x02);
    // A failing query still hands out what was collected.
    session.Line().rs232.Disconnect();
    EXPECT_EQ(CollectDeviceErrors(session), 0x02);
}

TEST_F(DeviceWireState, AcknowledgeOnlyWhileWaitingForUser) {
    Open();
    StateStep(1);
    EXPECT_EQ(AcknowledgeWaitForUser(session), 5u);  // running: nothing sent after the query
    StateStep(9);
    Step({0x36}, {0x36, 0xFF});
    EXPECT_EQ(AcknowledgeWaitForUser(session), 0u);
    StateStep(9);
    Step({0x36}, {0x36, 0x02});
    EXPECT_EQ(AcknowledgeWaitForUser(session), 5u) << "a refusal is 5";
    StateStep(9);
    Step({0x36}, {0x37, 0xFF});
    EXPECT_EQ(AcknowledgeWaitForUser(session), 1u) << "a wrong echo is 1";
}

TEST_F(DeviceWireState, StopWhenIdleOnlyQueries) {
    Open();
    StateStep(0);
    StateStep(0);
    EXPECT_EQ(Stop(session, calibration), 0u);
}

TEST_F(DeviceWireState, StopSendsTheStopCommandWhileRunningAndIgnoresItsAnswer) {
    Open();
    StateStep(1);
    Step({0x3D}, {0x3D, 0x00});
    StateStep(0);
    EXPECT_EQ(Stop(session, calibration), 0u);
    StateStep(7);
    Step({0x3D}, {0x3D, 0xFF});
    Step({0x31}, {});  // the final query goes unanswered: that is what Stop reports
    EXPECT_EQ(Stop(session, calibration), 1u);
    EXPECT_FALSE(PortOpen());
}

TEST_F(DeviceWireState, DeleteAllSequencesNeedsIdle) {
    Open();
    StateStep(0);
    Step({0x3B}, {0x3B, 0xFF});
    EXPECT_EQ(DeleteAllSequences(session), 0u);
    session.state = Calibrating;
    StateStep(0);
    EXPECT_EQ(DeleteAllSequences(session), 5u);
}

TEST_F(DeviceWireState, KeepAlivePollerQueriesEvery500msAndLeavesTheCachedStateAlone) {
    Open();
    session.state = Idle;
    StateStep(1, 0x08);
    StateStep(1);
    const auto start = std::chrono::steady_clock::now();
    {
        korvan::detail::KeepAlivePoller poller(session);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_TRUE(peer.AllFromHost().empty()) << "the first query comes after about 500 ms";
        EXPECT_THAT(peer.Finish(2500), ::testing::IsEmpty());
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
        const auto before = std::chrono::steady_clock::now();
        poller.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(100));
    }
    EXPECT_EQ(session.state, Idle);
    EXPECT_EQ(session.lastDeviceError, 0x08) << "error bits are still collected";
}

}  // namespace
}  // namespace devicetest
