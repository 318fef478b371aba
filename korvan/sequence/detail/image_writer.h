#pragma once
// Writes one list of the sequence image: slot records in ascending tick order, each
//   [tick + 1, 32 bits][action count, 8 bits][actions...]
// and an end record [end tick + 2, 32 bits][0x01][0xFF]. Jumps are written with their target
// tick and get their distance (byte offset of the target slot minus that of their own slot,
// signed 32 bits) when the list is finished.
#include <korvan/export.h>
#include <korvan/sequence/detail/actions.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvan::detail {

/// Length of a list that holds no action: the end record alone.
inline constexpr std::size_t kEndRecordLength = 6;
/// Bytes before the actions of a slot.
inline constexpr std::size_t kSlotHeaderLength = 5;

class KORVAN_API ListWriter {
public:
    /// Appends the list to `image`, which may already hold earlier lists. The list may grow to
    /// `maxLength` bytes in all (the image as a whole counts).
    ListWriter(std::vector<std::uint8_t>& image, std::size_t maxLength);

    /// Files `action` at the end of the slot of its tick. Actions normally come in ascending
    /// tick order, which costs an append; an earlier tick is inserted in place.
    /// 0; 3 when the image would pass the maximum; 4 when the slot would hold more than 255
    /// actions or the tick cannot be written.
    unsigned int File(const SequenceAction& action);
    /// True when an action is filed at `tick`.
    bool HasSlot(std::uint32_t tick) const;
    /// Fixes the jump distances and appends the end record. 0; 3 over the maximum; 4 when a jump's
    /// target has no slot or `endTick` cannot be written.
    unsigned int Finish(std::uint64_t endTick);
    /// Bytes of this list so far.
    std::size_t Length() const { return image_.size() - base_; }

private:
    struct Slot {
        std::uint32_t tick;
        std::size_t offset;  ///< from the start of the list
    };
    /// A slot found by tick: the slot itself, or the place where a slot of that tick belongs.
    struct Place {
        std::size_t offset;
        bool exists;
    };
    struct JumpRef {
        std::size_t offset;  ///< of the jump's first byte, from the start of the list
        std::uint32_t slotTick;
        std::uint32_t target;
    };

    unsigned int Insert(const SequenceAction& action);
    void Shift(std::size_t from, std::size_t by);
    Place Find(std::uint32_t tick) const;
    std::size_t SlotLength(std::size_t offset) const;
    std::uint32_t TickAt(std::size_t offset) const;

    std::vector<std::uint8_t>& image_;
    std::size_t base_;
    std::size_t maxLength_;
    /// Every kIndexStride-th slot, ascending by tick: slots are found from the nearest entry by
    /// walking the written bytes, so a list of millions of slots needs no table of them all.
    std::vector<Slot> index_;
    std::size_t slotCount_ = 0;
    bool haveLast_ = false;
    Slot last_{};                 ///< the slot with the highest tick, which appends go to
    std::vector<JumpRef> jumps_;  ///< ascending by offset
};

}  // namespace korvan::detail
