// An application's own test, as its developer would write it against the installed SDK: the
// virtual scanner runs in the test's process, the application's code drives it through Korvan,
// and the executed timeline tells what the device did.
#include <korvan/korvan.h>
#include <sim/virtual_scanner.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using sim::image::Event;

std::vector<uint32_t> ValuesOf(const sim::image::Timeline& timeline, Event event, int channel = -1) {
    std::vector<uint32_t> values;
    for (const sim::image::Record& r : timeline.Records())
        if (r.event == event && (channel < 0 || r.channel == channel)) values.push_back(r.value);
    return values;
}

class ApplicationWithVirtualScanner : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(device.Start(&error)) << error;
        ASSERT_EQ(scanner.Connect(device.PortName().c_str()), 0u);
        ASSERT_EQ(scanner.AddLaser(100, 50, 0, LaserOutput1, 0, 0, 0, &laser), 0u);
    }
    // The laser list belongs to the process, not to one Korvan object.
    void TearDown() override { scanner.RemoveLaser(laser); }

    // Two lit points, one after the other, uploaded; returns the sequence number.
    unsigned short UploadTwoPoints() {
        first.useCalibration = second.useCalibration = 0;
        first.laserIds[0] = second.laserIds[0] = laser;
        unsigned int duration = 0, light = 0;
        EXPECT_EQ(scanner.GetTiming(first, &duration, &light), 0u);
        second.startTick = duration;
        SequenceObject* elements[] = {&first, &second};
        unsigned short number = 0;
        EXPECT_EQ(scanner.UploadSequence(elements, 2, &number), 0u);
        return number;
    }

    bool WaitForIdle() {
        if (!device.WaitUntilIdle(5000)) return false;
        State state = Running;
        return scanner.GetState(&state) == 0 && state == Idle;
    }

    sim::VirtualScanner device;
    Korvan scanner;
    unsigned int laser = 0;
    SequencePoint first{20000, 30000}, second{40000, 50000};
};

TEST_F(ApplicationWithVirtualScanner, RunsAnUploadedSequenceAndRecordsWhatItDid) {
    const unsigned short number = UploadTwoPoints();
    ASSERT_EQ(scanner.StartSequence(number, NoInput, Trigger1, 1), 0u);
    ASSERT_TRUE(WaitForIdle());

    const sim::image::Timeline timeline = device.ExecutedTimeline();
    EXPECT_EQ(ValuesOf(timeline, Event::RunStart), std::vector<uint32_t>{1});
    EXPECT_EQ(ValuesOf(timeline, Event::RunEnd), std::vector<uint32_t>{1});
    // The mirrors visit the points in order (channel 2 is X, 3 is Y).
    const std::vector<uint32_t> xs = ValuesOf(timeline, Event::MirrorX, 2);
    const std::vector<uint32_t> ys = ValuesOf(timeline, Event::MirrorY, 3);
    ASSERT_GE(xs.size(), 2u);
    ASSERT_GE(ys.size(), 2u);
    EXPECT_EQ(xs.front(), 20000u);
    EXPECT_EQ(xs.back(), 40000u);
    EXPECT_EQ(ys.front(), 30000u);
    EXPECT_EQ(ys.back(), 50000u);
    // Laser output 1 (digital line 6) goes on and is off again at the end.
    const std::vector<uint32_t> laserLine = ValuesOf(timeline, Event::Line, 6);
    ASSERT_FALSE(laserLine.empty());
    EXPECT_NE(std::find(laserLine.begin(), laserLine.end(), 1u), laserLine.end());
    EXPECT_EQ(laserLine.back(), 0u);
    EXPECT_EQ(device.Outputs().runningSequence, -1);
}

TEST_F(ApplicationWithVirtualScanner, ASequenceArmedOnAnInputWaitsForIt) {
    const unsigned short number = UploadTwoPoints();
    ASSERT_EQ(scanner.StartSequence(number, Input2, Trigger1, 1), 0u);
    EXPECT_FALSE(device.WaitUntilIdle(50)) << "ran without its trigger";
    EXPECT_TRUE(ValuesOf(device.ExecutedTimeline(), Event::MirrorX).empty());

    device.SetInput(2, true);
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(ValuesOf(device.ExecutedTimeline(), Event::RunEnd), std::vector<uint32_t>{1});
}

TEST_F(ApplicationWithVirtualScanner, AReplyThatNeverComesEndsTheSessionAndConnectingAgainWorks) {
    sim::FaultRule lost;
    lost.kind = sim::Fault::NoReply;
    device.AddFault(lost);
    State state = Idle;
    EXPECT_NE(scanner.GetState(&state), 0u);
    EXPECT_EQ(state, NotConnected);

    ASSERT_EQ(scanner.Connect(device.PortName().c_str()), 0u);
    EXPECT_EQ(scanner.GetState(&state), 0u);
    EXPECT_EQ(state, Idle);
}

}  // namespace
