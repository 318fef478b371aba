// Running from the studio against the virtual device: a run followed to its end or stopped, the
// executed timeline it leaves, refusals that start nothing, and the preview of a document.
#include <support/studio_server_fixture.h>

#include <korvan/korvan.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

using nlohmann::json;
using testsupport::WriteFile;

// A sequence that runs until stopped: one point lit for a long time, every run.
const char* kLongSequence = R"({
  "tickTime": 50, "units": "device",
  "lasers": [{"name": "blue", "port": "laser1"}],
  "elements": [{"type": "point", "at": [30000, 30000], "laser": "blue", "intensity": 5000, "repeat": 60000}]
})";

std::string RunBody(const std::string& document, const std::string& extra = "") {
    return R"({"document": )" + std::string(document) + extra + "}";
}

// Writes a table that maps camera pixels to device units as device = 64 * camera.
/// A 2 x 2 table scaled by 1/64; `folded` swaps two camera points, as a mis-clicked run would.
void WriteScaledCalibration(const std::string& path, bool folded = false) {
    Calibration table(4);
    const double far = 65535;
    const double corners[4][2] = {{0, 0}, {far, 0}, {0, far}, {far, far}};
    for (unsigned int i = 0; i < 4; ++i)
        ASSERT_EQ(0u, table.SetCalibrationPoint(i, RPOINTF(corners[i][0] / 64, corners[i][1] / 64),
                                                RPOINTF(corners[i][0], corners[i][1])));
    if (folded) std::swap(table.calibrationPoints[0].camera, table.calibrationPoints[1].camera);
    ASSERT_EQ(0u, table.SaveCalibration(path.c_str()));
}

class StudioRunTest : public testsupport::StudioServerTest {
protected:
    json Timeline(size_t since = 0) { return Body(Send("GET", "/api/run/timeline?since=" + std::to_string(since))); }
};

// The lit instants of a timeline, as device positions.
std::vector<std::pair<double, double>> LitPositions(const json& timeline) {
    std::vector<std::pair<double, double>> lit;
    for (const json& r : timeline["records"])
        if (r["lit"].get<bool>()) lit.emplace_back(r["x"].get<double>(), r["y"].get<double>());
    return lit;
}

bool Contains(const std::vector<std::pair<double, double>>& points, double x, double y) {
    return std::find(points.begin(), points.end(), std::make_pair(x, y)) != points.end();
}

TEST_F(StudioRunTest, TwoPointRunEndsUploadedWholeAndLitAtBothPoints) {
    WriteFile(folder.File("two.json"), testsupport::kTwoPointSequence);
    // The same run, from the page's document, from a file in the folder, and started by an input
    // (the virtual device gives its start trigger by itself).
    for (const std::string body :
         {RunBody(testsupport::kTwoPointSequence), std::string(R"({"path": "two.json"})"),
          std::string(R"({"path": "two.json", "input": "input0", "trigger": "falling", "runs": 2})")}) {
        SCOPED_TRACE(body);
        const auto r = Send("POST", "/api/run", body);
        ASSERT_TRUE(r);
        ASSERT_EQ(202, r->status) << r->body;
        const json run = WaitForRunEnd()["run"];
        EXPECT_EQ("ended", run["phase"]);
        EXPECT_GT(run["totalBytes"].get<long long>(), 0);
        EXPECT_EQ(run["totalBytes"], run["uploadedBytes"]);
        EXPECT_TRUE(run["error"].is_null());
        // 30 ticks of light plus the travel, at 50 us a tick.
        EXPECT_GT(run["totalMs"].get<double>(), 1.4);
        EXPECT_LT(run["totalMs"].get<double>(), 100);
        EXPECT_GE(run["elapsedMs"].get<double>(), run["totalMs"].get<double>() * 0.9);

        const json timeline = Timeline();
        const auto lit = LitPositions(timeline);
        EXPECT_TRUE(Contains(lit, 10000, 10000)) << timeline.dump();
        EXPECT_TRUE(Contains(lit, 20000, 10000)) << timeline.dump();
        for (const auto& [x, y] : lit) EXPECT_TRUE((x == 10000 || x == 20000) && y == 10000) << x << "," << y;
        EXPECT_TRUE(timeline["ended"].get<bool>());
        EXPECT_FALSE(timeline["litNow"].get<bool>());
        for (const json& rec : timeline["records"]) EXPECT_TRUE(rec["camera"].is_null());
        // Times ascend; asking from "next" gives nothing new.
        for (size_t i = 1; i < timeline["records"].size(); ++i)
            EXPECT_LT(timeline["records"][i - 1]["t"].get<uint64_t>(), timeline["records"][i]["t"].get<uint64_t>());
        const json rest = Timeline(timeline["next"].get<size_t>());
        EXPECT_TRUE(rest["records"].empty());
        EXPECT_EQ(timeline["next"], rest["next"]);
    }
}

