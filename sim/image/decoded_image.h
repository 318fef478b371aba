#pragma once
// A sequence image as the device holds it once checked: two lists of timed slots.
//
// Image layout (all numbers big-endian): the main list, then the output list. Each list is a run
// of slot records [tick + 1 (4)][action count (1)][actions...] in strictly ascending tick order,
// closed by an end record [end tick + 2 (4)][0x01][0xFF], which is a slot at tick end + 1 holding
// only the end action.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim::image {

/// The first byte of each action, which also fixes its length.
enum class Op : uint8_t {
    WaitInput = 0x10,  ///< input port (1), trigger (1)
    WaitUser = 0x11,   ///< value (2)
    SetLine = 0x20,    ///< digital line code (1), level (1)
    PulseLine = 0x30,  ///< digital line code (1)
    SetAnalog = 0x40,  ///< analog channel code (1), value (2); channels 2 and 3 are the mirrors
    Jump = 0x51,       ///< count (4), count again (4), signed byte distance (4), loop counter (1)
    Nop = 0x70,
    End = 0xFF,  ///< only as the single action of a list's end record
};

/// One decoded action; which fields mean something depends on `op`.
struct Action {
    Op op = Op::Nop;
    uint8_t channel = 0;      ///< line code, analog channel, input port or loop counter number
    uint8_t level = 0;        ///< set line: the level; wait for input: the trigger behaviour
    uint32_t value = 0;       ///< analog value, wait-for-user value or jump count
    uint32_t targetSlot = 0;  ///< jump: index of the target slot in the same list
};

/// One slot record: its tick and where its actions sit in ActionList::actions.
struct Slot {
    uint32_t tick = 0;
    uint32_t firstAction = 0;
    uint32_t actionCount = 0;
};

/// One list of the image, without its end record (whose tick is EndSlotTick()).
struct ActionList {
    std::vector<Slot> slots;  ///< ascending ticks
    std::vector<Action> actions;
    uint32_t endTick = 0;  ///< the list's end tick as the image states it

    /// The tick at which the end action runs and the list ends.
    uint64_t EndSlotTick() const { return uint64_t{endTick} + 1; }
};

/// A checked image, ready to execute.
struct DecodedImage {
    ActionList main;
    ActionList output;
};

/// The outcome of DecodeImage: an image, or the first fault found in it.
struct DecodeResult {
    DecodedImage image;  ///< meaningful only when Ok()
    std::string error;   ///< empty on success; else names the list, the byte offset and the fault
    bool Ok() const { return error.empty(); }
};

/// Decodes and checks an image of `length` bytes whose main list is the first `mainLength`.
/// Refused: a record cut short, a tick field of 0, slot ticks that do not strictly ascend (the
/// end record included), an unknown action code, an invalid line, channel, input port or trigger,
/// a jump whose two counts differ, whose distance does not land on a slot record of its own list
/// or that jumps forward, an end action anywhere but alone in the last record, a missing end
/// record, and bytes between a list's end record and the announced end of the list.
DecodeResult DecodeImage(const uint8_t* bytes, size_t length, size_t mainLength);

/// True for the digital line codes the device has (0, 1 TTL; 6 to 9 lasers).
bool IsDigitalLine(uint8_t code);
/// True for the analog channel codes the device has (2, 3 mirrors; 4 to 7 lasers).
bool IsAnalogChannel(uint8_t code);

}  // namespace sim::image
