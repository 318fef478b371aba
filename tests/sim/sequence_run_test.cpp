// The virtual device runs uploaded sequences: raw command bytes through the pseudo-terminal,
// checked against the device's state and its executed timeline.
#include "image_bytes.h"

#include <sim/device_responder.h>
#include <sim/virtual_device.h>
#include <tessel/serial/rs232.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace simtest;
using sim::image::Event;
using sim::image::Record;

class DeviceRunsSequences : public ::testing::Test {
protected:
    void Open(sim::Options options = {}) {
        device = std::make_unique<sim::VirtualDevice>(options);
        ASSERT_TRUE(device->Start());
        std::string name = device->PortName();
        ASSERT_TRUE(port.Connect(name.data()));
    }
    void SetUp() override { Open(); }

    Bytes Ask(Bytes request, size_t n) {
        EXPECT_TRUE(port.Send(request.data(), static_cast<int>(request.size())));
        Bytes reply(n);
        size_t got = 0;
        while (got < n && port.Receive(&reply[got], 1, 500)) ++got;
        reply.resize(got);
        return reply;
    }
    /// Announces and sends `image`; returns the data reply (0xFF stored, 0x01 refused).
    uint8_t Upload(const Image& image, uint16_t* number = nullptr) {
        Bytes announce{0x3F};
        PutBe(announce, static_cast<uint32_t>(image.bytes.size()), 4);
        PutBe(announce, image.mainLength, 4);
        const Bytes reply = Ask(announce, 4);
        EXPECT_EQ(reply.size(), 4u);
        if (reply.size() < 4 || reply[1] != 0xFF) return 0;
        if (number) *number = static_cast<uint16_t>(reply[2] << 8 | reply[3]);
        const Bytes data = Ask(image.bytes, 1);
        return data.empty() ? 0 : data[0];
    }
    Bytes Start(uint16_t number, uint8_t input, uint8_t trigger, uint32_t runs) {
        Bytes start{0x3E, uint8_t(number >> 8), uint8_t(number), input, trigger};
        PutBe(start, runs, 4);
        return Ask(start, 2);
    }
    int StateCode() {
        const Bytes r = Ask({0x31}, 9);
        return r.size() == 9 ? r[1] : -1;
    }
    uint32_t Counter() {
        const Bytes r = Ask({0x31}, 9);
        return r.size() == 9 ? uint32_t(r[3]) << 24 | r[4] << 16 | r[5] << 8 | r[6] : 0;
    }
    /// Polls the state until it reports `code`; false after a second.
    bool AwaitState(int code) {
        for (int i = 0; i < 200; ++i) {
            if (StateCode() == code) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    template <class F>
    auto Model(F f) {
        return device->WithResponder<sim::DeviceResponder>([&](sim::DeviceResponder* r) { return f(r->Model()); });
    }
    std::vector<Record> Events(Event e) {
        std::vector<Record> out;
        const sim::image::Timeline timeline = device->ExecutedTimeline();
        for (const Record& r : timeline.Records())
            if (r.event == e) out.push_back(r);
        return out;
    }

    std::unique_ptr<sim::VirtualDevice> device;
    RS232 port;
};

TEST_F(DeviceRunsSequences, ExecutesAnUploadedImageAndRecordsItsTimeline) {
    const Image image = Join(ListBuilder()
                                 .Slot(0, {MirrorX(1000), MirrorY(2000)})
                                 .Slot(4, {SetLine(6, 1), Analog(4, 500)})
                                 .Slot(10, {Pulse(0), MirrorX(3000)})
                                 .End(11),
                             ListBuilder().Slot(2, {SetLine(1, 1)}).End(3));
    uint16_t number = 0;
    ASSERT_EQ(Upload(image, &number), 0xFF);
    EXPECT_EQ(Ask({0xDE, 0, 0, 0, 20}, 2), (Bytes{0xDE, 0xFF}));
    EXPECT_EQ(Start(number, 0xFF, 1, 2), (Bytes{0x3E, 0xFF}));
    ASSERT_TRUE(device->WaitUntilIdle(2000));
    EXPECT_EQ(StateCode(), 0);
    EXPECT_EQ(Counter(), 2u) << "the last run's number";

    EXPECT_EQ(Ask({0x3A, 0x02}, 4), (Bytes{0x3A, 0xFF, 3000 >> 8, 3000 & 0xFF}));
    EXPECT_EQ(Ask({0x3A, 0x03}, 4), (Bytes{0x3A, 0xFF, 2000 >> 8, 2000 & 0xFF}));
    Model([](sim::DeviceModel& m) {
        EXPECT_EQ(m.lineLevels[6], 1);
        EXPECT_EQ(m.lineLevels[1], 1);
        EXPECT_EQ(m.analog[4], 500);
        EXPECT_EQ(m.pulseCounts[0], 2u);
    });
    // Two runs of 12 ticks (end slot at tick 12) at 20 µs.
    std::vector<uint64_t> mirrorX, runEnds;
    for (const Record& r : Events(Event::MirrorX)) mirrorX.push_back(r.timeUs);
    for (const Record& r : Events(Event::RunEnd)) runEnds.push_back(r.timeUs);
    EXPECT_EQ(mirrorX, (std::vector<uint64_t>{0, 200, 240, 440}));
    EXPECT_EQ(runEnds, (std::vector<uint64_t>{240, 480}));
    EXPECT_EQ(Events(Event::RunStart).back().value, 2u);
    EXPECT_EQ(Events(Event::RunStart).back().channel, number);

    device->ClearTimeline();
    EXPECT_TRUE(device->ExecutedTimeline().Records().empty());
}

TEST_F(DeviceRunsSequences, RefusesAMalformedImageAndKeepsNothingOfIt) {
    const uint32_t freeBefore = Model([](sim::DeviceModel& m) { return m.memory.FreeBytes(); });
    uint16_t number = 0;
    const Image forward = Join(ListBuilder().Slot(0, {JumpTo(1, 3, 1)}).Slot(3, {Nop()}).End(4), ListBuilder().End(0));
    EXPECT_EQ(Upload(forward, &number), 0x01);
    Image shortMain = EmptyImage();
    shortMain.mainLength = 5;
    EXPECT_EQ(Upload(shortMain), 0x01);
    EXPECT_EQ(Ask({0x41}, 4), (Bytes{0x41, 0xFF, 0, 0}));
    Model([&](sim::DeviceModel& m) {
        EXPECT_EQ(m.memory.FreeBytes(), freeBefore);
        EXPECT_NE(m.lastImageError.find("main list"), std::string::npos) << m.lastImageError;
    });
    EXPECT_EQ(Start(number, 0xFF, 1, 1), (Bytes{0x3E, 0x01}));
    EXPECT_EQ(Upload(EmptyImage()), 0xFF) << "the device takes the next image as usual";
}

TEST_F(DeviceRunsSequences, DropsAnIncompleteImageAfterAPauseInItsData) {
    sim::Options options;
    options.staleInputMs = 100;
    port.Disconnect();
    Open(options);
    const Image image = Join(ListBuilder().Slot(0, {MirrorX(1)}).End(1), ListBuilder().End(0));
    for (size_t sent : {size_t{0}, size_t{7}}) {
        Bytes announce{0x3F};
        PutBe(announce, static_cast<uint32_t>(image.bytes.size()), 4);
        PutBe(announce, image.mainLength, 4);
        ASSERT_EQ(Ask(announce, 4)[1], 0xFF);
        Bytes part(image.bytes.begin(), image.bytes.begin() + static_cast<long>(sent));
        if (!part.empty()) port.Send(part.data(), static_cast<int>(part.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        EXPECT_EQ(Ask({0x41}, 4), (Bytes{0x41, 0xFF, 0, 0})) << sent << " bytes sent: a command again";
    }
    EXPECT_EQ(Model([](sim::DeviceModel& m) { return m.memory.FreeBytes(); }), sim::DeviceMemory::kDefaultCapacity);
    EXPECT_EQ(Upload(image), 0xFF);
}

TEST_F(DeviceRunsSequences, AUserWaitHoldsUntilAcknowledged) {
    const Image image =
        Join(ListBuilder().Slot(0, {MirrorX(1)}).Slot(3, {WaitUser(5), MirrorX(2)}).End(4), ListBuilder().End(0));
    uint16_t number = 0;
    ASSERT_EQ(Upload(image, &number), 0xFF);
    EXPECT_EQ(Ask({0x36}, 2), (Bytes{0x36, 0x01})) << "nothing waits yet";
    for (int firmware : {16, 15}) {
        sim::Identity id;
        id.firmwareVersion = firmware;
        device->SetIdentity(id);
        const size_t replyLength = firmware >= 16 ? 9 : 7;
        ASSERT_EQ(Start(number, 0xFF, 1, 1), (Bytes{0x3E, 0xFF}));
        int code = -1;
        for (int i = 0; i < 200 && code != (firmware >= 16 ? 9 : 8); ++i) code = Ask({0x31}, replyLength)[1];
        EXPECT_EQ(code, firmware >= 16 ? 9 : 8) << "firmware " << firmware;
        EXPECT_EQ(Ask({0x3A, 0x02}, 4)[3], 1) << "the rest of the slot waits";
        EXPECT_EQ(Start(number, 0xFF, 1, 1), (Bytes{0x3E, 0x05})) << "busy";
        EXPECT_EQ(Ask({0x36}, 2), (Bytes{0x36, 0xFF}));
        ASSERT_TRUE(device->WaitUntilIdle(2000));
        EXPECT_EQ(Ask({0x3A, 0x02}, 4)[3], 2);
    }
    EXPECT_EQ(Events(Event::WaitUser).size(), 2u);
    EXPECT_EQ(Events(Event::WaitReleased).size(), 2u);
}

TEST_F(DeviceRunsSequences, InputWaitsAndTheStartInputHoldUntilTheInputIsSet) {
    const Image image =
        Join(ListBuilder().Slot(1, {WaitInput(2, 1)}).Slot(2, {MirrorY(7)}).End(3), ListBuilder().End(0));
    uint16_t number = 0;
    ASSERT_EQ(Upload(image, &number), 0xFF);
    ASSERT_EQ(Start(number, 0, 2, 1), (Bytes{0x3E, 0xFF})) << "input 0 is low: starts at once";
    ASSERT_TRUE(AwaitState(6));
    EXPECT_EQ(device->GetRunState().phase, sim::image::Phase::WaitingInput);
    device->SetInput(1, true);
    EXPECT_EQ(StateCode(), 6);
    device->SetInput(2, true);
    ASSERT_TRUE(device->WaitUntilIdle(2000));
    EXPECT_EQ(Ask({0x3A, 0x03}, 4)[3], 7);

    ASSERT_EQ(Start(number, 3, 1, 1), (Bytes{0x3E, 0xFF}));
    EXPECT_EQ(StateCode(), 3) << "armed";
    EXPECT_EQ(Counter(), 0u);
    EXPECT_FALSE(device->WaitUntilIdle(50));
    device->SetInput(3, true);
    ASSERT_TRUE(device->WaitUntilIdle(2000)) << "input 2 is still high";
    EXPECT_EQ(Counter(), 1u);
    EXPECT_EQ(Start(number, 4, 1, 1), (Bytes{0x3E, 0x01})) << "no input 4";
    EXPECT_EQ(Start(number, 0, 0, 1), (Bytes{0x3E, 0x01})) << "no trigger 0";
}

TEST_F(DeviceRunsSequences, AutoInputsGiveEveryWaitAndTheStartTheLevelTheyAskFor) {
    sim::Options options;
    options.autoInputMs = 30;
    port.Disconnect();
    Open(options);
    // The start waits for input 3 high, then the run for input 0 high and for input 1 low (it
    // starts high), then once more for input 0 high, which holds already.
    device->SetInput(1, true);
    const Image image = Join(ListBuilder()
                                 .Slot(1, {WaitInput(0, 1)})
                                 .Slot(2, {WaitInput(1, 2)})
                                 .Slot(3, {WaitInput(0, 1), MirrorY(9)})
                                 .End(4),
                             ListBuilder().End(0));
    uint16_t number = 0;
    ASSERT_EQ(Upload(image, &number), 0xFF);
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(Start(number, 3, 1, 1), (Bytes{0x3E, 0xFF}));
    ASSERT_TRUE(device->WaitUntilIdle(3000)) << "a wait was left holding";
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin);
    EXPECT_GE(ms.count(), 3 * 30) << "each of the three holding waits is given its time";
    std::vector<uint16_t> released;
    for (const Record& r : Events(Event::WaitReleased)) released.push_back(r.channel);
    EXPECT_EQ(released, (std::vector<uint16_t>{3, 0, 1, 0}));
    Model([](sim::DeviceModel& m) {
        EXPECT_TRUE(m.inputs[3]);
        EXPECT_TRUE(m.inputs[0]);
        EXPECT_FALSE(m.inputs[1]);
    });
}

TEST_F(DeviceRunsSequences, WithoutAutoInputsAWaitHoldsAndTellsWhatItWaitsFor) {
    const Image image = Join(ListBuilder().Slot(1, {WaitInput(2, 2)}).End(2), ListBuilder().End(0));
    uint16_t number = 0;
    device->SetInput(2, true);
    ASSERT_EQ(Upload(image, &number), 0xFF);
    ASSERT_EQ(Start(number, 0xFF, 1, 1), (Bytes{0x3E, 0xFF}));
    ASSERT_TRUE(AwaitState(6));
    EXPECT_FALSE(device->WaitUntilIdle(100));
    const sim::RunState run = device->GetRunState();
    EXPECT_EQ(run.waitPort, 2);
    EXPECT_EQ(run.waitTrigger, 2);
    device->SetInput(2, false);
    ASSERT_TRUE(device->WaitUntilIdle(2000));
    EXPECT_EQ(device->GetRunState().waitPort, -1);
}

TEST_F(DeviceRunsSequences, LinesAndValuesSetDirectlyAreOnTheTimelineAfterTheRun) {
    const Image image = Join(ListBuilder().Slot(0, {SetLine(6, 1)}).Slot(4, {MirrorX(5)}).End(5), ListBuilder().End(0));
    uint16_t number = 0;
    ASSERT_EQ(Upload(image, &number), 0xFF);
    ASSERT_EQ(Start(number, 0xFF, 1, 1), (Bytes{0x3E, 0xFF}));
    ASSERT_TRUE(device->WaitUntilIdle(2000));
    // What a host sends after a stop: the laser line off, its intensity 0, the mirror moved.
    EXPECT_EQ(Ask({0x38, 6, 0}, 2), (Bytes{0x38, 0xFF}));
    EXPECT_EQ(Ask({0x39, 4, 0, 0}, 2), (Bytes{0x39, 0xFF}));
    EXPECT_EQ(Ask({0x39, 2, 0x12, 0x34}, 2), (Bytes{0x39, 0xFF}));
    EXPECT_EQ(Ask({0x38, 99, 0}, 2), (Bytes{0x38, 0x01})) << "refused: not recorded";
    const auto records = device->ExecutedTimeline().Records();
    ASSERT_GE(records.size(), 3u);
    const uint64_t end = Events(Event::RunEnd).at(0).timeUs;
    using sim::image::ListId;
    const std::vector<Record> expected = {{0, Event::Line, ListId::None, 6, 0},
                                          {0, Event::Analog, ListId::None, 4, 0},
                                          {0, Event::MirrorX, ListId::None, 2, 0x1234}};
    for (size_t i = 0; i < expected.size(); ++i) {
        Record got = records[records.size() - expected.size() + i];
        EXPECT_GE(got.timeUs, end) << i << ": stamped on the device clock, after the run";
        got.timeUs = 0;
        EXPECT_EQ(got, expected[i]) << i;
    }
    // A reset returns the line the sequence left on to its default, and says so.
    ASSERT_EQ(Start(number, 0xFF, 1, 1), (Bytes{0x3E, 0xFF}));
    ASSERT_TRUE(device->WaitUntilIdle(2000));
    EXPECT_EQ(Ask({0x40}, 2), (Bytes{0x40, 0xFF}));
    const Record last = device->ExecutedTimeline().Records().back();
    EXPECT_EQ(last.event, Event::Line);
    EXPECT_EQ(last.list, ListId::None);
    EXPECT_EQ(last.channel, 6);
    EXPECT_EQ(last.value, 0u);
}

TEST_F(DeviceRunsSequences, AnEndlessSequenceKeepsTheDeviceAnsweringUntilStopped) {
    sim::Options options;
    options.timelineCapacity = 1000;
    port.Disconnect();
    Open(options);
    const Image image = Join(ListBuilder().Slot(0, {MirrorX(1)}).Slot(1, {MirrorX(2), JumpTo(0xFFFFFFFF, 0, 1)}).End(2),
                             ListBuilder().End(0));
    uint16_t number = 0;
    ASSERT_EQ(Upload(image, &number), 0xFF);
    ASSERT_EQ(Start(number, 0xFF, 1, 0), (Bytes{0x3E, 0xFF}));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(StateCode(), 1);
    EXPECT_EQ(Ask({0x3D}, 2), (Bytes{0x3D, 0xFF}));
    EXPECT_EQ(StateCode(), 0);
    EXPECT_FALSE(device->GetRunState().active);
    const auto timeline = device->ExecutedTimeline();
    EXPECT_EQ(timeline.Records().size(), 1000u);
    EXPECT_GT(timeline.Dropped(), 0u);
    EXPECT_EQ(Model([](sim::DeviceModel& m) { return m.runningSequence; }), -1);
}

TEST_F(DeviceRunsSequences, RealTimeKeepsTheTickTime) {
    sim::Options options;
    options.timeScale = 1;
    port.Disconnect();
    Open(options);
    // Tick 0 and the end at tick 300 of 100 µs: 30 ms.
    const Image image =
        Join(ListBuilder().Slot(0, {MirrorX(1)}).Slot(150, {MirrorX(2)}).End(299), ListBuilder().End(0));
    uint16_t number = 0;
    ASSERT_EQ(Upload(image, &number), 0xFF);
    EXPECT_EQ(Ask({0xDE, 0, 0, 0, 100}, 2), (Bytes{0xDE, 0xFF}));
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(Start(number, 0xFF, 1, 1), (Bytes{0x3E, 0xFF}));
    EXPECT_EQ(StateCode(), 1);
    ASSERT_TRUE(device->WaitUntilIdle(3000));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin);
    EXPECT_GE(ms.count(), 29);
    EXPECT_LT(ms.count(), 1000);
    EXPECT_EQ(Events(Event::RunEnd).at(0).timeUs, 30000u) << "recorded at the due time";
}

}  // namespace
