// Compilation of elements into the image, checked against hand-worked slot lists.
#include "sequence_test_support.h"

#include <korvan/device/detail/process_state.h>
#include <korvan/device/korvan.h>
#include <korvan/sequence/detail/compile_list.h>
#include <korvan/sequence/detail/image_writer.h>
#include <korvan/sequence/sequence_elements.h>
#include <korvan/sequence/detail/shapes/ellipse.h>
#include <korvan/sequence/detail/shapes/step_length.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using korvan::detail::BuildContext;
using korvan::detail::BuildSequenceImage;
using korvan::detail::SequenceImage;
using korvan::detail::TimeElement;
using sequence_test::PlainLaser;
using sequence_test::Slots;
using Strings = std::vector<std::string>;

namespace {

struct Build {
    std::vector<Laser> lasers;
    BuildContext context;
    SequenceImage image;
    unsigned int result = 0;

    Build() { lasers.push_back(PlainLaser()); }
    Laser& laser(int i = 0) { return lasers[static_cast<std::size_t>(i)]; }

    unsigned int Run(std::vector<SequenceObject*> elements) {
        context.UseLasers(lasers);
        result = BuildSequenceImage(context, elements.data(), static_cast<unsigned>(elements.size()), &image);
        return result;
    }
    Strings Main() const { return Slots(image.bytes); }
    Strings Outputs() const { return Slots(image.bytes, image.mainLength); }
};

SequencePoint DevicePoint(double x, double y, unsigned int laser = 1) {
    SequencePoint p(x, y);
    p.useCalibration = 0;
    p.laserIds[0] = laser;
    return p;
}

}  // namespace

TEST(CompilePoint, ContinuousLaserWithoutDelays) {
    Build b;
    SequencePoint p = DevicePoint(1000, 2000);
    ASSERT_EQ(b.Run({&p}), 0u);
    // Mirrors at the start, the scan lead of 100 ticks, laser on one tick before the light,
    // one tick of light, off.
    EXPECT_EQ(b.Main(), (Strings{"0: 40 02 03 E8 | 40 03 07 D0", "99: 20 06 01", "101: 20 06 00", "end 101"}));
    EXPECT_EQ(b.Outputs(), (Strings{"end 0"}));
}

TEST(CompilePoint, DelaysIntensityAndRepetitions) {
    Build b;
    Laser& l = b.laser();
    l.switchOnDelay = 500;   // 10 ticks
    l.switchOffDelay = 260;  // 6 ticks, rounded up
    l.intensityDelay = 100;  // 2 ticks
    l.minIntensity = 1000;
    l.maxIntensity = 9000;
    l.activeLevel = 0;
    SequencePoint p = DevicePoint(1, 2);
    p.intensities[0] = 5000;  // 1000 + 0.8 * 5000 = 5000 -> 32767
    p.repeatCount = 9;
    p.startTick = 7;
    ASSERT_EQ(b.Run({&p}), 0u);
    EXPECT_EQ(b.Main(),
              (Strings{"7: 40 04 7F FF | 40 02 00 01 | 40 03 00 02", "96: 20 06 00", "111: 20 06 01", "end 117"}));
    unsigned int duration = 0, illumination = 0;
    b.context.UseLasers(b.lasers);
    EXPECT_EQ(TimeElement(b.context, p, &duration, &illumination), 0u);
    EXPECT_EQ(duration, 110u);
    EXPECT_EQ(illumination, 10u);
}

TEST(CompilePoint, PulsedLaserWithWarmUpLoopsItsPulse) {
    Build b;
    Laser& l = b.laser();
    l.pulseFrequency = 1000;  // 20 ticks at 50 us
    l.warmUpTime = 1000;      // 20 ticks + 14
    SequencePoint p = DevicePoint(0, 0);
    p.repeatCount = 2;
    ASSERT_EQ(b.Run({&p}), 0u);
    // Parked at 0,0, one warm-up pulse at 14; the point starts at 34, light at 134, the loop
    // jumps back 19 bytes... to the pulse slot, twice.
    const Strings main = b.Main();
    ASSERT_EQ(main.size(), 6u);
    EXPECT_EQ(main[0], "0: 40 02 00 00 | 40 03 00 00");
    EXPECT_EQ(main[1], "14: 30 06");
    EXPECT_EQ(main[2], "34: 40 02 00 00 | 40 03 00 00");
    EXPECT_EQ(main[3], "134: 30 06");
    // Jump at 153: count 2 twice, distance back to slot 134 (7 bytes before: header 5 + pulse 2).
    EXPECT_EQ(main[4], "153: 51 00 00 00 02 00 00 00 02 FF FF FF F9 01");
    EXPECT_EQ(main[5], "end 194");
}

