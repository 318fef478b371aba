// Sequences end to end: compiled by korvan, uploaded to the virtual device, executed there, and
// checked against its executed timeline.
#include "sequence_sim_fixture.h"

#include <korvan/sequence/detail/compile_list.h>
#include <korvan/sequence/sequence_elements.h>
#include <sim/image/decoded_image.h>
#include <sim/image/executor.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

using namespace sequencetest;

namespace {

SequencePoint DevicePoint(double x, double y, unsigned int laser) {
    SequencePoint p(x, y);
    p.useCalibration = 0;
    p.laserIds[0] = laser;
    return p;
}

}  // namespace

TEST_F(SequenceRun, ElementsRunAtTheirTicksAndLastAsLongAsGetTimingSays) {
    SequencePoint a = DevicePoint(1000, 2000, laser), c = DevicePoint(30000, 40000, laser);
    a.repeatCount = 4;
    SequenceLine b(5000, 5000, 5350, 5000);  // camera = device through the identity grid
    b.laserIds[0] = laser;
    b.repeatCount = 1;
    std::vector<SequenceObject*> elements{&a, &b, &c};
    std::vector<unsigned int> start, duration;
    unsigned int tick = 0;
    for (SequenceObject* e : elements) {
        unsigned int d = 0, light = 0;
        ASSERT_EQ(k.GetTiming(*e, &d, &light), 0u);
        e->startTick = tick;
        start.push_back(tick);
        duration.push_back(d);
        tick += d;
    }
    const std::vector<Record> timeline = Execute(elements);

    // Each element's first move is at its start tick, and everything it does lies in its window.
    const auto moves = Only(timeline, Event::MirrorX);
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const std::uint64_t from = std::uint64_t{start[i]} * kTick, to = std::uint64_t{start[i] + duration[i]} * kTick;
        const auto first = std::find_if(moves.begin(), moves.end(), [&](const Record& r) { return r.timeUs >= from; });
        ASSERT_NE(first, moves.end());
        EXPECT_EQ(first->timeUs, from) << "element " << i;
        const auto lines = Only(timeline, Event::Line);
        // A point's laser goes off on the tick its duration ends, the next element's first tick.
        const auto last = std::find_if(lines.rbegin(), lines.rend(), [&](const Record& r) { return r.timeUs <= to; });
        ASSERT_NE(last, lines.rend());
        EXPECT_EQ(last->value, 0u) << "the laser is off when element " << i << " ends";
    }
    // A point: at its position for the whole dwell, on 1 tick before the light, off after 5 ticks.
    EXPECT_EQ(moves[0].value, 1000u);
    const auto lines = Only(timeline, Event::Line);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].timeUs, 99u * kTick);
    EXPECT_EQ(lines[0].value, 1u);
    EXPECT_EQ(lines[1].timeUs, 105u * kTick);  // 100 lead + 5 repetitions, = a's duration
    EXPECT_EQ(lines[1].timeUs, std::uint64_t{duration[0]} * kTick);
    // The line scans 0..350 in steps of 100, the last step on its end, twice.
    std::vector<std::uint32_t> xs;
    for (const Record& r : moves)
        if (r.timeUs >= start[1] * kTick && r.timeUs < start[2] * kTick) xs.push_back(r.value);
    EXPECT_EQ(xs, (std::vector<std::uint32_t>{5000, 5100, 5200, 5300, 5350, 5000, 5100, 5200, 5300, 5350}));
    EXPECT_EQ(Only(timeline, Event::Jump).size(), 1u);
    // The run ends one tick after the last element.
    const auto ends = Only(timeline, Event::RunEnd);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].timeUs, std::uint64_t{tick + 1} * kTick);
    tagPOINT position{};
    ASSERT_EQ(k.GetActualPosition(&position), 0u);
    EXPECT_EQ(position.x, 30000);
    EXPECT_EQ(position.y, 40000);
}

