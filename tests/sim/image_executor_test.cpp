// The executor's clock: slot times, loops with their offsets, waits that pause the schedule,
// runs and stop, checked against the timeline it records.
#include "image_bytes.h"

#include <sim/image/executor.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>

namespace {

using namespace simtest;
using sim::image::Event;
using sim::image::Executor;
using sim::image::ListId;
using sim::image::Phase;
using sim::image::Record;
using sim::image::StartParams;

std::shared_ptr<const sim::image::DecodedImage> Decoded(const Image& image) {
    auto r = sim::image::DecodeImage(image.bytes.data(), image.bytes.size(), image.mainLength);
    EXPECT_TRUE(r.Ok()) << r.error;
    return std::make_shared<const sim::image::DecodedImage>(std::move(r.image));
}

StartParams Params(uint32_t tickTimeUs, uint32_t runs = 1) {
    StartParams p;
    p.sequenceNumber = 7;
    p.tickTimeUs = tickTimeUs;
    p.runs = runs;
    return p;
}

// Device times (µs) of the records of one event, optionally on one channel.
std::vector<uint64_t> Times(const sim::image::Timeline& t, Event e, int channel = -1) {
    std::vector<uint64_t> out;
    for (const Record& r : t.Records())
        if (r.event == e && (channel < 0 || r.channel == channel)) out.push_back(r.timeUs);
    return out;
}

struct Outputs : sim::image::OutputSink {
    void SetLine(uint8_t line, uint8_t level) override { lines[line] = level; }
    void PulseLine(uint8_t line) override { ++pulses[line]; }
    void SetAnalog(uint8_t channel, uint16_t value) override { analog[channel] = value; }
    uint8_t lines[10]{};
    int pulses[10]{};
    uint16_t analog[8]{};
};

TEST(ImageExecutor, RunsSlotsAtTheirTicksOnOneClockForBothLists) {
    const auto image = Decoded(Join(ListBuilder()
                                        .Slot(0, {MirrorX(100), MirrorY(200)})
                                        .Slot(3, {SetLine(6, 1)})
                                        .Slot(10, {Pulse(6), Analog(4, 5000)})
                                        .End(11),
                                    ListBuilder().Slot(3, {SetLine(0, 1)}).Slot(5, {Analog(5, 9)}).End(6)));
    sim::image::Timeline t;
    Outputs out;
    Executor x(image, Params(20), &t, &out);
    EXPECT_EQ(x.NextDueUs(), 0u);
    EXPECT_FALSE(x.Advance(60));
    EXPECT_EQ(x.NextDueUs(), 100u) << "the output slot at tick 5";
    EXPECT_EQ(out.lines[6], 1);
    EXPECT_EQ(out.lines[0], 1);
    EXPECT_EQ(out.analog[5], 0) << "not due yet";
    EXPECT_FALSE(x.Advance(1000));
    EXPECT_EQ(x.GetPhase(), Phase::Ended);
    EXPECT_EQ(out.analog[2], 100);
    EXPECT_EQ(out.analog[4], 5000);
    EXPECT_EQ(out.pulses[6], 1);

    const std::vector<Record> expected = {
        {0, Event::RunStart, ListId::None, 7, 1},    {0, Event::MirrorX, ListId::Main, 2, 100},
        {0, Event::MirrorY, ListId::Main, 3, 200},   {60, Event::Line, ListId::Main, 6, 1},
        {60, Event::Line, ListId::Output, 0, 1},     {100, Event::Analog, ListId::Output, 5, 9},
        {140, Event::ListEnd, ListId::Output, 0, 6}, {200, Event::Pulse, ListId::Main, 6, 0},
        {200, Event::Analog, ListId::Main, 4, 5000}, {240, Event::ListEnd, ListId::Main, 0, 11},
        {240, Event::RunEnd, ListId::None, 7, 1},
    };
    EXPECT_EQ(t.Records(), expected);
}

TEST(ImageExecutor, LoopRepeatsItsSlotsLaterAndTheSlotsBehindItKeepTheirTicks) {
    // A point at ticks 0..4 repeated twice by a jump at tick 4; the host puts what follows at
    // tick 4 + 1 + (4 + 1 - 0) x 2 = 15.
    const auto image = Decoded(Join(ListBuilder()
                                        .Slot(0, {MirrorX(1)})
                                        .Slot(2, {SetLine(6, 1)})
                                        .Slot(4, {JumpTo(2, 0, 1), SetLine(6, 0)})
                                        .Slot(15, {MirrorX(2)})
                                        .End(16),
                                    ListBuilder().Slot(12, {SetLine(1, 1)}).End(13)));
    sim::image::Timeline t;
    Executor x(image, Params(10), &t);
    x.Advance(UINT64_MAX);
    EXPECT_EQ(Times(t, Event::MirrorX), (std::vector<uint64_t>{0, 50, 100, 150}));
    EXPECT_EQ(Times(t, Event::Jump), (std::vector<uint64_t>{40, 90}));
    EXPECT_EQ(Times(t, Event::Line, 6), (std::vector<uint64_t>{20, 70, 120, 140}))
        << "the action behind the jump runs only when it falls through";
    EXPECT_EQ(Times(t, Event::Line, 1), (std::vector<uint64_t>{120})) << "the output list is not delayed by loops";
    EXPECT_EQ(Times(t, Event::RunEnd), (std::vector<uint64_t>{170}));
}

TEST(ImageExecutor, SlotsWhoseTimeHasPassedRunAtOnceInsteadOfBackwards) {
    // The slot behind the loop does not count the loop's repetitions in its tick (the host would
    // put it at 15): it runs as soon as the loop ends, never earlier than what ran before it.
    const auto image =
        Decoded(Join(ListBuilder().Slot(0, {MirrorX(1)}).Slot(4, {JumpTo(2, 0, 1)}).Slot(5, {MirrorX(2)}).End(6),
                     ListBuilder().End(0)));
    sim::image::Timeline t;
    Executor x(image, Params(10), &t);
    x.Advance(UINT64_MAX);
    EXPECT_EQ(Times(t, Event::MirrorX), (std::vector<uint64_t>{0, 50, 100, 140}));
    uint64_t last = 0;
    for (const Record& r : t.Records()) {
        EXPECT_GE(r.timeUs, last);
        last = r.timeUs;
    }
}

// Random loop nests laid out as the host lays them out (a loop's jump in its own slot behind the
// body, what follows at the unrolled tick): every executed slot must land on the next free tick,
// so the marks run at 0, 1, 2, ... without gap or overlap, and the run ends at the end tick + 1.
TEST(ImageExecutor, NestedLoopsFillTheUnrolledTicksExactly) {
    std::mt19937 rng(1234);
    for (int trial = 0; trial < 200; ++trial) {
        ListBuilder list;
        uint32_t tick = 0;
        std::function<void(int)> item = [&](int depth) {
            if (depth < 3 && rng() % 3 == 0) {
                const uint32_t target = tick;
                const int bodyItems = 1 + static_cast<int>(rng() % 3);
                for (int i = 0; i < bodyItems; ++i) item(depth + 1);
                const uint32_t jumpTick = tick;
                const uint32_t count = rng() % 4;
                list.Slot(jumpTick, {Analog(4, 0), JumpTo(count, target, static_cast<uint8_t>(depth + 1))});
                tick = jumpTick + 1 + (jumpTick + 1 - target) * count;
            } else {
                list.Slot(tick++, {Analog(4, 0)});
            }
        };
        const int items = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < items; ++i) item(0);
        const uint32_t endTick = tick;
        sim::image::Timeline t;
        Executor x(Decoded(Join(list.End(endTick), ListBuilder().End(0))), Params(3), &t);
        x.Advance(UINT64_MAX);
        const std::vector<uint64_t> marks = Times(t, Event::Analog);
        ASSERT_EQ(marks.size(), endTick) << "trial " << trial;
        for (uint32_t k = 0; k < endTick; ++k) ASSERT_EQ(marks[k], 3u * k) << "trial " << trial;
        EXPECT_EQ(Times(t, Event::RunEnd), (std::vector<uint64_t>{3u * (endTick + 1)}));
    }
}

