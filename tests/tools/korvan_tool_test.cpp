// The korvan tool's verbs, run as programs: sequence files checked, previewed (and the pictures
// decoded by real readers), run on the built-in virtual device and on korvan-sim, interrupted;
// list, info, flash and calibration check against korvan-sim.
#include "support/png_pixels.h"
#include "support/scoped_env.h"
#include "support/sim_process.h"

#include <korvan/korvan.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using testsupport::ChildProcess;
namespace fs = std::filesystem;

// Runs the tool to its end with stderr joined to stdout; the exit code goes to *code.
std::string Korvan(const std::vector<std::string>& args, int* code, const std::string& redirect = "") {
    std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1" + redirect, KORVAN_TOOL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess child(argv);
    child.ReadLineStartingWith("\x01 never printed", 20000);  // collects output until it closes
    *code = child.Interrupt(5000);
    return child.Output();
}

std::string TempPath(const std::string& name) { return ::testing::TempDir() + "korvan_tool_" + name; }

std::string WriteFile(const std::string& name, const std::string& text) {
    const std::string path = TempPath(name);
    std::ofstream(path) << text;
    return path;
}

std::string ReadFile(const std::string& path) {
    std::stringstream s;
    s << std::ifstream(path).rdbuf();
    return s.str();
}

// A korvan-sim in its own process, made the only port discovery sees.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> extra = {}) : sim_(Args(std::move(extra))) {
        const std::string line = sim_.ReadLineStartingWith("TESSEL_EXTRA_PORTS=", 5000);
        port_ = line.substr(line.find('=') + 1);
        extra_ = std::make_unique<testsupport::ScopedEnv>("TESSEL_EXTRA_PORTS", port_);
    }
    const std::string& Port() const { return port_; }
    int Stop() { return sim_.Interrupt(5000); }

private:
    static std::vector<std::string> Args(std::vector<std::string> extra) {
        extra.insert(extra.begin(), KORVAN_SIM_PATH);
        return extra;
    }
    testsupport::ScopedEnv noHardware_{"TESSEL_NO_HARDWARE_PORTS", "1"};
    ChildProcess sim_;
    std::string port_;
    std::unique_ptr<testsupport::ScopedEnv> extra_;
};

const char* const kLaser = R"("lasers": [ { "name": "a", "port": "laser1" } ])";

std::string Sequence(const std::string& elements) {
    return std::string("{ \"units\": \"device\", ") + kLaser + ", \"elements\": [" + elements + "] }";
}

struct BadFile {
    const char* what;
    std::string text;
    std::string pointer;  // exactly the one reported; "" for the whole document
};

TEST(KorvanCheck, BadFilesGiveExitCode2AndTheirJsonPointer) {
    const std::vector<BadFile> cases = {
        {"not JSON", "{ \"lasers\": [", ""},
        {"wrong type", Sequence(R"({ "type": "point", "at": [1000, "x"], "laser": "a" })"), "/elements/0/at/1"},
        {"unknown laser", Sequence(R"({ "type": "line", "from": [0, 0], "to": [9, 9], "laser": "b" })"),
         "/elements/0/laser"},
        {"unknown type", Sequence(R"({ "type": "point", "at": [1, 1], "laser": "a" }, { "type": "spiral" })"),
         "/elements/1/type"},
        {"outside the field",
         Sequence(R"({ "type": "polygon", "points": [[0, 0], [100, 100], [65536, 5]], "laser": "a" })"),
         "/elements/0/points/2"},
        {"overlapping start", Sequence(R"({ "type": "point", "at": [1, 1], "laser": "a", "repeat": 99 },
                     { "type": "point", "at": [2, 2], "laser": "a", "start": 50 })"),
         "/elements/1"},
        {"misspelt field", Sequence(R"({ "type": "point", "at": [1, 1], "laser": "a", "repaet": 3 })"),
         "/elements/0/repaet"},
        {"intensity above 10000", Sequence(R"({ "type": "point", "at": [1, 1], "laser": "a", "intensity": 10001 })"),
         "/elements/0/intensity"},
        {"jump forward", Sequence(R"({ "type": "jump", "target": 500, "repeat": 1, "start": 10 })"),
         "/elements/0/target"},
        {"calibration missing", R"({ "lasers": [ { "name": "a", "port": "laser1", "calibration": "nowhere.ini" } ],
                                     "elements": [] })",
         "/lasers/0/calibration"},
    };
    for (const BadFile& c : cases) {
        const std::string path = WriteFile("bad.json", c.text);
        int code = -1;
        const std::string out = Korvan({"check", path}, &code);
        EXPECT_EQ(code, 2) << c.what << "\n" << out;
        EXPECT_NE(out.find(c.pointer.empty() ? "not valid JSON at line 1" : path + ": " + c.pointer + ": "),
                  std::string::npos)
            << c.what << "\n"
            << out;
        // The same pointer reaches scripts through --json.
        const std::string json = Korvan({"check", "--json", path}, &code, " 2>/dev/null");
        EXPECT_EQ(code, 2) << c.what;
        const auto report = nlohmann::json::parse(json, nullptr, false);
        EXPECT_EQ(report.value("/error/pointer"_json_pointer, std::string("?")), c.pointer) << c.what << "\n" << json;
    }
}

