#pragma once
// Hand-made sequence images for the virtual device's tests, written byte by byte so that they
// share nothing with the host's encoder.
#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace simtest {

using Bytes = std::vector<uint8_t>;

inline void PutBe(Bytes& out, uint32_t value, int width) {
    for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

inline Bytes SetLine(uint8_t line, uint8_t level) { return {0x20, line, level}; }
inline Bytes Pulse(uint8_t line) { return {0x30, line}; }
inline Bytes Analog(uint8_t channel, uint16_t value) { return {0x40, channel, uint8_t(value >> 8), uint8_t(value)}; }
inline Bytes MirrorX(uint16_t position) { return Analog(2, position); }
inline Bytes MirrorY(uint16_t position) { return Analog(3, position); }
inline Bytes WaitInput(uint8_t port, uint8_t trigger) { return {0x10, port, trigger}; }
inline Bytes WaitUser(uint16_t value) { return {0x11, uint8_t(value >> 8), uint8_t(value)}; }
inline Bytes Nop() { return {0x70}; }
/// A jump with its distance as given.
inline Bytes JumpRaw(uint32_t count, uint32_t count2, int32_t distance, uint8_t counter) {
    Bytes b{0x51};
    PutBe(b, count, 4);
    PutBe(b, count2, 4);
    PutBe(b, static_cast<uint32_t>(distance), 4);
    b.push_back(counter);
    return b;
}

/// One list: slots in the order added, jumps to a tick resolved when the list is finished.
class ListBuilder {
public:
    /// A slot at `tick` with `actions`; JumpTo() entries among them get their distance at End().
    ListBuilder& Slot(uint32_t tick, std::vector<Bytes> actions) {
        const size_t slotOffset = bytes_.size();
        offsets_[tick] = slotOffset;
        PutBe(bytes_, tick + 1, 4);
        bytes_.push_back(static_cast<uint8_t>(actions.size()));
        for (Bytes& a : actions) {
            if (a.size() == 14 && a[0] == 0x51 && a[9] == 0xEE && a[10] == 0xEE) {
                const uint32_t target = uint32_t(a[11]) << 8 | a[12];
                fixups_.push_back({bytes_.size() + 9, slotOffset, target});
            }
            bytes_.insert(bytes_.end(), a.begin(), a.end());
        }
        return *this;
    }
    /// Appends the end record and returns the list's bytes.
    Bytes End(uint32_t endTick) {
        for (const Fixup& f : fixups_) {
            const int32_t distance =
                static_cast<int32_t>(offsets_.at(f.targetTick)) - static_cast<int32_t>(f.slotOffset);
            for (int i = 0; i < 4; ++i) bytes_[f.at + i] = static_cast<uint8_t>(uint32_t(distance) >> (24 - 8 * i));
        }
        Bytes out = bytes_;
        PutBe(out, endTick + 2, 4);
        out.push_back(0x01);
        out.push_back(0xFF);
        return out;
    }

private:
    struct Fixup {
        size_t at;
        size_t slotOffset;
        uint32_t targetTick;
    };
    Bytes bytes_;
    std::map<uint32_t, size_t> offsets_;
    std::vector<Fixup> fixups_;
};

/// A jump to the slot at `targetTick` (below 65536) of the same list, resolved by ListBuilder.
inline Bytes JumpTo(uint32_t count, uint32_t targetTick, uint8_t counter) {
    Bytes b = JumpRaw(count, count, 0, counter);
    b[9] = b[10] = 0xEE;
    b[11] = uint8_t(targetTick >> 8);
    b[12] = uint8_t(targetTick);
    return b;
}

/// Main list then output list, with the main length the announcement carries.
struct Image {
    Bytes bytes;
    uint32_t mainLength = 0;
};
inline Image Join(const Bytes& main, const Bytes& output) {
    Image image{main, static_cast<uint32_t>(main.size())};
    image.bytes.insert(image.bytes.end(), output.begin(), output.end());
    return image;
}
/// Both lists empty: 12 bytes, main length 6.
inline Image EmptyImage() { return Join(ListBuilder().End(0), ListBuilder().End(0)); }

}  // namespace simtest