TEST(CompilePoint, IntensityStamps) {
    Build b;
    Laser& l = b.laser();
    l.minIntensity = 1000;
    l.maxIntensity = 9000;
    l.intensityDelay = 100;  // stamps at least 2 ticks apart
    IntensityStamp stamps[] = {{0, 2000}, {5, 10000}};
    SequencePoint p(0, 0, stamps, 2);
    p.useCalibration = 0;
    p.laserIds[0] = 1;
    p.repeatCount = 9;  // light for 10 ticks
    ASSERT_EQ(b.Run({&p}), 0u);
    // The first stamp sets the start intensity through min/max (2600 -> 17039); the stamps
    // themselves are sent unscaled (2000 -> 13107, 10000 -> 65535).
    EXPECT_EQ(b.Main(), (Strings{"0: 40 04 42 8F | 40 02 00 00 | 40 03 00 00", "99: 20 06 01", "100: 40 04 33 33",
                                 "105: 40 04 FF FF", "110: 20 06 00", "end 110"}));

    struct Case {
        std::vector<IntensityStamp> stamps;
        const char* why;
    } bad[] = {{{{0, 1}, {10, 1}}, "at the end of the light"},
               {{{0, 1}, {1, 1}}, "closer than the intensity delay"},
               {{{4, 1}, {2, 1}}, "out of order"},
               {{{0, 10001}}, "above full scale"}};
    for (auto& c : bad) {
        p.SetIntensityList(c.stamps.data(), static_cast<unsigned>(c.stamps.size()));
        EXPECT_EQ(b.Run({&p}), 4u) << c.why;
    }
}

TEST(CompileLine, PositionsDwellSwitchOffAndRepetition) {
    Build b;
    b.laser().calibration->Init(4);  // identity over the corners of the device range
    SequenceLine line(0, 0, 250, 0);
    line.laserIds[0] = 1;
    line.repeatCount = 1;
    ASSERT_EQ(b.Run({&line}), 0u);
    // 4 positions (0, 100, 200, and the last on the end point), one tick each, 2 ticks more
    // for the continuous laser, then the jump back to the start.
    const Strings main = b.Main();
    EXPECT_EQ(main[0], "0: 40 02 00 00 | 40 03 00 00");
    EXPECT_EQ(main[1], "97: 40 02 00 64 | 40 03 00 00");
    EXPECT_EQ(main[2], "98: 40 02 00 C8 | 40 03 00 00");
    EXPECT_EQ(main[3], "99: 20 06 01 | 40 02 00 FA | 40 03 00 00");
    // Back to slot 0, 13 + 13 + 13 + 16 = 55 bytes before.
    EXPECT_EQ(main[4], "105: 20 06 00 | 51 00 00 00 01 00 00 00 01 FF FF FF C9 01");
    EXPECT_EQ(main[5], "end 212");
    unsigned int duration = 0, illumination = 0;
    EXPECT_EQ(TimeElement(b.context, line, &duration, &illumination), 0u);
    EXPECT_EQ(illumination, 12u);
    EXPECT_EQ(duration, 212u);
}

