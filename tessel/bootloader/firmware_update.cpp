// Firmware update: a 10-byte header, then the image in blocks, each followed by its CRC-16.
#include <tessel/bootloader/bootloader.h>
#include <tessel/bootloader/crc_ccitt.h>
#include <tessel/bootloader/detail/bootloader_protocol.h>

#include <climits>
#include <cstdio>
#include <vector>

namespace proto = tessel::detail::bootloader_protocol;

namespace {

struct BlockPlan {
    long blockSize = 0;
    long count = 0;
    long lastLength = 0;
};

// Cuts `size` bytes into blocks; false when the header could not describe the result (which also
// keeps a block size of 0 from looping).
bool PlanBlocks(long size, unsigned int blockSize, BlockPlan* plan) {
    if (size <= 0 || size > INT_MAX || blockSize == 0 || blockSize > INT_MAX) return false;
    plan->blockSize = static_cast<long>(blockSize);
    plan->count = (size + plan->blockSize - 1) / plan->blockSize;
    plan->lastLength = size - (plan->count - 1) * plan->blockSize;
    return plan->count <= proto::kMaxBlocks && plan->lastLength <= proto::kMaxLastBlock;
}

}  // namespace

bool Bootloader::UpdateFirmware(int updateParameter, unsigned char* data, long size) {
    if (!deviceInfoAvailable || programMode != InProgmode || data == nullptr) return false;
    BlockPlan plan;
    if (!PlanBlocks(size, blockSize, &plan)) return false;

    unsigned char header[proto::kUpdateHeaderLength] = {
        proto::kEnterProgmode,
        static_cast<unsigned char>(plan.count),
        static_cast<unsigned char>(size >> 24),
        static_cast<unsigned char>(size >> 16),
        static_cast<unsigned char>(size >> 8),
        static_cast<unsigned char>(size),
        static_cast<unsigned char>(plan.lastLength >> 8),
        static_cast<unsigned char>(plan.lastLength),
        static_cast<unsigned char>(updateParameter >> 8),
        static_cast<unsigned char>(updateParameter),
    };
    port.Connect();
    // Pre-filled so that a reply that never arrives cannot pass as 0x1D 0x20.
    unsigned char headerReply[3] = {0x01, 0x02, 0x03};
    port.Send(header, sizeof header);
    port.Receive(headerReply, 2, timeoutMs);
    if (headerReply[0] != proto::kEnterProgmode || headerReply[1] != proto::kAccepted) {
        port.Disconnect();
        return false;
    }

    const CRC_CCITT crc(CRC_CCITT::NonZero1);
    const int total = static_cast<int>(size);
    for (long i = 0; i < plan.count; ++i) {
        unsigned char* block = data + i * plan.blockSize;
        const int length = static_cast<int>(i + 1 < plan.count ? plan.blockSize : plan.lastLength);
        const unsigned short checksum = crc.ComputeChecksum(block, length);
        unsigned char checksumBytes[2] = {static_cast<unsigned char>(checksum >> 8),
                                          static_cast<unsigned char>(checksum)};
        if (progressCallback) progressCallback(static_cast<int>(i * plan.blockSize), total);
        // Send results are not examined: a failed send shows up as a missing reply.
        port.Send(block, length);
        port.Send(checksumBytes, 2);
        unsigned char reply[proto::kBlockReplyLength] = {};
        if (!port.Receive(reply, proto::kBlockReplyLength, timeoutMs) || reply[0] != proto::kAccepted) {
            port.Disconnect();
            return false;
        }
    }
    if (progressCallback) progressCallback(total, total);
    port.Disconnect();
    programMode = NotInProgmode;
    return true;
}

bool Bootloader::UpdateFirmware(int updateParameter, const char* file) {
    if (file == nullptr) return false;
    std::FILE* in = std::fopen(file, "rb");
    if (in == nullptr) return false;
    std::vector<unsigned char> image;
    long length = -1;
    if (std::fseek(in, 0, SEEK_END) == 0) length = std::ftell(in);
    // Refuse before reading what the header could not describe anyway.
    BlockPlan plan;
    bool readable = length > 0 && std::fseek(in, 0, SEEK_SET) == 0 && PlanBlocks(length, blockSize, &plan);
    if (readable) {
        image.resize(static_cast<size_t>(length));
        readable = std::fread(image.data(), 1, image.size(), in) == image.size();
    }
    std::fclose(in);
    if (!readable) return false;
    return UpdateFirmware(updateParameter, image.data(), length);
}
