// The korvan-sim program: identity from options, discoverable port, ends on an interrupt.
#include <tessel/bootloader/bootloader.h>

#include <tessel/serial/rs232.h>

#include "image_bytes.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

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

TEST(KorvanSimProgram, WritesTheExecutedTimelineToAFile) {
    const std::string path = ::testing::TempDir() + "korvan_sim_timeline_" + std::to_string(::getpid()) + ".csv";
    testsupport::ChildProcess sim({KORVAN_SIM_PATH, "--time-scale", "0", "--timeline=" + path});
    const std::string line = sim.ReadLineStartingWith("TESSEL_EXTRA_PORTS=", 5000);
    ASSERT_FALSE(line.empty()) << sim.Output();
    std::string port = line.substr(line.find('=') + 1);
    RS232 host;
    ASSERT_TRUE(host.Connect(port.data()));
    auto ask = [&](simtest::Bytes request, size_t n) {
        host.Send(request.data(), static_cast<int>(request.size()));
        simtest::Bytes reply(n);
        EXPECT_TRUE(host.Receive(reply.data(), static_cast<int>(n), 1000));
        return reply;
    };
    const simtest::Image image =
        simtest::Join(simtest::ListBuilder().Slot(2, {simtest::MirrorX(77)}).End(3), simtest::ListBuilder().End(0));
    simtest::Bytes announce{0x3F};
    simtest::PutBe(announce, static_cast<uint32_t>(image.bytes.size()), 4);
    simtest::PutBe(announce, image.mainLength, 4);
    ASSERT_EQ(ask(announce, 4), (simtest::Bytes{0x3F, 0xFF, 0, 1}));
    ASSERT_EQ(ask(image.bytes, 1), (simtest::Bytes{0xFF}));
    ASSERT_EQ(ask({0x3E, 0, 1, 0xFF, 1, 0, 0, 0, 1}, 2), (simtest::Bytes{0x3E, 0xFF}));
    for (int i = 0; i < 100 && ask({0x31}, 9)[1] != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    host.Disconnect();
    EXPECT_EQ(sim.Interrupt(3000), 0);

    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(text.str(),
              "time_us,event,list,channel,value\n"
              "0,run_start,-,1,1\n"
              "50,list_end,output,0,0\n"
              "100,mirror_x,main,2,77\n"
              "200,list_end,main,0,3\n"
              "200,run_end,-,1,1\n");
    std::remove(path.c_str());
}

TEST(KorvanSimProgram, RefusesBadOptions) {
    testsupport::ChildProcess sim({KORVAN_SIM_PATH, "--serial", "much-too-long"});
    ASSERT_TRUE(sim.Running());
    EXPECT_EQ(sim.ReadLineStartingWith("TESSEL_EXTRA_PORTS=", 2000), "");
    EXPECT_EQ(sim.Interrupt(2000), 2);
}

}  // namespace
