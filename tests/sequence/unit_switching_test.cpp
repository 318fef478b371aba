// Laser switching of lines and hatch lines, timing of lasers on no output, and the warnings for
// positions the mirrors cannot reach: each case a fault the compiler once had.
#include "sequence_test_support.h"

#include <korvan/device/detail/process_state.h>
#include <korvan/korvan.h>
#include <korvan/sequence/detail/compile_list.h>
#include <korvan/sequence/detail/shapes/polygon_fill.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

using korvan::detail::BuildContext;
using sequence_test::PlainLaser;
using sequence_test::Slots;

namespace {

// The tick of every switching of line `code` (0x20 code level) in the main list, in slot order,
// as (tick, level); several in one slot keep their order.
std::vector<std::pair<unsigned int, int>> Switching(const std::vector<std::uint8_t>& image, int code) {
    std::vector<std::pair<unsigned int, int>> out;
    char needle[8];
    std::snprintf(needle, sizeof needle, "20 %02X ", code);
    for (const std::string& slot : Slots(image)) {
        if (slot.rfind("end", 0) == 0) break;
        const unsigned int tick = static_cast<unsigned int>(std::stoul(slot));
        for (std::size_t at = slot.find(needle); at != std::string::npos; at = slot.find(needle, at + 1))
            out.emplace_back(tick, std::stoi(slot.substr(at + 6, 2), nullptr, 16));
    }
    return out;
}

SequenceAnalysis Compile(std::vector<SequenceObject*> elements, const std::vector<Laser>& lasers,
                         unsigned int tickTime = 50) {
    korvan::SequenceSettings settings;
    settings.tickTime = tickTime;
    settings.lasers = lasers.data();
    settings.laserCount = static_cast<unsigned int>(lasers.size());
    return korvan::CompileSequence(elements.data(), static_cast<unsigned int>(elements.size()), settings);
}

}  // namespace

// A second laser whose switch-off delay outlasts the scan once got its switch-off at the element's
// start, before its switch-on, and stayed lit through everything after.
TEST(LineSwitching, EveryContinuousLaserGoesOffAfterItGoesOnAndBeforeTheEnd) {
    struct Row {
        unsigned int firstOff, secondOff, secondOn;  // microseconds
        double length;
    };
    for (const Row& row : {Row{0, 10000, 0, 150}, Row{200, 10000, 0, 150}, Row{0, 3000, 2000, 900},
                           Row{10000, 300, 0, 150}, Row{0, 0, 0, 150}}) {
        std::vector<Laser> lasers{PlainLaser(1, LaserOutput1), PlainLaser(2, LaserOutput2)};
        lasers[0].switchOffDelay = row.firstOff;
        lasers[1].switchOffDelay = row.secondOff;
        lasers[1].switchOnDelay = row.secondOn;
        SequenceLine line(0, 0, row.length, 0);
        line.laserIds[0] = 1;
        line.laserIds[1] = 2;
        line.startTick = 1000;
        const SequenceAnalysis a = Compile({&line}, lasers);
        ASSERT_EQ(a.result, 0u) << a.reason;
        const unsigned int end = 1000 + a.elements[0].duration;
        for (int code : {6, 7}) {
            const auto sw = Switching(a.image, code);
            const std::string what = "line " + std::to_string(code) + " off delays " + std::to_string(row.firstOff) +
                                     "/" + std::to_string(row.secondOff);
            ASSERT_EQ(sw.size(), 2u) << what;
            EXPECT_EQ(sw[0].second, 1) << what;
            EXPECT_EQ(sw[1].second, 0) << what;
            EXPECT_LT(sw[0].first, sw[1].first) << what;  // lit for at least one tick
            EXPECT_LT(sw[1].first, end) << what;
            // The light it still gives after its switch-off ends within the element.
            const unsigned int lag = lasers[static_cast<std::size_t>(code - 6)].switchOffDelay / 50;
            EXPECT_LE(sw[1].first + lag, end) << what;
        }
    }
}

TEST(LineSwitching, TheFirstLaserAloneKeepsItsDwell) {
    // The single-laser timing is the documented one: dwell 1 while the scan outlasts the
    // switch-off delay, else the ceiling of delay over scan.
    for (unsigned int off : {0u, 100u, 150u, 151u, 1000u}) {
        std::vector<Laser> lasers{PlainLaser()};
        lasers[0].switchOffDelay = off;
        SequenceLine line(0, 0, 150, 0);  // 3 positions
        line.laserIds[0] = 1;
        const SequenceAnalysis a = Compile({&line}, lasers);
        ASSERT_EQ(a.result, 0u);
        const unsigned int dwell = off <= 150 ? 1 : (off + 149) / 150;
        EXPECT_EQ(a.elements[0].illumination, dwell * 3 + 2) << off;
        EXPECT_EQ(a.elements[0].duration, dwell * 3 + 2 + 100) << off;
    }
}

// A hatch line whose switch-off delay in ticks equalled its scan switched on and off in one tick:
// the segment was counted as lit and never was.
TEST(HatchSwitching, EverySegmentIsLitForAtLeastOneTick) {
    for (unsigned int off : {0u, 50u, 100u, 150u, 200u, 450u}) {
        std::vector<Laser> lasers{PlainLaser()};
        lasers[0].switchOffDelay = off;
        lasers[0].calibration->scanStepSize = 100;
        RPOINTF square[] = {{1000, 1000}, {1600, 1000}, {1600, 1500}, {1000, 1500}};
        SequencePolygon fill(square, 4, 1);
        fill.laserIds[0] = 1;
        const SequenceAnalysis a = Compile({&fill}, lasers);
        ASSERT_EQ(a.result, 0u);
        bool noRows = false;
        const std::size_t segments = korvan::detail::HatchSerpentine(square, 4, *lasers[0].calibration, &noRows).size();
        const auto sw = Switching(a.image, 6);
        ASSERT_EQ(sw.size(), 2 * segments) << off;
        for (std::size_t k = 0; k < segments; ++k) {
            EXPECT_EQ(sw[2 * k].second, 1);
            EXPECT_LT(sw[2 * k].first, sw[2 * k + 1].first) << "switch-off delay " << off << ", segment " << k;
        }
    }
}