TEST_F(SequenceRun, OutputsRunBesideTheBeamOnOneClock) {
    SequencePoint p = DevicePoint(10, 20, laser);
    SequenceSetTTL on(TTLOutput1, 1), off(TTLOutput1, 0);
    SequencePulseTTL pulse(TTLOutput2);
    SequenceSetAnalog level(LaserOutput3, 5000);
    on.startTick = 50;
    pulse.startTick = 50;
    off.startTick = 80;
    level.startTick = 10;
    const auto timeline = Execute({&off, &p, &on, &pulse, &level});
    const auto lines = Only(timeline, Event::Line);
    auto at = [&](std::uint8_t code, std::uint32_t value) {
        return std::find_if(lines.begin(), lines.end(),
                            [&](const Record& r) { return r.channel == code && r.value == value; });
    };
    ASSERT_NE(at(0, 1), lines.end());
    EXPECT_EQ(at(0, 1)->timeUs, 50u * kTick);
    EXPECT_EQ(at(0, 0)->timeUs, 80u * kTick);
    const auto pulses = Only(timeline, Event::Pulse);
    ASSERT_EQ(pulses.size(), 1u);
    EXPECT_EQ(pulses[0].timeUs, 50u * kTick);
    const auto analog = Only(timeline, Event::Analog);
    ASSERT_EQ(analog.size(), 1u);
    EXPECT_EQ(analog[0].value, 32767u);
    EXPECT_EQ(analog[0].timeUs, 10u * kTick);
}

TEST_F(SequenceRun, WaitsHoldUntilReleased) {
    SequenceWaitUser user(0x1234);
    SequencePoint p = DevicePoint(7, 7, laser);
    SequenceWaitTTL trigger(Input1, Trigger1);
    p.startTick = 1;
    trigger.startTick = 200;
    std::vector<SequenceObject*> elements{&user, &p, &trigger};
    unsigned short number = 0;
    ASSERT_EQ(k.UploadSequence(elements.data(), 3, &number), 0u);
    ASSERT_EQ(k.StartSequence(number, NoInput, Trigger1, 1), 0u);
    EXPECT_EQ(StateOf(k), WaitingForUser);
    EXPECT_EQ(k.AcknowledgeWaitForUser(), 0u);
    EXPECT_FALSE(sim.WaitUntilIdle(200));  // now held by the input
    EXPECT_TRUE(IsSequenceActive(StateOf(k)));
    sim.SetInput(1, true);
    EXPECT_TRUE(sim.WaitUntilIdle(5000));
    EXPECT_EQ(StateOf(k), Idle);
    const auto released = Only(sim.ExecutedTimeline().Records(), Event::WaitReleased);
    EXPECT_EQ(released.size(), 2u);
}

TEST_F(SequenceRun, CancelledUploadLeavesTheConnectionUsable) {
    static bool cancelled = false;
    static int reports = 0;
    cancelled = false;
    reports = 0;
    // Cancels any send past its half: only the image reports, so the commands around it go on.
    k.SetSendingDataFct([](int sent, int total) {
        ++reports;
        const bool cancel = sent > total / 2;
        cancelled = cancelled || cancel;
        return !cancel;
    });
    std::vector<std::unique_ptr<SequencePoint>> points;
    std::vector<SequenceObject*> elements;
    for (unsigned int i = 0; i < 2000; ++i) {
        points.push_back(std::make_unique<SequencePoint>(DevicePoint(i, i, laser)));
        points.back()->startTick = i * 101;
        elements.push_back(points.back().get());
    }
    unsigned short number = 0;
    EXPECT_EQ(k.UploadSequence(elements.data(), 2000, &number), 1u);
    EXPECT_TRUE(cancelled);
    State state = NotConnected;
    EXPECT_EQ(k.GetState(&state), 0u);
    EXPECT_EQ(state, Idle);
    const int imageReports = reports;
    EXPECT_EQ(k.GetState(&state), 0u);
    EXPECT_EQ(k.DeleteAllSequences(), 0u);
    EXPECT_EQ(reports, imageReports);  // commands do not report
    k.SetSendingDataFct(nullptr);
    ASSERT_EQ(k.UploadSequence(elements.data(), 2000, &number), 0u);
    EXPECT_EQ(k.GetSequenceCount(), 1u);  // the broken image left nothing behind
}