TEST_F(StudioRunTest, TimelineGivesCameraPixelsThroughTheFirstLasersCalibration) {
    WriteScaledCalibration(folder.File("scaled.ini"));
    const std::string document = R"({"tickTime": 50, "units": "camera",
      "lasers": [{"name": "blue", "port": "laser1", "calibration": "scaled.ini"}],
      "elements": [{"type": "point", "at": [200, 300], "laser": "blue", "repeat": 9}]})";
    const auto r = Send("POST", "/api/run", RunBody(document));
    ASSERT_TRUE(r);
    ASSERT_EQ(202, r->status) << r->body;
    EXPECT_EQ("ended", WaitForRunEnd()["run"]["phase"]);
    const json timeline = Timeline();
    bool seen = false;
    for (const json& rec : timeline["records"]) {
        if (!rec["lit"].get<bool>()) continue;
        seen = true;
        EXPECT_EQ(12800, rec["x"].get<double>());
        EXPECT_EQ(19200, rec["y"].get<double>());
        EXPECT_NEAR(200, rec["camera"][0].get<double>(), 1.0);
        EXPECT_NEAR(300, rec["camera"][1].get<double>(), 1.0);
    }
    EXPECT_TRUE(seen) << timeline.dump();
}

TEST_F(StudioRunTest, UnsoundCalibrationIsRefusedUnlessAllowed) {
    WriteScaledCalibration(folder.File("folded.ini"), true);
    const std::string document = R"({"tickTime": 50, "units": "camera",
      "lasers": [{"name": "blue", "port": "laser1", "calibration": "folded.ini"}],
      "elements": [{"type": "point", "at": [200, 300], "laser": "blue", "repeat": 9}]})";
    json body = json::parse(RunBody(document));
    const auto refused = Send("POST", "/api/run", body.dump());
    ASSERT_TRUE(refused);
    EXPECT_EQ(400, refused->status);
    EXPECT_EQ("/lasers/0/calibration", Body(refused).value("pointer", "")) << refused->body;
    EXPECT_TRUE(Body(Send("GET", "/api/state")).value("run", json()).is_null());  // nothing started
    body["allowUnsoundCalibration"] = true;
    const auto allowed = Send("POST", "/api/run", body.dump());
    ASSERT_TRUE(allowed);
    EXPECT_EQ(202, allowed->status) << allowed->body;
    EXPECT_EQ("ended", WaitForRunEnd()["run"]["phase"]);
}

TEST_F(StudioRunTest, StopEndsALongRunIdleAndDark) {
    const auto r = Send("POST", "/api/run", RunBody(kLongSequence, R"(, "runs": 0)"));
    ASSERT_TRUE(r);
    ASSERT_EQ(202, r->status) << r->body;
    WaitForState([](const json& s) { return s.contains("run") && s["run"]["phase"] == "running"; });
    // Lit while it runs: what the page's Stop check looks at.
    WaitForState([this](const json&) { return Timeline()["litNow"].get<bool>(); });

    // A second run while this one runs is refused and changes nothing.
    const auto second = Send("POST", "/api/run", RunBody(testsupport::kTwoPointSequence));
    ASSERT_TRUE(second);
    EXPECT_EQ(409, second->status);
    EXPECT_NE(std::string::npos, Body(second)["error"].get<std::string>().find("run"));
    EXPECT_EQ("running", Body(Send("GET", "/api/state"))["run"]["phase"]);

    const auto stop = Send("POST", "/api/stop");
    ASSERT_TRUE(stop);
    EXPECT_EQ(200, stop->status);
    const json state = WaitForRunEnd();
    EXPECT_EQ("stopped", state["run"]["phase"]);
    EXPECT_EQ(static_cast<int>(Idle), Body(Send("GET", "/api/state"))["stateCode"]);
    EXPECT_FALSE(Timeline()["litNow"].get<bool>());
    EXPECT_TRUE(Timeline()["ended"].get<bool>());

    // Once it is over, the next run is taken.
    const auto again = Send("POST", "/api/run", RunBody(testsupport::kTwoPointSequence));
    ASSERT_TRUE(again);
    EXPECT_EQ(202, again->status) << again->body;
    EXPECT_EQ("ended", WaitForRunEnd()["run"]["phase"]);
}

struct Refused {
    const char* name;
    std::string body;
    int status;
    const char* pointer;  ///< nullptr: none expected
};

