// Firmware update framing against a scripted bootloader in programming mode.
#include <tessel/bootloader/bootloader.h>
#include <tessel/bootloader/crc_ccitt.h>

#include "support/bootloader_script.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <utility>

using namespace testsupport;

namespace {

constexpr int kTimeoutMs = 300;

std::vector<std::pair<int, int>> g_progress;
bool RecordProgress(int done, int total) {
    g_progress.emplace_back(done, total);
    return false;  // the result is not used: the update goes on
}

Bytes Image(size_t size) {
    Bytes image(size);
    for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    return image;
}

Bytes BlockWithCrc(const Bytes& image, size_t offset, size_t length) {
    Bytes block(image.begin() + static_cast<long>(offset), image.begin() + static_cast<long>(offset + length));
    const unsigned short crc = CRC_CCITT(CRC_CCITT::NonZero1).ComputeChecksum(block.data(), static_cast<int>(length));
    return Concat({block, Be16(crc)});
}

// A Bootloader that has read its identity from a device in programming mode.
struct InProgmode {
    explicit InProgmode(uint32_t blockSize) {
        ScriptedIdentity id;
        id.inProgmode = true;
        id.blockSize = blockSize;
        ScriptAcquisition(peer, id);
        bootloader = std::make_unique<Bootloader>(peer.PortName().c_str(), kTimeoutMs);
        EXPECT_TRUE(bootloader->IsDeviceInfoAvailable());
        EXPECT_EQ(peer.Finish(), std::vector<std::string>{});
        acquisitionBytes = peer.AllFromHost().size();
        bootloader->progressCallback = RecordProgress;
        g_progress.clear();
    }
    Bytes UpdateTraffic() const {
        Bytes all = peer.AllFromHost();
        return Bytes(all.begin() + static_cast<long>(acquisitionBytes), all.end());
    }
    PtyPeer peer;
    std::unique_ptr<Bootloader> bootloader;
    size_t acquisitionBytes = 0;
};

TEST(FirmwareUpdateWire, SixHundredBytesGoAsThreeBlocksWithHeaderAndProgress) {
    InProgmode d(256);
    Bytes image = Image(600);
    const Bytes header = {0x1D, 0x03, 0x00, 0x00, 0x02, 0x58, 0x00, 0x58, 0xAB, 0xCD};
    d.peer.Expect(header, {0x1D, 0x20});
    d.peer.Expect(BlockWithCrc(image, 0, 256), {0x20, 0, 0});
    d.peer.Expect(BlockWithCrc(image, 256, 256), {0x20, 0, 1});
    d.peer.Expect(BlockWithCrc(image, 512, 88), {0x20, 0, 2});
    EXPECT_TRUE(d.bootloader->UpdateFirmware(0x12ABCD, image.data(), 600));
    EXPECT_EQ(d.peer.Finish(), std::vector<std::string>{});
    EXPECT_EQ(g_progress, (std::vector<std::pair<int, int>>{{0, 600}, {256, 600}, {512, 600}, {600, 600}}));
    EXPECT_EQ(d.UpdateTraffic().size(), 10u + 600u + 3 * 2u);
    Bootloader::DeviceProgrammingState mode = Bootloader::InProgmode;
    d.bootloader->GetProgramMode(&mode);
    EXPECT_EQ(mode, Bootloader::NotInProgmode);
    // Out of programming mode: a second update sends nothing.
    EXPECT_FALSE(d.bootloader->UpdateFirmware(0, image.data(), 600));
    EXPECT_EQ(d.UpdateTraffic().size(), 10u + 600u + 3 * 2u);
}

TEST(FirmwareUpdateWire, ExactMultipleAndShortImagesFromAFile) {
    struct Case {
        size_t size;
        Bytes header;
    };
    const Case cases[] = {
        {512, {0x1D, 0x02, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x07}},
        {100, {0x1D, 0x01, 0x00, 0x00, 0x00, 0x64, 0x00, 0x64, 0x00, 0x07}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        InProgmode d(256);
        Bytes image = Image(c.size);
        testsupport::TempDir dir;
        std::string file = dir.File("firmware.bin");
        testsupport::WriteFile(file, std::string(image.begin(), image.end()));
        const char* path = file.c_str();
        d.peer.Expect(c.header, {0x1D, 0x20});
        for (size_t offset = 0; offset < c.size; offset += 256)
            d.peer.Expect(BlockWithCrc(image, offset, std::min<size_t>(256, c.size - offset)), {0x20, 0, 0});
        EXPECT_TRUE(d.bootloader->UpdateFirmware(7, path));
        EXPECT_EQ(d.peer.Finish(), std::vector<std::string>{});
        EXPECT_EQ(g_progress.back(), std::make_pair(int(c.size), int(c.size)));
    }
}

TEST(FirmwareUpdateWire, RefusedHeaderOrBlockStopsTheUpdate) {
    {
        InProgmode d(256);
        Bytes image = Image(300);
        d.peer.Expect(Bytes{0x1D, 0x02, 0x00, 0x00, 0x01, 0x2C, 0x00, 0x2C, 0x00, 0x00}, {0x1D, 0x00});
        EXPECT_FALSE(d.bootloader->UpdateFirmware(0, image.data(), 300));
        EXPECT_EQ(d.peer.Finish(), std::vector<std::string>{});
        EXPECT_EQ(d.peer.DrainFromHost(100).size(), 0u);  // no block after a refused header
        EXPECT_EQ(d.UpdateTraffic().size(), 10u);
        EXPECT_TRUE(g_progress.empty());
    }
    {
        InProgmode d(256);
        Bytes image = Image(1000);
        d.peer.Expect(Bytes{0x1D, 0x04, 0x00, 0x00, 0x03, 0xE8, 0x00, 0xE8, 0x00, 0x00}, {0x1D, 0x20});
        d.peer.Expect(BlockWithCrc(image, 0, 256), {0x20, 0, 0});
        d.peer.Expect(BlockWithCrc(image, 256, 256), {0x21, 0, 1});
        EXPECT_FALSE(d.bootloader->UpdateFirmware(0, image.data(), 1000));
        EXPECT_EQ(d.peer.Finish(), std::vector<std::string>{});
        EXPECT_EQ(d.peer.DrainFromHost(100).size(), 0u);
        EXPECT_EQ(d.UpdateTraffic().size(), 10u + 2 * 258u);
        EXPECT_EQ(g_progress, (std::vector<std::pair<int, int>>{{0, 1000}, {256, 1000}}));
    }
}

TEST(FirmwareUpdateWire, ImagesTheHeaderCannotDescribeFailWithoutTraffic) {
    struct Case {
        const char* name;
        uint32_t blockSize;
        long size;
    };
    const Case cases[] = {
        {"block size 0", 0, 100},
        {"256 blocks", 256, 256L * 255 + 1},
        {"last block over 65535", 70000, 70000},
        {"block size beyond int", 0x80000000u, 100},
        {"empty image", 256, 0},
        {"negative size", 256, -5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InProgmode d(c.blockSize);
        Bytes image = Image(static_cast<size_t>(std::max(c.size, 1L)));
        EXPECT_FALSE(d.bootloader->UpdateFirmware(0, image.data(), c.size));
        EXPECT_EQ(d.peer.DrainFromHost(30).size(), 0u);
        EXPECT_TRUE(g_progress.empty());
    }
    InProgmode d(256);
    EXPECT_FALSE(d.bootloader->UpdateFirmware(0, nullptr, 100));
    EXPECT_FALSE(d.bootloader->UpdateFirmware(0, "/nonexistent/firmware.bin"));
    EXPECT_FALSE(d.bootloader->UpdateFirmware(0, static_cast<const char*>(nullptr)));
    EXPECT_EQ(d.peer.DrainFromHost(30).size(), 0u);
    // Exactly 255 blocks still fit the header.
    Bytes image = Image(256 * 255);
    d.peer.Expect(Bytes{0x1D, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x01, 0x00, 0x00, 0x00}, {0x1D, 0x00});
    EXPECT_FALSE(d.bootloader->UpdateFirmware(0, image.data(), static_cast<long>(image.size())));
    EXPECT_EQ(d.peer.Finish(), std::vector<std::string>{});
}

}  // namespace