TEST_F(SequenceRun, UploadAndStartRefusals) {
    SequencePoint p = DevicePoint(1, 1, laser);
    std::vector<SequenceObject*> elements{&p};
    unsigned short number = 0;
    EXPECT_EQ(k.UploadSequence(elements.data(), 1, nullptr), 2u);
    EXPECT_EQ(k.UploadSequence(nullptr, 1, &number), 2u);
    SequenceObject nothing;
    SequenceObject* bad[] = {&nothing};
    EXPECT_EQ(k.UploadSequence(bad, 1, &number), 4u);
    Model([](sim::DeviceModel& m) { m.memory.SetCapacity(20); });
    EXPECT_EQ(k.UploadSequence(elements.data(), 1, &number), 3u);
    Model([](sim::DeviceModel& m) { m.memory.SetCapacity(sim::DeviceMemory::kDefaultCapacity); });
    ASSERT_EQ(k.UploadSequence(elements.data(), 1, &number), 0u);
    EXPECT_EQ(k.StartSequence(number, static_cast<InputPorts>(4), static_cast<TriggerBehaviour>(0), 1), 2u);
    EXPECT_EQ(k.StartSequence(static_cast<unsigned short>(number + 50), NoInput, Trigger1, 1), 2u);  // refused: 0x01
    EXPECT_EQ(k.StartExternMode(Input0), 5u);
}

TEST_F(SequenceRun, FragmentedMemoryIsDefragmentedForALargeImage) {
    // Three small images and room for two more; freeing the first two leaves two gaps, neither
    // large enough for an image three times as large, but together they are.
    std::vector<std::unique_ptr<SequencePoint>> points;
    std::vector<SequenceObject*> small, large;
    for (unsigned int i = 0; i < 300; ++i) {
        points.push_back(std::make_unique<SequencePoint>(DevicePoint(i, i, laser)));
        points.back()->startTick = i * 101;
        (i < 100 ? small : large).push_back(points.back().get());
        if (i < 100) large.push_back(points.back().get());
    }
    unsigned int smallSize = 0, largeSize = 0;
    ASSERT_EQ(k.CalcMemoryUsage(small.data(), 100, &smallSize), 0u);
    ASSERT_EQ(k.CalcMemoryUsage(large.data(), 300, &largeSize), 0u);
    Model([&](sim::DeviceModel& m) { m.memory.SetCapacity(3 * smallSize + largeSize - smallSize); });
    unsigned short n1 = 0, n2 = 0, n3 = 0, big = 0;
    ASSERT_EQ(k.UploadSequence(small.data(), 100, &n1), 0u);
    ASSERT_EQ(k.UploadSequence(small.data(), 100, &n2), 0u);
    ASSERT_EQ(k.UploadSequence(small.data(), 100, &n3), 0u);
    ASSERT_EQ(k.DeleteSequence(n1), 0u);
    ASSERT_EQ(k.DeleteSequence(n2), 0u);  // free: a gap of two small images before the third, and the rest
    EXPECT_EQ(k.UploadSequence(large.data(), 300, &big), 0u);
    EXPECT_GE(sim.RequestCount(0x44), 1);
}

