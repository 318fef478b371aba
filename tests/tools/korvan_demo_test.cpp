// The command-line tool and the example, run as programs.
#include "support/scoped_env.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using testsupport::ChildProcess;

std::string RunToEnd(const std::vector<std::string>& argv, int* exitCode) {
    ChildProcess child(argv);
    child.ReadLineStartingWith("\x01 never printed", 10000);  // collects output until it closes
    *exitCode = child.Interrupt(5000);
    return child.Output();
}

TEST(KorvanTool, DemoDiscoversTheBuiltInVirtualDevice) {
    // Even with another port named in the environment, the demo only reaches its own device.
    testsupport::ScopedEnv extra("TESSEL_EXTRA_PORTS", "pts/not-the-demo-device");
    int code = -1;
    const std::string svg = ::testing::TempDir() + "demo_test.svg", png = ::testing::TempDir() + "demo_test.png";
    std::string out = RunToEnd({KORVAN_TOOL_PATH, "demo", "--serial", "DEMO-1", "--description", "Bench unit",
                                "--preview", svg, "--dose", png},
                               &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("Ports found: 1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("serial number:      DEMO-1"), std::string::npos) << out;
    EXPECT_NE(out.find("Calibration with the virtual camera (16 points)"), std::string::npos) << out;
    EXPECT_NE(out.find("spot after the run: gone (laser off)"), std::string::npos) << out;
    EXPECT_NE(out.find("description:        Bench unit"), std::string::npos) << out;
    EXPECT_NE(out.find("firmware version:   16"), std::string::npos) << out;
    EXPECT_NE(out.find("Devices identified: 1"), std::string::npos) << out;
    EXPECT_EQ(out.find("not-the-demo-device"), std::string::npos) << out;
    // The sequence part: run to its end, timeline summarised, pictures written.
    EXPECT_NE(out.find("sequence 1 ended"), std::string::npos) << out;
    EXPECT_NE(out.find("executed timeline: "), std::string::npos) << out;
    EXPECT_NE(out.find("Demo finished"), std::string::npos) << out;
    EXPECT_EQ(std::remove(svg.c_str()), 0);
    EXPECT_EQ(std::remove(png.c_str()), 0);
}

TEST(KorvanTool, BadCommandsAndOptionsGiveUsageErrors) {
    int code = -1;
    RunToEnd({KORVAN_TOOL_PATH, "frobnicate"}, &code);
    EXPECT_EQ(code, 2);
    RunToEnd({KORVAN_TOOL_PATH, "demo", "--max-baud", "fast"}, &code);
    EXPECT_EQ(code, 2);
    std::string help = RunToEnd({KORVAN_TOOL_PATH, "demo", "--help"}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_NE(help.find("--hardware"), std::string::npos);
}

TEST(IdentifyExample, PrintsTheIdentityOfAVirtualDevice) {
    ChildProcess sim({KORVAN_SIM_PATH, "--serial", "EX-77"});
    std::string line = sim.ReadLineStartingWith("TESSEL_EXTRA_PORTS=", 5000);
    ASSERT_FALSE(line.empty());
    testsupport::ScopedEnv noHardware("TESSEL_NO_HARDWARE_PORTS", "1");
    testsupport::ScopedEnv extra("TESSEL_EXTRA_PORTS", line.substr(line.find('=') + 1));
    int code = -1;
    std::string out = RunToEnd({IDENTIFY_EXAMPLE_PATH}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_NE(out.find("1 port(s)"), std::string::npos) << out;
    EXPECT_NE(out.find("serial EX-77, type 3, firmware 16, up to 921600 baud"), std::string::npos) << out;
    EXPECT_EQ(sim.Interrupt(3000), 0);
}

TEST(IdentifyTextDeviceExample, ReadsTheSixTextsOfATextModeSim) {
    ChildProcess sim({KORVAN_SIM_PATH, "--text", "--serial", "TX-5"});
    std::string line = sim.ReadLineStartingWith("TESSEL_EXTRA_PORTS=", 5000);
    ASSERT_FALSE(line.empty());
    testsupport::ScopedEnv noHardware("TESSEL_NO_HARDWARE_PORTS", "1");
    testsupport::ScopedEnv extra("TESSEL_EXTRA_PORTS", line.substr(line.find('=') + 1));
    int code = -1;
    std::string out = RunToEnd({IDENTIFY_TEXT_EXAMPLE_PATH}, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find(": Korvan virtual scanner, type 3, revision 2, serial TX-5, firmware 16, bootloader 2"),
              std::string::npos)
        << out;
    EXPECT_EQ(sim.Interrupt(3000), 0);
}

TEST(MoveMirrorsExample, ConnectsAndVisitsEveryCorner) {
    ChildProcess sim({KORVAN_SIM_PATH});
    std::string line = sim.ReadLineStartingWith("TESSEL_EXTRA_PORTS=", 5000);
    ASSERT_FALSE(line.empty());
    testsupport::ScopedEnv noHardware("TESSEL_NO_HARDWARE_PORTS", "1");
    testsupport::ScopedEnv extra("TESSEL_EXTRA_PORTS", line.substr(line.find('=') + 1));
    int code = -1;
    std::string out = RunToEnd({MOVE_MIRRORS_EXAMPLE_PATH}, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("mirrors at (16384, 16384)"), std::string::npos) << out;
    EXPECT_NE(out.find("mirrors at (16384, 49152)"), std::string::npos) << out;
    EXPECT_EQ(sim.Interrupt(3000), 0);
}

TEST(DefineLaserExample, StoresTheCalibrationAndMapsThroughIt) {
    std::string file = ::testing::TempDir() + "define_laser_example.ini";
    int code = -1;
    std::string out = RunToEnd({DEFINE_LASER_EXAMPLE_PATH, file}, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("laser 1 on laser output 1"), std::string::npos) << out;
    EXPECT_NE(out.find("camera (160, 120) -> device (24576, 24575)"), std::string::npos) << out;
    std::remove(file.c_str());
}

TEST(RunSequenceExample, UploadsRunsAndPrintsTheTimeline) {
    int code = -1;
    std::string out = RunToEnd({RUN_SEQUENCE_EXAMPLE_PATH}, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("stored as sequence 1"), std::string::npos) << out;
    // The second point's position, and the run's end one tick after the last element (tick 439).
    EXPECT_NE(out.find("6000,mirror_x,main,2,40000"), std::string::npos) << out;
    EXPECT_NE(out.find("22000,run_end,-,1,1"), std::string::npos) << out;
}

TEST(CompileOfflineExample, TimesEachElementFromItsOwnSettings) {
    int code = -1;
    std::string out = RunToEnd({COMPILE_OFFLINE_EXAMPLE_PATH}, &code);
    EXPECT_EQ(code, 0) << out;
    // 500 ticks of light after the mirrors' 100-tick lead (the laser's 200 us are only 10 ticks).
    EXPECT_NE(out.find("element 0: start 0, 600 ticks, light 500 ticks, ends at 600"), std::string::npos) << out;
    EXPECT_NE(out.find("element 1: start 1000,"), std::string::npos) << out;
}

TEST(CalibrateLaserExample, RecordsSixteenPointsAndJudgesTheTableSound) {
    std::string file = ::testing::TempDir() + "calibrate_laser_example.ini";
    int code = -1;
    std::string out = RunToEnd({CALIBRATE_LASER_EXAMPLE_PATH, file}, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("point 15: mirrors (61534, 61534)"), std::string::npos) << out;
    EXPECT_NE(out.find("run ended: state Idle, spot gone (laser off)"), std::string::npos) << out;
    EXPECT_NE(out.find("folded cells: 0; verdict: sound"), std::string::npos) << out;
    EXPECT_NE(out.find("( 640,  512) -> "), std::string::npos) << out;
    std::remove(file.c_str());
}

TEST(SwitchLaserExample, ReadsBackLinesAnalogLevelAndPulses) {
    int code = -1;
    std::string out = RunToEnd({SWITCH_LASER_EXAMPLE_PATH}, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("continuous on:                     line 1 1, analog 1 13107"), std::string::npos) << out;
    EXPECT_NE(out.find("continuous off:                    line 1 0"), std::string::npos) << out;
    EXPECT_NE(out.find("SetLaserONOFF on the pulsed laser: 2"), std::string::npos) << out;
    EXPECT_NE(out.find("pulsed off (Stop):"), std::string::npos) << out;
    EXPECT_NE(out.find("sequences left on the device: 0"), std::string::npos) << out;
}

}  // namespace
