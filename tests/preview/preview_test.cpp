// The preview's reading of an executed image: where light fell, for how long, and the pictures.
#include "preview/pictures.h"
#include "preview/preview_files.h"
#include "preview/duration_text.h"
#include "preview/png_file.h"

#include "tests/support/png_pixels.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <random>
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
    std::vector<preview::TraceLaser> lasers = built.PreviewLasers();
    preview::BeamTrace trace = preview::TraceImage(built.analysis.image, built.analysis.mainListLength, 50, lasers);
};

using Preview = Fixture;

TEST_F(Preview, LightFallsWhereAndAsLongAsTheSequenceSays) {
    ASSERT_FALSE(built.Failure().has_value());
    // The first point: 100 ticks of light at half intensity, at its position only.
    const auto first =
        std::find_if(trace.stays.begin(), trace.stays.end(), [](const preview::Stay& s) { return s.x == 20000; });
    ASSERT_NE(first, trace.stays.end());
    EXPECT_EQ(first->y, 10000);
    EXPECT_EQ(first->durationUs, 100u * 50);
    EXPECT_EQ(first->litMask, 1u);
    EXPECT_NEAR(first->intensity[0], 0.5, 0.001);
    // Travel to a point happens in the dark; the line is scanned with the light on along y 40000,
    // its steps merged into one move that carries the light of their rests.
    size_t litMoves = 0, litSteps = 0;
    uint64_t pathLight = 0;
    for (const preview::Move& m : trace.moves) {
        if (m.litMask == 0) continue;
        ++litMoves;
        litSteps += m.steps;
        pathLight += m.lightUs;
        EXPECT_EQ(m.y0, 40000);
        EXPECT_EQ(m.y1, 40000);
        EXPECT_GE(std::min(m.x0, m.x1), 10000);
    }
    EXPECT_LE(litMoves, 2u);
    EXPECT_GT(litSteps, 190u);            // 20000 units in steps of 100
    EXPECT_EQ(pathLight, litSteps * 50);  // one tick of light after each step
    EXPECT_FALSE(trace.truncated);
    // The run ends where the compiler says the last element ends (plus the end record's tick).
    EXPECT_EQ(trace.endUs, static_cast<uint64_t>(built.endTick + 1) * 50);
}

TEST_F(Preview, DoseIsHighestAtTheLongestDwell) {
    const preview::DoseMap dose = preview::ComputeDose(trace, 256);
    const auto at = [&](double x, double y) {
        return dose.cells[static_cast<size_t>(y * 256 / 65536) * 256 + static_cast<size_t>(x * 256 / 65536)];
    };
    EXPECT_NEAR(at(20000, 10000), dose.Max(), dose.Max() * 1e-9);
    EXPECT_GT(at(50000, 50000), 0);
    EXPECT_GT(at(20000, 40000), 0);    // on the line
    EXPECT_EQ(at(60000, 10000), 0.0);  // never lit
    // Half the intensity for 100 ticks against full intensity for 11: the second point waits for
    // the mirrors, and its laser, without a switch-on delay, comes on one tick before its light.
    const auto around = [&](double x, double y) {
        double sum = 0;
        const int cx = static_cast<int>(x * 256 / 65536), cy = static_cast<int>(y * 256 / 65536);
        for (int dy = -4; dy <= 4; ++dy)
            for (int dx = -4; dx <= 4; ++dx) sum += dose.cells[static_cast<size_t>(cy + dy) * 256 + cx + dx];
        return sum;
    };
    EXPECT_NEAR(around(20000, 10000) / around(50000, 50000), 0.5 * 100 / 11, 0.001);
}

TEST_F(Preview, SvgShowsDwellDiscsInTheLaserColourAndALegend) {
    preview::PreviewLegend legend;
    legend.title = "test <file>";
    legend.durationUs = static_cast<double>(trace.endUs);
    const std::string svg = preview::DrawSvg(trace, lasers, legend, 50);
    // The first point at (20000, 10000): 40 + v * 800 / 65535 pixels.
    EXPECT_NE(svg.find("<circle cx=\"284.1\" cy=\"162.1\""), std::string::npos) << svg.substr(0, 2000);
    EXPECT_NE(svg.find("fill=\"#123456\""), std::string::npos);
    EXPECT_NE(svg.find("stroke=\"#9a9a9a\""), std::string::npos);  // dark travel
    EXPECT_NE(svg.find("test &lt;file&gt;"), std::string::npos);
    EXPECT_EQ(svg.find("<file>"), std::string::npos);
}

