#pragma once
// End-to-end sequence tests: a connected Korvan object with one continuous laser on LaserOutput1,
// against the virtual device, and the device's executed timeline.
#include <support/virtual_device_fixture.h>

#include <korvan/sequence/sequence_elements.h>
#include <sim/image/timeline.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace sequencetest {

using sim::image::Event;
using sim::image::Record;

constexpr unsigned int kTick = 50;  // microseconds, the device's default

class SequenceRun : public devicetest::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        ConnectByPort(k);
        ASSERT_EQ(k.AddLaser(0, 0, 0, LaserOutput1, 0, 0, 0, &laser), 0u);
    }
    void TearDown() override { k.Disconnect(); }

    /// Uploads, runs once and waits for the end; the executed timeline.
    std::vector<Record> Execute(std::vector<SequenceObject*> elements, unsigned int runs = 1) {
        unsigned short number = 0;
        EXPECT_EQ(k.UploadSequence(elements.data(), static_cast<unsigned>(elements.size()), &number), 0u);
        sim.ClearTimeline();
        EXPECT_EQ(k.StartSequence(number, NoInput, Trigger1, runs), 0u);
        EXPECT_TRUE(sim.WaitUntilIdle(5000));
        return sim.ExecutedTimeline().Records();
    }

    static std::vector<Record> Only(const std::vector<Record>& all, Event event) {
        std::vector<Record> out;
        std::copy_if(all.begin(), all.end(), std::back_inserter(out),
                     [&](const Record& r) { return r.event == event; });
        return out;
    }

    /// Where the beam stood while the laser on digital line `line` was on: the mirror position at
    /// each switch-on and after each move while lit.
    static std::vector<std::pair<double, double>> LitPositions(const std::vector<Record>& all, std::uint16_t line = 6) {
        std::vector<std::pair<double, double>> lit;
        double x = 0, y = 0;
        bool on = false;
        for (std::size_t i = 0; i < all.size(); ++i) {
            const Record& r = all[i];
            if (r.event == Event::MirrorX) x = r.value;
            if (r.event == Event::MirrorY) y = r.value;
            if (r.event == Event::Line && r.channel == line) on = r.value != 0;
            // A move is complete once both axes of one instant are recorded.
            const bool lastOfInstant = i + 1 == all.size() || all[i + 1].timeUs != r.timeUs;
            const bool changed = r.event == Event::MirrorY || (r.event == Event::Line && r.channel == line);
            if (on && changed && lastOfInstant) lit.emplace_back(x, y);
        }
        return lit;
    }

    Korvan k;
    unsigned int laser = 0;
};

}  // namespace sequencetest
