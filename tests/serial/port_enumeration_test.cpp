#include <tessel/serial/detail/port_enumeration.h>
#include <tessel/serial/rs232.h>

#include <gtest/gtest.h>

#include "support/scoped_env.h"
#include "support/serial_pty_peer.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using tessel::detail::EnumeratePorts;
using tessel::detail::PortCandidates;
using tessel::detail::SetPortScannerForTesting;
using Names = std::vector<std::string>;
using testsupport::PtyPeer;

namespace {

// Every test states the machine it pretends to run on and restores the real scan and the
// environment afterwards.
class PortEnumeration : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::UnsetEnv("TESSEL_EXTRA_PORTS");
        testsupport::UnsetEnv("TESSEL_NO_HARDWARE_PORTS");
    }
    void TearDown() override {
        SetPortScannerForTesting(nullptr);
        testsupport::SetEnv("TESSEL_NO_HARDWARE_PORTS", "1");
        testsupport::UnsetEnv("TESSEL_EXTRA_PORTS");
    }
    void Machine(Names friendly, Names fallback, Names consoles = {}) {
        SetPortScannerForTesting([=] { return PortCandidates{friendly, fallback, consoles}; });
    }
    Names ViaRS232(char* filter = nullptr) {
        RS232 port;
        char** ports = nullptr;
        int count = 0;
        port.GetSpecificCOMPorts(&ports, &count, filter);
        Names out;
        for (int i = 0; i < count; ++i) {
            out.emplace_back(ports[i]);
            port.FreeRS232Memory(ports[i]);
        }
        port.FreeRS232Memory(ports);
        return out;
    }
};

TEST_F(PortEnumeration, HardwarePassKeepsOrderAndTakesTheParenthesisedName) {
    Machine({"FTDI FT232R USB UART (ttyUSB1)", "No port name here", "Serial port (ttyS4)", "Arduino (ttyACM0)"},
            {"ttyS4", "ttyUSB1"});
    EXPECT_EQ(ViaRS232(), (Names{"ttyUSB1", "ttyS4", "ttyACM0"}));
    char filter[] = "FTDI";
    EXPECT_EQ(ViaRS232(filter), (Names{"ttyUSB1"}));
    char lower[] = "ftdi";  // the filter is case-sensitive
    EXPECT_EQ(ViaRS232(lower), (Names{"ttyS4", "ttyUSB1"}));
}

TEST_F(PortEnumeration, FallbackWhenTheFirstPassFindsNothing) {
    Machine({}, {"ttyS1", "ttyS3"});
    EXPECT_EQ(ViaRS232(), (Names{"ttyS1", "ttyS3"}));
    char filter[] = "nothing matches";
    Machine({"USB Serial (ttyUSB0)"}, {"ttyS1", "ttyUSB0"});
    EXPECT_EQ(ViaRS232(filter), (Names{"ttyS1", "ttyUSB0"}));
}

