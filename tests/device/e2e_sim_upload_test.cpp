// The virtual device's side of sequence storage, spoken to byte by byte: announcement, image,
// start and stop, as the upload will use them.
#include <support/virtual_device_fixture.h>

#include <tessel/serial/rs232.h>

namespace devicetest {
namespace {

using Bytes = std::vector<uint8_t>;

class DeviceSimUpload : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        std::string name = sim.PortName();
        ASSERT_TRUE(port.Connect(name.data()));
    }
    Bytes Ask(Bytes request, int replyLength) {
        EXPECT_TRUE(port.Send(request.data(), static_cast<int>(request.size())));
        Bytes reply(static_cast<size_t>(replyLength));
        EXPECT_TRUE(port.Receive(reply.data(), replyLength, 500));
        return reply;
    }
    /// Announces an image whose output list is the last 6 bytes (an empty list's end record).
    static Bytes Announce(uint32_t length) {
        const uint32_t main = length - 6;
        return {0x3F,
                uint8_t(length >> 24),
                uint8_t(length >> 16),
                uint8_t(length >> 8),
                uint8_t(length),
                uint8_t(main >> 24),
                uint8_t(main >> 16),
                uint8_t(main >> 8),
                uint8_t(main)};
    }
    /// A valid image of `size` (at least 18) bytes: one slot of no-operations, then two end records.
    static Bytes ImageOf(size_t size) {
        Bytes image{0, 0, 0, 1, uint8_t(size - 17)};
        image.resize(size - 12, 0x70);
        for (uint8_t b : {0, 0, 0, 3, 1, 0xFF, 0, 0, 0, 2, 1, 0xFF}) image.push_back(b);
        return image;
    }
    RS232 port;
};

TEST_F(DeviceSimUpload, StoresImagesUnderIncreasingNumbersAndStartsThem) {
    // Both lists empty; the main list's end tick is 0x313E3D1C, so its end record reads as commands.
    const Bytes commandLike{0x31, 0x3E, 0x3D, 0x1E, 0x01, 0xFF, 0, 0, 0, 2, 1, 0xFF};
    EXPECT_EQ(Ask(Announce(12), 4), (Bytes{0x3F, 0xFF, 0x00, 0x01}));
    EXPECT_EQ(Ask(commandLike, 1), (Bytes{0xFF})) << "image bytes are not commands";
    EXPECT_EQ(Ask(Announce(18), 4), (Bytes{0x3F, 0xFF, 0x00, 0x02}));
    EXPECT_EQ(Ask(ImageOf(18), 1), (Bytes{0xFF}));
    Model([&](sim::DeviceModel& m) {
        ASSERT_NE(m.memory.Find(1), nullptr);
        EXPECT_EQ(m.memory.Find(1)->image, commandLike);
    });

    EXPECT_EQ(Ask({0x3E, 0x00, 0x09, 0xFF, 0x01, 0, 0, 0, 0}, 2), (Bytes{0x3E, 0x01})) << "unknown number";
    EXPECT_EQ(Ask({0x3E, 0x00, 0x02, 0x01, 0x01, 0, 0, 0, 5}, 2), (Bytes{0x3E, 0xFF}));
    EXPECT_EQ(Ask({0x31}, 9)[1], 3) << "waits for input 1 to start";
    Model([](sim::DeviceModel& m) {
        EXPECT_EQ(m.startInput, 1);
        EXPECT_EQ(m.startTrigger, 1);
        EXPECT_EQ(m.startRuns, 5u);
    });
    EXPECT_EQ(Ask({0x3D}, 2), (Bytes{0x3D, 0xFF}));
    EXPECT_EQ(Ask({0x31}, 9)[1], 0) << "idle";
}

TEST_F(DeviceSimUpload, AnnouncementNeedsOneFreeBlockLargeEnough) {
    Model([](sim::DeviceModel& m) { m.memory.SetCapacity(100); });
    EXPECT_EQ(Ask(Announce(40), 4)[1], 0xFF);
    EXPECT_EQ(Ask(ImageOf(40), 1), (Bytes{0xFF}));
    EXPECT_EQ(Ask(Announce(40), 4)[1], 0xFF);
    EXPECT_EQ(Ask(ImageOf(40), 1), (Bytes{0xFF}));
    EXPECT_EQ(Ask({0x3C, 0x00, 0x01}, 2), (Bytes{0x3C, 0xFF}));
    // 60 bytes free, but in blocks of 40 and 20.
    EXPECT_EQ(Ask({0x43}, 10), (Bytes{0x43, 0xFF, 0, 0, 0, 60, 0, 0, 0, 40}));
    EXPECT_EQ(Ask(Announce(50), 4)[1], 0x01);
    EXPECT_EQ(Ask({0x44}, 2), (Bytes{0x44, 0xFF}));
    EXPECT_EQ(Ask({0x31}, 9)[1], 4);
    EXPECT_EQ(Ask({0x31}, 9)[1], 4);
    EXPECT_EQ(Ask({0x31}, 9)[1], 0);
    EXPECT_EQ(Ask(Announce(50), 4), (Bytes{0x3F, 0xFF, 0x00, 0x03}));
}

TEST_F(DeviceSimUpload, ApplicationModeDecidesWhoAnswers1E) {
    EXPECT_EQ(Ask({0x1E}, 2), (Bytes{0x1E, 0x20})) << "the bootloader's";
    EXPECT_EQ(Ask({0x4F}, 2), (Bytes{0x4F, 0xFF}));
    EXPECT_EQ(Ask({0x1E}, 2), (Bytes{0x1E, 0xFF})) << "the device's";
    EXPECT_EQ(Ask({0x1E}, 2), (Bytes{0x1E, 0x20})) << "application mode was left";
}

TEST_F(DeviceSimUpload, RefusesWhatItCannotDo) {
    EXPECT_EQ(Ask({0x38, 0x05, 0x01}, 2), (Bytes{0x38, 0x01}));
    EXPECT_EQ(Ask({0x39, 0x01, 0x00, 0x01}, 2), (Bytes{0x39, 0x01}));
    EXPECT_EQ(Ask({0x3A, 0x04}, 4), (Bytes{0x3A, 0x01, 0x00, 0x00}));
    EXPECT_EQ(Ask({0xDE, 0, 0, 0, 0}, 2), (Bytes{0xDE, 0x01}));
    EXPECT_EQ(Ask({0x60, 0x00, 0x00}, 2), (Bytes{0x60, 0x01}));
    EXPECT_EQ(Ask({0x36}, 2), (Bytes{0x36, 0x01})) << "nothing waits for the user";
    EXPECT_EQ(Ask({0x3C, 0x00, 0x07}, 2), (Bytes{0x3C, 0x01}));
}

TEST_F(DeviceSimUpload, OlderFirmwareAnswersTheStateInSevenBytes) {
    sim::Identity old;
    old.firmwareVersion = 15;
    sim.SetIdentity(old);
    EXPECT_EQ(Ask({0x31}, 7), (Bytes{0x31, 0, 0, 0, 0, 0, 0}));
    unsigned char* extra = nullptr;
    int length = 0;
    EXPECT_FALSE(port.Receive(&extra, &length, 20)) << "nothing after the seventh byte";
}

}  // namespace
}  // namespace devicetest
