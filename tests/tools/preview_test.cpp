// The preview's reading of an executed image: where light fell, for how long, and the pictures.
#include "tools/preview/pictures.h"
#include "tools/preview/preview_files.h"
#include "tools/virtual_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

const char* const kFile = R"({ "units": "device",
  "lasers": [ { "name": "a", "port": "laser2", "color": "#123456" } ],
  "elements": [
    { "type": "point", "at": [20000, 10000], "laser": "a", "intensity": 5000, "repeat": 99, "waitForMirror": false },
    { "type": "line", "from": [10000, 40000], "to": [30000, 40000], "laser": "a" },
    { "type": "point", "at": [50000, 50000], "laser": "a", "repeat": 9 }
  ] })";

struct Fixture : ::testing::Test {
    sequence_file::CompiledSequence built{sequence_file::ParseSequenceText(kFile, ".")};
    std::vector<tools::TraceLaser> lasers = built.PreviewLasers();
    tools::BeamTrace trace = tools::TraceImage(built.analysis.image, built.analysis.mainListLength, 50, lasers);
};

using Preview = Fixture;

TEST_F(Preview, LightFallsWhereAndAsLongAsTheSequenceSays) {
    ASSERT_FALSE(built.Failure().has_value());
    // The first point: 100 ticks of light at half intensity, at its position only.
    const auto first =
        std::find_if(trace.stays.begin(), trace.stays.end(), [](const tools::Stay& s) { return s.x == 20000; });
    ASSERT_NE(first, trace.stays.end());
    EXPECT_EQ(first->y, 10000);
    EXPECT_EQ(first->durationUs, 100u * 50);
    EXPECT_EQ(first->litMask, 1u);
    EXPECT_NEAR(first->intensity[0], 0.5, 0.001);
    // Travel to a point happens in the dark; the line is scanned with the light on along y 40000.
    size_t litMoves = 0;
    for (const tools::Move& m : trace.moves) {
        if (m.litMask == 0) continue;
        ++litMoves;
        EXPECT_EQ(m.y0, 40000);
        EXPECT_EQ(m.y1, 40000);
        EXPECT_GE(std::min(m.x0, m.x1), 10000);
    }
    EXPECT_GT(litMoves, 50u);  // 20000 units in steps of 100
    EXPECT_FALSE(trace.truncated);
    // The run ends where the compiler says the last element ends (plus the end record's tick).
    EXPECT_EQ(trace.endUs, static_cast<uint64_t>(built.endTick + 1) * 50);
}

TEST_F(Preview, DoseIsHighestAtTheLongestDwell) {
    const tools::DoseMap dose = tools::ComputeDose(trace, 256);
    const auto at = [&](double x, double y) {
        return dose.cells[static_cast<size_t>(y * 256 / 65536) * 256 + static_cast<size_t>(x * 256 / 65536)];
    };
    EXPECT_DOUBLE_EQ(at(20000, 10000), dose.Max());
    EXPECT_GT(at(50000, 50000), 0);
    EXPECT_GT(at(20000, 40000), 0);    // on the line
    EXPECT_EQ(at(60000, 10000), 0.0);  // never lit
    // Half the intensity for 100 ticks against full intensity for 11: the second point waits for
    // the mirrors, and its laser, without a switch-on delay, comes on one tick before its light.
    EXPECT_NEAR(at(20000, 10000) / at(50000, 50000), 0.5 * 100 / 11, 0.001);
}

TEST_F(Preview, SvgShowsDwellDiscsInTheLaserColourAndALegend) {
    tools::PreviewLegend legend;
    legend.title = "test <file>";
    legend.durationUs = static_cast<double>(trace.endUs);
    const std::string svg = tools::DrawSvg(trace, lasers, legend, 50);
    // The first point at (20000, 10000): 40 + v * 800 / 65535 pixels.
    EXPECT_NE(svg.find("<circle cx=\"284.1\" cy=\"162.1\""), std::string::npos) << svg.substr(0, 2000);
    EXPECT_NE(svg.find("fill=\"#123456\""), std::string::npos);
    EXPECT_NE(svg.find("stroke=\"#9a9a9a\""), std::string::npos);  // dark travel
    EXPECT_NE(svg.find("test &lt;file&gt;"), std::string::npos);
    EXPECT_EQ(svg.find("<file>"), std::string::npos);
}

}  // namespace

namespace {

// The tool's virtual device makes itself the only listed port while it lives; a library user
// (a Python session previewing a file) must get the process's own enumeration back afterwards.
TEST(VirtualHost, GivesTheEnvironmentBackWhenItEnds) {
    const char* kNames[] = {"TESSEL_NO_HARDWARE_PORTS", "TESSEL_EXTRA_PORTS"};
    const auto value = [](const char* name) {
        const char* v = ::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto before = std::make_pair(value(kNames[0]), value(kNames[1]));
    ::setenv("TESSEL_EXTRA_PORTS", "/dev/pts/users-own", 1);
    {
        tools::VirtualHost host(sim::Options{});
        EXPECT_EQ(value(kNames[0]), std::optional<std::string>("1"));
        EXPECT_EQ(value(kNames[1]), std::optional<std::string>(host.PortName()));
    }
    EXPECT_EQ(value(kNames[0]), before.first);
    EXPECT_EQ(value(kNames[1]), std::optional<std::string>("/dev/pts/users-own"));
    if (before.second)
        ::setenv(kNames[1], before.second->c_str(), 1);
    else
        ::unsetenv(kNames[1]);
}

}  // namespace
