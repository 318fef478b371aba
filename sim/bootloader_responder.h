#pragma once
// The device's bootloader: identity requests, line rate, programming mode, firmware update.
#include <sim/responder.h>

#include <cstdint>
#include <vector>

namespace sim {

// What the bootloader saw of the last firmware update.
struct FirmwareUpdateRecord {
    bool headerAccepted = false;
    bool completed = false;   // every block arrived with a good checksum
    int blockCount = 0;       // from the header
    uint32_t imageSize = 0;   // from the header
    int lastBlockLength = 0;  // from the header
    int updateParameter = 0;  // from the header
    int blocksAccepted = 0;
    int blocksRefused = 0;
    std::vector<uint8_t> image;  // the accepted blocks, in order
};

class BootloaderResponder : public Responder {
public:
    long Offer(const uint8_t* input, size_t size, SimState& state, Reply& reply) override;
    bool HoldsLine() const override { return phase_ == Phase::ReceivingBlocks; }
    void Reset() override;

    const FirmwareUpdateRecord& LastUpdate() const { return update_; }

private:
    enum class Phase { Normal, ReceivingBlocks };

    long EnterProgmode(const uint8_t* input, size_t size, SimState& state);
    long UpdateHeader(const uint8_t* input, size_t size, SimState& state, Reply& reply);
    long Block(const uint8_t* input, size_t size, SimState& state, Reply& reply);

    Phase phase_ = Phase::Normal;
    int progmodePollsLeft_ = 0;  // "not yet" answers still due
    bool progmodeRequested_ = false;
    FirmwareUpdateRecord update_;
};

}  // namespace sim
