// The studio's camera side through its HTTP interface, against the virtual device and camera:
// the region, the camera's frame, images from the folder, calibration runs (camera and clicks),
// saving and opening tables with their region, and point-and-shoot.
#include <support/camera_table.h>
#include <support/png_pixels.h>
#include <support/studio_camera_fixture.h>
#include <support/temp_dir.h>
#include <tiff/tiff_fixtures.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

using nlohmann::json;
using testsupport::StudioCameraTest;

using testsupport::Region;

const korvan::CameraRegion kFull = Region(0, 0, 1280, 1024, 1);
const korvan::CameraRegion kWindow = Region(320, 256, 320, 256, 2);

std::string RegionBody(const korvan::CameraRegion& r) {
    return json{{"region",
                 {{"left", r.left}, {"top", r.top}, {"width", r.width}, {"height", r.height}, {"binning", r.binning}}}}
        .dump();
}

/// A response's PNG body decoded.
testsupport::PngPixels Decode(const httplib::Result& r, const testsupport::TempDir& dir) {
    testsupport::PngPixels pixels;
    EXPECT_TRUE(r && r->status == 200 && r->get_header_value("Content-Type") == "image/png");
    if (!r) return pixels;
    testsupport::WriteFile(dir.File("answer.png"), r->body);
    EXPECT_TRUE(testsupport::ReadPng(dir.File("answer.png"), &pixels));
    return pixels;
}

int Status(const httplib::Result& r) { return r ? r->status : 0; }

double Distance(const json& point, double x, double y) {
    return std::hypot(point[0].get<double>() - x, point[1].get<double>() - y);
}

// ---- The region ------------------------------------------------------------------------------

TEST_F(StudioCameraTest, RegionStartsAtTheFullSensorAndChangesOnlyToOneOnIt) {
    json camera = Body(Send("GET", "/api/camera"));
    EXPECT_EQ(camera["virtual"], true);
    EXPECT_EQ(camera["sensor"], json({1280, 1024}));
    EXPECT_EQ(camera["region"], json({{"left", 0}, {"top", 0}, {"width", 1280}, {"height", 1024}, {"binning", 1}}));
    EXPECT_TRUE(camera["calibrationRegion"].is_null());
    EXPECT_EQ(camera["toCalibration"], json({{"scale", 1.0}, {"offset", {0.0, 0.0}}}));

    auto r = Send("PUT", "/api/camera", RegionBody(kWindow));
    ASSERT_EQ(Status(r), 200) << r->body;
    EXPECT_EQ(Body(r)["region"]["binning"], 2);
    EXPECT_EQ(Body(Send("GET", "/api/camera"))["region"]["left"], 320);
    // Width and height left out: what remains of the sensor at that binning.
    r = Send("PUT", "/api/camera", R"({"region":{"left":640,"top":512,"binning":4}})");
    EXPECT_EQ(Body(r)["region"], json({{"left", 640}, {"top", 512}, {"width", 160}, {"height", 128}, {"binning", 4}}));

    for (const char* bad :
         {R"({})", R"({"region":7})", R"({"region":{"binning":0}})", R"({"region":{"left":1200,"width":100}})",
          R"({"region":{"left":"x"}})", R"({"region":{"top":1.5}})", R"([1,2])"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(Status(Send("PUT", "/api/camera", bad)), 400);
    }
    EXPECT_EQ(Body(Send("GET", "/api/camera"))["region"]["binning"], 4);  // unchanged by the refusals
}

// ---- The frame -------------------------------------------------------------------------------

TEST_F(StudioCameraTest, FrameIsDarkUntilTheLaserShinesAndShowsTheSpotWhereTheCameraSeesIt) {
    testsupport::TempDir dir;
    testsupport::PngPixels dark = Decode(Send("GET", "/api/camera/frame"), dir);
    ASSERT_EQ(dark.width, 1280u);
    ASSERT_EQ(dark.height, 1024u);
    int brightest = 0;
    for (unsigned y = 0; y < dark.height; y += 3)
        for (unsigned x = 0; x < dark.width; x += 3) brightest = std::max(brightest, dark.Brightness(x, y));
    EXPECT_LT(brightest, 3 * 40);

    // A manual run lights the laser at its first grid point and waits there for a click.
    ASSERT_EQ(Status(Send("POST", "/api/calibration/start", R"({"points":4,"manual":true,"intensity":3000})")), 202);
    const json waiting = WaitForCalibration([](const json& p) { return p["phase"] == "waiting-click"; });
    ASSERT_EQ(waiting["phase"], "waiting-click");
    const sim::CameraSpot spot = camera->Look();
    ASSERT_TRUE(spot.visible);
    ASSERT_EQ(Status(Send("PUT", "/api/camera", RegionBody(kWindow))), 409);  // not during a run
    testsupport::PngPixels lit = Decode(Send("GET", "/api/camera/frame"), dir);
    const int sx = static_cast<int>(std::lround(spot.x)), sy = static_cast<int>(std::lround(spot.y));
    EXPECT_GT(lit.Brightness(sx, sy), 600);
    EXPECT_LT(lit.Brightness(std::min(1279, sx + 40), sy), 3 * 40);
    Send("POST", "/api/stop");
    EXPECT_EQ(WaitForCalibrationEnd()["phase"], "stopped");
}

TEST(StudioCameraWithoutVirtualDevice, FrameAndCameraRunNeedADevice) {
    testsupport::TempDir folder;
    tools::studio::StudioOptions options;
    options.folder = folder.Path();
    tools::studio::StudioServer server(options);
    httplib::Client client("127.0.0.1", server.Port());
    httplib::Headers headers = {{"Cookie", "korvan_studio_token=" + server.Policy().Token()},
                                {"Host", "127.0.0.1:" + std::to_string(server.Port())}};
    auto r = client.Get("/api/camera/frame", headers);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 409);
    r = client.Get("/api/camera", headers);
    EXPECT_EQ(json::parse(r->body)["virtual"], false);
    headers.emplace("Origin", "http://127.0.0.1:" + std::to_string(server.Port()));
    headers.emplace("X-Korvan-Studio", "1");
    r = client.Post("/api/calibration/start", headers, R"({"points":4})", "application/json");
    EXPECT_EQ(r->status, 409);  // nothing connected
    r = client.Post("/api/shoot", headers, R"({"x":1,"y":2})", "application/json");
    EXPECT_EQ(r->status, 409);  // no table
}

