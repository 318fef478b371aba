#pragma once
// Loading integers of either byte order from raw file bytes.
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace tessel::detail {

template <typename T>
T reverseBytes(T v) {
    static_assert(std::is_unsigned_v<T>);
    if constexpr (sizeof(T) == 2)
        return static_cast<T>(__builtin_bswap16(v));
    else if constexpr (sizeof(T) == 4)
        return static_cast<T>(__builtin_bswap32(v));
    else if constexpr (sizeof(T) == 8)
        return static_cast<T>(__builtin_bswap64(v));
    else
        return v;
}

// Reads an unsigned T at p; `big` says the bytes are in big-endian order.
template <typename T, bool big>
T loadUnsigned(const unsigned char* p) {
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "loads assume a little-endian host");
    T v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (big) v = reverseBytes(v);
    return v;
}

template <typename T>
T loadLittle(const unsigned char* p) {
    return loadUnsigned<T, false>(p);
}

}  // namespace tessel::detail
