#include <sim/device_memory.h>

#include <algorithm>

namespace sim {

uint32_t DeviceMemory::FreeBytes() const {
    uint64_t used = 0;
    for (const Block& b : blocks_) used += b.size;
    return used >= capacity_ ? 0 : static_cast<uint32_t>(capacity_ - used);
}

uint32_t DeviceMemory::LargestFreeBlock() const {
    uint32_t largest = 0;
    uint32_t cursor = 0;
    for (const Block& b : blocks_) {
        largest = std::max(largest, b.offset - cursor);
        cursor = b.offset + b.size;
    }
    return std::max(largest, capacity_ > cursor ? capacity_ - cursor : 0u);
}

std::optional<uint16_t> DeviceMemory::Reserve(uint32_t size) {
    uint32_t cursor = 0;
    auto it = blocks_.begin();
    for (;; ++it) {
        const uint32_t end = it == blocks_.end() ? capacity_ : it->offset;
        if (end >= cursor && end - cursor >= size) break;
        if (it == blocks_.end()) return std::nullopt;
        cursor = it->offset + it->size;
    }
    // Numbers keep increasing; 0 is never given out.
    lastNumber_ = static_cast<uint16_t>(lastNumber_ == 0xFFFF ? 1 : lastNumber_ + 1);
    blocks_.insert(it, Block{lastNumber_, cursor, size, false, {}, nullptr});
    return lastNumber_;
}

void DeviceMemory::Fill(uint16_t number, std::vector<uint8_t> image,
                        std::shared_ptr<const image::DecodedImage> decoded) {
    for (Block& b : blocks_) {
        if (b.number == number) {
            b.image = std::move(image);
            b.decoded = std::move(decoded);
            b.complete = true;
        }
    }
}

bool DeviceMemory::Erase(uint16_t number) {
    auto it = std::find_if(blocks_.begin(), blocks_.end(), [&](const Block& b) { return b.number == number; });
    if (it == blocks_.end()) return false;
    blocks_.erase(it);
    return true;
}

void DeviceMemory::Compact() {
    uint32_t cursor = 0;
    for (Block& b : blocks_) {
        b.offset = cursor;
        cursor += b.size;
    }
}

std::vector<const DeviceMemory::Block*> DeviceMemory::Stored() const {
    std::vector<const Block*> out;
    for (const Block& b : blocks_) {
        if (b.complete) out.push_back(&b);
    }
    return out;
}

const DeviceMemory::Block* DeviceMemory::Find(uint16_t number) const {
    for (const Block& b : blocks_) {
        if (b.number == number && b.complete) return &b;
    }
    return nullptr;
}

}  // namespace sim
