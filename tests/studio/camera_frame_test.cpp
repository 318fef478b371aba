// The virtual camera's frame and the spot finder: the spot is found where the beam is, to a fraction
// of a pixel at every region and binning, and a spot that is too dim or absent is not guessed.
#include <tools/studio/camera_frame.h>

#include <support/camera_table.h>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using tools::studio::FindSpot;
using tools::studio::FoundSpot;
using tools::studio::RenderFrame;
using tools::studio::SpotLight;

using testsupport::Region;

const korvan::CameraRegion kFull = Region(0, 0, 0, 0, 1);
const korvan::CameraRegion kWindow = Region(320, 256, 320, 256, 2);

SpotLight Lit(double x, double y, double brightness) {
    SpotLight light;
    light.lit = true, light.sensorX = x, light.sensorY = y, light.brightness = brightness;
    return light;
}

TEST(CameraFrame, SizeFollowsTheRegion) {
    const struct {
        korvan::CameraRegion region;
        int width, height;
        bool onSensor;
    } cases[] = {
        {kFull, 1280, 1024, true},
        {kWindow, 320, 256, true},
        {Region(320, 256, 0, 0, 2), 480, 384, true},
        {Region(0, 0, 0, 0, 4), 320, 256, true},
        {Region(1000, 0, 200, 10, 2), 200, 10, false},  // runs off the sensor's right edge
        {Region(0, 0, 10, 10, 0), 10, 10, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.region.left) + "," + std::to_string(c.region.binning));
        EXPECT_EQ(tools::studio::OnSensor(c.region), c.onSensor);
        if (!c.onSensor) continue;
        const tools::studio::GrayFrame frame = RenderFrame(c.region, SpotLight());
        EXPECT_EQ(frame.width, c.width);
        EXPECT_EQ(frame.height, c.height);
        EXPECT_EQ(frame.pixels.size(), static_cast<size_t>(c.width) * c.height);
    }
}

TEST(CameraFrame, DarkFrameIsTheSameEveryTimeAndHoldsNoSpot) {
    const tools::studio::GrayFrame a = RenderFrame(kFull, SpotLight()), b = RenderFrame(kFull, SpotLight());
    EXPECT_EQ(a.pixels, b.pixels);
    const FoundSpot spot = FindSpot(a);
    EXPECT_FALSE(spot.found);
    EXPECT_FALSE(spot.why.empty());
    EXPECT_GT(spot.noise, 1);  // there is noise, and it is small
    EXPECT_LT(spot.noise, 60);
    EXPECT_LT(spot.background, 2000);
}

TEST(CameraFrame, SpotIsFoundWithinAFractionOfAPixelAtEveryRegion) {
    const double positions[][2] = {{640, 512}, {500.3, 400.7}, {777.75, 611.1}, {330.5, 270.25}, {930.2, 740.9}};
    for (const korvan::CameraRegion& region : {kFull, kWindow, Region(300, 200, 0, 0, 3)}) {
        for (const auto& p : positions) {
            for (double brightness : {0.05, 0.2, 1.0}) {
                SCOPED_TRACE(std::to_string(region.binning) + " at " + std::to_string(p[0]) + "," +
                             std::to_string(p[1]) + " brightness " + std::to_string(brightness));
                const FoundSpot spot = FindSpot(RenderFrame(region, Lit(p[0], p[1], brightness)));
                ASSERT_TRUE(spot.found) << spot.why;
                const RPOINTF truth = region.FromSensor(RPOINTF(p[0], p[1]));
                EXPECT_NEAR(spot.x, truth.x, 0.1) << spot.x << "," << spot.y;
                EXPECT_NEAR(spot.y, truth.y, 0.1) << truth.x << "," << truth.y;
            }
        }
    }
}

TEST(CameraFrame, BrighterLaserGivesABrighterSpot) {
    double last = 0;
    for (double brightness : {0.01, 0.1, 0.5, 1.0}) {
        const FoundSpot spot = FindSpot(RenderFrame(kFull, Lit(640, 512, brightness)));
        EXPECT_GT(spot.peak, last);
        last = spot.peak;
    }
}

TEST(CameraFrame, DimOrMissingSpotIsNotFound) {
    const struct {
        const char* what;
        SpotLight light;
    } cases[] = {
        {"laser at intensity 0", Lit(640, 512, 0)},
        {"a trace of light", Lit(640, 512, 0.001)},
        {"below the noise's reach", Lit(640, 512, 0.003)},
        {"lit outside the window", Lit(100, 100, 1.0)},
        {"nothing lit", SpotLight()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const korvan::CameraRegion region = std::string(c.what).find("window") != std::string::npos ? kWindow : kFull;
        const FoundSpot spot = FindSpot(RenderFrame(region, c.light));
        EXPECT_FALSE(spot.found) << spot.x << "," << spot.y;
        EXPECT_NE(spot.why.find("bright enough"), std::string::npos) << spot.why;
    }
}

}  // namespace
