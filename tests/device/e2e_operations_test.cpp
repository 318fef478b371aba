// Outputs, motion, sequence memory, user data and the keep-alive poller against the virtual device.
#include <support/virtual_device_fixture.h>

#include <korvan/calibration/detail/calibration_run.h>
#include <korvan/device/detail/connection.h>
#include <korvan/device/detail/device_state.h>
#include <korvan/device/detail/keep_alive.h>
#include <korvan/device/detail/memory.h>
#include <korvan/device/detail/outputs.h>

#include <chrono>
#include <numeric>
#include <thread>

namespace devicetest {
namespace {

class DeviceEndToEnd : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        ConnectByPort(k);
    }
    Korvan k;
};

// The operations without a public call of their own (direct line and channel commands,
// defragmentation) run on a session, as the Korvan object would.
class DeviceSessionEndToEnd : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        ASSERT_EQ(korvan::detail::Connect(session, calibration, sim.PortName().c_str()), 0u);
    }
    State SessionState() {
        State state = NotConnected;
        unsigned int counter = 0;
        unsigned short statusWord = 0;
        korvan::detail::QueryState(session, &state, &counter, &statusWord);
        return state;
    }
    korvan::detail::Session session;
    korvan::detail::CalibrationRun calibration;
};

TEST_F(DeviceEndToEnd, MovesAndPositionReadsAgree) {
    tagPOINT p{};
    ASSERT_EQ(k.MoveAbsolute(1000, 65535), 0u);
    EXPECT_EQ(Model([](sim::DeviceModel& m) { return m.MirrorX(); }), 1000);
    ASSERT_EQ(k.GetActualPosition(&p), 0u);
    EXPECT_EQ(p.x, 1000);
    EXPECT_EQ(p.y, 65535);
    ASSERT_EQ(k.MoveRelative(-1000, -35), 0u);
    ASSERT_EQ(k.GetActualPosition(&p), 0u);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 65500);
    EXPECT_EQ(k.MoveRelative(0, 36), 2u);
    ASSERT_EQ(k.GetActualPosition(&p), 0u);
    EXPECT_EQ(p.y, 65500) << "a refused move does not move";

    // The point overloads take the same paths; a negative absolute coordinate is out of range.
    ASSERT_EQ(k.MoveAbsolute(tagPOINT{2000, 3000}), 0u);
    ASSERT_EQ(k.MoveRelative(tagPOINT{-500, 100}), 0u);
    EXPECT_EQ(k.MoveAbsolute(tagPOINT{-1, 0}), 2u);
    EXPECT_EQ(k.MoveRelative(tagPOINT{-1501, 0}), 2u);
    ASSERT_EQ(k.GetActualPosition(&p), 0u);
    EXPECT_EQ(p.x, 1500);
    EXPECT_EQ(p.y, 3100);
}

TEST_F(DeviceSessionEndToEnd, OutputsAndTiming) {
    int level = -1;
    ASSERT_EQ(SetOutputDefault(session, TTLOutput2, 1), 0u);
    ASSERT_EQ(GetOutputDefault(session, TTLOutput2, &level), 0u);
    EXPECT_EQ(level, 1);
    ASSERT_EQ(GetOutputDefault(session, LaserOutput3, &level), 0u);
    EXPECT_EQ(level, 0);
    ASSERT_EQ(SetAnalog(session, LaserOutput3, 0x1234), 0u);
    ASSERT_EQ(SetDigital(session, LaserOutput3, 1), 0u);
    ASSERT_EQ(SetTickTime(session, 20), 0u);
    Model([](sim::DeviceModel& m) {
        EXPECT_EQ(m.analog[6], 0x1234);
        EXPECT_EQ(m.lineLevels[8], 1);
        EXPECT_EQ(m.outputDefaults[1], 1);
        EXPECT_EQ(m.tickTime, 20u);
    });
}

TEST_F(DeviceEndToEnd, RunningSequenceRefusesDirectControlUntilStopped) {
    Model([](sim::DeviceModel& m) {
        m.memory.Fill(*m.memory.Reserve(10), std::vector<uint8_t>(10));
        m.runningSequence = 1;
        m.sequenceCounter = 3;
    });
    State s = Idle;
    unsigned int counter = 0;
    unsigned short word = 1;
    ASSERT_EQ(k.GetState(&s, &counter, &word), 0u);
    EXPECT_EQ(s, Running);
    EXPECT_EQ(counter, 2u);
    EXPECT_EQ(word, 0);
    EXPECT_EQ(k.MoveAbsolute(1, 1), 5u);
    EXPECT_EQ(k.SetTickTime(10), 5u);
    EXPECT_EQ(k.AcknowledgeWaitForUser(), 5u);
    EXPECT_EQ(k.Stop(), 0u);
    EXPECT_EQ(StateOf(k), Idle);

    Model([](sim::DeviceModel& m) { m.forcedStateCode = 9; });
    EXPECT_EQ(StateOf(k), WaitingForUser);
    EXPECT_EQ(k.AcknowledgeWaitForUser(), 0u);
    EXPECT_EQ(StateOf(k), Idle);
}