// Outputs, waits and a loop beside the beam, with a pulsed laser whose light the compiler counts
// per pulse period while the executor shows each pulse as one tick.
const char* const kOutputsFile = R"({ "tickTime": 100, "units": "device",
  "lasers": [
    { "name": "uv", "port": "laser1", "switchOnDelay": 200, "switchOffDelay": 100 },
    { "name": "ir", "port": "laser2", "pulseFrequency": 1000, "minIntensity": 0, "maxIntensity": 0 } ],
  "elements": [
    { "type": "setTTL", "port": "ttl1", "value": 1, "start": 0 },
    { "type": "waitInput", "input": 0, "trigger": 1 },
    { "type": "point", "at": [30000, 30000], "laser": "uv", "repeat": 49 },
    { "type": "pulseTTL", "port": "ttl2" },
    { "type": "point", "at": [34000, 30000], "laser": "ir", "repeat": 3 },
    { "type": "line", "from": [30000, 36000], "to": [36000, 36000], "laser": "uv" },
    { "type": "jump", "targetElement": 5, "repeat": 2, "counter": 2 },
    { "type": "waitUser", "value": 7 },
    { "type": "setAnalog", "port": "laser3", "value": 2500 },
    { "type": "setTTL", "port": "ttl1", "value": 0 } ] })";

TEST(PreviewLight, OutputsWaitsAndJumpsShowNoLightAndTheSumIsTheBeamElements) {
    const sequence_file::CompiledSequence built(sequence_file::ParseSequenceText(kOutputsFile, "."));
    ASSERT_FALSE(built.Failure().has_value()) << built.analysis.reason;
    const auto& file = built.file.elements;
    ASSERT_EQ(built.analysis.elements.size(), file.size());
    unsigned long long beam = 0;
    for (size_t i = 0; i < file.size(); ++i) {
        const std::string& type = file[i].type;
        const bool lit = type == "point" || type == "line";
        SCOPED_TRACE(type);
        if (lit)
            EXPECT_GT(built.analysis.elements[i].illumination, 0u);
        else
            EXPECT_EQ(built.analysis.elements[i].illumination, 0u);
        beam += built.analysis.elements[i].illumination;
    }
    EXPECT_EQ(built.analysis.illuminationTicks, beam);
}

TEST(PreviewLight, PreviewAndItsLegendTellTheCompilersLightTime) {
    const sequence_file::CompiledSequence built(sequence_file::ParseSequenceText(kOutputsFile, "."));
    testsupport::TempDir dir;
    const preview::BeamTrace trace = preview::WritePreview(built, dir.File("p.svg"), "");
    const uint64_t light = built.analysis.illuminationTicks * 100;
    EXPECT_EQ(preview::LightTimeUs(built.analysis), light);
    EXPECT_EQ(trace.litUs, light);
    const std::string svg = testsupport::ReadFile(dir.File("p.svg"));
    EXPECT_NE(svg.find("light " + preview::FormatMicroseconds(static_cast<double>(light)) + " "), std::string::npos);
}

TEST(PreviewTimeStrip, OutputsAndWaitsAppearInTimeOrderWithTheirLanes) {
    const sequence_file::CompiledSequence built(sequence_file::ParseSequenceText(kOutputsFile, "."));
    const auto lasers = built.PreviewLasers();
    const preview::BeamTrace trace = preview::TraceCompiled(built.analysis, lasers);
    const auto count = [&](preview::Mark::Kind kind, int channel) {
        return std::count_if(trace.marks.begin(), trace.marks.end(), [&](const preview::Mark& m) {
            return m.kind == kind && (channel < 0 || m.channel == channel);
        });
    };
    EXPECT_EQ(count(preview::Mark::Level, 0), 2);  // ttl1 up at the start, down at the end
    EXPECT_EQ(count(preview::Mark::Pulse, 1), 1);  // ttl2
    EXPECT_EQ(count(preview::Mark::Analog, -1), 1);
    EXPECT_EQ(count(preview::Mark::WaitInput, 0), 1);
    EXPECT_EQ(count(preview::Mark::WaitUser, -1), 1);
    // The lasers' own lines and intensities are the picture's business, not the strip's.
    EXPECT_EQ(count(preview::Mark::Level, -1), 2);
    EXPECT_TRUE(std::is_sorted(trace.marks.begin(), trace.marks.end(),
                               [](const preview::Mark& a, const preview::Mark& b) { return a.timeUs < b.timeUs; }));
    preview::PreviewLegend legend;
    const std::string svg = preview::DrawSvg(trace, lasers, legend, 100);
    for (const char* text :
         {">ttl1<", ">ttl2<", ">analog, laser output 3<", "wait for input 0 at", "wait for the user at"})
        EXPECT_NE(svg.find(text), std::string::npos) << text;
}