TEST(CompileList, ChecksBetweenElements) {
    Build b;
    b.lasers.push_back(PlainLaser(2, LaserOutput2));
    Laser pulsed = PlainLaser(3, LaserOutput3);
    pulsed.pulseFrequency = 100;
    b.lasers.push_back(pulsed);

    SequencePoint first = DevicePoint(0, 0), second = DevicePoint(0, 0), mixed = DevicePoint(0, 0);
    second.startTick = 100;  // the first ends at 101
    mixed.laserIds[1] = 3;
    SequencePoint unknown = DevicePoint(0, 0, 9);
    SequenceSetTTL ttlA(TTLOutput1, 1), ttlB(TTLOutput1, 0), ttlC(TTLOutput2, 1), onLaser(LaserOutput1, 1);
    SequenceWaitTTL wait0(Input0, static_cast<TriggerBehaviour>(0)), wait3(Input0, static_cast<TriggerBehaviour>(3));
    SequenceWaitTTL input2(Input2, Trigger1);
    SequenceSetAnalog loud(LaserOutput2, 0);
    loud.intensities[0] = 10001;
    SequenceObject plain;

    struct Case {
        std::vector<SequenceObject*> elements;
        unsigned int expected;
        const char* why;
    } cases[] = {
        {{&first, &second}, 4, "the second point starts before the first ends"},
        {{&mixed}, 4, "a continuous and a pulsed laser in one point"},
        {{&unknown}, 4, "an undefined laser"},
        {{&ttlA, &ttlB}, 4, "two settings of one port at one tick"},
        {{&ttlA, &ttlC}, 0, "two ports at one tick"},
        {{&first, &onLaser}, 4, "an output on the port of a laser of the sequence"},
        {{&onLaser}, 0, "an output on a laser port no element uses"},
        {{&wait0}, 4, "trigger 0"},
        {{&wait3}, 4, "trigger 3"},
        {{&input2}, 4, "an input other than 0 and 1"},
        {{&loud}, 4, "an analog value above 10000"},
        {{&plain}, 4, "an element that yields nothing"},
        {{&first, nullptr}, 2, "a null element"},
    };
    for (auto& c : cases) EXPECT_EQ(b.Run(c.elements), c.expected) << c.why;
    EXPECT_EQ(BuildSequenceImage(b.context, nullptr, 0, &b.image), 2u);

    b.Run({&ttlC, &ttlA});
    EXPECT_EQ(b.Outputs(), (Strings{"0: 20 01 01 | 20 00 01", "end 1"}));
}

TEST(CompileList, EmptySequenceIsTwoEndRecords) {
    Build b;
    SequenceObject* none[1] = {};
    b.context.UseLasers(b.lasers);
    ASSERT_EQ(BuildSequenceImage(b.context, none, 0, &b.image), 0u);
    EXPECT_EQ(b.image.bytes, (std::vector<std::uint8_t>{0, 0, 0, 2, 1, 0xFF, 0, 0, 0, 2, 1, 0xFF}));
    EXPECT_EQ(b.image.mainLength, 6u);
}

TEST(CompileList, JumpsGetATargetSlotAndTheirRepetitionsInTheEndTick) {
    Build b;
    SequencePoint p = DevicePoint(5, 5);
    p.startTick = 20;
    SequenceJump loop(10, 3, 0), wrongCounter(0, 1, 2), forward(500, 1, 2);
    loop.startTick = 200;
    wrongCounter.counter = 1;
    ASSERT_EQ(b.Run({&p, &loop}), 0u);
    const Strings main = b.Main();
    ASSERT_EQ(main.size(), 6u);
    EXPECT_EQ(main[0], "10: 70");  // nothing happened at the target: a no-op makes the slot
    // Slot 200 lies 6 + 13 + 8 + 8 = 35 bytes after slot 10 (slots 10, 20, 119, 121).
    EXPECT_EQ(main[4], "200: 51 00 00 00 03 00 00 00 03 FF FF FF DD 02");
    EXPECT_EQ(main[5], "end " + std::to_string((200 - 10 + 1) * 3 + 201));
    EXPECT_EQ(b.Run({&wrongCounter}), 4u);
    forward.startTick = 100;
    EXPECT_EQ(b.Run({&forward}), 4u);
}

