#pragma once
// The device's sequence actions: what one slot of the image asks the device to do. Each action is
// a small value (no heap), with the tick it runs at; its byte form is written by Encode.
#include <korvan/export.h>

#include <cstddef>
#include <cstdint>

namespace korvan::detail {

/// First byte of each action on the wire.
enum class ActionCode : std::uint8_t {
    WaitTTL = 0x10,
    WaitUser = 0x11,
    SetTTL = 0x20,
    PulseTTL = 0x30,
    SetAnalog = 0x40,  ///< also the mirror moves (channels 2 and 3)
    Jump = 0x51,
    NOP = 0x70,
};

/// The byte that ends a list, in the end record.
inline constexpr std::uint8_t kEndOfList = 0xFF;
/// Analog channels of the mirrors.
inline constexpr std::uint8_t kMirrorXChannel = 2;
inline constexpr std::uint8_t kMirrorYChannel = 3;
/// Offset of a jump's third field (the target tick, then the distance) within its bytes.
inline constexpr std::size_t kJumpDistanceOffset = 9;
/// Longest action, in bytes.
inline constexpr std::size_t kMaxActionLength = 14;

struct KORVAN_API SequenceAction {
    std::uint32_t tick = 0;    ///< device tick the action runs at
    std::uint32_t value = 0;   ///< TTL level, 16-bit device value, wait value, or jump count
    std::uint32_t target = 0;  ///< jump: tick of the slot to jump to
    ActionCode code = ActionCode::NOP;
    std::uint8_t channel = 0;  ///< digital line code, analog channel code, input port or loop counter
    std::uint8_t trigger = 0;  ///< wait for input: trigger behaviour

    /// Length of the byte form.
    std::size_t Length() const;
    /// Writes the byte form to `out` (room for Length() bytes) and returns its length. A jump's
    /// third field holds `target` here; the image writer replaces it by the jump distance.
    std::size_t Encode(std::uint8_t* out) const;
};

// The action kinds. Port arguments are the wire codes (see port_codes.h), already mapped.
KORVAN_API SequenceAction ActionSetTTL(std::uint32_t tick, std::uint8_t lineCode, std::uint8_t level);
KORVAN_API SequenceAction ActionPulseTTL(std::uint32_t tick, std::uint8_t lineCode);
/// `value` in hundredths of full scale, 0..10000 (the caller keeps it in range); the device value
/// is value * 6.5535 truncated, so 10000 gives 65535.
KORVAN_API SequenceAction ActionSetAnalog(std::uint32_t tick, std::uint8_t channelCode, std::uint32_t value);
KORVAN_API SequenceAction ActionSetMirrorX(std::uint32_t tick, std::uint16_t position);
KORVAN_API SequenceAction ActionSetMirrorY(std::uint32_t tick, std::uint16_t position);
KORVAN_API SequenceAction ActionWaitTTL(std::uint32_t tick, std::uint8_t inputPort, std::uint8_t trigger);
KORVAN_API SequenceAction ActionWaitUser(std::uint32_t tick, std::uint16_t value);
KORVAN_API SequenceAction ActionJump(std::uint32_t tick, std::uint8_t counter, std::uint32_t target,
                                     std::uint32_t count);
KORVAN_API SequenceAction ActionNOP(std::uint32_t tick);

}  // namespace korvan::detail