// ---- Images from the folder --------------------------------------------------------------------

class StudioImages : public testsupport::StudioServerTest {
protected:
    /// A stack whose plane k holds 1000 k + 10 x + y: brighter to the right in every plane.
    void WriteStack(const std::string& name, bool bigTiff, uint16_t bits) {
        tiff_test::StackLayout layout;
        layout.bigTiff = bigTiff;
        layout.bits = bits;
        layout.width = 24, layout.height = 10, layout.pages = 3;
        std::vector<uint8_t> samples;
        for (uint32_t k = 0; k < layout.pages; ++k) {
            for (uint32_t y = 0; y < layout.height; ++y) {
                for (uint32_t x = 0; x < layout.width; ++x) {
                    const uint32_t v = bits == 8 ? 8 * x + y + k : 1000 * k + 10 * x + y;
                    for (int b = 0; b < bits / 8; ++b) samples.push_back(static_cast<uint8_t>(v >> (8 * b)));
                }
            }
        }
        tiff_test::writeStack(folder.File(name), layout, samples);
    }
};

TEST_F(StudioImages, StacksAndPngFilesAreDescribedAndShown) {
    WriteStack("stack.tif", false, 16);
    WriteStack("big.tiff", true, 16);
    WriteStack("bytes.tif", false, 8);
    const struct {
        const char* name;
        int bits;
    } stacks[] = {{"stack.tif", 16}, {"big.tiff", 16}, {"bytes.tif", 8}};
    testsupport::TempDir dir;
    for (const auto& s : stacks) {
        SCOPED_TRACE(s.name);
        const json info = Body(Send("GET", std::string("/api/image/info?path=") + s.name));
        EXPECT_EQ(info,
                  json({{"path", s.name}, {"planes", 3}, {"width", 24}, {"height", 10}, {"bitsPerSample", s.bits}}));
        for (int plane : {0, 2}) {
            const testsupport::PngPixels png =
                Decode(Send("GET", std::string("/api/image?path=") + s.name + "&plane=" + std::to_string(plane)), dir);
            ASSERT_EQ(png.width, 24u);
            ASSERT_EQ(png.height, 10u);
            // Automatic contrast: the plane's darkest corner is black, its brightest white.
            EXPECT_LT(png.Brightness(0, 0), 3 * 5);
            EXPECT_GT(png.Brightness(23, 9), 3 * 250);
            EXPECT_LT(png.Brightness(5, 5), png.Brightness(15, 5));
        }
    }
    // A PNG file comes back as it is.
    const std::string png = Send("GET", "/api/image?path=stack.tif&plane=1")->body;
    testsupport::WriteFile(folder.File("picture.png"), png);
    EXPECT_EQ(Body(Send("GET", "/api/image/info?path=picture.png")),
              json({{"path", "picture.png"}, {"planes", 1}, {"width", 24}, {"height", 10}, {"bitsPerSample", 8}}));
    const auto same = Send("GET", "/api/image?path=picture.png");
    ASSERT_EQ(Status(same), 200);
    EXPECT_EQ(same->body, png);
}

