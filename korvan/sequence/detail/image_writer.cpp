#include <korvan/sequence/detail/image_writer.h>

#include <korvan/device/detail/big_endian.h>
#include <korvan/device/result_codes.h>

#include <algorithm>

namespace korvan::detail {
namespace {

constexpr std::uint32_t kMaxSlotTick = 0xFFFFFFFEu;  // written as tick + 1
constexpr std::uint64_t kMaxEndTick = 0xFFFFFFFDu;   // written as end tick + 2
constexpr std::uint8_t kMaxActionsPerSlot = 255;
constexpr std::size_t kIndexStride = 32;

void PutHeader(std::uint8_t* out, std::uint32_t writtenTick, std::uint8_t count) {
    StoreBigEndian<4>(out, writtenTick);
    out[4] = count;
}

std::size_t ActionLength(std::uint8_t code) {
    SequenceAction a;
    a.code = static_cast<ActionCode>(code);
    return a.Length();
}

}  // namespace

ListWriter::ListWriter(std::vector<std::uint8_t>& image, std::size_t maxLength)
    : image_(image), base_(image.size()), maxLength_(maxLength) {}

unsigned int ListWriter::File(const SequenceAction& action) {
    if (action.tick > kMaxSlotTick) return ResultSequenceInvalid;
    const bool newSlot = !haveLast_ || last_.tick < action.tick;
    if (!newSlot && last_.tick != action.tick) return Insert(action);

    std::uint8_t bytes[kSlotHeaderLength + kMaxActionLength];
    std::size_t length = 0;
    if (newSlot) {
        PutHeader(bytes, action.tick + 1, 0);
        length = kSlotHeaderLength;
    }
    length += action.Encode(bytes + length);
    if (image_.size() + length > maxLength_) return ResultMemoryTooSmall;
    if (!newSlot && image_[base_ + last_.offset + 4] == kMaxActionsPerSlot) return ResultSequenceInvalid;

    if (newSlot) {
        last_ = {action.tick, Length()};
        haveLast_ = true;
        if (slotCount_++ % kIndexStride == 0) index_.push_back(last_);
    }
    if (action.code == ActionCode::Jump)
        jumps_.push_back({Length() + length - action.Length(), action.tick, action.target});
    image_.insert(image_.end(), bytes, bytes + length);
    ++image_[base_ + last_.offset + 4];
    return ResultSuccess;
}

std::uint32_t ListWriter::TickAt(std::size_t offset) const {
    return LoadBigEndian<4>(image_.data() + base_ + offset) - 1;
}

std::size_t ListWriter::SlotLength(std::size_t offset) const {
    const std::uint8_t* slot = image_.data() + base_ + offset;
    std::size_t at = kSlotHeaderLength;
    for (unsigned int i = 0; i < slot[4]; ++i) at += ActionLength(slot[at]);
    return at;
}

ListWriter::Place ListWriter::Find(std::uint32_t tick) const {
    // The last index entry at or before `tick`, then slot by slot.
    auto it =
        std::upper_bound(index_.begin(), index_.end(), tick, [](std::uint32_t t, const Slot& s) { return t < s.tick; });
    std::size_t offset = it == index_.begin() ? 0 : std::prev(it)->offset;
    const std::size_t end = haveLast_ ? last_.offset + SlotLength(last_.offset) : 0;
    while (offset < end) {
        const std::uint32_t at = TickAt(offset);
        if (at >= tick) return {offset, at == tick};
        offset += SlotLength(offset);
    }
    return {end, false};
}

// The rare case of an action before the last slot (the no-op that gives a jump its target):
// the bytes behind it move, and so do the offsets that point there.
unsigned int ListWriter::Insert(const SequenceAction& action) {
    const Place place = Find(action.tick);
    const std::size_t length = action.Length() + (place.exists ? 0 : kSlotHeaderLength);
    if (image_.size() + length > maxLength_) return ResultMemoryTooSmall;

    std::uint8_t bytes[kSlotHeaderLength + kMaxActionLength];
    std::size_t at = place.offset;
    if (place.exists) {
        std::uint8_t& count = image_[base_ + place.offset + 4];
        if (count == kMaxActionsPerSlot) return ResultSequenceInvalid;
        at += SlotLength(place.offset);  // before the count grows
        ++count;
        action.Encode(bytes);
    } else {
        PutHeader(bytes, action.tick + 1, 1);
        action.Encode(bytes + kSlotHeaderLength);
        ++slotCount_;
    }
    image_.insert(image_.begin() + static_cast<std::ptrdiff_t>(base_ + at), bytes, bytes + length);
    Shift(at, length);
    if (action.code == ActionCode::Jump) {
        const JumpRef jump{at + (place.exists ? 0 : kSlotHeaderLength), action.tick, action.target};
        jumps_.insert(std::upper_bound(jumps_.begin(), jumps_.end(), jump.offset,
                                       [](std::size_t offset, const JumpRef& j) { return offset < j.offset; }),
                      jump);
    }
    return ResultSuccess;
}

// Both tables are in ascending offsets, so only their tails move.
void ListWriter::Shift(std::size_t from, std::size_t by) {
    auto slot = std::lower_bound(index_.begin(), index_.end(), from,
                                 [](const Slot& s, std::size_t offset) { return s.offset < offset; });
    for (; slot != index_.end(); ++slot) slot->offset += by;
    if (last_.offset >= from) last_.offset += by;
    auto jump = std::lower_bound(jumps_.begin(), jumps_.end(), from,
                                 [](const JumpRef& j, std::size_t offset) { return j.offset < offset; });
    for (; jump != jumps_.end(); ++jump) jump->offset += by;
}

bool ListWriter::HasSlot(std::uint32_t tick) const { return Find(tick).exists; }

unsigned int ListWriter::Finish(std::uint64_t endTick) {
    for (const JumpRef& jump : jumps_) {
        const Place target = Find(jump.target);
        const Place own = Find(jump.slotTick);
        if (!target.exists || !own.exists) return ResultSequenceInvalid;
        const auto distance = static_cast<std::uint32_t>(static_cast<std::int64_t>(target.offset) -
                                                         static_cast<std::int64_t>(own.offset));
        StoreBigEndian<4>(image_.data() + base_ + jump.offset + kJumpDistanceOffset, distance);
    }
    if (endTick > kMaxEndTick) return ResultSequenceInvalid;
    if (image_.size() + kEndRecordLength > maxLength_) return ResultMemoryTooSmall;
    std::uint8_t end[kEndRecordLength] = {0, 0, 0, 0, 1, kEndOfList};
    StoreBigEndian<4>(end, static_cast<std::uint32_t>(endTick + 2));
    image_.insert(image_.end(), end, end + kEndRecordLength);
    return ResultSuccess;
}

}  // namespace korvan::detail