// A filled square scanned in rows 10 units apart: a quarter of a million mirror steps.
std::string RasterFile(int side) {
    const std::string lo = std::to_string(20000), hi = std::to_string(20000 + side);
    return R"({ "tickTime": 50, "units": "device",
      "lasers": [ { "name": "red", "port": "laser2", "stepSize": 10, "color": "#d62728" } ],
      "elements": [ { "type": "polygon", "fill": true, "laser": "red", "points": [[)" +
           lo + ", " + lo + "], [" + hi + ", " + lo + "], [" + hi + ", " + hi + "], [" + lo + ", " + hi + "]] } ] }";
}

bool Renders(const std::string& svg, const std::string& png) {
    const std::string command = "rsvg-convert '" + svg + "' -o '" + png + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

TEST(PreviewSize, DenseRasterStaysSmallAndRenders) {
    const sequence_file::CompiledSequence built(sequence_file::ParseSequenceText(RasterFile(5000), "."));
    ASSERT_FALSE(built.Failure().has_value()) << built.analysis.reason;
    testsupport::TempDir dir;
    const preview::BeamTrace trace = preview::WritePreview(built, dir.File("r.svg"), dir.File("r.png"));
    EXPECT_LT(trace.moves.size(), 5000u);  // rows, not steps
    const std::string svg = testsupport::ReadFile(dir.File("r.svg"));
    EXPECT_LT(svg.size(), 5'000'000u);
    // Every row is there at the picture's resolution: the lit paths span the square.
    EXPECT_NE(svg.find("stroke=\"#d62728\""), std::string::npos);
    if (std::system("command -v rsvg-convert >/dev/null 2>&1") != 0) GTEST_SKIP() << "rsvg-convert not installed";
    EXPECT_TRUE(Renders(dir.File("r.svg"), dir.File("r-svg.png")));
}

TEST(PreviewSize, TracesBeyondAnyBudgetAreThinnedAndSaySo) {
    // Lit jumps between random places and long dwells, more than any grid makes fit: the picture
    // keeps to its budget and tells what it left out.
    preview::BeamTrace trace;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> where(0, 65535);
    double x = 0, y = 0;
    for (int i = 0; i < 300'000; ++i) {
        preview::Move m;
        m.x0 = x;
        m.y0 = y;
        m.x1 = x = where(random);
        m.y1 = y = where(random);
        m.litMask = 1;
        m.intensity[0] = 1;
        trace.moves.push_back(m);
        if (i >= 5000) continue;
        preview::Stay s;
        s.x = where(random);
        s.y = where(random);
        s.durationUs = 1000;
        s.litMask = 1;
        trace.stays.push_back(s);
    }
    sequence_file::PreviewLaser laser;
    laser.color = "#123456";
    const std::string svg = preview::DrawSvg(trace, {laser}, preview::PreviewLegend{}, 50);
    EXPECT_LT(svg.size(), 5'000'000u);
    EXPECT_NE(svg.find("paths drawn on a 1.0 pixel grid"), std::string::npos);
    EXPECT_NE(svg.find("shorter dwell points left out"), std::string::npos);
}

// Coefficient of variation of the dose inside a disc: 0 for perfectly even light.
double Unevenness(const preview::DoseMap& map, double cx, double cy, double radius) {
    std::vector<double> inside;
    for (int y = 0; y < map.size; ++y)
        for (int x = 0; x < map.size; ++x) {
            const double dx = (x + 0.5) * map.CellSide() - cx, dy = (y + 0.5) * map.CellSide() - cy;
            if (std::hypot(dx, dy) < radius) inside.push_back(map.cells[static_cast<size_t>(y) * map.size + x]);
        }
    const double mean = std::accumulate(inside.begin(), inside.end(), 0.0) / inside.size();
    double var = 0;
    for (double v : inside) var += (v - mean) * (v - mean);
    return std::sqrt(var / inside.size()) / mean;
}

TEST(PreviewDose, FilledShapesScannedAlongAPathGiveEvenLight) {
    // Rings 300 units apart on cells of 128: light dropped at the steps shows spokes and rings of
    // the cell grid; light along the path is even but for the centre and the rim.
    // Point sampling gave 0.25 (rings, off the centre) and 0.16 (hatch rows); what is left of the
    // rings is the light of their steps beyond each edge's end.
    const struct {
        const char* shape;
        double x, y, radius, evenness;
    } cases[] = {
        {R"("type": "ellipse", "rect": [10000, 10000, 36000, 36000], "fill": true, "fillPath": true)", 34000, 28000,
         3000, 0.21},
        {R"("type": "ellipse", "rect": [10000, 10000, 36000, 36000], "fill": true)", 28000, 28000, 12000, 0.05},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shape);
        const std::string text = std::string(R"({ "tickTime": 50, "units": "device",
          "lasers": [ { "name": "red", "port": "laser2", "stepSize": 300 } ],
          "elements": [ { )") + c.shape +
                                 R"(, "laser": "red" } ] })";
        const sequence_file::CompiledSequence built(sequence_file::ParseSequenceText(text, "."));
        ASSERT_FALSE(built.Failure().has_value()) << built.analysis.reason;
        const preview::BeamTrace trace = preview::TraceCompiled(built.analysis, built.PreviewLasers());
        const preview::DoseMap map = preview::ComputeDose(trace, 512);
        EXPECT_LT(Unevenness(map, c.x, c.y, c.radius), c.evenness);
        // No light is lost or made up on the way into the map.
        double total = std::accumulate(map.cells.begin(), map.cells.end(), 0.0), traced = 0;
        for (const preview::Move& m : trace.moves) traced += static_cast<double>(m.lightUs) * m.intensity[0];
        for (const preview::Stay& s : trace.stays) traced += static_cast<double>(s.durationUs) * s.intensity[0];
        EXPECT_NEAR(total, traced, traced * 1e-9);
    }
}

TEST(PreviewDose, PictureCarriesAColourScaleBesideTheMap) {
    preview::DoseMap map;
    map.size = 64;
    map.cells.assign(64 * 64, 0.0);
    map.cells[32 * 64 + 32] = 1000;
    testsupport::TempDir dir;
    std::string error;
    ASSERT_TRUE(preview::WriteDosePng(map, dir.File("d.png"), &error)) << error;
    testsupport::PngPixels image;
    ASSERT_TRUE(testsupport::ReadPng(dir.File("d.png"), &image));
    EXPECT_GT(image.width, 64u + 60);   // the bar and its numbers
    EXPECT_GT(image.height, 64u + 10);  // the unit below
    const auto brightness = [&](unsigned x, unsigned y) { return image.Brightness(x, y); };
    // The bar runs from the brightest colour at the top to black at the bottom.
    EXPECT_GT(brightness(64 + 12, 0), 600);
    EXPECT_EQ(brightness(64 + 12, 63), 0);
    // A cell of 1024 x 1024 units holding 1 ms is 0.954 ms per 1000 x 1000 units.
    EXPECT_NEAR(preview::DosePerArea(map, 1000), 1e6 / (1024.0 * 1024.0), 1e-9);
}

// The encoder must hand every pixel over unchanged, whatever the size: odd widths (rows that are
// not a multiple of 4 bytes), one-pixel pictures, noise that defeats the compressor.
TEST(PreviewPng, EveryPixelSurvivesTheEncoderAsDecodedElsewhere) {
    std::mt19937 random(7);
    testsupport::TempDir dir;
    for (const auto& [width, height] : std::vector<std::pair<int, int>>{{1, 1}, {3, 5}, {17, 2}, {640, 11}, {5, 333}}) {
        std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
        for (unsigned char& b : rgb) b = static_cast<unsigned char>(random());
        std::string error;
        const std::string path = dir.File("p" + std::to_string(width) + "x" + std::to_string(height) + ".png");
        ASSERT_TRUE(preview::WriteRgbPng(path, width, height, rgb.data(), &error)) << error;
        testsupport::PngPixels decoded;
        ASSERT_TRUE(testsupport::ReadPng(path, &decoded)) << width << "x" << height;
        EXPECT_EQ(decoded.width, static_cast<unsigned>(width));
        EXPECT_EQ(decoded.height, static_cast<unsigned>(height));
        EXPECT_TRUE(decoded.rgb == rgb) << width << "x" << height;
    }
}

TEST(PreviewPng, RefusesWhatItCannotWrite) {
    testsupport::TempDir dir;
    const unsigned char pixel[3] = {1, 2, 3};
    std::string error;
    EXPECT_FALSE(preview::WriteRgbPng(dir.File("missing-folder/p.png"), 1, 1, pixel, &error));
    EXPECT_NE(error.find("missing-folder"), std::string::npos) << error;
    EXPECT_FALSE(preview::WriteRgbPng(dir.File("empty.png"), 0, 1, pixel, &error));
    EXPECT_FALSE(testsupport::FileExists(dir.File("empty.png")));
}

}  // namespace