TEST_F(StudioImages, RefusesPathsOutsideAndWhatIsNoImage) {
    WriteStack("stack.tif", false, 16);
    testsupport::WriteFile(folder.File("notes.txt"), "hello");
    testsupport::WriteFile(folder.File("fake.png"), "not a png at all, just text long enough to be read");
    testsupport::WriteFile(folder.File("fake.tif"), "not a tiff either");
    const struct {
        std::string query;
        int status;
    } cases[] = {
        {"/api/image/info?path=../outside.tif", 403},
        {"/api/image?path=/etc/passwd", 403},
        {"/api/image/info?path=missing.tif", 404},
        {"/api/image/info?path=notes.txt", 415},
        {"/api/image/info?path=fake.png", 400},
        {"/api/image/info?path=fake.tif", 400},
        {"/api/image/info", 400},
        {"/api/image?path=stack.tif&plane=3", 400},
        {"/api/image?path=stack.tif&plane=-1", 400},
        {"/api/image?path=stack.tif&plane=x", 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        const auto r = Send("GET", c.query);
        EXPECT_EQ(Status(r), c.status);
        EXPECT_TRUE(Body(r).contains("error"));
    }
}

// ---- Calibration -------------------------------------------------------------------------------

TEST_F(StudioCameraTest, SixteenPointRunOnTheVirtualCameraLooksSound) {
    EXPECT_EQ(Status(Send("GET", "/api/calibration")), 404);
    const json end = Calibrate();
    ASSERT_EQ(end["phase"], "done") << end.dump();
    EXPECT_TRUE(end["error"].is_null());
    EXPECT_EQ(end["count"], 16);
    EXPECT_FALSE(LaserLit());  // the run's end switched it off

    const json table = Body(Send("GET", "/api/calibration"));
    ASSERT_EQ(table["points"].size(), 16u);
    for (const json& p : table["points"]) {
        // Each recorded pixel is where the camera shows that mirror position.
        const sim::CameraPoint truth = camera->DeviceToCamera(p["device"][0], p["device"][1]);
        EXPECT_LT(Distance(p["camera"], truth.x, truth.y), 0.2) << p.dump();
    }
    const json& q = table["quality"];
    EXPECT_EQ(q["looksSound"], true);
    EXPECT_EQ(q["gridSize"], 4);
    EXPECT_GT(q["gridSpacing"].get<double>(), 19000);
    EXPECT_TRUE(q["foldedCells"].empty());
    ASSERT_EQ(q["points"].size(), 16u);
    for (const json& p : q["points"]) {
        ASSERT_TRUE(p["arrow"].is_array());
        EXPECT_NEAR(std::hypot(p["arrow"][0].get<double>(), p["arrow"][1].get<double>()),
                    p["leaveOneOutPixels"].get<double>(), 1e-6);
        EXPECT_EQ(p["inFoldedCell"], false);
    }
    EXPECT_EQ(table["region"]["width"], 1280);
    EXPECT_EQ(Body(Send("GET", "/api/camera"))["calibrationRegion"], table["region"]);
}

TEST_F(StudioCameraTest, SpotTooDimFailsTheRunWithTheLaserOff) {
    for (const char* body : {R"({"points":9,"intensity":0})", R"({"points":9,"intensity":3})"}) {
        SCOPED_TRACE(body);
        const json end = Calibrate(body);
        EXPECT_EQ(end["phase"], "failed");
        ASSERT_TRUE(end["error"].is_string());
        EXPECT_NE(end["error"].get<std::string>().find("too dim"), std::string::npos) << end["error"];
        EXPECT_EQ(end["index"], 0);
        EXPECT_FALSE(LaserLit());
        EXPECT_EQ(Status(Send("GET", "/api/calibration")), 404);  // no half table
    }
    // The laser's port is free again: a bright run on it succeeds.
    EXPECT_EQ(Calibrate(R"({"points":4})")["phase"], "done");
}

TEST_F(StudioCameraTest, RunAtARegionThatMissesTheGridSaysSo) {
    ASSERT_EQ(Status(Send("PUT", "/api/camera", RegionBody(kWindow))), 200);
    const json end = Calibrate(R"({"points":4})");
    EXPECT_EQ(end["phase"], "failed");
    EXPECT_NE(end["error"].get<std::string>().find("outside the image"), std::string::npos) << end["error"];
    EXPECT_FALSE(LaserLit());
}

TEST_F(StudioCameraTest, ClickedRunRecordsThePagesSpotsAndStopEndsOne) {
    ASSERT_EQ(Status(Send("POST", "/api/calibration/click", R"({"x":1,"y":1})")), 409);  // nothing waits
    ASSERT_EQ(Status(Send("POST", "/api/calibration/start", R"({"points":4,"manual":true})")), 202);
    EXPECT_EQ(Status(Send("POST", "/api/calibration/start", R"({"points":4})")), 409);  // one at a time
    for (int i = 0; i < 4; ++i) {
        const json waiting =
            WaitForCalibration([i](const json& p) { return p["phase"] == "waiting-click" && p["index"] == i; });
        ASSERT_EQ(waiting["index"], i) << waiting.dump();
        EXPECT_TRUE(LaserLit());
        EXPECT_EQ(Status(Send("POST", "/api/calibration/click", R"({"x":"left"})")), 400);
        EXPECT_EQ(Status(Send("POST", "/api/calibration/click", R"({"x":-1,"y":3})")), 400);
        const sim::CameraPoint seen = camera->DeviceToCamera(waiting["device"][0], waiting["device"][1]);
        const json click = {{"x", seen.x + 0.25}, {"y", seen.y}};
        ASSERT_EQ(Status(Send("POST", "/api/calibration/click", click.dump())), 200);
    }
    ASSERT_EQ(WaitForCalibrationEnd()["phase"], "done");
    const json table = Body(Send("GET", "/api/calibration"));
    for (const json& p : table["points"]) {
        const sim::CameraPoint truth = camera->DeviceToCamera(p["device"][0], p["device"][1]);
        EXPECT_NEAR(p["camera"][0].get<double>(), truth.x + 0.25, 1e-3);
    }

    // Stop while a run waits: it ends "stopped", the laser off, the earlier table kept.
    ASSERT_EQ(Status(Send("POST", "/api/calibration/start", R"({"points":9,"manual":true})")), 202);
    ASSERT_EQ(WaitForCalibration([](const json& p) { return p["phase"] == "waiting-click"; })["phase"],
              "waiting-click");
    EXPECT_TRUE(LaserLit());
    const auto stop = Send("POST", "/api/stop");
    ASSERT_EQ(Status(stop), 200) << stop->body;
    const json end = WaitForCalibrationEnd();
    EXPECT_EQ(end["phase"], "stopped");
    EXPECT_TRUE(end["error"].is_null());
    EXPECT_FALSE(LaserLit());
    EXPECT_EQ(Body(Send("GET", "/api/calibration"))["points"].size(), 4u);
}

TEST_F(StudioCameraTest, StartRefusesBadRequests) {
    const struct {
        const char* body;
        int status;
    } cases[] = {
        {R"({"points":5})", 400},         {R"({"points":1})", 400}, {R"({"points":121})", 400},
        {R"({"port":"laser9"})", 400},    {R"({"port":7})", 400},   {R"({"intensity":10001})", 400},
        {R"({"intensity":"high"})", 400}, {R"("points")", 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(Status(Send("POST", "/api/calibration/start", c.body)), c.status);
    }
    Send("POST", "/api/disconnect");
    EXPECT_EQ(Status(Send("POST", "/api/calibration/start", R"({"points":4})")), 409);
}

// ---- Saving and opening ------------------------------------------------------------------------

TEST_F(StudioCameraTest, TableIsSavedWithItsRegionAndOpenedAgain) {
    EXPECT_EQ(Status(Send("POST", "/api/calibration/save", R"({"path":"cal.ini"})")), 409);  // nothing to save
    ASSERT_EQ(Calibrate(R"({"points":9})")["phase"], "done");
    const json recorded = Body(Send("GET", "/api/calibration"));

    auto r = Send("POST", "/api/calibration/save", R"({"path":"cal.ini"})");
    ASSERT_EQ(Status(r), 200) << r->body;
    EXPECT_EQ(Body(r)["path"], "cal.ini");
    const std::string text = testsupport::ReadFile(folder.File("cal.ini"));
    EXPECT_EQ(Body(r)["bytes"], text.size());
    for (const char* key : {"[Spot]", "[Calibration]", "PointCNT=9", "[Camera]", "Binning=1", "ImageWidth=1280"})
        EXPECT_NE(text.find(key), std::string::npos) << key;
    // The library reads what the studio wrote.
    Calibration loaded;
    EXPECT_EQ(korvan::LoadCalibrationFile(loaded, folder.File("cal.ini").c_str(), nullptr), 0u);
    EXPECT_EQ(loaded.pointCount, 9u);

    for (const char* bad : {R"({"path":"../cal.ini"})", R"({"path":"/tmp/cal.ini"})"})
        EXPECT_EQ(Status(Send("POST", "/api/calibration/save", bad)), 403) << bad;
    EXPECT_EQ(Status(Send("POST", "/api/calibration/save", R"({"path":"no/such/dir/cal.ini"})")), 404);
    EXPECT_EQ(Status(Send("POST", "/api/calibration/save", R"({})")), 400);

    // Opening gives the same answer as the table in force; a file without a region is the full sensor.
    r = Send("POST", "/api/calibration/open", R"({"path":"cal.ini"})");
    ASSERT_EQ(Status(r), 200) << r->body;
    EXPECT_EQ(Body(r)["region"], recorded["region"]);
    for (size_t i = 0; i < 9; ++i)
        EXPECT_LT(Distance(Body(r)["points"][i]["camera"], recorded["points"][i]["camera"][0],
                           recorded["points"][i]["camera"][1]),
                  1e-3);
    Calibration plain(4);
    plain.SaveCalibration(folder.File("plain.ini").c_str());
    r = Send("POST", "/api/calibration/open", R"({"path":"plain.ini"})");
    ASSERT_EQ(Status(r), 200) << r->body;
    EXPECT_EQ(Body(r)["points"].size(), 4u);
    EXPECT_EQ(Body(r)["region"], json({{"left", 0}, {"top", 0}, {"width", 1280}, {"height", 1024}, {"binning", 1}}));

    testsupport::WriteFile(folder.File("broken.ini"), "[Spot]\nScanStepSize=1\n");
    const struct {
        const char* body;
        int status;
    } refusals[] = {{R"({"path":"broken.ini"})", 400},
                    {R"({"path":"missing.ini"})", 404},
                    {R"({"path":"../cal.ini"})", 403},
                    {R"({"file":"cal.ini"})", 400}};
    for (const auto& c : refusals) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(Status(Send("POST", "/api/calibration/open", c.body)), c.status);
    }
    EXPECT_EQ(Body(Send("GET", "/api/calibration"))["points"].size(), 4u);  // refusals left it
}

// ---- Point-and-shoot ---------------------------------------------------------------------------

TEST_F(StudioCameraTest, ShootLightsTheLaserOnlyAtTheSpot) {
    EXPECT_EQ(Status(Send("POST", "/api/shoot", R"({"x":640,"y":512})")), 409);  // no table yet
    ASSERT_EQ(Calibrate()["phase"], "done");
    for (const char* bad : {R"({"x":640})", R"({"x":640,"y":512,"dwellMs":0})", R"({"x":640,"y":512,"port":"x"})",
                            R"({"x":640,"y":512,"intensity":20000})", R"({"x":-100000,"y":512})"}) {
        EXPECT_EQ(Status(Send("POST", "/api/shoot", bad)), 400) << bad;
    }
    server->Session().VirtualDevice()->ClearTimeline();
    const auto r = Send("POST", "/api/shoot", R"({"x":700.5,"y":450.25,"dwellMs":200,"intensity":5000})");
    ASSERT_EQ(Status(r), 200) << r->body;
    const json shot = Body(r);
    const sim::CameraPoint truth = camera->CameraToDevice(700.5, 450.25);
    EXPECT_LT(Distance(shot["device"], truth.x, truth.y), 40) << shot.dump();
    EXPECT_GT(shot["ms"].get<double>(), 0);

    const auto stretches = LitStretches();
    ASSERT_EQ(stretches.size(), 1u);
    const auto& lit = stretches.front();
    EXPECT_NEAR(static_cast<double>(lit.toUs - lit.fromUs), 200000, 2000);
    ASSERT_FALSE(lit.mirrors.empty());
    for (const auto& [x, y] : lit.mirrors) {
        EXPECT_NEAR(x, shot["device"][0].get<double>(), 1.0);
        EXPECT_NEAR(y, shot["device"][1].get<double>(), 1.0);
    }
    EXPECT_FALSE(LaserLit());
    Send("POST", "/api/disconnect");
    EXPECT_EQ(Status(Send("POST", "/api/shoot", R"({"x":640,"y":512})")), 409);
}

// ---- Two regions -------------------------------------------------------------------------------

TEST_F(StudioCameraTest, TableFromTheFullSensorAimsSpotsClickedInABinnedWindow) {
    ASSERT_EQ(Calibrate(R"({"points":25})")["phase"], "done");
    ASSERT_EQ(Status(Send("PUT", "/api/camera", RegionBody(kWindow))), 200);
    const json camera_ = Body(Send("GET", "/api/camera"));
    ASSERT_TRUE(camera_["toCalibration"]["offset"].is_array()) << camera_.dump();
    EXPECT_EQ(camera_["toCalibration"]["scale"], 2.0);
    EXPECT_EQ(camera_["toCalibration"]["offset"], json({320.5, 256.5}));

    // A target seen in the window: shooting there must aim the mirrors at it.
    const RPOINTF target(52000, 48000);  // where the window's pixel, read as a full-sensor one, is still in range
    const RPOINTF seen = testsupport::SpotInImage(*camera, kWindow, target);
    const json at = {{"x", seen.x}, {"y", seen.y}, {"dwellMs", 5}};
    json shot = Body(Send("POST", "/api/shoot", at.dump()));
    ASSERT_TRUE(shot.contains("device")) << shot.dump();
    EXPECT_LT(Distance(shot["device"], target.x, target.y), 80) << shot.dump();
    // The same pixel taken as a full-sensor pixel lands far away: the conversion matters.
    ASSERT_EQ(Status(Send("PUT", "/api/camera", RegionBody(kFull))), 200);
    shot = Body(Send("POST", "/api/shoot", at.dump()));
    ASSERT_TRUE(shot.contains("device")) << shot.dump();
    EXPECT_GT(Distance(shot["device"], target.x, target.y), 5000) << shot.dump();
}

}  // namespace
