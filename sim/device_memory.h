#pragma once
// The virtual device's sequence memory: a flat address space of `capacity` bytes in which each
// stored sequence occupies one contiguous block of its image length. New blocks go into the first
// gap that fits, so deleting sequences in between fragments the free space until Compact().
#include <sim/image/decoded_image.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace sim {

class DeviceMemory {
public:
    static constexpr uint32_t kDefaultCapacity = 32u * 1024 * 1024;

    struct Block {
        uint16_t number;
        uint32_t offset;
        uint32_t size;
        bool complete;                                       // the image has arrived
        std::vector<uint8_t> image;                          // the stored bytes once complete
        std::shared_ptr<const image::DecodedImage> decoded;  // set when the image was checked
    };

    explicit DeviceMemory(uint32_t capacity = kDefaultCapacity) : capacity_(capacity) {}

    void SetCapacity(uint32_t capacity) { capacity_ = capacity; }
    uint32_t Capacity() const { return capacity_; }
    uint32_t FreeBytes() const;
    uint32_t LargestFreeBlock() const;

    /// Reserves a block for an announced image; its number is one above the last one given.
    /// Nothing when no gap is large enough.
    std::optional<uint16_t> Reserve(uint32_t size);
    /// The image of a reserved block has arrived (`decoded`: its checked form, if any; a block
    /// without it cannot be started).
    void Fill(uint16_t number, std::vector<uint8_t> image,
              std::shared_ptr<const image::DecodedImage> decoded = nullptr);
    bool Erase(uint16_t number);
    void EraseAll() { blocks_.clear(); }
    /// Moves every block to the start, in address order, leaving one free block at the end.
    void Compact();

    /// Stored sequences (complete ones), in address order.
    std::vector<const Block*> Stored() const;
    const Block* Find(uint16_t number) const;

private:
    uint32_t capacity_;
    uint16_t lastNumber_ = 0;
    std::vector<Block> blocks_;  // kept in address order
};

}  // namespace sim