TEST(ImageExecutor, AWaitForAnInputPausesBothListsByTheTimeItHeld) {
    const auto image = Decoded(Join(ListBuilder()
                                        .Slot(0, {MirrorX(1)})
                                        .Slot(2, {WaitInput(1, 1), MirrorX(2)})
                                        .Slot(5, {MirrorX(3)})
                                        .Slot(6, {WaitInput(1, 2)})
                                        .Slot(7, {WaitInput(2, 2)})
                                        .End(8),
                                    ListBuilder().Slot(4, {SetLine(0, 1)}).End(5)));
    sim::image::Timeline t;
    Executor x(image, Params(10), &t);
    EXPECT_FALSE(x.Advance(1000));
    EXPECT_EQ(x.GetPhase(), Phase::WaitingInput);
    EXPECT_FALSE(x.NextDueUs().has_value());
    x.SetInput(0, true, 250);
    x.SetInput(1, false, 260);
    EXPECT_EQ(x.GetPhase(), Phase::WaitingInput) << "other inputs and the wrong level do not release it";
    x.SetInput(1, true, 300);
    EXPECT_EQ(x.GetPhase(), Phase::Running);
    x.Advance(400);
    EXPECT_EQ(x.GetPhase(), Phase::WaitingInput) << "trigger 2 waits for low";
    x.SetInput(1, false, 500);
    x.Advance(UINT64_MAX);
    EXPECT_EQ(x.GetPhase(), Phase::Ended);
    // Held 280 µs from tick 2; then 500 - 340 = 160 µs at tick 6; input 2 is low already.
    EXPECT_EQ(Times(t, Event::MirrorX), (std::vector<uint64_t>{0, 300, 330}));
    EXPECT_EQ(Times(t, Event::Line, 0), (std::vector<uint64_t>{320}));
    EXPECT_EQ(Times(t, Event::WaitInput), (std::vector<uint64_t>{20, 340, 510}));
    EXPECT_EQ(Times(t, Event::WaitReleased), (std::vector<uint64_t>{300, 500, 510}));
    std::vector<uint32_t> held;
    for (const Record& r : t.Records())
        if (r.event == Event::WaitReleased) held.push_back(r.value);
    EXPECT_EQ(held, (std::vector<uint32_t>{280, 160, 0}));
    EXPECT_EQ(Times(t, Event::RunEnd), (std::vector<uint64_t>{530})) << "tick 9 plus 440 µs held";
}

