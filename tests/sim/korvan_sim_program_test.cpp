// The korvan-sim program: identity from options, discoverable port, ends on an interrupt.
#include <tessel/bootloader/bootloader.h>

#include "support/sim_process.h"

#include <gtest/gtest.h>

namespace {

TEST(KorvanSimProgram, ServesItsIdentityUntilInterrupted) {
    testsupport::ChildProcess sim({KORVAN_SIM_PATH, "--serial", "SIM-0042", "--firmware=21", "--device-type", "3"});
    ASSERT_TRUE(sim.Running());
    const std::string line = sim.ReadLineStartingWith("TESSEL_EXTRA_PORTS=", 5000);
    ASSERT_FALSE(line.empty()) << sim.Output();
    const std::string port = line.substr(line.find('=') + 1);
    EXPECT_EQ(port.compare(0, 4, "pts/"), 0);

    Bootloader b(port.c_str(), 500, true);
    ASSERT_TRUE(b.IsDeviceInfoAvailable());
    char* serial = nullptr;
    ASSERT_TRUE(b.GetSerialNumber(&serial));
    EXPECT_STREQ(serial, "SIM-0042");
    Bootloader::Free(serial);
    int firmware = 0;
    b.GetFirmwareVersion(&firmware);
    EXPECT_EQ(firmware, 21);
    EXPECT_EQ(sim.Interrupt(3000), 0);
}

TEST(KorvanSimProgram, RefusesBadOptions) {
    testsupport::ChildProcess sim({KORVAN_SIM_PATH, "--serial", "much-too-long"});
    ASSERT_TRUE(sim.Running());
    EXPECT_EQ(sim.ReadLineStartingWith("TESSEL_EXTRA_PORTS=", 2000), "");
    EXPECT_EQ(sim.Interrupt(2000), 2);
}

}  // namespace
