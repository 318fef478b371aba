#pragma once
// The device's numbers travel most significant byte first.
#include <cstddef>
#include <cstdint>

namespace korvan::detail {

/// Writes the low `Width` bytes of `value` to `out`, most significant first.
template <std::size_t Width>
constexpr void StoreBigEndian(std::uint8_t* out, std::uint32_t value) {
    static_assert(Width >= 1 && Width <= 4);
    for (std::size_t i = 0; i < Width; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> (8 * (Width - 1 - i)));
    }
}

/// Reads `Width` bytes at `in`, most significant first.
template <std::size_t Width>
constexpr std::uint32_t LoadBigEndian(const std::uint8_t* in) {
    static_assert(Width >= 1 && Width <= 4);
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < Width; ++i) value = (value << 8) | in[i];
    return value;
}

}  // namespace korvan::detail