TEST_F(PortEnumeration, NoPortsLeavesTheOutputsUntouched) {
    Machine({}, {});
    RS232 port;
    char** ports = reinterpret_cast<char**>(0x1);
    int count = 0;
    port.GetSpecificCOMPorts(&ports, &count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(ports, reinterpret_cast<char**>(0x1));
}

TEST_F(PortEnumeration, TheConsoleIsNeverListed) {
    Machine({"Serial port (ttyS0)", "USB (ttyUSB0)"}, {"ttyS0", "ttyS1"}, {"tty0", "ttyS0"});
    EXPECT_EQ(ViaRS232(), (Names{"ttyUSB0"}));
    Machine({"Serial port (ttyS0)"}, {"ttyS0", "ttyS1"}, {"ttyS0"});
    EXPECT_EQ(ViaRS232(), (Names{"ttyS1"}));
    testsupport::SetEnv("TESSEL_EXTRA_PORTS", "/dev/ttyS0:pts/4");
    EXPECT_EQ(ViaRS232(), (Names{"pts/4"}));
#if !defined(_WIN32)
    // Other spellings of the console, a link to it, and /dev/console itself are the console too.
    PtyPeer console;
    std::string link = ::testing::TempDir() + "tessel_console_link";
    std::filesystem::remove(link);
    std::filesystem::create_symlink("/dev/" + console.PortName(), link);
    Machine({}, {}, {console.PortName()});
    std::string extra = "/dev/./" + console.PortName() + ":" + link + ":console:/dev/console:pts/4";
    testsupport::SetEnv("TESSEL_EXTRA_PORTS", extra.c_str());
    EXPECT_EQ(ViaRS232(), (Names{"pts/4"}));
    std::filesystem::remove(link);
#endif
}

TEST_F(PortEnumeration, ExtraPortsFollowHardwareAndCanStandAlone) {
    Machine({"USB (ttyUSB0)"}, {"ttyS1"});
    testsupport::SetEnv("TESSEL_EXTRA_PORTS", "pts/3::pts/9");
    EXPECT_EQ(ViaRS232(), (Names{"ttyUSB0", "pts/3", "pts/9"}));
    testsupport::SetEnv("TESSEL_NO_HARDWARE_PORTS", "1");
    EXPECT_EQ(ViaRS232(), (Names{"pts/3", "pts/9"}));
    // The virtual device's pipe on Windows is listed as it is written, never resolved or opened.
    testsupport::SetEnv("TESSEL_EXTRA_PORTS", "\\\\.\\pipe\\korvan-sim-7-0:COM5");
    EXPECT_EQ(ViaRS232(), (Names{"\\\\.\\pipe\\korvan-sim-7-0", "COM5"}));
    testsupport::UnsetEnv("TESSEL_EXTRA_PORTS");
    EXPECT_TRUE(ViaRS232().empty());  // neither pass runs
}

TEST_F(PortEnumeration, PortNameIsTheFirstParenthesisedRunWithoutBlanks) {
    struct Case {
        const char* friendly;
        Names expected;
    };
    const Case cases[] = {
        {"USB Serial (ttyUSB0)", {"ttyUSB0"}},
        {"Virtual (/dev/pts/5)", {"/dev/pts/5"}},
        {"No port name here", {}},
        {"Unclosed (ttyUSB1", {}},
        {"Empty () then (ttyS4)", {"ttyS4"}},
        {"Blank (not a name) then (ttyACM0)", {"ttyACM0"}},
        {"Tab (tty\tX) then (ttyACM1)", {"ttyACM1"}},
        {"Nested ((pts/3))", {"pts/3"}},
        {"Open twice (a(b) c", {"b"}},
        {"First wins (ttyS5) (ttyS6)", {"ttyS5"}},
    };
    for (const Case& c : cases) {
        Machine({c.friendly}, {});
        EXPECT_EQ(ViaRS232(), c.expected) << c.friendly;
    }
}

// Names of any length come from the scan and the environment; overlong ones are skipped whole
// (never cut to another name) and must not take enumeration down on the way.
TEST_F(PortEnumeration, OverlongNamesAreSkippedAndTheRestListed) {
    auto friendlyOfLength = [](std::size_t length) {  // "x...x (ttyUSB7)"
        return std::string(length - 10, 'x') + "(ttyUSB7)" + " ";
    };
    ASSERT_EQ(friendlyOfLength(255).size(), 255u);
    struct Case {
        std::string friendly;
        std::string extra;
        Names expected;
    };
    const std::string longest(128, 'p');
#if defined(_WIN32)
    const std::string huge(30000, 'q');  // a Windows environment value holds at most 32767 characters
#else
    const std::string huge(200000, 'q');
#endif
    const Case cases[] = {
        {friendlyOfLength(255), longest, {"ttyUSB7", longest}},
        {friendlyOfLength(256), longest + "p", {"ttyS1"}},  // both skipped: the fallback runs
        {"Big (" + huge + ")", "pts/2:" + huge + ":pts/3", {"pts/2", "pts/3"}},
        {std::string(100000, '(') + " (ttyUSB8)", huge, {"ttyS1"}},
        {"(" + huge + " (ttyUSB9)", "", {"ttyS1"}},
    };
    for (const Case& c : cases) {
        Machine({c.friendly}, {"ttyS1", "tty" + huge});
        testsupport::SetEnv("TESSEL_EXTRA_PORTS", c.extra.c_str());
        EXPECT_EQ(ViaRS232(), c.expected) << c.friendly.size() << " " << c.extra.size();
        char filter[] = "x";  // the filter never sees an overlong name either
        EXPECT_EQ(ViaRS232(filter), c.friendly.size() == 255 ? Names{"ttyUSB7"} : Names{"ttyS1"});
    }
}

// The real scan only reads /sys and /dev; it must never offer the active console.
TEST_F(PortEnumeration, RealScanOfThisMachineSkipsTheConsole) {
    PortCandidates machine = tessel::detail::ScanSerialPorts();
    Names ports = EnumeratePorts(nullptr);
    for (const std::string& console : machine.consoles) {
        EXPECT_EQ(std::count(ports.begin(), ports.end(), console), 0) << console;
        EXPECT_EQ(std::count(ports.begin(), ports.end(), "/dev/" + console), 0) << console;
    }
}

}  // namespace
