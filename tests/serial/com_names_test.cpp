// Enumeration with the names a Windows machine offers, through the scan seam: friendly names
// from the COM-port interface class, "COMn" DOS device names as the fallback.
#include <tessel/serial/detail/port_enumeration.h>

#include <gtest/gtest.h>

#include "support/scoped_env.h"

#include <string>
#include <vector>

using tessel::detail::EnumeratePorts;
using tessel::detail::PortCandidates;
using tessel::detail::SetPortScannerForTesting;
using Names = std::vector<std::string>;

namespace {

class ComNames : public ::testing::Test {
protected:
    void TearDown() override { SetPortScannerForTesting(nullptr); }
    // Only the seam's machine is listed; the real one is never scanned here.
    testsupport::ScopedEnv hardware_{"TESSEL_NO_HARDWARE_PORTS", "0"};
    testsupport::ScopedEnv extra_{"TESSEL_EXTRA_PORTS", ""};
};

TEST_F(ComNames, FriendlyNamesThenFallbackInTheirOrder) {
    struct Case {
        const char* what;
        Names friendly;
        Names fallback;
        const char* filter;
        Names expected;
    };
    const Case cases[] = {
        {"interface order kept",
         {"USB Serial Port (COM12)", "Communications Port (COM1)"},
         {"COM1", "COM12"},
         nullptr,
         {"COM12", "COM1"}},
        {"filter is a substring of the friendly name",
         {"USB Serial Port (COM4)", "Standard Serial over Bluetooth link (COM9)", "USB Serial Port (COM5)"},
         {},
         "USB Serial",
         {"COM4", "COM5"}},
        {"no interface: the DOS names", {}, {"COM1", "COM3"}, nullptr, {"COM1", "COM3"}},
        {"filter matching nothing: all DOS names unfiltered",
         {"Communications Port (COM1)"},
         {"COM1", "COM3"},
         "USB",
         {"COM1", "COM3"}},
        {"friendly name without (COMn) contributes nothing",
         {"Modem without port", "USB Serial Port (COM6)"},
         {"COM6"},
         nullptr,
         {"COM6"}},
        {"first parenthesised run without blanks",
         {"Adapter (rev 2) (COM8)", "X (COM10) (COM11)"},
         {},
         nullptr,
         {"COM8", "COM10"}},
        {"nothing at all", {}, {}, nullptr, {}},
    };
    for (const Case& c : cases) {
        SetPortScannerForTesting([&] { return PortCandidates{c.friendly, c.fallback, {}}; });
        EXPECT_EQ(EnumeratePorts(c.filter), c.expected) << c.what;
    }
}

TEST_F(ComNames, ExtraPortsJoinAsVirtualPortsAndPassTheFilterOnlyByTheirText) {
    testsupport::ScopedEnv extra("TESSEL_EXTRA_PORTS", "COM7:COM21");
    SetPortScannerForTesting([] { return PortCandidates{{"USB Serial Port (COM3)"}, {"COM1", "COM3"}, {}}; });
    EXPECT_EQ(EnumeratePorts(nullptr), (Names{"COM3", "COM7", "COM21"}));
    EXPECT_EQ(EnumeratePorts("Virtual"), (Names{"COM7", "COM21"}));
    testsupport::ScopedEnv noHardware("TESSEL_NO_HARDWARE_PORTS", "1");
    EXPECT_EQ(EnumeratePorts(nullptr), (Names{"COM7", "COM21"}));
}

}  // namespace