TEST_F(DeviceSessionEndToEnd, MemoryFiguresAndDefragmentation) {
    Model([](sim::DeviceModel& m) {
        m.memory.SetCapacity(1000);
        for (int i = 0; i < 3; ++i) m.memory.Fill(*m.memory.Reserve(300), std::vector<uint8_t>(300));
        m.defragmentQueries = 2;
    });
    ASSERT_EQ(GetSequenceCount(session), 3u);
    SequenceMemoryInfo info{};
    ASSERT_EQ(korvan::detail::GetMemoryUsage(1, &info), 0u);
    EXPECT_EQ(info.size, 300u);
    ASSERT_EQ(DeleteSequence(session, static_cast<unsigned short>(info.sequenceNumber)), 0u);
    EXPECT_EQ(DeleteSequence(session, static_cast<unsigned short>(info.sequenceNumber)), 0u)
        << "the device answers 01 for a number it does not hold";

    unsigned int freeBytes = 0, largest = 0;
    ASSERT_EQ(GetAvailableMemory(session, &freeBytes, &largest), 0u);
    EXPECT_EQ(freeBytes, 400u);
    EXPECT_EQ(largest, 300u) << "the gap in the middle; 100 at the end";

    ASSERT_EQ(DefragmentMemory(session), 0u);
    EXPECT_EQ(SessionState(), Defragmenting);
    EXPECT_EQ(GetAvailableMemory(session, &freeBytes, &largest), 5u);
    EXPECT_EQ(SessionState(), Idle);
    ASSERT_EQ(GetAvailableMemory(session, &freeBytes, &largest), 0u);
    EXPECT_EQ(freeBytes, 400u);
    EXPECT_EQ(largest, 400u);

    ASSERT_EQ(DeleteAllSequences(session), 0u);
    EXPECT_EQ(GetSequenceCount(session), 0u);
    ASSERT_EQ(GetAvailableMemory(session, &freeBytes, &largest), 0u);
    EXPECT_EQ(freeBytes, 1000u);
}

TEST_F(DeviceEndToEnd, UserDataRoundTrip) {
    std::vector<unsigned char> block(60);
    std::iota(block.begin(), block.end(), 100);
    ASSERT_EQ(k.SetUserData(block.data(), 60), 0u);
    unsigned char* data = nullptr;
    unsigned int length = 0;
    ASSERT_EQ(k.GetUserData(&data, &length), 0u);
    ASSERT_EQ(length, 60u);
    EXPECT_EQ(std::vector<unsigned char>(data, data + length), block);
    k.FreeUserData(data);

    unsigned char small[] = {1, 2, 3};
    ASSERT_EQ(k.SetUserData(small, 3), 0u);
    ASSERT_EQ(k.GetUserData(&data, &length), 0u);
    EXPECT_EQ(std::vector<unsigned char>(data, data + length), std::vector<unsigned char>(small, small + 3));
    k.FreeUserData(data);
}

TEST_F(DeviceSessionEndToEnd, KeepAlivePollerQueriesWhileTheCallerIsBusy) {
    const int before = sim.RequestCount(0x31);
    const auto start = std::chrono::steady_clock::now();
    korvan::detail::KeepAlivePoller poller(session);
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    const auto stopAt = std::chrono::steady_clock::now();
    poller.Stop();
    const auto stopped = std::chrono::steady_clock::now();
    const int queries = sim.RequestCount(0x31) - before;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(stopAt - start).count();
    // One query per 500 sleeps of 1 ms (a little more than 500 ms each).
    EXPECT_GE(queries, 1);
    EXPECT_LE(queries, elapsed / 500);
    EXPECT_LT(stopped - stopAt, std::chrono::milliseconds(100));
    EXPECT_EQ(SessionState(), Idle);
}

}  // namespace
}  // namespace devicetest

namespace devicetest {
namespace {

// Each poller owns its stop flag: when one caller's long work ends, another caller's poller goes
// on keeping its own device's connection alive (a shared flag stopped them all).
TEST_F(DeviceSessionEndToEnd, StoppingOnePollerLeavesAnotherPolling) {
    sim::VirtualDevice other;
    ASSERT_TRUE(other.Start());
    korvan::detail::Session otherSession;
    korvan::detail::CalibrationRun otherCalibration;
    ASSERT_EQ(korvan::detail::Connect(otherSession, otherCalibration, other.PortName().c_str()), 0u);

    korvan::detail::KeepAlivePoller first(session);
    korvan::detail::KeepAlivePoller second(otherSession);
    first.Stop();
    const int before = other.RequestCount(0x31);
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    EXPECT_GE(other.RequestCount(0x31) - before, 1) << "the second poller stopped with the first";
    second.Stop();
    korvan::detail::Disconnect(otherSession, otherCalibration);
}

}  // namespace
}  // namespace devicetest