TEST_F(StudioRunTest, RefusedRunsStartNothing) {
    const Refused cases[] = {
        {"unknown laser", RunBody(R"({"lasers": [{"name": "blue", "port": "laser1"}],
                     "elements": [{"type": "point", "at": [1, 1], "laser": "red"}]})"),
         400, "/elements/0"},
        {"outside the mirror field", RunBody(R"({"units": "device", "lasers": [{"name": "blue", "port": "laser1"}],
                     "elements": [{"type": "point", "at": [1, 1], "laser": "blue"},
                                  {"type": "line", "from": [0, 0], "to": [90000, 0], "laser": "blue"}]})"),
         400, "/elements/1"},
        {"no document", R"({})", 400, nullptr},
        {"missing file", R"({"path": "nothing.json"})", 404, nullptr},
        {"path leaving the folder", R"({"path": "../x.json"})", 403, nullptr},
        {"bad input", RunBody(testsupport::kTwoPointSequence, R"(, "input": "input9")"), 400, nullptr},
        {"bad trigger", RunBody(testsupport::kTwoPointSequence, R"(, "trigger": "sideways")"), 400, nullptr},
        {"bad runs", RunBody(testsupport::kTwoPointSequence, R"(, "runs": -1)"), 400, nullptr},
    };
    const size_t recordsBefore = Timeline()["records"].size();
    for (const Refused& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = Send("POST", "/api/run", c.body);
        ASSERT_TRUE(r);
        EXPECT_EQ(c.status, r->status) << r->body;
        const json body = Body(r);
        EXPECT_TRUE(body["error"].is_string());
        if (c.pointer) EXPECT_EQ(0u, body.value("pointer", "").rfind(c.pointer, 0)) << r->body;
        const json state = Body(Send("GET", "/api/state"));
        EXPECT_FALSE(state.contains("run")) << state.dump();
        EXPECT_FALSE(state["running"].get<bool>());
    }
    EXPECT_EQ(recordsBefore, Timeline()["records"].size());
}

class StudioWithoutDeviceTest : public testsupport::StudioServerTest {
protected:
    StudioWithoutDeviceTest() { withVirtualDevice = false; }
};

TEST_F(StudioWithoutDeviceTest, TimelineAndRunNeedADevice) {
    const auto timeline = Send("GET", "/api/run/timeline");
    ASSERT_TRUE(timeline);
    EXPECT_EQ(409, timeline->status);
    const auto run = Send("POST", "/api/run", RunBody(testsupport::kTwoPointSequence));
    ASSERT_TRUE(run);
    EXPECT_EQ(409, run->status);
    EXPECT_FALSE(Body(Send("GET", "/api/state")).contains("run"));
    // The preview needs no device.
    const auto preview = Send("POST", "/api/sequence/preview", testsupport::kTwoPointSequence);
    ASSERT_TRUE(preview);
    EXPECT_EQ(200, preview->status);
}

// A point, a line, a filled polygon and a TTL level, in device units (no calibration: camera
// pixels are device units).
const char* kMixedSequence = R"({
  "tickTime": 50, "units": "device",
  "lasers": [{"name": "blue", "port": "laser1", "color": "#1f6fd1"}],
  "elements": [
    {"type": "point", "at": [10000, 12000], "laser": "blue", "repeat": 19},
    {"type": "line", "from": [20000, 20000], "to": [30000, 20000], "laser": "blue"},
    {"type": "polygon", "points": [[40000, 40000], [50000, 40000], [50000, 50000], [40000, 50000]], "fill": true,
     "laser": "blue"},
    {"type": "setTTL", "port": "ttl1", "value": 1}
  ]
})";