TEST(KorvanCheck, StartsFollowTheLibraryTimingAndFiguresAddUp) {
    int code = -1;
    const std::string json = Korvan({"check", "--json", std::string(EXAMPLES_DIR) + "/outputs-and-waits.json"}, &code);
    ASSERT_EQ(code, 0) << json;
    const auto report = nlohmann::json::parse(json);
    const auto& e = report["elements"];
    ASSERT_EQ(e.size(), 11u);
    // Elements without a start follow the previous beam element; outputs run beside it.
    EXPECT_EQ(e[2]["start"], e[1]["start"].get<unsigned>() + e[1]["duration"].get<unsigned>());
    EXPECT_EQ(e[3]["start"], e[2]["start"].get<unsigned>() + e[2]["duration"].get<unsigned>());
    EXPECT_EQ(e[4]["start"], e[3]["start"]);
    // After the loop (line repeated twice by the jump) the next element waits for its end.
    const unsigned lineStart = e[5]["start"], jumpStart = e[6]["start"];
    EXPECT_EQ(e[7]["start"].get<unsigned>(), (jumpStart - lineStart + 1) * 2 + jumpStart + 1);
    EXPECT_GT(report["imageBytes"].get<size_t>(), report["mainListBytes"].get<size_t>());
    EXPECT_EQ(report["deviceMemoryBytes"], report["imageBytes"]);
}

// Reads a PNG's size; false when it does not decode.
bool DecodePng(const std::string& path, unsigned* width, unsigned* height) {
    testsupport::PngPixels image;
    if (!testsupport::ReadPng(path, &image)) return false;
    *width = image.width;
    *height = image.height;
    // A picture of a sequence has light in it.
    return std::any_of(image.rgb.begin(), image.rgb.end(), [](unsigned char b) { return b > 64; });
}

TEST(KorvanExamples, EveryExampleChecksAndPreviewsIntoPicturesThatRender) {
    int files = 0;
    for (const auto& entry : fs::directory_iterator(EXAMPLES_DIR)) {
        if (entry.path().extension() != ".json") continue;
        ++files;
        const std::string name = entry.path().stem().string();
        int code = -1;
        std::string out = Korvan({"check", entry.path().string()}, &code);
        EXPECT_EQ(code, 0) << name << "\n" << out;
        EXPECT_NE(out.find("OK\n"), std::string::npos) << name;
        const std::string svg = TempPath(name + ".svg"), dose = TempPath(name + "-dose.png");
        const std::string rendered = TempPath(name + "-svg.png");
        out = Korvan({"preview", entry.path().string(), "-o", svg, "--dose", dose}, &code);
        ASSERT_EQ(code, 0) << name << "\n" << out;
        // A real SVG renderer must accept the drawing.
        const std::string render = "rsvg-convert '" + svg + "' -o '" + rendered + "'";
        EXPECT_EQ(std::system(render.c_str()), 0) << name;
        unsigned w = 0, h = 0;
        EXPECT_TRUE(DecodePng(rendered, &w, &h)) << name;
        EXPECT_TRUE(DecodePng(dose, &w, &h)) << name;
        EXPECT_GT(w, 512u);  // the 512-cell map with its colour scale beside and its unit below
        EXPECT_GT(h, 512u);
        for (const std::string& f : {svg, dose, rendered}) std::remove(f.c_str());
    }
    EXPECT_GE(files, 4);
}

