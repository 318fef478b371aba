// Laser switching as the device executes it, over random element arrays (tests/support/
// sequence_corpus.h: several lasers with random delays, every element kind): every beam element
// that switches a laser off leaves its line dark when its time is over, and every laser it
// switches on gives light inside its time.
#include "sequence/image_execution.h"
#include "support/sequence_corpus.h"

#include <korvan/korvan.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

namespace {

using sequencetest::LitSpan;

// Whether the element switches its lasers on, and off, by itself.
bool SwitchesOn(const SequenceObject& e) {
    const auto* p = dynamic_cast<const SequencePoint*>(&e);
    return p == nullptr || p->switchLaserOn != 0;
}
bool SwitchesOff(const SequenceObject& e) {
    const auto* p = dynamic_cast<const SequencePoint*>(&e);
    return p == nullptr || p->switchLaserOff != 0;
}

// What happened on each laser line of a run: its lit spans and its pulse times, both ascending.
struct LineHistory {
    std::vector<LitSpan> spans;
    std::vector<std::uint64_t> pulses;

    // Lit at some time in [fromUs, toUs).
    bool LitWithin(std::uint64_t fromUs, std::uint64_t toUs) const {
        auto s = std::lower_bound(spans.begin(), spans.end(), fromUs,
                                  [](const LitSpan& x, std::uint64_t t) { return x.toUs <= t; });
        for (; s != spans.end() && s->fromUs < toUs; ++s)
            if (std::max(s->fromUs, fromUs) < std::min(s->toUs, toUs)) return true;
        return false;
    }
    // A span lit before `atUs` that is still lit after it.
    const LitSpan* LitAcross(std::uint64_t atUs) const {
        auto s = std::lower_bound(spans.begin(), spans.end(), atUs,
                                  [](const LitSpan& x, std::uint64_t t) { return x.toUs <= t; });
        return s != spans.end() && s->fromUs < atUs && s->toUs > atUs ? &*s : nullptr;
    }
    bool PulsedWithin(std::uint64_t fromUs, std::uint64_t toUs) const {
        auto p = std::lower_bound(pulses.begin(), pulses.end(), fromUs);
        return p != pulses.end() && *p < toUs;
    }
};

// Checks one compiled case against its executed timeline; returns how many element lasers it
// looked at (none for a run that does not end).
int CheckCase(const corpus::Case& c, const SequenceAnalysis& a) {
    const auto run = sequencetest::ExecuteImage(a);
    if (!run) return 0;
    const std::vector<sim::image::Record>& records = *run;
    std::map<unsigned int, LineHistory> history;  // by laser id
    for (const Laser& laser : c.lasers) {
        const std::uint16_t line = sequencetest::LineOf(laser.port);
        LineHistory& h = history[laser.id];
        h.spans = sequencetest::LitSpans(records, line, static_cast<std::uint32_t>(laser.OnLevel()));
        for (const auto& r : records)
            if (r.event == sim::image::Event::Pulse && r.channel == line) h.pulses.push_back(r.timeUs);
    }
    const auto elements = c.Elements();
    int checked = 0;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        SequenceObject& e = *elements[i];  // IsIlluminationObject is not const in the interface
        if (!e.IsIlluminationObject()) continue;
        const std::uint64_t fromUs = std::uint64_t{a.elements[i].startTick} * c.tickTime;
        const std::uint64_t toUs = (std::uint64_t{a.elements[i].startTick} + a.elements[i].duration) * c.tickTime;
        std::set<unsigned int> seen;
        for (unsigned int id : e.laserIds) {
            if (id == 0 || !seen.insert(id).second) continue;
            const Laser& laser = c.lasers[id - 1];
            const LineHistory& h = history[id];
            const std::string where = c.name + " element " + std::to_string(i) + " laser " + std::to_string(id);
            ++checked;
            if (laser.IsPulsed()) {
                EXPECT_TRUE(h.PulsedWithin(fromUs, toUs) || a.elements[i].illumination == 0)
                    << where << ": reports light, never pulses";
                continue;
            }
            if (SwitchesOff(e))
                if (const LitSpan* s = h.LitAcross(toUs))
                    ADD_FAILURE() << where << ": lit from " << s->fromUs << " us past the element's end at " << toUs
                                  << " us";
            if (SwitchesOn(e))
                EXPECT_TRUE(h.LitWithin(fromUs, toUs))
                    << where << ": switched on, but never lit between " << fromUs << " and " << toUs << " us";
        }
    }
    return checked;
}

TEST(LaserSwitchingProperty, BeamElementsLeaveTheirLasersDarkAndLightThemInsideTheirTime) {
    auto time = [](const corpus::Case& c, SequenceObject& e) {
        SequenceElementTiming t;
        korvan::TimeSequenceElement(e, c.Settings(), &t);
        return t.duration;
    };
    int compiled = 0, lasersChecked = 0;  // cases that compiled, element lasers checked
    for (std::uint32_t seed : {7u, 424242u}) {
        for (const corpus::Case& c : corpus::RandomCases(150, seed, time)) {
            if (c.allowLaserPorts) continue;  // outputs may then drive a laser line themselves
            const auto elements = c.Elements();
            const SequenceAnalysis a =
                korvan::CompileSequence(elements.data(), static_cast<unsigned int>(elements.size()), c.Settings());
            // A fill at a fine step runs to millions of actions: more than a timeline keeps.
            if (a.result != 0 || a.image.size() > 200000) continue;
            ++compiled;
            lasersChecked += CheckCase(c, a);
        }
    }
    // The generator must keep producing sequences that compile, or this checks nothing.
    EXPECT_GT(compiled, 100);
    EXPECT_GT(lasersChecked, 200);
}

}  // namespace
