#pragma once
// The device command protocol of the virtual device: the commands a connected host sends once
// the bootloader has identified the device, with the state behind them.
//
// Application mode: the byte 0x1E belongs to both protocols (the bootloader answers 1E 20, the
// device 1E FF). The device protocol claims it only after it has answered a device command, and
// leaves application mode when it answers it (or when a bootloader request arrives).
//
// User data model: the device keeps one block of user data; a write (1 to 60 bytes) replaces the
// whole block, a read returns the block as last written (empty at start).
//
// Sequence memory: see device_memory.h. An announcement (0x3F, image length, main length) reserves
// a block and is answered with the new sequence number; the next image-length bytes are the image,
// stored and answered with one byte 0xFF. Starting a stored sequence makes the device report
// "running" (state code 1) until a stop or reset; executing the image is not modelled here.
#include <sim/device_memory.h>
#include <sim/responder.h>

#include <array>
#include <cstdint>
#include <vector>

namespace sim {

/// The device's state behind the command protocol; tests read and set it through
/// VirtualDevice::WithResponder<DeviceResponder>.
struct DeviceModel {
    /// A state code to report instead of the one derived from what runs; -1: none. Code 9 (waits
    /// for the user) is cleared by an acknowledge.
    int forcedStateCode = -1;
    uint8_t errorBits = 0;
    uint32_t sequenceCounter = 0;   ///< reported with the state; set to 1 when a sequence starts
    uint16_t statusWord = 0;        ///< reported by firmware 16 and later
    std::array<uint8_t, 10> lineLevels{};      ///< by digital line code (0, 1 TTL; 6..9 lasers)
    std::array<uint8_t, 10> outputDefaults{};  ///< by digital line code
    std::array<uint16_t, 8> analog{};          ///< by analog channel code (2 X, 3 Y, 4..7 lasers)
    uint32_t tickTime = 50;
    DeviceMemory memory;
    /// State queries that report defragmentation (code 4) after 0x44 before the memory is compacted.
    int defragmentQueries = 2;
    int defragmentQueriesLeft = 0;
    std::vector<uint8_t> userData;
    int runningSequence = -1;
    /// Arguments of the last start command.
    uint8_t startInput = 0, startTrigger = 0;
    uint32_t startRuns = 0;
    bool applicationMode = false;

    uint16_t MirrorX() const { return analog[2]; }
    uint16_t MirrorY() const { return analog[3]; }
};

class DeviceResponder : public Responder {
public:
    long Offer(const uint8_t* input, size_t size, SimState& state, Reply& reply) override;
    bool HoldsLine() const override { return imageExpected_ > 0; }
    void Reset() override;

    DeviceModel& Model() { return model_; }

private:
    long command(const uint8_t* input, size_t size, SimState& state, Reply& reply);
    long image(const uint8_t* input, size_t size, Reply& reply);
    uint8_t stateCode();
    void stateReply(const SimState& state, std::vector<uint8_t>& out);

    DeviceModel model_;
    uint32_t imageExpected_ = 0;
    uint16_t imageNumber_ = 0;
};

}  // namespace sim