// A picture that cannot be written is the user's to fix (exit 2 with the path), never an abort.
TEST(KorvanPreview, AnUnwritablePictureEndsWithExit2AndItsPath) {
    const std::string example = std::string(EXAMPLES_DIR) + "/points-and-line.json";
    const std::string nowhere = TempPath("no-such-folder") + "/p.svg";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"preview", example, "-o", nowhere},
          std::vector<std::string>{"preview", example, "-o", TempPath("p.svg"), "--dose", nowhere + ".png"}}) {
        int code = -1;
        const std::string out = Korvan(args, &code);
        EXPECT_EQ(code, 2) << out;
        EXPECT_NE(out.find("no-such-folder/p.svg"), std::string::npos) << out;
        std::vector<std::string> withJson = args;
        withJson.push_back("--json");
        const std::string json = Korvan(withJson, &code, " 2>/dev/null");
        EXPECT_EQ(code, 2);
        EXPECT_EQ(nlohmann::json::parse(json, nullptr, false).value("/error/kind"_json_pointer, std::string()), "usage")
            << json;
    }
    std::remove(TempPath("p.svg").c_str());
}

TEST(KorvanRun, VirtualDeviceRunsToTheEndAndWritesItsTimeline) {
    const std::string timeline = TempPath("run.csv");
    int code = -1;
    const std::string out = Korvan({"run", std::string(EXAMPLES_DIR) + "/points-and-line.json", "--virtual",
                                    "--time-scale", "0", "--timeline", timeline},
                                   &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("sequence 1 ended"), std::string::npos) << out;
    const std::string csv = ReadFile(timeline);
    // The first point: laser output 1's line on, the mirrors at (20000, 20000); the run's end at
    // the last element's end tick (584 ticks of 50 us, plus the end record's tick).
    EXPECT_NE(csv.find(",mirror_x,main,2,20000\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",line,main,6,1\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("29250,run_end,-,1,1\n"), std::string::npos) << csv;
    std::remove(timeline.c_str());
}

TEST(KorvanRun, CtrlCStopsTheSequenceAndSwitchesTheLaserOff) {
    const std::string timeline = TempPath("interrupt.csv");
    SimProcess sim({"--time-scale", "1", "--timeline", timeline});
    // Ten seconds of light at one point: long enough to be interrupted.
    const std::string file = WriteFile("long.json", Sequence(R"({ "type": "point", "at": [30000, 30000], "laser": "a",
                                                                   "repeat": 200000 })"));
    const std::string trace = TempPath("interrupt.trace");
    std::remove(trace.c_str());
    testsupport::ScopedEnv traced("TESSEL_TRACE", trace);
    ChildProcess run({KORVAN_TOOL_PATH, "run", file, "--device", sim.Port()});
    ASSERT_FALSE(run.ReadLineStartingWith("  running", 10000).empty()) << run.Output();
    EXPECT_EQ(run.Interrupt(10000), 130) << run.Output();  // interrupted, as shells report Ctrl-C
    run.ReadLineStartingWith("\x01 never printed", 2000);  // what it printed on its way out
    EXPECT_NE(run.Output().find("sequence stopped, lasers switched off"), std::string::npos) << run.Output();
    EXPECT_EQ(sim.Stop(), 0);
    const std::string csv = ReadFile(timeline);
    const size_t stopped = csv.find(",stop,-,1,1\n");
    ASSERT_NE(stopped, std::string::npos) << csv;
    EXPECT_NE(csv.find(",line,-,6,0\n", stopped), std::string::npos) << "the switch-off is on the timeline\n" << csv;
    EXPECT_EQ(csv.find("run_end"), std::string::npos) << csv;
    // On the line: the stop command, then laser output 1's line (code 6) set to 0.
    const std::string bytes = ReadFile(trace);
    const size_t stop = bytes.find(" 1: 3D\n");
    ASSERT_NE(stop, std::string::npos) << bytes;
    EXPECT_NE(bytes.find(" 3: 38 06 00\n", stop), std::string::npos) << bytes.substr(stop);
    std::remove(timeline.c_str());
    std::remove(trace.c_str());
}

TEST(KorvanRun, CtrlCOnTheVirtualDeviceEndsWithTheLaserOffOnItsTimeline) {
    const std::string timeline = TempPath("virtual-interrupt.csv");
    const std::string file = WriteFile("long-virtual.json", Sequence(R"({ "type": "point", "at": [30000, 30000],
                                                                           "laser": "a", "repeat": 200000 })"));
    ChildProcess run({KORVAN_TOOL_PATH, "run", file, "--virtual", "--time-scale", "1", "--timeline", timeline});
    ASSERT_FALSE(run.ReadLineStartingWith("  running", 10000).empty()) << run.Output();
    EXPECT_EQ(run.Interrupt(10000), 130) << run.Output();
    const std::string csv = ReadFile(timeline);
    const size_t stopped = csv.find(",stop,-,1,1\n");
    ASSERT_NE(stopped, std::string::npos) << csv;
    // The last word on laser output 1's line (code 6) is the tool's switch-off after the stop.
    const size_t lastLine = csv.rfind(",line,");
    ASSERT_NE(lastLine, std::string::npos) << csv;
    EXPECT_GT(lastLine, stopped) << csv;
    EXPECT_EQ(csv.compare(lastLine, 13, ",line,-,6,0\n"), 0) << csv.substr(lastLine);
    std::remove(timeline.c_str());
}

TEST(KorvanRun, AVirtualRunSaysWhichInputItWaitsForAndAutoInputsReleaseIt) {
    const std::string file = WriteFile("waits.json", Sequence(R"({ "type": "point", "at": [1, 1], "laser": "a" },
        { "type": "waitInput", "input": 1, "trigger": 2 },
        { "type": "point", "at": [2, 2], "laser": "a" })"));
    int code = -1;
    // The input starts low: a wait for low passes at once; give the virtual device a wait that holds.
    const std::string high = WriteFile("waits-high.json", Sequence(R"({ "type": "point", "at": [1, 1], "laser": "a" },
        { "type": "waitInput", "input": 1 },
        { "type": "point", "at": [2, 2], "laser": "a" })"));
    std::string out = Korvan({"run", high, "--virtual", "--time-scale", "1", "--inputs", "auto:300"}, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("waiting for input 1 to go high (the virtual device sets it shortly)"), std::string::npos)
        << out;
    EXPECT_NE(out.find("sequence 1 ended"), std::string::npos) << out;
    out = Korvan({"run", file, "--virtual", "--time-scale", "0", "--inputs", "auto"}, &code);
    EXPECT_EQ(code, 0) << out;
    // Without --inputs auto and nobody at the keyboard, the wait holds, but says what for.
    ChildProcess manual({"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1 </dev/null", KORVAN_TOOL_PATH, "run", high,
                         "--virtual", "--time-scale", "1"});
    EXPECT_FALSE(manual.ReadLineStartingWith("  waiting for input 1 to go high: press Enter", 10000).empty())
        << manual.Output();
    EXPECT_EQ(manual.Interrupt(10000), 130) << manual.Output();
    out = Korvan({"run", high, "--device", "pts/0", "--inputs", "auto"}, &code);
    EXPECT_EQ(code, 2) << out;
    out = Korvan({"run", high, "--virtual", "--inputs", "sometimes"}, &code);
    EXPECT_EQ(code, 2) << out;
    EXPECT_NE(out.find("--inputs takes manual, auto or auto:MS"), std::string::npos) << out;
}

TEST(KorvanRun, RunsAreCountedFromOne) {
    // 100 ms a run (2000 ticks of 50 us), three runs in real time.
    const std::string file = WriteFile("three.json", Sequence(R"({ "type": "point", "at": [5, 5], "laser": "a",
                                                                   "repeat": 2000 })"));
    int code = -1;
    const std::string out = Korvan({"run", file, "--virtual", "--time-scale", "1", "--runs", "3"}, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("running (run 1 of 3)"), std::string::npos) << out;
    EXPECT_NE(out.find("(run 3 of 3)"), std::string::npos) << out;
    EXPECT_EQ(out.find("(run 0"), std::string::npos) << out;
    EXPECT_EQ(out.find("(run 4"), std::string::npos) << out;
}

// korvan run --no-wait leaves the device running at its raised rate; list, info and stop must
// still reach it, and stop must end the run with the laser off and the device at 9600 baud.
TEST(KorvanDevices, ADeviceLeftRunningByNoWaitIsListedAndStopped) {
    const std::string timeline = TempPath("nowait.csv");
    SimProcess sim({"--serial", "777-0002", "--time-scale", "1", "--timeline", timeline});
    const std::string file = WriteFile("endless.json", Sequence(R"({ "type": "point", "at": [30000, 30000],
                                                                      "laser": "a", "repeat": 1000 })"));
    int code = -1;
    std::string out = Korvan({"run", file, "--device", "777-0002", "--no-wait", "--runs", "0"}, &code);
    ASSERT_EQ(code, 0) << out;
    EXPECT_NE(out.find("to end it and switch the lasers off: korvan stop 777-0002"), std::string::npos) << out;

    out = Korvan({"list"}, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("serial 777-0002"), std::string::npos) << out;
    EXPECT_NE(out.find("left at 921600 baud"), std::string::npos) << out;

    out = Korvan({"stop", "777-0002"}, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("device back at 9600 baud"), std::string::npos) << out;
    out = Korvan({"list", "--json"}, &code);
    const auto listed = nlohmann::json::parse(out, nullptr, false);
    ASSERT_TRUE(listed.is_object()) << out;
    EXPECT_EQ(listed["ports"][0]["baud"], 9600) << out;
    out = Korvan({"info", "777-0002"}, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_EQ(sim.Stop(), 0);

    const std::string csv = ReadFile(timeline);
    const size_t stopped = csv.find(",stop,-,1,");
    ASSERT_NE(stopped, std::string::npos) << csv;
    EXPECT_NE(csv.find(",line,-,6,0\n", stopped), std::string::npos) << csv;
    std::remove(timeline.c_str());
}

TEST(KorvanDevices, ListInfoAndFlashAgainstKorvanSim) {
    SimProcess sim({"--serial", "777-0001"});
    int code = -1;
    std::string out = Korvan({"list"}, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find(sim.Port() + " "), std::string::npos) << out;
    EXPECT_NE(out.find("serial 777-0001"), std::string::npos) << out;
    EXPECT_NE(out.find("1 device(s)"), std::string::npos) << out;

    out = Korvan({"info", "777-0001", "--json"}, &code);
    ASSERT_EQ(code, 0) << out;
    const auto info = nlohmann::json::parse(out);
    EXPECT_EQ(info["port"], sim.Port());
    EXPECT_EQ(info["firmware"], 16);
    EXPECT_EQ(info["freeBytes"], info["largestFreeBlock"]);
    EXPECT_TRUE(info["sequences"].is_array());

    // 600 bytes: three blocks of the bootloader's 256.
    std::string image(600, '\0');
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7);
    const std::string firmware = WriteFile("firmware.bin", image);
    out = Korvan({"flash", firmware, "--device", sim.Port()}, &code, " </dev/null");
    EXPECT_EQ(code, 2) << out;  // not confirmed
    EXPECT_NE(out.find("nothing written"), std::string::npos) << out;
    out = Korvan({"flash", firmware, "--device", "777-0001", "--yes"}, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("firmware written: 600 bytes"), std::string::npos) << out;

    out = Korvan({"info", "no-such-device"}, &code);
    EXPECT_EQ(code, 1) << out;
    out = Korvan({"info", "765-4321"}, &code);
    EXPECT_EQ(code, 1) << out;
    EXPECT_NE(out.find("no device with serial number 765-4321 found (1 port tried)"), std::string::npos) << out;
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(KorvanCalibration, CheckReportsASoundTableAndRefusesAFoldedOne) {
    Calibration table(9);
    for (unsigned int i = 0; i < 9; ++i) {
        const double x = (i % 3) * 30000.0, y = (i / 3) * 30000.0;
        table.SetCalibrationPoint(i, RPOINTF(x / 50, y / 50), RPOINTF(x + 100, y + 200));
    }
    const std::string good = TempPath("good.ini");
    ASSERT_EQ(table.SaveCalibration(good.c_str()), 0u);
    int code = -1;
    std::string out = Korvan({"calibration", "check", good}, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("looks sound"), std::string::npos) << out;

    // Swapping two neighbouring points folds their cells.
    table.SetCalibrationPoint(0, RPOINTF(600, 0), RPOINTF(100, 200));
    table.SetCalibrationPoint(1, RPOINTF(0, 0), RPOINTF(30100, 200));
    const std::string bad = TempPath("bad.ini");
    ASSERT_EQ(table.SaveCalibration(bad.c_str()), 0u);
    out = Korvan({"calibration", "check", bad}, &code);
    EXPECT_EQ(code, 2) << out;
    EXPECT_NE(out.find("DOES NOT LOOK SOUND"), std::string::npos) << out;

    // A sequence in camera pixels goes through that calibration; the device position is checked.
    const std::string seq =
        WriteFile("camera.json", R"({ "lasers": [ { "name": "a", "port": "laser1", "calibration": ")" + good + R"(" } ],
        "elements": [ { "type": "point", "at": [600, 600], "laser": "a" },
                      { "type": "point", "at": [1320, 600], "laser": "a" } ] })");
    out = Korvan({"check", seq}, &code);
    EXPECT_EQ(code, 2) << out;
    EXPECT_NE(out.find("/elements/1/at: camera point (1320, 600) maps to device (66100, 30200)"), std::string::npos)
        << out;
    for (const std::string& f : {good, bad, seq}) std::remove(f.c_str());
}

// check, preview and run print each laser's calibration verdict and stop at a folded table.
TEST(KorvanCalibration, VerbsRefuseAnUnsoundTableUnlessAllowed) {
    Calibration table(9);
    for (unsigned int i = 0; i < 9; ++i) {
        const double x = 1000 + (i % 3) * 30000.0, y = 1000 + (i / 3) * 30000.0;
        table.SetCalibrationPoint(i, RPOINTF(x / 50, y / 50), RPOINTF(x, y));
    }
    std::swap(table.calibrationPoints[3].camera, table.calibrationPoints[4].camera);
    const std::string folded = TempPath("folded_gate.ini");
    ASSERT_EQ(table.SaveCalibration(folded.c_str()), 0u);
    const std::string seq = WriteFile(
        "folded_gate.json", R"({ "lasers": [ { "name": "a", "port": "laser1",
        "calibration": ")" + folded +
                                R"(" } ], "elements": [ { "type": "point", "at": [600, 600], "laser": "a" } ] })");
    const std::string svg = TempPath("folded_gate.svg");
    const std::vector<std::vector<std::string>> verbs = {
        {"check", seq}, {"preview", seq, "-o", svg}, {"run", seq, "--virtual", "--time-scale", "0"}};
    for (std::vector<std::string> args : verbs) {
        SCOPED_TRACE(args[0]);
        int code = -1;
        std::string out = Korvan(args, &code);
        EXPECT_EQ(code, 2) << out;
        EXPECT_NE(out.find("laser \"a\": calibration " + folded + ": 9 points"), std::string::npos) << out;
        EXPECT_NE(out.find("/lasers/0/calibration: the calibration " + folded + " does not look sound"),
                  std::string::npos)
            << out;
        args.push_back("--allow-unsound-calibration");
        out = Korvan(args, &code);
        EXPECT_EQ(code, 0) << out;
        EXPECT_NE(out.find("used anyway"), std::string::npos) << out;
    }
    int code = -1;
    const std::string missing = TempPath("no_such_table.ini");
    std::string out = Korvan({"calibration", "check", missing}, &code);
    EXPECT_EQ(code, 2) << out;
    EXPECT_NE(out.find("cannot read calibration file " + missing + ": no such file"), std::string::npos) << out;
    for (const std::string& f : {folded, seq, svg}) std::remove(f.c_str());
}

TEST(KorvanTool, SimVerbIsTheVirtualDeviceProgram) {
    ChildProcess sim({KORVAN_TOOL_PATH, "sim", "--serial", "SIM-9"});
    const std::string line = sim.ReadLineStartingWith("TESSEL_EXTRA_PORTS=", 5000);
    EXPECT_FALSE(line.empty()) << sim.Output();
    EXPECT_NE(sim.Output().find("serial SIM-9"), std::string::npos) << sim.Output();
    EXPECT_EQ(sim.Interrupt(5000), 0);
}

}  // namespace