TEST(CompileList, ArithmeticBeyondDeviceTicksIsRejected) {
    Build b;
    SequencePoint late = DevicePoint(0, 0);
    late.startTick = 0xFFFFFFC0u;  // ends 37 ticks beyond 32 bits
    SequencePoint many = DevicePoint(0, 0);
    many.repeatCount = 0xFFFFFFFFu;
    b.laser().switchOffDelay = 100;
    SequenceJump huge(0, 0xFFFFFFFFu, 2);
    huge.startTick = 0x10000;
    SequenceSetTTL last(TTLOutput1, 1);
    last.startTick = 0xFFFFFFFFu;
    SequencePoint nowhere = DevicePoint(NAN, 0);
    for (SequenceObject* e : std::vector<SequenceObject*>{&late, &many, &huge, &last, &nowhere})
        EXPECT_EQ(b.Run({e}), 4u);
}

TEST(CompileShapes, EllipsesAreTheirPolygons) {
    Build b;
    b.laser().calibration->Init(4);
    SequenceEllipse ellipse(1000, 1000, 3000, 1200, 0);
    ellipse.laserIds[0] = 1;
    ellipse.startTick = 5;
    ellipse.repeatCount = 1;
    ASSERT_EQ(b.Run({&ellipse}), 0u);
    const SequenceImage fromEllipse = b.image;

    // The same outline points held by a polygon compile to the same bytes.
    const Vector2f corners[3] = {Vector2f(ellipse.corners[0]), Vector2f(ellipse.corners[1]),
                                 Vector2f(ellipse.corners[2])};
    std::vector<RPOINTF> outline =
        korvan::detail::EllipseOutlinePoints(corners, korvan::detail::StepLengthAt(corners[0], *b.laser().calibration));
    ASSERT_FALSE(outline.empty());
    SequencePolygon polygon(outline.data(), static_cast<unsigned>(outline.size()), 0);
    polygon.CopyCommonDataFromObj(&ellipse);
    ASSERT_EQ(b.Run({&polygon}), 0u);
    EXPECT_EQ(b.image.bytes, fromEllipse.bytes);

    SequenceEllipse flat(0, 0, 1000, 50, 0);  // short side below one step: no outline
    flat.laserIds[0] = 1;
    EXPECT_EQ(b.Run({&flat}), 4u);
}

TEST(CompileShapes, FilledPolygons) {
    Build b;
    b.laser().calibration->Init(4);
    RPOINTF tiny[] = {{500.0, 600.0}, {520.0, 600.0}, {510.0, 630.0}};
    SequencePolygon small(tiny, 3, 1);
    small.laserIds[0] = 1;
    SequencePoint dwell(500, 600);
    dwell.laserIds[0] = 1;
    ASSERT_EQ(b.Run({&small}), 0u);
    const auto fromPolygon = b.image.bytes;
    ASSERT_EQ(b.Run({&dwell}), 0u);
    EXPECT_EQ(fromPolygon, b.image.bytes);  // below one step: a point at the first vertex

    RPOINTF square[] = {{1000.0, 1000.0}, {1450.0, 1000.0}, {1450.0, 1350.0}, {1000.0, 1350.0}};
    SequencePolygon filled(square, 4, 1);
    filled.laserIds[0] = 1;
    filled.startTick = 10;
    unsigned int once = 0, light = 0;
    b.context.UseLasers(b.lasers);
    ASSERT_EQ(TimeElement(b.context, filled, &once, &light), 0u);
    filled.repeatCount = 2;
    unsigned int thrice = 0, lightThrice = 0;
    ASSERT_EQ(TimeElement(b.context, filled, &thrice, &lightThrice), 0u);
    EXPECT_EQ(thrice, 3 * once);
    EXPECT_EQ(lightThrice, 3 * light);
    ASSERT_EQ(b.Run({&filled}), 0u);
    // The repetition jump closes the last hatch line and goes back to the polygon's start.
    const Strings main = b.Main();
    ASSERT_GE(main.size(), 3u);
    EXPECT_EQ(main.front().substr(0, 3), "10:");
    EXPECT_NE(main[main.size() - 2].find("51 00 00 00 02 00 00 00 02"), std::string::npos);
    EXPECT_EQ(main.back(), "end " + std::to_string(10 + thrice));
}