TEST_F(StudioRunTest, PreviewTracesEachElementWithTimingAndStrip) {
    const auto r = Send("POST", "/api/sequence/preview", kMixedSequence);
    ASSERT_TRUE(r);
    ASSERT_EQ(200, r->status) << r->body;
    const json preview = Body(r);
    const json check = Body(Send("POST", "/api/sequence/check", kMixedSequence));
    ASSERT_TRUE(check["ok"].get<bool>()) << check.dump();

    // Lit paths per element, each inside the element's shape.
    struct Box {
        double x0, y0, x1, y1;
    };
    const Box boxes[] = {{10000, 12000, 10000, 12000}, {20000, 20000, 30000, 20000}, {40000, 40000, 50000, 50000}};
    size_t litPoints[3] = {0, 0, 0};
    for (const json& path : preview["paths"]) {
        const int e = path["element"].get<int>();
        ASSERT_GE(e, 0);
        ASSERT_LT(e, 3) << "only beam elements have paths";
        if (!path["lit"].get<bool>()) continue;
        EXPECT_EQ("blue", path["laser"]);
        EXPECT_EQ("#1f6fd1", path["color"]);
        for (const json& p : path["points"]) {
            EXPECT_GE(p[0].get<double>(), boxes[e].x0 - 16) << e;
            EXPECT_LE(p[0].get<double>(), boxes[e].x1 + 16) << e;
            EXPECT_GE(p[1].get<double>(), boxes[e].y0 - 16) << e;
            EXPECT_LE(p[1].get<double>(), boxes[e].y1 + 16) << e;
            ++litPoints[e];
        }
    }
    EXPECT_GE(litPoints[0], 1u);
    EXPECT_GE(litPoints[1], 2u);
    EXPECT_GT(litPoints[2], 8u) << "a filled polygon is hatched";

    // Timing is the check report's, in microseconds.
    ASSERT_EQ(4u, preview["timing"].size());
    const unsigned tick = check["tickTime"].get<unsigned>();
    for (size_t i = 0; i < 4; ++i) {
        const json& t = preview["timing"][i];
        const json& c = check["elements"][i];
        EXPECT_EQ(i, t["index"].get<size_t>());
        EXPECT_EQ(c["type"], t["type"]);
        EXPECT_EQ(c["start"].get<uint64_t>() * tick, t["startUs"].get<uint64_t>());
        EXPECT_EQ(c["duration"].get<uint64_t>() * tick, t["durationUs"].get<uint64_t>());
        EXPECT_EQ(c["illumination"].get<uint64_t>() * tick, t["illuminationUs"].get<uint64_t>());
        EXPECT_EQ(c["bytes"], t["bytes"]);
    }
    EXPECT_EQ(1000u, preview["timing"][0]["illuminationUs"].get<uint64_t>());  // 20 ticks of light
    EXPECT_EQ(check["endTick"].get<uint64_t>() * tick, preview["totalUs"].get<uint64_t>());
    // The page asks for the preview alone: it carries the same check report.
    EXPECT_EQ(check, preview["check"]);

    ASSERT_EQ(1u, preview["strip"].size());
    EXPECT_EQ("ttl", preview["strip"][0]["kind"]);
    EXPECT_EQ(preview["timing"][3]["startUs"], preview["strip"][0]["tUs"]);
    EXPECT_NE(std::string::npos, preview["strip"][0]["label"].get<std::string>().find("setTTL ttl1"));

    // The dose grid covers the lit area and holds its light.
    const json& dose = preview["dose"];
    const int w = dose["width"].get<int>(), h = dose["height"].get<int>();
    ASSERT_GT(w, 1);
    ASSERT_GT(h, 1);
    ASSERT_EQ(static_cast<size_t>(w * h), dose["values"].size());
    EXPECT_LE(dose["origin"][0].get<double>(), 10000);
    EXPECT_GE(dose["origin"][0].get<double>() + w * dose["cell"].get<double>(), 50000);
    double sum = 0, max = 0;
    for (const json& v : dose["values"]) sum += v.get<double>(), max = std::max(max, v.get<double>());
    EXPECT_EQ(max, dose["max"].get<double>());
    EXPECT_GT(max, 0);
    // All the light is in the grid: the compiler's light time at full intensity.
    const double light = check["illuminationTicks"].get<double>() * tick;
    EXPECT_NEAR(light, sum, 0.2 * light);
}

TEST_F(StudioRunTest, PreviewMapsDeviceBackToTheDocumentsCameraPixels) {
    WriteScaledCalibration(folder.File("scaled.ini"));
    const std::string document = R"({"tickTime": 50, "units": "camera",
      "lasers": [{"name": "blue", "port": "laser1", "calibration": "scaled.ini"}],
      "elements": [{"type": "point", "at": [200, 300], "laser": "blue", "repeat": 9},
                   {"type": "line", "from": [100, 100], "to": [400, 100], "laser": "blue"}]})";
    const json preview = Body(Send("POST", "/api/sequence/preview", document));
    ASSERT_TRUE(preview.contains("paths")) << preview.dump();
    bool point = false, lineStart = false, lineEnd = false;
    for (const json& path : preview["paths"]) {
        if (!path["lit"].get<bool>()) continue;
        for (const json& p : path["points"]) {
            const double x = p[0].get<double>(), y = p[1].get<double>();
            if (path["element"] == 0) point = point || (std::abs(x - 200) <= 1 && std::abs(y - 300) <= 1);
            if (path["element"] == 1) {
                EXPECT_NEAR(100, y, 1.0);
                // The light comes on within the first steps (1.6 px each here).
                lineStart = lineStart || std::abs(x - 100) <= 5;
                lineEnd = lineEnd || std::abs(x - 400) <= 2;
            }
        }
    }
    EXPECT_TRUE(point && lineStart && lineEnd) << preview["paths"].dump();
}

TEST_F(StudioRunTest, PreviewOfAFaultyDocumentNamesTheElement) {
    const auto r = Send("POST", "/api/sequence/preview",
                        R"({"lasers": [{"name": "blue", "port": "laser1"}],
                            "elements": [{"type": "point", "at": [1, 1], "laser": "green"}]})");
    ASSERT_TRUE(r);
    EXPECT_EQ(400, r->status);
    EXPECT_EQ(0u, Body(r).value("pointer", "").rfind("/elements/0", 0)) << r->body;
}

}  // namespace
