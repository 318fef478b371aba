// The bootloader client through its public interface against the virtual device.
#include <tessel/bootloader/bootloader.h>
#include <tessel/serial/rs232.h>

#include <sim/virtual_device.h>

#include "support/bootloader_script.h"
#include "support/scoped_env.h"
#include "tools/discovery.h"

#include <support/line_rate.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using testsupport::ScopedEnv;
using testsupport::TakeText;

namespace {

constexpr int kTimeoutMs = 500;

std::vector<std::pair<int, int>> g_progress;
bool RecordProgress(int done, int total) {
    g_progress.emplace_back(done, total);
    return true;
}

TEST(BootloaderEndToEnd, DiscoverIdentifySwitchBaudAndWriteFirmware) {
    sim::Identity identity;
    identity.deviceSubType = 4;
    identity.revision = 3;
    identity.blockSize = 512;  // 70 KB need 140 blocks: within the header's 255
    sim::VirtualDevice device(identity);
    ASSERT_TRUE(device.Start());

    ScopedEnv noHardware("TESSEL_NO_HARDWARE_PORTS", "1");
    ScopedEnv extra("TESSEL_EXTRA_PORTS", "pts/does-not-exist:" + device.PortName());
    std::vector<std::string> ports = tools::ListPorts();
    std::vector<std::string> found;
    for (const std::string& port : ports) {
        tools::FoundDevice d;
        if (tools::Identify(port, kTimeoutMs, &d) && d.deviceType == 3) found.push_back(port);
    }
    ASSERT_EQ(found, std::vector<std::string>{device.PortName()});

    Bootloader b(found[0].c_str(), kTimeoutMs, true);
    ASSERT_TRUE(b.IsDeviceInfoAvailable());
    int v = 0;
    b.GetDeviceType(&v);
    EXPECT_EQ(v, 3);
    b.GetSubDeviceType(&v);
    EXPECT_EQ(v, 4);
    b.GetRevision(&v);
    EXPECT_EQ(v, 3);
    b.GetFirmwareVersion(&v);
    EXPECT_EQ(v, 16);
    b.GetBootloaderVersion(&v);
    EXPECT_EQ(v, 2);
    b.GetMaxBaudrate(&v);
    EXPECT_EQ(v, 921600);
    EXPECT_EQ(TakeText(b, &Bootloader::GetSerialNumber), "123-4567");
    EXPECT_EQ(TakeText(b, &Bootloader::GetDeviceDescription), identity.description);

    ASSERT_TRUE(b.SwitchToMaxBaudrate());
    EXPECT_EQ(device.LineRate(), 921600);
    ASSERT_TRUE(b.EnterBootloader());  // works only if the host now really talks at 921600
    EXPECT_EQ(device.HostLineRate(), testsupport::SeenHostRate(921600));
    EXPECT_EQ(device.GarbledBytes(), 0u);
    EXPECT_TRUE(device.InProgramMode());
    ASSERT_TRUE(b.AcquireDeviceInfo());

    std::vector<unsigned char> image(70 * 1024);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<unsigned char>((i * 131) ^ (i >> 9));
    b.progressCallback = RecordProgress;
    g_progress.clear();
    ASSERT_TRUE(b.UpdateFirmware(0x0102, image.data(), static_cast<long>(image.size())));
    sim::FirmwareUpdateRecord update = device.LastUpdate();
    EXPECT_TRUE(update.completed);
    EXPECT_EQ(update.blockCount, 140);
    EXPECT_EQ(update.updateParameter, 0x0102);
    EXPECT_EQ(update.blocksRefused, 0);
    EXPECT_TRUE(update.image == image);
    ASSERT_EQ(g_progress.size(), 141u);
    EXPECT_EQ(g_progress[1], std::make_pair(512, 70 * 1024));
    EXPECT_EQ(g_progress.back(), std::make_pair(70 * 1024, 70 * 1024));

    // The device restarted out of programming mode and still talks at the maximum rate.
    ASSERT_TRUE(b.AcquireDeviceInfo());
    Bootloader::DeviceProgrammingState mode = Bootloader::InProgmode;
    b.GetProgramMode(&mode);
    EXPECT_EQ(mode, Bootloader::NotInProgmode);
    ASSERT_TRUE(b.ResetBaudrate());
    EXPECT_EQ(device.LineRate(), 9600);
    ASSERT_TRUE(b.AcquireDeviceInfo());
    EXPECT_EQ(device.HostLineRate(), testsupport::SeenHostRate(9600));
}

#if !defined(_WIN32)  // needs the line's rate; the Windows line (a pipe) has none
TEST(BootloaderEndToEnd, DeviceLeftAtMaxRateIsDeafToADefaultRateHost) {
    sim::VirtualDevice device;
    ASSERT_TRUE(device.Start());
    Bootloader fast(device.PortName().c_str(), kTimeoutMs, true);
    ASSERT_TRUE(fast.SwitchToMaxBaudrate());
    Bootloader slow(device.PortName().c_str(), 50, true);  // a new object starts at 9600
    EXPECT_FALSE(slow.IsDeviceInfoAvailable());
    EXPECT_GT(device.GarbledBytes(), 0u);
}
#endif

TEST(BootloaderEndToEnd, CorruptedBlockStopsTheUpdateWithNoFurtherBlock) {
    sim::VirtualDevice device;
    ASSERT_TRUE(device.Start());
    Bootloader b(device.PortName().c_str(), kTimeoutMs, true);
    ASSERT_TRUE(b.EnterBootloader());
    ASSERT_TRUE(b.AcquireDeviceInfo());
    std::vector<unsigned char> image(5 * 256, 0x5A);
    const size_t sentBefore = device.BytesFromHost().size();
    device.CorruptInputByte(10 + 258 + 17, 0x04);  // a byte inside the second block
    b.progressCallback = RecordProgress;
    g_progress.clear();
    EXPECT_FALSE(b.UpdateFirmware(1, image.data(), static_cast<long>(image.size())));
    EXPECT_EQ(g_progress, (std::vector<std::pair<int, int>>{{0, 1280}, {256, 1280}}));
    sim::FirmwareUpdateRecord update = device.LastUpdate();
    EXPECT_EQ(update.blocksAccepted, 1);
    EXPECT_EQ(update.blocksRefused, 1);
    EXPECT_FALSE(update.completed);
    EXPECT_EQ(device.BytesFromHost().size() - sentBefore, 10u + 2 * 258u);
    // The bootloader is still in programming mode, ready for another try.
    EXPECT_TRUE(device.InProgramMode());
    EXPECT_TRUE(b.UpdateFirmware(1, image.data(), static_cast<long>(image.size())));
    EXPECT_TRUE(device.LastUpdate().completed);
}

TEST(BootloaderEndToEnd, EnterBootloaderPollCountsOnADeviceThatNeverGetsThere) {
    sim::Identity identity;
    identity.progmodeAfterPolls = -1;
    for (int timeoutMs : {500, 5}) {
        SCOPED_TRACE(timeoutMs);
        sim::VirtualDevice device(identity);
        ASSERT_TRUE(device.Start());
        Bootloader b(device.PortName().c_str(), 500, true);
        ASSERT_TRUE(b.IsDeviceInfoAvailable());
        Bootloader timed(device.PortName().c_str(), timeoutMs, false);
        const int before = device.RequestCount(0x18);
        EXPECT_FALSE(timed.EnterBootloader());
        EXPECT_EQ(device.RequestCount(0x18) - before, 13);
        EXPECT_EQ(device.RequestCount(0x1F), 0);
    }
}

TEST(BootloaderEndToEnd, DeviceThatNeedsSeveralPollsIsWaitedFor) {
    sim::Identity identity;
    identity.progmodeAfterPolls = 3;
    identity.bootloaderVersion = 1;
    sim::VirtualDevice device(identity);
    ASSERT_TRUE(device.Start());
    Bootloader b(device.PortName().c_str(), 500, true);
    ASSERT_TRUE(b.EnterBootloader());
    EXPECT_EQ(device.RequestCount(0x18), 1 + 4);  // acquisition, then three "not yet" and the yes
    EXPECT_EQ(device.RequestCount(0x1F), 1);
}

TEST(BootloaderEndToEnd, LineGoingAwayMidTransferFailsTheUpdate) {
    sim::VirtualDevice device;
    ASSERT_TRUE(device.Start());
    Bootloader b(device.PortName().c_str(), 200, true);
    ASSERT_TRUE(b.EnterBootloader());
    ASSERT_TRUE(b.AcquireDeviceInfo());
    std::vector<unsigned char> image(4 * 256, 0x11);
    device.DropLineAfterInputBytes(10 + 258 + 100);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(b.UpdateFirmware(0, image.data(), static_cast<long>(image.size())));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(device.LineGone());
    EXPECT_EQ(device.LastUpdate().blocksAccepted, 1);
}

}  // namespace
