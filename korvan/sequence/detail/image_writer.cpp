#include <korvan/sequence/detail/image_writer.h>

#include <korvan/device/detail/big_endian.h>
#include <korvan/device/result_codes.h>

#include <algorithm>

namespace korvan::detail {
namespace {

constexpr std::uint32_t kMaxSlotTick = 0xFFFFFFFEu;  // written as tick + 1
constexpr std::uint64_t kMaxEndTick = 0xFFFFFFFDu;   // written as end tick + 2
constexpr std::uint8_t kMaxActionsPerSlot = 255;

void PutHeader(std::uint8_t* out, std::uint32_t writtenTick, std::uint8_t count) {
    StoreBigEndian<4>(out, writtenTick);
    out[4] = count;
}

}  // namespace

ListWriter::ListWriter(std::vector<std::uint8_t>& image, std::size_t maxLength)
    : image_(image), base_(image.size()), maxLength_(maxLength) {}

unsigned int ListWriter::File(const SequenceAction& action) {
    if (action.tick > kMaxSlotTick) return ResultSequenceInvalid;
    const std::size_t length = action.Length();
    const bool sameSlot = !slots_.empty() && slots_.back().tick == action.tick;
    const bool newSlot = slots_.empty() || slots_.back().tick < action.tick;
    if (!sameSlot && !newSlot) return Insert(action);
    if (image_.size() + length + (newSlot ? kSlotHeaderLength : 0) > maxLength_) return ResultMemoryTooSmall;

    if (newSlot) {
        slots_.push_back({action.tick, Length()});
        image_.resize(image_.size() + kSlotHeaderLength);
        PutHeader(image_.data() + image_.size() - kSlotHeaderLength, action.tick + 1, 0);
    }
    std::uint8_t& count = image_[base_ + slots_.back().offset + 4];
    if (count == kMaxActionsPerSlot) return ResultSequenceInvalid;
    ++count;
    if (action.code == ActionCode::Jump) jumps_.push_back({Length(), action.tick, action.target});
    image_.resize(image_.size() + length);
    action.Encode(image_.data() + image_.size() - length);
    return ResultSuccess;
}

// The rare case of an action before the last slot (the no-op that gives a jump its target):
// the bytes behind it move, and so do the offsets that point there.
unsigned int ListWriter::Insert(const SequenceAction& action) {
    const auto it = std::lower_bound(slots_.begin(), slots_.end(), action.tick,
                                     [](const Slot& s, std::uint32_t tick) { return s.tick < tick; });
    const bool exists = it != slots_.end() && it->tick == action.tick;
    const std::size_t index = static_cast<std::size_t>(it - slots_.begin());
    const std::size_t length = action.Length() + (exists ? 0 : kSlotHeaderLength);
    if (image_.size() + length > maxLength_) return ResultMemoryTooSmall;

    std::uint8_t bytes[kSlotHeaderLength + kMaxActionLength];
    std::size_t at;
    if (exists) {
        std::uint8_t& count = image_[base_ + it->offset + 4];
        if (count == kMaxActionsPerSlot) return ResultSequenceInvalid;
        ++count;
        at = SlotEnd(index);
        action.Encode(bytes);
    } else {
        at = it->offset;
        PutHeader(bytes, action.tick + 1, 1);
        action.Encode(bytes + kSlotHeaderLength);
    }
    image_.insert(image_.begin() + static_cast<std::ptrdiff_t>(base_ + at), bytes, bytes + length);
    Shift(at, length);
    if (!exists) slots_.insert(slots_.begin() + static_cast<std::ptrdiff_t>(index), {action.tick, at});
    if (action.code == ActionCode::Jump) {
        const std::size_t jumpOffset = at + (exists ? 0 : kSlotHeaderLength);
        jumps_.push_back({jumpOffset, action.tick, action.target});
    }
    return ResultSuccess;
}

void ListWriter::Shift(std::size_t from, std::size_t by) {
    for (Slot& s : slots_)
        if (s.offset >= from) s.offset += by;
    for (JumpRef& j : jumps_)
        if (j.offset >= from) j.offset += by;
}

std::size_t ListWriter::SlotEnd(std::size_t slotIndex) const {
    return slotIndex + 1 < slots_.size() ? slots_[slotIndex + 1].offset : Length();
}

const ListWriter::Slot* ListWriter::FindSlot(std::uint32_t tick) const {
    const auto it = std::lower_bound(slots_.begin(), slots_.end(), tick,
                                     [](const Slot& s, std::uint32_t t) { return s.tick < t; });
    return it != slots_.end() && it->tick == tick ? &*it : nullptr;
}

bool ListWriter::HasSlot(std::uint32_t tick) const { return FindSlot(tick) != nullptr; }

unsigned int ListWriter::Finish(std::uint64_t endTick) {
    for (const JumpRef& jump : jumps_) {
        const Slot* target = FindSlot(jump.target);
        const Slot* own = FindSlot(jump.slotTick);
        if (target == nullptr || own == nullptr) return ResultSequenceInvalid;
        const auto distance = static_cast<std::uint32_t>(static_cast<std::int64_t>(target->offset) -
                                                         static_cast<std::int64_t>(own->offset));
        StoreBigEndian<4>(image_.data() + base_ + jump.offset + kJumpDistanceOffset, distance);
    }
    if (endTick > kMaxEndTick) return ResultSequenceInvalid;
    if (image_.size() + kEndRecordLength > maxLength_) return ResultMemoryTooSmall;
    const std::uint8_t end[kEndRecordLength] = {0, 0, 0, 0, 1, kEndOfList};
    image_.insert(image_.end(), end, end + kEndRecordLength);
    StoreBigEndian<4>(image_.data() + image_.size() - kEndRecordLength, static_cast<std::uint32_t>(endTick + 2));
    return ResultSuccess;
}

}  // namespace korvan::detail