TEST(AnalyzeSequence, NamesTheFailingElementInArrayOrder) {
    Build b;
    std::swap(korvan::detail::ProcessWide().laserList, b.lasers);  // the lasers a Korvan object sees
    Korvan k;
    SequencePoint late = DevicePoint(0, 0), early = DevicePoint(0, 0), overlapping = DevicePoint(0, 0);
    late.startTick = 500;
    overlapping.startTick = 50;  // sorted after `early`, which lasts 101 ticks
    SequenceObject* elements[] = {&late, &early, &overlapping};
    SequenceAnalysis analysis;
    EXPECT_EQ(k.AnalyzeSequence(elements, 3, &analysis), 4u);
    EXPECT_EQ(analysis.failedElement, 2);
    EXPECT_NE(analysis.reason.find("before the previous element ends at 101"), std::string::npos) << analysis.reason;
    EXPECT_EQ(analysis.elements[1].duration, 101u);

    overlapping.startTick = 101;
    ASSERT_EQ(k.AnalyzeSequence(elements, 3, &analysis), 0u);
    EXPECT_EQ(analysis.failedElement, -1);
    unsigned int size = 0;
    ASSERT_EQ(k.CalcMemoryUsage(elements, 3, &size), 0u);
    EXPECT_EQ(analysis.image.size(), size);
    // Each element's memory, with the two lists' end records, makes the whole image.
    unsigned long long perElement = 0;
    for (const SequenceElementTiming& t : analysis.elements) {
        EXPECT_GT(t.imageBytes, 0u);
        perElement += t.imageBytes;
    }
    EXPECT_EQ(perElement + 2 * korvan::detail::kEndRecordLength, analysis.image.size());
    EXPECT_EQ(analysis.elements[0].startTick, 500u);
    EXPECT_EQ(k.AnalyzeSequence(elements, 3, nullptr), 2u);
    std::swap(korvan::detail::ProcessWide().laserList, b.lasers);
}

TEST(CompileShapes, FillsNoImageCouldHoldAreRefusedBeforeHatching) {
    Build b;
    b.laser().calibration->Init(4);
    b.laser().calibration->scanStepSize = 1;
    SequenceEllipse field(0, 0, 65535, 65535, 1);  // the whole field at a step of one unit
    field.laserIds[0] = 1;
    korvan::detail::BuildDiagnostics why;
    b.context.UseLasers(b.lasers);
    SequenceObject* one[] = {&field};
    EXPECT_EQ(BuildSequenceImage(b.context, one, 1, &b.image, &why), 3u);
    // What it needs, what the device holds, and the step that would fit.
    EXPECT_NE(why.reason.find("needs about 38,1"), std::string::npos) << why.reason;
    EXPECT_NE(why.reason.find("the device holds 33,000,000; a scan step of 35 or more would fit"), std::string::npos)
        << why.reason;
    // A thin sliver with a hundred thousand corners: small area, but hatching it would take
    // minutes. Not a matter of memory: refused as the work it is.
    std::vector<RPOINTF> sliver;
    for (int i = 0; i < 100000; ++i) sliver.emplace_back(1000.0 + i * 0.6, 1000.0 + (i % 2) * 0.5 + i * 0.6);
    SequencePolygon thin(sliver.data(), static_cast<unsigned>(sliver.size()), 1);
    thin.laserIds[0] = 1;
    one[0] = &thin;
    EXPECT_EQ(BuildSequenceImage(b.context, one, 1, &b.image, &why), 4u);
    EXPECT_NE(why.reason.find("hatching this filled shape takes about"), std::string::npos) << why.reason;
}

TEST(CompileShapes, APolygonOfHalfAMillionCornersIsHatched) {
    // A round shape whose image takes a few megabytes was once refused as too large for the
    // device memory, for the number of its corners alone.
    Build b;
    b.laser().calibration->Init(4);
    std::vector<RPOINTF> round;
    const int corners = 500000;
    for (int i = 0; i < corners; ++i) {
        const double angle = 2 * 3.141592653589793 * i / corners;
        round.emplace_back(32000 + 30000 * std::cos(angle), 32000 + 30000 * std::sin(angle));
    }
    SequencePolygon disc(round.data(), corners, 1);
    disc.laserIds[0] = 1;
    ASSERT_EQ(b.Run({&disc}), 0u);
    EXPECT_GT(b.image.bytes.size(), 2000000u);
    EXPECT_LT(b.image.bytes.size(), 33000000u);
}