TEST(ImageExecutor, AWaitForTheUserHoldsUntilAcknowledged) {
    const auto image =
        Decoded(Join(ListBuilder().Slot(1, {WaitUser(0x1234), MirrorY(9)}).End(2), ListBuilder().End(0)));
    sim::image::Timeline t;
    Executor x(image, Params(50), &t);
    EXPECT_FALSE(x.AcknowledgeUser(0)) << "not yet waiting";
    x.Advance(10000);
    EXPECT_EQ(x.GetPhase(), Phase::WaitingUser);
    x.SetInput(0, true, 20000);
    EXPECT_EQ(x.GetPhase(), Phase::WaitingUser);
    EXPECT_TRUE(x.AcknowledgeUser(30000));
    x.Advance(UINT64_MAX);
    EXPECT_EQ(Times(t, Event::MirrorY), (std::vector<uint64_t>{30000}));
    EXPECT_EQ(t.Records()[1], (Record{50, Event::WaitUser, ListId::Main, 0, 0x1234}));
    EXPECT_EQ(Times(t, Event::RunEnd), (std::vector<uint64_t>{30100}));
}

TEST(ImageExecutor, TheStartInputHoldsTheFirstRunOnly) {
    const auto image = Decoded(Join(ListBuilder().Slot(1, {MirrorX(1)}).End(2), ListBuilder().End(0)));
    sim::image::Timeline t;
    StartParams p = Params(10, 2);
    p.input = 3;
    p.trigger = 1;
    Executor x(image, p, &t);
    EXPECT_EQ(x.GetPhase(), Phase::Armed);
    EXPECT_EQ(x.Run(), 0u);
    x.Advance(UINT64_MAX);
    EXPECT_EQ(x.GetPhase(), Phase::Armed);
    x.SetInput(3, true, 400);
    x.SetInput(3, false, 410);
    x.Advance(UINT64_MAX);
    EXPECT_EQ(Times(t, Event::RunStart), (std::vector<uint64_t>{400, 430}));
    EXPECT_EQ(Times(t, Event::MirrorX), (std::vector<uint64_t>{410, 440}));

    p.trigger = 2;  // the input is low already: no hold
    sim::image::Timeline t2;
    Executor y(image, p, &t2);
    EXPECT_EQ(y.GetPhase(), Phase::Running);
    EXPECT_EQ(Times(t2, Event::RunStart), (std::vector<uint64_t>{0}));
}

TEST(ImageExecutor, RunsRepeatBackToBackZeroRepeatsAndStopEndsAtOnce) {
    const auto image = Decoded(Join(ListBuilder().Slot(0, {MirrorX(1)}).End(3), ListBuilder().End(1)));
    sim::image::Timeline t;
    Executor three(image, Params(10, 3), &t);
    three.Advance(UINT64_MAX);
    EXPECT_EQ(three.Run(), 3u);
    EXPECT_EQ(Times(t, Event::RunStart), (std::vector<uint64_t>{0, 40, 80}));
    EXPECT_EQ(Times(t, Event::RunEnd), (std::vector<uint64_t>{40, 80, 120}));

    sim::image::Timeline bounded(50);
    Executor forever(image, Params(10, 0), &bounded);
    EXPECT_TRUE(forever.Advance(UINT64_MAX, 1000)) << "stops at the slot limit";
    EXPECT_EQ(forever.Run(), 334u) << "3 slots a run";
    EXPECT_EQ(bounded.Records().size(), 50u);
    EXPECT_GT(bounded.Dropped(), 0u);
    const uint64_t runEnds = forever.RunsEnded();
    forever.Stop(forever.NowUs() + 5);
    EXPECT_EQ(forever.GetPhase(), Phase::Ended);
    EXPECT_FALSE(forever.Advance(UINT64_MAX));
    EXPECT_EQ(forever.RunsEnded(), runEnds) << "a stopped run does not end";

    sim::image::Timeline t2;
    Executor stopped(image, Params(10), &t2);
    stopped.Advance(0);
    stopped.Stop(25);
    stopped.Advance(UINT64_MAX);
    EXPECT_TRUE(Times(t2, Event::RunEnd).empty()) << "it would have ended at 40 µs";
    EXPECT_EQ(t2.Records().back(), (Record{25, Event::Stop, ListId::None, 7, 1}));
}

}  // namespace