TEST(HatchSwitching, APulsedSinglePositionLinePulses) {
    std::vector<Laser> lasers{PlainLaser()};
    lasers[0].pulseFrequency = 10000;  // 2 ticks
    SequenceLine dot(500, 500, 520, 500);
    dot.laserIds[0] = 1;
    const SequenceAnalysis a = Compile({&dot}, lasers);
    ASSERT_EQ(a.result, 0u);
    EXPECT_EQ(a.elements[0].illumination, 2u);
    std::size_t pulses = 0;
    for (const std::string& s : Slots(a.image))
        for (std::size_t at = s.find(" 30 06"); at != std::string::npos; at = s.find(" 30 06", at + 1)) ++pulses;
    EXPECT_EQ(pulses, 1u);
}

// A laser on no output cannot be uploaded, but timing follows the element rules: its delays and
// its light count.
TEST(Timing, LasersOnNoOutputAreTimedLikeAnyOther) {
    for (OutputPorts port : {LaserOutput1, NoOutput}) {
        std::vector<Laser> lasers{PlainLaser(1, port), PlainLaser(2, LaserOutput2)};
        lasers[0].switchOnDelay = 8000;  // 160 ticks: longer than the scan lead
        lasers[0].switchOffDelay = 500;
        korvan::SequenceSettings settings;
        settings.lasers = lasers.data();
        settings.laserCount = 2;
        SequencePoint alone(100, 100);
        alone.laserIds[0] = 1;
        SequenceElementTiming t;
        EXPECT_EQ(korvan::TimeSequenceElement(alone, settings, &t), 0u) << port;
        EXPECT_EQ(t.duration, 160u + 10u) << port;
        EXPECT_EQ(t.illumination, 10u) << port;
        SequenceLine line(0, 0, 300, 0);
        line.laserIds[0] = 2;
        line.laserIds[1] = 1;
        EXPECT_EQ(korvan::TimeSequenceElement(line, settings, &t), 0u) << port;
        EXPECT_EQ(t.duration - t.illumination, 160u) << port;  // the lead is the slow laser's
        // Upload still refuses it.
        SequenceObject* elements[] = {&alone};
        EXPECT_EQ(korvan::CompileSequence(elements, 1, settings).result, port == NoOutput ? 4u : 0u);
    }
}

// Positions beyond the mirror field are clamped onto its edge (the image keeps them), and the
// analysis says so for each element.
TEST(ClampedPositions, AreReportedWithTheElementTheAskedAndTheUsedPosition) {
    std::vector<Laser> lasers{PlainLaser()};
    lasers[0].calibration->Init(4);
    SequencePoint inside(100, 200), right(70000, 5), left(-5, 300);
    SequencePoint camera(1e9, 1e9);  // through the identity calibration
    SequenceLine beyond(70000, 100, 80000, 100);
    SequenceObject* elements[] = {&inside, &right, &left, &camera, &beyond};
    unsigned int tick = 0;
    for (SequenceObject* e : elements) {
        e->laserIds[0] = 1;
        e->startTick = tick;
        tick += 100000;
    }
    right.useCalibration = left.useCalibration = inside.useCalibration = 0;
    const SequenceAnalysis a = Compile({elements, elements + 5}, lasers);
    ASSERT_EQ(a.result, 0u) << a.reason;
    ASSERT_EQ(a.clampedPositions.size(), 4u);
    struct Expect {
        int element;
        double askedX, askedY;
        unsigned int usedX, usedY;
        unsigned long long positions;
    };
    const Expect expected[] = {{1, 70000, 5, 65535, 5, 1},
                               {2, -5, 300, 0, 300, 1},
                               {3, 1e9, 1e9, 65535, 65535, 1},
                               {4, 70000, 100, 65535, 100, 102}};
    for (std::size_t i = 0; i < 4; ++i) {
        const ClampedPosition& c = a.clampedPositions[i];
        EXPECT_EQ(c.element, expected[i].element);
        EXPECT_NEAR(c.askedX, expected[i].askedX, 1e-6 * std::abs(expected[i].askedX));
        EXPECT_NEAR(c.askedY, expected[i].askedY, 1e-6 * std::abs(expected[i].askedY));
        EXPECT_EQ(c.usedX, expected[i].usedX);
        EXPECT_EQ(c.usedY, expected[i].usedY);
        EXPECT_EQ(c.positions, expected[i].positions);
    }
    EXPECT_EQ(korvan::DescribeClampedPosition(a.clampedPositions[0]),
              "element 1: position (70000, 5) lies outside the mirror field 0..65535; the mirrors stop at (65535, 5)");
    // The image keeps the clamped positions: the same bytes as points on the edge.
    SequencePoint edge(65535, 5);
    edge.useCalibration = 0;
    edge.laserIds[0] = 1;
    edge.startTick = right.startTick;
    const SequenceAnalysis clampedAlone = Compile({&right}, lasers), edgeAlone = Compile({&edge}, lasers);
    EXPECT_EQ(clampedAlone.image, edgeAlone.image);
    EXPECT_TRUE(edgeAlone.clampedPositions.empty());
}