// Random valid sequences: every image the compiler makes is accepted by the device's own decoder,
// and executing it ends exactly one tick after the image's end tick.
TEST(SequenceProperty, RandomSequencesDecodeAndEndAtTheirEndTick) {
    testsupport::ProcessStateGuard guard;
    Korvan k;
    unsigned int continuous = 0, pulsed = 0;
    ASSERT_EQ(k.AddLaser(120, 300, 80, LaserOutput1, 500, 9000, 0, &continuous, 1, 400u), 0u);
    ASSERT_EQ(k.AddLaser(0, 0, 0, LaserOutput2, 0, 0, 5000, &pulsed), 0u);
    std::mt19937 random(20261208);
    auto pick = [&](unsigned int n) { return static_cast<unsigned int>(random() % n); };
    for (int round = 0; round < 60; ++round) {
        std::vector<std::unique_ptr<SequenceObject>> owned;
        std::vector<SequenceObject*> elements;
        unsigned int tick = pick(20);
        std::vector<unsigned int> starts;
        const int count = 1 + static_cast<int>(pick(12));
        for (int i = 0; i < count; ++i) {
            std::unique_ptr<SequenceObject> e;
            switch (pick(5)) {
            case 0: {
                auto p = std::make_unique<SequencePoint>(pick(65536), pick(65536));
                p->useCalibration = pick(2);
                p->switchLaserOff = pick(2);
                p->waitForMirror = pick(2);
                e = std::move(p);
                break;
            }
            case 1: e = std::make_unique<SequenceLine>(pick(60000), pick(60000), pick(60000), pick(60000)); break;
            case 2: {
                RPOINTF corners[] = {{1000.0 + pick(9000), 1000.0 + pick(9000)}, {0, 0}, {0, 0}};
                corners[1] = RPOINTF(corners[0].x + 300 + pick(3000), corners[0].y);
                corners[2] = RPOINTF(corners[1].x, corners[1].y + 300 + pick(3000));
                auto el = std::make_unique<SequenceEllipse>(corners, static_cast<int>(pick(2)));
                el->fillPath = pick(2);
                e = std::move(el);
                break;
            }
            case 3:
                if (!starts.empty()) {
                    e = std::make_unique<SequenceJump>(starts[pick(static_cast<unsigned>(starts.size()))], pick(3),
                                                       static_cast<unsigned char>(2 + pick(3)));
                    break;
                }
                [[fallthrough]];
            default: {
                RPOINTF square[] = {{2000.0, 2000.0}, {2000.0 + pick(2000), 2000.0}, {2500.0, 2000.0 + pick(2000)}};
                e = std::make_unique<SequencePolygon>(square, 3, static_cast<int>(pick(2)));
            }
            }
            if (e->IsIlluminationObject()) {
                e->laserIds[pick(4)] = pick(2) ? continuous : pulsed;
                e->intensities[0] = e->intensities[1] = e->intensities[2] = e->intensities[3] = pick(10001);
                e->repeatCount = pick(3);
            }
            unsigned int duration = 0, light = 0;
            if (k.GetTiming(*e, &duration, &light) != 0) continue;
            e->startTick = tick;
            starts.push_back(tick);
            // A jump repeats everything back to its target; the next element starts after that.
            if (auto* j = dynamic_cast<SequenceJump*>(e.get()))
                tick += (tick - j->targetTick + duration) * j->repeatCount;
            tick += duration + pick(30);
            elements.push_back(e.get());
            owned.push_back(std::move(e));
        }
        for (int o = 0; o < 3; ++o) {
            auto out = std::make_unique<SequenceSetTTL>(pick(2) ? TTLOutput1 : TTLOutput2, static_cast<int>(pick(2)));
            out->startTick = pick(tick + 1);
            elements.push_back(out.get());
            owned.push_back(std::move(out));
        }

        korvan::detail::BuildContext context;
        context.UseLasers(korvan::detail::ProcessWide().laserList);
        korvan::detail::SequenceImage image;
        const unsigned int result = korvan::detail::BuildSequenceImage(context, elements.data(),
                                                                       static_cast<unsigned>(elements.size()), &image);
        if (result == 4) continue;  // two outputs of one port at one tick: a valid refusal
        ASSERT_EQ(result, 0u) << "round " << round;
        const auto decoded = sim::image::DecodeImage(image.bytes.data(), image.bytes.size(), image.mainLength);
        ASSERT_TRUE(decoded.Ok()) << "round " << round << ": " << decoded.error;
        const auto endOf = [&](std::size_t at) {
            const std::uint8_t* b = image.bytes.data() + at - 6;
            return ((std::uint64_t{b[0]} << 24) | (b[1] << 16) | (b[2] << 8) | b[3]) - 2;
        };
        const std::uint64_t endTick = std::max(endOf(image.mainLength), endOf(image.bytes.size()));

        sim::image::Timeline timeline;
        sim::image::StartParams start;
        sim::image::Executor executor(std::make_shared<sim::image::DecodedImage>(decoded.image), start, &timeline);
        executor.Advance(UINT64_MAX);
        ASSERT_EQ(executor.GetPhase(), sim::image::Phase::Ended) << "round " << round;
        ASSERT_FALSE(timeline.Records().empty());
        EXPECT_EQ(timeline.Records().back().event, Event::RunEnd);
        EXPECT_EQ(timeline.Records().back().timeUs, (endTick + 1) * kTick) << "round " << round;
    }
}
