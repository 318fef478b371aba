// Two Korvan objects on two threads, each with its own virtual device: long compiles and uploads
// at the same time must not disturb each other, and each object's keep-alive poller must keep
// its own device queried while its own compile runs.
#include <support/virtual_device_fixture.h>

#include <korvan/sequence/sequence_elements.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace devicetest {
namespace {

// Enough points that a compile under the sanitizers outlasts the poller's period (about 500 ms), few
// enough that the image crosses the pseudo-terminal without a pause the device would drop it for.
constexpr unsigned int kPoints = 120000;
constexpr int kRounds = 2;
// The poller queries after 500 sleeps of 1 ms; with the sleeps' overshoot on a busy machine a
// period stays below this.
constexpr long long kQueryPeriodBoundMs = 1000;

class ParallelUpload : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        ASSERT_TRUE(other.Start());
        ConnectByPort(first);
        ASSERT_EQ(second.Connect(other.PortName().c_str()), 0u);
        // Both devices compile against the one process-wide laser list.
        ASSERT_EQ(first.AddLaser(0, 0, 0, LaserOutput1, 0, 0, 0, &laser), 0u);
        for (unsigned int i = 0; i < kPoints; ++i) {
            auto point = std::make_unique<SequencePoint>(i % 65536, (i * 7) % 65536);
            point->useCalibration = 0;
            point->laserIds[0] = laser;
            point->startTick = i * 101;
            elements.push_back(point.get());
            points.push_back(std::move(point));
        }
    }
    void TearDown() override {
        first.Disconnect();
        second.Disconnect();
    }

    /// What one thread saw of its own device, per round.
    struct Outcome {
        std::vector<unsigned int> results;
        std::vector<long long> compileMs;       // the compile alone (CalcMemoryUsage)
        std::vector<int> queriesDuringCompile;  // state queries its device answered meanwhile
    };

    /// Compiles, uploads and deletes the sequence kRounds times, as one thread.
    void Run(Korvan& k, sim::VirtualDevice& device, Outcome& out) {
        for (int round = 0; round < kRounds; ++round) {
            // A compile sends nothing itself: every query counted here came from the poller.
            const int before = device.RequestCount(0x31);
            const auto start = std::chrono::steady_clock::now();
            unsigned int size = 0;
            out.results.push_back(k.CalcMemoryUsage(elements.data(), kPoints, &size));
            out.compileMs.push_back(
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                    .count());
            out.queriesDuringCompile.push_back(device.RequestCount(0x31) - before);
            unsigned short number = 0;
            out.results.push_back(k.UploadSequence(elements.data(), kPoints, &number));
            out.results.push_back(k.DeleteSequence(number));
        }
    }

    sim::VirtualDevice other;
    Korvan first, second;
    unsigned int laser = 0;
    std::vector<std::unique_ptr<SequencePoint>> points;
    std::vector<SequenceObject*> elements;
};

TEST_F(ParallelUpload, BothSucceedAndEachPollerKeepsItsOwnDeviceQueried) {
    Outcome a, b;
    std::thread one([&] { Run(first, sim, a); });
    std::thread two([&] { Run(second, other, b); });
    one.join();
    two.join();

    // Where compiles are shorter than a poll period (an optimised build) the counts show little;
    // DeviceSessionEndToEnd.StoppingOnePollerLeavesAnotherPolling checks the pollers on their own.
    for (const Outcome* out : {&a, &b}) {
        const char* which = out == &a ? "first" : "second";
        EXPECT_EQ(out->results, std::vector<unsigned int>(3 * kRounds, 0u)) << which;
        for (int round = 0; round < kRounds; ++round) {
            // One query per poll period of compiling at least, however the other thread's poller
            // starts and stops meanwhile.
            const long long compileMs = out->compileMs[round];
            EXPECT_GE(out->queriesDuringCompile[round], compileMs / kQueryPeriodBoundMs)
                << which << " round " << round << ", compile " << compileMs << " ms";
        }
    }
    EXPECT_EQ(StateOf(first), Idle);
    EXPECT_EQ(StateOf(second), Idle);
}

}  // namespace
}  // namespace devicetest
